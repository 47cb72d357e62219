#pragma once

#include "imaging/JpegDecoder.h"
#include "imaging/cDIBSection.h"
#include "main_window/Thumbnails.h"
#include "platform/FileNames.h"

#include <QColor>
#include <QImage>
#include <QString>
#include <QTemporaryDir>
#include <QTest>

// What the thumbnail tests share: pictures with detail everywhere, preparing and drawing as the
// window does, and exact image comparison.

inline const QColor kGrey(0xd0, 0xd0, 0xd0);

// A picture with detail everywhere, so that misplaced pixels show.
inline QImage pattern(int w, int h, QRgb tint = qRgb(0, 0, 0))
{
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y, qRgb((x * 7 + qRed(tint)) & 255, (y * 5 + qGreen(tint)) & 255,
                                      ((x ^ y) + qBlue(tint)) & 255));
    return image;
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
    imaging::JpegDecoder decoder;
    cDIBSection work;
    return thumbs::prepare(decoder, work, platform::encodeName(path), TW, TH);
}

// A prepared picture drawn into a fresh box of its size, without caption.
inline QImage drawn(const thumbs::Prepared& prepared)
{
    QImage box = freshBox(prepared.TW, prepared.TH);
    thumbs::draw(box, prepared, QString(), {});
    return box;
}

// Exact comparison that names the first pixel that differs.
inline bool sameImage(const QImage& actual, const QImage& expected, QString* why)
{
    if (actual.size() != expected.size()) {
        *why = QStringLiteral("size %1x%2, expected %3x%4")
                   .arg(actual.width()).arg(actual.height()).arg(expected.width()).arg(expected.height());
        return false;
    }
    for (int y = 0; y < actual.height(); ++y)
        for (int x = 0; x < actual.width(); ++x)
            if (actual.pixel(x, y) != expected.pixel(x, y)) {
                *why = QStringLiteral("pixel (%1, %2) is #%3, expected #%4")
                           .arg(x).arg(y)
                           .arg(actual.pixel(x, y) & 0xFFFFFF, 6, 16, QLatin1Char('0'))
                           .arg(expected.pixel(x, y) & 0xFFFFFF, 6, 16, QLatin1Char('0'));
                return false;
            }
    return true;
}

#define COMPARE_IMAGES(actual, expected)                                                                    \
    do {                                                                                                    \
        QString why;                                                                                        \
        QVERIFY2(sameImage(actual, expected, &why), qPrintable(why));                                       \
    } while (false)
