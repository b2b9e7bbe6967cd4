// Tags of real files made by the usual encoders, read by the reader processes; files crafted to
// crash, exhaust or stall a reader, which cost only that reader and are remembered; and the
// cache: only what was really read, per file whatever pattern met it, made anew when damaged
// and never another program's.

#include "support/test_support.h"
#include "tags/page_covers.h"
#include "tags/tag_cache.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>

#include <cmath>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <map>
#include <random>
#include <set>
#include <sqlite3.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

// Three seconds of a 440 Hz tone, 8 kHz mono.
QByteArray wave()
{
    const int rate = 8000;
    const int samples = rate * 3;
    QByteArray data;
    for (int i = 0; i < samples; ++i) {
        const qint16 v = qint16(8000 * std::sin(2 * M_PI * 440 * i / rate));
        data.append(reinterpret_cast<const char *>(&v), 2);
    }
    const auto u32 = [](quint32 v) { return QByteArray(reinterpret_cast<const char *>(&v), 4); };
    const auto u16 = [](quint16 v) { return QByteArray(reinterpret_cast<const char *>(&v), 2); };
    return "RIFF" + u32(36 + quint32(data.size())) + "WAVEfmt " + u32(16) + u16(1) + u16(1) +
           u32(rate) + u32(rate * 2) + u16(2) + u16(16) + "data" + u32(quint32(data.size())) + data;
}

// The crafted uploads: each a few lines of bytes.
QByteArray nestedChapters(int depth) // each chapter holds the next one
{
    // A chapter: its header (10 bytes), its name "c", four times, and the chapter inside it.
    const QByteArray own = QByteArray("c\0", 2) + QByteArray(16, '\0');
    QByteArray frames;
    for (int level = 0; level < depth; ++level) {
        const quint32 body = quint32(own.size() + (10 + own.size()) * (depth - 1 - level));
        frames += "CHAP" + bigEndian32(body) + QByteArray(2, '\0') + own;
    }
    return id3v2Tag(frames);
}

QByteArray hugeTitle(int bytes)
{
    return id3v2Tag(id3v2Text("TIT2", QByteArray(bytes, 'a')));
}

QByteArray emptyWaveChunks(int chunks)
{
    const auto u32 = [](quint32 v) { return QByteArray(reinterpret_cast<const char *>(&v), 4); };
    return "RIFF" + u32(4 + 8 * quint32(chunks)) + "WAVE" + ("junk" + u32(0)).repeated(chunks);
}

struct Encoded {
    const char *name;
    const char *program;
    QStringList arguments; // %in and %out stand for the WAV and the file made
};

const Encoded kFormats[] = {
    {"a.mp3",
     "lame",
     {"--quiet", "--tt", "Été", "--ta", "Björk", "--tl", "Homogenic", "--tn", "3", "%in", "%out"}},
    {"b.ogg",
     "oggenc",
     {"-Q", "-t", "Été", "-a", "Björk", "-l", "Homogenic", "-N", "3", "-o", "%out", "%in"}},
    {"c.opus",
     "opusenc",
     {"--quiet", "--title", "Été", "--artist", "Björk", "--album", "Homogenic", "--comment",
      "TRACKNUMBER=3", "%in", "%out"}},
    {"d.flac",
     "flac",
     {"-s", "-T", "TITLE=Été", "-T", "ARTIST=Björk", "-T", "ALBUM=Homogenic", "-T", "TRACKNUMBER=3",
      "-o", "%out", "%in"}},
    {"e.m4a",
     "ffmpeg",
     {"-loglevel", "error", "-i", "%in", "-c:a", "aac", "-metadata", "title=Été", "-metadata",
      "artist=Björk", "-metadata", "album=Homogenic", "-metadata", "track=3", "%out"}},
};

// Makes each format's file in dir; the names of those made.
QStringList encodeAll(const TempTree &tree, const QByteArray &dir)
{
    tree.file(dir + "/tone.wav", wave());
    QStringList made;
    for (const Encoded &format : kFormats) {
        QStringList arguments = format.arguments;
        for (QString &argument : arguments) {
            argument.replace(QLatin1String("%in"), QString::fromUtf8(tree.path(dir + "/tone.wav")));
            argument.replace(QLatin1String("%out"),
                             QString::fromUtf8(tree.path(dir + '/' + format.name)));
        }
        QProcess encoder;
        // The encoders read their arguments in the locale's charset: without a UTF-8 one (a
        // container, a timer job), "Été" would be stored as "##t##".
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
        encoder.setProcessEnvironment(env);
        encoder.start(QString::fromLatin1(format.program), arguments);
        if (encoder.waitForFinished(60000) && encoder.exitCode() == 0)
            made << QString::fromLatin1(format.name);
    }
    return made;
}

FileStat statOf(const QByteArray &path)
{
    FileStat stat;
    int error = 0;
    const qsizetype slash = path.lastIndexOf('/');
    if (const std::shared_ptr<OpenDir> dir = OpenDir::open(path.left(slash), &error))
        dir->stat(QByteArrayView(path).sliced(slash + 1), &stat);
    return stat;
}

// Asks the cache for the tags of these files of source, as a walk does, and waits for them all.
std::map<QByteArray, TrackInfo> ask(TagCache &cache, const QByteArray &source,
                                    const QList<QByteArray> &names,
                                    const std::function<int(const QByteArray &)> &open = nullptr)
{
    std::map<QByteArray, TrackInfo> answers;
    const auto answer = [&](quint64 ticket, const TrackInfo &info) {
        answers[names[qsizetype(ticket)]] = info;
    };
    for (qsizetype i = 0; i < names.size(); ++i) {
        const QByteArray path = source + '/' + names[i];
        TrackInfo info;
        const auto opener = [&] {
            return open ? open(path) : ::open(path.constData(), O_RDONLY | O_CLOEXEC);
        };
        const qsizetype slash = names[i].lastIndexOf('/');
        const QByteArray dir = slash < 0 ? QByteArray() : names[i].left(slash);
        if (cache.request(quint64(i), source, dir, names[i].mid(slash + 1), statOf(path), opener,
                          &info, answer))
            answers[names[i]] = info;
    }
    while (cache.due() > 0)
        cache.collect(true, answer);
    return answers;
}

int rows(const QByteArray &file, const char *where = "1")
{
    sqlite3 *db = nullptr;
    sqlite3_open_v2(file.constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt *count = nullptr;
    sqlite3_prepare_v2(db, (QByteArray("SELECT count(*) FROM tracks WHERE ") + where).constData(),
                       -1, &count, nullptr);
    const int n = sqlite3_step(count) == SQLITE_ROW ? sqlite3_column_int(count, 0) : -1;
    sqlite3_finalize(count);
    sqlite3_close(db);
    return n;
}

QList<QByteArray> bytesOf(const QStringList &names)
{
    QList<QByteArray> bytes;
    for (const QString &name : names)
        bytes << name.toUtf8();
    return bytes;
}

TagBudget tightBudget()
{
    TagBudget budget;
    EXPECT_TRUE(budget.parse(QStringLiteral("cpu=1s")));
    return budget;
}

} // namespace

TEST(Tags, EveryFormatGivesItsTagsAndLengthAndDamagedFilesDoNoHarm)
{
    TempTree tree;
    const QStringList made = encodeAll(tree, "src");
    ASSERT_EQ(made.size(), int(std::size(kFormats))) << "an encoder is missing";
    TagCache cache(tree.path("cache/tags.sqlite"));
    const auto answers = ask(cache, tree.path("src"), bytesOf(made) << "tone.wav");
    for (const QString &name : made) {
        const TrackInfo &info = answers.at(name.toUtf8());
        EXPECT_TRUE(info.read) << name.toStdString();
        EXPECT_EQ(info.title, QStringLiteral("Été")) << name.toStdString();
        EXPECT_EQ(info.artist, QStringLiteral("Björk")) << name.toStdString();
        EXPECT_EQ(info.album, QStringLiteral("Homogenic")) << name.toStdString();
        EXPECT_EQ(info.track, 3) << name.toStdString();
        EXPECT_NEAR(double(info.durationMs), 3000, 250) << name.toStdString();
    }
    const TrackInfo &plain = answers.at("tone.wav");
    EXPECT_TRUE(plain.read && plain.title.isEmpty());
    EXPECT_NEAR(double(plain.durationMs), 3000, 50);

    // Each file cut at every eighth, and its first bytes followed by noise: all answered, none
    // of them unreadable (a reader that died on them would mark them so).
    QByteArray noise;
    for (int i = 0; i < 20000; ++i)
        noise += char((i * 7919 + 13) % 251);
    QList<QByteArray> cut;
    for (const QString &name : made) {
        const QByteArray whole = tree.read("src/" + name.toUtf8());
        for (int part = 0; part < 8; ++part) {
            for (const QByteArray &bytes :
                 {whole.left(whole.size() * part / 8), whole.left(64 * part) + noise}) {
                cut << QByteArray::number(cut.size()) + name.toUtf8();
                tree.file("cut/" + cut.back(), bytes);
            }
        }
    }
    tree.file("cut/noise.mp3", noise);
    cut << "noise.mp3";
    const auto damaged = ask(cache, tree.path("cut"), cut);
    EXPECT_EQ(damaged.size(), std::size_t(cut.size()));
    for (const auto &[name, info] : damaged)
        EXPECT_FALSE(info.unreadable) << name.constData();
    EXPECT_FALSE(damaged.at("noise.mp3").read);
}

TEST(Tags, CraftedUploadsCostOnlyTheirReaderAreListedByNameAndAreNotReadAgain)
{
    TempTree tree;
    encodeAll(tree, "src/good");
    tree.file("src/x.mp3", nestedMp4Atoms(60000));       // overflows the stack
    tree.file("src/chap.mp3", nestedChapters(20000));    // the same through ID3v2
    tree.file("src/title.mp3", hugeTitle(100 << 20));    // passes the memory
    tree.file("src/junk.mp3", emptyWaveChunks(2 << 20)); // passes the CPU time
    tree.dir("out");
    const QByteArray cacheFile = tree.path("cache/tags.sqlite");
    for (int run = 0; run < 2; ++run) {
        TagCache cache(cacheFile, tightBudget());
        RecordingHost host(tree.path("src"), tree.path("out"), QStringLiteral("list.txt"));
        ListingSettings settings = plainSettings();
        settings.AutoUpdate = true;
        settings.ReadTags = true;
        settings.ListingType = 2;
        Engines engines(settings, host.host());
        engines.trackInfo = &cache;
        engines.outputs = {{OutputFormat::Json, tree.path("out/list.json")}};
        engines.Command1_Click();
        EXPECT_EQ(engines.outcome.end, RunEnd::Written);
        EXPECT_EQ(engines.outcome.unreadableTags, 4) << "run " << run;
        EXPECT_EQ(cache.filesRead(), run == 0 ? 5 : 0) << "run " << run; // 4, and good/a.mp3
        EXPECT_TRUE(tree.read("out/list.txt").contains("junk"));
        const QJsonObject json = QJsonDocument::fromJson(tree.read("out/list.json")).object();
        QStringList listed;
        for (const QJsonValue file :
             json[QStringLiteral("folder")][QStringLiteral("files")].toArray())
            listed << file[QStringLiteral("name")].toString();
        EXPECT_EQ(listed, QStringList({"chap.mp3", "junk.mp3", "title.mp3", "x.mp3"}));
        const QJsonArray good =
            json[QStringLiteral("folder")][QStringLiteral("folders")][0][QStringLiteral("files")]
                .toArray();
        ASSERT_EQ(good.size(), 1);
        EXPECT_EQ(good[0][QStringLiteral("title")].toString(), QStringLiteral("Été"));
    }
    EXPECT_EQ(rows(cacheFile, "readok=2"), 4);
    // Marks are kept under the budgets: other budgets, or being asked to, read them again.
    for (const bool forget : {false, true}) {
        TagCache again(cacheFile, forget ? tightBudget() : TagBudget(), forget);
        EXPECT_TRUE(ask(again, tree.path("src"), {"x.mp3"}).at("x.mp3").unreadable);
        EXPECT_EQ(again.filesRead(), 1);
        again.runEnded(tree.path("src"), false);
    }
}

TEST(Tags, AReaderKilledMidFileMarksThatFileAloneAndAnotherReaderTakesOver)
{
    TempTree tree;
    encodeAll(tree, "src");
    TagBudget slow;
    ASSERT_TRUE(slow.parse(QStringLiteral("cpu=60s")));
    TagReaders readers(slow, 1);
    std::vector<ReaderAnswer> answers;
    // A first file, so that the reader is up when the slow one comes.
    ASSERT_TRUE(readers.submit(1, ::open(tree.path("src/a.mp3").constData(), O_RDONLY)));
    while (answers.empty())
        readers.collect(true, answers);
    tree.file("src/junk.mp3", emptyWaveChunks(1 << 21));
    ASSERT_TRUE(readers.submit(2, ::open(tree.path("src/junk.mp3").constData(), O_RDONLY)));
    ASSERT_TRUE(readers.submit(3, ::open(tree.path("src/d.flac").constData(), O_RDONLY)));
    ASSERT_EQ(readers.processIds().size(), 1u);
    ::kill(readers.processIds().front(), SIGKILL);
    while (readers.due() > 0)
        readers.collect(true, answers);
    ASSERT_EQ(answers.size(), 3u);
    std::map<quint64, ReaderAnswer> byTicket;
    for (const ReaderAnswer &answer : answers)
        byTicket[answer.ticket] = answer;
    EXPECT_EQ(byTicket[2].outcome, ReadOutcome::Unreadable);
    EXPECT_EQ(byTicket[3].outcome, ReadOutcome::Read);
    EXPECT_EQ(byTicket[3].info.title, QStringLiteral("Été"));
}

TEST(Tags, AReaderCanOpenNothingAndHasItsLimits)
{
    TempTree tree;
    encodeAll(tree, "src");
    TagReaders readers(TagBudget(), 1);
    std::vector<ReaderAnswer> answers;
    ASSERT_TRUE(readers.submit(1, ::open(tree.path("src/a.mp3").constData(), O_RDONLY)));
    while (answers.empty())
        readers.collect(true, answers);
    ASSERT_EQ(answers[0].outcome, ReadOutcome::Read);
    const QByteArray proc = "/proc/" + QByteArray::number(readers.processIds().front());
    const QByteArray status = TempTree::readFile(proc + "/status");
    const QByteArray limits = TempTree::readFile(proc + "/limits");
    const auto limit = [&](const char *name) {
        for (const QByteArray &line : limits.split('\n')) {
            if (line.startsWith(name))
                return line.mid(qsizetype(std::strlen(name))).simplified().split(' ').value(0);
        }
        return QByteArray();
    };
#if defined(__SANITIZE_ADDRESS__)
    // The sanitizers cannot run under either: their allocator keeps the budget instead.
    EXPECT_TRUE(status.contains("Seccomp:\t0"));
#else
    EXPECT_TRUE(status.contains("Seccomp:\t2")) << status.constData();
    EXPECT_EQ(limit("Max address space"), QByteArray("536870912"));
#endif
    EXPECT_EQ(limit("Max core file size"), QByteArray("0"));
}

TEST(TagCache, OnlyWhatWasReallyReadIsKeptPerFileWhateverPatternMetIt)
{
    TempTree tree;
    const QStringList made = encodeAll(tree, "src");
    const QByteArray cacheFile = tree.path("cache/tags.sqlite");
    const QByteArray source = tree.path("src");
    TagCache cache(cacheFile);
    // Short of descriptors: nothing is known of the file, and nothing is kept.
    const auto failing = [](const QByteArray &) {
        errno = EMFILE;
        return -1;
    };
    EXPECT_FALSE(ask(cache, source, {"a.mp3"}, failing).at("a.mp3").read);
    EXPECT_EQ(rows(cacheFile), 0);
    EXPECT_TRUE(ask(cache, source, {"a.mp3"}).at("a.mp3").read);
    // Two lists of other patterns over one source, then the first again: nothing read again.
    ask(cache, source, {"d.flac"});
    cache.runEnded(source, true);
    ask(cache, source, {"a.mp3"});
    cache.runEnded(source, true);
    EXPECT_EQ(cache.filesRead(), 2);
    EXPECT_EQ(rows(cacheFile), 2);
    // A file changed is read again; one gone is forgotten, with its folder's entries.
    tree.file("src/d.flac", tree.read("src/d.flac") + "x");
    ask(cache, source, {"d.flac"});
    EXPECT_EQ(cache.filesRead(), 3);
    ::unlink(tree.path("src/a.mp3").constData());
    ask(cache, source, {"d.flac"});
    cache.runEnded(source, true);
    EXPECT_EQ(rows(cacheFile), 1);
    // Folders gone are forgotten, those the walk before met and those it found unasked about.
    const QByteArray ogg = tree.read("src/b.ogg");
    for (const char *dir : {"A", "B", "F"})
        tree.file("src/" + QByteArray(dir) + "/t.ogg", ogg);
    tree.file("src/F/u.ogg", ogg);
    ask(cache, source, {"A/t.ogg", "B/t.ogg", "F/t.ogg", "F/u.ogg"});
    cache.runEnded(source, true);
    const auto removeFolder = [&](const char *dir) {
        ::unlink(tree.path("src/" + QByteArray(dir) + "/t.ogg").constData());
        ::rmdir(tree.path("src/" + QByteArray(dir)).constData());
    };
    removeFolder("B");
    ask(cache, source, {"A/t.ogg"}); // F's file matches another list's pattern
    cache.runEnded(source, true);
    EXPECT_EQ(rows(cacheFile, "dir=CAST('B' AS BLOB)"), 0);
    EXPECT_EQ(rows(cacheFile, "dir=CAST('F' AS BLOB)"), 2);
    // A file gone from a folder no walk asks about any more goes too.
    ::unlink(tree.path("src/F/u.ogg").constData());
    ask(cache, source, {"A/t.ogg"});
    cache.runEnded(source, true);
    EXPECT_EQ(rows(cacheFile, "dir=CAST('F' AS BLOB)"), 1);
    removeFolder("F");
    ask(cache, source, {"A/t.ogg"});
    cache.runEnded(source, true);
    EXPECT_EQ(rows(cacheFile, "dir=CAST('F' AS BLOB)"), 0);
    EXPECT_EQ(rows(cacheFile, "dir=CAST('A' AS BLOB)"), 1);

    // The folder and the file are the user's alone.
    struct stat st {};
    ASSERT_EQ(::stat(tree.path("cache").constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    ASSERT_EQ(::stat(cacheFile.constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST(TagCache, ADamagedCacheIsMadeAnewAnotherProgramsIsLeftAloneAndSharingNeverFails)
{
    TempTree tree;
    tree.file("src/tone.wav", wave());
    const QByteArray source = tree.path("src");

    QByteArray garbage;
    for (int i = 0; i < 8192; ++i)
        garbage += char(i * 31 % 256);
    tree.file("damaged/tags.sqlite", "SQLite format 3" + QByteArray(1, '\0') + garbage);
    TagCache damaged(tree.path("damaged/tags.sqlite"));
    EXPECT_TRUE(damaged.usable());
    EXPECT_TRUE(ask(damaged, source, {"tone.wav"}).at("tone.wav").read);

    // Another program's database at the cache's place: not a byte of it changes.
    sqlite3 *db = nullptr;
    tree.dir("foreign");
    sqlite3_open(tree.path("foreign/tags.sqlite").constData(), &db);
    sqlite3_exec(db, "CREATE TABLE tracks(x); INSERT INTO tracks VALUES(1)", nullptr, nullptr,
                 nullptr);
    sqlite3_close(db);
    const QByteArray before = tree.read("foreign/tags.sqlite");
    {
        TagCache foreign(tree.path("foreign/tags.sqlite"));
        EXPECT_FALSE(foreign.usable());
        EXPECT_TRUE(ask(foreign, source, {"tone.wav"}).at("tone.wav").read); // read all the same
    }
    EXPECT_EQ(tree.read("foreign/tags.sqlite"), before);
    EXPECT_EQ(tree.entries("foreign"), QStringList({"tags.sqlite"}));

    // Two writers of one cache (the window and a watching lystora-list, say).
    const QByteArray shared = tree.path("shared/tags.sqlite");
    for (int i = 0; i < 40; ++i)
        tree.file("src/" + QByteArray::number(i) + ".wav", wave().left(2000 + i));
    QList<QByteArray> names;
    for (int i = 0; i < 40; ++i)
        names << QByteArray::number(i) + ".wav";
    const auto writer = [&] {
        TagCache cache(shared);
        ask(cache, source, names);
        EXPECT_TRUE(cache.usable());
    };
    std::thread first(writer);
    std::thread second(writer);
    first.join();
    second.join();
    TagCache after(shared);
    ask(after, source, names);
    EXPECT_EQ(after.filesRead(), 0);
}

TEST(Tags, CoverPicturesBecomeThumbnailsInTheReadersAndNoPictureAFailure)
{
    TempTree tree;
    tree.dir("src");
    // A large picture in each format a cover comes in, and one that only says it is one.
    for (const char *name : {"big.jpg", "big.png", "big.webp"})
        ASSERT_TRUE(makePicture(tree.path("src/") + name, "3000x2000")) << name;
    tree.file("src/lie.jpg", "\xFF\xD8\xFF" + QByteArray(1000, '\x01'));
    TagReaders readers(TagBudget(), 1);
    const QList<QByteArray> names = {"big.jpg", "big.png", "big.webp", "lie.jpg"};
    for (qsizetype i = 0; i < names.size(); ++i)
        ASSERT_TRUE(readers.submit(
            quint64(i), ::open(tree.path("src/" + names[i]).constData(), O_RDONLY), 'C'));
    std::vector<ReaderAnswer> answers;
    while (readers.due() > 0)
        readers.collect(true, answers);
    ASSERT_EQ(answers.size(), std::size_t(names.size()));
    for (qsizetype i = 0; i < names.size(); ++i) {
        QByteArray small;
        QByteArray large;
        const bool made = readers.takeThumbnails(quint64(i), &small, &large);
        EXPECT_EQ(made, i < 3) << names[i].constData();
        if (made) {
            EXPECT_TRUE(small.startsWith("\xFF\xD8\xFF"));
            EXPECT_LT(small.size(), large.size());
        }
    }
}

TEST(Tags, AmongAThousandThumbnailsEachPictureFindsItsOwnAndThoseUnusedGo)
{
    TempTree tree;
    tree.dir("out/index.covers");
    // Digests spread evenly, and some crowded at both ends, as no digest would be.
    std::mt19937_64 random(7);
    std::set<quint64> digits = {0, 1, 2, 3, ~quint64(0), ~quint64(1)};
    while (digits.size() < 1200)
        digits.insert(random());
    const auto hex = [](quint64 value) {
        return QByteArray::number(value, 16).rightJustified(16, '0');
    };
    int i = 0;
    QStringList kept;
    for (const quint64 value : digits) {
        const QByteArray name = hex(value);
        const QList<QByteArray> ends =
            i % 2 ? QList<QByteArray>{"-x"} : QList<QByteArray>{"-l.jpg", "-s.jpg"};
        for (const QByteArray &end : ends) {
            tree.file("out/index.covers/" + name + end);
            if (i % 3 != 0)
                kept << QString::fromUtf8(name + end);
        }
        ++i;
    }
    PageCovers covers(tree.path("out/index.html"), TagBudget());
    i = 0;
    for (const quint64 value : digits) {
        if (i++ % 3 == 0)
            continue;
        EXPECT_EQ(covers.fromTrack("/nowhere", hex(value)),
                  i % 2 ? "index.covers/" + hex(value) + "-s.jpg" : QByteArray());
    }
    EXPECT_TRUE(covers.fromTrack("/nowhere", hex(12345)).isEmpty()); // none, and none to make
    covers.finish(true);
    kept.sort();
    EXPECT_EQ(tree.entries("out/index.covers"), kept);
}

TEST(Tags, APictureThatGivesNoThumbnailIsNotDecodedAgainUntilItChanges)
{
    TempTree tree;
    tree.file("music/cover.jpg", "\xFF\xD8\xFF" + QByteArray(1000, '\x01'));
    tree.dir("out");
    const auto run = [&] {
        PageCovers covers(tree.path("out/index.html"), TagBudget());
        const QByteArray address =
            covers.fromFile([&] { return tree.path("music/cover.jpg"); }, QByteArray());
        covers.finish(true);
        return address;
    };
    const auto mark = [&](ino_t *inode) {
        const QStringList names = tree.entries("out/index.covers");
        EXPECT_EQ(names.size(), 1) << names.join(QLatin1Char(' ')).toStdString();
        struct stat st {};
        const QByteArray name = names.value(0).toUtf8();
        EXPECT_TRUE(name.endsWith("-x"));
        EXPECT_EQ(::stat(tree.path("out/index.covers/" + name).constData(), &st), 0);
        *inode = st.st_ino;
        return name;
    };
    ino_t first = 0, again = 0, changed = 0;
    EXPECT_TRUE(run().isEmpty());
    const QByteArray name = mark(&first);
    EXPECT_TRUE(run().isEmpty()); // the mark is not made anew: not sent to a reader
    EXPECT_EQ(mark(&again), name);
    EXPECT_EQ(again, first);
    const timespec times[2] = {{1000000000, 0}, {1000000000, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, tree.path("music/cover.jpg").constData(), times, 0), 0);
    EXPECT_TRUE(run().isEmpty()); // another picture now: tried, and the old mark gone
    EXPECT_NE(mark(&changed), name);

    // A real picture then: both sizes, named as the page says, kept while it stays, and
    // replaced (the old ones gone) once it changes.
    const auto sizes = [&] {
        const QStringList names = tree.entries("out/index.covers");
        EXPECT_EQ(names.size(), 2) << names.join(QLatin1Char(' ')).toStdString();
        return names;
    };
    ASSERT_TRUE(makePicture(tree.path("music/cover.jpg"), "600x600"));
    const QByteArray address = run();
    const QStringList made = sizes();
    EXPECT_EQ(address, "index.covers/" + made.value(1).toUtf8()); // "…-l.jpg", "…-s.jpg"
    EXPECT_EQ(made.value(0).left(16), made.value(1).left(16));
    EXPECT_EQ(run(), address);
    EXPECT_EQ(sizes(), made);
    ASSERT_EQ(::utimensat(AT_FDCWD, tree.path("music/cover.jpg").constData(), times, 0), 0);
    EXPECT_NE(run(), address);
    EXPECT_TRUE(sizes().filter(made.value(0).left(16)).isEmpty());
}
