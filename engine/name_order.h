#pragma once

#include "engine/listing_host.h"

#include <QCollator>
#include <QString>

#include <optional>

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

// The order a run asks of the lists: by name, or naturally, numbers by their value and letters
// by the collation of the list's language ("Track 2" before "Track 10", "Édith" with the E's),
// whatever the process's locale. Ties go by name, so that the order stays total and stable.
class ListOrder
{
public:
    ListOrder() = default; // by name
    ListOrder(bool natural, int langue);

    bool operator()(const ListedName &a, const ListedName &b) const;
    bool natural() const { return collator_.has_value(); }
    int langue() const { return langue_; }
    // Only of a natural order.
    const QCollator &collator() const { return *collator_; }
    friend bool operator==(const ListOrder &a, const ListOrder &b)
    {
        return a.natural() == b.natural() && a.langue_ == b.langue_;
    }

private:
    int langue_ = 0;
    // Held by a natural order only, and what makes it one: opening a collator loads the
    // language's collation data, which a list by name never needs.
    std::optional<QCollator> collator_;
};
