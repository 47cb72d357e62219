#pragma once

#include "imaging/JpegDecoder.h"
#include "imaging/Orientation.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <vector>

class cDIBSection;

// Phone photos: HEIC, HEIF and AVIF files, read through libheif.
namespace imaging {

// Whether the data begins the way a HEIF or AVIF file does (a file type box naming a brand of
// that family, or one libheif cannot rule out). Anything else is not looked at further.
bool looksLikeHeif(const std::uint8_t* data, std::size_t size);

// Decodes the primary image of a HEIF or AVIF file into cDib, in its layout and at the size the
// picture is seen at: the container's rotation, mirroring and cropping are applied by libheif, so
// the picture needs no turning afterwards (readPhotoMetadata gives such files no orientation).
// Pictures with more bits per colour come down to 8; transparent parts are shown on white.
// False for anything that is not such a file, is damaged (the decoder's warnings count), claims
// more than maxPixels, or finds no memory; the claimed size is checked before anything of the
// picture's size is allocated. A failure leaves the buffer as it was, unless the memory for the
// picture could not be had. Only regular files are read. Never throws; safe on any thread, each call on its
// own.
bool decodeHeif(cDIBSection& cDib, const QByteArray& nativePath, std::int64_t maxPixels = maxDecodePixels());

// The same for the contents of such a file in memory.
bool decodeHeifData(cDIBSection& cDib, const std::uint8_t* data, std::size_t size,
                    std::int64_t maxPixels = maxDecodePixels());

// The smallest of the thumbnails the contents of such a file carry for its primary image (phones
// store one of a few hundred pixels) that will do for a look at it (smallPictureWillDo, with what
// `cover` asks for given the primary's size as seen); decoded as decodeHeifData decodes the
// primary. False where there is none.
bool decodeHeifThumbnailData(cDIBSection& cDib, const std::uint8_t* data, std::size_t size,
                             const CoverFunction& cover, std::int64_t maxPixels = maxDecodePixels());

// The EXIF data (the TIFF structure, without the item's offset field and "Exif" header) of the
// primary image of HEIF data; empty when there is none or the file cannot be parsed.
std::vector<std::uint8_t> heifExif(const std::uint8_t* data, std::size_t size) noexcept;

} // namespace imaging
