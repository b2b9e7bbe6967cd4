#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <cstddef>
#include <cstring>

// The lists are made of millions of short pieces appended to buffers that already have room.
// QByteArray's own append goes through its general, out-of-line insert for each, which was a
// third of the formatting's time; these copy straight in when the room is there and leave every
// other case (no room, shared or no storage) to Qt.
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
