#pragma once

#include "engine/listing_host.h"
#include "platform/settings_backend.h"
#include "platform/volumes.h"

#include <QStringList>

#include <functional>
#include <map>
#include <set>
#include <vector>

// Message boxes answered by the test: every box is recorded; questions get `answer`.
struct FakeMessages : MessageBoxes {
    struct Box {
        QString text;
        int style;
        QString title;
    };
    std::vector<Box> boxes;
    int answer = kAnswerYes;
    std::function<void()> whileOpen; // runs while a box is "open", as a nested event would
    int MsgBox(const QString &text, int style, const QString &title) override
    {
        boxes.push_back({text, style, title});
        if (whileOpen)
            whileOpen();
        return style == kStyleYesNoExclamation ? answer : kAnswerOk;
    }
};

struct FakeShell : Shell {
    QStringList calls; // "operation|file|parameters|directory"
    void ShellExecute(const QString &operation, const QString &file, const QString &parameters,
                      const QString &directory) override
    {
        calls << QStringList{operation, file, parameters, directory}.join(QLatin1Char('|'));
    }
};

struct FakeVolumes : VolumeSource {
    std::vector<Volume> list{{QStringLiteral("/"), QString()}};
    std::set<QString> notReady;
    std::vector<Volume> volumes() override { return list; }
    bool isReady(const QString &root) override { return !notReady.count(root); }
};

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
};
