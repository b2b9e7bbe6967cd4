#pragma once

#include <QByteArray>

#include <cstdint>
#include <vector>

// One reading of a directory, as the source lists need it. Names starting with a dot are left
// out (hidden entries). A symbolic link counts as what it points to; a link that points nowhere,
// and anything that is neither an ordinary file nor a directory (sockets, pipes, devices), is
// left out. Names are the file system's own bytes, in the order the system returns them.
struct DirScan {
    int error = 0; // 0, or the system's error number when the directory could not be read
    std::uint64_t device = 0; // identity of the directory itself
    std::uint64_t inode = 0;
    std::vector<QByteArray> files;
    std::vector<QByteArray> subDirs;
};

DirScan scanDirectory(const QByteArray &path);
