#include "service.h"

#include "cli_options.h"
#include "cli_texts.h"
#include "console_host.h"
#include "engine/dir_listing.h"
#include "engine/engines.h"
#include "engine/file_output.h"
#include "engine/file_pattern.h"
#include "engine/messages.h"
#include "engine/ready_pieces.h"
#include "platform/dir_scan.h"
#include "platform/interrupt.h"
#include "platform/lossless_text.h"
#include "platform/path_kind.h"
#include "platform/tree_watcher.h"
#include "settings/registry.h"
#include "settings/stored_values.h"

#include <QDateTime>
#include <QElapsedTimer>

#include <algorithm>
#include <fcntl.h>
#include <memory>
#include <poll.h>
#include <unistd.h>

namespace {

class Service
{
public:
    Service(Engines &engines, ConsoleHost &console, const CliOptions &options, Registry &store,
            const ServiceTiming &timing, const ServiceEvents &events)
        : engines_(engines), console_(console), options_(options), store_(store), timing_(timing),
          events_(events), pattern_(options.pattern), everyMinutes_(options.every),
          langue_(options.settings.Langue)
    {
        // Readable (POLLPRI) whenever a file system is mounted or unmounted.
        mounts_ = ::open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC);
        console_.onMessage = [this](const QString &line) { say(line); };
    }
    ~Service()
    {
        console_.onMessage = nullptr;
        if (mounts_ >= 0)
            ::close(mounts_);
    }

    void run(int stop)
    {
        clock_.start();
        if (!options_.quiet && baseUrlLacksSlash(options_.settings))
            say(QStringLiteral("lystora-list: ") +
                cliText(CliText::BaseUrlSlash, langue_)
                    .arg(options_.settings.BaseUrl, linkBaseUrl(options_.settings.BaseUrl)));
        if (options_.watch)
            startWatching();
        makeList();
        if (everyMinutes_ > 0)
            nextRun_ = clock_.elapsed() + everyMinutes_ * timing_.minuteMs;
        for (;;) {
            if (!wait(stop))
                return;
            const qint64 now = clock_.elapsed();
            if (sourceGone_) {
                if (now >= nextSourceLook_)
                    lookForSource();
                continue;
            }
            if (lastChange_ >= 0 && (now >= lastChange_ + timing_.settleMs ||
                                     now >= firstChange_ + timing_.longestWaitMs)) {
                firstChange_ = lastChange_ = -1;
                makeList();
            }
            if (nextRun_ >= 0 && clock_.elapsed() >= nextRun_) {
                makeList();
                while (nextRun_ <= clock_.elapsed())
                    nextRun_ += everyMinutes_ * timing_.minuteMs;
            }
            if (retryAt_ >= 0 && clock_.elapsed() >= retryAt_)
                makeList();
        }
    }

private:
    QString now() const
    {
        return QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    }

    QString source() const { return losslessText(options_.sourceDir); }

    void say(const QString &line)
    {
        console_.clearProgress();
        if (events_.log)
            events_.log(line);
    }

    // Nothing kept of the tree: the next list reads it whole and formats every file.
    void forgetTree()
    {
        model_.clear();
        console_.reader().useModel(nullptr);
        pieces_.clear();
        engines_.pieces = nullptr;
    }

    void startWatching()
    {
        // What was kept of the tree may be of another one by now: read whole once.
        forgetTree();
        model_.setRoot(options_.sourceDir);
        watcher_ = std::make_unique<TreeWatcher>(options_.sourceDir, timing_.watchLimit);
        WatchFailure failure;
        if (watcher_->start(&failure)) {
            // Watched whole: each list from here reads again only the folders that change.
            model_.watched = [this](const FileIdentity &folder) {
                return watcher_ && watcher_->watches(folder);
            };
            console_.reader().useModel(&model_);
            engines_.pieces = &pieces_;
            for (const ReplacingFile::Committed &list : lists_)
                watcher_->watchFolder(list.folderPath);
            return;
        }
        watcher_.reset();
        FileIdentity root;
        if (directoryIdentity(options_.sourceDir, &root) != 0)
            return; // gone: the list fails and says why, then the source is waited for
        fallBack(failure);
    }

    // Changes cannot all be seen: the list is made on a schedule instead, said once.
    void fallBack(const WatchFailure &failure)
    {
        watcher_.reset();
        forgetTree();
        QString reason;
        switch (failure.kind) {
        case WatchFailure::RemoteFileSystem:
            reason = cliText(CliText::WatchRemote, langue_).arg(losslessText(failure.path));
            break;
        case WatchFailure::WatchLimit:
            reason = cliText(CliText::WatchLimit, langue_);
            break;
        default:
            reason = cliText(CliText::WatchUnavailable, langue_);
        }
        if (everyMinutes_ <= 0) {
            store_.ReadRegValue(kSettingsRoot, SettingsKey(), QStringLiteral("AutoUpdateTime"));
            everyMinutes_ = storedInterval(store_.RegValue);
            nextRun_ = clock_.elapsed() + everyMinutes_ * timing_.minuteMs;
        }
        say(cliText(CliText::WatchFallback, langue_)
                .arg(source(), reason, everyMinutesText(everyMinutes_, langue_)));
    }

    // The source went away: nothing is listed or watched until it is back.
    void sourceWent()
    {
        watcher_.reset();
        forgetTree();
        sourceGone_ = true;
        firstChange_ = lastChange_ = retryAt_ = -1;
        nextSourceLook_ = clock_.elapsed() + timing_.sourcePollMs;
        say(cliText(CliText::SourceGone, langue_).arg(now(), source()));
    }

    void lookForSource()
    {
        FileIdentity identity;
        if (directoryIdentity(options_.sourceDir, &identity) != 0) {
            nextSourceLook_ = clock_.elapsed() + timing_.sourcePollMs;
            return;
        }
        sourceGone_ = false;
        say(cliText(CliText::SourceBack, langue_).arg(now(), source()));
        if (options_.watch)
            startWatching();
        makeList();
    }

    // The watched root went away, or a file system was mounted or unmounted: the source's path
    // may lead elsewhere now (its disk mounted again over an empty mount point, say), where the
    // old watch sees nothing; or nowhere.
    void sourceMayHaveMoved(bool rootLost)
    {
        if (!watcher_)
            return;
        FileIdentity identity;
        if (directoryIdentity(options_.sourceDir, &identity) != 0) {
            sourceWent();
            return;
        }
        if (!rootLost && identity == watcher_->rootIdentity() &&
            TreeWatcher::mountOf(options_.sourceDir) == watcher_->rootMount())
            return;
        say(cliText(CliText::SourceChanged, langue_).arg(now(), source()));
        startWatching();
        makeList();
    }

    // What was kept of a folder a change touched is read again by the next list: the folder,
    // and for a name that came, went or moved, whatever was below it (a folder, or a link to
    // one). A file only written leaves its folder's names as they were, but not its details.
    void forgetWhatChanged(const WatchedChange &change)
    {
        if (!change.inTree)
            return;
        if (change.folderGone) {
            model_.forgetFolder(change.dirIdentity);
            return;
        }
        if (change.name.isEmpty() || change.name.startsWith('.'))
            return;
        if (!change.written)
            model_.forgetBelow(change.dirIdentity, change.name); // first: it finds the paths
        model_.forgetFolder(change.dirIdentity);
    }

    // Whether a change can alter a list: hidden names are never listed (a list's temporary
    // file is one), the lists themselves are not their own source (known by what they are on
    // disk, whatever path leads to them), and files count only when they match the pattern. The
    // other lists cover the whole tree whatever the listing type; a file written in place
    // counts for those that show sizes, lengths or tags.
    bool matters(const WatchedChange &change) const
    {
        if (change.name.startsWith('.'))
            return false;
        for (const ReplacingFile::Committed &list : lists_) {
            if (change.dirIdentity != list.folder || change.name != list.name)
                continue;
            if (change.written)
                return false; // a list written into a stream, or by someone else: not ours
            if (!change.appeared)
                return true; // removed or moved away: made again
            FileIdentity now;
            const QByteArray path = change.dir + '/' + change.name;
            return entryIdentity(path, &now) != 0 || now != list.file;
        }
        if (!change.inTree || isPicturesFolder(change))
            return false;
        // A folder's picture, new, changed or gone, changes a page that shows it.
        if (!change.isDirectory && showsCovers() &&
            coverRank(change.name.constData(), std::size_t(change.name.size())) >= 0)
            return true;
        if (change.written)
            return !change.isDirectory && !isUnnamedFile(change.name) && showsDetails() &&
                   pattern_.matches(QString::fromUtf8(change.name));
        const QByteArray where = normalizedDirPath(change.dir);
        const int type = options_.outputs.empty() ? options_.settings.ListingType : 2;
        if (type == 0 && where != options_.sourceDir)
            return false;
        if (change.isDirectory || leadsToFolder(change))
            return type != 0;
        if (type == 1 && where != options_.sourceDir)
            return false;
        return pattern_.matches(QString::fromUtf8(change.name));
    }

    // A link to a folder is listed as the folder: made, it is found on disk; gone, in what was
    // kept of its folder.
    bool leadsToFolder(const WatchedChange &change) const
    {
        if (!change.appeared)
            return model_.hadFolder(change.dirIdentity, change.name);
        return pathKind(change.dir + '/' + change.name) == PathKind::Directory;
    }

    // The name the kernel gives a file made without one ("#" and its inode), as a list being
    // written is: its closing is the list's own.
    static bool isUnnamedFile(const QByteArray &name)
    {
        if (name.size() < 2 || name[0] != '#')
            return false;
        return std::all_of(name.begin() + 1, name.end(),
                           [](char c) { return c >= '0' && c <= '9'; });
    }

    // A page's folder of thumbnails is left out of the lists, as the page is.
    bool isPicturesFolder(const WatchedChange &change) const
    {
        if (!change.isDirectory || !showsCovers())
            return false;
        for (const OutputRequest &output : options_.outputs) {
            PicturesFolder folder;
            if (output.format == OutputFormat::Page &&
                change.name == picturesFolderName(output.path) &&
                picturesFolderOf(output.path, &folder) && folder.parent == change.dirIdentity)
                return true;
        }
        return false;
    }

    bool showsCovers() const
    {
        return options_.settings.Covers &&
               std::any_of(options_.outputs.begin(), options_.outputs.end(),
                           [](const OutputRequest &o) { return o.format == OutputFormat::Page; });
    }

    // Whether a list shows what a file's contents say: the page and the JSON (sizes, and tags
    // when read), the playlist with tags (lengths).
    bool showsDetails() const
    {
        for (const OutputRequest &output : options_.outputs) {
            if (output.format != OutputFormat::Playlist || options_.settings.ReadTags)
                return true;
        }
        return false;
    }

    qint64 timeout() const
    {
        qint64 deadline = -1;
        const auto sooner = [&deadline](qint64 at) {
            if (at >= 0)
                deadline = deadline < 0 ? at : std::min(deadline, at);
        };
        if (sourceGone_) {
            sooner(nextSourceLook_);
        } else {
            if (lastChange_ >= 0)
                sooner(
                    std::min(lastChange_ + timing_.settleMs, firstChange_ + timing_.longestWaitMs));
            sooner(nextRun_);
            sooner(retryAt_);
        }
        return deadline < 0 ? -1 : std::max<qint64>(deadline - clock_.elapsed(), 0);
    }

    // Waits for something to do; false when asked to stop.
    bool wait(int stop)
    {
        // Nothing held while nothing happens: the lists replaced are let go of first.
        waitForSending();
        pollfd fds[4] = {{stop, POLLIN, 0},
                         {interruptDescriptor(), POLLIN, 0},
                         {watcher_ ? watcher_->descriptor() : -1, POLLIN, 0},
                         {options_.watch ? mounts_ : -1, POLLPRI, 0}};
        // Nothing to do until something happens: no polling of the tree, no time used. What a
        // first look finds is kept: the kernel tells a change of mounts to one poll only.
        const qint64 wait = timeout();
        int ready = 0;
        if (wait < 0 && events_.idle && (ready = ::poll(fds, 4, 0)) == 0)
            events_.idle();
        if (ready <= 0)
            ::poll(fds, 4, wait < 0 ? -1 : int(std::min<qint64>(wait, 1 << 30)));
        if (fds[0].revents)
            return false;
        if (const int signal = pendingInterrupt())
            endByInterrupt(signal);
        if (watcher_ && (fds[2].revents & POLLIN)) {
            bool complete = true;
            const bool changed = watcher_->readChanges(
                [this](const WatchedChange &change) {
                    if (change.fileChanged) {
                        pieces_.forgetFile(change.dirIdentity);
                        return false; // not ours to list again
                    }
                    if (events_.seen)
                        events_.seen(change.dir + '/' + change.name);
                    const bool counts = matters(change); // first: it asks what was kept
                    forgetWhatChanged(change);
                    return counts;
                },
                &complete);
            const bool lost = watcher_->takeLostChanges();
            if (watcher_->rootLost()) {
                sourceMayHaveMoved(true);
                return true;
            }
            if (lost) {
                // The kernel dropped changes: folders may have come that no watch covers, and
                // what was kept may be out of date anywhere. Watched anew, then read whole.
                startWatching();
                complete = true;
            }
            if (changed || lost) {
                lastChange_ = clock_.elapsed();
                if (firstChange_ < 0)
                    firstChange_ = lastChange_;
            }
            if (!complete && watcher_)
                fallBack({WatchFailure::WatchLimit, options_.sourceDir});
        }
        if (fds[3].revents & (POLLPRI | POLLERR))
            sourceMayHaveMoved(false);
        return true;
    }

    void makeList()
    {
        QElapsedTimer took;
        took.start();
        engines_.Command1_Click();
        console_.clearProgress();
        const RunOutcome &outcome = engines_.outcome;
        if (outcome.end == RunEnd::Written) {
            retryAt_ = -1;
            lastFailure_.clear();
            console_.forgetToldMessages();
            // A list's folder removed and made again is another folder, to watch anew, even
            // when the system gives it the number of the one removed: watched again each time
            // (a folder watched already keeps its watch).
            for (std::size_t i = 0; watcher_ && i < outcome.lists.size(); ++i) {
                const ReplacingFile::Committed &list = outcome.lists[i];
                watcher_->watchFolder(list.folderPath);
                // Written into in place even within the tick of its times (a coarse clock gives
                // a change made at once the very times it had): not copied from again.
                if (list.size >= 0 &&
                    !watcher_->watchFile(list.folderPath + '/' + list.name,
                                         {list.file, list.size, list.modifiedNs, list.changedNs}))
                    pieces_.forgetFile(list.file);
            }
            lists_ = outcome.lists;
            // Readers that cannot start fail each list the same way: told once, not at each
            // list (again should it come back after lists without it).
            if (outcome.readerProblem != readerProblem_) {
                readerProblem_ = outcome.readerProblem;
                if (!readerProblem_.isEmpty())
                    say(now() + QLatin1Char(' ') + readerProblem_);
            }
            if (options_.quiet)
                return;
            QString line =
                cliText(outcome.filesWritten == 1 ? CliText::LogWrittenOne : CliText::LogWritten,
                        langue_)
                    .arg(now())
                    .arg(outcome.filesWritten)
                    .arg(double(took.elapsed()) / 1000.0, 0, 'f', 2);
            if (outcome.unreadableDirs > 0)
                line += QLatin1Char(' ') +
                        cliText(CliText::LogUnreadable, langue_).arg(outcome.unreadableDirs);
            if (outcome.unreadableTags > 0)
                line += QStringLiteral(" (") + unreadableTagsText(outcome.unreadableTags, langue_) +
                        QLatin1Char(')');
            say(line);
            return;
        }
        // Tried again every minute until it succeeds; the same failure is told once.
        retryAt_ = clock_.elapsed() + timing_.minuteMs;
        if (outcome.error != lastFailure_) {
            lastFailure_ = outcome.error;
            say(cliText(CliText::LogNotWritten, langue_).arg(now()));
        }
        if (options_.watch && !watcher_ && !sourceGone_) {
            FileIdentity identity;
            if (directoryIdentity(options_.sourceDir, &identity) != 0)
                sourceWent();
        }
    }

    Engines &engines_;
    ConsoleHost &console_;
    const CliOptions &options_;
    Registry &store_;
    const ServiceTiming timing_;
    const ServiceEvents events_;
    FilePattern pattern_;
    int everyMinutes_;
    const int langue_;
    std::unique_ptr<TreeWatcher> watcher_;
    ListingModel model_;
    ReadyPieces pieces_;
    int mounts_ = -1;
    std::vector<ReplacingFile::Committed> lists_;
    QElapsedTimer clock_;
    qint64 nextRun_ = -1;
    qint64 firstChange_ = -1;
    qint64 lastChange_ = -1;
    qint64 retryAt_ = -1;
    bool sourceGone_ = false;
    qint64 nextSourceLook_ = -1;
    QString lastFailure_;
    QString readerProblem_;
};

} // namespace

void serve(Engines &engines, ConsoleHost &console, const CliOptions &options, Registry &store,
           const ServiceTiming &timing, int stop, const ServiceEvents &events)
{
    Service(engines, console, options, store, timing, events).run(stop);
}
