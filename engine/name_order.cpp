#include "engine/name_order.h"

#include "engine/bilingual_text.h"

ListOrder::ListOrder(bool natural, int langue) : langue_(langue)
{
    if (!natural)
        return;
    collator_.emplace(QLocale(inFrench(langue) ? QLocale::French : QLocale::English));
    collator_->setNumericMode(true);
    collator_->setCaseSensitivity(Qt::CaseInsensitive);
}

bool ListOrder::operator()(const ListedName &a, const ListedName &b) const
{
    if (collator_) {
        const int collated = collator_->compare(a.text, b.text);
        if (collated != 0)
            return collated < 0;
    }
    return nameBefore(a, b);
}
