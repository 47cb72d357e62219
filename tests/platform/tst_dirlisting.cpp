#include "platform/DirListing.h"
#include "platform/FileNames.h"

#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include "TestFiles.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
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
        touch(d + "a.jpg");
        touch(d + "B.JPG");
        touch(d + "c.Jpg");
        touch(d + "d.jpeg");
        touch(d + "e.png");
        touch(d + "jpg");
        touch(d + ".hidden.jpg");
        touch(d + "f.jpg.txt");
        QVERIFY(::mkdir(QByteArray(d + "folder.jpg").constData(), 0755) == 0);
        QVERIFY(::mkfifo(QByteArray(d + "fifo.jpg").constData(), 0644) == 0);
        QVERIFY(::symlink("a.jpg", QByteArray(d + "link.jpg").constData()) == 0);
        QVERIFY(::symlink("nowhere.jpg", QByteArray(d + "dangling.jpg").constData()) == 0);
        QVERIFY(::symlink("folder.jpg", QByteArray(d + "dirlink.jpg").constData()) == 0);
        QVERIFY(::symlink("fifo.jpg", QByteArray(d + "fifolink.jpg").constData()) == 0);

        const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        const QByteArray sockPath = d + "socket.jpg";
        if (sockPath.size() < qsizetype(sizeof addr.sun_path)) {
            std::memcpy(addr.sun_path, sockPath.constData(), size_t(sockPath.size()));
            QVERIFY(::bind(sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0);
        }
        ::close(sock);

        const QSet<QByteArray> expected{"a.jpg", "B.JPG", "c.Jpg", "link.jpg"};
        QCOMPARE(listAll(d, QStringLiteral("jpg")), expected);
        QCOMPARE(listAll(d, QStringLiteral("JPG")), expected);
        QCOMPARE(listAll(d, QStringLiteral("png")), QSet<QByteArray>{"e.png"});
    }

    void namesThatAreNotUtf8KeepTheirBytes()
    {
        QTemporaryDir dir;
        const QByteArray d = platform::encodeName(dir.path()) + '/';
        const QByteArray latin1 = "M\xfcnchen.jpg";
        touch(d + latin1);
        QCOMPARE(listAll(d, QStringLiteral("jpg")), QSet<QByteArray>{latin1});
    }

    void unlistableFolderSaysWhy()
    {
        platform::ImageFileEnumerator missing("/no/such/folder/", QStringLiteral("jpg"));
        QVERIFY(!missing.isOpen());
        QVERIFY(!missing.errorText().isEmpty());
        QVERIFY(!missing.next());

        if (::geteuid() == 0)
            QSKIP("permissions do not hold back root");
        QTemporaryDir dir;
        const QByteArray locked = platform::encodeName(dir.path()) + "/locked";
        QVERIFY(::mkdir(locked.constData(), 0) == 0);
        platform::ImageFileEnumerator denied(locked, QStringLiteral("jpg"));
        QVERIFY(!denied.isOpen());
        ::chmod(locked.constData(), 0755);
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
        QCOMPARE(platform::wrappedPath("/home/anna/Bilder/Urlaub", 12), QStringLiteral("/home/anna/\nBilder/\nUrlaub"));
        QCOMPARE(platform::wrappedPath("/abcdefghijklmnopq", 8), QStringLiteral("/\nabcdefgh\nijklmnop\nq"));
    }
};

QTEST_GUILESS_MAIN(TestDirListing)
#include "tst_dirlisting.moc"
