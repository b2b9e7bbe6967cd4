#include "engine/file_output.h"
#include "engine/product.h"
#include "platform/fast_append.h"

#include <QTimeZone>

#include <algorithm>

#include <vector>

namespace {

// UTF-8 text within a JSON string: only quotes, backslashes and controls are escaped, all
// ASCII, so that the text is copied as it is around them.
void appendJsonEscaped(QByteArray &out, QByteArrayView utf8)
{
    static const char hex[] = "0123456789abcdef";
    const char *run = utf8.begin(); // bytes that stand for themselves, appended at once
    for (const char *at = utf8.begin(); at != utf8.end(); ++at) {
        const auto u = static_cast<unsigned char>(*at);
        if (u != '"' && u != '\\' && u >= 0x20)
            continue;
        appendBytes(out, run, at - run);
        run = at + 1;
        if (u < 0x20) {
            const char escape[] = {'\\', 'u', '0', '0', hex[u >> 4], hex[u & 0xF]};
            appendBytes(out, escape, sizeof escape);
        } else {
            const char escape[] = {'\\', char(u)};
            appendBytes(out, escape, sizeof escape);
        }
    }
    appendBytes(out, run, utf8.end() - run);
}

void appendJsonString(QByteArray &out, QByteArrayView utf8)
{
    appendBytes(out, '"');
    appendJsonEscaped(out, utf8);
    appendBytes(out, '"');
}

// The system's bytes as text: what is not UTF-8 replaced, as QString reads it. False when
// something was.
bool appendJsonText(QByteArray &out, QByteArrayView bytes)
{
    if (bytes.isValidUtf8()) {
        appendJsonString(out, bytes);
        return true;
    }
    appendJsonString(out, QString::fromUtf8(bytes).toUtf8());
    return false;
}

QByteArray jsonString(const QString &text)
{
    QByteArray out;
    appendJsonString(out, text.toUtf8());
    return out;
}

// "2026-12-06T10:20:30Z", as Qt's ISO date of the time in UTC, to the second below.
void appendJsonTime(QByteArray &out, qint64 nanoseconds)
{
    const qint64 milliseconds = nanoseconds / 1000000;
    const qint64 seconds = milliseconds / 1000;
    const qint64 days = seconds / 86400;
    // From 1970 to 9999, by hand: the usual case, a million times in a large tree.
    if (milliseconds < 0 || days >= 2932897) {
        appendJsonString(
            out,
            QDateTime::fromMSecsSinceEpoch(milliseconds, Qt::UTC).toString(Qt::ISODate).toUtf8());
        return;
    }
    // Days to a civil date (H. Hinnant's algorithm), from 0000-03-01.
    const qint64 z = days + 719468;
    const qint64 era = z / 146097;
    const qint64 dayOfEra = z - era * 146097;
    const qint64 yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const qint64 dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const qint64 monthIndex = (5 * dayOfYear + 2) / 153;
    const int day = int(dayOfYear - (153 * monthIndex + 2) / 5 + 1);
    const int month = int(monthIndex < 10 ? monthIndex + 3 : monthIndex - 9);
    const int year = int(yearOfEra + era * 400 + (month <= 2 ? 1 : 0));
    const int inDay = int(seconds % 86400);
    // By hand too: snprintf's parsing of its format was a tenth of the walk's thread.
    char text[] = "\"0000-00-00T00:00:00Z\"";
    const auto put = [&text](int at, int value, int digits) {
        for (int i = at + digits - 1; i >= at; --i, value /= 10)
            text[i] = char('0' + value % 10);
    };
    put(1, year, 4);
    put(6, month, 2);
    put(9, day, 2);
    put(12, inDay / 3600, 2);
    put(15, inDay / 60 % 60, 2);
    put(18, inDay % 60, 2);
    appendBytes(out, text, sizeof text - 1);
}

// A name as JSON holds it: the text, and the system's own bytes besides when they are not UTF-8.
// False when the bytes are not UTF-8.
bool appendJsonName(QByteArray &out, QByteArrayView bytes)
{
    appendBytes(out, "\"name\":");
    if (appendJsonText(out, bytes))
        return true;
    appendBytes(out, ",\"bytes\":\"" + bytes.toByteArray().toBase64() + '"');
    return false;
}

QByteArray jsonName(const QByteArray &bytes)
{
    QByteArray out;
    appendJsonName(out, bytes);
    return out;
}

// One UTF-8 JSON document of the tree; its shape is told in the README (version 2):
// {"generator", "format", "created", "source", "folder": {"name", "path", "files": [...],
// "folders": [...]}, "tracks": [...], "totals": {...}}. Written as the walk goes: a folder's files
// come before its sub-folders, so nothing is held but the folders the walk stands in. The flat
// list of tracks (each with its folder) follows the tree: it is kept in a temporary file
// meanwhile, not in memory.
class JsonOutput : public FileOutput
{
public:
    using FileOutput::FileOutput;
    ~JsonOutput() override { closeTracks(); }

    bool wantsDetails() const override { return true; }

    void enter(const OutputDirectory &dir) override
    {
        Level &parent = levels_.back();
        write(parent.inFolders ? (parent.entries ? "," : "") : "],\"folders\":[");
        parent.inFolders = true;
        ++parent.entries;
        QByteArray &out = line_;
        out.resize(0);
        appendBytes(out, "\n{");
        appendJsonName(out, dir.name());
        appendBytes(out, ",\"path\":");
        appendJsonText(out, dir.path);
        appendBytes(out, dir.contentsListed ? ",\"files\":[" : ",\"listedAbove\":true,\"files\":[");
        write(out);
        levels_.push_back(Level());
        ++folders_;
    }

    void file(const OutputFile &file) override
    {
        Level &level = levels_.back();
        QByteArray &out = line_;
        out.resize(0);
        appendBytes(out, level.files++ ? ",\n{" : "\n{");
        const bool nameIsUtf8 = appendJsonName(out, file.name->bytes);
        appendBytes(out, ",\"path\":");
        if (file.dir.isEmpty()) {
            appendJsonString(out, file.name->text.toUtf8());
        } else if (nameIsUtf8 && isUtf8Folder(file.dir)) {
            // Both parts known to be UTF-8, so is the path: written without joining them.
            appendBytes(out, '"');
            appendJsonEscaped(out, file.dir);
            appendBytes(out, '/');
            appendJsonEscaped(out, file.name->bytes);
            appendBytes(out, '"');
        } else {
            path_.resize(0);
            appendBytes(path_, file.dir);
            appendBytes(path_, '/');
            appendBytes(path_, file.name->bytes);
            appendJsonText(out, path_);
        }
        if (file.statKnown) {
            appendBytes(out, ",\"size\":");
            appendNumber(out, file.stat.size);
            appendBytes(out, ",\"modified\":");
            appendJsonTime(out, file.stat.modifiedNs);
            size_ += file.stat.size;
        }
        if (const TrackInfo *track = file.track; track && track->read) {
            const std::pair<const char *, const QString *> texts[] = {
                {",\"title\":", &track->title},
                {",\"artist\":", &track->artist},
                {",\"album\":", &track->album}};
            for (const auto &[key, value] : texts) {
                if (!value->isEmpty()) {
                    appendBytes(out, key);
                    appendJsonString(out, value->toUtf8());
                }
            }
            if (track->track > 0) {
                appendBytes(out, ",\"track\":");
                appendNumber(out, track->track);
            }
            if (track->durationMs > 0) {
                appendBytes(out, ",\"duration\":");
                // Seconds to the millisecond, as the double's three decimals would read.
                appendNumber(out, track->durationMs / 1000);
                const int milliseconds = int(track->durationMs % 1000);
                const char decimals[] = {'.', char('0' + milliseconds / 100),
                                         char('0' + milliseconds / 10 % 10),
                                         char('0' + milliseconds % 10)};
                appendBytes(out, decimals, sizeof decimals);
            }
            if (track->bitrate > 0) {
                appendBytes(out, ",\"bitrate\":");
                appendNumber(out, track->bitrate);
            }
            durationMs_ += track->durationMs;
        }
        tagsAsked_ = tagsAsked_ || file.track != nullptr;
        appendBytes(out, '}');
        write(out);
        ++files_;
        // The same, with its folder, for the flat list.
        if (tracks_.isOpen()) {
            QByteArray &track = trackLine_;
            track.resize(0);
            appendBytes(track, files_ > 1 ? ",\n{\"folder\":" : "\n{\"folder\":");
            appendJsonText(track, file.dir);
            appendBytes(track, ',');
            const qsizetype fields = out.indexOf('{') + 1;
            appendBytes(track, out.constData() + fields, out.size() - fields);
            writeTracks(track);
        }
    }

    void leave() override
    {
        write(levels_.back().inFolders ? "]}" : "],\"folders\":[]}");
        levels_.pop_back();
    }

protected:
    Counted counted() const override { return {files_, size_}; }
    void replayed(const ReadyPiece &piece, const ReadyTags *tags) override
    {
        files_ += int(piece.files);
        size_ += piece.size;
        levels_.back().files += int(piece.files);
        if (tags) {
            durationMs_ += tags->durationMs;
            tagsAsked_ = tagsAsked_ || tags->asked;
        }
    }
    // A folder's piece of the flat list starts after the comma that parts it from the one
    // before, which is not there before the first track.
    qint64 flatMark() const override { return tracksWritten_ + (files_ > 0 ? 1 : 0); }
    qint64 flatSize() const override { return tracksWritten_; }
    qint64 replayFlat(const WrittenList &from, qint64 at, qint64 length) override
    {
        if (!tracks_.isOpen())
            return 0;
        // Pieces that were next to each other, a comma between them, still are: one copy.
        if (!segments_.empty() && segments_.back().fromLast && files_ > 0 &&
            at == segments_.back().at + segments_.back().length + 1) {
            segments_.back().length += 1 + length;
            tracksWritten_ += 1 + length;
            return tracksWritten_ - length;
        }
        if (files_ > 0)
            writeTracks(",");
        flatFrom_ = &from;
        segments_.push_back({true, at, length});
        tracksWritten_ += length;
        return tracksWritten_ - length;
    }

private:
    bool isUtf8Folder(const QByteArray &dir)
    {
        // The same storage (held here, so never reused for other bytes) or the same bytes.
        if (dir.constData() != utf8Folder_.constData() || dir.size() != utf8Folder_.size()) {
            if (dir != utf8Folder_)
                folderIsUtf8_ = QByteArrayView(dir).isValidUtf8();
            utf8Folder_ = dir;
        }
        return folderIsUtf8_;
    }

    void writeTracks(const QByteArray &bytes)
    {
        if (segments_.empty() || segments_.back().fromLast)
            segments_.push_back({false, tracks_.size(), 0});
        segments_.back().length += bytes.size();
        tracks_.write(bytes.constData(), bytes.size());
        tracksWritten_ += bytes.size();
    }

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
        tagsAsked_ = false;
        tracksWritten_ = 0;
        segments_.clear();
        closeTracks();
        if (!context().dryRun) {
            if (const int error = tracks_.open(request().path))
                fail(error);
        }
        const QByteArray source = context().source;
        write("{\"generator\":" + jsonString(productName()) + ",\"format\":2,\"created\":" +
              jsonString(context().made.toUTC().toString(Qt::ISODateWithMs)) +
              ",\"source\":" + jsonString(QString::fromUtf8(source)) + ",\n\"folder\":{" +
              jsonName(source.mid(source.lastIndexOf('/') + 1)) + ",\"path\":\"\",\"files\":[");
    }

    void writeEnd() override
    {
        leave();
        write(",\n\"tracks\":[");
        secondPartStarts();
        copyTracks();
        write(
            "],\n\"totals\":{\"folders\":" + QByteArray::number(folders_) +
            ",\"files\":" + QByteArray::number(files_) + ",\"size\":" + QByteArray::number(size_) +
            (tagsAsked_ ? ",\"duration\":" + QByteArray::number(double(durationMs_) / 1000, 'f', 3)
                        : QByteArray()) +
            "}}\n");
    }

    // The flat list kept meanwhile, copied into the list.
    void copyTracks()
    {
        if (!tracks_.isOpen())
            return;
        if (const int error = tracks_.flush()) {
            fail(error);
        } else {
            for (const Segment &segment : segments_)
                append(segment.fromLast ? *flatFrom_ : tracks_.contents(), segment.at,
                       segment.length);
        }
        closeTracks();
    }

    void closeTracks() { tracks_.close(); }

    void discard() override
    {
        closeTracks();
        FileOutput::discard();
    }

    std::vector<Level> levels_;
    QByteArray line_; // one file's, made anew each time in the same room
    QByteArray trackLine_;
    SideFile tracks_; // the flat list, until the tree is written
    qint64 tracksWritten_ = 0;
    // The flat list in order: what was written aside, and pieces of the last list's flat list,
    // copied from there straight into the list at its end (pieces next to each other in one).
    struct Segment {
        bool fromLast = false;
        qint64 at = 0;
        qint64 length = 0;
    };
    std::vector<Segment> segments_;
    const WrittenList *flatFrom_ = nullptr;
    bool tagsAsked_ = false;
    QByteArray path_;
    // The folder whose files are being told (the same bytes for each of them) and whether it
    // is UTF-8: looked at once, not with each file's path.
    QByteArray utf8Folder_;
    bool folderIsUtf8_ = false;
    int folders_ = 0;
    int files_ = 0;
    qint64 size_ = 0;
    qint64 durationMs_ = 0;
};

} // namespace

std::unique_ptr<ListOutput> makeJsonOutput(const OutputRequest &request)
{
    return std::make_unique<JsonOutput>(request);
}
