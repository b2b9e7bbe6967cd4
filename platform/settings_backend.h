#pragma once

#include <QString>

#include <memory>

// Why the store, or one of its values, was left unread: it is told once, and the program goes on
// with what it could read (the defaults, for a store left whole).
struct StoreProblem {
    enum Kind {
        None,
        NotAFile,   // a pipe, a device, a folder: reading it could hang or never end
        TooLarge,   // far beyond what settings take; %1 of the message: the limit in KiB
        NulInValue, // a value holding a NUL byte, which no setting can hold; `name` tells which
    } kind = None;
    QString name;
};

// Where the settings live: one text value per name under a registry-style key such as
// "SOFTWARE\Korvane\Lystora\v1.52.1016\", below one of the five registry roots (0..4). Every call
// reaches the store itself: nothing is cached. Values keep their bytes: one the program did not
// change is written back as it was read, whatever its encoding (see lossless_text.h).
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
    // The first reason a read left the store or a value aside, since the store was made.
    virtual StoreProblem problem() const = 0;
};

// The largest settings file read: far more than any settings take.
inline constexpr int kLargestStoreKiB = 256;

// The store of this desktop: on Linux an INI file under $XDG_CONFIG_HOME (~/.config when unset),
// "SOFTWARE\Korvane\Lystora\v1.52.1016\" giving Korvane/Lystora.conf, section [v1.52.1016].
std::unique_ptr<SettingsBackend> makeSettingsBackend();
