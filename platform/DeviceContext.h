#pragma once

#include <QImage>

#include <cstdint>

namespace platform {

// Raster operations with the values the program was written against (the GDI ternary codes), so
// that a stored or passed code keeps its meaning. Only operations that combine source and
// destination are supported; those that need a brush pattern make a transfer fail.
enum class RasterOp : std::uint32_t
{
    SrcCopy = 0x00CC0020,     // source
    SrcPaint = 0x00EE0086,    // source OR destination
    SrcAnd = 0x008800C6,      // source AND destination
    SrcInvert = 0x00660046,   // source XOR destination
    SrcErase = 0x00440328,    // source AND NOT destination
    NotSrcCopy = 0x00330008,  // NOT source
    NotSrcErase = 0x001100A6, // NOT (source OR destination)
    MergePaint = 0x00BB0226,  // NOT source OR destination
    DstInvert = 0x00550009,   // NOT destination
    Blackness = 0x00000042,   // all bits 0
    Whiteness = 0x00FF0062,   // all bits 1
};

// What a block transfer draws into or reads from: nothing (a null context, on which every transfer
// fails without effect), a QImage that the caller owns, or memory in the pixel buffer's own layout
// (3 bytes per pixel blue, green, red; rows of `stride` bytes stored bottom-up).
//
// Coordinates are always top-down, as on a screen: (0, 0) is the top-left pixel, also for
// bottom-up memory. A context does not own its surface; the surface must outlive every transfer
// made through it.
class DeviceContext
{
public:
    enum class Kind { Null, Image, BottomUpBgr };

    DeviceContext() = default;
    // A context over an image; nullptr gives a null context. The image is looked at afresh at every
    // transfer, so it may be resized or reassigned in between.
    explicit DeviceContext(QImage* image);
    // A context over bottom-up BGR memory. Arguments that cannot describe such memory (null bits,
    // sizes below 1, a stride shorter than width * 3) give a null context.
    DeviceContext(std::uint8_t* bits, int width, int height, int stride);

    Kind kind() const { return m_kind; }
    bool isNull() const { return m_kind == Kind::Null; }
    // The surface's size in pixels; 0 for a null context.
    int width() const;
    int height() const;

    QImage* image() const { return m_image; }
    std::uint8_t* bits() const { return m_bits; }
    int stride() const { return m_stride; }

    // The surface as an upright image: a deep copy for bottom-up memory, the image itself
    // (shared, copy-on-write) for an image context, a null image for a null context.
    QImage toImage() const;

private:
    Kind m_kind = Kind::Null;
    QImage* m_image = nullptr;
    std::uint8_t* m_bits = nullptr;
    int m_width = 0;
    int m_height = 0;
    int m_stride = 0;
};

// Copies the w x h rectangle at (sx, sy) of src to (x, y) of dst, combining source and
// destination with rop. The rectangle is clipped to both surfaces; a width or height of 0 copies
// nothing. Colours are carried byte for byte between the layouts (the alpha byte of 32-bit images
// is ignored when read and written as opaque). Overlapping transfers within one surface behave as
// if the source were read completely first.
//
// Returns false, changing nothing, when either context is null (or missing), when a surface is an
// image in a format other than RGB32, ARGB32, ARGB32_Premultiplied, RGB888 or BGR888, when the
// extent is negative, or when rop needs a brush pattern. Blackness, Whiteness and DstInvert do not
// read the source but still require a valid one, as every call site passes one.
bool BitBlt(DeviceContext* dst, int x, int y, int w, int h, const DeviceContext* src, int sx, int sy,
            RasterOp rop);

// Copies the sw x sh rectangle at (sx, sy) of src onto the w x h rectangle at (x, y) of dst,
// scaled with nearest-neighbour sampling. Only SrcCopy is supported. Returns false, changing
// nothing, for null contexts, unsupported image formats, other raster operations or extents
// below 1.
bool StretchBlt(DeviceContext* dst, int x, int y, int w, int h, const DeviceContext* src, int sx, int sy,
                int sw, int sh, RasterOp rop);

} // namespace platform
