#include "engine/dir_listing.h"

#include <cerrno>
#include <cstring>
#include <strings.h>

namespace {

constexpr qint64 kLargeFolder = 256 * 1024;

class ListingSink : public DirEntrySink
{
public:
    ListingSink(DirListing &listing, const FilePattern &pattern, const std::atomic<bool> *stop)
        : listing_(listing), pattern_(pattern), stop_(stop)
    {}

    void file(const char *name, std::size_t length) override
    {
        if (pattern_.matches(name, length))
            listing_.files.append(name, length);
        // Four names out of a folder's few: cheap enough to look for in every folder.
        if (length <= listing_.coverName.size()) {
            const int rank = coverRank(name, length);
            if (rank >= 0 && (coverRank_ < 0 || rank < coverRank_)) {
                coverRank_ = rank;
                std::memcpy(listing_.coverName.data(), name, length);
                listing_.coverLength = qint8(length);
            }
        }
    }
    void subDir(const char *name, std::size_t length) override
    {
        listing_.subDirs.append(name, length);
    }
    void link(const char *name, std::size_t length) override
    {
        if (!listing_.links)
            listing_.links = std::make_unique<NameList>();
        listing_.links->append(name, length);
    }
    bool stopped() const override { return stop_ && stop_->load(std::memory_order_relaxed); }

private:
    DirListing &listing_;
    const FilePattern &pattern_;
    const std::atomic<bool> *stop_;
    int coverRank_ = -1;
};

} // namespace

int coverRank(const char *name, std::size_t length)
{
    static const char *const stems[] = {"cover", "folder", "front", "album"};
    static const char *const extensions[] = {"jpg", "jpeg", "png", "webp"};
    const char *dot = static_cast<const char *>(std::memchr(name, '.', length));
    if (!dot)
        return -1;
    const std::size_t stemLength = std::size_t(dot - name);
    const std::size_t extensionLength = length - stemLength - 1;
    const auto same = [](const char *a, const char *b, std::size_t n) {
        return std::strlen(b) == n && strncasecmp(a, b, n) == 0;
    };
    for (int stem = 0; stem < 4; ++stem) {
        if (!same(name, stems[stem], stemLength))
            continue;
        for (int extension = 0; extension < 4; ++extension) {
            if (same(dot + 1, extensions[extension], extensionLength))
                return stem * 4 + extension;
        }
    }
    return -1;
}

void readNames(DirListing &listing, const ListingRules &rules, const std::atomic<bool> *stop)
{
    listing.files.clear();
    listing.coverLength = 0;
    listing.coverVersionLength = -1;
    listing.subDirs.clear();
    listing.links.reset();
    listing.details.reset();
    listing.detailsRead = false;
    listing.identities.reset();
    listing.namesRead = true;
    if (listing.openError != 0)
        return;
    // A large folder: its room taken at once, not by doubling (each time a copy of it all).
    const qint64 size = listing.dir ? listing.dir->sizeHint() : 0;
    if (size > kLargeFolder) {
        listing.files.reserve(qsizetype(size / 20), qsizetype(size));
        listing.subDirs.reserve(64, 4096);
    }
    ListingSink sink(listing, rules.pattern, stop);
    listing.readError = listing.dir ? listing.dir->read(sink) : EBADF;
    if (listing.readError != 0) {
        // A directory read only in part would give a list that silently lacks names.
        listing.files.clear();
        listing.subDirs.clear();
        return;
    }
    listing.files.sort(rules.order);
    listing.subDirs.sort(rules.order);
    listing.files.squeeze();
    listing.subDirs.squeeze();
}

void readDetails(DirListing &listing, FileDetails what)
{
    const std::size_t count = std::size_t(listing.files.size());
    listing.details = std::make_unique<DirListing::Details[]>(count);
    listing.detailsRead = true;
    listing.identities.reset();
    if (what == FileDetails::Identities) {
        listing.identities = std::make_unique<DirListing::Identities>();
        listing.identities->files.resize(count);
    }
    for (std::size_t i = 0; i < count; ++i) {
        FileStat stat;
        const int error =
            listing.dir ? listing.dir->stat(listing.files.view(int(i)), &stat) : EBADF;
        DirListing::Details &details = listing.details[i];
        details.size = error != 0 ? -qint64(error) : stat.size;
        details.modifiedNs = stat.modifiedNs;
        if (listing.identities)
            listing.identities->files[i] = {stat.identity, stat.changedNs};
    }
}

int detailsOf(const DirListing &listing, int file, FileStat *stat)
{
    const DirListing::Details &details = listing.details[std::size_t(file)];
    *stat = FileStat();
    if (details.size < 0)
        return int(-details.size);
    stat->size = details.size;
    stat->modifiedNs = details.modifiedNs;
    if (listing.identities) {
        const DirListing::Identity &known = listing.identities->files[std::size_t(file)];
        stat->identity = known.identity;
        stat->changedNs = known.changedNs;
    }
    return 0;
}

std::shared_ptr<DirListing> openedListing(std::shared_ptr<OpenDir> dir, int error)
{
    auto listing = std::make_shared<DirListing>();
    listing->openError = dir ? 0 : error;
    if (dir)
        listing->identity = dir->identity();
    listing->dir = std::move(dir);
    return listing;
}
