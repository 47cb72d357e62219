#include "platform/DirListing.h"
#include "platform/FileNames.h"
#include "platform/Numeric.h"

#include "TestFiles.h"

#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <limits>

#include <sys/stat.h>
#include <unistd.h>

namespace {

template <typename... Parts> QString text(const Parts&... parts)
{
    return (QString() + ... + QString(parts));
}

QSet<QByteArray> listAll(const QByteArray& folder, const QString& extension)
{
    QSet<QByteArray> names;
    platform::ImageFileEnumerator files(folder, extension);
    while (const auto name = files.next())
        names.insert(*name);
    return names;
}

} // namespace

// Names, folder listings and numbers: what needs no display.
class TestPlatform : public QObject
{
    Q_OBJECT
private slots:
    // Valid sequences become their characters wherever they stand, also as a name's last bytes;
    // each byte that forms no sequence becomes a character of its own, and the bytes come back.
    void decodesText_data()
    {
        QTest::addColumn<QByteArray>("native");
        QTest::addColumn<QString>("text");
        QTest::newRow("two bytes inside")
            << QByteArray("M\xc3\xbcnchen.jpg") << QStringLiteral("M\u00fcnchen.jpg");
        QTest::newRow("two bytes at the end") << QByteArray("Caf\xc3\xa9") << QStringLiteral("Caf\u00e9");
        QTest::newRow("three bytes at the end")
            << QByteArray("Preis \xe2\x82\xac") << QStringLiteral("Preis \u20ac");
        QTest::newRow("four bytes at the end")
            << QByteArray("smile \xf0\x9f\x98\x80") << QString::fromUcs4(U"smile \U0001F600");
        QTest::newRow("four bytes, low half like a kept byte")
            << QByteArray("\xf0\x90\x82\x80.jpg") << QString::fromUcs4(U"\U00010080.jpg");
        QTest::newRow("three bytes cut short at the end")
            << QByteArray("a\xe2\x82") << text("a", QChar(0xDCE2), QChar(0xDC82));
        QTest::newRow("four bytes cut short at the end")
            << QByteArray("a\xf0\x9f\x98") << text("a", QChar(0xDCF0), QChar(0xDC9F), QChar(0xDC98));
        QTest::newRow("latin-1") << QByteArray("M\xfcnchen.jpg") << text("M", QChar(0xDCFC), "nchen.jpg");
        QTest::newRow("lone continuation byte")
            << QByteArray("a\x80z.jpg") << text("a", QChar(0xDC80), "z.jpg");
        QTest::newRow("overlong slash")
            << QByteArray("a\xc0\xaf.jpg") << text("a", QChar(0xDCC0), QChar(0xDCAF), ".jpg");
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
        QCOMPARE(platform::displayName(platform::decodeName("M\xfcnchen.jpg")),
                 QStringLiteral("M\u00fcnchen.jpg"));
        QCOMPARE(platform::displayName(platform::decodeName("a\x85.jpg")), QStringLiteral("a\ufffd.jpg"));
    }

    void onlyRegularFilesWithTheExtension()
    {
        QTemporaryDir dir;
        const QByteArray d = platform::encodeName(dir.path()) + '/';
        for (const char* name : {"a.jpg", "B.JPG", "c.Jpg", "M\xfcnchen.jpg", "d.jpeg", "e.png", "jpg",
                                 ".hidden.jpg", "f.jpg.txt"})
            touch(d + name);
        QVERIFY(::mkdir(QByteArray(d + "folder.jpg").constData(), 0755) == 0);
        QVERIFY(::mkfifo(QByteArray(d + "fifo.jpg").constData(), 0644) == 0);
        for (const char* target : {"a.jpg", "nowhere.jpg", "folder.jpg", "fifo.jpg"})
            QVERIFY(::symlink(target, QByteArray(d + "link-to-" + target).constData()) == 0);

        const QSet<QByteArray> expected{"a.jpg", "B.JPG", "c.Jpg", "M\xfcnchen.jpg", "link-to-a.jpg"};
        QCOMPARE(listAll(d, QStringLiteral("jpg")), expected);
        QCOMPARE(listAll(d, QStringLiteral("JPG")), expected);
        QCOMPARE(listAll(d, QStringLiteral("png")), QSet<QByteArray>{"e.png"});
        ::unlink(QByteArray(d + "M\xfcnchen.jpg").constData()); // a name QTemporaryDir cannot remove
    }

    void unlistableFolderSaysWhy()
    {
        platform::ImageFileEnumerator missing("/no/such/folder/", QStringLiteral("jpg"));
        QVERIFY(!missing.isOpen() && !missing.errorText().isEmpty() && !missing.next());
    }

    void subfoldersSortedWithoutHiddenOnes()
    {
        QTemporaryDir dir;
        const QByteArray d = platform::encodeName(dir.path()) + '/';
        for (const char* name : {"b", "A", "c10", "c9", ".git", "\xc3\x84pfel"})
            QVERIFY(::mkdir(QByteArray(d + name).constData(), 0755) == 0);
        touch(d + "file");
        QVERIFY(::symlink("b", QByteArray(d + "link").constData()) == 0);
        // Letter case aside, code-unit order whatever the user's language: German collation
        // would put Äpfel second.
        QCOMPARE(platform::subfolderNames(d),
                 (QList<QByteArray>{"A", "b", "c10", "c9", "link", "\xc3\x84pfel"}));
    }

    void longPathsShortenedForMessagesAndWrappedForToolTips()
    {
        QCOMPARE(platform::pathForMessage("/home/anna/Bilder/Reisen/2019/Italien/Toskana/Florenz/Uffizien/"
                                          "Erster Tag/Vormittag/Kamera A/Serie 1/Panorama"),
                 QStringLiteral("/home/anna/Bilder/Reisen/2019/\u2026/Florenz/Uffizien/Erster Tag/Vormittag/"
                                "Kamera A/Serie 1/Panorama"));
        const QByteArray longName = "/tmp/" + QByteArray(120, 'n'); // nothing to leave out but the name
        QCOMPARE(platform::pathForMessage(longName), QString::fromLatin1(longName));
        // A line may be exactly as wide as allowed.
        QCOMPARE(platform::wrappedPath("/home/anna/Bilder/Urlaub", 11),
                 QStringLiteral("/home/anna/\nBilder/\nUrlaub"));
        QCOMPARE(platform::wrappedPath("/abcdefghijklmnopq", 8), QStringLiteral("/\nabcdefgh\nijklmnop\nq"));
    }

    void val_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("expected");
        QTest::newRow("unit after number") << "120px" << 120.0;
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

QTEST_GUILESS_MAIN(TestPlatform)
#include "tst_platform.moc"
