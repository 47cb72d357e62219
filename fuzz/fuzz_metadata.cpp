// Damaged metadata through the reader the way the decoder and the fallback reader hand it over:
// the bytes of a whole file, of whatever kind. Whatever it finds must be within range (times,
// the orientation, the camera's texts and time zone, the device they make), and a picture is
// then turned by it as the thumbnails will be.
//
//   cmake --preset fuzz && cmake --build --preset fuzz --target fuzz_metadata
//   build/fuzz/fuzz/fuzz_metadata -dict=fuzz/metadata.dict -max_len=65536 -use_value_profile=1 \
//       -timeout=10 CORPUS_DIR fuzz/corpus/metadata
//
// The seeds are small JPEGs with EXIF blocks, sound and damaged (a directory beyond the block,
// 65535 entries, a count of 2^31, a directory that is its own successor, a block cut short, a
// segment longer than the file), camera-like blocks with makers' notes of two makers in both
// byte orders, and PNG, WebP and TIFF files with EXIF (and XMP) written by the metadata library.
// The metadata library itself is not instrumented (see fuzz/CMakeLists.txt).

#include "imaging/Orientation.h"
#include "imaging/PhotoMetadata.h"
#include "imaging/cDIBSection.h"

#include <cstddef>
#include <cstdint>

namespace {

void checkTime(const std::optional<imaging::ClockTime>& time)
{
    // Years 1 to 9999 of the camera's clock.
    if (time && (time->nanoseconds < 0 || time->nanoseconds > 999'999'999 ||
                 time->seconds < -62'135'596'800 || time->seconds >= 253'402'300'800))
        __builtin_trap();
}

// Within the limit, trimmed, and no character cut in half.
void checkText(const QString& text)
{
    if (text.size() > imaging::kMaxCameraText)
        __builtin_trap();
    const auto blank = [](QChar c) { return c == u'\0' || c == u' ' || (c >= u'\t' && c <= u'\r'); };
    if (!text.isEmpty() && (blank(text.front()) || blank(text.back()) || text.back().isHighSurrogate()))
        __builtin_trap();
    for (qsizetype i = 0; i + 1 < text.size(); ++i)
        if (text[i].isHighSurrogate() && !text[i + 1].isLowSurrogate())
            __builtin_trap();
}

void checkCamera(const imaging::CameraData& camera)
{
    checkText(camera.make);
    checkText(camera.model);
    checkText(camera.serial);
    if (camera.zoneOffset &&
        (*camera.zoneOffset % 60 != 0 || *camera.zoneOffset < -14 * 3600 || *camera.zoneOffset > 14 * 3600))
        __builtin_trap();
    const std::optional<imaging::Device> device = imaging::deviceOf(camera);
    if (bool(device) != !(camera.make.isEmpty() && camera.model.isEmpty() && camera.serial.isEmpty()) ||
        (device && (device->label.isEmpty() || device->key.isEmpty())))
        __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const imaging::PhotoMetadata metadata = imaging::readPhotoMetadata(data, size);
    checkTime(metadata.original);
    checkTime(metadata.digitized);
    checkCamera(metadata.camera);
    if (metadata.modified)
        __builtin_trap();
    if (!metadata.orientation)
        return 0;
    const int value = static_cast<int>(*metadata.orientation);
    if (value < 1 || value > 8)
        __builtin_trap();
    static cDIBSection stored;
    if (!stored.DIBSectionBitsPtr() && !stored.Create(3, 2))
        __builtin_trap();
    const auto turned = imaging::oriented(stored, *metadata.orientation);
    if (!turned || turned->Width() != (value >= 5 ? 2 : 3) || turned->Height() != (value >= 5 ? 3 : 2))
        __builtin_trap();
    return 0;
}
