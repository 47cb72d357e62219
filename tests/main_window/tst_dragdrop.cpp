#include "main_window/Reorder.h"
#include "main_window/ThumbCanvas.h"
#include "main_window/frmmain.h"
#include "platform/FileNames.h"
#include "viewer/frmShowImage.h"

#include <QApplication>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "TestFiles.h"

namespace {

// A shown window on a folder of p0001.jpg, p0002.jpg, ...: file k is shown k-th.
bool openView(frmmain& w, const QTemporaryDir& root, int files)
{
    for (int k = 1; k <= files; ++k)
        touch(platform::encodeName(root.path()) + "/p" + QByteArray::number(k).rightJustified(4, '0') + ".jpg");
    w.show();
    if (!QTest::qWaitForWindowExposed(&w))
        return false;
    QSignalSpy built(&w, &frmmain::viewBuilt);
    w.openFolder(root.path());
    return built.wait(60000);
}

int fileNumber(const frmmain& w, int index)
{
    return thumbs::fileNameOf(w.picScroll->element(index).ToolTipText()).mid(1, 4).toInt();
}

// The file numbers in display order.
QList<int> shown(const frmmain& w)
{
    QList<int> numbers;
    for (qsizetype k = 0; k + 1 < w.order.size(); ++k)
        numbers.append(fileNumber(w, w.order[k]));
    return numbers;
}

// A point of the canvas in the thumbnail at display position `position` (from 1).
QPoint at(const frmmain& w, int position, int dx = 50, int dy = 50)
{
    const ImgPreview& box = w.picScroll->element(w.order[position - 1]);
    return QPoint(box.Left + dx, box.Top + dy);
}

// A point of the viewport, in the canvas's coordinates (where the test's mouse events go).
QPoint inViewport(const frmmain& w, int x, int y)
{
    return w.picScroll->mapFrom(w.pctPreview, QPoint(x, y));
}

QRect markerBefore(const frmmain& w, int position)
{
    const ImgPreview& box = w.picScroll->element(w.order[position - 1]);
    return QRect(box.Left - 1, box.Top, 3, box.Height);
}

void drag(frmmain& w, QPoint from, QPoint to)
{
    QTest::mousePress(w.picScroll, Qt::LeftButton, {}, from);
    QTest::mouseMove(w.picScroll, to);
    QTest::mouseRelease(w.picScroll, Qt::LeftButton, {}, to);
}

// The file the viewer was asked to show, empty while it was never opened.
QString peekedFile()
{
    for (QWidget* top : QApplication::topLevelWidgets())
        if (const auto* viewer = qobject_cast<frmShowImage*>(top))
            return viewer->fileName();
    return {};
}

bool dragging()
{
    return QGuiApplication::overrideCursor() && QGuiApplication::overrideCursor()->shape() == Qt::ClosedHandCursor;
}

} // namespace

class TestDragDrop : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QCOMPARE(rightPartThreshold(15.0), 750.0f); }

    // The guards that keep every look-up within `order`, also while a folder is being listed.
    void guards()
    {
        QList<int> order{2, 3, 1}; // listing: 1 is last, 3 was created last
        QCOMPARE(markerTarget(order, 1, true, 4), std::optional<int>(1));
        QCOMPARE(markerTarget(order, 3, true, 4), std::optional<int>(3));
        QCOMPARE(markerTarget(order, 2, true, 4), std::optional<int>(3));
        QCOMPARE(markerTarget(order, 7, true, 9), std::optional<int>());
        QVERIFY(applyDrop(order, 1, 2, true)); // the right part of the last entry: before it
        QCOMPARE(order, (QList<int>{3, 2, 1}));
        QVERIFY(applyDrop(order, 3, 1, true)); // backwards onto the right part: after the target
        QCOMPARE(order, (QList<int>{3, 1, 2}));
        QVERIFY(!applyDrop(order, 2, 9, false)); // an element no longer listed
        QCOMPARE(order, (QList<int>{3, 1, 2}));
    }

    void reorder_data()
    {
        QTest::addColumn<Qt::MouseButton>("button");
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("to");
        QTest::addColumn<int>("dx");
        QTest::addColumn<QList<int>>("expected");
        const QList<int> unchanged{1, 2, 3, 4, 5, 6};
        QTest::newRow("3 onto 1") << Qt::LeftButton << 3 << 1 << 50 << QList<int>{3, 1, 2, 4, 5, 6};
        QTest::newRow("1 onto 3") << Qt::LeftButton << 1 << 3 << 50 << QList<int>{2, 1, 3, 4, 5, 6};
        QTest::newRow("onto the last, far right") << Qt::LeftButton << 2 << 6 << 99 << QList<int>{1, 3, 4, 5, 2, 6};
        QTest::newRow("6 back onto 4") << Qt::LeftButton << 6 << 4 << 0 << QList<int>{1, 2, 3, 6, 4, 5};
        QTest::newRow("into the gap") << Qt::LeftButton << 3 << 1 << 100 << unchanged;
        QTest::newRow("onto the placeholder's slot") << Qt::LeftButton << 2 << 7 << 50 << unchanged;
        QTest::newRow("right button") << Qt::RightButton << 3 << 1 << 50 << unchanged;
        QTest::newRow("middle button") << Qt::MiddleButton << 3 << 1 << 50 << unchanged;
    }
    void reorder()
    {
        QFETCH(Qt::MouseButton, button);
        QFETCH(int, from);
        QFETCH(int, to);
        QFETCH(int, dx);
        QFETCH(QList<int>, expected);
        QTemporaryDir root;
        frmmain w;
        QVERIFY(openView(w, root, 6));
        QTest::mousePress(w.picScroll, button, {}, at(w, from));
        for (const QPoint& p : {at(w, from, 60), at(w, 2, 50, 99), at(w, to, dx)})
            QTest::mouseMove(w.picScroll, p);
        QCOMPARE(dragging(), button == Qt::LeftButton);
        // The right button peeks at the pressed thumbnail's file instead of dragging it.
        QCOMPARE(thumbs::fileNameOf(peekedFile()), button == Qt::RightButton ? QStringLiteral("p0003.jpg") : QString());
        QTest::mouseRelease(w.picScroll, button, {}, at(w, to, dx));
        QCOMPARE(shown(w), expected);
        QVERIFY(!w.linWohin->isVisible() && !dragging());
        QList<QPoint> places;
        for (int k = 1; k <= 6; ++k)
            places.append(at(w, k, 0, 0));
        QCOMPARE(places, (QList<QPoint>{{2, 0}, {103, 0}, {204, 0}, {2, 101}, {103, 101}, {204, 101}}));
    }

    void marker()
    {
        QTemporaryDir root;
        frmmain w;
        QVERIFY(openView(w, root, 6));
        // Press and release without moving: the marker stands before the thumbnail while the
        // button is down, and nothing changes, not even the arrangement (a box put out of its
        // slot stays there).
        w.picScroll->Move(w.order[4], 150, 250, 100, 100);
        QTest::mousePress(w.picScroll, Qt::LeftButton, {}, at(w, 2));
        QVERIFY(dragging());
        QCOMPARE(w.linWohin->geometry(), markerBefore(w, 2));
        QTest::mouseRelease(w.picScroll, Qt::LeftButton, {}, at(w, 2));
        QVERIFY(!w.linWohin->isVisible() && !dragging());
        QCOMPARE(w.picScroll->element(w.order[4]).rect(), QRect(150, 250, 100, 100));
        w.arrangeimgs(true);

        QTest::mousePress(w.picScroll, Qt::LeftButton, {}, at(w, 1));
        const QList<std::pair<QPoint, QRect>> steps{
            {at(w, 3), markerBefore(w, 3)},        {at(w, 2, 100), QRect()}, // the gap between 2 and 3
            {at(w, 5, 1, 99), markerBefore(w, 5)}, {at(w, 7), QRect()},      // the placeholder's slot
            {inViewport(w, 350, 50), QRect()}, // the grey strip beside the thumbnails
            {at(w, 4, 99, 0), markerBefore(w, 4)}, {inViewport(w, 100, -20), QRect()}, // outside the viewport
        };
        for (const auto& [point, marker] : steps) {
            QTest::mouseMove(w.picScroll, point);
            QCOMPARE(w.linWohin->isVisible(), marker.isValid());
            if (marker.isValid())
                QCOMPARE(w.linWohin->geometry(), marker);
        }
        QTest::mouseRelease(w.picScroll, Qt::LeftButton, {}, inViewport(w, 100, -20));
        QCOMPARE(shown(w), (QList<int>{1, 2, 3, 4, 5, 6}));
    }

    void rightPartOfWideThumbnails()
    {
        QTemporaryDir root;
        frmmain w;
        w.thumbwidth = 800; // wider than the threshold of 750 pixels: one per row
        w.thumbheight = 60;
        w.resize(1100, 500);
        QVERIFY(openView(w, root, 3));
        QTest::mousePress(w.picScroll, Qt::LeftButton, {}, at(w, 1));
        QTest::mouseMove(w.picScroll, at(w, 3, 750, 10));
        QCOMPARE(w.linWohin->geometry(), markerBefore(w, 3));
        QTest::mouseMove(w.picScroll, at(w, 3, 751, 10));
        QCOMPARE(w.linWohin->geometry(), QRect(1, 183, 3, 60)); // the placeholder's slot
        QTest::mouseRelease(w.picScroll, Qt::LeftButton, {}, at(w, 3, 751, 10));
        QCOMPARE(shown(w), (QList<int>{2, 3, 1}));

        // Onto the right part of its own predecessor: the same order, arranged afresh.
        w.picScroll->Move(w.order[0], 40, 300, 800, 60);
        drag(w, at(w, 3), at(w, 2, 760));
        QCOMPARE(shown(w), (QList<int>{2, 3, 1}));
        QCOMPARE(at(w, 1, 0, 0), QPoint(2, 0));
    }

    // Escape, a rebuild of the view under the drag and another control taking the keyboard each
    // end a drag without a drop.
    void dragEndsWithoutDrop()
    {
        QTemporaryDir root;
        frmmain w;
        QVERIFY(openView(w, root, 4));
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        for (int how = 0; how < 3; ++how) {
            QTest::mousePress(w.picScroll, Qt::LeftButton, {}, at(w, 3));
            QTest::mouseMove(w.picScroll, at(w, 1));
            QVERIFY(dragging());
            if (how == 0)
                QTest::keyClick(w.pctPreview, Qt::Key_Escape);
            else if (how == 1)
                w.makeview();
            else
                w.ScrollMe->setFocus();
            QVERIFY2(!w.linWohin->isVisible() && !dragging(), qPrintable(QString::number(how)));
            QTest::mouseMove(w.picScroll, at(w, 2));
            QTest::mouseRelease(w.picScroll, Qt::LeftButton, {}, at(w, 2));
            QCOMPARE(shown(w), (QList<int>{1, 2, 3, 4}));
        }
    }

    // Thirty pictures: the bar's maximum is 19. A pointer held at an edge scrolls a unit per
    // tick of the timer, over the strip beside the thumbnails and over the thumbnails alike, but
    // not beyond the last row; a tick spent in the middle of the viewport is used up there.
    void edgeScrolling_data()
    {
        QTest::addColumn<int>("x"); // in the viewport: 350 is the strip beside the thumbnails
        QTest::addColumn<bool>("bottom");
        QTest::addColumn<int>("start");
        QTest::addColumn<QList<int>>("afterTicks");
        QTest::addColumn<int>("afterMiddle");
        QTest::newRow("strip, top") << 350 << false << 2 << QList<int>{1, 0, 0} << 2;
        QTest::newRow("strip, bottom") << 350 << true << 17 << QList<int>{18, 19, 19} << 17;
        QTest::newRow("thumbnails, top") << 50 << false << 2 << QList<int>{1, 0, 0} << 1;
        QTest::newRow("thumbnails, bottom") << 50 << true << 10 << QList<int>{11, 12, 13} << 11;
    }
    void edgeScrolling()
    {
        QFETCH(int, x);
        QFETCH(bool, bottom);
        QFETCH(int, start);
        QFETCH(QList<int>, afterTicks);
        QFETCH(int, afterMiddle);
        QTemporaryDir root;
        frmmain w;
        QVERIFY(openView(w, root, 30));
        w.tmrScroll->stop();
        w.scrolltick = false;
        const int edgeY = bottom ? w.pctPreview->height() - 2 : 2;
        const auto tick = [&] { QMetaObject::invokeMethod(w.tmrScroll, "timeout"); };

        QTest::mousePress(w.picScroll, Qt::LeftButton, {}, at(w, 4));
        w.ScrollMe->setValue(start);
        QTest::mouseMove(w.picScroll, inViewport(w, x, edgeY));
        QCOMPARE(w.ScrollMe->value(), start); // no tick yet
        for (int expected : afterTicks) {
            tick();
            QTest::mouseMove(w.picScroll, inViewport(w, x, edgeY + (bottom ? 1 : -1)));
            QCOMPARE(w.ScrollMe->value(), expected);
        }
        w.ScrollMe->setValue(start);
        QTest::mouseMove(w.picScroll, inViewport(w, x, 150));
        tick();
        QTest::mouseMove(w.picScroll, inViewport(w, x, edgeY));
        QCOMPARE(w.ScrollMe->value(), afterMiddle);
        // A drop keeps the view where it is.
        QTest::mouseRelease(w.picScroll, Qt::LeftButton, {}, inViewport(w, x, edgeY));
        QCOMPARE(w.ScrollMe->value(), afterMiddle);
    }

    // As soon as a few files are listed, they are laid out (a resize would) and the last one is
    // dragged to the front; the files listed later still go before the first entry that sorts
    // after them.
    void dropWhileListing()
    {
        QTemporaryDir root;
        frmmain w;
        QList<int> beforeDrop;
        QList<int> afterDrop;
        auto* poll = new QTimer(&w);
        poll->setInterval(0);
        connect(poll, &QTimer::timeout, &w, [&] {
            if (!w.building || w.picScroll->count() < 20 || !afterDrop.isEmpty())
                return;
            w.arrangeimgs(true);
            beforeDrop = w.order;
            drag(w, at(w, int(w.order.size())), at(w, 1));
            afterDrop = w.order;
        });
        poll->start();
        QVERIFY(openView(w, root, 300));
        const int listedAtDrop = int(beforeDrop.size());
        QVERIFY(listedAtDrop > 0 && listedAtDrop < 300);
        QCOMPARE(afterDrop, QList<int>{beforeDrop.last()} + beforeDrop.mid(0, listedAtDrop - 1));

        QList<int> expected = afterDrop;
        for (int index = listedAtDrop + 1; index <= 300; ++index) {
            const auto greater = std::find_if(expected.cbegin(), expected.cend(),
                                              [&](int e) { return fileNumber(w, e) > fileNumber(w, index); });
            expected.insert(greater - expected.cbegin(), index);
        }
        expected.append(301); // the placeholder
        QCOMPARE(w.order, expected);
    }

    // Photo 1900 (row 633, 63933 pixels down) in view at value 1862, then picked up; ten notches
    // of the wheel take the drag ten rows and 20 pixels further up, still in the same column.
    void wheelCarriesADragAcrossABigFolder()
    {
        QTemporaryDir root;
        frmmain w;
        QVERIFY(openView(w, root, 2000));
        w.ScrollMe->setValue(1862);
        QTest::mousePress(w.picScroll, Qt::LeftButton, {}, at(w, 1900));
        const QPoint pointer = w.picScroll->mapTo(w.pctPreview, at(w, 1900));
        QCOMPARE(w.linWohin->geometry(), markerBefore(w, 1900));
        QWheelEvent wheel(QPointF(pointer), w.pctPreview->mapToGlobal(QPointF(pointer)), {}, QPoint(0, 1200),
                          Qt::LeftButton, {}, Qt::NoScrollPhase, false);
        QApplication::sendEvent(w.picScroll, &wheel);
        QCOMPARE(w.linWohin->geometry(), markerBefore(w, 1870));

        QTest::keyClick(w.pctPreview, Qt::Key_Home);
        QCOMPARE(w.linWohin->geometry(), markerBefore(w, 1));
        QTest::mouseMove(w.picScroll, at(w, 1));
        QTest::mouseRelease(w.picScroll, Qt::LeftButton, {}, at(w, 1));
        QCOMPARE(shown(w).mid(0, 3), (QList<int>{1900, 1, 2}));
        QCOMPARE(shown(w).mid(1898, 3), (QList<int>{1898, 1899, 1901}));
    }
};

QTEST_MAIN(TestDragDrop)
#include "tst_dragdrop.moc"
