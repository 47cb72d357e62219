#pragma once

#include "imaging/cDIBSection.h"

#include <QImage>

#include <turbojpeg.h>

// A buffer's pixels as an upright picture.
inline QImage pictureOf(const cDIBSection& dib)
{
    return QImage(dib.DIBSectionBitsPtr(), dib.Width(), dib.Height(), dib.BytesPerScanLine(),
                  QImage::Format_BGR888)
        .mirrored();
}

// Something different in every pixel.
inline QImage testPicture(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y,
                           qRgb((x * 37 + y * 11) & 0xFF, (x * 5 + y * 71) & 0xFF, (x * 13 ^ y * 29) & 0xFF));
    return image;
}

// TJPF_CMYK takes the picture's RGBA bytes as C, M, Y and K.
inline QByteArray encodeJpeg(const QImage& image, int subsampling = TJSAMP_444, int flags = 0,
                             int pixelFormat = TJPF_RGB)
{
    const QImage pixels =
        image.convertToFormat(pixelFormat == TJPF_CMYK ? QImage::Format_RGBA8888 : QImage::Format_RGB888);
    tjhandle handle = tjInitCompress();
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    tjCompress2(handle, pixels.constBits(), pixels.width(), int(pixels.bytesPerLine()), pixels.height(),
                pixelFormat, &jpeg, &size, subsampling, 90, flags);
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
    QImage img(width, height, QImage::Format_RGB888);
    tjDecompress2(handle, data, jpeg.size(), img.bits(), width, int(img.bytesPerLine()), height, TJPF_RGB, 0);
    tjDestroy(handle);
    return img;
}
