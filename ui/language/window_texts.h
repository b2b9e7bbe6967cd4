#pragma once

#include <QString>

// Messages the windows show themselves, in both interface languages (1 French, else English).
enum class WindowText {
    DeviceUnavailable, // a drive list's volume cannot be read
    IntervalKept,      // the minutes box held no whole number 1..999; %1: the minutes kept
    SettingsNotSaved,  // second line under the settings file; %1: the reason
    BaseUrlSlash,      // the base URL lacks its "/"; %1 the URL, %2 what the page links under
    IntervalKeptOne,   // IntervalKept for one minute
    AutomaticFailed,   // an automatic run failed; %1 the time, then what failed on lines of its own
    AutomaticBack,     // an automatic run succeeded after failures; %1 the time
    LastListMade,      // %1 the time of the last list made
    RunProgress,       // %1 files written so far, %2 what the run is at
    TagProgress,       // %1 files whose tags were read, of %2 asked for
    StopRun,           // the button's caption while a run goes on
    VolumeGone,        // %1 the volume that was unmounted while shown
    ChooseSource,      // the File menu's items besides the classic ones
    ChooseTarget,
    RecentSources,
    RecentTargets,
    OpenList,
    OpenTarget,
};

QString windowText(WindowText text, int langue);
