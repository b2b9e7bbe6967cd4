#include "platform/path_kind.h"

#include "platform/posix/descriptors.h"
#include "platform/system_error.h"

#include <QCryptographicHash>

#include <cerrno>
#include <charconv>
#include <ctime>
#include <dirent.h>
#include <iterator>
#include <unistd.h>

#include <fcntl.h>
#include <sys/stat.h>

PathKind pathKind(const QByteArray &path)
{
    QByteArray dirPath;
    QByteArray name;
    splitPath(path, &dirPath, &name);
    struct stat st;
    const Fd dir(path.isEmpty() ? -1 : openDirectory(dirPath, O_PATH));
    if (!dir.valid() || ::fstatat(dir.get(), name.isEmpty() ? "." : name.constData(), &st, 0) != 0)
        return PathKind::Absent;
    if (S_ISREG(st.st_mode))
        return PathKind::RegularFile;
    if (S_ISDIR(st.st_mode))
        return PathKind::Directory;
    if (S_ISCHR(st.st_mode) || S_ISFIFO(st.st_mode))
        return PathKind::Stream;
    return PathKind::Other;
}

OutputPlace outputPlace(const QByteArray &path)
{
    OutputPlace place;
    place.path = path;
    QByteArray dirPath;
    splitPath(path, &dirPath, &place.name);
    const Fd dir(openDirectory(dirPath, O_PATH));
    struct stat st;
    if (!dir.valid() || ::fstat(dir.get(), &st) != 0)
        return place;
    place.folderKnown = true;
    place.folder = identityOf(st);
    if (::fstatat(dir.get(), place.name.constData(), &st, 0) == 0) {
        place.fileKnown = true;
        place.file = identityOf(st);
    }
    return place;
}

int makeOwnFolder(const QByteArray &path)
{
    if (::mkdir(path.constData(), 0755) != 0 && errno != EEXIST)
        return errno;
    struct stat st;
    if (::lstat(path.constData(), &st) != 0)
        return errno;
    if (S_ISLNK(st.st_mode))
        return ELOOP;
    if (!S_ISDIR(st.st_mode))
        return ENOTDIR;
    if (st.st_uid != ::geteuid() && st.st_uid != 0)
        return kErrorForeignFile;
    return 0;
}

void forEachNameIn(const QByteArray &folder, const std::function<void(QByteArrayView)> &take)
{
    DIR *dir = ::opendir(folder.constData());
    if (!dir)
        return;
    while (const dirent *entry = ::readdir(dir)) {
        const QByteArrayView name(entry->d_name);
        if (name != "." && name != "..")
            take(name);
    }
    ::closedir(dir);
}

bool folderStamp(const QByteArray &path, FolderStamp *stamp)
{
    struct stat st;
    if (::lstat(path.constData(), &st) != 0 || !S_ISDIR(st.st_mode))
        return false;
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    stamp->stat = fileStatOf(st);
    stamp->settled = nanoseconds(now) - stamp->stat.changedNs > 1000000000;
    return true;
}

void removeFileIn(const QByteArray &folder, const QByteArray &name)
{
    const Fd dir(openDirectory(folder, O_PATH));
    struct stat st;
    if (dir.valid() && ::fstatat(dir.get(), name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISREG(st.st_mode))
        ::unlinkat(dir.get(), name.constData(), 0);
}

QByteArray fileVersion(const QByteArray &path)
{
    struct stat st;
    if (::stat(path.constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return QByteArray();
    // Written into one buffer: a page's run asks this of every folder's picture, and seven
    // numbers joined one after the other took almost half of its time.
    char text[7 * 22]; // each: up to 20 digits, a sign and what follows
    char *at = text;
    const auto put = [&](auto value, char after) {
        at = std::to_chars(at, std::end(text) - 1, value).ptr; // room kept for `after`
        if (after != '\0')
            *at++ = after;
    };
    put(qulonglong(st.st_dev), ' ');
    put(qulonglong(st.st_ino), ' ');
    put(qlonglong(st.st_size), ' ');
    put(qlonglong(st.st_mtim.tv_sec), '.');
    put(qlonglong(st.st_mtim.tv_nsec), ' ');
    put(qlonglong(st.st_ctim.tv_sec), '.');
    put(qlonglong(st.st_ctim.tv_nsec), '\0');
    // Short, and the same as the names of thumbnails made from it have always been.
    return QCryptographicHash::hash(QByteArrayView(text, at - text), QCryptographicHash::Sha256)
        .toHex()
        .left(16);
}

int openForReading(const QByteArray &path)
{
    return ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
}
