#pragma once

#include <QByteArray>

// Small JPEG pictures of a folder's cover, made in a tag reader from a picture of anyone's
// (a cover file, or one embedded in a track): at most 128 and 512 pixels on a side.
constexpr int kSmallThumbnail = 128;
constexpr int kLargeThumbnail = 512;

// Decodes the picture (JPEG, PNG, WebP...) within a bound of memory, and scales it. False when
// it is no picture that can be decoded.
bool makeThumbnails(const QByteArray &picture, QByteArray *small, QByteArray *large);

// Loads the formats' decoders (plugins, read from disk) while files may still be opened.
void preloadImageFormats();
