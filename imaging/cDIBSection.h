#pragma once

#include "imaging/ZeroedBlock.h"
#include "platform/DeviceContext.h"

#include <QImage>

#include <cstdint>
#include <cstdlib>
#include <memory>

// The program's pixel buffer: 24 bits per pixel in the order blue, green, red, every row padded to
// a multiple of 4 bytes (BytesPerScanLine), rows stored bottom-up, so the pixel in column c of
// row r counted from the bottom starts at r * BytesPerScanLine() + c * 3. Decoders write straight
// into that memory (DIBSectionBitsPtr); block transfers go through the buffer's own device
// context (hdc).
//
// The buffer is either empty (no memory, hdc() and DIBSectionBitsPtr() null) or ready. Width()
// and Height() report the size last requested, even when that request failed or the buffer was
// cleared since: callers look at the result of Create before they use the buffer.
//
// An instance is used by one thread at a time; different instances are independent.
class cDIBSection
{
public:
    cDIBSection() = default;
    ~cDIBSection();
    cDIBSection(const cDIBSection&) = delete;
    cDIBSection& operator=(const cDIBSection&) = delete;

    // bAsDIB true only says that this is not supported (through the dialog provider) and returns
    // false; false puts the picture on the clipboard as an image. False when the buffer is empty
    // or there is no clipboard (no QGuiApplication).
    bool CopyToClipboard(bool bAsDIB = true);

    // Sets the size and gives the buffer fresh pixel memory of that size, releasing the memory it
    // had; lhDC is accepted for the sake of the callers and not needed. hDib receives the new
    // section's identity (nullptr when it could not be made). Throws std::overflow_error when
    // the size in bytes does not fit a signed 32-bit integer.
    bool CreateDIB(platform::DeviceContext* lhDC, std::int32_t lWidth, std::int32_t lHeight,
                   const void*& hDib);

    // Creates the buffer at the picture's size and copies the picture into it. Pictures in
    // formats a device context cannot read are converted to RGB32 first; transparency is ignored.
    void CreateFromPicture(const QImage& picThis);

    // Makes the buffer ready at lWidth x lHeight pixels; false (and empty) when a size is below 1
    // or the memory cannot be had. The pixel contents are unspecified. Throws std::overflow_error
    // when BytesPerScanLine or the size in bytes overflows a signed 32-bit integer.
    bool Create(std::int32_t lWidth, std::int32_t lHeight);

    // Width * 3 rounded up to a multiple of 4; throws std::overflow_error when width * 3 + 3 does
    // not fit a signed 32-bit integer.
    std::int32_t BytesPerScanLine() const;
    std::int32_t Width() const { return m_width; }
    std::int32_t Height() const { return m_height; }

    // One block transfer from lhDC into this buffer at (0, 0); a negative width or height stands
    // for the buffer's own.
    void LoadPictureBlt(const platform::DeviceContext* lhDC, std::int32_t lSrcLeft = 0,
                        std::int32_t lSrcTop = 0, std::int32_t lSrcWidth = -1, std::int32_t lSrcHeight = -1,
                        platform::RasterOp eRop = platform::RasterOp::SrcCopy);

    // One block transfer of this buffer into lhDC, unscaled; a negative width or height stands
    // for the buffer's own, so a smaller extent crops.
    void PaintPicture(platform::DeviceContext* lhDC, std::int32_t lDestLeft = 0, std::int32_t lDestTop = 0,
                      std::int32_t lDestWidth = -1, std::int32_t lDestHeight = -1, std::int32_t lSrcLeft = 0,
                      std::int32_t lSrcTop = 0, platform::RasterOp eRop = platform::RasterOp::SrcCopy) const;

    // The buffer's own device context; nullptr when empty.
    platform::DeviceContext* hdc() const { return m_bits ? &m_dc : nullptr; }
    // Identifies the pixel memory; nullptr when empty.
    const void* hDib() const { return m_bits; }
    // The first byte of the bottom row; nullptr when empty.
    std::uint8_t* DIBSectionBitsPtr() const { return m_bits; }

    // Fills every pixel with random colour (blue 0, green and red random) or, with bGray, random
    // grey. The bytes past each row's last pixel are left alone. Does nothing when empty.
    void RandomiseBits(bool bGray = false);

    // Makes the buffer empty; the size stays. Harmless when already empty.
    void ClearUp();

    // A new buffer of lNewWidth x lNewHeight pixels (height first) holding this one bilinearly
    // resampled; an exact copy when the size is the same. nullptr when that buffer cannot be
    // created (a size below 1, no memory) or this one is empty. Throws std::out_of_range when
    // this buffer is 1 pixel wide or high and the size differs, and std::overflow_error for sizes
    // whose byte counts overflow; nothing is returned then.
    std::unique_ptr<cDIBSection> Resample(std::int32_t lNewHeight, std::int32_t lNewWidth) const;

    // With keep on, ClearUp (and so Create) hands the pixel memory to a spare slot instead of
    // freeing it, and Create takes it from there when it is large enough; the buffer still counts
    // as empty in between. Saves the page faults of a fresh block for every image of a series.
    // Turning it off frees the spare block. Off by default.
    void KeepMemoryForReuse(bool keep);

private:
    void ResampleInto(cDIBSection& target) const;
    bool allocate(std::size_t bytes);

    std::int32_t m_width = 0;
    std::int32_t m_height = 0;
    imaging::ZeroedBlock m_block;
    std::uint8_t* m_bits = nullptr;
    mutable platform::DeviceContext m_dc;
    imaging::ZeroedBlock m_spare;
    bool m_keepMemory = false;
};
