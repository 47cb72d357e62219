#include "imaging/PhotoMetadata.h"
#include "main_window/frmmain.h"

#include "ExifSamples.h"
#include "HeifSamples.h"
#include "ImagingTestSupport.h"
#include "TestFiles.h"
#include "ThumbnailTestSupport.h"

#include <QApplication>
#include <QDateTime>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

QByteArray photo(const QList<std::pair<const char*, const char*>>& tags, int width = 8)
{
    const QByteArray jpeg = encodeJpeg(pattern(width, 8));
    return tags.isEmpty() ? jpeg : withExif(jpeg, exifTiff(tags));
}

} // namespace

class TestTimeOrder : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        qputenv("TZ", "UTC");
        QApplication::setQuitOnLastWindowClosed(false);
    }

    // Photos whose names sort a, b, c, d and whose times sort c, d, a, b: a time taken counts
    // before a time digitised, and that before the file's last change (d has neither); c comes
    // from a phone. By time
    // as soon as the folder is laid out, before any thumbnail has come in (the times are read
    // from the files then), and back by name. In a second window, whose thumbnails all come from
    // the cache, the times come with them.
    void inTheWindow()
    {
        QTemporaryDir cache;
        qputenv("XDG_CACHE_HOME", QFile::encodeName(cache.path()));
        QTemporaryDir dir;
        writeFile(dir.filePath("a.jpg"), photo({{"Exif.Photo.DateTimeOriginal", "2023:07:12 10:00:00"},
                                                {"Exif.Photo.DateTimeDigitized", "2023:07:12 08:00:00"}}));
        writeFile(dir.filePath("b.jpg"), photo({{"Exif.Photo.DateTimeDigitized", "2023:07:12 10:15:00"}}, 9));
        writeFile(dir.filePath("c.heic"),
                  encodeHeif(pattern(10, 8), HeifSample().withExif(exifTiff({{"Exif.Photo.DateTimeOriginal",
                                                                              "2023:07:12 09:00:00"}}))));
        writeFile(dir.filePath("d.jpg"), photo({}, 11));
        setModified(dir.filePath("d.jpg"), QDateTime::fromSecsSinceEpoch(1689154200)); // 9:30
        const QStringList byTime{"c.heic", "d.jpg", "a.jpg", "b.jpg"};
        {
            frmmain w;
            w.imageerw = QStringLiteral("jpg;heic");
            w.loaderThreads = 1;
            w.thumbnailLoader().setGateOpen(false);
            QSignalSpy built(&w, &frmmain::viewBuilt);
            bool enabledWhileLoading = false;
            connect(&w, &frmmain::viewArranged, &w, [&] {
                QTimer::singleShot(0, &w, [&] {
                    enabledWhileLoading = w.mnuOrderByTime->isEnabled();
                    w.mnuOrderByTime->trigger();
                });
            });
            // Thumbnails come in once the order by time is shown, or when it fails to come.
            QTimer::singleShot(3000, &w, [&] { w.thumbnailLoader().setGateOpen(true); });
            whenever(&w, [&] {
                if (shownNames(w) != byTime)
                    return false;
                w.thumbnailLoader().setGateOpen(true);
                return true;
            });
            w.openFolder(dir.path());
            QVERIFY(built.wait(20000));
            QVERIFY(enabledWhileLoading);
            QCOMPARE(shownNames(w), byTime);
            w.mnuOrderByName->trigger();
            QCOMPARE(shownNames(w), (QStringList{"a.jpg", "b.jpg", "c.heic", "d.jpg"}));
        }
        frmmain w;
        w.imageerw = QStringLiteral("jpg;heic");
        QVERIFY(build(w, dir.path()));
        QCOMPARE(w.thumbnailLoader().cacheHitCount(), 4);
        w.mnuOrderByTime->trigger();
        QCOMPARE(shownNames(w), byTime); // at once: nothing was left to read
    }
};

QTEST_MAIN(TestTimeOrder)
#include "tst_timeorder.moc"
