#include "cli_options.h"

#include "cli_texts.h"
#include "engine/fs_lists.h"
#include "engine/list_outputs.h"
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

// A file's path as given: its folder made absolute (absoluteDir), and its name.
QByteArray fileFolder(const QByteArray &path, QByteArray *name)
{
    const qsizetype slash = path.lastIndexOf('/');
    *name = path.mid(slash + 1);
    return absoluteDir(slash < 0    ? QByteArray(".")
                       : slash == 0 ? QByteArray("/")
                                    : path.left(slash));
}

// What TARGET_FILE holds (--format), and the lists made besides it: those the stored settings
// ask for, and those of each --also FORMAT:PATH. The same list asked for twice is made once.
void chooseOutputs(const QString &format, const QStringList &alsos, int langue, CliOptions &options)
{
    const auto add = [&](const OutputRequest &request) {
        for (const OutputRequest &known : options.outputs) {
            if (known.format == request.format && known.path == request.path)
                return;
        }
        options.outputs.push_back(request);
    };
    const QByteArray targetName = losslessBytes(options.targetName);
    OutputFormat primary = OutputFormat::Classic;
    if (!format.isEmpty() && !formatNamed(format, &primary)) {
        options.error = cliText(CliText::BadFormat, langue).arg(format);
        return;
    }
    options.classicList = primary == OutputFormat::Classic;
    if (!options.classicList)
        add({primary, options.toStandardOutput ? QByteArray("-")
                                               : childPath(options.targetDir, targetName)});
    for (const OutputRequest &request :
         chosenOutputs(options.settings, options.targetDir, targetName))
        add(request);
    for (const QString &also : alsos) {
        const qsizetype colon = also.indexOf(QLatin1Char(':'));
        OutputFormat kind = OutputFormat::Classic;
        if (colon <= 0 || colon + 1 == also.size() || !formatNamed(also.left(colon), &kind) ||
            kind == OutputFormat::Classic) {
            options.error = cliText(CliText::BadAlso, langue).arg(also);
            return;
        }
        QByteArray name;
        const QByteArray dir = fileFolder(losslessBytes(also.mid(colon + 1)), &name);
        add({kind, childPath(dir, name)});
    }
}

// Qt's parser speaks English whatever the locale, and a tool without a QCoreApplication has no
// translator to ask: its few messages are told again in the program's language.
QString parserError(const QCommandLineParser &parser, int langue)
{
    const QStringList unknown = parser.unknownOptionNames();
    if (!unknown.isEmpty()) {
        const QString dashes =
            unknown.first().size() == 1 ? QStringLiteral("-") : QStringLiteral("--");
        return cliText(CliText::UnknownOption, langue).arg(dashes + unknown.first());
    }
    const QString english = parser.errorText();
    for (const auto &[start, text] :
         {std::make_pair("Missing value after '", CliText::MissingValue),
          std::make_pair("Unexpected value after '", CliText::UnexpectedValue)}) {
        const QString prefix = QString::fromLatin1(start);
        if (english.startsWith(prefix) && english.endsWith(QLatin1String("'.")))
            return cliText(text, langue).arg(english.mid(prefix.size()).chopped(2));
    }
    return english;
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
    const QCommandLineOption format = option(nullptr, "format", "format");
    const QCommandLineOption also = option(nullptr, "also", "format:path");
    const QCommandLineOption noAlso = option(nullptr, "no-also", nullptr);
    const QCommandLineOption tags = option(nullptr, "tags", nullptr);
    const QCommandLineOption noTags = option(nullptr, "no-tags", nullptr);
    const QCommandLineOption sort = option(nullptr, "sort", "order");
    const QCommandLineOption tagLimits = option(nullptr, "tag-limits", "limits");
    const QCommandLineOption forgetUnreadable = option(nullptr, "forget-unreadable", nullptr);
    const QCommandLineOption dryRun = option(nullptr, "dry-run", nullptr);
    const QCommandLineOption covers = option(nullptr, "covers", nullptr);
    const QCommandLineOption noCovers = option(nullptr, "no-covers", nullptr);
    const QCommandLineOption help = option("h", "help", nullptr);
    const QCommandLineOption version = option(nullptr, "version", nullptr);
    parser.addOptions(
        {type,   pattern, ext,      noExt, html,  text,    title,     baseUrl,          noLinks,
         time,   noTime,  listLang, force, every, watch,   quiet,     format,           also,
         noAlso, tags,    noTags,   sort,  help,  version, tagLimits, forgetUnreadable, dryRun,
         covers, noCovers});

    if (!parser.parse(arguments)) {
        options.error = parserError(parser, langue);
        return options;
    }
    options.help = parser.isSet(help);
    options.version = parser.isSet(version);
    if (options.help || options.version)
        return options;
    for (const auto &pair : {std::make_pair(&ext, &noExt), std::make_pair(&html, &text),
                             std::make_pair(&baseUrl, &noLinks), std::make_pair(&time, &noTime),
                             std::make_pair(&tags, &noTags), std::make_pair(&covers, &noCovers)}) {
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
    options.dryRun = parser.isSet(dryRun);
    // A replacement nobody is asked about is what automatic updating does, with no message at
    // the end; a list made again and again is always one.
    s.AutoUpdate = parser.isSet(force) || options.every > 0 || options.watch;
    options.force = parser.isSet(force);

    // The settings added since the first ones, in a section of their own.
    const auto storedFormats = [&store](const char *name) {
        store.ReadRegValue(kSettingsRoot, FormatsKey(), QString::fromLatin1(name));
        return storedYes(store.RegValue);
    };
    s.ReadTags = parser.isSet(tags) || (!parser.isSet(noTags) && storedFormats("ReadTags"));
    s.NaturalOrder = storedFormats("NaturalOrder");
    if (parser.isSet(sort)) {
        const QString value = parser.value(sort);
        if (value != QLatin1String("name") && value != QLatin1String("natural")) {
            options.error = cliText(CliText::BadSort, langue).arg(value);
            return options;
        }
        s.NaturalOrder = value == QLatin1String("natural");
    }
    // What reading one file's tags may cost: the stored limits, then the command line's.
    store.ReadRegValue(kSettingsRoot, FormatsKey(), QStringLiteral("TagLimits"));
    options.tagBudget.parse(store.RegValue);
    if (parser.isSet(tagLimits) && !options.tagBudget.parse(parser.value(tagLimits))) {
        options.error = cliText(CliText::BadTagLimits, langue).arg(parser.value(tagLimits));
        return options;
    }
    options.forgetUnreadable = parser.isSet(forgetUnreadable);
    // The lists stored besides the classic one go with the stored source and target: a command
    // that names both paths makes only what it names.
    // Pictures on the page unless asked otherwise.
    store.ReadRegValue(kSettingsRoot, FormatsKey(), QStringLiteral("Covers"));
    s.Covers = parser.isSet(covers) || (!parser.isSet(noCovers) && storedNotNo(store.RegValue));
    if (!parser.isSet(noAlso) && paths.isEmpty()) {
        for (const auto &[name, field] :
             {std::make_pair("PageName", &ListingSettings::PageName),
              std::make_pair("PlaylistName", &ListingSettings::PlaylistName),
              std::make_pair("JsonName", &ListingSettings::JsonName)}) {
            store.ReadRegValue(kSettingsRoot, FormatsKey(), QString::fromLatin1(name));
            s.*field = store.RegValue;
        }
        s.AlsoPage = storedFormats("AlsoPage");
        s.AlsoPlaylist = storedFormats("AlsoPlaylist");
        s.AlsoJson = storedFormats("AlsoJson");
    }

    if (paths.size() == 2 && paths[1] == QLatin1String("-")) {
        // One list on the standard output: nothing to replace, nothing to watch it for.
        if (!parser.values(also).isEmpty() || options.watch || options.every > 0) {
            options.error = cliText(CliText::StandardOutputAlone, langue);
            return options;
        }
        options.sourceDir = absoluteDir(losslessBytes(paths[0]));
        options.toStandardOutput = true;
        options.targetName = QStringLiteral("-");
        s.AutoUpdate = true;
    } else if (paths.size() == 2) {
        options.sourceDir = absoluteDir(losslessBytes(paths[0]));
        QByteArray name;
        options.targetDir = fileFolder(losslessBytes(paths[1]), &name);
        options.targetName = losslessText(name);
    } else {
        // The window's directories, as stored: a server job lists the stored directory or
        // fails, never a parent it would climb to.
        const QString source = stored("SourceDir");
        const QString targetDir = stored("TargetDir");
        if (source.isEmpty() || targetDir.isEmpty()) {
            options.error = cliText(CliText::NothingStored, langue).arg(store.location());
            return options;
        }
        // What a first start of the window stores before any folder is chosen: listing the
        // whole file system from a timer is never what was meant.
        options.sourceDir = normalizedDirPath(losslessBytes(source));
        if (options.sourceDir == "/") {
            options.error = cliText(CliText::StoredRoot, langue).arg(store.location());
            return options;
        }
        options.targetDir = normalizedDirPath(losslessBytes(targetDir));
        options.targetName = storedFileName(stored("FileName"), s.HTML);
    }
    chooseOutputs(parser.isSet(format) ? parser.value(format) : QString(), parser.values(also),
                  langue, options);
    return options;
}
