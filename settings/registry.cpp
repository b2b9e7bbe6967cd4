#include "settings/registry.h"

#include "platform/settings_backend.h"

QString SettingsKey()
{
    // Fixed, whatever the program's version: a new version finds the settings of the old one.
    return QStringLiteral("SOFTWARE\\Korvane\\Lystora\\v1.52.1016\\");
}

QString FormatsKey()
{
    return QStringLiteral("SOFTWARE\\Korvane\\Lystora\\Lystora\\");
}

void Registry::ReadRegValue(int RootKey, const QString &SubKey, const QString &ValueName)
{
    RegValue = backend_.readValue(RootKey, SubKey, ValueName);
}

int Registry::WriteRegValue(int RootKey, const QString &SubKey, const QString &ValueName,
                            const QString &ValueText)
{
    return backend_.writeValue(RootKey, SubKey, ValueName, ValueText);
}

QString Registry::location() const
{
    return backend_.location(SettingsKey());
}

StoreProblem Registry::problem() const
{
    return backend_.problem();
}
