// The desktop program as a user meets it on a real X server, with a window manager (openbox,
// driven with wmctrl) and a notification area (trayer): what the offscreen platform cannot show.
// Each test starts its own X server on a display it picks itself (-displayfd), so that tests
// running side by side never race for one.

#include "support/test_support.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QThread>

#include <csignal>
#include <gtest/gtest.h>
#include <memory>
#include <string>

namespace {

constexpr int kGuardMs = 20000;

QString str(const QByteArray &bytes)
{
    return QString::fromUtf8(bytes);
}

// An X server with openbox, and trayer when asked; all stopped with it.
class Desktop
{
public:
    Desktop()
    {
        // A server or window manager that hangs at start (seen once in a loaded run) is
        // replaced by a fresh one rather than failing the test.
        for (int attempt = 0; attempt < 3 && !ready_; ++attempt) {
            if (attempt > 0)
                stop();
            ready_ = start();
        }
    }
    ~Desktop() { stop(); }
    bool ready() const { return ready_; }
    // Why it is not ready.
    const char *problem() const { return problem_.constData(); }
    const QProcessEnvironment &environment() const { return env_; }

    // Runs an X tool to its end; its exit code.
    int tool(const QString &program, const QStringList &arguments, QByteArray *output = nullptr,
             int limitMs = kGuardMs)
    {
        QProcess process;
        process.setProcessEnvironment(env_);
        process.start(program, arguments);
        process.waitForFinished(limitMs);
        if (output)
            *output = process.readAllStandardOutput();
        return process.state() == QProcess::NotRunning &&
                       process.exitStatus() == QProcess::NormalExit
                   ? process.exitCode()
                   : -1;
    }
    // Waits until a visible window of this exact title exists. Asked again and again rather than
    // with xdotool's --sync, which gives up on the X error of a window destroyed while it looks.
    bool windowShown(const QString &title)
    {
        const QStringList search = {"search", "--onlyvisible", "--name",
                                    QLatin1Char('^') + title + QLatin1Char('$')};
        return until([&] { return tool(QStringLiteral("xdotool"), search, nullptr, 2000) == 0; });
    }
    void startTray()
    {
        tray_.setProcessEnvironment(env_);
        tray_.start(QStringLiteral("trayer"), {"--edge", "top", "--align", "right"});
    }
    void endDisplay()
    {
        xvfb_.terminate();
        xvfb_.waitForFinished(kGuardMs);
    }
    // Checks a condition until it holds; a generous limit only as a guard.
    template <class Condition> static bool until(Condition condition)
    {
        QElapsedTimer timer;
        timer.start();
        while (!condition()) {
            if (timer.elapsed() > kGuardMs)
                return false;
            QThread::msleep(20);
        }
        return true;
    }

private:
    bool start()
    {
        xvfb_.start(QStringLiteral("Xvfb"),
                    {"-displayfd", "1", "-screen", "0", "1280x1024x24", "-nolisten", "tcp"});
        if (!xvfb_.waitForReadyRead(kGuardMs)) {
            problem_ = "Xvfb gave no display: " + xvfb_.readAllStandardError();
            return false;
        }
        display_ = QLatin1Char(':') + QString::fromLatin1(xvfb_.readAllStandardOutput()).trimmed();
        env_ = QProcessEnvironment::systemEnvironment();
        env_.insert(QStringLiteral("DISPLAY"), display_);
        env_.remove(QStringLiteral("QT_QPA_PLATFORM"));
        windowManager_.setProcessEnvironment(env_);
        windowManager_.start(QStringLiteral("openbox"), {});
        // Ready once it answers for itself; each question is short, so a hang is retried. Now
        // and then openbox cannot open a display Xvfb has just given (seen with two starting
        // side by side) and ends: a fresh pair is started then.
        const auto ended = [&] {
            return windowManager_.state() == QProcess::NotRunning ||
                   windowManager_.waitForFinished(0);
        };
        if (until([&] {
                return ended() || tool(QStringLiteral("wmctrl"), {"-m"}, nullptr, 2000) == 0;
            }) &&
            !ended())
            return true;
        problem_ = "openbox did not start on " + display_.toUtf8() + ": " +
                   windowManager_.readAllStandardError();
        return false;
    }
    void stop()
    {
        // Asked, not killed: an X server leaves its lock and socket behind otherwise.
        for (QProcess *process : {&tray_, &windowManager_, &xvfb_}) {
            process->terminate();
            if (!process->waitForFinished(kGuardMs))
                process->kill();
        }
    }

    QProcess xvfb_;
    QProcess windowManager_;
    QProcess tray_;
    QString display_;
    QProcessEnvironment env_;
    bool ready_ = false;
    QByteArray problem_;
};

// The program on the desktop, with settings of its own.
class Program
{
public:
    Program(Desktop &desktop, const QByteArray &config)
    {
        QProcessEnvironment env = desktop.environment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), str(config));
        env.insert(QStringLiteral("XDG_CACHE_HOME"), str(config) + QStringLiteral("/cache"));
        process_.setProcessEnvironment(env);
        process_.start(QStringLiteral(LYSTORA), {});
    }
    ~Program()
    {
        process_.kill();
        process_.waitForFinished();
    }
    void signal(int number) { ::kill(pid_t(process_.processId()), number); }
    // Whether the program has its own handlers of the signals that end it: from then on it is
    // the program, not the system, that decides what a signal does.
    bool handlesEndSignals()
    {
        QFile status(QStringLiteral("/proc/%1/status").arg(process_.processId()));
        if (!status.open(QIODevice::ReadOnly))
            return false;
        for (const QByteArray &line : status.readAll().split('\n')) {
            if (!line.startsWith("SigCgt:"))
                continue;
            const quint64 caught = line.mid(7).trimmed().toULongLong(nullptr, 16);
            const auto has = [caught](int signal) { return caught & (quint64(1) << (signal - 1)); };
            return has(SIGTERM) && has(SIGINT) && has(SIGHUP);
        }
        return false;
    }
    bool ended() { return process_.waitForFinished(kGuardMs); }
    bool running() const { return process_.state() != QProcess::NotRunning; }
    // Whether one of its threads has started a process (a tag reader, in a run that reads
    // tags).
    bool hasChild()
    {
        const QString tasks = QStringLiteral("/proc/%1/task").arg(process_.processId());
        for (const QString &task : QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            QFile children(tasks + QLatin1Char('/') + task + QStringLiteral("/children"));
            if (children.open(QIODevice::ReadOnly) && !children.readAll().trimmed().isEmpty())
                return true;
        }
        return false;
    }
    QByteArray errors() { return process_.readAllStandardError(); }
    // How it ended, for a failure's message.
    std::string howItEnded()
    {
        return (process_.exitStatus() == QProcess::NormalExit ? "exit " : "signal ") +
               std::to_string(process_.exitCode()) + ": " + errors().toStdString();
    }

private:
    QProcess process_;
};

const QByteArray kSplashShown = "[v1.52.1016]\nSplashScreen=Oui\nStartUpMusic=Non\n"
                                "SourceDir=/tmp/\nListingType=2\nTitleHTML=Mine\n";
const QByteArray kNoSplash = "[v1.52.1016]\nSplashScreen=Non\nStartUpMusic=Non\n";
const QString kSplash = QStringLiteral("Lystora v1.52.1016");
const QString kMainWindow = QStringLiteral("Lystora");

// A desktop of its own for each test, and a folder for the program's settings.
class DesktopTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(desktop.ready()) << desktop.problem(); }

    // The program started with these settings stored, once `window` shows; null if it never does.
    std::unique_ptr<Program> start(const QByteArray &stored, const QString &window)
    {
        tree.file("Korvane/Lystora.conf", stored);
        auto program = std::make_unique<Program>(desktop, tree.path());
        if (desktop.windowShown(window))
            return program;
        // What became of it, so that a window that never came can be told from a crash.
        ADD_FAILURE() << "no window \"" << window.toStdString() << "\": "
                      << (program->running() ? "still running, " + program->errors().toStdString()
                                             : program->howItEnded());
        return nullptr;
    }
    QByteArray stored() const { return tree.read("Korvane/Lystora.conf"); }

    Desktop desktop;
    TempTree tree;
};

} // namespace

TEST_F(DesktopTest, AnyWayOutDuringTheSplashScreenLeavesTheStoredSettingsByteForByte)
{
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
        tree.file("Korvane/Lystora.conf", kSplashShown);
        const auto program = std::make_unique<Program>(desktop, tree.path());
        // Sent as soon as the program handles it, which is before its splash screen's two
        // seconds begin: waiting to see the splash screen could take longer than they last.
        ASSERT_TRUE(Desktop::until([&] { return program->handlesEndSignals(); }));
        program->signal(signal);
        ASSERT_TRUE(program->ended());
        EXPECT_EQ(stored(), kSplashShown) << "signal " << signal;
    }
}

TEST_F(DesktopTest, ASplashScreenClosedByTheWindowManagerFinishesTheStartUp)
{
    const auto program = start(kSplashShown, kSplash);
    ASSERT_TRUE(program);
    // Mapped is not yet managed: the window manager closes only the windows it lists.
    ASSERT_TRUE(Desktop::until([&] {
        QByteArray windows;
        desktop.tool(QStringLiteral("wmctrl"), {"-l"}, &windows);
        return windows.contains(kSplash.toUtf8());
    }));
    EXPECT_EQ(desktop.tool(QStringLiteral("wmctrl"), {"-c", kSplash}), 0);
    EXPECT_TRUE(desktop.windowShown(kMainWindow));
}

TEST_F(DesktopTest, WhenTheDisplayEndsTheSettingsAreStillSaved)
{
    const auto program = start(kNoSplash, kMainWindow);
    ASSERT_TRUE(program);
    // What the kernel sends when the program writes to the display's closed connection before
    // it has read that it closed: rare, and the end of the program if it is not handled.
    program->signal(SIGPIPE);
    desktop.endDisplay();
    ASSERT_TRUE(program->ended());
    EXPECT_TRUE(stored().contains("\nSourceDir=/\n") && stored().contains("\nPattern=*.mp3\n"))
        << stored().constData() << program->howItEnded();
}

TEST_F(DesktopTest, ASignalEndsTheProgramEvenWhenTheSettingsCannotBeSaved)
{
    tree.file("config", "a file where the settings folder should be");
    Program program(desktop, tree.path("config"));
    ASSERT_TRUE(desktop.windowShown(kMainWindow));
    program.signal(SIGTERM); // no box may wait for an OK nobody will press
    ASSERT_TRUE(program.ended()) << program.errors().constData();
    // Told on stderr (in French, the language of a first start), under the settings' place.
    EXPECT_TRUE(program.errors().contains("lystora: " + tree.path("config") +
                                          "/Korvane/Lystora.conf: Les r\xC3\xA9glages"));
}

TEST_F(DesktopTest, ASignalDuringALongRunEndsItWithTheOldListKept)
{
    for (int i = 0; i < 20000; ++i)
        tree.file("src/" + QByteArray::number(i % 200) + "/" + QByteArray::number(i) + ".mp3");
    tree.file("out/audio.txt", "OLD");
    const auto program =
        start("[v1.52.1016]\nSplashScreen=Non\nStartUpMusic=Non\nSourceDir=" + tree.path("src") +
                  "/\nTargetDir=" + tree.path("out") +
                  "/\nFileName=audio.txt\nListingType=2\nAutoUpdate=Oui\n"
                  "AutoUpdateTime=999\n[Lystora]\nAlsoJson=Oui\nReadTags=Oui\n",
              kMainWindow);
    ASSERT_TRUE(program);
    QByteArray window;
    ASSERT_EQ(desktop.tool(QStringLiteral("xdotool"),
                           {"search", "--onlyvisible", "--name", "^Lystora$"}, &window),
              0);
    // "Make the list !" from the keyboard, two steps after the drive list, where the focus
    // starts: wherever the window manager placed the window.
    ASSERT_EQ(desktop.tool(QStringLiteral("xdotool"),
                           {"windowactivate", "--sync", str(window.trimmed())}),
              0);
    ASSERT_EQ(desktop.tool(QStringLiteral("xdotool"), {"key", "Tab", "Tab", "space"}), 0);
    // Its tags being read, the run has thousands of files to go.
    ASSERT_TRUE(Desktop::until([&] { return program->hasChild(); }))
        << tree.read("out/audio.txt").left(40).constData() << '\n'
        << program->errors().constData();
    program->signal(SIGTERM);
    ASSERT_TRUE(program->ended());
    EXPECT_EQ(tree.read("out/audio.txt"), "OLD");
    EXPECT_EQ(QDir(str(tree.path("out"))).entryList(QDir::Files | QDir::Hidden),
              QStringList({"audio.txt"}));
    EXPECT_TRUE(stored().contains("\nListingType=2\n")) << stored().constData(); // saved
}

TEST_F(DesktopTest, ANotificationAreaStartedAfterTheProgramGetsItsIcon)
{
    const auto program = start(kNoSplash, kMainWindow);
    ASSERT_TRUE(program);
    desktop.startTray();
    // The icon is a window of the program's inside trayer's panel.
    EXPECT_TRUE(Desktop::until([&] {
        QByteArray windows;
        desktop.tool(QStringLiteral("xwininfo"), {"-root", "-tree"}, &windows);
        const qsizetype panel = windows.indexOf("(\"panel\" \"trayer\")");
        return panel >= 0 && windows.indexOf("(\"lystora\" \"Lystora\")", panel) > panel;
    }));
}

TEST_F(DesktopTest, ASecondStartBringsTheFirstWindowBackAndEnds)
{
    const auto first = start(kNoSplash, kMainWindow);
    ASSERT_TRUE(first);
    const QStringList search = {"search", "--onlyvisible", "--name", "^Lystora$"};
    QByteArray window;
    ASSERT_EQ(desktop.tool(QStringLiteral("xdotool"), search, &window), 0);
    ASSERT_EQ(desktop.tool(QStringLiteral("xdotool"), {"windowminimize", str(window.trimmed())}),
              0);
    ASSERT_TRUE(Desktop::until(
        [&] { return desktop.tool(QStringLiteral("xdotool"), search, nullptr, 2000) != 0; }));
    Program second(desktop, tree.path());
    ASSERT_TRUE(second.ended());
    EXPECT_TRUE(desktop.windowShown(kMainWindow));
    // One window, still the first's.
    QByteArray windows;
    desktop.tool(QStringLiteral("xdotool"), search, &windows);
    EXPECT_EQ(windows.trimmed(), window.trimmed());
}
