// The main window: its layout and captions, the source lists kept in step, a list made through
// it, the drive lists, the update timer and the shell calls.

#include "engine/engines.h"
#include "settings/registry.h"
#include "ui/forms.h"
#include "ui/main_window/dir_list_box.h"
#include "ui/main_window/drive_list_box.h"
#include "ui/main_window/file_list_box.h"
#include "ui/main_window/form1.h"
#include "ui/main_window/qt_message_boxes.h"
#include "ui/splash/frm_splash.h"
#include "ui_fakes.h"

#include <QDialog>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QRegularExpression>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

class Form1Test : public QObject
{
    Q_OBJECT

    struct Window : TestProgram {
        Form1 *form = &form1();
    };

    static QByteArray bytes(const QString &path) { return QFile::encodeName(path); }
    static void touch(const QString &path, const QByteArray &content = QByteArray())
    {
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    static QByteArray read(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }

private slots:
    void fileListFollowsTheDirectoryListAtOnce()
    {
        QTemporaryDir tree;
        touch(tree.path() + QStringLiteral("/a/one.mp3"));
        touch(tree.path() + QStringLiteral("/a/two.MP3"));
        touch(tree.path() + QStringLiteral("/a/cover.jpg"));
        Window w;
        w.form->Dir1->setPath(bytes(tree.path() + QStringLiteral("/a")));
        QCOMPARE(w.form->File1->path(), bytes(tree.path() + QStringLiteral("/a")));
        QCOMPARE(w.form->File1->fileCount(), 2); // before any event is handled
        QCoreApplication::processEvents();
        QCOMPARE(w.form->File1->shownCount(), 2);
        QCOMPARE(w.form->File1->shownText(1), QStringLiteral("two.MP3"));
        // The directory list shows the ancestors down to "a", and opens one on a double click.
        QTreeWidgetItem *current = w.form->Dir1->currentItem();
        QCOMPARE(current->text(0), QStringLiteral("a"));
        QCOMPARE(w.form->Dir1->toolTip(), tree.path() + QStringLiteral("/a")); // however long
        emit w.form->Dir1->itemDoubleClicked(current->parent(), 0);
        QCOMPARE(w.form->Dir1->path(), bytes(tree.path()));
        QCOMPARE(w.form->File1->fileCount(), 0);
    }

    void theShownFoldersAreFollowedOnDisk()
    {
        QTemporaryDir tree;
        touch(tree.path() + QStringLiteral("/a/b/one.mp3"));
        Window w;
        w.form->Dir1->setPath(bytes(tree.path() + QStringLiteral("/a/b")));
        QCOMPARE(w.form->File1->fileCount(), 1);
        touch(tree.path() + QStringLiteral("/a/b/two.mp3"));
        QTRY_COMPARE(w.form->File1->fileCount(), 2);
        QDir(tree.path() + QStringLiteral("/a/b")).removeRecursively();
        QTRY_COMPARE(w.form->Dir1->path(), bytes(tree.path() + QStringLiteral("/a")));
        QCOMPARE(w.form->File1->fileCount(), 0);
    }

    void theStoredSourceIsListedOnceTheSplashScreenHasGone()
    {
        QTemporaryDir tree;
        touch(tree.path() + QStringLiteral("/music/Album/one.mp3"));
        touch(tree.path() + QStringLiteral("/music/two.mp3"));
        Window w;
        w.store.values = {{"SplashScreen", "Oui"},
                          {"SourceDir", tree.path() + QStringLiteral("/music/")}};
        w.form->Form_Load();
        QCoreApplication::processEvents(); // the lists are shown, before any folder is placed
        w.forms->ifLoaded<frmSplash>()->Timer1_Timer();
        QCoreApplication::processEvents();
        QCOMPARE(w.form->File1->shownCount(), 1);
        QCOMPARE(w.form->Dir1->currentItem()->child(0)->text(0), QStringLiteral("Album"));
    }

    void aListMadeThroughTheWindowAsksBeforeReplacing()
    {
        QTemporaryDir tree;
        touch(tree.path() + QStringLiteral("/src/song.mp3"));
        touch(tree.path() + QStringLiteral("/out/audio.txt"), "OLD");
        Window w;
        w.settings.Langue = 1;
        w.form->Dir1->setPath(bytes(tree.path() + QStringLiteral("/src")));
        w.form->Dir2->setPath(bytes(tree.path() + QStringLiteral("/out")));
        w.messages.answer = kAnswerNo;
        w.form->Command1->click();
        QCOMPARE(read(tree.path() + QStringLiteral("/out/audio.txt")), QByteArray("OLD"));
        QCOMPARE(w.messages.boxes.size(), std::size_t(1));
        QCOMPARE(w.messages.boxes[0].title, QStringLiteral("LYA v1.52.1016"));
        QCOMPARE(w.messages.boxes[0].style, int(kStyleYesNoExclamation));

        w.messages.answer = kAnswerYes;
        w.settings.HTML = true;
        w.form->Command1->click();
        QVERIFY(read(tree.path() + QStringLiteral("/out/audio.txt")).contains("<br>song"));
        QCOMPARE(w.messages.boxes.back().text, QStringLiteral("Liste créée !\r\n") + tree.path() +
                                                   QStringLiteral("/out/audio.txt"));
        QCOMPARE(w.messages.boxes.back().style, int(kStyleInformation));
        QVERIFY(w.form->Command1->isEnabled() && w.form->Text4->isEnabled());
        QCOMPARE(w.form->StatusBar1->findChild<QLabel *>()->text(),
                 QStringLiteral("Lystora v1.52.1016"));
        QVERIFY(!w.form->Timer1->isActive());

        // The page beside it shows the folders' pictures, as lystora-list's does.
        QImage picture(64, 64, QImage::Format_RGB32);
        picture.fill(Qt::red);
        QDir().mkpath(tree.path() + QStringLiteral("/src/Album"));
        QVERIFY(picture.save(tree.path() + QStringLiteral("/src/Album/cover.jpg"), "JPG"));
        touch(tree.path() + QStringLiteral("/src/Album/track.mp3"));
        w.settings.ListingType = 2;
        w.settings.AlsoPage = true;
        w.settings.Covers = true;
        w.form->Command1->click();
        QVERIFY(read(tree.path() + QStringLiteral("/out/index.html")).contains("index.covers/"));
    }

    void aFolderComesTypedDroppedOrRecentAndEachUsedOneIsStored()
    {
        QTemporaryDir tree;
        touch(tree.path() + QStringLiteral("/music/Album/one.mp3"));
        QDir().mkpath(tree.path() + QStringLiteral("/web & co"));
        Window w;
        w.volumes.list.push_back({tree.path(), QStringLiteral("stick")});
        w.form->Drive1->refresh();
        w.form->Drive2->refresh();
        // Typed in the dialog, a folder not there yet: its nearest ancestor, on its volume.
        QString asked;
        w.form->chooseFolder = [&](const QString &title, const QString &) {
            asked = title;
            return tree.path() + QStringLiteral("/music/Album/none");
        };
        w.form->mnuChooseSource->trigger();
        QCOMPARE(asked, QStringLiteral("Choose the source folder"));
        QCOMPARE(w.form->Dir1->path(), bytes(tree.path() + QStringLiteral("/music/Album")));
        QCOMPARE(w.form->Drive1->drive(), tree.path());
        QCOMPARE(w.form->File1->fileCount(), 1);
        // A folder dropped on the target side, a file on the source side (its folder).
        const auto drop = [&](const QString &path, QWidget *onto) {
            QMimeData data;
            data.setUrls({QUrl::fromLocalFile(path)});
            const QPointF at = onto->mapTo(w.form, onto->rect().center());
            QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, &data, Qt::LeftButton, {});
            QCoreApplication::sendEvent(w.form, &enter);
            QVERIFY(enter.isAccepted());
            QDropEvent dropped(at, Qt::CopyAction, &data, Qt::LeftButton, {});
            QCoreApplication::sendEvent(w.form, &dropped);
        };
        drop(tree.path() + QStringLiteral("/web & co"), w.form->Dir2);
        QCOMPARE(w.form->Dir2->path(), bytes(tree.path() + QStringLiteral("/web & co")));
        drop(tree.path() + QStringLiteral("/music/Album/one.mp3"), w.form->Frame1);
        QCOMPARE(w.form->Dir1->path(), bytes(tree.path() + QStringLiteral("/music/Album")));
        // Stored at once, most recent first, each folder once; taken back from the menu.
        w.form->Dir1->setPath(bytes(tree.path()));
        emit w.form->mnuFile->aboutToShow();
        const QList<QAction *> sources = w.form->mnuRecentSources->actions();
        QCOMPARE(sources.size(), 1);
        QCOMPARE(sources[0]->text(), tree.path() + QStringLiteral("/music/Album"));
        QCOMPARE(w.form->mnuRecentTargets->actions()[0]->text(),
                 tree.path() + QStringLiteral("/web && co"));
        sources[0]->trigger();
        QCOMPARE(w.form->Dir1->path(), bytes(tree.path() + QStringLiteral("/music/Album")));
        QCOMPARE(w.store.values[QStringLiteral("RecentSource1")],
                 tree.path() + QStringLiteral("/music/Album"));
        // A run stores the folders it used.
        w.form->Dir1->setPath(bytes(tree.path() + QStringLiteral("/music")));
        w.settings.ListingType = 2;
        w.form->Command1->click();
        QCOMPARE(w.store.values[QStringLiteral("RecentSource1")],
                 tree.path() + QStringLiteral("/music"));
        QCOMPARE(w.store.values[QStringLiteral("RecentSource2")],
                 tree.path() + QStringLiteral("/music/Album"));
        // The time of that list, said again in the language chosen afterwards.
        const auto statusTexts = [&] {
            QStringList texts;
            for (const QLabel *label : w.form->StatusBar1->findChildren<QLabel *>())
                texts << label->text();
            return texts.join(QLatin1Char('|'));
        };
        QVERIFY(statusTexts().contains(QStringLiteral("Last list made at ")));
        w.form->applyCaptions(1);
        QVERIFY(statusTexts().contains(QStringLiteral("Dernière liste faite à ")));
    }

    void aVolumeThatIsNotReadyFallsBackToTheSystemVolume()
    {
        for (int langue : {0, 1}) {
            Window w;
            w.settings.Langue = langue;
            w.volumes.list.push_back({QStringLiteral("/media/cdrom"), QStringLiteral("CD")});
            w.volumes.notReady.insert(QStringLiteral("/media/cdrom"));
            w.form->Drive2->refresh();
            w.form->Dir2->setPath("/tmp");
            w.form->Drive2->setDrive(QStringLiteral("/media/cdrom"));
            QCOMPARE(w.messages.boxes.size(), std::size_t(1));
            QCOMPARE(w.messages.boxes[0].text, langue ? QStringLiteral("Périphérique indisponible")
                                                      : QStringLiteral("Device unavailable"));
            QCOMPARE(w.messages.boxes[0].style, int(kStyleCritical));
            QCOMPARE(w.form->Drive2->drive(), QStringLiteral("/"));
            QCOMPARE(w.form->Dir2->path(), QByteArray("/"));
        }
    }

    void timerRunsEveryIntervalAndNeverDuringARun()
    {
        // An empty source: every run fails with "No file found", told on the icon, not in a box.
        QTemporaryDir tree;
        touch(tree.path() + QStringLiteral("/src/cover.jpg"));
        Window w;
        w.settings.AutoUpdate = true;
        w.settings.AutoUpdateTime = 3;
        w.form->Dir1->setPath(bytes(tree.path() + QStringLiteral("/src")));
        w.form->Dir2->setPath(bytes(tree.path()));
        for (int tick = 0; tick < 7; ++tick)
            w.form->Timer1_Timer();
        QCOMPARE(w.tray.calls.filter(QRegularExpression(QStringLiteral("^state "))).size(), 2);
        QCOMPARE(w.form->MinuteCount, 1);
        QVERIFY(w.messages.boxes.empty());

        // A tick while a run started by the button shows its box is counted but starts no run.
        w.settings.AutoUpdate = false;
        w.form->MinuteCount = 2;
        int nested = 0;
        w.messages.whileOpen = [&] {
            if (++nested == 1)
                w.form->Timer1_Timer();
        };
        w.form->Command1->click();
        QCOMPARE(nested, 1);
        QCOMPARE(w.messages.boxes.size(), std::size_t(1));
        QCOMPARE(w.tray.calls.filter(QRegularExpression(QStringLiteral("^state "))).size(), 2);
    }

    void anAutomaticRunThatFailsBlocksNothingAndIsToldOnTheIconOnce()
    {
        QTemporaryDir tree;
        touch(tree.path() + QStringLiteral("/src/song.mp3"));
        QDir().mkpath(tree.path() + QStringLiteral("/out"));
        Window w;
        w.settings.AutoUpdate = true;
        w.settings.AutoUpdateTime = 1;
        w.settings.Langue = 0;
        w.form->Dir1->setPath(bytes(tree.path() + QStringLiteral("/src")));
        w.form->Dir2->setPath(bytes(tree.path() + QStringLiteral("/out")));
        w.form->Timer1_Timer();
        QVERIFY(QFile::exists(tree.path() + QStringLiteral("/out/audio.txt")));
        // The target taken away: each tick tries again, none shows a box, one notification.
        QDir(tree.path() + QStringLiteral("/out")).removeRecursively();
        w.form->Timer1_Timer();
        w.form->Timer1_Timer();
        QVERIFY(w.messages.boxes.empty());
        const QStringList failures = w.tray.calls.filter(QStringLiteral("failure "));
        QCOMPARE(failures.size(), 1);
        QVERIFY(failures[0].contains(QStringLiteral("could not be written")));
        QVERIFY(failures[0].contains(tree.path() + QStringLiteral("/out")));
        QVERIFY(w.tray.calls.last().startsWith(QStringLiteral("state Lystora")));
        QVERIFY(w.tray.calls.last().contains(QStringLiteral("could not be written")));
        // Back: the next tick writes it, said once, and the icon is the program's again.
        QDir().mkpath(tree.path() + QStringLiteral("/out"));
        w.form->Timer1_Timer();
        QVERIFY(QFile::exists(tree.path() + QStringLiteral("/out/audio.txt")));
        QCOMPARE(w.tray.calls.filter(QStringLiteral("notify ")).size(), 1);
        QVERIFY(w.tray.calls.last().contains(QStringLiteral("Last list made at ")));
        QVERIFY(!w.tray.calls.last().contains(QStringLiteral("could not")));
        QVERIFY(w.messages.boxes.empty());
        // A page there of someone else's making: kept, told on the icon, never asked about.
        w.settings.AlsoPage = true;
        touch(tree.path() + QStringLiteral("/out/index.html"), "<p>mine</p>");
        w.form->Timer1_Timer();
        QCOMPARE(read(tree.path() + QStringLiteral("/out/index.html")), QByteArray("<p>mine</p>"));
        QVERIFY(w.messages.boxes.empty());
        QVERIFY(w.tray.calls.last().contains(QStringLiteral("not made by Lystora")));
    }

    void aBoxBelongsToTheDialogItAnswersAndIsAsWideAsItsTitle()
    {
        QWidget main;
        QtMessageBoxes boxes(&main);
        QDialog dialog(&main);
        dialog.open();
        QWidget *owner = nullptr;
        int width = 0;
        QTimer::singleShot(0, [&] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                owner = box->parentWidget();
                width = box->width();
                box->accept();
            }
        });
        // A one-letter text: the box is still as wide as its title.
        const QString title = QStringLiteral("LYA v1.52.1016");
        boxes.MsgBox(QStringLiteral("x"), kStyleExclamation, title);
        QCOMPARE(owner, &dialog);
        QVERIFY(width > QFontMetrics(QApplication::font()).horizontalAdvance(title) + 64);
    }

    void aRunAnswersTheWindowAndEscapeOrTheCloseBoxStopsIt()
    {
        QTemporaryDir tree;
        for (int i = 0; i < 300; ++i)
            touch(tree.path() + QStringLiteral("/src/%1/song.mp3").arg(i));
        touch(tree.path() + QStringLiteral("/src/root.mp3"));
        touch(tree.path() + QStringLiteral("/out/audio.txt"), "OLD");
        for (const bool byClosing : {false, true}) {
            Window w;
            w.settings.AutoUpdate = true; // no question
            w.settings.ListingType = 2;
            w.settings.Langue = 1;
            w.form->show();
            w.form->Dir1->setPath(bytes(tree.path() + QStringLiteral("/src")));
            w.form->Dir2->setPath(bytes(tree.path() + QStringLiteral("/out")));
            QString during;
            int filesShown = -1; // every folder of the walk holds one file
            // Handled from inside the run, as the user's key or click would be.
            QTimer::singleShot(0, w.form, [&] {
                during = w.form->Command1->text();
                if (w.form->File1->path() == w.form->Dir1->path())
                    filesShown = w.form->File1->shownCount();
                if (byClosing)
                    w.form->close();
                else
                    QTest::keyClick(w.form->Dir1, Qt::Key_Escape);
            });
            w.form->Command1->click();
            QCOMPARE(during, QStringLiteral("Arrêter (Échap)"));
            QCOMPARE(filesShown, 1);
            QCOMPARE(read(tree.path() + QStringLiteral("/out/audio.txt")), QByteArray("OLD"));
            QCOMPARE(
                QDir(tree.path() + QStringLiteral("/out")).entryList(QDir::Files | QDir::Hidden),
                QStringList({"audio.txt"}));
            QVERIFY(w.messages.boxes.empty());
            QCOMPARE(w.form->Command1->text(), QStringLiteral("Faire la liste !"));
            QVERIFY(w.form->Command1->isEnabled());
            // Closed once the run has stopped, not before.
            QTRY_COMPARE(w.form->isVisible(), !byClosing);
        }
    }

    void aDiskMountedLaterIsOfferedAndOneUnmountedIsLeftAndSaid()
    {
        QTemporaryDir tree;
        QDir().mkpath(tree.path() + QStringLiteral("/usb/Album"));
        Window w;
        const QString usb = tree.path() + QStringLiteral("/usb");
        w.volumes.list.push_back({usb, QStringLiteral("STICK")});
        w.volumes.onChange();
        QVERIFY(w.form->Drive1->findData(usb) >= 0 && w.form->Drive2->findData(usb) >= 0);
        w.form->Drive1->setDrive(usb);
        w.form->Dir1->setPath(bytes(usb + QStringLiteral("/Album")));
        w.volumes.list.pop_back(); // unmounted; its mount point stays
        w.volumes.onChange();
        QCOMPARE(w.form->Drive1->drive(), QStringLiteral("/"));
        QCOMPARE(w.form->Dir1->path(), QByteArray("/"));
        QCOMPARE(w.form->StatusBar1->currentMessage(),
                 usb + QStringLiteral(" is no longer mounted"));
    }

    void shellIsGivenTheExactFiles()
    {
        QTemporaryDir tree;
        touch(tree.path() + QStringLiteral("/src/song.mp3"));
        Window w;
        w.form->Dir1->setPath(bytes(tree.path() + QStringLiteral("/src")));
        QCoreApplication::processEvents();
        w.form->File1->selectRow(0);
        w.form->File1_DblClick();
        w.form->mnuVelk_Click();
        QCOMPARE(w.shell.calls,
                 QStringList({QStringLiteral("|") + tree.path() + QStringLiteral("/src/song.mp3||"),
                              QStringLiteral("|http://www.korvane.net/velk/||")}));

        // The help page: the current directory's, else the one installed beside the program.
        const QString before = QDir::currentPath();
        QDir::setCurrent(tree.path());
        QCOMPARE(w.form->helpPagePath(),
                 QCoreApplication::applicationDirPath() + QStringLiteral("/lya_v1.52.htm"));
        touch(tree.path() + QStringLiteral("/lya_v1.52.htm"));
        QCOMPARE(w.form->helpPagePath(), tree.path() + QStringLiteral("/lya_v1.52.htm"));
        QDir::setCurrent(before);

        // The finished list, opened once it is made, at a root and elsewhere.
        w.settings.RunNote = true;
        w.form->Dir2->setPath(bytes(tree.path()));
        w.form->Command1_Click();
        QCOMPARE(w.shell.calls.last(),
                 QStringLiteral("open|audio.txt|0|") + tree.path() + QLatin1Char('/'));
        w.settings.AlsoPage = true; // and the page beside it
        w.form->Command1_Click();
        QCOMPARE(
            w.shell.calls.mid(w.shell.calls.size() - 2),
            QStringList({QStringLiteral("open|audio.txt|0|") + tree.path() + QLatin1Char('/'),
                         QStringLiteral("open|index.html|0|") + tree.path() + QLatin1Char('/')}));
        w.settings.AlsoPage = false;
        // From the menu afterwards: the page rather than the list, and the target folder.
        w.form->mnuOpenList->trigger();
        w.form->mnuOpenTarget->trigger();
        QCOMPARE(w.shell.calls.mid(w.shell.calls.size() - 2),
                 QStringList({QLatin1Char('|') + tree.path() + QStringLiteral("/index.html||"),
                              QLatin1Char('|') + tree.path() + QStringLiteral("||")}));

        // A base URL without its "/": the list keeps it, the status bar says so.
        w.settings.RunNote = false;
        w.settings.DownAllow = true;
        w.settings.BaseUrl = QStringLiteral("http://host/music");
        w.form->Command1_Click();
        QVERIFY(w.form->StatusBar1->findChild<QLabel *>()->text().contains(
            QStringLiteral("http://host/music/")));
    }
};

QTEST_MAIN(Form1Test)
#include "form1_test.moc"
