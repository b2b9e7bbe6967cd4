#include "platform/dir_scan.h"

#include "platform/posix/descriptors.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

namespace {

// Folders kept open at most, whatever the depth: beyond it, those between the first and the
// last few are closed, and opened again from an ancestor still open when the walk climbs back.
constexpr std::size_t kMostOpen = 48;
constexpr std::size_t kNearestKept = 16;

FileIdentity identityOf(const struct stat &st)
{
    return {std::uint64_t(st.st_dev), std::uint64_t(st.st_ino)};
}

bool isAncestor(const QByteArray &dir, const QByteArray &path)
{
    if (!dir.startsWith('/'))
        return false;
    if (dir == "/")
        return path.startsWith('/') && path.size() > 1;
    return path.size() > dir.size() && path.startsWith(dir) && path[dir.size()] == '/';
}

void scanOpenDirectory(int fd, DirScan &scan)
{
    alignas(dirent64) char buffer[64 * 1024];
    for (;;) {
        const ssize_t length = ::getdents64(fd, buffer, sizeof buffer);
        if (length < 0) {
            // A folder read only in part would give a list that silently lacks names.
            scan.error = errno;
            scan.files.clear();
            scan.subDirs.clear();
            return;
        }
        if (length == 0)
            return;
        for (ssize_t at = 0; at < length;) {
            const auto *entry = reinterpret_cast<const dirent64 *>(buffer + at);
            at += entry->d_reclen;
            const char *name = entry->d_name;
            if (name[0] == '.')
                continue;
            unsigned char type = entry->d_type;
            // The type from the folder itself saves a stat per name; links and file systems
            // that do not give it need one.
            if (type == DT_LNK || type == DT_UNKNOWN) {
                struct stat target;
                if (::fstatat(fd, name, &target, 0) != 0)
                    continue;
                type = S_ISREG(target.st_mode)   ? DT_REG
                       : S_ISDIR(target.st_mode) ? DT_DIR
                                                 : DT_UNKNOWN;
            }
            if (type == DT_REG)
                scan.files.emplace_back(name);
            else if (type == DT_DIR)
                scan.subDirs.emplace_back(name);
        }
    }
}

} // namespace

// The folders open on the way from the first one opened down to the last: each entry is a child
// of the one before it. Entries whose descriptor was closed keep their path.
struct DirectoryReader::Chain {
    struct Entry {
        QByteArray path;
        Fd fd;
    };
    std::vector<Entry> entries;

    // The descriptor of path, opened from the nearest ancestor still open; negative on failure.
    int open(const QByteArray &path, bool anew)
    {
        if (path.isEmpty())
            return -ENOENT; // a list not placed yet names no folder
        while (!entries.empty() && !isAncestor(entries.back().path, path) &&
               (anew || entries.back().path != path))
            entries.pop_back();
        if (!entries.empty() && entries.back().path == path && entries.back().fd.valid())
            return entries.back().fd.get();
        if (!entries.empty() && entries.back().path == path)
            entries.pop_back(); // known, but closed: opened again below
        if (entries.empty()) {
            const int fd = openDirectory(path, O_RDONLY);
            if (fd < 0)
                return fd;
            entries.push_back({path, Fd(fd)});
            return fd;
        }
        // Down from the nearest ancestor with an open descriptor, one folder at a time.
        std::size_t from = entries.size() - 1;
        while (!entries[from].fd.valid())
            --from; // the first entry is never closed
        const int fd = openDirectoryAt(
            entries[from].fd.get(),
            path.mid(entries[from].path == "/" ? 1 : entries[from].path.size() + 1), O_RDONLY);
        if (fd < 0)
            return fd;
        // Entries between the ancestor and path are known by path only; the walk adds one level
        // at a time, so there are none in the usual case.
        entries.resize(from + 1);
        entries.push_back({path, Fd(fd)});
        thinOut();
        return fd;
    }

    // Keeps the first, every other one of the middle and the last few open.
    void thinOut()
    {
        const auto open = std::count_if(entries.begin(), entries.end(),
                                        [](const Entry &e) { return e.fd.valid(); });
        if (std::size_t(open) <= kMostOpen)
            return;
        bool keep = false;
        for (std::size_t i = 1; i + kNearestKept < entries.size(); ++i) {
            if (!entries[i].fd.valid())
                continue;
            if (!keep)
                entries[i].fd.reset();
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

int DirectoryReader::open(const QByteArray &path, bool anew, FileIdentity *identity)
{
    const int fd = chain_->open(path, anew);
    if (fd < 0)
        return -fd;
    struct stat self;
    if (::fstat(fd, &self) != 0)
        return errno;
    *identity = identityOf(self);
    return 0;
}

DirScan DirectoryReader::read(const QByteArray &path, bool anew)
{
    DirScan scan;
    const int fd = chain_->open(path, anew);
    if (fd < 0) {
        scan.error = -fd;
        return scan;
    }
    struct stat self;
    if (::fstat(fd, &self) != 0) {
        scan.error = errno;
        return scan;
    }
    scan.identity = identityOf(self);
    // The descriptor may have been read before: from the start again, as the folder is now.
    ::lseek(fd, 0, SEEK_SET);
    scanOpenDirectory(fd, scan);
    return scan;
}

int DirectoryReader::stat(const QByteArray &dirPath, const QByteArray &name, FileStat *stat)
{
    const int dir = chain_->open(dirPath, false);
    struct stat st;
    if (dir < 0)
        return -dir;
    if (::fstatat(dir, name.constData(), &st, 0) != 0)
        return errno;
    stat->identity = identityOf(st);
    stat->size = st.st_size;
    stat->modifiedNs = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    stat->changedNs = qint64(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
    return 0;
}

int DirectoryReader::openFile(const QByteArray &dirPath, const QByteArray &name)
{
    const int dir = chain_->open(dirPath, false);
    // Never blocks: a file swapped for a pipe since the folder was read is not waited on.
    return dir < 0 ? -1
                   : ::openat(dir, name.constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
}

int directoryIdentity(const QByteArray &path, FileIdentity *identity)
{
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
