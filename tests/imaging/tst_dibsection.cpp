#include "ImagingTestSupport.h"

#include <QTest>

#include <stdexcept>

using platform::DeviceContext;
using platform::RasterOp;

class TestDIBSection : public QObject
{
    Q_OBJECT
private slots:
    // A refused size leaves the buffer empty while it still reports the size asked for.
    void create_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<int>("stride"); // 0: refused, -1: overflows
        for (const auto& [width, stride] : {std::pair{1, 4}, {2, 8}, {3, 12}, {4, 12}, {5, 16}, {7, 24}})
            QTest::addRow("width %d", width) << width << 2 << stride;
        QTest::newRow("width 0") << 0 << 5 << 0;
        QTest::newRow("height 0") << 5 << 0 << 0;
        QTest::newRow("negative height") << 4 << -3 << 0;
        QTest::newRow("row length overflows") << 800'000'000 << 1 << -1;
        QTest::newRow("size overflows") << 100'000 << 100'000 << -1;
    }
    void create()
    {
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(int, stride);
        cDIBSection dib;
        QVERIFY(dib.Create(2, 2));
        if (stride < 0)
            QVERIFY_THROWS_EXCEPTION(std::overflow_error, dib.Create(width, height));
        else
            QCOMPARE(dib.Create(width, height), stride > 0);
        if (stride > 0)
            QCOMPARE(dib.BytesPerScanLine(), stride);
        else
            QVERIFY(!dib.DIBSectionBitsPtr() && !dib.hdc() && !dib.hDib());
        QCOMPARE(dib.Width(), width);
        QCOMPARE(dib.Height(), height);
    }

    // A second Create releases the first block (LeakSanitizer watches in the sanitizer build);
    // with reuse on, ClearUp keeps it for the next Create while the buffer counts as empty.
    void recreateClearUpAndReuse()
    {
        cDIBSection dib;
        dib.ClearUp();
        QVERIFY(dib.Create(3, 2));
        dib.KeepMemoryForReuse(true);
        QVERIFY(dib.Create(100, 100));
        const std::uint8_t* block = dib.DIBSectionBitsPtr();
        dib.ClearUp();
        dib.ClearUp();
        QVERIFY(!dib.DIBSectionBitsPtr() && !dib.hdc());
        QVERIFY(dib.Create(60, 50));
        QCOMPARE(dib.DIBSectionBitsPtr(), block);
        QCOMPARE(dib.hdc()->height(), 50);
        QVERIFY(dib.Create(300, 300));
        dib.DIBSectionBitsPtr()[900 * 300 - 1] = 1;
    }

    // What the thumbnails show: upright, byte for byte, clipped to the box.
    void paintPicture_data()
    {
        QTest::addColumn<QRect>("dest"); // width or height -1: the buffer's own
        QTest::addColumn<QPoint>("sourceOrigin");
        QTest::addColumn<QRect>("painted"); // the box pixels that receive the picture
        QTest::newRow("whole") << QRect(2, 1, -1, -1) << QPoint(0, 0) << QRect(2, 1, 5, 3);
        QTest::newRow("nothing") << QRect(2, 1, 0, 0) << QPoint(0, 0) << QRect();
        QTest::newRow("cropped") << QRect(0, 0, 2, 2) << QPoint(1, 1) << QRect(0, 0, 2, 2);
        QTest::newRow("clipped left and top") << QRect(-2, -1, -1, -1) << QPoint(0, 0) << QRect(0, 0, 3, 2);
        QTest::newRow("clipped right and bottom") << QRect(6, 4, -1, -1) << QPoint(0, 0) << QRect(6, 4, 2, 2);
    }
    void paintPicture()
    {
        QFETCH(QRect, dest);
        QFETCH(QPoint, sourceOrigin);
        QFETCH(QRect, painted);
        const QImage picture = testPicture(5, 3);
        cDIBSection dib;
        dib.CreateFromPicture(picture);
        QImage box(8, 6, QImage::Format_RGB32);
        box.fill(Qt::white);
        QImage expected = box;
        const QPoint shift = sourceOrigin - dest.topLeft();
        for (int y = painted.top(); y <= painted.bottom(); ++y)
            for (int x = painted.left(); x <= painted.right(); ++x)
                expected.setPixel(x, y, picture.pixel(x + shift.x(), y + shift.y()));

        DeviceContext dc(&box);
        dib.PaintPicture(&dc, dest.x(), dest.y(), dest.width(), dest.height(), sourceOrigin.x(),
                         sourceOrigin.y());
        QCOMPARE(box, expected);
    }

    // Picture -> buffer -> picture of the same format, for every format a context handles
    // (others are converted on the way in).
    void formatsRoundTrip_data()
    {
        QTest::addColumn<QImage::Format>("format");
        for (QImage::Format format :
             {QImage::Format_RGB32, QImage::Format_ARGB32, QImage::Format_ARGB32_Premultiplied,
              QImage::Format_RGB888, QImage::Format_BGR888, QImage::Format_Indexed8})
            QTest::addRow("format %d", int(format)) << format;
    }
    void formatsRoundTrip()
    {
        QFETCH(QImage::Format, format);
        const QImage picture = testPicture(7, 4).convertToFormat(format);
        cDIBSection dib;
        dib.CreateFromPicture(picture);
        COMPARE_PIXELS(pixelBytes(dib), bottomUpBgr(picture), 7);
        QImage back(7, 4, format == QImage::Format_Indexed8 ? QImage::Format_RGB32 : format);
        back.fill(0);
        DeviceContext dc(&back);
        dib.PaintPicture(&dc);
        COMPARE_PIXELS(bottomUpBgr(back), bottomUpBgr(picture), 7);
        QCOMPARE(qAlpha(back.pixel(6, 3)), 255);
    }

    // A null or empty context, an image format without a layout here, a brush raster op.
    void refusedTransfers()
    {
        QImage target(3, 3, QImage::Format_RGB32), indexed(3, 3, QImage::Format_Indexed8);
        target.fill(Qt::white);
        DeviceContext dc(&target), nullDc, indexedDc(&indexed);
        cDIBSection dib, empty;
        dib.CreateFromPicture(testPicture(3, 3));
        for (DeviceContext* to : {&nullDc, &indexedDc})
            QVERIFY(!platform::BitBlt(to, 0, 0, 3, 3, dib.hdc(), 0, 0, RasterOp::SrcCopy));
        QVERIFY(!platform::BitBlt(&dc, 0, 0, 3, 3, dib.hdc(), 0, 0, RasterOp(0x00F00021)));
        QVERIFY(!platform::BitBlt(&dc, 0, 0, 3, 3, empty.hdc(), 0, 0, RasterOp::SrcCopy));
        QCOMPARE(target.pixel(1, 1), qRgb(255, 255, 255));
    }
};

QTEST_GUILESS_MAIN(TestDIBSection)
#include "tst_dibsection.moc"
