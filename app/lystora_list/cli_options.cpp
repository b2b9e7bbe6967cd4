#include "cli_options.h"

#include "cli_texts.h"
#include "engine/fs_lists.h"
#include "platform/dir_scan.h"
#include "platform/lossless_text.h"
#include "settings/registry.h"
#include "settings/stored_values.h"

#include <QCommandLineParser>
#include <QDir>

namespace {

// The path's own bytes, made absolute and clean: an old collection's "caf\xE9" stays itself.
QByteArray absoluteDir(const QByteArray &path)
{
    const QByteArray absolute = path.startsWith('/') ? path : currentDirectory() + '/' + path;
    return normalizedDirPath(losslessBytes(QDir::cleanPath(losslessText(absolute))));
}

} // namespace

CliOptions parseCommandLine(const QStringList &arguments, int langue, Registry &store)
{
    CliOptions options;
    QCommandLineParser parser;
    const auto option = [](const char *shortName, const char *longName, const char *value) {
        QStringList names;
        if (shortName)
            names << QString::fromLatin1(shortName);
        names << QString::fromLatin1(longName);
        return value ? QCommandLineOption(names, QString(), QString::fromLatin1(value))
                     : QCommandLineOption(names);
    };
    const QCommandLineOption type = option("t", "type", "type");
    const QCommandLineOption pattern = option("p", "pattern", "list");
    const QCommandLineOption ext = option("e", "ext", nullptr);
    const QCommandLineOption noExt = option(nullptr, "no-ext", nullptr);
    const QCommandLineOption html = option(nullptr, "html", nullptr);
    const QCommandLineOption text = option(nullptr, "text", nullptr);
    const QCommandLineOption title = option(nullptr, "title", "text");
    const QCommandLineOption baseUrl = option(nullptr, "base-url", "url");
    const QCommandLineOption noLinks = option(nullptr, "no-links", nullptr);
    const QCommandLineOption time = option(nullptr, "time", nullptr);
    const QCommandLineOption noTime = option(nullptr, "no-time", nullptr);
    const QCommandLineOption listLang = option(nullptr, "list-lang", "lang");
    const QCommandLineOption force = option("f", "force", nullptr);
    const QCommandLineOption every = option(nullptr, "every", "minutes");
    const QCommandLineOption watch = option(nullptr, "watch", nullptr);
    const QCommandLineOption quiet = option("q", "quiet", nullptr);
    const QCommandLineOption help = option("h", "help", nullptr);
    const QCommandLineOption version = option(nullptr, "version", nullptr);
    parser.addOptions({type, pattern, ext, noExt, html, text, title, baseUrl, noLinks, time, noTime,
                       listLang, force, every, watch, quiet, help, version});

    if (!parser.parse(arguments)) {
        options.error = parser.errorText();
        return options;
    }
    options.help = parser.isSet(help);
    options.version = parser.isSet(version);
    if (options.help || options.version)
        return options;
    for (const auto &pair : {std::make_pair(&ext, &noExt), std::make_pair(&html, &text),
                             std::make_pair(&baseUrl, &noLinks), std::make_pair(&time, &noTime)}) {
        if (parser.isSet(*pair.first) && parser.isSet(*pair.second)) {
            options.error = cliText(CliText::Contradiction, langue)
                                .arg(pair.first->names().last(), pair.second->names().last());
            return options;
        }
    }
    const QStringList paths = parser.positionalArguments();
    if (paths.size() != 0 && paths.size() != 2) {
        options.error = cliText(CliText::NeedTwoPaths, langue);
        return options;
    }

    const auto stored = [&store](const char *name) {
        store.ReadRegValue(kSettingsRoot, SettingsKey(), QString::fromLatin1(name));
        return store.RegValue;
    };
    ListingSettings &s = options.settings;
    s.Langue = langue;
    s.ListingType = storedListingType(stored("ListingType"));
    if (parser.isSet(type)) {
        const QString value = parser.value(type);
        if (value != QLatin1String("0") && value != QLatin1String("1") &&
            value != QLatin1String("2")) {
            options.error = cliText(CliText::BadType, langue).arg(value);
            return options;
        }
        s.ListingType = value.toInt();
    }
    s.FileLangue = storedLanguage(stored("FileLangue"));
    if (parser.isSet(listLang)) {
        const QString value = parser.value(listLang);
        if (value != QLatin1String("en") && value != QLatin1String("fr")) {
            options.error = cliText(CliText::BadListLang, langue).arg(value);
            return options;
        }
        s.FileLangue = value == QLatin1String("fr") ? 1 : 0;
    }
    options.pattern =
        parser.isSet(pattern) ? parser.value(pattern) : storedPattern(stored("Pattern"));
    const auto onOff = [&](const QCommandLineOption &on, const QCommandLineOption &off,
                           const char *name) {
        return parser.isSet(on) || (!parser.isSet(off) && storedYes(stored(name)));
    };
    s.IncExt = onOff(ext, noExt, "IncExt");
    s.HTML = onOff(html, text, "HTML");
    s.ShowTime = onOff(time, noTime, "ShowTime");
    s.TitleHTML = parser.isSet(title) ? parser.value(title) : stored("TitleHTML");
    s.DownAllow = onOff(baseUrl, noLinks, "DownAllow");
    if (s.DownAllow)
        s.BaseUrl = parser.isSet(baseUrl) ? parser.value(baseUrl) : stored("BaseUrl");
    if (parser.isSet(every)) {
        bool number = false;
        options.every = parser.value(every).toInt(&number);
        if (!number || options.every < 1 || options.every > 99999) {
            options.error = cliText(CliText::BadEvery, langue).arg(parser.value(every));
            return options;
        }
    }
    options.watch = parser.isSet(watch);
    options.quiet = parser.isSet(quiet);
    // A replacement nobody is asked about is what automatic updating does, with no message at
    // the end; a list made again and again is always one.
    s.AutoUpdate = parser.isSet(force) || options.every > 0 || options.watch;

    if (paths.size() == 2) {
        options.sourceDir = absoluteDir(losslessBytes(paths[0]));
        const QByteArray target = losslessBytes(paths[1]);
        const qsizetype slash = target.lastIndexOf('/');
        options.targetDir = absoluteDir(slash < 0    ? QByteArray(".")
                                        : slash == 0 ? QByteArray("/")
                                                     : target.left(slash));
        options.targetName = losslessText(target.mid(slash + 1));
        return options;
    }
    // The window's directories, as stored: a server job lists the stored directory or fails,
    // never a parent it would climb to.
    const QString source = stored("SourceDir");
    const QString targetDir = stored("TargetDir");
    if (source.isEmpty() || targetDir.isEmpty()) {
        options.error = cliText(CliText::NothingStored, langue).arg(store.location());
        return options;
    }
    options.sourceDir = normalizedDirPath(losslessBytes(source));
    options.targetDir = normalizedDirPath(losslessBytes(targetDir));
    options.targetName = storedFileName(stored("FileName"), s.HTML);
    return options;
}
