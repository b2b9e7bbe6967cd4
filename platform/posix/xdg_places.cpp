#include "platform/xdg_places.h"

#include <cerrno>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray homeDirectory()
{
    const QByteArray home = qgetenv("HOME");
    if (home.startsWith('/'))
        return home;
    const passwd *user = ::getpwuid(::getuid());
    return user && user->pw_dir ? QByteArray(user->pw_dir) : QByteArray("/");
}

QByteArray place(const char *variable, const char *underHome)
{
    const QByteArray set = qgetenv(variable);
    return set.startsWith('/') ? set : homeDirectory() + underHome;
}

} // namespace

QByteArray configHome()
{
    return place("XDG_CONFIG_HOME", "/.config");
}

QByteArray cacheHome()
{
    return place("XDG_CACHE_HOME", "/.cache");
}

int makePrivateFolder(const QByteArray &path)
{
    for (qsizetype slash = path.indexOf('/', 1);; slash = path.indexOf('/', slash + 1)) {
        const QByteArray part = slash < 0 ? path : path.left(slash);
        if (::mkdir(part.constData(), 0700) != 0 && errno != EEXIST)
            return errno;
        if (slash < 0)
            break;
    }
    struct stat st {};
    if (::lstat(path.constData(), &st) != 0)
        return errno;
    if (!S_ISDIR(st.st_mode))
        return ENOTDIR;
    if (st.st_uid == ::getuid() && (st.st_mode & 077) != 0 && ::chmod(path.constData(), 0700) != 0)
        return errno;
    return 0;
}

int makePrivateFile(const QByteArray &path)
{
    const int fd = ::open(path.constData(), O_RDONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return errno;
    struct stat st {};
    int error = ::fstat(fd, &st) != 0 ? errno : 0;
    if (error == 0 && !S_ISREG(st.st_mode))
        error = EINVAL;
    if (error == 0 && st.st_uid == ::getuid() && (st.st_mode & 077) != 0 && ::fchmod(fd, 0600) != 0)
        error = errno;
    ::close(fd);
    return error;
}
