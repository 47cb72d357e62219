#include "platform/DirListing.h"
#include "platform/FileNames.h"

#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include "TestFiles.h"

#include <sys/stat.h>
#include <unistd.h>

namespace {

QSet<QByteArray> listAll(const QByteArray& folder, const QString& extension)
{
    QSet<QByteArray> names;
    platform::ImageFileEnumerator files(folder, extension);
    while (const auto name = files.next())
        names.insert(*name);
    return names;
}

} // namespace

class TestDirListing : public QObject
{
    Q_OBJECT
private slots:
    void onlyRegularFilesWithTheExtension()
    {
        QTemporaryDir dir;
        const QByteArray d = platform::encodeName(dir.path()) + '/';
        for (const char* name : {"a.jpg", "B.JPG", "c.Jpg", "M\xfcnchen.jpg", "d.jpeg", "e.png", "jpg", ".hidden.jpg",
                                 "f.jpg.txt"})
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
        QCOMPARE(platform::subfolderNames(d), (QList<QByteArray>{"A", "b", "c10", "c9", "link", "\xc3\x84pfel"}));
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
        QCOMPARE(platform::wrappedPath("/home/anna/Bilder/Urlaub", 11), QStringLiteral("/home/anna/\nBilder/\nUrlaub"));
        QCOMPARE(platform::wrappedPath("/abcdefghijklmnopq", 8), QStringLiteral("/\nabcdefgh\nijklmnop\nq"));
    }
};

QTEST_GUILESS_MAIN(TestDirListing)
#include "tst_dirlisting.moc"
