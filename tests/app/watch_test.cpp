// lystora-list as a service: rewriting on change and on a schedule, never serving a partial
// list, never deaf (a failed run, a deleted list, a source that goes and comes back), and
// ending cleanly on a signal. Driven in-process with short timings; waits are on the service's
// own events (its log lines, its falling idle), with generous limits only as guards.

#include "lystora_list/cli_options.h"
#include "lystora_list/console_host.h"
#include "lystora_list/service.h"
#include "settings/registry.h"
#include "support/memory_store.h"
#include "support/test_support.h"
#include "tags/page_covers.h"
#include "tags/tag_cache.h"

#include <QDir>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <mutex>
#include <random>
#include <sched.h>
#include <sqlite3.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

const QByteArray kFooter = "http://www.korvane.net/lya/";
constexpr auto kGuard = std::chrono::seconds(20);

QString str(const QByteArray &bytes)
{
    return QString::fromUtf8(bytes);
}

// A service running on its own thread, as main() runs it, over no stored settings.
// The files below `folder` this process holds open that are no longer in any folder: room on
// the disk that is not given back.
QStringList heldRemoved(const QByteArray &folder)
{
    QStringList held;
    const QString fds = QStringLiteral("/proc/self/fd");
    for (const QString &fd : QDir(fds).entryList(QDir::Files | QDir::System)) {
        const QString target = QFile::symLinkTarget(fds + QLatin1Char('/') + fd);
        if (target.startsWith(str(folder)) && target.endsWith(QLatin1String(" (deleted)")))
            held << target;
    }
    return held;
}

class RunningService
{
public:
    // With --tags among the arguments, tags are kept in the cache at tagCache.
    explicit RunningService(const QStringList &arguments, qint64 settleMs = 300,
                            std::size_t watchLimit = 0, const QByteArray &tagCache = QByteArray())
    {
        ServiceTiming timing;
        timing.minuteMs = 150;
        timing.settleMs = settleMs;
        timing.sourcePollMs = 50;
        timing.watchLimit = watchLimit;
        options_ =
            parseCommandLine(QStringList{QStringLiteral("lystora-list")} + arguments, 0, registry_);
        settings_ = options_.settings;
        console_ = std::make_unique<ConsoleHost>(options_.targetDir, options_.targetName, 0, false);
        console_->file1().setPattern(options_.pattern);
        console_->dir1().setPath(options_.sourceDir);
        engines_ = std::make_unique<Engines>(settings_, console_->host());
        engines_->classicList = options_.classicList;
        engines_->outputs = options_.outputs;
        if (settings_.ReadTags) {
            tags_ = std::make_unique<TagCache>(tagCache);
            engines_->trackInfo = tags_.get();
        }
        if (settings_.Covers)
            covers_ = PageCovers::sources(options_.tagBudget, false);
        engines_->covers = &covers_;
        EXPECT_EQ(::pipe(stop_), 0);
        ServiceEvents events;
        events.log = [this](const QString &line) {
            std::unique_lock<std::mutex> lock(mutex_);
            lines_ << line;
            idleSinceLine_ = false;
            changed_.notify_all();
            if (!holdAt_.isEmpty() && line.toUtf8().contains(holdAt_))
                hold(lock);
        };
        events.idle = [this] {
            const std::lock_guard<std::mutex> lock(mutex_);
            idleSinceLine_ = true;
            if (probeSeen_)
                quietAfterProbe_ = true;
            changed_.notify_all();
        };
        events.seen = [this](const QByteArray &path) {
            std::unique_lock<std::mutex> lock(mutex_);
            if (path == probe_)
                probeSeen_ = true;
            if (!holdAt_.isEmpty() && path == holdAt_)
                hold(lock);
        };
        thread_ = std::thread([this, timing, events] {
            serve(*engines_, *console_, options_, registry_, timing, stop_[0], events);
        });
    }
    ~RunningService()
    {
        release();
        [[maybe_unused]] const ssize_t written = ::write(stop_[1], "x", 1);
        thread_.join();
        ::close(stop_[0]);
        ::close(stop_[1]);
    }

    int count(const QString &text)
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        return int(lines_.filter(text).size());
    }
    int written() { return count(QStringLiteral("list written")); }
    // Waits until `times` lines hold `text`.
    bool waitFor(const QString &text, int times = 1)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, kGuard, [&] { return lines_.filter(text).size() >= times; });
    }
    bool waitForWritten(int times) { return waitFor(QStringLiteral("list written"), times); }
    // Waits until the condition holds, looked at again as each line is logged.
    template <class Condition> bool waitUntil(Condition condition)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, kGuard, [&] { return condition(); });
    }
    // Waits until the service, its last line logged, has nothing left to do.
    bool settled()
    {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, kGuard, [&] { return idleSinceLine_; });
    }
    // Makes a change, then waits until the service has dealt with it. A hidden file made in
    // the source after it (a name the service ignores) comes after the change's own events in
    // the kernel's order: the service idle once it has seen that file has seen the change, and
    // written what it made it write.
    template <class Change> bool quietAfter(Change change)
    {
        if (!settled())
            return false;
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            probe_ = options_.sourceDir + "/.probe" + QByteArray::number(++probes_);
            probeSeen_ = quietAfterProbe_ = false;
        }
        change();
        ::close(::open(probe_.constData(), O_WRONLY | O_CREAT, 0644));
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, kGuard, [&] { return quietAfterProbe_; });
    }
    // Stops the service once it sees path in its reading of changes, or says a line holding
    // it, until release(): the kernel queues what happens meanwhile.
    void holdAt(const QByteArray &pathOrText)
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        holdAt_ = pathOrText;
        held_ = false;
    }
    bool held()
    {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, kGuard, [this] { return held_; });
    }
    void release()
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        holdAt_.clear();
        changed_.notify_all();
    }
    QString log()
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        return lines_.join(QLatin1Char('\n'));
    }

private:
    void hold(std::unique_lock<std::mutex> &lock)
    {
        held_ = true;
        changed_.notify_all();
        changed_.wait(lock, [this] { return holdAt_.isEmpty(); });
    }

    MemoryStore store_;
    Registry registry_{store_};
    CliOptions options_;
    ListingSettings settings_;
    std::unique_ptr<ConsoleHost> console_;
    std::unique_ptr<TagCache> tags_;
    CoverSources covers_;
    std::unique_ptr<Engines> engines_;
    int stop_[2] = {-1, -1};
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable changed_;
    QStringList lines_;
    bool idleSinceLine_ = false;
    QByteArray probe_;
    int probes_ = 0;
    bool probeSeen_ = false;
    bool quietAfterProbe_ = false;
    QByteArray holdAt_;
    bool held_ = false;
};

void removeTree(const QByteArray &path)
{
    QDir(str(path)).removeRecursively();
}

// The program run as a process of its own, its settings and cache within tree, its messages
// read from stderr.
void asProgram(QProcess &process, const TempTree &tree)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), str(tree.path("config")));
    env.insert(QStringLiteral("XDG_CACHE_HOME"), str(tree.path("cache")));
    env.insert(QStringLiteral("LANG"), QStringLiteral("C.UTF-8"));
    process.setProcessEnvironment(env);
    process.setReadChannel(QProcess::StandardError);
}

// Reads the process's messages into log until it told of that many lists written.
bool readUntilWritten(QProcess &process, QByteArray &log, int lists)
{
    while (log.count("list written") < lists && process.waitForReadyRead(20000))
        log += process.readAllStandardError();
    return log.count("list written") >= lists;
}

// From here on, what this process mounts lives in a mount namespace of its own, which the
// kernel drops with the process: nothing stays mounted however the test ends, a time-out of
// ctest's included. False without the right to.
bool inMountNamespaceOfItsOwn()
{
    if (::unshare(CLONE_NEWNS) != 0)
        return false;
    // Mounts shared with others would carry ours out. In a chroot whose root is no mount this
    // cannot be asked, and the mounts around are then the chroot maker's own.
    ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr);
    return true;
}

} // namespace

TEST(Watch, ABurstGivesOneRewriteAndNoListTriggersItselfWhateverLinksLeadToIt)
{
    TempTree tree;
    tree.file("music/first.mp3");
    // The list lives in the folder it lists, as on a web server, and both the source and the
    // list are named through links.
    tree.link(tree.path("music"), "source");
    tree.link(tree.path("music"), "served");
    RunningService service({"--watch", "-t", "2", "--html", str(tree.path("source")),
                            str(tree.path("served/index.htm"))});
    ASSERT_TRUE(service.waitForWritten(1));
    ASSERT_TRUE(service.settled());
    EXPECT_EQ(service.written(), 1);

    tree.dir("music/Album");
    for (int i = 0; i < 200; ++i)
        tree.file("music/Album/" + QByteArray::number(i) + ".mp3");
    ASSERT_TRUE(service.waitForWritten(2));
    ASSERT_TRUE(service.settled());
    EXPECT_EQ(service.written(), 2);

    // Not a file the list shows.
    ASSERT_TRUE(service.quietAfter([&] { tree.file("music/cover.jpg"); }));
    EXPECT_EQ(service.written(), 2);
}

TEST(Watch, EveryListIsMadeAgainAndNoneOfThemTriggersItself)
{
    TempTree tree;
    tree.file("music/a.mp3");
    tree.file("music/Old/c.mp3"); // copied from the lists written before: read from those
    // The page's folder of pictures is made in the tree too, and left out of it.
    RunningService service({"--watch", "-t", "2", "--html", "--covers", "--also",
                            "page:" + str(tree.path("music/index.html")), "--also",
                            "m3u8:" + str(tree.path("music/all.m3u8")), "--also",
                            "json:" + str(tree.path("music/all.json")), str(tree.path("music")),
                            str(tree.path("music/list.htm"))});
    ASSERT_TRUE(service.waitForWritten(1));
    ASSERT_TRUE(service.settled());
    tree.file("music/b.mp3");
    ASSERT_TRUE(service.waitForWritten(2));
    ASSERT_TRUE(service.settled());
    EXPECT_EQ(service.written(), 2);
    ASSERT_TRUE(tree.entries("music").contains(QStringLiteral("index.covers")));
    for (const char *list :
         {"music/list.htm", "music/index.html", "music/all.m3u8", "music/all.json"}) {
        EXPECT_TRUE(tree.read(list).contains("b.mp3") || tree.read(list).contains(">b<")) << list;
        EXPECT_FALSE(tree.read(list).contains("covers")) << list;
    }
    // Lists replaced are let go of at once.
    EXPECT_EQ(heldRemoved(tree.path("music")), QStringList());
}

TEST(Watch, AFailedRunIsTriedAgainUntilItSucceedsAndADeletedListIsMadeAgain)
{
    TempTree tree;
    tree.file("src/a.mp3");
    tree.dir("out");
    RunningService service({"--watch", str(tree.path("src")), str(tree.path("out/list.txt"))});
    ASSERT_TRUE(service.waitForWritten(1));
    removeTree(tree.path("out"));
    tree.file("src/b.mp3");
    ASSERT_TRUE(service.waitFor(QStringLiteral("list not written")));
    tree.dir("out"); // no change in the tree: the retry alone makes the list
    ASSERT_TRUE(service.waitForWritten(2)) << service.log().toStdString();
    EXPECT_TRUE(tree.read("out/list.txt").contains("b"));
    EXPECT_EQ(service.count(QStringLiteral("list not written")), 1); // told once

    ASSERT_EQ(::unlink(tree.path("out/list.txt").constData()), 0);
    ASSERT_TRUE(service.waitForWritten(3));
    EXPECT_TRUE(tree.read("out/list.txt").endsWith(kFooter));
}

TEST(Watch, ASourceRemovedAndMadeAgainIsWatchedAndListedAgain)
{
    TempTree tree;
    tree.file("src/a.mp3");
    RunningService service({"--watch", str(tree.path("src")), str(tree.path("list.txt"))});
    ASSERT_TRUE(service.waitForWritten(1));
    removeTree(tree.path("src"));
    ASSERT_TRUE(service.waitFor(QStringLiteral("is gone: waiting for it to come back")));
    tree.file("src/new.mp3");
    ASSERT_TRUE(service.waitFor(QStringLiteral("is back: watched and listed again")));
    ASSERT_TRUE(service.waitForWritten(2));
    EXPECT_TRUE(tree.read("list.txt").contains("new"));
    tree.file("src/newer.mp3"); // watched again
    ASSERT_TRUE(service.waitForWritten(3));
    EXPECT_TRUE(tree.read("list.txt").contains("newer"));
    EXPECT_EQ(service.count(QStringLiteral("is gone")), 1);
}

TEST(Watch, ASourceDiskUnmountedAndMountedAgainIsListedAndWatchedAgain)
{
    if (!inMountNamespaceOfItsOwn())
        GTEST_SKIP() << "mounting needs root";
    TempTree tree;
    tree.dir("src");
    const QByteArray src = tree.path("src");
    const auto mountDisk = [&] { return ::mount("lystora-test", src, "tmpfs", 0, nullptr) == 0; };
    ASSERT_TRUE(mountDisk());
    const struct Unmounted {
        QByteArray path;
        ~Unmounted()
        {
            while (::umount2(path.constData(), MNT_DETACH) == 0) {
            }
        }
    } unmounted{src};
    tree.file("src/a.mp3");
    RunningService service({"--watch", "-e", str(src), str(tree.path("list.txt"))});
    ASSERT_TRUE(service.waitForWritten(1));
    // The disk unmounted and seen so, then mounted again; then another mounted over it while
    // the service is busy writing a list, unseen by any watch.
    for (const QByteArray name : {"b.mp3", "c.mp3"}) {
        if (name == "b.mp3") {
            ASSERT_EQ(::umount2(src, 0), 0) << "the service keeps the disk busy";
            ASSERT_TRUE(service.waitFor(QStringLiteral("leads to another folder now")));
        } else {
            service.holdAt("list written");
            tree.file("src/b2.mp3");
            ASSERT_TRUE(service.held());
        }
        ASSERT_TRUE(mountDisk());
        service.release();
        tree.file("src/" + name); // on the disk mounted now, which must be watched
        ASSERT_TRUE(service.waitUntil([&] { return tree.read("list.txt").contains(name); }))
            << name.constData() << ":\n"
            << service.log().toStdString() << '\n'
            << tree.read("list.txt").constData();
    }
    // The empty folder under the disk is told once each time, not at every retry.
    EXPECT_LE(service.count(QStringLiteral("No file found")), 2) << service.log().toStdString();
}

TEST(Watch, AFolderMovedOutOfTheTreeIsNoLongerWatched)
{
    TempTree tree;
    tree.file("src/Album/a.mp3");
    tree.dir("elsewhere");
    RunningService service(
        {"--watch", "-t", "2", str(tree.path("src")), str(tree.path("list.txt"))});
    ASSERT_TRUE(service.waitForWritten(1));
    ASSERT_EQ(
        ::rename(tree.path("src/Album").constData(), tree.path("elsewhere/Album").constData()), 0);
    ASSERT_TRUE(service.waitForWritten(2));
    ASSERT_TRUE(service.quietAfter([&] { tree.file("elsewhere/Album/b.mp3"); }));
    EXPECT_EQ(service.written(), 2);
}

TEST(Watch, AReaderNeverSeesAListWithoutItsFooter)
{
    TempTree tree;
    for (int i = 0; i < 300; ++i)
        tree.file("src/" + QByteArray::number(i) + ".mp3");
    RunningService service({"--watch", str(tree.path("src")), str(tree.path("list.txt"))});
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
    for (int round = 0; round < 5; ++round) {
        tree.file("src/extra" + QByteArray::number(round) + ".mp3");
        ASSERT_TRUE(service.waitForWritten(2 + round));
    }
    stop = true;
    reader.join();
    EXPECT_GT(reads.load(), 100);
    EXPECT_EQ(partial.load(), 0);
}

TEST(Every, ListsComeOnScheduleWithoutAnyChange)
{
    TempTree tree;
    tree.file("src/a.mp3");
    RunningService service({"--every", "1", str(tree.path("src")), str(tree.path("list.txt"))});
    ASSERT_TRUE(service.waitForWritten(3));
    EXPECT_EQ(tree.entries(), QStringList({"list.txt", "src"}));
}

TEST(Watch, TheProgramEndsOnASignalWithItsListWholeAndNothingElse)
{
    TempTree tree;
    tree.file("src/a.mp3");
    tree.dir("out");
    QProcess process;
    asProgram(process, tree);
    process.start(QStringLiteral(LYSTORA_LIST),
                  {"--watch", str(tree.path("src")), str(tree.path("out/list.txt"))});
    ASSERT_TRUE(process.waitForStarted());
    QByteArray log;
    ASSERT_TRUE(readUntilWritten(process, log, 1)) << log.constData();
    ::kill(pid_t(process.processId()), SIGTERM);
    ASSERT_TRUE(process.waitForFinished(20000));
    EXPECT_EQ(process.exitStatus(), QProcess::CrashExit); // ended by the signal, as it asked
    EXPECT_EQ(tree.entries("out"), QStringList({"list.txt"}));
    EXPECT_TRUE(tree.read("out/list.txt").endsWith(kFooter));
}

TEST(Watch, ReadersThatCannotStartAreToldOnceAndTheListsStillWritten)
{
    TempTree tree;
    tree.file("src/A/a.mp3");
    tree.file("src/A/cover.jpg", "\xFF\xD8\xFF");
    tree.dir("bin");
    // An installation that lost its lystora-tag-reader: the program without one beside it.
    const QString program = str(tree.path("bin/lystora-list"));
    ASSERT_TRUE(QFile::copy(QStringLiteral(LYSTORA_LIST), program));
    QProcess process;
    asProgram(process, tree);
    const QStringList list = QStringList{"--format", "page", "--tags", "--covers"}
                             << str(tree.path("src")) << str(tree.path("index.html"));
    const QString missing = QStringLiteral("lystora-tag-reader not found");
    process.start(program, list);
    ASSERT_TRUE(process.waitForFinished(20000));
    const QString once = QString::fromUtf8(process.readAllStandardError());
    EXPECT_EQ(process.exitCode(), 0);
    EXPECT_EQ(once.count(missing), 1) << once.toStdString();
    EXPECT_TRUE(tree.read("index.html").contains("a.mp3"));

    // Watching, not at each list.
    process.start(program, QStringList{"--watch", "--force"} + list);
    QByteArray log;
    ASSERT_TRUE(readUntilWritten(process, log, 1)) << log.constData();
    tree.file("src/A/b.mp3");
    ASSERT_TRUE(readUntilWritten(process, log, 2)) << log.constData();
    process.kill();
    process.waitForFinished(20000);
    EXPECT_EQ(QString::fromUtf8(log).count(missing), 1) << log.constData();
}

TEST(Watch, WhatEveryListCoversIsWatchedAndAFileWrittenInPlaceIsListedAgain)
{
    TempTree tree;
    tree.file("music/a.mp3");
    tree.dir("music/Artist");
    // Listing type 0: the classic list shows the source alone, the page and the JSON all of it.
    RunningService service({"--watch", "-t", "0", "--also", "json:" + str(tree.path("all.json")),
                            str(tree.path("music")), str(tree.path("list.txt"))});
    ASSERT_TRUE(service.waitForWritten(1));
    tree.file("music/Artist/Album/b.mp3");
    ASSERT_TRUE(service.waitUntil([&] { return tree.read("all.json").contains("b.mp3"); }))
        << service.log().toStdString();
    // An upload written a piece at a time: listed with its whole size once it is closed.
    const QByteArray upload = tree.path("music/Artist/Album/c.mp3");
    const int fd = ::open(upload.constData(), O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, "12", 2), 2);
    ASSERT_TRUE(service.waitUntil([&] { return tree.read("all.json").contains("c.mp3"); }));
    ASSERT_EQ(::write(fd, "345", 3), 3);
    ::close(fd);
    ASSERT_TRUE(service.waitUntil([&] {
        return tree.read("all.json")
            .contains("\"c.mp3\",\"path\":\"Artist/Album/c.mp3\",\"size\":5");
    })) << tree.read("all.json").constData();
    // Hidden names, other patterns and the lists themselves still wake nothing.
    const int written = service.written();
    ASSERT_TRUE(service.quietAfter([&] { tree.file("music/Artist/cover.jpg", "x"); }));
    EXPECT_EQ(service.written(), written);
    // A list rewritten copies what did not change from the list it wrote last: not once that
    // list was changed in place, even to the same size and time.
    const QByteArray json = tree.path("all.json");
    struct stat before {};
    ASSERT_EQ(::stat(json.constData(), &before), 0);
    const int in = ::open(json.constData(), O_WRONLY);
    ASSERT_GE(in, 0);
    // Its mark left at its start: still a list of this program's, replaced unasked.
    const qsizetype kept = 120;
    ASSERT_EQ(::pwrite(in, QByteArray(before.st_size - kept, 'x').constData(),
                       before.st_size - kept, kept),
              before.st_size - kept);
    const timespec times[2] = {before.st_atim, before.st_mtim};
    ::futimens(in, times);
    ::close(in);
    tree.file("music/d.mp3");
    ASSERT_TRUE(service.waitUntil([&] { return tree.read("all.json").contains("d.mp3"); }));
    EXPECT_FALSE(tree.read("all.json").contains("xx"));
    EXPECT_TRUE(tree.read("all.json").contains("\"c.mp3\",\"path\":\"Artist/Album/c.mp3\""));
}

TEST(Watch, WithTagsWhatAnotherWroteToTheCacheAndFilesThatCannotBeReadAreToldAtEachList)
{
    TempTree tree;
    tree.file("src/A/a.mp3", id3v2Tag(id3v2Text("TIT2", "Before")));
    tree.file("src/C/x.mp3", nestedMp4Atoms(60000)); // crashes its reader
    const QByteArray cache = tree.path("tags.sqlite");
    RunningService service({"--watch", "-t", "2", "--tags", "--also",
                            "json:" + str(tree.path("all.json")), str(tree.path("src")),
                            str(tree.path("list.txt"))},
                           20, 0, cache);
    ASSERT_TRUE(service.waitForWritten(1)) << service.log().toStdString();
    ASSERT_TRUE(tree.read("all.json").contains("\"title\":\"Before\""));
    tree.file("src/B/b.mp3");
    ASSERT_TRUE(service.waitForWritten(2));
    // Another program sharing the cache (another version of this one) read a.mp3 otherwise.
    sqlite3 *db = nullptr;
    ASSERT_EQ(sqlite3_open(cache.constData(), &db), SQLITE_OK);
    sqlite3_busy_timeout(db, 10000);
    ASSERT_EQ(sqlite3_exec(db, "UPDATE tracks SET title='After' WHERE name=CAST('a.mp3' AS BLOB)",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    EXPECT_EQ(sqlite3_changes(db), 1);
    sqlite3_close(db);
    // A change elsewhere: A and C are as they were, but not what their tags show or count.
    tree.file("src/B/c.mp3");
    ASSERT_TRUE(service.waitForWritten(3));
    EXPECT_TRUE(tree.read("all.json").contains("\"title\":\"After\""));
    tree.file("src/B/d.mp3");
    ASSERT_TRUE(service.waitForWritten(4));
    EXPECT_EQ(service.count(QStringLiteral("(1 file whose tags could not be read)")), 4)
        << service.log().toStdString();
}

TEST(Watch, APictureFromATrackStaysOnThePageAfterChangesElsewhere)
{
    TempTree tree;
    ASSERT_TRUE(makePicture(tree.path("picture.png"), "300x300"));
    const QByteArray picture = QByteArray("\0image/png\0\x03\0", 13) + tree.read("picture.png");
    tree.file("src/A/a.mp3", id3v2Tag("APIC" + bigEndian32(quint32(picture.size())) +
                                      QByteArray(2, '\0') + picture));
    tree.file("src/B/b.mp3");
    tree.dir("out");
    RunningService service({"--watch", "-t", "2", "--tags", "--covers", "--format", "page",
                            str(tree.path("src")), str(tree.path("out/index.html"))},
                           20, 0, tree.path("tags.sqlite"));
    ASSERT_TRUE(service.waitForWritten(1)) << service.log().toStdString();
    const QStringList thumbnails = tree.entries("out/index.covers");
    ASSERT_EQ(thumbnails.size(), 2);
    const QByteArray shown = "index.covers/" + thumbnails[1].toUtf8();
    ASSERT_TRUE(tree.read("out/index.html").contains(shown));
    // A's page piece holds no picture: it is made at the folder's end, from its track.
    tree.file("src/B/c.mp3");
    ASSERT_TRUE(service.waitForWritten(2));
    EXPECT_TRUE(tree.read("out/index.html").contains(shown));
    EXPECT_EQ(tree.entries("out/index.covers"), thumbnails);
}

TEST(Watch, ChangesTheKernelDroppedGiveAWholeWalkAndEveryFolderWatchedAgain)
{
    TempTree tree;
    tree.file("music/a.mp3");
    RunningService service(
        {"--watch", "-t", "2", str(tree.path("music")), str(tree.path("list.txt"))});
    ASSERT_TRUE(service.waitForWritten(1));
    service.holdAt(tree.path("music/.hold"));
    tree.file("music/.hold");
    ASSERT_TRUE(service.held());
    // More changes than the kernel queues (each file made gives two), then a folder it drops.
    std::ifstream limit("/proc/sys/fs/inotify/max_queued_events");
    int queued = 16384;
    limit >> queued;
    for (int i = 0; i <= queued / 2; ++i)
        ::close(::open(tree.path("music/.n" + QByteArray::number(i)).constData(),
                       O_WRONLY | O_CREAT, 0644));
    tree.file("music/New/b.mp3");
    service.release();
    ASSERT_TRUE(service.waitFor(QStringLiteral("list written: 2 files")));
    ASSERT_TRUE(service.quietAfter([&] { tree.file("music/New/c.mp3"); }));
    EXPECT_EQ(service.count(QStringLiteral("list written: 3 files")), 1)
        << service.log().toStdString();
}

TEST(Watch, BeyondTheWatchLimitTheListIsMadeOnScheduleSaidOnce)
{
    for (const bool fromTheStart : {true, false}) {
        TempTree tree;
        tree.file("music/A/a.mp3");
        tree.file("music/B/b.mp3");
        RunningService service({"--watch", "--every", "1", "-t", "2", str(tree.path("music")),
                                str(tree.path("list.txt"))},
                               300, fromTheStart ? 2 : 3);
        ASSERT_TRUE(service.waitForWritten(1));
        if (!fromTheStart)
            tree.file("music/C/c.mp3"); // one folder too many
        ASSERT_TRUE(service.waitFor(QStringLiteral("fs.inotify.max_user_watches")));
        tree.file("music/A/later.mp3");
        // Listed on schedule, twice, although no watch saw it come.
        ASSERT_TRUE(
            service.waitFor(QStringLiteral("list written: %1 files").arg(fromTheStart ? 3 : 4), 2))
            << service.log().toStdString();
        EXPECT_EQ(service.count(QStringLiteral("cannot all be seen")), 1);
    }
}

namespace {

// A fresh run of the same command, as a one-off lystora-list makes it, its lists elsewhere
// (and its tags' cache, when it reads tags).
void freshRun(const QStringList &arguments, const QByteArray &tagCache = QByteArray())
{
    MemoryStore store;
    Registry registry(store);
    const CliOptions options =
        parseCommandLine(QStringList{QStringLiteral("lystora-list")} + arguments, 0, registry);
    ListingSettings settings = options.settings;
    ConsoleHost console(options.targetDir, options.targetName, 0, true);
    console.setQuiet(true);
    console.file1().setPattern(options.pattern);
    console.dir1().setPath(options.sourceDir);
    Engines engines(settings, console.host());
    engines.classicList = options.classicList;
    engines.outputs = options.outputs;
    std::unique_ptr<TagCache> tags;
    if (settings.ReadTags) {
        tags = std::make_unique<TagCache>(tagCache);
        engines.trackInfo = tags.get();
    }
    engines.Command1_Click();
}

// A list's bytes with the time of its making taken out.
QByteArray timeless(QByteArray bytes)
{
    static const QRegularExpression made(
        QStringLiteral("<time datetime=\"[^\"]*\">[^<]*</time>|\"created\":\"[^\"]*\""));
    return QString::fromLatin1(bytes).replace(made, QStringLiteral("TIME")).toLatin1();
}

// Where two lists part, as a few lines of each: a whole page would bury it.
std::string whereTheyPart(const QByteArray &watched, const QByteArray &fresh)
{
    const QList<QByteArray> a = watched.split('\n'), b = fresh.split('\n');
    qsizetype at = 0;
    while (at < a.size() && at < b.size() && a[at] == b[at])
        ++at;
    const auto around = [at](const QList<QByteArray> &lines) {
        std::string shown;
        for (qsizetype i = std::max<qsizetype>(0, at - 2); i < std::min(lines.size(), at + 4); ++i)
            shown += (i == at ? "> " : "  ") + lines[i].toStdString() + '\n';
        return shown;
    };
    return "line " + std::to_string(at + 1) + "\nwatched:\n" + around(a) + "fresh:\n" + around(b);
}

// The changes a served tree sees, at random: files and folders made, removed, renamed, moved,
// written, touched; links to folders made and removed; names that match and names that do not.
class RandomTree
{
public:
    // With `tagged`, most files that match are MP3 files with tags of their own.
    RandomTree(TempTree &tree, std::mt19937 &random, bool tagged = false)
        : tree_(tree), random_(random), tagged_(tagged)
    {
        folders_ = {"src"};
    }

    QString step()
    {
        const int what = pick(13);
        const QByteArray folder = folders_[pick(int(folders_.size()))];
        const QByteArray path = tree_.path(folder);
        switch (what) {
        case 0:
        case 1:
        case 2: { // a file, most often one that matches
            const char *ext[] = {".mp3", ".mp3", ".MP3", ".txt", ".mp3.part"};
            const QByteArray name = word() + ext[pick(5)];
            // A folder or a link moved here may have taken the name.
            struct stat st {};
            if (::lstat((path + '/' + name).constData(), &st) == 0 && !S_ISREG(st.st_mode))
                return "name taken: " + str(folder + '/' + name);
            tree_.file(folder + '/' + name,
                       tagged_ && pick(4) > 0 ? tagged() : QByteArray(pick(50), 'x'));
            return "file " + str(folder + '/' + name);
        }
        case 3: { // a folder
            const QByteArray name = folder + '/' + word();
            // A file moved here may have taken the name.
            struct stat st {};
            if (::lstat(tree_.path(name).constData(), &st) == 0 && !S_ISDIR(st.st_mode))
                return "name taken: " + str(name);
            tree_.dir(name);
            folders_.push_back(name);
            return "folder " + str(name);
        }
        case 4: { // a hidden name
            tree_.file(folder + "/." + word() + ".mp3");
            return "hidden in " + str(folder);
        }
        case 5:
        case 6: { // a file or a link removed
            const QByteArray name = anyName(folder, false);
            if (name.isEmpty())
                return "nothing to remove";
            ::unlink((path + '/' + name).constData());
            return "removed " + str(folder + '/' + name);
        }
        case 7: { // a name renamed or moved to another folder
            const QByteArray name = anyName(folder, true);
            const QByteArray to = folders_[pick(int(folders_.size()))];
            if (name.isEmpty() || (to + '/').startsWith(folder + '/' + name + '/'))
                return "nothing to move";
            const QByteArray target = to + '/' + word() + (pick(2) ? ".mp3" : "");
            ::rename((path + '/' + name).constData(), tree_.path(target).constData());
            refreshFolders();
            return "moved " + str(folder + '/' + name) + " to " + str(target);
        }
        case 8: { // a folder removed with all it holds
            if (folder == "src")
                return "the source stays";
            QDir(str(path)).removeRecursively();
            refreshFolders();
            return "removed folder " + str(folder);
        }
        case 9: { // a link to a folder of the tree (perhaps an ancestor: a loop)
            const QByteArray target = folders_[pick(int(folders_.size()))];
            const QByteArray name = folder + "/link" + word();
            ::symlink(tree_.path(target).constData(), tree_.path(name).constData());
            return "link " + str(name) + " to " + str(target);
        }
        case 10: { // written in place
            const QByteArray name = anyFile(folder);
            if (name.isEmpty())
                return "nothing to write";
            const int fd = ::open((path + '/' + name).constData(), O_WRONLY | O_APPEND);
            [[maybe_unused]] const ssize_t n = ::write(fd, "more", 4);
            ::close(fd);
            return "written " + str(folder + '/' + name);
        }
        case 11: { // touched: another modification time
            const QByteArray name = anyFile(folder);
            if (name.isEmpty())
                return "nothing to touch";
            const timespec times[2] = {{1000000000 + pick(1000000), 0},
                                       {1000000000 + pick(1000000), 0}};
            ::utimensat(AT_FDCWD, (path + '/' + name).constData(), times, 0);
            return "touched " + str(folder + '/' + name);
        }
        default: { // a folder renamed
            if (folder == "src")
                return "the source keeps its name";
            const QByteArray renamed = folder.left(folder.lastIndexOf('/') + 1) + word();
            ::rename(path.constData(), tree_.path(renamed).constData());
            refreshFolders();
            return "renamed " + str(folder) + " to " + str(renamed);
        }
        }
    }

private:
    int pick(int n) { return int(random_() % unsigned(n)); }
    QByteArray tagged()
    {
        QByteArray frames = id3v2Text("TIT2", "T" + QByteArray::number(pick(1000)));
        if (pick(2))
            frames += id3v2Text("TPE1", "Artist " + QByteArray::number(pick(3)));
        return id3v2Tag(frames, 1 + pick(40));
    }
    QByteArray word()
    {
        static const char *const words[] = {"a", "b", "Été", "z z", "10", "2", "x&y", "#"};
        return QByteArray(words[pick(8)]) + QByteArray::number(pick(40));
    }
    // A name in folder: a file or a link, or a folder too when asked.
    QByteArray anyName(const QByteArray &folder, bool folders)
    {
        QList<QByteArray> names;
        for (const QString &name : tree_.entries(folder)) {
            struct stat st {};
            const QByteArray bytes = name.toUtf8();
            // The first file stays: without a file the service writes nothing and waits.
            if (bytes.startsWith('.') || (folder == "src" && bytes == "first.mp3") ||
                ::lstat(tree_.path(folder + '/' + bytes).constData(), &st) != 0)
                continue;
            if (!S_ISDIR(st.st_mode) || folders)
                names << bytes;
        }
        return names.isEmpty() ? QByteArray() : names[pick(int(names.size()))];
    }
    QByteArray anyFile(const QByteArray &folder)
    {
        for (int tries = 0; tries < 5; ++tries) {
            const QByteArray name = anyName(folder, false);
            struct stat st {};
            if (!name.isEmpty() && ::lstat(tree_.path(folder + '/' + name).constData(), &st) == 0 &&
                S_ISREG(st.st_mode))
                return name;
        }
        return QByteArray();
    }
    void refreshFolders()
    {
        std::vector<QByteArray> folders{"src"};
        for (std::size_t i = 0; i < folders.size(); ++i) {
            for (const QString &name : tree_.entries(folders[i])) {
                struct stat st {};
                const QByteArray child = folders[i] + '/' + name.toUtf8();
                if (::lstat(tree_.path(child).constData(), &st) == 0 && S_ISDIR(st.st_mode))
                    folders.push_back(child);
            }
        }
        folders_ = folders;
    }

    TempTree &tree_;
    std::mt19937 &random_;
    bool tagged_ = false;
    std::vector<QByteArray> folders_;
};

// Changes to a watched tree (step() makes one and says what it was, `steps` times), each
// followed by a fresh run: every list the same.
void compareWithFreshRuns(TempTree &tree, const std::function<QString()> &step, const char *type,
                          int steps, bool tagged)
{
    tree.file("src/first.mp3", "x");
    tree.dir("out/watched");
    tree.dir("out/fresh");
    const auto arguments = [&](const char *where) {
        const QByteArray out = tree.path("out/") + where;
        return QStringList{"-t",
                           type,
                           "--html",
                           "--base-url",
                           "http://h/",
                           "-p",
                           "*.mp3",
                           tagged ? "--tags" : "--no-tags",
                           "--also",
                           str("page:" + out + "/index.html"),
                           "--also",
                           str("m3u8:" + out + "/all.m3u8"),
                           "--also",
                           str("json:" + out + "/all.json"),
                           str(tree.path("src")),
                           str(out + "/list.htm")};
    };
    RunningService service(QStringList{"--watch"} + arguments("watched"), 20, 0,
                           tree.path("out/watched.sqlite"));
    ASSERT_TRUE(service.waitForWritten(1));
    for (int at = 0; at < steps; ++at) {
        QString what;
        ASSERT_TRUE(service.quietAfter([&] { what = step(); }))
            << "step " << at << ": " << what.toStdString();
        freshRun(QStringList{"-f"} + arguments("fresh"), tree.path("out/fresh.sqlite"));
        for (const char *list : {"list.htm", "index.html", "all.m3u8", "all.json"}) {
            const QByteArray name(list);
            const QByteArray watched = timeless(tree.read("out/watched/" + name));
            const QByteArray fresh = timeless(tree.read("out/fresh/" + name));
            ASSERT_TRUE(watched == fresh)
                << "type " << type << (tagged ? " with tags" : "") << ", step " << at << " ("
                << what.toStdString() << "), " << list << ", " << whereTheyPart(watched, fresh);
        }
    }
}

} // namespace

TEST(Watch, AfterAnyChangesEveryListIsByteForByteThatOfAFreshRun)
{
    // LYSTORA_SEED=n plays a failure's changes again.
    const unsigned seed = qEnvironmentVariableIsSet("LYSTORA_SEED")
                              ? qEnvironmentVariableIntValue("LYSTORA_SEED")
                              : std::random_device{}();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    const auto randomly = [&](const char *type, bool tagged) {
        TempTree tree;
        RandomTree changes(tree, random, tagged);
        compareWithFreshRuns(
            tree, [&] { return changes.step(); }, type, 100, tagged);
    };
    for (const char *type : {"0", "1", "2"}) {
        randomly(type, false);
        if (HasFatalFailure())
            return;
    }
    // The tags of files that did not change are the cache's: written as they were last time.
    randomly("2", true);
}

TEST(Watch, WhatChangedBetweenTwoFoldersTakenAgainIsWrittenAsItIsNow)
{
    // Between two albums that stay as they were, a link met again (its heading alone) takes
    // another name as long: the rest of the lists is copied, that heading must not be.
    TempTree tree;
    tree.file("src/A/a1/x.mp3");
    tree.file("src/A/c1/y.mp3");
    ::symlink(tree.path("src/A/a1").constData(), tree.path("src/A/b1").constData());
    int round = 0;
    const auto renamed = [&] {
        const QByteArray from = round % 2 ? "src/A/b2" : "src/A/b1";
        const QByteArray to = round++ % 2 ? "src/A/b1" : "src/A/b2";
        ::rename(tree.path(from).constData(), tree.path(to).constData());
        return "renamed " + str(from) + " to " + str(to);
    };
    compareWithFreshRuns(tree, renamed, "2", 3, false);
}
