#include "imaging/JpegDecoder.h"

#include "imaging/HeifDecoder.h"
#include "imaging/JpegMarkers.h"
#include "imaging/RegularFile.h"
#include "imaging/cDIBSection.h"

#include <turbojpeg.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <exception>
#include <new>
#include <vector>

namespace imaging {

namespace {

void* startTurboJpeg()
{
    return tjInitDecompress();
}

// A file buffer up to this size is kept for the next image; a larger one is given back at once.
constexpr std::size_t kKeptFileBuffer = std::size_t(64) << 20;

// What is read of a file first for a quick look at it: enough for the segments before the first
// scan of any camera's photo (an EXIF block is at most 64 KiB).
constexpr std::size_t kHeadBytes = std::size_t(256) << 10;

// The data as libjpeg reads it, without the stray bytes between segments that it skips with a
// warning: segments and entropy-coded data are copied, anything else up to the next marker is
// left out, and the copy ends with the end-of-image marker (or where the data ends). Empty when
// there was nothing to leave out.
std::vector<std::uint8_t> withoutStrayBytes(const std::uint8_t* data, std::size_t size)
{
    if (size < 2 || data[0] != 0xFF || data[1] != 0xD8)
        return {};
    std::vector<std::uint8_t> kept(data, data + 2);
    bool strayBytes = false;
    std::size_t i = 2;
    while (const std::optional<std::uint8_t> next = jpeg::nextMarker(data, size, i, strayBytes)) {
        const std::uint8_t marker = *next;
        if (marker == 0x00) {
            strayBytes = true; // libjpeg skips a stuffed zero outside a scan as two stray bytes
            continue;
        }
        kept.push_back(0xFF);
        kept.push_back(marker);
        if (marker == 0xD9)
            break;
        if (jpeg::isStandalone(marker))
            continue;
        std::size_t end = size;
        if (size - i >= 2) {
            const std::size_t length = std::size_t(data[i]) << 8 | data[i + 1];
            end = std::min(size, i + std::max<std::size_t>(length, 2));
        }
        if (marker == 0xDA) {
            // Entropy-coded data runs to the first marker that is neither a stuffed 0xFF00 nor
            // a restart marker.
            while (end < size) {
                if (data[end] == 0xFF && end + 1 < size && data[end + 1] != 0x00 && data[end + 1] != 0xFF &&
                    (data[end + 1] < 0xD0 || data[end + 1] > 0xD7))
                    break;
                ++end;
            }
        }
        kept.insert(kept.end(), data + i, data + end);
        i = end;
    }
    if (!strayBytes)
        return {};
    return kept;
}

// The buffer made ready for a picture of that size; false where the memory cannot be had.
bool created(cDIBSection& cDib, int width, int height)
{
    try {
        return cDib.Create(width, height);
    } catch (const std::exception&) {
        return false;
    }
}

// How the frame is coded, as far as reading it reduced is concerned: progressively (libjpeg then
// keeps every coefficient of the picture until the last scan, whatever size it is read at), and
// where its first scan begins (what follows is mostly entropy-coded data).
struct FrameCoding
{
    bool progressive = false;
    std::size_t firstScan = 0;
};

FrameCoding frameCoding(const std::uint8_t* data, std::size_t size)
{
    FrameCoding coding;
    bool strayBytes = false;
    std::size_t i = 2;
    while (const std::optional<std::uint8_t> next = jpeg::nextMarker(data, size, i, strayBytes)) {
        const std::uint8_t marker = *next;
        if (marker == 0xC2 || marker == 0xC6 || marker == 0xCA || marker == 0xCE)
            coding.progressive = true;
        if (marker == 0xDA || marker == 0xD9) {
            coding.firstScan = i;
            break;
        }
        if (jpeg::isStandalone(marker) || marker == 0x00)
            continue;
        if (size - i < 2)
            break;
        i += std::max<std::size_t>(std::size_t(data[i]) << 8 | data[i + 1], 2);
    }
    return coding;
}

// A pattern no decoded row plausibly shows: a picture's row would have to repeat it byte for byte.
std::uint8_t rowMark(std::size_t i)
{
    return static_cast<std::uint8_t>(i * 151 + 89);
}

bool rowMarked(const std::uint8_t* row, std::size_t bytes)
{
    for (std::size_t i = 0; i < bytes; ++i)
        if (row[i] != rowMark(i))
            return false;
    return true;
}

// Reading at a reduced size saves the inverse transforms and the colour conversion (about a
// nanosecond a pixel here) but not the entropy decoding of every coefficient (about eight a byte of
// coded data). A camera's photo of a few megabytes thus costs two thirds of its full read even at
// an eighth; only a baseline file of at most a byte of coded data per eight pixels is read reduced
// in half the time or less, quick enough to be worth a look before the exact picture.
bool quickWhenReduced(const FrameCoding& coding, std::size_t fileSize, int width, int height)
{
    return !coding.progressive && coding.firstScan > 0 && fileSize >= coding.firstScan &&
           std::int64_t(fileSize - coding.firstScan) * 8 <= std::int64_t(width) * height;
}

} // namespace

JpegDecoder::JpegDecoder(std::int64_t maxPixels, StartFunction start)
    : m_start(start ? start : startTurboJpeg), m_maxPixels(maxPixels)
{
}

void JpegDecoder::Destroy::operator()(void* handle) const
{
    tjDestroy(handle);
}

JpegDecoder::Handle JpegDecoder::start(Result& result) const
{
    Handle handle(m_start());
    if (!handle) {
        // TurboJPEG reports a failed start only by its null handle; its error result is -1.
        result.status = Status::StartFailed;
        result.startErrorCode = -1;
    }
    return handle;
}

JpegDecoder::Result JpegDecoder::decode(cDIBSection& cDib, const QByteArray& nativePath,
                                        PhotoMetadata* metadata)
{
    return decodeFile(cDib, nativePath, metadata, false);
}

JpegDecoder::Result JpegDecoder::decodePhoto(cDIBSection& cDib, const QByteArray& nativePath,
                                             PhotoMetadata* metadata)
{
    return decodeFile(cDib, nativePath, metadata, true);
}

JpegDecoder::Result JpegDecoder::decodeFile(cDIBSection& cDib, const QByteArray& nativePath,
                                            PhotoMetadata* metadata, bool phonesToo)
{
    if (metadata)
        *metadata = PhotoMetadata();
    Result result;
    Handle handle = start(result);
    if (!handle) {
        // A phone's photo needs no TurboJPEG.
        if (phonesToo && decodeHeif(cDib, nativePath, m_maxPixels))
            result.status = Status::Decoded;
        return result;
    }
    if (readFile(nativePath, metadata)) {
        result = decodeWith(std::move(handle), cDib, m_file.data(), m_fileSize);
        if (metadata) {
            const std::optional<ClockTime> modified = metadata->modified;
            *metadata = readPhotoMetadata(m_file.data(), m_fileSize);
            metadata->modified = modified;
        }
        if (phonesToo && !result.decoded() && looksLikeHeif(m_file.data(), m_fileSize) &&
            decodeHeifData(cDib, m_file.data(), m_fileSize, m_maxPixels))
            result.status = Status::Decoded;
    }
    releaseFile();
    return result;
}

JpegDecoder::Result JpegDecoder::decodeData(cDIBSection& cDib, const std::uint8_t* data, std::size_t size,
                                            PhotoMetadata* metadata)
{
    if (metadata)
        *metadata = PhotoMetadata();
    Result result;
    Handle handle = start(result);
    if (!handle)
        return result;
    result = decodeWith(std::move(handle), cDib, data, size);
    if (metadata)
        *metadata = readPhotoMetadata(data, size);
    return result;
}

// Reading the whole file reduced still means decoding every coefficient of it, which for a camera's
// photo of several megabytes costs half of what the full size does; the small picture that the
// camera put into the EXIF block costs next to nothing.
bool JpegDecoder::thumbnailFirst(cDIBSection& cDib, const std::vector<std::uint8_t>& thumbnail, int width,
                                 int height, QSize wanted)
{
    if (thumbnail.empty() || thumbnail.size() > ULONG_MAX)
        return false;
    // An instance of its own: the photo's tables must not fill in for missing ones, and a failure
    // must not carry over to the photo.
    Result started;
    const Handle handle = start(started);
    if (!handle)
        return false;
    int w = 0;
    int h = 0;
    int subsampling = 0;
    int colourSpace = 0;
    const auto size = static_cast<unsigned long>(thumbnail.size());
    if (tjDecompressHeader3(handle.get(), thumbnail.data(), size, &w, &h, &subsampling, &colourSpace) != 0 ||
        !smallPictureWillDo(QSize(w, h), QSize(width, height), wanted) || !created(cDib, w, h))
        return false;
    return tjDecompress2(handle.get(), thumbnail.data(), size, cDib.DIBSectionBitsPtr(), w,
                         cDib.BytesPerScanLine(), h, TJPF_BGR, TJFLAG_BOTTOMUP | TJFLAG_STOPONWARNING) == 0;
}

JpegDecoder::Result JpegDecoder::decodeReduced(cDIBSection& cDib, const QByteArray& nativePath,
                                               const CoverFunction& cover, PhotoMetadata* metadata,
                                               bool* headerRead)
{
    PhotoMetadata own;
    if (!metadata)
        metadata = &own;
    *metadata = PhotoMetadata();
    if (headerRead)
        *headerRead = false;
    Result result;
    Handle handle = start(result);
    if (!handle)
        return result;
    const auto done = [this](Result r) {
        releaseFile();
        return r;
    };
    RegularFile file(nativePath);
    if (!startReading(file, metadata))
        return done(result);
    const auto fileSize = std::size_t(file.size());
    // A camera's photo has all a look at it needs before its first scan: the EXIF block with the
    // small picture, and the frame's header. The rest of the file is read only when the photo
    // itself is to be read reduced.
    if (!readOn(file, std::min(fileSize, kHeadBytes)))
        return done(result);
    if (!jpeg::isJpeg(m_file.data(), m_fileSize)) {
        // A phone's photo: the small picture its file carries.
        if (looksLikeHeif(m_file.data(), m_fileSize) && readOn(file, fileSize) &&
            decodeHeifThumbnailData(cDib, m_file.data(), m_fileSize, cover, m_maxPixels))
            result.status = Status::Decoded;
        return done(result);
    }
    FrameCoding coding = frameCoding(m_file.data(), m_fileSize);
    if (coding.firstScan == 0) {
        if (!readOn(file, fileSize))
            return done(result);
        coding = frameCoding(m_file.data(), m_fileSize);
    }
    const std::uint8_t* data = m_file.data();
    int width = 0;
    int height = 0;
    int subsampling = 0;
    int colourSpace = 0;
    tjDecompressHeader3(handle.get(), data, static_cast<unsigned long>(m_fileSize), &width, &height,
                        &subsampling, &colourSpace);
    if (width < 1 || height < 1 || std::int64_t(width) * height > m_maxPixels)
        return done(result);
    if (headerRead)
        *headerRead = true;
    const std::optional<ClockTime> modified = metadata->modified;
    std::vector<std::uint8_t> thumbnail;
    *metadata = readPhotoMetadata(data, m_fileSize, &thumbnail);
    metadata->modified = modified;

    const QSize wanted = cover(QSize(width, height), metadata->shownAs());
    if (thumbnailFirst(cDib, thumbnail, width, height, wanted)) {
        result.status = Status::Decoded;
        return done(result);
    }
    if (!quickWhenReduced(coding, fileSize, width, height) || !readOn(file, fileSize))
        return done(result);
    const auto jpegSize = static_cast<unsigned long>(m_fileSize);
    int factors = 0;
    const tjscalingfactor* factor = tjGetScalingFactors(&factors);
    int scaledWidth = width;
    int scaledHeight = height;
    for (int i = 0; factor && i < factors; ++i) {
        const int w = TJSCALED(width, factor[i]);
        const int h = TJSCALED(height, factor[i]);
        if (w >= wanted.width() && h >= wanted.height() &&
            std::int64_t(w) * h < std::int64_t(scaledWidth) * scaledHeight) {
            scaledWidth = w;
            scaledHeight = h;
        }
    }
    if (scaledWidth == width && scaledHeight == height)
        return done(result);
    if (!created(cDib, scaledWidth, scaledHeight))
        return done(result);
    // A warning leaves libjpeg's own grey where the data is missing, which is good enough for a look.
    // But TurboJPEG also calls a fatal error a warning once a warning came before it, and then the
    // rows after the error hold whatever the buffer held. The picture's last row is written last
    // (it comes first in the bottom-up buffer): still as marked, the decoder never got there.
    std::uint8_t* const lastRow = cDib.DIBSectionBitsPtr();
    const std::size_t rowBytes = std::size_t(scaledWidth) * 3;
    for (std::size_t i = 0; i < rowBytes; ++i)
        lastRow[i] = rowMark(i);
    if (tjDecompress2(handle.get(), data, jpegSize, cDib.DIBSectionBitsPtr(), scaledWidth,
                      cDib.BytesPerScanLine(), scaledHeight, TJPF_BGR,
                      TJFLAG_BOTTOMUP | TJFLAG_LIMITSCANS) == 0 ||
        (tjGetErrorCode(handle.get()) == TJERR_WARNING && !rowMarked(lastRow, rowBytes)))
        result.status = Status::Decoded;
    return done(result);
}

bool JpegDecoder::readFile(const QByteArray& nativePath, PhotoMetadata* metadata)
{
    RegularFile file(nativePath);
    // A file that shrank meanwhile is decoded as far as it goes.
    return startReading(file, metadata) && readOn(file, std::size_t(file.size())) && m_fileSize > 0;
}

bool JpegDecoder::startReading(const RegularFile& file, PhotoMetadata* metadata)
{
    m_fileSize = 0;
    if (!file.isOpen() || file.size() <= 0 || file.size() > kMaxJpegFileBytes)
        return false;
    if (metadata)
        metadata->modified = file.modified();
    const auto size = std::size_t(file.size());
    if (size > m_file.size()) {
        m_file.reset();
        m_file = ZeroedBlock(size);
    }
    return bool(m_file);
}

bool JpegDecoder::readOn(RegularFile& file, std::size_t upTo)
{
    const std::int64_t got = file.read(m_file.data() + m_fileSize, upTo - std::min(upTo, m_fileSize));
    m_fileSize += got > 0 ? std::size_t(got) : 0;
    return got >= 0;
}

void JpegDecoder::releaseFile()
{
    if (m_file.size() > kKeptFileBuffer)
        m_file.reset();
    m_fileSize = 0;
}

// When is an image decoded whole? TurboJPEG reports fatal errors and warnings with the same
// result, -1. After a fatal error (not a JPEG, a colour space or precision it cannot convert to
// 8-bit BGR, broken tables) nothing usable is in the buffer. After a warning libjpeg has gone on
// with data of its own making: grey rows where the file ends early or a scan stops short, zeros
// for a code it cannot read. Such a picture is not the file's, so a warning is a failure too, with
// one exception: bytes between two segments that belong to neither, which some cameras write and
// libjpeg skips (with a warning). When that is why the decoder stopped, the data is decoded once
// more without those bytes, under the same rule, by a fresh instance. Every pass stops at the
// first warning, so a small file that claims a large picture is given up at once instead of being
// decoded into a field of grey.
JpegDecoder::Result JpegDecoder::decodeWith(Handle handle, cDIBSection& cDib, const std::uint8_t* data,
                                            std::size_t size)
{
    Result result;
    if (!data || size == 0 || size > ULONG_MAX)
        return result;
    const unsigned long jpegSize = size;

    // The header counts when its size could be read. The result may still be -1: for warnings
    // (stray bytes before the frame), or because TurboJPEG could not name the chroma subsampling,
    // which the decoder itself does not need.
    int width = 0;
    int height = 0;
    int subsampling = 0;
    int colourSpace = 0;
    tjDecompressHeader3(handle.get(), data, jpegSize, &width, &height, &subsampling, &colourSpace);
    if (width < 1 || height < 1 || std::int64_t(width) * height > m_maxPixels)
        return result;
    const std::int64_t stride = (std::int64_t(width) * 3 + 3) & ~std::int64_t(3);
    if (stride * height > INT32_MAX)
        return result;

    if (!created(cDib, width, height))
        return result;

    // LIMITSCANS: a progressive file with thousands of scans would keep the decoder busy for minutes.
    const auto decodeWhole = [&](const std::uint8_t* jpeg, unsigned long jpegBytes) {
        return tjDecompress2(handle.get(), jpeg, jpegBytes, cDib.DIBSectionBitsPtr(), width,
                             cDib.BytesPerScanLine(), height, TJPF_BGR,
                             TJFLAG_BOTTOMUP | TJFLAG_LIMITSCANS | TJFLAG_STOPONWARNING) == 0;
    };
    if (decodeWhole(data, jpegSize)) {
        result.status = Status::Decoded;
    } else if (tjGetErrorCode(handle.get()) == TJERR_WARNING) {
        std::vector<std::uint8_t> cleaned;
        try {
            cleaned = withoutStrayBytes(data, size);
        } catch (const std::bad_alloc&) {
            return result;
        }
        if (cleaned.empty())
            return result;
        handle = start(result);
        if (handle && decodeWhole(cleaned.data(), cleaned.size()))
            result.status = Status::Decoded;
    }
    return result;
}

} // namespace imaging
