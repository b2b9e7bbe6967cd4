// The walk: order, DirStack and UrlPath at every step, resuming through a changing tree, and
// directories that cannot be entered.

#include "engine/dir_stack.h"
#include "support/test_support.h"

#include <QDir>
#include <QFile>

#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <random>
#include <set>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Drives WalkStep as the run does and records "report DirStack UrlPath Dir1" after each step.
QStringList walkSteps(RecordingHost &host, const QByteArray &root, ListingSettings settings = {})
{
    Engines engines(settings, host.host());
    engines.walk.DirStack = QStringLiteral(";01");
    QStringList steps;
    do {
        engines.WalkStep();
        QByteArray where = host.dir1.path();
        where = where == root ? QByteArray(".") : where.mid(root.size() + 1);
        steps << QStringLiteral("%1 %2 %3 %4")
                     .arg(engines.walk.StepReport, engines.walk.DirStack, engines.run.UrlPath,
                          QString::fromUtf8(where));
        if (steps.size() > 10000)
            break;
    } while (engines.walk.StepReport != QLatin1String("End"));
    return steps;
}

// Directories named in the list, in order (text, type 2: each directory line is CR LF CR LF TAB).
QStringList listedDirs(const QByteArray &list)
{
    QStringList dirs;
    for (const QByteArray &piece : list.split('\t').mid(1))
        dirs << QString::fromLatin1(piece.left(piece.indexOf('\r')));
    return dirs;
}

// Runs a hook the first time the walk moves Dir1 to a given directory. Nothing is read ahead:
// the hooks change the tree at exact moments of the walk, which reading ahead would blur.
class HookedDirList : public FsDirList
{
public:
    using FsDirList::FsDirList;
    std::map<QByteArray, std::function<void()>> hooks;
    bool readingAhead = false;
    void readAhead(FileDetails details) override
    {
        if (readingAhead)
            FsDirList::readAhead(details);
    }
    void setPath(const QByteArray &path) override
    {
        FsDirList::setPath(path);
        auto hook = hooks.find(this->path());
        if (hook != hooks.end()) {
            auto run = std::move(hook->second);
            hooks.erase(hook);
            run();
        }
    }
};

// A source of one sub-directory per name, each holding x.mp3, listed (type 2, text) into out/
// by a run whose Dir1 runs hooks.
struct ChangingTree {
    TempTree tree;
    RecordingHost host{tree.path("src"), tree.path("out")};
    HookedDirList dir1{host.reader};

    explicit ChangingTree(std::initializer_list<const char *> dirs)
    {
        for (const char *dir : dirs)
            tree.file(QByteArray("src/") + dir + "/x.mp3");
        tree.dir("out");
        dir1.onChange = [this] { host.file1.setPath(dir1.path()); };
        dir1.setPath(tree.path("src"));
    }
    void remove(const QByteArray &relative)
    {
        QDir(QFile::decodeName(tree.path(relative))).removeRecursively();
    }
    RunOutcome list(int langue)
    {
        ListingHost h = host.host();
        h.Dir1 = &dir1;
        ListingSettings settings = plainSettings();
        settings.ListingType = 2;
        settings.Langue = langue;
        Engines engines(settings, h);
        engines.Command1_Click();
        return engines.outcome;
    }
};

} // namespace

TEST(DirStack, EntriesGrowWithTheirIndexDigits)
{
    QString stack = QStringLiteral(";01");
    dirStackSetTopIndex(stack, 1);
    EXPECT_EQ(stack, QStringLiteral(";11"));
    stack = QStringLiteral(";21;91");
    EXPECT_EQ(dirStackTopIndex(stack), 9);
    dirStackSetTopIndex(stack, 10);
    EXPECT_EQ(stack, QStringLiteral(";21;102"));
    dirStackSetTopIndex(stack, 11);
    EXPECT_EQ(stack, QStringLiteral(";21;112"));
    stack = QStringLiteral(";992");
    dirStackSetTopIndex(stack, 100);
    EXPECT_EQ(stack, QStringLiteral(";1003"));
    EXPECT_EQ(dirStackTopIndex(stack), 100);
    dirStackPush(stack);
    EXPECT_EQ(stack, QStringLiteral(";1003;01"));
    dirStackPop(stack);
    dirStackPop(stack);
    EXPECT_TRUE(stack.isEmpty());
}

TEST(Walk, GoesDepthFirstAndKeepsItsPlaceInDirStackAndUrlPath)
{
    TempTree tree;
    tree.dir("A/A1");
    tree.dir("B");
    RecordingHost host(tree.path(), tree.path());
    EXPECT_EQ(walkSteps(host, tree.path()), QStringList({
                                                QStringLiteral("Wri ;11;01 A/ A"),
                                                QStringLiteral("Wri ;11;11;01 A/A1/ A/A1"),
                                                QStringLiteral("Dir ;11;11 A/ A"),
                                                QStringLiteral("Dir ;11  ."),
                                                QStringLiteral("Wri ;21;01 B/ B"),
                                                QStringLiteral("Dir ;21  ."),
                                                QStringLiteral("End   ."),
                                            }));
}

TEST(Walk, TenthAndHundredthSubDirectoriesWidenTheirEntry)
{
    TempTree tree;
    for (int i = 0; i < 101; ++i)
        tree.dir(QByteArray("d") + QByteArray::number(i).rightJustified(3, '0'));
    RecordingHost host(tree.path(), tree.path());
    const QStringList steps = walkSteps(host, tree.path());
    ASSERT_EQ(steps.size(), 2 * 101 + 1);
    EXPECT_EQ(steps[2 * 8], QStringLiteral("Wri ;91;01 d008/ d008"));
    EXPECT_EQ(steps[2 * 9], QStringLiteral("Wri ;102;01 d009/ d009"));
    EXPECT_EQ(steps[2 * 10], QStringLiteral("Wri ;112;01 d010/ d010"));
    EXPECT_EQ(steps[2 * 98], QStringLiteral("Wri ;992;01 d098/ d098"));
    EXPECT_EQ(steps[2 * 99], QStringLiteral("Wri ;1003;01 d099/ d099"));
    EXPECT_EQ(steps[2 * 100], QStringLiteral("Wri ;1013;01 d100/ d100"));
    EXPECT_EQ(steps.back(), QStringLiteral("End   ."));
}

TEST(Walk, ASourceWithoutSubDirectoriesEndsAtOnce)
{
    TempTree tree;
    tree.file("a.mp3");
    RecordingHost host(tree.path(), tree.path());
    EXPECT_EQ(walkSteps(host, tree.path()), QStringList({QStringLiteral("End   .")}));
}

TEST(Walk, AtTheRootClimbsBackToTheRootItself)
{
    // A source at "/" is walked only by its first level here: the test needs "/" to hold a
    // directory it can read and enter, which every system has.
    RecordingHost host("/", "/tmp");
    ListingSettings settings;
    Engines engines(settings, host.host());
    engines.walk.DirStack = QStringLiteral(";01");
    engines.WalkStep();
    ASSERT_EQ(engines.walk.StepReport, QStringLiteral("Wri"));
    const QByteArray first = host.dir1.path();
    EXPECT_TRUE(first.startsWith('/') && first.lastIndexOf('/') == 0) << first.constData();
    EXPECT_EQ(engines.run.UrlPath.count(QLatin1Char('/')), 1);
    // Leave the first directory: the walk goes back to "/" (not to an empty path).
    engines.walk.Levels.back().subDirs.clear();
    engines.walk.Levels.back().read = true;
    engines.WalkStep();
    EXPECT_EQ(engines.walk.StepReport, QStringLiteral("Dir"));
    EXPECT_EQ(host.dir1.path(), QByteArray("/"));
    EXPECT_EQ(engines.run.UrlPath, QString());
}

TEST(Walk, DirectoriesAddedOrRemovedDuringARunAreNeitherSkippedNorRepeated)
{
    ChangingTree t({"a", "b", "c", "d"});
    // While the walk is inside "b": a sibling sorted before it appears (an album copied in), and
    // one after it is removed.
    t.dir1.hooks[t.tree.path("src/b")] = [&] {
        t.tree.dir("src/aa");
        t.remove("src/c");
    };
    const RunOutcome outcome = t.list(0);
    ASSERT_EQ(outcome.end, RunEnd::Written);
    EXPECT_EQ(listedDirs(t.tree.read("out/audio.txt")), QStringList({"a", "b", "d"}));
    EXPECT_EQ(outcome.unreadableDirs, 1); // "c", gone before the walk reached it
}

// Reading ahead changes when directories are read, never what the list says: random trees
// with links back up, across and into kernel interfaces, and a spine deeper than the walk's
// course can place or its descriptors can hold, each listed both ways.
TEST(Walk, ReadingAheadGivesTheSameListAsReadingInTurn)
{
    std::mt19937 random(61206);
    for (int round = 0; round < 3; ++round) {
        // The spine's round with few descriptors allowed, as a service may be given.
        struct rlimit usual;
        ::getrlimit(RLIMIT_NOFILE, &usual);
        struct rlimit few = usual;
        few.rlim_cur = round == 0 ? 48 : usual.rlim_cur;
        ::setrlimit(RLIMIT_NOFILE, &few);
        ChangingTree t({});
        std::vector<QByteArray> dirs = {"src"};
        for (int i = 0; i < 150; ++i) {
            const QByteArray parent = dirs[random() % dirs.size()];
            const QByteArray name =
                QByteArray::number(int(random() % 40)) + (random() % 2 ? "Album" : "album");
            dirs.push_back(parent + '/' + name);
            t.tree.dir(dirs.back());
            for (unsigned k = random() % 4; k > 0; --k)
                t.tree.file(dirs.back() + "/" + QByteArray::number(int(random() % 20)) + ".mp3");
        }
        for (int i = 0; i < 12; ++i) {
            const QByteArray from = dirs[random() % dirs.size()];
            const QByteArray to =
                i == 0 ? QByteArray("/proc/self") : t.tree.path(dirs[random() % dirs.size()]);
            t.tree.link(to, from + "/link" + QByteArray::number(i));
        }
        // Each level of the spine: "a", the next level, and "b", holding x.mp3.
        int dir = ::open(t.tree.path("src").constData(), O_RDONLY | O_DIRECTORY);
        for (int depth = 0; depth < (round == 0 ? 300 : 0); ++depth) {
            ::mkdirat(dir, "b", 0755);
            ::close(::openat(dir, "b/x.mp3", O_WRONLY | O_CREAT, 0644));
            ::mkdirat(dir, "a", 0755);
            const int next = ::openat(dir, "a", O_RDONLY | O_DIRECTORY);
            ::close(dir);
            dir = next;
        }
        ::close(::openat(dir, "end.mp3", O_WRONLY | O_CREAT, 0644));
        ::close(dir);

        t.dir1.readingAhead = false;
        t.list(0);
        const QByteArray inTurn = t.tree.read("out/audio.txt");
        t.dir1.readingAhead = true;
        const RunOutcome outcome = t.list(0);
        ::setrlimit(RLIMIT_NOFILE, &usual);
        EXPECT_EQ(outcome.unreadableDirs, 0);
        ASSERT_EQ(outcome.end, RunEnd::Written);
        const QByteArray readAhead = t.tree.read("out/audio.txt");
        EXPECT_TRUE(readAhead == inTurn) << "round " << round << ": " << readAhead.size()
                                         << " bytes read ahead, " << inTurn.size() << " in turn";
        EXPECT_TRUE(inTurn.contains("\r\nend")); // at the bottom of the spine, if any
    }
}

TEST(Walk, UnreadableFolderIsSkippedWithItsLineAndCountedAndNamedInTheEndMessage)
{
    ChangingTree t({"a", "b", "c"});
    for (int langue : {0, 1}) {
        // "b" vanishes while the walk is inside "a": it is in the level list, but cannot be read.
        t.tree.file("src/b/x.mp3");
        t.dir1.hooks[t.tree.path("src/a")] = [&] { t.remove("src/b"); };
        t.host.boxes.clear();
        t.list(langue);
        EXPECT_EQ(listedDirs(t.tree.read("out/audio.txt")), QStringList({"a", "c"}));
        ASSERT_FALSE(t.host.boxes.empty());
        EXPECT_EQ(t.host.boxes.back().text,
                  (langue == 1 ? QStringLiteral("Liste créée !\r\n(1 répertoire(s) illisible(s))")
                               : QStringLiteral("Done !\r\n(1 unreadable folder(s))")) +
                      QStringLiteral("\r\n") + QString::fromUtf8(t.tree.path("src/b")));
        EXPECT_EQ(t.host.boxes.back().style, kStyleInformation);
    }
}

TEST(Walk, FollowsLinksToDirectoriesButNeverEntersAnAncestor)
{
    TempTree tree;
    tree.file("src/a/x.mp3");
    tree.file("elsewhere/y.mp3");
    tree.link("..", "src/a/up");                // back to the source
    tree.link(".", "src/a/self");               // a directory into itself
    tree.link(tree.path("elsewhere"), "src/b"); // a real directory elsewhere
    tree.dir("out");
    ListingSettings settings = plainSettings();
    settings.ListingType = 2;
    settings.AutoUpdate = true;
    settings.IncExt = true;
    const RunResult result = runListing(settings, tree.path("src"), tree.path("out"));
    ASSERT_EQ(result.outcome.end, RunEnd::Written);
    EXPECT_EQ(tree.read("out/audio.txt"), englishTextHeader() +
                                              "\r\n\r\n\ta\r\nx.mp3"
                                              "\r\n\r\n\tb\r\ny.mp3" +
                                              englishTextFooter());
    EXPECT_EQ(result.outcome.unreadableDirs, 0);
}

TEST(Walk, AFolderMetAgainThroughALinkGetsItsLineOnlyAndKernelInterfacesAreNeverEntered)
{
    // Each level holds two links to the next: without care, 2^20 folders to list.
    TempTree tree;
    for (int i = 0; i < 20; ++i) {
        const QByteArray next = "../L" + QByteArray::number(i + 1);
        tree.dir("L" + QByteArray::number(i));
        tree.link(next, "L" + QByteArray::number(i) + "/a");
        tree.link(next, "L" + QByteArray::number(i) + "/b");
    }
    tree.file("L20/x.mp3");
    tree.link("/proc", "L0/proc");
    tree.link("/sys", "L0/sys");
    ListingSettings settings = plainSettings();
    settings.ListingType = 2;
    settings.AutoUpdate = true;
    settings.IncExt = true;
    const RunResult result = runListing(settings, tree.path("L0"), tree.path());
    ASSERT_EQ(result.outcome.end, RunEnd::Written);
    // Down through every "a" to the file, then each "b" (met again) as a line alone.
    EXPECT_EQ(tree.read("audio.txt"), englishTextHeader() + QByteArray("\r\n\r\n\ta").repeated(20) +
                                          "\r\nx.mp3" + QByteArray("\r\n\r\n\tb").repeated(20) +
                                          "\r\n\r\n\tproc\r\n\r\n\tsys" + englishTextFooter());

    settings.ListingType = 1; // a folder met again gives none of its sub-folders' names either
    runListing(settings, tree.path("L0"), tree.path());
    EXPECT_EQ(tree.read("audio.txt"), englishTextHeader() + QByteArray("\r\na").repeated(20) +
                                          QByteArray("\r\nb").repeated(20) + "\r\nproc\r\nsys" +
                                          englishTextFooter());
}

TEST(Walk, PathsFarLongerThanTheSystemsLimitAreWalkedWhole)
{
    // 40 levels of 200-byte names, a file in each: 8,000 bytes of path.
    TempTree tree;
    tree.dir("src");
    int dir = ::open(tree.path("src").constData(), O_RDONLY | O_DIRECTORY);
    const QByteArray name(200, 'n');
    for (int level = 0; level < 40; ++level) {
        ASSERT_EQ(::mkdirat(dir, name.constData(), 0755), 0);
        const int next = ::openat(dir, name.constData(), O_RDONLY | O_DIRECTORY);
        ::close(dir);
        dir = next;
        ::close(::openat(dir, (QByteArray::number(level) + ".mp3").constData(), O_WRONLY | O_CREAT,
                         0644));
    }
    ::close(dir);
    ListingSettings settings = plainSettings();
    settings.ListingType = 2;
    settings.AutoUpdate = true;
    const RunResult result = runListing(settings, tree.path("src"), tree.path());
    // Qt cannot remove what it cannot name; rm walks by descriptors too.
    std::system(("rm -rf " + tree.path("src")).constData());
    EXPECT_EQ(result.outcome.end, RunEnd::Written);
    EXPECT_EQ(result.outcome.filesWritten, 40);
    EXPECT_EQ(result.outcome.unreadableDirs, 0);
}

TEST(Walk, ASourceMovedOrRemovedDuringTheRunFailsAndKeepsTheOldList)
{
    for (bool removed : {false, true}) {
        ChangingTree t({"a", "b", "c"});
        t.tree.file("out/audio.txt", "OLD");
        t.dir1.hooks[t.tree.path("src/b")] = [&] {
            if (removed)
                t.remove("src");
            else
                ::rename(t.tree.path("src").constData(), t.tree.path("moved").constData());
        };
        EXPECT_EQ(t.list(0).end, RunEnd::Failed);
        ASSERT_FALSE(t.host.boxes.empty());
        EXPECT_EQ(t.host.boxes.back().text,
                  QString::fromUtf8(t.tree.path("src")) +
                      QStringLiteral("\r\nThis folder was moved or removed while it was listed: "
                                     "the list was not written."));
        EXPECT_EQ(t.tree.read("out/audio.txt"), QByteArray("OLD"));
        EXPECT_EQ(t.tree.entries("out"), QStringList({"audio.txt"}));
    }
    // Short of descriptors (tags being read, say), a source still there is not taken for gone.
    TempTree tree;
    tree.dir("src");
    const int status = inChildProcess([&] {
        const rlimit few{64, 64};
        ::setrlimit(RLIMIT_NOFILE, &few);
        while (::dup(0) >= 0) {
        }
        FileIdentity identity;
        ::_exit(directoryIdentity(tree.path("src"), &identity) == 0 ? 0 : 1);
    });
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}
