#include "platform/file_systems.h"

#include <QByteArray>
#include <QFile>
#include <QList>

#include <algorithm>
#include <sys/sysmacros.h>
#include <unordered_map>

namespace {

const char *const kPseudoTypes[] = {
    "proc",    "sysfs",   "devtmpfs",   "devpts",      "cgroup",   "cgroup2",
    "debugfs", "tracefs", "securityfs", "pstore",      "bpf",      "configfs",
    "fusectl", "mqueue",  "hugetlbfs",  "binfmt_misc", "efivarfs",
};

} // namespace

struct FileSystems::Table {
    bool read = false;
    std::unordered_map<std::uint64_t, bool> pseudo; // by device
    std::uint64_t lastDevice = ~std::uint64_t(0);
    bool lastPseudo = false;

    void load()
    {
        read = true;
        pseudo.clear();
        lastDevice = ~std::uint64_t(0);
        // "36 35 98:0 /mnt1 /mnt2 rw,noatime master:1 - ext3 /dev/root rw": the device is the
        // third field, the type the first one after " - ".
        QFile mounts(QStringLiteral("/proc/self/mountinfo"));
        if (!mounts.open(QIODevice::ReadOnly))
            return;
        for (const QByteArray &line : mounts.readAll().split('\n')) {
            const QList<QByteArray> fields = line.split(' ');
            const qsizetype dash = fields.indexOf("-");
            if (fields.size() < 3 || dash < 0 || dash + 1 >= fields.size())
                continue;
            const QList<QByteArray> numbers = fields[2].split(':');
            if (numbers.size() != 2)
                continue;
            const std::uint64_t device = makedev(numbers[0].toUInt(), numbers[1].toUInt());
            const QByteArray &type = fields[dash + 1];
            pseudo[device] = std::any_of(std::begin(kPseudoTypes), std::end(kPseudoTypes),
                                         [&](const char *kind) { return type == kind; });
        }
    }
};

FileSystems::FileSystems() : table_(std::make_unique<Table>())
{}

FileSystems::~FileSystems() = default;

bool FileSystems::isPseudo(std::uint64_t device)
{
    if (!table_->read)
        table_->load();
    // A walk stays on one device for long stretches.
    if (device != table_->lastDevice) {
        const auto found = table_->pseudo.find(device);
        table_->lastDevice = device;
        table_->lastPseudo = found != table_->pseudo.end() && found->second;
    }
    return table_->lastPseudo;
}

void FileSystems::refresh()
{
    table_->read = false;
}
