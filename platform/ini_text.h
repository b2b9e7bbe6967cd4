#pragma once

#include <QByteArray>

#include <optional>

// The settings file's text: "[section]" lines, then "Name=value" lines, each ended by LF or CR LF,
// the first one possibly after a UTF-8 byte-order mark. Section and value names are compared
// without regard to ASCII case, as registry names are, and blanks around a name are ignored. A
// value is the text after the first "=" up to the end of its line, exactly, so that a title the
// program saved with a leading blank keeps it; only when blanks stand before the "=" (the
// hand-written "Langue = 0") are the blanks around the value dropped too. No quotes, lists or
// escapes: "Pattern=*.mp3, *.aac" means what it says. Other lines (comments, anything
// unreadable) are kept as they are.

// The value of name in section, from the first line that sets it, or nothing when none does.
std::optional<QByteArray> iniValue(const QByteArray &text, const QByteArray &section,
                                   const QByteArray &name);

// The text with name set to value in section: the line a read would take replaced, or a line
// added at the end of the section (the section itself added at the end of the text when
// missing). Every other byte stays.
QByteArray iniWithValue(const QByteArray &text, const QByteArray &section, const QByteArray &name,
                        const QByteArray &value);
