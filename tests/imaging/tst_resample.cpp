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

std::unique_ptr<cDIBSection> makeSource(int width, int height, const QByteArray& bytes)
{
    auto dib = std::make_unique<cDIBSection>();
    if (!dib->Create(width, height))
        return nullptr;
    setPixelBytes(*dib, bytes);
    return dib;
}

} // namespace

class TestResample : public QObject
{
    Q_OBJECT
private slots:
    void examples_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<QByteArray>("source");
        QTest::addColumn<int>("newWidth");
        QTest::addColumn<int>("newHeight");
        QTest::addColumn<QByteArray>("expected");

        // Scale 1.0: every target pixel is the source pixel at the same place.
        QTest::newRow("3x3 to 2x2 keeps pixels")
            << 3 << 3 << QByteArray::fromHex("000000070b0d0e161a1521271c2c342337412a424e314d5b385868") << 2 << 2
            << QByteArray::fromHex("000000070b0d1521271c2c34");
        // Scale 0.25: fractions 0, 0.25, 0.5 and 0.75; source column 1 is never reached exactly.
        QTest::newRow("2x2 to 4x4 quarter steps")
            << 2 << 2 << QByteArray::fromHex("0064c8640028c8280028c864") << 4 << 4
            << QByteArray::fromHex("0064c8194ba03232784b19503255963b4c7e4444664c3b4f6446645c4e5c5555554e5c4e9637327e4f3b6666444f7e4c");
        // Pixel (1, 1): 0 below and 255 above give 127.5 in the vertical pass, rounded to 128.
        QTest::newRow("3x3 to 4x4 127.5 becomes 128")
            << 3 << 3 << QByteArray::fromHex("000000000000000000ffffffffffffffffff090909090909090909") << 4 << 4
            << QByteArray::fromHex("000000000000000000000000808080808080808080808080ffffffffffffffffffffffff848484848484848484848484");
        // Pixel (1, 1): blue 126.5 becomes 126 in both passes, green 127.5 becomes 128; red is
        // 3 only when the vertical pass comes first and is rounded (2 otherwise).
        QTest::newRow("half to even, vertical pass first")
            << 3 << 3 << QByteArray::fromHex("7e7f017f7f033232327f80027f8004323232323232323232323232") << 4 << 4
            << QByteArray::fromHex("7e7f017e7f027f7f0358581a7e80027e80037f800458591b7f80027f80037f800458591b58591a58591a58591b454626");
        // Cases where a tempting shortcut changes bytes: the scale kept in double precision,
        // rounding halves away from zero, the horizontal pass first, fractional intermediates.
        QTest::newRow("scale rounded to single") << 2 << 2 << lcgBytes(12, 1) << 1 << 6
                                                 << QByteArray::fromHex("c67e81cb9379cfa872d4bc6ad9d163dde65b");
        QTest::newRow("halves to even") << 2 << 2 << lcgBytes(12, 1) << 1 << 2 << QByteArray::fromHex("c67e81d4bc6a");
        QTest::newRow("not horizontal first") << 2 << 2 << lcgBytes(12, 3) << 2 << 3
                                              << QByteArray::fromHex("53c37d66a89851bf6b58a17d4fbb5a4b9a62");
        QTest::newRow("rounded intermediates") << 2 << 2 << lcgBytes(12, 2) << 2 << 3
                                               << QByteArray::fromHex("8c21ff7f87eb655ec45c97ad3f9c8939a76e");
    }
    void examples()
    {
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(QByteArray, source);
        QFETCH(int, newWidth);
        QFETCH(int, newHeight);
        QFETCH(QByteArray, expected);

        const auto dib = makeSource(width, height, source);
        QVERIFY(dib);
        const std::unique_ptr<cDIBSection> result = dib->Resample(newHeight, newWidth);
        QVERIFY(result);
        QCOMPARE(result->Width(), newWidth);
        QCOMPARE(result->Height(), newHeight);
        COMPARE_PIXELS(pixelBytes(*result), expected, newWidth);
        QCOMPARE(pixelBytes(*dib), source);
    }

    // Every target pixel reads a 2 x 2 neighbourhood: past a 1-pixel-wide row, above a 1-pixel-high
    // image (only a plain copy works there). Beyond about 2^24 target pixels single precision
    // carries the last sample onto the last source column or row: its neighbour is then row
    // padding, fine with 3 padding bytes (width 7), an error with 2 (width 6); above the top row
    // there is nothing.
    void neighbourhoodBounds_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<int>("newWidth");
        QTest::addColumn<int>("newHeight");
        QTest::addColumn<bool>("fails");
        QTest::newRow("1x5 to 2x5") << 1 << 5 << 2 << 5 << true;
        QTest::newRow("1x5 to 1x3") << 1 << 5 << 1 << 3 << true;
        QTest::newRow("5x1 to 5x2") << 5 << 1 << 5 << 2 << true;
        QTest::newRow("5x1 to 3x1") << 5 << 1 << 3 << 1 << true;
        QTest::newRow("1x7 copied") << 1 << 7 << 1 << 7 << false;
        QTest::newRow("9x1 copied") << 9 << 1 << 9 << 1 << false;
        QTest::newRow("width 7 reads padding") << 7 << 2 << 10935533 << 1 << false;
        QTest::newRow("width 6 runs past its row") << 6 << 2 << 9718272 << 1 << true;
        QTest::newRow("height 6 runs past its top") << 2 << 6 << 1 << 9718272 << true;
    }
    void neighbourhoodBounds()
    {
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(int, newWidth);
        QFETCH(int, newHeight);
        QFETCH(bool, fails);
        const QByteArray bytes = lcgBytes(width * height * 3, 7);
        const auto dib = makeSource(width, height, bytes);
        if (fails) {
            QVERIFY_THROWS_EXCEPTION(std::out_of_range, dib->Resample(newHeight, newWidth));
            return;
        }
        const auto result = dib->Resample(newHeight, newWidth);
        QVERIFY(result && result->DIBSectionBitsPtr() != dib->DIBSectionBitsPtr());
        if (newWidth == width)
            QCOMPARE(pixelBytes(*result), bytes);
        else // the last pixel samples column 6 of the bottom row with fraction 0
            QCOMPARE(pixelBytes(*result).right(3), bytes.mid(18, 3));
    }

    // Sizes Create refuses give nothing; an empty buffer has nothing to read at any size.
    void refused()
    {
        const auto dib = makeSource(3, 3, lcgBytes(27, 1));
        QVERIFY(!dib->Resample(5, 0));
        QVERIFY_THROWS_EXCEPTION(std::overflow_error, dib->Resample(100'000, 100'000));
        cDIBSection empty;
        QVERIFY(!empty.Create(10, -10));
        QVERIFY(!empty.Resample(5, 5));
    }
};

QTEST_GUILESS_MAIN(TestResample)
#include "tst_resample.moc"
