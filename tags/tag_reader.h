#pragma once

#include "engine/list_outputs.h"

// The tags and length of an audio file (MP3 with ID3v1 or ID3v2, Ogg Vorbis and Opus, FLAC,
// M4A, WAV and whatever else TagLib knows), from an open descriptor, which it takes over. The
// format is told by the file's contents. A file that is not audio, or not readable as such
// (truncated, damaged), gives a TrackInfo that was not read.
TrackInfo readTrackInfo(int fd);
