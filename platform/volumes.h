#pragma once

#include <QString>

#include <functional>
#include <memory>
#include <vector>

// The volumes a drive list offers: the mounted file systems a user keeps files on.
struct Volume {
    QString root;  // where it is mounted, e.g. "/" or "/media/usb"
    QString label; // its name, when it has one
};

class VolumeSource
{
public:
    virtual ~VolumeSource() = default;
    // The volumes, the system volume first.
    virtual std::vector<Volume> volumes() = 0;
    // Whether the volume can be read now (a drive without its medium, a network share gone).
    virtual bool isReady(const QString &root) = 0;

    // Called from the event loop when a file system is mounted or unmounted, once set.
    std::function<void()> onChange;
};

// The system volume, which holds the system and stands in wherever another volume is missing.
inline QString systemVolume()
{
    return QStringLiteral("/");
}

std::unique_ptr<VolumeSource> makeVolumeSource();
