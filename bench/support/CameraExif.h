#pragma once

#include <QByteArray>

#include <exiv2/exif.hpp>

#include <cstdint>
#include <string>

// The JPEG data with the EXIF segment a camera writes in front: a few dozen tags, times taken
// ("2024:07:12 10:15:00") and a small preview picture (JPEG data).
inline QByteArray withCameraExif(const QByteArray& jpeg, const QByteArray& preview, int orientation = 6,
                                 const char* taken = "2024:07:12 10:15:00")
{
    Exiv2::ExifData exif;
    exif["Exif.Image.Make"] = std::string("Tessaline Optics");
    exif["Exif.Image.Model"] = std::string("Bench One");
    exif["Exif.Image.Orientation"] = std::uint16_t(orientation);
    exif["Exif.Image.XResolution"] = Exiv2::URational(72, 1);
    exif["Exif.Image.YResolution"] = Exiv2::URational(72, 1);
    exif["Exif.Image.ResolutionUnit"] = std::uint16_t(2);
    exif["Exif.Image.Software"] = std::string("Firmware 1.02");
    exif["Exif.Image.DateTime"] = std::string(taken);
    exif["Exif.Photo.ExposureTime"] = Exiv2::URational(1, 250);
    exif["Exif.Photo.FNumber"] = Exiv2::URational(56, 10);
    exif["Exif.Photo.ISOSpeedRatings"] = std::uint16_t(200);
    exif["Exif.Photo.DateTimeOriginal"] = std::string(taken);
    exif["Exif.Photo.DateTimeDigitized"] = std::string(taken);
    exif["Exif.Photo.SubSecTimeOriginal"] = std::string("25");
    exif["Exif.Photo.SubSecTimeDigitized"] = std::string("25");
    exif["Exif.Photo.FocalLength"] = Exiv2::URational(35, 1);
    exif["Exif.Photo.PixelXDimension"] = std::uint32_t(4000);
    exif["Exif.Photo.PixelYDimension"] = std::uint32_t(3000);
    exif["Exif.Photo.LensModel"] = std::string("Bench 35 mm");
    Exiv2::ExifThumb(exif).setJpegThumbnail(reinterpret_cast<const Exiv2::byte*>(preview.constData()),
                                            long(preview.size()));
    Exiv2::Blob blob;
    Exiv2::ExifParser::encode(blob, Exiv2::littleEndian, exif);
    const qsizetype length = qsizetype(blob.size()) + 8;
    QByteArray segment = QByteArray(1, char(0xFF)) + char(0xE1) + char(length >> 8) + char(length & 0xFF);
    segment += QByteArray("Exif\0\0", 6) +
               QByteArray(reinterpret_cast<const char*>(blob.data()), qsizetype(blob.size()));
    return QByteArray(jpeg).insert(2, segment);
}
