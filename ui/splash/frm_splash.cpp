#include "frm_splash.h"

#include "engine/product.h"
#include "ui/forms.h"
#include "ui/main_window/form1.h"
#include "ui/widgets/design_geometry.h"

#include <QCloseEvent>
#include <QPainter>
#include <QTimer>

static void initSplashResources()
{
    Q_INIT_RESOURCE(splash);
}

frmSplash::frmSplash(Forms &forms) : QWidget(nullptr), forms_(forms)
{
    initSplashResources();
    setWindowFlags(Qt::SplashScreen | Qt::FramelessWindowHint);
    // Never shown on the window itself; a pager or a window manager names it by this.
    setWindowTitle(productName());
    setAttribute(Qt::WA_DeleteOnClose);
    picture_.load(QStringLiteral(":/splash/splash.png"));
    // Exactly the picture's size, whatever the screen.
    setFixedSize(320, 240);
    Timer1 = new QTimer(this);
    Timer1->setInterval(2000);
    Timer1->setSingleShot(true);
    connect(Timer1, &QTimer::timeout, this, &frmSplash::Timer1_Timer);
}

void frmSplash::Form_Load()
{
    centreOnScreen(this);
}

void frmSplash::Timer1_Timer()
{
    // Gone first, so that the main window comes up alone.
    close();
    forms_.form1().CompleteStartup();
}

void frmSplash::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.drawPixmap(0, 0, picture_);
}

void frmSplash::closeEvent(QCloseEvent *event)
{
    // A close request from the desktop (a pager, a window manager) would otherwise end the
    // splash screen and leave the start-up undone, with no window and no icon: it is done now.
    const bool startUpPending = Timer1->isActive() && event->spontaneous();
    Timer1->stop();
    forms_.forget(this);
    event->accept();
    if (startUpPending)
        QTimer::singleShot(0, &forms_.form1(), &Form1::CompleteStartup);
}
