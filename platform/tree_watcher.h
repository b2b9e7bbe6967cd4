#pragma once

#include "platform/dir_scan.h"
#include "platform/file_identity.h"

#include <QByteArray>

#include <cstddef>
#include <functional>
#include <memory>

// Why a whole tree cannot be watched.
struct WatchFailure {
    enum Kind { None, NoNotification, RemoteFileSystem, WatchLimit } kind = None;
    QByteArray path; // the folder on a remote file system
};

// One name that appeared, vanished, moved or was written in a watched folder.
struct WatchedChange {
    QByteArray dir; // the folder, as a path below the root (or an extra folder's path)
    FileIdentity dirIdentity;
    QByteArray name;
    bool isDirectory = false;
    bool appeared = false;   // created or moved in; else removed or moved out
    bool written = false;    // a file of the tree closed after writing (it is still there)
    bool inTree = true;      // false for a change in an extra folder only
    bool folderGone = false; // the watched folder itself was removed or moved (name empty)
    // A file watched by watchFile() written, or its times, rights or links changed: dirIdentity
    // is the file's own, nothing else is set.
    bool fileChanged = false;
};

// Kernel notification of the names that appear, vanish or move anywhere below a folder. Folders
// that appear are watched in their turn, links to folders are followed as the list follows
// them, a folder reached twice is watched once, and folders moved out of the tree are no longer
// watched. Kernel interfaces (/proc...) are never watched. It cannot see everything on file
// systems whose changes happen elsewhere (network and FUSE mounts), nor beyond the system's
// watch limit: start() then says why, and the caller should rather poll.
class TreeWatcher
{
public:
    // At most watchLimit folders are watched when it is set: the system's limit otherwise.
    explicit TreeWatcher(const QByteArray &root, std::size_t watchLimit = 0);
    ~TreeWatcher();
    TreeWatcher(const TreeWatcher &) = delete;
    TreeWatcher &operator=(const TreeWatcher &) = delete;

    // Watches the whole tree; false, with the reason, when it cannot.
    bool start(WatchFailure *failure);
    // Watches the names of one more folder, outside the tree or in it (where the lists go).
    void watchFolder(const QByteArray &path);
    // Reports whatever is done to the file at path from now on (see fileChanged): false when it
    // cannot, or when the file there is no longer `expected` as it was (its size and times).
    bool watchFile(const QByteArray &path, const FileStat &expected);
    // Readable when changes wait (for poll()).
    int descriptor() const;
    // The root folder as it was when the watch started, and the mount it was on (0: unknown).
    FileIdentity rootIdentity() const;
    quint64 rootMount() const;
    // The mount a folder is on now: a disk mounted again may give its root the very device and
    // inode numbers it had, never the same mount. 0 when the system cannot tell.
    static quint64 mountOf(const QByteArray &path);

    // Reads what waits; true when one of the changes passes the filter (or changes were lost).
    // False for `complete` when a folder that appeared could not be watched.
    using ChangeFilter = std::function<bool(const WatchedChange &change)>;
    bool readChanges(const ChangeFilter &matters, bool *complete);
    // Whether the root folder itself went away (removed, moved, its file system unmounted):
    // nothing below it can be seen any more.
    bool rootLost() const;
    // Whether the kernel dropped changes (its queue overflowed) since the last call: what was
    // known of the tree can no longer be trusted.
    bool takeLostChanges();
    // Whether the changes of that folder of the tree are reported.
    bool watches(const FileIdentity &folder) const;

private:
    class Private;
    std::unique_ptr<Private> d_;
};
