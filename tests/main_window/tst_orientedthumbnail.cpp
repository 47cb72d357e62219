#include "imaging/JpegDecoder.h"
#include "imaging/PhotoMetadata.h"
#include "imaging/cDIBSection.h"
#include "main_window/OrientedThumbnail.h"
#include "main_window/ThumbCanvas.h"
#include "main_window/frmmain.h"
#include "platform/DeviceContext.h"

#include "ExifSamples.h"
#include "ImagingTestSupport.h"

#include <QApplication>
#include <QBuffer>
#include <QSignalSpy>
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

QByteArray write(const QTemporaryDir& dir, const QString& name, const QByteArray& data)
{
    QFile file(dir.filePath(name));
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size())
        qFatal("cannot write a fixture");
    return QFile::encodeName(file.fileName());
}

} // namespace

class TestOrientedThumbnail : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); }

    // File after file through one decoder and one reused buffer, as a loader thread goes, for a
    // JPEG and for a PNG named .jpg, which the fallback reader reads: the picture stands as the
    // camera meant it; without a usable orientation the decoder's thumbnail has the very bytes of
    // the unturned one.
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
        const QByteArray jpegPath = write(dir, QStringLiteral("corners.jpg"), cornersJpeg(exif));
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        corners().save(&buffer, "PNG");
        const QByteArray pngPath =
            write(dir, QStringLiteral("png.jpg"), exif.isNull() ? png : withLibraryExif(png, exif));

        const thumbs::Prepared p = thumbs::prepare(decoder, work, jpegPath, 40, 40);
        QCOMPARE(p.kind, thumbs::Prepared::Kind::Jpeg);
        QCOMPARE(placed(p.jpegFit.width, p.jpegFit.height, p.jpegFit.left, p.jpegFit.top), fit);
        QImage painted(p.dib->Width(), p.dib->Height(), QImage::Format_RGB32);
        platform::DeviceContext dc(&painted);
        p.dib->PaintPicture(&dc);
        QCOMPARE(quarters(painted), shown);
        if (shown == QStringLiteral("RG/BW")) {
            cDIBSection full;
            QVERIFY(imaging::JpegDecoder().decode(full, jpegPath).decoded());
            const thumbs::JpegFit plain = thumbs::fitJpeg(full.Width(), full.Height(), 40, 40);
            const std::unique_ptr<cDIBSection> unturned = full.Resample(plain.height, plain.width);
            COMPARE_PIXELS(pixelBytes(*p.dib), pixelBytes(*unturned), unturned->Width());
        }

        const thumbs::Prepared q = thumbs::prepare(decoder, work, pngPath, 40, 40);
        QCOMPARE(q.kind, thumbs::Prepared::Kind::Picture);
        const thumbs::PictureFit& f = q.pictureFit;
        QCOMPARE(placed(f.width, f.height, f.left, f.top), fit);
        QCOMPARE(q.picture.size(), painted.size());
        QCOMPARE(quarters(q.picture), shown);
    }

    // The same pictures in the window, each box showing its picture turned, fitted on the size
    // it is seen at.
    void inTheWindow()
    {
        QTemporaryDir dir;
        const QList<Sample> all = samples();
        QStringList expected;
        for (qsizetype k = 0; k < all.size(); ++k) {
            write(dir, QStringLiteral("%1 %2.jpg").arg(k, 2, 10, QLatin1Char('0')).arg(QLatin1String(all[k].name)),
                  cornersJpeg(all[k].exif));
            expected.append(all[k].shown);
        }
        frmmain w;
        w.showfilename = false;
        QSignalSpy built(&w, &frmmain::viewBuilt);
        w.openFolder(dir.path());
        QVERIFY(built.wait(20000));
        QStringList seen;
        for (qsizetype k = 0; k + 1 < w.order.size(); ++k) {
            const QImage box = w.picScroll->shownImage(w.order[k]);
            seen.append(quarters(box.copy(all[k].tall ? QRect(25, 0, 50, 100) : QRect(0, 25, 100, 50))));
        }
        QCOMPARE(seen, expected);
    }
};

QTEST_MAIN(TestOrientedThumbnail)
#include "tst_orientedthumbnail.moc"
