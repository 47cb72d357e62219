#include "imaging/PhotoMetadata.h"
#include "main_window/TimeOrder.h"

#include "ExifSamples.h"
#include "ImagingTestSupport.h"

#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>

using imaging::ClockTime;

namespace {

// "10:15:00.5" on one day, or nothing for an empty text.
std::optional<ClockTime> at(const QString& time)
{
    if (time.isEmpty())
        return std::nullopt;
    const QStringList parts = time.split(u'.');
    const QByteArray dateTime = "2023:07:12 " + parts[0].toLatin1();
    const QByteArray fraction = parts.size() > 1 ? parts[1].toLatin1() : QByteArray();
    return imaging::parseExifDateTime(dateTime.toStdString(), fraction.toStdString());
}

} // namespace

class TestTimeOrder : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { qputenv("TZ", "UTC"); }

    // Elements 1.. carry the names and times of the table; the placeholder is element 9. The
    // display order starts in the listing's order unless a row gives it (as drops leave it).
    void byTimeTaken_data()
    {
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QStringList>("times");
        QTest::addColumn<QList<int>>("start");
        QTest::addColumn<QStringList>("expected");
        const QStringList abc = {"a", "b", "c"};
        QTest::newRow("c, a, b by time") << abc << QStringList{"10:00:00", "11:00:00", "09:00:00"} << QList<int>()
                                         << QStringList{"c", "a", "b"};
        QTest::newRow("same moment: by name, wherever drops put them")
            << QStringList{"a", "b", "c", "d"} << QStringList{"10:00:00", "09:00:00", "10:00:00", "09:00:00"}
            << QList<int>{4, 3, 2, 1, 9} << QStringList{"b", "d", "a", "c"};
        QTest::newRow("fractions of a second")
            << QStringList{"a", "b", "c", "d"} << QStringList{"10:00:00.5", "10:00:00.25", "10:00:00", "10:00:00.50"}
            << QList<int>() << QStringList{"c", "b", "a", "d"};
        QTest::newRow("without time: last, by name")
            << QStringList{"a", "b", "c", "d"} << QStringList{"", "10:00:00", "", "09:00:00"} << QList<int>{3, 1, 2, 4, 9}
            << QStringList{"d", "b", "a", "c"};
        QTest::newRow("none has a time") << abc << QStringList{"", "", ""} << QList<int>{2, 3, 1, 9} << abc;
        QTest::newRow("upper case before lower case")
            << QStringList{"b", "B", "a"} << QStringList{"", "", ""} << QList<int>() << QStringList{"B", "a", "b"};
        QTest::newRow("one picture") << QStringList{"a"} << QStringList{"10:00:00"} << QList<int>() << QStringList{"a"};
    }

    void byTimeTaken()
    {
        QFETCH(QStringList, names);
        QFETCH(QStringList, times);
        QFETCH(QList<int>, start);
        QFETCH(QStringList, expected);
        constexpr int kPlaceholder = 9;
        const auto name = [&](int index) { return index == kPlaceholder ? QStringLiteral("-") : names[index - 1]; };
        const timeorder::NameLess nameLess = [&](int a, int b) { return name(a) < name(b); };
        if (start.isEmpty()) {
            for (int i = 1; i <= names.size(); ++i)
                start.append(i);
            start.append(kPlaceholder);
        }
        QList<int> asked;
        const QList<int> sorted = timeorder::byTimeTaken(
            start,
            [&](int index) {
                asked.append(index);
                return at(times[index - 1]);
            },
            nameLess);
        QStringList got;
        for (int index : sorted)
            got.append(name(index));
        QCOMPARE(got, expected + QStringList{"-"});
        QCOMPARE(asked.size(), names.size()); // once each, never for the placeholder

        // By name again: the listing's order.
        QStringList back;
        for (int index : timeorder::byName(sorted, nameLess))
            back.append(name(index));
        QStringList listed = names;
        std::sort(listed.begin(), listed.end());
        QCOMPARE(back, listed + QStringList{"-"});
    }

    void timeTaken_data()
    {
        QTest::addColumn<QString>("original");
        QTest::addColumn<QString>("digitized");
        QTest::addColumn<QString>("modified");
        QTest::addColumn<QString>("expected");
        QTest::newRow("all three") << "10:00:00" << "11:00:00" << "12:00:00" << "10:00:00";
        QTest::newRow("digitized") << "" << "11:00:00" << "12:00:00" << "11:00:00";
        QTest::newRow("file time") << "" << "" << "12:00:00" << "12:00:00";
        QTest::newRow("nothing") << "" << "" << "" << "";
    }

    void timeTaken()
    {
        QFETCH(QString, original);
        QFETCH(QString, digitized);
        QFETCH(QString, modified);
        QFETCH(QString, expected);
        imaging::PhotoMetadata metadata;
        metadata.original = at(original);
        metadata.digitized = at(digitized);
        metadata.modified = at(modified);
        QCOMPARE(timeorder::timeTaken(metadata), at(expected));
    }

    // Files as the window will hand them over: read on demand, without decoding. d.jpg has no
    // EXIF; its last change (UTC here) falls between a and b.
    void filesByTimeTaken()
    {
        QTemporaryDir dir;
        const QStringList names = {"a.jpg", "b.jpg", "c.jpg", "d.jpg"};
        const QStringList taken = {"2023:07:12 10:00:00", "2023:07:12 10:30:00", "2023:07:12 09:00:00", ""};
        QList<imaging::PhotoMetadata> metadata;
        for (int i = 0; i < names.size(); ++i) {
            const QByteArray jpeg = encodeJpeg(testPicture(8, 8));
            const QByteArray path = QFile::encodeName(dir.filePath(names[i]));
            QFile file(QFile::decodeName(path));
            QVERIFY(file.open(QIODevice::WriteOnly));
            const QByteArray dateTime = taken[i].toLatin1();
            file.write(taken[i].isEmpty()
                           ? jpeg
                           : withExif(jpeg, exifTiff({{"Exif.Photo.DateTimeOriginal", dateTime.constData()}})));
            file.close();
            const timespec times[2] = {{1689156900, 0}, {1689156900, 0}}; // 2023-07-12 10:15:00 UTC
            QCOMPARE(::utimensat(AT_FDCWD, path.constData(), times, 0), 0);
            metadata.append(imaging::readFileMetadata(path));
        }
        const timeorder::NameLess nameLess = [&](int a, int b) { return names[a - 1] < names[b - 1]; };
        const QList<int> sorted = timeorder::byTimeTaken(
            {1, 2, 3, 4, 5}, [&](int index) { return timeorder::timeTaken(metadata[index - 1]); }, nameLess);
        QCOMPARE(sorted, (QList<int>{3, 1, 4, 2, 5}));
        QCOMPARE(timeorder::byName(sorted, nameLess), (QList<int>{1, 2, 3, 4, 5}));
    }
};

QTEST_GUILESS_MAIN(TestTimeOrder)
#include "tst_timeorder.moc"
