#include "engine/read_ahead.h"

#include "engine/fs_lists.h"
#include "platform/file_systems.h"
#include "platform/threads.h"

#include <QHash>

#include <algorithm>
#include <iterator>

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>
#include <unordered_set>
#include <vector>

// Where a directory stands in the walk's course is a place: an interval of positions, the
// source's being all of them, each directory's split evenly between its sub-directories in list
// order. Depth first order is then the order of the intervals' starts, a directory before its
// first sub-directory (same start, less deep). A directory whose share would be empty (a tree
// both very wide and very deep) is simply not read ahead: when the walk reads it itself, it
// starts a new course ("epoch") of its own, which comes before what is left of older ones.

namespace {

// Threads reading: two while the directories come from memory (more would only take turns on
// the processors with the walk), all of them once one read has had to wait for the disk, to
// keep several reads in flight. The others are started then: most runs read from memory, and
// six threads started and joined for nothing cost a short run milliseconds (a tenth of a run
// over an empty folder, on a virtual machine).
constexpr int kThreadsFromMemory = 2;
constexpr int kThreads = 8;
// A read waited for the disk when it took longer than this, plus a little for each name.
constexpr auto kDiskWait = std::chrono::milliseconds(1);
constexpr auto kTimePerName = std::chrono::microseconds(2);
// Read ahead of the walk at most: listings, and bytes of names. Directories held open by the
// process, at most: the lesser of a number and a share of what the system allows.
constexpr int kMostAhead = 192;
constexpr qsizetype kMostAheadBytes = qsizetype(16) << 20;
constexpr int kMostOpen = 320;
// Files of a directory whose details are read ahead, at most.
constexpr int kMostDetailed = 4096;
// How long the walk watches for a directory being read before it sleeps until it is.
constexpr int kWatchRounds = 200;
// How far past the next one a sub-directory the walk reads itself is looked for.
constexpr int kLookFurther = 64;

// The state's lock is held for a few map operations at a time. A thread that finds it taken
// tries again on the spot for about this many rounds before it sleeps: waking a sleeping thread
// costs far more than such a wait (tens of microseconds on a virtual machine, where the woken
// processor must be brought back by its host).
constexpr int kLockTries = 200;

void lockSoon(std::unique_lock<std::mutex> &lock)
{
    for (int i = 0; i < kLockTries; ++i) {
        if (lock.try_lock())
            return;
#if defined(__x86_64__) || defined(__i386__)
        __builtin_ia32_pause();
#endif
    }
    lock.lock();
}

using Position = unsigned __int128;

struct Place {
    std::uint32_t epoch = 0;
    std::uint32_t depth = 0;
    Position from = 0;
    Position width = 0;

    bool holds(const Place &other) const
    {
        return other.epoch == epoch && other.depth > depth && other.from >= from &&
               other.from - from < width;
    }
};

struct PlaceBefore {
    bool operator()(const Place &a, const Place &b) const
    {
        if (a.epoch != b.epoch)
            return a.epoch > b.epoch;
        if (a.from != b.from)
            return a.from < b.from;
        return a.depth < b.depth;
    }
};

// A directory read or being read ahead.
struct Node {
    enum class Stage { Reading, Read, Dropped };
    QByteArray path;
    QByteArray name;
    Place place;
    std::shared_ptr<OpenDir> parent;          // opened from it
    std::atomic<Stage> stage{Stage::Reading}; // changed under the lock, watched without
    std::shared_ptr<DirListing> listing;
    qsizetype bytes = 0;
};

// The sub-directories of a directory read, not yet read ahead, from `next` on.
struct Fan {
    QByteArray path;
    Place place; // the directory's
    Position childWidth = 0;
    std::shared_ptr<const DirListing> listing; // for the names
    std::shared_ptr<OpenDir> dir;              // the walk may let the listing's go
    int next = 0;

    Place childPlace(int i) const
    {
        return {place.epoch, place.depth + 1, place.from + Position(i) * childWidth, childWidth};
    }
};

} // namespace

struct ReadAhead::State {
    ListingRules rules;
    FileDetails details = FileDetails::None;
    std::mutex mutex;
    std::condition_variable wanted; // for the threads: something to read
    std::condition_variable done;   // for the walk: what it waits for is read
    bool stopping = false;
    // Once as far ahead as allowed, the threads wait until the walk has taken half of it back,
    // rather than waking for each directory it takes.
    bool full = false;
    int idle = 0;
    std::atomic<int> threadsAtWork{kThreadsFromMemory};
    const int mostOpen = std::min(kMostOpen, descriptorLimit() / 3);
    const Node *awaited = nullptr;
    std::atomic<bool> stop{false};
    std::uint32_t epochs = 0;
    std::map<Place, std::shared_ptr<Node>, PlaceBefore> nodes;
    QHash<QByteArray, std::shared_ptr<Node>> nodesByPath;
    std::map<Place, std::shared_ptr<Fan>, PlaceBefore> fans; // by their next sub-directory
    QHash<QByteArray, std::shared_ptr<Fan>> fansByPath;
    std::mutex seenMutex;
    std::unordered_set<FileIdentity> seen; // directories whose names were read
    int ahead = 0;
    qsizetype aheadBytes = 0;
    QByteArray takenPath;
    Place takenPlace;
    std::vector<std::thread> threads; // changed under the lock while the walk goes on

    // Up to count, the threads reading (under the lock).
    void startThreads(int count)
    {
        while (int(threads.size()) < count && !stopping)
            threads.emplace_back([this] { work(); });
    }
    // The directories read here, until the walk lets them go: closing one that was read frees
    // what the file system kept for the reading (ext4 keeps each name), work better done here
    // than by the walk.
    std::vector<std::shared_ptr<OpenDir>> kept;

    // Those of the kept directories no one else holds any more, taken out to be closed.
    std::vector<std::shared_ptr<OpenDir>> unheld()
    {
        std::vector<std::shared_ptr<OpenDir>> done;
        const auto held =
            std::partition(kept.begin(), kept.end(),
                           [](const std::shared_ptr<OpenDir> &dir) { return dir.use_count() > 1; });
        std::move(held, kept.end(), std::back_inserter(done));
        kept.erase(held, kept.end());
        return done;
    }

    bool mayStart()
    {
        if (OpenDir::openCount() >= mostOpen)
            unheld(); // closed at once, under the lock: rare, and what frees the way
        if (!full && (ahead >= kMostAhead || aheadBytes >= kMostAheadBytes ||
                      OpenDir::openCount() >= mostOpen))
            full = true;
        return !fans.empty() && !full;
    }

    void wakeOne()
    {
        if (idle > 0)
            wanted.notify_one();
    }

    // By value: the maps may hold the last references to the node.
    void forget(const std::shared_ptr<Node> node)
    {
        if (node->stage == Node::Stage::Dropped)
            return;
        nodes.erase(node->place);
        nodesByPath.remove(node->path);
        --ahead;
        aheadBytes -= node->bytes;
        node->stage = Node::Stage::Dropped;
        resume();
    }

    // The walk took something: the threads go on once it has taken half of what was ahead.
    // One is woken, and wakes the next once it has its directory: woken together, they would
    // only wait for each other's lock, asleep again.
    void resume()
    {
        if (full && ahead <= kMostAhead / 2 && aheadBytes < kMostAheadBytes / 2) {
            full = false;
            wakeOne();
        }
    }

    void addFan(const QByteArray &path, const Place &place,
                const std::shared_ptr<DirListing> &listing)
    {
        // A fan holds its directory open: none when the process holds as many as it should.
        const int count = listing->subDirs.size();
        if (count == 0 || !listing->dir || place.width / Position(count) == 0 ||
            OpenDir::openCount() >= mostOpen)
            return;
        auto fan = std::make_shared<Fan>();
        fan->path = path;
        fan->place = place;
        fan->childWidth = place.width / Position(count);
        fan->listing = listing;
        fan->dir = listing->dir;
        if (const auto old = fansByPath.take(path))
            fans.erase(old->childPlace(old->next));
        fans.emplace(fan->childPlace(0), fan);
        fansByPath.insert(path, fan);
        wakeOne();
    }

    // The fan goes on from sub-directory `next`, or ends.
    void moveFan(const std::shared_ptr<Fan> &fan, int next)
    {
        fans.erase(fan->childPlace(fan->next));
        fan->next = next;
        if (next < fan->listing->subDirs.size())
            fans.emplace(fan->childPlace(next), fan);
        else
            fansByPath.remove(fan->path);
    }

    // The walk is at place: whatever comes before it is no longer needed.
    void passTo(const Place &place)
    {
        const PlaceBefore before;
        while (!nodes.empty() && before(nodes.begin()->first, place))
            forget(nodes.begin()->second);
        while (!fans.empty() && before(fans.begin()->first, place)) {
            const std::shared_ptr<Fan> fan = fans.begin()->second;
            int next = fan->listing->subDirs.size();
            // Below the fan's directory: its sub-directories up to the walk's branch are passed.
            if (fan->place.holds(place))
                next = int((place.from - fan->place.from) / fan->childWidth) + 1;
            moveFan(fan, std::max(next, fan->next + 1));
        }
    }

    // The sub-directory at path, among the next ones of its directory's fan, which the walk
    // reads itself: its place, and the fan goes on after it.
    bool claim(const QByteArray &path, Place *place)
    {
        const qsizetype slash = path.lastIndexOf('/');
        if (slash < 0)
            return false;
        const auto fan = fansByPath.value(slash == 0 ? QByteArray("/") : path.left(slash));
        if (!fan)
            return false;
        const QByteArrayView name = QByteArrayView(path).sliced(slash + 1);
        const int end = std::min(fan->listing->subDirs.size(), fan->next + kLookFurther);
        for (int i = fan->next; i < end; ++i) {
            if (fan->listing->subDirs.view(i) == name) {
                *place = fan->childPlace(i);
                moveFan(fan, i + 1);
                return true;
            }
        }
        return false;
    }

    // The next directory to read ahead, taken from the first fan.
    std::shared_ptr<Node> start()
    {
        const std::shared_ptr<Fan> fan = fans.begin()->second;
        auto node = std::make_shared<Node>();
        node->name = fan->listing->subDirs.bytes(fan->next);
        node->path = childPath(fan->path, node->name);
        node->place = fan->childPlace(fan->next);
        node->parent = fan->dir;
        moveFan(fan, fan->next + 1);
        if (const auto old = nodesByPath.value(node->path))
            forget(old);
        nodes.emplace(node->place, node);
        nodesByPath.insert(node->path, node);
        ++ahead;
        return node;
    }

    void work()
    {
        setThreadName("lystora-read");
        const qint64 diskReadsAtStart = threadDiskReads();
        const ListingRules own{rules.pattern,
                               ListOrder(rules.order.natural(), rules.order.langue())};
        FileSystems fileSystems;
        std::unique_lock<std::mutex> lock(mutex, std::defer_lock);
        lockSoon(lock);
        for (;;) {
            if (stopping)
                return;
            ++idle;
            wanted.wait(lock, [&] { return stopping || mayStart(); });
            --idle;
            if (stopping)
                return;
            const std::shared_ptr<Node> node = start();
            if (mayStart())
                wakeOne();
            std::vector<std::shared_ptr<OpenDir>> toClose = unheld();
            lock.unlock();
            toClose.clear();

            int error = 0;
            std::shared_ptr<OpenDir> dir = node->parent->openBelow(node->name, &error);
            node->parent.reset();
            const std::shared_ptr<DirListing> listing = openedListing(std::move(dir), error);
            // Not into a kernel interface, nor into a directory read already: the walk does not
            // enter them.
            bool enter = listing->openError == 0 && !fileSystems.isPseudo(listing->identity.device);
            if (enter) {
                const std::lock_guard<std::mutex> seenLock(seenMutex);
                enter = seen.insert(listing->identity).second;
            }
            if (enter) {
                const auto started = std::chrono::steady_clock::now();
                readNames(*listing, own, &stop);
                // Up to a size: the details of a huge folder would hold much memory, for long.
                if (details != FileDetails::None && listing->files.size() <= kMostDetailed)
                    readDetails(*listing, details);
                const auto took = std::chrono::steady_clock::now() - started;
                // Slow, and the disk was read: the reads that follow will wait for it too.
                if (took > kDiskWait +
                               kTimePerName * (listing->files.size() + listing->subDirs.size()) &&
                    threadsAtWork < kThreads && threadDiskReads() > diskReadsAtStart) {
                    const std::lock_guard<std::mutex> relock(mutex);
                    threadsAtWork = kThreads;
                    startThreads(kThreads);
                }
            }

            lockSoon(lock);
            if (node->stage == Node::Stage::Dropped)
                continue;
            node->stage = Node::Stage::Read;
            node->listing = listing;
            if (listing->dir)
                kept.push_back(listing->dir);
            node->bytes = listing->files.footprint() + listing->subDirs.footprint();
            aheadBytes += node->bytes;
            if (listing->namesRead && listing->readError == 0)
                addFan(node->path, node->place, listing);
            if (awaited == node.get())
                done.notify_one();
            // More than one directory to read: another thread may take the next.
            if (!fans.empty())
                wakeOne();
        }
    }
};

ReadAhead::ReadAhead(const ListingRules &rules, FileDetails details)
    : state_(std::make_shared<State>())
{
    state_->rules = rules;
    state_->details = details;
    const std::lock_guard<std::mutex> lock(state_->mutex);
    state_->threads.reserve(kThreads);
    state_->startThreads(kThreadsFromMemory);
}

ReadAhead::~ReadAhead()
{
    {
        const std::lock_guard<std::mutex> lock(state_->mutex);
        state_->stopping = true;
        state_->stop = true;
    }
    state_->wanted.notify_all();
    // No thread is started once stopping is set: the list of them stays as it is now.
    for (std::thread &thread : state_->threads)
        thread.join();
}

std::shared_ptr<DirListing> ReadAhead::take(const QByteArray &path)
{
    State &s = *state_;
    std::unique_lock<std::mutex> lock(s.mutex, std::defer_lock);
    lockSoon(lock);
    s.takenPath.clear();
    const std::shared_ptr<Node> node = s.nodesByPath.value(path);
    if (!node) {
        Place place;
        if (s.claim(path, &place)) {
            s.passTo(place);
            s.resume();
            s.takenPath = path;
            s.takenPlace = place;
        }
        return nullptr;
    }
    s.passTo(node->place);
    if (node->stage == Node::Stage::Reading) {
        // From memory, most reads end within microseconds: watched for a while, the read
        // costs the walk no sleep and no wake-up. From the disk, the watching would only take
        // the processor from the threads that read.
        if (s.threadsAtWork == kThreadsFromMemory) {
            lock.unlock();
            for (int i = 0; i < kWatchRounds && node->stage == Node::Stage::Reading; ++i)
                std::this_thread::yield();
            lockSoon(lock);
        }
        s.awaited = node.get();
        s.done.wait(lock, [&] { return node->stage != Node::Stage::Reading; });
        s.awaited = nullptr;
    }
    const bool read = node->stage == Node::Stage::Read;
    s.takenPath = path;
    s.takenPlace = node->place;
    s.forget(node);
    return read ? node->listing : nullptr;
}

void ReadAhead::seed(const QByteArray &path, const std::shared_ptr<DirListing> &listing)
{
    State &s = *state_;
    std::unique_lock<std::mutex> lock(s.mutex, std::defer_lock);
    lockSoon(lock);
    Place place;
    if (!s.takenPath.isEmpty() && s.takenPath == path) {
        place = s.takenPlace;
    } else {
        place.epoch = ++s.epochs;
        place.width = ~Position(0);
    }
    s.takenPath.clear();
    s.passTo(place);
    if (listing->openError == 0) {
        const std::lock_guard<std::mutex> seenLock(s.seenMutex);
        s.seen.insert(listing->identity);
    }
    if (listing->namesRead && listing->readError == 0)
        s.addFan(path, place, listing);
}
