#pragma once

#include "engine/track_info.h"

#include <QByteArray>

// The tags and length of an audio file (MP3 with ID3v1 or ID3v2, Ogg Vorbis and Opus, FLAC,
// M4A, WAV and whatever else TagLib knows), from an open descriptor, which it takes over. The
// format is told by the file's contents. A file that is not audio, or not readable as such
// (truncated, damaged), gives a TrackInfo that was not read. With `picture`, the bytes of the
// first picture embedded in it (empty when none).
TrackInfo readTrackInfo(int fd, QByteArray *picture = nullptr);

// A short digest of a picture's bytes, as a name for its thumbnails: 16 hex digits.
QByteArray pictureDigest(const QByteArray &picture);
