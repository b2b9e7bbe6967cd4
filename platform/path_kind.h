#pragma once

#include <QByteArray>

// What stands at a path, following symbolic links.
enum class PathKind {
    Absent,      // nothing there, or a link that points nowhere
    RegularFile, // an ordinary file
    Directory,
    Stream, // a character device or a named pipe: written straight into, never replaced
    Other,  // a block device or a socket: never a list's place
};

PathKind pathKind(const QByteArray &path);
