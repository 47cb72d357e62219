// Damaged HEIC, HEIF and AVIF files through the phone-photo decoder by the paths the program
// reads them by (a file in memory here): the thumbnails' decoder, one for file after file, with
// the metadata of the same bytes; the quick look at the small picture the file carries; the
// decoder's own reading of a phone photo's file, which it takes when TurboJPEG cannot be started;
// and the metadata reader that reads the time taken from the file alone. Every decoded picture is
// scaled down to a thumbnail; both decodes of the primary image must succeed or fail alike, at
// one size (not with the same pixels: for some damaged HEVC data libde265 leaves parts of the
// picture undefined without a warning, which libheif passes on), and both metadata readers must
// find the same.
//
//   cmake --preset fuzz && cmake --build --preset fuzz --target fuzz_heif_decoder
//   build/fuzz/fuzz/fuzz_heif_decoder -dict=fuzz/heif.dict -max_len=65536 -reduce_inputs=0 \
//       -use_value_profile=1 -timeout=10 -rss_limit_mb=4096 CORPUS_DIR fuzz/corpus/heif
//
// The seeds are small files made with libheif's own encoders from the tests' pictures and two
// wallpaper photos (heif-enc): HEIC and AVIF, a portrait turned by its container and one mirrored
// by it, with EXIF, alpha, ten bits, a picture wrapped into a grid for its cropping, one with a
// thumbnail, and damaged ones (cut short, flipped bytes, sizes claimed far beyond the data); and
// phone-like files with thumbnails and EXIF that fuzz/make_fuzz_seeds writes.
// libheif and its decoders are not instrumented (see fuzz/CMakeLists.txt): the fuzzer sees the
// wrapper's branches, and the libraries are found out by a crash, a hang, an allocation beyond
// the RSS limit or what they hand back.

#include "imaging/HeifDecoder.h"
#include "imaging/JpegDecoder.h"
#include "imaging/JpegMarkers.h"
#include "imaging/PhotoMetadata.h"
#include "imaging/cDIBSection.h"

#include "DecodedPicture.h"
#include "InMemoryFile.h"

namespace {

void* noTurboJpeg()
{
    return nullptr;
}

bool sameMetadata(const imaging::PhotoMetadata& a, const imaging::PhotoMetadata& b)
{
    return a.orientation == b.orientation && a.original == b.original && a.digitized == b.digitized &&
           a.modified == b.modified && a.camera == b.camera;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static InMemoryFile file;
    static imaging::JpegDecoder decoder(kFuzzPixels);
    static imaging::JpegDecoder previewDecoder(kFuzzPixels);
    static cDIBSection dib;
    dib.KeepMemoryForReuse(true);
    file.write(data, size);

    imaging::PhotoMetadata metadata;
    const bool decoded = decoder.decodePhoto(dib, file.path(), &metadata).decoded();
    // The decoder turns a phone photo itself; the metadata must not turn it again.
    if (imaging::looksLikeHeif(data, size) && metadata.orientation)
        __builtin_trap();
    // (Where the decoder did not read the file at all, an empty one, the preparer asks the
    // fallback reader.)
    if (metadata.modified && !sameMetadata(metadata, imaging::readFileMetadata(file.path())))
        __builtin_trap();
    const int width = decoded ? dib.Width() : 0;
    const int height = decoded ? dib.Height() : 0;
    if (decoded)
        checkDecoded(dib);
    dib.ClearUp();

    // Any small picture the file carries will do here.
    const auto anySize = [](QSize, imaging::Orientation) { return QSize(1, 1); };
    if (previewDecoder.decodeReduced(dib, file.path(), anySize, nullptr).decoded())
        checkDecoded(dib);
    dib.ClearUp();

    // What TurboJPEG decodes is no phone photo.
    if (imaging::jpeg::isJpeg(data, size))
        return 0;
    imaging::JpegDecoder withoutTurboJpeg(kFuzzPixels, noTurboJpeg);
    cDIBSection again;
    const bool decodedAgain = withoutTurboJpeg.decodePhoto(again, file.path()).decoded();
    if (decodedAgain != decoded || (decoded && (again.Width() != width || again.Height() != height)))
        __builtin_trap();
    return 0;
}
