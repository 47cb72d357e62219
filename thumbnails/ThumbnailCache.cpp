#include "thumbnails/ThumbnailCache.h"

#include "platform/FileTime.h"
#include "platform/OwnFolders.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QtGlobal>

#include <sqlite3.h>

#include <bit>
#include <chrono>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace thumbs {

namespace {

constexpr int kSchemaVersion = 1;

// Raised whenever the stored bytes of a result are laid out anew, so that values kept by an
// earlier version are never read.
constexpr int kValueLayout = 4;

// Entries and their pixels live in two tables, so that looking through the entries (for the
// least recently used) reads small rows, not the pixels.
constexpr const char* kSchema = R"(
CREATE TABLE entries(
  id INTEGER PRIMARY KEY,
  device INTEGER NOT NULL, inode INTEGER NOT NULL, size INTEGER NOT NULL, mtime INTEGER NOT NULL,
  tw INTEGER NOT NULL, th INTEGER NOT NULL, version INTEGER NOT NULL,
  ctime INTEGER NOT NULL, fingerprint BLOB NOT NULL, bytes INTEGER NOT NULL, used INTEGER NOT NULL,
  UNIQUE(device, inode, size, mtime, tw, th, version));
CREATE INDEX entries_by_use ON entries(used);
CREATE TABLE pixels(id INTEGER PRIMARY KEY, value BLOB NOT NULL);
)";

enum class StoredKind : quint8 { Jpeg = 1, Picture = 2, Unreadable = 3 };

// Where the time taken came from. The file's last change is not kept but read from the file's
// stamp at every hit: as a local time it follows the time zone of the session.
enum class StoredTime : quint8 { None = 0, Recorded = 1, FileTime = 2 };

// Results of an older prepare, or of another Qt (its readers and scaling make the fallback
// pixels), are never found.
std::int64_t codeVersion()
{
    static const std::int64_t version = [] {
        const QByteArray text =
            QByteArray::number(kPreparedVersion) + ' ' + QByteArray::number(kValueLayout) + ' ' + qVersion();
        const QByteArray digest = QCryptographicHash::hash(text, QCryptographicHash::Md5);
        std::int64_t v = 0;
        std::memcpy(&v, digest.constData(), sizeof v);
        return v & 0x7fffffffffffffff;
    }();
    return version;
}

std::int64_t nowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

FileStamp stampFrom(const struct stat& st)
{
    FileStamp s;
    s.device = st.st_dev;
    s.inode = st.st_ino;
    s.size = st.st_size;
    s.mtimeNs = platform::fileTimeNs(st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
    s.ctimeNs = platform::fileTimeNs(st.st_ctim.tv_sec, st.st_ctim.tv_nsec);
    return s;
}

// A check of a stored value's bytes. SQLite notices damage to its own structures, not to the bytes
// of a value: a page of pixels spoilt on the disk would be shown as it reads. Any one word that
// differs changes the check (each step is invertible), and the rotation carries the high bits of
// each word down into the low bits of the next steps.
constexpr std::size_t kCheckBytes = sizeof(std::uint64_t);

std::uint64_t checkOf(const char* data, std::size_t size)
{
    constexpr std::uint64_t kPrime = 0x100000001b3;
    std::uint64_t check = 0xcbf29ce484222325 ^ size;
    std::size_t i = 0;
    for (; i + 8 <= size; i += 8) {
        std::uint64_t word;
        std::memcpy(&word, data + i, 8);
        check = std::rotl((check ^ word) * kPrime, 29);
    }
    for (; i < size; ++i)
        check = std::rotl((check ^ static_cast<unsigned char>(data[i])) * kPrime, 29);
    return check;
}

// A digest of samples of the file's bytes: all of a small file; of a larger one its head and tail
// (where a JPEG keeps its headers and metadata) and blocks spread over the rest. Nothing when the
// file is not the one the stamp describes any more.
std::optional<QByteArray> fingerprintOf(const QByteArray& nativePath, const FileStamp& stamp)
{
    constexpr std::int64_t kWhole = 256 * 1024;
    constexpr std::int64_t kEnds = 64 * 1024;
    constexpr std::int64_t kBlock = 4096;
    constexpr int kBlocks = 16;
    const int fd = ::open(nativePath.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return std::nullopt;
    struct stat st = {};
    std::optional<QByteArray> result;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && stampFrom(st) == stamp) {
        QCryptographicHash hash(QCryptographicHash::Md5);
        std::vector<char> buffer;
        bool complete = true;
        const auto sample = [&](std::int64_t offset, std::int64_t length) {
            buffer.resize(std::size_t(length));
            std::int64_t got = 0;
            while (got < length) {
                const ssize_t n = ::pread(fd, buffer.data() + got, std::size_t(length - got), offset + got);
                if (n <= 0) {
                    if (n < 0 && errno == EINTR)
                        continue;
                    complete = false;
                    return;
                }
                got += n;
            }
            hash.addData(QByteArrayView(buffer.data(), qsizetype(length)));
        };
        if (stamp.size <= kWhole) {
            sample(0, stamp.size);
        } else {
            sample(0, kEnds);
            const std::int64_t middle = stamp.size - 2 * kEnds - kBlock;
            for (int i = 0; i < kBlocks && complete; ++i)
                sample(kEnds + middle * i / (kBlocks - 1), kBlock);
            sample(stamp.size - kEnds, kEnds);
        }
        if (complete)
            result = hash.result();
    }
    ::close(fd);
    return result;
}

} // namespace

std::optional<FileStamp> stampOf(const QByteArray& nativePath)
{
    struct stat st = {};
    if (nativePath.isEmpty() || nativePath.contains('\0') || ::stat(nativePath.constData(), &st) != 0 ||
        !S_ISREG(st.st_mode))
        return std::nullopt;
    return stampFrom(st);
}

QByteArray encodePrepared(const Prepared& prepared)
{
    QByteArray bytes;
    if (prepared.transient)
        return bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setVersion(QDataStream::Qt_6_0);
    if (!prepared.taken)
        out << quint8(StoredTime::None);
    else if (prepared.takenIsFileTime)
        out << quint8(StoredTime::FileTime);
    else
        out << quint8(StoredTime::Recorded) << qint64(prepared.taken->seconds)
            << qint32(prepared.taken->nanoseconds);
    const imaging::CameraData& camera = prepared.camera;
    out << camera.make << camera.model << camera.serial << bool(camera.zoneOffset)
        << qint32(camera.zoneOffset.value_or(0));
    out << quint8(prepared.clip ? 1 : 0) << qint64(prepared.clipMs.value_or(-1));
    switch (prepared.kind) {
    case Prepared::Kind::Jpeg: {
        const cDIBSection& dib = *prepared.dib;
        const JpegFit& f = prepared.jpegFit;
        out << quint8(StoredKind::Jpeg) << qint32(f.width) << qint32(f.height) << qint32(f.left) << qint32(f.top)
            << qint32(dib.Width()) << qint32(dib.Height());
        out.writeRawData(reinterpret_cast<const char*>(dib.DIBSectionBitsPtr()),
                         dib.BytesPerScanLine() * dib.Height());
        break;
    }
    case Prepared::Kind::Picture: {
        const QImage& image = prepared.picture;
        const PictureFit& f = prepared.pictureFit;
        out << quint8(StoredKind::Picture) << f.width << f.height << f.left << f.top << qint32(image.format())
            << qint32(image.width()) << qint32(image.height()) << qint32(image.bytesPerLine())
            << quint32(image.colorCount());
        for (const QRgb colour : image.colorTable())
            out << quint32(colour);
        out.writeRawData(reinterpret_cast<const char*>(image.constBits()), qsizetype(image.sizeInBytes()));
        break;
    }
    case Prepared::Kind::Unreadable:
        out << quint8(StoredKind::Unreadable);
        break;
    }
    return bytes;
}

std::optional<Prepared> decodePrepared(const char* data, std::size_t size, int TW, int TH)
{
    const QByteArray bytes = QByteArray::fromRawData(data, qsizetype(size));
    QDataStream in(bytes);
    in.setVersion(QDataStream::Qt_6_0);
    Prepared p;
    p.TW = TW;
    p.TH = TH;
    quint8 time = 0;
    in >> time;
    if (StoredTime(time) == StoredTime::Recorded) {
        qint64 seconds = 0;
        qint32 nanoseconds = 0;
        in >> seconds >> nanoseconds;
        if (nanoseconds < 0 || nanoseconds > 999'999'999)
            return std::nullopt;
        p.taken = imaging::ClockTime{seconds, nanoseconds};
    } else if (StoredTime(time) == StoredTime::FileTime) {
        p.takenIsFileTime = true;
    } else if (StoredTime(time) != StoredTime::None) {
        return std::nullopt;
    }
    imaging::CameraData& camera = p.camera;
    bool zoned = false;
    qint32 zone = 0;
    in >> camera.make >> camera.model >> camera.serial >> zoned >> zone;
    if (camera.make.size() > imaging::kMaxCameraText || camera.model.size() > imaging::kMaxCameraText ||
        camera.serial.size() > imaging::kMaxCameraText || zone < -14 * 3600 || zone > 14 * 3600)
        return std::nullopt;
    if (zoned)
        camera.zoneOffset = zone;
    quint8 clip = 0;
    qint64 clipMs = -1;
    in >> clip >> clipMs;
    if (clip > 1 || clipMs < -1 || (clipMs >= 0 && !clip))
        return std::nullopt;
    p.clip = clip != 0;
    if (clipMs >= 0)
        p.clipMs = clipMs;
    quint8 kind = 0;
    in >> kind;
    const auto rest = [&] { return qsizetype(size) - in.device()->pos(); };
    switch (StoredKind(kind)) {
    case StoredKind::Jpeg: {
        qint32 fw = 0, fh = 0, left = 0, top = 0, w = 0, h = 0;
        in >> fw >> fh >> left >> top >> w >> h;
        if (in.status() != QDataStream::Ok || w < 1 || h < 1 || w > TW || h > TH || fw != w || fh != h)
            return std::nullopt;
        auto dib = std::make_shared<cDIBSection>();
        if (!dib->Create(w, h) || rest() != qsizetype(dib->BytesPerScanLine()) * h)
            return std::nullopt;
        std::memcpy(dib->DIBSectionBitsPtr(), data + (qsizetype(size) - rest()), std::size_t(rest()));
        p.kind = Prepared::Kind::Jpeg;
        p.jpegFit = JpegFit{fw, fh, left, top};
        p.dib = std::move(dib);
        return p;
    }
    case StoredKind::Picture: {
        PictureFit f;
        qint32 format = 0, w = 0, h = 0, bytesPerLine = 0;
        quint32 colourCount = 0;
        in >> f.width >> f.height >> f.left >> f.top >> format >> w >> h >> bytesPerLine >> colourCount;
        if (in.status() != QDataStream::Ok || format <= QImage::Format_Invalid || format >= QImage::NImageFormats ||
            w < 1 || h < 1 || w > TW || h > TH || colourCount > 256)
            return std::nullopt;
        QList<QRgb> colours(colourCount);
        for (QRgb& colour : colours)
            in >> colour;
        QImage image(w, h, QImage::Format(format));
        if (in.status() != QDataStream::Ok || image.isNull() || image.bytesPerLine() != bytesPerLine ||
            rest() != qsizetype(image.sizeInBytes()))
            return std::nullopt;
        std::memcpy(image.bits(), data + (qsizetype(size) - rest()), std::size_t(rest()));
        image.setColorTable(colours);
        p.kind = Prepared::Kind::Picture;
        p.pictureFit = f;
        p.picture = std::move(image);
        return p;
    }
    case StoredKind::Unreadable:
        if (in.status() != QDataStream::Ok || rest() != 0)
            return std::nullopt;
        return p;
    }
    return std::nullopt;
}

ThumbnailCache::ThumbnailCache(QString fileName, std::int64_t limitBytes, int busyTimeoutMs)
    : m_fileName(std::move(fileName)), m_limit(limitBytes), m_busyTimeoutMs(busyTimeoutMs)
{
}

QString ThumbnailCache::userFileName()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
           QStringLiteral("/Tessaline/thumbnails.sqlite");
}

bool ThumbnailCache::takeLimitCheck(std::int64_t written)
{
    // A build is checked once at its end; one that writes much (large thumbnails of a large
    // folder) is checked on the way as well, so that it cannot take far more than the limit.
    const std::int64_t total = m_writtenSinceCheck += written;
    if (total < m_limit / 8)
        return false;
    m_writtenSinceCheck = 0;
    return true;
}

void ThumbnailCache::fault(int code)
{
    m_faulted = true;
    const int primary = code & 0xff;
    if ((primary != SQLITE_CORRUPT && primary != SQLITE_NOTADB) || m_movedAside.exchange(true))
        return;
    // Kept for a look, one at a time; the journal files belong to the damaged file.
    const QByteArray path = QFile::encodeName(m_fileName);
    ::rename(path.constData(), QByteArray(path + ".damaged").constData());
    ::unlink(QByteArray(path + "-wal").constData());
    ::unlink(QByteArray(path + "-shm").constData());
}

bool ThumbnailCache::setUp(sqlite3* db)
{
    const auto exec = [&](const char* sql) {
        const int code = sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
        if (code != SQLITE_OK)
            fault(code);
        return code == SQLITE_OK;
    };
    const auto schema = [&]() {
        sqlite3_stmt* version = nullptr;
        int code = sqlite3_prepare_v2(db, "PRAGMA user_version", -1, &version, nullptr);
        int value = -1;
        if (code == SQLITE_OK && (code = sqlite3_step(version)) == SQLITE_ROW)
            value = sqlite3_column_int(version, 0);
        sqlite3_finalize(version);
        if (value < 0)
            fault(code);
        return value;
    };
    int version = schema();
    if (version == kSchemaVersion)
        return true;
    if (version != 0) {
        // Another version's cache (or no database): left as it is.
        m_faulted = true;
        return false;
    }
    // auto_vacuum only takes effect before the first table, and gives the space of entries that
    // were let go back to the file system.
    if (!exec("PRAGMA auto_vacuum=INCREMENTAL") || !exec("PRAGMA journal_mode=WAL") || !exec("BEGIN IMMEDIATE"))
        return false;
    // Another Tessaline may have been quicker.
    version = schema();
    if (version == 0) {
        const QByteArray create = QByteArray(kSchema) + "PRAGMA user_version=" + QByteArray::number(kSchemaVersion);
        if (!exec(create.constData()))
            return false;
    } else if (version != kSchemaVersion) {
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        m_faulted = true;
        return false;
    }
    return exec("COMMIT");
}

ThumbnailCache::Connection::Connection(std::shared_ptr<ThumbnailCache> cache) : m_cache(std::move(cache)) {}

ThumbnailCache::Connection::~Connection()
{
    close();
}

void ThumbnailCache::Connection::close()
{
    for (sqlite3_stmt** s : {&m_find, &m_touch, &m_insertEntry, &m_insertPixels}) {
        sqlite3_finalize(*s);
        *s = nullptr;
    }
    if (m_db)
        sqlite3_close_v2(m_db);
    m_db = nullptr;
}

bool ThumbnailCache::Connection::ok(int code)
{
    if (code == SQLITE_OK || code == SQLITE_ROW || code == SQLITE_DONE)
        return true;
    m_cache->fault(code);
    close();
    return false;
}

bool ThumbnailCache::Connection::exec(const char* sql)
{
    return ok(sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr));
}

bool ThumbnailCache::Connection::open()
{
    if (!m_cache || !m_cache->usable()) {
        close();
        return false;
    }
    if (m_db)
        return true;
    const QByteArray path = QFile::encodeName(m_cache->m_fileName);
    const std::lock_guard lock(m_cache->m_setUpMutex);
    if (!m_cache->m_setUp) {
        // Thumbnails of private photos are private: the folder and the file are the user's alone
        // (SQLite gives its journal files the database's mode).
        const QString folder = QFileInfo(m_cache->m_fileName).absolutePath();
        platform::makeOwnFolder(QFile::encodeName(folder));
        const int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        struct stat st = {};
        if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
            ((st.st_mode & 0777) != 0600 && ::fchmod(fd, 0600) != 0)) {
            if (fd >= 0)
                ::close(fd);
            m_cache->fault(SQLITE_CANTOPEN);
            return false;
        }
        ::close(fd);
    }
    if (!ok(sqlite3_open_v2(path.constData(), &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr))) {
        return false;
    }
    sqlite3_busy_timeout(m_db, m_cache->m_busyTimeoutMs);
    if (!m_cache->m_setUp) {
        if (!m_cache->setUp(m_db)) {
            close();
            return false;
        }
        m_cache->m_setUp = true;
    }
    const auto prepare = [&](const char* sql, sqlite3_stmt** s) {
        return ok(sqlite3_prepare_v3(m_db, sql, -1, SQLITE_PREPARE_PERSISTENT, s, nullptr));
    };
    // Without syncing at every commit: a crash may lose the last thumbnails, never the database.
    return exec("PRAGMA synchronous=NORMAL") && exec("PRAGMA journal_size_limit=8388608") &&
           prepare("SELECT e.id, e.ctime, e.fingerprint, p.value FROM entries e JOIN pixels p ON p.id = e.id "
                   "WHERE e.device=?1 AND e.inode=?2 AND e.size=?3 AND e.mtime=?4 AND e.tw=?5 AND e.th=?6 "
                   "AND e.version=?7",
                   &m_find) &&
           prepare("UPDATE entries SET used=?1, ctime=?2 WHERE id=?3", &m_touch) &&
           prepare("INSERT OR IGNORE INTO entries(device, inode, size, mtime, tw, th, version, ctime, fingerprint, "
                   "bytes, used) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11)",
                   &m_insertEntry) &&
           prepare("INSERT INTO pixels(id, value) VALUES(?1, ?2)", &m_insertPixels);
}

namespace {

void bindKey(sqlite3_stmt* s, const FileStamp& stamp, int TW, int TH)
{
    sqlite3_bind_int64(s, 1, static_cast<sqlite3_int64>(stamp.device));
    sqlite3_bind_int64(s, 2, static_cast<sqlite3_int64>(stamp.inode));
    sqlite3_bind_int64(s, 3, stamp.size);
    sqlite3_bind_int64(s, 4, stamp.mtimeNs);
    sqlite3_bind_int(s, 5, TW);
    sqlite3_bind_int(s, 6, TH);
    sqlite3_bind_int64(s, 7, codeVersion());
}

} // namespace

void ThumbnailCache::Connection::drop(std::int64_t id)
{
    const QByteArray n = QByteArray::number(id);
    exec(QByteArray("DELETE FROM entries WHERE id=" + n + "; DELETE FROM pixels WHERE id=" + n).constData());
}

std::optional<Prepared> ThumbnailCache::Connection::find(const QByteArray& nativePath, int TW, int TH,
                                                         std::optional<FileStamp>& stamp)
{
    stamp = stampOf(nativePath);
    if (!stamp || !open())
        return std::nullopt;
    bindKey(m_find, *stamp, TW, TH);
    const int code = sqlite3_step(m_find);
    if (code != SQLITE_ROW) {
        sqlite3_reset(m_find);
        ok(code);
        return std::nullopt;
    }
    const std::int64_t id = sqlite3_column_int64(m_find, 0);
    bool same = sqlite3_column_int64(m_find, 1) == stamp->ctimeNs;
    const std::int64_t ctime = stamp->ctimeNs;
    if (!same) {
        const QByteArray stored(static_cast<const char*>(sqlite3_column_blob(m_find, 2)), sqlite3_column_bytes(m_find, 2));
        same = fingerprintOf(nativePath, *stamp) == stored;
    }
    std::optional<Prepared> p;
    if (same) {
        const auto* value = static_cast<const char*>(sqlite3_column_blob(m_find, 3));
        const auto size = std::size_t(sqlite3_column_bytes(m_find, 3));
        std::uint64_t check = 0;
        if (size >= kCheckBytes)
            std::memcpy(&check, value + size - kCheckBytes, kCheckBytes);
        if (size < kCheckBytes || check != checkOf(value, size - kCheckBytes)) {
            // The file is damaged where SQLite cannot see it, so any other value may be too.
            sqlite3_reset(m_find);
            ok(SQLITE_CORRUPT);
            return std::nullopt;
        }
        p = decodePrepared(value, size - kCheckBytes, TW, TH);
    }
    sqlite3_reset(m_find);
    if (!p) {
        drop(id);
        return std::nullopt;
    }
    if (p->takenIsFileTime) {
        constexpr std::int64_t kSecond = 1'000'000'000;
        const std::int64_t before = stamp->mtimeNs < 0 && stamp->mtimeNs % kSecond != 0 ? 1 : 0;
        p->taken = imaging::localClockTime(stamp->mtimeNs / kSecond - before,
                                           std::int32_t(stamp->mtimeNs % kSecond + before * kSecond));
    }
    sqlite3_bind_int64(m_touch, 1, nowMs());
    sqlite3_bind_int64(m_touch, 2, ctime);
    sqlite3_bind_int64(m_touch, 3, id);
    const int touched = sqlite3_step(m_touch);
    sqlite3_reset(m_touch);
    ok(touched);
    return p;
}

void ThumbnailCache::Connection::store(const QByteArray& nativePath, const FileStamp& stamp, const Prepared& prepared)
{
    if (prepared.transient || prepared.preview || !open())
        return;
    const std::optional<QByteArray> fingerprint = fingerprintOf(nativePath, stamp);
    if (!fingerprint)
        return; // changed while it was prepared, or gone
    QByteArray value = encodePrepared(prepared);
    if (value.isEmpty() || !exec("BEGIN IMMEDIATE"))
        return;
    const std::uint64_t check = checkOf(value.constData(), std::size_t(value.size()));
    value.append(reinterpret_cast<const char*>(&check), kCheckBytes);
    bindKey(m_insertEntry, stamp, prepared.TW, prepared.TH);
    sqlite3_bind_int64(m_insertEntry, 8, stamp.ctimeNs);
    sqlite3_bind_blob(m_insertEntry, 9, fingerprint->constData(), int(fingerprint->size()), SQLITE_STATIC);
    sqlite3_bind_int64(m_insertEntry, 10, value.size());
    sqlite3_bind_int64(m_insertEntry, 11, nowMs());
    int code = sqlite3_step(m_insertEntry);
    sqlite3_reset(m_insertEntry);
    if (!ok(code))
        return;
    // Another Tessaline may have kept the same file meanwhile: its entry stands.
    if (sqlite3_changes(m_db) == 1) {
        sqlite3_bind_int64(m_insertPixels, 1, sqlite3_last_insert_rowid(m_db));
        sqlite3_bind_blob64(m_insertPixels, 2, value.constData(), sqlite3_uint64(value.size()), SQLITE_STATIC);
        code = sqlite3_step(m_insertPixels);
        sqlite3_reset(m_insertPixels);
        if (!ok(code))
            return;
    }
    if (exec("COMMIT") && m_cache->takeLimitCheck(value.size()))
        enforceLimit();
}

void ThumbnailCache::Connection::enforceLimit()
{
    if (!open())
        return;
    m_cache->m_writtenSinceCheck = 0;
    const auto pragma = [&](const char* sql) -> std::int64_t {
        sqlite3_stmt* s = nullptr;
        std::int64_t value = -1;
        int code = sqlite3_prepare_v2(m_db, sql, -1, &s, nullptr);
        if (code == SQLITE_OK && (code = sqlite3_step(s)) == SQLITE_ROW)
            value = sqlite3_column_int64(s, 0);
        sqlite3_finalize(s);
        if (value < 0)
            ok(code == SQLITE_ROW ? SQLITE_CORRUPT : code);
        return value;
    };
    // Down to nine tenths, so that the next builds do not each have to let a few entries go.
    const std::int64_t limit = m_cache->limit();
    const std::int64_t target = limit / 10 * 9;
    for (int round = 0; round < 16 && m_db; ++round) {
        const std::int64_t free = pragma("PRAGMA freelist_count");
        if (free < 0 || (free > 0 && !exec("PRAGMA incremental_vacuum")))
            return;
        const std::int64_t pageSize = pragma("PRAGMA page_size");
        const std::int64_t used = pragma("PRAGMA page_count") * pageSize;
        if (!m_db || used <= limit)
            break;
        sqlite3_stmt* oldest = nullptr;
        if (!ok(sqlite3_prepare_v2(m_db, "SELECT id, bytes FROM entries ORDER BY used LIMIT 1024", -1, &oldest,
                                   nullptr)))
            return;
        QList<std::int64_t> ids;
        std::int64_t freed = 0;
        int code = SQLITE_OK;
        while (freed < used - target && (code = sqlite3_step(oldest)) == SQLITE_ROW) {
            ids.append(sqlite3_column_int64(oldest, 0));
            freed += sqlite3_column_int64(oldest, 1);
        }
        sqlite3_finalize(oldest);
        if (!ok(code) || ids.isEmpty())
            return;
        QByteArray list;
        for (std::int64_t id : ids)
            list += (list.isEmpty() ? "" : ",") + QByteArray::number(id);
        const QByteArray remove = "BEGIN IMMEDIATE; DELETE FROM entries WHERE id IN (" + list +
                                  "); DELETE FROM pixels WHERE id IN (" + list + "); COMMIT";
        if (!exec(remove.constData()))
            return;
    }
    // Hands the space back to the file system now rather than at some later commit.
    if (m_db)
        exec("PRAGMA wal_checkpoint(PASSIVE)");
}

} // namespace thumbs
