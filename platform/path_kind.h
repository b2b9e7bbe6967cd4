#pragma once

#include "platform/file_identity.h"

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

// Where a file written at path would end up, whatever names lead there: its folder on disk and
// its name in it, and the file itself when one is there (a link at path leads to it). Two paths
// with equal places name one file.
struct OutputPlace {
    bool folderKnown = false;
    FileIdentity folder;
    QByteArray name;
    bool fileKnown = false;
    FileIdentity file;
    QByteArray path; // as given, when the folder cannot be told

    friend bool operator==(const OutputPlace &a, const OutputPlace &b)
    {
        if (a.folderKnown && b.folderKnown && a.folder == b.folder && a.name == b.name)
            return true;
        if (a.fileKnown && b.fileKnown)
            return a.file == b.file;
        return !a.folderKnown && !b.folderKnown && a.path == b.path;
    }
};
OutputPlace outputPlace(const QByteArray &path);
