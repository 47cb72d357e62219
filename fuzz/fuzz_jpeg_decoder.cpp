// Malformed JPEG data through the decoder the way the thumbnails use it: one decoder and one
// buffer for every input, the buffer's memory kept for reuse, and every decoded picture scaled
// down to a thumbnail.
//
//   cmake --preset fuzz && cmake --build --preset fuzz --target fuzz_jpeg_decoder
//   build/fuzz/fuzz/fuzz_jpeg_decoder -dict=fuzz/jpeg.dict -max_len=65536 -reduce_inputs=0 \
//       -use_value_profile=1 CORPUS_DIR fuzz/corpus/jpeg
//
// -reduce_inputs=0 keeps the well-formed seeds: most of a JPEG's path through the decoder is
// shared by every file, so libFuzzer would otherwise replace a seed by a few bytes that reach the
// same few new branches, and go on mutating those. See fuzz/CMakeLists.txt for fuzzing an
// instrumented TurboJPEG as well.

#include "imaging/JpegDecoder.h"
#include "imaging/cDIBSection.h"

#include <cstddef>
#include <cstdint>
#include <stdexcept>

namespace {

// A lower limit than the program's keeps each run fast; the limit's logic is the same.
constexpr std::int64_t kFuzzPixels = std::int64_t(1) << 22;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static imaging::JpegDecoder decoder(kFuzzPixels);
    static cDIBSection dib;
    dib.KeepMemoryForReuse(true);

    if (!decoder.decodeData(dib, data, size).decoded())
        return 0;
    if (!dib.DIBSectionBitsPtr() || dib.Width() < 1 || dib.Height() < 1
        || std::int64_t(dib.Width()) * dib.Height() > kFuzzPixels)
        __builtin_trap();
    // Every byte of the buffer must be addressable; the sanitizer checks the reads.
    volatile std::uint8_t sum = 0;
    const std::size_t bytes = std::size_t(dib.BytesPerScanLine()) * std::size_t(dib.Height());
    for (std::size_t i = 0; i < bytes; i += 61)
        sum = std::uint8_t(sum + dib.DIBSectionBitsPtr()[i]);
    sum = std::uint8_t(sum + dib.DIBSectionBitsPtr()[bytes - 1]);
    try {
        const auto thumbnail = dib.Resample(5, 7);
        if (!thumbnail)
            __builtin_trap();
    } catch (const std::out_of_range&) {
        if (dib.Width() > 1 && dib.Height() > 1)
            __builtin_trap();
    }
    return 0;
}
