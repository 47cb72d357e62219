#include "ImagingTestSupport.h"
#include "JpegEdits.h"
#include "ScriptedDialogs.h"
#include "imaging/JpegDecoder.h"
#include "imaging/LoadJPG.h"
#include "platform/FileNames.h"

#include <QBuffer>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray arithmeticJpeg()
{
    qputenv("TJ_ARITHMETIC", "1"); // TurboJPEG's encoder reads it
    const QByteArray jpeg = encodeJpeg(testPicture(20, 12), TJSAMP_420);
    qunsetenv("TJ_ARITHMETIC");
    return jpeg;
}

} // namespace

class TestLoadJPG : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    ScriptedDialogs m_dialogs;

    QString write(const QString& name, const QByteArray& data)
    {
        QFile file(m_dir.filePath(name));
        if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size())
            qFatal("cannot write a fixture");
        return file.fileName();
    }

private slots:
    void init() { m_dialogs.messages.clear(); }
    void cleanup() { QVERIFY(m_dialogs.messages.isEmpty()); }

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
        cDIBSection dib;
        QVERIFY(LoadJPG(dib, write(QStringLiteral("a.jpg"), jpeg)));
        QCOMPARE(QSize(dib.Width(), dib.Height()), reference.size());
        COMPARE_PIXELS(pixelBytes(dib), bottomUpBgr(reference), dib.Width());
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
        cDIBSection dib;
        QVERIFY(dib.Create(2, 2));
        const std::uint8_t* before = dib.DIBSectionBitsPtr();
        QVERIFY(!LoadJPG(dib, write(QStringLiteral("bad.jpg"), data)));
        if (bufferKept)
            QVERIFY(dib.DIBSectionBitsPtr() == before && dib.Width() == 2);
    }

    void notARegularFile_data()
    {
        QTest::addColumn<QString>("path");
        QTest::newRow("empty name") << QString();
        QTest::newRow("missing") << m_dir.filePath(QStringLiteral("missing.jpg"));
        QTest::newRow("folder") << m_dir.path();
        QTest::newRow("FIFO without writer") << m_dir.filePath(QStringLiteral("fifo.jpg"));
        QTest::newRow("NUL in the name") << m_dir.filePath(QStringLiteral("a.jpg")) + QChar(0) + QStringLiteral("x");
    }
    void notARegularFile()
    {
        QFETCH(QString, path);
        write(QStringLiteral("a.jpg"), encodeJpeg(testPicture(8, 8)));
        ::mkfifo(QFile::encodeName(m_dir.filePath(QStringLiteral("fifo.jpg"))).constData(), 0600);
        cDIBSection dib;
        QVERIFY(!LoadJPG(dib, path));
    }

    void nameThatIsNotUtf8()
    {
        const QByteArray native = QFile::encodeName(m_dir.path()) + "/Bild-\xE4.jpg";
        const QByteArray jpeg = encodeJpeg(testPicture(9, 7));
        const int fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        QVERIFY(fd >= 0);
        QCOMPARE(::write(fd, jpeg.constData(), size_t(jpeg.size())), ssize_t(jpeg.size()));
        ::close(fd);
        cDIBSection dib;
        const bool loaded = LoadJPG(dib, platform::decodeName(native));
        ::unlink(native.constData()); // QTemporaryDir cannot name it
        QVERIFY(loaded);
        QCOMPARE(dib.Width(), 9);
    }

    void pixelLimit()
    {
        imaging::JpegDecoder decoder(100);
        cDIBSection dib;
        for (const auto& [width, decodable] : {std::pair{10, true}, {11, false}}) {
            const QByteArray jpeg = encodeJpeg(testPicture(width, 10));
            const auto* data = reinterpret_cast<const std::uint8_t*>(jpeg.constData());
            QCOMPARE(decoder.decodeData(dib, data, jpeg.size()).decoded(), decodable);
        }
        QCOMPARE(imaging::maxDecodePixels(), 200'000'000);
    }

    void decoderThatCannotStart()
    {
        imaging::JpegDecoder decoder(imaging::maxDecodePixels(), []() -> void* { return nullptr; });
        cDIBSection dib;
        QVERIFY(dib.Create(3, 3));
        QVERIFY(!LoadJPGWith(decoder, dib, write(QStringLiteral("a.jpg"), encodeJpeg(testPicture(8, 8)))));
        QCOMPARE(m_dialogs.messageTexts(), QStringList{QStringLiteral("Failed to initialise the IJL library: -1")});
        QCOMPARE(m_dialogs.messages.first().icon, platform::MessageIcon::Exclamation);
        QCOMPARE(dib.Width(), 3);
        m_dialogs.messages.clear();
    }
};

QTEST_GUILESS_MAIN(TestLoadJPG)
#include "tst_loadjpg.moc"
