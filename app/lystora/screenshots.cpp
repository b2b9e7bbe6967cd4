#include "screenshots.h"

#include "ui/main_window/form1.h"

#include <QApplication>
#include <QDir>
#include <QPixmap>

namespace {

int save(QWidget &window, const QString &dir, const QString &name)
{
    QApplication::processEvents();
    return window.grab().save(dir + QLatin1Char('/') + name + QStringLiteral(".png")) ? 0 : 1;
}

} // namespace

int takeScreenshots(Form1 &form, const QString &dir)
{
    QDir().mkpath(dir);
    return save(form, dir, QStringLiteral("main-window"));
}
