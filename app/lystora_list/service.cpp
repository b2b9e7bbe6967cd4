#include "service.h"

#include "cli_options.h"
#include "cli_texts.h"
#include "console_host.h"
#include "engine/engines.h"
#include "engine/file_pattern.h"
#include "platform/interrupt.h"
#include "platform/tree_watcher.h"
#include "settings/registry.h"
#include "settings/stored_values.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>

#include <algorithm>
#include <memory>
#include <poll.h>

namespace {

// Changes settle this long before the list is made again, so that an album copied in gives
// one rewrite, not one per file; a tree that never settles is listed this often anyway.
constexpr qint64 kSettleMs = 2000;
constexpr qint64 kLongestWaitMs = 30000;

// Tests shorten minutes and the settling time; nothing else should.
qint64 fromEnvironment(const char *name, qint64 fallback)
{
    bool number = false;
    const qint64 value = qEnvironmentVariable(name).toLongLong(&number);
    return number && value > 0 ? value : fallback;
}

class Service
{
public:
    Service(Engines &engines, ConsoleHost &console, const CliOptions &options, Registry &store)
        : engines_(engines), console_(console), options_(options), store_(store),
          pattern_(options.pattern), minuteMs_(fromEnvironment("LYSTORA_TEST_MINUTE_MS", 60000)),
          settleMs_(fromEnvironment("LYSTORA_TEST_SETTLE_MS", kSettleMs)),
          everyMinutes_(options.every)
    {}

    [[noreturn]] void run()
    {
        if (options_.watch)
            startWatching();
        clock_.start();
        makeList();
        if (everyMinutes_ > 0)
            nextRun_ = clock_.elapsed() + everyMinutes_ * minuteMs_;
        for (;;) {
            wait();
            const qint64 now = clock_.elapsed();
            if (lastChange_ >= 0 &&
                (now >= lastChange_ + settleMs_ || now >= firstChange_ + kLongestWaitMs)) {
                firstChange_ = lastChange_ = -1;
                makeList();
            }
            if (nextRun_ >= 0 && clock_.elapsed() >= nextRun_) {
                makeList();
                while (nextRun_ <= clock_.elapsed())
                    nextRun_ += everyMinutes_ * minuteMs_;
            }
        }
    }

private:
    void startWatching()
    {
        watcher_ = std::make_unique<TreeWatcher>(options_.sourceDir);
        WatchFailure failure;
        if (!watcher_->start(&failure))
            fallBack(failure);
    }

    // Changes cannot all be seen: the list is made on a schedule instead, said once.
    void fallBack(const WatchFailure &failure)
    {
        watcher_.reset();
        const int langue = options_.settings.Langue;
        QString reason;
        switch (failure.kind) {
        case WatchFailure::RemoteFileSystem:
            reason = cliText(CliText::WatchRemote, langue).arg(QFile::decodeName(failure.path));
            break;
        case WatchFailure::WatchLimit:
            reason = cliText(CliText::WatchLimit, langue);
            break;
        default:
            reason = cliText(CliText::WatchUnavailable, langue);
        }
        if (everyMinutes_ <= 0) {
            store_.ReadRegValue(kSettingsRoot, SettingsKey(), QStringLiteral("AutoUpdateTime"));
            everyMinutes_ = storedInterval(store_.RegValue);
            nextRun_ = (clock_.isValid() ? clock_.elapsed() : 0) + everyMinutes_ * minuteMs_;
        }
        console_.clearProgress();
        printText(stderr, cliText(CliText::WatchFallback, langue)
                                  .arg(QFile::decodeName(options_.sourceDir), reason)
                                  .arg(everyMinutes_) +
                              QLatin1Char('\n'));
    }

    // Whether a change can alter the list: hidden names are never listed (the list's temporary
    // file is one), the list itself is not its own source, and files count only when they
    // match the pattern.
    bool matters(const QByteArray &dir, const QByteArray &name, bool isDirectory) const
    {
        if (name.startsWith('.'))
            return false;
        const QByteArray where = normalizedDirPath(dir);
        if (where == options_.targetDir && name == QFile::encodeName(options_.targetName))
            return false;
        const int type = options_.settings.ListingType;
        if (type == 0 && where != options_.sourceDir)
            return false;
        if (isDirectory)
            return type != 0;
        if (type == 1 && where != options_.sourceDir)
            return false;
        return pattern_.matches(QString::fromUtf8(name));
    }

    void wait()
    {
        qint64 timeout = -1;
        const qint64 now = clock_.elapsed();
        if (lastChange_ >= 0)
            timeout = std::min(lastChange_ + settleMs_, firstChange_ + kLongestWaitMs) - now;
        if (nextRun_ >= 0)
            timeout = timeout < 0 ? nextRun_ - now : std::min(timeout, nextRun_ - now);
        pollfd fds[2] = {{interruptDescriptor(), POLLIN, 0}, {-1, POLLIN, 0}};
        if (watcher_)
            fds[1].fd = watcher_->descriptor();
        // Nothing to do until something happens: no polling of the tree, no time used.
        ::poll(fds, watcher_ ? 2 : 1, timeout < 0 ? -1 : int(std::max<qint64>(timeout, 0)));
        if (const int signal = pendingInterrupt())
            endByInterrupt(signal);
        if (watcher_ && (fds[1].revents & POLLIN)) {
            bool complete = true;
            const bool changed = watcher_->readChanges(
                [this](const QByteArray &dir, const QByteArray &name, bool isDirectory) {
                    return matters(dir, name, isDirectory);
                },
                &complete);
            if (changed) {
                lastChange_ = clock_.elapsed();
                if (firstChange_ < 0)
                    firstChange_ = lastChange_;
            }
            if (!complete)
                fallBack({WatchFailure::WatchLimit, options_.sourceDir});
        }
    }

    void makeList()
    {
        QElapsedTimer took;
        took.start();
        engines_.Command1_Click();
        console_.clearProgress();
        if (const int signal = pendingInterrupt())
            endByInterrupt(signal);
        if (options_.quiet)
            return;
        const int langue = options_.settings.Langue;
        const QString now =
            QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        const RunOutcome &outcome = engines_.outcome;
        QString line = outcome.end == RunEnd::Written
                           ? cliText(CliText::LogWritten, langue)
                                 .arg(now)
                                 .arg(outcome.filesWritten)
                                 .arg(double(took.elapsed()) / 1000.0, 0, 'f', 2)
                           : cliText(CliText::LogNotWritten, langue).arg(now);
        if (outcome.unreadableDirs > 0)
            line += QLatin1Char(' ') +
                    cliText(CliText::LogUnreadable, langue).arg(outcome.unreadableDirs);
        printText(stderr, line + QLatin1Char('\n'));
    }

    Engines &engines_;
    ConsoleHost &console_;
    const CliOptions &options_;
    Registry &store_;
    FilePattern pattern_;
    const qint64 minuteMs_;
    const qint64 settleMs_;
    int everyMinutes_;
    std::unique_ptr<TreeWatcher> watcher_;
    QElapsedTimer clock_;
    qint64 nextRun_ = -1;
    qint64 firstChange_ = -1;
    qint64 lastChange_ = -1;
};

} // namespace

void serve(Engines &engines, ConsoleHost &console, const CliOptions &options, Registry &store)
{
    Service(engines, console, options, store).run();
}
