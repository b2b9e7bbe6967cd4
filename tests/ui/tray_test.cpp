// The notification-area icon and the hidden window, every way out of the program, the splash
// screen and the welcome music.

#include "platform/session_end.h"
#include "settings/registry.h"
#include "ui/forms.h"
#include "ui/main_window/form1.h"
#include "ui/options/frm_options.h"
#include "ui/splash/frm_splash.h"
#include "ui_fakes.h"

#include <QAction>
#include <QDir>
#include <QMenu>
#include <QScreen>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

class TrayTest : public QObject
{
    Q_OBJECT

    struct Program : TestProgram {
        explicit Program(bool splash = false, bool music = false, bool trayPresent = true)
        {
            store.values = {{"SplashScreen", splash ? "Oui" : "Non"},
                            {"StartUpMusic", music ? "Oui" : "Non"}};
            tray.present = trayPresent;
        }
        // Quitting saves every value; these are the ones a first start stores.
        bool saved() const { return store.values.count("Pattern") && store.values.count("FileLg"); }
    };

private slots:
    void leftClickRestoresRightClickPopsTheMenuAndNothingElseActs()
    {
        Program p;
        Form1 &f = p.form1();
        f.Form_Load();
        f.mnuHide_Click();
        QVERIFY(!f.isVisible());
        QVERIFY(!f.mnuHide->isEnabled());

        for (int nothing : {int(kIconLeftButtonDown), int(kIconOther), 0x203}) {
            f.Form_MouseMove(nothing);
            QVERIFY(!f.isVisible());
        }
        QStringList popped;
        f.popUpMenu = [&](QMenu *menu) {
            popped << menu->title();
            // While the menu is open, icon messages drop: no restore, no second menu.
            f.Form_MouseMove(kIconLeftButtonUp);
            f.Form_MouseMove(kIconRightButtonUp);
            QVERIFY(!f.isVisible());
        };
        f.Form_MouseMove(kIconRightButtonUp);
        QCOMPARE(popped, QStringList({"&Fichier"}));
        QVERIFY(!f.InTrayEvent);

        f.Form_MouseMove(kIconLeftButtonUp); // a click, or each click of a double click
        QVERIFY(f.isVisible());
        QVERIFY(f.mnuHide->isEnabled());
        f.Form_MouseMove(kIconLeftButtonUp);
        QVERIFY(f.isVisible());
    }

    void aNotificationAreaThatAppearsLaterGetsTheIconAndHideHidesToItFromThen()
    {
        Program p(false, false, false);
        Form1 &f = p.form1();
        f.Form_Load();
        QCOMPARE(p.tray.calls, QStringList({"add Lystora v1.52.1016"}));
        QVERIFY(!p.tray.icon.isNull()); // the window's own icon
        f.mnuHide_Click();              // nowhere to come back from: minimised instead
        QVERIFY(f.isVisible() && f.isMinimized() && f.mnuHide->isEnabled());
        f.showNormal();
        p.tray.present = true; // the panel starts after the program
        f.mnuHide_Click();
        QVERIFY(!f.isVisible() && !f.mnuHide->isEnabled());
    }

    void aWayOutBeforeTheSettingsAreLoadedLeavesThemAsTheyWere()
    {
        const std::vector<std::pair<const char *, std::function<void(Form1 &)>>> routes = {
            {"a signal", [](Form1 &f) { f.endRequested(); }},
            {"the close box", [](Form1 &f) { f.close(); }},
            {"the display's end", [](Form1 &f) { f.saveBeforeAbruptEnd(); }},
        };
        for (const auto &route : routes) {
            Program p(true, false); // the splash screen shows; the load comes at its tick
            p.form1().Form_Load();
            route.second(p.form1());
            QVERIFY2(p.store.writes.isEmpty(), route.first);
            QVERIFY(!p.form1().isVisible());
        }
    }

    void everyWayOutSavesRemovesTheIconAndUnloadsTheOtherWindows()
    {
        const std::vector<std::pair<const char *, std::function<void(Program &)>>> routes = {
            {"Quit", [](Program &p) { p.form1().mnuQuit_Click(); }},
            {"close box", [](Program &p) { p.form1().close(); }},
            {"icon menu's Quit while hidden",
             [](Program &p) {
                 p.form1().mnuHide_Click();
                 p.form1().popUpMenu = [&](QMenu *) { p.form1().mnuQuit_Click(); };
                 p.form1().Form_MouseMove(kIconRightButtonUp);
             }},
            {"SIGTERM",
             [](Program &p) {
                 SessionEnd end;
                 QObject::connect(&end, &SessionEnd::endRequested, &p.form1(),
                                  &Form1::endRequested);
                 ::raise(SIGTERM);
                 QTRY_VERIFY(p.saved());
             }},
            {"SIGHUP",
             [](Program &p) {
                 SessionEnd end;
                 QObject::connect(&end, &SessionEnd::endRequested, &p.form1(),
                                  &Form1::endRequested);
                 ::raise(SIGHUP);
                 QTRY_VERIFY(p.saved());
             }},
            {"the display's end", [](Program &p) { p.form1().saveBeforeAbruptEnd(); }},
        };
        for (const auto &route : routes) {
            Program p;
            p.form1().Form_Load();
            p.forms->window<frmOptions>().show();
            p.form1().mnuAbout_Click();
            QVERIFY(!p.saved());
            route.second(p);
            QVERIFY2(p.saved(), route.first);
            QCOMPARE(p.tray.calls.last(), QStringLiteral("remove"));
            QVERIFY2(!p.forms->ifLoaded<Form2>() && !p.forms->ifLoaded<frmOptions>(), route.first);
            QCOMPARE(p.tray.calls.count(QStringLiteral("remove")), 1);
            p.form1().Form_QueryUnload(); // a second way out finds it done
            QCOMPARE(p.tray.calls.count(QStringLiteral("remove")), 1);
        }
    }

    void startUpFollowsTheTwoStoredSwitches()
    {
        QTemporaryDir here;
        const QString before = QDir::currentPath();
        QDir::setCurrent(here.path());
        const QString music = here.path() + QStringLiteral("/lya_v1.52.mp3");
        for (bool present : {false, true}) {
            if (present)
                QFile(music).open(QIODevice::WriteOnly);
            for (bool splash : {false, true}) {
                for (bool withMusic : {false, true}) {
                    Program p(splash, withMusic);
                    p.form1().Form_Load();
                    // A music that is not there is not handed to the desktop.
                    QCOMPARE(p.shell.calls, withMusic && present
                                                ? QStringList({QLatin1Char('|') + music + "||"})
                                                : QStringList());
                    QCOMPARE(p.form1().isVisible(), !splash);
                    QCOMPARE(p.forms->ifLoaded<frmSplash>() != nullptr, splash);
                }
            }
        }
        QDir::setCurrent(before);
    }

    void splashIsCentredIgnoresTheUserAndCompletesTheStartUpOnce()
    {
        Program p(true, false);
        p.form1().Form_Load();
        frmSplash *splash = p.forms->ifLoaded<frmSplash>();
        QVERIFY(splash && splash->isVisible());
        QCOMPARE(splash->size(), QSize(320, 240));
        QVERIFY(splash->windowFlags() & Qt::FramelessWindowHint);
        const QRect screen = splash->screen()->geometry();
        QCOMPARE(splash->pos(), QPoint(screen.left() + (screen.width() - 320) / 2,
                                       screen.top() + (screen.height() - 240) / 2));
        QTest::mouseClick(splash, Qt::LeftButton);
        QTest::keyClick(splash, Qt::Key_Escape);
        QVERIFY(p.forms->ifLoaded<frmSplash>() == splash && !p.form1().isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(p.form1().isVisible(), 5000);
        QVERIFY(p.forms->ifLoaded<frmSplash>() == nullptr);
        QCOMPARE(p.tray.calls.count(QStringLiteral("add Lystora v1.52.1016")), 1);
    }
};

QTEST_MAIN(TrayTest)
#include "tray_test.moc"
