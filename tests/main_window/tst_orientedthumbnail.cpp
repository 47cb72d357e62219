#include "imaging/JpegDecoder.h"
#include "imaging/cDIBSection.h"
#include "main_window/OrientedThumbnail.h"
#include "platform/DeviceContext.h"

#include "ExifSamples.h"
#include "ImagingTestSupport.h"
#include "TestFiles.h"

#include <QApplication>
#include <QBuffer>
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

// The corners picture with EXIF data as named, and how it is to be seen: "RG/BW" is as stored.
struct Sample
{
    const char* name;
    QByteArray exif; // null: none
    QString shown;
    bool tall;
};

QList<Sample> samples()
{
    QList<Sample> list{{"no EXIF", QByteArray(), "RG/BW", false}};
    const char* shown[] = {"RG/BW", "GR/WB", "WB/GR", "BW/RG", "RB/GW", "BR/WG", "WG/BR", "GW/RB"};
    static const QByteArray digits[] = {"1", "2", "3", "4", "5", "6", "7", "8"};
    for (int value = 1; value <= 8; ++value)
        list.append({digits[value - 1].constData(), orientationTiff(value), shown[value - 1], value > 4});
    list.append({"damaged", orientationTiff(6).replace(4, 4, QByteArray("\xF0\xFF\x00\x00", 4)), "RG/BW", false});
    return list;
}

QByteArray cornersJpeg(const QByteArray& exif)
{
    const QByteArray jpeg = encodeJpeg(corners());
    return exif.isNull() ? jpeg : withExif(jpeg, exif);
}

} // namespace

class TestOrientedThumbnail : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); }

    // File after file through one decoder and one reused buffer, as a loader thread goes, for a
    // JPEG and for a PNG named .jpg, which the fallback reader reads: the picture stands as the
    // camera meant it, fitted on the size it is seen at.
    void thumbnails_data()
    {
        QTest::addColumn<QByteArray>("exif");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("fit");
        for (const Sample& sample : samples())
            QTest::newRow(sample.name) << sample.exif << sample.shown
                                       << (sample.tall ? placed(20, 40, 10, 0) : placed(40, 20, 0, 10));
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
        const QString jpegPath = dir.filePath(QStringLiteral("corners.jpg"));
        writeFile(jpegPath, cornersJpeg(exif));
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        corners().save(&buffer, "PNG");
        const QString pngPath = dir.filePath(QStringLiteral("png.jpg"));
        writeFile(pngPath, exif.isNull() ? png : withLibraryExif(png, exif));

        const thumbs::Prepared p = thumbs::prepare(decoder, work, QFile::encodeName(jpegPath), 40, 40);
        QCOMPARE(p.kind, thumbs::Prepared::Kind::Jpeg);
        QCOMPARE(placed(p.jpegFit.width, p.jpegFit.height, p.jpegFit.left, p.jpegFit.top), fit);
        QImage painted(p.dib->Width(), p.dib->Height(), QImage::Format_RGB32);
        platform::DeviceContext dc(&painted);
        p.dib->PaintPicture(&dc);
        QCOMPARE(quarters(painted), shown);

        const thumbs::Prepared q = thumbs::prepare(decoder, work, QFile::encodeName(pngPath), 40, 40);
        QCOMPARE(q.kind, thumbs::Prepared::Kind::Picture);
        const thumbs::PictureFit& f = q.pictureFit;
        QCOMPARE(placed(f.width, f.height, f.left, f.top), fit);
        QCOMPARE(q.picture.size(), painted.size());
        QCOMPARE(quarters(q.picture), shown);
    }
};

QTEST_MAIN(TestOrientedThumbnail)
#include "tst_orientedthumbnail.moc"
