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
