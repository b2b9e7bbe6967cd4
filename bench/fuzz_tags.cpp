// Feeds the tag readers files mutated from real ones, and the reply decoder random bytes, for a
// while; the program that asks must never die of them, and every file must be answered.
//
//   lystora-fuzz-tags READER SECONDS SEED_FILE... [--keep DIR]
//
// Prints how many files each outcome had and, with --keep, copies the files that ended their
// reader into DIR. Built beside the benchmarks; run from build-asan/ it drives the sanitized
// readers, whose reports (on stderr) name what went wrong inside the parser.

#include "tags/tag_readers.h"
#include "tags/track_wire.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QFile>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <random>
#include <unistd.h>
#include <vector>

namespace {

QByteArray mutated(const QByteArray &seed, std::mt19937_64 &random)
{
    QByteArray bytes = seed;
    const auto at = [&](qsizetype size) {
        return size <= 0 ? 0 : qsizetype(random() % quint64(size));
    };
    const int steps = 1 + int(random() % 8);
    for (int step = 0; step < steps && !bytes.isEmpty(); ++step) {
        switch (random() % 7) {
        case 0: // a bit flipped
            bytes[at(bytes.size())] ^= char(1 << (random() % 8));
            break;
        case 1: // a byte set to a value parsers check against
        {
            static const char edges[] = {0, 1, 0x7F, char(0x80), char(0xFF)};
            bytes[at(bytes.size())] = edges[random() % sizeof edges];
            break;
        }
        case 2: // a length field smashed
        {
            if (bytes.size() < 4)
                break;
            const qsizetype where = at(bytes.size() - 3);
            const quint32 value = random() % 2 ? 0xFFFFFFFFu : quint32(random());
            std::memcpy(bytes.data() + where, &value, 4);
            break;
        }
        case 3: // cut short
            bytes.truncate(at(bytes.size()));
            break;
        case 4: // a piece repeated
        {
            const qsizetype from = at(bytes.size());
            const qsizetype length = std::min<qsizetype>(at(4096) + 1, bytes.size() - from);
            const QByteArray piece = bytes.mid(from, length);
            const int times = 1 + int(random() % 64);
            for (int i = 0; i < times; ++i)
                bytes.insert(at(bytes.size()), piece);
            break;
        }
        case 5: // a piece taken out
        {
            const qsizetype from = at(bytes.size());
            bytes.remove(from, std::min<qsizetype>(at(512) + 1, bytes.size() - from));
            break;
        }
        default: // random bytes in
            for (int i = 0, n = int(random() % 64); i < n; ++i)
                bytes[at(bytes.size())] = char(random());
        }
    }
    return bytes;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 4) {
        std::fputs("usage: lystora-fuzz-tags READER SECONDS SEED_FILE... [--keep DIR]\n", stderr);
        return 2;
    }
    const QByteArray reader = argv[1];
    const qint64 seconds = std::atoll(argv[2]);
    std::vector<QByteArray> seeds;
    QByteArray keep;
    for (int i = 3; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--keep") && i + 1 < argc) {
            keep = argv[++i];
            continue;
        }
        QFile file(QString::fromLocal8Bit(argv[i]));
        if (file.open(QIODevice::ReadOnly))
            seeds.push_back(file.readAll());
    }
    if (seeds.empty())
        return 2;
    char work[] = "/tmp/lystora-fuzz-XXXXXX";
    if (!::mkdtemp(work))
        return 2;
    std::mt19937_64 random(std::random_device{}());
    TagBudget budget;
    budget.parse(QStringLiteral("memory=256M,cpu=2s,time=20s"));
    TagReaders readers(budget, 0, reader);
    std::map<ReadOutcome, qint64> outcomes;
    std::map<quint64, QByteArray> inFlight;
    qint64 files = 0;
    qint64 decoded = 0;
    QElapsedTimer clock;
    clock.start();
    const auto settle = [&](bool wait) {
        std::vector<ReaderAnswer> answers;
        readers.collect(wait, answers);
        for (const ReaderAnswer &answer : answers) {
            ++outcomes[answer.outcome];
            const QByteArray path = inFlight[answer.ticket];
            if (answer.outcome == ReadOutcome::Unreadable && !keep.isEmpty())
                QFile::copy(QString::fromLocal8Bit(path),
                            QString::fromLocal8Bit(keep + '/' + QByteArray::number(answer.ticket)));
            ::unlink(path.constData());
            inFlight.erase(answer.ticket);
        }
    };
    while (clock.elapsed() < seconds * 1000) {
        const QByteArray bytes = mutated(seeds[random() % seeds.size()], random);
        const QByteArray path = QByteArray(work) + '/' + QByteArray::number(files);
        QFile out(QString::fromLocal8Bit(path));
        if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size())
            break;
        out.close();
        inFlight[quint64(files)] = path;
        readers.submit(quint64(files++), ::open(path.constData(), O_RDONLY | O_CLOEXEC));
        settle(false);
        // What a reader taken over could say: the decoder must refuse it, never crash.
        ReplyStatus status;
        TrackInfo info;
        decodeReply(mutated(encodeReply(ReplyStatus::Read, &info), random), &status, &info);
        ++decoded;
    }
    while (readers.due() > 0)
        settle(true);
    ::rmdir(work);
    std::printf(
        "%lld files in %lld s: %lld read, %lld unreadable (reader ended), %lld not read; "
        "%lld replies decoded%s\n",
        static_cast<long long>(files), static_cast<long long>(seconds),
        static_cast<long long>(outcomes[ReadOutcome::Read]),
        static_cast<long long>(outcomes[ReadOutcome::Unreadable]),
        static_cast<long long>(outcomes[ReadOutcome::NotRead]), static_cast<long long>(decoded),
        readers.problem().isEmpty() ? "" : (", " + readers.problem().toStdString()).c_str());
    return 0;
}
