#include "engine/engines.h"

#include "engine/entry_lines.h"
#include "engine/fs_lists.h"
#include "engine/header_footer.h"
#include "engine/messages.h"
#include "engine/product.h"
#include "engine/ready_pieces.h"
#include "engine/windows1252.h"
#include "platform/dir_scan.h"
#include "platform/lossless_text.h"
#include "platform/path_kind.h"
#include "platform/replacing_file.h"
#include "platform/system_error.h"

#include <QFile>

#include <algorithm>

namespace {

const QString kCrLf = QStringLiteral("\r\n");

// Progress is told at every directory and every this many files.
constexpr qint64 kProgressEvery = 512;

} // namespace

Engines::Engines(ListingSettings &settings, const ListingHost &host, ReplacingFile::Waiting waiting)
    : settings(settings), host_(host),
      output_(std::make_unique<ReplacingFile>(ReplacingFile::Streams::WriteInto, waiting))
{}

Engines::~Engines() = default;

void Engines::SetUpdateTimer()
{
    host_.controls->setTimer1Enabled(settings.AutoUpdate);
}

void Engines::MakeTargetPath()
{
    // "-" with no folder: the standard output (a command line's list, say).
    if (host_.target->text4() == QLatin1String("-") && host_.target->dir2Path().isEmpty()) {
        run.TargetPath = "-";
        return;
    }
    run.TargetPath = childPath(host_.target->dir2Path(), losslessBytes(host_.target->text4()));
}

void Engines::CheckFilesFound()
{
    run.StopRun = 0;
    // An unreadable source would otherwise give "No file found", or an empty list passed off as
    // the directory's contents.
    const int error = host_.Dir1->readError();
    if (error != 0) {
        showFailure(Message::SourceUnreadable, host_.Dir1->path(), error);
        run.StopRun = 1;
        return;
    }
    if (classicList && host_.File1->fileCount() == 0 && settings.ListingType == 0) {
        host_.messages->MsgBox(messageText(Message::NoFileFound, settings.Langue),
                               kStyleExclamation, shortProductName());
        outcome.end = RunEnd::Stopped;
        run.StopRun = 1;
    }
}

void Engines::CheckTargetFile()
{
    run.StopRun = 0;
    askOnceToReplace();
    if (!classicList)
        return;
    if (host_.target->text4().isEmpty()) {
        showFailure(Message::WriteFailed, run.TargetPath, kErrorEmptyName);
        run.StopRun = 1;
        return;
    }
    // The list is replaced only once the new one is complete, so a "Yes" here, like AutoUpdate,
    // means "replace it", not "delete it now".
    if (!askToReplace(run.TargetPath)) {
        outcome.end = RunEnd::Stopped;
        run.StopRun = 1;
    }
}

// Whether an existing list may be replaced: always with automatic updating, else when the user
// says so. The list is replaced only once the new one is complete, so a "Yes" means "replace
// it", not "delete it now".
bool Engines::askToReplace(const QByteArray &path)
{
    return !mustAsk(path, nullptr) || replaceAnswer_ == kAnswerYes;
}

bool Engines::mustAsk(const QByteArray &path, bool *foreign) const
{
    if (dryRun || path == "-" || pathKind(path) != PathKind::RegularFile)
        return false;
    for (const OutputRequest &request : outputs) {
        if (request.path == path && !replaceForeign && !madeByThisProgram(path, request.format)) {
            if (foreign)
                *foreign = true;
            return true;
        }
    }
    return !settings.AutoUpdate;
}

void Engines::askOnceToReplace()
{
    replaceAnswer_ = 0;
    std::vector<QByteArray> paths;
    if (classicList && !host_.target->text4().isEmpty())
        paths.push_back(run.TargetPath);
    for (const OutputRequest &request : outputs)
        paths.push_back(request.path);
    QString question;
    for (const QByteArray &path : paths) {
        bool foreign = false;
        if (mustAsk(path, &foreign))
            question += losslessText(path) +
                        (foreign ? messageText(Message::NotMadeHere, settings.Langue) : QString()) +
                        kCrLf;
    }
    if (question.isEmpty())
        return;
    question += messageText(Message::OverwriteQuestion, settings.Langue);
    replaceAnswer_ = host_.messages->MsgBox(question, kStyleYesNoExclamation, shortProductName());
}

void Engines::Command1_Click()
{
    // A second run over the same state while the first shows a message box would corrupt both.
    if (running_)
        return;
    running_ = true;
    struct RunEnds {
        bool &running;
        SourceDirList &dir1;
        ~RunEnds()
        {
            running = false;
            dir1.release();
        }
    } runEnds{running_, *host_.Dir1};

    outcome = RunOutcome();
    walk.DirStack = QStringLiteral(";01");
    walk.UnreadableDirs = 0;
    walk.UnreadableNames.clear();
    SetUpdateTimer();
    MakeTargetPath();
    run.FileIndex = 0;
    run.FileNum = -1;
    run.WritePos = 1;
    run.UrlPath.clear();
    plainLink_.clear();
    classicFiles_ = otherFiles_ = 0;
    folderBegun_ = false;
    replayed_.clear();
    held_.clear();
    awaited_.clear();
    outputError_ = 0;
    const ListOrder order(settings.NaturalOrder, settings.FileLangue);
    host_.Dir1->setOrder(order);
    host_.File1->setOrder(order);
    // Setting the path again reads the directory anew: a run started by the timer lists what the
    // source holds now, not what the lists showed when they were last read.
    sourcePath_ = host_.Dir1->path();
    host_.Dir1->setPath(sourcePath_);

    CheckFilesFound();
    if (run.StopRun == 1)
        return;
    CheckTargetFile();
    if (run.StopRun == 1 || !prepareOutputs())
        return;

    host_.controls->setText4Enabled(false);
    host_.controls->setCommand1Enabled(false);
    run.FileIndex = 0;
    beginWalk();
    sourceIdentity_ = walk.Levels.front().identity;
    beginOutputs();
    if (classicList && beginOutput())
        WriteListHeader();
    if (!writing()) {
        abandonRun();
        return;
    }
    if (pieceFailed() || !writeBody())
        return;
    waitForAllTags();
    if (pieceFailed())
        return;

    host_.controls->setText4Enabled(true);
    host_.controls->setCommand1Enabled(true);
    run.OutBuffer = listFooter(settings);
    FlushBuffer();
    if (pieceFailed() || !sourceStillThere())
        return;
    // Every list's end is on its way before the first is put in place (see ListOutput::endList).
    for (const std::unique_ptr<ListOutput> &output : others_)
        output->endList();
    if (classicOpen_)
        endWriting();
    finishOutputs();
    if (trackInfo && settings.ReadTags) {
        trackInfo->runEnded(sourcePath_, walk.UnreadableDirs == 0);
        if (const QString problem = trackInfo->problem(); !problem.isEmpty())
            outcome.readerProblem = problem;
    }

    outcome.unreadableDirs = walk.UnreadableDirs;
    if (!outcome.lists.empty() && host_.progress)
        host_.progress->listInPlace();
    if (outcome.failedLists > 0) {
        host_.StatusBar1->setStatusText(productName());
        return;
    }
    outcome.end = RunEnd::Written;
    if (!settings.AutoUpdate && !dryRun) {
        QString done = messageText(Message::Done, settings.Langue);
        if (nameWrittenLists) {
            for (const RunOutcome::Written &written : outcome.written)
                done += kCrLf + losslessText(written.path);
        }
        if (walk.UnreadableDirs > 0)
            done +=
                kCrLf +
                messageText(Message::UnreadableFolders, settings.Langue).arg(walk.UnreadableDirs);
        for (const QByteArray &name : walk.UnreadableNames)
            done += kCrLf + losslessText(name);
        if (std::size_t(walk.UnreadableDirs) > walk.UnreadableNames.size())
            done += kCrLf + QStringLiteral("…");
        if (outcome.unreadableTags > 0)
            done += kCrLf + unreadableTagsText(outcome.unreadableTags, settings.Langue);
        if (!outcome.readerProblem.isEmpty())
            done += kCrLf + outcome.readerProblem;
        host_.messages->MsgBox(done, kStyleInformation, shortProductName());
        if (settings.RunNote && classicList) {
            const QByteArray dir = host_.target->dir2Path();
            const QString directory =
                dir == "/" ? host_.target->drive2Text() : losslessText(dir) + QLatin1Char('/');
            host_.shell->ShellExecute(QStringLiteral("open"), host_.target->text4(),
                                      QStringLiteral("0"), directory);
        }
        // The page made beside it is what its visitors see: opened too, in the browser.
        for (const OutputRequest &request : outputs) {
            if (!settings.RunNote || request.format != OutputFormat::Page ||
                !outcome.wrote(request.path))
                continue;
            const qsizetype slash = request.path.lastIndexOf('/');
            host_.shell->ShellExecute(
                QStringLiteral("open"), losslessText(request.path.mid(slash + 1)),
                QStringLiteral("0"), losslessText(request.path.left(slash + 1)));
        }
    }
    host_.StatusBar1->setStatusText(productName());
}

// The body: the source's files, then one walk step after another, each entered directory giving
// its line and its files. The classic list takes what its listing type shows (no walk for type
// 0, the directories' lines alone for type 1); the other lists always take the whole tree.
bool Engines::writeBody()
{
    const int walkType = others_.empty() ? settings.ListingType : 2;
    if (walkType != 0)
        host_.Dir1->readAhead(!details_                        ? FileDetails::None
                              : trackInfo && settings.ReadTags ? FileDetails::Identities
                                                               : FileDetails::Sizes);
    for (;;) {
        const bool classicFiles =
            walk.Levels.size() == 1 || (settings.ListingType != 0 && settings.ListingType != 1);
        const int count = walk.Levels.back().contentsListed ? host_.File1->fileCount() : 0;
        bool classicReplayed = false;
        const bool replayed =
            count > run.FileIndex && beginFolderFiles(classicFiles, &classicReplayed);
        const bool classicWrites = classicOpen_ && classicFiles && !classicReplayed;
        if (classicReplayed)
            classicFiles_ += count - run.FileIndex;
        if (!classicWrites && (replayed || others_.empty()) && count > run.FileIndex) {
            // Nothing of this folder to format: its files are counted at once.
            const qint64 files = count - run.FileIndex;
            if (replayed)
                otherFiles_ += files;
            run.FileIndex = count;
            const qint64 before = outcome.filesWritten;
            outcome.filesWritten += files;
            if (before / kProgressEvery != outcome.filesWritten / kProgressEvery)
                reportProgress();
            if (pieceFailed())
                return false;
        }
        while (run.FileIndex < count) {
            if (replayed)
                ++otherFiles_;
            else if (!others_.empty())
                feedFile(run.FileIndex);
            if (classicWrites) {
                if (!writePlainFileEntry()) {
                    WriteFileEntry();
                    FlushBuffer();
                }
            } else {
                ++run.FileIndex;
            }
            if (++outcome.filesWritten % kProgressEvery == 0)
                reportProgress();
            if (pieceFailed())
                return false;
        }
        endFolderFiles();
        if (walkType == 0)
            return true;
        for (;;) {
            WalkStep();
            if (walk.StepReport == QLatin1String("Dir")) {
                leaveOutputs();
                continue;
            }
            if (walk.StepReport == QLatin1String("End"))
                return true;
            if (settings.ListingType != 0)
                FlushBuffer();
            enterOutputs();
            reportProgress();
            if (pieceFailed())
                return false;
            if (walkType != 1)
                break;
        }
    }
}

// The other lists of the run, refused before anything is written when two would be one file.
// Those already there are replaced as the classic list is: with automatic updating, or when
// the user says so. False when nothing is left to write.
bool Engines::prepareOutputs()
{
    others_.clear();
    details_ = trackInfo && settings.ReadTags;
    pictures_ = false;
    // Two lists are one file when their places are: the same folder on disk (whatever links
    // lead to it) and the same name, or the same file that a link at one of them leads to.
    std::vector<OutputPlace> places;
    if (classicList)
        places.push_back(outputPlace(run.TargetPath));
    for (const OutputRequest &request : outputs) {
        const OutputPlace place = outputPlace(request.path);
        if (std::find(places.begin(), places.end(), place) != places.end()) {
            showFailure(Message::SameFile, request.path, 0);
            return false;
        }
        places.push_back(place);
    }
    ownFolders_.clear();
    for (const OutputRequest &request : outputs) {
        if (!askToReplace(request.path)) {
            ++outcome.refusedLists;
            continue;
        }
        std::unique_ptr<ListOutput> output = makeOutput(request);
        details_ = details_ || output->wantsDetails();
        if (request.format == OutputFormat::Page && covers && *covers && request.path != "-") {
            pictures_ = true;
            if (PicturesFolder own; picturesFolderOf(request.path, &own))
                ownFolders_.push_back(std::move(own));
        }
        others_.push_back(std::move(output));
    }
    if (classicList || !others_.empty())
        return true;
    outcome.end = RunEnd::Stopped;
    return false;
}

void Engines::beginOutputs()
{
    OutputContext context;
    context.settings = &settings;
    context.source = sourcePath_;
    context.made = QDateTime(host_.clock->currentDate(), host_.clock->currentTime());
    context.dryRun = dryRun;
    context.covers = covers;
    context.pieces = pieces;
    if (pieces) {
        pieces->beginRun();
        // What the lists show of tags is made anew when others may have changed the cache.
        if (trackInfo && settings.ReadTags && trackInfo->changedElsewhere()) {
            for (const OutputRequest &request : outputs) {
                if (const int list = pieces->listIndex(request.path); list >= 0)
                    pieces->clearList(list);
            }
        }
    }
    for (auto it = others_.begin(); it != others_.end();) {
        if (const int error = (*it)->begin(context)) {
            outputFailed((*it)->request().path, error);
            it = others_.erase(it);
        } else {
            ++it;
        }
    }
}

void Engines::finishOutputs()
{
    for (const std::unique_ptr<ListOutput> &output : others_) {
        if (const QString problem = output->problem(); !problem.isEmpty())
            outcome.readerProblem = problem;
        if (const int error = output->finish()) {
            outputFailed(output->request().path, error);
            continue;
        }
        if (!dryRun && output->request().path != "-")
            outcome.lists.push_back(output->committed());
        outcome.written.push_back({output->request().path, otherFiles_});
    }
    others_.clear();
}

// One list could not be written: told, and the others go on.
void Engines::outputFailed(const QByteArray &path, int error)
{
    ++outcome.failedLists;
    showFailure(Message::WriteFailed, path, error);
}

bool Engines::writing() const
{
    return classicOpen_ || !others_.empty();
}

void Engines::feedFile(int k)
{
    ++otherFiles_;
    HeldOutput event;
    event.kind = HeldOutput::File;
    event.name = host_.File1->fileName(k);
    event.dirPath = relativeDir();
    if (details_)
        event.statKnown = host_.File1->fileStat(k, &event.stat) == 0;
    event.tagsAsked = event.statKnown && trackInfo && settings.ReadTags;
    if (!event.tagsAsked) {
        event.tagsKnown = true;
        tellOrHold(std::move(event));
        return;
    }
    const quint64 ticket = nextTicket_++;
    held_.push_back(std::move(event));
    HeldOutput &held = held_.back();
    awaited_[ticket] = &held;
    TrackInfo known;
    const auto answer = [this](quint64 t, const TrackInfo &info) { tagsAnswered(t, info); };
    if (trackInfo->request(
            ticket, sourcePath_, relativeDir(), held.name.bytes, held.stat,
            [&] { return host_.File1->openFile(k); }, &known, answer))
        tagsAnswered(ticket, known);
    tellWhatIsReady();
    // What waits stays within bounds: past them, the walk waits for the readers.
    constexpr std::size_t kMostHeld = 512;
    while (held_.size() > kMostHeld && trackInfo->due() > 0) {
        trackInfo->collect(true, answer);
        tellWhatIsReady();
        tellTagProgress();
    }
}

bool Engines::beginFolderFiles(bool classicFiles, bool *classic)
{
    folderBegun_ = false;
    if (!pieces)
        return false;
    const bool tagged = trackInfo && settings.ReadTags;
    folder_ = FolderFiles();
    folder_.place = pieces->placeKey(relativeDir());
    host_.File1->ready(details_, &folder_);
    if (!tagged)
        folder_.tags = nullptr;
    if (classicOpen_ && classicFiles) {
        if (ReadyPiece now; classicPieces_.take(folder_, &now)) {
            classicPieces_.record(folder_, now);
            *classic = true;
        } else {
            classicPieces_.beginPiece(folder_);
        }
    }
    if (others_.empty())
        return false;
    HeldOutput event;
    event.kind = HeldOutput::FilesBegin;
    event.folder = folder_;
    // Without room for what tags give the totals, nothing is kept of tags.
    if (tagged && !event.folder.tags)
        event.folder.ready = nullptr;
    // An output that may take the files as they were is told so where it stands in its list:
    // after the files before them, whose tags may still be on their way.
    if (!held_.empty() &&
        std::any_of(others_.begin(), others_.end(), [&](const std::unique_ptr<ListOutput> &output) {
            return output->mayTake(event.folder);
        }))
        waitForAllTags();
    folderBegun_ = true;
    if (!held_.empty()) {
        held_.push_back(std::move(event));
        return false;
    }
    tellOutputs(event);
    const bool all = std::find(replayed_.begin(), replayed_.end(), false) == replayed_.end();
    if (all && tagged)
        trackInfo->folderKept(sourcePath_, relativeDir());
    return all;
}

void Engines::endFolderFiles()
{
    classicPieces_.endPiece(ReadyPiece());
    if (!folderBegun_)
        return;
    folderBegun_ = false;
    HeldOutput event;
    event.kind = HeldOutput::FilesEnd;
    tellOrHold(std::move(event));
}

void Engines::tagsAnswered(quint64 ticket, const TrackInfo &info)
{
    const auto found = awaited_.find(ticket);
    if (found == awaited_.end())
        return;
    found->second->track = info;
    found->second->tagsKnown = true;
    if (info.unreadable)
        ++outcome.unreadableTags;
    awaited_.erase(found);
}

void Engines::tellWhatIsReady()
{
    while (!held_.empty() && (held_.front().kind != HeldOutput::File || held_.front().tagsKnown)) {
        tellOutputs(held_.front());
        held_.pop_front();
    }
}

void Engines::waitForAllTags()
{
    if (!trackInfo)
        return;
    const auto answer = [this](quint64 t, const TrackInfo &info) { tagsAnswered(t, info); };
    while (trackInfo->due() > 0) {
        trackInfo->collect(true, answer);
        tellWhatIsReady();
        tellTagProgress();
    }
    tellWhatIsReady();
}

void Engines::tellTagProgress()
{
    if (host_.progress)
        host_.progress->tagProgress(qint64(nextTicket_) - trackInfo->due(), qint64(nextTicket_));
}

void Engines::tellOutputs(const HeldOutput &event)
{
    switch (event.kind) {
    case HeldOutput::Enter:
        for (const std::unique_ptr<ListOutput> &output : others_)
            output->enter(event.dir);
        return;
    case HeldOutput::Leave:
        for (const std::unique_ptr<ListOutput> &output : others_)
            output->leave();
        return;
    case HeldOutput::FilesBegin:
        replayed_.clear();
        for (const std::unique_ptr<ListOutput> &output : others_)
            replayed_.push_back(output->filesBegin(event.folder));
        telling_ = event.folder;
        tellingTags_ = ReadyTags();
        tellingLasting_ = true;
        return;
    case HeldOutput::FilesEnd:
        for (const std::unique_ptr<ListOutput> &output : others_)
            output->filesEnd(tellingLasting_);
        // Its files were told, so their tags are known again.
        if (tellingLasting_ && telling_.tags &&
            std::find(replayed_.begin(), replayed_.end(), false) != replayed_.end())
            *telling_.tags = tellingTags_;
        replayed_.clear();
        return;
    case HeldOutput::File:
        break;
    }
    if (event.tagsAsked) {
        tellingTags_.asked = true;
        if (event.track.read)
            tellingTags_.durationMs += event.track.durationMs;
        // An answer that may differ next time (or a file whose reading failed, counted each
        // time) keeps the folder from being taken as it was.
        tellingLasting_ = tellingLasting_ && event.track.lasting && !event.track.unreadable;
    }
    OutputFile file;
    file.name = &event.name;
    file.dir = event.dirPath;
    file.statKnown = event.statKnown;
    file.stat = event.stat;
    file.track = event.tagsAsked ? &event.track : nullptr;
    for (std::size_t i = 0; i < others_.size(); ++i) {
        if (i >= replayed_.size() || !replayed_[i])
            others_[i]->file(file);
    }
}

void Engines::enterOutputs()
{
    WalkLevel &level = walk.Levels.back();
    // An entered folder always has its parent's level below it.
    const QByteArray &above = walk.Levels[walk.Levels.size() - 2].relative;
    level.relative = above.isEmpty() ? level.name().toByteArray() : childPath(above, level.name());
    HeldOutput event;
    event.kind = HeldOutput::Enter;
    event.dir.path = level.relative;
    event.dir.depth = int(walk.Levels.size()) - 1;
    event.dir.contentsListed = level.contentsListed;
    if (level.contentsListed) {
        event.dir.cover = host_.File1->coverName();
        // A picture's version costs a stat and a digest: only for a page that shows it.
        if (!event.dir.cover.isEmpty() && pictures_)
            event.dir.coverVersion = host_.File1->coverVersion();
    }
    tellOrHold(std::move(event));
}

void Engines::tellOrHold(HeldOutput &&event)
{
    if (held_.empty())
        tellOutputs(event);
    else
        held_.push_back(std::move(event));
}

void Engines::leaveOutputs()
{
    HeldOutput event;
    event.kind = HeldOutput::Leave;
    tellOrHold(std::move(event));
}

// A source moved or removed while it was listed gives a list of what was read before, or of a
// folder that is no longer the one asked for: neither replaces the old list.
bool Engines::sourceStillThere()
{
    DirIdentity now;
    if (directoryIdentity(sourcePath_, &now) == 0 && now == sourceIdentity_)
        return true;
    abandonRun();
    showFailure(Message::SourceMoved, sourcePath_, 0);
    return false;
}

void Engines::reportProgress()
{
    if (host_.progress)
        host_.progress->runProgress(outcome.filesWritten, *host_.Dir1);
}

bool Engines::pieceFailed()
{
    if (host_.progress && host_.progress->cancelRequested()) {
        abandonRun();
        outcome.end = RunEnd::Cancelled;
        return true;
    }
    if (classicOpen_ && outputError_ != 0) {
        classicOpen_ = false;
        output_->discard();
        outputFailed(run.TargetPath, outputError_);
        if (!writing()) {
            abandonRun();
            return true;
        }
    }
    return false;
}

// Back to idle after a run that cannot end well: the old list stays as it was, and the window as
// it was before the run.
void Engines::abandonRun()
{
    output_->discard();
    classicPieces_.release();
    classicOpen_ = false;
    for (const std::unique_ptr<ListOutput> &output : others_)
        output->discard();
    others_.clear();
    held_.clear();
    awaited_.clear();
    if (trackInfo && settings.ReadTags) {
        trackInfo->abandon();
        trackInfo->runEnded(sourcePath_, false);
    }
    run.FileNum = -1;
    outcome.unreadableDirs = walk.UnreadableDirs;
    if (host_.Dir1->path() != sourcePath_)
        host_.Dir1->setPath(sourcePath_);
    host_.controls->setText4Enabled(true);
    host_.controls->setCommand1Enabled(true);
    host_.StatusBar1->setStatusText(productName());
}

void Engines::showFailure(Message message, const QByteArray &path, int error)
{
    QString line = messageText(message, settings.Langue);
    if (error != 0)
        line = line.arg(reasonText(error, settings.Langue));
    const QString text = losslessText(path) + kCrLf + line;
    outcome.end = RunEnd::Failed;
    outcome.error = text;
    host_.messages->MsgBox(text, kStyleCritical, shortProductName());
}

void Engines::WriteListHeader()
{
    QDate date;
    QTime time;
    if (settings.ShowTime) {
        date = host_.clock->currentDate();
        time = host_.clock->currentTime();
    }
    run.OutBuffer = listHeader(settings, date, time);
    FlushBuffer();
}

void Engines::WriteFileEntry()
{
    const ListedName name = host_.File1->fileName(run.FileIndex);
    const QString displayed = displayedName(name.text, settings.IncExt);
    if (settings.HTML)
        host_.StatusBar1->setStatusText(displayed);
    putEntryLine(run.OutBuffer, settings, run.UrlPath, name, displayed);
    ++run.FileIndex;
    ++classicFiles_;
}

bool Engines::writePlainFileEntry()
{
    const QByteArrayView name = host_.File1->fileNameView(run.FileIndex);
    if (!isPlainName(name))
        return false;
    // Most of a line with a link is the folder's address, the same for each of its files: it is
    // encoded once a folder (plainLink_ is empty only until the run's first).
    if (settings.HTML && settings.DownAllow &&
        (plainLink_.isEmpty() || plainLinkPath_ != run.UrlPath)) {
        plainLinkPath_ = run.UrlPath;
        plainLink_.resize(0);
        appendWindows1252(plainLink_,
                          QLatin1String("<br><a href=\"") + settings.BaseUrl + run.UrlPath,
                          Unrepresentable::CharacterReference);
    }
    run.OutBuffer.resize(0);
    encoded_.resize(0);
    QByteArrayView displayed;
    appendPlainEntryLine(encoded_, settings, plainLink_, name, &displayed);
    if (settings.HTML && host_.StatusBar1->showsNames())
        host_.StatusBar1->setStatusText(QString::fromLatin1(displayed));
    ++run.FileIndex;
    ++classicFiles_;
    if (outputError_ == 0 && output_->isOpen())
        writeEncoded();
    return true;
}

// The pieces of a list go, in order, into a temporary file beside the target; the finished list
// then takes the target's place as a whole (see ReplacingFile). WritePos follows the bytes
// written, as if each piece were appended to the list itself.

bool Engines::beginOutput()
{
    output_->setDryRun(dryRun);
    const int error = output_->open(run.TargetPath);
    if (error != 0) {
        outputFailed(run.TargetPath, error);
        return false;
    }
    classicOpen_ = true;
    classicPieces_.begin(dryRun || run.TargetPath == "-" ? nullptr : pieces, run.TargetPath,
                         output_.get());
    run.FileNum = output_->descriptor();
    run.WritePos = 1;
    return true;
}

void Engines::FlushBuffer()
{
    // After a failed write the run stops at its next check; later pieces go nowhere.
    if (outputError_ != 0 || !output_->isOpen())
        return;
    encoded_.resize(0);
    appendWindows1252(encoded_, run.OutBuffer,
                      settings.HTML ? Unrepresentable::CharacterReference
                                    : Unrepresentable::QuestionMark);
    writeEncoded();
}

void Engines::writeEncoded()
{
    outputError_ = classicPieces_.write(encoded_.constData(), encoded_.size());
    run.WritePos = classicPieces_.written() + 1;
}

void Engines::endWriting()
{
    int error = classicPieces_.flush();
    if (error == 0)
        error = output_->commit();
    else
        output_->discard();
    run.FileNum = -1;
    classicOpen_ = false;
    if (error != 0) {
        outputFailed(run.TargetPath, error);
        return;
    }
    classicPieces_.committed(0);
    if (!dryRun && run.TargetPath != "-")
        outcome.lists.push_back(output_->committed());
    outcome.written.push_back({run.TargetPath, classicFiles_});
}
