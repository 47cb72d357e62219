// Draws the program's icon for the desktop's icon theme, from the same drawing as the window's
// icon: a PNG at every size the window icon has and a scalable SVG, laid out as the hicolor
// theme wants them (OUTPUT/16x16/apps/tessaline.png, ..., OUTPUT/scalable/apps/tessaline.svg).

#include "platform/AppIcon.h"

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgGenerator>

#include <cstdio>

namespace {

bool fail(const QString& text)
{
    std::fprintf(stderr, "tessaline_make_icons: %s\n", qPrintable(text));
    return false;
}

bool makeFolder(const QString& path)
{
    return QDir().mkpath(path) || fail(QStringLiteral("cannot create %1").arg(path));
}

bool writePng(const QString& root, int size)
{
    const QString folder = QStringLiteral("%1/%2x%2/apps").arg(root).arg(size);
    if (!makeFolder(folder))
        return false;
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    platform::paintApplicationIcon(painter, size);
    painter.end();
    const QString path = folder + QStringLiteral("/tessaline.png");
    return image.save(path, "PNG") || fail(QStringLiteral("cannot write %1").arg(path));
}

bool writeSvg(const QString& root)
{
    const QString folder = root + QStringLiteral("/scalable/apps");
    if (!makeFolder(folder))
        return false;
    // Drawn at the largest size, which carries every detail.
    const int size = platform::applicationIconSizes.back();
    const QString path = folder + QStringLiteral("/tessaline.svg");
    QSvgGenerator svg;
    svg.setFileName(path);
    svg.setSize(QSize(size, size));
    svg.setViewBox(QRect(0, 0, size, size));
    svg.setTitle(QStringLiteral("Tessaline"));
    QPainter painter;
    if (!painter.begin(&svg))
        return fail(QStringLiteral("cannot write %1").arg(path));
    platform::paintApplicationIcon(painter, size);
    return painter.end() || fail(QStringLiteral("cannot write %1").arg(path));
}

} // namespace

int main(int argc, char* argv[])
{
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fputs("usage: tessaline_make_icons OUTPUT_FOLDER\n", stderr);
        return 2;
    }
    const QString root = QFile::decodeName(argv[1]);
    for (int size : platform::applicationIconSizes) {
        if (!writePng(root, size))
            return 1;
    }
    return writeSvg(root) ? 0 : 1;
}
