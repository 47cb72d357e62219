#include "ExifSamples.h"
#include "ImagingTestSupport.h"
#include "JpegEdits.h"
#include "imaging/JpegDecoder.h"
#include "imaging/PictureReader.h"

#include <QBuffer>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// Every file goes through one decoder into one buffer, as a loader thread takes a series, and
// must come out as if alone: damaged files and good ones take turns.
class TestLoadJPG : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;
    imaging::JpegDecoder m_decoder;
    cDIBSection m_dib;

    QByteArray write(const QByteArray& data)
    {
        QFile file(m_dir.filePath("a.jpg"));
        if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size())
            qFatal("cannot write a fixture");
        return QFile::encodeName(file.fileName());
    }

private slots:
    // File times are compared on a clock two hours ahead of UTC.
    void initTestCase() { m_dib.KeepMemoryForReuse(true), qputenv("TZ", "XYZ-2"); }

    // Decoded, the buffer holds what TurboJPEG decodes; refused on the header, it is untouched.
    void decode_data()
    {
        QTest::addColumn<QByteArray>("jpeg");
        QTest::addColumn<QString>("outcome");
        const QByteArray colour = encodeJpeg(testPicture(37, 23), TJSAMP_420);
        QByteArray stray = colour, strayAndTruncated = colour.left(colour.size() / 2), bitmap;
        stray.insert(markerAt(colour, 0xDA), "\x00\x11\x22", 3);
        strayAndTruncated.insert(markerAt(colour, 0xDA), "\x00\x11", 2);
        const QImage grey = testPicture(19, 9).convertToFormat(QImage::Format_Grayscale8);
        QBuffer buffer(&bitmap);
        testPicture(8, 8).save(&buffer, "BMP");
        QTest::newRow("colour 4:2:0") << colour << "decoded";
        QTest::newRow("truncated") << colour.left(colour.size() / 2) << "refused";
        QTest::newRow("grey") << encodeJpeg(grey, TJSAMP_GRAY) << "decoded";
        QTest::newRow("cut before the end marker") << colour.chopped(2) << "refused";
        QTest::newRow("12 bits per sample") << withFrame(colour, 12, 37, 23) << "untouched";
        QTest::newRow("progressive") << encodeJpeg(testPicture(30, 17), TJSAMP_422, TJFLAG_PROGRESSIVE)
                                     << "decoded";
        QTest::newRow("claims 65500 x 65500") << withFrame(colour, 8, 65500, 65500) << "untouched";
        QTest::newRow("claims 10000 x 10000, too short") << withFrame(colour, 8, 10000, 10000) << "refused";
        QTest::newRow("bytes after the end marker") << colour + QByteArray(300, 'x') << "decoded";
        QTest::newRow("stray bytes, then truncated") << strayAndTruncated << "refused";
        QTest::newRow("stray bytes before a marker") << stray << "decoded";
        QTest::newRow("CMYK") << encodeJpeg(testPicture(16, 16), TJSAMP_444, 0, TJPF_CMYK) << "refused";
        QTest::newRow("bitmap named .jpg") << bitmap << "untouched";
        QTest::newRow("zero bytes") << QByteArray() << "untouched";
    }
    void decode()
    {
        QFETCH(QByteArray, jpeg);
        QFETCH(QString, outcome);
        const std::uint8_t* before = m_dib.DIBSectionBitsPtr();
        const QSize size(m_dib.Width(), m_dib.Height());
        QCOMPARE(m_decoder.decode(m_dib, write(jpeg)).decoded(), outcome == "decoded");
        if (outcome == "untouched")
            QVERIFY(m_dib.DIBSectionBitsPtr() == before && QSize(m_dib.Width(), m_dib.Height()) == size);
        if (outcome != "decoded")
            return;
        QCOMPARE(pictureOf(m_dib), referenceDecode(jpeg).convertToFormat(QImage::Format_BGR888));
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
            const auto* data = reinterpret_cast<const std::uint8_t*>(jpeg.constData());
            QCOMPARE(decoder.decodeData(m_dib, data, jpeg.size()).decoded(), decodable);
        }
        QCOMPARE(imaging::maxDecodePixels(), 200'000'000);
    }

    // A decoder going from file to file gives each file's metadata from the bytes it decodes,
    // and nothing of one file's leaks into the next one's. Read alone, metadata is found behind
    // many 64 KB segments, as ICC profiles come.
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
    }
};

QTEST_GUILESS_MAIN(TestLoadJPG)
#include "tst_loadjpg.moc"
