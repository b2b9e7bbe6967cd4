#pragma once

#include "engine/track_info.h"

#include <QByteArray>

// What a tag reader answers, as bytes: one status byte, then fields, each a key byte, four
// bytes of length (little-endian) and the value. The reader is not trusted: decoding checks
// every length and keeps texts within kLongestTagText.

enum class ReplyStatus : char {
    Ready = 'Y',       // the reader's first words: its limits are set
    Read = 'R',        // the fields follow
    Nothing = 'N',     // not an audio file, or nothing readable in it
    OutOfMemory = 'M', // the reading passed the memory limit; the reader ends after this
    Picture = 'P'      // thumbnails follow (decodeThumbnails)
};

// Longer texts in a tag are cut there: nobody reads a title of a million characters, and
// every page, playlist and cache would carry it.
constexpr int kLongestTagText = 1024;

QByteArray encodeReply(ReplyStatus status, const TrackInfo *info = nullptr);
// False when the bytes are no reply.
bool decodeReply(const QByteArray &bytes, ReplyStatus *status, TrackInfo *info);
QByteArray encodeThumbnails(const QByteArray &small, const QByteArray &large);
// False when the bytes are no such reply, or the pictures no JPEG of a sane size.
bool decodeThumbnails(const QByteArray &bytes, QByteArray *small, QByteArray *large);

// The text cut to kLongestTagText characters, never inside a pair of surrogates.
QString boundedTagText(const QString &text);
