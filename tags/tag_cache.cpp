#include "tag_cache.h"

#include "platform/xdg_places.h"
#include "tag_reader.h"

#include <QDir>
#include <QElapsedTimer>
#include <QHash>

#include <sqlite3.h>
#include <unistd.h>
#include <unordered_set>
#include <vector>

namespace {

// What the cache holds, by version: a file that says otherwise is made anew.
const char *const kSchema = "lystora-tags 2";

// Writes wait for other processes this long before the cache is left aside for them.
constexpr int kBusyMs = 10000;
constexpr int kBusyRetryMs = 5;
// Entries are written in batches of this many, each one short transaction.
constexpr int kBatch = 500;
// Directories read in one read transaction.
constexpr int kReadsInTransaction = 256;

const char *const kLoad = "SELECT name, device, inode, size, mtime, ctime, readok, title, artist, "
                          "album, track, duration, bitrate FROM tracks WHERE source=?1 AND dir=?2";

QString columnText(sqlite3_stmt *statement, int column)
{
    const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(statement, column));
    return text ? QString::fromUtf8(text, sqlite3_column_bytes(statement, column)) : QString();
}

void bindText(sqlite3_stmt *statement, int index, const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    sqlite3_bind_text(statement, index, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
}

} // namespace

class TagCache::Database
{
public:
    explicit Database(const QByteArray &file) : file_(file)
    {
        if (open() == Opened::Foreign)
            rebuild();
    }
    ~Database()
    {
        endBatch();
        close();
    }

    bool usable() const { return db_ != nullptr; }

    // The entry of a file as it is now; false when there is none.
    bool lookup(const QByteArray &source, const QByteArray &dir, const QByteArray &name,
                const FileStat &stat, TrackInfo *info)
    {
        enterDirectory(source, dir);
        const auto row = rows_.find(name);
        if (row == rows_.end() || !sameFile(row->stat, stat))
            return false;
        row->met = true;
        *info = row->info;
        return true;
    }

    void store(const QByteArray &source, const QByteArray &dir, const QByteArray &name,
               const FileStat &stat, const TrackInfo &info)
    {
        enterDirectory(source, dir);
        rows_.insert(name, {stat, info, true});
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
        sqlite3_bind_int(s, 9, info.read ? 1 : 0);
        bindText(s, 10, info.title);
        bindText(s, 11, info.artist);
        bindText(s, 12, info.album);
        sqlite3_bind_int(s, 13, info.track);
        sqlite3_bind_int64(s, 14, info.durationMs);
        sqlite3_bind_int(s, 15, info.bitrate);
        step(s);
    }

    // After a full walk of source: the entries of directories it did not meet go.
    void walkComplete(const QByteArray &source)
    {
        leaveDirectory();
        if (db_) {
            std::vector<QByteArray> gone;
            bindBlob(dirs_, 1, source);
            while (sqlite3_step(dirs_) == SQLITE_ROW) {
                const QByteArray dir(static_cast<const char *>(sqlite3_column_blob(dirs_, 0)),
                                     sqlite3_column_bytes(dirs_, 0));
                if (visited_.count(dirKey(source, dir)) == 0)
                    gone.push_back(dir);
            }
            sqlite3_reset(dirs_);
            for (const QByteArray &dir : gone) {
                if (!beginBatch())
                    break;
                bindBlob(forgetDir_, 1, source);
                bindBlob(forgetDir_, 2, dir);
                step(forgetDir_);
            }
        }
        endBatch();
        visited_.clear();
    }

private:
    struct Row {
        FileStat stat;
        TrackInfo info;
        bool met = false; // its file was in the directory this time
    };

    static bool sameFile(const FileStat &a, const FileStat &b)
    {
        return a.identity == b.identity && a.size == b.size && a.modifiedNs == b.modifiedNs &&
               a.changedNs == b.changedNs;
    }

    // A directory met by this walk, as a number: a walk of millions of directories keeps little.
    // Two that share one only keep entries of the other a little longer.
    static std::size_t dirKey(const QByteArray &source, const QByteArray &dir)
    {
        return qHash(dir, qHash(source));
    }

    // The files of a directory are asked for one after the other: its entries are read at once,
    // and those of the directory before that were not met go.
    void enterDirectory(const QByteArray &source, const QByteArray &dir)
    {
        if (inDirectory_ && dir == dir_ && source == source_)
            return;
        leaveDirectory();
        source_ = source;
        dir_ = dir;
        inDirectory_ = true;
        visited_.insert(dirKey(source, dir));
        if (!db_ || !beginReading())
            return;
        bindBlob(load_, 1, source);
        bindBlob(load_, 2, dir);
        int rc;
        while ((rc = sqlite3_step(load_)) == SQLITE_ROW) {
            Row row;
            row.stat.identity = {std::uint64_t(sqlite3_column_int64(load_, 1)),
                                 std::uint64_t(sqlite3_column_int64(load_, 2))};
            row.stat.size = sqlite3_column_int64(load_, 3);
            row.stat.modifiedNs = sqlite3_column_int64(load_, 4);
            row.stat.changedNs = sqlite3_column_int64(load_, 5);
            row.info.read = sqlite3_column_int(load_, 6) != 0;
            row.info.title = columnText(load_, 7);
            row.info.artist = columnText(load_, 8);
            row.info.album = columnText(load_, 9);
            row.info.track = sqlite3_column_int(load_, 10);
            row.info.durationMs = sqlite3_column_int64(load_, 11);
            row.info.bitrate = sqlite3_column_int(load_, 12);
            rows_.insert(QByteArray(static_cast<const char *>(sqlite3_column_blob(load_, 0)),
                                    sqlite3_column_bytes(load_, 0)),
                         row);
        }
        sqlite3_reset(load_);
        if (rc != SQLITE_DONE)
            endReading();
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
                             SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr) != SQLITE_OK ||
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

    void leaveDirectory()
    {
        if (!inDirectory_)
            return;
        inDirectory_ = false;
        for (auto row = rows_.cbegin(); row != rows_.cend() && db_; ++row) {
            if (row->met || !beginBatch())
                continue;
            bindBlob(forget_, 1, source_);
            bindBlob(forget_, 2, dir_);
            bindBlob(forget_, 3, row.key());
            step(forget_);
        }
        rows_.clear();
    }

    static void bindBlob(sqlite3_stmt *s, int index, const QByteArray &bytes)
    {
        sqlite3_bind_blob(s, index, bytes.constData(), int(bytes.size()), SQLITE_TRANSIENT);
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

    // Whether the file could be taken as this program's cache; only a foreign or damaged one is
    // made anew: a busy or unreadable one is left to whoever holds it, and no cache is used.
    enum class Opened { Ready, Foreign, Unavailable };

    static Opened failure(int rc)
    {
        const int primary = rc & 0xFF;
        return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB ? Opened::Foreign
                                                                     : Opened::Unavailable;
    }

    Opened open()
    {
        QDir().mkpath(QString::fromLocal8Bit(file_.left(file_.lastIndexOf('/'))));
        if (sqlite3_open_v2(file_.constData(), &db_,
                            SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                            nullptr) != SQLITE_OK) {
            close();
            return Opened::Unavailable;
        }
        sqlite3_busy_timeout(db_, kBusyMs);
        // Written ahead: readers never wait, and a crash leaves the cache whole.
        Opened opened = Opened::Ready;
        for (const char *pragma : {"PRAGMA journal_mode=WAL", "PRAGMA synchronous=NORMAL"}) {
            // Two programs making a new file write-ahead at once can each hold what the other
            // needs: SQLite then says busy at once rather than wait, so it is asked again.
            QElapsedTimer waited;
            waited.start();
            int rc;
            while ((rc = sqlite3_exec(db_, pragma, nullptr, nullptr, nullptr)) == SQLITE_BUSY &&
                   waited.elapsed() < kBusyMs)
                sqlite3_sleep(kBusyRetryMs);
            if (rc != SQLITE_OK) {
                opened = failure(rc);
                break;
            }
        }
        if (opened == Opened::Ready)
            opened = takeSchema();
        if (opened == Opened::Ready && !prepare())
            opened = Opened::Unavailable;
        if (opened != Opened::Ready)
            close();
        return opened;
    }

    // The schema checked, or made in an empty file, in one transaction: two programs opening a
    // new cache at once would otherwise both find it empty and both make the table.
    Opened takeSchema()
    {
        int rc = sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
        if (rc != SQLITE_OK)
            return failure(rc);
        const Opened opened = schemaIsOurs();
        rc = sqlite3_exec(db_, opened == Opened::Ready ? "COMMIT" : "ROLLBACK", nullptr, nullptr,
                          nullptr);
        return opened == Opened::Ready && rc != SQLITE_OK ? failure(rc) : opened;
    }

    Opened schemaIsOurs()
    {
        int rc =
            sqlite3_exec(db_, "CREATE TABLE IF NOT EXISTS meta(key TEXT PRIMARY KEY, value TEXT)",
                         nullptr, nullptr, nullptr);
        if (rc != SQLITE_OK)
            return failure(rc);
        sqlite3_stmt *s = nullptr;
        rc = sqlite3_prepare_v2(db_, "SELECT value FROM meta WHERE key='schema'", -1, &s, nullptr);
        if (rc != SQLITE_OK)
            return failure(rc);
        rc = sqlite3_step(s);
        const QString schema = rc == SQLITE_ROW ? columnText(s, 0) : QString();
        sqlite3_finalize(s);
        if (rc == SQLITE_ROW)
            return schema == QLatin1String(kSchema) ? Opened::Ready : Opened::Foreign;
        if (rc != SQLITE_DONE)
            return failure(rc);
        sqlite3_stmt *tables = nullptr;
        rc = sqlite3_prepare_v2(
            db_, "SELECT count(*) FROM sqlite_master WHERE type='table' AND name<>'meta'", -1,
            &tables, nullptr);
        if (rc != SQLITE_OK)
            return failure(rc);
        rc = sqlite3_step(tables);
        const bool empty = rc == SQLITE_ROW && sqlite3_column_int(tables, 0) == 0;
        sqlite3_finalize(tables);
        if (rc != SQLITE_ROW)
            return failure(rc);
        if (!empty)
            return Opened::Foreign;
        // Keyed by directory, so that a directory's entries are one read.
        for (const QByteArray &sql :
             {QByteArray("CREATE TABLE tracks(source BLOB NOT NULL, dir BLOB NOT NULL, "
                         "name BLOB NOT NULL, device INTEGER, inode INTEGER, size INTEGER, "
                         "mtime INTEGER, ctime INTEGER, readok INTEGER, title TEXT, "
                         "artist TEXT, album TEXT, track INTEGER, duration INTEGER, "
                         "bitrate INTEGER, PRIMARY KEY(source, dir, name)) WITHOUT ROWID"),
              QByteArray("INSERT INTO meta VALUES('schema','") + kSchema + "')"}) {
            rc = sqlite3_exec(db_, sql.constData(), nullptr, nullptr, nullptr);
            if (rc != SQLITE_OK)
                return failure(rc);
        }
        return Opened::Ready;
    }

    bool prepare()
    {
        const auto make = [this](const char *sql, sqlite3_stmt **statement) {
            return sqlite3_prepare_v2(db_, sql, -1, statement, nullptr) == SQLITE_OK;
        };
        return make("INSERT OR REPLACE INTO tracks VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, "
                    "?10, ?11, ?12, ?13, ?14, ?15)",
                    &put_) &&
               make("DELETE FROM tracks WHERE source=?1 AND dir=?2 AND name=?3", &forget_) &&
               make("SELECT DISTINCT dir FROM tracks WHERE source=?1", &dirs_) &&
               make("DELETE FROM tracks WHERE source=?1 AND dir=?2", &forgetDir_);
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
        if (inBatch_ && !execute("COMMIT"))
            execute("ROLLBACK");
        inBatch_ = false;
        pending_ = 0;
        endReading(); // the next reading sees what was written
    }

    // A damaged database is made anew, once; a busy one is left aside for this batch.
    void failed(int rc)
    {
        const int primary = rc & 0xFF;
        if (primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB) {
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
        open(); // closed again unless ready
    }

    void close()
    {
        closeReader();
        for (sqlite3_stmt **statement : {&put_, &forget_, &dirs_, &forgetDir_}) {
            sqlite3_finalize(*statement);
            *statement = nullptr;
        }
        if (db_)
            sqlite3_close(db_);
        db_ = nullptr;
        inBatch_ = false;
    }

    QByteArray file_;
    sqlite3 *db_ = nullptr;
    sqlite3 *reader_ = nullptr;
    sqlite3_stmt *load_ = nullptr;
    bool reading_ = false;
    int readsInTransaction_ = 0;
    sqlite3_stmt *put_ = nullptr;
    sqlite3_stmt *forget_ = nullptr;
    sqlite3_stmt *dirs_ = nullptr;
    sqlite3_stmt *forgetDir_ = nullptr;
    bool inBatch_ = false;
    int pending_ = 0;
    bool rebuilt_ = false;
    // The directory whose entries are at hand.
    bool inDirectory_ = false;
    QByteArray source_;
    QByteArray dir_;
    QHash<QByteArray, Row> rows_;
    std::unordered_set<std::size_t> visited_;
};

TagCache::TagCache() : TagCache(cacheHome() + "/lystora/tags.sqlite")
{}

TagCache::TagCache(const QByteArray &file) : db_(std::make_unique<Database>(file))
{}

TagCache::~TagCache() = default;

bool TagCache::usable() const
{
    return db_->usable();
}

TrackInfo TagCache::trackInfo(const QByteArray &source, const QByteArray &relativePath,
                              const FileStat &stat, const std::function<int()> &open)
{
    const qsizetype slash = relativePath.lastIndexOf('/');
    const QByteArray dir = slash < 0 ? QByteArray() : relativePath.left(slash);
    const QByteArray name = relativePath.mid(slash + 1);
    TrackInfo info;
    if (db_->lookup(source, dir, name, stat, &info))
        return info;
    info = readTrackInfo(open());
    ++filesRead_;
    db_->store(source, dir, name, stat, info);
    return info;
}

void TagCache::walkComplete(const QByteArray &source)
{
    db_->walkComplete(source);
}
