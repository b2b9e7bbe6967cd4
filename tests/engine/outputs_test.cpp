// The lists besides the classic one: a page any server charset renders and a validator accepts,
// a playlist and a JSON document whose every entry leads to its file, with every awkward name;
// and the run's rules for several lists.

#include "support/test_support.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>

#include <cctype>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <map>
#include <set>
#include <sys/stat.h>

namespace {

// Names that break careless lists: markup, URL syntax, a line break, a leading "#", bytes that
// are not UTF-8, a decomposed accent, a character beyond the BMP, a control character.
const QByteArray kAwkward[] = {
    "Rock & Roll <live> \"1\" 'x' 100% ?=+.mp3",
    "100%25 pure.mp3",
    "line\nbreak.mp3",
    "#hash.mp3",
    "caf\xE9.mp3",
    "Que\xCC\x81"
    "bec.mp3",
    "\xF0\x9F\x8E\xB5 note.mp3",
    "ctl\x01.mp3",
    "Track 10.mp3",
    "Track 2.mp3",
};

struct Tree {
    TempTree tree;
    Tree()
    {
        for (const QByteArray &name : kAwkward)
            tree.file("music/" + name, "x");
        tree.file("music/Album One/Sub/deep.mp3", "xyz");
        tree.file("music/Album One/first.mp3");
        tree.file("music/caf\xE9 dir/inside.mp3");
        tree.dir("out");
    }
    QByteArray music() const { return tree.path("music"); }
};

RunResult runWith(const Tree &t, ListingSettings settings, std::vector<OutputRequest> outputs,
                  bool classic = true, const QString &name = QStringLiteral("list.txt"))
{
    RecordingHost host(t.music(), t.tree.path("out"), name);
    settings.AutoUpdate = true;
    Engines engines(settings, host.host());
    engines.classicList = classic;
    engines.outputs = std::move(outputs);
    engines.Command1_Click();
    return {engines.outcome, host.events, host.boxes, host.statusTexts};
}

QString str(const QByteArray &bytes)
{
    return QString::fromUtf8(bytes);
}

// A name as the JSON document gives it: its raw bytes where they are not UTF-8.
QByteArray jsonName(const QJsonObject &entry)
{
    if (entry.contains(QStringLiteral("bytes")))
        return QByteArray::fromBase64(entry[QStringLiteral("bytes")].toString().toLatin1());
    return entry[QStringLiteral("name")].toString().toUtf8();
}

// As a URL reader decodes: "%" and two hex digits only.
QByteArray percentDecoded(const QByteArray &text)
{
    QByteArray out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        bool hex = false;
        const int value =
            i + 2 < text.size() && text[i] == '%' ? text.mid(i + 1, 2).toInt(&hex, 16) : 0;
        if (hex && std::isxdigit(uchar(text[i + 1])) && std::isxdigit(uchar(text[i + 2]))) {
            out += char(value);
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

bool exists(const QByteArray &path)
{
    struct stat st {};
    return ::stat(path.constData(), &st) == 0 && S_ISREG(st.st_mode);
}

// Every file of the tree, by its path below the source.
std::set<QByteArray> filesBelow()
{
    std::set<QByteArray> files;
    for (const QByteArray &name : kAwkward)
        files.insert(name);
    files.insert("Album One/Sub/deep.mp3");
    files.insert("Album One/first.mp3");
    files.insert("caf\xE9 dir/inside.mp3");
    return files;
}

} // namespace

TEST(Outputs, ThePageIsAsciiValidAndEveryLinkLeadsToItsFile)
{
    Tree t;
    t.tree.file("music/Album One/first.mp3", QByteArray(1250, 'x')); // 1.25 kB: rounded up
    ListingSettings s = plainSettings();
    s.TitleHTML = QStringLiteral("Ma <musique> & moi");
    s.FileLangue = 1;
    const RunResult r = runWith(t, s, {{OutputFormat::Page, t.tree.path("out/index.html")}});
    ASSERT_EQ(r.outcome.end, RunEnd::Written);
    const QByteArray page = t.tree.read("out/index.html");
    for (const char c : page)
        ASSERT_TRUE(uchar(c) < 0x80) << "a byte beyond ASCII";
    EXPECT_TRUE(page.startsWith("<!DOCTYPE html>\n<html lang=\"fr\">"));
    EXPECT_TRUE(page.contains("<title>Ma &lt;musique&gt; &amp; moi</title>"));
    EXPECT_TRUE(page.contains("Qu&#233;bec")); // composed, as a reference
    EXPECT_TRUE(page.contains("En tout : 3 r&#233;pertoires, 13 morceaux"));
    EXPECT_TRUE(page.contains(">first</a> <small>1,3 ko</small>\n"));
    EXPECT_TRUE(page.contains(">deep</a> <small>3 o</small>\n"));

    QProcess tidy;
    tidy.start(QStringLiteral("tidy"), {"-q", "-e", str(t.tree.path("out/index.html"))});
    ASSERT_TRUE(tidy.waitForFinished()) << "tidy is needed";
    EXPECT_LT(tidy.exitCode(), 2) << tidy.readAllStandardError().constData(); // 1: warnings

    std::set<QByteArray> linked;
    // Quoted, or bare where nothing in it needs quotes.
    const QRegularExpression href(QStringLiteral("href=(?:\"([^\"]*)\"|([^\\s\"'>]+))"));
    for (const auto &match : href.globalMatch(QString::fromLatin1(page))) {
        const QByteArray target =
            percentDecoded((match.captured(1) + match.captured(2)).toLatin1());
        if (target.startsWith("http"))
            continue; // the home page
        EXPECT_TRUE(exists(t.tree.path("out/") + target)) << target.constData();
        linked.insert(target.mid(QByteArray("../music/").size()));
    }
    EXPECT_EQ(linked, filesBelow());
}

TEST(Outputs, ThePlaylistPlaysLocallyAndServedAndNoNameBreaksALine)
{
    Tree t;
    ListingSettings s = plainSettings();
    const RunResult r = runWith(t, s, {{OutputFormat::Playlist, t.music() + "/all.m3u8"}});
    ASSERT_EQ(r.outcome.end, RunEnd::Written);
    const QList<QByteArray> lines = t.tree.read("music/all.m3u8").split('\n');
    ASSERT_EQ(lines.first(), QByteArray("#EXTM3U"));
    ASSERT_EQ(lines[1], QByteArray("# Lystora v1.52.1016")); // its mark, a comment to players
    std::set<QByteArray> entries;
    for (qsizetype i = 2; i + 1 < lines.size(); i += 2) {
        ASSERT_TRUE(lines[i].startsWith("#EXTINF:-1,")) << lines[i].constData();
        const QByteArray &place = lines[i + 1];
        ASSERT_FALSE(place.startsWith('#'));
        // Raw where it can stand on its line, a relative URL where it cannot.
        const QByteArray path = exists(t.music() + '/' + place) ? place : percentDecoded(place);
        EXPECT_TRUE(exists(t.music() + '/' + path)) << place.constData();
        entries.insert(path);
    }
    EXPECT_EQ(entries, filesBelow());
    EXPECT_TRUE(lines.contains("Album One/Sub/deep.mp3"));
    EXPECT_TRUE(lines.contains("line%0Abreak.mp3"));
    // What a URL would read otherwise (a comment, a fragment, a query, an escape) is encoded.
    EXPECT_TRUE(lines.contains("%23hash.mp3"));
    EXPECT_TRUE(lines.contains("caf%E9.mp3"));
    EXPECT_TRUE(lines.contains("100%2525 pure.mp3"));
    EXPECT_TRUE(lines.contains("Rock & Roll <live> \"1\" 'x' 100% %3F=+.mp3"));

    s.DownAllow = true;
    s.BaseUrl = QStringLiteral("http://music.example/m/");
    runWith(t, s, {{OutputFormat::Playlist, t.music() + "/all.m3u8"}});
    EXPECT_TRUE(t.tree.read("music/all.m3u8")
                    .contains("\nhttp://music.example/m/Album%20One/Sub/deep.mp3\n"));
}

// Tags of a stranger's upload, as a cache would give them back.
class KnownTags : public TrackInfoSource
{
public:
    TrackInfo info;
    bool request(quint64, const QByteArray &, const QByteArray &, const QByteArray &,
                 const FileStat &, const std::function<int()> &, TrackInfo *known,
                 const Answer &) override
    {
        *known = info;
        return true;
    }
    void collect(bool, const Answer &) override {}
    int due() const override { return 0; }
    void abandon() override {}
    void runEnded(const QByteArray &, bool) override {}
};

// Tags that come later, one at each collect, as readers give them.
class LateTags : public KnownTags
{
public:
    std::vector<quint64> waiting;
    bool request(quint64 ticket, const QByteArray &, const QByteArray &, const QByteArray &,
                 const FileStat &, const std::function<int()> &, TrackInfo *,
                 const Answer &) override
    {
        waiting.push_back(ticket);
        return false;
    }
    void collect(bool, const Answer &answer) override
    {
        if (waiting.empty())
            return;
        const quint64 ticket = waiting.back();
        waiting.pop_back();
        answer(ticket, info);
    }
    int due() const override { return int(waiting.size()); }
};

TEST(Outputs, WhileTagsAreWaitedForTheRunSaysHowManyOfHowManyCame)
{
    TempTree tree;
    for (const char *name : {"music/a.mp3", "music/b.mp3", "music/c.mp3"})
        tree.file(name);
    LateTags tags;
    RecordingHost host(tree.path("music"), tree.path("music"), QStringLiteral("list.txt"));
    ListingSettings s = plainSettings();
    s.AutoUpdate = s.ReadTags = true;
    Engines engines(s, host.host());
    engines.trackInfo = &tags;
    engines.outputs = {{OutputFormat::Json, tree.path("music/all.json")}};
    engines.Command1_Click();
    ASSERT_EQ(engines.outcome.end, RunEnd::Written);
    EXPECT_EQ(host.tagsRead, QStringList({"1/3", "2/3", "3/3"}));
}

TEST(Outputs, NoTagOrNameMakesAPlaylistEntryOfItsOwnOrTurnsWhatFollows)
{
    TempTree tree;
    tree.file("music/http:evil.example/x.mp3"); // a folder named like a scheme
    KnownTags tags;
    tags.info.read = true;
    tags.info.artist = QStringLiteral("A\u202E"); // an override, never closed
    tags.info.title =
        QStringLiteral("T\u2028/etc/passwd\x0B\u0085x\u2066y"); // line ends, an isolate
    RecordingHost host(tree.path("music"), tree.path("music"), QStringLiteral("list.txt"));
    ListingSettings s = plainSettings();
    s.AutoUpdate = s.ReadTags = true;
    s.ListingType = 2;
    Engines engines(s, host.host());
    engines.trackInfo = &tags;
    engines.outputs = {{OutputFormat::Playlist, tree.path("music/all.m3u8")}};
    engines.Command1_Click();
    const QString playlist = QString::fromUtf8(tree.read("music/all.m3u8"));
    ASSERT_EQ(engines.outcome.end, RunEnd::Written) << playlist.toStdString();
    // As Python's str.splitlines() reads it: still one entry.
    QStringList lines;
    QString line;
    for (const QChar c : playlist) {
        const char16_t u = c.unicode();
        if (u == '\n' || u == '\r' || u == 0x0B || u == 0x0C || (u >= 0x1C && u <= 0x1E) ||
            u == 0x85 || u == 0x2028 || u == 0x2029) {
            lines << line;
            line.clear();
        } else {
            line += c;
        }
    }
    EXPECT_EQ(lines, QStringList({"#EXTM3U", "# Lystora v1.52.1016",
                                  QStringLiteral("#EXTINF:-1,A\u202E - T /etc/passwd  x\u2066y"
                                                 "\u2069\u202C"),
                                  "./http:evil.example/x.mp3"}));
}

TEST(Outputs, TheJsonDocumentHoldsTheTreeAndTheRawBytesOfNamesThatAreNotUtf8)
{
    Tree t;
    // Times as the JSON tells them: by hand from 1970 on, by Qt before.
    const std::pair<const char *, qint64> times[] = {{"music/Track 2.mp3", 951868799},
                                                     {"music/Track 10.mp3", 0},
                                                     {"music/#hash.mp3", -304776000}};
    for (const auto &[path, seconds] : times) {
        const struct timespec both[2] = {{seconds, 0}, {seconds, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, t.tree.path(path).constData(), both, 0), 0);
    }
    const RunResult r =
        runWith(t, plainSettings(), {{OutputFormat::Json, t.tree.path("out/music.json")}});
    ASSERT_EQ(r.outcome.end, RunEnd::Written);
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(t.tree.read("out/music.json"), &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString();
    const QJsonObject root = doc.object();
    EXPECT_EQ(root[QStringLiteral("generator")].toString(), QStringLiteral("Lystora v1.52.1016"));
    EXPECT_EQ(root[QStringLiteral("source")].toString(), str(t.music()));
    std::set<QByteArray> files;
    std::map<QByteArray, QString> modified;
    std::function<void(const QJsonObject &, const QByteArray &)> visit =
        [&](const QJsonObject &folder, const QByteArray &below) {
            for (const QJsonValue &file : folder[QStringLiteral("files")].toArray()) {
                const QByteArray path = below + jsonName(file.toObject());
                EXPECT_EQ(file.toObject()[QStringLiteral("size")].toInt(),
                          path.endsWith("deep.mp3") ? 3
                          : path.contains('/')      ? 0
                                                    : 1);
                if (path.contains('/')) { // the folder's bytes and the name's, as text
                    EXPECT_EQ(file.toObject()[QStringLiteral("path")].toString(), str(path));
                }
                files.insert(path);
                modified[path] = file.toObject()[QStringLiteral("modified")].toString();
            }
            for (const QJsonValue &sub : folder[QStringLiteral("folders")].toArray())
                visit(sub.toObject(), below + jsonName(sub.toObject()) + '/');
        };
    visit(root[QStringLiteral("folder")].toObject(), QByteArray());
    EXPECT_EQ(files, filesBelow());
    EXPECT_EQ(modified["Track 2.mp3"], QStringLiteral("2000-02-29T23:59:59Z"));
    EXPECT_EQ(modified["Track 10.mp3"], QStringLiteral("1970-01-01T00:00:00Z"));
    EXPECT_EQ(modified["#hash.mp3"], QStringLiteral("1960-05-05T12:00:00Z"));
    // The same files in a flat list, each with its folder, in the tree's order.
    std::set<QByteArray> tracks;
    for (const QJsonValue &track : root[QStringLiteral("tracks")].toArray()) {
        const QByteArray folder = track[QStringLiteral("folder")].toString().toUtf8();
        tracks.insert((folder.isEmpty() ? folder : folder + '/') + jsonName(track.toObject()));
    }
    EXPECT_EQ(tracks.size(), files.size());
    EXPECT_EQ(tracks.count("Album One/Sub/deep.mp3"), 1u);
    const QJsonObject totals = root[QStringLiteral("totals")].toObject();
    EXPECT_EQ(totals[QStringLiteral("files")].toInt(), 13);
    EXPECT_FALSE(totals.contains(QStringLiteral("duration"))); // no tags read: unknown, not 0
    EXPECT_EQ(root[QStringLiteral("format")].toInt(), 2);
}

TEST(Outputs, EveryListComesFromOneWalkInTheOrderAsked)
{
    Tree t;
    ListingSettings s = plainSettings(); // listing type 0: the classic list shows the source only
    s.NaturalOrder = true;
    const RunResult r = runWith(t, s, {{OutputFormat::Playlist, t.tree.path("out/all.m3u8")}});
    ASSERT_EQ(r.outcome.end, RunEnd::Written);
    EXPECT_EQ(r.outcome.lists.size(), 2u);
    const QByteArray classic = t.tree.read("out/list.txt");
    EXPECT_TRUE(classic.indexOf("Track 2") < classic.indexOf("Track 10")); // by value
    EXPECT_FALSE(classic.contains("deep"));
    EXPECT_TRUE(t.tree.read("out/all.m3u8").contains("Sub/deep.mp3")); // the whole tree
}

TEST(Outputs, TwoListsInOneFileAreRefusedAndAFailingListLeavesTheOthers)
{
    Tree t;
    t.tree.file("out/list.txt", "OLD");
    const RunResult same =
        runWith(t, plainSettings(), {{OutputFormat::Page, t.tree.path("out/list.txt")}});
    EXPECT_EQ(same.outcome.end, RunEnd::Failed);
    EXPECT_TRUE(same.boxes.back().text.endsWith(
        QStringLiteral("Two lists would be written to this file: nothing was written.")));
    EXPECT_EQ(t.tree.read("out/list.txt"), QByteArray("OLD"));
    // The same file named through a linked folder, or through a link to it.
    t.tree.link(t.tree.path("out"), "alias");
    t.tree.link("list.txt", "out/current.txt");
    for (const QByteArray &other :
         {t.tree.path("alias/list.txt"), t.tree.path("out/current.txt")}) {
        const RunResult linked = runWith(t, plainSettings(), {{OutputFormat::Json, other}});
        EXPECT_EQ(linked.outcome.end, RunEnd::Failed) << other.constData();
        EXPECT_EQ(t.tree.read("out/list.txt"), QByteArray("OLD"));
    }

    const RunResult one = runWith(t, plainSettings(),
                                  {{OutputFormat::Page, t.tree.path("gone/index.html")},
                                   {OutputFormat::Json, t.tree.path("out/music.json")}});
    EXPECT_EQ(one.outcome.end, RunEnd::Failed);
    EXPECT_EQ(one.outcome.failedLists, 1);
    EXPECT_EQ(one.outcome.lists.size(), 2u); // the classic list and the JSON are in place
    EXPECT_NE(t.tree.read("out/list.txt"), QByteArray("OLD"));
    EXPECT_TRUE(t.tree.read("out/music.json").endsWith("}}\n"));

    // Without the classic list, the page alone.
    const RunResult page =
        runWith(t, plainSettings(), {{OutputFormat::Page, t.tree.path("out/only.html")}}, false);
    EXPECT_EQ(page.outcome.end, RunEnd::Written);
    EXPECT_EQ(page.outcome.lists.size(), 1u);
}
