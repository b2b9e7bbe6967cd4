#include "platform/path_kind.h"

#include <sys/stat.h>

PathKind pathKind(const QByteArray &path)
{
    struct stat st;
    if (path.isEmpty() || ::stat(path.constData(), &st) != 0)
        return PathKind::Absent;
    if (S_ISREG(st.st_mode))
        return PathKind::RegularFile;
    if (S_ISDIR(st.st_mode))
        return PathKind::Directory;
    if (S_ISCHR(st.st_mode) || S_ISFIFO(st.st_mode))
        return PathKind::Stream;
    return PathKind::Other;
}
