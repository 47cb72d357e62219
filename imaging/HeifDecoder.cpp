#include "imaging/HeifDecoder.h"

#include "imaging/RegularFile.h"
#include "imaging/ZeroedBlock.h"
#include "imaging/cDIBSection.h"

#include <libheif/heif.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <exception>
#include <memory>
#include <mutex>

namespace imaging {

namespace {

struct FreeContext
{
    void operator()(heif_context* c) const { heif_context_free(c); }
};
struct ReleaseHandle
{
    void operator()(heif_image_handle* h) const { heif_image_handle_release(h); }
};
struct ReleaseImage
{
    void operator()(heif_image* i) const { heif_image_release(i); }
};
struct FreeOptions
{
    void operator()(heif_decoding_options* o) const { heif_decoding_options_free(o); }
};
using Context = std::unique_ptr<heif_context, FreeContext>;
using Handle = std::unique_ptr<heif_image_handle, ReleaseHandle>;
using Image = std::unique_ptr<heif_image, ReleaseImage>;
using Options = std::unique_ptr<heif_decoding_options, FreeOptions>;

// The decoders are registered once for the whole process and stay until it ends.
void initialiseLibheif()
{
    static std::once_flag once;
    std::call_once(once, [] { heif_init(nullptr); });
}

// The parsed file and its primary image; empty when libheif cannot make sense of the data. The
// data must outlive both, as libheif reads it where it lies.
struct Opened
{
    Context context;
    Handle primary;
};

Opened open(const std::uint8_t* data, std::size_t size)
{
    Opened opened;
    if (!data || !looksLikeHeif(data, size))
        return opened;
    initialiseLibheif();
    opened.context.reset(heif_context_alloc());
    if (!opened.context)
        return opened;
    // Tiles are decoded on the calling thread: the thumbnails already keep every core busy
    // with files of their own.
    heif_context_set_max_decoding_threads(opened.context.get(), 0);
    if (heif_context_read_from_memory_without_copy(opened.context.get(), data, size, nullptr).code !=
        heif_error_Ok)
        return Opened();
    heif_image_handle* primary = nullptr;
    if (heif_context_get_primary_image_handle(opened.context.get(), &primary).code != heif_error_Ok ||
        !primary)
        return Opened();
    opened.primary.reset(primary);
    return opened;
}

// The EXIF item begins with the offset, from the end of that field, of the TIFF header (past the
// "Exif" and two zero bytes that most writers put first).
std::vector<std::uint8_t> exifOf(const heif_image_handle* handle, std::size_t fileSize)
{
    heif_item_id id = 0;
    if (heif_image_handle_get_list_of_metadata_block_IDs(handle, "Exif", &id, 1) < 1)
        return {};
    const std::size_t size = heif_image_handle_get_metadata_size(handle, id);
    if (size < 4 || size > fileSize)
        return {};
    std::vector<std::uint8_t> item(size);
    if (heif_image_handle_get_metadata(handle, id, item.data()).code != heif_error_Ok)
        return {};
    const std::uint32_t offset =
        std::uint32_t(item[0]) << 24 | std::uint32_t(item[1]) << 16 | std::uint32_t(item[2]) << 8 | item[3];
    if (offset > size - 4)
        return {};
    return std::vector<std::uint8_t>(item.begin() + 4 + offset, item.end());
}

// A colour over white at the given opacity, for colours stored as they are or already
// multiplied by their opacity.
std::uint8_t overWhite(std::uint8_t colour, std::uint8_t alpha, bool premultiplied)
{
    const unsigned white = 255u - alpha;
    if (premultiplied)
        return static_cast<std::uint8_t>(std::min(255u, colour + white));
    return static_cast<std::uint8_t>((colour * alpha + 255u * white + 127u) / 255u);
}

bool decodeOpened(cDIBSection& cDib, const Opened& opened, heif_image_handle* handle, std::int64_t maxPixels)
{
    const int width = heif_image_handle_get_width(handle);
    const int height = heif_image_handle_get_height(handle);
    if (width < 1 || height < 1 || std::int64_t(width) * height > maxPixels)
        return false;
    const std::int64_t stride = (std::int64_t(width) * 3 + 3) & ~std::int64_t(3);
    if (stride * height > INT32_MAX)
        return false;
    // A picture made of tiles (a grid, as phones write) or laid over a canvas takes its size from
    // data of its own, which libheif believes: 8 bytes may claim 24832 x 16200 pixels for a grid
    // of one 98 x 64 tile, and take 2.3 GB and 13 s to fill. libheif's limit holds every side it
    // decodes, canvas or tile, to the longest side of the image's size property (as stored,
    // before turning and cropping), with room for the padding of coded pictures to whole blocks
    // of up to 128 pixels. A square of that side must be within twice the pixel limit, which
    // only pictures more than 20,000 pixels long fail.
    const int ispeWidth = heif_image_handle_get_ispe_width(handle);
    const int ispeHeight = heif_image_handle_get_ispe_height(handle);
    const int longest = std::max(ispeWidth, ispeHeight);
    if (ispeWidth < 1 || ispeHeight < 1 || std::int64_t(ispeWidth) * ispeHeight > maxPixels ||
        std::int64_t(longest) * longest > 2 * maxPixels)
        return false;
    heif_context_set_maximum_image_size_limit(opened.context.get(), (longest + 127) / 128 * 128 + 1);

    const Options options(heif_decoding_options_alloc());
    if (!options)
        return false;
    options->convert_hdr_to_8bit = 1;
    // What the decoder had to make up for damaged data is not the file's picture.
    options->strict_decoding = 1;
    const bool alpha = heif_image_handle_has_alpha_channel(handle) != 0;
    heif_image* decoded = nullptr;
    const heif_error error =
        heif_decode_image(handle, &decoded, heif_colorspace_RGB,
                          alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB, options.get());
    const Image image(decoded);
    if (error.code != heif_error_Ok || !image)
        return false;
    // The decoded picture must be the one the header claimed, which the limit was checked on.
    if (heif_image_get_width(image.get(), heif_channel_interleaved) != width ||
        heif_image_get_height(image.get(), heif_channel_interleaved) != height ||
        heif_image_get_bits_per_pixel_range(image.get(), heif_channel_interleaved) != 8)
        return false;
    int sourceStride = 0;
    const std::uint8_t* source =
        heif_image_get_plane_readonly(image.get(), heif_channel_interleaved, &sourceStride);
    const int channels = alpha ? 4 : 3;
    if (!source || sourceStride < width * channels)
        return false;

    if (!cDib.Create(width, height))
        return false;
    const bool premultiplied = heif_image_is_premultiplied_alpha(image.get()) != 0;
    const std::int32_t targetStride = cDib.BytesPerScanLine();
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* in = source + std::ptrdiff_t(y) * sourceStride;
        std::uint8_t* out = cDib.DIBSectionBitsPtr() + std::ptrdiff_t(height - 1 - y) * targetStride;
        for (int x = 0; x < width; ++x, in += channels, out += 3) {
            if (alpha) {
                out[0] = overWhite(in[2], in[3], premultiplied);
                out[1] = overWhite(in[1], in[3], premultiplied);
                out[2] = overWhite(in[0], in[3], premultiplied);
            } else {
                out[0] = in[2];
                out[1] = in[1];
                out[2] = in[0];
            }
        }
    }
    return true;
}

// The whole of a HEIF or AVIF file (libheif reads it where it lies), with its size; empty for
// anything else, which the first bytes tell.
ZeroedBlock readHeifFile(const QByteArray& nativePath, std::size_t& size)
{
    size = 0;
    RegularFile file(nativePath);
    if (!file.isOpen() || file.size() <= 0 || file.size() > kMaxJpegFileBytes)
        return ZeroedBlock();
    std::uint8_t head[64];
    const std::int64_t got = file.read(head, sizeof head);
    if (got <= 0 || !looksLikeHeif(head, std::size_t(got)))
        return ZeroedBlock();
    ZeroedBlock bytes(std::size_t(file.size()));
    if (!bytes)
        return ZeroedBlock();
    std::memcpy(bytes.data(), head, std::size_t(got));
    const std::int64_t rest = file.read(bytes.data() + got, bytes.size() - std::size_t(got));
    if (rest < 0)
        return ZeroedBlock();
    size = std::size_t(got + rest);
    return bytes;
}

} // namespace

bool looksLikeHeif(const std::uint8_t* data, std::size_t size)
{
    if (!data || size < 12)
        return false;
    const int head = static_cast<int>(std::min<std::size_t>(size, 64));
    return std::memcmp(data + 4, "ftyp", 4) == 0 && heif_check_filetype(data, head) != heif_filetype_no;
}

bool decodeHeifData(cDIBSection& cDib, const std::uint8_t* data, std::size_t size, std::int64_t maxPixels)
{
    try {
        const Opened opened = open(data, size);
        return opened.primary && decodeOpened(cDib, opened, opened.primary.get(), maxPixels);
    } catch (const std::exception&) {
        // No memory for the picture (or for libheif's own copies): as unreadable as a damaged file.
        return false;
    }
}

bool decodeHeif(cDIBSection& cDib, const QByteArray& nativePath, std::int64_t maxPixels)
{
    try {
        std::size_t size = 0;
        const ZeroedBlock bytes = readHeifFile(nativePath, size);
        return bytes && decodeHeifData(cDib, bytes.data(), size, maxPixels);
    } catch (const std::exception&) {
        return false;
    }
}

bool decodeHeifThumbnailData(cDIBSection& cDib, const std::uint8_t* data, std::size_t size,
                             const CoverFunction& cover, std::int64_t maxPixels)
{
    try {
        const Opened opened = open(data, size);
        if (!opened.primary)
            return false;
        const int width = heif_image_handle_get_width(opened.primary.get());
        const int height = heif_image_handle_get_height(opened.primary.get());
        if (width < 1 || height < 1)
            return false;
        const QSize wanted = cover(QSize(width, height), Orientation::Normal);
        const int count = heif_image_handle_get_number_of_thumbnails(opened.primary.get());
        if (count < 1 || count > 16)
            return false;
        std::vector<heif_item_id> ids(static_cast<std::size_t>(count));
        const int listed =
            heif_image_handle_get_list_of_thumbnail_IDs(opened.primary.get(), ids.data(), count);
        Handle best;
        for (int i = 0; i < listed; ++i) {
            heif_image_handle* thumbnail = nullptr;
            if (heif_image_handle_get_thumbnail(opened.primary.get(), ids[std::size_t(i)], &thumbnail).code !=
                    heif_error_Ok ||
                !thumbnail)
                continue;
            Handle candidate(thumbnail);
            const int w = heif_image_handle_get_width(thumbnail);
            const int h = heif_image_handle_get_height(thumbnail);
            if (smallPictureWillDo(QSize(w, h), QSize(width, height), wanted) &&
                (!best || std::int64_t(w) * h < std::int64_t(heif_image_handle_get_width(best.get())) *
                                                    heif_image_handle_get_height(best.get())))
                best = std::move(candidate);
        }
        return best && decodeOpened(cDib, opened, best.get(), maxPixels);
    } catch (const std::exception&) {
        return false;
    }
}

std::vector<std::uint8_t> heifExif(const std::uint8_t* data, std::size_t size) noexcept
{
    try {
        const Opened opened = open(data, size);
        return opened.primary ? exifOf(opened.primary.get(), size) : std::vector<std::uint8_t>();
    } catch (const std::exception&) {
        return {};
    }
}

} // namespace imaging
