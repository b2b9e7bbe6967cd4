#include "engine/fs_lists.h"

#include "engine/name_order.h"

#include <algorithm>

namespace {

std::vector<ListedName> decodedAndSorted(const std::vector<QByteArray> &names,
                                         const FilePattern *pattern, const ListOrder &order)
{
    std::vector<ListedName> listed;
    listed.reserve(names.size());
    for (const QByteArray &bytes : names) {
        QString text = QString::fromUtf8(bytes);
        if (pattern && !pattern->matches(text))
            continue;
        listed.push_back({bytes, std::move(text)});
    }
    std::sort(listed.begin(), listed.end(), order);
    return listed;
}

} // namespace

QByteArray normalizedDirPath(const QByteArray &path)
{
    QByteArray normal = path;
    while (normal.size() > 1 && normal.endsWith('/'))
        normal.chop(1);
    return normal;
}

QByteArray childPath(const QByteArray &dir, const QByteArray &name)
{
    return dir.endsWith('/') ? dir + name : dir + '/' + name;
}

const DirScan &FsDirectoryReader::read(const QByteArray &path)
{
    if (!valid_ || path != path_) {
        scan_ = reader_.read(path, anew_);
        anew_ = false;
        path_ = path;
        valid_ = true;
    }
    return scan_;
}

int FsDirectoryReader::open(const QByteArray &path, DirIdentity *identity)
{
    if (valid_ && path == path_) {
        *identity = scan_.identity;
        return scan_.error;
    }
    const int error = reader_.open(path, anew_, identity);
    anew_ = false;
    return error;
}

void FsDirectoryReader::forget()
{
    valid_ = false;
    anew_ = true;
}

void FsDirList::setPath(const QByteArray &path)
{
    path_ = normalizedDirPath(path);
    read_ = false;
    reader_.forget();
    if (onChange)
        onChange();
}

void FsDirList::ensureRead()
{
    if (read_)
        return;
    const DirScan &scan = reader_.read(path_);
    error_ = scan.error;
    subDirs_ = decodedAndSorted(scan.subDirs, nullptr, order_);
    read_ = true;
}

int FsDirList::subDirCount()
{
    ensureRead();
    return int(subDirs_.size());
}

QByteArray FsDirList::subDirPath(int i)
{
    ensureRead();
    return childPath(path_, subDirs_.at(std::size_t(i)).bytes);
}

int FsDirList::identity(DirIdentity *identity)
{
    return reader_.open(path_, identity);
}

int FsDirList::readError()
{
    ensureRead();
    return error_;
}

void FsDirList::setOrder(const ListOrder &order)
{
    if (!(order == order_))
        read_ = false;
    order_ = order;
}

const std::vector<ListedName> &FsDirList::subDirNames()
{
    ensureRead();
    return subDirs_;
}

void FsFileList::setPath(const QByteArray &path)
{
    path_ = normalizedDirPath(path);
    read_ = false;
    reader_.forget();
}

void FsFileList::setPattern(const QString &pattern)
{
    pattern_ = FilePattern(pattern);
    read_ = false;
}

void FsFileList::ensureRead()
{
    if (read_)
        return;
    files_ = decodedAndSorted(reader_.read(path_).files, &pattern_, order_);
    read_ = true;
}

int FsFileList::fileCount()
{
    ensureRead();
    return int(files_.size());
}

ListedName FsFileList::fileName(int k)
{
    ensureRead();
    return files_.at(std::size_t(k));
}

int FsFileList::fileStat(int k, FileStat *stat)
{
    ensureRead();
    return reader_.stat(path_, files_.at(std::size_t(k)).bytes, stat);
}

int FsFileList::openFile(int k)
{
    ensureRead();
    return reader_.openFile(path_, files_.at(std::size_t(k)).bytes);
}

void FsFileList::setOrder(const ListOrder &order)
{
    if (!(order == order_))
        read_ = false;
    order_ = order;
}
