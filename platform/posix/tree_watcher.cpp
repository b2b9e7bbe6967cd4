#include "platform/tree_watcher.h"

#include "platform/dir_scan.h"
#include "platform/file_systems.h"
#include "platform/posix/descriptors.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <iterator>
#include <string>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>
#include <unordered_map>
#include <vector>

namespace {

#ifndef STATX_MNT_ID
#define STATX_MNT_ID 0x00001000U
#endif

// The mount's id (statx, Linux 5.8 and later): 0 where it cannot be had.
quint64 mountId(int dirFd, const char *path)
{
    struct statx st {};
    const int flags = *path ? 0 : AT_EMPTY_PATH;
    if (::statx(dirFd, path, flags, STATX_MNT_ID, &st) != 0 || !(st.stx_mask & STATX_MNT_ID))
        return 0;
    return st.stx_mnt_id;
}

// Links to folders are followed, as the list follows them. A file closed after writing may have
// a new size or new tags (an upload finished, a tag edited in place).
// A file or folder whose times or rights change (touched, made readable) may list otherwise.
constexpr uint32_t kTreeEvents = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO |
                                 IN_CLOSE_WRITE | IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF |
                                 IN_ONLYDIR;
constexpr uint32_t kFolderEvents = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_ONLYDIR;
// Not its closing: the writer of a list closes it only once it is in place.
constexpr uint32_t kFileEvents = IN_MODIFY | IN_ATTRIB;

// File systems whose changes may be made by another machine, or that report no events.
bool isRemote(int fd)
{
    struct statfs fs {};
    if (::fstatfs(fd, &fs) != 0)
        return false;
    switch (static_cast<unsigned long>(fs.f_type)) {
    case 0x6969:     // NFS
    case 0x517B:     // SMB
    case 0xFF534D42: // CIFS
    case 0xFE534D42: // SMB2
    case 0x65735546: // FUSE
    case 0x01021997: // 9P
    case 0x00C36400: // Ceph
    case 0x73757245: // Coda
    case 0x5346414F: // AFS
        return true;
    default:
        return false;
    }
}

QByteArray child(const QByteArray &dir, const QByteArray &name)
{
    return dir.endsWith('/') ? dir + name : dir + '/' + name;
}

// Identities, each as many times as it was added and not removed: a sorted array, with what
// came and went since it was last sorted beside it. A watched tree of 100,000 folders holds 16
// bytes a folder here, not a hash node's 56.
class IdentityCount
{
public:
    void add(const FileIdentity &identity) { changed(added_, identity); }
    void remove(const FileIdentity &identity) { changed(removed_, identity); }
    bool contains(const FileIdentity &identity) const
    {
        if (added_.size() + removed_.size() > kFewChanges)
            settle();
        const auto range = std::equal_range(sorted_.begin(), sorted_.end(), identity, before);
        const auto count = [&](const std::vector<FileIdentity> &in) {
            return std::count(in.begin(), in.end(), identity);
        };
        return (range.second - range.first) + count(added_) - count(removed_) > 0;
    }

private:
    static constexpr std::size_t kFewChanges = 64;
    static bool before(const FileIdentity &a, const FileIdentity &b)
    {
        return a.device != b.device ? a.device < b.device : a.inode < b.inode;
    }
    void changed(std::vector<FileIdentity> &in, const FileIdentity &identity)
    {
        in.push_back(identity);
        // Sorted again once an eighth has changed: each change costs a few steps, however many.
        if (in.size() > std::max(kFewChanges, sorted_.size() / 8))
            settle();
    }
    void settle() const
    {
        std::sort(added_.begin(), added_.end(), before);
        std::sort(removed_.begin(), removed_.end(), before);
        std::vector<FileIdentity> all;
        all.reserve(sorted_.size() + added_.size());
        std::merge(sorted_.begin(), sorted_.end(), added_.begin(), added_.end(),
                   std::back_inserter(all), before);
        sorted_ = std::vector<FileIdentity>();
        sorted_.reserve(all.size());
        std::set_difference(all.begin(), all.end(), removed_.begin(), removed_.end(),
                            std::back_inserter(sorted_), before);
        added_.clear();
        removed_.clear();
    }

    mutable std::vector<FileIdentity> sorted_;
    mutable std::vector<FileIdentity> added_;
    mutable std::vector<FileIdentity> removed_;
};

} // namespace

class TreeWatcher::Private
{
public:
    // A folder watched, named in the folder it was reached from, not by its whole path: a tree
    // of 100,000 folders would hold every path once more than the lists do. Most names are
    // short enough to be held in place.
    struct Watch {
        std::string name; // the whole path when it has no parent (the root, an extra folder)
        FileIdentity identity;
        int parent = -1; // the watch of the folder it was reached from
        bool inTree = false;
    };

    QByteArray root;
    std::size_t watchLimit = 0; // 0: the system's
    int fd = -1;
    int rootWd = -1;
    FileIdentity rootIdentity;
    quint64 rootMount = 0;
    bool rootLost = false;
    bool lostChanges = false;
    std::unordered_map<int, Watch> watches;             // by watch descriptor
    std::unordered_map<int, FileIdentity> watchedFiles; // by watch descriptor
    IdentityCount watchedInTree;                        // how many watches of each folder

    void counted(const Watch &watch, int by)
    {
        if (!watch.inTree)
            return;
        if (by > 0)
            watchedInTree.add(watch.identity);
        else
            watchedInTree.remove(watch.identity);
    }
    void erase(std::unordered_map<int, Watch>::iterator it)
    {
        counted(it->second, -1);
        watches.erase(it);
    }
    WatchFailure failure;
    FileSystems fileSystems;

    // The folder's path, from the names of those it was reached through: empty when one of
    // them is no longer watched (what it reports can then not be placed).
    QByteArray pathOf(const Watch &watch) const
    {
        std::vector<const Watch *> chain{&watch};
        while (chain.back()->parent >= 0) {
            const auto found = watches.find(chain.back()->parent);
            if (found == watches.end() || chain.size() > watches.size())
                return QByteArray();
            chain.push_back(&found->second);
        }
        QByteArray path;
        for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
            const QByteArrayView name((*it)->name.data(), qsizetype((*it)->name.size()));
            if (it == chain.rbegin())
                path = name.toByteArray();
            else
                path = child(path, name.toByteArray());
        }
        return path;
    }

    // Adds a watch on the open folder, reached as `name` from the folder of watch `parent` (or,
    // with none, at the path `name`): its descriptor, or -1 (failure noted when it matters).
    int addWatch(int dirFd, int parent, const QByteArray &name, uint32_t events, bool inTree,
                 bool *isNew)
    {
        // The kernel names a folder by path only; its descriptor's name under /proc reaches any
        // depth.
        char self[64];
        std::snprintf(self, sizeof self, "/proc/self/fd/%d", dirFd);
        const bool full = watchLimit > 0 && watches.size() >= watchLimit;
        const int wd = full ? -1 : ::inotify_add_watch(fd, self, events | IN_MASK_ADD);
        if (full)
            errno = ENOSPC;
        if (wd < 0) {
            if (errno == ENOSPC)
                failure = {WatchFailure::WatchLimit, placed(parent, name)};
            return -1;
        }
        struct stat st {};
        ::fstat(dirFd, &st);
        const auto found = watches.find(wd);
        *isNew = found == watches.end();
        if (*isNew) {
            const Watch watch{name.toStdString(), identityOf(st), parent, inTree};
            watches[wd] = watch;
            counted(watch, 1);
        } else if (inTree && !found->second.inTree) {
            found->second = {name.toStdString(), found->second.identity, parent, true};
            counted(found->second, 1);
            *isNew = true; // a folder of the lists that is in the tree after all: walk it
        }
        return wd;
    }

    // The path of what is reached as name from the folder of watch `parent` (or at the path
    // `name`, with none).
    QByteArray placed(int parent, const QByteArray &name) const
    {
        if (parent < 0)
            return name;
        const auto found = watches.find(parent);
        const QByteArray dir = found != watches.end() ? pathOf(found->second) : QByteArray();
        return dir.isEmpty() ? QByteArray() : child(dir, name);
    }

    // Watches the folder reached as `name` from that of watch `parent` (the root: at the path
    // `name`, with none) and every folder below it, without recursion (a tree can be deeper than
    // any stack). False, with the failure noted, when the tree cannot be covered.
    bool watchTree(int parent, const QByteArray &name)
    {
        struct Pending {
            QByteArray path;
            Fd fd;
            int parent;
            QByteArray name;
        };
        std::vector<Pending> pending;
        const QByteArray dir = placed(parent, name);
        pending.push_back({dir, Fd(openDirectory(dir, O_RDONLY)), parent, name});
        while (!pending.empty()) {
            Pending next = std::move(pending.back());
            pending.pop_back();
            if (!next.fd.valid())
                continue; // gone or unreadable: nothing of it can be listed either
            if (isRemote(next.fd.get())) {
                failure = {WatchFailure::RemoteFileSystem, next.path};
                return false;
            }
            struct stat st {};
            ::fstat(next.fd.get(), &st);
            if (next.path != root && fileSystems.isPseudo(st.st_dev))
                continue;
            bool isNew = false;
            const int wd =
                addWatch(next.fd.get(), next.parent, next.name, kTreeEvents, true, &isNew);
            if (wd < 0) {
                if (failure.kind != WatchFailure::None)
                    return false;
                continue;
            }
            if (next.path == root) {
                rootWd = wd;
                rootIdentity = identityOf(st);
                rootMount = mountId(next.fd.get(), "");
            }
            // A folder watched already (reached again through a link) is not walked again: that
            // also ends a walk through a link back to an ancestor.
            if (!isNew)
                continue;
            struct SubDirs : DirEntrySink {
                std::vector<QByteArray> names;
                void file(const char *, std::size_t) override {}
                void subDir(const char *name, std::size_t length) override
                {
                    names.emplace_back(name, qsizetype(length));
                }
            } subDirs;
            int error = 0;
            if (const std::shared_ptr<OpenDir> dir = OpenDir::open(next.path, &error))
                dir->read(subDirs);
            for (const QByteArray &sub : subDirs.names)
                pending.push_back({child(next.path, sub),
                                   Fd(openDirectoryAt(next.fd.get(), sub, O_RDONLY)), wd, sub});
        }
        return true;
    }

    // Whether the watch was reached through watch `top` (or is it).
    bool reachedThrough(int wd, int top) const
    {
        for (std::size_t steps = 0; wd >= 0 && steps <= watches.size(); ++steps) {
            if (wd == top)
                return true;
            const auto found = watches.find(wd);
            if (found == watches.end())
                return false;
            wd = found->second.parent;
        }
        return false;
    }

    // The folder reached as `name` from that of watch `parent` moved out of the tree or was
    // removed: its watches, and those below it, go.
    void forget(int parent, const QByteArray &name)
    {
        int top = -1;
        for (const auto &[wd, watch] : watches) {
            if (watch.parent == parent && watch.inTree &&
                QByteArrayView(watch.name.data(), qsizetype(watch.name.size())) == name)
                top = wd;
        }
        if (top < 0)
            return;
        // Decided for all before any goes: what is below needs the folders above it.
        std::vector<int> gone;
        for (const auto &[wd, watch] : watches) {
            if (watch.inTree && wd != rootWd && reachedThrough(wd, top))
                gone.push_back(wd);
        }
        for (const int wd : gone) {
            const auto it = watches.find(wd);
            ::inotify_rm_watch(fd, it->first);
            counted(it->second, -1);
            watches.erase(it);
        }
    }
};

TreeWatcher::TreeWatcher(const QByteArray &root, std::size_t watchLimit)
    : d_(std::make_unique<Private>())
{
    d_->root = root;
    d_->watchLimit = watchLimit;
}

TreeWatcher::~TreeWatcher()
{
    if (d_->fd >= 0)
        ::close(d_->fd);
}

bool TreeWatcher::start(WatchFailure *failure)
{
    d_->fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (d_->fd < 0) {
        *failure = {WatchFailure::NoNotification, d_->root};
        return false;
    }
    if (!d_->watchTree(-1, d_->root) || d_->rootWd < 0) {
        *failure = d_->failure.kind != WatchFailure::None
                       ? d_->failure
                       : WatchFailure{WatchFailure::NoNotification, d_->root};
        return false;
    }
    return true;
}

void TreeWatcher::watchFolder(const QByteArray &path)
{
    const Fd dir(openDirectory(path, O_RDONLY));
    bool isNew = false;
    if (dir.valid())
        d_->addWatch(dir.get(), -1, path, kFolderEvents, false, &isNew);
}

bool TreeWatcher::watchFile(const QByteArray &path, const FileStat &expected)
{
    // Watched through what was opened, then looked at: a change between the two is seen by one
    // of them.
    const Fd file(::open(path.constData(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
    if (!file.valid())
        return false;
    char self[64];
    std::snprintf(self, sizeof self, "/proc/self/fd/%d", file.get());
    const int wd = ::inotify_add_watch(d_->fd, self, kFileEvents);
    if (wd < 0)
        return false;
    struct stat st {};
    if (::fstat(file.get(), &st) != 0) {
        ::inotify_rm_watch(d_->fd, wd);
        return false;
    }
    d_->watchedFiles[wd] = identityOf(st);
    return fileStatOf(st) == expected;
}

int TreeWatcher::descriptor() const
{
    return d_->fd;
}

FileIdentity TreeWatcher::rootIdentity() const
{
    return d_->rootIdentity;
}

quint64 TreeWatcher::rootMount() const
{
    return d_->rootMount;
}

quint64 TreeWatcher::mountOf(const QByteArray &path)
{
    return mountId(AT_FDCWD, path.constData());
}

bool TreeWatcher::rootLost() const
{
    return d_->rootLost;
}

bool TreeWatcher::watches(const FileIdentity &folder) const
{
    return d_->watchedInTree.contains(folder);
}

bool TreeWatcher::takeLostChanges()
{
    const bool lost = d_->lostChanges;
    d_->lostChanges = false;
    return lost;
}

bool TreeWatcher::readChanges(const ChangeFilter &matters, bool *complete)
{
    *complete = true;
    bool relevant = false;
    alignas(inotify_event) char buffer[64 * 1024];
    for (;;) {
        const ssize_t length = ::read(d_->fd, buffer, sizeof buffer);
        if (length <= 0)
            break;
        for (const char *at = buffer; at < buffer + length;) {
            const auto *event = reinterpret_cast<const inotify_event *>(at);
            at += sizeof(inotify_event) + event->len;
            if (event->mask & IN_Q_OVERFLOW) {
                relevant = true; // changes were lost: the list must be made again
                d_->lostChanges = true;
                continue;
            }
            if (event->wd == d_->rootWd &&
                (event->mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT | IN_IGNORED))) {
                d_->rootLost = true;
                relevant = true;
                continue;
            }
            if (const auto file = d_->watchedFiles.find(event->wd);
                file != d_->watchedFiles.end()) {
                WatchedChange change;
                change.dirIdentity = file->second;
                change.inTree = false;
                change.fileChanged = true;
                if (event->mask & IN_IGNORED)
                    d_->watchedFiles.erase(file);
                else
                    matters(change);
                continue;
            }
            const auto found = d_->watches.find(event->wd);
            if (found == d_->watches.end())
                continue;
            if (event->mask & IN_IGNORED) {
                d_->erase(found);
                continue;
            }
            const int wd = event->wd;
            const Private::Watch watch = found->second;
            const QByteArray dir = d_->pathOf(watch);
            if (dir.isEmpty()) {
                // Of a folder reached through one no longer watched: it cannot be placed.
                relevant = relevant || watch.inTree;
                d_->lostChanges = d_->lostChanges || watch.inTree;
                continue;
            }
            if (event->mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT)) {
                WatchedChange gone;
                gone.dir = dir;
                gone.dirIdentity = watch.identity;
                gone.inTree = watch.inTree;
                gone.folderGone = true;
                matters(gone);
                relevant = relevant || watch.inTree;
                continue;
            }
            WatchedChange change;
            change.dir = dir;
            change.dirIdentity = watch.identity;
            change.name = event->len ? QByteArray(event->name) : QByteArray();
            change.isDirectory = event->mask & IN_ISDIR;
            change.appeared = event->mask & (IN_CREATE | IN_MOVED_TO);
            change.written = event->mask & (IN_CLOSE_WRITE | IN_ATTRIB);
            change.inTree = watch.inTree;
            if (watch.inTree && change.appeared && !change.isDirectory && !change.written) {
                // A link made to a folder: the list goes through it, so its changes count.
                struct stat target {};
                const QByteArray path = child(dir, change.name);
                if (::stat(path.constData(), &target) == 0 && S_ISDIR(target.st_mode) &&
                    !d_->watchTree(wd, change.name))
                    *complete = false;
            }
            if (watch.inTree && change.isDirectory) {
                if (!change.appeared)
                    d_->forget(wd, change.name);
                else if (!d_->watchTree(wd, change.name))
                    *complete = false;
            }
            if (matters(change))
                relevant = true;
        }
    }
    return relevant;
}
