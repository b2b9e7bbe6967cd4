// The options dialog, the load and save through it, the interface language and the about box,
// on the real windows.

#include "settings/registry.h"
#include "ui/about/form2.h"
#include "ui/forms.h"
#include "ui/main_window/file_list_box.h"
#include "ui/main_window/form1.h"
#include "ui/main_window/qt_message_boxes.h"
#include "ui/options/frm_options.h"
#include "ui/splash/frm_splash.h"
#include "ui_fakes.h"

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTabBar>
#include <QtTest>

#include <cerrno>

class OptionsTest : public QObject
{
    Q_OBJECT

    // A program started on a store, as main() starts it.
    struct Program : TestProgram {
        explicit Program(MemoryStore &store) : TestProgram(&store) { start(); }
        frmOptions &options() { return forms->window<frmOptions>(); }
    };

    static QStringList mainCaptions(Form1 &f)
    {
        return {f.mnuFile->title(), f.mnuHide->text(), f.mnuQuit->text(), f.mnuHelp->text(),
                f.mnuAbout->text(), f.Frame2->title(), f.Command1->text()};
    }

private slots:
    void firstStartIsFrenchWithTheDialogLoadedHidden()
    {
        MemoryStore store;
        Program p(store);
        QVERIFY(p.forms->ifLoaded<frmOptions>() != nullptr);
        QVERIFY(!p.forms->ifLoaded<frmOptions>()->isVisible());
        QVERIFY(p.forms->ifLoaded<Form2>() == nullptr); // labelled by the load, then unloaded
        QVERIFY(p.form1().isVisible());
        QCOMPARE(mainCaptions(p.form1()),
                 QStringList({"&Fichier", "&Cacher la fenêtre", "&Quitter", "A&ide", "&A propos",
                              "Destination", "Faire la liste !"}));
        frmOptions &o = p.options();
        QCOMPARE(o.tbsOptions->currentIndex(), 0);
        QVERIFY(o.cmdApply->isEnabled()); // the load's "Français" was a change
        QCOMPARE(o.Text4->text(), QStringLiteral("*.mp3"));
        QCOMPARE(p.form1().File1->pattern(), QStringLiteral("*.mp3"));
        QCOMPARE(o.Text3->text(), QStringLiteral("http://votre.ip/votre_repertoire_de_base/"));
        QVERIFY(o.Check6->isChecked() && o.Check7->isChecked());
        QVERIFY(!o.Check1->isChecked() && !o.Check2->isChecked());
        QVERIFY(o.Language[1]->isChecked() && o.FileLg[1]->isChecked() &&
                o.FileOption[0]->isChecked());
        QCOMPARE(o.Check9->text(), QStringLiteral("Inclure la taille des fichiers"));
        QCOMPARE(o.Frame3->title(), QStringLiteral("Choisissez votre langage"));
        QCOMPARE(o.Frame4->title(), QStringLiteral("Serveur Audio"));
        QCOMPARE(p.settings.Langue, 1);
        QVERIFY(store.writes.isEmpty());
    }

    void pickingALanguageSwitchesEveryWindowAtOnce()
    {
        MemoryStore store;
        Program p(store);
        frmOptions &o = p.options();
        p.form1().mnuAbout_Click();
        Form2 &about = p.forms->window<Form2>();
        o.Language[0]->setChecked(true);
        QCOMPARE(mainCaptions(p.form1()), QStringList({"&File", "&Hide window", "&Quit", "&Help",
                                                       "&About", "Target", "Make the list !"}));
        QCOMPARE(about.windowTitle(), QStringLiteral("About Lystora v1.52.1016"));
        QCOMPARE(about.Label4->text(), QStringLiteral("KORVANE thanks :"));
        QCOMPARE(o.cmdCancel->text(), QStringLiteral("Cancel"));
        QCOMPARE(o.FileOption[1]->text(), QStringLiteral("Current dir's files && sub-dirs' names"));
        QCOMPARE(o.tbsOptions->tabText(0), QStringLiteral("Listing options"));
        QCOMPARE(o.tbsOptions->tabText(2), QStringLiteral("HTML"));
        QCOMPARE(o.Text3->text(), QStringLiteral("http://your.ip/your_base_dir/"));
        QCOMPARE(p.settings.Langue, 0);
        QVERIFY(o.FileLg[1]->isChecked()); // the list's language is another setting

        // Back and forth: the same captions; a typed URL survives every switch.
        o.Text3->setText(QStringLiteral("http://music.example/"));
        o.Language[1]->setChecked(true);
        const QStringList french = mainCaptions(p.form1());
        o.Language[0]->setChecked(true);
        o.Language[1]->setChecked(true);
        QCOMPARE(mainCaptions(p.form1()), french);
        QCOMPARE(o.Text3->text(), QStringLiteral("http://music.example/"));

        // Cancel closes the dialog but not the language.
        o.Language[0]->setChecked(true);
        o.cmdCancel->click();
        QCoreApplication::processEvents();
        QVERIFY(p.forms->ifLoaded<frmOptions>() == nullptr);
        QCOMPARE(p.form1().Command1->text(), QStringLiteral("Make the list !"));
        QCOMPARE(p.settings.Langue, 0);
    }

    void enableRulesFollowTheirCheckBoxes()
    {
        MemoryStore store;
        Program p(store);
        frmOptions &o = p.options();
        o.tbsOptions->setCurrentIndex(2);
        QVERIFY(!o.Text1->isEnabled() && !o.Frame4->isEnabled());
        o.Check3->setChecked(true);
        QVERIFY(o.Text1->isEnabled() && o.Frame4->isEnabled());
        o.Check4->setChecked(true);
        o.Check5->setChecked(true);
        QVERIFY(o.Text2->isEnabled() && o.Text3->isEnabled());
        o.Check3->setChecked(false); // the frame takes its boxes with it, their values stay
        QVERIFY(!o.Text1->isEnabled() && !o.Frame4->isEnabled() && !o.Text2->isEnabled());
        QVERIFY(o.Check4->isChecked());
        o.Check4->setChecked(false);
        QVERIFY(!o.Text2->isEnabled());
        QVERIFY(!o.Check9->isEnabled());
        QCOMPARE(o.Text2->maxLength(), 3);
    }

    void tabsSwitchPagesAndCtrlTabWrapsForwardOnly()
    {
        MemoryStore store;
        Program p(store);
        frmOptions &o = p.options();
        o.show();
        o.tbsOptions->setCurrentIndex(1);
        QVERIFY(o.picOptions[1]->isVisible() && o.picOptions[1]->isEnabled());
        QCOMPARE(o.picOptions[1]->x(), 14);
        QVERIFY(!o.picOptions[0]->isVisible() && !o.picOptions[0]->isEnabled());
        QVERIFY(o.picOptions[0]->x() < -1000);
        QTest::keyClick(o.Text4, Qt::Key_Tab, Qt::ControlModifier);
        QCOMPARE(o.tbsOptions->currentIndex(), 2);
        QTest::keyClick(&o, Qt::Key_Tab, Qt::ControlModifier);
        QCOMPARE(o.tbsOptions->currentIndex(), 3);
        QCOMPARE(o.tbsOptions->tabToolTip(3), QStringLiteral("Formats de sortie et tags"));
        QTest::keyClick(&o, Qt::Key_Tab, Qt::ControlModifier); // the fourth wraps to the first
        QCOMPARE(o.tbsOptions->currentIndex(), 0);
        QTest::keyClick(&o, Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(o.tbsOptions->currentIndex(), 0);
        QTest::keyClick(&o, Qt::Key_Escape); // Escape is Cancel
        QCoreApplication::processEvents();
        QVERIFY(p.forms->ifLoaded<frmOptions>() == nullptr);
    }

    void applySavesAndStaysOkSavesAndClosesCancelForgets()
    {
        MemoryStore store;
        Program p(store);
        frmOptions &o = p.options();
        o.Check1->setChecked(true);
        o.cmdApply->click();
        QVERIFY(!o.cmdApply->isEnabled());
        QVERIFY(p.forms->ifLoaded<frmOptions>() == &o);
        QCOMPARE(store.values.at("ShowTime"), QStringLiteral("Oui"));
        // Every value but BaseUrl and AutoUpdateTime, whose switches are off.
        QCOMPARE(store.values.size(), std::size_t(26));
        QVERIFY(p.settings.ShowTime);

        // Cancel forgets what was not applied; the next dialog shows the settings in force.
        o.Check2->setChecked(true);
        o.cmdCancel->click();
        QCoreApplication::processEvents();
        frmOptions &again = p.options();
        QVERIFY(&again != &o && !again.Check2->isChecked() && again.Check1->isChecked());
        QVERIFY(!again.cmdApply->isEnabled());

        // The pattern alone marks nothing, and OK still stores it.
        again.Text4->setText(QStringLiteral("*.ogg;*.mp3"));
        QVERIFY(!again.cmdApply->isEnabled());
        again.cmdOK->click();
        QCoreApplication::processEvents();
        QVERIFY(p.forms->ifLoaded<frmOptions>() == nullptr);
        QCOMPARE(store.values.at("Pattern"), QStringLiteral("*.ogg;*.mp3"));
        QCOMPARE(p.form1().File1->pattern(), QStringLiteral("*.ogg;*.mp3"));
    }

    void theKeyboardReachesTheMenusAndEnterConfirmsTheDialog()
    {
        MemoryStore store;
        Program p(store);
        Form1 &f = p.form1();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        QTest::keyClick(&f, Qt::Key_F, Qt::AltModifier);
        QTRY_VERIFY(f.mnuFile->isVisible());
        QTest::keyClick(f.mnuFile, Qt::Key_O); // Options
        QTRY_VERIFY(p.forms->ifLoaded<frmOptions>() && p.options().isVisible());
        frmOptions &o = p.options();
        o.Text4->setText(QStringLiteral("*.ogg"));
        o.Text4->setFocus();
        QTest::keyClick(o.Text4, Qt::Key_Return);
        QTRY_VERIFY(p.forms->ifLoaded<frmOptions>() == nullptr);
        QCOMPARE(store.values.at("Pattern"), QStringLiteral("*.ogg"));
    }

    void theAboutBoxLinkCanBeReadOnADarkPalette()
    {
        const QPalette usual = QApplication::palette();
        for (const bool dark : {false, true}) {
            QPalette palette = usual;
            palette.setColor(QPalette::Window, dark ? QColor(0x20, 0x20, 0x20) : Qt::white);
            palette.setColor(QPalette::Link, dark ? QColor(0, 0, 0x80) : QColor(0, 0, 0xff));
            QApplication::setPalette(palette);
            MemoryStore store;
            Program p(store);
            p.form1().mnuAbout_Click();
            const QColor link =
                p.forms->window<Form2>().Label3->palette().color(QPalette::WindowText);
            QCOMPARE(link.lightness() > 128, dark);
        }
        QApplication::setPalette(usual);
    }

    void badIntervalIsToldAndTheIntervalInForceKept()
    {
        for (const char *kept : {"20", "1"}) {
            MemoryStore store;
            store.values = {{"AutoUpdate", "Oui"}, {"AutoUpdateTime", kept}, {"HTML", "Oui"}};
            Program p(store);
            frmOptions &o = p.options();
            o.Text2->setText(QStringLiteral("0"));
            o.Check8->setChecked(true);
            o.cmdOK->click();
            QCoreApplication::processEvents();
            QCOMPARE(p.messages.boxes.size(), std::size_t(1));
            QCOMPARE(p.messages.boxes[0].text,
                     QStringLiteral("La liste est actualisée toutes les 1 à 999 minutes, en "
                                    "nombre entier : l'intervalle reste ") +
                         (kept[0] == '1' ? QStringLiteral("d'une minute.")
                                         : QStringLiteral("de 20 minutes.")));
            QCOMPARE(store.values.at("AutoUpdateTime"), QString::fromLatin1(kept));
            QCOMPARE(store.values.at("IncExt"), QStringLiteral("Oui"));
            QVERIFY(p.forms->ifLoaded<frmOptions>() == nullptr); // OK still closed it
        }
    }

    void aRefusedSaveIsToldOnce()
    {
        MemoryStore store;
        Program p(store);
        store.failWith = ENOSPC;
        p.options().cmdApply->click();
        QCOMPARE(p.messages.boxes.size(), std::size_t(1));
        QCOMPARE(p.messages.boxes[0].text,
                 QStringLiteral("/memory/Lystora.conf\r\nLes réglages n'ont pas pu être "
                                "enregistrés : plus de place sur le périphérique"));
        QCOMPARE(p.messages.boxes[0].style, int(kStyleCritical));
    }

    void quittingSavesWhatTheOpenDialogShowsAndTheNextStartGetsItBack()
    {
        MemoryStore store;
        {
            Program p(store);
            frmOptions &o = p.options();
            o.show();
            o.Language[0]->setChecked(true);
            o.FileOption[2]->setChecked(true);
            o.Check3->setChecked(true);
            o.Text1->setText(QStringLiteral("Ma musique"));
            p.form1().Text4->setText(QStringLiteral("index.txt"));
            p.form1().mnuQuit_Click(); // not applied, still saved
            QCoreApplication::processEvents();
            QVERIFY(p.forms->ifLoaded<frmOptions>() == nullptr);
        }
        QCOMPARE(store.values.size(), std::size_t(26));
        QCOMPARE(store.values.at("FileName"), QStringLiteral("index.txt"));
        Program next(store);
        QCOMPARE(next.form1().Text4->text(), QStringLiteral("index.htm"));
        QCOMPARE(next.form1().Command1->text(), QStringLiteral("Make the list !"));
        frmOptions &o = next.options();
        QVERIFY(o.FileOption[2]->isChecked() && o.Check3->isChecked());
        QCOMPARE(o.Text1->text(), QStringLiteral("Ma musique"));
        QCOMPARE(next.settings.ListingType, 2);
    }

    void qtsOwnTextsFollowTheInterfaceLanguage()
    {
        MemoryStore store;
        Program p(store); // French, as on a first start
        QtMessageBoxes boxes(&p.form1());
        const auto buttons = [&] {
            QStringList texts;
            QTimer::singleShot(0, [&] {
                auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
                for (QAbstractButton *button : box->buttons())
                    texts << button->text();
                box->reject();
            });
            boxes.MsgBox(QStringLiteral("?"), kStyleYesNoExclamation, QStringLiteral("LYA"));
            texts.sort();
            return texts;
        };
        QCOMPARE(buttons(), QStringList({"&Non", "&Oui"}));
        p.options().Language[0]->setChecked(true);
        QCOMPARE(buttons(), QStringList({"&No", "&Yes"}));
    }

    void theMainWindowIsCentredWithItsOwnSize()
    {
        MemoryStore store;
        Program p(store);
        // Centred, within the frame's border; placed as Qt's 640 by 480 window of before the
        // first show, it would be tens of pixels off.
        const QPoint offset =
            p.form1().frameGeometry().center() - p.form1().screen()->geometry().center();
        QVERIFY2(std::abs(offset.x()) <= 3 && std::abs(offset.y()) <= 3,
                 qPrintable(QStringLiteral("%1,%2").arg(offset.x()).arg(offset.y())));
    }

    void valuesTheProgramDidNotChangeKeepTheirBytes()
    {
        // A hand-edited Latin-1 title, as the store gives it (see lossless_text.h).
        const QString latin1 = QStringLiteral("Caf") + QChar(0xDCE9);
        MemoryStore store;
        store.values = {{"TitleHTML", latin1}, {"SplashScreen", "Non"}};
        {
            Program p(store);
            p.form1().mnuQuit_Click();
        }
        QCOMPARE(store.values.at("TitleHTML"), latin1);
    }

    void aboutBoxShowsTheHomePageAsAPureBlueLink()
    {
        MemoryStore store;
        store.values = {{"Langue", "0"}};
        Program p(store);
        p.form1().mnuAbout_Click();
        Form2 &about = p.forms->window<Form2>();
        QCOMPARE(about.windowTitle(), QStringLiteral("About Lystora v1.52.1016"));
        QCOMPARE(about.Label4->text(), QStringLiteral("KORVANE thanks:")); // its own load's
        QCOMPARE(about.Label3->text(), QStringLiteral("http://www.korvane.net/lya/"));
        QCOMPARE(about.Label3->palette().color(QPalette::WindowText), QColor(0, 0, 255));
        QVERIFY(about.Label3->font().underline());
        QCOMPARE(about.size(), QSize(346, 130));
        QTest::mouseClick(about.Label3, Qt::LeftButton);
        QCOMPARE(p.shell.calls.last(), QStringLiteral("|http://www.korvane.net/lya/||"));
        QVERIFY(about.isVisible());
    }
};

QTEST_MAIN(OptionsTest)
#include "options_test.moc"
