#pragma once

#include "engine/list_outputs.h"
#include "settings/listing_settings.h"
#include "tags/tag_readers.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

// What the command line asks for.
struct CliOptions {
    ListingSettings settings;
    QString pattern = QStringLiteral("*.mp3");
    QByteArray sourceDir; // absolute, without a trailing '/'
    QByteArray targetDir; // absolute, without a trailing '/'
    QString targetName;
    bool classicList = true;            // TARGET_FILE holds the classic list (--format classic)
    std::vector<OutputRequest> outputs; // the other lists of each run
    int every = 0;                      // minutes between two lists, 0: no schedule
    bool watch = false;                 // a list again whenever the tree changes
    bool quiet = false;                 // nothing said but errors
    bool force = false;                 // replace even lists this program did not make
    bool dryRun = false;                // say what would be written, write nothing
    bool toStandardOutput = false;      // TARGET_FILE is "-"
    TagBudget tagBudget;                // what reading one file's tags may cost
    bool forgetUnreadable = false;      // files marked unreadable are tried again
    bool help = false;
    bool version = false;
    QString error; // set when the command line cannot be used
};

class Registry;

// arguments include the program name; langue is the language of the messages. What the command
// line leaves out comes from the stored settings, read as the window's start-up load reads them;
// without SOURCE_DIR and TARGET_FILE, the stored directories and list name are used.
CliOptions parseCommandLine(const QStringList &arguments, int langue, Registry &store);
