#pragma once

#include <QString>

// What is known of a file's sound: its tags and its length. Empty texts and zeros where unknown.
struct TrackInfo {
    bool read = false; // false: nothing could be read (no tags, not audio, unreadable)
    // What the file holds stopped its reading (a crash, a limit passed): it is listed by name.
    bool unreadable = false;
    // The same answer comes for this file until it changes: what a cache keeps of it, or what
    // reading it gives every time. Not so when reading it was given up for the time.
    bool lasting = false;
    QString title;
    QString artist;
    QString album;
    int track = 0;
    qint64 durationMs = 0;
    int bitrate = 0;    // kbit/s
    QByteArray picture; // a digest of the first picture embedded in it, when there is one
};
