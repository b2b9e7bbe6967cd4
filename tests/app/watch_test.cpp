// lystora-list as a service: rewriting on change and on a schedule, never serving a partial
// list, surviving a failed run, and ending cleanly on a signal.

#include "support/test_support.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <atomic>
#include <csignal>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <thread>

namespace {

const QByteArray kFooter = "http://www.korvane.net/lya/";

QString str(const QByteArray &bytes)
{
    return QString::fromUtf8(bytes);
}

// A running lystora-list, its log lines counted as they come.
class Service
{
public:
    Service(const QStringList &arguments, const QString &shell = QString())
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), config_.path());
        env.insert(QStringLiteral("LANG"), QStringLiteral("C.UTF-8"));
        env.insert(QStringLiteral("LYSTORA_TEST_SETTLE_MS"), QStringLiteral("300"));
        env.insert(QStringLiteral("LYSTORA_TEST_MINUTE_MS"), QStringLiteral("300"));
        process_.setProcessEnvironment(env);
        process_.setStandardInputFile(QProcess::nullDevice());
        if (shell.isEmpty()) {
            process_.start(QStringLiteral(LYSTORA_LIST), arguments);
        } else {
            // Run through a shell that sets limits first.
            QStringList quoted;
            for (const QString &argument : arguments)
                quoted << QLatin1Char('\'') + argument + QLatin1Char('\'');
            process_.start(QStringLiteral("/bin/bash"),
                           {QStringLiteral("-c"),
                            shell + QStringLiteral("; exec ") + QStringLiteral(LYSTORA_LIST) +
                                QLatin1Char(' ') + quoted.join(QLatin1Char(' '))});
        }
        process_.waitForStarted();
    }
    ~Service()
    {
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished();
        }
    }
    // The log so far.
    QString log()
    {
        process_.waitForReadyRead(10);
        log_ += QString::fromUtf8(process_.readAllStandardError());
        return log_;
    }
    int written() { return int(log().count(QStringLiteral("list written"))); }
    int notWritten() { return int(log().count(QStringLiteral("list not written"))); }
    // Waits, generously, until `count` lists are logged as written; false if they never are.
    bool waitForWritten(int count, int timeoutMs = 15000)
    {
        QElapsedTimer timer;
        timer.start();
        while (written() < count && timer.elapsed() < timeoutMs)
            process_.waitForReadyRead(100);
        return written() >= count;
    }
    void settle(int ms = 1200)
    {
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < ms)
            process_.waitForReadyRead(50);
        log();
    }
    void signal(int number) { ::kill(pid_t(process_.processId()), number); }
    bool waitForEnd() { return process_.waitForFinished(15000); }
    QProcess &process() { return process_; }

private:
    QTemporaryDir config_;
    QProcess process_;
    QString log_;
};

} // namespace

TEST(Watch, NamesAddedRemovedOrRenamedDeepInTheTreeEachGiveARewrite)
{
    TempTree tree;
    tree.file("src/a/b/c/one.mp3");
    Service service(
        {"--watch", "-t", "2", "-e", str(tree.path("src")), str(tree.path("list.txt"))});
    ASSERT_TRUE(service.waitForWritten(1)) << service.log().toStdString();
    tree.file("src/a/b/c/two.mp3");
    ASSERT_TRUE(service.waitForWritten(2));
    EXPECT_TRUE(tree.read("list.txt").contains("two.mp3"));
    ASSERT_EQ(::rename(tree.path("src/a/b/c/one.mp3").constData(),
                       tree.path("src/a/b/c/renamed.mp3").constData()),
              0);
    ASSERT_TRUE(service.waitForWritten(3));
    EXPECT_TRUE(tree.read("list.txt").contains("renamed.mp3"));
    ASSERT_EQ(::unlink(tree.path("src/a/b/c/two.mp3").constData()), 0);
    ASSERT_TRUE(service.waitForWritten(4));
    EXPECT_FALSE(tree.read("list.txt").contains("two.mp3"));
    tree.dir("src/a/new/deeper"); // a new folder is watched in its turn
    service.settle(800);
    tree.file("src/a/new/deeper/three.mp3");
    ASSERT_TRUE(service.waitForWritten(6));
    EXPECT_TRUE(tree.read("list.txt").contains("three.mp3"));
}

TEST(Watch, ABurstOfChangesGivesOneRewriteAndTheListNeverTriggersItself)
{
    TempTree tree;
    tree.file("music/first.mp3");
    // The list lives in the folder it lists, as on a web server.
    Service service({"--watch", "-t", "2", "--html", str(tree.path("music")),
                     str(tree.path("music/index.htm"))});
    ASSERT_TRUE(service.waitForWritten(1));
    service.settle();
    EXPECT_EQ(service.written(), 1);
    tree.dir("music/Album");
    for (int i = 0; i < 200; ++i)
        tree.file("music/Album/" + QByteArray::number(i) + ".mp3");
    ASSERT_TRUE(service.waitForWritten(2));
    service.settle();
    EXPECT_EQ(service.written(), 2);
    tree.file("music/cover.jpg"); // not a file the list shows
    service.settle();
    EXPECT_EQ(service.written(), 2);
}

TEST(Watch, AReaderNeverSeesAListWithoutItsFooter)
{
    TempTree tree;
    for (int i = 0; i < 300; ++i)
        tree.file("src/" + QByteArray::number(i) + ".mp3");
    Service service({"--watch", str(tree.path("src")), str(tree.path("list.txt"))});
    ASSERT_TRUE(service.waitForWritten(1));
    std::atomic<bool> stop{false};
    std::atomic<int> reads{0};
    std::atomic<int> partial{0};
    const std::string path = tree.path("list.txt").toStdString();
    std::thread reader([&] {
        while (!stop) {
            std::ifstream in(path, std::ios::binary);
            const std::string text((std::istreambuf_iterator<char>(in)), {});
            ++reads;
            if (text.size() < std::size_t(kFooter.size()) ||
                text.compare(text.size() - kFooter.size(), kFooter.size(), kFooter.constData()) !=
                    0)
                ++partial;
        }
    });
    for (int round = 0; round < 8; ++round) {
        tree.file("src/extra" + QByteArray::number(round) + ".mp3");
        ASSERT_TRUE(service.waitForWritten(2 + round));
    }
    stop = true;
    reader.join();
    EXPECT_GT(reads.load(), 100);
    EXPECT_EQ(partial.load(), 0);
}

TEST(Watch, AFailedRunKeepsTheOldListAndTheNextRunStillComes)
{
    TempTree tree;
    tree.file("src/a.mp3");
    // Files of the service may not pass 2 KiB: a long list fails as on a full disk.
    Service service({"--watch", "-e", str(tree.path("src")), str(tree.path("list.txt"))},
                    QStringLiteral("ulimit -f 2"));
    ASSERT_TRUE(service.waitForWritten(1)) << service.log().toStdString();
    const QByteArray before = tree.read("list.txt");
    for (int i = 0; i < 60; ++i)
        tree.file("src/a track with a long enough name " + QByteArray::number(i) + ".mp3");
    QElapsedTimer timer;
    timer.start();
    while (service.notWritten() < 1 && timer.elapsed() < 15000)
        service.settle(100);
    ASSERT_EQ(service.notWritten(), 1) << service.log().toStdString();
    EXPECT_TRUE(service.log().contains(QStringLiteral("file too large")));
    EXPECT_EQ(tree.read("list.txt"), before);
    EXPECT_EQ(tree.entries(), QStringList({"list.txt", "src"}));
    for (int i = 0; i < 60; ++i)
        ::unlink(tree.path("src/a track with a long enough name " + QByteArray::number(i) + ".mp3")
                     .constData());
    tree.file("src/b.mp3");
    ASSERT_TRUE(service.waitForWritten(2));
    EXPECT_TRUE(tree.read("list.txt").contains("b.mp3"));
}

TEST(Watch, TerminatedMidRewriteLeavesNoTemporaryFile)
{
    TempTree tree;
    for (int d = 0; d < 300; ++d)
        for (int f = 0; f < 100; ++f)
            tree.file("src/" + QByteArray::number(d) + "/" + QByteArray::number(f) + ".mp3");
    tree.dir("out");
    Service service({"--watch", "-t", "2", str(tree.path("src")), str(tree.path("out/list.txt"))});
    ASSERT_TRUE(service.waitForWritten(1));
    tree.file("src/0/new.mp3");
    bool caught = false;
    for (int i = 0; i < 2000000 && !caught; ++i)
        caught = tree.entries("out").size() > 1;
    ASSERT_TRUE(caught) << "the rewrite ended before it could be caught";
    service.signal(SIGSTOP);
    service.signal(SIGTERM);
    service.signal(SIGCONT);
    ASSERT_TRUE(service.waitForEnd());
    EXPECT_EQ(service.process().exitStatus(), QProcess::CrashExit); // ended by the signal
    EXPECT_EQ(tree.entries("out"), QStringList({"list.txt"}));
    EXPECT_TRUE(tree.read("out/list.txt").endsWith(kFooter));
}

TEST(Every, AShortenedMinuteGivesTheExpectedNumberOfRuns)
{
    TempTree tree;
    tree.file("src/a.mp3");
    // A minute of 300 ms here: lists at 0, 0.3, 0.6, 0.9, 1.2 and 1.5 s.
    Service service({"--every", "1", str(tree.path("src")), str(tree.path("list.txt"))});
    ASSERT_TRUE(service.waitForWritten(1));
    service.settle(1650);
    service.signal(SIGTERM);
    ASSERT_TRUE(service.waitForEnd());
    const int runs = service.written();
    EXPECT_GE(runs, 5);
    EXPECT_LE(runs, 7);
    EXPECT_EQ(tree.entries(), QStringList({"list.txt", "src"}));
}
