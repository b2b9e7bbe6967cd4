#pragma once

#include "engine/file_pattern.h"
#include "engine/listing_host.h"
#include "engine/name_order.h"
#include "platform/dir_scan.h"

#include <QByteArray>

#include <functional>
#include <vector>

// The source lists read from the file system, shared by the command-line tool and the main
// window, so that a list means the same wherever it is made:
// - Dir1 lists sub-directories, and File1 ordinary files matching the pattern; names starting
//   with a dot are left out, a symbolic link counts as what it points to, a broken link and
//   anything else (sockets, pipes, devices) is left out;
// - both are ordered by name (nameBefore), or naturally when a run asks (ListOrder).
//
// Setting a path reads nothing: the directory is read once, when one of the two lists is first
// asked about it, and that one reading serves both. A walk that climbs back up through a parent
// it has already read therefore costs nothing, and setting the same path again reads it anew.

// The last reading of a directory, shared by the two lists. Directories are opened from the one
// the walk came from (see DirectoryReader), so that no depth is out of reach.
class FsDirectoryReader
{
public:
    const DirScan &read(const QByteArray &path);
    // Opens the directory without reading its names: 0, or the system's reason.
    int open(const QByteArray &path, DirIdentity *identity);
    // The next opening or reading of a path takes it as it is on disk now.
    void forget();
    // Closes every directory held open; what was read stays known.
    void release() { reader_.clear(); }
    int stat(const QByteArray &dir, const QByteArray &name, FileStat *stat)
    {
        return reader_.stat(dir, name, stat);
    }
    int openFile(const QByteArray &dir, const QByteArray &name)
    {
        return reader_.openFile(dir, name);
    }

private:
    DirectoryReader reader_;
    QByteArray path_;
    DirScan scan_;
    bool valid_ = false;
    bool anew_ = false;
};

// Dir1 on the file system.
class FsDirList : public SourceDirList
{
public:
    explicit FsDirList(FsDirectoryReader &reader) : reader_(reader) {}

    // Runs after every change of path: the file list follows from here (Dir1_Change).
    std::function<void()> onChange;

    QByteArray path() const override { return path_; }
    void setPath(const QByteArray &path) override;
    int subDirCount() override;
    QByteArray subDirPath(int i) override;
    int readError() override;
    int identity(DirIdentity *identity) override;
    void release() override { reader_.release(); }
    void setOrder(const ListOrder &order) override;

    // Sub-directory names, in list order.
    const std::vector<ListedName> &subDirNames();

private:
    void ensureRead();

    FsDirectoryReader &reader_;
    QByteArray path_;
    bool read_ = false;
    int error_ = 0;
    ListOrder order_;
    std::vector<ListedName> subDirs_;
};

// File1 on the file system.
class FsFileList : public SourceFileList
{
public:
    explicit FsFileList(FsDirectoryReader &reader) : reader_(reader) {}

    QByteArray path() const { return path_; }
    void setPath(const QByteArray &path);
    const QString &pattern() const { return pattern_.text(); }
    void setPattern(const QString &pattern);

    int fileCount() override;
    ListedName fileName(int k) override;
    int fileStat(int k, FileStat *stat) override;
    int openFile(int k) override;
    void setOrder(const ListOrder &order) override;

private:
    void ensureRead();

    FsDirectoryReader &reader_;
    QByteArray path_;
    FilePattern pattern_{QStringLiteral("*.mp3")};
    ListOrder order_;
    bool read_ = false;
    std::vector<ListedName> files_;
};

// A directory path as the lists hold it: no trailing '/', except the root "/" itself.
QByteArray normalizedDirPath(const QByteArray &path);
// path + "/" + name, without doubling the root's "/".
QByteArray childPath(const QByteArray &dir, const QByteArray &name);
