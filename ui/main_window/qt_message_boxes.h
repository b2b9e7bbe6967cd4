#pragma once

#include "engine/listing_host.h"

class QWidget;

// Message boxes of the desktop, by style (see listing_host.h): the icon and the buttons it names,
// and the answer as the style's caller expects it.
class QtMessageBoxes : public MessageBoxes
{
public:
    explicit QtMessageBoxes(QWidget *parent) : parent_(parent) {}
    int MsgBox(const QString &text, int style, const QString &title) override;

private:
    QWidget *parent_;
};
