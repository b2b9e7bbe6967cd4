#include "platform/path_kind.h"

#include "platform/posix/descriptors.h"

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
    place.folder = {std::uint64_t(st.st_dev), std::uint64_t(st.st_ino)};
    if (::fstatat(dir.get(), place.name.constData(), &st, 0) == 0) {
        place.fileKnown = true;
        place.file = {std::uint64_t(st.st_dev), std::uint64_t(st.st_ino)};
    }
    return place;
}
