#include "ExifSamples.h"
#include "ImagingTestSupport.h"
#include "JpegEdits.h"
#include "imaging/Orientation.h"
#include "platform/DeviceContext.h"

#include <QBuffer>
#include <QTest>

namespace {

// The orientation's tag value, 0 for none.
int orientationOf(const QByteArray& data)
{
    const auto metadata = imaging::readPhotoMetadata(reinterpret_cast<const uchar*>(data.constData()),
                                                     std::size_t(data.size()));
    return metadata.orientation ? int(*metadata.orientation) : 0;
}

// A picture's pixels as letters, rows top to bottom separated by "/"; a pixel's grey is its letter.
QByteArray lettersOf(const QImage& image)
{
    QByteArray rows;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x <= image.width(); ++x)
            rows += x < image.width() ? char(qGray(image.pixel(x, y))) : '/';
    return rows.chopped(1);
}

} // namespace

class TestPhotoMetadata : public QObject
{
    Q_OBJECT
private slots:
    // Damaged blocks give what the library can still make out (the fuzz corpus holds more of them).
    void orientation_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<int>("expected");
        const QByteArray jpeg = encodeJpeg(testPicture(16, 8));
        const auto damaged = [&](int at, const QByteArray& bytes) {
            return withExif(jpeg, orientationTiff(6).replace(at, bytes.size(), bytes));
        };
        QByteArray png, longer = withExif(jpeg, orientationTiff(6));
        QBuffer buffer(&png);
        testPicture(9, 7).save(&buffer, "PNG");
        longer[4] = char(0x7F); // the segment claims 32 KB of a file of a few hundred bytes
        QTest::newRow("no EXIF") << jpeg << 0;
        QTest::newRow("big-endian") << withExif(jpeg, orientationTiff(6, true)) << 6;
        QTest::newRow("after the JFIF segment") << withExif(jpeg, orientationTiff(6), 20) << 6;
        QTest::newRow("behind stray bytes")
            << withExif(jpeg.left(2) + QByteArray("\x00\x7F", 2) + jpeg.mid(2), orientationTiff(3), 4) << 3;
        QTest::newRow("value 9") << withExif(jpeg, orientationTiff(9)) << 0;
        QTest::newRow("after the start of scan")
            << withExif(jpeg, orientationTiff(6), markerAt(jpeg, 0xDA) + 14) << 0;
        QTest::newRow("PNG") << withLibraryExif(png, orientationTiff(7)) << 7;
        QTest::newRow("TIFF") << orientationTiff(2) << 2;
        QTest::newRow("value type 99") << damaged(12, QByteArray("\x63\x00", 2)) << 0;
        QTest::newRow("next directory is itself") << damaged(22, QByteArray("\x08\x00\x00\x00", 4)) << 6;
        QTest::newRow("segment longer than the file") << longer << 6;
    }
    void orientation()
    {
        QFETCH(QByteArray, data);
        QTEST(orientationOf(data), "expected");
    }

    // Seconds.nanoseconds from 1970-01-01 00:00:00 on the camera's clock.
    void dateTime_data()
    {
        QTest::addColumn<QByteArray>("dateTime");
        QTest::addColumn<QByteArray>("fraction");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char* name, const QByteArray& dt, const char* fraction,
                            const char* expected) {
            QTest::newRow(name) << dt << QByteArray(fraction) << QString(expected);
        };
        row("leap day", "2024:02:29 23:59:59", "", "1709251199.000000000");
        row("year 1", "0001:01:01 00:00:00", "", "-62135596800.000000000");
        row("zero byte, blank", QByteArray("2023:07:12 10:15:00\0 ", 21), "05 ", "1689156900.050000000");
        row("dashes and T", "2023-07-12T10:15:00", "5", "1689156900.500000000");
        row("12 digits", "2000:01:01 00:00:00", "123456789987", "946684800.123456789");
        row("fraction 1a", "2000:01:01 00:00:00", "1a", "946684800.000000000");
        for (const char* none :
             {"0000:00:00 00:00:00", "    :  :     :  :  ", "2023:02:29 10:00:00", "2023:07:12 24:00:00",
              "2023:07-12 10:15:00", "2023:07:12 10:15", "2023:07:12 10:15:00 +0200", "+023:07:12 10:15:00"})
            row(none, none, "5", "none");
    }
    void dateTime()
    {
        QFETCH(QByteArray, dateTime);
        QFETCH(QByteArray, fraction);
        QTEST(text(imaging::parseExifDateTime(dateTime.toStdString(), fraction.toStdString())), "expected");
    }

    // The stored pixels "abc/def" as each orientation shows them, worked out from the tag's
    // definition (which stored row and column become the top row and the left column).
    void turnsExactly()
    {
        const char* shown[] = {"abc/def",  "cba/fed",  "fed/cba",  "def/abc",
                               "ad/be/cf", "da/eb/fc", "fc/eb/da", "cf/be/ad"};
        const QImage stored(reinterpret_cast<const uchar*>("abcdef"), 3, 2, 3, QImage::Format_Grayscale8);
        for (int value = 1; value <= 8; ++value) {
            const imaging::Orientation o = *imaging::orientationFromTag(value);
            cDIBSection dib;
            dib.CreateFromPicture(stored);
            const std::unique_ptr<cDIBSection> turned = imaging::oriented(dib, o);
            QImage painted(turned->Width(), turned->Height(), QImage::Format_RGB32);
            platform::DeviceContext dc(&painted);
            turned->PaintPicture(&dc);
            QCOMPARE(lettersOf(painted), shown[value - 1]);
            for (const QImage::Format format : {QImage::Format_RGB32, QImage::Format_RGB888})
                QCOMPARE(lettersOf(imaging::oriented(stored.convertToFormat(format), o)), shown[value - 1]);
        }
    }
};

QTEST_GUILESS_MAIN(TestPhotoMetadata)
#include "tst_photometadata.moc"
