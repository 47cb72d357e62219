#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

// Walking the segments of JPEG data the way libjpeg does.
namespace imaging::jpeg {

// Whether the data begins with a JPEG's start-of-image marker.
inline bool isJpeg(const std::uint8_t* data, std::size_t size)
{
    return data && size >= 2 && data[0] == 0xFF && data[1] == 0xD8;
}

// TEM, RST0..RST7 and SOI carry no length field.
inline bool isStandalone(std::uint8_t marker)
{
    return marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8);
}

// The code of the next marker at or after `at`, with `at` moved past it; nothing where the
// data ends first. Bytes before the marker that belong to no segment are skipped (and
// `strayBytes` set), and so are fill bytes 0xFF.
inline std::optional<std::uint8_t> nextMarker(const std::uint8_t* data, std::size_t size, std::size_t& at,
                                              bool& strayBytes)
{
    for (; at < size && data[at] != 0xFF; ++at)
        strayBytes = true;
    while (at < size && data[at] == 0xFF)
        ++at;
    if (at >= size)
        return std::nullopt;
    return data[at++];
}

} // namespace imaging::jpeg
