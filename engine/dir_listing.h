#pragma once

#include "engine/file_pattern.h"
#include "engine/name_list.h"
#include "engine/name_order.h"
#include "engine/ready_folder.h"
#include "platform/dir_scan.h"

#include <array>
#include <atomic>
#include <memory>
#include <vector>

// One reading of a directory, as both source lists need it: the directory opened (what it is
// was settled then), and, once read, the files matching the pattern and the sub-directories,
// each in list order. A directory is opened before it is read, and read only if the walk enters
// it (one met again, or a kernel interface, may be huge or endless).
struct DirListing {
    int openError = 0; // the directory could not be opened: nothing else is known
    int readError = 0; // opened, but its names could not all be read
    FileIdentity identity;
    std::shared_ptr<OpenDir> dir; // let go when the walk is over
    bool namesRead = false;
    bool detailsRead = false; // then `details` holds one for each file
    // Of the cover's version below: its length, or -1 until it is asked for.
    mutable qint8 coverVersionLength = -1;
    qint8 coverLength = 0;
    // The folder's picture file ("cover.jpg", "Folder.png"...), when it has one (see coverRank:
    // at most 11 bytes), held in place as its version is.
    std::array<char, 11> coverName{};
    NameList files;
    NameList subDirs;
    // The names that are symbolic links, whatever they lead to: what they list as may change
    // with no change to this folder. Few folders have any: none is made for the others.
    std::unique_ptr<NameList> links;
    // The cover's version (see fileVersion), once asked for: a reading kept while nothing in the
    // folder changes (a watched tree) does not stat it again. Held in place: a watched tree of
    // 100,000 folders would otherwise hold as many small blocks.
    mutable std::array<char, 16> coverVersion{};
    // Each file's, when they were read with the names (else they are asked for one by one):
    // its size (or, below 0, the system's reason it could not be told) and time, and when
    // asked for, what the tags' cache tells files by. Kept for every file of a watched tree.
    struct Details {
        qint64 size = 0;
        qint64 modifiedNs = 0;
    };
    std::unique_ptr<Details[]> details;
    struct Identity {
        FileIdentity identity;
        qint64 changedNs = 0;
    };
    // Only when the tags' cache is asked (most watched trees never are), with what the lists
    // took of the tags of this reading's files.
    struct Identities {
        std::vector<Identity> files;
        ReadyTags ready;
    };
    std::unique_ptr<Identities> identities;
    // What the lists of a watcher made of this reading (see ReadyPieces): it goes with it.
    mutable ReadyFolder ready;

    QByteArrayView cover() const { return QByteArrayView(coverName.data(), coverLength); }
};

// What a reading keeps and how it orders it: the same for every directory of a walk.
struct ListingRules {
    FilePattern pattern{QStringLiteral("*.mp3")};
    ListOrder order;
};

// Whether a file name is that of a folder's picture: "cover", "folder", "front" or "album"
// with ".jpg", ".jpeg", ".png" or ".webp", in any case. The rank says which wins (lower first),
// -1 when it is none.
int coverRank(const char *name, std::size_t length);

// Reads listing.dir's names: files kept when they match, both lists then sorted. Gives up,
// with ECANCELED, once *stop is set.
void readNames(DirListing &listing, const ListingRules &rules,
               const std::atomic<bool> *stop = nullptr);
// Whether the reading has symbolic links among its names.
inline bool hasLinks(const DirListing &listing)
{
    return listing.links && !listing.links->empty();
}

// Reads the details of each of the listing's files.
void readDetails(DirListing &listing, FileDetails what);
// The file's details as read with the names: 0, or the system's reason there are none.
int detailsOf(const DirListing &listing, int file, FileStat *stat);

// The listing of a directory opened, not read: dir, or the reason there is none.
std::shared_ptr<DirListing> openedListing(std::shared_ptr<OpenDir> dir, int error);
