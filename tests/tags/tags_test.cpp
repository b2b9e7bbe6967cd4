// Tags and lengths of real files made by the usual encoders, files that are damaged or no audio
// at all, and the cache: reused while a file stays the same, shared, rebuilt when damaged.

#include "support/test_support.h"
#include "tags/tag_cache.h"
#include "tags/tag_reader.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>

#include <cmath>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sqlite3.h>
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

// Makes each format's file in dir; the names of those made (an encoder may be missing).
QStringList encodeAll(const TempTree &tree, const QByteArray &dir)
{
    tree.file(dir + "/tone.wav", wave());
    QStringList made;
    for (const Encoded &format : kFormats) {
        if (QStandardPaths::findExecutable(QString::fromLatin1(format.program)).isEmpty())
            continue;
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

TrackInfo readFile(const QByteArray &path)
{
    return readTrackInfo(::open(path.constData(), O_RDONLY | O_CLOEXEC));
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

} // namespace

TEST(Tags, EveryFormatGivesItsTagsAndLength)
{
    TempTree tree;
    const QStringList made = encodeAll(tree, "src");
    ASSERT_EQ(made.size(), int(std::size(kFormats))) << "an encoder is missing";
    for (const QString &name : made) {
        const TrackInfo info = readFile(tree.path("src/" + name.toUtf8()));
        EXPECT_TRUE(info.read) << name.toStdString();
        EXPECT_EQ(info.title, QStringLiteral("Été")) << name.toStdString();
        EXPECT_EQ(info.artist, QStringLiteral("Björk")) << name.toStdString();
        EXPECT_EQ(info.album, QStringLiteral("Homogenic")) << name.toStdString();
        EXPECT_EQ(info.track, 3) << name.toStdString();
        EXPECT_NEAR(double(info.durationMs), 3000, 250) << name.toStdString();
    }
    const TrackInfo plain = readFile(tree.path("src/tone.wav"));
    EXPECT_TRUE(plain.read && plain.title.isEmpty());
    EXPECT_NEAR(double(plain.durationMs), 3000, 50);
}

TEST(Tags, DamagedFilesAndFilesThatAreNoAudioAreReadWithoutHarm)
{
    TempTree tree;
    const QStringList made = encodeAll(tree, "src");
    QByteArray noise;
    for (int i = 0; i < 20000; ++i)
        noise += char((i * 7919 + 13) % 251);
    int files = 0;
    for (const QString &name : made) {
        const QByteArray whole = tree.read("src/" + name.toUtf8());
        // Cut at every eighth of the file, and the first bytes followed by noise.
        for (int part = 0; part < 8; ++part) {
            tree.file("cut/" + QByteArray::number(files++) + name.toUtf8(),
                      whole.left(whole.size() * part / 8));
            tree.file("cut/" + QByteArray::number(files++) + name.toUtf8(),
                      whole.left(64 * part) + noise);
        }
    }
    tree.file("cut/empty.mp3");
    tree.file("cut/noise.mp3", noise);
    for (const QString &name : tree.entries("cut"))
        readFile(tree.path("cut/" + name.toUtf8())); // no crash, no hang: that is the test
    EXPECT_FALSE(readFile(tree.path("cut/noise.mp3")).read);
    EXPECT_FALSE(readTrackInfo(-1).read);
}

TEST(TagCache, AFileIsReadOnceWhileItStaysTheSameAndForgottenOnceItIsGone)
{
    TempTree tree;
    const QStringList made = encodeAll(tree, "src");
    ASSERT_FALSE(made.isEmpty());
    const QByteArray source = tree.path("src");
    TagCache cache(tree.path("cache/tags.sqlite"));
    ASSERT_TRUE(cache.usable());
    const auto walk = [&] {
        for (const QString &name : tree.entries("src")) {
            const QByteArray path = tree.path("src/" + name.toUtf8());
            cache.trackInfo(source, name.toUtf8(), statOf(path),
                            [&] { return ::open(path.constData(), O_RDONLY); });
        }
        cache.walkComplete(source);
    };
    walk();
    EXPECT_EQ(cache.filesRead(), made.size() + 1); // the WAV too
    walk();
    EXPECT_EQ(cache.filesRead(), made.size() + 1); // all from the cache
    tree.file("src/tone.wav", wave() + "changed"); // another size: read again
    walk();
    EXPECT_EQ(cache.filesRead(), made.size() + 2);

    ::unlink(tree.path("src/tone.wav").constData());
    walk();
    sqlite3 *db = nullptr;
    ASSERT_EQ(sqlite3_open(tree.path("cache/tags.sqlite").constData(), &db), SQLITE_OK);
    sqlite3_stmt *count = nullptr;
    sqlite3_prepare_v2(db, "SELECT count(*) FROM tracks", -1, &count, nullptr);
    ASSERT_EQ(sqlite3_step(count), SQLITE_ROW);
    EXPECT_EQ(sqlite3_column_int(count, 0), made.size()); // the WAV's entry is gone
    sqlite3_finalize(count);
    sqlite3_close(db);
}

TEST(TagCache, ADamagedOrForeignCacheIsMadeAnewAndSharingNeverFails)
{
    TempTree tree;
    tree.file("src/tone.wav", wave());
    const QByteArray path = tree.path("src/tone.wav");
    const FileStat stat = statOf(path);
    const auto opener = [&] { return ::open(path.constData(), O_RDONLY); };

    QByteArray garbage;
    for (int i = 0; i < 8192; ++i)
        garbage += char(i * 31 % 256);
    tree.file("damaged/tags.sqlite", "SQLite format 3" + QByteArray(1, '\0') + garbage);
    TagCache damaged(tree.path("damaged/tags.sqlite"));
    EXPECT_TRUE(damaged.usable());
    EXPECT_TRUE(damaged.trackInfo("/src", "tone.wav", stat, opener).read);

    sqlite3 *db = nullptr;
    sqlite3_open(tree.path("foreign/tags.sqlite").constData(), &db);
    sqlite3_exec(db, "CREATE TABLE tracks(x); INSERT INTO tracks VALUES(1)", nullptr, nullptr,
                 nullptr);
    sqlite3_close(db);
    TagCache foreign(tree.path("foreign/tags.sqlite"));
    EXPECT_TRUE(foreign.usable());
    foreign.trackInfo("/src", "tone.wav", stat, opener);
    foreign.walkComplete("/src");
    foreign.trackInfo("/src", "tone.wav", stat, opener);
    EXPECT_EQ(foreign.filesRead(), 1);

    // Two writers of one cache (the window and a watching lystora-list, say).
    const QByteArray shared = tree.path("shared/tags.sqlite");
    const auto writer = [&](quint64 device) {
        TagCache cache(shared);
        for (int i = 0; i < 2000; ++i) {
            FileStat other = stat;
            other.identity = {device, quint64(i)};
            cache.trackInfo("/src", QByteArray::number(device) + "/" + QByteArray::number(i), other,
                            opener);
        }
        cache.walkComplete("/other");
        EXPECT_TRUE(cache.usable());
    };
    std::thread first(writer, 1);
    std::thread second(writer, 2);
    first.join();
    second.join();
    TagCache after(shared);
    for (const quint64 device : {1, 2}) {
        FileStat known = stat;
        known.identity = {device, 1999};
        after.trackInfo("/src", QByteArray::number(device) + "/1999", known, opener);
    }
    EXPECT_EQ(after.filesRead(), 0);
}
