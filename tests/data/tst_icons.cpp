#include "platform/AppIcon.h"

#include <QPainter>
#include <QSvgRenderer>
#include <QTest>

// The icons the build draws for the desktop's icon theme. They must show what the window shows,
// at every size a panel or menu asks for, and the SVG must draw the same picture.
class tst_icons : public QObject
{
    Q_OBJECT

private slots:
    void pngIsTheWindowIcon_data();
    void pngIsTheWindowIcon();
    void svgDrawsThePngPicture();
};

namespace {

QString iconPath(const QString& size, const QString& suffix)
{
    return QStringLiteral(TESSALINE_ICON_DIR "/%1/apps/tessaline.%2").arg(size, suffix);
}

QString firstDifference(const QImage& actual, const QImage& expected)
{
    for (int y = 0; y < actual.height(); ++y) {
        for (int x = 0; x < actual.width(); ++x) {
            if (actual.pixel(x, y) != expected.pixel(x, y))
                return QStringLiteral("(%1, %2): %3 instead of %4")
                    .arg(x)
                    .arg(y)
                    .arg(actual.pixel(x, y), 8, 16, QLatin1Char('0'))
                    .arg(expected.pixel(x, y), 8, 16, QLatin1Char('0'));
        }
    }
    return {};
}

} // namespace

void tst_icons::pngIsTheWindowIcon_data()
{
    QTest::addColumn<int>("size");
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256})
        QTest::addRow("%dx%d", size, size) << size;
}

void tst_icons::pngIsTheWindowIcon()
{
    QFETCH(int, size);
    const QImage png(iconPath(QStringLiteral("%1x%1").arg(size), QStringLiteral("png")));
    QVERIFY2(!png.isNull(), "missing or unreadable");
    QCOMPARE(png.size(), QSize(size, size));
    // Panels put it on any colour: the corner shows through, the front card does not.
    QCOMPARE(qAlpha(png.pixel(0, 0)), 0);
    QCOMPARE(qAlpha(png.pixel(size / 2, size / 2)), 255);

    const QImage window =
        platform::applicationIcon().pixmap(size, size).toImage().convertToFormat(png.format());
    QCOMPARE(window.size(), png.size());
    const QString difference = firstDifference(png, window);
    QVERIFY2(difference.isEmpty(), qPrintable(difference));
}

void tst_icons::svgDrawsThePngPicture()
{
    QSvgRenderer svg(iconPath(QStringLiteral("scalable"), QStringLiteral("svg")));
    QVERIFY(svg.isValid());
    QCOMPARE(svg.viewBox(), QRect(0, 0, 256, 256));

    const QImage png = QImage(iconPath(QStringLiteral("256x256"), QStringLiteral("png")))
                           .convertToFormat(QImage::Format_ARGB32);
    QImage drawn(256, 256, QImage::Format_ARGB32);
    drawn.fill(Qt::transparent);
    QPainter painter(&drawn);
    svg.render(&painter);
    painter.end();

    // The SVG rounds coordinates to six digits, which may move an antialiased edge a little;
    // a lost gradient, turn or shape changes a whole area.
    int differing = 0;
    for (int y = 0; y < 256; ++y) {
        for (int x = 0; x < 256; ++x) {
            const QRgb a = drawn.pixel(x, y);
            const QRgb b = png.pixel(x, y);
            const int delta = qMax(qMax(qAbs(qRed(a) - qRed(b)), qAbs(qGreen(a) - qGreen(b))),
                                   qMax(qAbs(qBlue(a) - qBlue(b)), qAbs(qAlpha(a) - qAlpha(b))));
            differing += delta > 24;
        }
    }
    QVERIFY2(differing < 256 * 256 / 1000, qPrintable(QStringLiteral("%1 pixels differ").arg(differing)));
}

QTEST_MAIN(tst_icons)
#include "tst_icons.moc"
