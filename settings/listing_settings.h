#pragma once

#include <QString>

// The one in-memory copy of the settings that the listing engine and the windows read. Each field
// carries the name of the stored value that holds it. Before the start-up load every field is
// false, 0 or empty; the load fills it, the save refreshes it from the controls that show it.
struct ListingSettings {
    bool SplashScreen = false; // show the splash screen at start-up
    bool StartUpMusic = false; // open the welcome music at start-up
    bool ShowTime = false;     // date and time of making at the head of the list
    bool RunNote = false;      // open the list once it is written
    bool HTML = false;         // the list is an HTML page, else plain text
    QString TitleHTML;         // title of the HTML page
    bool DownAllow = false;    // each file of an HTML list is a download link
    QString BaseUrl;           // put in front of every link
    bool AutoUpdate = false;   // rewrite the list regularly, replacing it without asking
    int AutoUpdateTime = 0;    // minutes between two automatic runs
    int ListingType = 0;       // 0 source files; 1 and sub-directory names; 2 and their files
    int FileLangue = 0;        // language of the list: 0 English, 1 French
    int Langue = 0;            // language of the interface: 0 English, 1 French
    bool IncExt = false;       // file names keep their extension
    // Stored in a section of their own: the lists made besides the classic one, beside it, and
    // how all lists are made.
    bool AlsoPage = false;     // a web page, index.html in the target folder
    bool AlsoPlaylist = false; // an M3U8 playlist, the list's name with .m3u8
    bool AlsoJson = false;     // a JSON document, the list's name with .json
    bool ReadTags = false;     // tags and lengths read for the lists that show them
    bool NaturalOrder = false; // "Track 2" before "Track 10", in every list
    bool Covers = false;       // the page shows each folder's picture
    QString PageName;          // the page's name in the target folder; empty: index.html
    QString PlaylistName;      // the playlist's; empty: the list's name with .m3u8
    QString JsonName;          // the JSON document's; empty: the list's name with .json
};
