#include "tags/tag_readers.h"

#include "platform/worker_process.h"
#include "tags/track_wire.h"

#include <QElapsedTimer>
#include <QRegularExpression>

#include <taglib/taglib.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <poll.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr int kWaitingPerReader = 2;
constexpr int kMostReaders = 8;
// A reader that cannot start this many times in a row is not tried again in this process.
constexpr int kMostFailedStarts = 3;
// How often the CPU time of a reader busy with a file is looked at.
constexpr qint64 kCpuLookMs = 100;

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

QElapsedTimer &steadyClock()
{
    static QElapsedTimer timer;
    if (!timer.isValid())
        timer.start();
    return timer;
}

} // namespace

bool TagBudget::parse(const QString &text)
{
    TagBudget parsed = *this;
    static const QRegularExpression item(
        QStringLiteral("^(memory|cpu|time|size)=(\\d+)([KMGs]?)$"));
    for (const QString &part : text.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QRegularExpressionMatch match = item.match(part.trimmed());
        if (!match.hasMatch())
            return false;
        const QString name = match.captured(1);
        const QString unit = match.captured(3);
        bool ok = false;
        const qint64 value = match.captured(2).toLongLong(&ok);
        if (!ok || value <= 0 || value > (qint64(1) << 40))
            return false;
        const bool isTime = name == QLatin1String("cpu") || name == QLatin1String("time");
        if (isTime) {
            if (!unit.isEmpty() && unit != QLatin1String("s"))
                return false;
            if (value > 86400)
                return false;
            (name == QLatin1String("cpu") ? parsed.cpuSeconds : parsed.wallSeconds) = int(value);
            continue;
        }
        if (unit == QLatin1String("s"))
            return false;
        const int shift = unit == QLatin1String("K")   ? 10
                          : unit == QLatin1String("M") ? 20
                          : unit == QLatin1String("G") ? 30
                                                       : 0;
        if (value > (qint64(1) << (62 - shift)))
            return false;
        (name == QLatin1String("memory") ? parsed.memoryBytes : parsed.sizeBytes) = value << shift;
    }
    // Below this a reader cannot even load its libraries.
    if (parsed.memoryBytes < (qint64(64) << 20))
        return false;
    *this = parsed;
    return true;
}

QByteArray TagBudget::markKey() const
{
    return "taglib " + QByteArray::number(TAGLIB_MAJOR_VERSION) + '.' +
           QByteArray::number(TAGLIB_MINOR_VERSION) + '.' +
           QByteArray::number(TAGLIB_PATCH_VERSION) + " memory " + QByteArray::number(memoryBytes) +
           " cpu " + QByteArray::number(cpuSeconds);
}

TagReaders::TagReaders(const TagBudget &budget, int readers, const QByteArray &program)
    : budget_(budget)
{
    if (readers <= 0)
        readers = int(std::thread::hardware_concurrency());
    readers_.resize(std::size_t(std::clamp(readers, 1, kMostReaders)));
    program_ = program.isEmpty() ? helperProgram("lystora-tag-reader") : program;
    if (program_.isEmpty())
        problem_ = QStringLiteral("lystora-tag-reader not found");
}

TagReaders::~TagReaders()
{
    abandon();
}

qint64 TagReaders::nowMs() const
{
    return steadyClock().elapsed();
}

bool TagReaders::startReader(Reader &reader)
{
    if (!problem_.isEmpty())
        return false;
    // The reader's own CPU limit is a second line, a little behind the one kept from here.
    QList<QByteArray> arguments = {"--memory", QByteArray::number(budget_.memoryBytes), "--cpu",
                                   QByteArray::number(budget_.cpuSeconds + 2)};
    QList<QByteArray> environment;
    // The sanitizers' own bookkeeping cannot live within an address-space limit; their allocator
    // keeps to the budget instead, and a fault of theirs ends the reader as a crash would.
    if (kSanitized)
        environment << "ASAN_OPTIONS=abort_on_error=1:detect_leaks=0:allocator_may_return_null=1:"
                       "symbolize=0:"
                       "malloc_limit_mb=" +
                           QByteArray::number(budget_.memoryBytes >> 20);
    int error = 0;
    reader.process = WorkerProcess::start(program_, arguments, environment, &error);
    reader.ready = false;
    reader.timedOut = false;
    if (!reader.process) {
        problem_ = QStringLiteral("lystora-tag-reader: ") + QString::fromLocal8Bit(strerror(error));
        return false;
    }
    return true;
}

TagReaders::Reader *TagReaders::readerWithRoom()
{
    Reader *best = nullptr;
    for (Reader &reader : readers_) {
        if (int(reader.jobs.size()) >= kWaitingPerReader)
            continue;
        // An idle reader already running first, then one to start, then one with a file.
        const auto rank = [](const Reader &r) { return r.jobs.empty() ? (r.process ? 0 : 1) : 2; };
        if (!best || rank(reader) < rank(*best))
            best = &reader;
    }
    return best;
}

bool TagReaders::submit(quint64 ticket, int fd, char kind)
{
    const QByteArray request(1, kind);
    for (;;) {
        if (!problem_.isEmpty()) {
            ::close(fd);
            return false;
        }
        Reader *reader = readerWithRoom();
        if (!reader) {
            waitForAnswers(true);
            continue;
        }
        if (!reader->process && !startReader(*reader))
            continue; // the problem is told from here on
        reader->jobs.push_back({ticket, fd, request});
        if (reader->jobs.size() == 1)
            headBegins(*reader);
        if (!reader->process->send(fd, request)) {
            // Gone already: what it held is settled as it ended, this file with the others.
            readerEnded(*reader);
        }
        return true;
    }
}

int TagReaders::due() const
{
    std::size_t count = orphans_.size();
    for (const Reader &reader : readers_)
        count += reader.jobs.size();
    return int(count);
}

void TagReaders::collect(bool wait, std::vector<ReaderAnswer> &answers)
{
    waitForAnswers(wait && done_.empty() && due() > 0);
    answers.insert(answers.end(), done_.begin(), done_.end());
    done_.clear();
}

// The reader's first file begins (or is already being read): its times count from here.
void TagReaders::headBegins(Reader &reader)
{
    reader.headSinceMs = nowMs();
    reader.headCpuMs = reader.process ? reader.process->cpuTimeMs() : 0;
}

void TagReaders::answer(const Job &job, ReadOutcome outcome, const TrackInfo &info)
{
    ::close(job.fd);
    ReaderAnswer answer;
    answer.ticket = job.ticket;
    answer.outcome = outcome;
    answer.info = info;
    answer.info.unreadable = outcome == ReadOutcome::Unreadable;
    done_.push_back(std::move(answer));
}

// Polls the readers busy with a file, each until its wall-clock time is out; with `wait`, until
// something happened.
void TagReaders::waitForAnswers(bool wait)
{
    const std::size_t before = done_.size();
    do {
        // Files a reader ended before it began them go to another.
        std::vector<Job> orphans;
        orphans.swap(orphans_);
        for (const Job &job : orphans) {
            Reader *reader = readerWithRoom();
            if (!reader) {
                orphans_.push_back(job);
                continue;
            }
            if (!reader->process && !startReader(*reader)) {
                answer(job, ReadOutcome::NotRead);
                continue;
            }
            reader->jobs.push_back(job);
            if (reader->jobs.size() == 1)
                headBegins(*reader);
            if (!reader->process->send(job.fd, job.request))
                readerEnded(*reader);
        }
        std::vector<pollfd> fds;
        std::vector<Reader *> polled;
        qint64 timeout = -1;
        const qint64 now = nowMs();
        for (Reader &reader : readers_) {
            if (!reader.process || reader.jobs.empty())
                continue;
            // The CPU time is looked at now and then while a file is read; the system's own CPU
            // limit, set in the reader with a little more, only backs this up.
            const qint64 left = std::min<qint64>(
                std::max<qint64>(reader.headSinceMs + budget_.wallSeconds * 1000ll - now, 0),
                kCpuLookMs);
            timeout = timeout < 0 ? left : std::min(timeout, left);
            fds.push_back({reader.process->descriptor(), POLLIN, 0});
            polled.push_back(&reader);
        }
        if (fds.empty())
            return;
        const int ready = ::poll(fds.data(), fds.size(), wait ? int(timeout) : 0);
        if (ready < 0 && errno != EINTR)
            return;
        const qint64 after = nowMs();
        for (std::size_t i = 0; i < fds.size(); ++i) {
            Reader &reader = *polled[i];
            if (fds[i].revents) {
                readReplies(reader);
                continue;
            }
            if (reader.jobs.empty())
                continue;
            const qint64 cpu = reader.process->cpuTimeMs();
            if (cpu >= 0 && cpu - reader.headCpuMs > budget_.cpuSeconds * 1000ll) {
                reader.process->kill(); // a death by what it read: the file is marked
                readerEnded(reader);
            } else if (after >= reader.headSinceMs + budget_.wallSeconds * 1000ll) {
                reader.timedOut = true;
                reader.process->kill();
                readerEnded(reader);
            }
        }
    } while (wait && done_.size() == before && due() > 0);
}

void TagReaders::readReplies(Reader &reader)
{
    QByteArray bytes;
    for (;;) {
        const WorkerProcess::Read read = reader.process->readReply(&bytes);
        if (read == WorkerProcess::Read::Nothing)
            return;
        ReplyStatus status = ReplyStatus::Nothing;
        TrackInfo info;
        bool understood = read == WorkerProcess::Read::Reply;
        if (understood && bytes.startsWith(char(ReplyStatus::Picture)))
            status = ReplyStatus::Picture; // checked as it is taken
        else if (understood)
            understood = decodeReply(bytes, &status, &info);
        if (!understood || (status == ReplyStatus::Ready) == reader.ready ||
            (status != ReplyStatus::Ready && reader.jobs.empty())) {
            // Ended, or speaking out of turn (a reader taken over by what it read): ended.
            reader.process->kill();
            readerEnded(reader);
            return;
        }
        if (status == ReplyStatus::Ready) {
            reader.ready = true;
            failedStarts_ = 0;
            continue;
        }
        const Job job = reader.jobs.front();
        reader.jobs.pop_front();
        headBegins(reader);
        if (status == ReplyStatus::Picture) {
            QByteArray small;
            QByteArray large;
            if (decodeThumbnails(bytes, &small, &large))
                thumbnails_[job.ticket] = {small, large};
            answer(job, ReadOutcome::Read, info);
            continue;
        }
        if (status == ReplyStatus::OutOfMemory) {
            answer(job, ReadOutcome::Unreadable);
            reader.process->kill(); // what is left of its memory is not to be trusted
            readerEnded(reader);
            return;
        }
        answer(job, ReadOutcome::Read, info);
    }
}

// The reader's process ended (or was ended): the file it was reading is settled by how, the
// ones waiting go to another reader, and a new one takes its place when needed.
void TagReaders::readerEnded(Reader &reader)
{
    const WorkerProcess::Ending ending = reader.process->end();
    const bool started = reader.ready;
    const bool timedOut = reader.timedOut;
    reader.process.reset();
    reader.ready = false;
    reader.timedOut = false;
    std::deque<Job> jobs;
    jobs.swap(reader.jobs);
    if (!started) {
        // It never said it was ready: nothing it held was read, and it is the reader, not a
        // file, that failed.
        if (++failedStarts_ >= kMostFailedStarts && problem_.isEmpty())
            problem_ =
                QStringLiteral("lystora-tag-reader ended at its start (status %1, signal %2)")
                    .arg(ending.exitStatus)
                    .arg(ending.signal);
        for (const Job &job : jobs)
            orphans_.push_back(job);
        if (!problem_.isEmpty()) {
            for (const Job &job : orphans_)
                answer(job, ReadOutcome::NotRead);
            orphans_.clear();
        }
        return;
    }
    if (!jobs.empty()) {
        // Only a death by what the file made the reader do marks it: a crash, the CPU limit
        // (SIGXCPU), the sanitizers' end, or a kill nobody here asked for.
        const bool byContents = !timedOut && (ending.signal != 0 || ending.exitStatus != 0);
        answer(jobs.front(), byContents ? ReadOutcome::Unreadable : ReadOutcome::NotRead);
        jobs.pop_front();
    }
    for (const Job &job : jobs)
        orphans_.push_back(job);
}

void TagReaders::abandon()
{
    for (Reader &reader : readers_) {
        if (!reader.jobs.empty() && reader.process) {
            reader.process->kill();
            reader.process.reset();
            reader.ready = false;
        }
        for (const Job &job : reader.jobs)
            ::close(job.fd);
        reader.jobs.clear();
    }
    for (const Job &job : orphans_)
        ::close(job.fd);
    orphans_.clear();
    done_.clear();
}

bool TagReaders::takeThumbnails(quint64 ticket, QByteArray *small, QByteArray *large)
{
    const auto found = thumbnails_.find(ticket);
    if (found == thumbnails_.end())
        return false;
    *small = found->second.first;
    *large = found->second.second;
    thumbnails_.erase(found);
    return true;
}

std::vector<int> TagReaders::processIds() const
{
    std::vector<int> ids;
    for (const Reader &reader : readers_) {
        if (reader.process)
            ids.push_back(reader.process->pid());
    }
    return ids;
}
