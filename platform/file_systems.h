#pragma once

#include <cstdint>
#include <memory>

// The file systems mounted now, told apart by the device a folder reports.
class FileSystems
{
public:
    FileSystems();
    ~FileSystems();
    FileSystems(const FileSystems &) = delete;
    FileSystems &operator=(const FileSystems &) = delete;

    // Whether the device holds a kernel interface rather than files (proc, sysfs, devtmpfs,
    // cgroup...): a walk that reaches one through a link must not enter it. Decided by the type
    // the mount table gives, since statfs() reports devtmpfs as tmpfs, which also holds real
    // trees. A device the table does not know is taken for an ordinary one.
    bool isPseudo(std::uint64_t device);
    // Reads the mount table again at the next question (mounts change between two runs).
    void refresh();

private:
    struct Table;
    std::unique_ptr<Table> table_;
};
