#include "imaging/PhotoMetadata.h"
#include "main_window/TimeOrder.h"
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

    // Element i + 1 carries names[i] and times[i] ("10:15:00.5" on one day; "" for none); the
    // placeholder, element 9, ends the display order to start from.
    void byTimeTaken_data()
    {
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QStringList>("times");
        QTest::addColumn<QList<int>>("start");
        QTest::addColumn<QStringList>("expected");
        const QStringList abcd = {"a", "b", "c", "d"};
        QTest::newRow("same second: by name, not by element")
            << QStringList{"d", "c", "b", "a"} << QStringList{"10:00:00", "09:00:00", "10:00:00", "09:00:00"}
            << QList<int>{1, 2, 3, 4} << QStringList{"a", "c", "b", "d"};
        QTest::newRow("fractions of a second, one tie")
            << abcd << QStringList{"10:00:00.5", "10:00:00.25", "10:00:00", "10:00:00.50"}
            << QList<int>{1, 2, 3, 4} << QStringList{"c", "b", "a", "d"};
        QTest::newRow("without time: last, by name, wherever drops put them")
            << abcd << QStringList{"", "10:00:00", "", "09:00:00"} << QList<int>{3, 1, 2, 4}
            << QStringList{"d", "b", "a", "c"};
    }
    void byTimeTaken()
    {
        QFETCH(QStringList, names);
        QFETCH(QStringList, times);
        QFETCH(QList<int>, start);
        QFETCH(QStringList, expected);
        const auto name = [&](int index) { return index == 9 ? QStringLiteral("-") : names[index - 1]; };
        const timeorder::NameLess nameLess = [&](int a, int b) { return name(a) < name(b); };
        start.append(9);
        int asked = 0;
        const auto timeOf = [&](int index) {
            ++asked;
            const QStringList parts = times[index - 1].split(u'.');
            return imaging::parseExifDateTime(QString(u"2023:07:12 " + parts[0]).toStdString(),
                                              parts.value(1).toStdString());
        };
        const auto namesOf = [&](const QList<int>& order) {
            QStringList got;
            for (int index : order)
                got.append(name(index));
            return got;
        };
        const QList<int> sorted = timeorder::byTimeTaken(start, timeOf, nameLess);
        QCOMPARE(namesOf(sorted), expected + QStringList{"-"});
        QCOMPARE(asked, names.size());
        std::sort(names.begin(), names.end());
        QCOMPARE(namesOf(timeorder::byName(sorted, nameLess)), names + QStringList{"-"});
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
