#include "classic_frame.h"

#include <QPainter>
#include <QStyle>

void ClassicFrame::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const QFontMetrics metrics(font());
    // An etched line, dark over light, as classic dialogs frame their groups. The style's own
    // group box frame cannot be used: it moves the border below the title.
    const QRect border = rect().adjusted(0, metrics.height() / 2, -1, -1);
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(border.adjusted(0, 0, -1, -1));
    painter.setPen(palette().color(QPalette::Light));
    painter.drawRect(border.adjusted(1, 1, 0, 0));
    if (title().isEmpty())
        return;
    // The title's own background breaks the border where it stands.
    QRect label = metrics.boundingRect(title()).adjusted(0, 0, 4, 0);
    label.moveTo(6, 0);
    label.setHeight(metrics.height());
    painter.fillRect(label, palette().brush(backgroundRole()));
    style()->drawItemText(&painter, label, Qt::AlignCenter | Qt::TextShowMnemonic, palette(),
                          isEnabled(), title(), QPalette::WindowText);
}
