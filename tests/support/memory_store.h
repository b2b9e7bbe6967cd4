#pragma once

#include "platform/settings_backend.h"

#include <QStringList>

#include <map>

// A store in memory, every value written kept, in order.
struct MemoryStore : SettingsBackend {
    std::map<QString, QString> values;
    QStringList writes; // "Name=value"
    int failWith = 0;   // a write error to report, 0 for none
    QString readValue(int, const QString &, const QString &name) override
    {
        auto found = values.find(name);
        return found == values.end() ? QString() : found->second;
    }
    int writeValue(int, const QString &, const QString &name, const QString &text) override
    {
        if (failWith)
            return failWith;
        values[name] = text;
        writes << name + QLatin1Char('=') + text;
        return 0;
    }
    QString location(const QString &) const override
    {
        return QStringLiteral("/memory/Lystora.conf");
    }
    StoreProblem problem() const override { return {}; }
};
