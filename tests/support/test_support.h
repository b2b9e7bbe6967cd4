#pragma once

#include "engine/engines.h"
#include "engine/fs_lists.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>
#include <ostream>
#include <vector>

// Readable values in test failures.
inline void PrintTo(const QString &text, std::ostream *os)
{
    *os << '"' << text.toStdString() << '"';
}
inline void PrintTo(const QByteArray &bytes, std::ostream *os)
{
    *os << '"' << bytes.toPercentEncoding(" !\"#$&'()*+,/:;<=>?@[]^`{|}").toStdString() << '"';
}

// A directory tree made for one test, removed afterwards.
class TempTree
{
public:
    TempTree();
    // Removed by its own bytes: Qt's removal would leave names that are not UTF-8 behind.
    ~TempTree();
    TempTree(const TempTree &) = delete;
    TempTree &operator=(const TempTree &) = delete;
    QByteArray path(const QByteArray &relative = QByteArray()) const;
    void dir(const QByteArray &relative) const; // with its parents
    void file(const QByteArray &relative, const QByteArray &content = QByteArray()) const;
    void link(const QByteArray &target, const QByteArray &relative) const;
    QByteArray read(const QByteArray &relative) const;
    static QByteArray readFile(const QByteArray &path); // "<missing>" when it cannot be read
    QStringList entries(const QByteArray &relative = QByteArray()) const; // all names, dot ones too

private:
    QTemporaryDir dir_;
};

// A window for the engine that records what the run does to it, in order.
class RecordingHost : public QuietListingWindow
{
public:
    struct Box {
        QString text;
        int style;
        QString title;
    };

    RecordingHost(const QByteArray &source, const QByteArray &targetDir,
                  const QString &name = QStringLiteral("audio.txt"));
    ListingHost host() { return listingHost(dir1, file1); }

    FsDirectoryReader reader;
    FsDirList dir1{reader};
    FsFileList file1{reader};
    QByteArray &dir2 = targetDir_; // Dir2
    QString &name = targetName_;   // Text4
    int answer = kAnswerYes;       // to the overwrite question
    int cancelAfterFiles = -1;     // ask the run to stop once this many files are written
    std::function<void(qint64 files)> onProgress; // at every progress report
    std::function<void()> onListInPlace;          // once the new list is in place
    QStringList events; // "Text4 off", "Command1 on", "Timer1 on", "box: ...", "shell: ..."
    std::vector<Box> boxes;
    QStringList statusTexts;
    QDate date{1999, 7, 3};
    QTime time{14, 5, 9};

    void setText4Enabled(bool on) override;
    void setCommand1Enabled(bool on) override;
    void setTimer1Enabled(bool on) override;
    int MsgBox(const QString &text, int style, const QString &title) override;
    void ShellExecute(const QString &operation, const QString &file, const QString &parameters,
                      const QString &directory) override;
    void setStatusText(const QString &text) override;
    bool showsNames() const override { return true; }
    QDate currentDate() override { return date; }
    QTime currentTime() override { return time; }
    void runProgress(qint64 filesWritten, const SourceDirList &) override;
    void tagProgress(qint64 read, qint64 asked) override
    {
        tagsRead << QStringLiteral("%1/%2").arg(read).arg(asked);
    }
    QStringList tagsRead; // "read/asked" at each report while tags are waited for
    bool cancelRequested() override;
    void listInPlace() override;

private:
    qint64 written_ = 0;
};

// Settings for a text list of the source's files only, in English, as a test starts from.
ListingSettings plainSettings();

// Runs one listing of source into targetDir/name; returns the host for inspection.
struct RunResult {
    RunOutcome outcome;
    QStringList events;
    std::vector<RecordingHost::Box> boxes;
    QStringList statusTexts;
};
RunResult runListing(ListingSettings settings, const QByteArray &source,
                     const QByteArray &targetDir, const QString &name = QStringLiteral("audio.txt"),
                     int answer = kAnswerYes, const QString &pattern = QStringLiteral("*.mp3"),
                     ReplacingFile::Waiting waiting = ReplacingFile::Waiting::Unnamed);

// Runs body in a child process and returns its wait status: a test can let a run die at a
// chosen point (SIGKILL, say) and look at what it left.
int inChildProcess(const std::function<void()> &body);

// Runs body as another user (nobody) in a child process, in the folder dir (opened first, so
// that the way there needs no right of that user's): whether it returned true. False when this
// process cannot become another user (not root).
bool asAnotherUser(const QByteArray &dir, const std::function<bool(int dirFd)> &body);

// Whether Text4 and Command1 are enabled after the events (never switched counts as enabled).
bool controlsEndEnabled(const QStringList &events);

// The header and footer of an English text list without date, to strip from expected bytes.
QByteArray englishTextHeader();
QByteArray englishTextFooter();

// An MP3 file made of bytes: an ID3v2.3 tag of these frames, then `audioFrames` silent MPEG
// frames (layer III, 128 kbit/s, 44.1 kHz: 26 ms each).
QByteArray bigEndian32(quint32 v);
QByteArray id3v2Tag(const QByteArray &frames, int audioFrames = 4);
// A text frame of such a tag ("TIT2", "TPE1"...), in Latin-1.
QByteArray id3v2Text(const char *id, const QByteArray &latin1);
// An MP4 file of nested atoms, which TagLib reads by recursion, once for each.
QByteArray nestedMp4Atoms(int depth);
// A red picture of that size ("600x600") at path, in the format its name ends with.
bool makePicture(const QByteArray &path, const char *size);
