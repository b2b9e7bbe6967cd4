#pragma once

#include <QByteArray>
#include <QString>

// The system hands over bytes (file names, command-line arguments, values of a hand-edited
// settings file) that need not be UTF-8: an old Latin-1 music collection has names such as
// "caf\xE9". They are held as text that gives the very same bytes back: valid UTF-8 is decoded as
// usual, and each byte of anything else becomes one of the code points U+DC80 to U+DCFF, which
// no valid UTF-8 decodes to. Shown on screen, such a byte looks like a replacement character;
// written back to the system, it is the byte it was.
QString losslessText(const QByteArray &bytes);
QByteArray losslessBytes(const QString &text);
