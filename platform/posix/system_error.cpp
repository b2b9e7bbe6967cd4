#include "platform/system_error.h"

#include <cerrno>
#include <cstring>

namespace
{

struct Reason {
    int code;
    const char *english;
    const char *french;
};

// The reasons a list can fail for, in words a user of either language reads at once. Others
// fall back to the system's own text.
const Reason kReasons[] = {
    {kErrorEmptyName, "no file name given", "aucun nom de fichier"},
    {kErrorNotRegularFile, "not an ordinary file", "ce n'est pas un fichier ordinaire"},
    {ENOENT, "no such file or folder", "fichier ou répertoire introuvable"},
    {ENOTDIR, "a part of the path is not a folder", "une partie du chemin n'est pas un répertoire"},
    {EISDIR, "a folder has this name", "un répertoire porte ce nom"},
    {EACCES, "permission denied", "permission refusée"},
    {EPERM, "operation not permitted", "opération non permise"},
    {ENOSPC, "no space left on the device", "plus de place sur le périphérique"},
    {EDQUOT, "disk quota exceeded", "quota de disque dépassé"},
    {EFBIG, "file too large", "fichier trop grand"},
    {EROFS, "read-only file system", "système de fichiers en lecture seule"},
    {ENAMETOOLONG, "name too long", "nom trop long"},
    {ELOOP, "too many levels of symbolic links", "trop de niveaux de liens symboliques"},
    {EIO, "input/output error", "erreur d'entrée/sortie"},
    {EBUSY, "device or resource busy", "périphérique ou ressource occupé"},
    {ETXTBSY, "file busy", "fichier occupé"},
    {EMFILE, "too many open files", "trop de fichiers ouverts"},
    {ENFILE, "too many open files in the system", "trop de fichiers ouverts sur le système"},
    {ENXIO, "no such device", "périphérique introuvable"},
    {ENODEV, "no such device", "périphérique introuvable"},
    {ESTALE, "stale network file handle", "descripteur de fichier réseau périmé"},
};

} // namespace

QString systemErrorText(int code, int langue)
{
    for (const Reason &reason : kReasons) {
        if (reason.code == code)
            return QString::fromUtf8(langue == 1 ? reason.french : reason.english);
    }
    return QString::fromLocal8Bit(std::strerror(code));
}
