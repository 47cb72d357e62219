#pragma once

#include <QBuffer>
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QString>

// A folder of many tiny JPEGs: what the folder and ordering benchmarks measure is the listing and
// the order, not the decoding, so every file is the same 64 × 48 picture.
inline QByteArray smallJpeg()
{
    QImage image(64, 48, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, qRgb(x * 4, y * 5, (x + y) * 2));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPG", 85);
    return bytes;
}

inline void makeFolder(const QString& path, int files)
{
    QDir().mkpath(path);
    const QByteArray jpeg = smallJpeg();
    for (int i = 0; i < files; ++i) {
        QFile f(path + QStringLiteral("/IMG_%1.jpg").arg(i, 5, 10, QLatin1Char('0')));
        f.open(QIODevice::WriteOnly);
        f.write(jpeg);
    }
}
