#pragma once

#include <QByteArray>

// Where a user's files of a kind go, as the freedesktop.org base directories say: the variable
// when it names an absolute folder, else the usual place below the home folder.
QByteArray configHome(); // $XDG_CONFIG_HOME, ~/.config
QByteArray cacheHome();  // $XDG_CACHE_HOME, ~/.cache

// A folder for one user's own files (a cache of the names and tags of private trees): made
// 0700 with the parents it lacks (as the base directory rules ask of a folder they must make),
// and an existing one of the user's own narrowed to 0700. 0, or the system's reason.
int makePrivateFolder(const QByteArray &path);
// A file of that folder: made 0600 if missing, an existing one of the user's own narrowed to
// 0600. A link at its place is refused (ELOOP), as is anything but an ordinary file.
int makePrivateFile(const QByteArray &path);
