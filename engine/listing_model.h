#pragma once

#include "engine/dir_listing.h"

#include <QByteArray>

#include <functional>
#include <map>
#include <memory>
#include <unordered_map>
#include <unordered_set>

// What a watching lystora-list keeps of the tree between two lists: each folder's last reading
// (its sub-folders, the files that match, their sizes and times), by the path the walk reached it
// by, without a descriptor. The next list reads again only the folders the kernel said changed
// (forgotten here as their changes come) and takes the others from here, in the same walk, so
// that its bytes are those a fresh run would write. About 80 bytes a file.
//
// Only what the kernel reports on can be kept: a folder it does not watch, and one holding
// symbolic links (what they lead to may change anywhere), are read again each time. A path
// through a link is checked to lead to the same folder as before.
class ListingModel
{
public:
    ListingModel() = default;
    ListingModel(const ListingModel &) = delete; // it holds a place in itself
    ListingModel &operator=(const ListingModel &) = delete;

    // Whether changes to a folder are reported (see forgetFolder): none is kept until set.
    std::function<bool(const FileIdentity &)> watched;
    // The folder the walks start from: what is kept is below it (others are read each time),
    // by its path from there. Another forgets everything.
    void setRoot(const QByteArray &root);

    // The reading kept of the folder at path, names read; null when there is none or it may
    // be out of date.
    std::shared_ptr<DirListing> find(const QByteArray &path);
    // Keeps a reading (its descriptor let go).
    void keep(const QByteArray &path, const std::shared_ptr<DirListing> &listing);
    // A folder changed: every path that led to it is read again.
    void forgetFolder(const FileIdentity &identity);
    // A name of that folder appeared, vanished or moved: what was kept below it goes too.
    void forgetBelow(const FileIdentity &folder, const QByteArray &name);
    // Whether the last reading of that folder had name among its sub-folders (a link to a
    // folder, once gone, cannot say what it led to).
    bool hadFolder(const FileIdentity &folder, QByteArrayView name) const;
    void clear();

    bool empty() const { return byPath_.empty(); }
    // Bytes held, roughly.
    qsizetype footprint() const;

private:
    // Ordered by their bytes, and asked by a part of a path as well.
    struct ByBytes {
        using is_transparent = void;
        bool operator()(QByteArrayView a, QByteArrayView b) const noexcept { return a < b; }
    };
    using Readings = std::map<QByteArray, std::shared_ptr<DirListing>, ByBytes>;

    // The path below the root of one under it; false for any other.
    bool keyOf(const QByteArray &path, QByteArrayView *key) const;
    // Whether the reading kept under that key changed since (few do: none, not even hashed).
    bool isStale(const QByteArray &key) const { return !stale_.empty() && stale_.count(&key) != 0; }
    void erase(QByteArrayView key);
    void eraseFrom(const QByteArray &top); // top and all below it
    // The links of the reading that was at key which `now` (the one taking its place, if any)
    // no longer has: their paths and what was kept below them go.
    void dropLinks(const QByteArray &key, const DirListing &was, const DirListing *now);

    QByteArray root_; // without its last '/': empty for "/", whose paths are their own keys
    Readings byPath_; // ordered: a subtree is a range
    Readings::iterator cursor_ = byPath_.end(); // the last found, or end()
    // Each folder's paths: the keys of byPath_ (a map's keys stay where they are).
    std::unordered_multimap<FileIdentity, const QByteArray *> paths_;
    // Those changed since they were kept: read again by the next list. The old reading stays
    // until then, for what only it can tell (hadFolder), and its paths for the changes still
    // to come. Few at a time: a set beside the map rather than a flag in each of its nodes.
    std::unordered_set<const QByteArray *> stale_;
    std::unordered_set<QByteArray> linkPaths_; // paths whose last name is a link
};
