#include "platform/lossless_text.h"

namespace {

constexpr char16_t kEscapeBase = 0xDC00;

// The length of the valid UTF-8 sequence starting at data[i], or 0 when there is none: overlong
// forms, surrogates and code points beyond U+10FFFF are not valid. *decoded is its code point.
int validSequence(const unsigned char *data, qsizetype size, qsizetype i, char32_t *decoded)
{
    const unsigned char lead = data[i];
    int length = 0;
    char32_t least = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        least = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        least = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        least = 0x10000;
    } else {
        return 0;
    }
    if (i + length > size)
        return 0;
    char32_t c = lead & (0x7F >> length);
    for (int k = 1; k < length; ++k) {
        const unsigned char next = data[i + k];
        if ((next & 0xC0) != 0x80)
            return 0;
        c = (c << 6) | (next & 0x3F);
    }
    if (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        return 0;
    *decoded = c;
    return length;
}

} // namespace

QString losslessText(const QByteArray &bytes)
{
    const auto *data = reinterpret_cast<const unsigned char *>(bytes.constData());
    const qsizetype size = bytes.size();
    qsizetype i = 0;
    while (i < size && data[i] < 0x80)
        ++i;
    if (i == size)
        return QString::fromLatin1(bytes); // the usual case: ASCII
    QString text = QString::fromLatin1(bytes.constData(), i);
    text.reserve(size);
    while (i < size) {
        if (data[i] < 0x80) {
            text += QLatin1Char(char(data[i++]));
            continue;
        }
        char32_t c = 0;
        const int length = validSequence(data, size, i, &c);
        if (length == 0) {
            text += QChar(char16_t(kEscapeBase + data[i++]));
            continue;
        }
        // Decoded here, not by Qt's decoders, which take a U+FEFF at their start for a byte
        // order mark and drop it: "music\uFEFF" would name another folder.
        if (QChar::requiresSurrogates(c)) {
            text += QChar(QChar::highSurrogate(c));
            text += QChar(QChar::lowSurrogate(c));
        } else {
            text += QChar(char16_t(c));
        }
        i += length;
    }
    return text;
}

QByteArray losslessBytes(const QString &text)
{
    QByteArray bytes;
    bytes.reserve(text.size());
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        const char16_t unit = text[i].unicode();
        if (unit < 0x80) {
            bytes += char(unit);
            continue;
        }
        const bool pair =
            QChar::isHighSurrogate(unit) && i + 1 < size && text[i + 1].isLowSurrogate();
        if (!pair && unit >= kEscapeBase + 0x80 && unit <= kEscapeBase + 0xFF) {
            bytes += char(unit - kEscapeBase);
            continue;
        }
        // Any other lone surrogate has no bytes of its own: it was never read from the system.
        bytes += QStringView(text).mid(i, pair ? 2 : 1).toUtf8();
        if (pair)
            ++i;
    }
    return bytes;
}
