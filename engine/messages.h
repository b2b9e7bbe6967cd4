#pragma once

#include <QString>

struct StoreProblem;

// Every text the engine shows, in both interface languages (Langue: 1 French, else English).
enum class Message {
    NoFileFound,       // "No file found"
    OverwriteQuestion, // second line under the target path
    Done,              // "Done !"
    WriteFailed,       // second line under the target path; %1: the reason
    SourceUnreadable,  // second line under the source path; %1: the reason
    UnreadableFolders, // second line of the end message; %1: how many
    SourceMoved,       // second line under the source path
    SameFile,          // second line under a path two lists of one run would both be written to
    UnreadableTag,     // "1 file whose tags could not be read"
    UnreadableTags,    // the same, %1 of them
    NotMadeHere,       // after the path of a list there that this program did not make
};

QString messageText(Message message, int langue);
// "1 file whose tags could not be read", "2 files whose tags could not be read".
QString unreadableTagsText(int files, int langue);

// Why a file operation failed, from a system error number or a code of system_error.h.
QString reasonText(int error, int langue);

// What was left aside of the stored settings, to be told once under the file's place.
QString storeProblemText(const StoreProblem &problem, int langue);
