#include "imaging/VideoDecoder.h"

#include "imaging/HeifDecoder.h"
#include "imaging/RegularFile.h"
#include "imaging/ZeroedBlock.h"
#include "imaging/cDIBSection.h"

#include <QLoggingCategory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/display.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <exception>
#include <limits>
#include <mutex>
#include <string_view>
#include <vector>

#include <malloc.h>
#include <unistd.h>

// FFmpeg's own messages about the files it reads: "QT_LOGGING_RULES=tessaline.clips.debug=true"
// shows them. A folder of damaged clips would otherwise fill the terminal.
Q_LOGGING_CATEGORY(lcClips, "tessaline.clips", QtInfoMsg)

namespace imaging {

namespace {

using Clock = std::chrono::steady_clock;

void routeLibraryMessages(void* context, int level, const char* format, va_list arguments)
{
    if (level > AV_LOG_WARNING || !lcClips().isDebugEnabled())
        return;
    thread_local int printPrefix = 1;
    char line[1024];
    av_log_format_line2(context, level, format, arguments, line, sizeof line, &printPrefix);
    const std::size_t length = std::strlen(line);
    qCDebug(lcClips, "%.*s", int(length > 0 && line[length - 1] == '\n' ? length - 1 : length), line);
}

void setUpLibraries()
{
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_callback(routeLibraryMessages); });
}

bool isIsoBox(const std::uint8_t* type)
{
    // The boxes a QuickTime or MP4 file may begin with; old QuickTime files have no file type box.
    static constexpr const char* kFirstBoxes[] = {"ftyp", "moov", "mdat", "wide", "free", "skip", "pnot"};
    return std::any_of(std::begin(kFirstBoxes), std::end(kFirstBoxes),
                       [type](const char* box) { return std::memcmp(type, box, 4) == 0; });
}

// Sync bytes at the start of four packets of `packet` bytes in a row, the first at `first`.
bool transportPackets(const std::uint8_t* data, std::size_t size, std::size_t first, std::size_t packet)
{
    constexpr int kPackets = 4;
    if (size < first + (kPackets - 1) * packet + 1)
        return false;
    for (int i = 0; i < kPackets; ++i)
        if (data[first + std::size_t(i) * packet] != 0x47)
            return false;
    return true;
}

const AVInputFormat* demuxerFor(ClipContainer container)
{
    switch (container) {
    case ClipContainer::IsoMedia:
        return av_find_input_format("mov");
    case ClipContainer::Matroska:
        return av_find_input_format("matroska");
    case ClipContainer::Avi:
        return av_find_input_format("avi");
    case ClipContainer::Transport:
        return av_find_input_format("mpegts");
    case ClipContainer::None:
        break;
    }
    return nullptr;
}

} // namespace

ClipContainer clipContainer(const std::uint8_t* data, std::size_t size)
{
    if (!data || size < 12)
        return ClipContainer::None;
    if (isIsoBox(data + 4))
        return looksLikeHeif(data, size) ? ClipContainer::None : ClipContainer::IsoMedia;
    if (std::memcmp(data, "\x1A\x45\xDF\xA3", 4) == 0)
        return ClipContainer::Matroska;
    if (std::memcmp(data, "RIFF", 4) == 0 && std::memcmp(data + 8, "AVI ", 4) == 0)
        return ClipContainer::Avi;
    if (transportPackets(data, size, 0, 188) || transportPackets(data, size, 4, 192))
        return ClipContainer::Transport;
    return ClipContainer::None;
}

namespace {

// Where the demuxer reads from: a regular file or bytes in memory, and the bounds of one clip.
struct Source
{
    int fd = -1;
    const std::uint8_t* data = nullptr;
    std::int64_t size = 0;
    std::int64_t position = 0;
    // Bytes that may still be read. A demuxer that goes round in circles reads the same bytes
    // again and again; a clip's frame needs its header and a few packets.
    std::int64_t budget = 0;
    Clock::time_point deadline;
    const std::function<bool()>* cancelled = nullptr;
    bool interrupted = false;

    Source(std::int64_t bytes, std::chrono::milliseconds limit, const std::function<bool()>* cancel)
        : size(bytes), budget(3 * bytes + (std::int64_t(16) << 20)), deadline(Clock::now() + limit),
          cancelled(cancel)
    {
    }

    bool stop()
    {
        if (!interrupted && (Clock::now() > deadline || (cancelled && *cancelled && (*cancelled)())))
            interrupted = true;
        return interrupted;
    }

    static int read(void* opaque, std::uint8_t* into, int bytes)
    {
        auto& s = *static_cast<Source*>(opaque);
        if (s.stop())
            return AVERROR_EXIT;
        if (bytes <= 0 || s.position >= s.size)
            return AVERROR_EOF;
        const std::int64_t n = std::min<std::int64_t>(bytes, s.size - s.position);
        if (n > s.budget)
            return AVERROR_EXIT;
        std::int64_t got = 0;
        if (s.data) {
            std::memcpy(into, s.data + s.position, std::size_t(n));
            got = n;
        } else {
            while (got < n) {
                const ssize_t r = ::pread(s.fd, into + got, std::size_t(n - got), s.position + got);
                if (r > 0)
                    got += r;
                else if (r == 0)
                    break;
                else if (errno != EINTR)
                    return AVERROR(EIO);
            }
            if (got == 0)
                return AVERROR_EOF;
        }
        s.position += got;
        s.budget -= got;
        return int(got);
    }

    static std::int64_t seek(void* opaque, std::int64_t offset, int whence)
    {
        auto& s = *static_cast<Source*>(opaque);
        whence &= ~AVSEEK_FORCE;
        if (whence == AVSEEK_SIZE)
            return s.size;
        std::int64_t base = 0;
        if (whence == SEEK_CUR)
            base = s.position;
        else if (whence == SEEK_END)
            base = s.size;
        else if (whence != SEEK_SET)
            return AVERROR(EINVAL);
        if ((offset > 0 && base > std::numeric_limits<std::int64_t>::max() - offset) || base + offset < 0)
            return AVERROR(EINVAL);
        s.position = base + offset;
        return s.position;
    }

    static int interrupt(void* opaque) { return static_cast<Source*>(opaque)->stop() ? 1 : 0; }
};

// The demuxer and its reader over a Source.
struct Input
{
    AVFormatContext* format = nullptr;
    AVIOContext* io = nullptr;

    Input() = default;
    Input(const Input&) = delete;
    Input& operator=(const Input&) = delete;
    ~Input()
    {
        avformat_close_input(&format);
        if (io) {
            av_freep(&io->buffer);
            avio_context_free(&io);
        }
    }
};

// A clip is one file: references to others (QuickTime's data references, playlists) are not
// followed.
int refuseOtherFiles(AVFormatContext*, AVIOContext**, const char*, int, AVDictionary**)
{
    return AVERROR(EPERM);
}

bool openInput(Input& in, Source& source, ClipContainer container)
{
    const AVInputFormat* demuxer = demuxerFor(container);
    if (!demuxer)
        return false;
    constexpr int kBufferBytes = 64 << 10;
    auto* buffer = static_cast<unsigned char*>(av_malloc(kBufferBytes));
    if (!buffer)
        return false;
    in.io = avio_alloc_context(buffer, kBufferBytes, 0, &source, &Source::read, nullptr, &Source::seek);
    if (!in.io) {
        av_free(buffer);
        return false;
    }
    in.format = avformat_alloc_context();
    if (!in.format)
        return false;
    in.format->pb = in.io;
    in.format->interrupt_callback.callback = &Source::interrupt;
    in.format->interrupt_callback.opaque = &source;
    in.format->io_open = refuseOtherFiles;
    // On failure the context is freed (and the pointer cleared); the reader stays ours.
    return avformat_open_input(&in.format, nullptr, demuxer, nullptr) >= 0;
}

struct FreeCodec
{
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FreeFrame
{
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct FreePacket
{
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
using Codec = std::unique_ptr<AVCodecContext, FreeCodec>;
using Frame = std::unique_ptr<AVFrame, FreeFrame>;
using Packet = std::unique_ptr<AVPacket, FreePacket>;

// The clip's picture: a video stream with a decoder, not a cover picture; the container's default
// one first.
int videoStream(const AVFormatContext* format)
{
    int best = -1;
    bool bestIsDefault = false;
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        const AVStream* stream = format->streams[i];
        if (stream->codecpar->codec_type != AVMEDIA_TYPE_VIDEO ||
            (stream->disposition & AV_DISPOSITION_ATTACHED_PIC) ||
            !avcodec_find_decoder(stream->codecpar->codec_id))
            continue;
        const bool isDefault = (stream->disposition & AV_DISPOSITION_DEFAULT) != 0;
        if (best < 0 || (isDefault && !bestIsDefault)) {
            best = int(i);
            bestIsDefault = isDefault;
        }
    }
    return best;
}

// What the container and the stream's parameters do not tell (the frame size in a transport
// stream, the length of one) is found by decoding its first frames; their size is held to the
// limit there too.
void findStreamInfo(AVFormatContext* format, std::int64_t maxPixels)
{
    std::vector<AVDictionary*> options(format->nb_streams, nullptr);
    for (AVDictionary*& o : options) {
        av_dict_set_int(&o, "max_pixels", maxPixels, 0);
        av_dict_set(&o, "threads", "1", 0);
    }
    avformat_find_stream_info(format, options.empty() ? nullptr : options.data());
    for (AVDictionary*& o : options)
        av_dict_free(&o);
}

const char* tag(const AVDictionary* tags, const char* key)
{
    const AVDictionaryEntry* entry = av_dict_get(tags, key, nullptr, 0);
    return entry && entry->value && *entry->value ? entry->value : nullptr;
}

// A device's name as the tag gives it, without blanks around it; long names are cut.
std::string deviceText(const char* text)
{
    constexpr std::size_t kLongest = 255;
    std::string_view name = text ? std::string_view(text) : std::string_view();
    while (!name.empty() && (name.front() == ' ' || name.front() == '\t'))
        name.remove_prefix(1);
    while (!name.empty() && (name.back() == ' ' || name.back() == '\t' || name.back() == '\0'))
        name.remove_suffix(1);
    return std::string(name.substr(0, kLongest));
}

// Nothing for a length below a millisecond: a clip that short has no length to show.
std::optional<std::int64_t> durationOf(const AVFormatContext* format, const AVStream* stream)
{
    std::int64_t ms = 0;
    if (format->duration != AV_NOPTS_VALUE && format->duration > 0)
        ms = format->duration / 1000;
    else if (stream && stream->duration != AV_NOPTS_VALUE && stream->duration > 0 && stream->time_base.num > 0 &&
             stream->time_base.den > 0)
        ms = av_rescale_q(stream->duration, stream->time_base, AVRational{1, 1000});
    return ms > 0 ? std::optional<std::int64_t>(ms) : std::nullopt;
}

// How a display matrix turns the stored frame: only quarter turns and mirrorings count, anything
// else is shown as stored. The matrix maps a stored point (p, q) to (a p + c q, b p + d q).
Orientation orientationOf(const AVStream* stream)
{
    std::size_t size = 0;
    const std::uint8_t* side = av_stream_get_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, &size);
    if (!side || size < 9 * sizeof(std::int32_t))
        return Orientation::Normal;
    std::int32_t m[9];
    std::memcpy(m, side, sizeof m);
    const double entries[4] = {double(m[0]), double(m[1]), double(m[3]), double(m[4])};
    double largest = 0;
    for (const double e : entries)
        largest = std::max(largest, std::abs(e));
    if (largest <= 0)
        return Orientation::Normal;
    int unit[4];
    for (int i = 0; i < 4; ++i) {
        const double v = entries[i] / largest;
        unit[i] = int(std::lround(v));
        if (std::abs(v - unit[i]) > 0.05)
            return Orientation::Normal;
    }
    struct Turn
    {
        int a, b, c, d;
        Orientation orientation;
    };
    static constexpr Turn kTurns[] = {
        {0, 1, -1, 0, Orientation::Rotate90},       {-1, 0, 0, -1, Orientation::Rotate180},
        {0, -1, 1, 0, Orientation::Rotate270},      {-1, 0, 0, 1, Orientation::MirrorHorizontal},
        {1, 0, 0, -1, Orientation::MirrorVertical}, {0, 1, 1, 0, Orientation::Transpose},
        {0, -1, -1, 0, Orientation::Transverse},
    };
    for (const Turn& t : kTurns)
        if (unit[0] == t.a && unit[1] == t.b && unit[2] == t.c && unit[3] == t.d)
            return t.orientation;
    return Orientation::Normal;
}

ClipMetadata metadataOf(const AVFormatContext* format, const AVStream* video)
{
    ClipMetadata metadata;
    if (const char* apple = tag(format->metadata, "com.apple.quicktime.creationdate")) {
        if (const std::optional<ZonedClockTime> t = parseClipTime(apple)) {
            metadata.taken = t->clock;
            metadata.zoneOffset = t->zoneOffset;
        }
    }
    if (!metadata.taken) {
        const char* created = tag(format->metadata, "creation_time");
        if (!created && video)
            created = tag(video->metadata, "creation_time");
        const std::optional<ZonedClockTime> t = created ? parseClipTime(created) : std::nullopt;
        if (t && t->zoneOffset) {
            const std::int64_t utc = t->clock.seconds - *t->zoneOffset;
            // Zero is what a device without a clock leaves there.
            if (utc != 0) {
                metadata.taken = localClockTime(utc, t->clock.nanoseconds);
                metadata.zoneOffset = std::int32_t(metadata.taken->seconds - utc);
            }
        } else if (t) {
            metadata.taken = t->clock;
        }
    }
    for (const char* key : {"com.apple.quicktime.make", "com.android.manufacturer", "make"})
        if (metadata.make.empty())
            metadata.make = deviceText(tag(format->metadata, key));
    for (const char* key : {"com.apple.quicktime.model", "com.android.model", "model"})
        if (metadata.model.empty())
            metadata.model = deviceText(tag(format->metadata, key));
    metadata.durationMs = durationOf(format, video);
    if (video)
        metadata.orientation = orientationOf(video);
    return metadata;
}

// Whether nearly all of the frame is black, judged by a grid of its luma samples. Frames without
// luma (RGB, palettes) never are.
bool isBlack(const AVFrame* frame)
{
    const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(AVPixelFormat(frame->format));
    if (!d ||
        (d->flags &
         (AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_PAL | AV_PIX_FMT_FLAG_HWACCEL | AV_PIX_FMT_FLAG_BITSTREAM)) ||
        d->nb_components < 1 || frame->width < 1 || frame->height < 1)
        return false;
    const AVComponentDescriptor& luma = d->comp[0];
    if (luma.depth < 8 || luma.depth > 16 || !frame->data[luma.plane])
        return false;
    const bool wide = luma.depth > 8;
    const bool bigEndian = (d->flags & AV_PIX_FMT_FLAG_BE) != 0;
    const int shift = luma.depth - 8;
    const bool full = frame->color_range == AVCOL_RANGE_JPEG ||
                      AVPixelFormat(frame->format) == AV_PIX_FMT_YUVJ420P ||
                      AVPixelFormat(frame->format) == AV_PIX_FMT_YUVJ422P ||
                      AVPixelFormat(frame->format) == AV_PIX_FMT_YUVJ444P;
    // A tenth of the way from black to white, in 8 bits.
    const int dark = full ? 25 : 16 + 22;
    constexpr int kGrid = 64;
    const int stepX = std::max(1, frame->width / kGrid);
    const int stepY = std::max(1, frame->height / kGrid);
    long samples = 0;
    long darkSamples = 0;
    for (int y = stepY / 2; y < frame->height; y += stepY) {
        const std::uint8_t* row = frame->data[luma.plane] + std::ptrdiff_t(y) * frame->linesize[luma.plane];
        for (int x = stepX / 2; x < frame->width; x += stepX) {
            const std::uint8_t* p = row + luma.offset + std::ptrdiff_t(x) * luma.step;
            int value = wide ? (bigEndian ? p[0] << 8 | p[1] : p[1] << 8 | p[0]) : p[0];
            value = (value >> luma.shift) >> shift;
            ++samples;
            darkSamples += value < dark ? 1 : 0;
        }
    }
    return samples > 0 && darkSamples * 100 >= samples * 98;
}

int swsColourSpace(const AVFrame* frame)
{
    switch (frame->colorspace) {
    case AVCOL_SPC_BT709:
        return SWS_CS_ITU709;
    case AVCOL_SPC_BT470BG:
    case AVCOL_SPC_SMPTE170M:
        return SWS_CS_ITU601;
    case AVCOL_SPC_FCC:
        return SWS_CS_FCC;
    case AVCOL_SPC_SMPTE240M:
        return SWS_CS_SMPTE240M;
    case AVCOL_SPC_BT2020_NCL:
    case AVCOL_SPC_BT2020_CL:
        return SWS_CS_BT2020;
    default:
        // Untagged: high definition is BT.709 by convention, standard definition BT.601.
        return frame->height >= 720 ? SWS_CS_ITU709 : SWS_CS_ITU601;
    }
}

// What the decoder makes of one key frame: it is sent alone and the decoder drained, so that it
// comes out at once however many frames the decoder would otherwise hold back for reordering.
// Transport streams from cameras may carry a frame as two fields in two packets; there the
// packets after it are sent until the frame comes out.
enum class Got
{
    Frame,
    Nothing,
    Interrupted
};

VideoDecoder::Result decodeFrom(cDIBSection& cDib, Source& source, ClipContainer container,
                                ClipMetadata* metadata, std::int64_t maxPixels, SwsContext*& converter,
                                ZeroedBlock& converted)
{
    setUpLibraries();
    VideoDecoder::Result result;
    const auto fail = [&] {
        result.status = VideoDecoder::Status::NotDecodable;
        result.interrupted = source.interrupted;
        return result;
    };
    Input in;
    if (!openInput(in, source, container))
        return fail();
    int index = videoStream(in.format);
    const auto sizeKnown = [&] {
        const AVCodecParameters* p = in.format->streams[index]->codecpar;
        return p->width > 0 && p->height > 0;
    };
    // A transport stream's header tells neither the frame size nor the length.
    if (index < 0 || container == ClipContainer::Transport || !sizeKnown()) {
        findStreamInfo(in.format, maxPixels);
        index = videoStream(in.format);
    }
    AVStream* const stream = index >= 0 ? in.format->streams[index] : nullptr;
    if (metadata)
        *metadata = metadataOf(in.format, stream);
    if (!stream || source.stop())
        return fail();
    const AVCodecParameters* parameters = stream->codecpar;
    if (!sizeKnown() || std::int64_t(parameters->width) * parameters->height > maxPixels)
        return fail();

    const AVCodec* codec = avcodec_find_decoder(parameters->codec_id);
    Codec context(codec ? avcodec_alloc_context3(codec) : nullptr);
    if (!context || avcodec_parameters_to_context(context.get(), parameters) < 0)
        return fail();
    // The thumbnails keep every core busy with files of their own.
    context->thread_count = 1;
    context->max_pixels = maxPixels;
    context->pkt_timebase = stream->time_base;
    if (avcodec_open2(context.get(), codec, nullptr) < 0)
        return fail();
    for (unsigned i = 0; i < in.format->nb_streams; ++i)
        if (int(i) != index)
            in.format->streams[i]->discard = AVDISCARD_ALL;

    // A tenth of the way in, at most 5 s: past a clip's first moments, where the camera still
    // settles, and near its start, which a long clip's thumbnail should show.
    const std::optional<std::int64_t> duration = durationOf(in.format, stream);
    const std::int64_t offsetMs = duration ? std::min<std::int64_t>(*duration / 10, 5000) : 0;
    if (offsetMs > 0 && stream->time_base.num > 0 && stream->time_base.den > 0) {
        const std::int64_t start = stream->start_time != AV_NOPTS_VALUE ? stream->start_time : 0;
        const std::int64_t target = start + av_rescale_q(offsetMs, AVRational{1, 1000}, stream->time_base);
        // Where the clip cannot be sought in, it is read from its start.
        if (av_seek_frame(in.format, index, target, AVSEEK_FLAG_BACKWARD) < 0)
            av_seek_frame(in.format, index, start, AVSEEK_FLAG_BACKWARD);
    }

    Packet packet(av_packet_alloc());
    Frame decoded(av_frame_alloc());
    Frame first(av_frame_alloc());
    if (!packet || !decoded || !first)
        return fail();
    const bool drain = container != ClipContainer::Transport;
    const auto receive = [&](bool fieldsToo) -> Got {
        // A frame is two fields at most, but a damaged stream may hold it back for longer.
        constexpr int kFollowingPackets = 16;
        for (int following = 0;; ++following) {
            const int r = avcodec_receive_frame(context.get(), decoded.get());
            if (r >= 0)
                return Got::Frame;
            if (r != AVERROR(EAGAIN))
                return Got::Nothing;
            if (!fieldsToo || following == kFollowingPackets)
                return Got::Nothing;
            // The packets that follow, until the frame is whole.
            for (;;) {
                if (source.stop())
                    return Got::Interrupted;
                av_packet_unref(packet.get());
                if (av_read_frame(in.format, packet.get()) < 0)
                    return Got::Nothing;
                if (packet->stream_index == index)
                    break;
            }
            if (avcodec_send_packet(context.get(), packet.get()) < 0)
                return Got::Nothing;
        }
    };
    const auto decodeKeyFrame = [&]() -> Got {
        avcodec_flush_buffers(context.get());
        // An edit list may leave a frame out of what is played (a clip of one frame can have it
        // cut to nothing); as a picture of the clip it still serves.
        packet->flags &= ~AV_PKT_FLAG_DISCARD;
        if (avcodec_send_packet(context.get(), packet.get()) < 0)
            return Got::Nothing;
        if (!drain)
            return receive(true);
        avcodec_send_packet(context.get(), nullptr);
        return receive(false);
    };

    // Key frames from the place sought; a black one gives way to the next few.
    constexpr int kKeyFrames = 5;
    constexpr int kPacketsBetweenKeyFrames = 2000;
    int keyFrames = 0;
    int sinceKey = 0;
    bool chosen = false;
    bool haveFirst = false;
    while (!chosen && keyFrames < kKeyFrames && sinceKey < kPacketsBetweenKeyFrames) {
        if (source.stop())
            return fail();
        av_packet_unref(packet.get());
        if (av_read_frame(in.format, packet.get()) < 0)
            break;
        if (packet->stream_index != index)
            continue;
        if (!(packet->flags & AV_PKT_FLAG_KEY)) {
            ++sinceKey;
            continue;
        }
        sinceKey = 0;
        ++keyFrames;
        const Got got = decodeKeyFrame();
        if (got == Got::Interrupted)
            return fail();
        if (got != Got::Frame)
            continue;
        if (!isBlack(decoded.get())) {
            chosen = true;
        } else if (!haveFirst) {
            av_frame_move_ref(first.get(), decoded.get());
            haveFirst = true;
        }
        av_frame_unref(chosen ? first.get() : decoded.get());
    }
    if (!chosen && haveFirst) {
        // Black all the way: black it is.
        av_frame_move_ref(decoded.get(), first.get());
        chosen = true;
    }
    if (!chosen)
        return fail();

    // The frame as seen: non-square pixels widened or narrowed to their proportions.
    const AVFrame* frame = decoded.get();
    const int width = frame->width;
    const int height = frame->height;
    if (width < 1 || height < 1 || std::int64_t(width) * height > maxPixels)
        return fail();
    int shownWidth = width;
    const AVRational aspect = frame->sample_aspect_ratio;
    if (aspect.num > 0 && aspect.den > 0 && aspect.num != aspect.den) {
        const double widened = std::round(double(width) * aspect.num / aspect.den);
        if (widened >= 1 && widened * height <= double(maxPixels) && widened <= 4.0 * width &&
            widened * 4 >= width)
            shownWidth = int(widened);
    }
    converter = sws_getCachedContext(converter, width, height, AVPixelFormat(frame->format), shownWidth,
                                     height, AV_PIX_FMT_BGR24, SWS_BILINEAR, nullptr, nullptr, nullptr);
    if (!converter)
        return fail();
    int* table = nullptr;
    int* inverseTable = nullptr;
    int sourceRange = 0;
    int targetRange = 0;
    int brightness = 0;
    int contrast = 0;
    int saturation = 0;
    if (sws_getColorspaceDetails(converter, &inverseTable, &sourceRange, &table, &targetRange, &brightness,
                                 &contrast, &saturation) >= 0) {
        const bool full = sourceRange != 0 || frame->color_range == AVCOL_RANGE_JPEG;
        sws_setColorspaceDetails(converter, sws_getCoefficients(swsColourSpace(frame)), full ? 1 : 0, table,
                                 targetRange, brightness, contrast, saturation);
    }
    // The converter writes whole vector registers, some pixels past the end of a row where the
    // width is not a multiple of their size: past the end of the picture's memory at its last
    // row, and into the row before at the others when rows are written upwards. So it writes
    // into rows of its own with room to spare, which are then copied into the picture.
    const std::size_t rowBytes = std::size_t(shownWidth) * 3;
    const std::size_t pitch = (rowBytes + 128 + 63) & ~std::size_t(63);
    if (pitch > std::size_t(std::numeric_limits<int>::max()))
        return fail();
    if (converted.size() < pitch * std::size_t(height)) {
        converted.reset();
        converted = ZeroedBlock(pitch * std::size_t(height));
        if (!converted)
            return fail();
    }
    std::uint8_t* const rows[4] = {converted.data(), nullptr, nullptr, nullptr};
    const int strides[4] = {int(pitch), 0, 0, 0};
    if (sws_scale(converter, frame->data, frame->linesize, 0, height, rows, strides) != height ||
        !cDib.Create(shownWidth, height))
        return fail();
    // The picture's rows go from the bottom up.
    const std::int32_t stride = cDib.BytesPerScanLine();
    for (int y = 0; y < height; ++y)
        std::memcpy(cDib.DIBSectionBitsPtr() + std::ptrdiff_t(height - 1 - y) * stride,
                    converted.data() + std::size_t(y) * pitch, rowBytes);
    result.status = VideoDecoder::Status::Decoded;
    return result;
}

} // namespace

VideoDecoder::VideoDecoder(std::int64_t maxPixels, std::chrono::milliseconds timeLimit)
    : m_maxPixels(maxPixels), m_timeLimit(timeLimit)
{
}

VideoDecoder::~VideoDecoder()
{
    release();
}

void VideoDecoder::release()
{
    sws_freeContext(m_converter);
    m_converter = nullptr;
    m_converted.reset();
    // The decoders' frames come from the allocator, which keeps large freed blocks in its heaps
    // once it has seen a few (its threshold for giving them back moves up); tens of megabytes for
    // clips of 4K would stay with the process after a folder of them.
    if (m_readSinceRelease)
        ::malloc_trim(0);
    m_readSinceRelease = false;
}

VideoDecoder::Result VideoDecoder::decode(cDIBSection& cDib, const QByteArray& nativePath,
                                          ClipMetadata* metadata)
{
    Result result;
    if (metadata)
        *metadata = ClipMetadata();
    try {
        RegularFile file(nativePath);
        if (!file.isOpen())
            return result;
        std::uint8_t head[kClipHeadBytes];
        const std::int64_t got = file.read(head, sizeof head);
        const ClipContainer container = got > 0 ? clipContainer(head, std::size_t(got)) : ClipContainer::None;
        if (container == ClipContainer::None) {
            result.status = Status::NotVideo;
            return result;
        }
        Source source(file.size(), m_timeLimit, &m_cancelled);
        source.fd = file.handle();
        m_readSinceRelease = true;
        result = decodeFrom(cDib, source, container, metadata, m_maxPixels, m_converter, m_converted);
        if (metadata)
            metadata->modified = file.modified();
        return result;
    } catch (const std::exception&) {
        return result;
    }
}

VideoDecoder::Result VideoDecoder::decodeData(cDIBSection& cDib, const std::uint8_t* data, std::size_t size,
                                              ClipMetadata* metadata)
{
    Result result;
    if (metadata)
        *metadata = ClipMetadata();
    const ClipContainer container = clipContainer(data, size);
    if (container == ClipContainer::None ||
        size > std::size_t(std::numeric_limits<std::int64_t>::max() / 4)) {
        result.status = Status::NotVideo;
        return result;
    }
    try {
        Source source(std::int64_t(size), m_timeLimit, &m_cancelled);
        source.data = data;
        m_readSinceRelease = true;
        return decodeFrom(cDib, source, container, metadata, m_maxPixels, m_converter, m_converted);
    } catch (const std::exception&) {
        return result;
    }
}

std::optional<ZonedClockTime> parseClipTime(std::string_view text)
{
    while (!text.empty() && (text.back() == ' ' || text.back() == '\0'))
        text.remove_suffix(1);
    if (text.size() < 19)
        return std::nullopt;
    std::string_view rest = text.substr(19);
    std::string_view fraction;
    if (!rest.empty() && rest.front() == '.') {
        std::size_t digits = 1;
        while (digits < rest.size() && rest[digits] >= '0' && rest[digits] <= '9')
            ++digits;
        fraction = rest.substr(1, digits - 1);
        rest.remove_prefix(digits);
        if (fraction.empty())
            return std::nullopt;
    }
    const std::optional<ClockTime> clock = parseExifDateTime(text.substr(0, 19), fraction);
    if (!clock)
        return std::nullopt;
    ZonedClockTime zoned{*clock, std::nullopt};
    if (rest.empty())
        return zoned;
    if (rest == "Z") {
        zoned.zoneOffset = 0;
        return zoned;
    }
    // +HH, +HHMM or +HH:MM
    if (rest.front() != '+' && rest.front() != '-')
        return std::nullopt;
    const int sign = rest.front() == '-' ? -1 : 1;
    rest.remove_prefix(1);
    std::string digits;
    for (std::size_t i = 0; i < rest.size(); ++i) {
        if (rest[i] >= '0' && rest[i] <= '9')
            digits += rest[i];
        else if (!(rest[i] == ':' && i == 2))
            return std::nullopt;
    }
    if (digits.size() != 2 && digits.size() != 4)
        return std::nullopt;
    const int hours = (digits[0] - '0') * 10 + (digits[1] - '0');
    const int minutes = digits.size() == 4 ? (digits[2] - '0') * 10 + (digits[3] - '0') : 0;
    if (hours > 14 || minutes > 59)
        return std::nullopt;
    zoned.zoneOffset = sign * (hours * 3600 + minutes * 60);
    return zoned;
}

bool isClipFile(const QByteArray& nativePath)
{
    RegularFile file(nativePath);
    std::uint8_t head[kClipHeadBytes];
    const std::int64_t got = file.isOpen() ? file.read(head, sizeof head) : 0;
    return got > 0 && looksLikeVideo(head, std::size_t(got));
}

std::optional<ClipMetadata> readClipMetadata(const QByteArray& nativePath,
                                             std::chrono::milliseconds timeLimit) noexcept
{
    try {
        setUpLibraries();
        RegularFile file(nativePath);
        if (!file.isOpen())
            return std::nullopt;
        std::uint8_t head[kClipHeadBytes];
        const std::int64_t got = file.read(head, sizeof head);
        const ClipContainer container = got > 0 ? clipContainer(head, std::size_t(got)) : ClipContainer::None;
        if (container == ClipContainer::None)
            return std::nullopt;
        Source source(file.size(), timeLimit, nullptr);
        source.fd = file.handle();
        ClipMetadata metadata;
        Input in;
        if (openInput(in, source, container)) {
            const int index = videoStream(in.format);
            metadata = metadataOf(in.format, index >= 0 ? in.format->streams[index] : nullptr);
        }
        metadata.modified = file.modified();
        return metadata;
    } catch (...) {
        return std::nullopt;
    }
}

} // namespace imaging
