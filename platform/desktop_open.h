#pragma once

#include <QString>

// Hands a file or a web address to the desktop's program for it (the music player, the browser,
// the program a list file is associated with). Nothing waits for it, and a failure shows nothing:
// there is no program to blame but the desktop's.
void openWithAssociatedProgram(const QString &fileOrAddress);
