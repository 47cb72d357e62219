#include "platform/Numeric.h"

#include <QTest>

#include <limits>

class TestNumeric : public QObject
{
    Q_OBJECT
private slots:
    void val_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("expected");
        QTest::newRow("unit after number") << "120px" << 120.0;
        QTest::newRow("fraction") << "99.5" << 99.5;
        QTest::newRow("comma is not a decimal point") << "99,5" << 99.0;
        QTest::newRow("negative") << "-5" << -5.0;
        QTest::newRow("leading point") << ".5" << 0.5;
        QTest::newRow("exponent") << "1e3" << 1000.0;
        QTest::newRow("exponent without digits") << "5e" << 5.0;
        QTest::newRow("not a number") << "abc" << 0.0;
    }
    void val()
    {
        QFETCH(QString, text);
        QFETCH(double, expected);
        QCOMPARE(platform::Val(text), expected);
    }

    // Halves round to the even neighbour; what does not fit into 16 bits has no value.
    void toInt16_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<int>("expected"); // -1: none
        QTest::newRow("100.5") << 100.5 << 100;
        QTest::newRow("-2.5") << -2.5 << -2;
        QTest::newRow("lowest") << -32768.5 << -32768;
        QTest::newRow("too high") << 32767.5 << -1;
        QTest::newRow("not a number") << std::numeric_limits<double>::quiet_NaN() << -1;
    }
    void toInt16()
    {
        QFETCH(double, value);
        QFETCH(int, expected);
        const std::optional<std::int16_t> result = platform::toInt16(value);
        QCOMPARE(result ? int(*result) : -1, expected);
    }

    void numberToText_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("expected");
        QTest::newRow("comma") << "de_DE" << 1.333 << "1,333";
        QTest::newRow("point") << "en_US" << 1.333 << "1.333";
        QTest::newRow("no group separator") << "de_DE" << 12345.5 << "12345,5";
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
