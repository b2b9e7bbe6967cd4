#include "platform/tree_watcher.h"

#include "platform/dir_scan.h"

#include <cerrno>
#include <sys/inotify.h>
#include <sys/statfs.h>
#include <unistd.h>
#include <unordered_map>

namespace {

// Links to directories are followed, as the list follows them.
constexpr uint32_t kEvents = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF |
                             IN_MOVE_SELF | IN_ONLYDIR;

// File systems whose changes may be made by another machine, or that report no events.
bool isRemote(const QByteArray &path)
{
    struct statfs fs {};
    if (::statfs(path.constData(), &fs) != 0)
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

} // namespace

class TreeWatcher::Private
{
public:
    QByteArray root;
    int fd = -1;
    std::unordered_map<int, QByteArray> paths; // watch descriptor to directory
    WatchFailure failure;

    // Watches dir and every directory below it. False, with the failure noted, when the tree
    // cannot be covered.
    bool watchTree(const QByteArray &dir)
    {
        if (isRemote(dir)) {
            failure = {WatchFailure::RemoteFileSystem, dir};
            return false;
        }
        const int wd = ::inotify_add_watch(fd, dir.constData(), kEvents);
        if (wd < 0) {
            if (errno == ENOSPC) {
                failure = {WatchFailure::WatchLimit, dir};
                return false;
            }
            return true; // gone or unreadable: nothing of it can be listed either
        }
        // A directory already watched (reached again through a link, or moved) is not walked
        // again: that also ends a walk through a link back to an ancestor.
        const bool known = paths.count(wd) != 0;
        paths[wd] = dir;
        if (known)
            return true;
        const DirScan scan = scanDirectory(dir);
        for (const QByteArray &sub : scan.subDirs) {
            if (!watchTree(dir.endsWith('/') ? dir + sub : dir + '/' + sub))
                return false;
        }
        return true;
    }
};

TreeWatcher::TreeWatcher(const QByteArray &root) : d_(std::make_unique<Private>())
{
    d_->root = root;
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
    if (!d_->watchTree(d_->root)) {
        *failure = d_->failure;
        return false;
    }
    return true;
}

int TreeWatcher::descriptor() const
{
    return d_->fd;
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
                continue;
            }
            const auto found = d_->paths.find(event->wd);
            if (found == d_->paths.end())
                continue;
            const QByteArray dir = found->second;
            if (event->mask & IN_IGNORED) {
                d_->paths.erase(found);
                continue;
            }
            if (event->mask & (IN_DELETE_SELF | IN_MOVE_SELF)) {
                relevant = true;
                continue;
            }
            const QByteArray name = event->len ? QByteArray(event->name) : QByteArray();
            const bool isDirectory = event->mask & IN_ISDIR;
            if (isDirectory && (event->mask & (IN_CREATE | IN_MOVED_TO)) &&
                !d_->watchTree(dir.endsWith('/') ? dir + name : dir + '/' + name))
                *complete = false;
            if (matters(dir, name, isDirectory))
                relevant = true;
        }
    }
    return relevant;
}
