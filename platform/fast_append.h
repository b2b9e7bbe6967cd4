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
inline void appendBytes(QByteArray &out, const char *data, qsizetype size)
{
    QByteArray::DataPointer &d = out.data_ptr();
    if (size > 0 && !d.needsDetach() && d.freeSpaceAtEnd() >= size) {
        // The storage holds one byte past its capacity for the terminating null.
        std::memcpy(d.data() + d.size, data, std::size_t(size));
        d.size += size;
        d.data()[d.size] = '\0';
    } else if (size > 0) {
        out.append(data, size);
    }
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
    QString::DataPointer &d = out.data_ptr();
    if (size > 0 && !d.needsDetach() && d.freeSpaceAtEnd() >= size) {
        std::memcpy(d.data() + d.size, data, std::size_t(size) * sizeof(char16_t));
        d.size += size;
        d.data()[d.size] = u'\0';
    } else if (size > 0) {
        out.append(data, size);
    }
}

inline void appendText(QString &out, QStringView text)
{
    appendText(out, text.data(), text.size());
}

inline void appendText(QString &out, QLatin1String text)
{
    QString::DataPointer &d = out.data_ptr();
    const qsizetype size = text.size();
    if (size > 0 && !d.needsDetach() && d.freeSpaceAtEnd() >= size) {
        char16_t *to = d.data() + d.size;
        for (const char c : text)
            *to++ = char16_t(static_cast<unsigned char>(c));
        *to = u'\0';
        d.size += size;
    } else if (size > 0) {
        out.append(text);
    }
}
