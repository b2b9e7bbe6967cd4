#pragma once

#include <QtGlobal>

// Names the calling thread, as process viewers and profilers show it (at most 15 bytes).
void setThreadName(const char *name);

// Bytes the calling thread has had read from storage so far: what it found in memory (the
// system's caches) does not count.
qint64 threadDiskReads();

// How many descriptors the process may hold open at once.
int descriptorLimit();
