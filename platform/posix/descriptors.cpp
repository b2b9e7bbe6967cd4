#include "platform/posix/descriptors.h"

#include <QList>

#include <cerrno>
#include <climits>
#include <fcntl.h>

int openDirectoryAt(int from, const QByteArray &path, int flags)
{
    flags |= O_DIRECTORY | O_CLOEXEC;
    if (path.size() < PATH_MAX) {
        const int fd = ::openat(from, path.isEmpty() ? "." : path.constData(), flags);
        if (fd >= 0 || errno != ENAMETOOLONG)
            return fd >= 0 ? fd : -errno;
    }
    // Too long for one call: the components one by one, each from the folder before it, the
    // folders on the way opened for the walk only (O_PATH).
    const int onTheWay = O_PATH | O_DIRECTORY | O_CLOEXEC;
    QList<QByteArray> parts = path.split('/');
    parts.removeAll(QByteArray());
    Fd here(::openat(from, path.startsWith('/') ? "/" : ".", parts.isEmpty() ? flags : onTheWay));
    for (qsizetype i = 0; here.valid() && i < parts.size(); ++i) {
        const int next =
            ::openat(here.get(), parts[i].constData(), i + 1 == parts.size() ? flags : onTheWay);
        here.reset(next);
    }
    return here.valid() ? here.release() : -errno;
}

int openDirectory(const QByteArray &path, int flags)
{
    return openDirectoryAt(AT_FDCWD, path, flags);
}

void splitPath(const QByteArray &path, QByteArray *dir, QByteArray *name)
{
    const qsizetype slash = path.lastIndexOf('/');
    *name = path.mid(slash + 1);
    *dir = slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : path.left(slash);
}
