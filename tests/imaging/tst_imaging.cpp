#include "ExifSamples.h"
#include "HeifSamples.h"
#include "ImagingTestSupport.h"
#include "JpegEdits.h"
#include "ScriptedDialogs.h"
#include "TestFiles.h"
#include "imaging/HeifDecoder.h"
#include "imaging/JpegDecoder.h"
#include "imaging/LoadJPG.h"
#include "imaging/Orientation.h"
#include "imaging/PictureReader.h"

#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <stdexcept>

namespace {

// A time as seconds.nanoseconds.
QString text(const std::optional<imaging::ClockTime>& time)
{
    return time ? QString::number(time->seconds) + '.' +
                      QString::number(time->nanoseconds).rightJustified(9, '0')
                : QStringLiteral("none");
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

long peakMemoryKiB()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Pseudo-random pixel bytes that the expected results below were worked out for.
QByteArray lcgBytes(int count, quint32 seed)
{
    QByteArray bytes;
    for (int i = 0; i < count; ++i) {
        seed = (seed * 1103515245u + 12345u) & 0x7FFFFFFFu;
        bytes.append(char((seed >> 16) & 0xFF));
    }
    return bytes;
}

// Pixel bytes as a buffer holds them (bottom row first, blue, green, red) as an upright picture.
QImage bottomUp(const QByteArray& bytes, QSize size)
{
    return QImage(reinterpret_cast<const uchar*>(bytes.constData()), size.width(), size.height(),
                  size.width() * 3, QImage::Format_BGR888)
        .mirrored();
}

} // namespace

class TestImaging : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;
    imaging::JpegDecoder m_decoder;
    cDIBSection m_dib;

    QByteArray write(const QByteArray& data)
    {
        writeFile(m_dir.filePath("a.jpg"), data);
        return QFile::encodeName(m_dir.filePath("a.jpg"));
    }

private slots:
    // File times are compared on a clock two hours ahead of UTC.
    void initTestCase() { m_dib.KeepMemoryForReuse(true), qputenv("TZ", "XYZ-2"); }

    // One decoder and one buffer of each kind take every file in turn, as a loader thread does, and
    // each must come out as if alone: decoded as TurboJPEG decodes it, or as the phone photo is seen
    // (the container's turn applied, exactly the stored pixels); or refused, on the header with the
    // buffer untouched, a picture claiming too much before anything of its size is allocated.
    void decode_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<bool>("heif");
        QTest::addColumn<QImage>("expected"); // null: refused
        QTest::addColumn<bool>("untouched");
        const auto jpeg = [](const char* what, const QByteArray& file, const char* outcome) {
            QTest::newRow(what) << file << false
                                << (outcome == QByteArrayView("decoded") ? referenceDecode(file) : QImage())
                                << (outcome == QByteArrayView("untouched"));
        };
        const auto heif = [](const char* what, const QByteArray& file, const QImage& expected) {
            QTest::newRow(what) << file << true << expected << expected.isNull();
        };
        const QByteArray colour = encodeJpeg(testPicture(37, 23), TJSAMP_420);
        QByteArray stray = colour;
        stray.insert(markerAt(colour, 0xDA), "\x00\x11\x22", 3);
        jpeg("colour 4:2:0", colour, "decoded");
        jpeg("truncated", colour.left(colour.size() / 2), "refused");
        jpeg("grey", encodeJpeg(testPicture(19, 9).convertToFormat(QImage::Format_Grayscale8), TJSAMP_GRAY),
             "decoded");
        jpeg("cut before the end marker", colour.chopped(2), "refused");
        jpeg("12 bits per sample", withFrame(colour, 12, 37, 23), "untouched");
        jpeg("claims 65500 x 65500", withFrame(colour, 8, 65500, 65500), "untouched");
        jpeg("claims 10000 x 10000, too short", withFrame(colour, 8, 10000, 10000), "refused");
        jpeg("bytes after the end marker", colour + QByteArray(300, 'x'), "decoded");
        jpeg("stray bytes before a marker", stray, "decoded");
        jpeg("CMYK", encodeJpeg(testPicture(16, 16), TJSAMP_444, 0, TJPF_CMYK), "refused");
        jpeg("text named .jpg", "hello", "untouched");
        jpeg("zero bytes", {}, "untouched");

        const QImage landscape = testPicture(40, 24);
        const auto turned = [&](int tag) { return imaging::oriented(landscape, *imaging::orientationFromTag(tag)); };
        const QByteArray heic = encodeHeif(landscape);
        const qsizetype mdat = heifBoxAt(heic, "mdat");
        QByteArray flipped = heic;
        for (qsizetype i = mdat + 8; i < mdat + 24; ++i)
            flipped[i] = char(~flipped[i]);
        QImage halfClear = landscape.convertToFormat(QImage::Format_ARGB32);
        QImage onWhite = landscape;
        for (int y = 0; y < 24; ++y)
            for (int x = 0; x < 20; ++x)
                halfClear.setPixel(x, y, halfClear.pixel(x, y) & 0x00FFFFFF), onWhite.setPixel(x, y, qRgb(255, 255, 255));
        heif("HEIC", heic, landscape);
        heif("portrait turned by the container", encodeHeif(landscape, HeifSample().turned(heif_orientation_rotate_90_cw)),
             turned(6));
        heif("turned and mirrored by the container",
             encodeHeif(landscape, HeifSample().turned(heif_orientation_rotate_90_cw_then_flip_horizontally)), turned(5));
        heif("AVIF", encodeHeif(landscape, HeifSample().av1()), landscape);
        heif("10 bits per colour", encodeHeif(landscape, HeifSample().deep(10)), landscape);
        heif("transparent parts on white", encodeHeif(halfClear, HeifSample().withAlpha()), onWhite);
        QImage clearPremultiplied = halfClear;
        for (int y = 0; y < 24; ++y)
            for (int x = 0; x < 20; ++x)
                clearPremultiplied.setPixel(x, y, 0); // a colour times no opacity
        heif("transparent parts of premultiplied colours on white",
             encodeHeif(clearPremultiplied, HeifSample().premultipliedAlpha()), onWhite);
        heif("HEIC cut short", heic.left(heic.size() - 40), {});
        heif("flipped bytes in the picture data", flipped, {});
        heif("claims 60000 x 60000", withClaimedSize(heic, 60000, 60000), {});
        heif("claims 20000 x 20000", withClaimedSize(heic, 20000, 20000), {});
        heif("claims one row less", withClaimedSize(heic, 40, 23), {});
        const QImage odd = testPicture(41, 23);
        const QByteArray grid = encodeHeif(odd, HeifSample().inGrid());
        heif("cropped by a grid", grid, odd);
        heif("grid claims 24832 x 16200", withGridSize(grid, 24832, 16200), {});
        heif("JPEG to the HEIF decoder", encodeJpeg(landscape), {});
        heif("file type box only", heic.left(heifBoxAt(heic, "meta")), {});
    }
    void decode()
    {
        QFETCH(QByteArray, file);
        QFETCH(bool, heif);
        QFETCH(QImage, expected);
        QFETCH(bool, untouched);
        QVERIFY(!heif || !file.isEmpty()); // an encoder was there
        const std::uint8_t* before = m_dib.DIBSectionBitsPtr();
        const QSize size(m_dib.Width(), m_dib.Height());
        const QByteArray path = write(file);
        const long peak = peakMemoryKiB();
        QCOMPARE(heif ? imaging::decodeHeif(m_dib, path) : m_decoder.decode(m_dib, path).decoded(), !expected.isNull());
        // What a claim cost, had it been believed, shows in the process's peak memory.
        QVERIFY2(peakMemoryKiB() - peak < 100 * 1024, qPrintable(QString::number(peakMemoryKiB() - peak)));
        if (untouched)
            QVERIFY(m_dib.DIBSectionBitsPtr() == before && QSize(m_dib.Width(), m_dib.Height()) == size);
        if (!expected.isNull())
            QCOMPARE(pictureOf(m_dib), expected.convertToFormat(QImage::Format_BGR888));
    }

    // The decoder, the fallback reader and the metadata reader read regular files only: a FIFO
    // would wait for its writer's next word; a name cut short at a zero byte names another file.
    void onlyRegularFiles()
    {
        write(encodeJpeg(testPicture(8, 8)));
        const QByteArray fifo = QFile::encodeName(m_dir.filePath("fifo.jpg"));
        QCOMPARE(::mkfifo(fifo.constData(), 0600), 0);
        const int writer = ::open(fifo.constData(), O_RDWR);
        for (const QString& name : {QString("missing.jpg"), QString("."), QString("fifo.jpg"),
                                    QString("a.jpg" + QChar(0) + 'x'), QString()}) {
            const QByteArray path = name.isEmpty() ? QByteArray() : QFile::encodeName(m_dir.filePath(name));
            QVERIFY2(!m_decoder.decode(m_dib, path).decoded() && imaging::readPicture(path).isNull() &&
                         !imaging::readFileMetadata(path).modified,
                     qPrintable(name));
        }
        ::close(writer);
        QVERIFY(!imaging::readPicture(QFile::encodeName(m_dir.filePath("a.jpg"))).isNull());
    }

    void pixelLimit()
    {
        imaging::JpegDecoder decoder(100);
        for (const auto& [width, decodable] : {std::pair{10, true}, {11, false}}) {
            const QByteArray jpeg = encodeJpeg(testPicture(width, 10));
            const QByteArray heic = encodeHeif(testPicture(width, 10));
            const auto bytes = [](const QByteArray& file) { return reinterpret_cast<const std::uint8_t*>(file.constData()); };
            QCOMPARE(decoder.decodeData(m_dib, bytes(jpeg), jpeg.size()).decoded(), decodable);
            QCOMPARE(imaging::decodeHeifData(m_dib, bytes(heic), heic.size(), 100), decodable);
        }
        QCOMPARE(imaging::maxDecodePixels(), 200'000'000);
    }

    // A decoder that cannot start decodes nothing and says so, once, with its code: the message
    // the thumbnails and the viewer give too.
    void decoderThatCannotStart()
    {
        ScriptedDialogs dialogs;
        write(encodeJpeg(testPicture(8, 8)));
        QVERIFY(LoadJPGWith(m_decoder, m_dib, m_dir.filePath("a.jpg")));
        QVERIFY(dialogs.messages.isEmpty());
        imaging::JpegDecoder decoder(imaging::maxDecodePixels(), []() -> void* { return nullptr; });
        QVERIFY(!LoadJPGWith(decoder, m_dib, m_dir.filePath("a.jpg")));
        QCOMPARE(dialogs.messageTexts(), QStringList{"Failed to initialise the IJL library: -1"});
        QCOMPARE(dialogs.messages[0].icon, platform::MessageIcon::Exclamation);
    }

    // From file to file, the metadata of the bytes decoded, nothing leaking into the next file's.
    // Read alone, it is found behind many 64 KB segments, as ICC profiles come.
    void metadata()
    {
        const QByteArray dated =
            write(withExif(encodeJpeg(testPicture(16, 8)),
                           exifTiff({{"Exif.Image.Orientation", "6"},
                                     {"Exif.Photo.DateTimeOriginal", "2023:07:12 10:15:00"},
                                     {"Exif.Photo.SubSecTimeOriginal", "25"},
                                     {"Exif.Photo.DateTimeDigitized", "2023:07:12 10:16:00"}})));
        const timespec times[2] = {{1600000000, 0}, {1600000000, 123456789}};
        QCOMPARE(::utimensat(AT_FDCWD, dated.constData(), times, 0), 0);
        imaging::PhotoMetadata m;
        QVERIFY(m_decoder.decode(m_dib, dated, &m).decoded());
        QCOMPARE(QStringList({QString::number(int(*m.orientation)), text(m.original), text(m.digitized),
                              text(m.modified)}),
                 QStringList({"6", "1689156900.250000000", "1689156960.000000000", "1600007200.123456789"}));
        QVERIFY(m_decoder.decode(m_dib, write(encodeJpeg(testPicture(8, 8))), &m).decoded());
        QVERIFY(!m.orientation && !m.original && !m.digitized && m.modified);
        QVERIFY(!m_decoder.decode(m_dib, QByteArray("/nonexistent.jpg"), &m).decoded() && !m.modified);
        QByteArray jpeg = encodeJpeg(testPicture(8, 8));
        for (int i = 0; i < 6; ++i)
            jpeg.insert(2, jpegSegment(0xE2, QByteArray(65000, 'P')));
        const QByteArray profiled = write(withExif(jpeg, orientationTiff(5), 2 + 6 * 65004));
        QCOMPARE(imaging::readFileMetadata(profiled).orientation, imaging::orientationFromTag(5));

        // A phone writes its turn into the container and the EXIF block alike; the decoder has
        // applied the first, so the second must not count.
        const QByteArray phone = write(encodeHeif(
            testPicture(16, 8), HeifSample().turned(heif_orientation_rotate_90_cw).withExif(exifTiff(
                                    {{"Exif.Image.Orientation", "6"}, {"Exif.Photo.DateTimeOriginal", "2023:07:12 10:15:00"}}))));
        QVERIFY(!m_decoder.decode(m_dib, phone, &m).decoded());
        for (const imaging::PhotoMetadata& read : {m, imaging::readFileMetadata(phone)})
            QVERIFY(!read.orientation && read.modified && text(read.original) == "1689156900.000000000");
    }

    // Damaged blocks give what the library can still make out (the fuzz corpus holds more of them).
    void orientation_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<int>("expected"); // 0: none
        const QByteArray jpeg = encodeJpeg(testPicture(16, 8));
        QTest::newRow("no EXIF") << jpeg << 0;
        QTest::newRow("after the JFIF segment") << withExif(jpeg, orientationTiff(6), 20) << 6;
        QTest::newRow("behind stray bytes")
            << withExif(jpeg.left(2) + QByteArray("\x00\x7F", 2) + jpeg.mid(2), orientationTiff(3), 4) << 3;
        QTest::newRow("value 9") << withExif(jpeg, orientationTiff(9)) << 0;
        QTest::newRow("after the start of scan")
            << withExif(jpeg, orientationTiff(6), markerAt(jpeg, 0xDA) + 14) << 0;
        QTest::newRow("TIFF") << orientationTiff(2) << 2;
        QTest::newRow("value type 99") << withExif(jpeg, orientationTiff(6).replace(12, 1, "\x63")) << 0;
        QTest::newRow("segment claims 32 KB")
            << withExif(jpeg, orientationTiff(6)).replace(4, 1, "\x7F") << 6;
    }
    void orientation()
    {
        QFETCH(QByteArray, data);
        const auto o = imaging::readPhotoMetadata(reinterpret_cast<const uchar*>(data.constData()), data.size()).orientation;
        QTEST(o ? int(*o) : 0, "expected");
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
              "2023:07:12 10:60:00", "2023:07:12 10:15:60", "2023:07-12 10:15:00", "2023:07:12 10:15",
              "2023:07:12 10:15:00 +0200", "+023:07:12 10:15:00"})
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
        cDIBSection dib;
        dib.CreateFromPicture(stored);
        for (int value = 1; value <= 8; ++value) {
            const imaging::Orientation o = *imaging::orientationFromTag(value);
            QCOMPARE(lettersOf(pictureOf(*imaging::oriented(dib, o))), shown[value - 1]);
            for (const QImage::Format format : {QImage::Format_RGB32, QImage::Format_RGB888})
                QCOMPARE(lettersOf(imaging::oriented(stored.convertToFormat(format), o)), shown[value - 1]);
        }
    }

    // A refused size leaves the buffer empty while it still reports the size asked for.
    void create()
    {
        cDIBSection dib;
        for (const auto& [width, stride] : {std::pair{1, 4}, {2, 8}, {3, 12}, {4, 12}, {5, 16}, {7, 24}}) {
            QVERIFY(dib.Create(width, 2));
            QCOMPARE(dib.BytesPerScanLine(), stride);
        }
        for (const QSize size :
             {QSize(0, 5), QSize(5, 0), QSize(4, -3), QSize(800'000'000, 1), QSize(100'000, 100'000)}) {
            QVERIFY(dib.Create(2, 2));
            if (size.width() < 100'000)
                QVERIFY(!dib.Create(size.width(), size.height()));
            else // the row or the whole buffer would need more bytes than a size holds
                QVERIFY_THROWS_EXCEPTION(std::overflow_error, dib.Create(size.width(), size.height()));
            QVERIFY(!dib.DIBSectionBitsPtr() && !dib.hdc() && !dib.hDib() &&
                    QSize(dib.Width(), dib.Height()) == size);
        }
    }

    // What the thumbnails show: upright, byte for byte, clipped to the box, from a picture in any
    // format a file may come in (converted on the way in where needed).
    void paintPicture_data()
    {
        QTest::addColumn<QImage::Format>("format");
        using enum QImage::Format;
        QTest::addColumn<QRect>("dest"); // width or height -1: the buffer's own
        QTest::addColumn<QPoint>("sourceOrigin");
        QTest::addColumn<QRect>("painted"); // the box pixels that receive the picture
        QTest::newRow("whole") << Format_ARGB32 << QRect(2, 1, -1, -1) << QPoint() << QRect(2, 1, 5, 3);
        QTest::newRow("cropped") << Format_RGB888 << QRect(0, 0, 2, 2) << QPoint(1, 1) << QRect(0, 0, 2, 2);
        QTest::newRow("clipped left, top")
            << Format_Indexed8 << QRect(-2, -1, -1, -1) << QPoint() << QRect(0, 0, 3, 2);
        QTest::newRow("clipped right, bottom")
            << Format_BGR888 << QRect(6, 4, -1, -1) << QPoint() << QRect(6, 4, 2, 2);
    }
    void paintPicture()
    {
        QFETCH(QImage::Format, format);
        QFETCH(QRect, dest);
        QFETCH(QPoint, sourceOrigin);
        QFETCH(QRect, painted);
        const QImage picture = testPicture(5, 3).convertToFormat(format);
        cDIBSection dib;
        dib.CreateFromPicture(picture);
        QImage box(8, 6, QImage::Format_ARGB32_Premultiplied); // a window's, opaque where painted
        box.fill(Qt::white);
        QImage expected = box;
        for (int y = painted.top(); y <= painted.bottom(); ++y)
            for (int x = painted.left(); x <= painted.right(); ++x)
                expected.setPixel(x, y, picture.pixel(QPoint(x, y) + sourceOrigin - dest.topLeft()));
        platform::DeviceContext dc(&box);
        dib.PaintPicture(&dc, dest.x(), dest.y(), dest.width(), dest.height(), sourceOrigin.x(),
                         sourceOrigin.y());
        QCOMPARE(box, expected);
    }

    void examples_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QSize>("newSize");
        QTest::addColumn<QByteArray>("source");
        QTest::addColumn<QByteArray>("expected");
        const auto hex = [](const char* text) { return QByteArray::fromHex(text); };
        // clang-format off
        // Scale 1.0: every target pixel is the source pixel at the same place.
        QTest::newRow("3x3 to 2x2 keeps pixels") << QSize(3, 3) << QSize(2, 2)
            << hex("000000070b0d0e161a1521271c2c342337412a424e314d5b385868") << hex("000000070b0d1521271c2c34");
        // Pixel (1, 1): blue 126.5 becomes 126 in both passes, green 127.5 becomes 128; red is
        // 3 only when the vertical pass comes first and is rounded (2 otherwise).
        QTest::newRow("half to even, vertical pass first") << QSize(3, 3) << QSize(4, 4)
            << hex("7e7f017f7f033232327f80027f8004323232323232323232323232")
            << hex("7e7f017e7f027f7f0358581a7e80027e80037f800458591b7f80027f80037f800458591b58591a58591a58591b454626");
        // Where a shortcut changes bytes: the scale kept in double precision, fractional intermediates.
        QTest::newRow("scale rounded to single") << QSize(2, 2) << QSize(1, 6) << lcgBytes(12, 1) << hex("c67e81cb9379cfa872d4bc6ad9d163dde65b");
        QTest::newRow("rounded intermediates") << QSize(2, 2) << QSize(2, 3) << lcgBytes(12, 2) << hex("8c21ff7f87eb655ec45c97ad3f9c8939a76e");
        // clang-format on
    }
    void examples()
    {
        QFETCH(QSize, size);
        QFETCH(QSize, newSize);
        QFETCH(QByteArray, source);
        QFETCH(QByteArray, expected);
        cDIBSection dib;
        dib.CreateFromPicture(bottomUp(source, size));
        const std::unique_ptr<cDIBSection> result = dib.Resample(newSize.height(), newSize.width());
        QVERIFY(result);
        QCOMPARE(pictureOf(*result), bottomUp(expected, newSize));
        QCOMPARE(pictureOf(dib), bottomUp(source, size));
    }

    // Every target pixel reads a 2 x 2 neighbourhood: past a 1-pixel-wide row, above a 1-pixel-high
    // image (only a plain copy works there). Beyond about 2^24 target pixels single precision
    // carries the last sample onto the last source column or row, whose neighbour is then row
    // padding: 3 bytes of it (width 7) do, 2 (width 6) do not; above the top row there is nothing.
    void neighbourhoodBounds_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QSize>("newSize");
        QTest::addColumn<int>("outcome"); // -1 throws, 1 a copy, 2 ends on column 6
        QTest::newRow("1x5 to 2x5") << QSize(1, 5) << QSize(2, 5) << -1;
        QTest::newRow("5x1 to 5x2") << QSize(5, 1) << QSize(5, 2) << -1;
        QTest::newRow("1x7 copied") << QSize(1, 7) << QSize(1, 7) << 1;
        QTest::newRow("width 7 reads padding") << QSize(7, 2) << QSize(10935533, 1) << 2;
        QTest::newRow("width 6 runs past its row") << QSize(6, 2) << QSize(9718272, 1) << -1;
        QTest::newRow("height 6 runs past its top") << QSize(2, 6) << QSize(1, 9718272) << -1;
    }
    void neighbourhoodBounds()
    {
        QFETCH(QSize, size);
        QFETCH(QSize, newSize);
        QFETCH(int, outcome);
        const QByteArray bytes = lcgBytes(size.width() * size.height() * 3, 7);
        cDIBSection dib;
        dib.CreateFromPicture(bottomUp(bytes, size));
        if (outcome < 0) {
            QVERIFY_THROWS_EXCEPTION(std::out_of_range, dib.Resample(newSize.height(), newSize.width()));
            return;
        }
        const auto result = dib.Resample(newSize.height(), newSize.width());
        QVERIFY(result && result->DIBSectionBitsPtr() != dib.DIBSectionBitsPtr());
        if (outcome == 1)
            QCOMPARE(pictureOf(*result), bottomUp(bytes, size));
        else
            QCOMPARE(pictureOf(*result).pixel(newSize.width() - 1, 0), bottomUp(bytes, size).pixel(6, 1));
    }
};

QTEST_GUILESS_MAIN(TestImaging)
#include "tst_imaging.moc"
