#pragma once

// What the listing engine needs of the window around it, and nothing more: the source lists it
// walks, the target the user chose, the controls a run switches, message boxes, the shell, the
// status bar and the clock. The main window implements these with its widgets; the command-line
// tool and the tests implement them without.

#include "platform/dir_scan.h"
#include "platform/file_identity.h"

#include <QByteArray>
#include <QDate>
#include <QString>
#include <QTime>

#include <algorithm>
#include <array>
#include <memory>

// A few bytes held in place (a folder picture's name, its version): asked of every folder of a
// watched tree at each change, where each string would be one more block allocated and freed.
class ShortBytes
{
public:
    static constexpr qsizetype kRoom = 16;
    ShortBytes() = default;
    // Empty when they are more than there is room for.
    explicit ShortBytes(QByteArrayView bytes)
    {
        if (bytes.size() > kRoom)
            return;
        std::copy(bytes.begin(), bytes.end(), bytes_.begin());
        length_ = qint8(bytes.size());
    }
    QByteArrayView view() const { return QByteArrayView(bytes_.data(), length_); }
    bool isEmpty() const { return length_ == 0; }

private:
    std::array<char, kRoom> bytes_{};
    qint8 length_ = 0;
};

// Identity of a directory on disk: a walk that follows symbolic links uses it to recognise a
// directory it has met already.
using DirIdentity = FileIdentity;

// One file of a list: the bytes the file system holds (links are built from them) and the same
// name decoded for display (bytes that are not UTF-8 show as U+FFFD).
struct ListedName {
    QByteArray bytes;
    QString text;
};

class ListOrder;

// What is read of each file with the names.
enum class FileDetails {
    None,
    Sizes,     // size and time
    Identities // and what tells a file from another (what the tags' cache needs)
};

// The source directory list (Dir1).
class SourceDirList
{
public:
    virtual ~SourceDirList() = default;
    // The current directory, without a trailing '/' except for the root "/".
    virtual QByteArray path() const = 0;
    // Moves the list; the file list follows at once (Dir1_Change). A trailing '/' is allowed.
    virtual void setPath(const QByteArray &path) = 0;
    virtual int subDirCount() = 0;
    // Full path of sub-directory i (0-based, in list order), without a trailing '/'.
    virtual QByteArray subDirPath(int i) = 0;
    // 0 when the current directory can be read, else the system's reason (gone, denied).
    virtual int readError() = 0;
    // Opens the current directory without reading it: 0 and its identity on disk, or the
    // system's reason it cannot be opened.
    virtual int identity(DirIdentity *identity) = 0;
    // A walk from the current directory begins: the directories it will come to may be read
    // before they are asked for, until release(); with details, their files' too (fileStat).
    virtual void readAhead(FileDetails details) { (void)details; }
    // The walk is over: directories held open for it are let go (an open one keeps its disk
    // from being unmounted).
    virtual void release() {}
    // The order of the sub-directories from the next reading on.
    virtual void setOrder(const ListOrder &order) = 0;
};

// The source file list (File1): the files of Dir1's directory that match the pattern.
class SourceFileList
{
public:
    virtual ~SourceFileList() = default;
    virtual int fileCount() = 0;
    virtual ListedName fileName(int k) = 0; // bare name, 0-based, in list order
    // Its bytes where the list keeps them, valid until the list is asked anything else; empty
    // when they are not kept so (fileName() then tells them).
    virtual QByteArrayView fileNameView(int k)
    {
        (void)k;
        return {};
    }
    // File k's size, times and identity: 0, or the system's reason.
    virtual int fileStat(int k, FileStat *stat) = 0;
    // File k opened for reading: its descriptor, the caller's to close, or -1.
    virtual int openFile(int k) = 0;
    // The folder's picture file ("cover.jpg"...), whatever the pattern; empty when none.
    virtual ShortBytes coverName() { return ShortBytes(); }
    // What that picture is now (see fileVersion), asked for once a reading; empty when unknown.
    virtual ShortBytes coverVersion() { return ShortBytes(); }
    // The order of the files from the next reading on.
    virtual void setOrder(const ListOrder &order) = 0;
    // Where the lists keep what they made of the names (and, when asked, their details) of
    // the reading they come from: one place a reading, kept for as long as the folder has not
    // changed since, so that a folder read anew starts with nothing. Given in folder->ready,
    // and where tags are read, what their totals took of the files' tags in folder->tags;
    // folder->reading holds both for as long as the lists are told of those files, which may
    // be after the walk has left the folder. Nothing when that is not known.
    virtual void ready(bool withDetails, struct FolderFiles *folder)
    {
        (void)withDetails;
        (void)folder;
    }
};

// Where the list goes: the target directory list (Dir2), drive list (Drive2) and name box (Text4).
class TargetChoice
{
public:
    virtual ~TargetChoice() = default;
    virtual QByteArray dir2Path() const = 0; // without a trailing '/' except for the root
    virtual QString drive2Text() const = 0;  // the volume root holding dir2Path()
    virtual QString text4() const = 0;
};

// The controls a run switches on and off.
class RunControls
{
public:
    virtual ~RunControls() = default;
    virtual void setText4Enabled(bool enabled) = 0;
    virtual void setCommand1Enabled(bool enabled) = 0;
    virtual void setTimer1Enabled(bool enabled) = 0;
};

// Message box styles and answers, as the windows show them: a style is buttons plus an icon.
enum : int {
    kButtonsOk = 0,
    kButtonsYesNo = 4,
    kButtonsMask = 0x07,
    kIconCritical = 16,
    kIconQuestion = 32,
    kIconExclamation = 48,
    kIconInformation = 64,
    kIconMask = 0x70,
    kStyleCritical = kButtonsOk + kIconCritical,
    kStyleExclamation = kButtonsOk + kIconExclamation,
    kStyleYesNoExclamation = kButtonsYesNo + kIconExclamation,
    kStyleInformation = kButtonsOk + kIconInformation,
    kAnswerOk = 1,
    kAnswerYes = 6,
    kAnswerNo = 7,
};

class MessageBoxes
{
public:
    virtual ~MessageBoxes() = default;
    // Shows the text (lines separated by CR LF) and returns the answer.
    virtual int MsgBox(const QString &text, int style, const QString &title) = 0;
};

// Hands a file to the desktop's program for it. The result is never examined.
class Shell
{
public:
    virtual ~Shell() = default;
    virtual void ShellExecute(const QString &operation, const QString &file,
                              const QString &parameters, const QString &directory) = 0;
};

class StatusBar
{
public:
    virtual ~StatusBar() = default;
    virtual void setStatusText(const QString &text) = 0;
    // Whether it shows the name of each file as the run writes it: when not, no text is made
    // for it.
    virtual bool showsNames() const { return true; }
};

class Clock
{
public:
    virtual ~Clock() = default;
    virtual QDate currentDate() = 0;
    virtual QTime currentTime() = 0;
};

// Optional: how far a run has come, and whether it should stop.
class RunProgress
{
public:
    virtual ~RunProgress() = default;
    // The walk is in `at`: its path is asked only when shown (a watcher's walk comes here at
    // every folder).
    virtual void runProgress(qint64 filesWritten, const SourceDirList &at) = 0;
    // While the run waits for tags being read: how many of those asked for have come.
    virtual void tagProgress(qint64 /*read*/, qint64 /*asked*/) {}
    virtual bool cancelRequested() = 0;
    // The new list has just taken the old one's place: from here on, stopping the program
    // loses nothing.
    virtual void listInPlace() {}
};

struct ListingHost {
    SourceDirList *Dir1 = nullptr;
    SourceFileList *File1 = nullptr;
    TargetChoice *target = nullptr;
    RunControls *controls = nullptr;
    MessageBoxes *messages = nullptr;
    Shell *shell = nullptr;
    StatusBar *StatusBar1 = nullptr;
    Clock *clock = nullptr;
    RunProgress *progress = nullptr; // may stay null
};

// A window that plays every part itself but the two source lists.
class ListingWindow : public TargetChoice,
                      public RunControls,
                      public MessageBoxes,
                      public Shell,
                      public StatusBar,
                      public Clock,
                      public RunProgress
{
public:
    ListingHost listingHost(SourceDirList &dir1, SourceFileList &file1)
    {
        return {&dir1, &file1, this, this, this, this, this, this, this};
    }
};

// A window without widgets (a command-line run, a benchmark, a test): the target it is given,
// and nothing shown, switched or opened. Each use overrides what it does otherwise; a question
// is answered Yes, as a run with automatic updating would take it.
class QuietListingWindow : public ListingWindow
{
public:
    QuietListingWindow(const QByteArray &targetDir, const QString &targetName)
        : targetDir_(targetDir), targetName_(targetName)
    {}

    QByteArray dir2Path() const override { return targetDir_; }
    QString drive2Text() const override { return QStringLiteral("/"); }
    QString text4() const override { return targetName_; }
    void setText4Enabled(bool) override {}
    void setCommand1Enabled(bool) override {}
    void setTimer1Enabled(bool) override {}
    int MsgBox(const QString &, int style, const QString &) override
    {
        return (style & kButtonsMask) == kButtonsYesNo ? kAnswerYes : kAnswerOk;
    }
    void ShellExecute(const QString &, const QString &, const QString &, const QString &) override
    {}
    void setStatusText(const QString &) override {}
    bool showsNames() const override { return false; }
    QDate currentDate() override { return QDate::currentDate(); }
    QTime currentTime() override { return QTime::currentTime(); }
    void runProgress(qint64, const SourceDirList &) override {}
    bool cancelRequested() override { return false; }

protected:
    QByteArray targetDir_;
    QString targetName_;
};
