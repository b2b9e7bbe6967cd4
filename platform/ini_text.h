#pragma once

#include <QByteArray>

#include <optional>

// The settings file's text: "[section]" lines, then "Name=value" lines. A value is the text after
// the first "=" up to the end of its line, exactly: no quotes, lists or escapes, so that a
// hand-edited "Pattern=*.mp3, *.aac" means what it says. Section and value names are compared
// without regard to ASCII case, as registry names are. Lines that are none of these (comments,
// anything unreadable) are kept as they are.

// The value of name in section, or nothing when it is not there.
std::optional<QByteArray> iniValue(const QByteArray &text, const QByteArray &section,
                                   const QByteArray &name);

// The text with name set to value in section: the first line for it replaced, or a line added
// at the end of the section (the section itself added at the end of the text when missing).
QByteArray iniWithValue(const QByteArray &text, const QByteArray &section, const QByteArray &name,
                        const QByteArray &value);
