#pragma once

#include "engine/listing_host.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include <cstdint>

class ListOrder;

// The names of one folder, kept compactly: their bytes back to back in one block and a record of
// 8 bytes for each, so that a folder of a million files costs tens of megabytes, not hundreds.
// Both grow by reallocation, which the system does for large blocks by moving pages, not bytes.
// Sorted in the lists' order (see ListOrder), exactly as a sort of ListedName would order them.
class NameList
{
public:
    void append(const char *name, std::size_t length);
    // Room for about this many names and bytes, taken before they come.
    void reserve(qsizetype names, qsizetype bytes);
    void clear();
    // No more room than the names take: a reading kept for long (a watched tree) holds only
    // what it needs.
    void squeeze()
    {
        block_.squeeze();
        names_.squeeze();
    }
    // Puts the names in the order asked.
    void sort(const ListOrder &order);

    int size() const { return int(names_.size()); }
    bool empty() const { return names_.isEmpty(); }
    // The name's bytes where the list keeps them: valid while the list lives unchanged.
    QByteArrayView view(int i) const
    {
        const Name &name = names_[i];
        return QByteArrayView(block_.constData() + name.offset, name.length);
    }
    QByteArray bytes(int i) const { return view(i).toByteArray(); }
    QString text(int i) const { return QString::fromUtf8(view(i)); }
    ListedName listed(int i) const
    {
        // Names are read in order, their bytes from all over the block: the ones a little
        // further on are asked for now, so that their wait overlaps this one's work.
        if (i + kReadAhead < names_.size())
            prefetch(block_.constData() + names_[i + kReadAhead].offset);
        return {bytes(i), text(i)};
    }
    // Bytes held, names and records together.
    qsizetype footprint() const
    {
        return block_.capacity() + names_.capacity() * qsizetype(sizeof(Name));
    }

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

    struct Name {
        std::uint32_t offset;
        std::uint32_t length;
    };
    void sortByName();
    void sortNaturally(const ListOrder &order);

    QByteArray block_;
    QList<Name> names_;
};
