#pragma once

#include <QByteArray>

// Where a user's files of a kind go, as the freedesktop.org base directories say: the variable
// when it names an absolute folder, else the usual place below the home folder.
QByteArray configHome(); // $XDG_CONFIG_HOME, ~/.config
QByteArray cacheHome();  // $XDG_CACHE_HOME, ~/.cache
