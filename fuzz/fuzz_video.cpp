// Damaged clips through the clip reader the way the thumbnails use it: one decoder and one buffer
// for clip after clip, the buffer's memory kept for reuse, every frame scaled down to a
// thumbnail, the container's metadata read with it. Whatever it finds must be within range, and a
// clip read a second time must be read alike (unless the time limit cut either reading short).
//
//   cmake --preset fuzz && cmake --build --preset fuzz --target fuzz_video
//   build/fuzz/fuzz/fuzz_video -dict=fuzz/video.dict -max_len=65536 -use_value_profile=1 \
//       -timeout=10 -rss_limit_mb=4096 CORPUS_DIR fuzz/corpus/video
//
// The seeds are clips of 32 x 24 pixels and a few frames made with the ffmpeg program (see
// fuzz/corpus/video/make-seeds.sh): H.264 in MP4, MOV with Apple's keys and a display matrix, and MPEG
// transport streams of 188 and 192 bytes a packet; MPEG-4 part 2 in Matroska, AVI and 3GP; VP8
// in WebM. FFmpeg's libraries are not instrumented (Debian builds them with gcc): the fuzzer sees
// the reader's own branches, and the libraries are found out by a crash, a hang, an allocation
// beyond the RSS limit or what they hand back.

#include "imaging/Orientation.h"
#include "imaging/VideoDecoder.h"
#include "imaging/cDIBSection.h"

#include "DecodedPicture.h"

#include <chrono>
#include <cstddef>
#include <cstdint>

namespace {

void checkMetadata(const imaging::ClipMetadata& m)
{
    const auto orientation = static_cast<int>(m.orientation);
    if (orientation < 1 || orientation > 8 || (m.durationMs && *m.durationMs <= 0) ||
        (m.zoneOffset && (*m.zoneOffset < -24 * 3600 || *m.zoneOffset > 24 * 3600)) || m.make.size() > 255 ||
        m.model.size() > 255)
        __builtin_trap();
    if (m.taken && (m.taken->nanoseconds < 0 || m.taken->nanoseconds > 999'999'999))
        __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // A shorter limit than the program's keeps each run fast; the limit's logic is the same.
    static imaging::VideoDecoder decoder(kFuzzPixels, std::chrono::milliseconds(1000));
    static cDIBSection dib;
    dib.KeepMemoryForReuse(true);

    imaging::ClipMetadata metadata;
    const imaging::VideoDecoder::Result r = decoder.decodeData(dib, data, size, &metadata);
    if (r.status == imaging::VideoDecoder::Status::NotVideo) {
        if (imaging::looksLikeVideo(data, size))
            __builtin_trap();
        return 0;
    }
    checkMetadata(metadata);
    if (!r.decoded())
        return 0;
    checkDecoded(dib);
    const std::unique_ptr<cDIBSection> turned = imaging::oriented(dib, metadata.orientation);
    if (!turned)
        __builtin_trap();

    cDIBSection again;
    imaging::VideoDecoder second(kFuzzPixels, std::chrono::milliseconds(1000));
    const imaging::VideoDecoder::Result r2 = second.decodeData(again, data, size);
    if (!r2.interrupted && (!r2.decoded() || again.Width() != dib.Width() || again.Height() != dib.Height()))
        __builtin_trap();
    return 0;
}
