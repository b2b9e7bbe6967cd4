#include "platform/replacing_file.h"

#include "platform/system_error.h"

#include <QRandomGenerator>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr qsizetype kBufferSize = 256 * 1024;
// Room left in a name for the temporary file's dot, marker and random part.
constexpr qsizetype kLongestBase = 200;

QByteArray randomSuffix()
{
    static const char alphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    QByteArray suffix(6, '0');
    for (char &c : suffix)
        c = alphabet[QRandomGenerator::global()->bounded(int(sizeof alphabet - 1))];
    return suffix;
}

// The file to replace: the target itself, or the file a symbolic link at the target names.
QByteArray resolveLink(const QByteArray &target)
{
    struct stat st;
    if (::lstat(target.constData(), &st) != 0 || !S_ISLNK(st.st_mode))
        return target;
    char resolved[PATH_MAX];
    if (!::realpath(target.constData(), resolved))
        return target; // a link to nowhere is replaced by the list itself
    return QByteArray(resolved);
}

} // namespace

ReplacingFile::~ReplacingFile()
{
    discard();
}

int ReplacingFile::open(const QByteArray &targetPath)
{
    discard();
    written_ = 0;
    buffer_.clear();
    buffer_.reserve(kBufferSize);
    finalPath_ = resolveLink(targetPath);

    struct stat existing;
    const bool exists = ::stat(finalPath_.constData(), &existing) == 0;
    if (exists && S_ISDIR(existing.st_mode))
        return EISDIR;
    if (exists && (S_ISCHR(existing.st_mode) || S_ISFIFO(existing.st_mode))) {
        fd_ = ::open(finalPath_.constData(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
        if (fd_ < 0)
            return errno;
        direct_ = true;
        return 0;
    }
    if (exists && !S_ISREG(existing.st_mode))
        return kErrorNotRegularFile;

    const qsizetype slash = finalPath_.lastIndexOf('/');
    const QByteArray dir = finalPath_.left(slash + 1);
    const QByteArray base = finalPath_.mid(slash + 1).left(kLongestBase);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QByteArray candidate = dir + '.' + base + temporaryMarker() + randomSuffix();
        fd_ = ::open(candidate.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd_ >= 0) {
            temporaryPath_ = candidate;
            break;
        }
        if (errno != EEXIST)
            return errno;
    }
    if (fd_ < 0)
        return EEXIST;
    if (exists) {
        // Whoever could read the old list (the web server) can read the new one. The owner goes
        // first, as changing it clears set-id bits.
        if (::fchown(fd_, existing.st_uid, existing.st_gid) != 0) {
            // Only the owner's own group may be kept by an ordinary user; the mode still is.
        }
        if (::fchmod(fd_, existing.st_mode & 07777) != 0) {
            const int error = errno;
            discard();
            return error;
        }
    }
    return 0;
}

int ReplacingFile::write(const char *data, qsizetype size)
{
    if (fd_ < 0)
        return EBADF;
    buffer_.append(data, size);
    if (buffer_.size() >= kBufferSize)
        return writeBuffer();
    return 0;
}

int ReplacingFile::writeBuffer()
{
    const char *data = buffer_.constData();
    qsizetype left = buffer_.size();
    while (left > 0) {
        const ssize_t n = ::write(fd_, data, size_t(left));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        data += n;
        left -= n;
        written_ += n;
    }
    buffer_.resize(0);
    return 0;
}

int ReplacingFile::commit()
{
    if (fd_ < 0)
        return EBADF;
    int error = writeBuffer();
    if (error == 0 && !direct_ && ::fsync(fd_) != 0)
        error = errno;
    if (::close(fd_) != 0 && error == 0)
        error = errno;
    fd_ = -1;
    if (error == 0 && !direct_ && ::rename(temporaryPath_.constData(), finalPath_.constData()) != 0)
        error = errno;
    if (error != 0 && !temporaryPath_.isEmpty())
        ::unlink(temporaryPath_.constData());
    temporaryPath_.clear();
    direct_ = false;
    return error;
}

void ReplacingFile::discard()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    if (!temporaryPath_.isEmpty())
        ::unlink(temporaryPath_.constData());
    temporaryPath_.clear();
    direct_ = false;
    buffer_.resize(0);
}
