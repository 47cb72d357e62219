#pragma once

#include "platform/FileNames.h"
#include "thumbnails/Thumbnails.h"

#include <QBuffer>
#include <QColor>
#include <QImage>
#include <QImageWriter>
#include <QString>
#include <QTemporaryDir>
#include <QTest>

// What the thumbnail tests share, those of the pipeline and those of the window: pictures with
// detail everywhere, so that misplaced pixels show, preparing and drawing as the pipeline does,
// and exact image comparison.

inline const QColor kGrey(0xd0, 0xd0, 0xd0);

inline QImage pattern(int w, int h, QRgb tint = qRgb(0, 0, 0))
{
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y, qRgb((x * 7 + qRed(tint)) & 255, (y * 5 + qGreen(tint)) & 255,
                                      ((x ^ y) + qBlue(tint)) & 255));
    return image;
}

// Gentle gradients, as most of a photo is: little coded data for many pixels, so that a JPEG of it
// is quick to read at a reduced size.
inline QImage smooth(int w, int h, QRgb tint = qRgb(0, 0, 0))
{
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y, qRgb((x * 255 / w + qRed(tint)) & 255, (y * 255 / h + qGreen(tint)) & 255,
                                      ((x + y) * 127 / (w + h) + qBlue(tint)) & 255));
    return image;
}

inline QByteArray encoded(const QImage& image, const char* format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    QImageWriter writer(&buffer, format);
    writer.setOptimizedWrite(true); // JPEG: Huffman tables of its own, not the standard ones
    writer.write(image);
    return bytes;
}

inline QString save(const QTemporaryDir& dir, const QString& name, const QImage& image, const char* format)
{
    const QString path = dir.filePath(name);
    if (!image.save(path, format, 95))
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

inline QImage freshBox(int w = 100, int h = 100)
{
    QImage box(w, h, QImage::Format_RGB32);
    box.fill(kGrey);
    return box;
}

inline thumbs::Prepared prepareFile(const QString& path, int TW = 100, int TH = 100)
{
    return thumbs::Preparer().prepare(platform::encodeName(path), TW, TH);
}

// A prepared picture drawn into a fresh box of its size, without caption.
inline QImage drawn(const thumbs::Prepared& prepared)
{
    QImage box = freshBox(prepared.TW, prepared.TH);
    thumbs::draw(box, prepared, QString(), {});
    return box;
}

// Empty when the images have the same pixels, else the first that differs.
inline QString imageDifference(const QImage& actual, const QImage& expected)
{
    if (actual.size() != expected.size())
        return QStringLiteral("another size");
    for (int y = 0; y < actual.height(); ++y)
        for (int x = 0; x < actual.width(); ++x)
            if (actual.pixel(x, y) != expected.pixel(x, y))
                return QStringLiteral("pixel (%1, %2) is %3, expected %4")
                    .arg(QString::number(x), QString::number(y), QColor(actual.pixel(x, y)).name(),
                         QColor(expected.pixel(x, y)).name());
    return QString();
}

#define COMPARE_IMAGES(actual, expected)                                                                     \
    do {                                                                                                     \
        const QString why = imageDifference(actual, expected);                                               \
        QVERIFY2(why.isEmpty(), qPrintable(why));                                                            \
    } while (false)
