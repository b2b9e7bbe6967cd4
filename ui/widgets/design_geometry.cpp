#include "design_geometry.h"

#include <QScreen>
#include <QWidget>

QRect designRect(const QWidget *window, int left, int top, int width, int height)
{
    const qreal factor = window->logicalDpiY() / 96.0;
    return QRect(qRound(left * factor), qRound(top * factor), qRound(width * factor),
                 qRound(height * factor));
}

void centreOnScreen(QWidget *window)
{
    const QRect screen = window->screen()->geometry();
    const QRect frame = window->frameGeometry();
    window->move(screen.left() + (screen.width() - frame.width()) / 2,
                 screen.top() + (screen.height() - frame.height()) / 2);
}
