#include "engine/name_list.h"

#include "engine/name_order.h"

#include <QCollatorSortKey>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

// Sorting by name compares what QString::compare compares without regard to case: the UTF-16
// units of the decoded names, each folded on its own. A million names decoded and compared that
// way take seconds; here the same units are read straight from the UTF-8 bytes, and each one is
// written out as UTF-8 writes a value ("key bytes"), which keeps the units' order and lets an
// ASCII name be its own key, lowercased. Each name's eight key bytes after what all names share
// travel with it through the sort, so that most comparisons touch nothing else.

namespace {

constexpr std::uint32_t kNotAscii = 0x80000000u; // in Item::length
constexpr std::uint32_t kLengthMask = ~kNotAscii;

unsigned char lowered(unsigned char c)
{
    return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c;
}

// The code point of the valid UTF-8 sequence at p, and its length; 0 when none starts there, for
// which QString::fromUtf8 gives one U+FFFD and goes on with the next byte.
int decodeUtf8(const unsigned char *p, const unsigned char *end, char32_t *point)
{
    const unsigned char lead = *p;
    int length;
    char32_t value;
    char32_t least;
    if (lead >= 0xC2 && lead < 0xE0) {
        length = 2, value = lead & 0x1F, least = 0x80;
    } else if (lead >= 0xE0 && lead < 0xF0) {
        length = 3, value = lead & 0x0F, least = 0x800;
    } else if (lead >= 0xF0 && lead < 0xF5) {
        length = 4, value = lead & 0x07, least = 0x10000;
    } else {
        return 0;
    }
    if (end - p < length)
        return 0;
    for (int i = 1; i < length; ++i) {
        if ((p[i] & 0xC0) != 0x80)
            return 0;
        value = (value << 6) | (p[i] & 0x3F);
    }
    if (value < least || (value >= 0xD800 && value < 0xE000) || value > 0x10FFFF)
        return 0;
    *point = value;
    return length;
}

// A name's key bytes, one at a time.
class KeyBytes
{
public:
    KeyBytes(const char *name, std::size_t length)
        : p_(reinterpret_cast<const unsigned char *>(name)), end_(p_ + length)
    {}

    // The next key byte, or -1 after the last.
    int next()
    {
        if (at_ < count_)
            return bytes_[at_++];
        if (lowHalf_ != 0) {
            put(fold(lowHalf_));
            lowHalf_ = 0;
            return bytes_[at_++];
        }
        if (p_ == end_)
            return -1;
        if (*p_ < 0x80)
            return lowered(*p_++);
        char32_t point = 0xFFFD;
        const int length = decodeUtf8(p_, end_, &point);
        p_ += length > 0 ? length : 1;
        if (QChar::requiresSurrogates(point)) {
            lowHalf_ = QChar::lowSurrogate(point);
            put(fold(QChar::highSurrogate(point)));
        } else {
            put(fold(char16_t(point)));
        }
        return bytes_[at_++];
    }

private:
    // One UTF-16 unit folded as QString::compare folds it: a low surrogate with the high one
    // before it as their code point, keeping the low half of the result.
    char16_t fold(char16_t unit)
    {
        char32_t point = unit;
        if (QChar::isLowSurrogate(unit) && QChar::isHighSurrogate(last_))
            point = QChar::surrogateToUcs4(last_, unit);
        last_ = unit;
        const char32_t folded = QChar::toCaseFolded(point);
        return QChar::requiresSurrogates(point) ? QChar::lowSurrogate(folded) : char16_t(folded);
    }

    void put(char16_t unit)
    {
        at_ = 0;
        if (unit < 0x80) {
            bytes_[0] = (unsigned char)unit;
            count_ = 1;
        } else if (unit < 0x800) {
            bytes_[0] = (unsigned char)(0xC0 | (unit >> 6));
            bytes_[1] = (unsigned char)(0x80 | (unit & 0x3F));
            count_ = 2;
        } else {
            bytes_[0] = (unsigned char)(0xE0 | (unit >> 12));
            bytes_[1] = (unsigned char)(0x80 | ((unit >> 6) & 0x3F));
            bytes_[2] = (unsigned char)(0x80 | (unit & 0x3F));
            count_ = 3;
        }
    }

    const unsigned char *p_;
    const unsigned char *end_;
    unsigned char bytes_[3] = {};
    int count_ = 0;
    int at_ = 0;
    char16_t lowHalf_ = 0;
    char16_t last_ = 0;
};

struct Item {
    std::uint64_t prefix; // key bytes [shared, shared + 8), zeros past the end
    std::uint32_t offset;
    std::uint32_t length; // with kNotAscii
};

int compareRaw(const char *a, std::size_t aLength, const char *b, std::size_t bLength)
{
    const int common = std::memcmp(a, b, std::min(aLength, bLength));
    if (common != 0)
        return common;
    return aLength < bLength ? -1 : aLength > bLength ? 1 : 0;
}

int compareFolded(const char *a, std::uint32_t aLength, const char *b, std::uint32_t bLength)
{
    if (((aLength | bLength) & kNotAscii) == 0) {
        const std::uint32_t common = std::min(aLength, bLength);
        for (std::uint32_t i = 0; i < common; ++i) {
            const unsigned char x = lowered(static_cast<unsigned char>(a[i]));
            const unsigned char y = lowered(static_cast<unsigned char>(b[i]));
            if (x != y)
                return x < y ? -1 : 1;
        }
        return aLength < bLength ? -1 : aLength > bLength ? 1 : 0;
    }
    KeyBytes x(a, aLength & kLengthMask);
    KeyBytes y(b, bLength & kLengthMask);
    for (;;) {
        const int p = x.next();
        const int q = y.next();
        if (p != q)
            return p < q ? -1 : 1;
        if (p < 0)
            return 0;
    }
}

// Names compared whole, without the prefixes: for a folder of an album, making them costs more
// than it saves.
constexpr qsizetype kFewNames = 32;

std::size_t sharedKeyBytes(const char *block, const std::vector<Item> &items)
{
    const Item &first = items[0];
    const bool ascii = std::all_of(items.begin(), items.end(),
                                   [](const Item &item) { return !(item.length & kNotAscii); });
    std::size_t shared = first.length & kLengthMask;
    for (const Item &item : items) {
        std::size_t same = 0;
        if (ascii) {
            const std::size_t most = std::min<std::size_t>(shared, item.length);
            while (same < most &&
                   lowered(static_cast<unsigned char>(block[first.offset + same])) ==
                       lowered(static_cast<unsigned char>(block[item.offset + same])))
                ++same;
        } else {
            KeyBytes a(block + first.offset, first.length & kLengthMask);
            KeyBytes b(block + item.offset, item.length & kLengthMask);
            for (int x = a.next(); same < shared && x >= 0 && x == b.next(); x = a.next())
                ++same;
        }
        shared = same;
        if (shared == 0)
            break;
    }
    return shared;
}

std::uint64_t keyPrefix(const char *block, const Item &item, std::size_t shared)
{
    std::uint64_t prefix = 0;
    if (!(item.length & kNotAscii)) {
        for (std::size_t i = shared; i < shared + 8; ++i) {
            const unsigned char byte =
                i < item.length ? lowered(static_cast<unsigned char>(block[item.offset + i])) : 0;
            prefix = (prefix << 8) | byte;
        }
        return prefix;
    }
    KeyBytes key(block + item.offset, item.length & kLengthMask);
    for (std::size_t i = 0; i < shared; ++i)
        key.next();
    for (int i = 0; i < 8; ++i) {
        const int byte = key.next();
        prefix = (prefix << 8) | std::uint64_t(byte < 0 ? 0 : byte);
    }
    return prefix;
}

} // namespace

NameList::NameList(const NameList &other)
{
    *this = other;
}

NameList &NameList::operator=(const NameList &other)
{
    if (this == &other)
        return *this;
    NameList copy;
    if (other.block_) {
        const std::size_t size = blockSize(other.room());
        copy.block_ = static_cast<char *>(std::malloc(size));
        if (!copy.block_)
            throw std::bad_alloc();
        std::memcpy(copy.block_, other.block_, size);
        copy.count_ = other.count_;
        copy.bytes_ = other.bytes_;
    }
    swap(copy);
    return *this;
}

NameList::~NameList()
{
    std::free(block_);
}

void NameList::resize(Room room)
{
    if (room.names == 0 && room.bytes == 0) {
        std::free(block_);
        block_ = nullptr;
        return;
    }
    const Room was = this->room();
    // Offsets are 32 bits: a folder's names beyond 4 GB cannot be held (nor read in any time).
    if (blockSize(room) > UINT32_MAX)
        throw std::bad_alloc();
    const std::size_t from = bytesStart(was.names);
    const std::size_t to = bytesStart(room.names);
    if (to < from) { // records' room shrinks: the names move down before the block does
        std::memmove(block_ + to, block_ + from, bytes_);
        for (std::uint32_t i = 0; i < count_; ++i)
            records()[i].offset -= std::uint32_t(from - to);
    }
    char *block = static_cast<char *>(std::realloc(block_, blockSize(room)));
    if (!block)
        throw std::bad_alloc();
    block_ = block;
    if (to > from) {
        std::memmove(block_ + to, block_ + from, bytes_);
        for (std::uint32_t i = 0; i < count_; ++i)
            records()[i].offset += std::uint32_t(to - from);
    }
    std::memcpy(block_, &room, sizeof room);
}

void NameList::append(const char *name, std::size_t length)
{
    Room room = this->room();
    if (count_ == room.names || bytes_ + length > room.bytes) {
        // Room for a usual folder from the start, rather than growing a few times. Worked out
        // wide: a doubling past 32 bits must not wrap round to less room than is needed.
        std::size_t names = room.names;
        std::size_t bytes = room.bytes;
        if (count_ == room.names)
            names = std::max<std::size_t>(16, names * 2);
        if (bytes_ + length > room.bytes)
            bytes = std::max<std::size_t>({512, bytes * 2, bytes_ + length});
        if (bytesStart(names) + bytes > UINT32_MAX)
            throw std::bad_alloc(); // offsets are 32 bits (see resize)
        resize({std::uint32_t(names), std::uint32_t(bytes)});
        room = this->room();
    }
    const std::uint32_t offset = std::uint32_t(bytesStart(room.names) + bytes_);
    std::memcpy(block_ + offset, name, length);
    records()[count_++] = {offset, std::uint32_t(length)};
    bytes_ += std::uint32_t(length);
}

void NameList::reserve(qsizetype names, qsizetype bytes)
{
    // Only a hint (a folder's size, as its file system tells it): never more than a sane block.
    names = std::clamp<qsizetype>(names, 0, 1 << 24);
    bytes = std::clamp<qsizetype>(bytes, 0, 1 << 28);
    Room room = this->room();
    if (std::uint32_t(names) <= room.names && std::uint32_t(bytes) <= room.bytes)
        return;
    room.names = std::max(room.names, std::uint32_t(names));
    room.bytes = std::max(room.bytes, std::uint32_t(bytes));
    resize(room);
}

void NameList::clear()
{
    count_ = 0;
    bytes_ = 0;
    resize({});
}

void NameList::squeeze()
{
    const Room room = this->room();
    if (room.names != count_ || room.bytes != bytes_)
        resize({count_, bytes_});
}

void NameList::sort(const ListOrder &order)
{
    if (count_ < 2)
        return;
    if (order.natural())
        sortNaturally(order);
    else
        sortByName();
}

void NameList::sortByName()
{
    const char *block = block_;
    const qsizetype count = count_;
    std::vector<Item> items(static_cast<std::size_t>(count));
    for (qsizetype i = 0; i < count; ++i) {
        const Name &name = records()[i];
        std::uint32_t length = name.length;
        for (std::uint32_t k = 0; k < name.length; ++k) {
            if (static_cast<unsigned char>(block[name.offset + k]) >= 0x80) {
                length |= kNotAscii;
                break;
            }
        }
        items[std::size_t(i)] = {0, name.offset, length};
    }
    // What all keys share, measured against the first one, then each key's next eight bytes.
    // A few names are compared whole at once.
    if (count > kFewNames) {
        const std::size_t shared = sharedKeyBytes(block, items);
        for (Item &item : items)
            item.prefix = keyPrefix(block, item, shared);
    }

    std::sort(items.begin(), items.end(), [block](const Item &a, const Item &b) {
        if (a.prefix != b.prefix)
            return a.prefix < b.prefix;
        const int folded = compareFolded(block + a.offset, a.length, block + b.offset, b.length);
        if (folded != 0)
            return folded < 0;
        return compareRaw(block + a.offset, a.length & kLengthMask, block + b.offset,
                          b.length & kLengthMask) < 0;
    });
    Name *name = records();
    for (const Item &item : items)
        *name++ = {item.offset, item.length & kLengthMask};
}

void NameList::sortNaturally(const ListOrder &order)
{
    // ICU's sort keys, made once for each name; ties go by name.
    const qsizetype count = count_;
    std::vector<QCollatorSortKey> keys;
    keys.reserve(std::size_t(count));
    for (qsizetype i = 0; i < count; ++i)
        keys.push_back(order.collator().sortKey(text(int(i))));
    std::vector<std::uint32_t> items(static_cast<std::size_t>(count));
    for (std::uint32_t i = 0; i < std::uint32_t(count); ++i)
        items[i] = i;
    std::sort(items.begin(), items.end(), [&](std::uint32_t a, std::uint32_t b) {
        const int collated = keys[a].compare(keys[b]);
        if (collated != 0)
            return collated < 0;
        return nameBefore(listed(int(a)), listed(int(b)));
    });
    std::vector<Name> sorted;
    sorted.reserve(std::size_t(count));
    for (const std::uint32_t i : items)
        sorted.push_back(records()[i]);
    std::copy(sorted.begin(), sorted.end(), records());
}
