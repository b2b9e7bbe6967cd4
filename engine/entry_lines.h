#pragma once

#include "engine/listing_host.h"
#include "settings/listing_settings.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// The body lines of a list. Every line begins with its own separator and ends without one.
//
// Names come from the file system, so they are made safe where they are shown: a control
// character becomes "?" (it could break a line), and in HTML "& < > \"" are escaped so that no
// name can put markup into a served page. Links are built from the name's own bytes,
// percent-encoded. BaseUrl and TitleHTML are the user's own text and stay as typed.

// The name a file's line shows: whole when IncExt is on, else cut before its last dot (a final
// dot does not count, and a name without a dot stays whole); composed, control characters as "?".
QString displayedName(const QString &name, bool incExt);

// Control characters (U+0000-U+001F, U+007F-U+009F) replaced by "?".
QString withoutControls(const QString &name);
// A name as a list shows it: composed (NFC), so that an accent written as a letter and a
// combining mark is one character, and without control characters.
QString shownText(const QString &name);

void appendHtmlEscaped(QString &out, const QString &text);

// Percent-encodes every byte but the unreserved "A-Z a-z 0-9 - . _ ~".
void appendPercentEncoded(QString &out, QByteArrayView bytes);

// The line announcing an entered directory; name is its own name, never its path.
void putDirectoryLine(QString &out, const ListingSettings &settings, const QString &name);

// The line of one file. urlPath is the directory below the source, percent-encoded, with a "/"
// after each name.
void putEntryLine(QString &out, const ListingSettings &settings, const QString &urlPath,
                  const ListedName &name, const QString &displayed);

// Whether a name is printable ASCII, as most are. It then shows as its own bytes (nothing to
// compose, no control character) and each of its characters is one byte in Windows-1252, so its
// line can be written from those bytes directly, without the text of putEntryLine().
bool isPlainName(QByteArrayView name);
// What displayedName() gives of such a name, as bytes.
QByteArrayView plainDisplayedName(QByteArrayView name, bool incExt);
// Such a name's bytes escaped for HTML, as appendHtmlEscaped() would.
void appendHtmlEscaped(QByteArray &out, QByteArrayView plain);
// The Windows-1252 bytes of putEntryLine()'s line for such a name, `linkStart` being those of
// "<br><a href=\"", BaseUrl and urlPath (used only when the line has a link). *displayed is
// what the line shows of the name.
void appendPlainEntryLine(QByteArray &out, const ListingSettings &settings,
                          QByteArrayView linkStart, QByteArrayView name, QByteArrayView *displayed);
