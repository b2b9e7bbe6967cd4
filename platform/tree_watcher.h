#pragma once

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>

// Kernel notification of the names that appear, vanish or move anywhere below a directory.
// Directories that appear are watched in their turn. It cannot see everything on file systems
// whose changes happen elsewhere (network and FUSE mounts), nor beyond the system's watch
// limit: start() then says why, and the caller should rather poll.
// Why a whole tree cannot be watched.
struct WatchFailure {
    enum Kind { None, NoNotification, RemoteFileSystem, WatchLimit } kind = None;
    QByteArray path; // the directory on a remote file system
};

class TreeWatcher
{
public:
    explicit TreeWatcher(const QByteArray &root);
    ~TreeWatcher();
    TreeWatcher(const TreeWatcher &) = delete;
    TreeWatcher &operator=(const TreeWatcher &) = delete;

    // Watches the whole tree; false, with the reason, when it cannot.
    bool start(WatchFailure *failure);
    // Readable when changes wait (for poll()).
    int descriptor() const;
    // A change, as the kernel reports it: the directory it happened in, the name, and whether
    // that name is a directory.
    using ChangeFilter =
        std::function<bool(const QByteArray &dir, const QByteArray &name, bool isDirectory)>;
    // Reads what waits; true when one of the changes passes the filter. Directories that
    // appeared are watched from now on; false for `complete` when one of them could not be.
    bool readChanges(const ChangeFilter &matters, bool *complete);

private:
    class Private;
    std::unique_ptr<Private> d_;
};
