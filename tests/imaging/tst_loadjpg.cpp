#include "ImagingTestSupport.h"
#include "JpegEdits.h"
#include "imaging/JpegDecoder.h"

#include <QBuffer>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

namespace {

QByteArray arithmeticJpeg()
{
    qputenv("TJ_ARITHMETIC", "1"); // TurboJPEG's encoder reads it
    const QByteArray jpeg = encodeJpeg(testPicture(20, 12), TJSAMP_420);
    qunsetenv("TJ_ARITHMETIC");
    return jpeg;
}

} // namespace

// Every file goes through one decoder into one buffer, as a loader thread takes a series.
class TestLoadJPG : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    imaging::JpegDecoder m_decoder;
    cDIBSection m_dib;

    QByteArray write(const QByteArray& data)
    {
        QFile file(m_dir.filePath(QStringLiteral("a.jpg")));
        if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size())
            qFatal("cannot write a fixture");
        return QFile::encodeName(file.fileName());
    }

private slots:
    void initTestCase() { m_dib.KeepMemoryForReuse(true); }

    // The buffer must hold what TurboJPEG decodes, in the buffer's layout: bottom-up, blue green
    // red, padded rows.
    void decodesLikeTurboJpeg_data()
    {
        QTest::addColumn<QByteArray>("jpeg");
        const QByteArray colour = encodeJpeg(testPicture(37, 23), TJSAMP_420);
        QTest::newRow("colour 4:2:0") << colour;
        QTest::newRow("grey") << encodeJpeg(testPicture(19, 9).convertToFormat(QImage::Format_Grayscale8), TJSAMP_GRAY);
        QTest::newRow("5 pixels wide") << encodeJpeg(testPicture(5, 4));
        QTest::newRow("progressive") << encodeJpeg(testPicture(30, 17), TJSAMP_422, TJFLAG_PROGRESSIVE);
        QTest::newRow("arithmetic coded") << arithmeticJpeg();
        QTest::newRow("bytes after the end marker") << colour + QByteArray(300, 'x');
        QByteArray stray = colour;
        QTest::newRow("stray bytes before a marker") << stray.insert(markerAt(colour, 0xDA), "\x00\x11\x22", 3);
    }
    void decodesLikeTurboJpeg()
    {
        QFETCH(QByteArray, jpeg);
        const QImage reference = referenceDecode(jpeg);
        QVERIFY(m_decoder.decode(m_dib, write(jpeg)).decoded());
        QCOMPARE(QSize(m_dib.Width(), m_dib.Height()), reference.size());
        COMPARE_PIXELS(pixelBytes(m_dib), bottomUpBgr(reference), m_dib.Width());
    }

    void notDecodable_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<bool>("bufferKept"); // refused on the header, before the buffer is touched
        const QByteArray jpeg = encodeJpeg(testPicture(64, 48), TJSAMP_420);
        QByteArray strayAndTruncated = jpeg.left(jpeg.size() / 2);
        strayAndTruncated.insert(markerAt(jpeg, 0xDA), "\x00\x11", 2);
        QByteArray bitmap;
        QBuffer buffer(&bitmap);
        testPicture(8, 8).save(&buffer, "BMP");
        QTest::newRow("bitmap named .jpg") << bitmap << true;
        QTest::newRow("zero bytes") << QByteArray() << true;
        QTest::newRow("truncated") << jpeg.left(jpeg.size() / 2) << false;
        QTest::newRow("cut before the end marker") << jpeg.chopped(2) << false;
        QTest::newRow("stray bytes, then truncated") << strayAndTruncated << false;
        QTest::newRow("CMYK") << encodeJpeg(testPicture(16, 16), TJSAMP_444, 0, TJPF_CMYK) << false;
        QTest::newRow("12 bits per sample") << withFrame(jpeg, 12, 64, 48) << true;
        QTest::newRow("claims 65500 x 65500") << withFrame(jpeg, 8, 65500, 65500) << true;
        QTest::newRow("claims 10000 x 10000") << withFrame(jpeg, 8, 10000, 10000) << false; // data too short
    }
    void notDecodable()
    {
        QFETCH(QByteArray, data);
        QFETCH(bool, bufferKept);
        QVERIFY(m_dib.Create(2, 2));
        const std::uint8_t* before = m_dib.DIBSectionBitsPtr();
        QVERIFY(!m_decoder.decode(m_dib, write(data)).decoded());
        if (bufferKept)
            QVERIFY(m_dib.DIBSectionBitsPtr() == before && m_dib.Width() == 2);
    }

    void notARegularFile_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("empty name") << QString();
        QTest::newRow("missing") << QStringLiteral("missing.jpg");
        QTest::newRow("folder") << QStringLiteral(".");
        QTest::newRow("FIFO") << QStringLiteral("fifo.jpg");
        QTest::newRow("NUL in the name") << QStringLiteral("a.jpg") + QChar(0) + u'x';
    }
    void notARegularFile()
    {
        QFETCH(QString, name);
        write(encodeJpeg(testPicture(8, 8)));
        ::mkfifo(QFile::encodeName(m_dir.filePath(QStringLiteral("fifo.jpg"))).constData(), 0600);
        const QByteArray path = name.isEmpty() ? QByteArray() : QFile::encodeName(m_dir.path() + u'/' + name);
        QVERIFY(!m_decoder.decode(m_dib, path).decoded());
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

    // What the thumbnails and the viewer report; the buffer is left alone.
    void decoderThatCannotStart()
    {
        imaging::JpegDecoder decoder(imaging::maxDecodePixels(), []() -> void* { return nullptr; });
        QVERIFY(m_dib.Create(3, 3));
        const imaging::JpegDecoder::Result result = decoder.decode(m_dib, write(encodeJpeg(testPicture(8, 8))));
        QVERIFY(result.status == imaging::JpegDecoder::Status::StartFailed);
        QCOMPARE(result.startErrorCode, -1);
        QCOMPARE(m_dib.Width(), 3);
    }
};

QTEST_GUILESS_MAIN(TestLoadJPG)
#include "tst_loadjpg.moc"
