#include "form1.h"

#include "desktop_shell.h"
#include "dir_list_box.h"
#include "drive_list_box.h"
#include "engine/engines.h"
#include "engine/file_output.h"
#include "engine/messages.h"
#include "engine/product.h"
#include "engine/update_timer.h"
#include "file_list_box.h"
#include "platform/interrupt.h"
#include "platform/lossless_text.h"
#include "platform/notification_area.h"
#include "platform/volumes.h"
#include "qt_message_boxes.h"
#include "settings/registry.h"
#include "settings/settings_procedures.h"
#include "settings/stored_values.h"
#include "tags/page_covers.h"
#include "tags/tag_cache.h"
#include "ui/about/form2.h"
#include "ui/forms.h"
#include "ui/language/captions.h"
#include "ui/language/window_texts.h"
#include "ui/options/frm_options.h"
#include "ui/splash/frm_splash.h"
#include "ui/widgets/classic_font.h"
#include "ui/widgets/classic_frame.h"
#include "ui/widgets/design_geometry.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QCursor>
#include <QDir>
#include <QFile>
#include <QFileSystemWatcher>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenuBar>
#include <QPainter>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>

namespace {

// While a run holds the event loop, the window shows the walk this often at most: often enough
// to see it move, rarely enough to cost the run little.
constexpr qint64 kRunRepaintMs = 200;

} // namespace

// Resources of a static library must be named to be linked in.
static void initResources()
{
    Q_INIT_RESOURCE(icons);
}

namespace {

// The program's icon with a red mark: the last automatic run failed.
QIcon failureIcon(const QIcon &icon)
{
    QIcon marked;
    for (const int side : {16, 32}) {
        QPixmap pixmap = icon.pixmap(side, side);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(0xd0, 0x10, 0x10));
        const QRectF mark(side * 0.45, side * 0.45, side * 0.55, side * 0.55);
        painter.drawEllipse(mark);
        painter.setPen(QPen(Qt::white, side / 10.0));
        painter.drawLine(QPointF(mark.center().x(), mark.top() + side * 0.12),
                         QPointF(mark.center().x(), mark.bottom() - side * 0.22));
        painter.drawPoint(QPointF(mark.center().x(), mark.bottom() - side * 0.1));
        marked.addPixmap(pixmap);
    }
    return marked;
}

QIcon programIcon()
{
    initResources();
    QIcon icon;
    icon.addFile(QStringLiteral(":/icons/lystora-16.xpm"), QSize(16, 16));
    icon.addFile(QStringLiteral(":/icons/lystora-32.xpm"), QSize(32, 32));
    return icon;
}

} // namespace

Form1::Form1(Forms &forms)
    : QMainWindow(nullptr), forms_(forms), settings_(*forms.services().settings),
      registry_(*forms.services().registry), volumes_(*forms.services().volumes),
      messages_(forms.services().messages), shell_(forms.services().shell),
      reader_(std::make_unique<FsDirectoryReader>()),
      targetReader_(std::make_unique<FsDirectoryReader>())
{
    if (!messages_) {
        ownMessages_ = std::make_unique<QtMessageBoxes>(this);
        messages_ = ownMessages_.get();
    }
    if (!shell_) {
        ownShell_ = std::make_unique<DesktopShell>();
        shell_ = ownShell_.get();
    }
    setWindowTitle(QStringLiteral("Lystora"));
    setWindowIcon(programIcon());
    // A fixed dialog-style window: a close box, no maximise or minimise button.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFont(classicDialogFont());

    auto *area = new QWidget(this);
    area->setFixedSize(scaled(0, 0, 520, 353).size());
    setCentralWidget(area);
    createMenus();
    createSourceFrame(area);
    createTargetFrame(area);
    createCommandAndStatus(area);
    setFocusOrder();
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    Timer1 = new QTimer(this);
    Timer1->setInterval(60000);
    connect(Timer1, &QTimer::timeout, this, &Form1::Timer1_Timer);

    engines_ = std::make_unique<Engines>(settings_, listingHost(*Dir1, *File1));
    engines_->nameWrittenLists = true;
    QCoreApplication::instance()->installEventFilter(this);
    volumes_.onChange = [this] { volumesChanged(); };
    shownFolders_ = new QFileSystemWatcher(this);
    // Queued: a burst of changes (an album copied in) is read once, after it.
    connect(shownFolders_, &QFileSystemWatcher::directoryChanged, this, &Form1::shownFolderChanged,
            Qt::QueuedConnection);
    popUpMenu = [](QMenu *menu) { menu->exec(QCursor::pos()); };
    forms_.notificationArea().onMessage = [this](int message) { Form_MouseMove(message); };
}

Form1::~Form1()
{
    volumes_.onChange = nullptr;
}

QRect Form1::scaled(int left, int top, int width, int height) const
{
    return designRect(this, left, top, width, height);
}

void Form1::createMenus()
{
    mnuFile = menuBar()->addMenu(designCaption(Caption::Form1_mnuFile));
    mnuHide =
        mnuFile->addAction(designCaption(Caption::Form1_mnuHide), this, &Form1::mnuHide_Click);
    mnuOptions = mnuFile->addAction(QStringLiteral("&Options"), this, &Form1::mnuOptions_Click);
    mnuFile->addSeparator();
    mnuQuit =
        mnuFile->addAction(designCaption(Caption::Form1_mnuQuit), this, &Form1::mnuQuit_Click);

    mnuWhat = menuBar()->addMenu(QStringLiteral("&?"));
    mnuHelp =
        mnuWhat->addAction(designCaption(Caption::Form1_mnuHelp), this, &Form1::mnuHelp_Click);
    mnuAbout =
        mnuWhat->addAction(designCaption(Caption::Form1_mnuAbout), this, &Form1::mnuAbout_Click);
    mnuWhat->addSeparator();
    mnuVelk = mnuWhat->addAction(QStringLiteral("[Velk]"), this, &Form1::mnuVelk_Click);
    createFolderMenus();
}

void Form1::createSourceFrame(QWidget *area)
{
    Frame1 = new ClassicFrame(QStringLiteral("Source"), area);
    Frame1->setGeometry(scaled(8, 8, 329, 313));
    Drive1 = new DriveListBox(volumes_, Frame1);
    Drive1->setGeometry(scaled(8, 16, 153, 21));
    Drive1->onChange = [this] { Drive1_Change(); };
    Dir1 = new DirListBox(*reader_, Frame1);
    Dir1->setGeometry(scaled(8, 40, 153, 261));
    Dir1->onChange = [this] { Dir1_Change(); };
    connect(Dir1, &DirListBox::openFailed, this, &Form1::showUnreadable);
    File1 = new FileListBox(*reader_, Frame1);
    File1->setGeometry(scaled(168, 16, 153, 292));
    File1->setPattern(QStringLiteral("*.mp3"));
    connect(File1, &FileListBox::fileDoubleClicked, this, &Form1::File1_DblClick);
}

void Form1::createTargetFrame(QWidget *area)
{
    Frame2 = new ClassicFrame(designCaption(Caption::Form1_Frame2), area);
    Frame2->setGeometry(scaled(344, 8, 169, 281));
    Drive2 = new DriveListBox(volumes_, Frame2);
    Drive2->setGeometry(scaled(8, 16, 153, 21));
    Drive2->onChange = [this] { Drive2_Change(); };
    Dir2 = new DirListBox(*targetReader_, Frame2);
    Dir2->setGeometry(scaled(8, 40, 153, 216));
    connect(Dir2, &DirListBox::openFailed, this, &Form1::showUnreadable);
    Dir2->onChange = [this] { followShownFolders(); };
    Text4 = new QLineEdit(QStringLiteral("audio.txt"), Frame2);
    Text4->setGeometry(scaled(8, 256, 153, 19));
}

void Form1::createCommandAndStatus(QWidget *area)
{
    Command1 = new QPushButton(designCaption(Caption::Form1_Command1), area);
    Command1->setGeometry(scaled(344, 296, 169, 25));
    connect(Command1, &QPushButton::clicked, this, &Form1::Command1_Click);
    StatusBar1 = new QStatusBar(area);
    StatusBar1->setSizeGripEnabled(false);
    StatusBar1->setGeometry(scaled(0, 328, 520, 25));
    statusText_ = new QLabel(productName(), StatusBar1);
    StatusBar1->addWidget(statusText_, 1);
    lastList_ = new QLabel(StatusBar1);
    StatusBar1->addPermanentWidget(lastList_);
    pendingStatus_ = productName();
}

void Form1::setFocusOrder()
{
    for (QWidget *unfocused : {static_cast<QWidget *>(Frame1), static_cast<QWidget *>(Frame2),
                               static_cast<QWidget *>(StatusBar1)})
        unfocused->setFocusPolicy(Qt::NoFocus);
    QWidget *order[] = {Drive1, Dir1, Command1, File1, Text4, Dir2, Drive2};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i)
        setTabOrder(order[i], order[i + 1]);
}

void Form1::centre()
{
    // Before its first show the window has Qt's default size (640 by 480); its own comes from
    // its layout.
    layout()->activate();
    adjustSize();
    centreOnScreen(this);
}

void Form1::Form_Load()
{
    hide();
    registry_.ReadRegValue(kSettingsRoot, SettingsKey(), QStringLiteral("StartUpMusic"));
    const QString music = QDir::currentPath() + QLatin1Char('/') + welcomeMusicName();
    // Handed over and not waited for: it plays, or not, in the desktop's player. A music that
    // is not there is not handed over: the desktop's opener would complain at every start.
    if (storedNotNo(registry_.RegValue) && QFile::exists(music))
        ShellExecute(QString(), music, QString(), QString());
    registry_.ReadRegValue(kSettingsRoot, SettingsKey(), QStringLiteral("SplashScreen"));
    if (storedNotNo(registry_.RegValue)) {
        frmSplash &splash = forms_.window<frmSplash>();
        splash.show();
        splash.Timer1->start(); // its tick completes the start-up
        return;
    }
    CompleteStartup();
}

void Form1::CompleteStartup()
{
    if (settingsLoaded_ || unloaded_)
        return; // once, and never after the program began to close
    // An end asked for while the splash screen was up, not handled yet (the splash screen's
    // tick came first): the end comes next, and a loaded start-up would be saved over the file.
    if (interruptWaiting())
        return;
    forms_.procedures().LoadStartupFlags();
    forms_.procedures().LoadSettings();
    settingsLoaded_ = true;
    // Labelled by the load's language switch, the about box is not to stay in memory.
    forms_.unload<Form2>();
    show();
    const StoreProblem problem = registry_.problem();
    if (problem.kind != StoreProblem::None)
        MsgBox(registry_.location() + QStringLiteral("\r\n") +
                   storeProblemText(problem, settings_.Langue),
               kStyleExclamation, shortProductName());
}

void Form1::installTrayIcon()
{
    forms_.notificationArea().add(windowIcon(), productName());
}

void Form1::Form_MouseMove(int message)
{
    TrayMessage = message;
    // A message that comes while the icon's menu is open is dropped, not queued: no second menu
    // and no restore can start under the first.
    if (InTrayEvent)
        return;
    InTrayEvent = true;
    if (message == kIconLeftButtonUp) {
        comeForward();
    } else if (message == kIconRightButtonUp) {
        popUpMenu(mnuFile);
    }
    InTrayEvent = false;
}

void Form1::comeForward()
{
    mnuHide->setEnabled(true);
    showNormal();
    raise();
    activateWindow();
}

void Form1::applyCaptions(int langue)
{
    mnuFile->setTitle(caption(Caption::Form1_mnuFile, langue));
    mnuHide->setText(caption(Caption::Form1_mnuHide, langue));
    mnuQuit->setText(caption(Caption::Form1_mnuQuit, langue));
    mnuHelp->setText(caption(Caption::Form1_mnuHelp, langue));
    mnuAbout->setText(caption(Caption::Form1_mnuAbout, langue));
    Frame2->setTitle(caption(Caption::Form1_Frame2, langue));
    Command1->setText(caption(Caption::Form1_Command1, langue));
    applyFolderCaptions(langue);
    if (!lastListTime_.isEmpty())
        lastList_->setText(windowText(WindowText::LastListMade, langue).arg(lastListTime_));
}

void Form1::Command1_Click()
{
    if (engines_->running()) {
        cancel_ = true; // the button is "Stop" meanwhile
        return;
    }
    cancel_ = false;
    // The lists the settings ask for besides the classic one, beside it.
    engines_->outputs = chosenOutputs(settings_, Dir2->path(), losslessBytes(Text4->text()));
    // What reading one file's tags (or a cover) may cost, as lystora-list reads it from the
    // settings.
    TagBudget budget;
    registry_.ReadRegValue(kSettingsRoot, FormatsKey(), QStringLiteral("TagLimits"));
    budget.parse(registry_.RegValue);
    if (settings_.ReadTags && !tags_)
        tags_ = std::make_unique<TagCache>(budget);
    engines_->trackInfo = settings_.ReadTags ? tags_.get() : nullptr;
    const CoverSources covers =
        settings_.Covers ? PageCovers::sources(budget, false) : CoverSources();
    engines_->covers = &covers;
    engines_->Command1_Click();
    engines_->covers = nullptr;
    Command1->setText(caption(Caption::Form1_Command1, settings_.Langue));
    if (closeAfterRun_) {
        closeAfterRun_ = false;
        QTimer::singleShot(0, this, [this] { close(); });
    }
    if (!automaticRun_)
        runEnded(false);
    // Links made under a base URL without its "/" are wrong in the classic list: said once a run.
    if (baseUrlLacksSlash(settings_))
        pendingStatus_ = windowText(WindowText::BaseUrlSlash, settings_.Langue)
                             .arg(settings_.BaseUrl, linkBaseUrl(settings_.BaseUrl));
    statusText_->setText(pendingStatus_);
}

void Form1::Dir1_Change()
{
    File1->setPath(Dir1->path());
    followShownFolders();
}

void Form1::followShownFolders()
{
    // A run walks Dir1 through the whole tree: what it shows at the end is followed then.
    if (!shownFolders_ || (engines_ && engines_->running()))
        return;
    reader_->release();
    targetReader_->release();
    const QStringList watched = shownFolders_->directories();
    if (!watched.isEmpty())
        shownFolders_->removePaths(watched);
    shownFolders_->addPaths({losslessText(Dir1->path()), losslessText(Dir2->path())});
}

void Form1::volumesChanged()
{
    if (engines_ && engines_->running())
        return; // a run on a disk gone fails by itself; the lists are redone at the next change
    const std::pair<DriveListBox *, DirListBox *> sides[] = {{Drive1, Dir1}, {Drive2, Dir2}};
    for (const auto &[drive, dir] : sides) {
        const QString chosen = drive->drive();
        drive->refresh(); // the system volume where the chosen one went
        if (drive->drive() == chosen)
            continue;
        // Its mount point may stay, empty: not shown as if it were the disk.
        StatusBar1->showMessage(windowText(WindowText::VolumeGone, settings_.Langue).arg(chosen),
                                10000);
        dir->setPath(QFile::encodeName(drive->drive()));
    }
    shownFolderChanged();
}

void Form1::shownFolderChanged()
{
    if (engines_ && engines_->running())
        return;
    for (DirListBox *dir : {Dir1, Dir2}) {
        // Gone: the nearest folder above it that is still there.
        if (!dir->path().isEmpty())
            dir->setPath(nearestDirectory(dir->path())); // read again, whatever changed in it
    }
    File1->setPath(Dir1->path());
    followShownFolders();
}

void Form1::Drive1_Change()
{
    driveChanged(Drive1, Dir1);
}

void Form1::Drive2_Change()
{
    driveChanged(Drive2, Dir2);
}

void Form1::driveChanged(DriveListBox *drive, DirListBox *dir)
{
    const QString root = drive->drive();
    if (!volumes_.isReady(root)) {
        MsgBox(windowText(WindowText::DeviceUnavailable, settings_.Langue), kStyleCritical,
               shortProductName());
        drive->setDrive(systemVolume()); // runs this handler again, for the system volume
        return;
    }
    dir->setPath(QFile::encodeName(root));
}

void Form1::showUnreadable(const QByteArray &path, int error)
{
    MsgBox(QFile::decodeName(path) + QStringLiteral("\r\n") +
               messageText(Message::SourceUnreadable, settings_.Langue)
                   .arg(reasonText(error, settings_.Langue)),
           kStyleCritical, shortProductName());
}

void Form1::File1_DblClick()
{
    const QByteArray name = File1->selectedName();
    if (name.isEmpty())
        return;
    ShellExecute(QString(), QFile::decodeName(childPath(Dir1->path(), name)), QString(), QString());
}

void Form1::mnuAbout_Click()
{
    Form2 &about = forms_.window<Form2>();
    about.show();
    about.raise();
    about.activateWindow();
}

QString Form1::helpPagePath() const
{
    const QString here = QDir::currentPath() + QLatin1Char('/') + helpPageName();
    if (QFile::exists(here))
        return here;
    const QString programDir = QCoreApplication::applicationDirPath();
    for (const QString &installed :
         {programDir + QLatin1Char('/') + helpPageName(),
          programDir + QStringLiteral("/../share/lystora/") + helpPageName()}) {
        if (QFile::exists(installed))
            return QDir::cleanPath(installed);
    }
    return here; // asked for as it is, as nothing better exists
}

void Form1::mnuHelp_Click()
{
    ShellExecute(QString(), helpPagePath(), QString(), QString());
}

void Form1::mnuHide_Click()
{
    // Without a notification-area icon to come back from, hiding would lose the window: it is
    // minimised instead, and stays in reach on the task bar.
    if (!forms_.notificationArea().shown()) {
        showMinimized();
        return;
    }
    hide();
    mnuHide->setEnabled(false);
}

void Form1::mnuOptions_Click()
{
    frmOptions &options = forms_.window<frmOptions>();
    options.show();
    options.raise();
    options.activateWindow();
}

void Form1::mnuQuit_Click()
{
    close();
}

void Form1::mnuVelk_Click()
{
    ShellExecute(QString(), sisterProductPage(), QString(), QString());
}

void Form1::Timer1_Timer()
{
    if (minuteTick(MinuteCount, settings_.AutoUpdateTime, engines_->running())) {
        automaticRun_ = true;
        automaticFailures_.clear();
        Command1_Click();
        automaticRun_ = false;
        MinuteCount = 0;
        runEnded(true);
    }
}

void Form1::Form_QueryUnload()
{
    // Every way out comes here (the menu, the close box, the session's end, a signal); the first
    // does the work.
    if (unloaded_)
        return;
    unloaded_ = true;
    // What an open options dialog shows is saved too, applied or not. Before the start-up load
    // there is nothing to save: the stored file stays exactly as it was.
    if (settingsLoaded_)
        forms_.saveSettings(ending_ ? Forms::SaveFor::Ending : Forms::SaveFor::Closing);
    forms_.notificationArea().remove();
    forms_.unload<Form2>();
    forms_.unload<frmOptions>();
    forms_.unload<frmSplash>();
    // Queued: an end asked for before the event loop runs (a signal handled while the splash
    // screen is being shown, which lets events through) would otherwise be lost, and the
    // program would go on with no window.
    QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit,
                              Qt::QueuedConnection);
}

void Form1::endRequested()
{
    if (ending_ || unloaded_)
        endByInterrupt(pendingInterrupt());
    ending_ = true;
    close();
}

void Form1::saveBeforeAbruptEnd()
{
    ending_ = true;
    Form_QueryUnload();
}

void Form1::closeEvent(QCloseEvent *event)
{
    if (engines_ && engines_->running()) {
        cancel_ = true;
        closeAfterRun_ = true;
        event->ignore();
        return;
    }
    Form_QueryUnload();
    event->accept();
}

QByteArray Form1::dir2Path() const
{
    return Dir2->path();
}

QString Form1::drive2Text() const
{
    return Drive2->drive();
}

QString Form1::text4() const
{
    return Text4->text();
}

void Form1::setText4Enabled(bool enabled)
{
    Text4->setEnabled(enabled);
}

void Form1::setCommand1Enabled(bool enabled)
{
    // Taken away for a run, the button stops it instead.
    // The options stay out of reach meanwhile: the run reads them as it goes.
    if (!enabled && engines_ && engines_->running()) {
        Command1->setText(windowText(WindowText::StopRun, settings_.Langue));
        mnuOptions->setEnabled(false);
        return;
    }
    Command1->setEnabled(enabled);
    mnuOptions->setEnabled(true);
}

bool Form1::eventFilter(QObject *watched, QEvent *event)
{
    if (!engines_ || !engines_->running() || !watched->isWidgetType())
        return false;
    auto *widget = static_cast<QWidget *>(watched);
    if (widget->window() != this)
        return false;
    switch (event->type()) {
    case QEvent::KeyPress:
        if (static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape)
            cancel_ = true;
        return widget != Command1 || static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape;
    case QEvent::KeyRelease:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::ContextMenu:
        return widget != Command1;
    default:
        return false;
    }
}

void Form1::setTimer1Enabled(bool enabled)
{
    // Enabling a running timer must not restart its minute.
    if (enabled && !Timer1->isActive())
        Timer1->start();
    else if (!enabled)
        Timer1->stop();
}

int Form1::MsgBox(const QString &text, int style, const QString &title)
{
    if (automaticRun_) {
        // Nobody may be there: a question is answered No (a list of another's making is kept,
        // and said), a failure is told on the icon.
        const bool question = (style & kButtonsMask) == kButtonsYesNo;
        const int icon = style & kIconMask;
        if (question || icon == kIconCritical || icon == kIconExclamation)
            automaticFailures_ << QString(text).replace(QLatin1String("\r\n"), QLatin1String(": "));
        return question ? kAnswerNo : kAnswerOk;
    }
    return messages_->MsgBox(text, style, title);
}

void Form1::runEnded(bool automatic)
{
    followShownFolders();
    const RunOutcome &outcome = engines_->outcome;
    const int langue = settings_.Langue;
    const QString now = QTime::currentTime().toString(QStringLiteral("HH:mm"));
    if (outcome.end == RunEnd::Written || (outcome.failedLists == 0 && !outcome.lists.empty())) {
        lastListTime_ = now;
        lastList_->setText(windowText(WindowText::LastListMade, langue).arg(now));
        rememberFolder(false, Dir1->path());
        rememberFolder(true, Dir2->path());
    }
    // What the visitors see is the page where one is made: opened rather than the list.
    if (!outcome.written.empty()) {
        lastListPath_ = losslessText(outcome.written.front().path);
        for (const OutputRequest &request : engines_->outputs) {
            if (request.format == OutputFormat::Page && outcome.wrote(request.path))
                lastListPath_ = losslessText(request.path);
        }
        mnuOpenList->setEnabled(true);
    }
    const bool failed = automatic && (outcome.end == RunEnd::Failed || outcome.failedLists > 0 ||
                                      !automaticFailures_.isEmpty());
    QString tip = productName();
    if (!lastListTime_.isEmpty())
        tip += QLatin1Char('\n') + windowText(WindowText::LastListMade, langue).arg(lastListTime_);
    // Lists made without tags or pictures because their readers could not start.
    if (!outcome.readerProblem.isEmpty())
        tip += QLatin1Char('\n') + outcome.readerProblem;
    NotificationArea &tray = forms_.notificationArea();
    if (failed) {
        const QString told = windowText(WindowText::AutomaticFailed, langue).arg(now) +
                             QLatin1Char('\n') + automaticFailures_.join(QLatin1Char('\n'));
        tray.setState(failureIcon(windowIcon()), tip + QLatin1Char('\n') + told);
        if (!failing_)
            tray.notify(shortProductName(), told, true);
        failing_ = true;
        return;
    }
    if (!automatic && !failing_)
        return tray.setState(windowIcon(), tip);
    if (failing_ && outcome.end == RunEnd::Written) {
        tray.notify(shortProductName(), windowText(WindowText::AutomaticBack, langue).arg(now),
                    false);
        failing_ = false;
    }
    if (!failing_)
        tray.setState(windowIcon(), tip);
}

void Form1::ShellExecute(const QString &operation, const QString &file, const QString &parameters,
                         const QString &directory)
{
    shell_->ShellExecute(operation, file, parameters, directory);
}

void Form1::setStatusText(const QString &text)
{
    // During a run every file name passes here; the label shows one now and then.
    pendingStatus_ = text;
    if (!engines_ || !engines_->running())
        statusText_->setText(text);
}

QDate Form1::currentDate()
{
    return QDate::currentDate();
}

QTime Form1::currentTime()
{
    return QTime::currentTime();
}

void Form1::runProgress(qint64 filesWritten, const SourceDirList &)
{
    answerDuringRun(windowText(WindowText::RunProgress, settings_.Langue)
                        .arg(filesWritten)
                        .arg(pendingStatus_));
}

void Form1::tagProgress(qint64 read, qint64 asked)
{
    answerDuringRun(windowText(WindowText::TagProgress, settings_.Langue).arg(read).arg(asked));
}

void Form1::answerDuringRun(const QString &status)
{
    // The run holds the event loop: the window shows the walk only when painted from here.
    if (sinceRepaint_.isValid() && sinceRepaint_.elapsed() < kRunRepaintMs)
        return;
    sinceRepaint_.start();
    Dir1->refreshDisplay();
    File1->refreshDisplay();
    statusText_->setText(status);
    if (isVisible())
        centralWidget()->repaint();
    // The window stays the user's: moved, repainted, closed, the run stopped.
    if (!inRunEvents_) {
        inRunEvents_ = true;
        QCoreApplication::processEvents();
        inRunEvents_ = false;
    }
}
