#pragma once

#include "platform/file_identity.h"

#include <QByteArray>

#include <memory>

// A list file written as a whole. The bytes go into a temporary file in the target's folder that
// takes the target's place in one rename once it is complete: a reader (a web server, say) sees
// the old list or the new one, never a part, and a run that fails or is stopped leaves the old
// list as it was. The new list keeps the permissions and owner of the one it replaces; a new list
// gets the usual mode (0666 less the umask).
//
// The temporary file has no name at all where the file system allows it: nothing partial can be
// served, and a run killed outright (SIGKILL, a crash, a power cut) leaves nothing behind. Where a
// name is needed, it is hidden, "." + list name + temporaryMarker() + six characters, and held
// locked while its run lives: each run removes the ones of its own target that no live run holds.
//
// The target's folder is opened once and everything after that is done relative to it, so that
// no name can be swapped under the run between a check and the rename. A symbolic link at the
// target stays a link (the file it points to is replaced) only when the link belongs to the user
// running the program or to root: one planted by another user in a folder others can write to is
// never followed, and the run fails instead. A link that points nowhere is replaced by the list.
// A character device or a named pipe is written straight into (/dev/stdout, say), as it cannot
// be replaced, unless Streams::Replace asks otherwise.
//
// Errors are system error numbers (or the codes of system_error.h); 0 means success.
class ReplacingFile
{
public:
    enum class Streams {
        WriteInto, // a list on /dev/stdout goes to the standard output
        Replace,   // a settings file is never written through: a new file takes its place
    };
    enum class Waiting {
        Unnamed, // no name until the commit, where the file system allows it
        Named,   // always a hidden name
    };

    explicit ReplacingFile(Streams streams = Streams::WriteInto,
                           Waiting waiting = Waiting::Unnamed);
    ~ReplacingFile();
    ReplacingFile(const ReplacingFile &) = delete;
    ReplacingFile &operator=(const ReplacingFile &) = delete;

    // A trial: open() checks the target's place as it would for real, but nothing is made or
    // written, and commit() puts nothing in place.
    void setDryRun(bool dryRun) { dryRun_ = dryRun; }
    // "-" stands for the standard output, written straight into.
    int open(const QByteArray &targetPath);
    int write(const char *data, qsizetype size);
    // Writes what is buffered, makes it durable and puts the file in the target's place.
    int commit();
    // Drops the temporary file; the target stays as it was.
    void discard();

    bool isOpen() const;
    int descriptor() const;
    qint64 size() const;
    // The file last committed, and the folder it is in, whatever names led to them: a watcher
    // of the folder knows its own list by these, not by a path that links may disguise.
    struct Committed {
        FileIdentity file;
        FileIdentity folder;
        QByteArray folderPath; // where the folder is, once every link is followed
        QByteArray name;       // the list's name in it
        // What it was once in place, to know it unchanged later (see WrittenList).
        qint64 size = -1;
        qint64 modifiedNs = 0;
        qint64 changedNs = 0;
    };
    const Committed &committed() const { return committed_; }

    static const char *temporaryMarker() { return ".lystora-"; }

    // Appends length bytes of `from`, from `at` on, as write() would; copied inside the system
    // where it can.
    int append(const class WrittenList &from, qint64 at, qint64 length);

private:
    struct State;
    int writeBuffer();

    Streams streams_;
    Waiting waiting_;
    bool dryRun_ = false;
    std::unique_ptr<State> d_;
    Committed committed_;
};

// Once the bytes handed on for every list are written and the lists let go of are closed (their
// room on the disk given back): a watcher waits for it before it sleeps.
void waitForSending();

// A list committed earlier, read again: only while it is still the very file committed, as it
// was then (the same file, size and times), so that what it holds is known without reading it.
// Nobody but its owner can write into it; a change by the owner (or root) after open() is not
// seen.
class WrittenList
{
public:
    WrittenList();
    ~WrittenList();
    WrittenList(const WrittenList &) = delete;
    WrittenList &operator=(const WrittenList &) = delete;

    // True when it is still as committed, and open.
    bool open(const ReplacingFile::Committed &committed);
    // Let go of: closed soon after, by the thread that writes the lists (see waitForSending).
    void close();
    bool isOpen() const;
    int descriptor() const;
    // length bytes from `at` appended to *out: 0, or the reason they could not be read (EIO
    // when the file ends before them).
    int read(qint64 at, qint64 length, QByteArray *out) const;

private:
    friend class SideFile;
    int fd_ = -1;
};

// A file with no name, beside a list, for a part of it written aside (the JSON's flat list of
// tracks, kept while the tree before it is written), then appended to the list: the bytes go
// from file to file inside the system, never through the program.
class SideFile
{
public:
    SideFile() = default;
    ~SideFile() { close(); }
    SideFile(const SideFile &) = delete;
    SideFile &operator=(const SideFile &) = delete;

    // In the folder of the list at `listPath` (the same disk), or among the temporary files
    // when that folder takes none, or for "-": 0, or why not.
    int open(const QByteArray &listPath);
    bool isOpen() const { return contents_.isOpen(); }
    void close();
    // 0, or the first failure.
    int write(const char *data, qsizetype size);
    // length bytes of `from` from `at` on, appended.
    int append(const WrittenList &from, qint64 at, qint64 length);
    qint64 size() const { return size_; }
    // Everything written so far, to be read: 0, or the first failure.
    int flush();
    const WrittenList &contents() const { return contents_; }

private:
    WrittenList contents_;
    QByteArray buffer_;
    qint64 size_ = 0;
    int error_ = 0;
};
