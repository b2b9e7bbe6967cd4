#include "platform/dir_scan.h"

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

DirScan scanDirectory(const QByteArray &path)
{
    DirScan scan;
    const int fd = ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        scan.error = errno;
        return scan;
    }
    struct stat self;
    if (::fstat(fd, &self) != 0) {
        scan.error = errno;
        ::close(fd);
        return scan;
    }
    scan.device = self.st_dev;
    scan.inode = self.st_ino;

    DIR *dir = ::fdopendir(fd);
    if (!dir) {
        scan.error = errno;
        ::close(fd);
        return scan;
    }
    for (;;) {
        errno = 0;
        const dirent *entry = ::readdir(dir);
        if (!entry) {
            // A directory read only in part would give a list that silently lacks names.
            if (errno != 0) {
                scan.error = errno;
                scan.files.clear();
                scan.subDirs.clear();
            }
            break;
        }
        const char *name = entry->d_name;
        if (name[0] == '.')
            continue;
        unsigned char type = entry->d_type;
        // The type from the directory itself saves a stat per name; links and file systems that
        // do not give it need one.
        if (type == DT_LNK || type == DT_UNKNOWN) {
            struct stat target;
            if (::fstatat(fd, name, &target, 0) != 0)
                continue;
            type = S_ISREG(target.st_mode) ? DT_REG : S_ISDIR(target.st_mode) ? DT_DIR : DT_UNKNOWN;
        }
        if (type == DT_REG)
            scan.files.emplace_back(name);
        else if (type == DT_DIR)
            scan.subDirs.emplace_back(name);
    }
    ::closedir(dir);
    return scan;
}
