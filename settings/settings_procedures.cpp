#include "settings/settings_procedures.h"

#include "settings/registry.h"
#include "settings/settings_controls.h"
#include "settings/stored_values.h"

#include <QFile>

QString SettingsProcedures::read(const QString &name, const QString &key)
{
    if (defaultsOnly_)
        return QString();
    registry.ReadRegValue(kSettingsRoot, key.isEmpty() ? SettingsKey() : key, name);
    return registry.RegValue;
}

void SettingsProcedures::write(const QString &name, const QString &text, const QString &key)
{
    const int error =
        registry.WriteRegValue(kSettingsRoot, key.isEmpty() ? SettingsKey() : key, name, text);
    if (error != 0 && result_.storeError == 0)
        result_.storeError = error;
}

void SettingsProcedures::LoadStartupFlags()
{
    settings.SplashScreen = storedNotNo(read(QStringLiteral("SplashScreen")));
    controls.setCheck(OptionsCheck::Check7, settings.SplashScreen ? 1 : 0);
    settings.StartUpMusic = storedNotNo(read(QStringLiteral("StartUpMusic")));
    controls.setCheck(OptionsCheck::Check6, settings.StartUpMusic ? 1 : 0);
}

// The drive list gets the volume holding the stored directory, the directory list the directory
// itself, or its nearest existing ancestor. False when the volume cannot be read.
bool SettingsProcedures::loadDirectory(const QString &name, Side which)
{
    const QString stored = read(name);
    const QByteArray wanted = QFile::encodeName(stored.isEmpty() ? QStringLiteral("/") : stored);
    if (!controls.setDrive(which, controls.volumeHolding(wanted)) && !defaultsOnly_)
        return false;
    controls.setDirPath(which, storedDirectory(stored));
    return true;
}

// Steps 3 to 15 of the load; false at a failure, the steps after it not done.
bool SettingsProcedures::loadFromSourceDirectory()
{
    if (!loadDirectory(QStringLiteral("SourceDir"), Side::Source) ||
        !loadDirectory(QStringLiteral("TargetDir"), Side::Target))
        return false;

    const QString fileName = read(QStringLiteral("FileName"));
    controls.setFileName(fileName.isEmpty() ? QStringLiteral("audio.txt") : fileName);

    settings.ShowTime = storedYes(read(QStringLiteral("ShowTime")));
    controls.setCheck(OptionsCheck::Check1, settings.ShowTime ? 1 : 0);
    settings.RunNote = storedYes(read(QStringLiteral("RunNote")));
    controls.setCheck(OptionsCheck::Check2, settings.RunNote ? 1 : 0);

    settings.HTML = storedYes(read(QStringLiteral("HTML")));
    controls.setCheck(OptionsCheck::Check3, settings.HTML ? 1 : 0);
    settings.TitleHTML = read(QStringLiteral("TitleHTML"));
    controls.setText(OptionsText::Text1, settings.TitleHTML);
    controls.setFileName(switchExtension(controls.fileName(), settings.HTML));

    settings.DownAllow = storedYes(read(QStringLiteral("DownAllow")));
    controls.setCheck(OptionsCheck::Check5, settings.DownAllow ? 1 : 0);
    if (settings.DownAllow) {
        settings.BaseUrl = read(QStringLiteral("BaseUrl"));
        controls.setText(OptionsText::Text3, settings.BaseUrl);
    }

    settings.AutoUpdate = storedYes(read(QStringLiteral("AutoUpdate")));
    controls.setCheck(OptionsCheck::Check4, settings.AutoUpdate ? 1 : 0);
    if (settings.AutoUpdate) {
        // With no usable interval no automatic run would ever come: the box's own 60 stands in.
        settings.AutoUpdateTime = storedInterval(read(QStringLiteral("AutoUpdateTime")));
        controls.setText(OptionsText::Text2, QString::number(settings.AutoUpdateTime));
    }

    settings.ListingType = storedListingType(read(QStringLiteral("ListingType")));
    controls.selectOption(OptionArray::FileOption, settings.ListingType);
    settings.FileLangue = storedLanguage(read(QStringLiteral("FileLangue")));
    controls.selectOption(OptionArray::FileLg, settings.FileLangue);
    settings.Langue = storedLanguage(read(QStringLiteral("Langue")));
    controls.selectOption(OptionArray::Language, settings.Langue);

    settings.IncExt = storedYes(read(QStringLiteral("IncExt")));
    controls.setCheck(OptionsCheck::Check8, settings.IncExt ? 1 : 0);

    // The dialog shows the pattern the file list uses, so that a first Apply keeps it.
    const QString pattern = storedPattern(read(QStringLiteral("Pattern")));
    controls.setFilePattern(pattern);
    controls.setText(OptionsText::Text4, pattern);
    loadFormats();
    return true;
}

namespace {

// The settings of the [Lystora] section, each with the box that shows it.
struct FormatSetting {
    const char *name;
    bool ListingSettings::*field;
    OptionsCheck box;
};
const FormatSetting kFormats[] = {
    {"AlsoPage", &ListingSettings::AlsoPage, OptionsCheck::Check10},
    {"AlsoPlaylist", &ListingSettings::AlsoPlaylist, OptionsCheck::Check11},
    {"AlsoJson", &ListingSettings::AlsoJson, OptionsCheck::Check12},
    {"ReadTags", &ListingSettings::ReadTags, OptionsCheck::Check13},
    {"NaturalOrder", &ListingSettings::NaturalOrder, OptionsCheck::Check14},
    {"Covers", &ListingSettings::Covers, OptionsCheck::Check15},
};

// The names of the lists made besides, each with the box that shows it.
struct FormatName {
    const char *name;
    QString ListingSettings::*field;
    OptionsText box;
};
const FormatName kNames[] = {
    {"PageName", &ListingSettings::PageName, OptionsText::Text5},
    {"PlaylistName", &ListingSettings::PlaylistName, OptionsText::Text6},
    {"JsonName", &ListingSettings::JsonName, OptionsText::Text7},
};

} // namespace

void SettingsProcedures::loadFormats()
{
    for (const FormatSetting &format : kFormats) {
        const QString stored = read(QString::fromLatin1(format.name), FormatsKey());
        // Covers are shown unless asked otherwise; the rest is off until ticked.
        settings.*format.field =
            format.field == &ListingSettings::Covers ? storedNotNo(stored) : storedYes(stored);
        controls.setCheck(format.box, settings.*format.field ? 1 : 0);
    }
    for (const FormatName &name : kNames) {
        settings.*name.field = read(QString::fromLatin1(name.name), FormatsKey());
        controls.setText(name.box, settings.*name.field);
    }
}

void SettingsProcedures::saveFormats()
{
    for (const FormatSetting &format : kFormats) {
        settings.*format.field = controls.check(format.box) == 1;
        write(QString::fromLatin1(format.name), yesNoText(settings.*format.field), FormatsKey());
    }
    for (const FormatName &name : kNames) {
        settings.*name.field = controls.text(name.box).trimmed();
        write(QString::fromLatin1(name.name), settings.*name.field, FormatsKey());
    }
}

void SettingsProcedures::LoadSettings()
{
    defaultsOnly_ = false;
    controls.centreMainWindow();
    controls.installTrayIcon();
    if (loadFromSourceDirectory())
        return;
    // A volume that cannot be read: both directories go back to the system volume's root, and
    // the reading starts again. Should it fail again, what is left takes its defaults.
    write(QStringLiteral("SourceDir"), QStringLiteral("/"));
    write(QStringLiteral("TargetDir"), QStringLiteral("/"));
    if (loadFromSourceDirectory())
        return;
    defaultsOnly_ = true;
    loadFromSourceDirectory();
    defaultsOnly_ = false;
}

SaveResult SettingsProcedures::SaveSettings()
{
    result_ = SaveResult();
    write(QStringLiteral("SourceDir"), directoryText(controls.dirPath(Side::Source)));
    write(QStringLiteral("TargetDir"), directoryText(controls.dirPath(Side::Target)));

    settings.ListingType = controls.optionSelected(OptionArray::FileOption, 0)   ? 0
                           : controls.optionSelected(OptionArray::FileOption, 1) ? 1
                                                                                 : 2;
    write(QStringLiteral("ListingType"), QString::number(settings.ListingType));

    const auto saveCheck = [this](OptionsCheck box, bool &field, const char *name) {
        field = controls.check(box) == 1;
        write(QString::fromLatin1(name), yesNoText(field));
    };
    saveCheck(OptionsCheck::Check6, settings.StartUpMusic, "StartUpMusic");
    saveCheck(OptionsCheck::Check7, settings.SplashScreen, "SplashScreen");
    saveCheck(OptionsCheck::Check1, settings.ShowTime, "ShowTime");
    saveCheck(OptionsCheck::Check2, settings.RunNote, "RunNote");

    write(QStringLiteral("FileName"), controls.fileName());

    settings.Langue = controls.optionSelected(OptionArray::Language, 0) ? 0 : 1;
    write(QStringLiteral("Langue"), QString::number(settings.Langue));
    settings.FileLangue = controls.optionSelected(OptionArray::FileLg, 0) ? 0 : 1;
    write(QStringLiteral("FileLangue"), QString::number(settings.FileLangue));
    write(QStringLiteral("FileLg"), QString::number(settings.FileLangue));

    saveCheck(OptionsCheck::Check5, settings.DownAllow, "DownAllow");
    if (settings.DownAllow) {
        settings.BaseUrl = controls.text(OptionsText::Text3);
        write(QStringLiteral("BaseUrl"), settings.BaseUrl);
    }

    saveCheck(OptionsCheck::Check4, settings.AutoUpdate, "AutoUpdate");
    if (settings.AutoUpdate) {
        const QString typed = controls.text(OptionsText::Text2);
        if (isValidInterval(typed)) {
            settings.AutoUpdateTime = typed.toInt();
            write(QStringLiteral("AutoUpdateTime"), typed);
        } else {
            // The interval in force stays, in memory and in the store.
            if (settings.AutoUpdateTime < 1 || settings.AutoUpdateTime > 999)
                settings.AutoUpdateTime = 60;
            result_.intervalRejected = true;
            result_.keptInterval = settings.AutoUpdateTime;
            write(QStringLiteral("AutoUpdateTime"), QString::number(settings.AutoUpdateTime));
            controls.setText(OptionsText::Text2, QString::number(settings.AutoUpdateTime));
        }
    }

    saveCheck(OptionsCheck::Check3, settings.HTML, "HTML");
    controls.setFileName(switchExtension(controls.fileName(), settings.HTML));
    saveCheck(OptionsCheck::Check8, settings.IncExt, "IncExt");

    settings.TitleHTML = controls.text(OptionsText::Text1);
    write(QStringLiteral("TitleHTML"), settings.TitleHTML);

    const QString pattern = controls.text(OptionsText::Text4);
    controls.setFilePattern(pattern);
    write(QStringLiteral("Pattern"), pattern);
    saveFormats();
    return result_;
}
