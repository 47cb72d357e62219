#pragma once

#include "imaging/Orientation.h"

#include <QByteArray>
#include <QString>

#include <compare>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace imaging {

// A moment as a clock showed it, without a time zone: cameras record the time of their own
// clock, and files are compared with them by the local time of their last change. Seconds count
// from 1970-01-01 00:00:00 on that clock.
struct ClockTime
{
    std::int64_t seconds = 0;
    std::int32_t nanoseconds = 0; // 0 to 999,999,999

    auto operator<=>(const ClockTime&) const = default;
};

// The longest text kept of a camera's make, model or serial number, in UTF-16 units: more than any
// camera writes, and a damaged block's hundreds of bytes do not end up in a window.
inline constexpr qsizetype kMaxCameraText = 64;

// What a picture file tells about the camera (or phone) that took it and the time zone its clock
// was set to. The texts are as the file has them, trimmed of blanks and zero bytes at either end
// and cut to kMaxCameraText; bytes that are not UTF-8 are kept as platform::decodeName keeps
// them, for platform::displayName to show. Empty where the file has none.
struct CameraData
{
    QString make;   // EXIF Make
    QString model;  // EXIF Model
    QString serial; // the body's serial number: BodySerialNumber, else one a maker's note holds
    // Seconds east of UTC of the clock that recorded the picture (OffsetTimeOriginal, else
    // OffsetTime): 7200 for "+02:00".
    std::optional<std::int32_t> zoneOffset;

    bool operator==(const CameraData&) const = default;
};

// What a picture file tells about itself beyond its pixels. Anything missing, damaged or
// implausible is simply absent.
struct PhotoMetadata
{
    std::optional<Orientation> orientation;
    std::optional<ClockTime> original;  // DateTimeOriginal with SubSecTimeOriginal
    std::optional<ClockTime> digitized; // DateTimeDigitized with SubSecTimeDigitized
    std::optional<ClockTime> modified;  // the file's last change, local time; only from files
    CameraData camera;

    Orientation shownAs() const { return orientation.value_or(Orientation::Normal); }
};

// The metadata of a picture file's contents in memory: the EXIF block of a JPEG or of a HEIF or
// AVIF file (which has no orientation: its decoder turns it already), or the metadata of a PNG,
// TIFF or WebP picture. Data of any other kind, and data the metadata
// library cannot make sense of, has none. With `thumbnail`, that receives the small JPEG picture
// that a JPEG's EXIF block carries (cameras put one of 160 x 120 pixels there), as it is stored;
// empty when there is none. Never throws, never prints; safe on any thread.
PhotoMetadata readPhotoMetadata(const std::uint8_t* data, std::size_t size,
                                std::vector<std::uint8_t>* thumbnail = nullptr) noexcept;

// The metadata of the file at the native path without decoding it, reading no more of a JPEG
// than its segments up to the EXIF block, and of a clip than its container's header (its time
// taken as `original`); with the file's last change. Only regular files are read, opened without
// blocking. Nothing when the file cannot be read.
PhotoMetadata readFileMetadata(const QByteArray& nativePath) noexcept;

// An EXIF date and time ("2024:07:12 10:15:00") with its fraction of a second ("25" is a quarter
// of a second); nothing for a date that does not exist, blank or zeroed fields and anything
// else. Trailing blanks and zero bytes are ignored; a fraction that is not made of digits
// counts as none.
std::optional<ClockTime> parseExifDateTime(std::string_view dateTime, std::string_view subSeconds);

// An EXIF time zone ("+02:00", "-05:30") in seconds east of UTC; nothing for anything else,
// such as an offset of more than 14 hours. Blanks and zero bytes around it are ignored.
std::optional<std::int32_t> parseExifZoneOffset(std::string_view zone);

// The device a picture was taken with, for telling pictures of several cameras apart: `key` is
// the same for the same make, model and serial number and differs otherwise; `label` names it
// for people ("Canon EOS R6", "Apple iPhone 13", with the serial number in brackets where there
// is one). A model that begins with the make, or with the make's first word ("NIKON D850" of
// "NIKON CORPORATION"), is not preceded by it again. Nothing when all three are empty.
struct Device
{
    QString key;
    QString label;
};
std::optional<Device> deviceOf(const QString& make, const QString& model, const QString& serial);
std::optional<Device> deviceOf(const CameraData& camera);

// A moment counted from the epoch (a file time) as the local clock showed it.
ClockTime localClockTime(std::int64_t secondsSinceEpoch, std::int32_t nanoseconds);

// When the picture was taken, as far as its file tells: the moment the camera recorded the
// picture, else the moment it was digitised, else the file's last change.
std::optional<ClockTime> timeTaken(const PhotoMetadata& metadata);

} // namespace imaging
