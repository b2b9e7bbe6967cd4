#pragma once

#include "engine/track_info.h"

#include <QByteArray>

// The tags and length of an audio file (MP3 with ID3v1 or ID3v2, Ogg Vorbis and Opus, FLAC,
// M4A, WAV and whatever else TagLib knows), from an open descriptor, which it takes over. The
// file's name (its extension is enough) says which format to try first; its contents decide.
// A file that is not audio, or not readable as such (truncated, damaged), gives a TrackInfo
// that was not read.
TrackInfo readTrackInfo(int fd, const QByteArray &name = QByteArray());
