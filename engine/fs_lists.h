#pragma once

#include "engine/dir_listing.h"
#include "engine/file_pattern.h"
#include "engine/listing_host.h"
#include "engine/listing_model.h"
#include "engine/name_order.h"
#include "engine/read_ahead.h"
#include "platform/dir_scan.h"

#include <QByteArray>

#include <functional>
#include <memory>

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

// The last reading of a directory, shared by the two lists, with the rules both read by.
// Directories are opened from the one the walk came from (see DirectoryReader), so that no depth
// is out of reach.
class FsDirectoryReader
{
public:
    FsDirectoryReader();
    ~FsDirectoryReader();
    FsDirectoryReader(const FsDirectoryReader &) = delete;
    FsDirectoryReader &operator=(const FsDirectoryReader &) = delete;

    // The listing of path, names read.
    std::shared_ptr<const DirListing> read(const QByteArray &path);
    // Opens the directory without reading its names: 0, or the system's reason.
    int open(const QByteArray &path, DirIdentity *identity);
    // The next opening or reading of a path takes it as it is on disk now.
    void forget();
    // Closes every directory held open and stops reading ahead; what was read stays known.
    void release();
    // From now until release(), the directories a walk from the one read last will come to are
    // read before they are asked for (see ReadAhead), with their files' details if asked.
    void readAhead(FileDetails details);
    FileDetails details() const { return details_; }

    const FilePattern &pattern() const { return rules_.pattern; }
    void setPattern(const QString &pattern);
    void setOrder(const ListOrder &order);

    // The directory of a listing, for its files: opened again when it was let go.
    std::shared_ptr<OpenDir> dirOf(const DirListing &listing, const QByteArray &path);

    // From now on, every folder read is kept in model, and a folder found there is not read
    // again (see ListingModel); null: every folder is read each time.
    void useModel(ListingModel *model) { model_ = model; }

private:
    std::shared_ptr<DirListing> opened(const QByteArray &path);

    DirectoryReader reader_;
    ListingRules rules_;
    QByteArray path_;
    std::shared_ptr<DirListing> listing_; // of path_, null when nothing is known
    bool anew_ = false;
    bool fromModel_ = false;                  // listing_ is the one the model keeps for path_
    FileDetails details_ = FileDetails::None; // what the walk wants of each file
    std::unique_ptr<ReadAhead> ahead_;
    ListingModel *model_ = nullptr;
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
    void readAhead(FileDetails details) override { reader_.readAhead(details); }
    void release() override { reader_.release(); }
    void setOrder(const ListOrder &order) override;

    // Sub-directory names, in list order.
    const NameList &subDirNames();

private:
    const DirListing &listing();

    FsDirectoryReader &reader_;
    QByteArray path_;
    std::shared_ptr<const DirListing> listing_;
};

// File1 on the file system.
class FsFileList : public SourceFileList
{
public:
    explicit FsFileList(FsDirectoryReader &reader) : reader_(reader) {}

    QByteArray path() const { return path_; }
    void setPath(const QByteArray &path);
    const QString &pattern() const { return reader_.pattern().text(); }
    void setPattern(const QString &pattern);

    int fileCount() override;
    ListedName fileName(int k) override;
    QByteArrayView fileNameView(int k) override;
    int fileStat(int k, FileStat *stat) override;
    int openFile(int k) override;
    ShortBytes coverName() override;
    ShortBytes coverVersion() override;
    void setOrder(const ListOrder &order) override;
    void ready(bool withDetails, FolderFiles *folder) override;

    // The reading the names come from, for a view that keeps it while it shows them.
    std::shared_ptr<const DirListing> current();

private:
    const DirListing &listing();
    bool detailsKnown(const DirListing &read) const;

    FsDirectoryReader &reader_;
    QByteArray path_;
    std::shared_ptr<const DirListing> listing_;
};

// A directory path as the lists hold it: no trailing '/', except the root "/" itself.
QByteArray normalizedDirPath(const QByteArray &path);
// path + "/" + name, without doubling the root's "/".
QByteArray childPath(const QByteArray &dir, QByteArrayView name);
