#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QLatin1String>
#include <QString>
#include <QStringView>

#include <cstddef>
#include <cstring>

// The lists are made of millions of short pieces appended to buffers that already have room.
// Qt's own append goes through a general, out-of-line insert for each, which was a third of the
// formatting's time; these copy straight in when the room is there and leave every other case
// (no room, shared or no storage) to Qt.
namespace fastAppend {

// Whether size more units fit in storage of the array's own, unshared.
template <typename DataPointer> inline bool hasRoom(const DataPointer &d, qsizetype size)
{
    return size > 0 && !d.needsDetach() && d.freeSpaceAtEnd() >= size;
}

// For QByteArray and QString alike: units of the array's own size.
template <typename Array, typename Unit>
inline void copyIn(Array &out, const Unit *data, qsizetype size)
{
    typename Array::DataPointer &d = out.data_ptr();
    static_assert(sizeof(Unit) == sizeof(*d.data()), "units of the array's own size");
    if (hasRoom(d, size)) {
        // The storage holds one unit past its capacity for the terminating null.
        std::memcpy(d.data() + d.size, data, std::size_t(size) * sizeof(Unit));
        d.size += size;
        d.data()[d.size] = 0;
    } else if (size > 0) {
        out.append(data, size);
    }
}

} // namespace fastAppend

inline void appendBytes(QByteArray &out, const char *data, qsizetype size)
{
    fastAppend::copyIn(out, data, size);
}

inline void appendBytes(QByteArray &out, QByteArrayView bytes)
{
    appendBytes(out, bytes.data(), bytes.size());
}

template <std::size_t N> inline void appendBytes(QByteArray &out, const char (&literal)[N])
{
    appendBytes(out, literal, qsizetype(N - 1));
}

inline void appendBytes(QByteArray &out, char c)
{
    appendBytes(out, &c, 1);
}

inline void appendText(QString &out, const QChar *data, qsizetype size)
{
    fastAppend::copyIn(out, data, size);
}

inline void appendText(QString &out, QStringView text)
{
    appendText(out, text.data(), text.size());
}

inline void appendText(QString &out, QLatin1String text)
{
    QString::DataPointer &d = out.data_ptr();
    const qsizetype size = text.size();
    if (fastAppend::hasRoom(d, size)) {
        char16_t *to = d.data() + d.size;
        for (const char c : text)
            *to++ = char16_t(static_cast<unsigned char>(c));
        *to = u'\0';
        d.size += size;
    } else if (size > 0) {
        out.append(text);
    }
}
