#include "caption_fit.h"

#include "caption_button.h"

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QStyle>

#include <algorithm>

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

int designWidth(const QWidget *control)
{
    const QVariant design = control->property(kDesignWidth);
    return design.isValid() ? design.toInt() : control->width();
}

// Room left of the caption's text: an indicator, or nothing.
int indicatorWidth(const QWidget *control)
{
    const bool check = qobject_cast<const QCheckBox *>(control) != nullptr;
    if (!check && !qobject_cast<const QRadioButton *>(control))
        return 0;
    return control->style()->pixelMetric(check ? QStyle::PM_IndicatorWidth
                                               : QStyle::PM_ExclusiveIndicatorWidth,
                                         nullptr, control) +
           kCaptionSpacing;
}

// The caption a control shows, and whether it is one this file knows to measure.
bool captionOf(const QWidget *control, QString *caption)
{
    if (const auto *button = qobject_cast<const QAbstractButton *>(control))
        *caption = plainText(button->text());
    else if (const auto *label = qobject_cast<const QLabel *>(control))
        *caption = label->text();
    else if (const auto *frame = qobject_cast<const QGroupBox *>(control))
        *caption = plainText(frame->title());
    else
        return false;
    return true;
}

bool multiLine(const QWidget *control, const QFontMetrics &metrics)
{
    if (const auto *label = qobject_cast<const QLabel *>(control))
        return label->wordWrap();
    return qobject_cast<const QGroupBox *>(control) == nullptr &&
           qobject_cast<const QPushButton *>(control) == nullptr &&
           control->height() >= 2 * metrics.lineSpacing();
}

} // namespace

int captionRoom(const QWidget *control)
{
    const QWidget *container = control->parentWidget();
    if (!container)
        return control->width();
    int right = container->width() - 2;
    const int top = control->y();
    const int bottom = control->y() + control->height();
    for (const QObject *object : container->children()) {
        const auto *other = qobject_cast<const QWidget *>(object);
        if (!other || other == control || other->isWindow() || other->x() <= control->x())
            continue;
        if (other->y() < bottom && other->y() + other->height() > top)
            right = std::min(right, other->x() - 1);
    }
    return right - control->x();
}

bool captionFits(const QWidget *control, const QFont &font)
{
    QString caption;
    if (!captionOf(control, &caption) || caption.isEmpty())
        return true;
    const QFontMetrics metrics(font);
    if (const auto *frame = qobject_cast<const QGroupBox *>(control))
        return metrics.horizontalAdvance(caption) + 16 <= frame->width();
    if (const auto *button = qobject_cast<const QPushButton *>(control))
        return metrics.horizontalAdvance(caption) + 8 <= button->width();
    const int indicator = indicatorWidth(control);
    if (!multiLine(control, metrics))
        return indicator + metrics.horizontalAdvance(caption) + 2 <= captionRoom(control);
    const QRect text(0, 0, control->width() - indicator, control->height());
    const QRect needed = metrics.boundingRect(text, Qt::TextWordWrap, caption);
    return needed.width() <= text.width() && needed.height() <= text.height();
}

bool captionsFit(const QWidget *window, const QFont &font)
{
    const QList<QWidget *> controls = window->findChildren<QWidget *>();
    return std::all_of(controls.begin(), controls.end(),
                       [&](const QWidget *control) { return captionFits(control, font); });
}

void fitCaption(QWidget *control)
{
    if (!control->property(kDesignWidth).isValid())
        control->setProperty(kDesignWidth, control->width());
    QString caption;
    const QFontMetrics metrics(control->font());
    if (!captionOf(control, &caption) || multiLine(control, metrics))
        return;
    const int needed = indicatorWidth(control) + metrics.horizontalAdvance(caption) + 2;
    const int width = std::max(designWidth(control), std::min(needed, captionRoom(control)));
    control->resize(width, control->height());
}
