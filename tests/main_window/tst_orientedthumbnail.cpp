#include "imaging/JpegDecoder.h"
#include "imaging/PhotoMetadata.h"
#include "imaging/PictureReader.h"
#include "imaging/cDIBSection.h"
#include "main_window/OrientedThumbnail.h"
#include "platform/DeviceContext.h"

#include "ExifSamples.h"
#include "ImagingTestSupport.h"

#include <QTemporaryDir>
#include <QTest>

namespace {

// Red, green, blue and white quarters (top left, top right, bottom left, bottom right), each
// a whole number of 8 x 8 blocks so that the JPEG keeps them flat.
QImage corners()
{
    QImage image(32, 16, QImage::Format_RGB32);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 32; ++x)
            image.setPixel(x, y,
                           y < 8 ? (x < 16 ? qRgb(255, 0, 0) : qRgb(0, 255, 0))
                                 : (x < 16 ? qRgb(0, 0, 255) : qRgb(255, 255, 255)));
    return image;
}

// The colour in each quarter's middle, as "RG/BW".
QString quarters(const QImage& image)
{
    QString text;
    for (const int y : {image.height() / 4, image.height() * 3 / 4}) {
        if (!text.isEmpty())
            text += u'/';
        for (const int x : {image.width() / 4, image.width() * 3 / 4}) {
            const QRgb c = image.pixel(x, y);
            const int bits = (qRed(c) > 128) | (qGreen(c) > 128) << 1 | (qBlue(c) > 128) << 2;
            text += QStringLiteral("?RG?B??W")[bits];
        }
    }
    return text;
}

QString placed(double width, double height, double left, double top)
{
    return QStringLiteral("%1x%2 at %3,%4").arg(width).arg(height).arg(left).arg(top);
}

} // namespace

class TestOrientedThumbnail : public QObject
{
    Q_OBJECT

private slots:
    // File after file through one decoder and one reused buffer, as a loader thread goes, and
    // through the fallback reader: the picture stands as the camera meant it; without a usable
    // orientation the decoder's thumbnail has the very bytes of the unturned one.
    void thumbnails_data()
    {
        QTest::addColumn<QByteArray>("exif");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("fit");
        const QString wide = placed(40, 20, 0, 10);
        const QString tall = placed(20, 40, 10, 0);
        QTest::newRow("no EXIF") << QByteArray() << "RG/BW" << wide;
        const char* shown[] = {"RG/BW", "GR/WB", "WB/GR", "BW/RG", "RB/GW", "BR/WG", "WG/BR", "GW/RB"};
        for (int value = 1; value <= 8; ++value)
            QTest::addRow("%d", value)
                << orientationTiff(value) << shown[value - 1] << (value < 5 ? wide : tall);
        QTest::newRow("damaged") << orientationTiff(6).replace(4, 4, QByteArray("\xF0\xFF\x00\x00", 4))
                                 << "RG/BW" << wide;
    }

    void thumbnails()
    {
        QFETCH(QByteArray, exif);
        QFETCH(QString, shown);
        QFETCH(QString, fit);
        static imaging::JpegDecoder decoder;
        static cDIBSection work;
        work.KeepMemoryForReuse(true);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("corners.jpg"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        const QByteArray jpeg = encodeJpeg(corners());
        file.write(exif.isNull() ? jpeg : withExif(jpeg, exif));
        file.close();

        imaging::PhotoMetadata metadata;
        QVERIFY(decoder.decode(work, QFile::encodeName(path), &metadata).decoded());
        thumbs::JpegFit jpegFit;
        const std::unique_ptr<cDIBSection> thumbnail =
            thumbs::scaleJpeg(work, metadata.shownAs(), 40, 40, jpegFit);
        QVERIFY(thumbnail);
        QCOMPARE(placed(jpegFit.width, jpegFit.height, jpegFit.left, jpegFit.top), fit);
        QImage painted(thumbnail->Width(), thumbnail->Height(), QImage::Format_RGB32);
        platform::DeviceContext dc(&painted);
        thumbnail->PaintPicture(&dc);
        QCOMPARE(quarters(painted), shown);
        if (metadata.shownAs() == imaging::Orientation::Normal) {
            const thumbs::JpegFit plain = thumbs::fitJpeg(work.Width(), work.Height(), 40, 40);
            const std::unique_ptr<cDIBSection> unturned = work.Resample(plain.height, plain.width);
            COMPARE_PIXELS(pixelBytes(*thumbnail), pixelBytes(*unturned), unturned->Width());
        }
        work.ClearUp();

        const QImage picture = imaging::readPicture(QFile::encodeName(path), &metadata);
        thumbs::PictureFit pictureFit;
        const QImage scaled = thumbs::scalePicture(picture, metadata.shownAs(), 40, 40, pictureFit);
        QCOMPARE(placed(pictureFit.width, pictureFit.height, pictureFit.left, pictureFit.top), fit);
        QCOMPARE(scaled.size(), painted.size());
        QCOMPARE(quarters(scaled), shown);
    }
};

QTEST_GUILESS_MAIN(TestOrientedThumbnail)
#include "tst_orientedthumbnail.moc"
