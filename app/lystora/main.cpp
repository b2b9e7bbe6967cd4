// Lystora: the desktop program.

#include "engine/product.h"
#include "lystora/screenshots.h"
#include "platform/interrupt.h"
#include "platform/session_end.h"
#include "platform/settings_backend.h"
#include "platform/volumes.h"
#include "settings/listing_settings.h"
#include "settings/registry.h"
#include "ui/forms.h"
#include "ui/main_window/form1.h"
#include "ui/widgets/classic_font.h"

#include <QApplication>

#include <cstdlib>

namespace {

Form1 *abruptEnd = nullptr; // the window to save from, should the program end abruptly

} // namespace

int main(int argc, char **argv)
{
    preferX11Session();
    QApplication app(argc, argv);
    // The program ends when its main window is closed, by Form_QueryUnload: not when its last
    // visible window closes, which a hidden main window and a closed dialog would otherwise be.
    QApplication::setQuitOnLastWindowClosed(false);
    reportFileSizeLimitAsError();
    QApplication::setOrganizationName(QStringLiteral("Korvane"));
    QApplication::setApplicationName(QStringLiteral("Lystora"));
    QApplication::setApplicationVersion(productVersion());
    // Menus and message boxes too, not only the windows' own controls.
    QApplication::setFont(classicDialogFont());

    ListingSettings settings;
    const std::unique_ptr<SettingsBackend> store = makeSettingsBackend();
    Registry registry(*store);
    const std::unique_ptr<VolumeSource> volumes = makeVolumeSource();

    ProgramServices services;
    services.settings = &settings;
    services.registry = &registry;
    services.volumes = volumes.get();
    Forms forms(services);
    Form1 &form = forms.form1();
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
