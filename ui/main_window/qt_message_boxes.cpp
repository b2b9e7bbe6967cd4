#include "qt_message_boxes.h"

#include <QApplication>
#include <QFontMetrics>
#include <QMessageBox>

int QtMessageBoxes::MsgBox(const QString &text, int style, const QString &title)
{
    // The box belongs to the window it answers: over a dialog (the options' minutes check),
    // the dialog, which would otherwise drop behind the main window when the box closes.
    QWidget *modal = QApplication::activeModalWidget();
    QMessageBox box(modal ? modal : parent_);
    box.setWindowTitle(title);
    // A box of one short line would be narrower than its title, which the window manager then
    // cuts ("LYA... 16"): its text is given room for the title and the title bar's buttons.
    const int titleRoom = QFontMetrics(box.font()).horizontalAdvance(title) + 96;
    box.setStyleSheet(QStringLiteral("QLabel#qt_msgbox_label { min-width: %1px; }").arg(titleRoom));
    QString lines = text;
    box.setText(lines.replace(QLatin1String("\r\n"), QLatin1String("\n")));
    switch (style & kIconMask) {
    case kIconCritical:
        box.setIcon(QMessageBox::Critical);
        break;
    case kIconQuestion:
        box.setIcon(QMessageBox::Question);
        break;
    case kIconExclamation:
        box.setIcon(QMessageBox::Warning);
        break;
    case kIconInformation:
        box.setIcon(QMessageBox::Information);
        break;
    default:
        box.setIcon(QMessageBox::NoIcon);
    }
    if ((style & kButtonsMask) == kButtonsYesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        return box.exec() == QMessageBox::Yes ? kAnswerYes : kAnswerNo;
    }
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
    return kAnswerOk;
}
