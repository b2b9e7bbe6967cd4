#pragma once

// Descriptors and paths, for the POSIX parts of the platform layer only.

#include "platform/dir_scan.h"

#include <QByteArray>

#include <sys/stat.h>
#include <unistd.h>

inline FileIdentity identityOf(const struct stat &st)
{
    return {std::uint64_t(st.st_dev), std::uint64_t(st.st_ino)};
}

inline qint64 nanoseconds(const timespec &t)
{
    return qint64(t.tv_sec) * 1000000000 + t.tv_nsec;
}

inline FileStat fileStatOf(const struct stat &st)
{
    return {identityOf(st), qint64(st.st_size), nanoseconds(st.st_mtim), nanoseconds(st.st_ctim)};
}

// An owned descriptor, closed with its owner.
class Fd
{
public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() { reset(); }
    Fd(Fd &&other) noexcept : fd_(other.release()) {}
    Fd &operator=(Fd &&other) noexcept
    {
        if (this != &other)
            reset(other.release());
        return *this;
    }
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    int release()
    {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    void reset(int fd = -1)
    {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = fd;
    }

private:
    int fd_ = -1;
};

// Opens the folder at path (absolute, or relative to `from`) with the given extra flags
// (O_PATH, say); a negative system error number when it cannot. A path longer than the system's
// PATH_MAX is opened one component at a time, so that no depth the file system holds is out of
// reach.
int openDirectoryAt(int from, const QByteArray &path, int flags);
int openDirectory(const QByteArray &path, int flags);

// Splits a path into its folder and its last name: "a/b" gives "a" and "b", "b" gives "." and
// "b", "/b" gives "/" and "b".
void splitPath(const QByteArray &path, QByteArray *dir, QByteArray *name);
