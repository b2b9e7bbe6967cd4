#include "platform/volumes.h"

#include "platform/path_kind.h"

#include <QFile>
#include <QSocketNotifier>
#include <QStorageInfo>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>

namespace {

// File systems that hold no user files: kernel interfaces and the like.
bool isPseudo(const QStorageInfo &volume)
{
    static const char *const pseudoTypes[] = {
        "proc",       "sysfs",    "devtmpfs", "devpts",      "cgroup", "cgroup2",
        "securityfs", "pstore",   "debugfs",  "tracefs",     "bpf",    "mqueue",
        "hugetlbfs",  "configfs", "fusectl",  "binfmt_misc", "autofs", "efivarfs",
        "rpc_pipefs", "nsfs",     "squashfs", "ramfs",       "tmpfs",
    };
    const QByteArray type = volume.fileSystemType();
    if (std::any_of(std::begin(pseudoTypes), std::end(pseudoTypes),
                    [&](const char *pseudo) { return type == pseudo; }))
        return true;
    const QString root = volume.rootPath();
    for (const char *system : {"/proc", "/sys", "/run", "/dev", "/boot/efi", "/snap"}) {
        const QString prefix = QString::fromLatin1(system);
        if (root == prefix || root.startsWith(prefix + QLatin1Char('/')))
            return true;
    }
    return false;
}

class MountedVolumes : public VolumeSource
{
public:
    // The kernel marks its table of mounts exceptional (POLLPRI) whenever it changes.
    MountedVolumes() : mounts_(::open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC))
    {
        if (mounts_ < 0)
            return;
        notifier_ = std::make_unique<QSocketNotifier>(mounts_, QSocketNotifier::Exception);
        QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] {
            char buffer[4096];
            ::lseek(mounts_, 0, SEEK_SET);
            while (::read(mounts_, buffer, sizeof buffer) > 0) {
            } // read to its end: the next change is told anew
            if (onChange)
                onChange();
        });
    }
    ~MountedVolumes() override
    {
        notifier_.reset();
        if (mounts_ >= 0)
            ::close(mounts_);
    }

    std::vector<Volume> volumes() override
    {
        std::vector<Volume> found{{systemVolume(), QString()}};
        for (const QStorageInfo &volume : QStorageInfo::mountedVolumes()) {
            if (volume.rootPath() == systemVolume()) {
                found.front().label = volume.name();
                continue;
            }
            if (!volume.isValid() || isPseudo(volume))
                continue;
            found.push_back({volume.rootPath(), volume.name()});
        }
        std::sort(found.begin() + 1, found.end(),
                  [](const Volume &a, const Volume &b) { return a.root < b.root; });
        return found;
    }

    bool isReady(const QString &root) override
    {
        const QStorageInfo volume(root);
        if (volume.isValid() && volume.isReady())
            return true;
        // In a chroot the system's root is in no mount table the program can see; it is there
        // all the same.
        return root == systemVolume() && pathKind(QFile::encodeName(root)) == PathKind::Directory;
    }

private:
    int mounts_;
    std::unique_ptr<QSocketNotifier> notifier_;
};

} // namespace

std::unique_ptr<VolumeSource> makeVolumeSource()
{
    return std::make_unique<MountedVolumes>();
}
