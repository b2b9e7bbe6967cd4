#include "caption_button.h"

#include <QLabel>

namespace {

const char *const kDesignWidth = "lystoraDesignWidth";

QString plainText(QString text)
{
    // "&x" marks an access key and "&&" shows one "&": neither takes room of its own.
    text.replace(QLatin1String("&&"), QLatin1String("\x01"));
    text.remove(QLatin1Char('&'));
    text.replace(QLatin1Char('\x01'), QLatin1Char('&'));
    return text;
}

} // namespace

void fitCaption(QWidget *control)
{
    QVariant design = control->property(kDesignWidth);
    if (!design.isValid()) {
        design = control->width();
        control->setProperty(kDesignWidth, design);
    }
    const QFontMetrics metrics(control->font());
    if (control->height() >= 2 * metrics.lineSpacing())
        return; // room to wrap
    int needed = 0;
    if (auto *label = qobject_cast<QLabel *>(control)) {
        needed = metrics.horizontalAdvance(label->text()) + 2;
    } else if (auto *button = qobject_cast<QAbstractButton *>(control)) {
        const bool check = qobject_cast<QCheckBox *>(control) != nullptr;
        const QStyle *style = control->style();
        needed = style->pixelMetric(check ? QStyle::PM_IndicatorWidth
                                          : QStyle::PM_ExclusiveIndicatorWidth,
                                    nullptr, control) +
                 kCaptionSpacing + metrics.horizontalAdvance(plainText(button->text())) + 1;
    }
    int width = qMax(design.toInt(), needed);
    if (const QWidget *container = control->parentWidget())
        width = qMin(width, qMax(design.toInt(), container->width() - control->x() - 2));
    control->resize(width, control->height());
}
