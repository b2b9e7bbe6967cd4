#pragma once

#include "engine/dir_listing.h"

#include <QByteArray>

#include <memory>

// Reads a walk's next directories before the walk asks for them, on threads of its own, so that
// the system's work for them (opening, reading, and on a cold disk waiting) overlaps the walk's,
// and several reads are in flight at once. It guesses the walk's course (depth first, in list
// order, not into a directory read already nor into a kernel interface) and never decides it:
// the walk takes a listing read ahead as the one it would have read itself a moment later, and
// reads for itself whatever was not read ahead. Each directory is opened from the listing of
// its parent, the one the walk took, never by its path.
class ReadAhead
{
public:
    // With details, each file's too (see FileStat): the walk then asks for none of them.
    ReadAhead(const ListingRules &rules, FileDetails details);
    ~ReadAhead(); // stops reading, and waits for the threads
    ReadAhead(const ReadAhead &) = delete;
    ReadAhead &operator=(const ReadAhead &) = delete;

    // The listing of path, names read, if it was read ahead (waiting while it is being read);
    // null when the walk must open and read it itself. Directories the walk has gone past are
    // forgotten.
    std::shared_ptr<DirListing> take(const QByteArray &path);
    // A directory the walk read itself (the first one, or one not read ahead): the ones below
    // it are read ahead next.
    void seed(const QByteArray &path, const std::shared_ptr<DirListing> &listing);

private:
    struct State;
    std::shared_ptr<State> state_;
};
