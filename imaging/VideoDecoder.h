#pragma once

#include "imaging/JpegDecoder.h"
#include "imaging/Orientation.h"
#include "imaging/PhotoMetadata.h"
#include "imaging/ZeroedBlock.h"

#include <QByteArray>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

class cDIBSection;
struct SwsContext;

// Clips from phones and cameras (MP4, MOV, M4V, 3GP, Matroska, WebM, AVI, MTS, M2TS), read through
// FFmpeg's libraries: one frame of each as its picture, and what the container tells about it.
namespace imaging {

// How long reading one clip may take before it counts as unreadable. A clip's frame takes tens
// of milliseconds; a file that makes the demuxer go round in circles, or claims a stream that
// never ends, is cut off here, so that the thumbnails of the other files go on.
inline constexpr std::chrono::milliseconds kClipTimeLimit{2000};

// The largest frame, in pixels, that is decoded at all: 8192 x 8192. 8K clips (7680 x 4320) and
// the frames of the largest 360-degree cameras fit; a decoder's work and memory for one frame
// grow with its size and cannot be stopped midway by the time limit, so a header claiming more
// is refused, as photos beyond their own (larger) limit are.
inline constexpr std::int64_t kMaxClipPixels = std::int64_t(8192) * 8192;

// The container families the program reads clips from, told by the first bytes of a file.
enum class ClipContainer : std::uint8_t
{
    None,
    IsoMedia, // MP4, MOV, M4V, 3GP: QuickTime's boxes (a HEIF photo is not one of them)
    Matroska, // MKV, WebM
    Avi,
    Transport, // MPEG transport stream, plain (188-byte packets) or as on AVCHD cards (192)
};

// How many of a file's first bytes clipContainer needs to tell a transport stream.
inline constexpr std::size_t kClipHeadBytes = 1024;

// Which container the data begins like; None for anything else, a phone's HEIF photo included.
ClipContainer clipContainer(const std::uint8_t* data, std::size_t size);
inline bool looksLikeVideo(const std::uint8_t* data, std::size_t size)
{
    return clipContainer(data, size) != ClipContainer::None;
}

// What a clip's container tells about it. Anything missing, damaged or implausible is absent.
struct ClipMetadata
{
    // When it was recorded, as the clock at the place showed it: Apple's creation date as
    // written, with its zone; else the container's creation time, which is UTC, as the local
    // clock of this session shows that moment (a camera that wrote its own local time there is
    // then off by its zone's offset, which the camera-clock alignment corrects); a creation time
    // without zone (AVI) as written.
    std::optional<ClockTime> taken;
    // Seconds east of UTC of the clock `taken` is on (7200 for "+02:00"), where that is known.
    std::optional<std::int32_t> zoneOffset;
    // The device, from Apple's, Android's or a camera's tags, as they are written, without blanks
    // around them and cut to 255 bytes; empty when the file does not say.
    std::string make;
    std::string model;
    // The length of the clip; nothing when the container does not know it.
    std::optional<std::int64_t> durationMs;
    // How the stored frames are turned to be seen (the video stream's display matrix).
    Orientation orientation = Orientation::Normal;
    // The file's last change, local time; only from files.
    std::optional<ClockTime> modified;
};

// Whether the file at the native path begins like a clip; reads its first bytes only.
bool isClipFile(const QByteArray& nativePath);

// The metadata of the clip at the native path, from its container alone (no frame decoded), with
// the same bounds as VideoDecoder (the time limit among them); nothing when the file is not a
// clip. Only regular files are read, opened without blocking. Never throws; safe on any thread.
std::optional<ClipMetadata> readClipMetadata(const QByteArray& nativePath,
                                             std::chrono::milliseconds timeLimit = kClipTimeLimit) noexcept;

// What a clip tells, as a photo's metadata: its time taken as the time the picture was taken,
// and the file's last change (`modified`, which only a file has).
PhotoMetadata clipPhotoMetadata(const ClipMetadata& clip, std::optional<ClockTime> modified);

// A clip's creation date or time as FFmpeg gives the container's tag ("2024-07-12T10:15:00+0200",
// "2024-07-12T08:15:00.000000Z", "2024-07-12 10:15:00"): the clock time written and the zone
// written with it (Z is UTC); nothing for anything else.
struct ZonedClockTime
{
    ClockTime clock;
    std::optional<std::int32_t> zoneOffset;
};
std::optional<ZonedClockTime> parseClipTime(std::string_view text);

// Decodes one frame of a clip as its picture, into a cDIBSection in its layout, as stored (the
// metadata's orientation says how it is turned to be seen); frames of non-square pixels are
// widened or narrowed to their shown proportions. The frame is a key frame near a tenth of the
// clip's length, at most 5 s in, passing over frames that are black (a fade from black, a lens
// still covered) to the next key frames. Keeps its colour converter from one clip to the next; a
// decoder belongs to one thread at a time, and decoders share nothing.
class VideoDecoder
{
public:
    enum class Status
    {
        Decoded,      // the frame is in the buffer, which has exactly its size
        NotVideo,     // the file does not begin like a clip; the buffer is untouched
        NotDecodable, // a clip, but damaged, too large, too slow, cut off or without a picture
    };

    struct Result
    {
        Status status = Status::NotDecodable;
        // The time limit ran out or the reading was called off: the file may be fine, and
        // trying again later may read it.
        bool interrupted = false;

        bool decoded() const { return status == Status::Decoded; }
    };

    explicit VideoDecoder(std::int64_t maxPixels = kMaxClipPixels,
                          std::chrono::milliseconds timeLimit = kClipTimeLimit);
    ~VideoDecoder();
    VideoDecoder(const VideoDecoder&) = delete;
    VideoDecoder& operator=(const VideoDecoder&) = delete;

    // Called now and then while a clip is read; when it answers true the reading stops as for
    // the time limit. For the thumbnail loader, whose series may move on.
    void setCancelCheck(std::function<bool()> cancelled) { m_cancelled = std::move(cancelled); }

    // Decodes the clip at the native path. With `metadata`, that receives what its container
    // tells (empty unless it is a clip). The buffer is left as it was unless the frame was
    // decoded or its memory could not be had. Only regular files are read, opened without
    // blocking; a frame that claims more than the pixel limit is refused before anything of its
    // size is allocated. Never throws.
    Result decode(cDIBSection& cDib, const QByteArray& nativePath, ClipMetadata* metadata = nullptr);

    // The same for a clip's contents in memory.
    Result decodeData(cDIBSection& cDib, const std::uint8_t* data, std::size_t size,
                      ClipMetadata* metadata = nullptr);

    // Gives the colour converter's tables and rows back, and what the allocator kept of the
    // frames of the clips read since the last release.
    void release();

private:
    std::int64_t m_maxPixels;
    std::chrono::milliseconds m_timeLimit;
    std::function<bool()> m_cancelled;
    SwsContext* m_converter = nullptr;
    ZeroedBlock m_converted; // the converter's rows, kept for the next clip
    bool m_readSinceRelease = false;
};

} // namespace imaging
