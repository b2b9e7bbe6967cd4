#pragma once

#include <QString>

// The command-line tool's own texts, in both languages (1 French, else English). The engine's
// messages come from the engine.
enum class CliText {
    Usage,        // the whole --help text
    TryHelp,      // after an error in the command line
    NeedTwoPaths, // SOURCE_DIR and TARGET_FILE missing
    BadType,      // %1: the value given
    BadListLang,  // %1: the value given
    YesNo,        // the answer hint after the overwrite question
    NotReplaced,  // the target exists and nobody can be asked
    Progress,     // %1 files written, %2 the directory
};

QString cliText(CliText text, int langue);
