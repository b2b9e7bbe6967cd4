#include "engine/file_output.h"
#include "engine/product.h"
#include "platform/fast_append.h"

#include <algorithm>
#include <cctype>

namespace {

// Characters that end a line for some reader: Python's str.splitlines() splits on all of them,
// and a reader that did would see a new entry pointing wherever a tag says.
bool breaksALine(char32_t c)
{
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029;
}

// A tag's or a name's text on one line: line breaks and controls become blanks, and a direction
// it sets (an override, an embedding, an isolate) is closed at its end, so that it cannot turn
// what a player shows after it.
void appendOneLine(QByteArray &out, const QString &text)
{
    // Most names hold none of those characters, and stand as they are.
    if (std::none_of(text.begin(), text.end(), [](QChar c) {
            const char16_t u = c.unicode();
            return breaksALine(u) || (u >= 0x202A && u <= 0x202E) || (u >= 0x2066 && u <= 0x2069);
        })) {
        appendUtf8(out, text);
        return;
    }
    QString line;
    line.reserve(text.size() + 4);
    QString closing; // the closers due, innermost last
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (breaksALine(u)) {
            line += QLatin1Char(' ');
            continue;
        }
        line += c;
        if (u == 0x202A || u == 0x202B || u == 0x202D || u == 0x202E) {
            closing += QChar(0x202C); // PDF
        } else if (u >= 0x2066 && u <= 0x2068) {
            closing += QChar(0x2069); // PDI
        } else if (u == 0x202C || u == 0x2069) {
            // A closer closes the innermost of its kind (a PDI every embedding inside it too).
            const qsizetype at = closing.lastIndexOf(QChar(u));
            if (at >= 0)
                closing.truncate(at);
        }
    }
    std::reverse(closing.begin(), closing.end());
    appendBytes(out, (line + closing).toUtf8());
}

// A path as a relative reference that reads the same as a file name and as a URL: what a URL
// would take for something else is encoded ("#" a fragment, "?" a query, "%41" an "A"), the
// rest is left as it is. VLC reads entries as URLs, locally too (a raw "#" there plays the
// whole folder); mpv reads them as file names locally, so that it cannot open those few.
void appendUnambiguous(QByteArray &out, const QByteArray &path)
{
    qsizetype run = 0; // where the bytes that stand as they are start
    for (qsizetype i = 0; i < path.size(); ++i) {
        const char c = path[i];
        const char *escape = c == '#'   ? "%23"
                             : c == '?' ? "%3F"
                             : c == '%' && i + 2 < path.size() &&
                                     std::isxdigit(uchar(path[i + 1])) &&
                                     std::isxdigit(uchar(path[i + 2]))
                                 ? "%25"
                                 : nullptr;
        if (!escape)
            continue;
        appendBytes(out, path.constData() + run, i - run);
        appendBytes(out, escape);
        run = i + 1;
    }
    appendBytes(out, path.constData() + run, path.size() - run);
}

// Whether a relative path can stand on its line as it is: valid UTF-8 and nothing that ends a
// line. The rest is given percent-encoded (which a player reading it as a file name cannot
// open, but no raw form can be written at all).
bool standsRaw(const QByteArray &bytes)
{
    if (std::all_of(bytes.begin(), bytes.end(), [](char c) { return c >= 0x20 && c < 0x7F; }))
        return true;
    if (!QByteArrayView(bytes).isValidUtf8())
        return false;
    const QString text = QString::fromUtf8(bytes);
    return std::none_of(text.begin(), text.end(), [](QChar c) { return breaksALine(c.unicode()); });
}

class PlaylistOutput : public FileOutput
{
public:
    using FileOutput::FileOutput;

    bool wantsDetails() const override { return false; }
    void enter(const OutputDirectory &) override {}
    void leave() override {}

    void file(const OutputFile &file) override
    {
        const TrackInfo *track = file.track && file.track->read ? file.track : nullptr;
        QByteArray &out = line_;
        out.resize(0);
        appendBytes(out, "#EXTINF:");
        appendNumber(out, track && track->durationMs > 0 ? (track->durationMs + 500) / 1000 : -1);
        appendBytes(out, ',');
        if (track && !track->title.isEmpty())
            appendOneLine(out, track->artist.isEmpty()
                                   ? track->title
                                   : track->artist + QStringLiteral(" - ") + track->title);
        else if (QByteArrayView plain; plainShownName(context(), file, &plain))
            appendBytes(out, plain);
        else
            appendOneLine(out, shownName(context(), file));
        appendBytes(out, '\n');

        // What goes before the names of a folder's files is worked out once for all of them. A
        // relative path stands raw only if each of its two parts does, and neither part changes
        // the other's encoding: "/" ends every way and is no hex digit.
        const bool served = context().settings->DownAllow;
        if (!wayKnown_ || wayDir_ != file.dir) {
            wayDir_ = file.dir;
            wayKnown_ = true;
            wayText_.resize(0);
            if (served) {
                wayRaw_ = false;
                wayEncoded_ = baseUrl_;
                if (!file.dir.isEmpty()) {
                    appendPercentEncoded(wayEncoded_, file.dir, true);
                    appendBytes(wayEncoded_, '/');
                }
            } else {
                const QByteArray way = wayTo(file.dir);
                wayRaw_ = standsRaw(way);
                if (wayRaw_)
                    appendUnambiguous(wayText_, way);
                wayEncoded_ = percentEncoded(way, true);
            }
        }
        const QByteArray &name = file.name->bytes;
        if (served) {
            appendBytes(out, wayEncoded_);
            appendPercentEncoded(out, name, true);
            appendBytes(out, '\n');
            write(out);
            return;
        }
        const qsizetype entryAt = out.size();
        if (wayRaw_ && standsRaw(name)) {
            appendBytes(out, wayText_);
            appendUnambiguous(out, name);
        } else {
            appendBytes(out, wayEncoded_);
            appendPercentEncoded(out, name, true);
        }
        // A relative reference, always: a first segment with ":" would read as a scheme
        // ("http:/x.mp3", "javascript:"). "./" before it, as RFC 3986 asks, plays as a local
        // file in the players.
        const QByteArrayView entry = QByteArrayView(out).sliced(entryAt);
        const qsizetype firstSlash = entry.indexOf('/');
        if ((firstSlash < 0 ? entry : entry.first(firstSlash)).contains(':'))
            out.insert(entryAt, "./");
        appendBytes(out, '\n');
        write(out);
    }

private:
    bool wayKnown_ = false;
    QByteArray wayDir_;
    bool wayRaw_ = false;
    QByteArray wayText_;
    QByteArray wayEncoded_;
    QByteArray baseUrl_;
    QByteArray line_; // one file's, made anew each time in the same room

    // The comment line is the program's mark, which players skip: a playlist of someone
    // else's at its place is not replaced unasked.
    void writeStart() override
    {
        baseUrl_ = linkBaseUrl(context().settings->BaseUrl).toUtf8();
        wayKnown_ = false; // the settings or the folder may have changed since the last list
        write("#EXTM3U\n# " + productName().toUtf8() + '\n');
    }
    void writeEnd() override {}
};

} // namespace

std::unique_ptr<ListOutput> makePlaylistOutput(const OutputRequest &request)
{
    return std::make_unique<PlaylistOutput>(request);
}
