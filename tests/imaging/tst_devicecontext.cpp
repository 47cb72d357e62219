#include "ImagingTestSupport.h"

#include <QTest>

#include <vector>

using platform::BitBlt;
using platform::DeviceContext;
using platform::RasterOp;

class TestDeviceContext : public QObject
{
    Q_OBJECT
private slots:
    // Image -> bottom-up memory -> image again, in every image format a context supports.
    void formatsRoundTrip_data()
    {
        QTest::addColumn<QImage::Format>("format");
        QTest::newRow("RGB32") << QImage::Format_RGB32;
        QTest::newRow("ARGB32") << QImage::Format_ARGB32;
        QTest::newRow("ARGB32_Premultiplied") << QImage::Format_ARGB32_Premultiplied;
        QTest::newRow("RGB888") << QImage::Format_RGB888;
        QTest::newRow("BGR888") << QImage::Format_BGR888;
    }
    void formatsRoundTrip()
    {
        QFETCH(QImage::Format, format);
        QImage picture = testPicture(5, 3).convertToFormat(format);
        std::vector<std::uint8_t> memory(16 * 3, 0xEE);
        DeviceContext bottomUp(memory.data(), 5, 3, 16);
        DeviceContext source(&picture);
        QVERIFY(BitBlt(&bottomUp, 0, 0, 5, 3, &source, 0, 0, RasterOp::SrcCopy));
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(memory.data()), 15), bottomUpBgr(picture).left(15));
        QCOMPARE(memory[15], 0xEE);

        QImage back(5, 3, format);
        back.fill(0);
        DeviceContext target(&back);
        QVERIFY(BitBlt(&target, 0, 0, 5, 3, &bottomUp, 0, 0, RasterOp::SrcCopy));
        const QString difference = firstDifference(back, picture);
        QVERIFY2(difference.isEmpty(), qPrintable(difference));
        QCOMPARE(qAlpha(back.pixel(4, 2)), 255);
    }

    void rasterOps_data()
    {
        QTest::addColumn<RasterOp>("rop");
        QTest::addColumn<int>("expected"); // for source 0xCA over destination 0xA6
        QTest::newRow("SrcCopy") << RasterOp::SrcCopy << 0xCA;
        QTest::newRow("SrcPaint") << RasterOp::SrcPaint << (0xCA | 0xA6);
        QTest::newRow("SrcAnd") << RasterOp::SrcAnd << (0xCA & 0xA6);
        QTest::newRow("SrcInvert") << RasterOp::SrcInvert << (0xCA ^ 0xA6);
        QTest::newRow("SrcErase") << RasterOp::SrcErase << (0xCA & ~0xA6 & 0xFF);
        QTest::newRow("NotSrcCopy") << RasterOp::NotSrcCopy << (~0xCA & 0xFF);
        QTest::newRow("NotSrcErase") << RasterOp::NotSrcErase << (~(0xCA | 0xA6) & 0xFF);
        QTest::newRow("MergePaint") << RasterOp::MergePaint << ((~0xCA | 0xA6) & 0xFF);
        QTest::newRow("DstInvert") << RasterOp::DstInvert << (~0xA6 & 0xFF);
        QTest::newRow("Blackness") << RasterOp::Blackness << 0x00;
        QTest::newRow("Whiteness") << RasterOp::Whiteness << 0xFF;
    }
    void rasterOps()
    {
        QFETCH(RasterOp, rop);
        QFETCH(int, expected);
        std::uint8_t source[4] = {0xCA, 0xCA, 0xCA, 0};
        QImage target(1, 1, QImage::Format_RGB32);
        target.fill(qRgb(0xA6, 0xA6, 0xA6));
        DeviceContext src(source, 1, 1, 4);
        DeviceContext dst(&target);
        QVERIFY(BitBlt(&dst, 0, 0, 1, 1, &src, 0, 0, rop));
        QCOMPARE(target.pixel(0, 0), qRgb(expected, expected, expected));
    }

    void refusedTransfers_data()
    {
        QTest::addColumn<int>("kind");
        QTest::newRow("null target") << 0;
        QTest::newRow("no source") << 1;
        QTest::newRow("indexed image") << 2;
        QTest::newRow("pattern raster op") << 3;
        QTest::newRow("negative extent") << 4;
    }
    void refusedTransfers()
    {
        QFETCH(int, kind);
        QImage target(3, 3, QImage::Format_RGB32);
        target.fill(Qt::white);
        QImage indexed = testPicture(3, 3).convertToFormat(QImage::Format_Indexed8);
        QImage picture = testPicture(3, 3);
        DeviceContext nullContext;
        DeviceContext dst(kind == 0 ? nullptr : &target);
        DeviceContext src(kind == 2 ? &indexed : &picture);
        const auto rop = kind == 3 ? RasterOp(0x00F00021) : RasterOp::SrcCopy;
        QVERIFY(!BitBlt(kind == 0 ? &nullContext : &dst, 0, 0, kind == 4 ? -1 : 3, 3, kind == 1 ? nullptr : &src, 0, 0,
                        rop));
        QCOMPARE(target.pixel(1, 1), qRgb(255, 255, 255));
    }

    // Moving a block within one surface reads every source pixel before it is overwritten.
    void overlappingTransfer()
    {
        QImage image = testPicture(6, 5);
        const QImage before = image;
        DeviceContext dc(&image);
        QVERIFY(BitBlt(&dc, 1, 1, 5, 4, &dc, 0, 0, RasterOp::SrcCopy));
        QImage expected = before;
        for (int y = 1; y < 5; ++y)
            for (int x = 1; x < 6; ++x)
                expected.setPixel(x, y, before.pixel(x - 1, y - 1));
        const QString difference = firstDifference(image, expected);
        QVERIFY2(difference.isEmpty(), qPrintable(difference));
    }

    void stretchFromBottomUpMemory()
    {
        std::uint8_t memory[8] = {1, 2, 3, 4, 5, 6, 0, 0}; // one row: the image is 2 x 1
        DeviceContext src(memory, 2, 1, 8);
        QImage target(4, 2, QImage::Format_RGB32);
        DeviceContext dst(&target);
        QVERIFY(platform::StretchBlt(&dst, 0, 0, 4, 2, &src, 0, 0, 2, 1, RasterOp::SrcCopy));
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 4; ++x)
                QCOMPARE(target.pixel(x, y), x < 2 ? qRgb(3, 2, 1) : qRgb(6, 5, 4));
    }
};

QTEST_GUILESS_MAIN(TestDeviceContext)
#include "tst_devicecontext.moc"
