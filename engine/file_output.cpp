#include "engine/file_output.h"
#include "platform/fast_append.h"

#include "engine/bilingual_text.h"
#include "engine/entry_lines.h"

#include <QList>

#include <algorithm>

int FileOutput::begin(const OutputContext &context)
{
    context_ = context;
    error_ = 0;
    // On the standard output a list is where its reader is: its links start from the current
    // folder, as a shell's "> list.m3u8" puts it there.
    folder_ = request_.path == "-" ? currentDirectory()
                                   : request_.path.left(request_.path.lastIndexOf('/'));
    if (folder_.isEmpty())
        folder_ = "/";
    file_.setDryRun(context.dryRun);
    flatStart_ = 0;
    ended_ = false;
    pieces_.begin(context.dryRun || request_.path == "-" ? nullptr : context.pieces, request_.path,
                  &file_);
    if (const int error = file_.open(request_.path))
        return error;
    writeStart();
    return 0;
}

void FileOutput::endList()
{
    if (ended_)
        return;
    ended_ = true;
    if (error_ == 0)
        writeEnd();
    if (const int error = pieces_.flush())
        fail(error);
}

int FileOutput::finish()
{
    endList();
    if (error_ != 0) {
        file_.discard();
        return error_;
    }
    const int error = file_.commit();
    if (error == 0)
        pieces_.committed(flatStart_);
    return error;
}

void FileOutput::write(const char *data, qsizetype size)
{
    if (error_ == 0)
        pieces_.write(data, size);
}

void FileOutput::append(const WrittenList &from, qint64 at, qint64 length)
{
    if (error_ == 0)
        pieces_.append(from, at, length);
}

bool FileOutput::filesBegin(const FolderFiles &folder)
{
    if (ReadyPiece now; pieces_.take(folder, &now)) {
        now.flatAt =
            replayFlat(pieces_.last(), pieces_.lastFlatStart() + now.flatAt, now.flatLength);
        replayed(now, folder.tags);
        pieces_.record(folder, now);
        return true;
    }
    pieces_.beginPiece(folder);
    recording_.flatAt = flatMark();
    recording_.before = counted();
    return false;
}

void FileOutput::filesEnd(bool keep)
{
    if (!pieces_.recording())
        return;
    const Counted now = counted();
    ReadyPiece piece;
    piece.flatAt = recording_.flatAt;
    piece.flatLength = quint32(flatSize() - recording_.flatAt);
    piece.files = quint32(now.files - recording_.before.files);
    piece.size = now.size - recording_.before.size;
    // A folder too big to be told in the piece's numbers is simply formatted again each time.
    pieces_.endPiece(piece,
                     keep && keepsPiece() && flatSize() - recording_.flatAt <= qint64(UINT32_MAX));
}

QByteArray FileOutput::wayTo(const QByteArray &dir) const
{
    // Placed in the folder as a name would be, then taken off again.
    const ListedName name{QByteArrayLiteral("x"), QString()};
    OutputFile placeholder;
    placeholder.dir = dir;
    placeholder.name = &name;
    const QByteArray path = relativePath(folder(), absolutePath(context(), placeholder));
    return path.left(path.size() - 1);
}

namespace {

// The names of a path one after the other, the empty ones (of "//" and the ends) skipped: an
// empty view at the end. Asked twice for each folder of the tree, so not split into a list.
class PathNames
{
public:
    explicit PathNames(QByteArrayView path) : path_(path) {}
    QByteArrayView next()
    {
        while (at_ < path_.size() && path_[at_] == '/')
            ++at_;
        const qsizetype start = at_;
        while (at_ < path_.size() && path_[at_] != '/')
            ++at_;
        return path_.sliced(start, at_ - start);
    }
    static qsizetype count(QByteArrayView path)
    {
        PathNames names(path);
        qsizetype n = 0;
        while (!names.next().isEmpty())
            ++n;
        return n;
    }

private:
    QByteArrayView path_;
    qsizetype at_ = 0;
};

} // namespace

QByteArray relativePath(const QByteArray &from, const QByteArray &to)
{
    const qsizetype namesThere = PathNames::count(to);
    PathNames here(from);
    PathNames there(to);
    QByteArrayView mine = here.next();
    QByteArrayView theirs = there.next();
    // The last name of `to` is never shared: it is what the way leads to.
    for (qsizetype common = 0; !mine.isEmpty() && common + 1 < namesThere && mine == theirs;
         ++common) {
        mine = here.next();
        theirs = there.next();
    }
    QByteArray path;
    for (; !mine.isEmpty(); mine = here.next())
        appendBytes(path, "../");
    for (bool first = true; !theirs.isEmpty(); theirs = there.next(), first = false) {
        if (!first)
            appendBytes(path, '/');
        appendBytes(path, theirs);
    }
    return path;
}

void appendUtf8(QByteArray &out, QStringView text)
{
    if (!std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; })) {
        appendBytes(out, text.toUtf8());
        return;
    }
    const qsizetype at = out.size();
    out.resize(at + text.size());
    std::transform(text.begin(), text.end(), out.data() + at,
                   [](QChar c) { return char(c.unicode()); });
}

void appendNumber(QByteArray &out, qint64 value, int base)
{
    char digits[65];
    char *end = digits + sizeof digits;
    char *start = end;
    // Counted down as unsigned: the smallest number has no positive counterpart.
    quint64 magnitude = value < 0 ? 0 - quint64(value) : quint64(value);
    do {
        *--start = "0123456789abcdefghijklmnopqrstuvwxyz"[magnitude % quint64(base)];
        magnitude /= quint64(base);
    } while (magnitude != 0);
    if (value < 0)
        *--start = '-';
    appendBytes(out, start, end - start);
}

void appendPercentEncoded(QByteArray &out, QByteArrayView bytes, bool keepSlashes)
{
    static const char hex[] = "0123456789ABCDEF";
    const qsizetype at = out.size();
    out.resize(at + 3 * bytes.size()); // at most
    char *to = out.data() + at;
    for (const char byte : bytes) {
        const unsigned char b = static_cast<unsigned char>(byte);
        const bool unreserved = (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') ||
                                (b >= '0' && b <= '9') || b == '-' || b == '.' || b == '_' ||
                                b == '~' || (keepSlashes && b == '/');
        if (unreserved) {
            *to++ = char(b);
        } else {
            *to++ = '%';
            *to++ = hex[b >> 4];
            *to++ = hex[b & 0xF];
        }
    }
    out.truncate(to - out.constData());
}

QByteArray percentEncoded(const QByteArray &bytes, bool keepSlashes)
{
    QByteArray out;
    appendPercentEncoded(out, bytes, keepSlashes);
    return out;
}

QByteArray absolutePath(const OutputContext &context, const OutputFile &file)
{
    QByteArray path = context.source;
    if (!path.endsWith('/'))
        appendBytes(path, '/');
    if (!file.dir.isEmpty())
        appendBytes(path, file.dir + '/');
    return path + file.name->bytes;
}

QString durationText(qint64 milliseconds)
{
    const qint64 seconds = (milliseconds + 500) / 1000;
    const auto two = [](qint64 n) { return QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0')); };
    if (seconds >= 3600)
        return QString::number(seconds / 3600) + QLatin1Char(':') + two(seconds / 60 % 60) +
               QLatin1Char(':') + two(seconds % 60);
    return QString::number(seconds / 60) + QLatin1Char(':') + two(seconds % 60);
}

void appendSizeText(QByteArray &out, qint64 bytes, int langue, QByteArrayView space)
{
    const bool french = inFrench(langue);
    static const char *const english[] = {"B", "kB", "MB", "GB", "TB"};
    static const char *const units[] = {"o", "ko", "Mo", "Go", "To"};
    double size = double(bytes);
    int unit = 0;
    while (size >= 1000 && unit < 4) {
        size /= 1000;
        ++unit;
    }
    if (unit == 0) {
        appendNumber(out, bytes);
    } else {
        const qsizetype at = out.size();
        appendBytes(out, QByteArray::number(size, 'f', 1));
        if (french)
            std::replace(out.begin() + at, out.end(), '.', ',');
    }
    appendBytes(out, space);
    appendBytes(out, french ? units[unit] : english[unit]);
}

QString sizeText(qint64 bytes, int langue)
{
    QByteArray text;
    appendSizeText(text, bytes, langue, "\u00A0");
    return QString::fromUtf8(text);
}

const QString &shownName(const OutputContext &context, const OutputFile &file)
{
    const int withExtension = context.settings->IncExt ? 1 : 0;
    if (file.shownWithExtension != withExtension) {
        file.shown = displayedName(file.name->text, context.settings->IncExt);
        file.shownWithExtension = withExtension;
    }
    return file.shown;
}

bool plainShownName(const OutputContext &context, const OutputFile &file, QByteArrayView *shown)
{
    if (!isPlainName(file.name->bytes))
        return false;
    *shown = plainDisplayedName(file.name->bytes, context.settings->IncExt);
    return true;
}

QString linkBaseUrl(const QString &baseUrl)
{
    if (baseUrl.isEmpty() || baseUrl.endsWith(QLatin1Char('/')) ||
        baseUrl.contains(QLatin1Char('?')))
        return baseUrl;
    return baseUrl + QLatin1Char('/');
}

bool baseUrlLacksSlash(const ListingSettings &settings)
{
    return settings.DownAllow && linkBaseUrl(settings.BaseUrl) != settings.BaseUrl;
}
