// Damaged HEIC, HEIF and AVIF data through the phone-photo decoder the way the thumbnails use it:
// one buffer for file after file, its memory kept for reuse, every decoded picture scaled down to
// a thumbnail, the small picture the file carries (as the previews take it), and the metadata
// reader on the same bytes (it finds the EXIF block through the same container parser).
// Decoding the same bytes a second time must succeed or fail alike. (Not give the same pixels:
// for some damaged HEVC data libde265 leaves parts of the picture undefined without a warning,
// which libheif passes on.)
//
//   cmake --preset fuzz && cmake --build --preset fuzz --target fuzz_heif_decoder
//   build/fuzz/fuzz/fuzz_heif_decoder -dict=fuzz/heif.dict -max_len=65536 -reduce_inputs=0 \
//       -use_value_profile=1 -timeout=10 -rss_limit_mb=4096 CORPUS_DIR fuzz/corpus/heif
//
// The seeds are small files made with libheif's own encoders from the tests' pictures and two
// wallpaper photos (heif-enc): HEIC and AVIF, a portrait turned by its container and one mirrored
// by it, with EXIF, alpha, ten bits, a picture wrapped into a grid for its cropping, one with a
// thumbnail, and damaged ones (cut short, flipped bytes, sizes claimed far beyond the data).
// libheif and its decoders are not instrumented (see fuzz/CMakeLists.txt): the fuzzer sees the
// wrapper's branches, and the libraries are found out by a crash, a hang, an allocation beyond
// the RSS limit or what they hand back.

#include "imaging/HeifDecoder.h"
#include "imaging/PhotoMetadata.h"
#include "imaging/cDIBSection.h"

#include "DecodedPicture.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static cDIBSection dib;
    dib.KeepMemoryForReuse(true);

    const imaging::PhotoMetadata metadata = imaging::readPhotoMetadata(data, size);
    // The decoder turns a phone photo itself; the metadata must not turn it again.
    if (imaging::looksLikeHeif(data, size) && metadata.orientation)
        __builtin_trap();

    // Any small picture the file carries will do here.
    const auto anySize = [](QSize, imaging::Orientation) { return QSize(1, 1); };
    if (imaging::decodeHeifThumbnailData(dib, data, size, anySize, kFuzzPixels))
        checkDecoded(dib);

    if (!imaging::decodeHeifData(dib, data, size, kFuzzPixels))
        return 0;
    checkDecoded(dib);
    cDIBSection again;
    if (!imaging::decodeHeifData(again, data, size, kFuzzPixels) || again.Width() != dib.Width() ||
        again.Height() != dib.Height())
        __builtin_trap();
    return 0;
}
