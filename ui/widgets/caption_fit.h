#pragma once

class QFont;
class QWidget;

// Captions (of check boxes, option buttons, labels, frames, buttons) in the design's geometry:
// a caption is whole and clear of its neighbours, or it does not fit.

// Room for a one-line caption: from its control's left edge to the nearest control on its right
// that shares its lines, or to its container's edge.
int captionRoom(const QWidget *control);

// Whether the control's caption fits whole at the font: a one-line one within its room, one
// given the height of several lines wrapped within its own rectangle. Controls without a
// caption fit.
bool captionFits(const QWidget *control, const QFont &font);

// Whether every caption of the window fits at the font.
bool captionsFit(const QWidget *window, const QFont &font);

// Widens a one-line caption's control, up to its room, when its design width cannot hold the
// caption; the design width stays the least width.
void fitCaption(QWidget *control);
