#pragma once

#include "engine/listing_host.h"
#include "platform/dir_scan.h"
#include "platform/replacing_file.h"
#include "settings/listing_settings.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <memory>
#include <vector>

// The lists a run makes besides the classic one, all fed by the same walk: a web page, a
// playlist, a JSON document. Each goes into a file of its own, replaced as a whole as the classic
// list is. They always cover the files of the whole tree, as listing type 2 does.
//
// What an output is told, for a source holding a.mp3 and Live/b.mp3:
//
//   begin(context)
//   file({a.mp3, dir ""})
//   enter({Live, path "Live", depth 1})
//   file({b.mp3, dir "Live"})
//   leave()
//   finish()            the end written, the file in its place; or discard() when the run fails
//
// A folder met again through a link, or a kernel interface, is entered and left with nothing in
// between (contentsListed false).

enum class OutputFormat { Classic, Page, Playlist, Json };

// "classic", "page", "m3u8", "json"
QString formatName(OutputFormat format);
bool formatNamed(const QString &name, OutputFormat *format);

// One list asked for: its format, and the file it is written to.
struct OutputRequest {
    OutputFormat format = OutputFormat::Classic;
    QByteArray path; // absolute
};

// What is known of a file's sound: its tags and its length. Empty texts and zeros where unknown.
struct TrackInfo {
    bool read = false; // false: nothing could be read (no tags, not audio, unreadable)
    QString title;
    QString artist;
    QString album;
    int track = 0;
    qint64 durationMs = 0;
    int bitrate = 0; // kbit/s
};

// Where tags come from (a library that reads them, a cache before it).
class TrackInfoSource
{
public:
    virtual ~TrackInfoSource() = default;
    // The file's tags; `open` opens it for reading (a descriptor, or -1) when they must be read.
    virtual TrackInfo trackInfo(const QByteArray &source, const QByteArray &relativePath,
                                const FileStat &stat, const std::function<int()> &open) = 0;
    // The whole tree below source was walked: what was not met in it can be forgotten.
    virtual void walkComplete(const QByteArray &source) = 0;
};

// What every output of a run shares.
struct OutputContext {
    const ListingSettings *settings = nullptr; // title, base URL, list language, extensions
    QByteArray source;                         // absolute
    QDateTime made;
};

struct OutputDirectory {
    QByteArray name;
    QByteArray path; // below the source, "/" between names
    int depth = 0;   // 1 for a folder of the source
    bool contentsListed = true;
};

struct OutputFile {
    const ListedName *name = nullptr;
    QByteArray dir; // its folder below the source, "" for the source itself
    bool statKnown = false;
    FileStat stat;
    const TrackInfo *track = nullptr; // null when tags are not read
};

class ListOutput
{
public:
    virtual ~ListOutput() = default;
    virtual const OutputRequest &request() const = 0;
    // Whether the output shows sizes and times (a stat of each file), and tags when they are read.
    virtual bool wantsDetails() const = 0;
    // 0, or the reason the output cannot be written (see ReplacingFile::open).
    virtual int begin(const OutputContext &context) = 0;
    virtual void enter(const OutputDirectory &dir) = 0;
    virtual void file(const OutputFile &file) = 0;
    virtual void leave() = 0;
    // Writes the end and puts the file in its place: 0, or the reason it could not be done. A
    // write that failed earlier is told here.
    virtual int finish() = 0;
    virtual void discard() = 0;
    virtual const ReplacingFile::Committed &committed() const = 0;
};

std::unique_ptr<ListOutput> makeOutput(const OutputRequest &request);

// The lists the settings ask for besides the classic one: index.html in the target folder, and
// the list's name with .m3u8 and .json beside it.
std::vector<OutputRequest> chosenOutputs(const ListingSettings &settings,
                                         const QByteArray &targetDir, const QByteArray &targetName);
