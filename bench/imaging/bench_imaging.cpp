// How much LoadJPG costs on top of TurboJPEG's own decoding, and how long resampling takes.
//
//   bench_imaging [--runs N] [FILE_OR_FOLDER...]
//
// Without arguments it makes camera-size JPEGs (12 and 24 megapixels) of its own. Each file is
// decoded in turns by LoadJPG and by TurboJPEG alone into a plain buffer of the same layout. The
// figures are the fastest of the runs, which other work on the machine disturbs least; the ratio
// compares their sums (the ratio of the medians follows in brackets). The second pair keeps
// decoder and memory from file to file on both sides, as the thumbnail workers do.
//
// Then the cost of reading the metadata (orientation, times taken) against the decode it comes
// with: from the bytes in memory, as the decoder does it, and from the file alone, as ordering
// by time taken does for pictures not loaded yet, and the reading alone per file, to compare two
// versions of the reader by. The generated files carry EXIF data the way cameras write it, with
// a small preview picture; pass your own photos for makers' notes.
//
// Then a phone photo (HEIC) against a camera photo (JPEG) of one generated 12-megapixel picture,
// from the file to the thumbnail as the loader threads make it, as a ratio.

#include "imaging/JpegDecoder.h"
#include "imaging/LoadJPG.h"
#include "imaging/PhotoMetadata.h"
#include "imaging/cDIBSection.h"
#include "thumbnails/Thumbnails.h"

#include "CameraExif.h"
#include "Stats.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <libheif/heif.h>
#include <turbojpeg.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <vector>

namespace {

double fastest(const std::vector<double>& values)
{
    return *std::min_element(values.begin(), values.end());
}

double millisecondsOf(const std::function<void()>& work)
{
    QElapsedTimer timer;
    timer.start();
    work();
    return double(timer.nsecsElapsed()) / 1e6;
}

// Smooth shading with some grain and hard edges compresses about like a photograph.
std::vector<unsigned char> cameraLikePixels(int width, int height)
{
    std::vector<unsigned char> rgb(std::size_t(width) * height * 3);
    QRandomGenerator random(7);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const int grain = int(random.bounded(24)) - 12;
            const bool edge = ((x / 97) + (y / 131)) % 5 == 0;
            unsigned char* p = &rgb[(std::size_t(y) * width + x) * 3];
            p[0] = uchar(std::clamp(x * 255 / width + grain + (edge ? 60 : 0), 0, 255));
            p[1] = uchar(std::clamp(y * 255 / height + grain, 0, 255));
            p[2] = uchar(std::clamp((x + y) * 128 / (width + height) + 64 + grain, 0, 255));
        }
    }
    return rgb;
}

QByteArray cameraLikeJpeg(int width, int height)
{
    const std::vector<unsigned char> rgb = cameraLikePixels(width, height);
    tjhandle handle = tjInitCompress();
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    tjCompress2(handle, rgb.data(), width, 0, height, TJPF_RGB, &jpeg, &size, TJSAMP_420, 90, 0);
    QByteArray bytes(reinterpret_cast<const char*>(jpeg), qsizetype(size));
    tjFree(jpeg);
    tjDestroy(handle);
    return bytes;
}

// The same picture as a phone stores it: HEVC at the quality phones use, 4:2:0. x265's "fast"
// preset keeps the encoding to seconds; the decoder's work is much the same.
QByteArray cameraLikeHeic(int width, int height)
{
    const std::vector<unsigned char> rgb = cameraLikePixels(width, height);
    heif_context* context = heif_context_alloc();
    heif_encoder* encoder = nullptr;
    heif_image* image = nullptr;
    QByteArray file;
    if (heif_context_get_encoder_for_format(context, heif_compression_HEVC, &encoder).code == heif_error_Ok &&
        heif_image_create(width, height, heif_colorspace_RGB, heif_chroma_interleaved_RGB, &image).code ==
            heif_error_Ok &&
        heif_image_add_plane(image, heif_channel_interleaved, width, height, 8).code == heif_error_Ok) {
        int stride = 0;
        std::uint8_t* plane = heif_image_get_plane(image, heif_channel_interleaved, &stride);
        for (int y = 0; y < height; ++y)
            std::memcpy(plane + std::size_t(y) * stride, &rgb[std::size_t(y) * width * 3], std::size_t(width) * 3);
        heif_encoder_set_lossy_quality(encoder, 50);
        heif_encoder_set_parameter_string(encoder, "preset", "fast");
        heif_writer writer{1, [](heif_context*, const void* data, size_t size, void* into) {
                               static_cast<QByteArray*>(into)->append(static_cast<const char*>(data), qsizetype(size));
                               return heif_error{heif_error_Ok, heif_suberror_Unspecified, ""};
                           }};
        // With a thumbnail of 320 pixels on its longer side, as phones store one.
        heif_image_handle* handle = nullptr;
        heif_image_handle* thumbnail = nullptr;
        if (heif_context_encode_image(context, image, encoder, nullptr, &handle).code == heif_error_Ok &&
            heif_context_encode_thumbnail(context, image, handle, encoder, nullptr, 320, &thumbnail).code ==
                heif_error_Ok)
            heif_context_write(context, &writer, &file);
        if (thumbnail)
            heif_image_handle_release(thumbnail);
        if (handle)
            heif_image_handle_release(handle);
    }
    if (image)
        heif_image_release(image);
    if (encoder)
        heif_encoder_release(encoder);
    heif_context_free(context);
    return file;
}

QByteArray readWhole(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// TurboJPEG alone: read the file, decode it into a buffer with rows padded to 4 bytes.
struct PlainDecode
{
    tjhandle handle = nullptr;
    std::vector<unsigned char> pixels;

    bool run(const QString& path, bool keep)
    {
        const QByteArray jpeg = readWhole(path);
        if (!keep || !handle)
            handle = tjInitDecompress();
        const auto* data = reinterpret_cast<const unsigned char*>(jpeg.constData());
        int width = 0, height = 0, subsampling = 0, colourSpace = 0;
        bool ok = tjDecompressHeader3(handle, data, jpeg.size(), &width, &height, &subsampling, &colourSpace) == 0;
        const int pitch = (width * 3 + 3) & ~3;
        if (!keep)
            pixels = std::vector<unsigned char>();
        unsigned char* out = nullptr;
        std::unique_ptr<unsigned char, decltype(&std::free)> fresh(nullptr, &std::free);
        if (keep) {
            pixels.resize(std::size_t(pitch) * height);
            out = pixels.data();
        } else {
            fresh.reset(static_cast<unsigned char*>(std::malloc(std::size_t(pitch) * height)));
            out = fresh.get();
        }
        ok = ok && tjDecompress2(handle, data, jpeg.size(), out, width, pitch, height, TJPF_BGR, 0) == 0;
        if (!keep) {
            tjDestroy(handle);
            handle = nullptr;
        }
        return ok;
    }
};

QStringList jpegFiles(const QStringList& arguments)
{
    QStringList files;
    for (const QString& argument : arguments) {
        const QFileInfo info(argument);
        if (info.isDir()) {
            for (const QFileInfo& entry : QDir(argument).entryInfoList({QStringLiteral("*.jpg"), QStringLiteral("*.jpeg"),
                                                                          QStringLiteral("*.JPG")},
                                                                         QDir::Files))
                files.append(entry.filePath());
        } else {
            files.append(argument);
        }
    }
    return files;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList arguments = app.arguments().mid(1);
    int runs = 7;
    if (arguments.size() >= 2 && arguments.first() == QStringLiteral("--runs")) {
        runs = std::max(1, arguments.at(1).toInt());
        arguments = arguments.mid(2);
    }

    QTemporaryDir generated;
    QStringList files = jpegFiles(arguments);
    if (files.isEmpty()) {
        for (const QSize size : {QSize(4000, 3000), QSize(6000, 4000)}) {
            const QString path = generated.filePath(QStringLiteral("camera-%1x%2.jpg").arg(size.width()).arg(size.height()));
            QFile file(path);
            if (!file.open(QIODevice::WriteOnly) ||
                file.write(withCameraExif(cameraLikeJpeg(size.width(), size.height()), cameraLikeJpeg(160, 120))) < 0)
                return 1;
            files.append(path);
        }
    }

    std::printf("JPEG decoding, fastest of %d runs (ms)\n", runs);
    std::printf("%-44s %9s %9s %9s %9s\n", "file", "LoadJPG", "TurboJPEG", "reusing", "TJ reuse");
    double loadTotal = 0, plainTotal = 0, reuseTotal = 0, plainReuseTotal = 0;
    double loadMedians = 0, plainMedians = 0, reuseMedians = 0, plainReuseMedians = 0;
    imaging::JpegDecoder decoder;
    cDIBSection reused;
    reused.KeepMemoryForReuse(true);
    PlainDecode plainReused;
    for (const QString& path : files) {
        std::vector<double> load, plain, reuse, plainReuse;
        for (int run = -1; run < runs; ++run) { // the first round warms the page cache
            cDIBSection dib;
            PlainDecode once;
            bool ok = true;
            const double a = millisecondsOf([&] { ok = LoadJPG(dib, path) && ok; });
            const double b = millisecondsOf([&] { ok = once.run(path, false) && ok; });
            const double c = millisecondsOf([&] { ok = decoder.decode(reused, QFile::encodeName(path)).decoded() && ok; });
            const double d = millisecondsOf([&] { ok = plainReused.run(path, true) && ok; });
            if (!ok) {
                std::printf("%s: not decodable, left out\n", qPrintable(path));
                break;
            }
            if (run >= 0) {
                load.push_back(a);
                plain.push_back(b);
                reuse.push_back(c);
                plainReuse.push_back(d);
            }
        }
        if (load.empty())
            continue;
        std::printf("%-44s %9.1f %9.1f %9.1f %9.1f  (%dx%d)\n", qPrintable(QFileInfo(path).fileName().left(44)),
                    fastest(load), fastest(plain), fastest(reuse), fastest(plainReuse), reused.Width(), reused.Height());
        loadTotal += fastest(load);
        plainTotal += fastest(plain);
        reuseTotal += fastest(reuse);
        plainReuseTotal += fastest(plainReuse);
        loadMedians += median(load);
        plainMedians += median(plain);
        reuseMedians += median(reuse);
        plainReuseMedians += median(plainReuse);
    }
    if (plainTotal > 0)
        std::printf("ratio LoadJPG / TurboJPEG: %.3f (%.3f)   reusing: %.3f (%.3f)   target: within 1.05\n\n",
                    loadTotal / plainTotal, loadMedians / plainMedians, reuseTotal / plainReuseTotal,
                    reuseMedians / plainReuseMedians);

    std::printf("Metadata, fastest of %d runs (ms); decoding reuses decoder and memory\n", runs);
    std::printf("%-44s %9s %9s %9s %9s\n", "file", "decode", "+metadata", "bytes", "file");
    double decodeTotal = 0, withTotal = 0, bytesTotal = 0, fileTotal = 0;
    int metadataFiles = 0;
    for (const QString& path : files) {
        const QByteArray native = QFile::encodeName(path);
        const QByteArray whole = readWhole(path);
        const auto* data = reinterpret_cast<const std::uint8_t*>(whole.constData());
        std::vector<double> plain, with, bytes, file;
        imaging::PhotoMetadata metadata;
        bool ok = true;
        // One call takes microseconds; a hundred make a figure the timer resolves.
        constexpr int kCalls = 100;
        for (int run = -1; run < runs; ++run) {
            const double a = millisecondsOf([&] { ok = decoder.decode(reused, native).decoded() && ok; });
            const double b =
                millisecondsOf([&] { ok = decoder.decode(reused, native, &metadata).decoded() && ok; });
            const double c = millisecondsOf([&] {
                                 for (int i = 0; i < kCalls; ++i)
                                     metadata = imaging::readPhotoMetadata(data, std::size_t(whole.size()));
                             }) /
                             kCalls;
            const double d = millisecondsOf([&] {
                                 for (int i = 0; i < kCalls; ++i)
                                     metadata = imaging::readFileMetadata(native);
                             }) /
                             kCalls;
            if (run >= 0 && ok) {
                plain.push_back(a);
                with.push_back(b);
                bytes.push_back(c);
                file.push_back(d);
            }
        }
        if (plain.empty())
            continue;
        std::printf("%-44s %9.1f %9.1f %9.3f %9.3f  (orientation %d)\n",
                    qPrintable(QFileInfo(path).fileName().left(44)), fastest(plain), fastest(with),
                    fastest(bytes), fastest(file), int(metadata.shownAs()));
        decodeTotal += fastest(plain);
        withTotal += fastest(with);
        bytesTotal += fastest(bytes);
        fileTotal += fastest(file);
        ++metadataFiles;
    }
    if (decodeTotal > 0)
        std::printf("metadata from the bytes / decode: %.2f%%   decode with metadata / without: %.3f   "
                    "from the file alone / decode: %.2f%%   target: within 3%%\n\n",
                    100 * bytesTotal / decodeTotal, withTotal / decodeTotal, 100 * fileTotal / decodeTotal);
    // The reading alone, to compare versions of the reader by.
    if (metadataFiles > 0)
        std::printf("metadata of a file, the mean of the fastest: from the bytes %.2f us, from the file alone %.2f us\n\n",
                    1000 * bytesTotal / metadataFiles, 1000 * fileTotal / metadataFiles);

    // A phone photo and a camera photo of the same picture, 12 megapixels, from the file to the
    // thumbnail as the loader threads make it: the JPEG decoder tries the phone photo first.
    {
        const QString jpegPath = generated.filePath(QStringLiteral("same-4000x3000.jpg"));
        const QString heicPath = generated.filePath(QStringLiteral("same-4000x3000.heic"));
        QFile jpegFile(jpegPath);
        QFile heicFile(heicPath);
        const QByteArray heic = cameraLikeHeic(4000, 3000);
        if (heic.isEmpty() || !jpegFile.open(QIODevice::WriteOnly) || jpegFile.write(cameraLikeJpeg(4000, 3000)) < 0 ||
            !heicFile.open(QIODevice::WriteOnly) || heicFile.write(heic) < 0)
            return 1;
        jpegFile.close();
        heicFile.close();
        std::printf("Phone photo against camera photo, 12 megapixels, file to 100 x 100 thumbnail, fastest of %d "
                    "runs (ms)\n",
                    runs);
        thumbs::Preparer preparer;
        std::vector<double> jpegTimes, heicTimes, previewTimes;
        for (int run = -1; run < runs; ++run) {
            bool ok = true;
            const double look = millisecondsOf([&] {
                ok = preparer.preview(QFile::encodeName(heicPath), 100, 100).kind == thumbs::Prepared::Kind::Jpeg;
            });
            const double a = millisecondsOf([&] {
                ok = preparer.prepare(QFile::encodeName(jpegPath), 100, 100).kind ==
                         thumbs::Prepared::Kind::Jpeg &&
                     ok;
            });
            const double b = millisecondsOf([&] {
                ok = preparer.prepare(QFile::encodeName(heicPath), 100, 100).kind ==
                         thumbs::Prepared::Kind::Jpeg &&
                     ok;
            });
            if (!ok) {
                std::printf("not decodable\n");
                return 1;
            }
            if (run >= 0) {
                jpegTimes.push_back(a);
                heicTimes.push_back(b);
                previewTimes.push_back(look);
            }
        }
        std::printf("  JPEG %9.1f  (%lld bytes)\n  HEIC %9.1f  (%lld bytes)\n", fastest(jpegTimes),
                    qlonglong(QFileInfo(jpegPath).size()), fastest(heicTimes), qlonglong(heic.size()));
        std::printf("ratio HEIC / JPEG: %.2f (%.2f)\n", fastest(heicTimes) / fastest(jpegTimes),
                    median(heicTimes) / median(jpegTimes));
        std::printf("  HEIC preview from its thumbnail %9.1f   ratio to the HEIC thumbnail: %.3f\n\n",
                    fastest(previewTimes), fastest(previewTimes) / fastest(heicTimes));
    }

    cDIBSection source;
    if (!source.Create(4000, 3000))
        return 1;
    source.RandomiseBits(true);
    std::printf("Resampling 4000 x 3000, fastest of %d runs (ms)\n", runs);
    for (const QSize target : {QSize(100, 75), QSize(2000, 1500)}) {
        std::vector<double> times;
        for (int run = 0; run < runs; ++run)
            times.push_back(millisecondsOf([&] { source.Resample(target.height(), target.width()); }));
        std::printf("  to %4d x %-4d %9.1f\n", target.width(), target.height(), fastest(times));
    }
    return 0;
}
