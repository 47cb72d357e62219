#include "platform/FileNames.h"

#include <QTest>

class TestFileNames : public QObject
{
    Q_OBJECT
private slots:
    void roundTrip_data()
    {
        QTest::addColumn<QByteArray>("native");
        QTest::newRow("ascii") << QByteArray("img0001.jpg");
        QTest::newRow("utf-8 umlaut") << QByteArray("M\xc3\xbcnchen.jpg");
        QTest::newRow("latin-1 umlaut") << QByteArray("M\xfcnchen.jpg");
        QTest::newRow("lone continuation byte") << QByteArray("a\x80z.jpg");
        QTest::newRow("truncated sequence at end") << QByteArray("a\xe2\x82");
        QTest::newRow("overlong slash") << QByteArray("a\xc0\xaf.jpg");
        QTest::newRow("encoded surrogate") << QByteArray("\xed\xb2\x80.jpg");
        QTest::newRow("astral character") << QByteArray("\xf0\x90\x82\x80.jpg"); // U+10080: low half DC80
        QTest::newRow("astral then bad byte") << QByteArray("\xf0\x9f\x98\x80\xff");
        QTest::newRow("all high bytes") << QByteArray("\xff\xfe\xfd");
    }
    void roundTrip()
    {
        QFETCH(QByteArray, native);
        QCOMPARE(platform::encodeName(platform::decodeName(native)), native);
    }

    // Valid sequences become their characters wherever they stand, also as a name's last bytes;
    // only bytes that form no sequence are kept as escapes.
    void decodesText_data()
    {
        QTest::addColumn<QByteArray>("native");
        QTest::addColumn<QString>("text");
        QTest::newRow("two bytes inside") << QByteArray("M\xc3\xbcnchen.jpg") << QStringLiteral("M\u00fcnchen.jpg");
        QTest::newRow("two bytes at the end") << QByteArray("Caf\xc3\xa9") << QStringLiteral("Caf\u00e9");
        QTest::newRow("three bytes at the end") << QByteArray("Preis \xe2\x82\xac") << QStringLiteral("Preis \u20ac");
        QTest::newRow("four bytes at the end") << QByteArray("smile \xf0\x9f\x98\x80")
                                               << QString::fromUcs4(U"smile \U0001F600");
        QTest::newRow("three bytes cut short at the end")
            << QByteArray("a\xe2\x82") << (QStringLiteral("a") + QChar(0xDCE2) + QChar(0xDC82));
        QTest::newRow("four bytes cut short at the end")
            << QByteArray("a\xf0\x9f\x98") << (QStringLiteral("a") + QChar(0xDCF0) + QChar(0xDC9F) + QChar(0xDC98));
    }
    void decodesText()
    {
        QFETCH(QByteArray, native);
        QFETCH(QString, text);
        QCOMPARE(platform::decodeName(native), text);
    }

    void distinctBytesGiveDistinctTexts()
    {
        // Two files whose names differ only in an invalid byte must stay two files.
        QVERIFY(platform::decodeName("a\xfc.jpg") != platform::decodeName("a\xfd.jpg"));
        QVERIFY(platform::decodeName("a\xfc.jpg") != platform::decodeName("a\xc3\xbc.jpg"));
    }

    void displayShowsLatin1Letters()
    {
        QCOMPARE(platform::displayName(platform::decodeName("M\xfcnchen.jpg")), QStringLiteral("M\u00fcnchen.jpg"));
        QCOMPARE(platform::displayName(platform::decodeName("a\x85.jpg")), QStringLiteral("a\ufffd.jpg"));
    }
};

QTEST_GUILESS_MAIN(TestFileNames)
#include "tst_filenames.moc"
