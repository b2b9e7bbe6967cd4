#include "tags/track_wire.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace {

enum Key : char {
    kTitle = 't',
    kArtist = 'a',
    kAlbum = 'l',
    kTrack = 'n',
    kDuration = 'd',
    kBitrate = 'b',
    kPicture = 'h',
    kSmall = 's',
    kLarge = 'l',
};

// The fields of a reply after its status byte, each checked; false when one is malformed.
template <class Take> bool forEachField(const QByteArray &bytes, Take take)
{
    for (qsizetype at = 1; at < bytes.size();) {
        if (bytes.size() - at < 5)
            return false;
        const auto *p = reinterpret_cast<const unsigned char *>(bytes.constData() + at);
        const quint32 length =
            quint32(p[1]) | quint32(p[2]) << 8 | quint32(p[3]) << 16 | quint32(p[4]) << 24;
        at += 5;
        if (length > quint32(bytes.size() - at))
            return false;
        take(char(p[0]), bytes.mid(at, length));
        at += length;
    }
    return true;
}

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
    if (!info->picture.isEmpty())
        appendField(out, kPicture, info->picture);
    return out;
}

QByteArray encodeThumbnails(const QByteArray &small, const QByteArray &large)
{
    QByteArray out(1, char(ReplyStatus::Picture));
    appendField(out, kSmall, small);
    appendField(out, kLarge, large);
    return out;
}

bool decodeThumbnails(const QByteArray &bytes, QByteArray *small, QByteArray *large)
{
    if (bytes.isEmpty() || bytes[0] != char(ReplyStatus::Picture))
        return false;
    small->clear();
    large->clear();
    const bool whole = forEachField(bytes, [&](char key, const QByteArray &value) {
        if (key == kSmall)
            *small = value;
        else if (key == kLarge)
            *large = value;
    });
    // JPEG files, as the reader makes them, and no larger than such thumbnails get.
    const auto isJpeg = [](const QByteArray &b) {
        return b.startsWith("\xFF\xD8\xFF") && b.size() < 2 * 1024 * 1024;
    };
    return whole && isJpeg(*small) && isJpeg(*large);
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
    case ReplyStatus::Picture:
        return false; // not tags
    case ReplyStatus::Read:
        break;
    default:
        return false;
    }
    info->read = true;
    return forEachField(bytes, [info](char key, const QByteArray &value) {
        const auto integer = [&value](qint64 low, qint64 high) {
            bool ok = false;
            const qint64 n = value.toLongLong(&ok);
            return ok && n >= low && n <= high ? n : 0;
        };
        switch (key) {
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
        case kPicture:
            // A name for files: hex digits only.
            if (value.size() == 16 && std::all_of(value.begin(), value.end(),
                                                  [](char c) { return std::isxdigit(uchar(c)); }))
                info->picture = value.toLower();
            break;
        default:
            break; // a field of a later version
        }
    });
}
