#include "main_window/ThumbnailCache.h"
#include "main_window/ThumbnailLoader.h"

#include "TestFiles.h"
#include "ThumbnailTestSupport.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <sqlite3.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>

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
int load(const QList<QString>& paths, int box = 100, std::int64_t limit = 1 << 24)
{
    ThumbnailLoader loader(2, std::make_shared<ThumbnailCache>(ThumbnailCache::userFileName(), limit));
    QList<ThumbnailLoader::Job> jobs;
    for (const QString& path : paths)
        jobs.append({int(jobs.size()) + 1, platform::encodeName(path)});
    loader.start(jobs, box, box);
    for (qsizetype n = 0; n < paths.size(); ++n) {
        std::optional<ThumbnailLoader::Result> r;
        if (!QTest::qWaitFor([&] { return (r = loader.takeReady()).has_value(); }, 10000))
            return -1;
        const thumbs::Prepared fresh = prepareFile(paths[r->index - 1], box, box);
        [&] {
            QCOMPARE(r->prepared.kind, fresh.kind);
            QCOMPARE(r->prepared.picture.format(), fresh.picture.format());
            QCOMPARE(r->prepared.taken, fresh.taken);
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
        QCOMPARE(load(path), 0);
        QCOMPARE(load(path, 101), 0); // another box size
        QCOMPARE(load(path), 1);
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
        QTest::newRow("damaged file") << QByteArray("damaged") << true;
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
        if (fault == "damaged") {
            writeFile(file, junk);
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

        QCOMPARE(load(paths), 0);
        if (fault == "damaged") {
            QFile aside(file + QStringLiteral(".damaged"));
            QVERIFY(aside.open(QIODevice::ReadOnly));
            QCOMPARE(aside.readAll(), junk);
        }
        sqlite3_close(holder);
        load(paths); // the next start
        QCOMPARE(load(paths), laterHits ? paths.size() : 0);
        if (fault == "newer")
            QCOMPARE(sqlValue("PRAGMA user_version"), 99); // left to the version that made it
    }

    // Over its limit, the cache lets the least recently used entries go once a series is done.
    void sizeIsBounded()
    {
        QTemporaryDir first;
        QTemporaryDir second;
        const QList<QString> series[2] = {photos(first, 30), photos(second, 30, 200)};
        // 100 x 75 pixels of 3 bytes: 30 entries take about 720 KB.
        constexpr qint64 kLimit = 1 << 20;
        QCOMPARE(load(series[0], 100, kLimit), 0);
        QCOMPARE(load(series[0], 100, kLimit), 30);
        QCOMPARE(load(series[1], 100, kLimit), 0);
        const qint64 bytes = sqlValue("PRAGMA page_count") * sqlValue("PRAGMA page_size");
        QVERIFY2(bytes <= kLimit, qPrintable(QString::number(bytes)));
        QCOMPARE(load(series[1], 100, kLimit), 30);
        QVERIFY(load(series[0], 100, kLimit) < 15);
    }

private:
    std::unique_ptr<QTemporaryDir> m_cacheHome;
};

QTEST_MAIN(TestThumbnailCache)
#include "tst_thumbnailcache.moc"
