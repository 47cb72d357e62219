// Damaged photos through the quick look the thumbnails show before the exact picture, asked for
// the way the preparer asks: by the file's path (a file in memory here), its head read first, a
// box fitted on the picture as its orientation shows it, one decoder kept for file after file,
// and the look scaled and turned into the box. The small picture of an EXIF block, the reduced
// read and a phone photo's thumbnail are all reached from here.
//
// What a look must be: the shared check of every decoded picture, smaller than the photo and at
// least half of what the box needs, and once scaled exactly the size of its place in the box. And
// it must not depend on what the kept decoder read before: each file is looked at once more by a
// decoder of its own, whose file buffer is exactly the file's size, so that a read past the data
// is an error the sanitizer reports instead of a look at the previous file's bytes.
//
//   cmake --preset fuzz && cmake --build --preset fuzz --target fuzz_preview
//   build/fuzz/fuzz/fuzz_preview -dict=fuzz/preview.dict -max_len=65536 -reduce_inputs=0 \
//       -use_value_profile=1 -timeout=10 -rss_limit_mb=4096 CORPUS_DIR fuzz/corpus/preview
//
// Any photo is a seed as it is, looked at for a 160 x 120 box. An input may end in a trailer that
// chooses the box and puts long segments before the file's own, so that what a look needs lies
// beyond the head that is read first: "LOOK", then three bytes: the box's width and height
// (1 + 4 x the byte each) and the number of comment segments of 64 KiB (0 to 4; four push
// everything beyond the head). The look at a file with such segments must be the look at the
// file without them. fuzz/make_fuzz_seeds writes the seeds (see the README).

#include "imaging/HeifDecoder.h"
#include "imaging/JpegDecoder.h"
#include "imaging/JpegMarkers.h"
#include "imaging/PhotoMetadata.h"
#include "imaging/cDIBSection.h"
#include "thumbnails/OrientedThumbnail.h"

#include "DecodedPicture.h"
#include "InMemoryFile.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <vector>

namespace {

struct Box
{
    int width = 160;
    int height = 120;
    int longSegments = 0;
};

constexpr std::uint8_t kTrailer[] = {'L', 'O', 'O', 'K'};
constexpr std::size_t kTrailerSize = sizeof kTrailer + 3;

// The box the input asks for; `size` loses the trailer.
Box boxOf(const std::uint8_t* data, std::size_t& size)
{
    Box box;
    if (size < kTrailerSize || std::memcmp(data + size - kTrailerSize, kTrailer, sizeof kTrailer) != 0)
        return box;
    const std::uint8_t* chosen = data + size - 3;
    box.width = 1 + 4 * chosen[0];
    box.height = 1 + 4 * chosen[1];
    box.longSegments = chosen[2] > 4 ? 4 : chosen[2];
    size -= kTrailerSize;
    return box;
}

// The file as the input has it, with the long segments after its start-of-image marker (a JPEG's
// only: anything else is written as it is).
void writeFile(InMemoryFile& file, const std::uint8_t* data, std::size_t size, int longSegments)
{
    if (longSegments == 0 || !imaging::jpeg::isJpeg(data, size)) {
        file.write(data, size);
        return;
    }
    static const std::vector<std::uint8_t> comment = [] {
        std::vector<std::uint8_t> segment(2 + 65535, 'x');
        segment[0] = 0xFF;
        segment[1] = 0xFE;
        segment[2] = 0xFF;
        segment[3] = 0xFF;
        return segment;
    }();
    file.write(data, 2);
    for (int i = 0; i < longSegments; ++i)
        file.append(comment.data(), comment.size());
    file.append(data + 2, size - 2);
}

struct Look
{
    imaging::JpegDecoder::Status status = imaging::JpegDecoder::Status::NotDecodable;
    bool headerRead = false;
    std::unique_ptr<cDIBSection> scaled;
};

// The look as the preparer makes it, checked.
Look look(imaging::JpegDecoder& decoder, cDIBSection& work, const QByteArray& path, const Box& box)
{
    Look look;
    QSize stored;
    QSize wanted;
    thumbs::OrientedJpegFit fit;
    const auto cover = [&](QSize size, imaging::Orientation orientation) {
        stored = size;
        fit = thumbs::fitJpegOriented(size.width(), size.height(), orientation, box.width, box.height);
        wanted = QSize(fit.resampleWidth, fit.resampleHeight);
        return wanted;
    };
    imaging::PhotoMetadata metadata;
    look.status = decoder.decodeReduced(work, path, cover, &metadata, &look.headerRead).status;
    if (look.status != imaging::JpegDecoder::Status::Decoded) {
        work.ClearUp();
        return look;
    }
    checkDecoded(work);
    const int width = work.Width();
    const int height = work.Height();
    if (!stored.isValid() || width > stored.width() || height > stored.height() ||
        std::int64_t(width) * height >= std::int64_t(stored.width()) * stored.height() ||
        2 * width < wanted.width() || 2 * height < wanted.height())
        __builtin_trap();

    const thumbs::JpegFit& place = fit.shown;
    if (place.left < 0 || place.top < 0 || place.left + place.width > box.width ||
        place.top + place.height > box.height)
        __builtin_trap();
    try {
        look.scaled = thumbs::scaleJpegTo(work, metadata.shownAs(), fit);
    } catch (const std::out_of_range&) {
        if (width > 1 && height > 1)
            __builtin_trap();
    }
    // Only a place without width or height in the box has no picture.
    if (look.scaled ? look.scaled->Width() != place.width || look.scaled->Height() != place.height
                    : place.width >= 1 && place.height >= 1 && width > 1 && height > 1)
        __builtin_trap();
    work.ClearUp();
    return look;
}

bool samePixels(const cDIBSection& a, const cDIBSection& b)
{
    if (a.Width() != b.Width() || a.Height() != b.Height())
        return false;
    const std::size_t used = std::size_t(a.Width()) * 3;
    for (int row = 0; row < a.Height(); ++row)
        if (std::memcmp(a.DIBSectionBitsPtr() + std::size_t(row) * std::size_t(a.BytesPerScanLine()),
                        b.DIBSectionBitsPtr() + std::size_t(row) * std::size_t(b.BytesPerScanLine()),
                        used) != 0)
            return false;
    return true;
}

// libde265 leaves parts of some damaged pictures undefined without a warning (see
// fuzz_heif_decoder.cpp), so a phone photo's looks are compared by their size alone.
bool sameLook(const Look& a, const Look& b, bool pixelsToo)
{
    if (a.status != b.status || a.headerRead != b.headerRead || bool(a.scaled) != bool(b.scaled))
        return false;
    if (!a.scaled)
        return true;
    return pixelsToo ? samePixels(*a.scaled, *b.scaled)
                     : a.scaled->Width() == b.scaled->Width() && a.scaled->Height() == b.scaled->Height();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static InMemoryFile file;
    static imaging::JpegDecoder kept(kFuzzPixels);
    static cDIBSection keptWork;
    keptWork.KeepMemoryForReuse(true);

    const Box box = boxOf(data, size);
    const bool pixelsToo = !imaging::looksLikeHeif(data, size);
    writeFile(file, data, size, box.longSegments);
    const Look first = look(kept, keptWork, file.path(), box);

    if (box.longSegments > 0) {
        writeFile(file, data, size, 0);
        imaging::JpegDecoder plain(kFuzzPixels);
        cDIBSection plainWork;
        if (!sameLook(first, look(plain, plainWork, file.path(), box), pixelsToo))
            __builtin_trap();
        writeFile(file, data, size, box.longSegments);
    }
    imaging::JpegDecoder alone(kFuzzPixels);
    cDIBSection aloneWork;
    if (!sameLook(first, look(alone, aloneWork, file.path(), box), pixelsToo))
        __builtin_trap();
    return 0;
}
