#include "cli_options.h"

#include "cli_texts.h"
#include "engine/fs_lists.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFile>

namespace {

QByteArray absoluteDir(const QString &path)
{
    return normalizedDirPath(
        QFile::encodeName(QDir::cleanPath(QDir::current().absoluteFilePath(path))));
}

} // namespace

CliOptions parseCommandLine(const QStringList &arguments, int langue)
{
    CliOptions options;
    QCommandLineParser parser;
    const QCommandLineOption type({QStringLiteral("t"), QStringLiteral("type")}, QString(),
                                  QStringLiteral("type"));
    const QCommandLineOption pattern({QStringLiteral("p"), QStringLiteral("pattern")}, QString(),
                                     QStringLiteral("list"));
    const QCommandLineOption ext({QStringLiteral("e"), QStringLiteral("ext")}, QString());
    const QCommandLineOption html(QStringLiteral("html"), QString());
    const QCommandLineOption title(QStringLiteral("title"), QString(), QStringLiteral("text"));
    const QCommandLineOption baseUrl(QStringLiteral("base-url"), QString(), QStringLiteral("url"));
    const QCommandLineOption time(QStringLiteral("time"), QString());
    const QCommandLineOption listLang(QStringLiteral("list-lang"), QString(),
                                      QStringLiteral("lang"));
    const QCommandLineOption force({QStringLiteral("f"), QStringLiteral("force")}, QString());
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QString());
    const QCommandLineOption version(QStringLiteral("version"), QString());
    parser.addOptions(
        {type, pattern, ext, html, title, baseUrl, time, listLang, force, help, version});

    if (!parser.parse(arguments)) {
        options.error = parser.errorText();
        return options;
    }
    options.help = parser.isSet(help);
    options.version = parser.isSet(version);
    if (options.help || options.version)
        return options;

    ListingSettings &s = options.settings;
    s.Langue = langue;
    s.FileLangue = 1;
    if (parser.isSet(type)) {
        const QString value = parser.value(type);
        if (value != QLatin1String("0") && value != QLatin1String("1") &&
            value != QLatin1String("2")) {
            options.error = cliText(CliText::BadType, langue).arg(value);
            return options;
        }
        s.ListingType = value.toInt();
    }
    if (parser.isSet(listLang)) {
        const QString value = parser.value(listLang);
        if (value != QLatin1String("en") && value != QLatin1String("fr")) {
            options.error = cliText(CliText::BadListLang, langue).arg(value);
            return options;
        }
        s.FileLangue = value == QLatin1String("fr") ? 1 : 0;
    }
    if (parser.isSet(pattern))
        options.pattern = parser.value(pattern);
    s.IncExt = parser.isSet(ext);
    s.HTML = parser.isSet(html);
    s.TitleHTML = parser.value(title);
    s.DownAllow = parser.isSet(baseUrl);
    s.BaseUrl = parser.value(baseUrl);
    s.ShowTime = parser.isSet(time);
    // A replacement nobody is asked about is what automatic updating does, with no message at
    // the end.
    s.AutoUpdate = parser.isSet(force);

    const QStringList paths = parser.positionalArguments();
    if (paths.size() != 2) {
        options.error = cliText(CliText::NeedTwoPaths, langue);
        return options;
    }
    options.sourceDir = absoluteDir(paths[0]);
    const QString target = paths[1];
    const qsizetype slash = target.lastIndexOf(QLatin1Char('/'));
    options.targetDir = absoluteDir(slash < 0    ? QStringLiteral(".")
                                    : slash == 0 ? QStringLiteral("/")
                                                 : target.left(slash));
    options.targetName = target.mid(slash + 1);
    return options;
}
