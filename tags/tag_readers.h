#pragma once

#include "engine/list_outputs.h"

#include <QByteArray>
#include <QString>

#include <deque>
#include <memory>
#include <unordered_map>
#include <vector>

class WorkerProcess;

// What one reading of a file's tags may cost at most. A reading that passes the CPU time or the
// memory ends its reader and marks the file unreadable (see TagReaders); one that passes the
// wall-clock time (a slow disk, a stalled network mount) is only given up this time. Files
// larger than the size are listed untagged, unread.
struct TagBudget {
    qint64 memoryBytes = 512ll << 20;
    int cpuSeconds = 5;
    int wallSeconds = 30;
    qint64 sizeBytes = 4ll << 30;

    // Parses "memory=256M,cpu=5s,time=30s,size=4G", any of them, over these values; false when
    // the text is not of that form. Sizes take K, M, G (powers of 1024), times s or nothing.
    bool parse(const QString &text);
    // What a file's unreadable mark is kept under, with the version of the library that read
    // it: a mark made under other budgets, or by another version, is tried again.
    QByteArray markKey() const;
    friend bool operator==(const TagBudget &a, const TagBudget &b)
    {
        return a.memoryBytes == b.memoryBytes && a.cpuSeconds == b.cpuSeconds &&
               a.wallSeconds == b.wallSeconds && a.sizeBytes == b.sizeBytes;
    }
};

// What became of a file handed to the readers.
enum class ReadOutcome {
    Read,       // its tags, or what it has of them (nothing, when it is no audio file)
    Unreadable, // its contents crashed its reader or made it pass the CPU or memory limit
    NotRead,    // given up this time for another reason (the wall-clock time, no reader)
};

struct ReaderAnswer {
    quint64 ticket = 0;
    ReadOutcome outcome = ReadOutcome::NotRead;
    TrackInfo info;
};

// Tags read by lystora-tag-reader processes, as many as there are processors (at least one,
// at most eight), started when the first file comes, so that a crafted file costs only the
// reader it was given to. Each reader has the budget's address space and CPU time, the
// wall-clock time is kept from here, and where the system allows it the reader can open
// nothing. A reader that ends is replaced. Files are handed over as open descriptors (two
// waiting at most for each reader) and their answers come back in any order.
class TagReaders
{
public:
    // program: the reader's path, when it is not where the running program finds it.
    explicit TagReaders(const TagBudget &budget, int readers = 0,
                        const QByteArray &program = QByteArray());
    ~TagReaders();
    TagReaders(const TagReaders &) = delete;
    TagReaders &operator=(const TagReaders &) = delete;

    const TagBudget &budget() const { return budget_; }
    // What a reader is asked of a file: its tags ('T'), thumbnails of it as a picture ('C'), or
    // of the first picture it holds ('E').
    // Hands the open file over (the descriptor is the readers' from here on), waiting for room
    // when every reader has two. False when no reader can be started: the file is not read.
    bool submit(quint64 ticket, int fd, char kind = 'T');
    // The thumbnails a 'C' or 'E' request gave, by ticket, taken once; false when there are none.
    bool takeThumbnails(quint64 ticket, QByteArray *small, QByteArray *large);
    // The answers that came; with `wait`, at least one when some are due.
    void collect(bool wait, std::vector<ReaderAnswer> &answers);
    // Files handed over and not answered yet.
    int due() const;
    // Forgets the files not answered yet; readers busy with them are ended.
    void abandon();
    // Why no reader can be started, once that is so; empty while they can.
    QString problem() const { return problem_; }
    // The readers' processes now, for the tests that look at them.
    std::vector<int> processIds() const;

private:
    struct Job {
        quint64 ticket;
        int fd;
        QByteArray request;
    };
    struct Reader {
        std::unique_ptr<WorkerProcess> process;
        bool ready = false;     // it said so: its limits are set
        std::deque<Job> jobs;   // the first is being read
        qint64 headSinceMs = 0; // when the first began
        qint64 headCpuMs = 0;   // the reader's CPU time then
        bool timedOut = false;  // ended by us for the wall-clock time
    };

    Reader *readerWithRoom();
    bool startReader(Reader &reader);
    void waitForAnswers(bool wait);
    void readReplies(Reader &reader);
    void readerEnded(Reader &reader);
    void answer(const Job &job, ReadOutcome outcome, const TrackInfo &info = TrackInfo());
    void headBegins(Reader &reader);
    qint64 nowMs() const;

    TagBudget budget_;
    QByteArray program_;
    std::vector<Reader> readers_;
    std::vector<ReaderAnswer> done_;
    std::unordered_map<quint64, std::pair<QByteArray, QByteArray>> thumbnails_;
    std::vector<Job> orphans_; // handed to a reader that ended before it began them
    int failedStarts_ = 0;
    QString problem_;
};
