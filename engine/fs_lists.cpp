#include "engine/fs_lists.h"

#include "engine/list_outputs.h"
#include "engine/ready_pieces.h"

#include "platform/fast_append.h"
#include "platform/path_kind.h"

#include <algorithm>
#include <cerrno>

QByteArray normalizedDirPath(const QByteArray &path)
{
    QByteArray normal = path;
    while (normal.size() > 1 && normal.endsWith('/'))
        normal.chop(1);
    return normal;
}

QByteArray childPath(const QByteArray &dir, QByteArrayView name)
{
    // Made in one piece: a watcher's walk joins one for each of its folders at every change.
    const bool separated = dir.endsWith('/');
    QByteArray path;
    path.reserve(dir.size() + name.size() + (separated ? 0 : 1));
    appendBytes(path, dir);
    if (!separated)
        appendBytes(path, '/');
    appendBytes(path, name);
    return path;
}

FsDirectoryReader::FsDirectoryReader() = default;

FsDirectoryReader::~FsDirectoryReader() = default;

// The listing of path, opened at least: taken from the reading ahead, or opened here.
std::shared_ptr<DirListing> FsDirectoryReader::opened(const QByteArray &path)
{
    if (listing_ && path == path_)
        return listing_;
    // The directory left keeps no descriptor: one listing at a time holds one.
    if (listing_)
        listing_->dir.reset();
    path_ = path;
    const bool anew = anew_;
    anew_ = false;
    // Kept from an earlier list and not changed since: taken as it is.
    fromModel_ = false;
    if (model_) {
        if (std::shared_ptr<DirListing> kept = model_->find(path)) {
            listing_ = kept;
            fromModel_ = true;
            return listing_;
        }
    }
    listing_ = ahead_ ? ahead_->take(path) : nullptr;
    if (listing_) {
        if (listing_->dir)
            reader_.adopt(path, listing_->dir);
    } else {
        int error = 0;
        std::shared_ptr<OpenDir> dir = reader_.open(path, anew, &error);
        listing_ = openedListing(std::move(dir), error);
    }
    return listing_;
}

std::shared_ptr<const DirListing> FsDirectoryReader::read(const QByteArray &path)
{
    const std::shared_ptr<DirListing> listing = opened(path);
    if (!listing->namesRead) {
        readNames(*listing, rules_);
        if (ahead_)
            ahead_->seed(path, listing);
    }
    // What the model just gave is kept there as it is: nothing to note (most folders of a list).
    if (model_ && !fromModel_) {
        // A folder kept must give its files' details without its descriptor, later.
        if (details_ != FileDetails::None && !listing->detailsRead && listing->files.size() > 0 &&
            listing->dir)
            readDetails(*listing, details_);
        model_->keep(path, listing);
    }
    return listing;
}

int FsDirectoryReader::open(const QByteArray &path, DirIdentity *identity)
{
    const std::shared_ptr<DirListing> listing = opened(path);
    *identity = listing->identity;
    return listing->openError;
}

void FsDirectoryReader::forget()
{
    if (listing_)
        listing_->dir.reset();
    listing_.reset();
    anew_ = true;
}

void FsDirectoryReader::release()
{
    ahead_.reset();
    reader_.clear();
    if (listing_)
        listing_->dir.reset();
    // What is kept lives in the model, where a change makes it stale: the next list asks there.
    if (model_)
        listing_.reset();
}

void FsDirectoryReader::readAhead(FileDetails details)
{
    details_ = details;
    // Folders kept from an earlier list are not read: nothing to read ahead but a few.
    if (model_ && !model_->empty())
        return;
    ahead_ = std::make_unique<ReadAhead>(rules_, details);
    if (listing_ && listing_->namesRead)
        ahead_->seed(path_, listing_);
}

void FsDirectoryReader::setPattern(const QString &pattern)
{
    if (pattern == rules_.pattern.text())
        return;
    rules_.pattern = FilePattern(pattern);
    listing_.reset();
    if (model_)
        model_->clear(); // read by other rules
}

void FsDirectoryReader::setOrder(const ListOrder &order)
{
    if (order == rules_.order)
        return;
    rules_.order = order;
    listing_.reset();
    if (model_)
        model_->clear();
}

std::shared_ptr<OpenDir> FsDirectoryReader::dirOf(const DirListing &listing, const QByteArray &path)
{
    if (listing.dir)
        return listing.dir;
    int error = 0;
    return reader_.open(path, false, &error);
}

void FsDirList::setPath(const QByteArray &path)
{
    path_ = normalizedDirPath(path);
    listing_.reset();
    reader_.forget();
    if (onChange)
        onChange();
}

const DirListing &FsDirList::listing()
{
    if (!listing_)
        listing_ = reader_.read(path_);
    return *listing_;
}

int FsDirList::subDirCount()
{
    return listing().subDirs.size();
}

QByteArray FsDirList::subDirPath(int i)
{
    return childPath(path_, listing().subDirs.view(i));
}

int FsDirList::identity(DirIdentity *identity)
{
    if (listing_) {
        *identity = listing_->identity;
        return listing_->openError;
    }
    return reader_.open(path_, identity);
}

int FsDirList::readError()
{
    const DirListing &read = listing();
    return read.openError != 0 ? read.openError : read.readError;
}

void FsDirList::setOrder(const ListOrder &order)
{
    reader_.setOrder(order);
    listing_.reset();
}

const NameList &FsDirList::subDirNames()
{
    return listing().subDirs;
}

void FsFileList::setPath(const QByteArray &path)
{
    path_ = normalizedDirPath(path);
    listing_.reset();
    reader_.forget();
}

void FsFileList::setPattern(const QString &pattern)
{
    reader_.setPattern(pattern);
    listing_.reset();
}

void FsFileList::setOrder(const ListOrder &order)
{
    reader_.setOrder(order);
    listing_.reset();
}

const DirListing &FsFileList::listing()
{
    if (!listing_)
        listing_ = reader_.read(path_);
    return *listing_;
}

ShortBytes FsFileList::coverName()
{
    return ShortBytes(listing().cover());
}

ShortBytes FsFileList::coverVersion()
{
    const DirListing &read = listing();
    if (read.coverLength == 0)
        return ShortBytes();
    if (read.coverVersionLength >= 0)
        return ShortBytes(QByteArrayView(read.coverVersion.data(), read.coverVersionLength));
    const QByteArray version = fileVersion(childPath(path_, read.cover()));
    // Longer than room is kept for: asked for again next time.
    if (version.size() <= qsizetype(read.coverVersion.size())) {
        std::copy(version.begin(), version.end(), read.coverVersion.begin());
        read.coverVersionLength = qint8(version.size());
    }
    return ShortBytes(version);
}

// Whether the reading holds what the walk wants of each file.
bool FsFileList::detailsKnown(const DirListing &read) const
{
    const std::size_t files = std::size_t(read.files.size());
    return (read.detailsRead || files == 0) &&
           (reader_.details() != FileDetails::Identities ||
            (read.identities ? read.identities->files.size() : 0) == files);
}

void FsFileList::ready(bool withDetails, FolderFiles *folder)
{
    const DirListing &read = listing();
    // Details asked for one by one are the disk's of the moment, not the reading's.
    if (withDetails && !detailsKnown(read))
        return;
    folder->ready = &read.ready;
    folder->tags = read.identities ? &read.identities->ready : nullptr;
    folder->reading = listing_;
}

std::shared_ptr<const DirListing> FsFileList::current()
{
    listing();
    return listing_;
}

int FsFileList::fileCount()
{
    return listing().files.size();
}

ListedName FsFileList::fileName(int k)
{
    return listing().files.listed(k);
}

QByteArrayView FsFileList::fileNameView(int k)
{
    return listing().files.viewAhead(k);
}

int FsFileList::fileStat(int k, FileStat *stat)
{
    const DirListing &read = listing();
    if (detailsKnown(read))
        return detailsOf(read, k, stat);
    const std::shared_ptr<OpenDir> dir = reader_.dirOf(read, path_);
    return dir ? dir->stat(read.files.view(k), stat) : ENOENT;
}

int FsFileList::openFile(int k)
{
    const DirListing &read = listing();
    const std::shared_ptr<OpenDir> dir = reader_.dirOf(read, path_);
    return dir ? dir->openFile(read.files.view(k)) : -1;
}
