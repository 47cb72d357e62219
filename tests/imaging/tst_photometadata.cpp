#include "ExifSamples.h"
#include "ImagingTestSupport.h"
#include "JpegEdits.h"
#include "imaging/JpegDecoder.h"
#include "imaging/Orientation.h"
#include "imaging/PhotoMetadata.h"
#include "imaging/PictureReader.h"
#include "platform/DeviceContext.h"

#include <QBuffer>
#include <QTemporaryDir>
#include <QTest>

#include <cstring>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using imaging::ClockTime;

namespace {

imaging::PhotoMetadata metadataOf(const QByteArray& data)
{
    return imaging::readPhotoMetadata(reinterpret_cast<const uchar*>(data.constData()),
                                      std::size_t(data.size()));
}

// The orientation's tag value, 0 for none.
int orientationOf(const imaging::PhotoMetadata& metadata)
{
    return metadata.orientation ? int(*metadata.orientation) : 0;
}

QString text(const std::optional<ClockTime>& time)
{
    return time ? QStringLiteral("%1.%2").arg(time->seconds).arg(time->nanoseconds, 9, 10, QLatin1Char('0'))
                : QStringLiteral("none");
}

// A PNG with EXIF and XMP data added by the library, as other programs write them.
QByteArray pngWithMetadata(int orientation)
{
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    testPicture(9, 7).save(&buffer, "PNG");
    return rewritten(png, [&](Exiv2::Image& image) {
        image.exifData()["Exif.Image.Orientation"] = uint16_t(orientation);
        image.xmpData()["Xmp.dc.title"] = std::string("Hafen");
    });
}

// Pixels named by letters, rows top to bottom separated by "/"; a pixel's grey is its letter.
QImage lettered(const QByteArray& rows)
{
    const QList<QByteArray> lines = rows.split('/');
    QImage image(int(lines[0].size()), int(lines.size()), QImage::Format_Grayscale8);
    for (int y = 0; y < image.height(); ++y)
        std::memcpy(image.scanLine(y), lines[y].constData(), std::size_t(image.width()));
    return image;
}

QByteArray lettersOf(const QImage& image)
{
    const QImage grey = image.convertToFormat(QImage::Format_Grayscale8);
    QList<QByteArray> rows;
    for (int y = 0; y < grey.height(); ++y)
        rows.append(QByteArray(reinterpret_cast<const char*>(grey.constScanLine(y)), grey.width()));
    return rows.join('/');
}

} // namespace

class TestPhotoMetadata : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    QByteArray write(const QString& name, const QByteArray& data)
    {
        QFile file(m_dir.filePath(name));
        if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size())
            qFatal("cannot write a fixture");
        return QFile::encodeName(file.fileName());
    }

private slots:
    // File times are compared on a clock two hours ahead of UTC.
    void initTestCase() { qputenv("TZ", "XYZ-2"); }

    // The loader's threads read from their first picture on, XMP included, so the library's
    // toolkit is set up by whichever comes first. This runs first in the process.
    void readsOnManyThreadsAtOnce()
    {
        const QByteArray png = pngWithMetadata(6);
        const QByteArray jpeg = withExif(encodeJpeg(testPicture(16, 8)), orientationTiff(8));
        std::vector<int> wrong(4, 0);
        std::vector<std::thread> threads;
        for (std::size_t t = 0; t < wrong.size(); ++t)
            threads.emplace_back([&, t] {
                for (int i = 0; i < 100; ++i)
                    wrong[t] +=
                        (orientationOf(metadataOf(png)) != 6) + (orientationOf(metadataOf(jpeg)) != 8);
            });
        for (std::thread& thread : threads)
            thread.join();
        QCOMPARE(wrong, std::vector<int>(4, 0));
    }

    // Damaged blocks give what the library can still make out, and never throw, hang or crash.
    void orientation_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<int>("expected");
        const QByteArray jpeg = encodeJpeg(testPicture(16, 8));
        QTest::newRow("no EXIF") << jpeg << 0;
        QTest::newRow("big-endian") << withExif(jpeg, orientationTiff(6, true)) << 6;
        QTest::newRow("after the JFIF segment") << withExif(jpeg, orientationTiff(6), 20) << 6;
        QTest::newRow("behind stray bytes")
            << withExif(jpeg.left(2) + QByteArray("\x00\x7F", 2) + jpeg.mid(2), orientationTiff(3), 4) << 3;
        QTest::newRow("value 9") << withExif(jpeg, orientationTiff(9)) << 0;
        QTest::newRow("after the start of scan")
            << withExif(jpeg, orientationTiff(6), markerAt(jpeg, 0xDA) + 14) << 0;
        QTest::newRow("PNG") << pngWithMetadata(7) << 7;
        QTest::newRow("TIFF") << orientationTiff(2) << 2;
        const auto damaged = [&](const char* name, int at, const QByteArray& bytes, int expected) {
            QTest::newRow(name) << withExif(jpeg, orientationTiff(6).replace(at, bytes.size(), bytes))
                                << expected;
        };
        damaged("directory beyond the block", 4, QByteArray("\xF0\xFF\x00\x00", 4), 0);
        damaged("65535 entries", 8, QByteArray("\xFF\xFF", 2), 0);
        damaged("value type 99", 12, QByteArray("\x63\x00", 2), 0);
        damaged("count 2^31", 14, QByteArray("\x00\x00\x00\x80", 4), 0);
        damaged("next directory is itself", 22, QByteArray("\x08\x00\x00\x00", 4), 6);
        QTest::newRow("block cut short") << withExif(jpeg, orientationTiff(6).left(12)) << 0;
        QByteArray longer = withExif(jpeg, orientationTiff(6));
        longer[4] = char(0x7F); // the segment claims 32 KB of a file of a few hundred bytes
        QTest::newRow("segment longer than the file") << longer << 6;
        QTest::newRow("start of image only") << QByteArray("\xFF\xD8", 2) << 0;
        QTest::newRow("empty") << QByteArray() << 0;
    }

    void orientation()
    {
        QFETCH(QByteArray, data);
        QFETCH(int, expected);
        QCOMPARE(orientationOf(metadataOf(data)), expected);
    }

    // Seconds.nanoseconds from 1970-01-01 00:00:00 on the camera's clock.
    void dateTime_data()
    {
        QTest::addColumn<QByteArray>("dateTime");
        QTest::addColumn<QByteArray>("fraction");
        QTest::addColumn<QString>("expected");
        QTest::newRow("leap day") << QByteArray("2024:02:29 23:59:59") << QByteArray()
                                  << "1709251199.000000000";
        QTest::newRow("year 1") << QByteArray("0001:01:01 00:00:00") << QByteArray()
                                << "-62135596800.000000000";
        QTest::newRow("zero byte, blank")
            << QByteArray("2023:07:12 10:15:00\0 ", 21) << QByteArray("05 ") << "1689156900.050000000";
        QTest::newRow("dashes and T")
            << QByteArray("2023-07-12T10:15:00") << QByteArray("5") << "1689156900.500000000";
        QTest::newRow("12 digits") << QByteArray("2000:01:01 00:00:00") << QByteArray("123456789987")
                                   << "946684800.123456789";
        QTest::newRow("fraction 1a") << QByteArray("2000:01:01 00:00:00") << QByteArray("1a")
                                     << "946684800.000000000";
        for (const char* none :
             {"0000:00:00 00:00:00", "    :  :     :  :  ", "2023:02:29 10:00:00", "2023:07:12 24:00:00",
              "2023:07-12 10:15:00", "2023:07:12 10:15", "2023:07:12 10:15:00 +0200", "+023:07:12 10:15:00"})
            QTest::newRow(none) << QByteArray(none) << QByteArray("5") << "none";
    }

    void dateTime()
    {
        QFETCH(QByteArray, dateTime);
        QFETCH(QByteArray, fraction);
        QFETCH(QString, expected);
        QCOMPARE(text(imaging::parseExifDateTime(dateTime.toStdString(), fraction.toStdString())), expected);
    }

    // A decoder going from file to file gives each file's metadata from the bytes it decodes,
    // and nothing of one file's leaks into the next one's.
    void decoderReadsMetadataOfTheSameBytes()
    {
        const QByteArray dated =
            write(QStringLiteral("dated.jpg"),
                  withExif(encodeJpeg(testPicture(16, 8)),
                           exifTiff({{"Exif.Image.Orientation", "6"},
                                     {"Exif.Photo.DateTimeOriginal", "2023:07:12 10:15:00"},
                                     {"Exif.Photo.SubSecTimeOriginal", "25"},
                                     {"Exif.Photo.DateTimeDigitized", "2023:07:12 10:16:00"}})));
        const timespec times[2] = {{1600000000, 0}, {1600000000, 123456789}};
        QCOMPARE(::utimensat(AT_FDCWD, dated.constData(), times, 0), 0);

        imaging::JpegDecoder decoder;
        cDIBSection dib;
        imaging::PhotoMetadata metadata;
        QVERIFY(decoder.decode(dib, dated, &metadata).decoded());
        QCOMPARE(orientationOf(metadata), 6);
        QCOMPARE(text(metadata.original), QStringLiteral("1689156900.250000000"));
        QCOMPARE(text(metadata.digitized), QStringLiteral("1689156960.000000000"));
        QCOMPARE(text(metadata.modified), QStringLiteral("1600007200.123456789"));

        QVERIFY(
            decoder.decode(dib, write(QStringLiteral("plain.jpg"), encodeJpeg(testPicture(8, 8))), &metadata)
                .decoded());
        QVERIFY(!metadata.orientation && !metadata.original && !metadata.digitized && metadata.modified);
        QVERIFY(!decoder.decode(dib, QByteArray("/nonexistent.jpg"), &metadata).decoded());
        QVERIFY(!metadata.modified);
    }

    // Reading metadata alone reads the head of a JPEG, and on where the segments before the
    // EXIF block fill more than that (ICC profiles come in many 64 KB segments).
    void fileMetadataFindsTheBlockBehindLargeSegments()
    {
        QByteArray jpeg = encodeJpeg(testPicture(8, 8));
        for (int i = 0; i < 6; ++i)
            jpeg.insert(2, jpegSegment(0xE2, QByteArray(65000, 'P')));
        const QByteArray path =
            write(QStringLiteral("profiled.jpg"), withExif(jpeg, orientationTiff(5), 2 + 6 * 65004));
        QCOMPARE(orientationOf(imaging::readFileMetadata(path)), 5);
        QVERIFY(!imaging::readFileMetadata(QFile::encodeName(m_dir.path())).modified);
        // A name with a zero byte names no file; cut off there, it would name another one.
        QVERIFY(!imaging::readFileMetadata(path + QByteArray("\0.x", 3)).modified);
        QVERIFY(imaging::readPicture(path + QByteArray("\0.x", 3)).isNull());
        QVERIFY(!imaging::readPicture(path).isNull());
        // Reading a FIFO would wait for its writer's next word.
        const QByteArray fifo = QFile::encodeName(m_dir.filePath(QStringLiteral("fifo.jpg")));
        QCOMPARE(::mkfifo(fifo.constData(), 0600), 0);
        const int writer = ::open(fifo.constData(), O_RDWR);
        QVERIFY(imaging::readPicture(fifo).isNull());
        ::close(writer);
    }

    // The stored pixels "abc/def" as each orientation shows them, worked out from the tag's
    // definition (which stored row and column become the top row and the left column).
    void turnsExactly_data()
    {
        QTest::addColumn<int>("orientation");
        QTest::addColumn<QByteArray>("shown");
        const char* shown[] = {"abc/def",  "cba/fed",  "fed/cba",  "def/abc",
                               "ad/be/cf", "da/eb/fc", "fc/eb/da", "cf/be/ad"};
        for (int value = 1; value <= 8; ++value)
            QTest::addRow("%d", value) << value << QByteArray(shown[value - 1]);
    }

    void turnsExactly()
    {
        QFETCH(int, orientation);
        QFETCH(QByteArray, shown);
        const imaging::Orientation o = *imaging::orientationFromTag(orientation);
        cDIBSection dib;
        dib.CreateFromPicture(lettered("abc/def"));
        const std::unique_ptr<cDIBSection> turned = imaging::oriented(dib, o);
        QImage painted(turned->Width(), turned->Height(), QImage::Format_RGB32);
        platform::DeviceContext dc(&painted);
        turned->PaintPicture(&dc);
        QCOMPARE(lettersOf(painted), shown);
        for (const QImage::Format format : {QImage::Format_RGB32, QImage::Format_RGB888})
            QCOMPARE(lettersOf(imaging::oriented(lettered("abc/def").convertToFormat(format), o)), shown);
    }
};

QTEST_GUILESS_MAIN(TestPhotoMetadata)
#include "tst_photometadata.moc"
