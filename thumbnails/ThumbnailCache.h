#pragma once

#include "thumbnails/Thumbnails.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>

struct sqlite3;
struct sqlite3_stmt;

// The thumbnail cache: prepared thumbnails kept on disk across starts, and what identifies a
// file and a prepared result there.
namespace thumbs {

// What the file system says about a file's content without reading it.
struct FileStamp
{
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t size = 0;
    std::int64_t mtimeNs = 0;
    std::int64_t ctimeNs = 0;

    bool operator==(const FileStamp&) const = default;
};

// The stamp of a regular file (or of the file a link leads to); nothing for anything else.
std::optional<FileStamp> stampOf(const QByteArray& nativePath);

// A prepared thumbnail as bytes and back, exactly: the resampled pixels and their fit, the
// fallback picture in its own format and its fit, or "unreadable", the time taken, the camera
// that took it, and whether it is a clip's, with the clip's length. Nothing for bytes that do not
// describe a result (damaged, or of another layout), or a result that is not kept (transient). A
// time taken that is the file's last change comes back marked but empty, for the caller to take
// from the file.
QByteArray encodePrepared(const Prepared& prepared);
std::optional<Prepared> decodePrepared(const char* data, std::size_t size, int TW, int TH);

// Prepared thumbnails kept across starts in an SQLite database, so that a folder seen before
// fills without decoding. An entry is found by the file's device, inode, size and modification
// time, the box size and the version of the code that prepared it, not by its name, so a
// renamed file is still found. Its change time is kept too: when that differs (a rename changes
// it, but so does a rewrite whose modification time was put back), samples of the file's bytes
// decide whether it is still the same.
//
// Shared by the threads that prepare thumbnails; each of them reads and writes through its own
// Connection, never the user-interface thread. Any fault (a file that cannot be opened or
// created, a damaged or unknown database, a lock held too long by another running Tessaline, a
// full disk) switches the cache off for the rest of the session, which then works as without
// it; a damaged file is moved aside, so that the next start begins a new one.
class ThumbnailCache
{
public:
    // limitBytes 0 switches the cache off. busyTimeoutMs: how long to wait for another
    // process's lock before giving up.
    explicit ThumbnailCache(QString fileName, std::int64_t limitBytes, int busyTimeoutMs = 2000);

    // $XDG_CACHE_HOME/Tessaline/thumbnails.sqlite (by default under ~/.cache).
    static QString userFileName();

    const QString& fileName() const { return m_fileName; }
    void setLimit(std::int64_t bytes) { m_limit = bytes; }
    std::int64_t limit() const { return m_limit; }
    // On, and no fault met in this session.
    bool usable() const { return m_limit > 0 && !m_faulted; }

    class Connection;

private:
    friend class Connection;
    bool setUp(sqlite3* db);
    void fault(int code);
    bool takeLimitCheck(std::int64_t written);

    QString m_fileName;
    std::atomic<std::int64_t> m_limit;
    int m_busyTimeoutMs;
    std::atomic<bool> m_faulted{false};
    std::atomic<bool> m_movedAside{false};
    std::atomic<std::int64_t> m_writtenSinceCheck{0};
    std::mutex m_setUpMutex;
    bool m_setUp = false;
};

// One thread's access to the cache. Opens the database when first needed.
class ThumbnailCache::Connection
{
public:
    explicit Connection(std::shared_ptr<ThumbnailCache> cache);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // The kept result for the file in a TW x TH box, or nothing. stamp receives the file's stamp
    // as it was looked up, for store (nothing when the file cannot be kept).
    std::optional<Prepared> find(const QByteArray& nativePath, int TW, int TH, std::optional<FileStamp>& stamp);
    // Keeps a freshly prepared result, unless the file changed since its stamp was taken.
    void store(const QByteArray& nativePath, const FileStamp& stamp, const Prepared& prepared);
    // Lets the least recently used entries go until the database fits its limit.
    void enforceLimit();

private:
    bool open();
    void close();
    bool ok(int code);
    bool exec(const char* sql);
    void drop(std::int64_t id);

    std::shared_ptr<ThumbnailCache> m_cache;
    sqlite3* m_db = nullptr;
    sqlite3_stmt* m_find = nullptr;
    sqlite3_stmt* m_touch = nullptr;
    sqlite3_stmt* m_insertEntry = nullptr;
    sqlite3_stmt* m_insertPixels = nullptr;
};

} // namespace thumbs
