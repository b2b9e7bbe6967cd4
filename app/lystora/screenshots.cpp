#include "screenshots.h"

#include "platform/notification_area.h"
#include "ui/about/form2.h"
#include "ui/forms.h"
#include "ui/main_window/dir_list_box.h"
#include "ui/main_window/form1.h"
#include "ui/options/frm_options.h"
#include "ui/splash/frm_splash.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QPixmap>
#include <QRadioButton>
#include <QScreen>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTimer>

namespace {

int save(QWidget &window, const QString &dir, const QString &name)
{
    QApplication::processEvents();
    return window.grab().save(dir + QLatin1Char('/') + name + QStringLiteral(".png")) ? 0 : 1;
}

int takeAll(Forms &forms, const QString &dir, const QString &language)
{
    int failed = save(forms.form1(), dir, QStringLiteral("main-window-") + language);
    frmOptions &options = forms.window<frmOptions>();
    options.show();
    for (int tab = 0; tab < options.tbsOptions->count(); ++tab) {
        options.tbsOptions->setCurrentIndex(tab);
        failed += save(options, dir, QStringLiteral("options-%1-").arg(tab + 1) + language);
    }
    options.tbsOptions->setCurrentIndex(0);
    Form2 &about = forms.window<Form2>();
    about.show();
    failed += save(about, dir, QStringLiteral("about-") + language);
    return failed;
}

// The icon's failure state and its notification, after a run of the timer that found its target
// gone, the window hidden: the screen's corner that holds them, where a notification area is.
int takeTrayFailure(Forms &forms, const QString &dir)
{
    if (!forms.notificationArea().shown())
        return 0;
    Form1 &form = forms.form1();
    {
        QTemporaryDir gone;
        form.Dir2->setPath(QFile::encodeName(gone.path()));
    }
    ListingSettings &settings = forms.settings();
    settings.AutoUpdate = true;
    settings.AutoUpdateTime = 1;
    form.MinuteCount = 0;
    form.mnuHide_Click();
    form.Timer1_Timer();
    QEventLoop shown; // the notification's own window comes and settles
    QTimer::singleShot(1500, &shown, &QEventLoop::quit);
    shown.exec();
    QScreen *screen = QGuiApplication::primaryScreen();
    const QRect corner(screen->geometry().width() - 480, 0, 480, 200);
    return screen->grabWindow(0, corner.x(), corner.y(), corner.width(), corner.height())
                   .save(dir + QStringLiteral("/tray-failure.png"))
               ? 0
               : 1;
}

} // namespace

int takeScreenshots(Forms &forms, const QString &dir)
{
    QDir().mkpath(dir);
    int splashFailed = 0;
    if (frmSplash *splash = forms.ifLoaded<frmSplash>()) {
        splashFailed = save(*splash, dir, QStringLiteral("splash"));
        splash->Timer1_Timer(); // no need to wait the two seconds
    }
    // The language in force first, then the other one, switched as a user would.
    frmOptions &options = forms.window<frmOptions>();
    const bool french = options.Language[1]->isChecked();
    int failed = takeAll(forms, dir, french ? QStringLiteral("fr") : QStringLiteral("en"));
    // A run as it goes: taken from inside it, where the window handles its events.
    // Made as the timer makes it: no box waits for an answer at its end.
    Form1 &form = forms.form1();
    const bool automatic = forms.settings().AutoUpdate;
    forms.settings().AutoUpdate = true;
    QTimer::singleShot(0, &form, [&] { failed += save(form, dir, QStringLiteral("progress")); });
    form.Command1_Click();
    forms.settings().AutoUpdate = automatic;
    forms.window<frmOptions>().Language[french ? 0 : 1]->setChecked(true);
    failed += takeAll(forms, dir, french ? QStringLiteral("en") : QStringLiteral("fr"));
    failed += takeTrayFailure(forms, dir);
    return failed + splashFailed;
}
