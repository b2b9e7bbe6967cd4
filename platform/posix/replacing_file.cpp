#include "platform/replacing_file.h"
#include "platform/fast_append.h"

#include "platform/interrupt.h"
#include "platform/posix/descriptors.h"
#include "platform/system_error.h"

#include <QRandomGenerator>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr qsizetype kBufferSize = 256 * 1024;
// A file past this size is sent on to the disk as it is written.
constexpr qint64 kWritebackStep = 8 << 20;
// A long copy goes in parts of this size, so that a thread waiting for it can take some.
constexpr qint64 kCopyPart = 8 << 20;
// Room left in a name for the temporary file's dot, marker and random part.
constexpr qsizetype kLongestBase = 200;
// Links followed from the target before giving up, as the system does.
constexpr int kMostLinks = 40;

// From one file to another inside the system, page to page, as long as the two allow it:
// 0 with *length left to copy some other way (0 when all went), or the failure. At *toAt in
// `to` when given (and moved on), else where `to` stands.
int copyInside(int from, qint64 *at, qint64 *length, int to, qint64 *toAt = nullptr)
{
    while (*length > 0) {
        loff_t offset = *at;
        loff_t toOffset = toAt ? *toAt : 0;
        const ssize_t n = ::copy_file_range(from, &offset, to, toAt ? &toOffset : nullptr,
                                            std::size_t(std::min<qint64>(*length, 1 << 30)), 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP ||
                      errno == EBADF))
            return 0;
        if (n < 0)
            return errno;
        if (n == 0)
            return EIO; // shorter than it was
        *at += n;
        *length -= n;
        if (toAt)
            *toAt += n;
    }
    return 0;
}

// All of it written, at *toAt when given (moved on), else where fd stands; *written (when
// given) counting what went even when the rest fails: 0, or the failure.
int writeAll(int fd, const char *data, qsizetype left, qint64 *written = nullptr,
             qint64 *toAt = nullptr)
{
    while (left > 0) {
        const ssize_t n =
            toAt ? ::pwrite(fd, data, size_t(left), *toAt) : ::write(fd, data, size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return errno;
        data += n;
        left -= n;
        if (written)
            *written += n;
        if (toAt)
            *toAt += n;
    }
    return 0;
}

// length bytes of fd from `at` on, appended to *out: 0, or why not (EIO when the file ends
// before them).
int readAt(int fd, qint64 at, qint64 length, QByteArray *out)
{
    const qsizetype start = out->size();
    out->resize(start + length);
    char *to = out->data() + start;
    while (length > 0) {
        const ssize_t n = ::pread(fd, to, std::size_t(length), at);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const int error = n < 0 ? errno : EIO;
            out->resize(start);
            return error;
        }
        to += n;
        at += n;
        length -= n;
    }
    return 0;
}

// length bytes of `from`, from `at` on, into `to` as writeAll() puts them: inside the system
// where the two allow it, else through here. 0, or the failure.
int copyAll(int from, qint64 at, qint64 length, int to, qint64 *written, qint64 *toAt = nullptr)
{
    const qint64 before = length;
    const int error = copyInside(from, &at, &length, to, toAt);
    *written += before - length;
    if (error != 0)
        return error;
    constexpr qint64 kBlock = 256 * 1024;
    QByteArray block;
    while (length > 0) {
        const qint64 size = std::min(length, kBlock);
        block.resize(0);
        if (const int error = readAt(from, at, size, &block))
            return error;
        if (const int error = writeAll(to, block.constData(), block.size(), written, toAt))
            return error;
        at += size;
        length -= size;
    }
    return 0;
}

// Where a replacing file's bytes go. Its counts are under the sender's lock.
struct Sink {
    int fd = -1;
    int pending = 0; // jobs not done yet
    int busy = 0;    // of those, being done now
    int error = 0;   // the first failure of one
};

// The lists' bytes go to the system from a thread of their own while the walk goes on
// formatting what comes next: a watched tree's lists are mostly copied from the last ones,
// hundreds of megabytes inside the system at each change, and that copy and the walk then
// share the time. Each piece has its place in its file, so that a thread waiting for a list's
// bytes (its commit) takes some of the work meanwhile, whatever file it is for.
class Sender
{
public:
    struct Job {
        Sink *to = nullptr; // none: `from` only closed
        qint64 toAt = 0;    // where in it
        QByteArray bytes;   // to write; or, when `from` is open,
        Fd from;            // length bytes of it to copy from `at` on
        qint64 at = 0;
        qint64 length = 0;
    };

    static Sender &shared()
    {
        static Sender sender;
        return sender;
    }

    // 0, or the first failure so far of what was sent to `to`: the job is done later.
    int send(Job job)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        // Bytes to write wait here, in memory: not without bound.
        helpUntil(lock, [this] { return heldBytes_ < kMostHeld; });
        if (!thread_.joinable())
            start();
        Sink *to = job.to;
        if (to)
            ++to->pending;
        heldBytes_ += job.bytes.size();
        jobs_.push_back(std::move(job));
        changed_.notify_all();
        return to ? to->error : 0;
    }

    // Once everything sent to `to` is done: 0, or the first failure of it.
    int waitFor(Sink &to)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        helpUntil(lock, [&to] { return to.pending == 0; });
        return to.error;
    }

    // Once everything sent is done.
    void waitForAll()
    {
        std::unique_lock<std::mutex> lock(mutex_);
        helpUntil(
            lock, [this] { return jobs_.empty() && busy_ == 0; }, Closes::Too);
    }

    int failure(const Sink &to)
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        return to.error;
    }

    ~Sender()
    {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            stopping_ = true;
        }
        changed_.notify_all();
        if (thread_.joinable())
            thread_.join();
    }

private:
    static constexpr qsizetype kMostHeld = 16 << 20;

    void start()
    {
        // Interrupts are the walk's to see: none of them lands here.
        sigset_t all;
        sigset_t before;
        sigfillset(&all);
        pthread_sigmask(SIG_SETMASK, &all, &before);
        thread_ = std::thread([this] { run(); });
        pthread_sigmask(SIG_SETMASK, &before, nullptr);
    }

    void run()
    {
        ::pthread_setname_np(::pthread_self(), "lystora-send");
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            auto job = jobs_.end();
            changed_.wait(lock, [&] {
                job = next(Closes::Too);
                return job != jobs_.end() || (stopping_ && jobs_.empty());
            });
            if (job == jobs_.end())
                return;
            doNext(lock, job, true);
        }
    }

    // Freeing the pages of a list replaced (at the last close of it) takes milliseconds that
    // a commit waiting for its bytes would add to its wait: that is left to the sending
    // thread, once no bytes are left to send.
    // A file is written by one thread at a time: a second would only wait for the file's
    // lock in the system, spinning (a fiftieth of a watcher's change went so).
    enum class Closes { Not, Too };
    std::deque<Job>::iterator next(Closes closes)
    {
        const auto sends = std::find_if(jobs_.begin(), jobs_.end(), [](const Job &job) {
            return job.to != nullptr && job.to->busy == 0;
        });
        if (sends != jobs_.end() || closes == Closes::Not)
            return sends;
        const bool sending = std::any_of(jobs_.begin(), jobs_.end(),
                                         [](const Job &job) { return job.to != nullptr; });
        return sending ? jobs_.end() : jobs_.begin();
    }

    // Does jobs while there are some, until `done`.
    template <typename Done>
    void helpUntil(std::unique_lock<std::mutex> &lock, Done done, Closes closes = Closes::Not)
    {
        while (!done()) {
            const auto job = next(closes);
            if (job == jobs_.end())
                changed_.wait(lock);
            else
                doNext(lock, job, false);
        }
    }

    // That job, done outside the lock.
    void doNext(std::unique_lock<std::mutex> &lock, std::deque<Job>::iterator taken, bool sender)
    {
        Job job = std::move(*taken);
        jobs_.erase(taken);
        ++busy_;
        Sink *to = job.to;
        if (to)
            ++to->busy;
        const bool failed = !to || to->error != 0;
        lock.unlock();
        const int error = failed ? 0 : perform(job);
        const qsizetype held = job.bytes.size();
        Fd from;
        if (!sender && to) // its copy may hold the last descriptor of a list replaced
            from = std::move(job.from);
        job = Job();
        lock.lock();
        if (from.valid()) {
            Job close;
            close.from = std::move(from);
            jobs_.push_back(std::move(close));
        }
        --busy_;
        if (to && to->error == 0)
            to->error = error;
        if (to) {
            --to->pending;
            --to->busy;
        }
        heldBytes_ -= held;
        changed_.notify_all();
    }

    static int perform(Job &job)
    {
        const int fd = job.to->fd;
        const qint64 start = job.toAt;
        qint64 written = 0;
        const int error =
            job.from.valid()
                ? copyAll(job.from.get(), job.at, job.length, fd, &written, &job.toAt)
                : writeAll(fd, job.bytes.constData(), job.bytes.size(), &written, &job.toAt);
        // A list of hundreds of megabytes (a watched tree's, written again at each change)
        // would otherwise go to the disk all at once when it is committed, and its fsync be a
        // wait of its own: sent on as it comes, the disk's work overlaps the rest of the list's.
        // The writes are started here, not waited for (starting them takes some time of its own
        // on ext4, where the blocks are chosen then); a failure is the commit's to tell.
        if (error == 0 && job.toAt > kWritebackStep)
            ::sync_file_range(fd, start, written, SYNC_FILE_RANGE_WRITE);
        return error;
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Job> jobs_;
    qsizetype heldBytes_ = 0;
    int busy_ = 0; // jobs taken out and not done yet
    bool stopping_ = false;
    std::thread thread_;
};

QByteArray randomSuffix()
{
    static const char alphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    QByteArray suffix(6, '0');
    for (char &c : suffix)
        c = alphabet[QRandomGenerator::global()->bounded(int(sizeof alphabet - 1))];
    return suffix;
}

bool ownedBySelfOrRoot(const struct stat &st)
{
    return st.st_uid == ::geteuid() || st.st_uid == 0;
}

QByteArray readLinkAt(int dir, const QByteArray &name)
{
    QByteArray target(256, '\0');
    for (;;) {
        const ssize_t n = ::readlinkat(dir, name.constData(), target.data(), size_t(target.size()));
        if (n < 0)
            return QByteArray();
        if (n < target.size()) {
            target.truncate(n);
            return target;
        }
        target.resize(target.size() * 2);
    }
}

// Where the list goes once every link at the target is followed.
struct Place {
    int error = 0;
    Fd dir;          // the folder the file is replaced in
    QByteArray name; // its name there
    bool exists = false;
    struct stat st {}; // what stands there now, when it exists
    Fd stream;         // a device or pipe to write straight into
};

Place resolve(Fd dir, QByteArray name, ReplacingFile::Streams streams)
{
    Place place;
    // Where a link that points nowhere is replaced: the place of the first link itself.
    Fd firstDir(::dup(dir.get()));
    const QByteArray firstName = name;
    const auto atFirstLink = [&] {
        place.dir = std::move(firstDir);
        place.name = firstName;
        place.exists = false;
        return std::move(place);
    };
    for (int hop = 0; hop <= kMostLinks; ++hop) {
        struct stat here;
        if (::fstatat(dir.get(), name.constData(), &here, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno != ENOENT) {
                place.error = errno;
                return place;
            }
            if (hop > 0)
                return atFirstLink();
            place.dir = std::move(dir);
            place.name = name;
            return place;
        }
        if (!S_ISLNK(here.st_mode)) {
            // In a folder others may write to (sticky or not), whoever made the file first would
            // keep it, and could rewrite the list between two runs: only the runner's own files,
            // and root's, are replaced.
            if (S_ISREG(here.st_mode) && !ownedBySelfOrRoot(here)) {
                place.error = kErrorForeignFile;
                return place;
            }
            place.dir = std::move(dir);
            place.name = name;
            place.exists = true;
            place.st = here;
            return place;
        }
        // Whoever can write into a shared folder could point the list anywhere the runner may
        // write (~/.ssh/authorized_keys, say): only the runner's own links, and root's, count.
        if (!ownedBySelfOrRoot(here)) {
            place.error = kErrorForeignLink;
            return place;
        }
        struct stat pointed;
        if (::fstatat(dir.get(), name.constData(), &pointed, 0) != 0) {
            if (errno == ENOENT)
                return atFirstLink();
            place.error = errno;
            return place;
        }
        if (!S_ISREG(pointed.st_mode) && !S_ISDIR(pointed.st_mode)) {
            if (streams == ReplacingFile::Streams::Replace)
                return atFirstLink();
            if (S_ISCHR(pointed.st_mode) || S_ISFIFO(pointed.st_mode)) {
                // Through the trusted link, as the system follows it: /dev/stdout names a
                // descriptor, not a path.
                place.stream.reset(::openat(dir.get(), name.constData(),
                                            O_WRONLY | O_NOCTTY | O_CLOEXEC | O_NONBLOCK));
                if (!place.stream.valid())
                    place.error = errno;
                return place;
            }
            place.error = kErrorNotRegularFile;
            return place;
        }
        const QByteArray target = readLinkAt(dir.get(), name);
        QByteArray targetDir;
        splitPath(target, &targetDir, &name);
        const int next = openDirectoryAt(dir.get(), targetDir, O_PATH);
        if (target.isEmpty() || name.isEmpty() || next < 0) {
            place.error = target.isEmpty() || name.isEmpty() ? EINVAL : -next;
            return place;
        }
        dir.reset(next);
    }
    place.error = ELOOP;
    return place;
}

} // namespace

struct ReplacingFile::State {
    Fd dir;
    QByteArray name;
    Fd file;
    bool direct = false;  // writing straight into a stream, no rename
    bool dry = false;     // a trial: nothing is written
    QByteArray temporary; // the hidden name, when the file has one
    int signalSlot = -1;  // its registration for an immediate end
    QByteArray buffer;
    qint64 queued = 0; // bytes handed on so far, written or to be
    Sink sink;         // where they go, for the sending thread (not for a stream)

    ~State() { dropTemporary(); }

    void dropTemporary()
    {
        unregisterTemporaryFile(signalSlot);
        signalSlot = -1;
        if (!temporary.isEmpty())
            ::unlinkat(dir.get(), temporary.constData(), 0);
        temporary.clear();
    }

    QByteArray temporaryName() const
    {
        return '.' + name.left(kLongestBase) + temporaryMarker() + randomSuffix();
    }

    // A file without a name, in the target's folder; false when the file system has none.
    bool createUnnamed(int *error)
    {
        file.reset(::openat(dir.get(), ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666));
        if (file.valid()) {
            ::flock(file.get(), LOCK_EX);
            return true;
        }
        *error = errno;
        return false;
    }

    // A hidden file, locked for as long as this run lives: a run that finds it unlocked knows
    // its writer is gone.
    int createNamed()
    {
        for (int attempt = 0; attempt < 100; ++attempt) {
            const QByteArray candidate = temporaryName();
            Fd fd(::openat(dir.get(), candidate.constData(),
                           O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
            if (!fd.valid()) {
                if (errno == EEXIST)
                    continue;
                return errno;
            }
            // Another run's clean-up may take a file in the instant before it is locked.
            struct stat opened;
            struct stat named;
            if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0 || ::fstat(fd.get(), &opened) != 0 ||
                ::fstatat(dir.get(), candidate.constData(), &named, AT_SYMLINK_NOFOLLOW) != 0 ||
                identityOf(opened) != identityOf(named))
                continue;
            file = std::move(fd);
            temporary = candidate;
            signalSlot = registerTemporaryFile(dir.get(), temporary.constData());
            return 0;
        }
        return EEXIST;
    }

    // Hidden files of this target left by runs that died (SIGKILL, a crash, a power cut).
    void removeStaleTemporaries()
    {
        const int listing = ::openat(dir.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (listing < 0)
            return; // a folder one may write into but not read: nothing to see
        DIR *entries = ::fdopendir(listing);
        if (!entries) {
            ::close(listing);
            return;
        }
        const QByteArray prefix = '.' + name.left(kLongestBase) + temporaryMarker();
        while (const dirent *entry = ::readdir(entries)) {
            const QByteArray found(entry->d_name);
            if (found.size() != prefix.size() + 6 || !found.startsWith(prefix) ||
                found == temporary)
                continue;
            Fd stale(::openat(dir.get(), entry->d_name,
                              O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
            struct stat st;
            struct stat named;
            // Only the runner's own, and only when no live run holds it.
            if (!stale.valid() || ::fstat(stale.get(), &st) != 0 || !S_ISREG(st.st_mode) ||
                st.st_uid != ::geteuid() || ::flock(stale.get(), LOCK_EX | LOCK_NB) != 0 ||
                ::fstatat(dir.get(), entry->d_name, &named, AT_SYMLINK_NOFOLLOW) != 0 ||
                identityOf(st) != identityOf(named))
                continue;
            ::unlinkat(dir.get(), entry->d_name, 0);
        }
        ::closedir(entries);
    }

    // Gives the unnamed file a hidden name, to be renamed at once.
    int linkUnnamed(QByteArray *linked)
    {
        for (int attempt = 0; attempt < 100; ++attempt) {
            const QByteArray candidate = temporaryName();
            int result = ::linkat(file.get(), "", dir.get(), candidate.constData(), AT_EMPTY_PATH);
            if (result != 0 && errno == ENOENT) {
                // Linking a descriptor needs a privilege; its name under /proc does not.
                char self[64];
                std::snprintf(self, sizeof self, "/proc/self/fd/%d", file.get());
                result =
                    ::linkat(AT_FDCWD, self, dir.get(), candidate.constData(), AT_SYMLINK_FOLLOW);
            }
            if (result == 0) {
                *linked = candidate;
                return 0;
            }
            if (errno != EEXIST)
                return errno;
        }
        return EEXIST;
    }
};

ReplacingFile::ReplacingFile(Streams streams, Waiting waiting)
    : streams_(streams), waiting_(waiting)
{}

ReplacingFile::~ReplacingFile()
{
    discard();
}

bool ReplacingFile::isOpen() const
{
    return d_ && (d_->file.valid() || d_->dry);
}

int ReplacingFile::descriptor() const
{
    return d_ ? d_->file.get() : -1;
}

qint64 ReplacingFile::size() const
{
    return d_ ? d_->queued + d_->buffer.size() : 0;
}

int ReplacingFile::open(const QByteArray &targetPath)
{
    discard();
    if (targetPath == "-") {
        auto state = std::make_unique<State>();
        state->dry = dryRun_;
        if (!dryRun_) {
            state->file.reset(::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 0));
            if (!state->file.valid())
                return errno;
        }
        state->direct = true;
        d_ = std::move(state);
        return 0;
    }
    QByteArray dirPath;
    QByteArray name;
    splitPath(targetPath, &dirPath, &name);
    if (name.isEmpty())
        return kErrorEmptyName;
    const int dir = openDirectory(dirPath, O_PATH);
    if (dir < 0)
        return -dir;
    Place place = resolve(Fd(dir), name, streams_);
    if (place.error != 0)
        return place.error;

    auto state = std::make_unique<State>();
    if (dryRun_) {
        // Everything a real run would refuse is refused above; nothing is made.
        const mode_t kind = place.st.st_mode & S_IFMT;
        if (place.exists && kind == S_IFDIR)
            return EISDIR;
        state->dry = true;
        d_ = std::move(state);
        return 0;
    }
    state->buffer.reserve(kBufferSize);
    if (place.stream.valid()) {
        // Blocking from here on: a pipe with nobody reading refused the open above instead of
        // hanging the run.
        ::fcntl(place.stream.get(), F_SETFL, 0);
        state->file = std::move(place.stream);
        state->direct = true;
        d_ = std::move(state);
        return 0;
    }
    const mode_t kind = place.st.st_mode & S_IFMT;
    if (place.exists && kind == S_IFDIR)
        return EISDIR;
    if (place.exists && kind != S_IFREG && streams_ == Streams::WriteInto) {
        if (kind != S_IFCHR && kind != S_IFIFO)
            return kErrorNotRegularFile;
        state->file.reset(::openat(place.dir.get(), place.name.constData(),
                                   O_WRONLY | O_NOCTTY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW));
        if (!state->file.valid())
            return errno;
        ::fcntl(state->file.get(), F_SETFL, 0);
        state->direct = true;
        d_ = std::move(state);
        return 0;
    }

    state->dir = std::move(place.dir);
    state->name = place.name;
    int error = 0;
    if (waiting_ == Waiting::Named || !state->createUnnamed(&error)) {
        // No unnamed files here (an older or a network file system): a hidden name instead.
        if (error != 0 && error != EOPNOTSUPP && error != EISDIR && error != EINVAL)
            return error;
        if ((error = state->createNamed()) != 0)
            return error;
        // Only where hidden names are used can runs that died have left one. Not read for
        // each file otherwise: a folder of a hundred thousand thumbnails written one by one
        // would be read a hundred thousand times.
        state->removeStaleTemporaries();
    }
    if (place.exists && kind == S_IFREG) {
        // Whoever could read the old list (the web server) can read the new one. The owner goes
        // first, as changing it clears set-id bits; only the owner's own group may be kept by an
        // ordinary user, the mode still is.
        [[maybe_unused]] const int owned =
            ::fchown(state->file.get(), place.st.st_uid, place.st.st_gid);
        if (::fchmod(state->file.get(), place.st.st_mode & 07777) != 0)
            return errno;
    }
    state->sink.fd = state->file.get();
    d_ = std::move(state);
    return 0;
}

int ReplacingFile::write(const char *data, qsizetype size)
{
    if (!isOpen())
        return EBADF;
    if (d_->dry) {
        d_->queued += size;
        return 0;
    }
    appendBytes(d_->buffer, data, size);
    if (d_->buffer.size() >= kBufferSize)
        return writeBuffer();
    return 0;
}

int ReplacingFile::writeBuffer()
{
    if (d_->direct) {
        const int error =
            writeAll(d_->file.get(), d_->buffer.constData(), d_->buffer.size(), &d_->queued);
        d_->buffer.resize(0);
        return error;
    }
    if (d_->buffer.isEmpty())
        return Sender::shared().failure(d_->sink);
    Sender::Job job;
    job.to = &d_->sink;
    job.toAt = d_->queued;
    d_->queued += d_->buffer.size();
    job.bytes = std::exchange(d_->buffer, QByteArray());
    d_->buffer.reserve(kBufferSize);
    return Sender::shared().send(std::move(job));
}

int ReplacingFile::commit()
{
    if (!isOpen())
        return EBADF;
    if (d_->dry) {
        committed_ = Committed();
        discard();
        return 0;
    }
    int error = writeBuffer();
    if (d_->direct) {
        discard();
        return error;
    }
    if (const int sent = Sender::shared().waitFor(d_->sink); error == 0)
        error = sent;
    if (error == 0 && ::fsync(d_->file.get()) != 0)
        error = errno;
    struct stat written;
    if (error == 0 && ::fstat(d_->file.get(), &written) != 0)
        error = errno;
    if (error == 0) {
        // Nothing may interrupt between the link and the rename: the hidden name would stay.
        const InterruptsHeld held;
        QByteArray linked = d_->temporary;
        if (linked.isEmpty())
            error = d_->linkUnnamed(&linked);
        if (error == 0 && ::renameat(d_->dir.get(), linked.constData(), d_->dir.get(),
                                     d_->name.constData()) != 0) {
            error = errno;
            if (d_->temporary.isEmpty())
                ::unlinkat(d_->dir.get(), linked.constData(), 0);
        }
        if (error == 0) {
            unregisterTemporaryFile(d_->signalSlot);
            d_->signalSlot = -1;
            d_->temporary.clear();
        }
    }
    if (error == 0) {
        committed_ = Committed();
        committed_.file = identityOf(written);
        committed_.name = d_->name;
        struct stat folder;
        if (::fstat(d_->dir.get(), &folder) == 0)
            committed_.folder = identityOf(folder);
        char self[64];
        std::snprintf(self, sizeof self, "/proc/self/fd/%d", d_->dir.get());
        committed_.folderPath = readLinkAt(AT_FDCWD, self);
        // Its times once in place: a rename may change them.
        struct stat placed;
        if (::fstat(d_->file.get(), &placed) == 0) {
            committed_.size = placed.st_size;
            committed_.modifiedNs = nanoseconds(placed.st_mtim);
            committed_.changedNs = nanoseconds(placed.st_ctim);
        }
        // The rename itself survives a power cut only once the folder is on disk too.
        const Fd listing(::openat(d_->dir.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (listing.valid())
            ::fsync(listing.get());
    }
    discard();
    return error;
}

void ReplacingFile::discard()
{
    // The sending thread may still be at its bytes.
    if (d_ && d_->sink.fd >= 0)
        Sender::shared().waitFor(d_->sink);
    d_.reset();
}

int ReplacingFile::append(const WrittenList &from, qint64 at, qint64 length)
{
    if (!isOpen())
        return EBADF;
    if (d_->dry) {
        d_->queued += length;
        return 0;
    }
    if (const int error = writeBuffer())
        return error;
    if (!d_->direct) {
        int error = 0;
        for (qint64 done = 0; done < length && error == 0; done += kCopyPart) {
            // Its own descriptor of `from`, which its owner may close before the copy is done.
            Sender::Job job;
            job.to = &d_->sink;
            job.from.reset(::fcntl(from.descriptor(), F_DUPFD_CLOEXEC, 0));
            if (!job.from.valid())
                return errno;
            job.at = at + done;
            job.length = std::min(kCopyPart, length - done);
            job.toAt = d_->queued;
            d_->queued += job.length;
            error = Sender::shared().send(std::move(job));
        }
        return error;
    }
    return copyAll(from.descriptor(), at, length, d_->file.get(), &d_->queued);
}

void waitForSending()
{
    Sender::shared().waitForAll();
}

WrittenList::WrittenList() = default;

WrittenList::~WrittenList()
{
    close();
}

bool WrittenList::open(const ReplacingFile::Committed &committed)
{
    close();
    if (committed.size < 0 || committed.folderPath.isEmpty() || committed.name.isEmpty())
        return false;
    const Fd dir(openDirectory(committed.folderPath, O_PATH));
    if (!dir.valid())
        return false;
    Fd file(::openat(dir.get(), committed.name.constData(),
                     O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat now;
    if (!file.valid() || ::fstat(file.get(), &now) != 0 || !S_ISREG(now.st_mode) ||
        fileStatOf(now) !=
            FileStat{committed.file, committed.size, committed.modifiedNs, committed.changedNs})
        return false;
    fd_ = file.release();
    return true;
}

void WrittenList::close()
{
    // A list replaced is gone once it is closed: the system then frees its pages, hundreds of
    // megabytes for a large tree's lists, a wait better spent by the sending thread than here.
    if (fd_ >= 0) {
        Sender::Job job;
        job.from.reset(fd_);
        Sender::shared().send(std::move(job));
    }
    fd_ = -1;
}

bool WrittenList::isOpen() const
{
    return fd_ >= 0;
}

int WrittenList::descriptor() const
{
    return fd_;
}

int WrittenList::read(qint64 at, qint64 length, QByteArray *out) const
{
    return readAt(fd_, at, length, out);
}

int SideFile::open(const QByteArray &listPath)
{
    close();
    const qsizetype slash = listPath.lastIndexOf('/');
    const QByteArray folder = slash < 0    ? QByteArray(".")
                              : slash == 0 ? QByteArray("/")
                                           : listPath.left(slash);
    int fd = -1;
    if (listPath != "-")
        fd = ::open(folder.constData(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd < 0) {
        // Where the folder takes no such file: one of the system's temporary files.
        std::FILE *file = std::tmpfile();
        if (!file)
            return errno != 0 ? errno : EIO;
        fd = ::fcntl(::fileno(file), F_DUPFD_CLOEXEC, 0);
        const int error = errno;
        std::fclose(file);
        if (fd < 0)
            return error;
    }
    contents_.fd_ = fd;
    return 0;
}

void SideFile::close()
{
    if (contents_.fd_ >= 0)
        ::close(contents_.fd_);
    contents_.fd_ = -1;
    buffer_ = QByteArray();
    size_ = 0;
    error_ = 0;
}

int SideFile::write(const char *data, qsizetype size)
{
    if (!isOpen())
        return error_ = EBADF;
    appendBytes(buffer_, data, size);
    size_ += size;
    if (buffer_.size() >= kBufferSize)
        flush();
    return error_;
}

int SideFile::flush()
{
    if (error_ == 0 && !buffer_.isEmpty())
        error_ = writeAll(contents_.fd_, buffer_.constData(), buffer_.size());
    buffer_.resize(0);
    return error_;
}

int SideFile::append(const WrittenList &from, qint64 at, qint64 length)
{
    if (!isOpen())
        return error_ = EBADF;
    if (flush() != 0)
        return error_;
    size_ += length;
    qint64 written = 0;
    return error_ = copyAll(from.descriptor(), at, length, contents_.fd_, &written);
}
