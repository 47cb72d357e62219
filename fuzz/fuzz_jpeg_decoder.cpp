// Malformed JPEG data through the decoder the way the thumbnails use it: one decoder and one
// buffer for file after file, the buffer's memory kept for reuse, and every decoded picture scaled
// down to a thumbnail. An input holding a second start-of-image marker is two files, decoded one
// after the other; the second must come out as it does on a decoder of its own, so anything a
// file leaves behind for the next one is found (and reproduced from that one input).
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

#include "DecodedPicture.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace {

bool samePixels(const cDIBSection& a, const cDIBSection& b)
{
    if (a.Width() != b.Width() || a.Height() != b.Height())
        return false;
    const std::size_t used = std::size_t(a.Width()) * 3;
    for (int row = 0; row < a.Height(); ++row)
        if (std::memcmp(a.DIBSectionBitsPtr() + std::size_t(row) * std::size_t(a.BytesPerScanLine()),
                        b.DIBSectionBitsPtr() + std::size_t(row) * std::size_t(b.BytesPerScanLine()), used)
            != 0)
            return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static imaging::JpegDecoder decoder(kFuzzPixels);
    static cDIBSection dib;
    dib.KeepMemoryForReuse(true);

    constexpr std::uint8_t kStartOfImage[] = {0xFF, 0xD8};
    const std::uint8_t* second = size > 2 ? std::search(data + 2, data + size, kStartOfImage, kStartOfImage + 2)
                                          : data + size;
    const std::size_t firstSize = std::size_t(second - data);
    const std::size_t secondSize = size - firstSize;

    if (decoder.decodeData(dib, data, firstSize).decoded())
        checkDecoded(dib);
    if (secondSize == 0)
        return 0;
    const bool decoded = decoder.decodeData(dib, second, secondSize).decoded();
    if (decoded)
        checkDecoded(dib);

    imaging::JpegDecoder alone(kFuzzPixels);
    cDIBSection aloneDib;
    if (alone.decodeData(aloneDib, second, secondSize).decoded() != decoded || (decoded && !samePixels(dib, aloneDib)))
        __builtin_trap();
    return 0;
}
