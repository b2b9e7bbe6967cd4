// Lystora: the desktop program.

#include "engine/bilingual_text.h"
#include "engine/product.h"
#include "lystora/screenshots.h"
#include "platform/interrupt.h"
#include "platform/messages_language.h"
#include "platform/session_end.h"
#include "platform/settings_backend.h"
#include "platform/single_instance.h"
#include "platform/volumes.h"
#include "settings/listing_settings.h"
#include "settings/registry.h"
#include "ui/forms.h"
#include "ui/main_window/form1.h"
#include "ui/widgets/classic_font.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

Form1 *abruptEnd = nullptr; // the window to save from, should the program end abruptly

enum class DesktopText { Usage };

// The manual page is made from this text: its sections are what help2man reads.
const BilingualText<DesktopText> kTexts[] = {
    {DesktopText::Usage,
     "Usage: lystora [OPTION]...\n"
     "Writes the list of the audio files of a music folder as text or an HTML page, with\n"
     "download links if asked, and makes it again every few minutes from the notification\n"
     "area, so that the list of a music folder served on the web stays current.\n"
     "Everything is chosen in the window; the settings are kept for the next start and for\n"
     "lystora-list, which makes the same lists without a window.\n"
     "\n"
     "  -h, --help      show this help\n"
     "      --version   show the version\n"
     "\n"
     "Qt's own options work too, for instance -platform xcb or -display :1.\n",
     "Usage : lystora [OPTION]...\n"
     "Écrit la liste des fichiers audio d'un répertoire de musique en texte ou en page HTML,\n"
     "avec des liens de téléchargement si demandé, et la refait toutes les quelques minutes\n"
     "depuis la zone de notification : la liste d'un répertoire servi sur le web reste à jour.\n"
     "Tout se choisit dans la fenêtre ; les réglages sont gardés pour le prochain démarrage et\n"
     "pour lystora-list, qui fait les mêmes listes sans fenêtre.\n"
     "\n"
     "  -h, --help      afficher cette aide\n"
     "      --version   afficher la version\n"
     "\n"
     "Les options de Qt fonctionnent aussi, par exemple -platform xcb ou -display :1.\n"},
};

// --help and --version are answered before anything needs a display.
bool answeredWithoutDisplay(int argc, char **argv)
{
    for (int i = 1; i < argc && std::strcmp(argv[i], "--"); ++i) {
        QString text;
        if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h"))
            text = pickText(kTexts, DesktopText::Usage, messagesLanguage());
        else if (!std::strcmp(argv[i], "--version"))
            text = versionText(QStringLiteral("lystora"));
        else
            continue;
        std::fputs(text.toLocal8Bit().constData(), stdout);
        return true;
    }
    return false;
}

} // namespace

int main(int argc, char **argv)
{
    if (answeredWithoutDisplay(argc, argv))
        return std::fflush(stdout) == 0 ? EXIT_SUCCESS : EXIT_FAILURE;
    preferX11Session();
    QApplication app(argc, argv);
    // The program ends when its main window is closed, by Form_QueryUnload: not when its last
    // visible window closes, which a hidden main window and a closed dialog would otherwise be.
    QApplication::setQuitOnLastWindowClosed(false);
    reportFileSizeLimitAsError();
    reportBrokenPipeAsError();
    QApplication::setOrganizationName(QStringLiteral("Korvane"));
    QApplication::setApplicationName(QStringLiteral("Lystora"));
    QApplication::setApplicationVersion(productVersion());
    // The menu entry's name: what a Wayland compositor matches the window to its icon by.
    QGuiApplication::setDesktopFileName(QStringLiteral("net.korvane.Lystora"));
    // Menus and message boxes too, not only the windows' own controls.
    QApplication::setFont(classicDialogFont());

    ListingSettings settings;
    const std::unique_ptr<SettingsBackend> store = makeSettingsBackend();
    Registry registry(*store);
    // A second window over the same settings would undo the first's at its end.
    SingleInstance instance(registry.location());
    if (instance.handedOver())
        return EXIT_SUCCESS;
    const std::unique_ptr<VolumeSource> volumes = makeVolumeSource();

    ProgramServices services;
    services.settings = &settings;
    services.registry = &registry;
    services.volumes = volumes.get();
    Forms forms(services);
    Form1 &form = forms.form1();
    instance.onAsked = [&form] { form.comeForward(); };
    // A session manager may end the program with a signal instead of closing its windows: the
    // program closes as the user would have closed it.
    SessionEnd sessionEnd;
    QObject::connect(&sessionEnd, &SessionEnd::endRequested, &form, &Form1::endRequested);
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &form, &Form1::Form_QueryUnload);
    // A display that goes away (X server stopped, remote session dropped) ends the program from
    // inside Qt with exit(): the closing save still runs, from there.
    abruptEnd = &form;
    std::atexit([] {
        if (abruptEnd)
            abruptEnd->saveBeforeAbruptEnd();
    });
    form.Form_Load();
    // "--screenshots DIR": pictures of the windows for the documentation, then quit.
    const QStringList arguments = QApplication::arguments();
    const qsizetype shots = arguments.indexOf(QStringLiteral("--screenshots"));
    const int status = shots > 0 && shots + 1 < arguments.size()
                           ? takeScreenshots(forms, arguments[shots + 1])
                           : app.exec();
    abruptEnd = nullptr;
    return status;
}
