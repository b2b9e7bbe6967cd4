#pragma once

#include "engine/listing_host.h"

class QWidget;

// Message boxes of the desktop, by style: icon 16 critical, 32 question, 48 exclamation,
// 64 information; buttons 0 OK, 4 Yes and No. Answers: 1 OK, 6 Yes, 7 No.
class QtMessageBoxes : public MessageBoxes
{
public:
    explicit QtMessageBoxes(QWidget *parent) : parent_(parent) {}
    int MsgBox(const QString &text, int style, const QString &title) override;

private:
    QWidget *parent_;
};
