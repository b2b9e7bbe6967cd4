#pragma once

#include "engine/listing_host.h"
#include "settings/listing_settings.h"

#include <QPointer>

#include <memory>

class Form1;
class Form2;
class NotificationArea;
class QFont;
class QTranslator;
class Registry;
class SettingsControls;
class SettingsProcedures;
class VolumeSource;
class frmOptions;
class frmSplash;

// What the windows share, given by main() and replaced in tests.
struct ProgramServices {
    ListingSettings *settings = nullptr;
    Registry *registry = nullptr;
    VolumeSource *volumes = nullptr;
    MessageBoxes *messages = nullptr;             // null: the desktop's message boxes
    Shell *shell = nullptr;                       // null: the desktop's opener
    NotificationArea *notificationArea = nullptr; // null: the desktop's
};

// The program's windows. The main window lives as long as the program; the options dialog and
// the about box come into existence, and load, the first time anything touches them, and are
// destroyed when closed: the next touch makes and loads a new one.
class Forms
{
public:
    explicit Forms(const ProgramServices &services);
    ~Forms();
    Forms(const Forms &) = delete;
    Forms &operator=(const Forms &) = delete;

    Form1 &form1() { return *form1_; }
    // The options dialog (frmOptions), the about box (Form2) and the splash screen (frmSplash):
    // each made and loaded at its first touch. It is known before its load runs, so that the
    // load's handlers reach it through here.
    template <class Window> Window &window();
    template <class Window> Window *ifLoaded() const;
    // Closes it, when it is loaded.
    template <class Window> void unload();
    // Called by a window being destroyed by its close: the next touch makes a new one.
    template <class Window> void forget(Window *closing);

    NotificationArea &notificationArea() { return *services_.notificationArea; }

    ListingSettings &settings() { return *services_.settings; }
    Registry &registry() { return *services_.registry; }
    VolumeSource &volumes() { return *services_.volumes; }
    const ProgramServices &services() const { return services_; }
    SettingsProcedures &procedures() { return *procedures_; }

    // Sets every caption of every window in the language the options dialog's Language buttons
    // choose (French unless "English" is selected), swaps the base-URL placeholder, and records
    // the choice in Langue.
    void ApplyLanguage(frmOptions &dialog);

    // Who saves, and so how what the save could not do is told.
    enum class SaveFor {
        Dialog,  // Apply and OK: an interval it could not take, a store that refused, in boxes
        Closing, // the user closes: a store that refused, in a box
        Ending,  // a signal or a lost display ends the program: on stderr, nothing waits
    };
    void saveSettings(SaveFor who);

private:
    void translateQt(int langue);
    bool everyCaptionFits(const QFont &font);

    ProgramServices services_;
    std::unique_ptr<QTranslator> qtTexts_;
    std::unique_ptr<Form1> form1_;
    template <class Window> QPointer<Window> &slot();
    QPointer<frmOptions> options_;
    QPointer<Form2> about_;
    QPointer<frmSplash> splash_;
    std::unique_ptr<NotificationArea> ownNotificationArea_;
    std::unique_ptr<SettingsControls> controls_;
    std::unique_ptr<SettingsProcedures> procedures_;
};
