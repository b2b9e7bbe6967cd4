#pragma once

#include <QByteArray>
#include <QStringView>

// Lists are 8-bit text in Windows-1252, one byte per character: "é" is E9, "à" is E0.
enum class Unrepresentable {
    QuestionMark,       // text lists: "?"
    CharacterReference, // HTML lists: "&#1044;", so that the page shows the real character
};

// Appends the text's bytes. Each code point Windows-1252 cannot hold (beyond U+FFFF included,
// and a lone surrogate) gives one "?" or one decimal character reference.
void appendWindows1252(QByteArray &out, QStringView text, Unrepresentable mode);
