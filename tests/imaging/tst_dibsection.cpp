#include "ImagingTestSupport.h"
#include "ScriptedDialogs.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QTest>

#include <stdexcept>

using platform::DeviceContext;
using platform::RasterOp;

class TestDIBSection : public QObject
{
    Q_OBJECT
private slots:
    void bytesPerScanLine_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("stride");
        for (const auto& [width, stride] : {std::pair{1, 4}, {2, 8}, {3, 12}, {4, 12}, {5, 16}, {7, 24}})
            QTest::addRow("width %d", width) << width << stride;
    }
    void bytesPerScanLine()
    {
        QFETCH(int, width);
        QFETCH(int, stride);
        cDIBSection dib;
        QVERIFY(dib.Create(width, 2));
        QCOMPARE(dib.BytesPerScanLine(), stride);
    }

    // A refused size leaves the buffer empty while it still reports the size asked for.
    void refusedSizes_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<bool>("overflows");
        QTest::newRow("width 0") << 0 << 5 << false;
        QTest::newRow("height 0") << 5 << 0 << false;
        QTest::newRow("negative width") << -3 << 4 << false;
        QTest::newRow("negative height") << 4 << -3 << false;
        QTest::newRow("row length overflows") << 800'000'000 << 1 << true;
        QTest::newRow("size overflows") << 100'000 << 100'000 << true;
    }
    void refusedSizes()
    {
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(bool, overflows);
        cDIBSection dib;
        QVERIFY(dib.Create(2, 2));
        if (overflows)
            QVERIFY_THROWS_EXCEPTION(std::overflow_error, dib.Create(width, height));
        else
            QVERIFY(!dib.Create(width, height));
        QVERIFY(!dib.DIBSectionBitsPtr());
        QVERIFY(!dib.hdc());
        QVERIFY(!dib.hDib());
        QCOMPARE(dib.Width(), width);
        QCOMPARE(dib.Height(), height);
    }

    // Leaks would show under LeakSanitizer, which the sanitizer build runs.
    void recreateAndClearUp()
    {
        cDIBSection dib;
        dib.ClearUp();
        QVERIFY(dib.Create(3, 2));
        QVERIFY(dib.Create(5, 4));
        QVERIFY(dib.DIBSectionBitsPtr());
        QCOMPARE(dib.hdc()->width(), 5);
        dib.ClearUp();
        dib.ClearUp();
        QVERIFY(!dib.DIBSectionBitsPtr());
        QVERIFY(!dib.hdc());
        QCOMPARE(dib.Width(), 5);
    }

    void memoryReuse()
    {
        cDIBSection dib;
        dib.KeepMemoryForReuse(true);
        QVERIFY(dib.Create(100, 100));
        const std::uint8_t* first = dib.DIBSectionBitsPtr();
        dib.ClearUp();
        QVERIFY(!dib.DIBSectionBitsPtr());
        QVERIFY(!dib.hdc());
        QVERIFY(dib.Create(60, 50));
        QCOMPARE(dib.DIBSectionBitsPtr(), first);
        QCOMPARE(dib.hdc()->height(), 50);
        QVERIFY(dib.Create(300, 300));
        QCOMPARE(dib.BytesPerScanLine(), 900);
        dib.DIBSectionBitsPtr()[900 * 300 - 1] = 1;
    }

    // Painting is what the thumbnails show: upright, byte for byte, clipped to the box.
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
        QVERIFY(dib.Create(5, 3));
        setPixelBytes(dib, bottomUpBgr(picture));

        QImage box(8, 6, QImage::Format_RGB32);
        box.fill(Qt::white);
        QImage expected = box;
        const QPoint shift = sourceOrigin - dest.topLeft();
        for (int y = painted.top(); y <= painted.bottom(); ++y)
            for (int x = painted.left(); x <= painted.right(); ++x)
                expected.setPixel(x, y, picture.pixel(x + shift.x(), y + shift.y()));

        DeviceContext dc(&box);
        dib.PaintPicture(&dc, dest.x(), dest.y(), dest.width(), dest.height(), sourceOrigin.x(), sourceOrigin.y(),
                         RasterOp::SrcCopy);
        const QString difference = firstDifference(box, expected);
        QVERIFY2(difference.isEmpty(), qPrintable(difference));
    }

    void emptyBufferPaintsNothing()
    {
        cDIBSection dib;
        QImage box(4, 4, QImage::Format_RGB32);
        box.fill(Qt::white);
        DeviceContext dc(&box);
        dib.PaintPicture(&dc);
        QCOMPARE(box.pixel(0, 0), qRgb(255, 255, 255));
    }

    void createFromPicture_data()
    {
        QTest::addColumn<QImage::Format>("format");
        QTest::newRow("RGB32") << QImage::Format_RGB32;
        QTest::newRow("RGB888") << QImage::Format_RGB888;
        QTest::newRow("Indexed8, converted") << QImage::Format_Indexed8;
    }
    void createFromPicture()
    {
        QFETCH(QImage::Format, format);
        const QImage picture = testPicture(7, 4).convertToFormat(format);
        cDIBSection dib;
        dib.CreateFromPicture(picture);
        QCOMPARE(dib.Width(), 7);
        QCOMPARE(dib.Height(), 4);
        QCOMPARE(pixelBytes(dib), bottomUpBgr(picture));
    }

    void copyToClipboard()
    {
        ScriptedDialogs dialogs;
        cDIBSection dib;
        QVERIFY(!dib.CopyToClipboard(false));
        dib.CreateFromPicture(testPicture(6, 5));
        QVERIFY(!dib.CopyToClipboard());
        QCOMPARE(dialogs.messageTexts(),
                 QStringList{QStringLiteral("I don't know how to put a DIB on the clipboard! Copy as bitmap instead!!!")});
        QVERIFY(dib.CopyToClipboard(false));
        const QString difference = firstDifference(QGuiApplication::clipboard()->image(), testPicture(6, 5));
        QVERIFY2(difference.isEmpty(), qPrintable(difference));
    }
};

QTEST_MAIN(TestDIBSection)
#include "tst_dibsection.moc"
