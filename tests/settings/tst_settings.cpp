#include "settings/Settings.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include "TestFiles.h"

using settings::Store;

namespace {

// The settings in one line: "ShowFileName SelectFolder WidthxHeight ImageErw ThumbnailCacheMiB".
QString shown(const settings::Props& p)
{
    return QString::asprintf("%d %d %dx%d %s %lld", p.showfilename, p.selectfolder, int(p.thumbwidth),
                             int(p.thumbheight), qPrintable(p.imageerw), qlonglong(p.thumbnailCacheMiB));
}

} // namespace

class TestSettings : public QObject
{
    Q_OBJECT
private slots:
    // What people and other programs leave in the file, as the main window sees it.
    void reading_data()
    {
        QTest::addColumn<QByteArray>("content"); // "<folder>": the file is a folder
        QTest::addColumn<QString>("props");
        const QByteArray h("[General%20Options]\n");
        QTest::newRow("no file") << QByteArray() << "1 1 100x100 jpg 512";
        QTest::newRow("as written") << h + "ShowFileName=0\nSelectFolder=1\nThumbnailWidth=120px\nThumbnailHeight=100.5\n"
                                           "ImageErw=png\nThumbnailCacheMiB= 64 \n"
                                    << "0 1 120x100 png 64";
        QTest::newRow("words for on are off") << h + "ShowFileName=true\nSelectFolder=yes\n" << "0 0 100x100 jpg 512";
        QTest::newRow("sizes above the cap") << h + "ThumbnailWidth=501\nThumbnailHeight=40000\n" << "1 1 500x500 jpg 512";
        QTest::newRow("sizes 0 and not a number") << h + "ThumbnailWidth=0\nThumbnailHeight=abc\n" << "1 1 100x100 jpg 512";
        QTest::newRow("sizes rounding to 0 and negative") << h + "ThumbnailWidth=0.5\nThumbnailHeight=-5\n"
                                                          << "1 1 100x100 jpg 512";
        QTest::newRow("unquoted comma") << h + "ThumbnailWidth=1,5\nImageErw=a,b\n" << "1 1 1x100 a,b 512";
        QTest::newRow("cache off") << h + "ThumbnailCacheMiB=0\n" << "1 1 100x100 jpg 0";
        QTest::newRow("cache limit negative") << h + "ThumbnailCacheMiB=-1\n" << "1 1 100x100 jpg 512";
        QTest::newRow("cache limit a fraction") << h + "ThumbnailCacheMiB=1.5\n" << "1 1 100x100 jpg 512";
        QTest::newRow("cache limit a petabyte at most") << h + "ThumbnailCacheMiB=99999999999999\n"
                                                        << "1 1 100x100 jpg 1073741824";
        QTest::newRow("garbage") << QByteArray("\x00\x01\xff\xfe[[[=\n=\n\"\"\"\n", 12) << "1 1 100x100 jpg 512";
        QTest::newRow("damaged") << h + "ThumbnailWidth=120\n[broken\n" << "1 1 120x100 jpg 512";
        QTest::newRow("unreadable") << QByteArray("<folder>") << "1 1 100x100 jpg 512";
    }
    void reading()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, props);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Tessaline.ini"));
        if (content == "<folder>")
            QDir().mkdir(path);
        else if (!content.isEmpty())
            writeFile(path, content);
        QCOMPARE(shown(settings::readProps(Store(path))), props);
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
        QTest::newRow("texts Qt would otherwise read as values") << "new/Tessaline.ini" << " @Variant(1,5) \"größe\" "
                                                                 << true;
        QTest::newRow("over a damaged file") << "damaged.ini" << "77" << true;
        QTest::newRow("into a folder that is a file") << "blocker/Tessaline.ini" << "77" << false;
        QTest::newRow("into a file that is a folder") << "folder.ini" << "77" << false;
    }
    void writing()
    {
        QFETCH(QString, relative);
        QFETCH(QString, text);
        QFETCH(bool, saved);
        QTemporaryDir dir;
        writeFile(dir.filePath(QStringLiteral("damaged.ini")), "[General%20Options]\nThumbnailWidth=120\n[broken\n");
        writeFile(dir.filePath(QStringLiteral("blocker")), "not a folder");
        QDir().mkdir(dir.filePath(QStringLiteral("folder.ini")));
        const Store store(dir.filePath(relative));
        QCOMPARE(store.write({{settings::ThumbnailWidth, text}}), saved);
        QCOMPARE(store.read(settings::ThumbnailWidth) == text, saved);
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
