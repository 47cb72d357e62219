#include "imaging/JpegDecoder.h"
#include "imaging/LoadJPG.h"
#include "imaging/cDIBSection.h"
#include "main_window/ThumbCanvas.h"
#include "main_window/ThumbnailLoader.h"
#include "main_window/Thumbnails.h"
#include "main_window/frmmain.h"
#include "platform/DeviceContext.h"
#include "platform/FileNames.h"
#include "platform/FolderList.h"

#include "ImagingTestSupport.h"
#include "JpegEdits.h"
#include "ScriptedDialogs.h"
#include "TestFiles.h"
#include "ThumbnailTestSupport.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImageWriter>
#include <QScrollBar>
#include <QSet>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QtEndian>

#include <sys/stat.h>

namespace {

quint32 crc32(const QByteArray& data)
{
    quint32 crc = 0xFFFFFFFFu;
    for (char c : data) {
        crc ^= static_cast<quint8>(c);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

// A PNG whose header claims width x height pixels and which holds no image data.
QByteArray pngHeaderOnly(quint32 width, quint32 height)
{
    QByteArray ihdr("IHDR");
    char be[4];
    qToBigEndian(width, be);
    ihdr.append(be, 4);
    qToBigEndian(height, be);
    ihdr.append(be, 4);
    ihdr.append("\x08\x02\x00\x00\x00", 5);
    QByteArray png("\x89PNG\r\n\x1a\n", 8);
    qToBigEndian(quint32(13), be);
    png.append(be, 4);
    png.append(ihdr);
    qToBigEndian(crc32(ihdr), be);
    png.append(be, 4);
    return png;
}

bool isRed(QRgb c)
{
    return qRed(c) == 255 && qGreen(c) == 0 && qBlue(c) == 0;
}

} // namespace

class TestThumbnails : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); }

    void jpegFit_data()
    {
        QTest::addColumn<QSize>("image");
        QTest::addColumn<QSize>("box");
        QTest::addColumn<QRect>("expected");
        QTest::newRow("wide") << QSize(400, 100) << QSize(100, 100) << QRect(0, 38, 100, 25);
        QTest::newRow("tall") << QSize(100, 300) << QSize(100, 100) << QRect(34, 0, 33, 100);
        QTest::newRow("same proportions fit the height") << QSize(600, 200) << QSize(300, 100) << QRect(0, 0, 300, 100);
        QTest::newRow("small is enlarged") << QSize(50, 50) << QSize(100, 100) << QRect(0, 0, 100, 100);
        QTest::newRow("halves round to even") << QSize(300, 100) << QSize(100, 70) << QRect(0, 18, 100, 33);
    }
    void jpegFit()
    {
        QFETCH(QSize, image);
        QFETCH(QSize, box);
        QFETCH(QRect, expected);
        const thumbs::JpegFit f = thumbs::fitJpeg(image.width(), image.height(), box.width(), box.height());
        QCOMPARE(QRect(f.left, f.top, f.width, f.height), expected);
    }

    void pictureFitIsNotRounded()
    {
        const thumbs::PictureFit f = thumbs::fitPicture(400, 100, 100, 100);
        QCOMPARE(f.width, 100.0);
        QCOMPARE(f.height, 25.0);
        QCOMPARE(f.left, 0.0f);
        QCOMPARE(f.top, 37.5f);
        const thumbs::PictureFit g = thumbs::fitPicture(100, 300, 100, 100);
        QCOMPARE(g.left, static_cast<float>((100 - 100.0 / 300 * 100) / 2));
    }

    void jpegPixelsAreTheResampledImageAtItsPlace_data()
    {
        QTest::addColumn<QSize>("image");
        QTest::newRow("wide") << QSize(400, 100);
        QTest::newRow("tall, odd width") << QSize(123, 301);
        QTest::newRow("enlarged") << QSize(50, 40);
    }
    void jpegPixelsAreTheResampledImageAtItsPlace()
    {
        QFETCH(QSize, image);
        QTemporaryDir dir;
        const QString path = save(dir, QStringLiteral("p.jpg"), pattern(image.width(), image.height()), "JPG");

        QImage box = freshBox();
        thumbs::draw(box, prepareFile(path), QString(), {});

        cDIBSection full;
        QVERIFY(LoadJPG(full, path));
        const thumbs::JpegFit f = thumbs::fitJpeg(full.Width(), full.Height(), 100, 100);
        const std::unique_ptr<cDIBSection> small = full.Resample(f.height, f.width);
        QVERIFY(small);
        QImage expected(100, 100, QImage::Format_RGB32);
        expected.fill(Qt::white);
        platform::DeviceContext dc(&expected);
        small->PaintPicture(&dc, f.left, f.top, -1, -1, 0, 0, platform::RasterOp::SrcCopy);
        COMPARE_IMAGES(box, expected);
    }

    void otherFormatsAreStretchedIntoPlace()
    {
        QTemporaryDir dir;
        QImage red(200, 100, QImage::Format_RGB32);
        red.fill(Qt::red);
        const QString path = save(dir, QStringLiteral("red.jpg"), red, "PNG"); // a PNG named .jpg
        const thumbs::Prepared p = prepareFile(path);
        QCOMPARE(p.kind, thumbs::Prepared::Kind::Picture);
        QImage box = freshBox();
        thumbs::draw(box, p, QString(), {});
        QVERIFY(isRed(box.pixel(50, 50)));
        QCOMPARE(box.pixel(50, 10), qRgb(255, 255, 255)); // above the 100 x 50 picture: white
        QCOMPARE(box.pixel(50, 90), qRgb(255, 255, 255));
        QVERIFY(isRed(box.pixel(0, 30)));
        QVERIFY(isRed(box.pixel(99, 70)));
    }

    void unreadableFilesGetARedCross_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("empty file") << "empty";
        QTest::newRow("text named .jpg") << "text";
        QTest::newRow("fifo") << "fifo";
        QTest::newRow("one pixel wide jpeg") << "narrow";
        QTest::newRow("png claiming 100000 x 100000 pixels") << "huge";
        QTest::newRow("truncated png") << "truncated";
        // Qt's readers would make up, or paint, all of these pixels: seconds and gigabytes each.
        QTest::newRow("jpeg of 700 bytes claiming 14142 x 14142") << "jpeg bomb";
        QTest::newRow("jpeg of a picture 1000 wide, its height set to 65500") << "jpeg height";
        QTest::newRow("svg claiming 14142 x 14142") << "svg bomb";
    }
    void unreadableFilesGetARedCross()
    {
        QFETCH(QString, kind);
        QTemporaryDir dir;
        QString path = dir.filePath(QStringLiteral("x.jpg"));
        if (kind == "empty")
            writeFile(path, QByteArray());
        else if (kind == "text")
            writeFile(path, "just some words\n");
        else if (kind == "fifo")
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0644), 0);
        else if (kind == "narrow")
            path = save(dir, QStringLiteral("x.jpg"), pattern(1, 40), "JPG");
        else if (kind == "huge")
            writeFile(path, pngHeaderOnly(100000, 100000));
        else if (kind == "truncated") {
            QFile f(save(dir, QStringLiteral("full.png"), pattern(300, 300), "PNG"));
            f.open(QIODevice::ReadOnly);
            writeFile(path, f.read(f.size() / 3));
        } else if (kind == "jpeg bomb")
            writeFile(path, withFrame(encodeJpeg(pattern(16, 16), TJSAMP_420), 8, 14142, 14142));
        else if (kind == "jpeg height")
            writeFile(path, withFrame(encodeJpeg(pattern(1000, 100), TJSAMP_420), 8, 1000, 65500));
        else if (kind == "svg bomb")
            writeFile(path, "<svg xmlns='http://www.w3.org/2000/svg' width='14142' height='14142'/>");

        const thumbs::Prepared p = prepareFile(path);
        QCOMPARE(p.kind, thumbs::Prepared::Kind::Unreadable);

        QImage box = freshBox();
        thumbs::draw(box, p, QStringLiteral("x.jpg"), {});
        QVERIFY(isRed(box.pixel(0, 0)));
        QVERIFY(isRed(box.pixel(50, 50)));
        QVERIFY(isRed(box.pixel(99, 99)));
        QVERIFY(isRed(box.pixel(99, 1))); // the second line runs from (100, 0) to (0, 100)
        QVERIFY(isRed(box.pixel(1, 99)));
        QCOMPARE(QColor(box.pixel(50, 10)), kGrey); // not cleared
        QCOMPARE(QColor(box.pixel(50, 96)), kGrey); // and no caption
    }

    // Pictures above 12 megapixels whose files are small for their size, as flat ones are, and
    // damaged ones that Qt's readers show in part.
    void compressedOrDamagedPicturesStillShow_data()
    {
        QTest::addColumn<QByteArray>("data");
        QImage flat(4000, 4000, QImage::Format_Mono); // about 8000 pixels per byte as PNG
        flat.fill(1);
        QByteArray png;
        QBuffer buffer(&png);
        flat.save(&buffer, "PNG");
        QImage cmyk(3500, 3500, QImage::Format_RGB32); // TurboJPEG cannot turn CMYK into RGB
        cmyk.fill(qRgb(10, 200, 30));
        const QByteArray photo = encodeJpeg(pattern(320, 240), TJSAMP_420);
        QTest::newRow("flat one-bit png, 16 megapixels") << png;
        QTest::newRow("flat CMYK jpeg, 12.25 megapixels") << encodeJpeg(cmyk, TJSAMP_444, 0, TJPF_CMYK);
        QTest::newRow("jpeg cut in half") << photo.left(photo.size() / 2);
    }
    void compressedOrDamagedPicturesStillShow()
    {
        QFETCH(QByteArray, data);
        QTemporaryDir dir;
        writeFile(dir.filePath(QStringLiteral("x.jpg")), data);
        QCOMPARE(prepareFile(dir.filePath(QStringLiteral("x.jpg"))).kind, thumbs::Prepared::Kind::Picture);
    }

    // A worker prepares one file after another with one decoder and one buffer. Files that
    // once left the decoder unable to read any later file, or lent their tables to a later
    // file that lacks its own, are followed by every file here, good and damaged.
    void eachPictureIsPreparedAsIfAlone()
    {
        QByteArray photo; // Huffman tables of its own, not the standard ones
        QBuffer buffer(&photo);
        QImageWriter writer(&buffer, "jpeg");
        writer.setOptimizedWrite(true);
        QVERIFY(writer.write(pattern(160, 120)));
        QByteArray tableCount = photo;
        tableCount[markerAt(photo, 0xC4) + 5] = char(0xFF);
        QByteArray lossless = photo;
        lossless[markerAt(photo, 0xC0) + 1] = char(0xC3);
        const QList<std::pair<const char*, QByteArray>> files = {
            {"photo", photo},
            {"other photo", encodeJpeg(pattern(40, 70), TJSAMP_444)},
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

        imaging::JpegDecoder decoder;
        cDIBSection work;
        work.KeepMemoryForReuse(true);
        for (qsizetype later = 0; later < files.size(); ++later) {
            for (qsizetype before = 0; before < files.size(); ++before) {
                thumbs::prepare(decoder, work, paths[before], 100, 100);
                const thumbs::Prepared p = thumbs::prepare(decoder, work, paths[later], 100, 100);
                QString why;
                if (p.kind != alone[later].kind)
                    why = QStringLiteral("another kind of result");
                else
                    sameImage(drawn(p), drawn(alone[later]), &why);
                QVERIFY2(why.isEmpty(), qPrintable(QStringLiteral("%1 after %2: %3")
                                                       .arg(QString::fromLatin1(files[later].first),
                                                            QString::fromLatin1(files[before].first), why)));
            }
        }
    }

    // On a screen of two device pixels per pixel the box image has twice the pixels, and the
    // caption, laid out in the box's pixels, is drawn with all of them.
    void captionIsCentredAtTheBottom_data()
    {
        QTest::addColumn<int>("ratio");
        QTest::newRow("1") << 1;
        QTest::newRow("2") << 2;
    }
    void captionIsCentredAtTheBottom()
    {
        QFETCH(int, ratio);
        const int size = 100 * ratio;
        QTemporaryDir dir;
        QImage white(100, 100, QImage::Format_RGB32);
        white.fill(Qt::white);
        const QString path = save(dir, QStringLiteral("a.jpg"), white, "JPG");
        const thumbs::Prepared p = prepareFile(path, size, size);
        thumbs::CaptionStyle style;
        style.font = thumbs::boxFont();
        style.transparent = true;
        QImage without = freshBox(size, size);
        without.setDevicePixelRatio(ratio);
        thumbs::draw(without, p, QString(), style);
        QImage with = without.copy();
        thumbs::draw(with, p, QStringLiteral("a.jpg"), style);
        QCOMPARE(with.devicePixelRatio(), qreal(ratio));

        int left = size, right = -1, top = size;
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x)
                if (with.pixel(x, y) != without.pixel(x, y)) {
                    left = qMin(left, x);
                    right = qMax(right, x);
                    top = qMin(top, y);
                }
        QVERIFY(right >= 0);
        const QString where = QStringLiteral("%1..%2, from %3").arg(left).arg(right).arg(top);
        QVERIFY2(qAbs(left - (size - 1 - right)) <= 2 * ratio, qPrintable(where));
        const int textHeight = QFontMetrics(style.font).height();
        QVERIFY2(top >= size - ratio * textHeight && top < size - (ratio * textHeight) / 2, qPrintable(where));
        QVERIFY2(right - left > 10 * ratio, qPrintable(where));
    }

    void secondCallRepaintsOnWhite()
    {
        QTemporaryDir dir;
        const QString path = save(dir, QStringLiteral("p.jpg"), pattern(400, 100), "JPG");
        const thumbs::Prepared jpeg = prepareFile(path);
        QImage once = freshBox();
        thumbs::draw(once, jpeg, QString(), {});
        QImage twice = freshBox();
        thumbs::draw(twice, prepareFile(dir.filePath(QStringLiteral("missing.jpg"))), QString(), {});
        thumbs::draw(twice, jpeg, QString(), {});
        COMPARE_IMAGES(twice, once);
    }

    // The window, threaded and not: the same pixels, every box loaded exactly once. Threaded, with
    // one worker held at its first picture while the user presses End: the rows then in view come
    // next, then the row above them, then the rest in display order.
    void threadedAndSequentialGiveTheSameView()
    {
        QTemporaryDir dir;
        for (int i = 0; i < 24; ++i)
            save(dir, QStringLiteral("p%1.jpg").arg(i, 2, 10, QLatin1Char('0')),
                 pattern(100 + 37 * i, 200 - 6 * i, qRgb(i * 10, 0, 0)), "JPG");
        save(dir, QStringLiteral("q-png.jpg"), pattern(120, 90), "PNG");
        writeFile(dir.filePath(QStringLiteral("r-empty.jpg")), QByteArray());
        save(dir, QStringLiteral("s-narrow.jpg"), pattern(1, 50), "JPG");

        ScriptedDialogs dialogs;
        QList<QImage> views[2];
        for (int threaded = 0; threaded < 2; ++threaded) {
            frmmain w;
            w.threadedLoading = threaded == 1;
            w.loaderThreads = 1;
            w.thumbnailLoader().setGateOpen(false);
            QSignalSpy built(&w, &frmmain::viewBuilt);
            QList<int> loads;
            connect(&w, &frmmain::thumbnailLoaded, this, [&](int index) { loads.append(index); });
            auto* poll = new QTimer(&w);
            connect(poll, &QTimer::timeout, &w, [&] {
                if (w.thumbnailLoader().heldAtGate() == 1) {
                    QTest::keyClick(w.pctPreview, Qt::Key_End);
                    w.thumbnailLoader().setGateOpen(true);
                    poll->stop();
                }
            });
            poll->start(1);
            w.openFolder(dir.path());
            QVERIFY(built.wait(20000));
            QCOMPARE(w.order.size(), 28);
            QList<qsizetype> positions;
            for (int index : loads)
                positions.append(w.order.indexOf(index));
            if (threaded == 1) {
                // Nine rows of three; at the end, rows 5 to 8 and the placeholder's are in view.
                QCOMPARE(w.ScrollMe->value(), 16);
                QCOMPARE(positions, (QList<qsizetype>{0,  15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 12,
                                                      13, 14, 1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11}));
            } else {
                QCOMPARE(positions.size(), 27);
                QCOMPARE(QSet<qsizetype>(positions.begin(), positions.end()).size(), 27);
            }
            for (qsizetype k = 0; k + 1 < w.order.size(); ++k)
                views[threaded].append(w.picScroll->shownImage(w.order[k]));
            QVERIFY(!w.picScroll->element(w.order.last()).Loaded); // the placeholder
        }
        QVERIFY(dialogs.messages.isEmpty());
        for (qsizetype k = 0; k < views[0].size(); ++k)
            COMPARE_IMAGES(views[1][k], views[0][k]);
    }

    // A result of a cancelled series never stands for the new one, even when it is finished
    // after the new series began.
    void cancelledSeriesGivesNothingOld()
    {
        QTemporaryDir dir;
        const QByteArray large = platform::encodeName(save(dir, QStringLiteral("large.jpg"), pattern(2000, 500), "JPG"));
        const QByteArray small = platform::encodeName(save(dir, QStringLiteral("small.jpg"), pattern(100, 300), "JPG"));
        ThumbnailLoader loader(1);
        loader.setGateOpen(false);
        loader.start({{1, large}}, 100, 100);
        QTRY_COMPARE(loader.heldAtGate(), 1);
        loader.start({{1, small}}, 100, 100);
        loader.setGateOpen(true);
        const std::optional<thumbs::Prepared> p = loader.take({1, small}, 100, 100, [] { return false; });
        QVERIFY(p);
        QCOMPARE(QRect(p->jpegFit.left, p->jpegFit.top, p->jpegFit.width, p->jpegFit.height), QRect(34, 0, 33, 100));
        QTRY_VERIFY(loader.idle());
        QVERIFY(!loader.takeReady());
        QCOMPARE(loader.preparedCount(), 2);
    }

    void loaderPreparesEachPictureOnce()
    {
        QTemporaryDir dir;
        QList<ThumbnailLoader::Job> jobs;
        for (int i = 0; i < 12; ++i)
            jobs.append({i + 1, platform::encodeName(save(dir, QStringLiteral("p%1.jpg").arg(i), pattern(640, 480), "JPG"))});
        ThumbnailLoader loader(2);
        loader.start(jobs, 100, 100);
        // Asking for a picture that is being prepared must not queue it a second time.
        for (const ThumbnailLoader::Job& job : jobs) {
            const auto p = loader.take(job, 100, 100, [] { return false; });
            QVERIFY(p);
            QCOMPARE(p->kind, thumbs::Prepared::Kind::Jpeg);
        }
        QCOMPARE(loader.preparedCount(), 12);

        // Out of order, and for another size: each is prepared anew, once.
        loader.start(jobs, 50, 50);
        for (qsizetype k = jobs.size() - 1; k >= 0; --k)
            QCOMPARE(loader.take(jobs[k], 50, 50, [] { return false; })->TW, 50);
        QTRY_COMPARE(loader.preparedCount(), 24);
        QTest::qWait(50);
        QCOMPARE(loader.preparedCount(), 24);
    }

    void reorderingWhileLoadingLoadsEachBoxOnce()
    {
        QTemporaryDir dir;
        for (int i = 0; i < 20; ++i)
            save(dir, QStringLiteral("p%1.jpg").arg(i, 2, 10, QLatin1Char('0')), pattern(200, 150), "JPG");
        frmmain w;
        QSignalSpy built(&w, &frmmain::viewBuilt);
        QMap<int, int> loads;
        connect(&w, &frmmain::thumbnailLoaded, this, [&](int index) {
            ++loads[index];
            if (loads.size() == 5) {
                // Move the last picture to the front and a loaded one to the end, as a drag would.
                const qsizetype lastPicture = w.order.size() - 2;
                w.order.move(lastPicture, 0);
                w.order.move(1, lastPicture);
                w.arrangeimgs(false);
            }
        });
        w.openFolder(dir.path());
        QVERIFY(built.wait(20000));
        QCOMPARE(loads.size(), 20);
        for (int count : loads)
            QCOMPARE(count, 1);
    }

    // The same in the window: the worker holds the first picture of a folder while the user
    // goes to another folder whose first box shows another picture.
    void folderChangeWhileLoadingShowsNothingOld()
    {
        QTemporaryDir dir;
        QDir(dir.path()).mkdir(QStringLiteral("a"));
        QDir(dir.path()).mkdir(QStringLiteral("b"));
        save(dir, QStringLiteral("a/large.jpg"), pattern(2000, 500), "JPG");
        const QString small = save(dir, QStringLiteral("b/small.jpg"), pattern(100, 300), "JPG");

        frmmain w;
        w.showfilename = false;
        w.loaderThreads = 1;
        w.thumbnailLoader().setGateOpen(false);
        QSignalSpy built(&w, &frmmain::viewBuilt);
        auto* poll = new QTimer(&w);
        connect(poll, &QTimer::timeout, &w, [&] {
            if (w.thumbnailLoader().heldAtGate() == 1 && w.DirSelect->Path().endsWith(QLatin1Char('a')))
                w.openFolder(dir.filePath(QStringLiteral("b")));
        });
        // Released once the new folder's pictures are under way.
        connect(&w, &frmmain::viewArranged, &w, [&] {
            if (w.DirSelect->Path().endsWith(QLatin1Char('b')))
                QTimer::singleShot(0, &w, [&] { w.thumbnailLoader().setGateOpen(true); });
        });
        poll->start(1);
        w.openFolder(dir.filePath(QStringLiteral("a")));
        QVERIFY(built.wait(20000));
        QCOMPARE(built.size(), 1);
        QCOMPARE(w.order.size(), 2);
        COMPARE_IMAGES(w.picScroll->shownImage(w.order[0]), drawn(prepareFile(small)));
    }
};

QTEST_MAIN(TestThumbnails)
#include "tst_thumbnails.moc"
