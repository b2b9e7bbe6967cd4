#pragma once

#include "engine/list_outputs.h"

#include <memory>

struct sqlite3;

// Tags as TagLib reads them, kept in an SQLite database (tags.sqlite under
// $XDG_CACHE_HOME/lystora/) so that a rewrite after one album is copied in reads only that
// album's files. An entry counts while its file has the same device, inode, size, modification
// and change times. The window and several watching lystora-list may share the cache: it is
// written in write-ahead mode, and waits for the others rather than failing; where it cannot
// be written, tags are read all the same. A file that is no database of this program's, or a
// damaged one, is made anew. After a full walk of a source, the entries of files not met in it
// go.
class TagCache : public TrackInfoSource
{
public:
    // The cache at its usual place.
    TagCache();
    // The cache in this file (a test's own).
    explicit TagCache(const QByteArray &file);
    ~TagCache() override;
    TagCache(const TagCache &) = delete;
    TagCache &operator=(const TagCache &) = delete;

    TrackInfo trackInfo(const QByteArray &source, const QByteArray &relativePath,
                        const FileStat &stat, const std::function<int()> &open) override;
    void walkComplete(const QByteArray &source) override;

    // Whether the cache is in use (else tags are read each time).
    bool usable() const;
    // How many files had to be read since the cache was made, for the benchmark and the tests.
    qint64 filesRead() const { return filesRead_; }

private:
    class Database;
    std::unique_ptr<Database> db_;
    qint64 filesRead_ = 0;
};
