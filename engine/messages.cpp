#include "engine/messages.h"

#include "engine/bilingual_text.h"
#include "platform/settings_backend.h"
#include "platform/system_error.h"

#include <cerrno>
#include <cstring>

namespace {

const BilingualText<Message> kMessages[] = {
    {Message::NoFileFound, "No file found", "Aucun fichier trouvé"},
    {Message::NotMadeHere, " (not made by Lystora)", " (pas faite par Lystora)"},
    {Message::OverwriteQuestion, "This file exists, overwrite ?",
     "Ce fichier existe déjà, voulez-vous le remplacer ?"},
    {Message::Done, "Done !", "Liste créée !"},
    {Message::WriteFailed, "The list could not be written: %1",
     "La liste n'a pas pu être écrite : %1"},
    {Message::SourceUnreadable, "This folder cannot be read: %1",
     "Ce répertoire ne peut pas être lu : %1"},
    {Message::UnreadableFolders, "(%1 unreadable folder(s))", "(%1 répertoire(s) illisible(s))"},
    {Message::SourceMoved,
     "This folder was moved or removed while it was listed: the list was not written.",
     "Ce répertoire a été déplacé ou supprimé pendant la liste : la liste n'a pas été écrite."},
    {Message::SameFile, "Two lists would be written to this file: nothing was written.",
     "Deux listes seraient écrites dans ce fichier : rien n'a été écrit."},
    {Message::UnreadableTag, "1 file whose tags could not be read",
     "1 fichier dont les tags n'ont pas pu être lus"},
    {Message::UnreadableTags, "%1 files whose tags could not be read",
     "%1 fichiers dont les tags n'ont pas pu être lus"},
};

const BilingualText<StoreProblem::Kind> kStoreProblems[] = {
    {StoreProblem::NotAFile, "These settings were left aside: this is not an ordinary file.",
     "Ces réglages ont été laissés de côté : ce n'est pas un fichier ordinaire."},
    {StoreProblem::TooLarge, "These settings were left aside: the file is larger than %1 KiB.",
     "Ces réglages ont été laissés de côté : le fichier dépasse %1 Kio."},
    {StoreProblem::NulInValue, "The setting %1 was left aside: it holds a NUL byte.",
     "Le réglage %1 a été laissé de côté : il contient un octet NUL."},
};

// The reasons a list can fail for, in words a user of either language reads at once. Others
// fall back to the system's own text.
const BilingualText<int> kReasons[] = {
    {kErrorEmptyName, "no file name given", "aucun nom de fichier"},
    {kErrorNotRegularFile, "not an ordinary file", "ce n'est pas un fichier ordinaire"},
    {kErrorForeignFile, "a file of another user stands there; it is not replaced",
     "un fichier d'un autre utilisateur s'y trouve ; il n'est pas remplacé"},
    {kErrorForeignLink, "a link of another user stands there; it is not followed",
     "un lien d'un autre utilisateur s'y trouve ; il n'est pas suivi"},
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

QString messageText(Message message, int langue)
{
    return pickText(kMessages, message, langue);
}

QString unreadableTagsText(int files, int langue)
{
    return files == 1 ? messageText(Message::UnreadableTag, langue)
                      : messageText(Message::UnreadableTags, langue).arg(files);
}

QString reasonText(int error, int langue)
{
    const QString text = pickText(kReasons, error, langue);
    return text.isNull() ? QString::fromLocal8Bit(std::strerror(error)) : text;
}

QString storeProblemText(const StoreProblem &problem, int langue)
{
    const QString text = pickText(kStoreProblems, problem.kind, langue);
    switch (problem.kind) {
    case StoreProblem::TooLarge:
        return text.arg(kLargestStoreKiB);
    case StoreProblem::NulInValue:
        return text.arg(problem.name);
    default:
        return text;
    }
}
