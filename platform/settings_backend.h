#pragma once

#include <QString>

#include <memory>

// Where the settings live: one text value per name under a registry-style key such as
// "SOFTWARE\Korvane\Lystora\v1.52.1016\", below one of the five registry roots (0..4). Every call
// reaches the store itself: nothing is cached.
class SettingsBackend
{
public:
    virtual ~SettingsBackend() = default;
    // The value's text; "" when it, its key or the store is missing or unreadable, or the root
    // is not one of 0..4.
    virtual QString readValue(int root, const QString &key, const QString &name) = 0;
    // 0 when the value is stored, else a system error number (EINVAL for a root outside 0..4, a
    // name that is not one, or a value the store cannot hold).
    virtual int writeValue(int root, const QString &key, const QString &name,
                           const QString &text) = 0;
    // Where the values of key are kept, for messages.
    virtual QString location(const QString &key) const = 0;
};

// The store of this desktop: on Linux an INI file under $XDG_CONFIG_HOME (~/.config when unset),
// "SOFTWARE\Korvane\Lystora\v1.52.1016\" giving Korvane/Lystora.conf, section [v1.52.1016].
std::unique_ptr<SettingsBackend> makeSettingsBackend();
