#include "engine/header_footer.h"

#include "engine/bilingual_text.h"
#include "engine/product.h"

namespace {

const QString kCrLf = QStringLiteral("\r\n");

QString twoDigits(int n)
{
    return QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0'));
}

// Month first in both languages: 07-03-1999 is the 3rd of July.
QString dateText(const QDate &date)
{
    return twoDigits(date.month()) + QLatin1Char('-') + twoDigits(date.day()) + QLatin1Char('-') +
           QStringLiteral("%1").arg(date.year(), 4, 10, QLatin1Char('0'));
}

QString timeText(const QTime &time)
{
    return twoDigits(time.hour()) + QLatin1Char(':') + twoDigits(time.minute()) + QLatin1Char(':') +
           twoDigits(time.second());
}

// "Liste générée le 07-03-1999 à 14:05:09 par LYA v1.52.1016", or without date and time.
QString madeByLine(const ListingSettings &settings, const QDate &date, const QTime &time)
{
    const bool french = inFrench(settings.FileLangue);
    if (!settings.ShowTime) {
        return (french ? QStringLiteral("Liste générée par ")
                       : QStringLiteral("List created by ")) +
               shortProductName();
    }
    if (french) {
        return QStringLiteral("Liste générée le ") + dateText(date) + QStringLiteral(" à ") +
               timeText(time) + QStringLiteral(" par ") + shortProductName();
    }
    return QStringLiteral("List created on the ") + dateText(date) + QStringLiteral(" at ") +
           timeText(time) + QStringLiteral(" by ") + shortProductName();
}

} // namespace

QString listHeader(const ListingSettings &settings, const QDate &date, const QTime &time)
{
    const bool french = inFrench(settings.FileLangue);
    const QString madeBy = madeByLine(settings, date, time);
    if (!settings.HTML) {
        const QString frame = french ? QStringLiteral("############") : QStringLiteral("#########");
        const QString middle =
            french ? QStringLiteral("# FICHIERS #") : QStringLiteral("# FILES #");
        return madeBy + kCrLf + kCrLf + frame + kCrLf + middle + kCrLf + frame + kCrLf;
    }
    return QStringLiteral("<html>") + kCrLf + QStringLiteral("<head>") + kCrLf +
           QStringLiteral("<title>") + settings.TitleHTML + QStringLiteral("</title>") + kCrLf +
           QStringLiteral("<meta name=\"GENERATOR\" content=\"") + productName() +
           QStringLiteral("\">") + kCrLf + QStringLiteral("</head>") + kCrLf +
           QStringLiteral("<p align=\"center\">") + kCrLf + QStringLiteral("<big>") + madeBy +
           QStringLiteral("</big>") + kCrLf + QStringLiteral("</p><hr><p align=\"center\"><big>") +
           (french ? QStringLiteral("Fichiers") : QStringLiteral("Files")) +
           QStringLiteral("</big></p><hr><big>");
}

QString listFooter(const ListingSettings &settings)
{
    const bool french = inFrench(settings.FileLangue);
    const QString home = homePageAddress();
    if (!settings.HTML) {
        return kCrLf + kCrLf +
               (french ? QStringLiteral("Téléchargez ") + productName() +
                             QStringLiteral(" à cette adresse: ")
                       : QStringLiteral("Download ") + productName() + QStringLiteral(" at ")) +
               home;
    }
    return QStringLiteral("</p><hr><p align=\"center\">") +
           (french ? QStringLiteral("Téléchargez ") + productName() + QStringLiteral(" sur le ")
                   : QStringLiteral("Download ") + productName() + QStringLiteral(" at ")) +
           QStringLiteral("<a href=\"") + home + QStringLiteral("\">") + home +
           QStringLiteral("</a></p>");
}
