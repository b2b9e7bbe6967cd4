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
#include "platform/notification_area.h"
#include "platform/volumes.h"
#include "settings/registry.h"
#include "settings/settings_controls.h"
#include "settings/settings_procedures.h"
#include "splash/frm_splash.h"

#include <QCheckBox>
#include <QFile>
#include <QLineEdit>
#include <QRadioButton>

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
    controls_ = std::make_unique<FormControls>(*this);
    procedures_ =
        std::make_unique<SettingsProcedures>(*services_.settings, *services_.registry, *controls_);
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

void Forms::ApplyLanguage(frmOptions &dialog)
{
    const int langue = dialog.Language[0]->isChecked() ? 0 : 1;
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

void Forms::saveSettings(bool tellInterval)
{
    const SaveResult result = procedures_->SaveSettings();
    const int langue = services_.settings->Langue;
    if (result.intervalRejected && tellInterval)
        form1_->MsgBox(windowText(WindowText::IntervalKept, langue).arg(result.keptInterval),
                       kStyleExclamation, shortProductName());
    if (result.storeError != 0)
        form1_->MsgBox(services_.registry->location() + QStringLiteral("\r\n") +
                           windowText(WindowText::SettingsNotSaved, langue)
                               .arg(reasonText(result.storeError, langue)),
                       kStyleCritical, shortProductName());
}
