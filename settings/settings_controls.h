#pragma once

#include <QByteArray>
#include <QString>

// The controls that show the settings, as the start-up load and the save reach them: the main
// window's drive, directory, name and file lists, and the options dialog's check boxes, option
// buttons and text boxes. Setting a value runs the control's change or click handler before the
// call returns, as a user's action would (the dialog's enable rules and the language switch
// depend on it). Reaching a control of the options dialog creates the dialog if need be.
enum class Side { Source, Target };
enum class OptionArray { FileOption, FileLg, Language };

class SettingsControls
{
public:
    virtual ~SettingsControls() = default;

    virtual void centreMainWindow() = 0;
    virtual void installTrayIcon() = 0;

    // Puts the side's drive list on the volume rooted at root; false, changing nothing, when the
    // volume cannot be read now (device unavailable).
    virtual bool setDrive(Side side, const QString &root) = 0;
    // The volume holding path (the one with the longest root that is a prefix of it).
    virtual QString volumeHolding(const QByteArray &path) = 0;
    virtual QByteArray dirPath(Side side) = 0;
    virtual void setDirPath(Side side, const QByteArray &path) = 0;
    virtual QString fileName() = 0; // the main window's Text4
    virtual void setFileName(const QString &name) = 0;
    virtual QString filePattern() = 0; // the main window's File1 pattern
    virtual void setFilePattern(const QString &pattern) = 0;

    // Check1 to Check9: 0 cleared, 1 ticked, 2 greyed.
    virtual int check(int number) = 0;
    virtual void setCheck(int number, int value) = 0;
    virtual bool optionSelected(OptionArray array, int index) = 0;
    virtual void selectOption(OptionArray array, int index) = 0;
    // The dialog's Text1 to Text4.
    virtual QString text(int number) = 0;
    virtual void setText(int number, const QString &text) = 0;
};
