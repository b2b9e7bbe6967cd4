#pragma once

#include <QString>

// The command-line tool's own texts, in both languages (1 French, else English). The engine's
// messages come from the engine.
enum class CliText {
    Usage,               // the whole --help text
    TryHelp,             // after an error in the command line
    NeedTwoPaths,        // one of SOURCE_DIR and TARGET_FILE missing
    NothingStored,       // no paths given and none stored; %1: the settings file
    StoredRoot,          // no paths given and the stored source is "/"; %1: the settings file
    UnknownOption,       // %1: the option as given, without its dashes
    MissingValue,        // %1: the option
    UnexpectedValue,     // %1: the option
    Contradiction,       // %1 and %2: two options that say opposite things
    BadType,             // %1: the value given
    BadListLang,         // %1: the value given
    BadFormat,           // %1: the value given to --format
    BadAlso,             // %1: the value given to --also
    BadSort,             // %1: the value given to --sort
    BadTagLimits,        // %1: the value given to --tag-limits
    StandardOutputAlone, // "-" as TARGET_FILE with --also, --watch or --every
    Written,             // %1 the list, %2 how many files it holds
    WouldBeWritten,      // the same, for --dry-run
    BaseUrlSlash,        // %1 the base URL, %2 what links use
    YesNo,               // the answer hint after the overwrite question
    NotReplaced,         // the target exists and nobody can be asked
    Progress,            // %1 files written, %2 the directory
    ProgressOne,         // the same for one file
    BadEvery,            // %1: the value given to --every
    WatchFallback,       // %1 the source, %2 why, %3 how often (everyMinutesText)
    WatchRemote,         // %1: the folder on a network file system
    WatchLimit,
    WatchUnavailable,
    LogWritten,    // %1 time, %2 files, %3 seconds
    LogWrittenOne, // the same for one file
    Files,         // "%1 files"
    FileOne,       // "1 file"
    LogNotWritten, // %1 time
    LogUnreadable, // %1 folders
    SourceGone,    // %1 time, %2 the source
    SourceBack,    // %1 time, %2 the source
    SourceChanged, // %1 time, %2 the source
    EveryMinute,
    EveryMinutes, // %1 minutes, more than one
};

QString cliText(CliText text, int langue);
// The text of `many` or, for a count of one, of `one`, with the count as %1 (and what else
// follows filled in by the caller).
QString cliCountText(CliText many, CliText one, qint64 count, int langue);
// "every minute", "every 5 minutes"
QString everyMinutesText(int minutes, int langue);
