#include "thumbnails/Arrangement.h"
#include "main_window/FormLayout.h"

#include <QTest>

// The geometry of the main window and of the thumbnail rows, without a window.
class TestArrangement : public QObject
{
    Q_OBJECT
private slots:
    void rows_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("TW");
        QTest::addColumn<int>("TH");
        QTest::addColumn<int>("A");
        QTest::addColumn<QList<QPoint>>("expected");
        QTest::addColumn<int>("rowBreaks");
        QTest::addColumn<QSize>("canvas");
        QTest::newRow("three per row")
            << 4 << 100 << 100 << 360 << QList<QPoint>{{2, 0}, {103, 0}, {204, 0}, {2, 101}} << 1
            << QSize(305, 202);
        QTest::newRow("width just enough for two")
            << 3 << 100 << 100 << 203 << QList<QPoint>{{2, 0}, {103, 0}, {2, 101}} << 1 << QSize(204, 202);
        QTest::newRow("thumbnail wider than the viewport")
            << 2 << 300 << 50 << 120 << QList<QPoint>{{2, 0}, {2, 51}} << 2 << QSize(303, 153);
        QTest::newRow("no row break covers what was placed")
            << 2 << 100 << 80 << 1000 << QList<QPoint>{{2, 0}, {103, 0}} << 0 << QSize(204, 81);
        QTest::newRow("one alone, narrow")
            << 1 << 100 << 100 << 202 << QList<QPoint>{{2, 0}} << 1 << QSize(103, 202);
    }
    void rows()
    {
        QFETCH(int, count);
        QFETCH(int, TW);
        QFETCH(int, TH);
        QFETCH(int, A);
        const Arrangement a = arrangeSlots(count, TW, TH, A);
        QTEST(a.positions, "expected");
        QTEST(a.rowBreaks, "rowBreaks");
        QTEST(QSize(a.canvasWidth, a.canvasHeight), "canvas");
    }

    // A third of a row and a pixel, as a real division: 34.33 pixels for rows of 100.
    void scrollUnit()
    {
        QCOMPARE(canvasTopForScrollValue(100, 1), -34.333332f);
        QCOMPARE(canvasTopPixels(100, 3), -103);
        QCOMPARE(canvasTopPixels(50, 2), -35);
    }

    // 30 pictures and the place after them, three to a row: the last picture ends at 909 + 100.
    void scrollMaximum_data()
    {
        QTest::addColumn<int>("pictures");
        QTest::addColumn<int>("A");
        QTest::addColumn<int>("viewport");
        QTest::addColumn<int>("expected");
        QTest::newRow("all in view with room to spare") << 5 << 360 << 300 << 0;
        QTest::newRow("one pixel short") << 5 << 360 << 200 << 1;
        // Value 2 moves the canvas 68.67 pixels up, placed at 69: the last row then ends exactly at
        // the bottom.
        QTest::newRow("last row ends exactly at the bottom at value 2") << 5 << 360 << 132 << 2;
        // 1009 - 387 = 622 pixels to go: value 18 moves 618, 19 moves 652.
        QTest::newRow("ten rows") << 30 << 360 << 387 << 19;
        QTest::newRow("wider: five rows of six") << 30 << 700 << 387 << 4;
        QTest::newRow("viewport lower than a row: 3 per row break at most") << 4 << 360 << 50 << 3;
        QTest::newRow("empty folder") << 0 << 202 << 387 << 0;
    }
    void scrollMaximum()
    {
        QFETCH(int, pictures);
        QFETCH(int, A);
        QFETCH(int, viewport);
        QTEST(::scrollMaximum(arrangeSlots(pictures + 1, 100, 100, A), pictures, 100, viewport), "expected");
    }

    // Thirty pictures of 100 x 100, three to a row, in a viewport of 387 pixels: the scroll bar
    // goes to 19, and each unit moves the canvas by 34.33 pixels.
    void scrollValueShowing_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("viewport");
        QTest::addColumn<int>("value");
        QTest::addColumn<int>("maximum");
        QTest::addColumn<int>("expected");
        QTest::newRow("in view") << 1 << 387 << 0 << 19 << 0;
        QTest::newRow("below: its bottom edge comes into view") << 5 << 387 << 0 << 19 << 7;
        QTest::newRow("above: its top edge comes into view") << 1 << 387 << 10 << 19 << 2;
        QTest::newRow("the last row") << 9 << 387 << 0 << 19 << 19;
        QTest::newRow("higher than the viewport: its top") << 2 << 50 << 0 << 19 << 5;
        QTest::newRow("no further than the maximum") << 9 << 387 << 0 << 4 << 4;
    }
    void scrollValueShowing()
    {
        QFETCH(int, row);
        QFETCH(int, viewport);
        QFETCH(int, value);
        QFETCH(int, maximum);
        QTEST(::scrollValueShowing(100, row * 101, row * 101 + 100, viewport, value, maximum), "expected");
    }

    void positionsNearView_data()
    {
        QTest::addColumn<int>("canvasTop");
        QTest::addColumn<int>("viewport");
        QTest::addColumn<QList<qsizetype>>("expected");
        QTest::newRow("top: rows 0 to 3, then row 4")
            << 0 << 387 << QList<qsizetype>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14};
        QTest::newRow("bottom: rows 6 to 10, then row 5")
            << -652 << 387 << QList<qsizetype>{18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 15, 16, 17};
        QTest::newRow("one row and its gap in view") << -303 << 101 << QList<qsizetype>{9, 10, 11, 6, 7, 8, 12, 13, 14};
        QTest::newRow("past the end") << -5000 << 387 << QList<qsizetype>{30, 27, 28, 29};
    }
    void positionsNearView()
    {
        QFETCH(int, canvasTop);
        QFETCH(int, viewport);
        QTEST(::positionsNearView(31, 3, 100, canvasTop, viewport), "expected");
    }

    // 1000 boxes of 100 x 100 in rows of five, 40,000 bytes of image each; a viewport of 300
    // pixels shows three rows, rows 10 to 12 with the canvas at -1010.
    void rowsKeepingImages_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("canvasTop");
        QTest::addColumn<qint64>("budget");
        QTest::addColumn<qint64>("first");
        QTest::addColumn<qint64>("last");
        QTest::newRow("ample budget: two screens each way") << 1000 << -1010 << (qint64(1) << 30) << 4LL << 18LL;
        QTest::newRow("budget for seven rows") << 1000 << -1010 << qint64(1400000) << 8LL << 14LL;
        QTest::newRow("budget below the view: the view wins") << 1000 << -1010 << qint64(1) << 10LL << 12LL;
        QTest::newRow("at the top") << 1000 << 0 << (qint64(1) << 30) << 0LL << 8LL;
        QTest::newRow("at the end: twelve rows") << 60 << -1010 << (qint64(1) << 30) << 4LL << 11LL;
    }
    void rowsKeepingImages()
    {
        QFETCH(int, count);
        QFETCH(int, canvasTop);
        QFETCH(qint64, budget);
        const RowSpan span = ::rowsKeepingImages(count, 5, 100, canvasTop, 300, 40000, budget, 2);
        QTEST(span.first, "first");
        QTEST(span.last, "last");
    }

    void splitterClamps_data()
    {
        QTest::addColumn<float>("x");
        QTest::addColumn<double>("W");
        QTest::addColumn<float>("expected");
        QTest::newRow("start position") << 1980.0f << 8220.0 << 1980.0f;
        QTest::newRow("too far left") << 200.0f << 8220.0 << 1500.0f;
        QTest::newRow("too far right") << 8000.0f << 8220.0 << 6720.0f;
        QTest::newRow("narrowest window: both clamps give 1500") << 1980.0f << 3000.0 << 1500.0f;
        QTest::newRow("narrower still: the right-hand rule wins") << 1980.0f << 2500.0 << 1000.0f;
    }
    void splitterClamps()
    {
        QFETCH(float, x);
        QFETCH(double, W);
        QFETCH(float, expected);
        FormLayout layout;
        SizeControls(x, FormMetrics{W, W, 5805, 15, 15}, layout);
        QCOMPARE(x, expected);
        QCOMPARE(layout.DirSelect.Width, double(expected));
        QCOMPARE(layout.imgSplitter.Left, double(expected));
        QCOMPARE(layout.pctPreview.Left, double(expected) + 40);
        QCOMPARE(layout.pctPreview.Width, W - expected - 40);
    }

    // A window shorter than the drive list keeps the folder list's height; the rest follows.
    void heights()
    {
        FormLayout layout;
        float x = 1980;
        SizeControls(x, FormMetrics{8220, 8220, 5805, 15, 15}, layout);
        QCOMPARE(layout.DirSelect.Height, 5490.0);
        SizeControls(x, FormMetrics{8220, 8220, 200, 15, 15}, layout);
        QCOMPARE(layout.DirSelect.Height, 5490.0);
        QCOMPARE(layout.pctPreview.Height, 200.0);
        QCOMPARE(layout.ScrollMe.Height, 13);
    }
};

QTEST_GUILESS_MAIN(TestArrangement)
#include "tst_arrangement.moc"
