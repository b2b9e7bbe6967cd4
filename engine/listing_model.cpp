#include "engine/listing_model.h"

#include "engine/fs_lists.h"

#include <vector>

void ListingModel::setRoot(const QByteArray &root)
{
    QByteArray key = root;
    if (key.endsWith('/'))
        key.chop(1);
    if (key == root_)
        return;
    clear();
    root_ = key;
}

bool ListingModel::keyOf(const QByteArray &path, QByteArrayView *key) const
{
    // Kept without the root's own path, the same in each of them: on a large tree, a tenth of
    // what is kept of a folder.
    if (!path.startsWith(root_) || (path.size() > root_.size() && path[root_.size()] != '/'))
        return false;
    *key = QByteArrayView(path).sliced(root_.size());
    return true;
}

std::shared_ptr<DirListing> ListingModel::find(const QByteArray &path)
{
    QByteArrayView key;
    if (!keyOf(path, &key))
        return nullptr;
    // A walk asks for the folders much in the order they are kept in (a path's first folder
    // comes right after it): the one after the last found is tried before a search from the
    // top, whose twenty comparisons of long paths sharing their beginning each cost a walk of
    // a hundred thousand folders more than all its other work on the model.
    auto found = cursor_ != byPath_.end() ? std::next(cursor_) : byPath_.end();
    if (found == byPath_.end() || QByteArrayView(found->first) != key)
        found = byPath_.find(key);
    if (found == byPath_.end())
        return nullptr;
    cursor_ = found;
    if (isStale(found->first))
        return nullptr;
    const std::shared_ptr<DirListing> &listing = found->second;
    if (hasLinks(*listing))
        return nullptr;
    if (!linkPaths_.empty() && linkPaths_.count(found->first) != 0) {
        FileIdentity now;
        if (directoryIdentity(path, &now) != 0 || now != listing->identity) {
            // The link leads elsewhere: what was kept below it is of another.
            eraseFrom(found->first);
            return nullptr;
        }
    }
    return listing;
}

void ListingModel::keep(const QByteArray &path, const std::shared_ptr<DirListing> &listing)
{
    QByteArrayView key;
    if (!keyOf(path, &key))
        return;
    // A folder that could not be read is tried again each time (it may be a passing fault).
    if (!listing || !listing->namesRead || listing->openError != 0 || listing->readError != 0 ||
        !watched || !watched(listing->identity)) {
        erase(key);
        return;
    }
    if (const auto found = byPath_.find(key); found != byPath_.end()) {
        // Taken from here, unchanged (most folders of a list): nothing to note again.
        if (found->second == listing && !isStale(found->first))
            return;
        if (found->second->identity != listing->identity) {
            erase(key); // another folder at that path now
        } else {
            dropLinks(found->first, *found->second, listing.get());
            stale_.erase(&found->first);
        }
    }
    // The key's own bytes, exactly: the path it is cut from has room to grow.
    const QByteArray own(key.data(), key.size());
    if (hasLinks(*listing)) {
        for (int i = 0; i < listing->links->size(); ++i)
            linkPaths_.insert(childPath(own, listing->links->view(i)));
    }
    // Its descriptor goes when the walk leaves it (see FsDirectoryReader): none is held
    // between two lists, so that a disk shown here stays free to be unmounted.
    const auto [kept, isNew] = byPath_.insert_or_assign(own, listing);
    if (isNew)
        paths_.emplace(listing->identity, &kept->first);
}

void ListingModel::erase(QByteArrayView key)
{
    const auto found = byPath_.find(key);
    if (found == byPath_.end())
        return;
    const std::shared_ptr<DirListing> listing = found->second;
    const auto range = paths_.equal_range(listing->identity);
    for (auto it = range.first; it != range.second; ++it) {
        if (it->second == &found->first) {
            paths_.erase(it);
            break;
        }
    }
    stale_.erase(&found->first);
    if (cursor_ == found)
        cursor_ = byPath_.end();
    const QByteArray was = found->first;
    byPath_.erase(found);
    dropLinks(was, *listing, nullptr);
}

void ListingModel::dropLinks(const QByteArray &key, const DirListing &was, const DirListing *now)
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
            gone.push_back(childPath(key, was.links->view(i)));
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
    for (const QByteArray &key : gone)
        erase(key);
}

void ListingModel::forgetFolder(const FileIdentity &identity)
{
    const auto range = paths_.equal_range(identity);
    for (auto it = range.first; it != range.second; ++it)
        stale_.insert(it->second);
}

void ListingModel::forgetBelow(const FileIdentity &folder, const QByteArray &name)
{
    std::vector<QByteArray> tops;
    const auto range = paths_.equal_range(folder);
    for (auto it = range.first; it != range.second; ++it)
        tops.push_back(childPath(*it->second, name));
    for (const QByteArray &top : tops)
        eraseFrom(top);
}

bool ListingModel::hadFolder(const FileIdentity &folder, QByteArrayView name) const
{
    const auto range = paths_.equal_range(folder);
    for (auto it = range.first; it != range.second; ++it) {
        const NameList &subDirs = byPath_.find(*it->second)->second->subDirs;
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
    stale_.clear();
    linkPaths_.clear();
}

qsizetype ListingModel::footprint() const
{
    qsizetype bytes = 0;
    for (const auto &[path, kept] : byPath_) {
        const DirListing &listing = *kept;
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
