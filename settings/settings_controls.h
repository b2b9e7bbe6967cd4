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

// The options dialog's check boxes that show a setting, by their design names.
enum class OptionsCheck {
    Check1 = 1,   // ShowTime
    Check2,       // RunNote
    Check3,       // HTML
    Check4,       // AutoUpdate
    Check5,       // DownAllow
    Check6,       // StartUpMusic
    Check7,       // SplashScreen
    Check8,       // IncExt
    Check10 = 10, // AlsoPage
    Check11,      // AlsoPlaylist
    Check12,      // AlsoJson
    Check13,      // ReadTags
    Check14,      // NaturalOrder
    Check15,      // Covers
};

// The options dialog's text boxes.
enum class OptionsText {
    Text1 = 1, // TitleHTML
    Text2,     // AutoUpdateTime
    Text3,     // BaseUrl
    Text4,     // Pattern
    Text5,     // PageName
    Text6,     // PlaylistName
    Text7,     // JsonName
};

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

    // 0 cleared, 1 ticked, 2 greyed.
    virtual int check(OptionsCheck box) = 0;
    virtual void setCheck(OptionsCheck box, int value) = 0;
    virtual bool optionSelected(OptionArray array, int index) = 0;
    virtual void selectOption(OptionArray array, int index) = 0;
    virtual QString text(OptionsText box) = 0;
    virtual void setText(OptionsText box, const QString &text) = 0;
};
