#include "platform/Numeric.h"

#include <QTest>

class TestNumeric : public QObject
{
    Q_OBJECT
private slots:
    void val_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("expected");
        QTest::newRow("plain") << "100" << 100.0;
        QTest::newRow("unit after number") << "120px" << 120.0;
        QTest::newRow("letters after number") << "12abc" << 12.0;
        QTest::newRow("fraction") << "99.5" << 99.5;
        QTest::newRow("comma is not a decimal point") << "99,5" << 99.0;
        QTest::newRow("negative") << "-5" << -5.0;
        QTest::newRow("leading point") << ".5" << 0.5;
        QTest::newRow("exponent") << "1e3" << 1000.0;
        QTest::newRow("exponent without digits") << "5e" << 5.0;
        QTest::newRow("not a number") << "abc" << 0.0;
        QTest::newRow("empty") << "" << 0.0;
    }
    void val()
    {
        QFETCH(QString, text);
        QFETCH(double, expected);
        QCOMPARE(platform::Val(text), expected);
    }

    void roundingHalfToEven_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<double>("expected");
        QTest::newRow("99.5") << 99.5 << 100.0;
        QTest::newRow("100.5") << 100.5 << 100.0;
        QTest::newRow("126.5") << 126.5 << 126.0;
        QTest::newRow("127.5") << 127.5 << 128.0;
        QTest::newRow("37.5") << 37.5 << 38.0;
        QTest::newRow("-2.5") << -2.5 << -2.0;
    }
    void roundingHalfToEven()
    {
        QFETCH(double, value);
        QFETCH(double, expected);
        QCOMPARE(platform::roundHalfEven(value), expected);
    }

    void int16Range()
    {
        QCOMPARE(platform::toInt16(32767.4), std::optional<std::int16_t>(32767));
        QCOMPARE(platform::toInt16(-32768.5), std::optional<std::int16_t>(-32768));
        QVERIFY(!platform::toInt16(32767.5));
        QVERIFY(!platform::toInt16(std::numeric_limits<double>::quiet_NaN()));
        QVERIFY(!platform::toInt16(std::numeric_limits<double>::infinity()));
        QVERIFY(!platform::toInt32(3e9));
    }

    void numberToText_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("expected");
        QTest::newRow("comma") << "de_DE" << 1.333 << "1,333";
        QTest::newRow("point") << "en_US" << 1.333 << "1.333";
        QTest::newRow("no group separator") << "de_DE" << 12345.5 << "12345,5";
        QTest::newRow("truncated ratio") << "de_DE" << 0.666 << "0,666";
    }
    void numberToText()
    {
        QFETCH(QString, locale);
        QFETCH(double, value);
        QFETCH(QString, expected);
        QCOMPARE(platform::numberToText(value, QLocale(locale)), expected);
    }
};

QTEST_GUILESS_MAIN(TestNumeric)
#include "tst_numeric.moc"
