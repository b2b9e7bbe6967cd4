#pragma once

#include "engine/list_outputs.h"
#include "engine/listing_host.h"
#include "engine/listing_run.h"
#include "engine/messages.h"
#include "engine/ready_pieces.h"
#include "platform/file_systems.h"
#include "platform/replacing_file.h"
#include "settings/listing_settings.h"

#include <QByteArray>

#include <deque>
#include <memory>
#include <unordered_map>

// The listing engine: makes one list file from the settings and the window's source and target.
//
// Command1_Click is the run: its checks, then the list, piece by piece. The walk (WalkStep, see
// dir_stack.h) moves Dir1 through the tree; the run writes what each step leaves. Every piece
// is assigned whole to OutBuffer and handed to FlushBuffer; the texts themselves come from the
// builders of header_footer.h and entry_lines.h, which know nothing of a run.
//
// For a source holding a.mp3 and Live/b.mp3, listing type 2, text, English, extensions kept:
//
//   CheckFilesFound, CheckTargetFile         StopRun 0: go on
//   WriteListHeader, FlushBuffer             "List created by LYA v1.52.1016" CR LF ... "#########"
//   CR LF WriteFileEntry, FlushBuffer              CR LF "a.mp3" WalkStep "Wri", FlushBuffer CR LF
//   CR LF TAB "Live"       (Dir1 at Live) WriteFileEntry, FlushBuffer              CR LF "b.mp3"
//   WalkStep "Dir"                           (nothing written; Dir1 back at the source)
//   WalkStep "End"
//   footer, FlushBuffer                      CR LF CR LF "Download Lystora v1.52.1016 at ..."
//   the list takes the target's place (ReplacingFile::commit)
//
// With listing type 1 no file of a sub-directory is written; with type 0 the walk is not taken.
// One thing the other lists are told (see list_outputs.h), kept until it can be told.
struct HeldOutput {
    enum Kind { Enter, File, Leave, FilesBegin, FilesEnd } kind = File;
    OutputDirectory dir; // Enter
    FolderFiles folder;  // FilesBegin
    ListedName name;     // File
    QByteArray dirPath;
    bool statKnown = false;
    FileStat stat;
    bool tagsAsked = false;
    bool tagsKnown = false;
    TrackInfo track;
};

class Engines
{
public:
    // `waiting` is where a list waits to be complete; the default is right everywhere but in
    // tests of the other way.
    Engines(ListingSettings &settings, const ListingHost &host,
            ReplacingFile::Waiting waiting = ReplacingFile::Waiting::Unnamed);
    ~Engines();
    Engines(const Engines &) = delete;
    Engines &operator=(const Engines &) = delete;

    void Command1_Click();
    // Whether a run is in progress (it is, while one of its message boxes is open).
    bool running() const { return running_; }

    void SetUpdateTimer();
    void MakeTargetPath();
    void CheckFilesFound();
    void CheckTargetFile();
    void WalkStep();
    void WriteFileEntry();
    void WriteListHeader();
    void FlushBuffer();

    ListingSettings &settings;
    ListingRun run;
    WalkState walk;
    RunOutcome outcome; // how the last run ended

    // The lists made besides the classic one (see list_outputs.h), by the same walk; without
    // the classic list, those alone. Set before a run.
    bool classicList = true;
    std::vector<OutputRequest> outputs;
    // Where tags come from when ReadTags is on; none are read without it.
    TrackInfoSource *trackInfo = nullptr;
    // A trial: every check made and every list walked, nothing written (outcome.written tells
    // what would be). Set before a run.
    bool dryRun = false;
    // A page, playlist or JSON file there that this program did not make (a hand-made
    // index.html) is replaced only when the user says so: asked, even with automatic updating,
    // unless this is set (lystora-list --force).
    bool replaceForeign = false;
    // The end message names each list written (the window's; lystora-list says each as it goes).
    bool nameWrittenLists = false;
    // Where the page's pictures come from; none without.
    const CoverSources *covers = nullptr;
    // What the lists written last hold, folder by folder, for a watcher whose readings of
    // unchanged folders are kept: their files are then copied from there, not formatted again.
    ReadyPieces *pieces = nullptr;

private:
    bool beginOutput();
    bool writeBody();
    // WriteFileEntry() and FlushBuffer() at once, from the name's bytes, when it is plain (see
    // isPlainName); false, with nothing done, when it is not.
    bool writePlainFileEntry();
    // What encoded_ holds, written into the classic list.
    void writeEncoded();
    void endWriting();
    bool pieceFailed();
    void abandonRun();
    bool prepareOutputs();
    bool askToReplace(const QByteArray &path);
    // The lists of the run already there, named in one question; the answer holds for them all.
    void askOnceToReplace();
    // Whether replacing the file at path needs the user's yes; *foreign set when it is a list
    // of another's making.
    bool mustAsk(const QByteArray &path, bool *foreign) const;
    int replaceAnswer_ = 0; // 0 not asked, else kAnswerYes or kAnswerNo
    void beginOutputs();
    void finishOutputs();
    void outputFailed(const QByteArray &path, int error);
    bool writing() const;
    void feedFile(int k);
    // Around a folder's files: true when every other list took them as they were last time;
    // *classic when the classic list did.
    bool beginFolderFiles(bool classicFiles, bool *classic);
    void endFolderFiles();
    void enterOutputs();
    void leaveOutputs();
    void tellOutputs(const struct HeldOutput &event);
    // Told now, or after what waits for its tags.
    void tellOrHold(struct HeldOutput &&event);
    void tagsAnswered(quint64 ticket, const TrackInfo &info);
    void tellTagProgress();
    void tellWhatIsReady();
    void waitForAllTags();
    void showFailure(Message message, const QByteArray &path, int error);
    void reportProgress();
    void captureLevel(WalkLevel &level);
    void beginWalk();
    bool sourceStillThere();
    // The walk's directory below the source: the level it stands in keeps it.
    const QByteArray &relativeDir() const { return walk.Levels.back().relative; }

    ListingHost host_;
    QByteArray sourcePath_;
    DirIdentity sourceIdentity_;
    FileSystems fileSystems_;
    std::unique_ptr<ReplacingFile> output_;
    int outputError_ = 0;
    bool running_ = false;
    bool classicOpen_ = false; // the classic list is being written
    QByteArray encoded_;       // scratch for FlushBuffer
    // The encoded start of a plain name's link, and the UrlPath it is for (empty: none yet).
    QByteArray plainLink_;
    QString plainLinkPath_;
    PieceWriter classicPieces_;                       // what the classic list is written through
    FolderFiles folder_;                              // the one whose files are being written
    std::vector<std::unique_ptr<ListOutput>> others_; // the other lists being written
    // The folders of pictures of the pages that show them: left out of the walk.
    std::vector<PicturesFolder> ownFolders_;
    bool isOwnFolder(const DirIdentity &parent, QByteArrayView name) const;
    bool details_ = false;     // one of them shows sizes and tags
    bool pictures_ = false;    // one of them is a page that shows pictures
    bool folderBegun_ = false; // the walk's folder was told to them as one (FilesBegin)
    // Of the folder whose files they are being told, which took them as they were, and what
    // its files' tags gave: kept with it for next time when every answer will be the same.
    std::vector<bool> replayed_;
    FolderFiles telling_;
    ReadyTags tellingTags_;
    bool tellingLasting_ = true;
    qint64 classicFiles_ = 0; // files the classic list holds
    qint64 otherFiles_ = 0;   // files the other lists hold
    // While tags are read, what the other lists are told waits here in order, each file until
    // its tags have come: readers read several files at once, and the walk goes on meanwhile.
    std::deque<HeldOutput> held_;
    std::unordered_map<quint64, HeldOutput *> awaited_; // by ticket
    quint64 nextTicket_ = 0;
};
