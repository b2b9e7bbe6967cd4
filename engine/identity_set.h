#pragma once

#include "platform/file_identity.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// The folders a walk entered: one insert and one look-up a folder, emptied at each walk. Open
// addressing in one block, so that a walk of a watched tree, made again at each change, does
// not allocate and free a node for each of its folders.
class IdentitySet
{
public:
    bool contains(const FileIdentity &id) const
    {
        if (count_ == 0)
            return false;
        for (std::size_t i = slot(id);; i = (i + 1) & mask()) {
            if (!used_[i])
                return false;
            if (slots_[i] == id)
                return true;
        }
    }

    // False when it was there already.
    bool insert(const FileIdentity &id)
    {
        if ((count_ + 1) * 2 > slots_.size())
            grow();
        for (std::size_t i = slot(id);; i = (i + 1) & mask()) {
            if (!used_[i]) {
                used_[i] = 1;
                slots_[i] = id;
                ++count_;
                return true;
            }
            if (slots_[i] == id)
                return false;
        }
    }

    // Empty again; the room stays for the next walk.
    void clear()
    {
        if (count_ == 0)
            return;
        used_.assign(used_.size(), 0);
        count_ = 0;
    }

    std::size_t size() const { return count_; }

private:
    std::size_t mask() const { return slots_.size() - 1; }
    std::size_t slot(const FileIdentity &id) const
    {
        std::uint64_t h = (id.inode ^ (id.device << 32 | id.device >> 32)) * 0x9E3779B97F4A7C15ull;
        return std::size_t(h ^ h >> 29) & mask();
    }

    void grow()
    {
        std::vector<FileIdentity> old;
        std::vector<std::uint8_t> oldUsed;
        old.swap(slots_);
        oldUsed.swap(used_);
        const std::size_t size = old.empty() ? 64 : old.size() * 2;
        slots_.assign(size, FileIdentity());
        used_.assign(size, 0);
        count_ = 0;
        for (std::size_t i = 0; i < old.size(); ++i) {
            if (oldUsed[i])
                insert(old[i]);
        }
    }

    std::vector<FileIdentity> slots_;
    std::vector<std::uint8_t> used_;
    std::size_t count_ = 0;
};
