// The bytes of a list: header and footer in every form, Windows-1252, entry and directory lines
// of each listing type, and names that must not break the list or the page.

#include "engine/entry_lines.h"
#include "engine/header_footer.h"
#include "engine/windows1252.h"
#include "platform/lossless_text.h"
#include "support/test_support.h"

#include <gtest/gtest.h>
#include <random>

namespace {

const QByteArray kHome = "http://www.korvane.net/lya/";

QByteArray htmlHeader(const QByteArray &title, const QByteArray &madeBy, const QByteArray &files)
{
    return "<html>\r\n<head>\r\n<title>" + title +
           "</title>\r\n<meta name=\"GENERATOR\" content=\"Lystora v1.52.1016\">\r\n</head>\r\n"
           "<p align=\"center\">\r\n<big>" +
           madeBy + "</big>\r\n</p><hr><p align=\"center\"><big>" + files + "</big></p><hr><big>";
}

QByteArray textHeader(const QByteArray &madeBy, bool french)
{
    const QByteArray frame = french ? "############" : "#########";
    return madeBy + "\r\n\r\n" + frame + "\r\n" + (french ? "# FICHIERS #" : "# FILES #") + "\r\n" +
           frame + "\r\n";
}

// Bytes of a list made from a source holding a.mp3 and Live/b.mp3.
QByteArray listOfSmallTree(ListingSettings settings)
{
    TempTree tree;
    tree.file("src/a.mp3");
    tree.file("src/Live/b.mp3");
    tree.dir("out");
    runListing(settings, tree.path("src"), tree.path("out"));
    return tree.read("out/audio.txt");
}

QByteArray body(const QByteArray &list, const ListingSettings &settings)
{
    const QByteArray header = listHeader(settings, {}, {}).toLatin1();
    const QByteArray footer = listFooter(settings).toLatin1();
    if (!list.startsWith(header) || !list.endsWith(footer))
        return "<no header or footer>";
    return list.mid(header.size(), list.size() - header.size() - footer.size());
}

QByteArray encoded(const QString &text, Unrepresentable mode)
{
    QByteArray out;
    appendWindows1252(out, text, mode);
    return out;
}

} // namespace

TEST(ListBytes, EveryHeaderAndFooterByteForByte)
{
    const QByteArray madeBy[2][2] = {
        {"List created by LYA v1.52.1016",
         "List created on the 07-03-1999 at 14:05:09 by LYA v1.52.1016"},
        {"Liste g\xE9n\xE9r\xE9"
         "e par LYA v1.52.1016",
         "Liste g\xE9n\xE9r\xE9"
         "e le 07-03-1999 \xE0 14:05:09 par LYA v1.52.1016"},
    };
    const QByteArray footers[2][2] = {
        {"\r\n\r\nDownload Lystora v1.52.1016 at " + kHome,
         "</p><hr><p align=\"center\">Download Lystora v1.52.1016 at <a href=\"" + kHome + "\">" +
             kHome + "</a></p>"},
        {"\r\n\r\nT\xE9l\xE9"
         "chargez Lystora v1.52.1016 \xE0 cette adresse: " +
             kHome,
         "</p><hr><p align=\"center\">T\xE9l\xE9"
         "chargez Lystora v1.52.1016 sur le <a href=\"" +
             kHome + "\">" + kHome + "</a></p>"},
    };
    for (int french : {0, 1}) {
        for (bool html : {false, true}) {
            for (bool time : {false, true}) {
                // An empty source listed with type 1: the file is the header and the footer.
                ListingSettings settings = plainSettings();
                settings.ListingType = 1;
                settings.FileLangue = french;
                settings.Langue = 1 - french; // the interface language plays no part
                settings.HTML = html;
                settings.ShowTime = time;
                settings.TitleHTML = QStringLiteral("Mes <MP3> & moi");
                TempTree tree;
                tree.dir("src");
                runListing(settings, tree.path("src"), tree.path());
                const QByteArray header = html ? htmlHeader("Mes <MP3> & moi", madeBy[french][time],
                                                            french ? "Fichiers" : "Files")
                                               : textHeader(madeBy[french][time], french);
                EXPECT_EQ(tree.read("audio.txt"), header + footers[french][html])
                    << "french " << french << " html " << html << " time " << time;
            }
        }
    }
}

TEST(ListBytes, Windows1252HoldsAccentsInOneByteAndMarksWhatItCannotHold)
{
    EXPECT_EQ(encoded(QStringLiteral("é à € Ÿ"), Unrepresentable::QuestionMark),
              QByteArray("\xE9 \xE0 \x80 \x9F"));
    const QString foreign = QStringLiteral("Д🎵") + QChar(0xFFFD) + QChar(0xD800) + QLatin1Char('x');
    EXPECT_EQ(encoded(foreign, Unrepresentable::QuestionMark), QByteArray("????x"));
    EXPECT_EQ(encoded(foreign, Unrepresentable::CharacterReference),
              QByteArray("&#1044;&#127925;&#65533;&#65533;x"));
}

TEST(ListBytes, EachListingTypeInTextAndHtml)
{
    ListingSettings s = plainSettings();
    s.IncExt = true;
    s.ListingType = 0;
    EXPECT_EQ(body(listOfSmallTree(s), s), QByteArray("\r\na.mp3"));
    s.ListingType = 1;
    EXPECT_EQ(body(listOfSmallTree(s), s), QByteArray("\r\na.mp3\r\nLive"));
    s.ListingType = 2;
    EXPECT_EQ(body(listOfSmallTree(s), s), QByteArray("\r\na.mp3\r\n\r\n\tLive\r\nb.mp3"));

    s.HTML = true;
    s.IncExt = false;
    s.ListingType = 1;
    EXPECT_EQ(body(listOfSmallTree(s), s), QByteArray("<br>a<br>Live"));
    s.ListingType = 2;
    EXPECT_EQ(body(listOfSmallTree(s), s), QByteArray("<br>a</p><p>&nbsp;&nbsp;&nbsp; Live<br>b"));
    s.DownAllow = true;
    s.BaseUrl = QStringLiteral("http://h/m/");
    EXPECT_EQ(body(listOfSmallTree(s), s),
              QByteArray("<br><a href=\"http://h/m/a.mp3\">a</a></p><p>&nbsp;&nbsp;&nbsp; Live"
                         "<br><a href=\"http://h/m/Live/b.mp3\">b</a>"));
}

TEST(ListBytes, DisplayedNameDropsOnlyTheLastExtension)
{
    EXPECT_EQ(displayedName(QStringLiteral("a.b.mp3"), false), QStringLiteral("a.b"));
    EXPECT_EQ(displayedName(QStringLiteral("README"), false), QStringLiteral("README"));
    EXPECT_EQ(displayedName(QStringLiteral("trailing."), false), QStringLiteral("trailing."));
    EXPECT_EQ(displayedName(QStringLiteral(".mp3"), false), QString());
    EXPECT_EQ(displayedName(QStringLiteral("x"), false), QStringLiteral("x"));
    EXPECT_EQ(displayedName(QStringLiteral("a.b.mp3"), true), QStringLiteral("a.b.mp3"));
}

TEST(ListBytes, NamesCannotBreakALineOrInjectMarkupAndLinksUseTheRealBytes)
{
    ListingSettings s = plainSettings();
    s.HTML = true;
    s.DownAllow = true;
    s.BaseUrl = QStringLiteral("http://h/?q=a&b/"); // the user's own text: as typed
    const auto line = [&](const QByteArray &bytes, const QString &urlPath = QString()) {
        const ListedName name{bytes, QString::fromUtf8(bytes)};
        QString out;
        putEntryLine(out, s, urlPath, name, displayedName(name.text, s.IncExt));
        const QByteArray line = encoded(out, s.HTML ? Unrepresentable::CharacterReference
                                                    : Unrepresentable::QuestionMark);
        if (isPlainName(bytes)) { // written from its bytes: the same line
            QByteArray plain;
            QByteArrayView shown;
            appendPlainEntryLine(plain, s,
                                 encoded(QLatin1String("<br><a href=\"") + s.BaseUrl + urlPath,
                                         Unrepresentable::CharacterReference),
                                 bytes, &shown);
            EXPECT_EQ(plain, line);
        }
        return line;
    };
    EXPECT_EQ(line("Rock & Roll #1.mp3", QStringLiteral("A%20B/")),
              QByteArray("<br><a href=\"http://h/?q=a&b/A%20B/Rock%20%26%20Roll%20%231.mp3\">"
                         "Rock &amp; Roll #1</a>"));
    EXPECT_EQ(line("<script>\"x\".mp3"),
              QByteArray("<br><a href=\"http://h/?q=a&b/%3Cscript%3E%22x%22.mp3\">"
                         "&lt;script&gt;&quot;x&quot;</a>"));
    EXPECT_EQ(line("tab\there\r\n.mp3"),
              QByteArray("<br><a href=\"http://h/?q=a&b/tab%09here%0D%0A.mp3\">tab?here?"
                         "?</a>"));
    // A decomposed accent ("e" and U+0301, as macOS writes names) is shown as the one character.
    EXPECT_EQ(line("Que\xCC\x81"
                   "bec.mp3"),
              QByteArray("<br><a href=\"http://h/?q=a&b/Que%CC%81bec.mp3\">Qu\xE9"
                         "bec</a>"));
    EXPECT_EQ(line("\xFF\xC3\xA9\xD0\x94~.mp3"),
              QByteArray(
                  "<br><a href=\"http://h/?q=a&b/%FF%C3%A9%D0%94~.mp3\">&#65533;\xE9&#1044;~</a>"));

    s.DownAllow = false;
    EXPECT_EQ(line("a<b>.x.mp3"), QByteArray("<br>a&lt;b&gt;.x"));

    s.HTML = false; // text lists keep names as they are, but for what cannot be written
    EXPECT_EQ(line("Rock & Roll #1.mp3"), QByteArray("\r\nRock & Roll #1"));
    EXPECT_EQ(line("tab\there\xFF\xD0\x94.mp3"), QByteArray("\r\ntab?here?"
                                                            "?"));
    EXPECT_EQ(line("Que\xCC\x81"
                   "bec.mp3"),
              QByteArray("\r\nQu\xE9"
                         "bec"));

    ListingSettings d = plainSettings();
    d.ListingType = 2;
    d.HTML = true;
    QString dirLine;
    putDirectoryLine(dirLine, d, QStringLiteral("A&B\t<i>"));
    EXPECT_EQ(dirLine, QStringLiteral("</p><p>&nbsp;&nbsp;&nbsp; A&amp;B?&lt;i&gt;"));
    d.HTML = false;
    putDirectoryLine(dirLine, d, QStringLiteral("A&B\t<i>"));
    EXPECT_EQ(dirLine, QStringLiteral("\r\n\r\n\tA&B?<i>"));
}

TEST(ListBytes, RealFileNamesThatAreNotUtf8AreListedAndLinked)
{
    TempTree tree;
    tree.file("src/caf\xE9.mp3"); // Latin-1 bytes on a UTF-8 system
    tree.file("src/ok.mp3");
    tree.dir("out");
    ListingSettings s = plainSettings();
    s.HTML = true;
    s.DownAllow = true;
    s.AutoUpdate = true;
    s.BaseUrl = QStringLiteral("http://\u0414/"); // the link's start, beyond Windows-1252
    const RunResult result = runListing(s, tree.path("src"), tree.path("out"));
    ASSERT_EQ(result.outcome.end, RunEnd::Written);
    EXPECT_EQ(body(tree.read("out/audio.txt"), s),
              QByteArray("<br><a href=\"http://&#1044;/caf%E9.mp3\">caf&#65533;</a>"
                         "<br><a href=\"http://&#1044;/ok.mp3\">ok</a>"));
}

TEST(ListBytes, StatusBarShowsEachNameOnlyForHtml)
{
    TempTree tree;
    tree.file("src/One.mp3");
    tree.file("src/Two & Three.mp3");
    ListingSettings s = plainSettings();
    s.AutoUpdate = true;
    EXPECT_EQ(runListing(s, tree.path("src"), tree.path()).statusTexts,
              QStringList({QStringLiteral("Lystora v1.52.1016")}));
    s.HTML = true;
    EXPECT_EQ(runListing(s, tree.path("src"), tree.path()).statusTexts,
              QStringList({"One", "Two & Three", "Lystora v1.52.1016"}));
}

TEST(ListBytes, AnyBytesGivenAreTheBytesUsed)
{
    // Paths, names and settings go through text and back: every byte string must come back
    // whole, a U+FEFF ("music\xEF\xBB\xBF") and broken sequences included.
    const QByteArray pieces[] = {"a",
                                 "\xEF\xBB\xBF",
                                 "\xC3\xA9",
                                 "\xE9",
                                 "\xED\xA0\x80",
                                 "\xC0\x80",
                                 "\xF4\x90\x80\x80",
                                 "\xF0\x9F\x8E\xB5",
                                 "\xE2\x80",
                                 "\xFF",
                                 QByteArray(1, '\0'),
                                 "/"};
    std::mt19937 random(20261207);
    for (int round = 0; round < 5000; ++round) {
        QByteArray bytes;
        for (int i = 0, n = int(random() % 8); i < n; ++i)
            bytes += pieces[random() % std::size(pieces)];
        ASSERT_EQ(losslessBytes(losslessText(bytes)), bytes) << bytes.toHex().constData();
    }
    EXPECT_EQ(losslessText("music\xEF\xBB\xBF"), QStringLiteral("music\uFEFF"));
}
