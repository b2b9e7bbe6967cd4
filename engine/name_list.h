#pragma once

#include "engine/listing_host.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <cstdint>
#include <cstring>
#include <utility>

class ListOrder;

// The names of one folder, kept compactly: one block holding a record of 8 bytes for each name,
// then their bytes back to back, so that a folder of a million files costs tens of megabytes, not
// hundreds, and a watched tree of 100,000 folders holds one small block a folder, not two.
// The block grows by reallocation, which the system does for large blocks by moving pages, not
// bytes. Sorted in the lists' order (see ListOrder), exactly as a sort of ListedName would order
// them.
class NameList
{
public:
    NameList() = default;
    NameList(const NameList &other);
    NameList &operator=(const NameList &other);
    NameList(NameList &&other) noexcept { swap(other); }
    NameList &operator=(NameList &&other) noexcept
    {
        NameList gone(std::move(*this));
        swap(other);
        return *this;
    }
    ~NameList();

    void append(const char *name, std::size_t length);
    // Room for about this many names and bytes, taken before they come.
    void reserve(qsizetype names, qsizetype bytes);
    void clear();
    // No more room than the names take: a reading kept for long (a watched tree) holds only
    // what it needs.
    void squeeze();
    // Puts the names in the order asked.
    void sort(const ListOrder &order);

    int size() const { return int(count_); }
    bool empty() const { return count_ == 0; }
    // The name's bytes where the list keeps them: valid while the list lives unchanged.
    QByteArrayView view(int i) const
    {
        const Name &name = records()[i];
        return QByteArrayView(block_ + name.offset, name.length);
    }
    QByteArray bytes(int i) const { return view(i).toByteArray(); }
    QString text(int i) const { return QString::fromUtf8(view(i)); }
    ListedName listed(int i) const
    {
        const QByteArrayView name = viewAhead(i);
        return {name.toByteArray(), QString::fromUtf8(name)};
    }
    QByteArrayView viewAhead(int i) const
    {
        // Names are read in order, their bytes from all over the block: the ones a little
        // further on are asked for now, so that their wait overlaps this one's work.
        if (i + kReadAhead < int(count_))
            prefetch(block_ + records()[i + kReadAhead].offset);
        return view(i);
    }
    // Bytes held, names and records together.
    qsizetype footprint() const { return block_ ? qsizetype(blockSize(room())) : 0; }

private:
    static constexpr int kReadAhead = 8;
    static void prefetch(const char *at)
    {
#if defined(__GNUC__)
        __builtin_prefetch(at);
#else
        (void)at;
#endif
    }

    // A name: where its bytes are from the block's start, and how many.
    struct Name {
        std::uint32_t offset;
        std::uint32_t length;
    };
    // What the block has room for, at its start: the records follow, then the names' bytes.
    struct Room {
        std::uint32_t names = 0;
        std::uint32_t bytes = 0;
    };
    // Wide, so that a room asked for past 32 bits is seen to be.
    static std::size_t bytesStart(std::size_t names)
    {
        return sizeof(Room) + names * sizeof(Name);
    }
    static std::size_t blockSize(const Room &room)
    {
        return bytesStart(room.names) + room.bytes;
    }
    Room room() const
    {
        Room room;
        if (block_)
            std::memcpy(&room, block_, sizeof room);
        return room;
    }
    Name *records() const
    {
        return reinterpret_cast<Name *>(block_ + sizeof(Room));
    }
    // Gives the block exactly this room, names and bytes kept.
    void resize(Room room);
    void swap(NameList &other) noexcept
    {
        std::swap(block_, other.block_);
        std::swap(count_, other.count_);
        std::swap(bytes_, other.bytes_);
    }
    void sortByName();
    void sortNaturally(const ListOrder &order);

    char *block_ = nullptr;
    std::uint32_t count_ = 0;
    std::uint32_t bytes_ = 0; // of the names, held from bytesStart(room().names) on
};
