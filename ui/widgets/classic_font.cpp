#include "classic_font.h"

#include <QFontInfo>
#include <QStringList>

namespace {

const QString kDesignFamily = QStringLiteral("Liberation Sans");
constexpr qreal kDesignSize = 8;
constexpr qreal kSmallestSize = 7;

QFont &fontInForce()
{
    static QFont font = [] {
        QFont design;
        design.setFamilies(QStringList{kDesignFamily, QStringLiteral("Arimo"),
                                       QStringLiteral("DejaVu Sans"),
                                       QStringLiteral("Sans Serif")});
        design.setPointSizeF(kDesignSize);
        return design;
    }();
    return font;
}

} // namespace

QFont classicDialogFont()
{
    return fontInForce();
}

QFont chooseDialogFont(const std::function<bool(const QFont &font)> &fits)
{
    QFont &font = fontInForce();
    if (QFontInfo(font).family() == kDesignFamily)
        return font;
    // Hinted in full, a small font's letters are rounded up to whole pixels and a line grows by
    // a tenth; hinted vertically only, it keeps its design's widths.
    font.setHintingPreference(QFont::PreferVerticalHinting);
    for (qreal size = kDesignSize; size >= kSmallestSize; size -= 0.25) {
        font.setPointSizeF(size);
        if (fits(font))
            return font;
    }
    return font;
}
