#pragma once

#include "imaging/PhotoMetadata.h"
#include "imaging/ZeroedBlock.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

class cDIBSection;

namespace imaging {

class RegularFile;

// The largest image, in pixels, that is decoded at all: 200 million pixels, a 600 MB buffer. That
// is a third more than the largest camera sensors sold (about 150 million pixels) and leaves
// room for most stitched panoramas; anything larger is far more likely a damaged or hostile
// header (a JPEG header may claim up to 65,535 x 65,535 pixels in a file of a few hundred bytes)
// than a picture someone wants to sort. Other loaders guard themselves with the same limit.
inline constexpr std::int64_t kMaxDecodePixels = 200'000'000;
constexpr std::int64_t maxDecodePixels()
{
    return kMaxDecodePixels;
}

// Files larger than this are not read: no JPEG within the pixel limit needs anywhere near it.
inline constexpr std::int64_t kMaxJpegFileBytes = std::int64_t(512) << 20;

// Decodes JPEG files at full size into a cDIBSection, in its layout (blue, green, red; rows of
// BytesPerScanLine bytes; bottom-up) and straight into its memory. Keeps the file buffer from one
// image to the next, so a thread that loads a series of files should keep one decoder. Every
// file is read by a TurboJPEG instance of its own, so what happens to a file depends on that file
// alone: an instance keeps the tables of the files it has read, and serves files that lack their
// own with them; and once reading a header has failed it fails on every later file (TurboJPEG
// 2.1). A decoder belongs to one thread at a time; decoders share nothing, and none of them ever
// shows a message.
class JpegDecoder
{
public:
    enum class Status
    {
        Decoded,      // the whole image is in the buffer, which has exactly the image's size
        NotDecodable, // not a file, not a JPEG, damaged, too large, or no memory for the buffer
        StartFailed,  // the decoder itself could not be started; see startErrorCode
    };

    struct Result
    {
        Status status = Status::NotDecodable;
        int startErrorCode = 0; // for StartFailed: TurboJPEG's error result, -1

        bool decoded() const { return status == Status::Decoded; }
    };

    // Starts a TurboJPEG decompressor, which the decoder destroys with tjDestroy; returns nullptr
    // on failure. Replaceable so that the failure can be provoked.
    using StartFunction = void* (*)();

    explicit JpegDecoder(std::int64_t maxPixels = maxDecodePixels(), StartFunction start = nullptr);
    JpegDecoder(const JpegDecoder&) = delete;
    JpegDecoder& operator=(const JpegDecoder&) = delete;

    // Decodes the file at the native path into cDib. The buffer is left as it was when the file
    // cannot be read or its header is not that of a decodable JPEG within the limit; once the
    // header has been accepted it is recreated at the image's size, and on NotDecodable its
    // pixels are then undefined. Only regular files (or links to them) are read, so a FIFO, a
    // device or a folder fails at once instead of blocking. With `metadata`, that receives what
    // the same bytes tell about the picture, whether or not they decode, and the file's time of
    // last change; it is empty when the file cannot be read.
    Result decode(cDIBSection& cDib, const QByteArray& nativePath, PhotoMetadata* metadata = nullptr);

    // decode, and where the file is a phone's photo (HEIC, HEIF, AVIF) rather than a JPEG, that
    // decoded from the same bytes as decodeHeifData decodes it, turned by its container.
    Result decodePhoto(cDIBSection& cDib, const QByteArray& nativePath, PhotoMetadata* metadata = nullptr);

    // A quick look at the file: the small picture a camera stored in its EXIF block, or a phone
    // in its HEIF container, where that will do; else a JPEG decoded at the smallest of
    // TurboJPEG's reduced sizes that still covers what `cover` asks for. Decoded only when such a
    // size is smaller than the full one and reading at it is quick (a baseline file of at most a
    // byte per eight pixels), else NotDecodable; `headerRead` tells whether the file's header was
    // that of a JPEG within the limit. Unlike decode, data libjpeg makes up for a damaged or short
    // file is accepted, as a look is all it is. `metadata` receives what a JPEG's bytes tell (the
    // orientation is needed first) when the header was read, and the file's time of last change.
    Result decodeReduced(cDIBSection& cDib, const QByteArray& nativePath, const CoverFunction& cover,
                         PhotoMetadata* metadata, bool* headerRead = nullptr);

    // The same for JPEG data already in memory.
    Result decodeData(cDIBSection& cDib, const std::uint8_t* data, std::size_t size,
                      PhotoMetadata* metadata = nullptr);

private:
    struct Destroy
    {
        void operator()(void* handle) const;
    };
    using Handle = std::unique_ptr<void, Destroy>;

    Handle start(Result& result) const;
    Result decodeFile(cDIBSection& cDib, const QByteArray& nativePath, PhotoMetadata* metadata,
                      bool phonesToo);
    // The whole file into the buffer.
    bool readFile(const QByteArray& nativePath, PhotoMetadata* metadata);
    // Makes the buffer ready for the file (a regular file within the size limit), none of it read
    // yet; then reads on until `upTo` bytes of it are in the buffer, fewer where it ends.
    bool startReading(const RegularFile& file, PhotoMetadata* metadata);
    bool readOn(RegularFile& file, std::size_t upTo);
    // Gives a large file's buffer back and forgets the file.
    void releaseFile();
    bool thumbnailFirst(cDIBSection& cDib, const std::vector<std::uint8_t>& thumbnail, int width, int height,
                        QSize wanted);
    Result decodeWith(Handle handle, cDIBSection& cDib, const std::uint8_t* data, std::size_t size);

    StartFunction m_start;
    std::int64_t m_maxPixels;
    ZeroedBlock m_file;
    std::size_t m_fileSize = 0;
};

} // namespace imaging
