// lystora-list as a script or a timer job meets it: exit statuses, messages in the user's
// language, and what it leaves on disk.

#include "support/test_support.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct Result {
    int status;
    QString out;
    QString err;
};

// Settings of their own for these runs, so that nobody's stored settings change them.
const QTemporaryDir &configHome()
{
    static const QTemporaryDir home;
    return home;
}

Result run(const QStringList &arguments, const QByteArray &lang = "C.UTF-8",
           const QString &workingDir = QString(), const QString &config = configHome().path())
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), config);
    env.remove(QStringLiteral("LC_ALL"));
    env.remove(QStringLiteral("LC_MESSAGES"));
    env.insert(QStringLiteral("LANG"), QString::fromLatin1(lang));
    process.setProcessEnvironment(env);
    process.setStandardInputFile(QProcess::nullDevice()); // not a terminal: nobody to ask
    if (!workingDir.isEmpty())
        process.setWorkingDirectory(workingDir);
    process.start(QStringLiteral(LYSTORA_LIST), arguments);
    process.waitForFinished(60000);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

QString str(const QByteArray &bytes)
{
    return QString::fromUtf8(bytes);
}

} // namespace

TEST(LystoraList, WritesTheSameBytesAsTheWindowAndSaysDone)
{
    TempTree tree;
    tree.file("src/a.mp3");
    tree.file("src/Live/b.mp3");
    const Result r = run({"--type", "2", "--ext", "--list-lang", "en", str(tree.path("src")),
                          str(tree.path("audio.txt"))});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    // The standard output is for a list ("-"): what the run says goes to stderr.
    EXPECT_TRUE(r.out.isEmpty());
    EXPECT_EQ(r.err,
              "Done !\nlystora-list: " + str(tree.path("audio.txt")) + ": written, 2 files\n");
    EXPECT_EQ(tree.read("audio.txt"),
              englishTextHeader() + "\r\na.mp3\r\n\r\n\tLive\r\nb.mp3" + englishTextFooter());

    const Result fr = run({"-f", str(tree.path("src")), str(tree.path("fr.txt"))}, "fr_FR.UTF-8");
    EXPECT_EQ(fr.status, 0);
    // --force replaces like the automatic update: no end message, only what was written.
    EXPECT_EQ(fr.err, "lystora-list: " + str(tree.path("fr.txt")) +
                          QStringLiteral(" : écrite, 1 fichier\n"));
    EXPECT_TRUE(tree.read("fr.txt").startsWith("Liste g\xE9n\xE9r\xE9"
                                               "e par LYA v1.52.1016\r\n"));
}

TEST(LystoraList, RelativePathsAreTakenFromTheWorkingDirectory)
{
    TempTree tree;
    tree.file("music/a.mp3");
    const Result r = run({"--html", "--base-url", "http://h/", "music", "list.htm"}, "C.UTF-8",
                         str(tree.path()));
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_TRUE(tree.read("list.htm").contains("<br><a href=\"http://h/a.mp3\">a</a>"));
}

TEST(LystoraList, StoppedRunsExitWithOneAndTellWhy)
{
    TempTree tree;
    tree.file("src/cover.jpg");
    tree.file("out.txt", "OLD");
    const Result none = run({str(tree.path("src")), str(tree.path("new.txt"))});
    EXPECT_EQ(none.status, 1);
    EXPECT_EQ(none.err, QStringLiteral("lystora-list: No file found\n"));

    tree.file("src/a.mp3");
    const Result kept = run({str(tree.path("src")), str(tree.path("out.txt"))}, "fr_FR.UTF-8");
    EXPECT_EQ(kept.status, 1);
    EXPECT_EQ(kept.err, "lystora-list: " + str(tree.path("out.txt")) +
                            QStringLiteral(": Ce fichier existe déjà, voulez-vous le remplacer ? "
                                           "Non remplacé : relancez avec --force pour le "
                                           "remplacer.\n"));
    EXPECT_EQ(tree.read("out.txt"), QByteArray("OLD"));
    EXPECT_EQ(tree.entries(), QStringList({"out.txt", "src"}));

    EXPECT_EQ(run({"-f", str(tree.path("src")), str(tree.path("out.txt"))}).status, 0);
    EXPECT_NE(tree.read("out.txt"), QByteArray("OLD"));
}

TEST(LystoraList, ErrorsExitWithTwoAndAClearMessage)
{
    TempTree tree;
    tree.file("src/a.mp3");
    const Result missing = run({str(tree.path("src")), str(tree.path("gone/audio.txt"))});
    EXPECT_EQ(missing.status, 2);
    EXPECT_EQ(missing.err, "lystora-list: " + str(tree.path("gone/audio.txt")) +
                               QStringLiteral(": The list could not be written: no such file or "
                                              "folder\n"));
    const Result full = run({"-f", str(tree.path("src")), "/dev/full"});
    EXPECT_EQ(full.status, 2);
    EXPECT_TRUE(full.err.contains(QStringLiteral("no space left on the device")));
    const Result source = run({str(tree.path("nope")), str(tree.path("a.txt"))});
    EXPECT_EQ(source.status, 2);
    EXPECT_TRUE(source.err.contains(QStringLiteral("This folder cannot be read")));

    for (const QStringList &bad :
         {QStringList{"--type", "3", "a", "b"}, QStringList{"--list-lang", "de", "a", "b"},
          QStringList{"--bogus", "a", "b"}, QStringList{"only-one"},
          QStringList{"--html", "--text", "a", "b"}, QStringList{"--force"}}) {
        const Result r = run(bad);
        EXPECT_EQ(r.status, 2) << bad.join(QLatin1Char(' ')).toStdString();
        EXPECT_TRUE(r.err.startsWith(QStringLiteral("lystora-list: ")));
        EXPECT_TRUE(r.err.endsWith(QStringLiteral(" Try 'lystora-list --help'.\n")));
        EXPECT_EQ(r.err.count(QLatin1Char('\n')), 1) << r.err.toStdString();
    }
    EXPECT_TRUE(run({"--type", "3", "a", "b"}, "fr_FR.UTF-8")
                    .err.contains(QStringLiteral("Le type de liste est 0, 1 ou 2, pas \"3\".")));
    EXPECT_TRUE(run({"--bogus"}, "fr_FR.UTF-8")
                    .err.startsWith(QStringLiteral("lystora-list: Option inconnue « --bogus ».")));
    EXPECT_TRUE(run({"--type"}, "fr_FR.UTF-8")
                    .err.startsWith(QStringLiteral("lystora-list: Valeur manquante après")));

    // The root a first start of the window stores is never listed from the stored settings.
    tree.file("config/Korvane/Lystora.conf",
              "[v1.52.1016]\nSourceDir=/\nTargetDir=" + tree.path() + "/\n");
    const Result root = run({"--force"}, "C.UTF-8", QString(), str(tree.path("config")));
    EXPECT_EQ(root.status, 2);
    EXPECT_TRUE(root.err.contains(QStringLiteral("root \"/\""))) << root.err.toStdString();
    EXPECT_FALSE(QFile::exists(str(tree.path("audio.txt"))));
}

TEST(LystoraList, HelpAndVersionInTheUsersLanguage)
{
    const Result help = run({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(help.out.startsWith(
        QStringLiteral("Usage: lystora-list [OPTIONS] [SOURCE_DIR TARGET_FILE]\n")));
    EXPECT_TRUE(run({"-h"}, "fr_FR.UTF-8").out.startsWith(QStringLiteral("Usage : lystora-list")));
    const QString version = run({"--version"}).out;
    EXPECT_TRUE(version.startsWith(QStringLiteral("lystora-list (Lystora) 1.52.1016\n"
                                                  "Copyright (C) 2026 the Lystora authors.\n")))
        << version.toStdString();
}

TEST(LystoraList, PathsKeepTheirBytesAndASettingsFileThatIsNoFileIsToldOnce)
{
    TempTree tree;
    tree.file("inv\xFF\xFEsrc/a.mp3"); // an old Latin-1 collection on a UTF-8 system
    tree.dir("config/Korvane");
    ASSERT_EQ(::mkfifo(tree.path("config/Korvane/Lystora.conf").constData(), 0600), 0);
    // Arguments as raw bytes, as a shell passes them.
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), str(tree.path("config")));
    env.insert(QStringLiteral("LANG"), QStringLiteral("C.UTF-8"));
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(str(tree.path()));
    process.start(QStringLiteral("/bin/sh"),
                  {"-c",
                   "exec \"$0\" -f \"$(printf 'inv\\377\\376src')\" \"$(printf 'list\\377.txt')\"",
                   QStringLiteral(LYSTORA_LIST)});
    ASSERT_TRUE(process.waitForFinished(60000));
    EXPECT_EQ(process.exitCode(), 0);
    EXPECT_EQ(process.readAllStandardError(),
              "lystora-list: " + tree.path("config/Korvane/Lystora.conf") +
                  ": These settings were left aside: this is not an ordinary file.\n"
                  "lystora-list: " +
                  tree.path("list\xFF.txt") + ": written, 1 file\n");
    EXPECT_TRUE(tree.read("list\xFF.txt").contains("\r\na\r\n"));
}

TEST(LystoraList, StoredSettingsMakeTheWindowsListAndTheCommandLineOverridesThem)
{
    TempTree tree;
    tree.file("music/Live/b.mp3");
    tree.file("music/a.ogg");
    tree.dir("www");
    tree.file("config/Korvane/Lystora.conf",
              "[v1.52.1016]\nSourceDir=" + tree.path("music") + "/\nTargetDir=" + tree.path("www") +
                  "/\nFileName=index.txt\nHTML=Oui\nTitleHTML=Mine\nDownAllow=Oui\n"
                  "BaseUrl=http://h/\nListingType=2\nPattern=*.ogg;*.mp3\nIncExt=Oui\n"
                  "FileLangue=0\n");
    const QString config = str(tree.path("config"));
    const Result stored = run({"--force"}, "C.UTF-8", QString(), config);
    EXPECT_EQ(stored.status, 0) << stored.err.toStdString();
    const QByteArray page = tree.read("www/index.htm");
    EXPECT_TRUE(page.contains("<title>Mine</title>"));
    EXPECT_TRUE(page.contains("<big><br><a href=\"http://h/a.ogg\">a.ogg</a></p><p>&nbsp;&nbsp;"
                              "&nbsp; Live<br><a href=\"http://h/Live/b.mp3\">b.mp3</a></p><hr>"))
        << page.constData();
    EXPECT_TRUE(page.contains("Download Lystora"));

    const Result text = run({"--text", "--no-ext", "--no-links", "-t", "0", str(tree.path("music")),
                             str(tree.path("www/list.txt"))},
                            "C.UTF-8", QString(), config);
    EXPECT_EQ(text.status, 0) << text.err.toStdString();
    EXPECT_EQ(tree.read("www/list.txt"), englishTextHeader() + "\r\na" + englishTextFooter());

    // The lists the stored settings ask for besides, unless --no-also.
    tree.file("config/Korvane/Lystora.conf",
              tree.read("config/Korvane/Lystora.conf") + "[Lystora]\nAlsoPlaylist=Oui\n");
    EXPECT_EQ(run({"--force"}, "C.UTF-8", QString(), config).status, 0);
    EXPECT_TRUE(tree.read("www/index.m3u8").startsWith("#EXTM3U\n"));
    ::unlink(tree.path("www/index.m3u8").constData());
    EXPECT_EQ(
        run({"--force", "--no-also", "--format", "json"}, "C.UTF-8", QString(), config).status, 0);
    EXPECT_EQ(tree.read("www/index.m3u8"), QByteArray("<missing>"));
    EXPECT_TRUE(tree.read("www/index.htm").startsWith("{\"generator\":"));
    // One list that cannot be written: the others are, and the status tells.
    const Result failed = run({"-f", "--also", "page:" + str(tree.path("gone/index.html")),
                               str(tree.path("music")), str(tree.path("www/ok.txt"))},
                              "C.UTF-8", QString(), config);
    EXPECT_EQ(failed.status, 2);
    EXPECT_TRUE(tree.read("www/ok.txt").contains("Download Lystora"));

    const Result none = run({"--force"}, "C.UTF-8");
    EXPECT_EQ(none.status, 2);
    EXPECT_TRUE(none.err.contains(QStringLiteral("no source and target folders stored in")));
}

TEST(LystoraList, AOneOffCommandWritesWhatItNamesWhereItSaysAndNothingElse)
{
    TempTree tree;
    tree.file("music/a.mp3");
    tree.file("music/Artist/b.mp3");
    tree.dir("www");
    // The window asked for a web page besides its list: a command naming both paths does not.
    tree.file("config/Korvane/Lystora.conf", "[v1.52.1016]\nSourceDir=" + tree.path("music") +
                                                 "/\nTargetDir=" + tree.path("www") +
                                                 "/\n[Lystora]\nAlsoPage=Oui\nAlsoJson=Oui\n");
    const QString config = str(tree.path("config"));
    EXPECT_EQ(run({"-f", str(tree.path("music")), str(tree.path("www/music.txt"))}, "C.UTF-8",
                  QString(), config)
                  .status,
              0);
    EXPECT_EQ(tree.entries("www"), QStringList({"music.txt"}));

    // A trial says what would be written, and writes nothing.
    const Result trial =
        run({"--dry-run", "-t", "2", "--also", "json:" + str(tree.path("www/x.json")),
             str(tree.path("music")), str(tree.path("www/list.txt"))});
    EXPECT_EQ(trial.status, 0) << trial.err.toStdString();
    EXPECT_EQ(trial.err, "lystora-list: " + str(tree.path("www/list.txt")) +
                             ": would be written, 2 files\nlystora-list: " +
                             str(tree.path("www/x.json")) + ": would be written, 2 files\n");
    EXPECT_EQ(tree.entries("www"), QStringList({"music.txt"}));

    // "-": one list on the standard output; a pipe or a device is written into, unasked.
    const Result out =
        run({"-q", "--format", "m3u8", "music", "-"}, "C.UTF-8", str(tree.path())); // > x.m3u8
    EXPECT_EQ(out.status, 0);
    EXPECT_EQ(
        out.out,
        QStringLiteral("#EXTM3U\n# Lystora v1.52.1016\n#EXTINF:-1,a\nmusic/a.mp3\n#EXTINF:-1,b\n"
                       "music/Artist/b.mp3\n"))
        << out.out.toStdString();
    EXPECT_TRUE(out.err.isEmpty()) << out.err.toStdString(); // -q: errors only
    EXPECT_EQ(run({"--watch", str(tree.path("music")), "-"}).status, 2);
    // The reading end is open before the run starts (a reader started as a process may not have
    // opened it yet, and a pipe nobody reads is refused); the list is far below a pipe's buffer.
    ASSERT_EQ(::mkfifo(tree.path("www/fifo").constData(), 0600), 0);
    const int reader = ::open(tree.path("www/fifo").constData(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    EXPECT_EQ(run({str(tree.path("music")), str(tree.path("www/fifo"))}).status, 0);
    char piped[4096];
    const ssize_t got = ::read(reader, piped, sizeof piped);
    ::close(reader);
    EXPECT_TRUE(QByteArray(piped, std::max<ssize_t>(got, 0)).contains("\r\na"));
    EXPECT_EQ(run({str(tree.path("music")), str(tree.path("www/fifo"))}).status, 2); // no reader

    // A base URL without its "/": the page and the playlist add it, the classic list keeps it
    // as typed, and the user is told.
    const Result url = run({"-f", "--html", "--base-url", "http://host/music", "--also",
                            "m3u8:" + str(tree.path("www/p.m3u8")), str(tree.path("music")),
                            str(tree.path("www/c.htm"))});
    EXPECT_TRUE(url.err.startsWith(
        QStringLiteral("lystora-list: the base URL \"http://host/music\" does not end with \"/\"")))
        << url.err.toStdString();
    EXPECT_TRUE(tree.read("www/p.m3u8").contains("\nhttp://host/music/a.mp3\n"));
    EXPECT_TRUE(tree.read("www/c.htm").contains("href=\"http://host/musica.mp3\""));
}
