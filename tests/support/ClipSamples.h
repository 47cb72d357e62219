#pragma once

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QList>
#include <QPair>
#include <QString>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/display.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <functional>
#include <optional>

// Clips made at test time through FFmpeg's libraries with the encoders Debian's libavcodec has
// (libx264, and its own MPEG-4 part 2), in the containers phones and cameras use, with the tags
// they write: a few kilobytes each, nothing binary checked in.
struct ClipSample
{
    using Tags = QList<QPair<QByteArray, QByteArray>>;

    const char* muxer = "mp4"; // mp4, mov, 3gp, matroska, webm, avi, mpegts, m2ts (AVCHD's packets)
    const char* encoder = "libx264";
    QSize size{64, 48};
    int fps = 10;
    int frames = 20;
    int keyEvery = 5;    // a key frame every so many frames
    bool reorder = true; // B-frames, which the decoder holds back until it sees what follows
    // The picture of frame i; mid grey unless given.
    std::function<QImage(int)> picture;
    Tags tags;       // the container's
    Tags streamTags; // the video stream's
    // Written as the display matrix (av_display_rotation_set: degrees counter-clockwise), mirrored
    // left to right afterwards when asked.
    std::optional<double> rotation;
    bool mirrored = false;
    AVRational pixelAspect{1, 1};
    QSize claimed; // the frame size the container states, where it differs from the frames'

    ClipSample& in(const char* name) { return muxer = name, *this; }
    ClipSample& with(const char* name) { return encoder = name, *this; }
    ClipSample& sized(int w, int h) { return size = QSize(w, h), *this; }
    ClipSample& length(int count, int rate = 10) { return frames = count, fps = rate, *this; }
    ClipSample& keys(int every) { return keyEvery = every, *this; }
    ClipSample& showing(std::function<QImage(int)> f) { return picture = std::move(f), *this; }
    ClipSample& tag(const QByteArray& key, const QByteArray& value)
    {
        return tags.append({key, value}), *this;
    }
    ClipSample& streamTag(const QByteArray& key, const QByteArray& value)
    {
        return streamTags.append({key, value}), *this;
    }
    ClipSample& turned(double degrees, bool mirror = false)
    {
        return rotation = degrees, mirrored = mirror, *this;
    }
    ClipSample& pixels(int num, int den) { return pixelAspect = AVRational{num, den}, *this; }
    ClipSample& claiming(int w, int h) { return claimed = QSize(w, h), *this; }
};

// Writes the clip; an error text, empty when it was written.
inline QString writeClip(const QString& path, const ClipSample& sample)
{
    av_log_set_level(AV_LOG_ERROR);
    const QByteArray file = path.toLocal8Bit();
    AVFormatContext* out = nullptr;
    const bool m2ts = qstrcmp(sample.muxer, "m2ts") == 0;
    if (avformat_alloc_output_context2(&out, nullptr, m2ts ? "mpegts" : sample.muxer, file.constData()) < 0 ||
        !out)
        return QStringLiteral("no muxer %1").arg(QLatin1String(sample.muxer));
    QString error;
    const AVCodec* codec = avcodec_find_encoder_by_name(sample.encoder);
    AVCodecContext* encoder = codec ? avcodec_alloc_context3(codec) : nullptr;
    AVFrame* frame = av_frame_alloc();
    AVPacket* packet = av_packet_alloc();
    SwsContext* converter = nullptr;
    AVDictionary* options = nullptr;
    const auto write = [&](AVFrame* f) {
        if (avcodec_send_frame(encoder, f) < 0)
            return false;
        while (avcodec_receive_packet(encoder, packet) >= 0) {
            av_packet_rescale_ts(packet, encoder->time_base, out->streams[0]->time_base);
            packet->stream_index = 0;
            if (av_interleaved_write_frame(out, packet) < 0)
                return false;
        }
        return true;
    };
    do {
        if (!encoder) {
            error = QStringLiteral("no encoder %1").arg(QLatin1String(sample.encoder));
            break;
        }
        AVStream* stream = avformat_new_stream(out, nullptr);
        encoder->width = sample.size.width();
        encoder->height = sample.size.height();
        encoder->time_base = AVRational{1, sample.fps};
        encoder->framerate = AVRational{sample.fps, 1};
        encoder->pix_fmt = AV_PIX_FMT_YUV420P;
        encoder->gop_size = sample.keyEvery;
        encoder->max_b_frames = sample.reorder ? 2 : 0;
        encoder->sample_aspect_ratio = sample.pixelAspect;
        encoder->thread_count = 1;
        if (out->oformat->flags & AVFMT_GLOBALHEADER)
            encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        if (qstrcmp(sample.encoder, "libx264") == 0) {
            av_opt_set(encoder->priv_data, "preset", "ultrafast", 0);
            // Key frames exactly where asked, none at changes of scene.
            av_opt_set(encoder->priv_data, "x264-params",
                       sample.reorder ? "scenecut=0:bframes=2:b-adapt=0:b-pyramid=none" : "scenecut=0", 0);
        } else {
            encoder->global_quality = 2 * FF_QP2LAMBDA;
            encoder->flags |= AV_CODEC_FLAG_QSCALE;
        }
        if (avcodec_open2(encoder, codec, nullptr) < 0) {
            error = QStringLiteral("encoder does not open");
            break;
        }
        avcodec_parameters_from_context(stream->codecpar, encoder);
        stream->time_base = encoder->time_base;
        stream->sample_aspect_ratio = sample.pixelAspect;
        if (sample.claimed.isValid()) {
            stream->codecpar->width = sample.claimed.width();
            stream->codecpar->height = sample.claimed.height();
        }
        if (sample.rotation) {
            auto* matrix = reinterpret_cast<int32_t*>(
                av_stream_new_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, 9 * sizeof(int32_t)));
            av_display_rotation_set(matrix, *sample.rotation);
            if (sample.mirrored)
                av_display_matrix_flip(matrix, 1, 0);
        }
        for (const auto& [key, value] : sample.tags)
            av_dict_set(&out->metadata, key.constData(), value.constData(), 0);
        for (const auto& [key, value] : sample.streamTags)
            av_dict_set(&stream->metadata, key.constData(), value.constData(), 0);
        // Apple's and Android's keys are written as QuickTime metadata keys, as phones do; other
        // tags where the container has its own places for them (a camera's make and model).
        if (std::any_of(sample.tags.begin(), sample.tags.end(),
                        [](const auto& t) { return t.first.startsWith("com."); }))
            av_dict_set(&options, "movflags", "use_metadata_tags", 0);
        if (m2ts)
            av_dict_set(&options, "mpegts_m2ts_mode", "1", 0);
        if (avio_open(&out->pb, file.constData(), AVIO_FLAG_WRITE) < 0 ||
            avformat_write_header(out, &options) < 0) {
            error = QStringLiteral("cannot write %1").arg(path);
            break;
        }
        frame->format = encoder->pix_fmt;
        frame->width = encoder->width;
        frame->height = encoder->height;
        if (av_frame_get_buffer(frame, 0) < 0) {
            error = QStringLiteral("no frame");
            break;
        }
        converter = sws_getContext(frame->width, frame->height, AV_PIX_FMT_BGRA, frame->width, frame->height,
                                   AV_PIX_FMT_YUV420P, SWS_BILINEAR, nullptr, nullptr, nullptr);
        bool ok = true;
        for (int i = 0; i < sample.frames && ok; ++i) {
            QImage picture = sample.picture ? sample.picture(i) : QImage(sample.size, QImage::Format_RGB32);
            if (!sample.picture)
                picture.fill(QColor(128, 128, 128));
            picture = picture.convertToFormat(QImage::Format_RGB32).scaled(sample.size);
            av_frame_make_writable(frame);
            const uint8_t* rows[1] = {picture.constBits()};
            const int strides[1] = {int(picture.bytesPerLine())};
            sws_scale(converter, rows, strides, 0, frame->height, frame->data, frame->linesize);
            frame->pts = i;
            ok = write(frame);
        }
        if (!ok || !write(nullptr) || av_write_trailer(out) < 0)
            error = QStringLiteral("encoding failed");
    } while (false);
    sws_freeContext(converter);
    av_dict_free(&options);
    av_packet_free(&packet);
    av_frame_free(&frame);
    avcodec_free_context(&encoder);
    if (out->pb)
        avio_closep(&out->pb);
    avformat_free_context(out);
    return error;
}

// A picture of one colour.
inline QImage plain(QColor colour, QSize size = QSize(64, 48))
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

// Red, green, blue and white quarters (top left, top right, bottom left, bottom right).
inline QImage quartered(QSize size = QSize(64, 48))
{
    QImage image(size, QImage::Format_RGB32);
    const int w = size.width() / 2;
    const int h = size.height() / 2;
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            image.setPixel(x, y,
                           y < h ? (x < w ? qRgb(255, 0, 0) : qRgb(0, 255, 0))
                                 : (x < w ? qRgb(0, 0, 255) : qRgb(255, 255, 255)));
    return image;
}

// The colour at each quarter's middle, as "RG/BW" for quartered(); "?" where it is none of those
// (nor black, "K").
inline QString quartersOf(const QImage& image)
{
    QString text;
    for (const QPoint q : {QPoint(1, 1), QPoint(3, 1), QPoint(1, 3), QPoint(3, 3)}) {
        const QRgb c = image.pixel(image.width() * q.x() / 4, image.height() * q.y() / 4);
        const int bits = (qRed(c) > 160) | (qGreen(c) > 160) << 1 | (qBlue(c) > 160) << 2;
        const bool clear = std::max({qRed(c), qGreen(c), qBlue(c)}) < 60 ||
                           ((qRed(c) > 160 || qRed(c) < 90) && (qGreen(c) > 160 || qGreen(c) < 90) &&
                            (qBlue(c) > 160 || qBlue(c) < 90));
        text += clear ? QStringLiteral("KRG?B??W")[bits] : u'?';
    }
    return text.insert(2, u'/');
}
