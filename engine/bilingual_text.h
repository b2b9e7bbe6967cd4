#pragma once

#include <QString>

#include <cstddef>

// Whether a language field (Langue, FileLangue...) names French: 1 is French and 0 English. The
// fields hold nothing else, as every reader of a stored or typed language gives 0 or 1; should
// another value reach here, it reads as English.
inline bool inFrench(int langue)
{
    return langue == 1;
}

// One text of a table keyed by K, in both interface languages.
template <typename K> struct BilingualText {
    K key;
    const char *english; // UTF-8
    const char *french;  // UTF-8
};

// The text for key in the language langue names (see inFrench): the one lookup from a language
// field to a text, for every table of both languages (entries with key, english and french).
// Null when the table lacks the key.
template <typename Entry, std::size_t N, typename K>
QString pickText(const Entry (&table)[N], K key, int langue)
{
    for (const Entry &text : table) {
        if (text.key == key)
            return QString::fromUtf8(inFrench(langue) ? text.french : text.english);
    }
    return QString();
}
