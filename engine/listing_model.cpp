#include "engine/listing_model.h"

#include <vector>

namespace {

QByteArray below(const QByteArray &parent, QByteArrayView name)
{
    QByteArray path = parent;
    if (!path.endsWith('/'))
        path += '/';
    return path.append(name);
}

} // namespace

std::shared_ptr<DirListing> ListingModel::find(const QByteArray &path)
{
    // A walk asks for the folders much in the order they are kept in (a path's first folder
    // comes right after it): the one after the last found is tried before a search from the
    // top, whose twenty comparisons of long paths sharing their beginning each cost a walk of
    // a hundred thousand folders more than all its other work on the model.
    auto found = cursor_ != byPath_.end() ? std::next(cursor_) : byPath_.end();
    if (found == byPath_.end() || found->first != path)
        found = byPath_.find(path);
    if (found == byPath_.end())
        return nullptr;
    cursor_ = found;
    if (found->second.stale)
        return nullptr;
    const std::shared_ptr<DirListing> &listing = found->second.listing;
    if (hasLinks(*listing))
        return nullptr;
    if (!linkPaths_.empty() && linkPaths_.count(path) != 0) {
        FileIdentity now;
        if (directoryIdentity(path, &now) != 0 || now != listing->identity) {
            eraseFrom(path); // the link leads elsewhere: what was kept below it is of another
            return nullptr;
        }
    }
    return listing;
}

void ListingModel::keep(const QByteArray &path, const std::shared_ptr<DirListing> &listing)
{
    // A folder that could not be read is tried again each time (it may be a passing fault).
    if (!listing || !listing->namesRead || listing->openError != 0 || listing->readError != 0 ||
        !watched || !watched(listing->identity)) {
        erase(path);
        return;
    }
    const auto found = byPath_.find(path);
    // Taken from here, unchanged (most folders of a list): nothing to note again.
    if (found != byPath_.end() && found->second.listing == listing && !found->second.stale)
        return;
    if (found != byPath_.end()) {
        if (found->second.listing->identity != listing->identity)
            erase(path); // another folder at that path now
        else
            dropLinks(path, *found->second.listing, listing.get());
    }
    if (hasLinks(*listing)) {
        for (int i = 0; i < listing->links->size(); ++i)
            linkPaths_.insert(below(path, listing->links->view(i)));
    }
    // Its descriptor goes when the walk leaves it (see FsDirectoryReader): none is held
    // between two lists, so that a disk shown here stays free to be unmounted.
    const auto [kept, isNew] = byPath_.insert_or_assign(path, Kept{listing, false});
    if (isNew)
        paths_.emplace(listing->identity, &kept->first);
}

void ListingModel::erase(const QByteArray &path)
{
    const auto found = byPath_.find(path);
    if (found == byPath_.end())
        return;
    const std::shared_ptr<DirListing> listing = found->second.listing;
    const auto range = paths_.equal_range(listing->identity);
    for (auto it = range.first; it != range.second; ++it) {
        if (*it->second == path) {
            paths_.erase(it);
            break;
        }
    }
    if (cursor_ == found)
        cursor_ = byPath_.end();
    byPath_.erase(found);
    dropLinks(path, *listing, nullptr);
}

void ListingModel::dropLinks(const QByteArray &path, const DirListing &was, const DirListing *now)
{
    if (!hasLinks(was))
        return;
    std::unordered_set<QByteArrayView> kept;
    if (now && hasLinks(*now)) {
        for (int i = 0; i < now->links->size(); ++i)
            kept.insert(now->links->view(i));
    }
    // What was kept through a link is only ever trusted after its check here: with the link's
    // path gone from the checks, what was kept through it goes too.
    std::vector<QByteArray> gone;
    for (int i = 0; i < was.links->size(); ++i) {
        if (kept.count(was.links->view(i)) == 0)
            gone.push_back(below(path, was.links->view(i)));
    }
    for (const QByteArray &link : gone) {
        linkPaths_.erase(link);
        eraseFrom(link);
    }
}

void ListingModel::eraseFrom(const QByteArray &top)
{
    std::vector<QByteArray> gone{top};
    // What is below it: "top/...", the range of the ordered paths from "top/" to "top0".
    const auto end = byPath_.lower_bound(top + '0');
    for (auto it = byPath_.lower_bound(top + '/'); it != end; ++it)
        gone.push_back(it->first);
    for (const QByteArray &path : gone)
        erase(path);
}

void ListingModel::forgetFolder(const FileIdentity &identity)
{
    const auto range = paths_.equal_range(identity);
    for (auto it = range.first; it != range.second; ++it)
        byPath_.at(*it->second).stale = true;
}

void ListingModel::forgetBelow(const FileIdentity &folder, const QByteArray &name)
{
    std::vector<QByteArray> tops;
    const auto range = paths_.equal_range(folder);
    for (auto it = range.first; it != range.second; ++it)
        tops.push_back(below(*it->second, name));
    for (const QByteArray &top : tops)
        eraseFrom(top);
}

bool ListingModel::hadFolder(const FileIdentity &folder, QByteArrayView name) const
{
    const auto range = paths_.equal_range(folder);
    for (auto it = range.first; it != range.second; ++it) {
        const NameList &subDirs = byPath_.at(*it->second).listing->subDirs;
        for (int i = 0; i < subDirs.size(); ++i) {
            if (subDirs.view(i) == name)
                return true;
        }
    }
    return false;
}

void ListingModel::clear()
{
    byPath_.clear();
    cursor_ = byPath_.end();
    paths_.clear();
    linkPaths_.clear();
}

qsizetype ListingModel::footprint() const
{
    qsizetype bytes = 0;
    for (const auto &[path, kept] : byPath_) {
        const DirListing &listing = *kept.listing;
        bytes +=
            path.capacity() + qsizetype(sizeof(DirListing)) + listing.files.footprint() +
            listing.subDirs.footprint() + (listing.links ? listing.links->footprint() : 0) +
            (listing.detailsRead ? listing.files.size() * qsizetype(sizeof(DirListing::Details))
                                 : 0);
    }
    for (const QByteArray &path : linkPaths_)
        bytes += path.capacity();
    return bytes;
}
