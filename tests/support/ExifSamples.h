#pragma once

#include <QByteArray>
#include <QList>

#include <exiv2/exif.hpp>
#include <exiv2/image.hpp>

#include <utility>

// A little-endian TIFF structure written by hand, for tests to damage byte by byte: one directory
// holding one Orientation tag (SHORT, count 1). Offsets: 4 the directory's offset, 8 its entry
// count, 10 the entry (tag, type, count, value at 18), 22 the offset of the next directory.
inline QByteArray orientationTiff(int value)
{
    QByteArray tiff = QByteArray::fromHex("49492a0008000000010012010300010000000000000000000000");
    tiff[18] = char(value);
    return tiff;
}

// EXIF data written by the library holding tags such as {"Exif.Image.Orientation", "6"}.
inline QByteArray exifTiff(const QList<std::pair<const char*, const char*>>& tags)
{
    Exiv2::ExifData exif;
    for (const auto& [key, value] : tags)
        exif[key] = std::string(value);
    Exiv2::Blob blob;
    Exiv2::ExifParser::encode(blob, Exiv2::littleEndian, exif);
    return QByteArray(reinterpret_cast<const char*>(blob.data()), qsizetype(blob.size()));
}

// An application segment: marker, length, payload.
inline QByteArray jpegSegment(uchar marker, const QByteArray& payload)
{
    const qsizetype length = payload.size() + 2;
    return QByteArray(1, char(0xFF)) + char(marker) + char(length >> 8) + char(length & 0xFF) + payload;
}

// The JPEG data with an EXIF segment holding `tiff` inserted at `at` (right after the start of
// image by default, before TurboJPEG's JFIF segment).
inline QByteArray withExif(QByteArray jpeg, const QByteArray& tiff, qsizetype at = 2)
{
    return jpeg.insert(at, jpegSegment(0xE1, QByteArray("Exif\0\0", 6) + tiff));
}

// A picture file (PNG, JPEG, ...) with the EXIF data of `tiff` written into it by the library, as
// other programs do, as far as the library makes sense of it.
inline QByteArray withLibraryExif(const QByteArray& file, const QByteArray& tiff)
{
    const auto image =
        Exiv2::ImageFactory::open(reinterpret_cast<const Exiv2::byte*>(file.constData()), long(file.size()));
    try {
        Exiv2::ExifParser::decode(image->exifData(), reinterpret_cast<const Exiv2::byte*>(tiff.constData()),
                                  std::uint32_t(tiff.size()));
    } catch (...) {
        image->exifData().clear();
    }
    image->writeMetadata();
    Exiv2::BasicIo& io = image->io();
    io.seek(0, Exiv2::BasicIo::beg);
    const Exiv2::DataBuf written = io.read(long(io.size()));
    return QByteArray(reinterpret_cast<const char*>(written.pData_), written.size_);
}
