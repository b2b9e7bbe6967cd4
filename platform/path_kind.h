#pragma once

#include "platform/dir_scan.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

#include <functional>

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

// A folder of the program's own beside a list (a page's pictures, say), that a web server may
// read: made 0755 when missing. 0 when it is, or has been made, a real folder of the runner's or
// root's; a link, anything but a folder, or another user's folder is refused (ELOOP, ENOTDIR,
// kErrorForeignFile), as a list's own place would be.
int makeOwnFolder(const QByteArray &path);
// Each name in a folder (no "." or ".."), handed to `take` as it is read, kept nowhere: a
// folder may hold hundreds of thousands. None when it cannot be read.
void forEachNameIn(const QByteArray &folder, const std::function<void(QByteArrayView)> &take);
// What a folder is and when it last changed, to tell whether its names read then still hold:
// they do while it is the same folder with the same times, if its last change was over a
// second old when they were read (`settled`). Two changes within one tick of the file
// system's clock give the same times: the second could go unseen if the first were recent.
struct FolderStamp {
    FileStat stat;
    bool settled = false;
};
// False when there is no folder at path (a link to one counts as none).
bool folderStamp(const QByteArray &path, FolderStamp *stamp);
// Removes the file name in folder (never a folder, never through a link).
void removeFileIn(const QByteArray &folder, const QByteArray &name);
// What makes an ordinary file at path the same file with the same contents (its device, inode,
// size and times), as 16 hexadecimal digits: the first 8 bytes of a SHA-256 of them as text.
// Empty when there is no such file.
QByteArray fileVersion(const QByteArray &path);
// The ordinary file at path opened for reading: its descriptor (the caller's to close), or -1.
int openForReading(const QByteArray &path);
