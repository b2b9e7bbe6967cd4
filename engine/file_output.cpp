#include "engine/file_output.h"

#include "engine/bilingual_text.h"
#include "engine/entry_lines.h"

#include <QList>

#include <algorithm>
#include <cstring>

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
    pieces_ = nullptr;
    lastOpened_ = false;
    copyLength_ = flatStart_ = 0;
    window_ = QByteArray();
    windowAt_ = 0;
    recording_ = Recording();
    if (context.pieces && !context.dryRun && request_.path != "-") {
        list_ = context.pieces->listIndex(request_.path);
        if (list_ >= 0)
            pieces_ = context.pieces;
    }
    if (const int error = file_.open(request_.path))
        return error;
    writeStart();
    return 0;
}

int FileOutput::finish()
{
    if (error_ == 0)
        writeEnd();
    flushCopy();
    if (error_ != 0) {
        file_.discard();
        return error_;
    }
    const int error = file_.commit();
    if (error == 0 && pieces_)
        pieces_->committed(list_, file_.committed(), flatStart_);
    return error;
}

void FileOutput::write(const QByteArray &bytes)
{
    if (copyLength_ > 0) {
        // What comes between two folders' files (the end of one, the start of the next) is
        // most often what came there last time: the copy goes on over it.
        if (followsInLast(copyAt_ + copyLength_, bytes)) {
            copyLength_ += bytes.size();
            return;
        }
        flushCopy();
    }
    if (error_ == 0 && file_.isOpen())
        error_ = file_.write(bytes.constData(), bytes.size());
}

bool FileOutput::filesBegin(const FolderFiles &folder)
{
    recording_.on = false;
    if (!pieces_ || !folder.reading)
        return false;
    if (const ReadyPieces::Piece *piece = pieces_->reusable(list_, folder.dir, folder.reading)) {
        if (!lastOpened_) {
            lastOpened_ = true;
            const ReplacingFile::Committed *last = pieces_->lastWritten(list_);
            if (!last || !last_.open(*last))
                pieces_->clearList(list_);
        }
        if (last_.isOpen()) {
            ReadyPieces::Piece now = *piece;
            now.at = written();
            if (copyLength_ > 0 && copyAt_ + copyLength_ != piece->at)
                flushCopy();
            if (copyLength_ == 0)
                copyAt_ = piece->at;
            copyLength_ += piece->length;
            now.flatAt =
                replayFlat(last_, pieces_->flatStart(list_) + piece->flatAt, piece->flatLength);
            replayed(*piece);
            pieces_->record(list_, folder.dir, folder.reading, now);
            return true;
        }
    }
    recording_.on = true;
    recording_.folder = folder;
    recording_.at = written();
    recording_.flatAt = flatMark();
    recording_.before = counted();
    return false;
}

void FileOutput::filesEnd()
{
    if (!recording_.on)
        return;
    recording_.on = false;
    const Counted now = counted();
    ReadyPieces::Piece piece;
    piece.at = recording_.at;
    piece.length = quint32(written() - recording_.at);
    piece.flatAt = recording_.flatAt;
    piece.flatLength = quint32(flatSize() - recording_.flatAt);
    piece.files = quint32(now.files - recording_.before.files);
    piece.size = now.size - recording_.before.size;
    // A folder too big to be told in the piece's numbers is simply formatted again each time.
    if (written() - recording_.at <= qint64(UINT32_MAX) &&
        flatSize() - recording_.flatAt <= qint64(UINT32_MAX))
        pieces_->record(list_, recording_.folder.dir, recording_.folder.reading, piece);
}

bool FileOutput::followsInLast(qint64 at, const QByteArray &bytes)
{
    const ReplacingFile::Committed *last = pieces_->lastWritten(list_);
    const qint64 size = last ? last->size : -1;
    if (at + bytes.size() > size)
        return false;
    // Read a window at a time: the places compared come in the file's order.
    if (at < windowAt_ || at + bytes.size() > windowAt_ + window_.size()) {
        constexpr qint64 kWindow = 256 * 1024;
        windowAt_ = at;
        window_.resize(0);
        if (last_.read(at, std::min(size - at, std::max<qint64>(kWindow, bytes.size())),
                       &window_) != 0) {
            window_.resize(0);
            return false;
        }
    }
    return std::memcmp(window_.constData() + (at - windowAt_), bytes.constData(),
                       std::size_t(bytes.size())) == 0;
}

void FileOutput::flushCopy()
{
    const qint64 at = copyAt_;
    const qint64 length = copyLength_;
    copyLength_ = 0;
    if (length > 0 && error_ == 0 && file_.isOpen())
        error_ = file_.append(last_, at, length);
}

QByteArray relativePath(const QByteArray &from, const QByteArray &to)
{
    QList<QByteArray> here = from.split('/');
    QList<QByteArray> there = to.split('/');
    here.removeAll(QByteArray());
    there.removeAll(QByteArray());
    qsizetype common = 0;
    while (common < here.size() && common + 1 < there.size() && here[common] == there[common])
        ++common;
    QByteArray path;
    for (qsizetype i = common; i < here.size(); ++i)
        path += "../";
    for (qsizetype i = common; i < there.size(); ++i) {
        path += there[i];
        if (i + 1 < there.size())
            path += '/';
    }
    return path;
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
        path += '/';
    if (!file.dir.isEmpty())
        path += file.dir + '/';
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

QString sizeText(qint64 bytes, int langue)
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
    QString number = unit == 0 ? QString::number(bytes) : QString::number(size, 'f', 1);
    if (french)
        number.replace(QLatin1Char('.'), QLatin1Char(','));
    return number + QChar(0xA0) + QString::fromLatin1(french ? units[unit] : english[unit]);
}

QString shownName(const OutputContext &context, const OutputFile &file)
{
    return displayedName(file.name->text, context.settings->IncExt);
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
