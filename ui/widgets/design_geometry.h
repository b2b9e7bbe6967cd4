#pragma once

#include <QRect>

class QWidget;

// A rectangle of the windows' design, given in pixels of a 96 dpi screen: the fonts grow with the
// screen's dpi, and so do the positions made for them.
QRect designRect(const QWidget *window, int left, int top, int width, int height);

// Puts a window in the middle of its screen: left = (screen width - window width) / 2, and the
// same for the top.
void centreOnScreen(QWidget *window);
