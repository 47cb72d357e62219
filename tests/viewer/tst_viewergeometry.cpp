#include "viewer/ViewerGeometry.h"

#include <QTest>

using namespace viewer;

class TestViewerGeometry : public QObject
{
    Q_OBJECT
private slots:
    // At 15 twips per pixel, an odd size puts the window on a half pixel, rounded to even. Closer
    // than 10 pixels to a screen's edge, the window slides 150 twips away from it.
    void placeAndSlide()
    {
        QCOMPARE(toPixels(placeImage({512, 384}, {1600, 1200}, {}), {}), QRect(-288, -216, 1600, 1200));
        QCOMPARE(toPixels(placeImage({501, 300}, {101, 51}, {}), {}), QRect(450, 274, 101, 51));
        const auto moved = [](QPoint cursor, QRect screen = {0, 0, 1024, 768}) {
            FormTwips form;
            panAtEdges(form, cursor, screen);
            return QPointF(form.Left, form.Top);
        };
        QCOMPARE(moved({500, 9}), QPointF(0, 150));
        QCOMPARE(moved({10, 10}), QPointF(0, 0));
        QCOMPARE(moved({1014, 758}), QPointF(0, 0));
        QCOMPARE(moved({1015, 759}), QPointF(-150, -150));
        QCOMPARE(moved({1030, 300}, {1024, 0, 800, 600}), QPointF(150, 0));
    }

    // Five steps in, at most up to 8 screens; twenty steps out, at least to one pixel.
    void zoom_data()
    {
        QTest::addColumn<QSize>("picture");
        QTest::addColumn<QSize>("largest");
        QTest::addColumn<QSize>("smallest");
        QTest::newRow("reaches the bound") << QSize(256, 192) << QSize(8192, 6144) << QSize(1, 1);
        QTest::newRow("odd size") << QSize(101, 51) << QSize(3232, 1632) << QSize(2, 1);
        QTest::newRow("beyond X11 already") << QSize(40000, 500) << QSize(40000, 500) << QSize(78, 1);
    }
    void zoom()
    {
        QFETCH(QSize, picture);
        const QSize limit = zoomLimit(QSize(1024, 768));
        FormTwips form = placeImage({}, QSizeF(picture), {});
        const FormTwips start = form;
        int steps = 0;
        for (int tick = 0; tick < 5; ++tick)
            steps += zoomIn(form, limit, {});
        QTEST(toPixels(form, {}).size(), "largest");
        while (steps-- > 0) // back to 1:1 exactly, at the same place
            QVERIFY(zoomOut(form, {}));
        QVERIFY(form.Width == start.Width && form.Left == start.Left);
        for (int tick = 0; tick < 20; ++tick)
            zoomOut(form, {});
        QTEST(toPixels(form, {}).size(), "smallest");
        QCOMPARE(zoomLimit(QSize(5120, 2880)), QSize(32767, 23040));
    }
};

QTEST_APPLESS_MAIN(TestViewerGeometry)
#include "tst_viewergeometry.moc"
