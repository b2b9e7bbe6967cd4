#include "tag_cache.h"

#include "platform/xdg_places.h"
#include "tag_reader.h"

#include <QDateTime>
#include <QDir>

#include <sqlite3.h>
#include <unistd.h>

namespace {

// What the cache holds, by version: a file that says otherwise is made anew.
const char *const kSchema = "lystora-tags 1";

// Writes wait for other processes this long before the cache is left aside for them.
constexpr int kBusyMs = 10000;
// Entries are written in batches of this many, each one short transaction.
constexpr int kBatch = 500;

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
        if (!open())
            rebuild();
    }
    ~Database()
    {
        endBatch();
        close();
    }

    bool usable() const { return db_ != nullptr; }

    // The entry of a file as it is now, marked as met in this walk; false when there is none.
    bool lookup(const QByteArray &source, const FileStat &stat, TrackInfo *info)
    {
        if (!beginBatch())
            return false;
        sqlite3_stmt *s = touch_;
        bindKey(s, source, stat);
        const int rc = sqlite3_step(s);
        const bool found = rc == SQLITE_ROW;
        if (found) {
            info->read = sqlite3_column_int(s, 0) != 0;
            info->title = columnText(s, 1);
            info->artist = columnText(s, 2);
            info->album = columnText(s, 3);
            info->track = sqlite3_column_int(s, 4);
            info->durationMs = sqlite3_column_int64(s, 5);
            info->bitrate = sqlite3_column_int(s, 6);
            while (sqlite3_step(s) == SQLITE_ROW) {
            }
        }
        sqlite3_reset(s);
        if (found)
            ++pending_;
        else if (rc != SQLITE_DONE)
            failed(rc);
        return found;
    }

    void store(const QByteArray &source, const FileStat &stat, const TrackInfo &info)
    {
        if (!beginBatch())
            return;
        sqlite3_stmt *s = put_;
        bindKey(s, source, stat);
        sqlite3_bind_int(s, 8, info.read ? 1 : 0);
        bindText(s, 9, info.title);
        bindText(s, 10, info.artist);
        bindText(s, 11, info.album);
        sqlite3_bind_int(s, 12, info.track);
        sqlite3_bind_int64(s, 13, info.durationMs);
        sqlite3_bind_int(s, 14, info.bitrate);
        const int rc = sqlite3_step(s);
        sqlite3_reset(s);
        if (rc != SQLITE_DONE)
            failed(rc);
        else if (++pending_ >= kBatch)
            endBatch();
    }

    // After a full walk of source: what it did not meet goes, and the next walk is another one.
    void dropUnseen(const QByteArray &source)
    {
        if (beginBatch()) {
            sqlite3_bind_blob(drop_, 1, source.constData(), int(source.size()), SQLITE_TRANSIENT);
            sqlite3_bind_int64(drop_, 2, walk_);
            const int rc = sqlite3_step(drop_);
            sqlite3_reset(drop_);
            if (rc != SQLITE_DONE)
                failed(rc);
        }
        endBatch();
        walk_ = newWalk();
    }

private:
    static qint64 newWalk()
    {
        static qint64 last = 0;
        last = std::max(last + 1, QDateTime::currentMSecsSinceEpoch());
        return last;
    }

    bool execute(const char *sql)
    {
        return db_ && sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
    }

    bool open()
    {
        QDir().mkpath(QString::fromLocal8Bit(file_.left(file_.lastIndexOf('/'))));
        if (sqlite3_open_v2(file_.constData(), &db_,
                            SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                            nullptr) != SQLITE_OK) {
            close();
            return false;
        }
        sqlite3_busy_timeout(db_, kBusyMs);
        // Written ahead: readers never wait, and a crash leaves the cache whole.
        if (!execute("PRAGMA journal_mode=WAL") || !execute("PRAGMA synchronous=NORMAL") ||
            !schemaIsOurs() || !prepare()) {
            close();
            return false;
        }
        walk_ = newWalk();
        return true;
    }

    // A new cache gets the tables; one of another program, or of another version, is not ours.
    bool schemaIsOurs()
    {
        if (!execute("CREATE TABLE IF NOT EXISTS meta(key TEXT PRIMARY KEY, value TEXT)"))
            return false;
        sqlite3_stmt *s = nullptr;
        if (sqlite3_prepare_v2(db_, "SELECT value FROM meta WHERE key='schema'", -1, &s, nullptr) !=
            SQLITE_OK)
            return false;
        const int rc = sqlite3_step(s);
        const QString schema = rc == SQLITE_ROW ? columnText(s, 0) : QString();
        sqlite3_finalize(s);
        if (rc == SQLITE_ROW)
            return schema == QLatin1String(kSchema);
        if (rc != SQLITE_DONE)
            return false;
        sqlite3_stmt *tables = nullptr;
        sqlite3_prepare_v2(db_,
                           "SELECT count(*) FROM sqlite_master WHERE type='table' AND name<>'meta'",
                           -1, &tables, nullptr);
        const bool empty =
            tables && sqlite3_step(tables) == SQLITE_ROW && sqlite3_column_int(tables, 0) == 0;
        sqlite3_finalize(tables);
        return empty &&
               execute("CREATE TABLE tracks(source BLOB NOT NULL, device INTEGER NOT NULL, "
                       "inode INTEGER NOT NULL, size INTEGER, mtime INTEGER, ctime INTEGER, "
                       "readok INTEGER, title TEXT, artist TEXT, album TEXT, track INTEGER, "
                       "duration INTEGER, bitrate INTEGER, seen INTEGER, "
                       "PRIMARY KEY(source, device, inode)) WITHOUT ROWID") &&
               execute(
                   (QByteArray("INSERT INTO meta VALUES('schema','") + kSchema + "')").constData());
    }

    bool prepare()
    {
        const auto make = [this](const char *sql, sqlite3_stmt **statement) {
            return sqlite3_prepare_v2(db_, sql, -1, statement, nullptr) == SQLITE_OK;
        };
        return make("UPDATE tracks SET seen=?7 WHERE source=?1 AND device=?2 AND inode=?3 AND "
                    "size=?4 AND mtime=?5 AND ctime=?6 "
                    "RETURNING readok, title, artist, album, track, duration, bitrate",
                    &touch_) &&
               make("INSERT OR REPLACE INTO tracks(source, device, inode, size, mtime, ctime, "
                    "seen, readok, title, artist, album, track, duration, bitrate) "
                    "VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, ?14)",
                    &put_) &&
               make("DELETE FROM tracks WHERE source=?1 AND seen<>?2", &drop_);
    }

    void bindKey(sqlite3_stmt *s, const QByteArray &source, const FileStat &stat)
    {
        sqlite3_bind_blob(s, 1, source.constData(), int(source.size()), SQLITE_TRANSIENT);
        sqlite3_bind_int64(s, 2, sqlite3_int64(stat.identity.device));
        sqlite3_bind_int64(s, 3, sqlite3_int64(stat.identity.inode));
        sqlite3_bind_int64(s, 4, stat.size);
        sqlite3_bind_int64(s, 5, stat.modifiedNs);
        sqlite3_bind_int64(s, 6, stat.changedNs);
        sqlite3_bind_int64(s, 7, walk_);
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
        if (!open())
            close();
    }

    void close()
    {
        for (sqlite3_stmt **statement : {&touch_, &put_, &drop_}) {
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
    sqlite3_stmt *touch_ = nullptr;
    sqlite3_stmt *put_ = nullptr;
    sqlite3_stmt *drop_ = nullptr;
    qint64 walk_ = 0;
    bool inBatch_ = false;
    int pending_ = 0;
    bool rebuilt_ = false;
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

TrackInfo TagCache::trackInfo(const QByteArray &source, const QByteArray &, const FileStat &stat,
                              const std::function<int()> &open)
{
    TrackInfo info;
    if (db_->lookup(source, stat, &info))
        return info;
    info = readTrackInfo(open());
    ++filesRead_;
    db_->store(source, stat, info);
    return info;
}

void TagCache::walkComplete(const QByteArray &source)
{
    db_->dropUnseen(source);
}
