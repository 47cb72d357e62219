#include "ExifSamples.h"
#include "ImagingTestSupport.h"
#include "JpegEdits.h"
#include "imaging/JpegDecoder.h"
#include "imaging/Orientation.h"
#include "imaging/PhotoMetadata.h"
#include "imaging/PictureReader.h"

#include <QBuffer>
#include <QTemporaryDir>
#include <QTest>

#include <exiv2/image.hpp>

#include <functional>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>

using imaging::ClockTime;
using imaging::Orientation;

namespace {

const uchar* bytesOf(const QByteArray& data)
{
    return reinterpret_cast<const uchar*>(data.constData());
}

imaging::PhotoMetadata metadataOf(const QByteArray& data)
{
    return imaging::readPhotoMetadata(bytesOf(data), std::size_t(data.size()));
}

// Seconds and nanoseconds, or "none".
QString text(const std::optional<ClockTime>& time)
{
    return time ? QStringLiteral("%1.%2").arg(time->seconds).arg(time->nanoseconds, 9, 10, QLatin1Char('0'))
                : QStringLiteral("none");
}

int orientationOf(const imaging::PhotoMetadata& metadata)
{
    return metadata.orientation ? int(*metadata.orientation) : 0;
}

QByteArray smallJpeg()
{
    return encodeJpeg(testPicture(16, 8));
}

// A picture of another format with metadata added by the library, as other programs write it.
QByteArray withLibraryMetadata(const QByteArray& picture, int orientation, bool xmp)
{
    const auto image = Exiv2::ImageFactory::open(bytesOf(picture), long(picture.size()));
    image->exifData()["Exif.Image.Orientation"] = uint16_t(orientation);
    image->exifData()["Exif.Photo.DateTimeOriginal"] = std::string("2023:07:12 10:15:00");
    if (xmp)
        image->xmpData()["Xmp.dc.title"] = std::string("Hafen");
    image->writeMetadata();
    Exiv2::BasicIo& io = image->io();
    io.seek(0, Exiv2::BasicIo::beg);
    const Exiv2::DataBuf written = io.read(long(io.size()));
    return QByteArray(reinterpret_cast<const char*>(written.pData_), written.size_);
}

QByteArray encoded(const QImage& image, const char* format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

// Pixels named by letters: each letter a colour of its own.
QRgb colourOf(QChar letter)
{
    const int i = letter.unicode() - 'a';
    return qRgb(20 + i * 40, 250 - i * 30, 7 + i * 11);
}

// Rows top to bottom, separated by "/".
void paintLetters(const QString& rows, const std::function<void(int x, int y, QRgb)>& set)
{
    const QStringList lines = rows.split(u'/');
    for (int y = 0; y < lines.size(); ++y)
        for (int x = 0; x < lines[y].size(); ++x)
            set(x, y, colourOf(lines[y][x]));
}

QString lettersOf(int width, int height, const std::function<QRgb(int x, int y)>& get)
{
    QString rows;
    for (int y = 0; y < height; ++y) {
        if (y > 0)
            rows += u'/';
        for (int x = 0; x < width; ++x) {
            QChar letter = u'?';
            for (char c = 'a'; c <= 'f'; ++c)
                if (colourOf(QLatin1Char(c)) == get(x, y))
                    letter = QLatin1Char(c);
            rows += letter;
        }
    }
    return rows;
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
    void initTestCase()
    {
        // File times are compared on a clock two hours ahead of UTC.
        qputenv("TZ", "XYZ-2");
    }

    // The worker threads read metadata at once from their first picture on, XMP included; the
    // library's toolkit is then set up by whichever comes first. This runs first in the process.
    void readsOnManyThreadsAtOnce()
    {
        const QByteArray png = withLibraryMetadata(encoded(testPicture(9, 7), "PNG"), 6, true);
        const QByteArray jpeg = withExif(smallJpeg(), orientationTiff(8));
        std::vector<int> wrong(4, 0);
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t)
            threads.emplace_back([&, t] {
                for (int i = 0; i < 100; ++i)
                    wrong[std::size_t(t)] += (orientationOf(metadataOf(png)) != 6) + (orientationOf(metadataOf(jpeg)) != 8);
            });
        for (std::thread& thread : threads)
            thread.join();
        QCOMPARE(wrong, std::vector<int>(4, 0));
    }

    // 0 stands for none. Damaged blocks give what the library can still make out, and never
    // more than that; none of them may throw, hang or crash.
    void orientation_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<int>("expected");
        const QByteArray jpeg = smallJpeg();
        QTest::newRow("no EXIF") << jpeg << 0;
        for (int value = 1; value <= 8; ++value)
            QTest::addRow("%d", value) << withExif(jpeg, orientationTiff(value)) << value;
        QTest::newRow("big-endian") << withExif(jpeg, orientationTiff(6, true)) << 6;
        QTest::newRow("after the JFIF segment") << withExif(jpeg, orientationTiff(6), 20) << 6;
        QTest::newRow("behind stray bytes") << withExif(jpeg.left(2) + QByteArray("\x00\x7F", 2) + jpeg.mid(2), orientationTiff(3), 4)
                                           << 3;
        QTest::newRow("value 0") << withExif(jpeg, orientationTiff(0)) << 0;
        QTest::newRow("value 9") << withExif(jpeg, orientationTiff(9)) << 0;
        QTest::newRow("after the start of scan") << withExif(jpeg, orientationTiff(6), markerAt(jpeg, 0xDA) + 14) << 0;
        QTest::newRow("written by the library") << withExif(jpeg, exifTiff({{"Exif.Image.Orientation", "5"}})) << 5;
        QTest::newRow("library-written PNG") << withLibraryMetadata(encoded(testPicture(9, 7), "PNG"), 7, false) << 7;
        QTest::newRow("TIFF structure alone") << orientationTiff(2) << 2;

        const auto damaged = [&](const char* name, int at, const QByteArray& bytes, int expected) {
            QByteArray tiff = orientationTiff(6);
            tiff.replace(at, bytes.size(), bytes);
            QTest::newRow(name) << withExif(jpeg, tiff) << expected;
        };
        damaged("directory beyond the block", 4, QByteArray("\xF0\xFF\x00\x00", 4), 0);
        damaged("directory at offset 0", 4, QByteArray(4, '\0'), 0);
        damaged("65535 entries", 8, QByteArray("\xFF\xFF", 2), 0);
        damaged("value type 99", 12, QByteArray("\x63\x00", 2), 0);
        damaged("count 0", 14, QByteArray(4, '\0'), 0);
        damaged("count 2^31 beyond the block", 14, QByteArray("\x00\x00\x00\x80", 4), 0);
        damaged("next directory is itself", 22, QByteArray("\x08\x00\x00\x00", 4), 6);
        damaged("no byte order", 0, QByteArray("XX"), 0);
        QTest::newRow("block cut short") << withExif(jpeg, orientationTiff(6).left(12)) << 0;
        QTest::newRow("header only") << withExif(jpeg, QByteArray()) << 0;
        QByteArray longer = withExif(jpeg, orientationTiff(6));
        longer[4] = char(0x7F); // the segment claims 32 KB in a file of a few hundred bytes
        QTest::newRow("segment longer than the file") << longer << 6;
        QTest::newRow("file ends in the segment") << withExif(jpeg, orientationTiff(6)).left(36) << 6;
        QTest::newRow("start of image only") << QByteArray("\xFF\xD8", 2) << 0;
        QTest::newRow("text") << QByteArray("2023:07:12 10:15:00 not a picture") << 0;
        QTest::newRow("empty") << QByteArray() << 0;
    }

    void orientation()
    {
        QFETCH(QByteArray, data);
        QFETCH(int, expected);
        QCOMPARE(orientationOf(metadataOf(data)), expected);
    }

    // Seconds from 1970-01-01 00:00:00 on the camera's clock; -1 for none.
    void dateTime_data()
    {
        QTest::addColumn<QByteArray>("dateTime");
        QTest::addColumn<QByteArray>("fraction");
        QTest::addColumn<qint64>("seconds");
        QTest::addColumn<int>("nanoseconds");
        QTest::newRow("epoch") << QByteArray("1970:01:01 00:00:00") << QByteArray() << qint64(0) << 0;
        QTest::newRow("leap day") << QByteArray("2024:02:29 23:59:59") << QByteArray() << qint64(1709251199) << 0;
        QTest::newRow("year 1") << QByteArray("0001:01:01 00:00:00") << QByteArray() << qint64(-62135596800) << 0;
        QTest::newRow("zero byte and blank")
            << QByteArray("2023:07:12 10:15:00\0 ", 21) << QByteArray() << qint64(1689156900) << 0;
        QTest::newRow("dashes and T") << QByteArray("2023-07-12T10:15:00") << QByteArray() << qint64(1689156900) << 0;
        QTest::newRow("fraction 5") << QByteArray("2000:01:01 00:00:00") << QByteArray("5") << qint64(946684800)
                                    << 500'000'000;
        QTest::newRow("fraction 05") << QByteArray("2000:01:01 00:00:00") << QByteArray("05 ") << qint64(946684800)
                                     << 50'000'000;
        QTest::newRow("fraction of 12 digits")
            << QByteArray("2000:01:01 00:00:00") << QByteArray("123456789987") << qint64(946684800) << 123'456'789;
        QTest::newRow("fraction not a number")
            << QByteArray("2000:01:01 00:00:00") << QByteArray("1a") << qint64(946684800) << 0;
        for (const char* none : {"0000:00:00 00:00:00", "    :  :     :  :  ", "2023:02:29 10:00:00",
                                 "2023:13:01 10:00:00", "2023:07:12 24:00:00", "2023:07:12 10:60:00",
                                 "2023:07-12 10:15:00", "2023:07:12 10:15", "2023:07:12 10:15:00 +0200",
                                 "+023:07:12 10:15:00", "garbage", ""})
            QTest::newRow(none) << QByteArray(none) << QByteArray("5") << qint64(-1) << 0;
    }

    void dateTime()
    {
        QFETCH(QByteArray, dateTime);
        QFETCH(QByteArray, fraction);
        QFETCH(qint64, seconds);
        QFETCH(int, nanoseconds);
        const std::optional<ClockTime> parsed =
            imaging::parseExifDateTime(std::string_view(dateTime.constData(), std::size_t(dateTime.size())),
                                       std::string_view(fraction.constData(), std::size_t(fraction.size())));
        QCOMPARE(text(parsed), seconds == -1 ? QStringLiteral("none") : text(ClockTime{seconds, nanoseconds}));
    }

    // What the decoder reads for the picture gives the metadata too, on a decoder that goes on
    // from file to file: a file's metadata never leaks into the next one's.
    void decoderReadsMetadataOfTheSameBytes()
    {
        const QByteArray dated = withExif(smallJpeg(), exifTiff({{"Exif.Image.Orientation", "6"},
                                                                 {"Exif.Photo.DateTimeOriginal", "2023:07:12 10:15:00"},
                                                                 {"Exif.Photo.SubSecTimeOriginal", "25"},
                                                                 {"Exif.Photo.DateTimeDigitized", "2023:07:12 10:16:00"}}));
        const QByteArray first = write(QStringLiteral("dated.jpg"), dated);
        const QByteArray second = write(QStringLiteral("plain.jpg"), smallJpeg());
        const timespec times[2] = {{1600000000, 0}, {1600000000, 123456789}};
        QCOMPARE(::utimensat(AT_FDCWD, first.constData(), times, 0), 0);

        imaging::JpegDecoder decoder;
        cDIBSection dib;
        imaging::PhotoMetadata metadata;
        QVERIFY(decoder.decode(dib, first, &metadata).decoded());
        QCOMPARE(orientationOf(metadata), 6);
        QCOMPARE(text(metadata.original), QStringLiteral("1689156900.250000000"));
        QCOMPARE(text(metadata.digitized), QStringLiteral("1689156960.000000000"));
        QCOMPARE(text(metadata.modified), QStringLiteral("1600007200.123456789"));

        QVERIFY(decoder.decode(dib, second, &metadata).decoded());
        QCOMPARE(orientationOf(metadata), 0);
        QVERIFY(!metadata.original && !metadata.digitized && metadata.modified);

        QVERIFY(!decoder.decode(dib, QByteArray("/nonexistent/x.jpg"), &metadata).decoded());
        QVERIFY(!metadata.orientation && !metadata.modified);
    }

    // The fallback reader gives the metadata of what it read and the picture as stored: a CMYK
    // JPEG (which TurboJPEG refuses) and a PNG.
    void fallbackReaderReadsMetadata_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<int>("expected");
        QTest::newRow("CMYK JPEG") << withExif(encodeJpeg(testPicture(12, 8), TJSAMP_444, 0, TJPF_CMYK),
                                               exifTiff({{"Exif.Image.Orientation", "8"},
                                                         {"Exif.Photo.DateTimeOriginal", "2023:07:12 10:15:00"}}))
                                   << 8;
        QTest::newRow("PNG") << withLibraryMetadata(encoded(testPicture(12, 8), "PNG"), 6, true) << 6;
    }

    void fallbackReaderReadsMetadata()
    {
        QFETCH(QByteArray, data);
        QFETCH(int, expected);
        imaging::PhotoMetadata metadata;
        const QImage image = imaging::readPicture(write(QStringLiteral("fallback"), data), &metadata);
        QCOMPARE(image.size(), QSize(12, 8));
        QCOMPARE(orientationOf(metadata), expected);
        QCOMPARE(text(metadata.original), QStringLiteral("1689156900.000000000"));
        QVERIFY(metadata.modified);
    }

    // Reading metadata alone reads the head of a JPEG, and further where segments before the
    // EXIF block are larger than that head (ICC profiles come in many 64 KB segments).
    void fileMetadataFindsTheBlockBehindLargeSegments()
    {
        QByteArray jpeg = smallJpeg();
        for (int i = 0; i < 6; ++i)
            jpeg.insert(2, jpegSegment(0xE2, QByteArray(65000, char('A' + i))));
        const QByteArray path = write(QStringLiteral("profiled.jpg"), withExif(jpeg, orientationTiff(5), 2 + 6 * 65004));
        const imaging::PhotoMetadata metadata = imaging::readFileMetadata(path);
        QCOMPARE(orientationOf(metadata), 5);
        QVERIFY(metadata.modified);
        QVERIFY(!imaging::readFileMetadata(QFile::encodeName(m_dir.path())).modified);
    }

    // Stored pixels a..f (3 x 2) as each orientation shows them, worked out from the tag's
    // definition: which stored row and column become the top row and left column.
    void turnsExactly_data()
    {
        QTest::addColumn<int>("orientation");
        QTest::addColumn<QString>("shown");
        QTest::newRow("1") << 1 << QStringLiteral("abc/def");
        QTest::newRow("2 mirrored") << 2 << QStringLiteral("cba/fed");
        QTest::newRow("3 half a turn") << 3 << QStringLiteral("fed/cba");
        QTest::newRow("4 upside down") << 4 << QStringLiteral("def/abc");
        QTest::newRow("5 transposed") << 5 << QStringLiteral("ad/be/cf");
        QTest::newRow("6 clockwise") << 6 << QStringLiteral("da/eb/fc");
        QTest::newRow("7 transverse") << 7 << QStringLiteral("fc/eb/da");
        QTest::newRow("8 counter-clockwise") << 8 << QStringLiteral("cf/be/ad");
    }

    void turnsExactly()
    {
        QFETCH(int, orientation);
        QFETCH(QString, shown);
        const Orientation o = *imaging::orientationFromTag(orientation);
        const QString stored = QStringLiteral("abc/def");

        cDIBSection dib;
        QVERIFY(dib.Create(3, 2));
        setPixelBytes(dib, QByteArray(18, '\0'));
        paintLetters(stored, [&](int x, int y, QRgb c) {
            uchar* p = dib.DIBSectionBitsPtr() + (1 - y) * dib.BytesPerScanLine() + 3 * x;
            p[0] = uchar(qBlue(c));
            p[1] = uchar(qGreen(c));
            p[2] = uchar(qRed(c));
        });
        const std::unique_ptr<cDIBSection> turned = imaging::oriented(dib, o);
        QVERIFY(turned);
        QCOMPARE(QSize(turned->Width(), turned->Height()), imaging::displayedSize(QSize(3, 2), o));
        QCOMPARE(lettersOf(turned->Width(), turned->Height(),
                           [&](int x, int y) {
                               const uchar* p = turned->DIBSectionBitsPtr()
                                                + (turned->Height() - 1 - y) * turned->BytesPerScanLine() + 3 * x;
                               return qRgb(p[2], p[1], p[0]);
                           }),
                 shown);

        for (const QImage::Format format : {QImage::Format_RGB32, QImage::Format_RGB888}) {
            QImage image(3, 2, format);
            paintLetters(stored, [&](int x, int y, QRgb c) { image.setPixel(x, y, c); });
            const QImage picture = imaging::oriented(image, o);
            QCOMPARE(picture.format(), format);
            QCOMPARE(lettersOf(picture.width(), picture.height(), [&](int x, int y) { return picture.pixel(x, y); }),
                     shown);
        }
    }
};

QTEST_GUILESS_MAIN(TestPhotoMetadata)
#include "tst_photometadata.moc"
