#include "tag_cache.h"

#include "platform/path_kind.h"
#include "platform/xdg_places.h"

#include <QElapsedTimer>
#include <QHash>

#include <algorithm>
#include <sqlite3.h>
#include <unistd.h>
#include <vector>

namespace {

// What the cache holds, by version: an older one is made anew.
const char *const kSchema = "lystora-tags 3";
const char *const kSchemaFamily = "lystora-tags ";

// readok: what is known of a file's contents.
enum Known { kNothingReadable = 0, kRead = 1, kUnreadable = 2 };

// Writes wait for other processes this long before the cache is left aside for them.
constexpr int kBusyMs = 10000;
constexpr int kBusyRetryMs = 5;
// Entries are written in batches of this many, each one short transaction.
constexpr int kBatch = 500;
// Directories read in one read transaction.
constexpr int kReadsInTransaction = 256;

const char *const kLoad =
    "SELECT name, device, inode, size, mtime, ctime, readok, title, artist, album, track, "
    "duration, bitrate, mark, picture FROM tracks WHERE source=?1 AND dir=?2";

QString columnText(sqlite3_stmt *statement, int column)
{
    const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(statement, column));
    return text ? QString::fromUtf8(text, sqlite3_column_bytes(statement, column)) : QString();
}

QByteArray columnBytes(sqlite3_stmt *statement, int column)
{
    return QByteArray(static_cast<const char *>(sqlite3_column_blob(statement, column)),
                      sqlite3_column_bytes(statement, column));
}

void bindText(sqlite3_stmt *statement, int index, const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    sqlite3_bind_text(statement, index, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
}

void bindBlob(sqlite3_stmt *s, int index, const QByteArray &bytes)
{
    sqlite3_bind_blob(s, index, bytes.constData(), int(bytes.size()), SQLITE_TRANSIENT);
}

QByteArray below(const QByteArray &source, const QByteArray &relative)
{
    if (relative.isEmpty())
        return source;
    return source.endsWith('/') ? source + relative : source + '/' + relative;
}

} // namespace

class TagCache::Database
{
public:
    Database(const QByteArray &file, const QByteArray &markKey, bool forgetUnreadable)
        : file_(file), markKey_(markKey)
    {
        const Opened opened = open();
        if (opened == Opened::Older || opened == Opened::Damaged)
            rebuild();
        if (db_ && forgetUnreadable) {
            execute("DELETE FROM tracks WHERE readok=2");
        }
    }
    ~Database()
    {
        leaveDirectory();
        endBatch();
        close();
    }

    bool usable() const { return db_ != nullptr; }

    // The entry of a file as it is now; false when there is none that holds.
    bool lookup(const QByteArray &source, const QByteArray &dir, const QByteArray &name,
                const FileStat &stat, TrackInfo *info)
    {
        if (enterDirectory(source, dir))
            visited_.push_back(dirKey(source, dir)); // a folder this walk meets
        Row *row = rowNamed(name);
        if (!row)
            return false;
        row->met = true;
        if (row->stat != stat || (row->known == kUnreadable && row->mark != markKey_))
            return false;
        *info = row->info;
        info->lasting = true;
        return true;
    }

    // A number that others' writes change (SQLite's data_version), -1 without a cache.
    qint64 version()
    {
        if (!db_ || !version_)
            return -1;
        const int rc = sqlite3_step(version_);
        const qint64 version = rc == SQLITE_ROW ? sqlite3_column_int64(version_, 0) : -1;
        sqlite3_reset(version_);
        return version;
    }

    void kept(const QByteArray &source, const QByteArray &dir)
    {
        visited_.push_back(dirKey(source, dir));
    }

    void store(const QByteArray &source, const QByteArray &dir, const QByteArray &name,
               const FileStat &stat, const TrackInfo &info, int known)
    {
        if (inDirectory_ && dir == dir_ && source == source_) {
            Row row{name, stat, info, known, known == kUnreadable ? markKey_ : QByteArray(), true};
            const auto at = rowPlace(name);
            if (at != rows_.end() && at->name == name)
                *at = std::move(row);
            else
                rows_.insert(at, std::move(row));
        }
        if (!beginBatch())
            return;
        sqlite3_stmt *s = put_;
        bindBlob(s, 1, source);
        bindBlob(s, 2, dir);
        bindBlob(s, 3, name);
        sqlite3_bind_int64(s, 4, sqlite3_int64(stat.identity.device));
        sqlite3_bind_int64(s, 5, sqlite3_int64(stat.identity.inode));
        sqlite3_bind_int64(s, 6, stat.size);
        sqlite3_bind_int64(s, 7, stat.modifiedNs);
        sqlite3_bind_int64(s, 8, stat.changedNs);
        sqlite3_bind_int(s, 9, known);
        bindText(s, 10, info.title);
        bindText(s, 11, info.artist);
        bindText(s, 12, info.album);
        sqlite3_bind_int(s, 13, info.track);
        sqlite3_bind_int64(s, 14, info.durationMs);
        sqlite3_bind_int(s, 15, info.bitrate);
        if (known == kUnreadable)
            bindBlob(s, 16, markKey_);
        else
            sqlite3_bind_null(s, 16);
        bindBlob(s, 17, info.picture);
        step(s);
    }

    // After a full walk of source: the entries of folders that are gone from it go. A folder
    // still there that the walk did not ask about (none of its files matched this time) keeps
    // the entries of its files still there. After any run, what was written is committed: no lock
    // is held meanwhile.
    void runEnded(const QByteArray &source, bool wholeTreeWalked)
    {
        leaveDirectory();
        std::sort(visited_.begin(), visited_.end());
        visited_.erase(std::unique(visited_.begin(), visited_.end()), visited_.end());
        if (db_ && wholeTreeWalked) {
            lost_ = false;
            if (!sweptAsBefore(source))
                sweep(source);
            else
                sweepUnmet(source);
            endBatch();
        }
        if (db_ && wholeTreeWalked && !lost_) {
            // What the cache holds of source now, all of it met or looked at: the next walk
            // that meets it all again need not read every folder's name from the cache.
            swept_.source = source;
            swept_.version = version();
            swept_.met.swap(visited_);
            for (const Unmet &folder : swept_.unmet)
                swept_.met.push_back(dirKey(source, folder.dir));
            std::sort(swept_.met.begin(), swept_.met.end());
        } else {
            swept_ = Swept();
        }
        endBatch();
        visited_.clear();
    }

private:
    // A folder of the cache that a walk did not ask about, and what it was when its entries
    // were last looked at: while it is the same, so are its names.
    struct Unmet {
        QByteArray dir;
        FolderStamp stamp;
        bool stamped = false; // and settled then
    };
    // What the last full walk's end left of a source in the cache (see runEnded).
    struct Swept {
        QByteArray source;
        qint64 version = -1;          // of the database then (see version())
        std::vector<std::size_t> met; // every folder of it there (dirKey), in order
        std::vector<Unmet> unmet;     // those the walk did not ask about
    };

    // Whether the folders the cache held of source after the last full walk, and no others,
    // may hold entries now (none were written by others since), and each of them was met
    // again by this walk or is one that walk did not meet either, known by its path.
    bool sweptAsBefore(const QByteArray &source)
    {
        if (swept_.source != source || swept_.version < 0 || swept_.version != version())
            return false;
        std::vector<std::size_t> unmet;
        for (const Unmet &folder : swept_.unmet)
            unmet.push_back(dirKey(source, folder.dir));
        std::sort(unmet.begin(), unmet.end());
        return std::all_of(swept_.met.begin(), swept_.met.end(), [&](std::size_t key) {
            return std::binary_search(visited_.begin(), visited_.end(), key) ||
                   std::binary_search(unmet.begin(), unmet.end(), key);
        });
    }

    bool met(const QByteArray &source, const QByteArray &dir) const
    {
        return std::binary_search(visited_.begin(), visited_.end(), dirKey(source, dir));
    }

    void forgetFolder(const QByteArray &source, const QByteArray &dir)
    {
        if (!beginBatch()) {
            lost_ = true;
            return;
        }
        bindBlob(forgetDir_, 1, source);
        bindBlob(forgetDir_, 2, dir);
        step(forgetDir_);
    }

    // Every folder of source the cache holds, looked at.
    void sweep(const QByteArray &source)
    {
        std::vector<QByteArray> gone;
        swept_.unmet.clear();
        bindBlob(dirs_, 1, source);
        while (sqlite3_step(dirs_) == SQLITE_ROW) {
            const QByteArray dir = columnBytes(dirs_, 0);
            if (met(source, dir))
                continue;
            if (pathKind(below(source, dir)) != PathKind::Directory)
                gone.push_back(dir);
            else
                swept_.unmet.push_back({dir, {}, false});
        }
        sqlite3_reset(dirs_);
        for (const QByteArray &dir : gone)
            forgetFolder(source, dir);
        for (Unmet &folder : swept_.unmet)
            lookInto(source, &folder);
    }

    // Only those the last sweep found there unmet, and this walk did not meet either.
    void sweepUnmet(const QByteArray &source)
    {
        std::vector<Unmet> unmet;
        for (Unmet &folder : swept_.unmet) {
            if (met(source, folder.dir))
                continue;
            if (pathKind(below(source, folder.dir)) != PathKind::Directory) {
                forgetFolder(source, folder.dir);
                continue;
            }
            lookInto(source, &folder);
            unmet.push_back(std::move(folder));
        }
        swept_.unmet.swap(unmet);
    }

    // The entries of an unmet folder whose files are gone go (the last file matching a pattern
    // removed from it, say), once its names may have changed since they were last looked at.
    void lookInto(const QByteArray &source, Unmet *folder)
    {
        FolderStamp now;
        const bool stamped = folderStamp(below(source, folder->dir), &now);
        if (stamped && folder->stamped && now.stat == folder->stamp.stat)
            return;
        enterDirectory(source, folder->dir);
        leaveDirectory();
        folder->stamp = now;
        folder->stamped = stamped && now.settled;
    }

    struct Row {
        QByteArray name;
        FileStat stat;
        TrackInfo info;
        int known = kNothingReadable;
        QByteArray mark;
        bool met = false; // its file was asked about in this visit of the directory
    };

    // A directory met by this walk, as a number: a walk of millions of directories keeps little.
    // Two that share one only keep entries of the other a little longer.
    static std::size_t dirKey(const QByteArray &source, const QByteArray &dir)
    {
        return qHash(dir, qHash(source));
    }

    static bool byName(const Row &a, const Row &b) { return a.name < b.name; }

    std::vector<Row>::iterator rowPlace(QByteArrayView name)
    {
        return std::lower_bound(
            rows_.begin(), rows_.end(), name,
            [](const Row &row, QByteArrayView n) { return QByteArrayView(row.name) < n; });
    }

    Row *rowNamed(QByteArrayView name)
    {
        const auto at = rowPlace(name);
        return at != rows_.end() && at->name == name ? &*at : nullptr;
    }

    // The files of a directory are asked for one after the other: its entries are read at once.
    // False when it was the directory already entered.
    bool enterDirectory(const QByteArray &source, const QByteArray &dir)
    {
        if (inDirectory_ && dir == dir_ && source == source_)
            return false;
        leaveDirectory();
        source_ = source;
        dir_ = dir;
        inDirectory_ = true;
        if (!db_ || !beginReading())
            return true;
        bindBlob(load_, 1, source);
        bindBlob(load_, 2, dir);
        int rc;
        while ((rc = sqlite3_step(load_)) == SQLITE_ROW) {
            Row row;
            row.name = columnBytes(load_, 0);
            row.stat.identity = {std::uint64_t(sqlite3_column_int64(load_, 1)),
                                 std::uint64_t(sqlite3_column_int64(load_, 2))};
            row.stat.size = sqlite3_column_int64(load_, 3);
            row.stat.modifiedNs = sqlite3_column_int64(load_, 4);
            row.stat.changedNs = sqlite3_column_int64(load_, 5);
            row.known = sqlite3_column_int(load_, 6);
            row.info.read = row.known == kRead;
            row.info.unreadable = row.known == kUnreadable;
            row.info.title = columnText(load_, 7);
            row.info.artist = columnText(load_, 8);
            row.info.album = columnText(load_, 9);
            row.info.track = sqlite3_column_int(load_, 10);
            row.info.durationMs = sqlite3_column_int64(load_, 11);
            row.info.bitrate = sqlite3_column_int(load_, 12);
            row.mark = columnBytes(load_, 13);
            row.info.picture = columnBytes(load_, 14);
            rows_.push_back(std::move(row));
        }
        sqlite3_reset(load_);
        if (!std::is_sorted(rows_.begin(), rows_.end(), byName))
            std::sort(rows_.begin(), rows_.end(), byName);
        if (rc != SQLITE_DONE)
            endReading();
        return true;
    }

    // The entries not asked about: their files may match another list's pattern, and stay;
    // those whose files are gone go.
    void leaveDirectory()
    {
        if (!inDirectory_)
            return;
        inDirectory_ = false;
        const QByteArray folder = below(source_, dir_);
        for (auto row = rows_.cbegin(); row != rows_.cend() && db_; ++row) {
            if (row->met || pathKind(folder + '/' + row->name) != PathKind::Absent || !beginBatch())
                continue;
            bindBlob(forget_, 1, source_);
            bindBlob(forget_, 2, dir_);
            bindBlob(forget_, 3, row->name);
            step(forget_);
        }
        rows_.clear();
    }

    // Reads go through a second connection, in one transaction for many directories: taking
    // the shared lock for each would cost more than the reading. It is renewed now and then, so
    // that the writes of others reach it and the log can be folded back into the database.
    bool beginReading()
    {
        if (reading_ && ++readsInTransaction_ < kReadsInTransaction)
            return true;
        endReading();
        if (!reader_ &&
            (sqlite3_open_v2(file_.constData(), &reader_,
                             SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_NOFOLLOW,
                             nullptr) != SQLITE_OK ||
             sqlite3_prepare_v2(reader_, kLoad, -1, &load_, nullptr) != SQLITE_OK)) {
            closeReader();
            return false;
        }
        sqlite3_busy_timeout(reader_, kBusyMs);
        reading_ = sqlite3_exec(reader_, "BEGIN", nullptr, nullptr, nullptr) == SQLITE_OK;
        readsInTransaction_ = 0;
        return reading_;
    }

    void endReading()
    {
        if (reading_)
            sqlite3_exec(reader_, "COMMIT", nullptr, nullptr, nullptr);
        reading_ = false;
    }

    void closeReader()
    {
        endReading();
        sqlite3_finalize(load_);
        load_ = nullptr;
        if (reader_)
            sqlite3_close(reader_);
        reader_ = nullptr;
    }

    // A write of the current batch.
    void step(sqlite3_stmt *s)
    {
        const int rc = sqlite3_step(s);
        sqlite3_reset(s);
        if (rc != SQLITE_DONE)
            failed(rc);
        else if (++pending_ >= kBatch)
            endBatch();
    }

    bool execute(const char *sql)
    {
        return db_ && sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
    }

    // What stands at the cache's place. Only this program's caches, of this version or an older
    // one, and what is no database at all, are ever written to or made anew.
    enum class Opened {
        Ready,       // ours, of this version
        Older,       // ours, of an older version: made anew
        Damaged,     // no database, or a damaged one: made anew
        Foreign,     // another program's database: left as it is
        Unavailable, // busy, or not to be opened: left to whoever holds it
    };

    static Opened failure(int rc)
    {
        const int primary = rc & 0xFF;
        return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB ? Opened::Damaged
                                                                     : Opened::Unavailable;
    }

    Opened open()
    {
        const QByteArray folder = file_.left(file_.lastIndexOf('/'));
        if (makePrivateFolder(folder) != 0 || makePrivateFile(file_) != 0)
            return Opened::Unavailable;
        if (sqlite3_open_v2(file_.constData(), &db_,
                            SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_NOFOLLOW,
                            nullptr) != SQLITE_OK) {
            close();
            return Opened::Unavailable;
        }
        sqlite3_busy_timeout(db_, kBusyMs);
        // Looked at before anything is written: another program's database stays as it was.
        Opened opened = classify();
        if (opened == Opened::Ready && isEmpty_)
            opened = makeSchema();
        // Written ahead: readers never wait, and a crash leaves the cache whole.
        for (const char *pragma : {"PRAGMA journal_mode=WAL", "PRAGMA synchronous=NORMAL"}) {
            if (opened != Opened::Ready)
                break;
            // Two programs making a new file write-ahead at once can each hold what the other
            // needs: SQLite then says busy at once rather than wait, so it is asked again.
            QElapsedTimer waited;
            waited.start();
            int rc;
            while ((rc = sqlite3_exec(db_, pragma, nullptr, nullptr, nullptr)) == SQLITE_BUSY &&
                   waited.elapsed() < kBusyMs)
                sqlite3_sleep(kBusyRetryMs);
            if (rc != SQLITE_OK)
                opened = failure(rc);
        }
        if (opened == Opened::Ready && !prepare())
            opened = Opened::Unavailable;
        if (opened != Opened::Ready)
            close();
        return opened;
    }

    // What the file is, read only. An empty file (or one with no table) is Ready, to be made.
    Opened classify()
    {
        isEmpty_ = false;
        sqlite3_stmt *s = nullptr;
        int rc = sqlite3_prepare_v2(db_, "SELECT name FROM sqlite_master WHERE type='table'", -1,
                                    &s, nullptr);
        if (rc != SQLITE_OK)
            return failure(rc);
        bool hasMeta = false;
        int tables = 0;
        while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
            ++tables;
            hasMeta = hasMeta || columnText(s, 0) == QLatin1String("meta");
        }
        sqlite3_finalize(s);
        if (rc != SQLITE_DONE)
            return failure(rc);
        if (tables == 0) {
            isEmpty_ = true;
            return Opened::Ready;
        }
        if (!hasMeta)
            return Opened::Foreign;
        rc = sqlite3_prepare_v2(db_, "SELECT value FROM meta WHERE key='schema'", -1, &s, nullptr);
        if (rc != SQLITE_OK)
            return Opened::Foreign;
        rc = sqlite3_step(s);
        const QString schema = rc == SQLITE_ROW ? columnText(s, 0) : QString();
        sqlite3_finalize(s);
        if (rc != SQLITE_ROW && rc != SQLITE_DONE)
            return failure(rc);
        if (schema == QLatin1String(kSchema))
            return Opened::Ready;
        return schema.startsWith(QLatin1String(kSchemaFamily)) ? Opened::Older : Opened::Foreign;
    }

    // The tables of an empty file, in one transaction: two programs opening a new cache at once
    // would otherwise both find it empty and both make them. The second finds them made.
    Opened makeSchema()
    {
        int rc = sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
        if (rc != SQLITE_OK)
            return failure(rc);
        Opened opened = classify();
        if (opened == Opened::Ready && isEmpty_) {
            // Keyed by directory, so that a directory's entries are one read.
            for (const QByteArray &sql :
                 {QByteArray("CREATE TABLE meta(key TEXT PRIMARY KEY, value TEXT)"),
                  QByteArray("CREATE TABLE tracks(source BLOB NOT NULL, dir BLOB NOT NULL, "
                             "name BLOB NOT NULL, device INTEGER, inode INTEGER, size INTEGER, "
                             "mtime INTEGER, ctime INTEGER, readok INTEGER, title TEXT, "
                             "artist TEXT, album TEXT, track INTEGER, duration INTEGER, "
                             "bitrate INTEGER, mark BLOB, picture BLOB, "
                             "PRIMARY KEY(source, dir, name)) "
                             "WITHOUT ROWID"),
                  QByteArray("INSERT INTO meta VALUES('schema','") + kSchema + "')"}) {
                rc = sqlite3_exec(db_, sql.constData(), nullptr, nullptr, nullptr);
                if (rc != SQLITE_OK) {
                    opened = failure(rc);
                    break;
                }
            }
        }
        rc = sqlite3_exec(db_, opened == Opened::Ready ? "COMMIT" : "ROLLBACK", nullptr, nullptr,
                          nullptr);
        return opened == Opened::Ready && rc != SQLITE_OK ? failure(rc) : opened;
    }

    bool prepare()
    {
        const auto make = [this](const char *sql, sqlite3_stmt **statement) {
            return sqlite3_prepare_v2(db_, sql, -1, statement, nullptr) == SQLITE_OK;
        };
        return make("INSERT OR REPLACE INTO tracks VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, "
                    "?10, ?11, ?12, ?13, ?14, ?15, ?16, ?17)",
                    &put_) &&
               make("DELETE FROM tracks WHERE source=?1 AND dir=?2 AND name=?3", &forget_) &&
               make("SELECT DISTINCT dir FROM tracks WHERE source=?1", &dirs_) &&
               make("DELETE FROM tracks WHERE source=?1 AND dir=?2", &forgetDir_) &&
               make("PRAGMA data_version", &version_);
    }

    bool beginBatch()
    {
        if (!db_)
            return false;
        if (inBatch_)
            return true;
        // Another process writing longer than the busy time: its turn, the tags are read.
        inBatch_ = execute("BEGIN IMMEDIATE");
        return inBatch_;
    }

    void endBatch()
    {
        if (inBatch_ && !execute("COMMIT")) {
            execute("ROLLBACK");
            lost_ = true;
        }
        inBatch_ = false;
        pending_ = 0;
        endReading(); // the next reading sees what was written
    }

    // A damaged database is made anew, once; a busy one is left aside for this batch.
    void failed(int rc)
    {
        lost_ = true;
        if (failure(rc) == Opened::Damaged) {
            rebuild();
            return;
        }
        if (inBatch_)
            execute("ROLLBACK");
        inBatch_ = false;
        pending_ = 0;
    }

    void rebuild()
    {
        close();
        if (rebuilt_)
            return; // made anew once already: no cache for this run
        rebuilt_ = true;
        for (const char *suffix : {"", "-wal", "-shm"})
            ::unlink((file_ + suffix).constData());
        if (open() != Opened::Ready) // closed again unless ready
            close();
    }

    void close()
    {
        closeReader();
        for (sqlite3_stmt **statement : {&put_, &forget_, &dirs_, &forgetDir_, &version_}) {
            sqlite3_finalize(*statement);
            *statement = nullptr;
        }
        if (db_)
            sqlite3_close(db_);
        db_ = nullptr;
        inBatch_ = false;
    }

    QByteArray file_;
    QByteArray markKey_;
    sqlite3 *db_ = nullptr;
    bool isEmpty_ = false;
    sqlite3 *reader_ = nullptr;
    sqlite3_stmt *load_ = nullptr;
    bool reading_ = false;
    int readsInTransaction_ = 0;
    sqlite3_stmt *put_ = nullptr;
    sqlite3_stmt *forget_ = nullptr;
    sqlite3_stmt *dirs_ = nullptr;
    sqlite3_stmt *forgetDir_ = nullptr;
    sqlite3_stmt *version_ = nullptr;
    bool inBatch_ = false;
    bool lost_ = false; // a write was given up (see runEnded)
    int pending_ = 0;
    bool rebuilt_ = false;
    // The directory whose entries are at hand.
    bool inDirectory_ = false;
    QByteArray source_;
    QByteArray dir_;
    // Sorted by name: a folder's dozen entries are searched in a few comparisons, where hashing
    // each name cost more than the rest of the lookup.
    std::vector<Row> rows_;
    // The folders this walk met (dirKey), in the order met until its end, then sorted.
    std::vector<std::size_t> visited_;
    Swept swept_;
};

QByteArray TagCache::defaultFile()
{
    return cacheHome() + "/lystora/tags.sqlite";
}

TagCache::TagCache(const TagBudget &budget, bool forgetUnreadable)
    : TagCache(defaultFile(), budget, forgetUnreadable)
{}

TagCache::TagCache(const QByteArray &file, const TagBudget &budget, bool forgetUnreadable)
    : db_(std::make_unique<Database>(file, budget.markKey(), forgetUnreadable)), readers_(budget)
{}

TagCache::~TagCache()
{
    readers_.abandon();
}

bool TagCache::usable() const
{
    return db_->usable();
}

bool TagCache::request(quint64 ticket, const QByteArray &source, const QByteArray &dir,
                       const QByteArray &name, const FileStat &stat,
                       const std::function<int()> &open, TrackInfo *info, const Answer &answer)
{
    *info = TrackInfo();
    if (db_->lookup(source, dir, name, stat, info))
        return true;
    // Larger than any sound file a budget allows for: listed untagged, and nothing kept.
    if (stat.size > readers_.budget().sizeBytes) {
        info->lasting = true;
        return true;
    }
    // An open that fails (short of descriptors, a flaky disk) says nothing of the contents.
    const int fd = open();
    if (fd < 0)
        return true;
    asked_[ticket] = {source, dir, name, stat};
    ++filesRead_;
    if (!readers_.submit(ticket, fd)) {
        asked_.erase(ticket);
        return true;
    }
    collect(false, answer);
    return false;
}

void TagCache::collect(bool wait, const Answer &answer)
{
    std::vector<ReaderAnswer> answers;
    readers_.collect(wait, answers);
    answered(answers, answer);
}

void TagCache::answered(const std::vector<ReaderAnswer> &answers, const Answer &answer)
{
    for (const ReaderAnswer &reply : answers) {
        const auto asked = asked_.find(reply.ticket);
        if (asked == asked_.end())
            continue;
        if (reply.outcome != ReadOutcome::NotRead) {
            const int known = reply.outcome == ReadOutcome::Unreadable ? kUnreadable
                              : reply.info.read                        ? kRead
                                                                       : kNothingReadable;
            db_->store(asked->second.source, asked->second.dir, asked->second.name,
                       asked->second.stat, reply.info, known);
        }
        asked_.erase(asked);
        TrackInfo info = reply.info;
        info.lasting = reply.outcome == ReadOutcome::Read;
        answer(reply.ticket, info);
    }
}

void TagCache::abandon()
{
    readers_.abandon();
    asked_.clear();
}

bool TagCache::changedElsewhere()
{
    const qint64 version = db_->version();
    const bool changed = !askedChange_ || version != version_ || version < 0;
    askedChange_ = true;
    version_ = version;
    return changed;
}

void TagCache::folderKept(const QByteArray &source, const QByteArray &dir)
{
    db_->kept(source, dir);
}

void TagCache::runEnded(const QByteArray &source, bool wholeTreeWalked)
{
    db_->runEnded(source, wholeTreeWalked);
}
