#include "qt_message_boxes.h"

#include <QMessageBox>

int QtMessageBoxes::MsgBox(const QString &text, int style, const QString &title)
{
    QMessageBox box(parent_);
    box.setWindowTitle(title);
    QString lines = text;
    box.setText(lines.replace(QLatin1String("\r\n"), QLatin1String("\n")));
    switch (style & 0x70) {
    case 16:
        box.setIcon(QMessageBox::Critical);
        break;
    case 32:
        box.setIcon(QMessageBox::Question);
        break;
    case 48:
        box.setIcon(QMessageBox::Warning);
        break;
    case 64:
        box.setIcon(QMessageBox::Information);
        break;
    default:
        box.setIcon(QMessageBox::NoIcon);
    }
    if ((style & 7) == 4) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        return box.exec() == QMessageBox::Yes ? kAnswerYes : kAnswerNo;
    }
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
    return kAnswerOk;
}
