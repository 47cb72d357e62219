#include "thumbnails/ThumbnailCache.h"
#include "thumbnails/ThumbnailLoader.h"

#include "ExifSamples.h"
#include "TestFiles.h"
#include "ThumbnailPictures.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <sqlite3.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>

// The thumbnail cache as the loader's workers use it: every hit is the fresh result, a changed
// file is never served, any fault leaves the thumbnails as without the cache, the size is bounded.

using thumbs::ThumbnailCache;

namespace {

// n JPEG pictures, each its own.
QList<QString> photos(const QTemporaryDir& dir, int n, int green = 0)
{
    QList<QString> paths;
    for (int i = 0; i < n; ++i)
        paths.append(save(dir, QStringLiteral("p%1.jpg").arg(i, 2, 10, QLatin1Char('0')),
                          pattern(120, 90, qRgb(i * 8, green, 0)), "JPG"));
    return paths;
}

// One series as the window's loader runs it, on the user's cache file, as one start of the
// program. Each result must be what its picture gives prepared afresh; gives how many came from
// the cache (-1: the series did not finish).
int load(const QList<QString>& paths, QSize box = {100, 100}, std::int64_t limit = 1 << 24)
{
    // What this start uses counts as used later than anything before it.
    const qint64 before = QDateTime::currentMSecsSinceEpoch();
    if (!QTest::qWaitFor([&] { return QDateTime::currentMSecsSinceEpoch() > before; }))
        return -1;
    ThumbnailLoader loader(2, std::make_shared<ThumbnailCache>(ThumbnailCache::userFileName(), limit));
    QList<ThumbnailLoader::Job> jobs;
    for (const QString& path : paths)
        jobs.append({int(jobs.size()) + 1, platform::encodeName(path)});
    loader.start(jobs, box.width(), box.height());
    for (qsizetype n = 0; n < paths.size(); ++n) {
        std::optional<ThumbnailLoader::Result> r;
        if (!QTest::qWaitFor([&] { return (r = loader.takeReady()).has_value(); }, 10000))
            return -1;
        const thumbs::Prepared fresh = prepareFile(paths[r->index - 1], box.width(), box.height());
        [&] {
            QCOMPARE(r->prepared.kind, fresh.kind);
            QCOMPARE(r->prepared.picture.format(), fresh.picture.format());
            QCOMPARE(r->prepared.taken, fresh.taken);
            QVERIFY(r->prepared.camera == fresh.camera);
            COMPARE_IMAGES(drawn(r->prepared), drawn(fresh));
        }();
    }
    // Whatever the workers still keep is in the database before anyone looks.
    return QTest::qWaitFor([&] { return loader.idle(); }, 10000) ? loader.cacheHitCount() : -1;
}

// Runs one statement on the cache file with a connection of its own (another program, as far as
// the loader is concerned) and gives the first column of its first row.
qint64 sqlValue(const char* sql)
{
    sqlite3* db = nullptr;
    qint64 value = -1;
    sqlite3_stmt* s = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(ThumbnailCache::userFileName()).constData(), &db,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) == SQLITE_OK &&
        sqlite3_prepare_v2(db, sql, -1, &s, nullptr) == SQLITE_OK && sqlite3_step(s) == SQLITE_ROW)
        value = sqlite3_column_int64(s, 0);
    sqlite3_finalize(s);
    sqlite3_close(db);
    return value;
}

// Sets the last access and modification, which leaves the change time now.
void setTimes(const QString& path, const timespec (&times)[2])
{
    QCOMPARE(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
}

} // namespace

class TestThumbnailCache : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        m_cacheHome = std::make_unique<QTemporaryDir>();
        qputenv("XDG_CACHE_HOME", QFile::encodeName(m_cacheHome->path()));
    }

    void hitIsTheFreshResult_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("jpeg") << encoded(pattern(333, 250), "JPG");
        QTest::newRow("camera jpeg")
            << withExif(encoded(pattern(333, 250), "JPG"),
                        exifTiff({{"Exif.Image.Make", "Canon"},
                                  {"Exif.Image.Model", "Canon EOS R6"},
                                  {"Exif.Photo.BodySerialNumber", "0320"},
                                  {"Exif.Photo.DateTimeOriginal", "2024:07:12 10:15:00"},
                                  {"Exif.Photo.OffsetTimeOriginal", "-05:30"}}));
        QTest::newRow("16-bit grey png named .jpg")
            << encoded(pattern(300, 100).convertToFormat(QImage::Format_Grayscale16), "PNG");
        QTest::newRow("unreadable") << QByteArray("not a picture");
    }
    void hitIsTheFreshResult()
    {
        QFETCH(QByteArray, content);
        QTemporaryDir dir;
        const QList<QString> path{dir.filePath(QStringLiteral("x.jpg"))};
        writeFile(path[0], content);
        // A hit takes the file's last change, the time taken here, from the file again.
        setTimes(path[0], {{1689156900, 0}, {1689156900, 0}});
        // Boxes of other shapes, narrower or lower, find nothing they could take for theirs, and
        // leave entries that the first shape must not take for its own.
        QCOMPARE(load(path, {200, 150}), 0);
        QCOMPARE(load(path, {200, 100}), 0);
        QCOMPARE(load(path, {100, 150}), 0);
        QCOMPARE(load(path, {200, 150}), 1);
        struct stat st = {};
        QCOMPARE(::stat(QFile::encodeName(ThumbnailCache::userFileName()).constData(), &st), 0);
        QCOMPARE(st.st_mode & 0777, 0600u);
    }

    // An entry stands for a file's content, whatever its name.
    void fileChanges_data()
    {
        QTest::addColumn<bool>("renamed"); // else rewritten, same size, modification time put back
        QTest::newRow("renamed: a hit") << true;
        QTest::newRow("rewritten: a miss") << false;
    }
    void fileChanges()
    {
        QFETCH(bool, renamed);
        QTemporaryDir dir;
        const QString path = save(dir, QStringLiteral("a.jpg"), pattern(200, 150), "JPG");
        QString now = path;
        QCOMPARE(load({path}), 0);
        struct stat before = {};
        QCOMPARE(::stat(QFile::encodeName(path).constData(), &before), 0);
        QTest::qWait(10); // so that times differ
        QFile file(path);
        if (renamed) {
            now = dir.filePath(QStringLiteral("0001 a.jpg"));
            QVERIFY(QFile::rename(path, now));
        } else {
            QVERIFY(file.open(QIODevice::ReadWrite));
            file.seek(file.size() / 2);
            const char c = file.peek(1)[0];
            file.write(QByteArray(1, char(c ^ 0x55)));
            file.close();
            setTimes(path, {before.st_atim, before.st_mtim});
        }
        QCOMPARE(load({now}), renamed ? 1 : 0);
    }

    // Whatever is wrong with the cache, the pictures come as without it; the next start begins a
    // new cache where the old one could not be read.
    void faultsLeaveTheResultsAsWithout_data()
    {
        QTest::addColumn<QByteArray>("fault");
        QTest::addColumn<bool>("laterHits");
        QTest::newRow("foreign header") << QByteArray("foreign") << true;
        QTest::newRow("page of pixels overwritten") << QByteArray("pixels") << true;
        QTest::newRow("cut short") << QByteArray("short") << true;
        QTest::newRow("cache folder is a file") << QByteArray("folder") << false;
        QTest::newRow("cache of a newer version") << QByteArray("newer") << false;
        QTest::newRow("locked by another program") << QByteArray("locked") << true;
    }
    void faultsLeaveTheResultsAsWithout()
    {
        QFETCH(QByteArray, fault);
        QFETCH(bool, laterHits);
        QTemporaryDir pictures;
        const QList<QString> paths = photos(pictures, 6);
        const QString file = ThumbnailCache::userFileName();
        const QByteArray junk = QByteArray("SQLite format 3").append(5000, '\x5a');
        QDir().mkpath(QFileInfo(file).absolutePath());
        sqlite3* holder = nullptr;
        QByteArray damaged; // what is to be set aside
        if (fault == "foreign") {
            writeFile(file, damaged = junk);
        } else if (fault == "pixels" || fault == "short") {
            QCOMPARE(load(paths), 0);
            QCOMPARE(sqlValue("PRAGMA wal_checkpoint(TRUNCATE)"), 0); // all of it in the file itself
            // The page before the last carries pixels only; its first four bytes link it to the
            // next page of the value, and stay.
            const qint64 pageSize = sqlValue("PRAGMA page_size");
            QFile f(file);
            QVERIFY(f.open(QIODevice::ReadWrite));
            if (fault == "pixels")
                QVERIFY(f.seek(f.size() - 2 * pageSize + 4) && f.write(junk.left(pageSize - 4)) > 0);
            else
                QVERIFY(f.resize(f.size() / 2));
            QVERIFY(f.seek(0));
            damaged = f.readAll();
        } else if (fault == "folder") {
            QDir(m_cacheHome->path()).rmdir(QStringLiteral("Tessaline"));
            writeFile(QFileInfo(file).absolutePath(), "a file where the folder belongs");
        } else if (fault == "newer") {
            sqlValue("PRAGMA user_version=99");
        } else if (fault == "locked") {
            QCOMPARE(load(paths), 0); // a cache to lock
            QCOMPARE(sqlite3_open(QFile::encodeName(file).constData(), &holder), SQLITE_OK);
            QCOMPARE(sqlite3_exec(holder, "PRAGMA locking_mode=EXCLUSIVE; BEGIN EXCLUSIVE; DELETE FROM pixels",
                                  nullptr, nullptr, nullptr),
                     SQLITE_OK);
        }

        // Each result as without a cache (load() checks); only what is intact may be a hit.
        const int hits = load(paths);
        QVERIFY(hits >= 0 && hits < (fault == "pixels" ? paths.size() : 1));
        if (!damaged.isNull()) {
            QFile aside(file + QStringLiteral(".damaged"));
            QVERIFY(aside.open(QIODevice::ReadOnly));
            QCOMPARE(aside.readAll(), damaged);
        }
        sqlite3_close(holder);
        load(paths); // the next start
        QCOMPARE(load(paths), laterHits ? paths.size() : 0);
        if (fault == "newer")
            QCOMPARE(sqlValue("PRAGMA user_version"), 99); // left to the version that made it
    }

    // Over its limit, the cache lets the least recently used entries go: a folder seen again
    // keeps its entries, although they were written first.
    void sizeIsBounded()
    {
        QTemporaryDir folders[3];
        QList<QString> series[3];
        for (int k = 0; k < 3; ++k)
            series[k] = photos(folders[k], 12, 100 * k);
        // 100 x 75 pixels of 3 bytes: 12 entries take about 290 KB, two folders fit, three do not.
        constexpr qint64 kLimit = 700 << 10;
        const QSize box(100, 100);
        QCOMPARE(load(series[0], box, kLimit), 0);
        QCOMPARE(load(series[1], box, kLimit), 0);
        QCOMPARE(load(series[0], box, kLimit), 12);
        QCOMPARE(load(series[2], box, kLimit), 0);
        const qint64 bytes = sqlValue("PRAGMA page_count") * sqlValue("PRAGMA page_size");
        QVERIFY2(bytes <= kLimit, qPrintable(QString::number(bytes)));
        QCOMPARE(load(series[0], box, kLimit), 12);
        QCOMPARE(load(series[2], box, kLimit), 12);
        QVERIFY(load(series[1], box, kLimit) < 12);
    }

private:
    std::unique_ptr<QTemporaryDir> m_cacheHome;
};

QTEST_MAIN(TestThumbnailCache)
#include "tst_thumbnailcache.moc"
