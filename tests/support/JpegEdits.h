#pragma once

#include <QByteArray>

// Damage done to JPEG data by hand, the way broken files come about.

// Position of the first marker 0xFF `code` after the start of image, or -1.
inline qsizetype markerAt(const QByteArray& jpeg, uchar code)
{
    const char marker[] = {char(0xFF), char(code)};
    return jpeg.indexOf(QByteArrayView(marker, 2), 2);
}

// The data with the precision and size in its frame header (baseline unless `frame` says) changed.
inline QByteArray withFrame(QByteArray jpeg, int precision, int width, int height, uchar frame = 0xC0)
{
    const char header[] = {char(precision), char(height >> 8), char(height), char(width >> 8), char(width)};
    return jpeg.replace(markerAt(jpeg, frame) + 4, 5, QByteArray(header, 5));
}

// The data without any segment of marker `code` (such as every Huffman table, 0xC4).
inline QByteArray withoutSegments(QByteArray jpeg, uchar code)
{
    for (qsizetype at = markerAt(jpeg, code); at > 0; at = markerAt(jpeg, code))
        jpeg.remove(at, 2 + (uchar(jpeg[at + 2]) << 8 | uchar(jpeg[at + 3])));
    return jpeg;
}
