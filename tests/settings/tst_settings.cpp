#include "settings/Settings.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "TestFiles.h"

using settings::Store;

class TestSettings : public QObject
{
    Q_OBJECT
private slots:
    void sizes_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<int>("read"); // -1: does not fit into 16 bits
        QTest::addColumn<int>("usable");
        QTest::newRow("half rounds up to even") << "99.5" << 100 << 100;
        QTest::newRow("half rounds down to even") << "100.5" << 100 << 100;
        QTest::newRow("unit after number") << "120px" << 120 << 120;
        QTest::newRow("letters after number") << "12abc" << 12 << 12;
        QTest::newRow("above the cap") << "501" << 501 << 500;
        QTest::newRow("beyond 16 bits") << "40000" << -1 << 500;
        QTest::newRow("zero") << "0" << 0 << 100;
        QTest::newRow("rounds to zero") << "0.5" << 0 << 100;
        QTest::newRow("negative") << "-5" << -5 << 100;
        QTest::newRow("not a number") << "abc" << 0 << 100;
    }
    void sizes()
    {
        QFETCH(QString, stored);
        QFETCH(int, read);
        QFETCH(int, usable);
        const std::optional<std::int16_t> size = settings::readSize(stored);
        QCOMPARE(size ? int(*size) : -1, read);
        QCOMPARE(int(settings::usableThumbSize(stored)), usable);
    }

    // What people and other programs leave in the file, as the main window sees it.
    void reading_data()
    {
        QTest::addColumn<QByteArray>("content"); // "<folder>": the file is a folder
        QTest::addColumn<bool>("showfilename");
        QTest::addColumn<bool>("selectfolder");
        QTest::addColumn<int>("thumbwidth");
        QTest::addColumn<int>("thumbheight");
        QTest::addColumn<QString>("imageerw");

        QTest::newRow("no file") << QByteArray() << true << true << 100 << 100 << "jpg";
        QTest::newRow("as written") << QByteArray(
                                           "[General%20Options]\nShowFileName=0\nSelectFolder=1\n"
                                           "ThumbnailWidth=120px\nThumbnailHeight=99.5\nImageErw=png\n")
                                    << false << true << 120 << 100 << "png";
        QTest::newRow("words for on are off")
            << QByteArray("[General Options]\nShowFileName=true\nSelectFolder=yes\n") << false << false << 100
            << 100 << "jpg";
        QTest::newRow("unusable sizes")
            << QByteArray("[General%20Options]\nThumbnailWidth=0\nThumbnailHeight=9000\n") << true << true
            << 100 << 500 << "jpg";
        QTest::newRow("unquoted comma")
            << QByteArray("[General%20Options]\nThumbnailWidth=1,5\nImageErw=a,b\n") << true << true << 1
            << 100 << "a,b";
        QTest::newRow("garbage") << QByteArray("\x00\x01\xff\xfe[[[=\n=\n\"\"\"\n", 12) << true << true << 100
                                 << 100 << "jpg";
        QTest::newRow("damaged section")
            << QByteArray("[General%20Options\nThumbnailWidth=0\n") << true << true << 100 << 100 << "jpg";
        QTest::newRow("unreadable") << QByteArray("<folder>") << true << true << 100 << 100 << "jpg";
    }
    void reading()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, showfilename);
        QFETCH(bool, selectfolder);
        QFETCH(int, thumbwidth);
        QFETCH(int, thumbheight);
        QFETCH(QString, imageerw);

        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Tessaline.ini"));
        if (content == "<folder>")
            QDir().mkdir(path);
        else if (!content.isEmpty())
            writeFile(path, content);
        const settings::Props props = settings::readProps(Store(path));
        QCOMPARE(props.showfilename, showfilename);
        QCOMPARE(props.selectfolder, selectfolder);
        QCOMPARE(int(props.thumbwidth), thumbwidth);
        QCOMPARE(int(props.thumbheight), thumbheight);
        QCOMPARE(props.imageerw, imageerw);
    }

    void cacheLimit_data()
    {
        QTest::addColumn<QByteArray>("stored"); // empty: no such key
        QTest::addColumn<qint64>("mib");
        QTest::newRow("absent") << QByteArray() << qint64(512);
        QTest::newRow("off") << QByteArray("0") << qint64(0);
        QTest::newRow("set") << QByteArray(" 64 ") << qint64(64);
        QTest::newRow("negative") << QByteArray("-1") << qint64(512);
        QTest::newRow("fraction") << QByteArray("1.5") << qint64(512);
        QTest::newRow("not a number") << QByteArray("off") << qint64(512);
        QTest::newRow("a petabyte at most") << QByteArray("99999999999999") << (qint64(1) << 30);
    }
    void cacheLimit()
    {
        QFETCH(QByteArray, stored);
        QFETCH(qint64, mib);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Tessaline.ini"));
        writeFile(path, stored.isEmpty() ? QByteArray("[General%20Options]\nShowFileName=0\n")
                                         : "[General%20Options]\nThumbnailCacheMiB=" + stored + "\n");
        QCOMPARE(qint64(settings::readProps(Store(path)).thumbnailCacheMiB), mib);
    }

    void userStoreFile()
    {
        QCOMPARE(Store::user().fileName(),
                 qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/Tessaline/Tessaline.ini"));
    }

    void writing_data()
    {
        QTest::addColumn<QString>("relative");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("saved");
        QTest::newRow("texts Qt would otherwise read as values") << "new/Tessaline.ini"
                                                                 << " @Variant(1,5) \"größe\" " << true;
        QTest::newRow("over a damaged file") << "damaged.ini"
                                             << "77" << true;
        QTest::newRow("into a folder that is a file") << "blocker/Tessaline.ini"
                                                      << "77" << false;
        QTest::newRow("into a file that is a folder") << "folder.ini"
                                                      << "77" << false;
    }
    void writing()
    {
        QFETCH(QString, relative);
        QFETCH(QString, text);
        QFETCH(bool, saved);
        QTemporaryDir dir;
        writeFile(dir.filePath(QStringLiteral("damaged.ini")),
                  "[General%20Options]\nThumbnailWidth=120\n[broken\n");
        writeFile(dir.filePath(QStringLiteral("blocker")), "not a folder");
        QDir().mkdir(dir.filePath(QStringLiteral("folder.ini")));
        const Store store(dir.filePath(relative));
        QCOMPARE(store.write({{settings::ThumbnailWidth, text}}), saved);
        QCOMPARE(store.read(settings::ThumbnailWidth) == text, saved);
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
