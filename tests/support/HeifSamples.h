#pragma once

#include <QByteArray>
#include <QImage>

#include <libheif/heif.h>

#include <cstring>

// HEIC and AVIF files made at test time with libheif's own encoders (x265, aom), as phones make
// them: the stored picture, with the turn that shows it upright recorded in the container.
struct HeifSample
{
    heif_compression_format format = heif_compression_HEVC;
    // Written as the container's rotation and mirroring (irot, imir).
    heif_orientation orientation = heif_orientation_normal;
    QByteArray exif;          // a TIFF structure, stored as the file's EXIF item
    bool lossless = true;     // RGB kept exactly, so that decoded pixels can be compared exactly
    bool alpha = false;       // the picture's alpha channel is kept
    bool premultiplied = false; // its colours are marked as multiplied by their opacity
    int bitDepth = 8;         // 10: the picture is stored with ten bits per colour
    bool gridWrapped = false; // cropped by a grid of one tile, as libheif does for macOS by default
    QImage thumbnail;         // stored as the primary's thumbnail, scaled to fit thumbnailSide
    int thumbnailSide = 0;

    HeifSample& av1() { return format = heif_compression_AV1, *this; }
    HeifSample& turned(heif_orientation o) { return orientation = o, *this; }
    HeifSample& withExif(const QByteArray& tiff) { return exif = tiff, *this; }
    HeifSample& lossy() { return lossless = false, *this; }
    HeifSample& withAlpha() { return alpha = true, *this; }
    HeifSample& premultipliedAlpha() { return alpha = premultiplied = true, *this; }
    HeifSample& deep(int bits) { return bitDepth = bits, *this; }
    HeifSample& inGrid() { return gridWrapped = true, *this; }
    HeifSample& withThumbnail(const QImage& picture, int side)
    {
        return thumbnail = picture, thumbnailSide = side, *this;
    }
};

// The encoded file; empty when libheif has no encoder for the format.
inline QByteArray encodeHeif(const QImage& picture, const HeifSample& sample = {})
{
    heif_init(nullptr);
    heif_context* context = heif_context_alloc();
    heif_encoder* encoder = nullptr;
    QByteArray file;
    if (heif_context_get_encoder_for_format(context, sample.format, &encoder).code != heif_error_Ok) {
        heif_context_free(context);
        return file;
    }
    const auto makeImage = [&sample](const QImage& picture) {
        const bool deep = sample.bitDepth > 8;
        const heif_chroma chroma =
            deep ? (sample.alpha ? heif_chroma_interleaved_RRGGBBAA_LE : heif_chroma_interleaved_RRGGBB_LE)
                 : (sample.alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB);
        heif_image* image = nullptr;
        heif_image_create(picture.width(), picture.height(), heif_colorspace_RGB, chroma, &image);
        heif_image_add_plane(image, heif_channel_interleaved, picture.width(), picture.height(),
                             sample.bitDepth);
        heif_image_set_premultiplied_alpha(image, sample.premultiplied);
        int stride = 0;
        uint8_t* plane = heif_image_get_plane(image, heif_channel_interleaved, &stride);
        const QImage rgba = picture.convertToFormat(QImage::Format_RGBA8888);
        const int channels = sample.alpha ? 4 : 3;
        for (int y = 0; y < picture.height(); ++y) {
            const uchar* in = rgba.constScanLine(y);
            uint8_t* out = plane + qsizetype(y) * stride;
            for (int x = 0; x < picture.width(); ++x) {
                for (int c = 0; c < channels; ++c) {
                    const int v = in[4 * x + c];
                    if (deep) {
                        const int wide = v << (sample.bitDepth - 8) | v >> (16 - sample.bitDepth);
                        out[2 * (channels * x + c)] = uint8_t(wide & 0xFF);
                        out[2 * (channels * x + c) + 1] = uint8_t(wide >> 8);
                    } else {
                        out[channels * x + c] = uint8_t(v);
                    }
                }
            }
        }
        return image;
    };
    heif_image* image = makeImage(picture);
    heif_color_profile_nclx* nclx = heif_nclx_color_profile_alloc();
    if (sample.lossless) {
        heif_encoder_set_lossless(encoder, 1);
        heif_encoder_set_parameter_string(encoder, "chroma", "444");
        // RGB stored as it is (no YCbCr matrix), so that lossless means the same bytes.
        nclx->matrix_coefficients = heif_matrix_coefficients_RGB_GBR;
        nclx->full_range_flag = 1;
        heif_image_set_nclx_color_profile(image, nclx);
    } else {
        heif_encoder_set_lossy_quality(encoder, 80);
    }
    heif_encoding_options* options = heif_encoding_options_alloc();
    options->output_nclx_profile = nclx;
    // Cropped by a property as phones do, unless asked for the grid.
    options->macOS_compatibility_workaround = sample.gridWrapped;
    options->image_orientation = sample.orientation;
    heif_image_handle* handle = nullptr;
    if (heif_context_encode_image(context, image, encoder, options, &handle).code == heif_error_Ok) {
        if (!sample.thumbnail.isNull()) {
            heif_image* small = makeImage(sample.thumbnail);
            heif_image_set_nclx_color_profile(small, nclx);
            heif_image_handle* thumbnail = nullptr;
            heif_context_encode_thumbnail(context, small, handle, encoder, options, sample.thumbnailSide,
                                          &thumbnail);
            if (thumbnail)
                heif_image_handle_release(thumbnail);
            heif_image_release(small);
        }
        if (!sample.exif.isEmpty()) {
            const QByteArray item = QByteArray("Exif\0\0", 6) + sample.exif;
            heif_context_add_exif_metadata(context, handle, item.constData(), int(item.size()));
        }
        heif_writer writer{1, [](heif_context*, const void* data, size_t size, void* into) {
                               static_cast<QByteArray*>(into)->append(static_cast<const char*>(data),
                                                                      qsizetype(size));
                               return heif_error{heif_error_Ok, heif_suberror_Unspecified, ""};
                           }};
        heif_context_write(context, &writer, &file);
        heif_image_handle_release(handle);
    }
    heif_encoding_options_free(options);
    heif_nclx_color_profile_free(nclx);
    heif_image_release(image);
    heif_encoder_release(encoder);
    heif_context_free(context);
    return file;
}

// Where a box of the given type begins (its size field), searching from `from`; -1 when absent.
inline qsizetype heifBoxAt(const QByteArray& file, const char* type, qsizetype from = 0)
{
    const qsizetype at = file.indexOf(QByteArray(type, 4), from);
    return at < 4 ? -1 : at - 4;
}

// The file with the image size it claims (its ispe boxes) replaced: a header that promises a
// picture far larger than the file could hold.
inline QByteArray withClaimedSize(QByteArray file, quint32 width, quint32 height)
{
    for (qsizetype ispe = heifBoxAt(file, "ispe"); ispe >= 0; ispe = heifBoxAt(file, "ispe", ispe + 8)) {
        for (int i = 0; i < 4; ++i) {
            file[ispe + 12 + i] = char(width >> (24 - 8 * i));
            file[ispe + 16 + i] = char(height >> (24 - 8 * i));
        }
    }
    return file;
}

// A file of a grid (see HeifSample::inGrid) whose grid data claims another size of the picture
// its tiles make up.
inline QByteArray withGridSize(QByteArray file, quint16 width, quint16 height)
{
    const qsizetype idat = heifBoxAt(file, "idat");
    if (idat < 0)
        return QByteArray();
    // version, flags, rows - 1, columns - 1, then the sizes in 16 bits
    file[idat + 12] = char(width >> 8), file[idat + 13] = char(width & 0xFF);
    file[idat + 14] = char(height >> 8), file[idat + 15] = char(height & 0xFF);
    return file;
}
