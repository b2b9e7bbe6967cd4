#pragma once

#include "engine/listing_host.h"
#include "engine/track_info.h"
#include "platform/dir_scan.h"
#include "platform/replacing_file.h"
#include "settings/listing_settings.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <functional>
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

class ReadyPieces;
struct ReadyFolder;
struct ReadyTags;

enum class OutputFormat { Classic, Page, Playlist, Json };

// "classic", "page", "m3u8", "json"
QString formatName(OutputFormat format);
bool formatNamed(const QString &name, OutputFormat *format);

// One list asked for: its format, and the file it is written to.
struct OutputRequest {
    OutputFormat format = OutputFormat::Classic;
    QByteArray path; // absolute
};

// Where tags come from (a cache, readers in processes of their own behind it). Tags are asked
// for file by file in the walk's order and may come back later, in any order: each request has
// a ticket, and its answer comes with it.
class TrackInfoSource
{
public:
    using Answer = std::function<void(quint64 ticket, const TrackInfo &info)>;
    virtual ~TrackInfoSource() = default;
    // Asks for the file's tags; `open` opens it for reading (a descriptor, or -1) if they must
    // be read. True when they are known at once (*info holds them); else the answer comes
    // through collect(). Answers that came meanwhile are given to `answer` from here too.
    // The file is `name` in the folder `dir` below source ("" for source itself).
    virtual bool request(quint64 ticket, const QByteArray &source, const QByteArray &dir,
                         const QByteArray &name, const FileStat &stat,
                         const std::function<int()> &open, TrackInfo *info,
                         const Answer &answer) = 0;
    // The answers that came; with `wait`, at least one when some are due.
    virtual void collect(bool wait, const Answer &answer) = 0;
    // Requests not answered yet.
    virtual int due() const = 0;
    // The run ends without them: requests not answered yet are forgotten.
    virtual void abandon() = 0;
    // A run over source ended; when it walked the whole tree, what is gone from it can be
    // forgotten. Nothing is held for the next run meanwhile (a cache's writes are done).
    virtual void runEnded(const QByteArray &source, bool wholeTreeWalked) = 0;
    // Why no file's tags can be read at all (their readers cannot be started), once that is
    // known; empty while they can.
    virtual QString problem() const { return QString(); }
    // Whether its answers may have changed since it was last asked this (another program that
    // shares its cache wrote to it): lists keeping tags of earlier answers then make them
    // anew. True the first time.
    virtual bool changedElsewhere() { return true; }
    // The files of the folder `dir` below source are known to be as they were, and are not
    // asked for: what is kept of them stays.
    virtual void folderKept(const QByteArray &source, const QByteArray &dir)
    {
        (void)source;
        (void)dir;
    }
};

// Small pictures of a page's folders, made where strangers' files are safe to decode (see
// tags/page_covers.h). Addresses are relative to the page.
class CoverSource
{
public:
    virtual ~CoverSource() = default;
    // Thumbnails of a picture file of that version (see fileVersion; asked for here when
    // empty): the address of the small one, or empty. Its absolute path is asked of `path`
    // only when the picture is to be opened: most pages find every thumbnail made already.
    virtual QByteArray fromFile(const std::function<QByteArray()> &path,
                                QByteArrayView version) = 0;
    // Of the first picture embedded in the track at path, known by its digest.
    virtual QByteArray fromTrack(const QByteArray &path, const QByteArray &digest) = 0;
    // The page was put in place, or not: the thumbnails it no longer uses go once it was.
    virtual void finish(bool pageWritten) = 0;
    // Why no picture can be made at all, as TrackInfoSource::problem().
    virtual QString problem() const { return QString(); }
};
// The folder beside a page where its pictures go: "index.covers" for "index.html". Where it is
// in the tree listed, the lists leave it out: it holds this program's thumbnails, not music.
QByteArray picturesFolderName(const QByteArray &pagePath);
// That folder as its parent folder (known by its identity) names it: false when the page's
// folder cannot be told.
struct PicturesFolder {
    FileIdentity parent;
    QByteArray name;
};
bool picturesFolderOf(const QByteArray &pagePath, PicturesFolder *folder);
// The cover source of the page at pagePath; null when it has none.
using CoverSources = std::function<std::unique_ptr<CoverSource>(const QByteArray &pagePath)>;

// What every output of a run shares.
struct OutputContext {
    const ListingSettings *settings = nullptr; // title, base URL, list language, extensions
    QByteArray source;                         // absolute
    QDateTime made;
    bool dryRun = false;                  // everything as for real, but nothing is written
    const CoverSources *covers = nullptr; // the page's pictures; none without
    ReadyPieces *pieces = nullptr;        // what the lists last written hold; none without
};

struct OutputDirectory {
    QByteArray path; // below the source, "/" between names
    // Its own name, the last of the path's.
    QByteArrayView name() const { return QByteArrayView(path).sliced(path.lastIndexOf('/') + 1); }
    int depth = 0; // 1 for a folder of the source
    bool contentsListed = true;
    ShortBytes cover;        // its picture file's name, when it has one
    ShortBytes coverVersion; // what that file is now, when the page shows pictures
};

// A folder's files, told before them, with what the lists written last hold of the reading
// they come from (see SourceFileList::ready); null when that is not known.
struct FolderFiles {
    std::size_t place = 0;               // where it is below the source (see ReadyPieces::placeKey)
    ReadyFolder *ready = nullptr;        // what the lists written last hold of its reading
    ReadyTags *tags = nullptr;           // what their totals took of its tags, when tags are read
    std::shared_ptr<const void> reading; // what holds them (see SourceFileList::ready)
};

struct OutputFile {
    const ListedName *name = nullptr;
    QByteArray dir; // its folder below the source, "" for the source itself
    bool statKnown = false;
    FileStat stat;
    const TrackInfo *track = nullptr; // null when tags are not read
    // The name as lists show it, worked out once for all the outputs told of the file.
    mutable QString shown;
    mutable int shownWithExtension = -1;
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
    // Around a folder's files: an output that holds what they gave it last time, from the same
    // reading, writes that again and returns true, and is then not told of them one by one.
    // At their end, what it was told of them is kept for next time only when `keep` (each
    // file's tags, say, will be the same then).
    virtual bool filesBegin(const FolderFiles &) { return false; }
    virtual void filesEnd(bool keep) { (void)keep; }
    // Whether filesBegin() may take the folder's files as they were.
    virtual bool mayTake(const FolderFiles &) const { return false; }
    // Writes the end, not waiting for its bytes to reach the file: a run's lists all do so
    // before the first is put in place, so that the system copies the end of one (the JSON's
    // flat list, a quarter of a watched tree's bytes) while another is made durable.
    virtual void endList() {}
    // Writes the end (unless endList() did) and puts the file in its place: 0, or the reason it
    // could not be done. A write that failed earlier is told here.
    virtual int finish() = 0;
    virtual void discard() = 0;
    virtual const ReplacingFile::Committed &committed() const = 0;
    // Why what it shows of the files' contents could not be read at all (see
    // CoverSource::problem); asked for before finish().
    virtual QString problem() const { return QString(); }
};

std::unique_ptr<ListOutput> makeOutput(const OutputRequest &request);

// Whether the file at path is a list of that format that this program made (by the mark each
// writes near its start); false when it cannot be read.
bool madeByThisProgram(const QByteArray &path, OutputFormat format);

// The lists the settings ask for besides the classic one, in the target folder: the page, the
// playlist and the JSON under the names chosen (a name, never a path), else index.html and the
// list's name with .m3u8 and .json.
std::vector<OutputRequest> chosenOutputs(const ListingSettings &settings,
                                         const QByteArray &targetDir, const QByteArray &targetName);
