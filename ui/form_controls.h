#pragma once

#include "settings/settings_controls.h"

class DirListBox;
class DriveListBox;
class Forms;
class QRadioButton;

// The settings' controls on the real windows: the main window's lists and name box, and the
// options dialog's boxes and buttons, the dialog made on first touch.
class FormControls : public SettingsControls
{
public:
    explicit FormControls(Forms &forms) : forms_(forms) {}

    void centreMainWindow() override;
    void installTrayIcon() override;
    bool setDrive(Side side, const QString &root) override;
    QString volumeHolding(const QByteArray &path) override;
    QByteArray dirPath(Side side) override;
    void setDirPath(Side side, const QByteArray &path) override;
    QString fileName() override;
    void setFileName(const QString &name) override;
    QString filePattern() override;
    void setFilePattern(const QString &pattern) override;
    int check(OptionsCheck box) override;
    void setCheck(OptionsCheck box, int value) override;
    bool optionSelected(OptionArray array, int index) override;
    void selectOption(OptionArray array, int index) override;
    QString text(OptionsText box) override;
    void setText(OptionsText box, const QString &text) override;

private:
    DriveListBox *drives(Side side);
    DirListBox *dirs(Side side);
    QRadioButton *button(OptionArray array, int index);

    Forms &forms_;
};
