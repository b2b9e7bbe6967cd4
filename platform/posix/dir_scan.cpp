#include "platform/dir_scan.h"

#include "platform/posix/descriptors.h"
#include "platform/threads.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

namespace {

// Folders kept open at most, whatever the depth (fewer when the process may hold few
// descriptors): beyond it, those between the first and the last few are closed, and opened
// again from an ancestor still open when the walk climbs back.
constexpr std::size_t kMostOpen = 48;
constexpr std::size_t kNearestKept = 16;

bool isAncestor(const QByteArray &dir, const QByteArray &path)
{
    if (!dir.startsWith('/'))
        return false;
    if (dir == "/")
        return path.startsWith('/') && path.size() > 1;
    return path.size() > dir.size() && path.startsWith(dir) && path[dir.size()] == '/';
}

std::atomic<int> openDirs{0};

// A name of the folder, as the system calls want it: ended by a zero.
struct NameZ {
    explicit NameZ(QByteArrayView name)
    {
        const std::size_t length = std::min<std::size_t>(std::size_t(name.size()), NAME_MAX);
        std::memcpy(bytes, name.data(), length);
        bytes[length] = '\0';
    }
    char bytes[NAME_MAX + 1];
};

} // namespace

std::shared_ptr<OpenDir> OpenDir::wrap(int fd, int *error)
{
    if (fd < 0) {
        *error = -fd;
        return nullptr;
    }
    struct stat self;
    if (::fstat(fd, &self) != 0) {
        *error = errno;
        ::close(fd);
        return nullptr;
    }
    *error = 0;
    return std::shared_ptr<OpenDir>(new OpenDir(fd, identityOf(self), qint64(self.st_size)));
}

OpenDir::OpenDir(int fd, const FileIdentity &identity, qint64 size)
    : fd_(fd), identity_(identity), size_(size)
{
    ++openDirs;
}

OpenDir::~OpenDir()
{
    ::close(fd_);
    --openDirs;
}

int OpenDir::openCount()
{
    return openDirs.load();
}

std::shared_ptr<OpenDir> OpenDir::open(const QByteArray &path, int *error)
{
    if (path.isEmpty()) {
        *error = ENOENT; // a list not placed yet names no folder
        return nullptr;
    }
    return wrap(openDirectory(path, O_RDONLY), error);
}

std::shared_ptr<OpenDir> OpenDir::openBelow(const QByteArray &relative, int *error) const
{
    return wrap(openDirectoryAt(fd_, relative, O_RDONLY), error);
}

int OpenDir::read(DirEntrySink &sink) const
{
    // Read before: from the start again, as the folder is now.
    if (readBefore_)
        ::lseek(fd_, 0, SEEK_SET);
    readBefore_ = true;
    return readEntries(sink);
}

int OpenDir::readEntries(DirEntrySink &sink) const
{
    alignas(dirent64) char buffer[64 * 1024];
    for (;;) {
        const ssize_t length = ::getdents64(fd_, buffer, sizeof buffer);
        if (length < 0)
            return errno;
        if (length == 0)
            return 0;
        for (ssize_t at = 0; at < length;) {
            const auto *entry = reinterpret_cast<const dirent64 *>(buffer + at);
            at += entry->d_reclen;
            const char *name = entry->d_name;
            if (name[0] == '.')
                continue;
            unsigned char type = entry->d_type;
            // The type from the folder itself saves a stat per name; links and file systems
            // that do not give it need one.
            if (type == DT_UNKNOWN) {
                struct stat itself;
                if (::fstatat(fd_, name, &itself, AT_SYMLINK_NOFOLLOW) != 0)
                    continue;
                type = S_ISLNK(itself.st_mode)   ? DT_LNK
                       : S_ISREG(itself.st_mode) ? DT_REG
                       : S_ISDIR(itself.st_mode) ? DT_DIR
                                                 : DT_UNKNOWN;
            }
            if (type == DT_LNK) {
                sink.link(name, std::strlen(name));
                struct stat target;
                if (::fstatat(fd_, name, &target, 0) != 0)
                    continue;
                type = S_ISREG(target.st_mode)   ? DT_REG
                       : S_ISDIR(target.st_mode) ? DT_DIR
                                                 : DT_UNKNOWN;
            }
            if (type == DT_REG)
                sink.file(name, std::strlen(name));
            else if (type == DT_DIR)
                sink.subDir(name, std::strlen(name));
        }
        if (sink.stopped())
            return ECANCELED;
    }
}

int OpenDir::stat(QByteArrayView name, FileStat *stat) const
{
    struct stat st;
    if (::fstatat(fd_, NameZ(name).bytes, &st, 0) != 0)
        return errno;
    *stat = fileStatOf(st);
    return 0;
}

int OpenDir::openFile(QByteArrayView name) const
{
    // Never blocks: a file swapped for a pipe since the folder was read is not waited on.
    return ::openat(fd_, NameZ(name).bytes, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
}

// The folders open on the way from the first one opened down to the last: each entry is a child
// of the one before it. Entries whose folder was let go keep their path.
struct DirectoryReader::Chain {
    struct Entry {
        QByteArray path;
        std::shared_ptr<OpenDir> dir;
    };
    std::vector<Entry> entries;
    const std::size_t mostOpen =
        std::clamp<std::size_t>(std::size_t(descriptorLimit()) / 8, 4, kMostOpen);

    // Entries that are not ancestors of path, or path itself when it is to be opened anew, go.
    void climbTo(const QByteArray &path, bool anew)
    {
        while (!entries.empty() && !isAncestor(entries.back().path, path) &&
               (anew || entries.back().path != path))
            entries.pop_back();
    }

    std::shared_ptr<OpenDir> open(const QByteArray &path, bool anew, int *error)
    {
        if (path.isEmpty()) {
            *error = ENOENT; // a list not placed yet names no folder
            return nullptr;
        }
        climbTo(path, anew);
        if (!entries.empty() && entries.back().path == path && entries.back().dir) {
            *error = 0;
            return entries.back().dir;
        }
        if (!entries.empty() && entries.back().path == path)
            entries.pop_back(); // known, but let go: opened again below
        if (entries.empty()) {
            std::shared_ptr<OpenDir> dir = OpenDir::open(path, error);
            if (dir)
                entries.push_back({path, dir});
            return dir;
        }
        // Down from the nearest ancestor still open, one folder at a time.
        std::size_t from = entries.size() - 1;
        while (!entries[from].dir)
            --from; // the first entry is never let go
        std::shared_ptr<OpenDir> dir = entries[from].dir->openBelow(
            path.mid(entries[from].path == "/" ? 1 : entries[from].path.size() + 1), error);
        if (!dir)
            return nullptr;
        // Entries between the ancestor and path are known by path only; the walk adds one level
        // at a time, so there are none in the usual case.
        entries.resize(from + 1);
        entries.push_back({path, dir});
        thinOut();
        return dir;
    }

    void adopt(const QByteArray &path, std::shared_ptr<OpenDir> dir)
    {
        climbTo(path, true);
        entries.push_back({path, std::move(dir)});
        thinOut();
    }

    // Keeps the first, every other one of the middle and the last few open.
    void thinOut()
    {
        const auto open = std::count_if(entries.begin(), entries.end(),
                                        [](const Entry &e) { return e.dir != nullptr; });
        if (std::size_t(open) <= mostOpen)
            return;
        bool keep = false;
        const std::size_t nearest = std::min(kNearestKept, mostOpen / 2);
        for (std::size_t i = 1; i + nearest < entries.size(); ++i) {
            if (!entries[i].dir)
                continue;
            if (!keep)
                entries[i].dir.reset();
            keep = !keep;
        }
    }
};

DirectoryReader::DirectoryReader() : chain_(std::make_unique<Chain>())
{}

DirectoryReader::~DirectoryReader() = default;

void DirectoryReader::clear()
{
    chain_->entries.clear();
}

std::shared_ptr<OpenDir> DirectoryReader::open(const QByteArray &path, bool anew, int *error)
{
    return chain_->open(path, anew, error);
}

void DirectoryReader::adopt(const QByteArray &path, std::shared_ptr<OpenDir> dir)
{
    chain_->adopt(path, std::move(dir));
}

int directoryIdentity(const QByteArray &path, FileIdentity *identity)
{
    // Asked by name first: no descriptor needed, so that a process short of them (a run
    // reading tags, say) does not take its source for gone.
    struct stat named;
    if (path.size() < PATH_MAX && ::stat(path.constData(), &named) == 0) {
        if (!S_ISDIR(named.st_mode))
            return ENOTDIR;
        *identity = identityOf(named);
        return 0;
    }
    if (errno != ENAMETOOLONG && path.size() < PATH_MAX)
        return errno;
    const Fd fd(openDirectory(path, O_PATH));
    struct stat self;
    if (!fd.valid())
        return -fd.get();
    if (::fstat(fd.get(), &self) != 0)
        return errno;
    *identity = identityOf(self);
    return 0;
}

int entryIdentity(const QByteArray &path, FileIdentity *identity)
{
    QByteArray dirPath;
    QByteArray name;
    splitPath(path, &dirPath, &name);
    const Fd dir(openDirectory(dirPath, O_PATH));
    struct stat st;
    if (!dir.valid())
        return -dir.get();
    if (::fstatat(dir.get(), name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return errno;
    *identity = identityOf(st);
    return 0;
}

QByteArray currentDirectory()
{
    QByteArray path(4096, '\0');
    while (!::getcwd(path.data(), std::size_t(path.size()))) {
        if (errno != ERANGE)
            return QByteArray(".");
        path.resize(path.size() * 2);
    }
    path.truncate(qsizetype(std::strlen(path.constData())));
    return path;
}
