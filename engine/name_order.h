#pragma once

#include "engine/listing_host.h"

#include <QString>

// The order of both source lists: by name without regard to case (Unicode case folding, as
// QString::compare orders), ties broken by the exact bytes, so that "A.mp3" and "a.mp3" always
// come in the same order and a directory read twice gives the same positions.
inline bool nameBefore(const ListedName &a, const ListedName &b)
{
    const int folded = QString::compare(a.text, b.text, Qt::CaseInsensitive);
    if (folded != 0)
        return folded < 0;
    return a.bytes < b.bytes;
}
