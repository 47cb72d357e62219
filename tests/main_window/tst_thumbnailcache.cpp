#include "main_window/ThumbCanvas.h"
#include "main_window/ThumbnailCache.h"
#include "main_window/ThumbnailLoader.h"
#include "main_window/frmmain.h"

#include "ExifSamples.h"
#include "TestFiles.h"
#include "ThumbnailTestSupport.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <sqlite3.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>

using thumbs::Prepared;
using thumbs::ThumbnailCache;

namespace {

// A folder of JPEG pictures of different shapes.
QList<QString> photos(const QTemporaryDir& dir, int n)
{
    QList<QString> paths;
    for (int i = 0; i < n; ++i)
        paths.append(save(dir, QStringLiteral("p%1.jpg").arg(i, 2, 10, QLatin1Char('0')),
                          pattern(160 + 23 * i, 240 - 9 * i, qRgb(i * 9, 0, 0)), "JPG"));
    return paths;
}

struct Shown
{
    int hits = -1;
    QList<QImage> boxes; // in display order, with their device pixel ratio
};

// The window fills the folder (without captions) and says what it showed.
Shown fill(const QString& folder)
{
    Shown shown;
    frmmain w;
    w.showfilename = false;
    w.show();
    QSignalSpy built(&w, &frmmain::viewBuilt);
    w.openFolder(folder);
    // Whatever the workers still keep is in the database before anyone looks.
    if (!built.wait(60000) || !QTest::qWaitFor([&] { return w.thumbnailLoader().idle(); }, 10000))
        return shown;
    shown.hits = w.thumbnailLoader().cacheHitCount();
    for (qsizetype k = 0; k + 1 < w.order.size(); ++k)
        shown.boxes.append(w.picScroll->shownImage(w.order[k]));
    return shown;
}

// What the window shows for a picture, prepared afresh: the screen has two device pixels per
// pixel (see main), so the boxes of 100 x 100 pixels are 200 x 200 device pixels.
QImage expectedBox(const QString& path)
{
    return drawn(prepareFile(path, 200, 200));
}

// Runs one statement on the cache file with a connection of its own (another program, as far as
// the window is concerned) and gives the first column of its first row.
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

void setTimes(const QString& path, const struct stat& like)
{
    const timespec times[2] = {like.st_atim, like.st_mtim};
    QCOMPARE(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
}

} // namespace

class TestThumbnailCache : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); }

    // Each test its own cache folder.
    void init()
    {
        m_cacheHome = std::make_unique<QTemporaryDir>();
        qputenv("XDG_CACHE_HOME", QFile::encodeName(m_cacheHome->path()));
    }

    void hitIsTheFreshResult_data()
    {
        QTest::addColumn<QByteArray>("kind");
        QTest::addColumn<int>("box");
        QTest::newRow("jpeg") << QByteArray("jpeg") << 100;
        QTest::newRow("jpeg, two device pixels per pixel") << QByteArray("jpeg") << 200;
        QTest::newRow("png named .jpg") << QByteArray("png") << 100;
        QTest::newRow("16-bit grey png named .jpg") << QByteArray("grey16") << 100;
        QTest::newRow("unreadable") << QByteArray("text") << 100;
    }
    void hitIsTheFreshResult()
    {
        QFETCH(QByteArray, kind);
        QFETCH(int, box);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("x.jpg"));
        if (kind == "jpeg")
            save(dir, QStringLiteral("x.jpg"), pattern(333, 250), "JPG");
        else if (kind == "png")
            save(dir, QStringLiteral("x.jpg"), pattern(90, 200), "PNG");
        else if (kind == "grey16")
            save(dir, QStringLiteral("x.jpg"), pattern(300, 100).convertToFormat(QImage::Format_Grayscale16), "PNG");
        else
            writeFile(path, "not a picture");
        const timespec past[2] = {{1689156900, 0}, {1689156900, 0}}; // the change time stays now
        QCOMPARE(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), past, 0), 0);
        const Prepared fresh = prepareFile(path, box, box);

        ThumbnailCache::Connection connection(std::make_shared<ThumbnailCache>(ThumbnailCache::userFileName(), 1 << 20));
        std::optional<thumbs::FileStamp> stamp;
        const QByteArray native = platform::encodeName(path);
        QVERIFY(!connection.find(native, box, box, stamp));
        connection.store(native, *stamp, fresh);
        QVERIFY(!connection.find(native, box, box + 1, stamp)); // another box size

        // Another session, as after a restart.
        ThumbnailCache::Connection later(std::make_shared<ThumbnailCache>(ThumbnailCache::userFileName(), 1 << 20));
        const std::optional<Prepared> hit = later.find(native, box, box, stamp);
        QVERIFY(hit);
        QCOMPARE(hit->kind, fresh.kind);
        QCOMPARE(hit->picture.format(), fresh.picture.format());
        COMPARE_IMAGES(drawn(*hit), drawn(fresh));
        // Here the file's last change, which a hit takes from the file again.
        QVERIFY(fresh.taken && fresh.takenIsFileTime);
        QCOMPARE(hit->taken, fresh.taken);
        struct stat st = {};
        QCOMPARE(::stat(QFile::encodeName(ThumbnailCache::userFileName()).constData(), &st), 0);
        QCOMPARE(st.st_mode & 0777, 0600u);
    }

    // An entry stands for a file's content, whatever its name.
    void fileChanges_data()
    {
        QTest::addColumn<QByteArray>("change");
        QTest::addColumn<bool>("hit");
        QTest::newRow("renamed") << QByteArray("rename") << true;
        QTest::newRow("linked under another name") << QByteArray("link") << true;
        QTest::newRow("rewritten") << QByteArray("rewrite") << false;
        QTest::newRow("rewritten, same size, modification time put back") << QByteArray("same size") << false;
        QTest::newRow("replaced by a copy") << QByteArray("copy") << false;
    }
    void fileChanges()
    {
        QFETCH(QByteArray, change);
        QFETCH(bool, hit);
        QTemporaryDir dir;
        const QString path = save(dir, QStringLiteral("a.jpg"), pattern(200, 150), "JPG");
        QString now = path;
        ThumbnailCache::Connection connection(std::make_shared<ThumbnailCache>(ThumbnailCache::userFileName(), 1 << 20));
        std::optional<thumbs::FileStamp> stamp;
        QVERIFY(!connection.find(platform::encodeName(path), 100, 100, stamp));
        connection.store(platform::encodeName(path), *stamp, prepareFile(path));

        struct stat before = {};
        QCOMPARE(::stat(QFile::encodeName(path).constData(), &before), 0);
        QTest::qWait(10); // so that times differ
        QFile file(path);
        if (change == "rename") {
            now = dir.filePath(QStringLiteral("0001 a.jpg"));
            QVERIFY(QFile::rename(path, now));
        } else if (change == "link") {
            now = dir.filePath(QStringLiteral("b.jpg"));
            QCOMPARE(::link(QFile::encodeName(path).constData(), QFile::encodeName(now).constData()), 0);
        } else if (change == "rewrite") {
            save(dir, QStringLiteral("a.jpg"), pattern(200, 150, qRgb(90, 0, 0)), "JPG");
        } else if (change == "same size") {
            QVERIFY(file.open(QIODevice::ReadWrite));
            file.seek(file.size() / 2);
            const char c = file.peek(1)[0];
            file.write(QByteArray(1, char(c ^ 0x55)));
            file.close();
            setTimes(path, before);
        } else if (change == "copy") {
            QVERIFY(QFile::copy(path, path + QStringLiteral(".new")));
            setTimes(path + QStringLiteral(".new"), before);
            QVERIFY(QFile::remove(path));
            QVERIFY(QFile::rename(path + QStringLiteral(".new"), path));
        }
        QCOMPARE(connection.find(platform::encodeName(now), 100, 100, stamp).has_value(), hit);
    }

    // Whatever is wrong with the cache, the view fills as without it; the next start begins a new
    // cache where the old one could not be read.
    void faultsLeaveTheViewAsWithout_data()
    {
        QTest::addColumn<QByteArray>("fault");
        QTest::addColumn<bool>("laterHits");
        QTest::newRow("damaged file") << QByteArray("damaged") << true;
        QTest::newRow("cache folder is a file") << QByteArray("folder") << false;
        QTest::newRow("cache of a newer version") << QByteArray("newer") << false;
        QTest::newRow("locked by another program") << QByteArray("locked") << true;
    }
    void faultsLeaveTheViewAsWithout()
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
            QCOMPARE(fill(pictures.path()).hits, 0); // a cache to lock
            QCOMPARE(sqlite3_open(QFile::encodeName(file).constData(), &holder), SQLITE_OK);
            QCOMPARE(sqlite3_exec(holder, "PRAGMA locking_mode=EXCLUSIVE; BEGIN EXCLUSIVE; DELETE FROM pixels",
                                  nullptr, nullptr, nullptr),
                     SQLITE_OK);
        }

        const Shown shown = fill(pictures.path());
        QCOMPARE(shown.hits, 0);
        QCOMPARE(shown.boxes.size(), paths.size());
        for (qsizetype k = 0; k < paths.size(); ++k)
            COMPARE_IMAGES(shown.boxes[k], expectedBox(paths[k]));
        QCOMPARE(QDir(pictures.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).size(),
                 paths.size()); // nothing of the cache among the pictures
        if (fault == "damaged") {
            QFile aside(file + QStringLiteral(".damaged"));
            QVERIFY(aside.open(QIODevice::ReadOnly));
            QCOMPARE(aside.readAll(), junk);
        }
        sqlite3_close(holder);
        fill(pictures.path()); // the next start
        QCOMPARE(fill(pictures.path()).hits, laterHits ? paths.size() : 0);
        if (fault == "newer")
            QCOMPARE(sqlValue("PRAGMA user_version"), 99); // left to the version that made it
    }

    // Over its limit, the cache lets the least recently used entries go once a series is done.
    void sizeIsBounded()
    {
        QTemporaryDir first;
        QTemporaryDir second;
        QList<ThumbnailLoader::Job> jobs[2];
        for (int i = 0; i < 30; ++i) {
            const QString name = QStringLiteral("%1.jpg").arg(i);
            jobs[0].append({i + 1, platform::encodeName(save(first, name, pattern(120, 90, qRgb(i, 0, 0)), "JPG"))});
            jobs[1].append({i + 1, platform::encodeName(save(second, name, pattern(120, 90, qRgb(0, i, 0)), "JPG"))});
        }
        // 100 x 75 pixels of 3 bytes: 30 entries take about 720 KB.
        constexpr qint64 kLimit = 1 << 20;
        const auto run = [&](const QList<ThumbnailLoader::Job>& series) {
            ThumbnailLoader loader(2, std::make_shared<ThumbnailCache>(ThumbnailCache::userFileName(), kLimit));
            loader.start(series, 100, 100);
            int taken = 0;
            while (taken < series.size() && QTest::qWaitFor([&] { return loader.takeReady().has_value(); }, 10000))
                ++taken;
            [&] { QTRY_VERIFY(loader.idle()); }();
            return loader.cacheHitCount();
        };
        QCOMPARE(run(jobs[0]), 0);
        QCOMPARE(run(jobs[0]), 30);
        QCOMPARE(run(jobs[1]), 0);
        const qint64 bytes = sqlValue("PRAGMA page_count") * sqlValue("PRAGMA page_size");
        QVERIFY2(bytes <= kLimit, qPrintable(QString::number(bytes)));
        QCOMPARE(run(jobs[1]), 30);
        QVERIFY(run(jobs[0]) < 15);
    }

    // Two loaders on one folder at once, each with a cache of its own on the same file, as two
    // windows of two running programs have; then a window finds every picture, a turned one
    // fitted on the size it is seen at: the height and a quarter of the width, in the middle.
    void twoCachesAtOnce()
    {
        QTemporaryDir pictures;
        QList<QString> paths = photos(pictures, 15);
        QByteArray jpeg;
        QBuffer buffer(&jpeg);
        buffer.open(QIODevice::WriteOnly);
        pattern(400, 100).save(&buffer, "JPG");
        paths.append(pictures.filePath(QStringLiteral("turned.jpg")));
        writeFile(paths.last(), withExif(jpeg, orientationTiff(6)));
        QList<ThumbnailLoader::Job> jobs;
        for (const QString& path : paths)
            jobs.append({int(jobs.size()) + 1, platform::encodeName(path)});
        std::unique_ptr<ThumbnailLoader> loaders[2];
        for (auto& loader : loaders) {
            loader = std::make_unique<ThumbnailLoader>(2, std::make_shared<ThumbnailCache>(ThumbnailCache::userFileName(), 1 << 24));
            loader->start(jobs, 200, 200);
        }
        for (auto& loader : loaders) {
            for (int taken = 0; taken < jobs.size(); ++taken) {
                std::optional<ThumbnailLoader::Result> r;
                QVERIFY(QTest::qWaitFor([&] { return (r = loader->takeReady()).has_value(); }, 10000));
                COMPARE_IMAGES(drawn(r->prepared), expectedBox(paths[r->index - 1]));
            }
            QTRY_VERIFY(loader->idle());
        }
        QCOMPARE(sqlValue("SELECT count(*) FROM entries"), paths.size());
        const Shown shown = fill(pictures.path());
        QCOMPARE(shown.hits, paths.size());
        const QImage& standing = shown.boxes.last();
        QCOMPARE(standing.devicePixelRatio(), 2.0);
        QCOMPARE(standing.pixel(74, 100), qRgb(255, 255, 255));
        QVERIFY(standing.pixel(76, 100) != qRgb(255, 255, 255));
        QCOMPARE(standing.pixel(126, 100), qRgb(255, 255, 255));
    }

private:
    std::unique_ptr<QTemporaryDir> m_cacheHome;
};

int main(int argc, char* argv[])
{
    qputenv("QT_SCALE_FACTOR", "2");
    QApplication app(argc, argv);
    TestThumbnailCache test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_thumbnailcache.moc"
