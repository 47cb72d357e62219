#include "viewer/ViewerGeometry.h"

#include <QTest>

using namespace viewer;

class TestViewerGeometry : public QObject
{
    Q_OBJECT
private slots:
    void placement_data()
    {
        QTest::addColumn<QPoint>("cursor");
        QTest::addColumn<QSize>("picture");
        QTest::addColumn<double>("tpp");
        QTest::addColumn<float>("left");
        QTest::addColumn<float>("top");
        QTest::addColumn<QRect>("pixels");
        QTest::newRow("larger than the screen") << QPoint(512, 384) << QSize(1600, 1200) << 15.0 << -4320.0f
                                                << -3240.0f << QRect(-288, -216, 1600, 1200);
        QTest::newRow("odd width: half a pixel")
            << QPoint(500, 300) << QSize(101, 51) << 15.0 << 6742.5f << 4117.5f << QRect(450, 274, 101, 51);
    }
    void placement()
    {
        QFETCH(QPoint, cursor);
        QFETCH(QSize, picture);
        QFETCH(double, tpp);
        const FormTwips form = placeImage(cursor, QSizeF(picture), {tpp, tpp});
        QTEST(form.Left, "left");
        QTEST(form.Top, "top");
        QTEST(toPixels(form, {tpp, tpp}), "pixels");
    }

    // The four edges one after the other: a corner slides the window diagonally.
    void edges_data()
    {
        QTest::addColumn<QRect>("screen");
        QTest::addColumn<QPoint>("cursor");
        QTest::addColumn<float>("left");
        QTest::addColumn<float>("top");
        const QRect screen(0, 0, 1024, 768);
        QTest::newRow("y = 9 moves down") << screen << QPoint(500, 9) << 0.0f << 150.0f;
        QTest::newRow("x = 9 moves right") << screen << QPoint(9, 300) << 150.0f << 0.0f;
        QTest::newRow("10 from the top left stays") << screen << QPoint(10, 10) << 0.0f << 0.0f;
        QTest::newRow("10 from the bottom right stays") << screen << QPoint(1014, 758) << 0.0f << 0.0f;
        QTest::newRow("9 from the bottom right moves up left")
            << screen << QPoint(1015, 759) << -150.0f << -150.0f;
        QTest::newRow("second screen's left edge")
            << QRect(1024, 0, 800, 600) << QPoint(1030, 300) << 150.0f << 0.0f;
    }
    void edges()
    {
        QFETCH(QRect, screen);
        QFETCH(QPoint, cursor);
        FormTwips form;
        panAtEdges(form, cursor, screen);
        QTEST(form.Left, "left");
        QTEST(form.Top, "top");
    }

    // Five steps make a small picture 32 times as large; a large one stops at the bound with
    // its proportions, and stepping back returns to 1:1 exactly.
    void zoom_data()
    {
        QTest::addColumn<QSize>("picture");
        QTest::addColumn<QSize>("largest");
        QTest::addColumn<QSize>("smallest");
        QTest::newRow("reaches the bound") << QSize(256, 192) << QSize(8192, 6144) << QSize(1, 1);
        QTest::newRow("camera photo") << QSize(4000, 3000) << QSize(8000, 6000) << QSize(1, 1);
        QTest::newRow("one pixel") << QSize(1, 1) << QSize(32, 32) << QSize(1, 1);
        QTest::newRow("odd size") << QSize(101, 51) << QSize(3232, 1632) << QSize(2, 1);
        QTest::newRow("beyond X11 already") << QSize(40000, 500) << QSize(40000, 500) << QSize(78, 1);
    }
    void zoom()
    {
        QFETCH(QSize, picture);
        const TwipsPerPixel tpp{15, 15};
        const QSize limit = zoomLimit(QSize(1024, 768));
        QCOMPARE(limit, QSize(8192, 6144));
        FormTwips form = placeImage(QPoint(0, 0), QSizeF(picture), tpp);
        const FormTwips start = form;
        int steps = 0;
        for (int tick = 0; tick < 5; ++tick)
            steps += zoomIn(form, limit, tpp);
        QTEST(toPixels(form, tpp).size(), "largest");
        QCOMPARE(form.Left, start.Left);
        while (steps-- > 0)
            QVERIFY(zoomOut(form, tpp));
        QCOMPARE(form.Width, start.Width);
        for (int tick = 0; tick < 20; ++tick)
            zoomOut(form, tpp);
        QTEST(toPixels(form, tpp).size(), "smallest");
        QCOMPARE(zoomLimit(QSize(5120, 2880)), QSize(32767, 23040));
    }
};

QTEST_APPLESS_MAIN(TestViewerGeometry)
#include "tst_viewergeometry.moc"
