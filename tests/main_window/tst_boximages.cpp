#include "main_window/ThumbCanvas.h"
#include "main_window/frmmain.h"
#include "platform/FolderList.h"
#include "settings/Settings.h"
#include "thumbnails/PreparedStore.h"
#include "thumbnails/ThumbnailLoader.h"

#include "JpegEdits.h"
#include "ScriptedDialogs.h"
#include "TestFiles.h"
#include "ThumbnailTestSupport.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QScrollBar>
#include <QSet>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

// The window's thumbnails: every box gets its picture once, those in view first; box images exist
// only near the view, within their budget; a box that comes back is drawn again as it was.

namespace {

// The elements of the boxes the viewport shows.
QList<int> inView(const frmmain& w)
{
    QList<int> boxes;
    for (const int box : shownBoxes(w)) {
        const ImgPreview& e = w.picScroll->element(box);
        if (e.Top + w.picScroll->y() < w.pctPreview->height() && e.Top + e.Height + w.picScroll->y() > 0)
            boxes.append(e.Index);
    }
    return boxes;
}

// 40 pictures, each its own, taken in the reverse order of their names; p07.jpg is empty (a red
// cross) and p05.jpg a PNG.
// Large ones are photo-like: gentle, so that reading them reduced is quick enough for a preview.
void makePictures(const QTemporaryDir& dir, bool large = false)
{
    for (int i = 0; i < 40; ++i) {
        const QString name = QStringLiteral("p%1.jpg").arg(i, 2, 10, QLatin1Char('0'));
        if (i == 7)
            writeFile(dir.filePath(name), QByteArray());
        else
            save(dir, name,
                 large ? smooth((40 + 9 * i) * 4, (150 - 3 * i) * 4, qRgb(i * 6, 0, 0))
                       : pattern(40 + 9 * i, 150 - 3 * i, qRgb(i * 6, 0, 0)),
                 i == 5 ? "PNG" : "JPG");
        setModified(dir.filePath(name), QDateTime(QDate(2020, 1, 1), QTime(12, 0)).addSecs(-60 * i));
    }
}

} // namespace

class TestBoxImages : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); }

    void init()
    {
        m_home = std::make_unique<QTemporaryDir>();
        for (const char* kind : {"CACHE", "CONFIG", "STATE"})
            qputenv(QByteArray(QByteArray("XDG_") + kind + "_HOME").constData(),
                    QFile::encodeName(m_home->filePath(QLatin1String(kind))));
    }

    // Boxes scrolled out of reach give their images up and, scrolled back, show exactly what
    // they showed, from memory (at once), the thumbnail cache or a new decode; captions keep the
    // names they were drawn with. The cross is drawn when painted and never kept.
    void boxScrolledAwayAndBackShowsTheSamePixels_data()
    {
        QTest::addColumn<bool>("inMemory");
        QTest::addColumn<bool>("cache");
        QTest::newRow("from memory") << true << true;
        QTest::newRow("from the cache") << false << true;
        QTest::newRow("prepared again") << false << false;
    }
    void boxScrolledAwayAndBackShowsTheSamePixels()
    {
        QFETCH(bool, inMemory);
        QFETCH(bool, cache);
        QTemporaryDir dir;
        makePictures(dir);
        settings::Store::user().write(
            {{settings::ThumbnailCacheMiB, QString::fromLatin1(cache ? "512" : "0")}});
        frmmain w;
        w.boxImageBudget = 1; // the boxes in view only
        w.preparedBudget = inMemory ? frmmain::kPreparedBudget : 0;
        QVERIFY(openView(w, dir.path()));
        QTRY_VERIFY_WITH_TIMEOUT(w.thumbnailLoader().idle(), 60000);
        const QList<int> first = inView(w);
        QVERIFY(first.size() > 8 && first.size() < 20);
        QCOMPARE(w.picScroll->boxImageCount(), first.size() - 1); // not the cross
        QList<QImage> before;
        for (int i : first)
            before.append(w.picScroll->shownImage(i));
        const ImgPreview& cross = boxAt(w, 7);
        QVERIFY(!w.picScroll->hasBoxImage(cross.Index));
        const int m = ThumbCanvas::kMarkMargin;
        COMPARE_IMAGES(w.picScroll->grab(cross.rect().adjusted(m, m, -m, -m)).toImage().convertToFormat(QImage::Format_RGB32),
                       before[7]);
        QCOMPARE(before[7].pixel(50, 50), qRgb(255, 0, 0));

        // Through the whole folder by the scroll box: only the boxes in view keep images.
        w.ScrollMe->setSliderDown(true);
        for (int v = 1; v <= w.ScrollMe->maximum(); ++v) {
            w.ScrollMe->setSliderPosition(v);
            QCoreApplication::processEvents();
            QVERIFY(w.picScroll->boxImageCount() <= inView(w).size());
        }
        w.ScrollMe->setSliderDown(false);
        QVERIFY(!w.picScroll->hasBoxImage(first[0]));
        QTRY_VERIFY(w.thumbnailLoader().idle());
        const int prepared = w.thumbnailLoader().preparedCount();
        const int hits = w.thumbnailLoader().cacheHitCount();

        QTest::keyClick(w.pctPreview, Qt::Key_Home);
        QCOMPARE(inView(w), first);
        if (inMemory)
            QCOMPARE(w.picScroll->boxImageCount(), first.size() - 1);
        QTRY_COMPARE(w.picScroll->boxImageCount(), first.size() - 1);
        for (qsizetype k = 0; k < first.size(); ++k)
            COMPARE_IMAGES(w.picScroll->shownImage(first[k]), before[k]);
        QTRY_VERIFY(w.thumbnailLoader().idle());
        const int again = w.thumbnailLoader().preparedCount() - prepared;
        QCOMPARE(again, inMemory ? 0 : int(first.size()) - 1);
        QCOMPARE(w.thumbnailLoader().cacheHitCount() - hits, cache ? again : 0);
    }

    // On a folder not seen before, every box near the view shows a preview until its picture
    // replaces it; the PNG (whose reader cannot read it smaller) and the empty file get none. A
    // JPEG whose header claims far more than its data holds gives a preview but no picture and
    // ends with the cross. Opened again, every box comes from the cache, without a preview, with
    // the pixels the first window ended with: no preview went into the cache.
    void previewsComeBeforeTheFirstDecodeOnly()
    {
        QTemporaryDir dir;
        makePictures(dir, true);
        writeFile(dir.filePath(QStringLiteral("p08.jpg")),
                  withFrame(encoded(pattern(1000, 100), "JPG"), 8, 1000, 65500));
        settings::Store::user().write({{settings::ThumbnailCacheMiB, QStringLiteral("512")}});
        QList<QImage> shown[2];
        for (int round = 0; round < 2; ++round) {
            frmmain w;
            w.loaderThreads = 1; // every preview before every picture
            QList<int> previews;
            connect(&w, &frmmain::previewShown, this, [&](int index) {
                QVERIFY(!w.picScroll->element(index).Loaded);
                previews.append(index);
            });
            QVERIFY(openView(w, dir.path()));
            QTRY_VERIFY_WITH_TIMEOUT(w.thumbnailLoader().idle(), 60000);
            const QList<int> boxes = inView(w);
            QVERIFY(boxes.size() > 9);
            if (round == 0) {
                for (int i : boxes)
                    QCOMPARE(previews.contains(i), positionOf(w, i) != 5 && positionOf(w, i) != 7);
                QCOMPARE(QSet<int>(previews.begin(), previews.end()).size(), previews.size());
                QCOMPARE(w.thumbnailLoader().cacheHitCount(), 0);
            } else {
                QVERIFY(previews.isEmpty());
                QCOMPARE(w.thumbnailLoader().cacheHitCount(), 40);
            }
            const ImgPreview& damaged = boxAt(w, 8);
            QCOMPARE(damaged.shows, ImgPreview::Shows::Cross);
            QVERIFY(!w.picScroll->hasBoxImage(damaged.Index));
            for (int i : boxes) {
                QVERIFY(w.picScroll->element(i).Loaded);
                shown[round].append(w.picScroll->shownImage(i));
            }
        }
        for (qsizetype k = 0; k < shown[0].size(); ++k)
            COMPARE_IMAGES(shown[1][k], shown[0][k]);
    }

    // Boxes without images brought into view by the order, not by scrolling: the order by time
    // taken, the reverse of the names here. The boxes are not square.
    void boxMovedIntoViewShowsItsPicture()
    {
        QTemporaryDir dir;
        makePictures(dir);
        frmmain w;
        w.showfilename = false;
        w.boxImageBudget = 1;
        w.thumbwidth = 120;
        w.thumbheight = 90;
        QVERIFY(openView(w, dir.path()));
        QTRY_VERIFY_WITH_TIMEOUT(w.thumbnailLoader().idle(), 60000);
        const int moved = boxAt(w, 38).Index;
        w.mnuOrderByTime->trigger();
        QVERIFY(inView(w).contains(moved));
        QCOMPARE(positionOf(w, moved), 1);
        const QSize pixels = w.picScroll->imagePixels(120, 90);
        for (int i : inView(w)) {
            const QString path = platform::decodeName(w.order().picture(i).path());
            QTRY_COMPARE(w.picScroll->hasBoxImage(i), !path.endsWith(QLatin1String("p07.jpg")));
            if (w.picScroll->hasBoxImage(i))
                COMPARE_IMAGES(w.picScroll->shownImage(i),
                               drawn(prepareFile(path, pixels.width(), pixels.height())));
        }
    }

    // Prepared pictures for about half the folder: those of the boxes in view stay, those far from
    // it go first, wherever the view goes.
    void preparedPicturesNearTheViewStay()
    {
        QTemporaryDir dir;
        makePictures(dir);
        frmmain w;
        w.boxImageBudget = 1;
        w.preparedBudget = 0;
        w.picScroll->setBoxPixelRatio(w.devicePixelRatioF());
        const QSize pixels = w.picScroll->imagePixels(100, 100);
        for (const QString& name : QDir(dir.path()).entryList(QDir::Files))
            w.preparedBudget +=
                PreparedStore::bytesOf(prepareFile(dir.filePath(name), pixels.width(), pixels.height())) / 2;
        QVERIFY(openView(w, dir.path()));
        for (const int key : {0, int(Qt::Key_End), int(Qt::Key_Home)}) {
            if (key != 0)
                QTest::keyClick(w.pctPreview, Qt::Key(key));
            QTRY_VERIFY_WITH_TIMEOUT(w.thumbnailLoader().idle(), 60000);
            QVERIFY(w.preparedStore().size() < 39);
            for (int i : inView(w)) // the cross needs nothing kept
                QVERIFY(w.preparedStore().contains(i) ||
                        w.picScroll->element(i).shows == ImgPreview::Shows::Cross);
        }
    }

    // A box that leaves the view while its picture is being made again, and comes back after a
    // renaming has dropped that series, gets its picture from the next series.
    void boxBackWhileAnOlderSeriesMakesItsPicture()
    {
        QTemporaryDir dir;
        makePictures(dir);
        ScriptedDialogs dialogs;
        frmmain w;
        w.selectfolder = false;
        w.loaderThreads = 1;
        w.boxImageBudget = 1;
        w.preparedBudget = 0;
        QVERIFY(openView(w, dir.path()));
        QTest::keyClick(w.pctPreview, Qt::Key_End);
        QTRY_VERIFY_WITH_TIMEOUT(w.thumbnailLoader().idle(), 60000);
        w.thumbnailLoader().setGateOpen(false);
        QTest::keyClick(w.pctPreview, Qt::Key_Home);
        QTRY_COMPARE(w.thumbnailLoader().heldAtGate(), 1);
        w.mnuRenameImgs->trigger();
        QCOMPARE(dialogs.messageTexts(), QStringList{"Fertig: 40 Dateien umbenannt."});
        w.thumbnailLoader().setGateOpen(true);
        QTRY_COMPARE(w.picScroll->boxImageCount(), inView(w).size() - 1); // not the cross
    }

    // The window, threaded and not: the same pixels, every box loaded exactly once. Threaded, with
    // one worker held at its first job (the first box's preview) while the user presses End: the
    // previews of the rows then in view come next, then of the row above them, then the pictures
    // in the same order, then the rest in display order. Each preview is replaced by its picture,
    // pixel for pixel the sequential one's, which makes none. No preview for the PNG (its reader
    // cannot read it smaller), the empty file, and the JPEG too small to be read reduced.
    void threadedAndSequentialGiveTheSameView()
    {
        QTemporaryDir dir;
        for (int i = 0; i < 24; ++i)
            save(dir, QStringLiteral("p%1.jpg").arg(i, 2, 10, QLatin1Char('0')),
                 smooth(300 + 111 * i, 600 - 18 * i, qRgb(i * 10, 0, 0)), "JPG");
        save(dir, QStringLiteral("q-png.jpg"), pattern(120, 90), "PNG");
        writeFile(dir.filePath(QStringLiteral("r-empty.jpg")), QByteArray());
        save(dir, QStringLiteral("s-narrow.jpg"), pattern(1, 50), "JPG");

        ScriptedDialogs dialogs;
        QList<QImage> views[2];
        for (int threaded = 0; threaded < 2; ++threaded) {
            frmmain w;
            w.threadedLoading = threaded == 1;
            w.loaderThreads = 1;
            w.thumbnailLoader().setGateOpen(false);
            QSignalSpy built(&w, &frmmain::viewBuilt);
            QList<int> loads;
            QList<int> previews;
            connect(&w, &frmmain::thumbnailLoaded, this, [&](int index) { loads.append(index); });
            connect(&w, &frmmain::previewShown, this, [&](int index) { previews.append(index); });
            whenever(&w, [&] {
                if (w.thumbnailLoader().heldAtGate() != 1)
                    return false;
                QTest::keyClick(w.pctPreview, Qt::Key_End);
                w.thumbnailLoader().setGateOpen(true);
                return true;
            });
            w.openFolder(dir.path());
            QVERIFY(built.wait(20000));
            QCOMPARE(shownBoxes(w).size(), 27);
            QList<qsizetype> positions;
            for (int index : loads)
                positions.append(positionOf(w, index));
            QList<qsizetype> previewPositions;
            for (int index : previews)
                previewPositions.append(positionOf(w, index));
            if (threaded == 1) {
                // Nine rows of three; at the end, rows 5 to 8 and the placeholder's are in view.
                QCOMPARE(w.ScrollMe->value(), 16);
                QCOMPARE(previewPositions,
                         (QList<qsizetype>{0, 15, 16, 17, 18, 19, 20, 21, 22, 23, 12, 13, 14}));
                QCOMPARE(positions, (QList<qsizetype>{15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 12, 13,
                                                      14, 0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11}));
            } else {
                QVERIFY(previewPositions.isEmpty());
                QCOMPARE(QSet<qsizetype>(positions.begin(), positions.end()).size(), 27);
            }
            for (const int box : shownBoxes(w))
                views[threaded].append(w.picScroll->shownImage(box));
            QVERIFY(!boxAt(w, 27).Loaded); // the empty slot after the last
        }
        QVERIFY(dialogs.messages.isEmpty());
        for (qsizetype k = 0; k < views[0].size(); ++k)
            COMPARE_IMAGES(views[1][k], views[0][k]);
    }

    // The same in the window: the worker holds the first picture of a folder while the user
    // goes to another folder whose first box shows another picture.
    void folderChangeWhileLoadingShowsNothingOld()
    {
        QTemporaryDir dir;
        QDir(dir.path()).mkdir(QStringLiteral("a"));
        QDir(dir.path()).mkdir(QStringLiteral("b"));
        save(dir, QStringLiteral("a/large.jpg"), pattern(2000, 500), "JPG");
        const QString small = save(dir, QStringLiteral("b/small.jpg"), pattern(100, 300), "JPG");

        frmmain w;
        w.showfilename = false;
        w.loaderThreads = 1;
        w.thumbnailLoader().setGateOpen(false);
        QSignalSpy built(&w, &frmmain::viewBuilt);
        whenever(&w, [&] {
            const bool held = w.thumbnailLoader().heldAtGate() == 1;
            if (held)
                w.openFolder(dir.filePath(QStringLiteral("b")));
            return held;
        });
        // Released once the new folder's pictures are under way.
        connect(&w, &frmmain::viewArranged, &w, [&] {
            if (w.DirSelect->Path().endsWith(QLatin1Char('b')))
                QTimer::singleShot(0, &w, [&] { w.thumbnailLoader().setGateOpen(true); });
        });
        w.openFolder(dir.filePath(QStringLiteral("a")));
        QVERIFY(built.wait(20000));
        QCOMPARE(built.size(), 1);
        QCOMPARE(shownBoxes(w).size(), 1);
        const QSize pixels = w.picScroll->imagePixels(100, 100);
        COMPARE_IMAGES(w.picScroll->shownImage(boxAt(w, 0).Index), drawn(prepareFile(small, pixels.width(), pixels.height())));
    }

private:
    std::unique_ptr<QTemporaryDir> m_home;
};

QTEST_MAIN(TestBoxImages)
#include "tst_boximages.moc"
