#include "engine/bilingual_text.h"
#include "engine/entry_lines.h"
#include "engine/file_output.h"
#include "engine/fs_lists.h"
#include "engine/product.h"
#include "platform/fast_append.h"

#include <QFile>

#include <algorithm>
#include <cctype>

#include <vector>

namespace {

enum class PageText {
    Made,
    NoTitle,
    Total,
    Again,
    Tracks,
    Track,
    Albums,
    Album,
    Folders,
    Folder,
    // For the script, as data attributes: its strings never meet a script's own syntax.
    Search,
    Sort,
    SortOrder,
    SortTitle,
    SortArtist,
    SortAlbum,
    SortLength,
    SortAdded,
    Results,
    Player,
    Play,
    Pause,
    Previous,
    Next,
    Shuffle,
    RepeatOff,
    RepeatAll,
    RepeatOne,
    Seek,
    PlayFolder,
    Download,
    DownloadOf,
    NoMatch,
    Cannot,
};

const BilingualText<PageText> kTexts[] = {
    {PageText::Made, "List created on %1 by %2", "Liste générée le %1 par %2"},
    {PageText::NoTitle, "Music", "Musique"},
    {PageText::Total, "In all: %1", "En tout : %1"},
    {PageText::Again, "listed above", "listé plus haut"},
    {PageText::Tracks, "%1 tracks", "%1 morceaux"},
    {PageText::Track, "1 track", "1 morceau"},
    {PageText::Albums, "%1 albums", "%1 albums"},
    {PageText::Album, "1 album", "1 album"},
    {PageText::Folders, "%1 folders", "%1 répertoires"},
    {PageText::Folder, "1 folder", "1 répertoire"},
    {PageText::Search, "Search artists, albums, titles", "Chercher artistes, albums, titres"},
    {PageText::Sort, "Sort", "Trier"},
    {PageText::SortOrder, "In list order", "Dans l'ordre de la liste"},
    {PageText::SortTitle, "By title", "Par titre"},
    {PageText::SortArtist, "By artist", "Par artiste"},
    {PageText::SortAlbum, "By album", "Par album"},
    {PageText::SortLength, "By length", "Par durée"},
    {PageText::SortAdded, "Newest first", "Les plus récents d'abord"},
    {PageText::Results, "Search results", "Résultats de la recherche"},
    {PageText::Player, "Player", "Lecteur"},
    {PageText::Play, "Play", "Lecture"},
    {PageText::Pause, "Pause", "Pause"},
    {PageText::Previous, "Previous track", "Morceau précédent"},
    {PageText::Next, "Next track", "Morceau suivant"},
    {PageText::Shuffle, "Shuffle", "Lecture aléatoire"},
    {PageText::RepeatOff, "Repeat: off", "Répéter : non"},
    {PageText::RepeatAll, "Repeat: all", "Répéter : tout"},
    {PageText::RepeatOne, "Repeat: this track", "Répéter : ce morceau"},
    {PageText::Seek, "Position in the track", "Position dans le morceau"},
    {PageText::PlayFolder, "Play %1", "Écouter %1"},
    {PageText::Download, "Download", "Télécharger"},
    {PageText::DownloadOf, "Download %1", "Télécharger %1"},
    {PageText::NoMatch, "No match", "Aucun résultat"},
    {PageText::Cannot, "This browser cannot play %1: the next track plays.",
     "Ce navigateur ne peut pas lire %1 : le morceau suivant est lu."},
};

// The page's script and style, files of their own in the source, built into the program.
QByteArray asset(const char *name)
{
    QFile file(QStringLiteral(":/page/") + QLatin1String(name));
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    QByteArray bytes = file.readAll();
    // Nothing in them may end their element early.
    bytes.replace("</", "<\\/");
    return bytes;
}

// The page is ASCII alone: whatever charset a web server declares for it (UTF-8, ISO-8859-1 or
// none), it reads the same. Every other character is a numeric reference.
void appendHtml(QByteArray &out, const QString &text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        // Most of a page: characters that stand for themselves, a run at a time.
        qsizetype end = i;
        while (end < text.size() && text[end].unicode() >= 0x20 && text[end].unicode() < 0x7F &&
               text[end] != QLatin1Char('&') && text[end] != QLatin1Char('<') &&
               text[end] != QLatin1Char('>') && text[end] != QLatin1Char('"'))
            ++end;
        if (end > i) {
            const qsizetype at = out.size();
            out.resize(at + (end - i));
            for (char *to = out.data() + at; i < end; ++i)
                *to++ = char(text[i].unicode());
            if (i == text.size())
                break;
        }
        char32_t c = text[i].unicode();
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            c = QChar::surrogateToUcs4(text[i], text[i + 1]);
            ++i;
        } else if (text[i].isSurrogate()) {
            c = 0xFFFD;
        }
        switch (c) {
        case '&':
            appendBytes(out, "&amp;");
            break;
        case '<':
            appendBytes(out, "&lt;");
            break;
        case '>':
            appendBytes(out, "&gt;");
            break;
        case '"':
            appendBytes(out, "&quot;");
            break;
        default:
            if (c < 0x20 || c == 0x7F)
                appendBytes(out, '?');
            else if (c < 0x80)
                appendBytes(out, char(c));
            else
                appendBytes(out, "&#" + QByteArray::number(uint(c)) + ';');
        }
    }
}

QByteArray html(const QString &text)
{
    QByteArray out;
    out.reserve(text.size());
    appendHtml(out, text);
    return out;
}

// The web page of the tree: the folders as collapsible sections under headings of their depth,
// each track a link to its file with what is known of it. Written as the walk goes: a folder's
// counts (its sub-folders' included) are known at its end, and written there; nothing is held
// but the folders the walk stands in. The script (engine/page/player.js) makes it a player.
class PageOutput : public FileOutput
{
public:
    using FileOutput::FileOutput;

    bool wantsDetails() const override { return true; }

    int begin(const OutputContext &context) override
    {
        covers_.reset();
        if (context.covers && *context.covers)
            covers_ = (*context.covers)(request().path);
        const int error = FileOutput::begin(context);
        // Each folder's counts are made of these, in the list's language.
        albumWords_ = countWords(PageText::Album, PageText::Albums);
        trackWords_ = countWords(PageText::Track, PageText::Tracks);
        return error;
    }

    int finish() override
    {
        const int error = FileOutput::finish();
        if (covers_)
            covers_->finish(error == 0);
        covers_.reset();
        return error;
    }

    QString problem() const override { return covers_ ? covers_->problem() : QString(); }

    void discard() override
    {
        covers_.reset();
        FileOutput::discard();
    }

    void enter(const OutputDirectory &dir) override
    {
        closeFiles();
        Level &parent = levels_.back();
        ++parent.albums;
        ++totalFolders_;
        Level level;
        level.contentsListed = dir.contentsListed;
        level.path = dir.path;
        // The folder's own picture file, known now; else one embedded in a track, known later.
        QByteArray cover;
        if (covers_ && !dir.cover.isEmpty())
            cover = covers_->fromFile(
                [&] { return absoluteBelow(childPath(dir.path, dir.cover.view())); },
                dir.coverVersion.view());
        level.hasCover = !cover.isEmpty();
        levels_.push_back(level);
        const int heading = std::min(dir.depth + 1, 6);
        QByteArray &out = line_;
        out.resize(0);
        appendBytes(out, "<details id=\"/");
        appendPercentEncoded(out, dir.path, true);
        appendBytes(out, "\"><summary><h");
        appendBytes(out, char('0' + heading));
        appendBytes(out, '>');
        if (const QByteArrayView name = dir.name(); isPlainName(name))
            appendHtmlEscaped(out, name);
        else
            appendHtml(out, shownText(QString::fromUtf8(name)));
        appendBytes(out, "</h");
        appendBytes(out, char('0' + heading));
        appendBytes(out, '>');
        if (!cover.isEmpty())
            appendCover(out, cover);
        appendBytes(out, "</summary>\n");
        write(out);
    }

    void file(const OutputFile &file) override
    {
        Level &level = levels_.back();
        const TrackInfo *track = file.track && file.track->read ? file.track : nullptr;
        // The link: the same start for every file of a folder, then the name.
        if (!linkStartKnown_ || file.dir != linkDir_) {
            linkDir_ = file.dir;
            linkStartKnown_ = true;
            if (context().settings->DownAllow) {
                linkStart_ = html(linkBaseUrl(context().settings->BaseUrl)) +
                             percentEncoded(file.dir.isEmpty() ? file.dir : file.dir + '/', true);
            } else {
                linkStart_ = percentEncoded(wayTo(file.dir), true);
            }
            // What an unquoted attribute value may hold; percent-encoded names hold nothing else.
            linkStartBare_ = std::all_of(linkStart_.begin(), linkStart_.end(), [](char c) {
                return std::isalnum(uchar(c)) || QByteArrayView("%/._~-:").contains(c);
            });
        }
        QByteArray &out = line_;
        out.resize(0);
        if (!level.filesOpen) {
            appendBytes(out, "<ol class=\"t\">\n");
            level.filesOpen = true;
        }
        appendBytes(out, "<li data-m=");
        // The time of change in base 36, for the script's "newest first", kept short.
        appendNumber(
            out, file.statKnown ? std::max<qint64>(file.stat.modifiedNs / 1000000000, 0) : 0, 36);
        if (track && track->durationMs > 0) {
            appendBytes(out, " data-d=");
            appendNumber(out, (track->durationMs + 500) / 1000);
        }
        if (track && track->track > 0) {
            appendBytes(out, " data-k=");
            appendNumber(out, track->track);
        }
        // Unquoted when it can be, as most are: a few bytes a track on a page of 100,000.
        const bool quoted = !linkStartBare_;
        appendBytes(out, quoted ? "><a href=\"" : "><a href=");
        appendBytes(out, linkStart_);
        appendPercentEncoded(out, file.name->bytes, true);
        appendBytes(out, quoted ? "\">" : ">");
        if (track && !track->title.isEmpty())
            appendHtml(out, withoutControls(track->title));
        else if (QByteArrayView plain; plainShownName(context(), file, &plain))
            appendHtmlEscaped(out, plain);
        else
            appendHtml(out, shownName(context(), file));
        appendBytes(out, "</a>");
        if (track) {
            if (!track->artist.isEmpty()) {
                appendBytes(out, " <span class=\"a\">");
                appendHtml(out, withoutControls(track->artist));
                appendBytes(out, "</span>");
            }
            if (!track->album.isEmpty()) {
                appendBytes(out, " <span class=\"l\">");
                appendHtml(out, withoutControls(track->album));
                appendBytes(out, "</span>");
            }
            if (track->durationMs > 0) {
                appendBytes(out, " <time>");
                appendHtml(out, durationText(track->durationMs));
                appendBytes(out, "</time>");
            }
            level.durationMs += track->durationMs;
            if (covers_ && !level.hasCover && level.embedded.isEmpty() &&
                !track->picture.isEmpty()) {
                level.embedded = track->picture;
                level.embeddedIn = absolutePath(context(), file);
            }
        }
        if (file.statKnown) {
            appendBytes(out, " <small>");
            appendSizeText(out, file.stat.size, langue(), " "); // digits and letters: no escape
            appendBytes(out, "</small>");
            totalSize_ += file.stat.size;
        }
        appendBytes(out, '\n');
        write(out);
        ++level.tracks;
    }

    void leave() override
    {
        closeFiles();
        const Level level = std::move(levels_.back());
        levels_.pop_back();
        Level &parent = levels_.back();
        parent.tracks += level.tracks;
        parent.durationMs += level.durationMs;
        // A picture found in a track: at the end of the folder, which the script moves up.
        if (!level.embedded.isEmpty()) {
            const QByteArray cover = covers_->fromTrack(level.embeddedIn, level.embedded);
            if (!cover.isEmpty()) {
                QByteArray img;
                appendCover(img, cover);
                write(img + '\n');
            }
        }
        QByteArray &out = line_;
        out.resize(0);
        appendBytes(out, "<p class=\"n\">");
        if (level.contentsListed)
            appendCounts(out, level);
        else
            appendHtml(out, text(PageText::Again));
        appendBytes(out, "</p></details>\n");
        write(out);
    }

protected:
    Counted counted() const override { return {levels_.back().tracks, totalSize_}; }
    void replayed(const ReadyPiece &piece, const ReadyTags *tags) override
    {
        Level &level = levels_.back();
        level.tracks += piece.files;
        level.filesOpen = true;
        totalSize_ += piece.size;
        if (tags)
            level.durationMs += tags->durationMs;
        linkStartKnown_ = false;
    }
    // A picture found in a track is made at the folder's end, and must be again next time.
    bool keepsPiece() const override { return levels_.back().embedded.isEmpty(); }

private:
    struct Level {
        QByteArray path;
        bool hasCover = false;
        QByteArray embedded;   // the digest of a track's picture, when the folder has no file
        QByteArray embeddedIn; // that track
        int albums = 0;        // folders right below
        qint64 tracks = 0;     // files, those below included
        qint64 durationMs = 0;
        bool filesOpen = false;
        bool contentsListed = true;
    };

    int langue() const { return context().settings->FileLangue; }
    QString text(PageText key) const { return pickText(kTexts, key, langue()); }
    QString counted(qint64 n, PageText one, PageText many) const
    {
        return n == 1 ? text(one) : text(many).arg(n);
    }

    // "2 albums, 7 tracks, 0:17", from words made ready once a list.
    void appendCounts(QByteArray &out, const Level &level) const
    {
        if (level.albums > 0) {
            appendCounted(out, level.albums, albumWords_);
            appendBytes(out, ", ");
        }
        appendCounted(out, level.tracks, trackWords_);
        if (level.durationMs > 0) {
            appendBytes(out, ", ");
            appendHtml(out, durationText(level.durationMs));
        }
    }

    struct CountWords {
        QByteArray one, before, after; // "1 track"; "", " tracks"
    };
    CountWords countWords(PageText one, PageText many) const
    {
        const QString text = this->text(many);
        const qsizetype at = text.indexOf(QLatin1String("%1"));
        return {html(this->text(one)), html(text.left(at)), html(text.mid(at + 2))};
    }
    static void appendCounted(QByteArray &out, qint64 n, const CountWords &words)
    {
        if (n == 1) {
            appendBytes(out, words.one);
            return;
        }
        appendBytes(out, words.before);
        appendNumber(out, n);
        appendBytes(out, words.after);
    }

    QByteArray absoluteBelow(const QByteArray &relative) const
    {
        return childPath(context().source, relative);
    }

    // Its size set, so that nothing moves when it comes; loaded once it is near.
    static void appendCover(QByteArray &out, const QByteArray &address)
    {
        appendBytes(out, "<img class=\"c\" src=\"");
        appendBytes(out, address);
        appendBytes(out, "\" alt=\"\" width=\"64\" height=\"64\" loading=\"lazy\">");
    }

    void closeFiles()
    {
        Level &level = levels_.back();
        if (level.filesOpen)
            write("</ol>\n");
        level.filesOpen = false;
    }

    QByteArray scriptTexts() const
    {
        const std::pair<const char *, PageText> names[] = {
            {"search", PageText::Search},
            {"sort", PageText::Sort},
            {"sortOrder", PageText::SortOrder},
            {"sortTitle", PageText::SortTitle},
            {"sortArtist", PageText::SortArtist},
            {"sortAlbum", PageText::SortAlbum},
            {"sortLength", PageText::SortLength},
            {"sortAdded", PageText::SortAdded},
            {"results", PageText::Results},
            {"player", PageText::Player},
            {"play", PageText::Play},
            {"pause", PageText::Pause},
            {"previous", PageText::Previous},
            {"next", PageText::Next},
            {"shuffle", PageText::Shuffle},
            {"repeatOff", PageText::RepeatOff},
            {"repeatAll", PageText::RepeatAll},
            {"repeatOne", PageText::RepeatOne},
            {"seek", PageText::Seek},
            {"playFolder", PageText::PlayFolder},
            {"download", PageText::Download},
            {"downloadOf", PageText::DownloadOf},
            {"noMatch", PageText::NoMatch},
            {"cannot", PageText::Cannot},
            {"tracks", PageText::Tracks},
            {"track", PageText::Track},
        };
        QByteArray out = "<div id=\"x\" hidden";
        for (const auto &[name, key] : names) {
            appendBytes(out, " data-");
            // data-sortOrder is read as dataset.sortorder: attributes are lower case.
            for (const char *c = name; *c; ++c) {
                if (*c >= 'A' && *c <= 'Z') {
                    appendBytes(out, '-');
                    appendBytes(out, char(*c - 'A' + 'a'));
                } else {
                    appendBytes(out, *c);
                }
            }
            appendBytes(out, "=\"");
            // The script puts its own numbers and names where "%1" stands.
            appendHtml(out, text(key));
            appendBytes(out, '"');
        }
        return out + "></div>\n";
    }

    void writeStart() override
    {
        levels_.assign(1, Level());
        linkStartKnown_ = false;
        totalFolders_ = 0;
        totalSize_ = 0;
        const ListingSettings &s = *context().settings;
        const QString title = s.TitleHTML.isEmpty() ? text(PageText::NoTitle) : s.TitleHTML;
        const QString made = context().made.toString(QStringLiteral("yyyy-MM-dd HH:mm"));
        write("<!DOCTYPE html>\n<html lang=\"" + QByteArray(inFrench(langue()) ? "fr" : "en") +
              "\">\n<head>\n<meta charset=\"utf-8\">\n"
              "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
              "<meta name=\"color-scheme\" content=\"light dark\">\n"
              "<meta name=\"generator\" content=\"" +
              html(productName()) + "\">\n<title>" + html(title) + "</title>\n<style>\n" +
              asset("page.css") + "</style>\n</head>\n<body>\n<header>\n<h1>" + html(title) +
              "</h1>\n<p>" +
              html(text(PageText::Made))
                  .replace("%1", "<time datetime=\"" +
                                     context().made.toString(Qt::ISODate).toLatin1() + "\">" +
                                     html(made) + "</time>")
                  .replace("%2", html(productName())) +
              "</p>\n</header>\n<main id=\"tree\">\n");
    }

    void writeEnd() override
    {
        closeFiles();
        const Level &root = levels_.front();
        QString totals = counted(root.tracks, PageText::Track, PageText::Tracks);
        if (totalFolders_ > 0)
            totals = counted(totalFolders_, PageText::Folder, PageText::Folders) +
                     QStringLiteral(", ") + totals;
        if (root.durationMs > 0)
            totals += QStringLiteral(", ") + durationText(root.durationMs);
        if (totalSize_ > 0)
            totals += QStringLiteral(", ") + sizeText(totalSize_, langue());
        write("</main>\n<footer>\n<p>" + html(text(PageText::Total).arg(totals)) + "</p>\n<p>" +
              html(productName()) + " <a href=\"" + html(homePageAddress()) + "\">" +
              html(homePageAddress()) + "</a></p>\n</footer>\n" + scriptTexts() + "<script>\n" +
              asset("player.js") + "</script>\n</body>\n</html>\n");
    }

    std::vector<Level> levels_; // the source, then each folder the walk stands in
    QByteArray line_;           // one piece's, made anew each time in the same room
    CountWords albumWords_;
    CountWords trackWords_;
    QByteArray linkDir_; // the folder of the last link made, and its start
    QByteArray linkStart_;
    bool linkStartKnown_ = false;
    bool linkStartBare_ = false;
    int totalFolders_ = 0;
    qint64 totalSize_ = 0;
    std::unique_ptr<CoverSource> covers_;
};

} // namespace

std::unique_ptr<ListOutput> makePageOutput(const OutputRequest &request)
{
    return std::make_unique<PageOutput>(request);
}
