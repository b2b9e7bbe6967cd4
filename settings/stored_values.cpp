#include "settings/stored_values.h"

#include "platform/path_kind.h"

#include <QFile>

bool storedYes(const QString &text)
{
    return text == QLatin1String("Oui");
}

bool storedNotNo(const QString &text)
{
    return text != QLatin1String("Non");
}

QString yesNoText(bool yes)
{
    return yes ? QStringLiteral("Oui") : QStringLiteral("Non");
}

int storedLanguage(const QString &text)
{
    return text == QLatin1String("0") ? 0 : 1;
}

int storedListingType(const QString &text)
{
    if (text.isEmpty())
        return 0;
    bool number = false;
    const int type = text.toInt(&number);
    return number && type >= 0 && type <= 2 ? type : 2;
}

bool isValidInterval(const QString &text)
{
    bool number = false;
    const int minutes = text.toInt(&number);
    return number && minutes >= 1 && minutes <= 999;
}

int storedInterval(const QString &text)
{
    return isValidInterval(text) ? text.toInt() : 60;
}

QString storedPattern(const QString &text)
{
    return text.isEmpty() ? QStringLiteral("*.mp3") : text;
}

QString switchExtension(const QString &name, bool html)
{
    if (name.isEmpty())
        return name;
    if (html && (name.endsWith(QLatin1String(".htm"), Qt::CaseInsensitive) ||
                 name.endsWith(QLatin1String(".html"), Qt::CaseInsensitive)))
        return name;
    const QString extension = html ? QStringLiteral("htm") : QStringLiteral("txt");
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot < 0)
        return name + QLatin1Char('.') + extension;
    return name.left(dot + 1) + extension;
}

QString storedFileName(const QString &text, bool html)
{
    return switchExtension(text.isEmpty() ? QStringLiteral("audio.txt") : text, html);
}

QByteArray storedDirectory(const QString &text)
{
    const QByteArray path = QFile::encodeName(text);
    return path.startsWith('/') ? nearestDirectory(path) : QByteArray("/");
}

QByteArray nearestDirectory(QByteArray path)
{
    while (path.size() > 1 && path.endsWith('/'))
        path.chop(1);
    while (path.size() > 1 && pathKind(path) != PathKind::Directory) {
        const qsizetype slash = path.lastIndexOf('/');
        path.truncate(slash > 0 ? slash : 1);
    }
    return path;
}

QString directoryText(const QByteArray &path)
{
    const QString text = QFile::decodeName(path);
    return text.endsWith(QLatin1Char('/')) ? text : text + QLatin1Char('/');
}
