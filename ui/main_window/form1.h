#pragma once

#include "engine/listing_host.h"
#include "settings/listing_settings.h"

#include <QElapsedTimer>
#include <QMainWindow>

#include <functional>
#include <memory>

class DirListBox;
class DriveListBox;
class Engines;
class FileListBox;
class Forms;
class FsDirectoryReader;
class QAction;
class QFileSystemWatcher;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QStatusBar;
class QTimer;
class Registry;
class TagCache;
class VolumeSource;

// The main window: the source side (drive, directory and file lists), the target side (drive
// and directory lists, the list's name), "Make the list !", the status bar, the menus and the
// update timer. The listing run itself is the engine's; the window is its ListingWindow.
class Form1 : public QMainWindow, public ListingWindow
{
    Q_OBJECT

public:
    explicit Form1(Forms &forms);
    ~Form1() override;

    // The controls, by their names; the other windows and the settings reach them directly.
    QGroupBox *Frame1 = nullptr;
    DriveListBox *Drive1 = nullptr;
    DirListBox *Dir1 = nullptr;
    FileListBox *File1 = nullptr;
    QGroupBox *Frame2 = nullptr;
    DriveListBox *Drive2 = nullptr;
    DirListBox *Dir2 = nullptr;
    QLineEdit *Text4 = nullptr;
    QPushButton *Command1 = nullptr;
    QStatusBar *StatusBar1 = nullptr;
    QTimer *Timer1 = nullptr;
    QMenu *mnuFile = nullptr;
    QAction *mnuHide = nullptr;
    QAction *mnuOptions = nullptr;
    QAction *mnuQuit = nullptr;
    // Besides the classic menu: folders chosen by path, the recent ones, and what a run made.
    QAction *mnuChooseSource = nullptr;
    QAction *mnuChooseTarget = nullptr;
    QMenu *mnuRecentSources = nullptr;
    QMenu *mnuRecentTargets = nullptr;
    QAction *mnuOpenList = nullptr;
    QAction *mnuOpenTarget = nullptr;
    QMenu *mnuWhat = nullptr;
    QAction *mnuHelp = nullptr;
    QAction *mnuAbout = nullptr;
    QAction *mnuVelk = nullptr;

    // Update timer ticks since the last automatic run.
    int MinuteCount = 0;
    // The icon message being handled, and whether one is (a menu it opened is still open).
    int TrayMessage = 0;
    bool InTrayEvent = false;

    // Pops a menu up at the pointer and returns once it has closed; tests replace it.
    std::function<void(QMenu *)> popUpMenu;
    // The standard folder dialog (where a path can be typed or pasted): the folder chosen, or
    // "" when none was; tests replace it.
    std::function<QString(const QString &title, const QString &start)> chooseFolder;

    void Form_Load();
    void CompleteStartup();

    void Command1_Click();
    void Dir1_Change();
    void Drive1_Change();
    void Drive2_Change();
    void File1_DblClick();
    void mnuAbout_Click();
    void mnuHelp_Click();
    void mnuHide_Click();
    void mnuOptions_Click();
    void mnuQuit_Click();
    void mnuChooseSource_Click();
    void mnuChooseTarget_Click();
    void mnuOpenList_Click();
    void mnuOpenTarget_Click();
    // Shows a folder on the source or the target side, its volume chosen in the drive list; a
    // folder that is no longer there gives its nearest ancestor. False, said, when it cannot.
    bool goToFolder(bool target, const QByteArray &path);
    void mnuVelk_Click();
    void Timer1_Timer();
    void Form_QueryUnload();
    // The system or the session asks the program to end: it closes as the user would, but tells
    // on stderr what it could not save; asked again meanwhile, it ends at once.
    void endRequested();
    // The program is ending without closing its windows (its display is gone): the closing save
    // still runs, if no other way out has run it.
    void saveBeforeAbruptEnd();
    // The notification-area icon's messages, and only those: the window's own mouse moves never
    // come here.
    void Form_MouseMove(int message);
    // Shown, restored and brought to the front (from the icon, or by a second start).
    void comeForward();

    // The help page: the one in the current directory, else the one installed with the program.
    QString helpPagePath() const;

    void centre();
    void installTrayIcon();
    // The captions that change with the interface language.
    void applyCaptions(int langue);

    // ListingWindow
    QByteArray dir2Path() const override;
    QString drive2Text() const override;
    QString text4() const override;
    void setText4Enabled(bool enabled) override;
    void setCommand1Enabled(bool enabled) override;
    void setTimer1Enabled(bool enabled) override;
    int MsgBox(const QString &text, int style, const QString &title) override;
    void ShellExecute(const QString &operation, const QString &file, const QString &parameters,
                      const QString &directory) override;
    void setStatusText(const QString &text) override;
    QDate currentDate() override;
    QTime currentTime() override;
    void runProgress(qint64 filesWritten, const SourceDirList &at) override;
    void tagProgress(qint64 read, qint64 asked) override;
    bool cancelRequested() override { return cancel_; }

protected:
    void closeEvent(QCloseEvent *event) override;
    // During a run: Escape cancels it, and the window's other controls take no input (the run
    // drives the folder lists); boxes and other windows are not concerned.
    bool eventFilter(QObject *watched, QEvent *event) override;
    // A folder dropped from the file manager: onto the target side, the target; elsewhere, the
    // source (a file dropped gives its folder).
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    void createMenus();
    void createFolderMenus();
    // The folder dialog for one side, and the folder chosen shown there.
    void chooseFolderFor(bool target);
    // The folder captions in the interface language.
    void applyFolderCaptions(int langue);
    // A folder used or chosen goes first in its side's recent list, stored at once.
    void rememberFolder(bool target, const QByteArray &path);
    // The recent folders as stored, into their menus.
    void fillRecentMenus();
    void createSourceFrame(QWidget *area);
    void createTargetFrame(QWidget *area);
    void createCommandAndStatus(QWidget *area);
    void setFocusOrder();
    QRect scaled(int left, int top, int width, int height) const;
    void driveChanged(DriveListBox *drive, DirListBox *dir);
    void showUnreadable(const QByteArray &path, int error);
    // After a run: the time of the last list made, and for a run of the timer, its failure or
    // the end of its failures, on the icon and in a notification (nobody may be there).
    void runEnded(bool automatic);
    // The folders shown are followed on disk (files that come and go, the folder itself
    // removed), and none is held open: a disk shown stays free to be ejected.
    void followShownFolders();
    // Between two steps of a run: the window shown as it is, its events handled.
    void answerDuringRun(const QString &status);
    void shownFolderChanged();
    // A disk mounted or unmounted: the drive lists again, and a volume shown that went is said.
    void volumesChanged();

    Forms &forms_;
    ListingSettings &settings_;
    Registry &registry_;
    VolumeSource &volumes_;
    MessageBoxes *messages_;
    Shell *shell_;
    std::unique_ptr<MessageBoxes> ownMessages_;
    std::unique_ptr<Shell> ownShell_;
    std::unique_ptr<FsDirectoryReader> reader_;
    std::unique_ptr<FsDirectoryReader> targetReader_;
    std::unique_ptr<Engines> engines_;
    std::unique_ptr<TagCache> tags_; // opened at the first run that reads tags
    QLabel *statusText_ = nullptr;
    QLabel *lastList_ = nullptr;
    QFileSystemWatcher *shownFolders_ = nullptr;
    // A run of the timer tells its failures without a box: nothing may wait on a hidden window.
    bool automaticRun_ = false;
    QStringList automaticFailures_;
    bool failing_ = false;
    QString lastListTime_;
    QString lastListPath_; // the page the last run wrote, else its list
    // A run answers the window as it goes: it can be cancelled, and a close (the close box, a
    // signal) cancels it and closes once the old lists are back in place.
    bool cancel_ = false;
    bool closeAfterRun_ = false;
    bool inRunEvents_ = false;
    bool unloaded_ = false;
    bool settingsLoaded_ = false; // before the load, a save would write the blank record
    bool ending_ = false;         // closing on a signal or without a display
    QString pendingStatus_;
    QElapsedTimer sinceRepaint_;
};
