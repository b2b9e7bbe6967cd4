#pragma once

#include <QString>

#include "platform/settings_backend.h"

// The only access to the stored settings, one value per call. Every value is text: yes/no as
// "Oui"/"Non", numbers in decimal, directories ending with "/".

// The key every setting of this version lives under.
QString SettingsKey();
// The key of the settings added since, in a section of their own ([Lystora]) beside the first,
// whose lines keep their form: the lists made besides the classic one and how.
QString FormatsKey();

// The root every caller passes (the registry's machine root where there is one).
inline constexpr int kSettingsRoot = 2;

class Registry
{
public:
    explicit Registry(SettingsBackend &backend) : backend_(backend) {}

    // The text ReadRegValue read last; "" for anything not stored.
    QString RegValue;

    void ReadRegValue(int RootKey, const QString &SubKey, const QString &ValueName);
    // 0, or the system's reason the value could not be stored.
    int WriteRegValue(int RootKey, const QString &SubKey, const QString &ValueName,
                      const QString &ValueText);

    // Where the settings are kept, for messages.
    QString location() const;
    // What the reads so far left aside (a file that is no ordinary file, say), to be told once.
    StoreProblem problem() const;

private:
    SettingsBackend &backend_;
};
