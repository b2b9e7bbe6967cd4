#pragma once

#include "settings/listing_settings.h"

#include <QString>

class Registry;
class SettingsControls;
enum class Side;

// What a save could not do, for the window to tell (the save itself shows nothing).
struct SaveResult {
    bool intervalRejected = false; // the minutes box held no whole number from 1 to 999
    int keptInterval = 0;          // the interval kept in force instead
    int storeError = 0;            // the first write the store refused (0: none)
};

// The start-up load and the save: every stored value into ListingSettings and the controls that
// show it, and back.
class SettingsProcedures
{
public:
    SettingsProcedures(ListingSettings &settings, Registry &registry, SettingsControls &controls)
        : settings(settings), registry(registry), controls(controls)
    {}

    void LoadStartupFlags();
    void LoadSettings();
    SaveResult SaveSettings();

    ListingSettings &settings;
    Registry &registry;
    SettingsControls &controls;

private:
    QString read(const QString &name, const QString &key = QString());
    void write(const QString &name, const QString &text, const QString &key = QString());
    void loadFormats();
    void saveFormats();
    bool loadDirectory(const QString &name, Side which);
    bool loadFromSourceDirectory();

    bool defaultsOnly_ = false; // the load failed twice: what is left takes its defaults
    SaveResult result_;
};
