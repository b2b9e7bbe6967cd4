#include "engine/messages.h"

namespace
{

struct MessageTexts {
    Message message;
    const char *english;
    const char *french;
};

const MessageTexts kTexts[] = {
    {Message::NoFileFound, "No file found", "Aucun fichier trouvé"},
    {Message::OverwriteQuestion, "This file exists, overwrite ?",
     "Ce fichier existe déjà, voulez-vous le remplacer ?"},
    {Message::Done, "Done !", "Liste créée !"},
    {Message::WriteFailed, "The list could not be written: %1",
     "La liste n'a pas pu être écrite : %1"},
    {Message::SourceUnreadable, "This folder cannot be read: %1",
     "Ce répertoire ne peut pas être lu : %1"},
    {Message::UnreadableFolders, "(%1 unreadable folder(s))", "(%1 répertoire(s) illisible(s))"},
};

} // namespace

QString messageText(Message message, int langue)
{
    for (const MessageTexts &texts : kTexts) {
        if (texts.message == message)
            return QString::fromUtf8(langue == 1 ? texts.french : texts.english);
    }
    Q_UNREACHABLE();
    return QString();
}
