#include "tags/track_wire.h"

#include <cstring>

namespace {

enum Key : char {
    kTitle = 't',
    kArtist = 'a',
    kAlbum = 'l',
    kTrack = 'n',
    kDuration = 'd',
    kBitrate = 'b',
};

void appendField(QByteArray &out, char key, const QByteArray &value)
{
    const quint32 length = quint32(value.size());
    const char prefix[5] = {key, char(length), char(length >> 8), char(length >> 16),
                            char(length >> 24)};
    out.append(prefix, 5);
    out += value;
}

QByteArray number(qint64 value)
{
    return QByteArray::number(value);
}

} // namespace

QString boundedTagText(const QString &text)
{
    if (text.size() <= kLongestTagText)
        return text;
    qsizetype cut = kLongestTagText;
    if (text[cut - 1].isHighSurrogate())
        --cut;
    return text.left(cut);
}

QByteArray encodeReply(ReplyStatus status, const TrackInfo *info)
{
    QByteArray out(1, char(status));
    if (status != ReplyStatus::Read || !info)
        return out;
    appendField(out, kTitle, boundedTagText(info->title).toUtf8());
    appendField(out, kArtist, boundedTagText(info->artist).toUtf8());
    appendField(out, kAlbum, boundedTagText(info->album).toUtf8());
    appendField(out, kTrack, number(info->track));
    appendField(out, kDuration, number(info->durationMs));
    appendField(out, kBitrate, number(info->bitrate));
    return out;
}

bool decodeReply(const QByteArray &bytes, ReplyStatus *status, TrackInfo *info)
{
    if (bytes.isEmpty())
        return false;
    *status = ReplyStatus(bytes[0]);
    *info = TrackInfo();
    switch (*status) {
    case ReplyStatus::Ready:
    case ReplyStatus::Nothing:
    case ReplyStatus::OutOfMemory:
        return bytes.size() == 1;
    case ReplyStatus::Read:
        break;
    default:
        return false;
    }
    info->read = true;
    for (qsizetype at = 1; at < bytes.size();) {
        if (bytes.size() - at < 5)
            return false;
        const auto *p = reinterpret_cast<const unsigned char *>(bytes.constData() + at);
        const quint32 length =
            quint32(p[1]) | quint32(p[2]) << 8 | quint32(p[3]) << 16 | quint32(p[4]) << 24;
        at += 5;
        if (length > quint32(bytes.size() - at))
            return false;
        const QByteArray value = bytes.mid(at, length);
        at += length;
        const auto integer = [&value](qint64 low, qint64 high) {
            bool ok = false;
            const qint64 n = value.toLongLong(&ok);
            return ok && n >= low && n <= high ? n : 0;
        };
        switch (char(p[0])) {
        case kTitle:
            info->title = boundedTagText(QString::fromUtf8(value));
            break;
        case kArtist:
            info->artist = boundedTagText(QString::fromUtf8(value));
            break;
        case kAlbum:
            info->album = boundedTagText(QString::fromUtf8(value));
            break;
        case kTrack:
            info->track = int(integer(0, 1 << 30));
            break;
        case kDuration:
            info->durationMs = integer(0, qint64(1) << 50);
            break;
        case kBitrate:
            info->bitrate = int(integer(0, 1 << 30));
            break;
        default:
            break; // a field of a later version
        }
    }
    return true;
}
