#include "engine/windows1252.h"

namespace {

// Bytes 80 to 9F of Windows-1252 and the characters they stand for; 81, 8D, 8F, 90 and 9D hold
// none.
struct HighByte {
    char16_t character;
    unsigned char byte;
};
const HighByte kHighBytes[] = {
    {0x20AC, 0x80}, {0x201A, 0x82}, {0x0192, 0x83}, {0x201E, 0x84}, {0x2026, 0x85}, {0x2020, 0x86},
    {0x2021, 0x87}, {0x02C6, 0x88}, {0x2030, 0x89}, {0x0160, 0x8A}, {0x2039, 0x8B}, {0x0152, 0x8C},
    {0x017D, 0x8E}, {0x2018, 0x91}, {0x2019, 0x92}, {0x201C, 0x93}, {0x201D, 0x94}, {0x2022, 0x95},
    {0x2013, 0x96}, {0x2014, 0x97}, {0x02DC, 0x98}, {0x2122, 0x99}, {0x0161, 0x9A}, {0x203A, 0x9B},
    {0x0153, 0x9C}, {0x017E, 0x9E}, {0x0178, 0x9F},
};

int byteFor(char32_t c)
{
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return int(c);
    for (const HighByte &high : kHighBytes) {
        if (high.character == c)
            return high.byte;
    }
    return -1;
}

void appendUnrepresentable(QByteArray &out, char32_t c, Unrepresentable mode)
{
    if (mode == Unrepresentable::QuestionMark) {
        out += '?';
        return;
    }
    out += "&#";
    out += QByteArray::number(uint(c));
    out += ';';
}

} // namespace

void appendWindows1252(QByteArray &out, QStringView text, Unrepresentable mode)
{
    const qsizetype size = text.size();
    const QChar *data = text.data();
    for (qsizetype i = 0; i < size; ++i) {
        // ASCII, most of any list, a run at a time.
        qsizetype end = i;
        while (end < size && data[end].unicode() < 0x80)
            ++end;
        if (end > i) {
            const qsizetype at = out.size();
            out.resize(at + (end - i));
            char *to = out.data() + at;
            for (; i < end; ++i)
                *to++ = char(data[i].unicode());
            if (i == size)
                return;
        }
        const char16_t unit = data[i].unicode();
        char32_t c = unit;
        if (QChar::isHighSurrogate(unit) && i + 1 < size && data[i + 1].isLowSurrogate()) {
            c = QChar::surrogateToUcs4(unit, data[i + 1].unicode());
            ++i;
        } else if (QChar::isSurrogate(unit)) {
            c = 0xFFFD; // half a character stands for none
        }
        const int byte = byteFor(c);
        if (byte >= 0)
            out += char(byte);
        else
            appendUnrepresentable(out, c, mode);
    }
}
