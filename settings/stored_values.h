#pragma once

#include <QByteArray>
#include <QString>

// How each stored text becomes a setting and back. The start-up load and lystora-list read the
// store with the same rules, so that both make the same list from the same settings.

bool storedYes(const QString &text);     // only "Oui" is yes
bool storedNotNo(const QString &text);   // only "Non" is no: a missing value is yes
QString yesNoText(bool yes);             // "Oui" / "Non"
int storedLanguage(const QString &text); // "0" English; anything else, "" included, French
// "" gives 0; "0", "1", "2" themselves; anything else 2, which is how a run treats it.
int storedListingType(const QString &text);
// A whole number of minutes from 1 to 999; anything else gives 60.
int storedInterval(const QString &text);
bool isValidInterval(const QString &text);
QString storedPattern(const QString &text); // "" gives "*.mp3"

// The list's name with the extension its format wants: what follows the last "." becomes "htm"
// or "txt" ("audio.txt" and "audio.htm" swap), a name without a dot gets ".htm" or ".txt", and in
// HTML a name already ending in ".htm" or ".html" (any case) stays, so that a served
// "index.html" keeps its name. An empty name stays empty.
QString switchExtension(const QString &name, bool html);
// The stored file name as the load shows it: "audio.txt" when empty, with the extension switch.
QString storedFileName(const QString &text, bool html);

// A stored directory ("/music/rock/", say), or "/" when none is stored, climbed up while it does
// not exist, never above the root. Without a trailing "/", except the root.
QByteArray storedDirectory(const QString &text);
// An absolute path without its final "/", if it leads to a folder; else its nearest ancestor
// that does ("/" at worst).
QByteArray nearestDirectory(QByteArray path);
// A directory as it is stored: with a trailing "/" ("/" stays "/").
QString directoryText(const QByteArray &path);
