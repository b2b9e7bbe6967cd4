#pragma once

#include "engine/listing_host.h"
#include "platform/notification_area.h"
#include "platform/volumes.h"
#include "settings/listing_settings.h"
#include "settings/registry.h"
#include "support/memory_store.h"

#include <QStringList>

#include <memory>

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

// A notification area that records what the program does with it.
struct FakeNotificationArea : NotificationArea {
    bool present = true;
    bool isShown = false;
    QStringList calls; // "add <tip>", "remove", "state <tip>", "notify <text>"
    QIcon icon;
    bool available() const override { return present; }
    void add(const QIcon &added, const QString &tip) override
    {
        icon = added;
        isShown = true;
        calls << QStringLiteral("add ") + tip;
    }
    void remove() override
    {
        isShown = false;
        calls << QStringLiteral("remove");
    }
    bool shown() const override { return isShown && present; }
    void setState(const QIcon &state, const QString &tip) override
    {
        icon = state;
        calls << QStringLiteral("state ") + tip;
    }
    void notify(const QString &, const QString &text, bool failure) override
    {
        calls << (failure ? QStringLiteral("failure ") : QStringLiteral("notify ")) + text;
    }
};

class Form1;
class Forms;

// The program over fakes, wired as main() wires the real one. Its store may be shared with a
// program started later, as the settings file is.
struct TestProgram {
    explicit TestProgram(MemoryStore *sharedStore = nullptr);
    ~TestProgram();
    Form1 &form1();
    // Form_Load, with the splash screen's tick (if it shows) at once.
    void start();

    MemoryStore ownStore;
    MemoryStore &store;
    ListingSettings settings;
    Registry registry{store};
    FakeVolumes volumes;
    FakeMessages messages;
    FakeShell shell;
    FakeNotificationArea tray;
    std::unique_ptr<Forms> forms;
};
