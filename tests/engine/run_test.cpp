// The run: its checks and messages, what it does to the window, and above all that the old list
// is never lost and a failure is never reported as success.

#include "platform/interrupt.h"
#include "support/test_support.h"

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>

namespace {

const QString kTitle = QStringLiteral("LYA v1.52.1016");

mode_t modeOf(const QByteArray &path)
{
    struct stat st {};
    ::stat(path.constData(), &st);
    return st.st_mode & 07777;
}

// A list, a source with one file (and `more` others), and an old list "OLD" in place.
struct Fixture {
    TempTree tree;
    explicit Fixture(int more = 0)
    {
        tree.file("src/song.mp3");
        tree.file("out/audio.txt", "OLD");
        for (int i = 0; i < more; ++i)
            tree.file("src/" + QByteArray::number(i) + ".mp3");
    }
    QByteArray src() const { return tree.path("src"); }
    QByteArray out() const { return tree.path("out"); }
};

} // namespace

TEST(Run, NoFileFoundStopsBeforeAnythingIsTouched)
{
    TempTree tree;
    tree.file("src/cover.jpg");
    tree.dir("out");
    for (int langue : {0, 1}) {
        ListingSettings s = plainSettings();
        s.Langue = langue;
        s.AutoUpdate = true; // the check does not look at it
        const RunResult r = runListing(s, tree.path("src"), tree.path("out"));
        EXPECT_EQ(r.outcome.end, RunEnd::Stopped);
        ASSERT_EQ(r.boxes.size(), 1u);
        EXPECT_EQ(r.boxes[0].text, langue ? QStringLiteral("Aucun fichier trouvé")
                                          : QStringLiteral("No file found"));
        EXPECT_EQ(r.boxes[0].style, kStyleExclamation);
        EXPECT_EQ(r.boxes[0].title, kTitle);
        // Only the timer was switched; the controls were never disabled.
        EXPECT_EQ(r.events.first(), QStringLiteral("Timer1 on"));
        EXPECT_FALSE(r.events.contains(QStringLiteral("Command1 off")));
        EXPECT_TRUE(tree.entries("out").isEmpty());
        EXPECT_TRUE(r.statusTexts.isEmpty());
    }
}

TEST(Run, RefusedOverwriteKeepsTheOldListAndAcceptedOneReplacesIt)
{
    Fixture f;
    const RunResult no = runListing(plainSettings(), f.src(), f.out(), "audio.txt", kAnswerNo);
    EXPECT_EQ(no.outcome.end, RunEnd::Stopped);
    ASSERT_EQ(no.boxes.size(), 1u);
    EXPECT_EQ(no.boxes[0].text, QString::fromUtf8(f.out()) +
                                    QStringLiteral("/audio.txt\r\nThis file exists, overwrite ?"));
    EXPECT_EQ(no.boxes[0].style, kStyleYesNoExclamation);
    EXPECT_EQ(f.tree.read("out/audio.txt"), QByteArray("OLD"));
    EXPECT_EQ(f.tree.entries("out"), QStringList({"audio.txt"}));

    ListingSettings french = plainSettings();
    french.Langue = 1;
    const RunResult yes = runListing(french, f.src(), f.out(), "audio.txt", kAnswerYes);
    EXPECT_EQ(yes.outcome.end, RunEnd::Written);
    EXPECT_TRUE(yes.boxes[0].text.endsWith(
        QStringLiteral("\r\nCe fichier existe déjà, voulez-vous le remplacer ?")));
    EXPECT_EQ(yes.boxes[1].text, QStringLiteral("Liste créée !"));
    EXPECT_EQ(f.tree.read("out/audio.txt"), englishTextHeader() + "\r\nsong" + englishTextFooter());
    EXPECT_EQ(f.tree.entries("out"), QStringList({"audio.txt"}));
}

TEST(Run, OneQuestionNamesEveryListThereAndItsAnswerHoldsForAll)
{
    for (const int answer : {kAnswerNo, kAnswerYes}) {
        Fixture f;
        f.tree.file("out/index.html", "OLD");
        f.tree.file("out/all.json", "OLD");
        RecordingHost host(f.src(), f.out(), QStringLiteral("audio.txt"));
        host.answer = answer;
        host.file1.setPattern(QStringLiteral("*.mp3"));
        ListingSettings settings = plainSettings();
        Engines engines(settings, host.host());
        engines.outputs = {{OutputFormat::Page, f.tree.path("out/index.html")},
                           {OutputFormat::Json, f.tree.path("out/all.json")},
                           {OutputFormat::Playlist, f.tree.path("out/all.m3u8")}};
        engines.Command1_Click();
        ASSERT_GE(host.boxes.size(), 1u);
        // Those two are not of this program's making, and said so.
        EXPECT_EQ(host.boxes[0].text,
                  QString::fromUtf8(f.out() + "/audio.txt\r\n" + f.out() +
                                    "/index.html (not made by Lystora)\r\n" + f.out() +
                                    "/all.json (not made by Lystora)\r\n") +
                      QStringLiteral("This file exists, overwrite ?"));
        const bool yes = answer == kAnswerYes;
        EXPECT_EQ(host.boxes.size(), yes ? 2u : 1u); // then "List created !"
        for (const char *name : {"out/audio.txt", "out/index.html", "out/all.json"})
            EXPECT_EQ(f.tree.read(name) == "OLD", !yes) << name;
        EXPECT_EQ(f.tree.entries("out").contains(QStringLiteral("all.m3u8")), yes);
    }
}

TEST(Run, WithAutomaticUpdatingOnlyAListOfAnotherMakingIsAskedAbout)
{
    Fixture f;
    f.tree.file("out/index.html", "<p>my own page</p>");
    ListingSettings settings = plainSettings();
    settings.AutoUpdate = true;
    for (const int answer : {kAnswerNo, kAnswerYes}) {
        RecordingHost host(f.src(), f.out(), QStringLiteral("audio.txt"));
        host.answer = answer;
        host.file1.setPattern(QStringLiteral("*.mp3"));
        Engines engines(settings, host.host());
        engines.outputs = {{OutputFormat::Page, f.tree.path("out/index.html")},
                           {OutputFormat::Json, f.tree.path("out/all.json")}};
        engines.Command1_Click();
        ASSERT_EQ(host.boxes.size(), 1u);
        EXPECT_EQ(host.boxes[0].text, QString::fromUtf8(f.out()) +
                                          QStringLiteral("/index.html (not made by Lystora)\r\n"
                                                         "This file exists, overwrite ?"));
        EXPECT_EQ(f.tree.read("out/index.html") == "<p>my own page</p>", answer == kAnswerNo);
        EXPECT_NE(f.tree.read("out/audio.txt"), QByteArray("OLD")); // the classic list, unasked
    }
    // Once its own, the page is replaced unasked too.
    RecordingHost host(f.src(), f.out(), QStringLiteral("audio.txt"));
    Engines engines(settings, host.host());
    engines.outputs = {{OutputFormat::Page, f.tree.path("out/index.html")}};
    engines.Command1_Click();
    EXPECT_TRUE(host.boxes.empty());
}

TEST(Run, AutoUpdateReplacesSilentlyAndNeverOpensTheList)
{
    Fixture f;
    ListingSettings s = plainSettings();
    s.AutoUpdate = true;
    s.RunNote = true;
    const RunResult r = runListing(s, f.src(), f.out());
    EXPECT_EQ(r.outcome.end, RunEnd::Written);
    EXPECT_TRUE(r.boxes.empty());
    EXPECT_EQ(r.events,
              QStringList({"Timer1 on", "Text4 off", "Command1 off", "Text4 on", "Command1 on"}));
    EXPECT_EQ(r.statusTexts, QStringList({QStringLiteral("Lystora v1.52.1016")}));
    EXPECT_EQ(f.tree.read("out/audio.txt"), englishTextHeader() + "\r\nsong" + englishTextFooter());
}

TEST(Run, ListIsOpenedOnlyAfterTheDoneMessage)
{
    Fixture f;
    ListingSettings s = plainSettings();
    s.RunNote = true;
    const RunResult r = runListing(s, f.src(), f.out(), "audio.txt", kAnswerYes);
    EXPECT_EQ(r.events.mid(r.events.size() - 2),
              QStringList({QStringLiteral("box: Done !"),
                           QStringLiteral("shell: open audio.txt 0 ") + QString::fromUtf8(f.out()) +
                               QLatin1Char('/')}));
    EXPECT_EQ(r.events.first(), QStringLiteral("Timer1 off"));
}

TEST(Run, TargetPathNeverDoublesTheRootSeparator)
{
    RecordingHost host("/nonexistent-src", "/", "audio.txt");
    ListingSettings s;
    Engines engines(s, host.host());
    engines.MakeTargetPath();
    EXPECT_EQ(engines.run.TargetPath, QByteArray("/audio.txt"));
    host.dir2 = "/ab"; // short, but not a root
    engines.MakeTargetPath();
    EXPECT_EQ(engines.run.TargetPath, QByteArray("/ab/audio.txt"));
}

TEST(Run, TargetThatCannotBeWrittenIsReportedAndTheOldListKept)
{
    struct Case {
        const char *what;
        QByteArray dir;
        QString name;
        QString reason;
    };
    Fixture f;
    f.tree.dir("out/folder.txt");
    const std::vector<Case> cases = {
        {"missing directory", f.tree.path("gone"), "audio.txt", "no such file or folder"},
        {"directory in the way", f.out(), "folder.txt", "a folder has this name"},
        {"path under a regular file", f.tree.path("out/audio.txt"), "x.txt",
         "a part of the path is not a folder"},
        {"empty name", f.out(), "", "no file name given"},
        {"disk full", "/dev", "full", "no space left on the device"},
    };
    for (const Case &c : cases) {
        ListingSettings s = plainSettings();
        s.AutoUpdate = true; // even so, a failure is told
        const RunResult r = runListing(s, f.src(), c.dir, c.name);
        EXPECT_EQ(r.outcome.end, RunEnd::Failed) << c.what;
        ASSERT_EQ(r.boxes.size(), 1u) << c.what;
        EXPECT_EQ(r.boxes[0].style, kStyleCritical);
        EXPECT_EQ(r.boxes[0].title, kTitle);
        const QString path = QString::fromUtf8(c.dir) + (c.dir == "/" ? "" : "/") + c.name;
        EXPECT_EQ(r.boxes[0].text,
                  path + QStringLiteral("\r\nThe list could not be written: ") + c.reason)
            << c.what;
        EXPECT_TRUE(controlsEndEnabled(r.events)) << c.what;
        EXPECT_FALSE(r.events.contains(QStringLiteral("box: Done !")));
        EXPECT_EQ(f.tree.read("out/audio.txt"), QByteArray("OLD")) << c.what;
        EXPECT_EQ(f.tree.entries("out"), QStringList({"audio.txt", "folder.txt"})) << c.what;
    }
}

TEST(Run, DiskFilledHalfWayKeepsTheOldListAndLeavesNoTemporaryFile)
{
    Fixture f;
    for (int i = 0; i < 2000; ++i)
        f.tree.file("src/a track with a name long enough to fill the list " +
                    QByteArray::number(i) + ".mp3");
    ListingSettings s = plainSettings();
    s.Langue = 1;
    // Files of this process may not grow past 16 KiB: writes beyond fail as on a full disk.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit small = old;
    small.rlim_cur = 16 * 1024;
    setrlimit(RLIMIT_FSIZE, &small);
    const RunResult r = runListing(s, f.src(), f.out());
    setrlimit(RLIMIT_FSIZE, &old);
    EXPECT_EQ(r.outcome.end, RunEnd::Failed);
    EXPECT_EQ(
        r.boxes.back().text,
        QString::fromUtf8(f.out()) +
            QStringLiteral("/audio.txt\r\nLa liste n'a pas pu être écrite : fichier trop grand"));
    EXPECT_EQ(f.tree.read("out/audio.txt"), QByteArray("OLD"));
    EXPECT_EQ(f.tree.entries("out"), QStringList({"audio.txt"}));
    EXPECT_EQ(r.statusTexts.back(), QStringLiteral("Lystora v1.52.1016"));
}

TEST(Run, StoppedRunKeepsTheOldListAndDir1ReturnsToTheSource)
{
    Fixture f;
    for (int i = 0; i < 1200; ++i)
        f.tree.file("src/sub/" + QByteArray::number(i) + ".mp3");
    RecordingHost host(f.src(), f.out());
    host.cancelAfterFiles = 512;
    ListingSettings s = plainSettings();
    s.ListingType = 2;
    Engines engines(s, host.host());
    engines.Command1_Click();
    EXPECT_EQ(engines.outcome.end, RunEnd::Cancelled);
    EXPECT_TRUE(host.boxes.size() == 1 && host.boxes[0].style == kStyleYesNoExclamation);
    EXPECT_EQ(f.tree.read("out/audio.txt"), QByteArray("OLD"));
    EXPECT_EQ(f.tree.entries("out"), QStringList({"audio.txt"}));
    EXPECT_EQ(host.dir1.path(), f.src());
}

TEST(Run, ReplacedListKeepsItsPermissionsAndANewOneGetsTheUsualMode)
{
    Fixture f;
    ::chmod(f.tree.path("out/audio.txt").constData(), 0640);
    ListingSettings s = plainSettings();
    s.AutoUpdate = true;
    runListing(s, f.src(), f.out());
    EXPECT_EQ(modeOf(f.tree.path("out/audio.txt")), mode_t(0640));

    const mode_t oldMask = ::umask(022);
    runListing(s, f.src(), f.out(), "new.txt");
    ::umask(002);
    runListing(s, f.src(), f.out(), "new2.txt");
    ::umask(oldMask);
    EXPECT_EQ(modeOf(f.tree.path("out/new.txt")), mode_t(0644));
    EXPECT_EQ(modeOf(f.tree.path("out/new2.txt")), mode_t(0664));
}

TEST(Run, LinkAtTheTargetStaysALinkToTheNewList)
{
    Fixture f;
    f.tree.link("audio.txt", "out/current.txt");
    ListingSettings s = plainSettings();
    s.AutoUpdate = true;
    runListing(s, f.src(), f.out(), "current.txt");
    struct stat st {};
    ASSERT_EQ(::lstat(f.tree.path("out/current.txt").constData(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(f.tree.read("out/audio.txt"), englishTextHeader() + "\r\nsong" + englishTextFooter());
}

TEST(Run, AFileOrALinkPlantedByAnotherUserIsNeitherFollowedNorReplaced)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to play another user";
    Fixture f;
    f.tree.file("secret", "KEEP");
    f.tree.dir("shared");
    ::chmod(f.tree.path().constData(), 0755);
    ::chmod(f.tree.path("shared").constData(), 01777); // sticky, as /tmp and upload folders are
    // An uploader of the served folder points the list at one of the runner's files, or makes
    // the list's file first, to keep it as its own and rewrite the page between two runs.
    const QByteArray secret = f.tree.path("secret");
    ASSERT_TRUE(asAnotherUser(f.tree.path("shared"), [&](int shared) {
        const int planted = ::openat(shared, "index.txt", O_WRONLY | O_CREAT, 0666);
        return ::symlinkat(secret.constData(), shared, "audio.txt") == 0 && planted >= 0 &&
               ::write(planted, "MINE", 4) == 4 && ::fchmod(planted, 0666) == 0;
    }));
    for (const auto &[name, reason] :
         {std::make_pair("audio.txt", "a link of another user stands there; it is not followed"),
          std::make_pair("index.txt", "a file of another user stands there; it is not replaced")}) {
        ListingSettings s = plainSettings();
        s.AutoUpdate = true;
        const RunResult r = runListing(s, f.src(), f.tree.path("shared"), QString::fromUtf8(name));
        EXPECT_EQ(r.outcome.end, RunEnd::Failed);
        EXPECT_TRUE(r.boxes.back().text.endsWith(QStringLiteral("The list could not be written: ") +
                                                 QString::fromUtf8(reason)))
            << r.boxes.back().text.toStdString();
    }
    EXPECT_EQ(f.tree.read("secret"), QByteArray("KEEP"));
    EXPECT_EQ(f.tree.read("shared/index.txt"), QByteArray("MINE"));
    struct stat st {};
    ASSERT_EQ(::lstat(f.tree.path("shared/audio.txt").constData(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(f.tree.entries("shared"), QStringList({"audio.txt", "index.txt"}));
}

TEST(Run, ARunKilledOutrightLeavesNothingAServerCouldShowAndTheNextOneOnlyTheList)
{
    for (const auto waiting : {ReplacingFile::Waiting::Unnamed, ReplacingFile::Waiting::Named}) {
        Fixture f(1200);
        ListingSettings s = plainSettings();
        s.AutoUpdate = true;
        const int status = inChildProcess([&] {
            RecordingHost host(f.src(), f.out());
            host.onProgress = [](qint64 files) {
                if (files >= 512)
                    ::raise(SIGKILL); // the output is open, half written
            };
            Engines engines(s, host.host(), waiting);
            engines.Command1_Click();
        });
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
        EXPECT_EQ(f.tree.read("out/audio.txt"), QByteArray("OLD"));
        // A file without a name dies with its writer; a hidden one stays until the next run.
        EXPECT_EQ(f.tree.entries("out").size(), waiting == ReplacingFile::Waiting::Named ? 2 : 1);
        EXPECT_EQ(
            runListing(s, f.src(), f.out(), "audio.txt", kAnswerYes, "*.mp3", waiting).outcome.end,
            RunEnd::Written);
        EXPECT_EQ(f.tree.entries("out"), QStringList({"audio.txt"}));
    }
}

TEST(Run, AnInterruptEndsTheRunAtOnceAndOnceTheListIsInPlaceItIsNoFailure)
{
    for (const auto waiting : {ReplacingFile::Waiting::Unnamed, ReplacingFile::Waiting::Named}) {
        Fixture f(1200);
        ListingSettings s = plainSettings();
        s.AutoUpdate = true;
        const auto run = [&](bool afterTheRename) {
            return inChildProcess([&] {
                installInterruptHandlers(OnInterrupt::EndAtOnce);
                RecordingHost host(f.src(), f.out());
                host.onProgress = [&](qint64 files) {
                    if (files >= 512 && !afterTheRename)
                        ::raise(SIGTERM);
                };
                host.onListInPlace = [&] {
                    setInterruptExitStatus(0);
                    ::raise(SIGTERM);
                };
                Engines engines(s, host.host(), waiting);
                engines.Command1_Click();
                ::_exit(3); // not reached: the signal ends the process
            });
        };
        const int before = run(false);
        EXPECT_TRUE(WIFSIGNALED(before) && WTERMSIG(before) == SIGTERM);
        EXPECT_EQ(f.tree.read("out/audio.txt"), QByteArray("OLD"));
        EXPECT_EQ(f.tree.entries("out"), QStringList({"audio.txt"}));
        const int after = run(true);
        EXPECT_TRUE(WIFEXITED(after) && WEXITSTATUS(after) == 0);
        EXPECT_TRUE(f.tree.read("out/audio.txt").endsWith(englishTextFooter()));
        EXPECT_EQ(f.tree.entries("out"), QStringList({"audio.txt"}));
    }
}

TEST(Run, UnreadableSourceIsAnErrorNotAnEmptyList)
{
    TempTree tree;
    ListingSettings s = plainSettings();
    s.ListingType = 2;
    const RunResult r = runListing(s, tree.path("missing"), tree.path());
    EXPECT_EQ(r.outcome.end, RunEnd::Failed);
    ASSERT_EQ(r.boxes.size(), 1u);
    EXPECT_EQ(r.boxes[0].text, QString::fromUtf8(tree.path("missing")) +
                                   QStringLiteral("\r\nThis folder cannot be read: no such file "
                                                  "or folder"));
    EXPECT_TRUE(tree.entries().isEmpty());
}

TEST(Run, FortyThousandFilesInOneDirectoryAreAllListed)
{
    TempTree tree;
    for (int i = 0; i < 40000; ++i)
        tree.file("src/" + QByteArray::number(i) + ".mp3");
    ListingSettings s = plainSettings();
    s.AutoUpdate = true;
    const RunResult r = runListing(s, tree.path("src"), tree.path());
    EXPECT_EQ(r.outcome.filesWritten, 40000);
    EXPECT_EQ(tree.read("audio.txt").count("\r\n"), 40000 + 7);
}
