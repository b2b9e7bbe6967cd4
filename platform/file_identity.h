#pragma once

#include <cstdint>
#include <functional>

// A file or folder on disk, whatever names lead to it: its device and inode.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    friend bool operator==(const FileIdentity &a, const FileIdentity &b)
    {
        return a.device == b.device && a.inode == b.inode;
    }
    friend bool operator!=(const FileIdentity &a, const FileIdentity &b) { return !(a == b); }
};

template <> struct std::hash<FileIdentity> {
    std::size_t operator()(const FileIdentity &id) const noexcept
    {
        return std::hash<std::uint64_t>()(id.inode * 0x9E3779B97F4A7C15ull ^ id.device);
    }
};
