#pragma once

#include <QString>

#include <cstddef>

// One text of a table keyed by K, in both interface languages.
template <typename K> struct BilingualText {
    K key;
    const char *english; // UTF-8
    const char *french;  // UTF-8
};

// The text for key in langue (1 French, anything else English); null when the table lacks it.
template <typename K, std::size_t N>
QString pickText(const BilingualText<K> (&table)[N], K key, int langue)
{
    for (const BilingualText<K> &text : table) {
        if (text.key == key)
            return QString::fromUtf8(langue == 1 ? text.french : text.english);
    }
    return QString();
}
