#pragma once

#include "settings/settings_controls.h"

#include <QDialog>

class Forms;
class QCheckBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTabBar;

// The options dialog: every setting but the directories and the list's name, on four tabs.
// It saves nothing itself: OK and Apply hand over to the interface language and the settings
// save, which read its controls. The enabled state of Apply is its "modified" mark.
class frmOptions : public QDialog
{
    Q_OBJECT

public:
    explicit frmOptions(Forms &forms);

    QTabBar *tbsOptions = nullptr;
    QFrame *tabPanel = nullptr; // the tab strip's body
    QWidget *picOptions[4] = {};

    QGroupBox *fraSample1 = nullptr;
    QRadioButton *FileOption[3] = {};
    QGroupBox *Frame1 = nullptr;
    QCheckBox *Check1 = nullptr;
    QCheckBox *Check2 = nullptr;
    QCheckBox *Check8 = nullptr;
    QCheckBox *Check9 = nullptr;
    QLabel *Label5 = nullptr;
    QLineEdit *Text4 = nullptr;
    QGroupBox *Frame6 = nullptr;
    QCheckBox *Check6 = nullptr;
    QCheckBox *Check7 = nullptr;

    QGroupBox *Frame3 = nullptr;
    QRadioButton *Language[2] = {};
    QGroupBox *Frame5 = nullptr;
    QRadioButton *FileLg[2] = {};

    QGroupBox *Frame2 = nullptr;
    QCheckBox *Check3 = nullptr;
    QLabel *Label1 = nullptr;
    QLineEdit *Text1 = nullptr;
    QGroupBox *Frame4 = nullptr;
    QCheckBox *Check4 = nullptr;
    QLabel *Label2 = nullptr;
    QLineEdit *Text2 = nullptr;
    QLabel *Label3 = nullptr;
    QCheckBox *Check5 = nullptr;
    QLabel *Label4 = nullptr;
    QLineEdit *Text3 = nullptr;

    QGroupBox *Frame7 = nullptr;
    QCheckBox *Check10 = nullptr;
    QCheckBox *Check11 = nullptr;
    QCheckBox *Check12 = nullptr;
    QCheckBox *Check13 = nullptr;
    QCheckBox *Check14 = nullptr;
    QCheckBox *Check15 = nullptr;
    QLabel *Label6 = nullptr;
    QLineEdit *Text5 = nullptr;
    QLabel *Label7 = nullptr;
    QLineEdit *Text6 = nullptr;
    QLabel *Label8 = nullptr;
    QLineEdit *Text7 = nullptr;

    QPushButton *cmdOK = nullptr;
    QPushButton *cmdCancel = nullptr;
    QPushButton *cmdApply = nullptr;

    // A check box's value: 0 cleared, 1 ticked, 2 greyed.
    static int value(const QCheckBox *box);
    static void setValue(QCheckBox *box, int value);
    QCheckBox *check(OptionsCheck box) const;
    QLineEdit *text(OptionsText box) const;

    void Form_Load();
    void tbsOptions_Click();
    void Form_KeyDown(int key, Qt::KeyboardModifiers shift);
    void Check3_Click();
    void Check4_Click();
    void Check5_Click();
    void Language_Click(int index);
    void cmdApply_Click();
    void cmdOK_Click();
    void cmdCancel_Click();

    // The captions that change with the interface language.
    void applyCaptions(int langue);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void reject() override;
    void closeEvent(QCloseEvent *event) override;

private:
    void createTabs();
    void createListingPage();
    void createLanguagePage();
    void createHtmlPage();
    void createFormatsPage();
    void createButtons();
    void connectHandlers();
    QRect scaled(int left, int top, int width, int height) const;
    void markModified();
    void fitCaptions();

    Forms &forms_;
};
