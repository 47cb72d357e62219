#include "imaging/PictureReader.h"

#include "imaging/JpegDecoder.h"
#include "imaging/RegularFile.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>

#include <cstdint>
#include <mutex>

namespace imaging {

namespace {

// Qt's readers refuse images above 256 MB by default; the program's own pixel limit decides
// instead (checked against the header before anything is decoded).
void raiseReaderAllocationLimit()
{
    static std::once_flag once;
    std::call_once(once, [] {
        const std::int64_t bytes = maxDecodePixels() * 4;
        QImageReader::setAllocationLimit(static_cast<int>(bytes >> 20) + 1);
    });
}

// Whether a file of fileBytes bytes can hold the picture of `pixels` pixels that its header
// claims. Qt's JPEG and GIF readers make up what a file lacks (grey rows, the background colour)
// and an SVG drawing is painted at whatever size it names, so a damaged or hostile header costs as
// much as a real picture of that size: a 700-byte JPEG claiming 14142 x 14142 pixels took 2 s and
// 780 MB there. Up to the size of a common camera photo any claim is let through, as its work is
// what every photo costs. Above it, a claim is refused when it exceeds
// - for JPEG data, 100 pixels per byte. Photos have 1 to 25. The JPEGs that come here are those
//   TurboJPEG refused: CMYK ones (flat ones reach about 45) and damaged ones. A photo with a
//   quarter of its data still shows; a 2560 x 1600 photo whose height was set to 65500 (190) not.
// - for other formats, 16384 pixels per byte. Flat pictures reach about 300 as RGB PNG, 1000 as
//   paletted PNG and 8200 as one-bit PNG; flat lossless WebP (25000) and SVG drawings claiming
//   more than 12 megapixels are refused.
bool plausibleSize(qint64 pixels, qint64 fileBytes, bool jpeg)
{
    constexpr qint64 kAlwaysPlausible = 12'000'000;
    if (pixels <= kAlwaysPlausible)
        return true;
    const qint64 pixelsPerByte = jpeg ? 100 : 16384;
    return pixels <= fileBytes * pixelsPerByte;
}

QImage read(const QByteArray& nativePath, PhotoMetadata* metadata, const CoverFunction* cover)
{
    if (metadata)
        *metadata = PhotoMetadata();
    raiseReaderAllocationLimit();
    RegularFile regular(nativePath);
    if (!regular.isOpen())
        return QImage();
    QFile file;
    if (!file.open(regular.handle(), QIODevice::ReadOnly, QFileDevice::DontCloseHandle))
        return QImage();
    if (cover) {
        // Asked before the file is read whole: most readers cannot scale, and then there is nothing to do.
        // Only readers that do less work for a smaller picture count: JPEG decodes fewer
        // coefficients, SVG paints at the size asked for; PNG, for one, reads everything and
        // scales afterwards.
        QImageReader probe(&file);
        const QByteArray format = probe.format();
        if ((format != "jpeg" && format != "svg" && format != "svgz") ||
            !probe.supportsOption(QImageIOHandler::ScaledSize) || !file.seek(0))
            return QImage();
    }
    // The metadata comes from the same bytes as the picture, so the file is read whole first.
    QBuffer bytes;
    QIODevice* device = &file;
    if (metadata) {
        metadata->modified = regular.modified();
        if (regular.size() <= kMaxJpegFileBytes) {
            bytes.setData(file.readAll());
            const QByteArray& data = bytes.data();
            const std::optional<ClockTime> modified = metadata->modified;
            *metadata = readPhotoMetadata(reinterpret_cast<const std::uint8_t*>(data.constData()),
                                          std::size_t(data.size()));
            metadata->modified = modified;
            bytes.open(QIODevice::ReadOnly);
            device = &bytes;
        }
    }
    QImageReader reader(device);
    // The caller turns the picture as its metadata says; a reader that did so too would turn it twice.
    reader.setAutoTransform(false);
    const QSize size = reader.size();
    if (size.isValid()) {
        const qint64 pixels = qint64(size.width()) * size.height();
        if (pixels > maxDecodePixels() || !plausibleSize(pixels, regular.size(), reader.format() == "jpeg"))
            return QImage();
    }
    if (cover) {
        if (!size.isValid())
            return QImage();
        const QSize wanted = (*cover)(size, metadata ? metadata->shownAs() : Orientation::Normal);
        if (wanted.width() >= size.width() && wanted.height() >= size.height())
            return QImage();
        reader.setScaledSize(wanted.boundedTo(size).expandedTo(QSize(1, 1)));
    }
    QImage image;
    if (!reader.read(&image))
        return QImage();
    if (qint64(image.width()) * image.height() > maxDecodePixels())
        return QImage();
    return image;
}

} // namespace

QImage readPicture(const QByteArray& nativePath, PhotoMetadata* metadata)
{
    return read(nativePath, metadata, nullptr);
}

QImage readPictureReduced(const QByteArray& nativePath, const CoverFunction& cover, PhotoMetadata* metadata)
{
    return read(nativePath, metadata, &cover);
}

} // namespace imaging
