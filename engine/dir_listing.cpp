#include "engine/dir_listing.h"

#include <cerrno>

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
    }
    void subDir(const char *name, std::size_t length) override
    {
        listing_.subDirs.append(name, length);
    }
    bool stopped() const override { return stop_ && stop_->load(std::memory_order_relaxed); }

private:
    DirListing &listing_;
    const FilePattern &pattern_;
    const std::atomic<bool> *stop_;
};

} // namespace

void readNames(DirListing &listing, const ListingRules &rules, const std::atomic<bool> *stop)
{
    listing.files.clear();
    listing.subDirs.clear();
    listing.details.clear();
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
}

void readDetails(DirListing &listing)
{
    listing.details.resize(std::size_t(listing.files.size()));
    for (int i = 0; i < listing.files.size(); ++i) {
        DirListing::Details &details = listing.details[std::size_t(i)];
        details.error =
            listing.dir ? listing.dir->stat(listing.files.view(i), &details.stat) : EBADF;
    }
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
