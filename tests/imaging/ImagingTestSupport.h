#pragma once

#include "imaging/cDIBSection.h"

#include <QByteArray>
#include <QImage>
#include <QString>

#include <turbojpeg.h>

#include <cstring>

// The pixel bytes of a buffer, rows in memory order (bottom row first) without their padding.
inline QByteArray pixelBytes(const cDIBSection& dib)
{
    QByteArray bytes;
    for (int r = 0; r < dib.Height(); ++r)
        bytes.append(reinterpret_cast<const char*>(dib.DIBSectionBitsPtr()) + qsizetype(r) * dib.BytesPerScanLine(),
                     qsizetype(dib.Width()) * 3);
    return bytes;
}

// Fills a buffer from pixel bytes in the same order; the padding is set to 0xEE.
inline void setPixelBytes(cDIBSection& dib, const QByteArray& bytes)
{
    const int used = dib.Width() * 3;
    for (int r = 0; r < dib.Height(); ++r) {
        std::uint8_t* row = dib.DIBSectionBitsPtr() + qsizetype(r) * dib.BytesPerScanLine();
        std::memcpy(row, bytes.constData() + qsizetype(r) * used, std::size_t(used));
        std::memset(row + used, 0xEE, std::size_t(dib.BytesPerScanLine() - used));
    }
}

// An upright image as the buffer's pixel bytes would hold it.
inline QByteArray bottomUpBgr(const QImage& image)
{
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    QByteArray bytes;
    for (int y = rgb.height() - 1; y >= 0; --y) {
        const uchar* line = rgb.constScanLine(y);
        for (int x = 0; x < rgb.width(); ++x)
            bytes.append(char(line[3 * x + 2])).append(char(line[3 * x + 1])).append(char(line[3 * x]));
    }
    return bytes;
}

// Empty when equal; otherwise where the first difference is, with both values.
inline QString firstDifference(const QByteArray& actual, const QByteArray& expected, int rowBytes = 0)
{
    for (qsizetype i = 0; i < qMin(actual.size(), expected.size()); ++i) {
        if (actual[i] != expected[i]) {
            const QString where = rowBytes > 0 ? QStringLiteral("row %1 byte %2").arg(i / rowBytes).arg(i % rowBytes)
                                               : QStringLiteral("byte %1").arg(i);
            return QStringLiteral("%1: %2, expected %3")
                .arg(where)
                .arg(quint8(actual[i]))
                .arg(quint8(expected[i]));
        }
    }
    if (actual.size() != expected.size())
        return QStringLiteral("%1 bytes, expected %2").arg(actual.size()).arg(expected.size());
    return {};
}

inline QString firstDifference(const QImage& actual, const QImage& expected)
{
    if (actual.size() != expected.size())
        return QStringLiteral("size differs");
    for (int y = 0; y < actual.height(); ++y)
        for (int x = 0; x < actual.width(); ++x)
            if (actual.pixel(x, y) != expected.pixel(x, y))
                return QStringLiteral("pixel (%1, %2): %3, expected %4")
                    .arg(x)
                    .arg(y)
                    .arg(actual.pixel(x, y), 8, 16, QLatin1Char('0'))
                    .arg(expected.pixel(x, y), 8, 16, QLatin1Char('0'));
    return {};
}

// A picture with something different in every pixel.
inline QImage testPicture(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, qRgb((x * 37 + y * 11) & 0xFF, (x * 5 + y * 71) & 0xFF, (x * 13 ^ y * 29) & 0xFF));
    return image;
}

// TJPF_CMYK takes the picture's RGBA bytes as C, M, Y and K.
inline QByteArray encodeJpeg(const QImage& image, int subsampling = TJSAMP_444, int quality = 95, int flags = 0,
                             int pixelFormat = TJPF_RGB)
{
    const QImage rgb =
        image.convertToFormat(pixelFormat == TJPF_CMYK ? QImage::Format_RGBA8888 : QImage::Format_RGB888);
    tjhandle handle = tjInitCompress();
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    tjCompress2(handle, rgb.constBits(), rgb.width(), int(rgb.bytesPerLine()), rgb.height(), pixelFormat, &jpeg, &size,
                subsampling, quality, flags);
    QByteArray bytes(reinterpret_cast<const char*>(jpeg), qsizetype(size));
    tjFree(jpeg);
    tjDestroy(handle);
    return bytes;
}

// TurboJPEG's own decode of the data, upright, into a plain buffer.
inline QImage referenceDecode(const QByteArray& jpeg)
{
    tjhandle handle = tjInitDecompress();
    int width = 0, height = 0, subsampling = 0, colourSpace = 0;
    const auto* data = reinterpret_cast<const unsigned char*>(jpeg.constData());
    tjDecompressHeader3(handle, data, jpeg.size(), &width, &height, &subsampling, &colourSpace);
    QImage image(width, height, QImage::Format_RGB888);
    tjDecompress2(handle, data, jpeg.size(), image.bits(), width, int(image.bytesPerLine()), height, TJPF_RGB, 0);
    tjDestroy(handle);
    return image;
}
