#include "forms.h"

#include "form_controls.h"

#include "about/form2.h"
#include "engine/bilingual_text.h"
#include "engine/messages.h"
#include "engine/product.h"
#include "language/captions.h"
#include "language/window_texts.h"
#include "main_window/form1.h"
#include "options/frm_options.h"
#include "platform/lossless_text.h"
#include "platform/notification_area.h"
#include "settings/registry.h"
#include "settings/settings_procedures.h"
#include "splash/frm_splash.h"
#include "widgets/caption_fit.h"
#include "widgets/classic_font.h"

#include <QApplication>
#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QLocale>
#include <QRadioButton>
#include <QTranslator>

#include <cstdio>

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

template <> QPointer<frmOptions> &Forms::slot<frmOptions>()
{
    return options_;
}
template <> QPointer<Form2> &Forms::slot<Form2>()
{
    return about_;
}
template <> QPointer<frmSplash> &Forms::slot<frmSplash>()
{
    return splash_;
}

template <class Window> Window &Forms::window()
{
    QPointer<Window> &window = slot<Window>();
    if (!window) {
        window = new Window(*this);
        window->Form_Load();
    }
    return *window;
}

template <class Window> Window *Forms::ifLoaded() const
{
    return const_cast<Forms *>(this)->slot<Window>().data();
}

template <class Window> void Forms::unload()
{
    if (Window *window = slot<Window>())
        window->close();
}

template <class Window> void Forms::forget(Window *closing)
{
    if (slot<Window>() == closing)
        slot<Window>().clear();
}

template frmOptions &Forms::window<frmOptions>();
template Form2 &Forms::window<Form2>();
template frmSplash &Forms::window<frmSplash>();
template frmOptions *Forms::ifLoaded<frmOptions>() const;
template Form2 *Forms::ifLoaded<Form2>() const;
template frmSplash *Forms::ifLoaded<frmSplash>() const;
template void Forms::unload<frmOptions>();
template void Forms::unload<Form2>();
template void Forms::unload<frmSplash>();
template void Forms::forget<frmOptions>(frmOptions *);
template void Forms::forget<Form2>(Form2 *);
template void Forms::forget<frmSplash>(frmSplash *);

// Qt's own texts (the standard buttons of message boxes, a text box's menu) follow the interface
// language too: Debian ships Qt's translations.
void Forms::translateQt(int langue)
{
    if (!qtTexts_)
        qtTexts_ = std::make_unique<QTranslator>();
    QCoreApplication::removeTranslator(qtTexts_.get());
    if (inFrench(langue) &&
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
    window<Form2>().applyCaptions(langue);
    const QString english = caption(Caption::Options_Text3_Placeholder, 0);
    const QString french = caption(Caption::Options_Text3_Placeholder, 1);
    const QString shown = dialog.Text3->text();
    if (langue == 0 && shown == french)
        dialog.Text3->setText(english);
    else if (inFrench(langue) && shown == english)
        dialog.Text3->setText(french);
    services_.settings->Langue = langue;
}

void Forms::saveSettings(SaveFor who)
{
    const SaveResult result = procedures_->SaveSettings();
    const int langue = services_.settings->Langue;
    if (result.intervalRejected && who == SaveFor::Dialog)
        form1_->MsgBox(result.keptInterval == 1
                           ? windowText(WindowText::IntervalKeptOne, langue)
                           : windowText(WindowText::IntervalKept, langue).arg(result.keptInterval),
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
