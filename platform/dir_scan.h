#pragma once

#include "platform/file_identity.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QtGlobal>

#include <memory>

// What the outputs beyond the classic list tell of a file, and what a cache of its tags is keyed
// by: a file with the same identity, size and times holds the same tags.
struct FileStat {
    FileIdentity identity;
    qint64 size = 0;
    qint64 modifiedNs = 0; // since the epoch
    qint64 changedNs = 0;
    // The same file, unchanged as far as its times can tell.
    friend bool operator==(const FileStat &a, const FileStat &b)
    {
        return a.identity == b.identity && a.size == b.size && a.modifiedNs == b.modifiedNs &&
               a.changedNs == b.changedNs;
    }
    friend bool operator!=(const FileStat &a, const FileStat &b) { return !(a == b); }
};

// Receives a folder's names as they are read, in the order the system gives them, as the file
// system's own bytes. Names starting with a dot are left out (hidden entries). A symbolic link
// counts as what it points to; a link that points nowhere, and anything that is neither an
// ordinary file nor a folder (sockets, pipes, devices), is left out.
class DirEntrySink
{
public:
    virtual void file(const char *name, std::size_t length) = 0;
    virtual void subDir(const char *name, std::size_t length) = 0;
    // Each symbolic link, whatever it points to (nothing, perhaps), before what it counts as.
    virtual void link(const char *name, std::size_t length)
    {
        (void)name;
        (void)length;
    }
    // Asked between two batches of names: true gives up the reading.
    virtual bool stopped() const { return false; }

protected:
    ~DirEntrySink() = default;
};

// A folder held open: what it is was settled when it was opened (its identity), and its names,
// its files and the folders below it are reached from it, never again by a path that may lead
// elsewhere by now. Shared by whoever still needs it; closed with the last holder.
class OpenDir
{
public:
    ~OpenDir();
    OpenDir(const OpenDir &) = delete;
    OpenDir &operator=(const OpenDir &) = delete;

    // The folder at path, of any length; null, and the system's reason, when it cannot be.
    static std::shared_ptr<OpenDir> open(const QByteArray &path, int *error);
    // A folder below this one, by a path relative to it ("Album", "a/b/c").
    std::shared_ptr<OpenDir> openBelow(const QByteArray &relative, int *error) const;

    const FileIdentity &identity() const { return identity_; }
    // The folder's own size on disk, when it was opened: about 20 to 40 bytes a name on the
    // usual file systems, a hint for the room its names will take.
    qint64 sizeHint() const { return size_; }
    // Reads the names from the first, as the folder holds them now: 0, or the system's reason,
    // and then the names given so far are not the folder's (it was read only in part). One
    // reading at a time.
    int read(DirEntrySink &sink) const;
    // A file of the folder, the link followed: 0, or the system's reason.
    int stat(QByteArrayView name, FileStat *stat) const;
    // A file of the folder opened for reading (its descriptor, the caller's to close), or -1.
    int openFile(QByteArrayView name) const;

    // Folders held open now by the whole process.
    static int openCount();

private:
    OpenDir(int fd, const FileIdentity &identity, qint64 size);
    // The folder opened as fd, or the system's reason when fd is negative (-errno).
    static std::shared_ptr<OpenDir> wrap(int fd, int *error);
    int readEntries(DirEntrySink &sink) const;

    int fd_;
    FileIdentity identity_;
    qint64 size_;
    mutable bool readBefore_ = false;
};

// Opens folders for a walk that moves down and up a tree one folder at a time. Each folder is
// opened from an ancestor still open (its parent, usually), never by its whole path: a tree
// deeper than the system's longest path (PATH_MAX) is read as any other, and a bounded number of
// descriptors stays open however deep the walk goes.
class DirectoryReader
{
public:
    DirectoryReader();
    ~DirectoryReader();
    DirectoryReader(const DirectoryReader &) = delete;
    DirectoryReader &operator=(const DirectoryReader &) = delete;

    // The folder at path: null, and the system's reason, when it cannot be opened. A path
    // opened before is opened anew when `anew` is set (it may name another folder by now).
    std::shared_ptr<OpenDir> open(const QByteArray &path, bool anew, int *error);
    // Takes a folder opened elsewhere (from its parent, say) as the one at path: the next ones
    // below it are opened from it.
    void adopt(const QByteArray &path, std::shared_ptr<OpenDir> dir);
    // Closes every folder kept open.
    void clear();

private:
    struct Chain;
    std::unique_ptr<Chain> chain_;
};

// The identity of the folder at path, or the system's reason it has none.
int directoryIdentity(const QByteArray &path, FileIdentity *identity);

// The identity of whatever stands at path, a link itself and not what it points to; the
// system's reason when nothing does.
int entryIdentity(const QByteArray &path, FileIdentity *identity);

// The process's current folder, as the system's bytes.
QByteArray currentDirectory();
