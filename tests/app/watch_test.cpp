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

#include <QDir>
#include <QProcess>
#include <QProcessEnvironment>

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
#include <sched.h>
#include <sys/mount.h>
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
class RunningService
{
public:
    explicit RunningService(const QStringList &arguments)
    {
        ServiceTiming timing;
        timing.minuteMs = 150;
        timing.settleMs = 300;
        timing.sourcePollMs = 50;
        options_ =
            parseCommandLine(QStringList{QStringLiteral("lystora-list")} + arguments, 0, registry_);
        settings_ = options_.settings;
        console_ = std::make_unique<ConsoleHost>(options_.targetDir, options_.targetName, 0, false);
        console_->file1().setPattern(options_.pattern);
        console_->dir1().setPath(options_.sourceDir);
        engines_ = std::make_unique<Engines>(settings_, console_->host());
        engines_->classicList = options_.classicList;
        engines_->outputs = options_.outputs;
        EXPECT_EQ(::pipe(stop_), 0);
        ServiceEvents events;
        events.log = [this](const QString &line) {
            const std::lock_guard<std::mutex> lock(mutex_);
            lines_ << line;
            idleSinceLine_ = false;
            changed_.notify_all();
        };
        events.idle = [this] {
            const std::lock_guard<std::mutex> lock(mutex_);
            ++idles_;
            idleSinceLine_ = true;
            changed_.notify_all();
        };
        thread_ = std::thread([this, timing, events] {
            serve(*engines_, *console_, options_, registry_, timing, stop_[0], events);
        });
    }
    ~RunningService()
    {
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
    // Makes a change the service should ignore, then waits until it has dealt with it. A
    // hidden file made in the source after it wakes the service (which ignores hidden names);
    // the kernel reports changes in order, so by then the change itself has been seen, if it
    // was seen at all.
    template <class Change> bool quietAfter(Change change)
    {
        if (!settled())
            return false;
        int before = 0;
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            before = idles_;
        }
        change();
        const QByteArray probe = options_.sourceDir + "/.probe" + QByteArray::number(before);
        ::close(::open(probe.constData(), O_WRONLY | O_CREAT, 0644));
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, kGuard, [&] { return idles_ > before; });
    }
    QString log()
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        return lines_.join(QLatin1Char('\n'));
    }

private:
    MemoryStore store_;
    Registry registry_{store_};
    CliOptions options_;
    ListingSettings settings_;
    std::unique_ptr<ConsoleHost> console_;
    std::unique_ptr<Engines> engines_;
    int stop_[2] = {-1, -1};
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable changed_;
    QStringList lines_;
    int idles_ = 0;
    bool idleSinceLine_ = false;
};

void removeTree(const QByteArray &path)
{
    QDir(str(path)).removeRecursively();
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

TEST(Watch, NamesAddedRemovedOrRenamedDeepInTheTreeEachGiveARewrite)
{
    TempTree tree;
    tree.file("src/a/b/c/one.mp3");
    RunningService service(
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
    ASSERT_TRUE(service.waitForWritten(5));
    tree.file("src/a/new/deeper/three.mp3");
    ASSERT_TRUE(service.waitForWritten(6));
    EXPECT_TRUE(tree.read("list.txt").contains("three.mp3"));
}

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
    RunningService service({"--watch", "-t", "2", "--html", "--also",
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
    for (const char *list :
         {"music/list.htm", "music/index.html", "music/all.m3u8", "music/all.json"})
        EXPECT_TRUE(tree.read(list).contains("b.mp3") || tree.read(list).contains(">b<")) << list;
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
        ~Unmounted() { ::umount2(path.constData(), MNT_DETACH); }
    } unmounted{src};
    tree.file("src/a.mp3");
    RunningService service({"--watch", "-e", str(src), str(tree.path("list.txt"))});
    ASSERT_TRUE(service.waitForWritten(1));
    // The disk unmounted and seen so, then mounted again; then both before the service looks.
    for (const QByteArray name : {"b.mp3", "c.mp3"}) {
        ASSERT_EQ(::umount2(src, 0), 0) << "the service keeps the disk busy";
        if (name == "b.mp3") {
            ASSERT_TRUE(service.waitFor(QStringLiteral("leads to another folder now")));
        }
        ASSERT_TRUE(mountDisk());
        tree.file("src/" + name); // on the disk mounted again, which must be watched
        ASSERT_TRUE(service.waitUntil([&] { return tree.read("list.txt").contains(name); }))
            << service.log().toStdString();
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
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), str(tree.path("config")));
    env.insert(QStringLiteral("LANG"), QStringLiteral("C.UTF-8"));
    process.setProcessEnvironment(env);
    process.setReadChannel(QProcess::StandardError);
    process.start(QStringLiteral(LYSTORA_LIST),
                  {"--watch", str(tree.path("src")), str(tree.path("out/list.txt"))});
    ASSERT_TRUE(process.waitForStarted());
    QByteArray log;
    while (!log.contains("list written") && process.waitForReadyRead(20000))
        log += process.readAllStandardError();
    ASSERT_TRUE(log.contains("list written")) << log.constData();
    ::kill(pid_t(process.processId()), SIGTERM);
    ASSERT_TRUE(process.waitForFinished(20000));
    EXPECT_EQ(process.exitStatus(), QProcess::CrashExit); // ended by the signal, as it asked
    EXPECT_EQ(tree.entries("out"), QStringList({"list.txt"}));
    EXPECT_TRUE(tree.read("out/list.txt").endsWith(kFooter));
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
}
