#pragma once

#include <QImage>
#include <QPoint>
#include <QSize>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

class cDIBSection;

namespace imaging {

// How a picture's stored pixels are to be turned to be seen the way the camera was held: the
// values of the EXIF Orientation tag, named by what brings the stored picture upright.
enum class Orientation : std::uint8_t
{
    Normal = 1,
    MirrorHorizontal = 2,
    Rotate180 = 3,
    MirrorVertical = 4,
    Transpose = 5,  // mirrored along the diagonal from top left to bottom right
    Rotate90 = 6,   // clockwise
    Transverse = 7, // mirrored along the diagonal from top right to bottom left
    Rotate270 = 8,  // clockwise, that is 90 degrees counter-clockwise
};

// The orientation a tag value stands for; nothing for values outside 1 to 8.
std::optional<Orientation> orientationFromTag(long value);

// Whether the picture is seen with width and height exchanged.
bool swapsSides(Orientation orientation);

// The size the picture is seen at, from its stored size; the same mapping leads back.
QSize displayedSize(QSize stored, Orientation orientation);

// The stored pixel that is seen at `shown`, both counted from the top left, in a picture stored
// at `stored` size. Each of its coordinates follows one of those of `shown` alone.
QPoint storedPixel(Orientation orientation, QPoint shown, QSize stored);

// A new buffer holding the picture turned into the way it is seen, every pixel moved as it is
// (no interpolation); a plain copy for Normal. nullptr when the source is empty or the new
// buffer cannot be had.
std::unique_ptr<cDIBSection> oriented(const cDIBSection& stored, Orientation orientation);

// The same for a picture from Qt's readers.
QImage oriented(const QImage& stored, Orientation orientation);

// The least size, in stored pixels, that a picture read at reduced size must have, for a picture
// stored at `stored` and turned by `orientation` to be seen.
using CoverFunction = std::function<QSize(QSize stored, Orientation orientation)>;

// Whether a small picture that a camera or phone stored with a photo will do for a quick look at
// it: the same picture (its sides in the photo's proportion, within 2 %), smaller than the photo,
// and at least half as wide and high as `wanted`, so that it is enlarged twice at the most. A
// look that is somewhat soft beats one that comes late.
bool smallPictureWillDo(QSize small, QSize photo, QSize wanted);

} // namespace imaging
