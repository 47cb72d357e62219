#include "ImagingTestSupport.h"

#include <QTest>

#include <stdexcept>

namespace {

// Pseudo-random pixel bytes that the expected results below were worked out for.
QByteArray lcgBytes(int count, quint32 seed)
{
    QByteArray bytes;
    for (int i = 0; i < count; ++i) {
        seed = (seed * 1103515245u + 12345u) & 0x7FFFFFFFu;
        bytes.append(char((seed >> 16) & 0xFF));
    }
    return bytes;
}

// Pixel bytes as a buffer holds them (bottom row first, blue, green, red) as an upright picture.
QImage bottomUp(const QByteArray& bytes, QSize size)
{
    return QImage(reinterpret_cast<const uchar*>(bytes.constData()), size.width(), size.height(),
                  size.width() * 3, QImage::Format_BGR888)
        .mirrored();
}

std::unique_ptr<cDIBSection> makeSource(QSize size, const QByteArray& bytes)
{
    auto dib = std::make_unique<cDIBSection>();
    dib->CreateFromPicture(bottomUp(bytes, size));
    return dib;
}

} // namespace

class TestDIBSection : public QObject
{
    Q_OBJECT
private slots:
    // A refused size leaves the buffer empty while it still reports the size asked for.
    void create()
    {
        cDIBSection dib;
        for (const auto& [width, stride] : {std::pair{1, 4}, {2, 8}, {3, 12}, {4, 12}, {5, 16}, {7, 24}}) {
            QVERIFY(dib.Create(width, 2));
            QCOMPARE(dib.BytesPerScanLine(), stride);
        }
        for (const QSize size :
             {QSize(0, 5), QSize(5, 0), QSize(4, -3), QSize(800'000'000, 1), QSize(100'000, 100'000)}) {
            QVERIFY(dib.Create(2, 2));
            if (size.width() < 100'000)
                QVERIFY(!dib.Create(size.width(), size.height()));
            else // the row or the whole buffer would need more bytes than a size holds
                QVERIFY_THROWS_EXCEPTION(std::overflow_error, dib.Create(size.width(), size.height()));
            QVERIFY(!dib.DIBSectionBitsPtr() && !dib.hdc() && !dib.hDib() &&
                    QSize(dib.Width(), dib.Height()) == size);
        }
    }

    // What the thumbnails show: upright, byte for byte, clipped to the box, from a picture in any
    // format a file may come in (converted on the way in where needed).
    void paintPicture_data()
    {
        QTest::addColumn<QImage::Format>("format");
        using enum QImage::Format;
        QTest::addColumn<QRect>("dest"); // width or height -1: the buffer's own
        QTest::addColumn<QPoint>("sourceOrigin");
        QTest::addColumn<QRect>("painted"); // the box pixels that receive the picture
        QTest::newRow("whole") << Format_ARGB32 << QRect(2, 1, -1, -1) << QPoint() << QRect(2, 1, 5, 3);
        QTest::newRow("cropped") << Format_RGB888 << QRect(0, 0, 2, 2) << QPoint(1, 1) << QRect(0, 0, 2, 2);
        QTest::newRow("clipped left, top")
            << Format_Indexed8 << QRect(-2, -1, -1, -1) << QPoint() << QRect(0, 0, 3, 2);
        QTest::newRow("clipped right, bottom")
            << Format_BGR888 << QRect(6, 4, -1, -1) << QPoint() << QRect(6, 4, 2, 2);
    }
    void paintPicture()
    {
        QFETCH(QImage::Format, format);
        QFETCH(QRect, dest);
        QFETCH(QPoint, sourceOrigin);
        QFETCH(QRect, painted);
        const QImage picture = testPicture(5, 3).convertToFormat(format);
        cDIBSection dib;
        dib.CreateFromPicture(picture);
        QImage box(8, 6, QImage::Format_ARGB32_Premultiplied); // a window's, opaque where painted
        box.fill(Qt::white);
        QImage expected = box;
        for (int y = painted.top(); y <= painted.bottom(); ++y)
            for (int x = painted.left(); x <= painted.right(); ++x)
                expected.setPixel(x, y, picture.pixel(QPoint(x, y) + sourceOrigin - dest.topLeft()));
        platform::DeviceContext dc(&box);
        dib.PaintPicture(&dc, dest.x(), dest.y(), dest.width(), dest.height(), sourceOrigin.x(),
                         sourceOrigin.y());
        QCOMPARE(box, expected);
    }

    void examples_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QSize>("newSize");
        QTest::addColumn<QByteArray>("source");
        QTest::addColumn<QByteArray>("expected");
        const auto hex = [](const char* text) { return QByteArray::fromHex(text); };
        // clang-format off
        // Scale 1.0: every target pixel is the source pixel at the same place.
        QTest::newRow("3x3 to 2x2 keeps pixels") << QSize(3, 3) << QSize(2, 2)
            << hex("000000070b0d0e161a1521271c2c342337412a424e314d5b385868") << hex("000000070b0d1521271c2c34");
        // Scale 0.25: fractions 0, 0.25, 0.5 and 0.75; source column 1 is never reached exactly.
        QTest::newRow("2x2 to 4x4 quarter steps") << QSize(2, 2) << QSize(4, 4) << hex("0064c8640028c8280028c864")
            << hex("0064c8194ba03232784b19503255963b4c7e4444664c3b4f6446645c4e5c5555554e5c4e9637327e4f3b6666444f7e4c");
        // Pixel (1, 1): blue 126.5 becomes 126 in both passes, green 127.5 becomes 128; red is
        // 3 only when the vertical pass comes first and is rounded (2 otherwise).
        QTest::newRow("half to even, vertical pass first") << QSize(3, 3) << QSize(4, 4)
            << hex("7e7f017f7f033232327f80027f8004323232323232323232323232")
            << hex("7e7f017e7f027f7f0358581a7e80027e80037f800458591b7f80027f80037f800458591b58591a58591a58591b454626");
        // Where a tempting shortcut changes bytes: the scale kept in double precision, halves
        // rounded away from zero, the horizontal pass first, fractional intermediates.
        QTest::newRow("scale rounded to single") << QSize(2, 2) << QSize(1, 6) << lcgBytes(12, 1) << hex("c67e81cb9379cfa872d4bc6ad9d163dde65b");
        QTest::newRow("not horizontal first") << QSize(2, 2) << QSize(2, 3) << lcgBytes(12, 3) << hex("53c37d66a89851bf6b58a17d4fbb5a4b9a62");
        QTest::newRow("rounded intermediates") << QSize(2, 2) << QSize(2, 3) << lcgBytes(12, 2) << hex("8c21ff7f87eb655ec45c97ad3f9c8939a76e");
        // clang-format on
    }
    void examples()
    {
        QFETCH(QSize, size);
        QFETCH(QSize, newSize);
        QFETCH(QByteArray, source);
        QFETCH(QByteArray, expected);
        const auto dib = makeSource(size, source);
        const std::unique_ptr<cDIBSection> result = dib->Resample(newSize.height(), newSize.width());
        QVERIFY(result);
        QCOMPARE(pictureOf(*result), bottomUp(expected, newSize));
        QCOMPARE(pictureOf(*dib), bottomUp(source, size));
    }

    // Every target pixel reads a 2 x 2 neighbourhood: past a 1-pixel-wide row, above a 1-pixel-high
    // image (only a plain copy works there). Beyond about 2^24 target pixels single precision
    // carries the last sample onto the last source column or row, whose neighbour is then row
    // padding: 3 bytes of it (width 7) do, 2 (width 6) do not; above the top row there is nothing.
    void neighbourhoodBounds_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QSize>("newSize");
        QTest::addColumn<int>("outcome"); // -1 throws, 1 a copy, 2 ends on column 6
        QTest::newRow("1x5 to 2x5") << QSize(1, 5) << QSize(2, 5) << -1;
        QTest::newRow("5x1 to 5x2") << QSize(5, 1) << QSize(5, 2) << -1;
        QTest::newRow("1x7 copied") << QSize(1, 7) << QSize(1, 7) << 1;
        QTest::newRow("width 7 reads padding") << QSize(7, 2) << QSize(10935533, 1) << 2;
        QTest::newRow("width 6 runs past its row") << QSize(6, 2) << QSize(9718272, 1) << -1;
        QTest::newRow("height 6 runs past its top") << QSize(2, 6) << QSize(1, 9718272) << -1;
    }
    void neighbourhoodBounds()
    {
        QFETCH(QSize, size);
        QFETCH(QSize, newSize);
        QFETCH(int, outcome);
        const QByteArray bytes = lcgBytes(size.width() * size.height() * 3, 7);
        const auto dib = makeSource(size, bytes);
        if (outcome < 0) {
            QVERIFY_THROWS_EXCEPTION(std::out_of_range, dib->Resample(newSize.height(), newSize.width()));
            return;
        }
        const auto result = dib->Resample(newSize.height(), newSize.width());
        QVERIFY(result && result->DIBSectionBitsPtr() != dib->DIBSectionBitsPtr());
        if (outcome == 1)
            QCOMPARE(pictureOf(*result), bottomUp(bytes, size));
        else
            QCOMPARE(pictureOf(*result).pixel(newSize.width() - 1, 0), bottomUp(bytes, size).pixel(6, 1));
    }
};

QTEST_GUILESS_MAIN(TestDIBSection)
#include "tst_dibsection.moc"
