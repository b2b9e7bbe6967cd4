#pragma once

// How a WorkerProcess and its helper frame what they send each other on their stream socket:
// four bytes of length (little-endian), then the message.

#include <QByteArray>

#include <cstring>

constexpr int kWorkerSocketFd = 3;
// Far above any request or reply (a reply holds a few texts and small pictures): a length
// beyond it is a helper gone astray.
constexpr quint32 kLargestMessage = 16 * 1024 * 1024;

inline QByteArray framedMessage(const QByteArray &message)
{
    const quint32 length = quint32(message.size());
    const unsigned char prefix[4] = {uchar(length), uchar(length >> 8), uchar(length >> 16),
                                     uchar(length >> 24)};
    return QByteArray(reinterpret_cast<const char *>(prefix), 4) + message;
}

enum class Framed { Whole, Partial, Broken };

// Takes one whole message off the front of what was received.
inline Framed takeFramedMessage(QByteArray &received, QByteArray *message)
{
    if (received.size() < 4)
        return Framed::Partial;
    const auto *prefix = reinterpret_cast<const unsigned char *>(received.constData());
    const quint32 length = quint32(prefix[0]) | quint32(prefix[1]) << 8 | quint32(prefix[2]) << 16 |
                           quint32(prefix[3]) << 24;
    if (length > kLargestMessage)
        return Framed::Broken;
    if (received.size() < qsizetype(4 + length))
        return Framed::Partial;
    *message = received.mid(4, length);
    received.remove(0, 4 + length);
    return Framed::Whole;
}
