#include "engine/file_output.h"
#include "engine/product.h"

#include <QTimeZone>

#include <vector>

namespace {

QByteArray jsonString(const QString &text)
{
    QString escaped;
    escaped.reserve(text.size() + 2);
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u == '"' || u == '\\') {
            escaped += QLatin1Char('\\');
            escaped += c;
        } else if (u < 0x20) {
            escaped += QStringLiteral("\\u%1").arg(int(u), 4, 16, QLatin1Char('0'));
        } else {
            escaped += c;
        }
    }
    return '"' + escaped.toUtf8() + '"';
}

QByteArray jsonTime(qint64 nanoseconds)
{
    return jsonString(
        QDateTime::fromMSecsSinceEpoch(nanoseconds / 1000000, Qt::UTC).toString(Qt::ISODate));
}

// A name as JSON holds it: the text, and the system's own bytes besides when they are not UTF-8.
QByteArray jsonName(const QByteArray &bytes)
{
    const QString text = QString::fromUtf8(bytes);
    QByteArray out = "\"name\":" + jsonString(text);
    if (text.toUtf8() != bytes)
        out += ",\"bytes\":\"" + bytes.toBase64() + '"';
    return out;
}

// One UTF-8 JSON document of the tree; its shape is told in the README (version 1):
// {"generator", "format", "created", "source", "folder": {"name", "path", "files": [...],
// "folders": [...]}, "totals": {...}}. Written as the walk goes: a folder's files come before its
// sub-folders, so nothing is held but the folders the walk stands in.
class JsonOutput : public FileOutput
{
public:
    using FileOutput::FileOutput;

    bool wantsDetails() const override { return true; }

    void enter(const OutputDirectory &dir) override
    {
        Level &parent = levels_.back();
        write(parent.inFolders ? (parent.entries ? "," : "") : "],\"folders\":[");
        parent.inFolders = true;
        ++parent.entries;
        write("\n{" + jsonName(dir.name) + ",\"path\":" + jsonString(QString::fromUtf8(dir.path)) +
              (dir.contentsListed ? "" : ",\"listedAbove\":true") + ",\"files\":[");
        levels_.push_back(Level());
        ++folders_;
    }

    void file(const OutputFile &file) override
    {
        Level &level = levels_.back();
        const QByteArray path =
            file.dir.isEmpty() ? file.name->bytes : file.dir + '/' + file.name->bytes;
        QByteArray out = QByteArray(level.files++ ? "," : "") + "\n{" + jsonName(file.name->bytes) +
                         ",\"path\":" + jsonString(QString::fromUtf8(path));
        if (file.statKnown) {
            out += ",\"size\":" + QByteArray::number(file.stat.size) +
                   ",\"modified\":" + jsonTime(file.stat.modifiedNs);
            size_ += file.stat.size;
        }
        if (const TrackInfo *track = file.track; track && track->read) {
            const std::pair<const char *, const QString *> texts[] = {
                {"title", &track->title}, {"artist", &track->artist}, {"album", &track->album}};
            for (const auto &[key, value] : texts) {
                if (!value->isEmpty())
                    out += ",\"" + QByteArray(key) + "\":" + jsonString(*value);
            }
            if (track->track > 0)
                out += ",\"track\":" + QByteArray::number(track->track);
            if (track->durationMs > 0)
                out +=
                    ",\"duration\":" + QByteArray::number(double(track->durationMs) / 1000, 'f', 3);
            if (track->bitrate > 0)
                out += ",\"bitrate\":" + QByteArray::number(track->bitrate);
            durationMs_ += track->durationMs;
        }
        write(out + '}');
        ++files_;
    }

    void leave() override
    {
        write(levels_.back().inFolders ? "]}" : "],\"folders\":[]}");
        levels_.pop_back();
    }

private:
    struct Level {
        int files = 0;
        bool inFolders = false;
        int entries = 0;
    };

    void writeStart() override
    {
        levels_.assign(1, Level());
        folders_ = files_ = 0;
        size_ = durationMs_ = 0;
        const QByteArray source = context().source;
        write("{\"generator\":" + jsonString(productName()) + ",\"format\":1,\"created\":" +
              jsonString(context().made.toUTC().toString(Qt::ISODateWithMs)) +
              ",\"source\":" + jsonString(QString::fromUtf8(source)) + ",\n\"folder\":{" +
              jsonName(source.mid(source.lastIndexOf('/') + 1)) + ",\"path\":\"\",\"files\":[");
    }

    void writeEnd() override
    {
        leave();
        write(",\n\"totals\":{\"folders\":" + QByteArray::number(folders_) + ",\"files\":" +
              QByteArray::number(files_) + ",\"size\":" + QByteArray::number(size_) +
              ",\"duration\":" + QByteArray::number(double(durationMs_) / 1000, 'f', 3) + "}}\n");
    }

    std::vector<Level> levels_;
    int folders_ = 0;
    int files_ = 0;
    qint64 size_ = 0;
    qint64 durationMs_ = 0;
};

} // namespace

std::unique_ptr<ListOutput> makeJsonOutput(const OutputSpec &spec)
{
    return std::make_unique<JsonOutput>(spec);
}
