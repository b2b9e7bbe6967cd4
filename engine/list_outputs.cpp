#include "engine/list_outputs.h"

#include <fcntl.h>
#include <unistd.h>

std::unique_ptr<ListOutput> makePageOutput(const OutputRequest &request);
std::unique_ptr<ListOutput> makePlaylistOutput(const OutputRequest &request);
std::unique_ptr<ListOutput> makeJsonOutput(const OutputRequest &request);

namespace {

const struct {
    OutputFormat format;
    const char *name;
} kFormats[] = {
    {OutputFormat::Classic, "classic"},
    {OutputFormat::Page, "page"},
    {OutputFormat::Playlist, "m3u8"},
    {OutputFormat::Json, "json"},
};

} // namespace

QString formatName(OutputFormat format)
{
    for (const auto &known : kFormats) {
        if (known.format == format)
            return QString::fromLatin1(known.name);
    }
    return QString();
}

bool madeByThisProgram(const QByteArray &path, OutputFormat format)
{
    // The marks are near the start: what the head of the file holds is enough.
    const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return false;
    char buffer[2048];
    const ssize_t length = ::read(fd, buffer, sizeof buffer);
    ::close(fd);
    if (length <= 0)
        return false;
    const QByteArray head(buffer, length);
    switch (format) {
    case OutputFormat::Page:
        return head.contains("<meta name=\"generator\" content=\"Lystora v");
    case OutputFormat::Playlist:
        return head.startsWith("#EXTM3U\n# Lystora v");
    case OutputFormat::Json:
        return head.startsWith("{\"generator\":\"Lystora v");
    default:
        return true;
    }
}

bool formatNamed(const QString &name, OutputFormat *format)
{
    for (const auto &known : kFormats) {
        if (name == QLatin1String(known.name)) {
            *format = known.format;
            return true;
        }
    }
    return false;
}

std::unique_ptr<ListOutput> makeOutput(const OutputRequest &request)
{
    switch (request.format) {
    case OutputFormat::Page:
        return makePageOutput(request);
    case OutputFormat::Playlist:
        return makePlaylistOutput(request);
    case OutputFormat::Json:
        return makeJsonOutput(request);
    case OutputFormat::Classic:
        break;
    }
    return nullptr; // the classic list is the run's own
}

std::vector<OutputRequest> chosenOutputs(const ListingSettings &settings,
                                         const QByteArray &targetDir, const QByteArray &targetName)
{
    const QByteArray folder = targetDir.endsWith('/') ? targetDir : targetDir + '/';
    const qsizetype dot = targetName.lastIndexOf('.');
    const QByteArray stem = dot > 0 ? targetName.left(dot) : targetName;
    // A name of the user's, else the usual one; never a path that leaves the target folder.
    const auto named = [&folder](const QString &name, const QByteArray &usual) {
        const QByteArray bytes = name.toUtf8();
        const bool plain =
            !bytes.isEmpty() && !bytes.contains('/') && bytes != "." && bytes != "..";
        return folder + (plain ? bytes : usual);
    };
    std::vector<OutputRequest> chosen;
    if (settings.AlsoPage)
        chosen.push_back({OutputFormat::Page, named(settings.PageName, "index.html")});
    if (settings.AlsoPlaylist)
        chosen.push_back({OutputFormat::Playlist, named(settings.PlaylistName, stem + ".m3u8")});
    if (settings.AlsoJson)
        chosen.push_back({OutputFormat::Json, named(settings.JsonName, stem + ".json")});
    return chosen;
}

bool picturesFolderOf(const QByteArray &pagePath, PicturesFolder *folder)
{
    folder->name = picturesFolderName(pagePath);
    return directoryIdentity(pagePath.left(pagePath.lastIndexOf('/') + 1), &folder->parent) == 0;
}

QByteArray picturesFolderName(const QByteArray &pagePath)
{
    QByteArray stem = pagePath.mid(pagePath.lastIndexOf('/') + 1);
    const qsizetype dot = stem.lastIndexOf('.');
    if (dot > 0)
        stem.truncate(dot);
    return stem + ".covers";
}
