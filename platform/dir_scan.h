#pragma once

#include "platform/file_identity.h"

#include <QByteArray>

#include <memory>
#include <vector>

// One reading of a folder, as the source lists need it. Names starting with a dot are left out
// (hidden entries). A symbolic link counts as what it points to; a link that points nowhere, and
// anything that is neither an ordinary file nor a folder (sockets, pipes, devices), is left out.
// Names are the file system's own bytes, in the order the system returns them.
struct DirScan {
    int error = 0;         // 0, or the system's error number when the folder could not be read
    FileIdentity identity; // the folder itself
    std::vector<QByteArray> files;
    std::vector<QByteArray> subDirs;
};

// What the outputs beyond the classic list tell of a file, and what a cache of its tags is keyed
// by: a file with the same identity, size and times holds the same tags.
struct FileStat {
    FileIdentity identity;
    qint64 size = 0;
    qint64 modifiedNs = 0; // since the epoch
    qint64 changedNs = 0;
};

// Opens and reads folders for a walk that moves down and up a tree one folder at a time. Each
// folder is opened from an ancestor still open (its parent, usually), never by its whole path:
// a tree deeper than the system's longest path (PATH_MAX) is read as any other, and a bounded
// number of descriptors stays open however deep the walk goes.
class DirectoryReader
{
public:
    DirectoryReader();
    ~DirectoryReader();
    DirectoryReader(const DirectoryReader &) = delete;
    DirectoryReader &operator=(const DirectoryReader &) = delete;

    // Opens the folder without reading it: 0 and its identity, or the system's reason. A path
    // opened before is opened anew when `anew` is set (it may name another folder by now).
    int open(const QByteArray &path, bool anew, FileIdentity *identity);
    // Reads the folder, opening it first when it is not open.
    DirScan read(const QByteArray &path, bool anew);
    // A file of the folder at dirPath, the link followed: 0, or the system's reason.
    int stat(const QByteArray &dirPath, const QByteArray &name, FileStat *stat);
    // The file opened for reading (its descriptor, the caller's to close), or -1.
    int openFile(const QByteArray &dirPath, const QByteArray &name);
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
