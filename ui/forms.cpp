#include "forms.h"

#include "about/form2.h"
#include "engine/messages.h"
#include "engine/product.h"
#include "language/captions.h"
#include "language/window_texts.h"
#include "main_window/dir_list_box.h"
#include "main_window/drive_list_box.h"
#include "main_window/file_list_box.h"
#include "main_window/form1.h"
#include "options/frm_options.h"
#include "platform/lossless_text.h"
#include "platform/notification_area.h"
#include "platform/volumes.h"
#include "settings/registry.h"
#include "settings/settings_controls.h"
#include "settings/settings_procedures.h"
#include "splash/frm_splash.h"
#include "widgets/caption_fit.h"
#include "widgets/classic_font.h"

#include <QApplication>
#include <QCheckBox>
#include <QCoreApplication>
#include <QFile>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QLocale>
#include <QRadioButton>
#include <QTranslator>

#include <cstdio>

namespace {

// The settings' controls on the real windows: the main window's lists and name box, and the
// options dialog's boxes and buttons, the dialog made on first touch.
class FormControls : public SettingsControls
{
public:
    explicit FormControls(Forms &forms) : forms_(forms) {}

    void centreMainWindow() override { forms_.form1().centre(); }
    void installTrayIcon() override { forms_.form1().installTrayIcon(); }

    bool setDrive(Side side, const QString &root) override
    {
        if (!forms_.volumes().isReady(root))
            return false;
        drives(side)->setDrive(root);
        return true;
    }
    QString volumeHolding(const QByteArray &path) override
    {
        QString best = systemVolume();
        const QString wanted = QFile::decodeName(path);
        for (const Volume &volume : forms_.volumes().volumes()) {
            const QString root = volume.root;
            const bool holds =
                wanted == root ||
                wanted.startsWith(root.endsWith(QLatin1Char('/')) ? root : root + QLatin1Char('/'));
            if (holds && root.size() > best.size())
                best = root;
        }
        return best;
    }
    QByteArray dirPath(Side side) override { return dirs(side)->path(); }
    void setDirPath(Side side, const QByteArray &path) override { dirs(side)->setPath(path); }
    QString fileName() override { return forms_.form1().Text4->text(); }
    void setFileName(const QString &name) override { forms_.form1().Text4->setText(name); }
    QString filePattern() override { return forms_.form1().File1->pattern(); }
    void setFilePattern(const QString &pattern) override
    {
        forms_.form1().File1->setPattern(pattern);
    }
    int check(int number) override { return frmOptions::value(forms_.options().check(number)); }
    void setCheck(int number, int value) override
    {
        frmOptions::setValue(forms_.options().check(number), value);
    }
    bool optionSelected(OptionArray array, int index) override
    {
        QRadioButton *option = button(array, index);
        return option && option->isChecked();
    }
    void selectOption(OptionArray array, int index) override
    {
        if (QRadioButton *option = button(array, index))
            option->setChecked(true);
    }
    QString text(int number) override { return forms_.options().text(number)->text(); }
    void setText(int number, const QString &text) override
    {
        forms_.options().text(number)->setText(text);
    }

private:
    DriveListBox *drives(Side side)
    {
        return side == Side::Source ? forms_.form1().Drive1 : forms_.form1().Drive2;
    }
    DirListBox *dirs(Side side)
    {
        return side == Side::Source ? forms_.form1().Dir1 : forms_.form1().Dir2;
    }
    QRadioButton *button(OptionArray array, int index)
    {
        frmOptions &dialog = forms_.options();
        switch (array) {
        case OptionArray::FileOption:
            return index >= 0 && index < 3 ? dialog.FileOption[index] : nullptr;
        case OptionArray::FileLg:
            return index >= 0 && index < 2 ? dialog.FileLg[index] : nullptr;
        case OptionArray::Language:
            return index >= 0 && index < 2 ? dialog.Language[index] : nullptr;
        }
        return nullptr;
    }

    Forms &forms_;
};

} // namespace

Forms::Forms(const ProgramServices &services) : services_(services)
{
    if (!services_.notificationArea) {
        ownNotificationArea_ = makeNotificationArea();
        services_.notificationArea = ownNotificationArea_.get();
    }
    form1_ = std::make_unique<Form1>(*this);
    const QFont font =
        chooseDialogFont([this](const QFont &candidate) { return everyCaptionFits(candidate); });
    QApplication::setFont(font);
    form1_->setFont(font);
    controls_ = std::make_unique<FormControls>(*this);
    procedures_ =
        std::make_unique<SettingsProcedures>(*services_.settings, *services_.registry, *controls_);
}

// Every window, in its design captions and in both languages, at the font. The dialog and the
// about box are made for the measure only: they are never loaded.
bool Forms::everyCaptionFits(const QFont &font)
{
    frmOptions options(*this);
    Form2 about(*this);
    QWidget *const windows[] = {form1_.get(), &options, &about};
    bool fits = true;
    for (int langue : {-1, 0, 1}) { // -1: as designed
        if (langue >= 0) {
            form1_->applyCaptions(langue);
            options.applyCaptions(langue);
            about.applyCaptions(langue);
        }
        for (QWidget *window : windows) {
            window->setFont(font);
            fits = fits && captionsFit(window, font);
        }
    }
    form1_->applyCaptions(1); // the main window's design captions are the French ones
    return fits;
}

Forms::~Forms()
{
    delete options_.data();
    delete about_.data();
    delete splash_.data();
}

namespace {

// The window, made and loaded if it does not exist. It is known before its load runs: the load's
// handlers reach it through here.
template <class Window> Window &loaded(QPointer<Window> &window, Forms &forms)
{
    if (!window) {
        window = new Window(forms);
        window->Form_Load();
    }
    return *window;
}

} // namespace

frmOptions &Forms::options()
{
    return loaded(options_, *this);
}

Form2 &Forms::about()
{
    return loaded(about_, *this);
}

frmSplash &Forms::splash()
{
    return loaded(splash_, *this);
}

frmSplash *Forms::splashIfLoaded() const
{
    return splash_.data();
}

void Forms::unloadSplash()
{
    if (splash_)
        splash_->close();
}

void Forms::forgetSplash(frmSplash *splash)
{
    if (splash_ == splash)
        splash_.clear();
}

frmOptions *Forms::optionsIfLoaded() const
{
    return options_.data();
}

Form2 *Forms::aboutIfLoaded() const
{
    return about_.data();
}

void Forms::unloadOptions()
{
    if (options_)
        options_->close();
}

void Forms::unloadAbout()
{
    if (about_)
        about_->close();
}

void Forms::forgetOptions(frmOptions *dialog)
{
    if (options_ == dialog)
        options_.clear();
}

void Forms::forgetAbout(Form2 *box)
{
    if (about_ == box)
        about_.clear();
}

// Qt's own texts (the standard buttons of message boxes, a text box's menu) follow the interface
// language too: Debian ships Qt's translations.
void Forms::translateQt(int langue)
{
    if (!qtTexts_)
        qtTexts_ = std::make_unique<QTranslator>();
    QCoreApplication::removeTranslator(qtTexts_.get());
    if (langue == 1 &&
        qtTexts_->load(QLocale(QLocale::French), QStringLiteral("qtbase"), QStringLiteral("_"),
                       QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(qtTexts_.get());
}

void Forms::ApplyLanguage(frmOptions &dialog)
{
    const int langue = dialog.Language[0]->isChecked() ? 0 : 1;
    translateQt(langue);
    form1_->applyCaptions(langue);
    dialog.applyCaptions(langue);
    about().applyCaptions(langue);
    const QString english = caption(Caption::Options_Text3_Placeholder, 0);
    const QString french = caption(Caption::Options_Text3_Placeholder, 1);
    const QString shown = dialog.Text3->text();
    if (langue == 0 && shown == french)
        dialog.Text3->setText(english);
    else if (langue == 1 && shown == english)
        dialog.Text3->setText(french);
    services_.settings->Langue = langue;
}

void Forms::saveSettings(SaveFor who)
{
    const SaveResult result = procedures_->SaveSettings();
    const int langue = services_.settings->Langue;
    if (result.intervalRejected && who == SaveFor::Dialog)
        form1_->MsgBox(windowText(WindowText::IntervalKept, langue).arg(result.keptInterval),
                       kStyleExclamation, shortProductName());
    if (result.storeError == 0)
        return;
    const QString failure =
        services_.registry->location() + QStringLiteral("\r\n") +
        windowText(WindowText::SettingsNotSaved, langue).arg(reasonText(result.storeError, langue));
    if (who != SaveFor::Ending) {
        form1_->MsgBox(failure, kStyleCritical, shortProductName());
        return;
    }
    // Nobody may be there to press OK: a box would hold the program until SIGKILL.
    const QByteArray line = losslessBytes(
        QStringLiteral("lystora: ") +
        QString(failure).replace(QLatin1String("\r\n"), QLatin1String(": ")) + QLatin1Char('\n'));
    std::fwrite(line.constData(), 1, std::size_t(line.size()), stderr);
}
