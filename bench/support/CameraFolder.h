#pragma once

#include "CameraExif.h"

#include "main_window/frmmain.h"
#include "settings/Settings.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QRandomGenerator>
#include <QString>
#include <QStringList>

#include <cmath>
#include <cstdio>

// A folder of camera-like photos for the benchmarks: 4000 x 3000 JPEG files with the EXIF data a
// camera writes; every fourth is a portrait, stored lying with orientation 6.

// Smooth shapes with fine grain on top, which compresses about as well as a photo does.
inline QImage cameraLikeImage(int width, int height, quint32 seed)
{
    QImage image(width, height, QImage::Format_RGB888);
    QRandomGenerator random(seed);
    const double fx = 0.5 + random.bounded(2.0);
    const double fy = 0.5 + random.bounded(2.0);
    for (int y = 0; y < height; ++y) {
        uchar* line = image.scanLine(y);
        for (int x = 0; x < width; ++x) {
            const int grain = int(random.generate() & 31) - 16;
            const double u = double(x) / width;
            const double v = double(y) / height;
            line[3 * x] = uchar(qBound(0, int(128 + 100 * std::sin(6.28 * fx * u + v)) + grain, 255));
            line[3 * x + 1] = uchar(qBound(0, int(128 + 90 * std::cos(6.28 * fy * v - u)) + grain, 255));
            line[3 * x + 2] = uchar(qBound(0, int(60 + 150 * u * v) + grain, 255));
        }
    }
    return image;
}

inline QStringList makeFiles(const QString& folder, int count)
{
    QStringList files;
    std::printf("making %d camera-like 4000 x 3000 JPEG files ...\n", count);
    std::fflush(stdout);
    const QImage image = cameraLikeImage(4000, 3000, 1);
    const auto jpeg = [](const QImage& picture) {
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        picture.save(&buffer, "JPG", 90);
        return bytes;
    };
    const QByteArray preview = jpeg(image.scaled(160, 120));
    for (int i = 0; i < count; ++i) {
        const QString path = folder + QStringLiteral("/IMG_%1.jpg").arg(i, 4, 10, QLatin1Char('0'));
        // Each file a little different, so that no two decode alike.
        QImage copy = image;
        copy.setPixel(i % 4000, 0, qRgb(i, i, i));
        const QByteArray taken = QStringLiteral("2024:07:12 10:%1:%2")
                                     .arg(59 - i / 60 % 60, 2, 10, QLatin1Char('0'))
                                     .arg(i % 60, 2, 10, QLatin1Char('0'))
                                     .toLatin1();
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) ||
            file.write(withCameraExif(jpeg(copy), preview, i % 4 == 3 ? 6 : 1, taken.constData())) < 0)
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        files.append(path);
    }
    return files;
}

// The photos to measure on: the .jpg files of `folder` in name order, or when `folder` is empty,
// `make` new ones in `makeIn`, which `folder` is then set to. Each is read once, so that every
// run reads from the page cache; *bytes receives how much that was.
inline QStringList cameraFolder(QString& folder, const QString& makeIn, int make, qint64* bytes = nullptr)
{
    QStringList files;
    if (folder.isEmpty()) {
        folder = makeIn;
        QDir().mkpath(folder);
        files = makeFiles(folder, make);
    } else {
        for (const QString& name : QDir(folder).entryList({QStringLiteral("*.jpg"), QStringLiteral("*.JPG")},
                                                          QDir::Files, QDir::Name))
            files.append(folder + QLatin1Char('/') + name);
    }
    qint64 total = 0;
    for (const QString& path : files) {
        QFile f(path);
        if (f.open(QIODevice::ReadOnly))
            total += f.readAll().size();
    }
    if (bytes)
        *bytes = total;
    return files;
}

// The size of the thumbnail cache as the options set it, "0" for none, taken up by the window.
inline void setCacheLimit(frmmain& w, const char* mib)
{
    settings::Store::user().write({{settings::ThumbnailCacheMiB, QString::fromLatin1(mib)}});
    w.getprops();
}
