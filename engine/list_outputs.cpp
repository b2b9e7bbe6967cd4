#include "engine/list_outputs.h"

std::unique_ptr<ListOutput> makePageOutput(const OutputSpec &spec);
std::unique_ptr<ListOutput> makePlaylistOutput(const OutputSpec &spec);
std::unique_ptr<ListOutput> makeJsonOutput(const OutputSpec &spec);

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

std::unique_ptr<ListOutput> makeOutput(const OutputSpec &spec)
{
    switch (spec.format) {
    case OutputFormat::Page:
        return makePageOutput(spec);
    case OutputFormat::Playlist:
        return makePlaylistOutput(spec);
    case OutputFormat::Json:
        return makeJsonOutput(spec);
    case OutputFormat::Classic:
        break;
    }
    return nullptr; // the classic list is the run's own
}

std::vector<OutputSpec> chosenOutputs(const ListingSettings &settings, const QByteArray &targetDir,
                                      const QByteArray &targetName)
{
    const QByteArray folder = targetDir.endsWith('/') ? targetDir : targetDir + '/';
    const qsizetype dot = targetName.lastIndexOf('.');
    const QByteArray stem = dot > 0 ? targetName.left(dot) : targetName;
    std::vector<OutputSpec> chosen;
    if (settings.AlsoPage)
        chosen.push_back({OutputFormat::Page, folder + "index.html"});
    if (settings.AlsoPlaylist)
        chosen.push_back({OutputFormat::Playlist, folder + stem + ".m3u8"});
    if (settings.AlsoJson)
        chosen.push_back({OutputFormat::Json, folder + stem + ".json"});
    return chosen;
}
