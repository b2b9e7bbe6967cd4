// The source lists on the file system: what counts as a file or a directory, the pattern, and
// an order that never changes between two readings.

#include "engine/file_pattern.h"
#include "engine/fs_lists.h"
#include "engine/listing_model.h"
#include "engine/name_list.h"
#include "engine/name_order.h"
#include "support/test_support.h"

#include <functional>
#include <gtest/gtest.h>
#include <random>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

struct Lists {
    FsDirectoryReader reader;
    FsDirList dir1{reader};
    FsFileList file1{reader};
    explicit Lists(const QByteArray &path, const QString &pattern = QStringLiteral("*"))
    {
        dir1.onChange = [this] { file1.setPath(dir1.path()); };
        file1.setPattern(pattern);
        dir1.setPath(path);
    }
    QStringList files()
    {
        QStringList names;
        for (int k = 0; k < file1.fileCount(); ++k)
            names << file1.fileName(k).text;
        return names;
    }
    QStringList dirs()
    {
        QStringList paths;
        for (int i = 0; i < dir1.subDirCount(); ++i)
            paths << QString::fromUtf8(dir1.subDirPath(i));
        return paths;
    }
};

bool matches(const char *pattern, const QString &name)
{
    return FilePattern(QString::fromUtf8(pattern)).matches(name);
}

} // namespace

TEST(FsLists, OnlyVisibleOrdinaryFilesAndDirectoriesAreListed)
{
    TempTree tree;
    tree.file("song.mp3");
    tree.file(".hidden.mp3");
    tree.dir(".git");
    tree.dir("Album");
    tree.file("elsewhere/linked.mp3");
    tree.link(tree.path("elsewhere/linked.mp3"), "link.mp3");
    tree.link("nowhere.mp3", "broken.mp3");
    tree.link(tree.path("Album"), "AlbumLink");
    ASSERT_EQ(::mkfifo(tree.path("pipe.mp3").constData(), 0644), 0);
    const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray socketPath = tree.path("socket.mp3");
    ASSERT_LT(std::size_t(socketPath.size()), sizeof address.sun_path);
    std::copy(socketPath.begin(), socketPath.end(), address.sun_path);
    ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);

    Lists lists(tree.path());
    EXPECT_EQ(lists.files(), QStringList({"link.mp3", "song.mp3"}));
    EXPECT_EQ(lists.dirs(), QStringList({QString::fromUtf8(tree.path("Album")),
                                         QString::fromUtf8(tree.path("AlbumLink")),
                                         QString::fromUtf8(tree.path("elsewhere"))}));
    ::close(sock);
}

TEST(FsLists, PatternsAreSemicolonSeparatedWildcardsWithoutRegardToCase)
{
    EXPECT_TRUE(matches("*.mp3", QStringLiteral("Song.MP3")));
    EXPECT_FALSE(matches("*.mp3", QStringLiteral("Song.mp3.jpg")));
    EXPECT_TRUE(matches(" *.aac ;  *.mp3 ", QStringLiteral("a.mp3")));
    EXPECT_TRUE(matches("*.mp3;;", QStringLiteral("a.mp3")));
    EXPECT_FALSE(matches("*.mp3;;", QStringLiteral("a.ogg")));
    EXPECT_TRUE(matches("[live]*", QStringLiteral("[Live] One.mp3")));
    EXPECT_FALSE(matches("[live]*", QStringLiteral("l.mp3")));
    EXPECT_TRUE(matches("?.mp3", QStringLiteral("🎵.mp3"))); // one character, not one unit
    EXPECT_FALSE(matches("?.mp3", QStringLiteral("ab.mp3")));
    EXPECT_TRUE(matches("été*", QStringLiteral("ÉTÉ 1999.mp3")));
    EXPECT_TRUE(matches("a*b*c", QStringLiteral("aXbYbZc")));
    EXPECT_FALSE(matches("a*b*c", QStringLiteral("aXbYbZ")));
    EXPECT_TRUE(matches("", QStringLiteral("anything")));
    EXPECT_TRUE(matches(" ; ", QStringLiteral("anything")));
    // A "*" in a name is a character like any other, facing a star of the pattern too.
    EXPECT_TRUE(matches("*.mp3", QStringLiteral("*NSYNC - Bye Bye Bye.mp3")));
    EXPECT_TRUE(matches("a*.mp3", QStringLiteral("a*b.mp3")));
    // Against a matcher that tries every way, on short names and patterns of a, b, * and ?.
    const std::function<bool(QStringView, QStringView)> reference = [&](QStringView p,
                                                                        QStringView n) {
        if (p.isEmpty())
            return n.isEmpty();
        if (p[0] == QLatin1Char('*'))
            return reference(p.mid(1), n) || (!n.isEmpty() && reference(p, n.mid(1)));
        return !n.isEmpty() && (p[0] == QLatin1Char('?') || p[0] == n[0]) &&
               reference(p.mid(1), n.mid(1));
    };
    const QString letters = QStringLiteral("ab*?");
    for (int i = 0; i < 20000; ++i) {
        QString pattern;
        QString name;
        for (int k = 0, seed = i; k < 4; ++k, seed /= 4)
            pattern += letters[seed % 4];
        for (int k = 0, seed = i * 7919; k < (i % 6); ++k, seed /= 3)
            name += letters[seed % 3]; // a, b and *
        ASSERT_EQ(FilePattern(pattern).matches(name), reference(pattern, name))
            << pattern.toStdString() << " " << name.toStdString();
    }
}

TEST(FsLists, OrderIgnoresCaseAndBreaksTiesTheSameWayEveryTime)
{
    TempTree tree;
    for (const char *name : {"b.mp3", "a.mp3", "A.mp3", "été.mp3", "Zed.mp3", "10.mp3", "2.mp3"})
        tree.file(name);
    for (const char *name : {"beta", "Alpha", "alpha"})
        tree.dir(name);
    Lists lists(tree.path(), QStringLiteral("*.mp3"));
    const QStringList expected = {"10.mp3", "2.mp3",   "A.mp3",  "a.mp3",
                                  "b.mp3",  "Zed.mp3", "été.mp3"};
    EXPECT_EQ(lists.files(), expected);
    lists.dir1.setPath(tree.path()); // read again: the same positions
    EXPECT_EQ(lists.files(), expected);
    QStringList dirNames;
    for (const QString &path : lists.dirs())
        dirNames << path.section(QLatin1Char('/'), -1);
    EXPECT_EQ(dirNames, QStringList({"Alpha", "alpha", "beta"}));
}

// The compact lists sort from the bytes: they must agree with the order of decoded names on any
// bytes a name may hold, cased letters of every script, invalid UTF-8 and characters beyond the
// BMP (compared unit by unit, as QString compares them) included.
TEST(FsLists, CompactSortAgreesWithTheOrderOfDecodedNames)
{
    const std::vector<QByteArray> pieces = {"a",
                                            "A",
                                            "b",
                                            "Z",
                                            "z",
                                            "0",
                                            "9",
                                            " ",
                                            ".",
                                            "_",
                                            "~",
                                            "é",
                                            "É",
                                            "ß",
                                            "ẞ",
                                            "ſ",
                                            "K",
                                            "Σ",
                                            "σ",
                                            "ς",
                                            "İ",
                                            "ı",
                                            "Ǆ",
                                            "ǅ",
                                            "ǆ",
                                            "Ω",
                                            "Ω",
                                            "ﬀ",
                                            "𐐀",
                                            "𐐨",
                                            "🎵",
                                            "\xef\xbf\xbd",
                                            "\xff",
                                            "\xc3",
                                            "\x80",
                                            "\xed\xa0\x80",
                                            "\xf4\x90\x80\x80",
                                            "\xe2\x82",
                                            "\xc0\xaf",
                                            "\xef\xbf\xbf",
                                            "track 0",
                                            "Track 1"};
    std::mt19937 random(20261206);
    for (int round = 0; round < 200; ++round) {
        NameList names;
        std::vector<ListedName> expected;
        const int count = 1 + int(random() % 80); // below and above what is sorted with prefixes
        for (int n = 0; n < count; ++n) {
            QByteArray name;
            const int parts = 1 + int(random() % 5);
            for (int k = 0; k < parts; ++k)
                name += pieces[random() % pieces.size()];
            names.append(name.constData(), std::size_t(name.size()));
            expected.push_back({name, QString::fromUtf8(name)});
        }
        for (const bool natural : {false, true}) {
            const ListOrder order(natural, 0);
            NameList sorted = names;
            sorted.sort(order);
            std::vector<ListedName> byText = expected;
            std::stable_sort(byText.begin(), byText.end(), order);
            ASSERT_EQ(sorted.size(), int(byText.size()));
            for (int i = 0; i < sorted.size(); ++i)
                ASSERT_EQ(sorted.bytes(i), byText[std::size_t(i)].bytes)
                    << "round " << round << " position " << i << (natural ? " natural" : "");
        }
    }
}

TEST(FsLists, SettingAPathAgainReadsTheDirectoryAnew)
{
    TempTree tree;
    tree.file("a.mp3");
    Lists lists(tree.path(), QStringLiteral("*.mp3"));
    EXPECT_EQ(lists.files(), QStringList({"a.mp3"}));
    tree.file("b.mp3");
    EXPECT_EQ(lists.files(), QStringList({"a.mp3"})); // one reading serves until the path is set
    lists.dir1.setPath(tree.path());
    EXPECT_EQ(lists.files(), QStringList({"a.mp3", "b.mp3"}));
}

// A watcher lives for months over a folder whose links come and go: what it keeps of them must
// go with them, and what it kept through a link must not outlive the link's check.
TEST(ListingModel, WhatLinksLeftBehindGoesWithThem)
{
    ListingModel model;
    model.watched = [](const FileIdentity &) { return true; };
    auto reading = [](std::uint64_t inode, const QByteArray &link) {
        auto listing = std::make_shared<DirListing>();
        listing->identity = FileIdentity{1, inode};
        listing->namesRead = true;
        if (!link.isEmpty()) {
            listing->links = std::make_unique<NameList>();
            listing->links->append(link.constData(), std::size_t(link.size()));
        }
        return listing;
    };
    model.setRoot("/src");
    qsizetype held = 0;
    for (int i = 0; i <= 200; ++i) {
        const QByteArray link = "link-" + QByteArray::number(i).rightJustified(3, '0');
        model.keep("/src", reading(1, link));
        model.keep("/src/" + link, reading(2, {}));
        if (i == 0)
            held = model.footprint();
    }
    EXPECT_EQ(model.footprint(), held);
    model.keep("/src-other", reading(3, {})); // beside the root, not below it
    EXPECT_EQ(model.footprint(), held);

    // Gone from its folder's reading, a link takes with it what was kept through it: that is
    // no longer checked to lead where it led (here a folder of its own has taken its name).
    TempTree tree;
    tree.dir("real");
    tree.link("real", "lnk");
    FileIdentity source, real;
    ASSERT_EQ(directoryIdentity(tree.path(), &source), 0);
    ASSERT_EQ(directoryIdentity(tree.path() + "/real", &real), 0);
    model.setRoot(tree.path() + '/');
    model.keep(tree.path(), reading(source.inode, "lnk"));
    auto through = reading(real.inode, {});
    through->identity = real;
    model.keep(tree.path() + "/lnk", through);
    ASSERT_EQ(model.find(tree.path() + "/lnk"), through);
    ASSERT_EQ(::unlink((tree.path() + "/lnk").constData()), 0);
    tree.dir("lnk");
    model.keep(tree.path(), reading(source.inode, {}));
    EXPECT_EQ(model.find(tree.path() + "/lnk"), nullptr);
}
