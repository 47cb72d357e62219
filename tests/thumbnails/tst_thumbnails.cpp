#include "thumbnails/PreparedStore.h"
#include "thumbnails/ThumbnailLoader.h"
#include "thumbnails/TimeTakenReader.h"

#include "ExifSamples.h"
#include "HeifSamples.h"
#include "ImagingTestSupport.h"
#include "JpegEdits.h"
#include "TestFiles.h"
#include "ThumbnailPictures.h"

#include <QFontMetrics>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

// The pipeline without a window: fitting, preparing and drawing a picture, the loader's series,
// the prepared store and the time-taken reader.

namespace {

// Red, green, blue and white quarters (top left, top right, bottom left, bottom right), each
// a whole number of 8 x 8 blocks so that the JPEG keeps them flat.
QImage corners()
{
    const QRgb pixels[] = {qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255), qRgb(255, 255, 255)};
    return QImage(reinterpret_cast<const uchar*>(pixels), 2, 2, QImage::Format_RGB32).scaled(32, 16);
}

// The colour in each quarter's middle, as "RG/BW".
QString quarters(const QImage& image)
{
    QString text;
    for (const QPoint q : {QPoint(1, 1), QPoint(3, 1), QPoint(1, 3), QPoint(3, 3)}) {
        const QRgb c = image.pixel(image.width() * q.x() / 4, image.height() * q.y() / 4);
        text += QStringLiteral("?RG?B??W")[(qRed(c) > 128) | (qGreen(c) > 128) << 1 | (qBlue(c) > 128) << 2];
    }
    return text.insert(2, u'/');
}

} // namespace

class TestThumbnails : public QObject
{
    Q_OBJECT
private slots:
    // A JPEG is fitted in whole pixels, halves to the even neighbour; any other picture is not
    // rounded at all (left, top, width, height).
    void fit_data()
    {
        QTest::addColumn<QSize>("image");
        QTest::addColumn<QSize>("box");
        QTest::addColumn<QRect>("jpeg");
        QTest::addColumn<QString>("picture");
        QTest::newRow("wide") << QSize(400, 100) << QSize(100, 100) << QRect(0, 38, 100, 25)
                              << "0 37.5 100 25";
        QTest::newRow("tall") << QSize(100, 300) << QSize(100, 100) << QRect(34, 0, 33, 100)
                              << "33.3333 0 33.3333 100";
        QTest::newRow("small is enlarged")
            << QSize(50, 50) << QSize(100, 100) << QRect(0, 0, 100, 100) << "0 0 100 100";
        QTest::newRow("halves round to even")
            << QSize(300, 100) << QSize(100, 70) << QRect(0, 18, 100, 33) << "0 18.3333 100 33.3333";
    }
    void fit()
    {
        QFETCH(QSize, image);
        QFETCH(QSize, box);
        QFETCH(QRect, jpeg);
        QFETCH(QString, picture);
        const thumbs::JpegFit j = thumbs::fitJpeg(image.width(), image.height(), box.width(), box.height());
        QCOMPARE(QRect(j.left, j.top, j.width, j.height), jpeg);
        const thumbs::PictureFit p =
            thumbs::fitPicture(image.width(), image.height(), box.width(), box.height());
        QCOMPARE(QStringLiteral("%1 %2 %3 %4").arg(p.left).arg(p.top).arg(p.width).arg(p.height), picture);
    }

    // Bands of 8 pixels, black and grey 253 (#fd), 126 x 32: fitted 100 x 25 at (0, 38) and
    // resampled with a step of 1.25 source pixels. Column 6 samples halfway between black and
    // grey (126.5, to the even 126, #7e), column 19 three quarters of the way (189.75, #be). Drawn
    // over a red cross, which the white around the picture covers.
    void jpegPixelsAreTheResampledImageAtItsPlace()
    {
        QImage bands(126, 32, QImage::Format_RGB32);
        for (int x = 0; x < 126; ++x)
            for (int y = 0; y < 32; ++y)
                bands.setPixel(x, y, x / 8 % 2 ? qRgb(253, 253, 253) : qRgb(0, 0, 0));
        QTemporaryDir dir;
        // A phone photo takes the same way.
        for (const char* name : {"bands.jpg", "bands.heic"}) {
            const QString path = dir.filePath(QString::fromLatin1(name));
            writeFile(path, path.endsWith(u"jpg") ? encodeJpeg(bands, TJSAMP_GRAY) : encodeHeif(bands));
            QImage box = freshBox();
            thumbs::draw(box, prepareFile(dir.filePath(QStringLiteral("missing.jpg"))), QString(), {});
            thumbs::draw(box, prepareFile(path), QString(), {});
            QStringList seen;
            for (const QPoint at :
                 {QPoint(3, 50), QPoint(6, 50), QPoint(10, 50), QPoint(19, 50), QPoint(99, 50), QPoint(3, 37),
                  QPoint(3, 38), QPoint(3, 62), QPoint(3, 63), QPoint(37, 37)})
                seen.append(QColor(box.pixel(at)).name());
            QCOMPARE(seen, (QStringList{"#000000", "#7e7e7e", "#fdfdfd", "#bebebe", "#fdfdfd", // row 50
                                        "#ffffff", "#000000", "#000000", "#ffffff",            // column 3
                                        "#ffffff"}));                                          // the cross
        }
    }

    // File after file through one preparer, as a loader thread goes, for a
    // JPEG, for a PNG named .jpg, which the fallback reader reads, and for a phone photo turned by
    // its container and saying the same in its EXIF block: the picture stands as the camera meant
    // it ("RG/BW" is as stored), fitted on the size it is seen at.
    void turnedAsTheCameraMeantIt_data()
    {
        QTest::addColumn<QByteArray>("exif");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QRect>("fit");
        QTest::addColumn<int>("turn"); // of the phone photo's container
        const QRect wide(0, 10, 40, 20);
        const QRect tall(10, 0, 20, 40);
        const char* shown[] = {"RG/BW", "GR/WB", "WB/GR", "BW/RG", "RB/GW", "BR/WG", "WG/BR", "GW/RB"};
        QTest::newRow("no EXIF") << QByteArray() << "RG/BW" << wide << 1;
        for (int value = 1; value <= 8; ++value)
            QTest::addRow("%d", value) << orientationTiff(value) << QString::fromLatin1(shown[value - 1])
                                       << (value > 4 ? tall : wide) << value;
        QTest::newRow("damaged") << orientationTiff(6).replace(4, 4, QByteArray("\xF0\xFF\x00\x00", 4))
                                 << "RG/BW" << wide << 1;
    }
    void turnedAsTheCameraMeantIt()
    {
        QFETCH(QByteArray, exif);
        QFETCH(QString, shown);
        QFETCH(QRect, fit);
        static thumbs::Preparer preparer;
        QTemporaryDir dir;
        const QString jpegPath = dir.filePath(QStringLiteral("corners.jpg"));
        const QString pngPath = dir.filePath(QStringLiteral("png.jpg"));
        const QByteArray jpeg = encodeJpeg(corners());
        const QByteArray png = encoded(corners(), "PNG");
        writeFile(jpegPath, exif.isNull() ? jpeg : withExif(jpeg, exif));
        writeFile(pngPath, exif.isNull() ? png : withLibraryExif(png, exif));

        const thumbs::Prepared p = preparer.prepare(QFile::encodeName(jpegPath), 40, 40);
        QCOMPARE(p.kind, thumbs::Prepared::Kind::Jpeg);
        QCOMPARE(QRect(p.jpegFit.left, p.jpegFit.top, p.jpegFit.width, p.jpegFit.height), fit);
        QCOMPARE(quarters(drawn(p).copy(fit)), shown);

        // Stretched into its place when drawn.
        const thumbs::Prepared q = preparer.prepare(QFile::encodeName(pngPath), 40, 40);
        QCOMPARE(q.kind, thumbs::Prepared::Kind::Picture);
        QCOMPARE(QRectF(q.pictureFit.left, q.pictureFit.top, q.pictureFit.width, q.pictureFit.height),
                 QRectF(fit));
        QCOMPARE(q.picture.size(), fit.size());
        QCOMPARE(quarters(drawn(q).copy(fit)), shown);

        QFETCH(int, turn);
        const QString heicPath = dir.filePath(QStringLiteral("corners.heic"));
        writeFile(heicPath,
                  encodeHeif(corners(), HeifSample().turned(heif_orientation(turn)).withExif(exif)));
        const thumbs::Prepared h = preparer.prepare(QFile::encodeName(heicPath), 40, 40);
        QCOMPARE(h.kind, thumbs::Prepared::Kind::Jpeg);
        QCOMPARE(QRect(h.jpegFit.left, h.jpegFit.top, h.jpegFit.width, h.jpegFit.height), fit);
        QCOMPARE(quarters(drawn(h).copy(fit)), shown);
    }

    // A preview is fitted, placed and turned as the picture will be. It comes from the camera's
    // small picture (here mirrored, to tell) when that is in the photo's proportion and at least
    // half the size the box needs (40 x 20 of 80 x 40), else from the photo read reduced.
    void previewIsThePictureAtItsPlace_data()
    {
        QTest::addColumn<int>("orientation");
        QTest::addColumn<QSize>("thumbnail");
        QTest::addColumn<QString>("shown"); // empty: no preview
        QTest::addColumn<QByteArray>("coding");
        QTest::newRow("no thumbnail") << 1 << QSize() << "RG/BW" << QByteArray();
        QTest::newRow("no thumbnail, turned") << 6 << QSize() << "BR/WG" << QByteArray();
        QTest::newRow("thumbnail") << 1 << QSize(160, 80) << "GR/WB" << QByteArray();
        QTest::newRow("thumbnail, turned") << 6 << QSize(160, 80) << "WG/BR" << QByteArray();
        QTest::newRow("thumbnail at half the size") << 1 << QSize(40, 20) << "GR/WB" << QByteArray();
        QTest::newRow("thumbnail below half the size") << 1 << QSize(32, 16) << "RG/BW" << QByteArray();
        QTest::newRow("thumbnail of other proportions") << 1 << QSize(160, 120) << "RG/BW" << QByteArray();
        // In proportion within 2 %: a camera's rounding, not a letterboxed 4:3 one of a 3:2 photo.
        QTest::newRow("thumbnail 1.2 % narrower") << 1 << QSize(160, 81) << "GR/WB" << QByteArray();
        QTest::newRow("thumbnail 2.4 % narrower") << 1 << QSize(160, 82) << "RG/BW" << QByteArray();
        QTest::newRow("thumbnail 11 % narrower, as 4:3 of 3:2") << 1 << QSize(160, 90) << "RG/BW" << QByteArray();
        // Read reduced in hardly less time than whole: no preview but the camera's own.
        QTest::newRow("no thumbnail, progressive") << 1 << QSize() << "" << QByteArray("progressive");
        QTest::newRow("no thumbnail, much coded data") << 1 << QSize() << "" << QByteArray("grain");
        QTest::newRow("thumbnail, much coded data") << 1 << QSize(160, 80) << "GR/WB" << QByteArray("grain");
        // Beyond what is read first for a look: all of the file is read then.
        QTest::newRow("no thumbnail, long segments first") << 1 << QSize() << "RG/BW" << QByteArray("padded");
        QTest::newRow("thumbnail, long segments first")
            << 1 << QSize(160, 80) << "GR/WB" << QByteArray("padded");
        // A phone's photo, turned by its container, and its thumbnail.
        QTest::newRow("phone photo, thumbnail") << 1 << QSize(160, 80) << "GR/WB" << QByteArray("heic");
        QTest::newRow("phone photo, thumbnail, turned")
            << 6 << QSize(160, 80) << "WG/BR" << QByteArray("heic");
        QTest::newRow("phone photo, thumbnail at half the size")
            << 1 << QSize(40, 20) << "GR/WB" << QByteArray("heic");
        QTest::newRow("phone photo, thumbnail below half") << 1 << QSize(32, 16) << "" << QByteArray("heic");
        QTest::newRow("phone photo, thumbnail of other proportions")
            << 1 << QSize(160, 120) << "" << QByteArray("heic");
        QTest::newRow("phone photo without thumbnail") << 1 << QSize() << "" << QByteArray("heic");
    }
    void previewIsThePictureAtItsPlace()
    {
        QFETCH(int, orientation);
        QFETCH(QSize, thumbnail);
        QFETCH(QString, shown);
        QFETCH(QByteArray, coding);
        Exiv2::ExifData exif;
        exif["Exif.Image.Orientation"] = std::uint16_t(orientation);
        const QImage mirrored =
            thumbnail.isValid() ? corners().mirrored(true, false).scaled(thumbnail) : QImage();
        if (thumbnail.isValid() && coding != "heic") {
            const QByteArray small = encodeJpeg(mirrored);
            Exiv2::ExifThumb(exif).setJpegThumbnail(reinterpret_cast<const Exiv2::byte*>(small.constData()),
                                                    long(small.size()));
        }
        Exiv2::Blob blob;
        Exiv2::ExifParser::encode(blob, Exiv2::littleEndian, exif);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("photo.jpg"));
        QImage photo = corners().scaled(640, 320);
        if (coding == "grain") {
            // A byte of coded data for every four pixels or so.
            QRandomGenerator grain(7);
            for (int y = 0; y < photo.height(); ++y)
                for (int x = 0; x < photo.width(); ++x)
                    photo.setPixel(x, y, photo.pixel(x, y) ^ (grain.bounded(48) * 0x010101u));
        }
        QByteArray file =
            withExif(encodeJpeg(photo, TJSAMP_444, coding == "progressive" ? TJFLAG_PROGRESSIVE : 0),
                     QByteArray(reinterpret_cast<const char*>(blob.data()), qsizetype(blob.size())));
        if (coding == "padded")
            for (int k = 0; k < 5; ++k)
                file.insert(2, QByteArray("\xFF\xE9\xFF\xFF", 4) + QByteArray(65533, 'x'));
        if (coding == "heic") // libheif scales the thumbnail down to the side asked for
            file = encodeHeif(
                photo, HeifSample()
                           .turned(heif_orientation(orientation))
                           .withThumbnail(mirrored.isNull() ? QImage() : mirrored.scaled(thumbnail * 2),
                                          std::max(thumbnail.width(), thumbnail.height())));
        writeFile(path, file);
        thumbs::Preparer preparer;
        const thumbs::Prepared look = preparer.preview(QFile::encodeName(path), 80, 80);
        const thumbs::Prepared exact = preparer.prepare(QFile::encodeName(path), 80, 80);
        if (shown.isEmpty()) {
            QVERIFY(look.preview && exact.kind == thumbs::Prepared::Kind::Jpeg);
            QCOMPARE(look.kind, thumbs::Prepared::Kind::Unreadable);
            return;
        }
        QCOMPARE(look.kind, thumbs::Prepared::Kind::Jpeg);
        const QRect fit(exact.jpegFit.left, exact.jpegFit.top, exact.jpegFit.width, exact.jpegFit.height);
        QCOMPARE(QRect(look.jpegFit.left, look.jpegFit.top, look.jpegFit.width, look.jpegFit.height), fit);
        QCOMPARE(look.dib->Width(), exact.dib->Width());
        QCOMPARE(look.dib->Height(), exact.dib->Height());
        QCOMPARE(quarters(drawn(look).copy(fit)), shown);
    }

    // What Qt's readers would make up, or paint, at seconds and gigabytes each, is unreadable; a
    // picture of many pixels in a small file, as flat ones are, and a damaged one that the
    // readers show in part are not. An unreadable file gets a red cross over the box as it was,
    // without caption. Previews (none for what no reader can read smaller) are made of damaged
    // JPEGs too: whatever shows is better than nothing for the moment before the cross.
    void unreadableOrNot_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<bool>("unreadable");
        QTest::addColumn<bool>("preview");
        QImage flat(4000, 4000, QImage::Format_Mono); // about 8000 pixels per byte as PNG
        flat.fill(1);
        QImage cmyk(3500, 3500, QImage::Format_RGB32); // TurboJPEG cannot turn CMYK into RGB
        cmyk.fill(qRgb(10, 200, 30));
        const QByteArray photo = encodeJpeg(pattern(320, 240), TJSAMP_420);
        const QByteArray png = encoded(pattern(300, 300), "PNG");
        QTest::newRow("empty file") << QByteArray() << true << false;
        QTest::newRow("text named .jpg") << QByteArray("just some words\n") << true << false;
        QTest::newRow("fifo") << QByteArray("fifo") << true << false;
        QTest::newRow("one pixel wide jpeg") << encodeJpeg(pattern(1, 40)) << true << false;
        QTest::newRow("ppm claiming 100000 x 100000")
            << QByteArray("P6 100000 100000 255\n") << true << false;
        QTest::newRow("png cut to a third") << png.left(png.size() / 3) << true << false;
        QTest::newRow("jpeg of 700 bytes claiming 14142 x 14142")
            << withFrame(encodeJpeg(pattern(16, 16), TJSAMP_420), 8, 14142, 14142) << true << true;
        QTest::newRow("jpeg of a picture 1000 wide, its height set to 65500")
            << withFrame(encodeJpeg(pattern(1000, 100), TJSAMP_420), 8, 1000, 65500) << true << true;
        QTest::newRow("svg claiming 14142 x 14142")
            << QByteArray("<svg xmlns='http://www.w3.org/2000/svg' width='14142' height='14142'/>") << true
            << false;
        const QByteArray heic = encodeHeif(pattern(64, 48));
        QTest::newRow("heic cut short") << heic.left(heic.size() * 2 / 3) << true << false;
        QTest::newRow("heic claiming 20000 x 20000") << withClaimedSize(heic, 20000, 20000) << true << false;
        QTest::newRow("flat one-bit png, 16 megapixels") << encoded(flat, "PNG") << false << false;
        QTest::newRow("flat CMYK jpeg, 12.25 megapixels")
            << encodeJpeg(cmyk, TJSAMP_444, 0, TJPF_CMYK) << false << false;
        QTest::newRow("jpeg cut in half") << photo.left(photo.size() / 2) << false << true;
        // Bytes that belong to no segment are only warned about, a missing table is fatal; the
        // picture is never written.
        QByteArray strayThenFatal = withoutSegments(encodeJpeg(smooth(320, 240), TJSAMP_420), 0xDB);
        strayThenFatal.insert(markerAt(strayThenFatal, 0xC0), "stray");
        QTest::newRow("jpeg with stray bytes and no quantisation tables") << strayThenFatal << true << false;
    }
    void unreadableOrNot()
    {
        QFETCH(QByteArray, data);
        QFETCH(bool, unreadable);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("x.jpg"));
        if (data == "fifo")
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0644), 0);
        else
            writeFile(path, data);
        const thumbs::Prepared p = prepareFile(path);
        QCOMPARE(p.kind, unreadable ? thumbs::Prepared::Kind::Unreadable : thumbs::Prepared::Kind::Picture);
        QFETCH(bool, preview);
        const thumbs::Prepared look = thumbs::Preparer().preview(QFile::encodeName(path), 100, 100);
        QVERIFY(look.preview && !p.preview);
        QCOMPARE(look.kind, preview ? thumbs::Prepared::Kind::Jpeg : thumbs::Prepared::Kind::Unreadable);
        if (!unreadable)
            return;
        QImage box = freshBox();
        thumbs::draw(box, p, QStringLiteral("x.jpg"), {});
        // The lines run from corner to corner, the second from (100, 0) to (0, 100).
        for (const QPoint& at : {QPoint(0, 0), QPoint(50, 50), QPoint(99, 99), QPoint(99, 1), QPoint(1, 99)})
            QVERIFY2(box.pixel(at) == qRgb(255, 0, 0),
                     qPrintable(QStringLiteral("%1, %2").arg(at.x()).arg(at.y())));
        QCOMPARE(QColor(box.pixel(50, 10)), kGrey);
        QCOMPARE(QColor(box.pixel(50, 96)), kGrey);
    }

    // A worker prepares one file after another with one preparer, its decoder and its buffer.
    // Files that once left the decoder unable to read any later file, or lent their tables to a
    // later file that lacks its own, are followed by every file here, good and damaged.
    void eachPictureIsPreparedAsIfAlone()
    {
        const QByteArray photo = encoded(pattern(160, 120), "jpeg");
        QByteArray tableCount = photo;
        tableCount[markerAt(photo, 0xC4) + 5] = char(0xFF);
        QByteArray lossless = photo;
        lossless[markerAt(photo, 0xC0) + 1] = char(0xC3);
        const QList<std::pair<const char*, QByteArray>> files = {
            {"photo", photo},
            {"other photo", encodeJpeg(pattern(40, 70), TJSAMP_444)},
            {"phone photo", encodeHeif(pattern(48, 40), HeifSample().turned(heif_orientation_rotate_270_cw))},
            {"height 65535", withFrame(photo, 8, 160, 65535)},
            {"height 0", withFrame(photo, 8, 160, 0)},
            {"damaged Huffman table count", tableCount},
            {"12-bit", withFrame(photo, 12, 160, 120)},
            {"lossless", lossless},
            {"no Huffman tables", withoutSegments(photo, 0xC4)},
            {"no quantisation tables", withoutSegments(photo, 0xDB)},
            {"claims 14142 x 14142", withFrame(encodeJpeg(pattern(16, 16), TJSAMP_420), 8, 14142, 14142)},
            {"truncated", photo.left(photo.size() / 2)},
        };
        QTemporaryDir dir;
        QList<QByteArray> paths;
        QList<thumbs::Prepared> alone;
        for (const auto& [name, data] : files) {
            writeFile(dir.filePath(QString::fromLatin1(name)), data);
            paths.append(platform::encodeName(dir.filePath(QString::fromLatin1(name))));
            alone.append(prepareFile(dir.filePath(QString::fromLatin1(name))));
        }
        QCOMPARE(alone[0].kind, thumbs::Prepared::Kind::Jpeg);

        thumbs::Preparer preparer;
        for (qsizetype later = 0; later < files.size(); ++later) {
            for (qsizetype before = 0; before < files.size(); ++before) {
                preparer.prepare(paths[before], 100, 100);
                const thumbs::Prepared p = preparer.prepare(paths[later], 100, 100);
                const QString why = imageDifference(drawn(p), drawn(alone[later]));
                QVERIFY2(why.isEmpty(), qPrintable(QStringLiteral("%1 after %2: %3")
                                                       .arg(QString::fromLatin1(files[later].first),
                                                            QString::fromLatin1(files[before].first), why)));
            }
        }
    }

    // On a screen of two device pixels per pixel the box image has twice the pixels, and the
    // caption, laid out in the box's pixels, is drawn with all of them.
    void captionIsCentredAtTheBottom()
    {
        const int ratio = 2;
        const int size = 100 * ratio;
        QTemporaryDir dir;
        const thumbs::Prepared p =
            prepareFile(save(dir, QStringLiteral("a.jpg"), pattern(100, 100), "JPG"), size, size);
        thumbs::CaptionStyle style;
        style.font = thumbs::boxFont(15); // 96 dots per inch
        style.transparent = true;
        QImage without = freshBox(size, size);
        without.setDevicePixelRatio(ratio);
        thumbs::draw(without, p, QString(), style);
        QImage with = without.copy();
        thumbs::draw(with, p, QStringLiteral("a.jpg"), style);

        QRect changed;
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x)
                if (with.pixel(x, y) != without.pixel(x, y))
                    changed |= QRect(x, y, 1, 1);
        const QString where =
            QStringLiteral("%1..%2, from %3").arg(changed.left()).arg(changed.right()).arg(changed.top());
        const int textHeight = ratio * QFontMetrics(style.font).height();
        QVERIFY2(changed.width() > 10 * ratio &&
                     qAbs(changed.left() - (size - 1 - changed.right())) <= 2 * ratio,
                 qPrintable(where));
        QVERIFY2(changed.top() >= size - textHeight && changed.top() < size - textHeight / 2,
                 qPrintable(where));
    }

    // A result of a cancelled series never stands for the new one, whether it was waiting to be
    // taken or is finished after the new series began.
    void cancelledSeriesGivesNothingOld()
    {
        QTemporaryDir dir;
        const QByteArray large =
            platform::encodeName(save(dir, QStringLiteral("large.jpg"), pattern(2000, 500), "JPG"));
        const QByteArray small =
            platform::encodeName(save(dir, QStringLiteral("small.jpg"), pattern(100, 300), "JPG"));
        ThumbnailLoader loader(1);
        loader.start({{1, large}}, 100, 100);
        QTRY_COMPARE(loader.preparedCount(), 1); // waiting to be taken
        loader.setGateOpen(false);
        loader.start({{2, large}}, 100, 100);
        QTRY_COMPARE(loader.heldAtGate(), 1);
        loader.start({{1, small}, {2, small}}, 100, 100);
        loader.setGateOpen(true);
        for (const int index : {1, 2}) {
            std::optional<ThumbnailLoader::Result> r;
            QVERIFY(QTest::qWaitFor([&] { return (r = loader.takeReady()).has_value(); }));
            QCOMPARE(r->index, index);
            const thumbs::JpegFit& f = r->prepared.jpegFit;
            QCOMPARE(QRect(f.left, f.top, f.width, f.height), QRect(34, 0, 33, 100));
        }
        QTRY_VERIFY(loader.idle());
        QVERIFY(!loader.takeReady());
        QCOMPARE(loader.preparedCount(), 4);
    }

    void storeLetsTheLeastRecentlyUsedGo()
    {
        thumbs::Prepared p;
        p.kind = thumbs::Prepared::Kind::Jpeg;
        p.dib = std::make_shared<cDIBSection>();
        p.dib->Create(30, 20);
        PreparedStore store(2 * PreparedStore::bytesOf(p));
        store.put(1, p, true);
        store.put(2, p, true);
        QVERIFY(store.find(1));
        store.put(3, p, true);
        store.put(4, p, false);                 // far from the view: only where there is room
        store.put(5, thumbs::Prepared{}, true); // unreadable: the box draws its cross without it
        QVERIFY(store.contains(1) && !store.contains(2) && store.contains(3) && !store.contains(4));
        store.remove(1);
        store.put(4, p, false);
        QVERIFY(store.contains(4) && !store.contains(5));
        QCOMPARE(store.bytes(), store.budget());
    }

    // The camera that took a picture comes with its time taken, by either way the window has it:
    // with the thumbnail, or from the time-taken reader.
    void cameraComesWithTheTime()
    {
        QTemporaryDir dir;
        const QByteArray exif = exifTiff({{"Exif.Image.Make", "Apple"},
                                          {"Exif.Image.Model", "iPhone 13"},
                                          {"Exif.Photo.BodySerialNumber", "F17"},
                                          {"Exif.Photo.DateTimeOriginal", "2024:07:12 10:15:00"},
                                          {"Exif.Photo.OffsetTimeOriginal", "+02:00"}});
        const QList<QByteArray> files = {withExif(encodeJpeg(pattern(16, 8)), exif),
                                         encodeHeif(pattern(16, 8), HeifSample().withExif(exif)),
                                         encodeJpeg(pattern(16, 8))};
        QList<TimeTakenReader::Job> jobs;
        for (const QByteArray& file : files) {
            const QString path = dir.filePath(QString::number(jobs.size() + 1));
            writeFile(path, file);
            jobs.append({int(jobs.size()) + 1, QFile::encodeName(path)});
        }
        imaging::CameraData phone;
        phone.make = QStringLiteral("Apple");
        phone.model = QStringLiteral("iPhone 13");
        phone.serial = QStringLiteral("F17");
        phone.zoneOffset = 7200;
        const QList<imaging::CameraData> expected = {phone, phone, imaging::CameraData()};
        TimeTakenReader reader(2);
        QList<TimeTakenReader::Result> read;
        connect(&reader, &TimeTakenReader::finished, this,
                [&](const QList<TimeTakenReader::Result>& results) { read = results; });
        reader.start(jobs);
        QTRY_COMPARE(read.size(), jobs.size());
        thumbs::Preparer preparer;
        for (qsizetype i = 0; i < jobs.size(); ++i) {
            const thumbs::Prepared p = preparer.prepare(jobs[i].nativePath, 40, 40);
            QVERIFY(p.kind == thumbs::Prepared::Kind::Jpeg && p.taken);
            QVERIFY2(p.camera == expected[i], qPrintable(QString::number(i)));
            QVERIFY2(read[i].camera == expected[i], qPrintable(QString::number(i)));
        }
    }

    // Only the series last started and not cancelled gives results: times read for a folder that
    // is gone would land on the boxes of the next.
    void readerGivesOnlyTheLastSeries()
    {
        QTemporaryDir dir;
        QList<TimeTakenReader::Job> jobs;
        for (int i = 1; i <= 3; ++i) {
            const QString path = dir.filePath(QString::number(i));
            writeFile(path, withExif(encodeJpeg(pattern(8, 8)),
                                     exifTiff({{"Exif.Photo.DateTimeOriginal", "2023:07:12 10:00:00"}})));
            jobs.append({i, QFile::encodeName(path)});
        }
        TimeTakenReader reader(2);
        QList<int> indexes;
        connect(&reader, &TimeTakenReader::finished, this,
                [&](const QList<TimeTakenReader::Result>& results) {
                    for (const TimeTakenReader::Result& r : results)
                        indexes.append(r.taken ? r.index : -r.index);
                    indexes.append(0);
                });
        reader.start({jobs[0]});
        reader.start({jobs[1], jobs[2], {4, QFile::encodeName(dir.filePath(QStringLiteral("missing")))}});
        QTRY_VERIFY(!reader.busy());
        reader.start({jobs[0]});
        reader.cancel();
        QVERIFY(!reader.busy());
        QTest::qWait(200); // the cancelled reading ends meanwhile
        QCOMPARE(indexes, (QList<int>{2, 3, -4, 0}));
    }
};

QTEST_MAIN(TestThumbnails)
#include "tst_thumbnails.moc"
