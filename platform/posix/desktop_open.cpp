#include "platform/desktop_open.h"

#include <QDesktopServices>
#include <QUrl>

void openWithAssociatedProgram(const QString &fileOrAddress)
{
    const QUrl url = fileOrAddress.contains(QLatin1String("://"))
                         ? QUrl(fileOrAddress)
                         : QUrl::fromLocalFile(fileOrAddress);
    QDesktopServices::openUrl(url);
}
