#pragma once

#include <QCheckBox>
#include <QRadioButton>
#include <QStyleOptionButton>
#include <QStylePainter>

#include <type_traits>

// Room between an indicator and its caption, as classic dialogs leave it.
inline constexpr int kCaptionSpacing = 4;

// A check box or option button drawn as classic dialogs draw them: the indicator centred on the
// height, and the caption wrapped onto as many lines as the height holds (a two-line option
// stays two lines). Clicking the caption anywhere toggles it.
template <class Button> class CaptionButton : public Button
{
public:
    using Button::Button;

protected:
    static constexpr bool isCheckBox = std::is_base_of_v<QCheckBox, Button>;

    void paintEvent(QPaintEvent *) override
    {
        QStylePainter painter(this);
        QStyleOptionButton option;
        this->initStyleOption(&option);
        QStyleOptionButton indicator = option;
        indicator.rect = this->style()->subElementRect(isCheckBox ? QStyle::SE_CheckBoxIndicator
                                                                  : QStyle::SE_RadioButtonIndicator,
                                                       &option, this);
        indicator.rect.moveTop((this->height() - indicator.rect.height()) / 2);
        painter.drawPrimitive(
            isCheckBox ? QStyle::PE_IndicatorCheckBox : QStyle::PE_IndicatorRadioButton, indicator);
        QRect caption = this->rect();
        caption.setLeft(indicator.rect.right() + 1 + kCaptionSpacing);
        const bool wraps = this->height() >= 2 * painter.fontMetrics().lineSpacing();
        const int flags = Qt::AlignLeft | Qt::AlignVCenter | Qt::TextShowMnemonic |
                          (wraps ? Qt::TextWordWrap : 0);
        painter.drawItemText(caption, flags, this->palette(), this->isEnabled(), this->text(),
                             QPalette::WindowText);
        if (this->hasFocus()) {
            QStyleOptionFocusRect focus;
            focus.initFrom(this);
            focus.rect = painter.fontMetrics()
                             .boundingRect(caption, flags, this->text())
                             .adjusted(-1, 0, 1, 0);
            painter.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
        }
    }

    bool hitButton(const QPoint &pos) const override { return this->rect().contains(pos); }
};

using CaptionCheckBox = CaptionButton<QCheckBox>;
using CaptionRadioButton = CaptionButton<QRadioButton>;
