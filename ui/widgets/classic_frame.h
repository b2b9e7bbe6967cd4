#pragma once

#include <QGroupBox>

// A frame drawn as classic dialogs draw it: the title written on the top border, which runs
// through the middle of the title's letters. Controls placed just under the title (a drive list
// 16 pixels down, say) stand clear of the border, where Qt's own frames would draw it across
// them.
class ClassicFrame : public QGroupBox
{
public:
    using QGroupBox::QGroupBox;

protected:
    void paintEvent(QPaintEvent *event) override;
};
