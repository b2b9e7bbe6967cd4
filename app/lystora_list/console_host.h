#pragma once

#include "engine/fs_lists.h"
#include "engine/listing_host.h"

#include <QElapsedTimer>

#include <functional>

// The window of a listing run on a terminal: message boxes become lines on stdout (information)
// or stderr (the rest), the overwrite question is asked on the terminal when there is one and
// refused otherwise, and a progress line is kept on stderr when it is a terminal.
class ConsoleHost : public QuietListingWindow
{
public:
    // oneList: the program makes one list and ends; once it is in place, being stopped no
    // longer counts as a failure.
    ConsoleHost(const QByteArray &targetDir, const QString &targetName, int langue, bool oneList);

    ListingHost host() { return listingHost(dir1_, file1_); }
    // Nothing said but errors: no end message, no progress line.
    void setQuiet(bool quiet) { quiet_ = quiet; }
    FsDirList &dir1() { return dir1_; }
    FsDirectoryReader &reader() { return reader_; }
    FsFileList &file1() { return file1_; }

    // Removes the progress line, so that what follows starts on a clean line.
    void clearProgress();
    // Where a service's messages go (stderr when unset). Each is told once until
    // forgetToldMessages(): a failure that lasts is not told again at every retry.
    std::function<void(const QString &line)> onMessage;
    void forgetToldMessages() { lastTold_.clear(); }

    int MsgBox(const QString &text, int style, const QString &title) override;
    void runProgress(qint64 filesWritten, const SourceDirList &at) override;
    bool cancelRequested() override;
    void listInPlace() override;

private:
    FsDirectoryReader reader_;
    FsDirList dir1_{reader_};
    FsFileList file1_{reader_};
    int langue_;
    bool oneList_;
    bool showProgress_;
    bool progressShown_ = false;
    QElapsedTimer sinceProgress_;
    QString lastTold_;
    bool quiet_ = false;
};

// Writes text to a standard stream as the terminal expects it: UTF-8, LF line ends, and the
// system's own bytes for a name that is not UTF-8.
void printText(FILE *stream, const QString &text);

// A name as a terminal may show it: control characters (escape sequences among them, which a
// folder's name could use to retitle, clear or recolour the terminal) shown "?", as the lists
// show them.
QString shownOnTerminal(const QString &text);

// A message of the window, made of lines, as one line of a command-line program's error:
// "lystora-list: /srv/nope: This folder cannot be read: no such file or folder".
QString errorLine(const QString &message);
