#include "engine/file_output.h"

#include <cctype>

namespace {

bool isUtf8(const QByteArray &bytes)
{
    return QString::fromUtf8(bytes).toUtf8() == bytes;
}

// "%" and two hex digits: a player that reads entries as URLs (VLC) would decode them.
bool looksEncoded(const QByteArray &bytes)
{
    for (qsizetype i = bytes.indexOf('%'); i >= 0 && i + 2 < bytes.size();
         i = bytes.indexOf('%', i + 1)) {
        if (std::isxdigit(uchar(bytes[i + 1])) && std::isxdigit(uchar(bytes[i + 2])))
            return true;
    }
    return false;
}

// An extended M3U playlist in UTF-8, as players (VLC, mpv) read it: "#EXTM3U", then for each file
// an "#EXTINF:" line (its length in seconds and "Artist - Title", or -1 and its name) and its
// place. Places are paths relative to the playlist's folder, so that it plays as a local file,
// or addresses under the base URL, so that it plays served over HTTP.
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
        QString title;
        if (track && !track->title.isEmpty())
            title = track->artist.isEmpty() ? track->title
                                            : track->artist + QStringLiteral(" - ") + track->title;
        else
            title = shownName(context(), file);
        // One line, whatever the tags hold.
        title.replace(QLatin1Char('\r'), QLatin1Char(' '))
            .replace(QLatin1Char('\n'), QLatin1Char(' '));
        const qint64 seconds =
            track && track->durationMs > 0 ? (track->durationMs + 500) / 1000 : -1;
        write("#EXTINF:" + QByteArray::number(seconds) + ',' + title.toUtf8() + '\n');

        const QByteArray below =
            file.dir.isEmpty() ? file.name->bytes : file.dir + '/' + file.name->bytes;
        if (context().settings->DownAllow) {
            write(context().settings->BaseUrl.toUtf8() + percentEncoded(below, true) + '\n');
            return;
        }
        const QByteArray place = relativePath(folder(), absolutePath(context(), file));
        // A name that cannot stand on a line of its own (a line break, a "#" that would make it
        // a comment, bytes that are not UTF-8, what would read as an escape) is given as a
        // relative URL instead.
        const bool raw = isUtf8(place) && !place.startsWith('#') && !place.contains('\n') &&
                         !place.contains('\r') && !looksEncoded(place);
        write((raw ? place : percentEncoded(place, true)) + '\n');
    }

private:
    void writeStart() override { write("#EXTM3U\n"); }
    void writeEnd() override {}
};

} // namespace

std::unique_ptr<ListOutput> makePlaylistOutput(const OutputRequest &request)
{
    return std::make_unique<PlaylistOutput>(request);
}
