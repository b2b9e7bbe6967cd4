#include "platform/xdg_places.h"

#include <pwd.h>
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
