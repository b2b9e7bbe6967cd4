// The start-up load and the save: defaults, the exact stored words, the climb and the drive
// fallback, values no control can show, and what a save keeps or writes.

#include "settings/registry.h"
#include "settings/settings_procedures.h"
#include "settings/stored_values.h"
#include "support/memory_store.h"
#include "support/test_support.h"

#include "fake_controls.h"

#include <cerrno>
#include <gtest/gtest.h>

namespace {

struct Load {
    MemoryStore store;
    Registry registry{store};
    FakeControls controls;
    ListingSettings settings;
    SettingsProcedures procedures{settings, registry, controls};

    explicit Load(std::map<QString, QString> stored = {}) { store.values = std::move(stored); }
    Load &run()
    {
        procedures.LoadStartupFlags();
        procedures.LoadSettings();
        return *this;
    }
};

} // namespace

TEST(SettingsLoad, NothingStoredGivesEveryDefault)
{
    Load load;
    load.run();
    const ListingSettings &s = load.settings;
    EXPECT_TRUE(s.SplashScreen && s.StartUpMusic);
    EXPECT_FALSE(s.ShowTime || s.RunNote || s.HTML || s.DownAllow || s.AutoUpdate || s.IncExt);
    EXPECT_EQ(s.ListingType, 0);
    EXPECT_EQ(s.FileLangue, 1);
    EXPECT_EQ(s.Langue, 1);
    EXPECT_EQ(s.AutoUpdateTime, 0);
    EXPECT_EQ(s.BaseUrl, QString());
    const FakeControls &c = load.controls;
    EXPECT_EQ(c.checks[7], 1);
    EXPECT_EQ(c.checks[6], 1);
    for (int n : {1, 2, 3, 4, 5, 8})
        EXPECT_EQ(c.checks[n], 0) << n;
    EXPECT_EQ(c.dirs.at(Side::Source), QByteArray("/"));
    EXPECT_EQ(c.dirs.at(Side::Target), QByteArray("/"));
    EXPECT_EQ(c.drives.at(Side::Source), QStringLiteral("/"));
    EXPECT_EQ(c.name, QStringLiteral("audio.txt"));
    EXPECT_EQ(c.pattern, QStringLiteral("*.mp3"));
    EXPECT_EQ(c.texts[4], QStringLiteral("*.mp3")); // the box shows what the file list uses
    EXPECT_EQ(c.texts[1], QString());
    EXPECT_EQ(c.texts[2], QStringLiteral("60"));
    EXPECT_EQ(c.texts[3], QStringLiteral("http://votre.ip/votre_repertoire_de_base/"));
    EXPECT_EQ(c.selected.at(OptionArray::FileOption), 0);
    EXPECT_EQ(c.selected.at(OptionArray::FileLg), 1);
    EXPECT_EQ(c.selected.at(OptionArray::Language), 1);
    EXPECT_EQ(c.trayInstalls, 1);
    EXPECT_TRUE(load.store.writes.isEmpty());
}

TEST(SettingsLoad, OnlyTheExactStoredWordsCount)
{
    for (const char *yes : {"oui", "OUI", "1", "Yes", "Oui "}) {
        Load load({{"HTML", yes},
                   {"ShowTime", yes},
                   {"SplashScreen", "non"},
                   {"Langue", "1"},
                   {"FileLangue", "2"}});
        load.run();
        EXPECT_FALSE(load.settings.HTML) << yes;
        EXPECT_FALSE(load.settings.ShowTime) << yes;
        EXPECT_TRUE(load.settings.SplashScreen);
        EXPECT_EQ(load.settings.Langue, 1);
        EXPECT_EQ(load.settings.FileLangue, 1);
    }
    Load load({{"HTML", "Oui"},
               {"SplashScreen", "Non"},
               {"StartUpMusic", "Non"},
               {"Langue", "0"},
               {"FileLangue", "0"},
               {"TitleHTML", "Mes MP3"}});
    load.run();
    EXPECT_TRUE(load.settings.HTML);
    EXPECT_FALSE(load.settings.SplashScreen || load.settings.StartUpMusic);
    EXPECT_EQ(load.controls.checks[7], 0);
    EXPECT_EQ(load.settings.Langue, 0);
    EXPECT_EQ(load.controls.selected.at(OptionArray::Language), 0);
    EXPECT_EQ(load.settings.TitleHTML, QStringLiteral("Mes MP3"));
    EXPECT_EQ(load.controls.name, QStringLiteral("audio.htm"));
}

TEST(SettingsLoad, TitleAndSwitchedValuesLoadAsTheirSwitchSays)
{
    Load load({{"HTML", "Non"},
               {"TitleHTML", "Old title"},
               {"DownAllow", "Non"},
               {"BaseUrl", "http://stored/"},
               {"AutoUpdate", "Non"},
               {"AutoUpdateTime", "5"}});
    load.run();
    EXPECT_EQ(load.settings.TitleHTML, QStringLiteral("Old title"));
    EXPECT_EQ(load.controls.texts[1], QStringLiteral("Old title"));
    EXPECT_EQ(load.settings.BaseUrl, QString());
    EXPECT_EQ(load.controls.texts[3], QStringLiteral("http://votre.ip/votre_repertoire_de_base/"));
    EXPECT_EQ(load.settings.AutoUpdateTime, 0);
    EXPECT_EQ(load.controls.texts[2], QStringLiteral("60"));
}

TEST(SettingsLoad, ExtensionSwitchKeepsServedPagesAndNeverBreaksShortNames)
{
    const struct {
        const char *name;
        bool html;
        const char *expected;
    } cases[] = {
        {"audio.txt", true, "audio.htm"},
        {"audio.htm", false, "audio.txt"},
        {"index.html", true, "index.html"},
        {"INDEX.HTM", true, "INDEX.HTM"},
        {"index.html", false, "index.txt"},
        {"list.mp3.txt", true, "list.mp3.htm"},
        {"README", true, "README.htm"},
        {"ab", false, "ab.txt"},
        {"x", true, "x.htm"},
        {"", true, ""},
    };
    for (const auto &c : cases)
        EXPECT_EQ(switchExtension(QString::fromUtf8(c.name), c.html), QString::fromUtf8(c.expected))
            << c.name;
    Load load({{"FileName", "index.html"}, {"HTML", "Oui"}});
    load.run();
    EXPECT_EQ(load.controls.name, QStringLiteral("index.html"));
}

TEST(SettingsLoad, StoredDirectoryIsKeptWhileItExistsAndClimbedOtherwise)
{
    TempTree tree;
    tree.dir("empty");
    tree.dir("music");
    const QString root = QString::fromUtf8(tree.path());
    Load load({{"SourceDir", root + "/empty/"}, {"TargetDir", root + "/music/gone/deeper/"}});
    load.run();
    EXPECT_EQ(load.controls.dirs.at(Side::Source), tree.path("empty")); // no file in it: kept
    EXPECT_EQ(load.controls.dirs.at(Side::Target), tree.path("music"));
    EXPECT_EQ(storedDirectory(QStringLiteral("/no/such/place/")), QByteArray("/"));
    EXPECT_EQ(storedDirectory(QStringLiteral("relative/")), QByteArray("/"));
}

TEST(SettingsLoad, UnreadableVolumeSendsBothSidesBackToTheRoot)
{
    Load load({{"SourceDir", "/media/usb/Music/"}, {"TargetDir", "/tmp/"}, {"HTML", "Oui"}});
    load.controls.notReady.insert(QStringLiteral("/media/usb"));
    load.run();
    EXPECT_EQ(load.store.values.at("SourceDir"), QStringLiteral("/"));
    EXPECT_EQ(load.store.values.at("TargetDir"), QStringLiteral("/"));
    EXPECT_EQ(load.controls.dirs.at(Side::Source), QByteArray("/"));
    EXPECT_EQ(load.controls.dirs.at(Side::Target), QByteArray("/"));
    EXPECT_TRUE(load.settings.HTML); // the rest of the load went on

    // A second failure within the load: the rest takes its defaults, and the load ends.
    Load twice({{"SourceDir", "/media/usb/"}, {"HTML", "Oui"}});
    twice.controls.notReady = {QStringLiteral("/media/usb"), QStringLiteral("/")};
    twice.run();
    EXPECT_FALSE(twice.settings.HTML);
    EXPECT_EQ(twice.controls.name, QStringLiteral("audio.txt"));
}

TEST(SettingsLoad, ValuesNoControlCanShowBecomeUsableOnes)
{
    for (const char *bad : {"abc", "0", "-5", "1000", "", "99999999999"}) {
        Load load({{"AutoUpdate", "Oui"}, {"AutoUpdateTime", bad}, {"ListingType", "7"}});
        load.run();
        EXPECT_EQ(load.settings.AutoUpdateTime, 60) << bad;
        EXPECT_EQ(load.controls.texts[2], QStringLiteral("60"));
        EXPECT_EQ(load.settings.ListingType, 2);
        EXPECT_EQ(load.controls.selected.at(OptionArray::FileOption), 2);
    }
    Load load({{"AutoUpdate", "Oui"}, {"AutoUpdateTime", "15"}, {"ListingType", "1"}});
    load.run();
    EXPECT_EQ(load.settings.AutoUpdateTime, 15);
    EXPECT_EQ(load.settings.ListingType, 1);
}

TEST(SettingsSave, WritesEveryValueAndLeavesSwitchedOffOnesAlone)
{
    Load load({{"BaseUrl", "http://kept/"}, {"AutoUpdateTime", "25"}});
    load.settings.BaseUrl = QStringLiteral("http://kept/");
    load.settings.AutoUpdateTime = 25;
    FakeControls &c = load.controls;
    c.dirs = {{Side::Source, "/music"}, {Side::Target, "/"}};
    c.selected = {
        {OptionArray::FileOption, 1}, {OptionArray::Language, 0}, {OptionArray::FileLg, 0}};
    c.checks[1] = 2; // greyed counts as off
    c.checks[3] = 1;
    c.checks[6] = 1;
    c.checks[13] = 1;
    c.texts[1] = QStringLiteral("Ma musique");
    c.texts[2] = QStringLiteral("abc"); // AutoUpdate is off: not looked at
    c.texts[3] = QStringLiteral("http://typed/");
    c.texts[4] = QStringLiteral("*.ogg");
    const SaveResult result = load.procedures.SaveSettings();
    EXPECT_FALSE(result.intervalRejected);
    EXPECT_EQ(load.store.writes,
              QStringList({"SourceDir=/music/",    "TargetDir=/",        "ListingType=1",
                           "StartUpMusic=Oui",     "SplashScreen=Non",   "ShowTime=Non",
                           "RunNote=Non",          "FileName=audio.txt", "Langue=0",
                           "FileLangue=0",         "FileLg=0",           "DownAllow=Non",
                           "AutoUpdate=Non",       "HTML=Oui",           "IncExt=Non",
                           "TitleHTML=Ma musique", "Pattern=*.ogg",      "AlsoPage=Non",
                           "AlsoPlaylist=Non",     "AlsoJson=Non",       "ReadTags=Oui",
                           "NaturalOrder=Non",     "Covers=Non",         "PageName=",
                           "PlaylistName=",        "JsonName="}));
    EXPECT_EQ(load.store.values.at("BaseUrl"), QStringLiteral("http://kept/"));
    EXPECT_EQ(load.settings.BaseUrl, QStringLiteral("http://kept/"));
    EXPECT_EQ(load.settings.AutoUpdateTime, 25);
    EXPECT_EQ(c.name, QStringLiteral("audio.htm"));
    EXPECT_EQ(c.pattern, QStringLiteral("*.ogg"));
    EXPECT_EQ(load.settings.Langue, 0);
    EXPECT_TRUE(load.settings.HTML);
}

TEST(SettingsSave, AnIntervalThatIsNoWholeNumberKeepsTheOneInForce)
{
    for (int inForce : {0, 25}) {
        Load load;
        load.settings.AutoUpdateTime = inForce;
        load.controls.checks[4] = 1;
        load.controls.checks[5] = 1;
        load.controls.texts[2] = QStringLiteral("1O");
        load.controls.texts[3] = QStringLiteral("http://h/");
        const SaveResult result = load.procedures.SaveSettings();
        const int kept = inForce ? inForce : 60;
        EXPECT_TRUE(result.intervalRejected);
        EXPECT_EQ(result.keptInterval, kept);
        EXPECT_EQ(load.settings.AutoUpdateTime, kept);
        EXPECT_EQ(load.store.values.at("AutoUpdateTime"), QString::number(kept));
        EXPECT_EQ(load.controls.texts[2], QString::number(kept));
        EXPECT_EQ(load.store.values.at("BaseUrl"), QStringLiteral("http://h/")); // the rest saved
        EXPECT_EQ(load.store.values.at("Pattern"), QStringLiteral("*.mp3;*.aac;*.vqf"));
    }
}

TEST(SettingsSave, ARefusedStoreIsToldOnceAndEveryStepStillRuns)
{
    Load load;
    load.store.failWith = ENOSPC;
    load.controls.checks[3] = 1;
    load.controls.texts[4] = QStringLiteral("*.flac");
    const SaveResult result = load.procedures.SaveSettings();
    EXPECT_EQ(result.storeError, ENOSPC);
    EXPECT_TRUE(load.settings.HTML);
    EXPECT_EQ(load.controls.pattern, QStringLiteral("*.flac"));
}

TEST(SettingsSave, WhatIsSavedLoadsBackTheSame)
{
    TempTree tree;
    tree.dir("src");
    Load first;
    FakeControls &c = first.controls;
    c.dirs = {{Side::Source, tree.path("src")}, {Side::Target, tree.path()}};
    c.name = QStringLiteral("index.txt");
    c.selected = {
        {OptionArray::FileOption, 2}, {OptionArray::Language, 0}, {OptionArray::FileLg, 1}};
    for (int n : {1, 3, 4, 5, 8, 10, 14})
        c.checks[n] = 1;
    c.texts[1] = QStringLiteral("Titre é & <b>");
    c.texts[2] = QStringLiteral("15");
    c.texts[3] = QStringLiteral("http://h/m/");
    c.texts[4] = QStringLiteral("*.mp3; *.ogg");
    first.procedures.SaveSettings();

    Load second;
    second.store.values = first.store.values;
    second.run();
    EXPECT_EQ(second.store.values.size(), 28u);
    const FakeControls &d = second.controls;
    EXPECT_EQ(d.dirs.at(Side::Source), tree.path("src"));
    EXPECT_EQ(d.dirs.at(Side::Target), tree.path());
    EXPECT_EQ(d.name, QStringLiteral("index.htm"));
    EXPECT_EQ(d.selected.at(OptionArray::FileOption), 2);
    EXPECT_EQ(d.selected.at(OptionArray::Language), 0);
    EXPECT_EQ(d.selected.at(OptionArray::FileLg), 1);
    for (int n : {1, 3, 4, 5, 8, 10, 14})
        EXPECT_EQ(d.checks[n], 1) << n;
    EXPECT_TRUE(second.settings.AlsoPage && second.settings.NaturalOrder);
    EXPECT_FALSE(second.settings.AlsoJson || second.settings.ReadTags);
    for (int n : {1, 2, 3, 4})
        EXPECT_EQ(d.texts[n], c.texts[n]) << n;
    EXPECT_EQ(second.settings.AutoUpdateTime, 15);
    EXPECT_EQ(d.pattern, QStringLiteral("*.mp3; *.ogg"));
}
