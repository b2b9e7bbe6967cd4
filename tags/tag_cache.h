#pragma once

#include "engine/list_outputs.h"
#include "tags/tag_readers.h"

#include <memory>
#include <unordered_map>

// Tags read by TagReaders, kept in an SQLite database (tags.sqlite under $XDG_CACHE_HOME/lystora/,
// the folder made 0700 and the file 0600: the names and tags of a private tree are not for
// other users) so that a rewrite after one album is copied in reads only that album's files.
//
// An entry counts while its file has the same device, inode, size, modification and change
// times. What was really read is kept: the tags, or "nothing readable", or "unreadable" (what
// the file holds crashed its reader or passed its limits), the last under the budgets and the
// TagLib version it was read with, so that it is tried again when either changes (or when asked
// to forget such marks). A file that could not be opened, or whose reading was given up for the
// time, leaves nothing. Entries are kept per file, whatever pattern met it: one goes when its
// file is gone from the source.
//
// The window and several watching lystora-list may share the cache: it is written in
// write-ahead mode, and waits for the others rather than failing; where it cannot be written,
// tags are read all the same. A cache of an older version, or a damaged one, is made anew;
// another program's database at its place is left as it is, and no cache is used.
class TagCache : public TrackInfoSource
{
public:
    // The cache at its usual place.
    explicit TagCache(const TagBudget &budget = TagBudget(), bool forgetUnreadable = false);
    // The cache in this file (a test's own).
    explicit TagCache(const QByteArray &file, const TagBudget &budget = TagBudget(),
                      bool forgetUnreadable = false);
    ~TagCache() override;
    TagCache(const TagCache &) = delete;
    TagCache &operator=(const TagCache &) = delete;

    bool request(quint64 ticket, const QByteArray &source, const QByteArray &dir,
                 const QByteArray &name, const FileStat &stat, const std::function<int()> &open,
                 TrackInfo *info, const Answer &answer) override;
    void collect(bool wait, const Answer &answer) override;
    int due() const override { return int(asked_.size()); }
    void abandon() override;
    void runEnded(const QByteArray &source, bool wholeTreeWalked) override;
    QString problem() const override { return readers_.problem(); }
    bool changedElsewhere() override;
    void folderKept(const QByteArray &source, const QByteArray &dir) override;

    // Whether the cache is in use (else tags are read each time).
    bool usable() const;
    // How many files were handed to the readers since the cache was made.
    qint64 filesRead() const { return filesRead_; }
    TagReaders &readers() { return readers_; }

    // The usual place of the cache file.
    static QByteArray defaultFile();

private:
    class Database;
    struct Asked {
        QByteArray source;
        QByteArray dir;
        QByteArray name;
        FileStat stat;
    };
    void answered(const std::vector<ReaderAnswer> &answers, const Answer &answer);

    std::unique_ptr<Database> db_;
    TagReaders readers_;
    std::unordered_map<quint64, Asked> asked_;
    qint64 filesRead_ = 0;
    bool askedChange_ = false;
    qint64 version_ = 0; // of the database, as others' writes change it
};
