#include "imaging/JpegDecoder.h"
#include "imaging/PhotoMetadata.h"
#include "imaging/cDIBSection.h"
#include "main_window/OrientedThumbnail.h"

#include "ExifSamples.h"
#include "ImagingTestSupport.h"

#include <QTemporaryDir>
#include <QTest>

using imaging::Orientation;

namespace {

// Red, green, blue and white quarters (top left, top right, bottom left, bottom right), each
// a whole number of 8 x 8 blocks so that the JPEG keeps them flat.
QImage corners()
{
    QImage image(32, 16, QImage::Format_RGB32);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 32; ++x)
            image.setPixel(x, y, y < 8 ? (x < 16 ? qRgb(255, 0, 0) : qRgb(0, 255, 0))
                                       : (x < 16 ? qRgb(0, 0, 255) : qRgb(255, 255, 255)));
    return image;
}

// The colour of each quarter's middle, as "RG/BW".
QString quarters(int width, int height, const std::function<QRgb(int x, int y)>& pixel)
{
    const auto name = [](QRgb c) {
        const bool r = qRed(c) > 128, g = qGreen(c) > 128, b = qBlue(c) > 128;
        return r && g && b ? u'W' : r && !g && !b ? u'R' : g && !r && !b ? u'G' : b && !r && !g ? u'B' : u'?';
    };
    QString text;
    for (const int y : {height / 4, height * 3 / 4}) {
        if (!text.isEmpty())
            text += u'/';
        for (const int x : {width / 4, width * 3 / 4})
            text += name(pixel(x, y));
    }
    return text;
}

QString quarters(const cDIBSection& dib)
{
    return quarters(dib.Width(), dib.Height(), [&](int x, int y) {
        const uchar* p = dib.DIBSectionBitsPtr() + (dib.Height() - 1 - y) * dib.BytesPerScanLine() + 3 * x;
        return qRgb(p[2], p[1], p[0]);
    });
}

QString fitText(const thumbs::JpegFit& f)
{
    return QStringLiteral("%1x%2 at %3,%4").arg(f.width).arg(f.height).arg(f.left).arg(f.top);
}

} // namespace

class TestOrientedThumbnail : public QObject
{
    Q_OBJECT

private slots:
    void fit_data()
    {
        QTest::addColumn<QSize>("stored");
        QTest::addColumn<int>("orientation");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QSize>("resample");
        QTest::newRow("landscape, 1") << QSize(4000, 3000) << 1 << QStringLiteral("100x75 at 0,0") << QSize(100, 75);
        QTest::newRow("landscape, 3") << QSize(4000, 3000) << 3 << QStringLiteral("100x75 at 0,0") << QSize(100, 75);
        QTest::newRow("stored landscape, 6") << QSize(4000, 3000) << 6 << QStringLiteral("56x75 at 22,0") << QSize(75, 56);
        QTest::newRow("stored landscape, 8") << QSize(4000, 3000) << 8 << QStringLiteral("56x75 at 22,0") << QSize(75, 56);
        QTest::newRow("stored portrait, 6") << QSize(3000, 4000) << 6 << QStringLiteral("100x75 at 0,0") << QSize(75, 100);
        QTest::newRow("odd sizes, 5") << QSize(33, 100) << 5 << QStringLiteral("40x13 at 0,14") << QSize(13, 40);
    }

    void fit()
    {
        QFETCH(QSize, stored);
        QFETCH(int, orientation);
        QFETCH(QString, shown);
        QFETCH(QSize, resample);
        const QSize box = stored.width() < 100 ? QSize(40, 40) : QSize(100, 75);
        const thumbs::OrientedJpegFit f = thumbs::fitJpegOriented(stored.width(), stored.height(),
                                                                  Orientation(orientation), box.width(), box.height());
        QCOMPARE(fitText(f.shown), shown);
        QCOMPARE(QSize(f.resampleWidth, f.resampleHeight), resample);
    }

    // File after file through one decoder and one reused buffer, as a loader thread goes: the
    // picture stands as the camera meant it; without a usable orientation its thumbnail has the
    // very bytes of the unturned one.
    void jpegThumbnails_data()
    {
        QTest::addColumn<QByteArray>("exif");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("fit");
        const QString wide = QStringLiteral("40x20 at 0,10");
        const QString tall = QStringLiteral("20x40 at 10,0");
        QTest::newRow("no EXIF") << QByteArray() << QStringLiteral("RG/BW") << wide;
        QTest::newRow("1") << orientationTiff(1) << QStringLiteral("RG/BW") << wide;
        QTest::newRow("2") << orientationTiff(2) << QStringLiteral("GR/WB") << wide;
        QTest::newRow("3") << orientationTiff(3) << QStringLiteral("WB/GR") << wide;
        QTest::newRow("4") << orientationTiff(4) << QStringLiteral("BW/RG") << wide;
        QTest::newRow("5") << orientationTiff(5) << QStringLiteral("RB/GW") << tall;
        QTest::newRow("6") << orientationTiff(6) << QStringLiteral("BR/WG") << tall;
        QTest::newRow("7") << orientationTiff(7) << QStringLiteral("WG/BR") << tall;
        QTest::newRow("8") << orientationTiff(8) << QStringLiteral("GW/RB") << tall;
        QTest::newRow("damaged") << orientationTiff(6).replace(4, 4, QByteArray("\xF0\xFF\x00\x00", 4))
                                 << QStringLiteral("RG/BW") << wide;
    }

    void jpegThumbnails()
    {
        QFETCH(QByteArray, exif);
        QFETCH(QString, shown);
        QFETCH(QString, fit);
        static imaging::JpegDecoder decoder;
        static cDIBSection work;
        work.KeepMemoryForReuse(true);
        QTemporaryDir dir;
        const QByteArray jpeg = encodeJpeg(corners());
        const QString path = dir.filePath(QStringLiteral("corners.jpg"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(exif.isNull() ? jpeg : withExif(jpeg, exif));
        file.close();

        imaging::PhotoMetadata metadata;
        QVERIFY(decoder.decode(work, QFile::encodeName(path), &metadata).decoded());
        thumbs::JpegFit placed;
        const std::unique_ptr<cDIBSection> thumbnail = thumbs::scaleJpeg(work, metadata.shownAs(), 40, 40, placed);
        QVERIFY(thumbnail);
        QCOMPARE(fitText(placed), fit);
        QCOMPARE(quarters(*thumbnail), shown);
        if (metadata.shownAs() == Orientation::Normal) {
            const thumbs::JpegFit plain = thumbs::fitJpeg(work.Width(), work.Height(), 40, 40);
            const std::unique_ptr<cDIBSection> unturned = work.Resample(plain.height, plain.width);
            COMPARE_PIXELS(pixelBytes(*thumbnail), pixelBytes(*unturned), unturned->Width());
        }
        work.ClearUp();
    }

    void pictureThumbnails_data()
    {
        QTest::addColumn<int>("orientation");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QSizeF>("fitted");
        QTest::addColumn<QPointF>("at");
        QTest::newRow("1") << 1 << QStringLiteral("RG/BW") << QSizeF(40, 20) << QPointF(0, 10);
        QTest::newRow("3") << 3 << QStringLiteral("WB/GR") << QSizeF(40, 20) << QPointF(0, 10);
        QTest::newRow("6") << 6 << QStringLiteral("BR/WG") << QSizeF(20, 40) << QPointF(10, 0);
        QTest::newRow("7") << 7 << QStringLiteral("WG/BR") << QSizeF(20, 40) << QPointF(10, 0);
    }

    void pictureThumbnails()
    {
        QFETCH(int, orientation);
        QFETCH(QString, shown);
        QFETCH(QSizeF, fitted);
        QFETCH(QPointF, at);
        thumbs::PictureFit fit;
        const QImage thumbnail = thumbs::scalePicture(corners(), Orientation(orientation), 40, 40, fit);
        QCOMPARE(QSizeF(fit.width, fit.height), fitted);
        QCOMPARE(QPointF(fit.left, fit.top), at);
        QCOMPARE(QSizeF(thumbnail.size()), fitted);
        QCOMPARE(quarters(thumbnail.width(), thumbnail.height(), [&](int x, int y) { return thumbnail.pixel(x, y); }),
                 shown);
    }
};

QTEST_GUILESS_MAIN(TestOrientedThumbnail)
#include "tst_orientedthumbnail.moc"
