#include "platform/AppIcon.h"

#include <QPainter>
#include <QSvgRenderer>
#include <QTest>

namespace {

QImage installedPng(int size)
{
    return QImage(QStringLiteral(TESSALINE_ICON_DIR "/%1x%1/apps/tessaline.png").arg(size))
        .convertToFormat(QImage::Format_ARGB32);
}

} // namespace

// The icons the build draws for the desktop's icon theme must show what the window shows, at
// every size a panel or menu asks for, and the SVG must draw the same picture.
class tst_icons : public QObject
{
    Q_OBJECT
private slots:
    void pngIsTheWindowIcon_data()
    {
        QTest::addColumn<int>("size");
        for (int size : {16, 22, 24, 32, 48, 64, 128, 256})
            QTest::addRow("%d", size) << size;
    }
    void pngIsTheWindowIcon()
    {
        QFETCH(int, size);
        const QImage png = installedPng(size);
        QCOMPARE(png.size(), QSize(size, size));
        // Panels put it on any colour: the corner shows through, the front card does not.
        QCOMPARE(qAlpha(png.pixel(0, 0)), 0);
        QCOMPARE(qAlpha(png.pixel(size / 2, size / 2)), 255);
        QCOMPARE(png, platform::applicationIcon().pixmap(size, size).toImage().convertToFormat(png.format()));
    }

    // The SVG rounds coordinates to six digits, which may move an antialiased edge a little;
    // a lost gradient, turn or shape changes a whole area.
    void svgDrawsThePngPicture()
    {
        QSvgRenderer svg(QStringLiteral(TESSALINE_ICON_DIR "/scalable/apps/tessaline.svg"));
        QCOMPARE(svg.viewBox(), QRect(0, 0, 256, 256));
        const QImage png = installedPng(256);
        QImage drawn(256, 256, QImage::Format_ARGB32);
        drawn.fill(Qt::transparent);
        QPainter painter(&drawn);
        svg.render(&painter);
        painter.end();
        int differing = 0;
        for (int y = 0; y < 256; ++y)
            for (int x = 0; x < 256; ++x)
                for (int shift : {0, 8, 16, 24})
                    if (qAbs(int(drawn.pixel(x, y) >> shift & 0xFF) - int(png.pixel(x, y) >> shift & 0xFF)) >
                        24) {
                        ++differing;
                        break;
                    }
        QVERIFY2(differing * 1000 < 256 * 256, qPrintable(QStringLiteral("%1 pixels differ").arg(differing)));
    }
};

QTEST_MAIN(tst_icons)
#include "tst_icons.moc"
