#include "frm_options.h"

#include "engine/bilingual_text.h"
#include "settings/listing_settings.h"
#include "ui/forms.h"
#include "ui/language/captions.h"
#include "ui/main_window/file_list_box.h"
#include "ui/main_window/form1.h"
#include "ui/widgets/caption_button.h"
#include "ui/widgets/caption_fit.h"
#include "ui/widgets/classic_font.h"
#include "ui/widgets/classic_frame.h"
#include "ui/widgets/design_geometry.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>

namespace {

// A page that is not shown is moved out of sight, as well as hidden and disabled, so that none
// of its controls takes the focus.
constexpr int kShownPageLeft = 14;
constexpr int kHiddenPageLeft = -20000 / 15;
constexpr int kPages = 4;

} // namespace

frmOptions::frmOptions(Forms &forms) : QDialog(nullptr), forms_(forms)
{
    setWindowTitle(QStringLiteral("Options"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setAttribute(Qt::WA_DeleteOnClose);
    setFont(classicDialogFont());
    setFixedSize(scaled(0, 0, 408, 328).size());
    createTabs();
    createListingPage();
    createLanguagePage();
    createHtmlPage();
    createFormatsPage();
    createButtons();
    fitCaptions();
    connectHandlers();
    // The dialog sees keys before its controls do (Ctrl+Tab).
    installEventFilter(this);
    for (QWidget *child : findChildren<QWidget *>())
        child->installEventFilter(this);
}

QRect frmOptions::scaled(int left, int top, int width, int height) const
{
    return designRect(this, left, top, width, height);
}

void frmOptions::createTabs()
{
    tabPanel = new QFrame(this);
    tabPanel->setFrameShape(QFrame::StyledPanel);
    tbsOptions = new QTabBar(this);
    tbsOptions->setDrawBase(false);
    tbsOptions->setExpanding(false);
    const char *tips[] = {"Fonctions de tri", "Choix du language de SVX",
                          "Fonctions HTML, et de mises à jour", "Formats de sortie et tags"};
    // Tabs 3 and 4 are "HTML" and "Formats" in both languages.
    const QString titles[] = {designCaption(Caption::Options_Tab1),
                              designCaption(Caption::Options_Tab2), QStringLiteral("HTML"),
                              QStringLiteral("Formats")};
    for (int i = 0; i < kPages; ++i) {
        tbsOptions->addTab(titles[i]);
        tbsOptions->setTabToolTip(i, QString::fromUtf8(tips[i]));
        tbsOptions->setTabData(i, QStringLiteral("Group%1").arg(i + 1));
    }
    const QRect strip = scaled(8, 8, 393, 283);
    const int tabHeight = tbsOptions->sizeHint().height();
    tbsOptions->setGeometry(strip.left(), strip.top(), strip.width(), tabHeight);
    tabPanel->setGeometry(strip.adjusted(0, tabHeight - 1, 0, 0));
    picOptions[0] = new QWidget(this);
    picOptions[0]->setGeometry(scaled(16, 32, 379, 252));
    for (int i = 1; i < kPages; ++i) {
        picOptions[i] = new QWidget(this);
        picOptions[i]->setGeometry(scaled(kHiddenPageLeft, 40, 379, 244));
        picOptions[i]->setEnabled(false);
        picOptions[i]->hide();
    }
}

void frmOptions::createListingPage()
{
    QWidget *page = picOptions[0];
    fraSample1 = new ClassicFrame(designCaption(Caption::Options_fraSample1), page);
    fraSample1->setGeometry(scaled(0, 8, 369, 95));
    const Caption listing[] = {Caption::Options_FileOption0, Caption::Options_FileOption1,
                               Caption::Options_FileOption2};
    const QRect places[] = {scaled(8, 16, 217, 17), scaled(8, 40, 353, 17), scaled(8, 56, 345, 33)};
    for (int i = 0; i < 3; ++i) {
        FileOption[i] = new CaptionRadioButton(designCaption(listing[i]), fraSample1);
        FileOption[i]->setGeometry(places[i]);
    }

    Frame1 = new ClassicFrame(designCaption(Caption::Options_Frame1), page);
    Frame1->setGeometry(scaled(0, 104, 257, 145));
    Check1 = new CaptionCheckBox(designCaption(Caption::Options_Check1), Frame1);
    Check1->setGeometry(scaled(8, 24, 241, 17));
    Check1->setChecked(true);
    Check2 = new CaptionCheckBox(designCaption(Caption::Options_Check2), Frame1);
    Check2->setGeometry(scaled(8, 48, 177, 17));
    Check2->setChecked(true);
    Check8 = new CaptionCheckBox(designCaption(Caption::Options_Check8), Frame1);
    Check8->setGeometry(scaled(8, 72, 169, 17));
    Check9 = new CaptionCheckBox(designCaption(Caption::Options_Check9), Frame1);
    Check9->setGeometry(scaled(8, 96, 145, 17));
    Check9->setEnabled(false); // no list carries sizes
    Label5 = new QLabel(designCaption(Caption::Options_Label5), Frame1);
    Label5->setGeometry(scaled(8, 120, 81, 17));
    Text4 = new QLineEdit(QStringLiteral("*.mp3;*.aac;*.vqf"), Frame1);
    Text4->setGeometry(scaled(96, 120, 137, 19));

    Frame6 = new ClassicFrame(designCaption(Caption::Options_Frame6), page);
    Frame6->setGeometry(scaled(264, 104, 105, 145));
    Check6 = new CaptionCheckBox(designCaption(Caption::Options_Check6), Frame6);
    Check6->setGeometry(scaled(8, 24, 81, 25));
    Check6->setChecked(true);
    Check7 = new CaptionCheckBox(QStringLiteral("Splash Screen"), Frame6);
    Check7->setGeometry(scaled(8, 64, 89, 17));
    Check7->setChecked(true);
}

void frmOptions::createLanguagePage()
{
    QWidget *page = picOptions[1];
    Frame3 = new ClassicFrame(designCaption(Caption::Options_Frame3), page);
    Frame3->setGeometry(scaled(0, 0, 369, 81));
    Language[0] = new CaptionRadioButton(QStringLiteral("English"), Frame3);
    Language[0]->setGeometry(scaled(8, 24, 65, 17));
    Language[1] = new CaptionRadioButton(QStringLiteral("Français"), Frame3);
    Language[1]->setGeometry(scaled(8, 48, 73, 25));

    Frame5 = new ClassicFrame(designCaption(Caption::Options_Frame5), page);
    Frame5->setGeometry(scaled(0, 96, 369, 81));
    FileLg[0] = new CaptionRadioButton(QStringLiteral("English"), Frame5);
    FileLg[0]->setGeometry(scaled(8, 24, 73, 17));
    FileLg[1] = new CaptionRadioButton(QStringLiteral("Français"), Frame5);
    FileLg[1]->setGeometry(scaled(8, 48, 73, 25));
}

void frmOptions::createHtmlPage()
{
    QWidget *page = picOptions[2];
    Frame2 = new ClassicFrame(designCaption(Caption::Options_Frame2), page);
    Frame2->setGeometry(scaled(0, 0, 369, 81));
    Check3 = new CaptionCheckBox(designCaption(Caption::Options_Check3), Frame2);
    Check3->setGeometry(scaled(8, 24, 345, 17));
    Label1 = new QLabel(designCaption(Caption::Options_Label1), Frame2);
    Label1->setGeometry(scaled(8, 48, 185, 17));
    Text1 = new QLineEdit(QStringLiteral("Sonavex & Server v1.51.1013"), Frame2);
    Text1->setGeometry(scaled(168, 48, 185, 19));
    Text1->setEnabled(false);

    Frame4 = new ClassicFrame(designCaption(Caption::Options_Frame4), page);
    Frame4->setGeometry(scaled(0, 88, 369, 113));
    Frame4->setEnabled(false);
    Check4 = new CaptionCheckBox(designCaption(Caption::Options_Check4), Frame4);
    Check4->setGeometry(scaled(8, 24, 177, 17));
    Label2 = new QLabel(designCaption(Caption::Options_Label2), Frame4);
    Label2->setGeometry(scaled(184, 24, 65, 17));
    Text2 = new QLineEdit(QStringLiteral("60"), Frame4);
    Text2->setGeometry(scaled(240, 24, 33, 19));
    Text2->setMaxLength(3);
    Text2->setEnabled(false);
    Label3 = new QLabel(QStringLiteral("minutes"), Frame4);
    Label3->setGeometry(scaled(280, 24, 41, 17));
    Check5 = new CaptionCheckBox(designCaption(Caption::Options_Check5), Frame4);
    Check5->setGeometry(scaled(8, 56, 153, 17));
    Label4 = new QLabel(designCaption(Caption::Options_Label4), Frame4);
    Label4->setGeometry(scaled(8, 80, 105, 17));
    Text3 = new QLineEdit(designCaption(Caption::Options_Text3_Placeholder), Frame4);
    Text3->setGeometry(scaled(80, 80, 273, 19));
    Text3->setEnabled(false);
}

// The lists made besides the classic one, and how all of them are made.
void frmOptions::createFormatsPage()
{
    QWidget *page = picOptions[3];
    Frame7 = new ClassicFrame(QString(), page);
    Frame7->setGeometry(scaled(0, 0, 369, 240));
    const Caption captions[] = {Caption::Options_Check10, Caption::Options_Check11,
                                Caption::Options_Check12, Caption::Options_Check13,
                                Caption::Options_Check14, Caption::Options_Check15};
    QCheckBox **boxes[] = {&Check10, &Check11, &Check12, &Check13, &Check14, &Check15};
    for (int i = 0; i < 6; ++i) {
        *boxes[i] = new CaptionCheckBox(designCaption(captions[i]), Frame7);
        (*boxes[i])->setGeometry(scaled(8, 16 + 24 * i, 353, 17));
    }
    // The names of the lists made besides, in the target folder.
    const Caption labels[] = {Caption::Options_Label6, Caption::Options_Label7,
                              Caption::Options_Label8};
    QLabel **labelFields[] = {&Label6, &Label7, &Label8};
    QLineEdit **names[] = {&Text5, &Text6, &Text7};
    for (int i = 0; i < 3; ++i) {
        *labelFields[i] = new QLabel(designCaption(labels[i]), Frame7);
        (*labelFields[i])->setGeometry(scaled(8, 164 + 24 * i, 105, 17));
        *names[i] = new QLineEdit(Frame7);
        (*names[i])->setGeometry(scaled(120, 164 + 24 * i, 233, 19));
        (*labelFields[i])->setBuddy(*names[i]);
    }
    Text5->setPlaceholderText(QStringLiteral("index.html"));
}

void frmOptions::createButtons()
{
    cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdOK->setGeometry(scaled(168, 297, 73, 25));
    cmdCancel = new QPushButton(designCaption(Caption::Options_cmdCancel), this);
    cmdCancel->setGeometry(scaled(248, 297, 73, 25));
    cmdApply = new QPushButton(designCaption(Caption::Options_cmdApply), this);
    cmdApply->setGeometry(scaled(328, 297, 73, 25));
    cmdApply->setEnabled(false);
    // Enter anywhere in the dialog is OK, whichever button has the focus.
    for (QPushButton *button : {cmdOK, cmdCancel, cmdApply})
        button->setAutoDefault(false);
    cmdOK->setDefault(true);
}

void frmOptions::connectHandlers()
{
    // A value set from code runs the handler as a click would: the load relies on it.
    connect(tbsOptions, &QTabBar::currentChanged, this, &frmOptions::tbsOptions_Click);
    connect(Check3, &QCheckBox::stateChanged, this, &frmOptions::Check3_Click);
    connect(Check4, &QCheckBox::stateChanged, this, &frmOptions::Check4_Click);
    connect(Check5, &QCheckBox::stateChanged, this, &frmOptions::Check5_Click);
    for (QCheckBox *box : {Check1, Check2, Check6, Check7, Check8, Check10, Check11, Check12,
                           Check13, Check14, Check15})
        connect(box, &QCheckBox::stateChanged, this, &frmOptions::markModified);
    for (QRadioButton *option : {FileOption[0], FileOption[1], FileOption[2], FileLg[0], FileLg[1]})
        connect(option, &QRadioButton::toggled, this, [this](bool on) {
            if (on)
                markModified();
        });
    for (int i : {0, 1})
        connect(Language[i], &QRadioButton::toggled, this, [this, i](bool on) {
            if (on)
                Language_Click(i);
        });
    for (QLineEdit *box : {Text1, Text2, Text3, Text5, Text6, Text7})
        connect(box, &QLineEdit::textChanged, this, &frmOptions::markModified);
    connect(cmdOK, &QPushButton::clicked, this, &frmOptions::cmdOK_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmOptions::cmdCancel_Click);
    connect(cmdApply, &QPushButton::clicked, this, &frmOptions::cmdApply_Click);
}

int frmOptions::value(const QCheckBox *box)
{
    switch (box->checkState()) {
    case Qt::Checked:
        return 1;
    case Qt::PartiallyChecked:
        return 2;
    default:
        return 0;
    }
}

void frmOptions::setValue(QCheckBox *box, int value)
{
    if (value == 2)
        box->setTristate(true);
    box->setCheckState(value == 1   ? Qt::Checked
                       : value == 2 ? Qt::PartiallyChecked
                                    : Qt::Unchecked);
}

QCheckBox *frmOptions::check(OptionsCheck box) const
{
    QCheckBox *const boxes[] = {Check1,  Check2,  Check3,  Check4,  Check5,
                                Check6,  Check7,  Check8,  nullptr, Check10,
                                Check11, Check12, Check13, Check14, Check15};
    return boxes[int(box) - int(OptionsCheck::Check1)];
}

QLineEdit *frmOptions::text(OptionsText box) const
{
    QLineEdit *const boxes[] = {Text1, Text2, Text3, Text4, Text5, Text6, Text7};
    return boxes[int(box) - int(OptionsText::Text1)];
}

void frmOptions::markModified()
{
    cmdApply->setEnabled(true);
}

void frmOptions::Form_Load()
{
    centreOnScreen(this);
    const ListingSettings &s = forms_.settings();
    setValue(Check3, s.HTML ? 1 : 0);
    Text1->setText(s.TitleHTML);
    Text4->setText(forms_.form1().File1->pattern());
    setValue(Check1, s.ShowTime ? 1 : 0);
    setValue(Check2, s.RunNote ? 1 : 0);
    setValue(Check8, s.IncExt ? 1 : 0);
    setValue(Check10, s.AlsoPage ? 1 : 0);
    setValue(Check11, s.AlsoPlaylist ? 1 : 0);
    setValue(Check12, s.AlsoJson ? 1 : 0);
    setValue(Check13, s.ReadTags ? 1 : 0);
    setValue(Check14, s.NaturalOrder ? 1 : 0);
    setValue(Check15, s.Covers ? 1 : 0);
    Text5->setText(s.PageName);
    Text6->setText(s.PlaylistName);
    Text7->setText(s.JsonName);
    setValue(Check5, s.DownAllow ? 1 : 0);
    if (s.DownAllow)
        Text3->setText(s.BaseUrl);
    setValue(Check7, s.SplashScreen ? 1 : 0);
    setValue(Check6, s.StartUpMusic ? 1 : 0);
    setValue(Check4, s.AutoUpdate ? 1 : 0);
    if (s.AutoUpdate)
        Text2->setText(QString::number(s.AutoUpdateTime));
    // Values no button stands for take the button the run and the save treat them as.
    FileLg[inFrench(s.FileLangue) ? 1 : 0]->setChecked(true);
    Language[inFrench(s.Langue) ? 1 : 0]->setChecked(true);
    FileOption[s.ListingType == 0 || s.ListingType == 1 ? s.ListingType : 2]->setChecked(true);
    cmdApply->setEnabled(false);
}

void frmOptions::tbsOptions_Click()
{
    const int selected = tbsOptions->currentIndex();
    for (int i = 0; i < kPages; ++i) {
        QWidget *page = picOptions[i];
        const bool shown = i == selected;
        page->move(scaled(shown ? kShownPageLeft : kHiddenPageLeft, 0, 0, 0).left(), page->y());
        page->setEnabled(shown);
        page->setVisible(shown);
    }
}

void frmOptions::Form_KeyDown(int key, Qt::KeyboardModifiers shift)
{
    if (shift == Qt::ControlModifier && key == Qt::Key_Tab) {
        const int next = tbsOptions->currentIndex() + 1;
        tbsOptions->setCurrentIndex(next == tbsOptions->count() ? 0 : next);
    }
}

bool frmOptions::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        // Ctrl+Tab moves to the next tab; Ctrl+Shift+Tab does nothing at all.
        if ((key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) &&
            (key->modifiers() & Qt::ControlModifier)) {
            Form_KeyDown(key->key(), key->modifiers());
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void frmOptions::Check3_Click()
{
    markModified();
    const bool html = Check3->isChecked();
    Text1->setEnabled(html);
    Frame4->setEnabled(html);
}

void frmOptions::Check4_Click()
{
    markModified();
    Text2->setEnabled(Check4->isChecked());
}

void frmOptions::Check5_Click()
{
    markModified();
    Text3->setEnabled(Check5->isChecked());
}

void frmOptions::Language_Click(int)
{
    // The whole interface switches the moment a language is picked.
    forms_.ApplyLanguage(*this);
    markModified();
}

void frmOptions::cmdApply_Click()
{
    forms_.ApplyLanguage(*this);
    forms_.saveSettings(Forms::SaveFor::Dialog);
    cmdApply->setEnabled(false);
}

void frmOptions::cmdOK_Click()
{
    cmdApply->setEnabled(false);
    forms_.ApplyLanguage(*this);
    forms_.saveSettings(Forms::SaveFor::Dialog);
    close();
}

void frmOptions::cmdCancel_Click()
{
    close();
}

void frmOptions::reject()
{
    cmdCancel_Click(); // Escape
}

void frmOptions::closeEvent(QCloseEvent *event)
{
    // Closing destroys the dialog: the next use fills a new one from the settings in force.
    forms_.forget(this);
    event->accept();
}

void frmOptions::applyCaptions(int langue)
{
    tbsOptions->setTabText(0, caption(Caption::Options_Tab1, langue));
    tbsOptions->setTabText(1, caption(Caption::Options_Tab2, langue));
    fraSample1->setTitle(caption(Caption::Options_fraSample1, langue));
    FileOption[0]->setText(caption(Caption::Options_FileOption0, langue));
    FileOption[1]->setText(caption(Caption::Options_FileOption1, langue));
    FileOption[2]->setText(caption(Caption::Options_FileOption2, langue));
    Frame1->setTitle(caption(Caption::Options_Frame1, langue));
    Check1->setText(caption(Caption::Options_Check1, langue));
    Check2->setText(caption(Caption::Options_Check2, langue));
    Check8->setText(caption(Caption::Options_Check8, langue));
    Check9->setText(caption(Caption::Options_Check9, langue));
    Label5->setText(caption(Caption::Options_Label5, langue));
    Frame6->setTitle(caption(Caption::Options_Frame6, langue));
    Check6->setText(caption(Caption::Options_Check6, langue));
    Frame3->setTitle(caption(Caption::Options_Frame3, langue));
    Frame5->setTitle(caption(Caption::Options_Frame5, langue));
    Frame2->setTitle(caption(Caption::Options_Frame2, langue));
    Check3->setText(caption(Caption::Options_Check3, langue));
    Label1->setText(caption(Caption::Options_Label1, langue));
    Frame4->setTitle(caption(Caption::Options_Frame4, langue));
    Check4->setText(caption(Caption::Options_Check4, langue));
    Label2->setText(caption(Caption::Options_Label2, langue));
    Check5->setText(caption(Caption::Options_Check5, langue));
    Label4->setText(caption(Caption::Options_Label4, langue));
    cmdCancel->setText(caption(Caption::Options_cmdCancel, langue));
    cmdApply->setText(caption(Caption::Options_cmdApply, langue));
    Check10->setText(caption(Caption::Options_Check10, langue));
    Check11->setText(caption(Caption::Options_Check11, langue));
    Check12->setText(caption(Caption::Options_Check12, langue));
    Check13->setText(caption(Caption::Options_Check13, langue));
    Check14->setText(caption(Caption::Options_Check14, langue));
    Check15->setText(caption(Caption::Options_Check15, langue));
    Label6->setText(caption(Caption::Options_Label6, langue));
    Label7->setText(caption(Caption::Options_Label7, langue));
    Label8->setText(caption(Caption::Options_Label8, langue));
    fitCaptions();
}

void frmOptions::fitCaptions()
{
    for (QAbstractButton *button : findChildren<QAbstractButton *>()) {
        if (qobject_cast<QCheckBox *>(button) || qobject_cast<QRadioButton *>(button))
            fitCaption(button);
    }
    for (QLabel *label : findChildren<QLabel *>())
        fitCaption(label);
}
