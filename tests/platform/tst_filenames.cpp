#include "platform/FileNames.h"

#include <QTest>

namespace {

template <typename... Parts> QString text(const Parts&... parts)
{
    return (QString() + ... + QString(parts));
}

} // namespace

class TestFileNames : public QObject
{
    Q_OBJECT
private slots:
    // Valid sequences become their characters wherever they stand, also as a name's last bytes;
    // each byte that forms no sequence becomes a character of its own, and the bytes come back.
    void decodesText_data()
    {
        QTest::addColumn<QByteArray>("native");
        QTest::addColumn<QString>("text");
        QTest::newRow("two bytes inside") << QByteArray("M\xc3\xbcnchen.jpg") << QStringLiteral("M\u00fcnchen.jpg");
        QTest::newRow("two bytes at the end") << QByteArray("Caf\xc3\xa9") << QStringLiteral("Caf\u00e9");
        QTest::newRow("three bytes at the end") << QByteArray("Preis \xe2\x82\xac") << QStringLiteral("Preis \u20ac");
        QTest::newRow("four bytes at the end") << QByteArray("smile \xf0\x9f\x98\x80")
                                               << QString::fromUcs4(U"smile \U0001F600");
        QTest::newRow("four bytes, low half like a kept byte") << QByteArray("\xf0\x90\x82\x80.jpg")
                                                               << QString::fromUcs4(U"\U00010080.jpg");
        QTest::newRow("three bytes cut short at the end") << QByteArray("a\xe2\x82") << text("a", QChar(0xDCE2), QChar(0xDC82));
        QTest::newRow("four bytes cut short at the end")
            << QByteArray("a\xf0\x9f\x98") << text("a", QChar(0xDCF0), QChar(0xDC9F), QChar(0xDC98));
        QTest::newRow("latin-1") << QByteArray("M\xfcnchen.jpg") << text("M", QChar(0xDCFC), "nchen.jpg");
        QTest::newRow("lone continuation byte") << QByteArray("a\x80z.jpg") << text("a", QChar(0xDC80), "z.jpg");
        QTest::newRow("overlong slash") << QByteArray("a\xc0\xaf.jpg") << text("a", QChar(0xDCC0), QChar(0xDCAF), ".jpg");
        QTest::newRow("encoded surrogate")
            << QByteArray("\xed\xb2\x80.jpg") << text(QChar(0xDCED), QChar(0xDCB2), QChar(0xDC80), ".jpg");
        QTest::newRow("four bytes, then a bad byte")
            << QByteArray("\xf0\x9f\x98\x80\xff") << text(QString::fromUcs4(U"\U0001F600"), QChar(0xDCFF));
    }
    void decodesText()
    {
        QFETCH(QByteArray, native);
        QFETCH(QString, text);
        QCOMPARE(platform::decodeName(native), text);
        QCOMPARE(platform::encodeName(text), native);
    }

    void displayShowsLatin1Letters()
    {
        QCOMPARE(platform::displayName(platform::decodeName("M\xfcnchen.jpg")), QStringLiteral("M\u00fcnchen.jpg"));
        QCOMPARE(platform::displayName(platform::decodeName("a\x85.jpg")), QStringLiteral("a\ufffd.jpg"));
    }
};

QTEST_GUILESS_MAIN(TestFileNames)
#include "tst_filenames.moc"
