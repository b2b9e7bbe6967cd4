#pragma once

#include <QByteArray>

// A list file written as a whole. The bytes go into a temporary file beside the target, which
// takes the target's place in one rename once it is complete: a reader (a web server, say) sees
// the old list or the new one, never a part, and a run that fails or is stopped leaves the old
// list as it was and no temporary file behind. The new list keeps the permissions and owner of
// the one it replaces; a new list gets the usual mode (0666 less the umask).
//
// A symbolic link at the target stays a link: the file it points to is replaced. A character
// device or a named pipe (/dev/stdout, say) is written straight into, as it cannot be replaced.
//
// Errors are system error numbers (or the codes of system_error.h); 0 means success.
class ReplacingFile
{
public:
    ReplacingFile() = default;
    ~ReplacingFile();
    ReplacingFile(const ReplacingFile &) = delete;
    ReplacingFile &operator=(const ReplacingFile &) = delete;

    int open(const QByteArray &targetPath);
    int write(const char *data, qsizetype size);
    // Writes what is buffered, makes it durable and puts the file in the target's place.
    int commit();
    // Drops the temporary file; the target stays as it was.
    void discard();

    bool isOpen() const { return fd_ >= 0; }
    int descriptor() const { return fd_; }
    qint64 size() const { return written_ + buffer_.size(); }
    // Beside every list, its temporary file is named "." + list name + this + six characters.
    static const char *temporaryMarker() { return ".lystora-"; }

private:
    int writeBuffer();

    int fd_ = -1;
    bool direct_ = false; // writing straight into a stream, no rename
    QByteArray finalPath_;
    QByteArray temporaryPath_;
    QByteArray buffer_;
    qint64 written_ = 0;
};
