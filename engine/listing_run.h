#pragma once

#include "engine/identity_set.h"
#include "engine/listing_host.h"
#include "platform/replacing_file.h"

#include <QByteArray>
#include <QString>

#include <algorithm>
#include <vector>

// The state of one listing run.
struct ListingRun {
    QString OutBuffer;     // the piece of list text waiting to be written, assigned whole
    QByteArray TargetPath; // full path of the list file
    int FileNum = -1;      // descriptor of the list being written; -1 between runs
    qint64 WritePos = 1;   // 1-based byte position of the next piece in the list
    int FileIndex = 0;     // 0-based index, in File1, of the next file to write
    QString UrlPath;       // current directory below the source, percent-encoded, "/" after each
    int StopRun = 0;       // result of the two checks: 1 stop now, 0 go on
};

// One open level of the walk: the sub-directories of a directory the walk stands in or below,
// read once when it is first needed and kept until the walk leaves the level, so that a tree
// changing under the walk cannot shift a position the walk resumes from.
struct WalkLevel {
    DirIdentity identity;
    QByteArray path; // as Dir1 gave it there: where the walk goes back to from a sub-directory
    // The directory's own name, as the file system holds it: the last of the path's ("" at the
    // source, whose path is the user's).
    QByteArrayView name() const
    {
        return isSource ? QByteArrayView() : QByteArrayView(path).sliced(path.lastIndexOf('/') + 1);
    }
    bool isSource = false;
    // Its path below the source, once the lists were told of it ("" at the source).
    QByteArray relative;
    bool read = false;
    std::vector<QByteArray> subDirs;
    // False for a directory that gets its line and nothing more: one met earlier in the run
    // through another link, or a kernel interface such as /proc reached through a link.
    bool contentsListed = true;
};

// Unreadable folders named at the end of a run, at most.
constexpr std::size_t kUnreadableNamed = 3;

// The walk's position between two steps.
struct WalkState {
    QString DirStack;              // ";" + next index + its digit count, one entry per level
    QString StepReport;            // "Wri", "Dir" or "End"
    std::vector<WalkLevel> Levels; // parallel to DirStack
    int UnreadableDirs = 0;        // sub-directories skipped because they could not be read
    std::vector<QByteArray> UnreadableNames; // the first few of them, to name at the end
    // Every directory entered in this run. Links to directories are followed, so a directory
    // can be met more than once (two links to it, a link to "/"): its contents are listed the
    // first time only, which keeps a tree of links from making the walk endless or exponential.
    IdentitySet Entered;
};

// How the last run ended, for callers that must tell (exit status, log line).
enum class RunEnd {
    None,      // no run yet
    Written,   // the list is in place
    Stopped,   // a check stopped it: no file found, or the overwrite was refused
    Failed,    // an error, shown to the user; the old list is untouched
    Cancelled, // stopped on request; the old list is untouched
};

struct RunOutcome {
    RunEnd end = RunEnd::None;
    qint64 filesWritten = 0;
    int unreadableDirs = 0;
    int unreadableTags = 0; // files listed by name: their contents stopped their tags' reading
    QString readerProblem;  // why no tags or pictures could be read at all (their readers' start)
    QString error;          // the message shown for the last failure
    int failedLists = 0;    // lists that could not be written (the others were)
    int refusedLists = 0;   // lists already there that were not to be replaced
    std::vector<ReplacingFile::Committed> lists; // what was put in place, as it is on disk
    // Each list written (or that a trial would write): its path and how many files it lists.
    struct Written {
        QByteArray path;
        qint64 files = 0;
    };
    std::vector<Written> written;
    bool wrote(const QByteArray &path) const
    {
        return std::any_of(written.begin(), written.end(),
                           [&](const Written &w) { return w.path == path; });
    }
};
