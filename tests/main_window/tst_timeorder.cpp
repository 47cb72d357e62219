#include "imaging/PhotoMetadata.h"
#include "main_window/ThumbCanvas.h"
#include "main_window/TimeOrder.h"
#include "main_window/TimeTakenReader.h"
#include "main_window/frmmain.h"

#include "ExifSamples.h"
#include "ImagingTestSupport.h"
#include "ScriptedDialogs.h"
#include "TestFiles.h"

#include <QApplication>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <fcntl.h>
#include <sys/stat.h>

namespace {

QStringList shownNames(const frmmain& w)
{
    QStringList names;
    for (qsizetype k = 0; k + 1 < w.order.size(); ++k)
        names.append(QFileInfo(w.picScroll->element(w.order[k]).ToolTipText()).fileName());
    return names;
}

} // namespace

class TestTimeOrder : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        qputenv("TZ", "UTC");
        QApplication::setQuitOnLastWindowClosed(false);
    }

    // Element i + 1 carries names[i] and times[i] ("10:15:00.5" on one day; "" for none); the
    // placeholder is element 9. The display order starts in name order unless a row gives it
    // (as drops leave it).
    void byTimeTaken_data()
    {
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QStringList>("times");
        QTest::addColumn<QList<int>>("start");
        QTest::addColumn<QStringList>("expected");
        const QStringList abcd = {"a", "b", "c", "d"};
        QTest::newRow("c, a, b") << QStringList{"a", "b", "c"}
                                 << QStringList{"10:00:00", "11:00:00", "09:00:00"} << QList<int>()
                                 << QStringList{"c", "a", "b"};
        QTest::newRow("same second: by name, wherever drops put them")
            << abcd << QStringList{"10:00:00", "09:00:00", "10:00:00", "09:00:00"}
            << QList<int>{4, 3, 2, 1, 9} << QStringList{"b", "d", "a", "c"};
        QTest::newRow("fractions of a second, one tie")
            << abcd << QStringList{"10:00:00.5", "10:00:00.25", "10:00:00", "10:00:00.50"} << QList<int>()
            << QStringList{"c", "b", "a", "d"};
        QTest::newRow("without time: last, by name")
            << abcd << QStringList{"", "10:00:00", "", "09:00:00"} << QList<int>{3, 1, 2, 4, 9}
            << QStringList{"d", "b", "a", "c"};
        QTest::newRow("ordinal names") << QStringList{"b", "B", "a"} << QStringList{"", "", ""}
                                       << QList<int>{1, 3, 2, 9} << QStringList{"B", "a", "b"};
    }

    void byTimeTaken()
    {
        QFETCH(QStringList, names);
        QFETCH(QStringList, times);
        QFETCH(QList<int>, start);
        QFETCH(QStringList, expected);
        const auto name = [&](int index) { return index == 9 ? QStringLiteral("-") : names[index - 1]; };
        const timeorder::NameLess nameLess = [&](int a, int b) { return name(a) < name(b); };
        if (start.isEmpty())
            start = {1, 2, 3, 4, 5, 6, 7, 8};
        start.resize(names.size());
        start.append(9);
        int asked = 0;
        const QList<int> sorted = timeorder::byTimeTaken(
            start,
            [&](int index) {
                ++asked;
                const QStringList parts = times[index - 1].split(u'.');
                return imaging::parseExifDateTime(QString(u"2023:07:12 " + parts[0]).toStdString(),
                                                  parts.value(1).toStdString());
            },
            nameLess);
        QStringList got;
        for (int index : sorted)
            got.append(name(index));
        QCOMPARE(got, expected + QStringList{"-"});
        QCOMPARE(asked, names.size());

        QStringList back;
        for (int index : timeorder::byName(sorted, nameLess))
            back.append(name(index));
        std::sort(names.begin(), names.end());
        QCOMPARE(back, names + QStringList{"-"});
    }

    // Files as the window will hand them over, read without decoding: a time taken counts before
    // a time digitised, and that before the file's last change (10:15 UTC here for every file).
    void filesByTimeTaken()
    {
        QTemporaryDir dir;
        const QList<std::pair<const char*, const char*>> tags[] = {
            {{"Exif.Photo.DateTimeOriginal", "2023:07:12 10:00:00"},
             {"Exif.Photo.DateTimeDigitized", "2023:07:12 11:00:00"}},
            {{"Exif.Photo.DateTimeDigitized", "2023:07:12 10:30:00"}},
            {{"Exif.Photo.DateTimeOriginal", "2023:07:12 09:00:00"}},
            {}};
        QList<imaging::PhotoMetadata> metadata;
        for (const auto& fileTags : tags) {
            const QByteArray path = QFile::encodeName(
                dir.filePath(QChar(char16_t(u'a' + metadata.size())) + QStringLiteral(".jpg")));
            QFile file(QFile::decodeName(path));
            QVERIFY(file.open(QIODevice::WriteOnly));
            const QByteArray jpeg = encodeJpeg(testPicture(8, 8));
            file.write(fileTags.isEmpty() ? jpeg : withExif(jpeg, exifTiff(fileTags)));
            file.close();
            const timespec times[2] = {{1689156900, 0}, {1689156900, 0}};
            QCOMPARE(::utimensat(AT_FDCWD, path.constData(), times, 0), 0);
            metadata.append(imaging::readFileMetadata(path));
        }
        const timeorder::NameLess byIndex = [](int a, int b) { return a < b; };
        const QList<int> sorted = timeorder::byTimeTaken(
            {1, 2, 3, 4, 5}, [&](int index) { return timeorder::timeTaken(metadata[index - 1]); }, byIndex);
        QCOMPARE(sorted, (QList<int>{3, 1, 4, 2, 5}));
    }

    // Only the series last started and not cancelled gives results: times read for a folder that
    // is gone would land on the boxes of the next.
    void readerGivesOnlyTheLastSeries()
    {
        QTemporaryDir dir;
        QList<TimeTakenReader::Job> jobs;
        for (int i = 1; i <= 3; ++i) {
            const QString path = dir.filePath(QString::number(i));
            writeFile(path, withExif(encodeJpeg(testPicture(8, 8)),
                                     exifTiff({{"Exif.Photo.DateTimeOriginal", "2023:07:12 10:00:00"}})));
            jobs.append({i, QFile::encodeName(path)});
        }
        TimeTakenReader reader(2);
        QList<int> indexes;
        connect(&reader, &TimeTakenReader::finished, this, [&](const QList<TimeTakenReader::Result>& results) {
            for (const TimeTakenReader::Result& r : results)
                indexes.append(r.taken ? r.index : -r.index);
            indexes.append(0);
        });
        reader.start({jobs[0]});
        reader.start({jobs[1], jobs[2], {4, QFile::encodeName(dir.filePath(QStringLiteral("missing")))}});
        QTRY_VERIFY(!reader.busy());
        reader.start({jobs[0]});
        reader.cancel();
        QVERIFY(!reader.busy());
        reader.start({jobs[2]});
        QTRY_VERIFY(!reader.busy());
        QCoreApplication::processEvents();
        QCOMPARE(indexes, (QList<int>{2, 3, -4, 0, 3, 0}));
    }

    // Photos whose names sort a, b, c and whose times taken sort c, a, b, in the window: by time
    // as soon as the folder is laid out, before any thumbnail has come in (the times are read
    // from the files then), and back by name. In a second window, whose thumbnails all come from
    // the cache, the times come with them; the rename then numbers in that order.
    void inTheWindow()
    {
        QTemporaryDir cache;
        qputenv("XDG_CACHE_HOME", QFile::encodeName(cache.path()));
        QTemporaryDir dir;
        const char* times[] = {"2023:07:12 10:00:00", "2023:07:12 11:00:00", "2023:07:12 09:00:00"};
        QList<QByteArray> files;
        for (int i = 0; i < 3; ++i) {
            files.append(withExif(encodeJpeg(testPicture(8 + i, 8)), exifTiff({{"Exif.Photo.DateTimeOriginal", times[i]}})));
            writeFile(dir.filePath(QChar(char16_t(u'a' + i)) + QStringLiteral(".jpg")), files.last());
        }
        const QStringList cab{"c.jpg", "a.jpg", "b.jpg"};
        const QStringList abc{"a.jpg", "b.jpg", "c.jpg"};
        {
            frmmain w;
            w.loaderThreads = 1;
            w.thumbnailLoader().setGateOpen(false);
            QSignalSpy built(&w, &frmmain::viewBuilt);
            bool enabledWhileLoading = false;
            connect(&w, &frmmain::viewArranged, &w, [&] {
                QTimer::singleShot(0, &w, [&] {
                    enabledWhileLoading = w.mnuOrderByTime->isEnabled();
                    w.mnuOrderByTime->trigger();
                });
            });
            auto* poll = new QTimer(&w);
            connect(poll, &QTimer::timeout, &w, [&] {
                if (shownNames(w) == cab) {
                    w.thumbnailLoader().setGateOpen(true);
                    poll->stop();
                }
            });
            poll->start(1);
            w.openFolder(dir.path());
            QVERIFY(built.wait(20000));
            QVERIFY(enabledWhileLoading);
            QCOMPARE(shownNames(w), cab);
            w.mnuOrderByName->trigger();
            QCOMPARE(shownNames(w), abc);
        }
        frmmain w;
        QSignalSpy built(&w, &frmmain::viewBuilt);
        w.openFolder(dir.path());
        QVERIFY(built.wait(20000));
        QCOMPARE(w.thumbnailLoader().cacheHitCount(), 3);
        w.mnuOrderByTime->trigger();
        QCOMPARE(shownNames(w), cab); // at once: nothing was left to read
        ScriptedDialogs dialogs;
        dialogs.inputAnswers.enqueue(QStringLiteral("img"));
        w.selectfolder = false;
        w.mnuRenameImgs->trigger();
        QFile first(dir.filePath(QStringLiteral("img0001.jpg")));
        QVERIFY(first.open(QIODevice::ReadOnly));
        QCOMPARE(first.readAll(), files[2]);
    }
};

QTEST_MAIN(TestTimeOrder)
#include "tst_timeorder.moc"
