#include "main_window/Thumbnails.h"

#include "imaging/JpegDecoder.h"
#include "platform/DeviceContext.h"
#include "platform/Numeric.h"
#include "platform/Screen.h"

#include <QFile>
#include <QFontMetricsF>
#include <QImageReader>
#include <QPainter>

#include <cmath>
#include <mutex>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace thumbs {

namespace {

int nearest(double v)
{
    return static_cast<int>(platform::roundHalfEven(v));
}

// Qt's readers refuse images above 256 MB by default; the program's own pixel limit decides
// instead (checked against the header before anything is decoded).
void raiseReaderAllocationLimit()
{
    static std::once_flag once;
    std::call_once(once, [] {
        const std::int64_t bytes = imaging::maxDecodePixels() * 4;
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

// Reads a picture with Qt's readers. Only regular files are read, opened without blocking, so a
// FIFO or a device cannot hang the program; images beyond the pixel limit, or larger than the
// file can plausibly hold, are not decoded.
QImage readPicture(const QByteArray& nativePath)
{
    raiseReaderAllocationLimit();
    const int fd = ::open(nativePath.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return QImage();
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return QImage();
    }
    // Regular files never block; reading goes on in the ordinary mode.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return QImage();
    }
    QImageReader reader(&file);
    const QSize size = reader.size();
    if (size.isValid()) {
        const qint64 pixels = qint64(size.width()) * size.height();
        if (pixels > imaging::maxDecodePixels() || !plausibleSize(pixels, st.st_size, reader.format() == "jpeg"))
            return QImage();
    }
    QImage image;
    if (!reader.read(&image))
        return QImage();
    if (qint64(image.width()) * image.height() > imaging::maxDecodePixels())
        return QImage();
    return image;
}

} // namespace

JpegFit fitJpeg(int W, int H, int TW, int TH)
{
    JpegFit f;
    if (double(W) / TW * TH > H) {
        f.width = TW;
        f.height = nearest(double(TW) / W * H);
    } else {
        f.width = nearest(double(TH) / H * W);
        f.height = TH;
    }
    f.left = nearest((TW - f.width) / 2.0);
    f.top = nearest((TH - f.height) / 2.0);
    return f;
}

PictureFit fitPicture(int PW, int PH, int TW, int TH)
{
    PictureFit f;
    if (double(PW) / TW * TH > PH) {
        f.width = TW;
        f.height = double(TW) / PW * PH;
    } else {
        f.height = TH;
        f.width = double(TH) / PH * PW;
    }
    f.left = static_cast<float>((TW - f.width) / 2);
    f.top = static_cast<float>((TH - f.height) / 2);
    return f;
}

Prepared prepare(imaging::JpegDecoder& decoder, cDIBSection& work, const QByteArray& nativePath, int TW, int TH)
{
    Prepared p;
    p.TW = TW;
    p.TH = TH;
    if (TW <= 0 || TH <= 0)
        return p;
    try {
        const imaging::JpegDecoder::Result r = decoder.decode(work, nativePath);
        if (r.decoded()) {
            p.jpegFit = fitJpeg(work.Width(), work.Height(), TW, TH);
            std::unique_ptr<cDIBSection> scaled = work.Resample(p.jpegFit.height, p.jpegFit.width);
            if (scaled) {
                p.kind = Prepared::Kind::Jpeg;
                p.dib = std::move(scaled);
            }
            // The full-size pixels are not needed any more; the memory stays with work for the
            // next picture.
            work.ClearUp();
            return p;
        }
        work.ClearUp();
        if (r.status == imaging::JpegDecoder::Status::StartFailed) {
            p.decoderStartFailed = true;
            p.decoderStartCode = r.startErrorCode;
        }

        const QImage image = readPicture(nativePath);
        if (image.isNull() || image.width() <= 0 || image.height() <= 0)
            return p;
        p.pictureFit = fitPicture(image.width(), image.height(), TW, TH);
        // Scaling a large picture down is most of the cost of drawing it; doing it here keeps
        // it off the user-interface thread. The box then stretches it by less than a pixel.
        const int w = qMax(1, static_cast<int>(std::ceil(p.pictureFit.width)));
        const int h = qMax(1, static_cast<int>(std::ceil(p.pictureFit.height)));
        p.picture = image.scaled(w, h, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        if (!p.picture.isNull())
            p.kind = Prepared::Kind::Picture;
    } catch (const std::exception&) {
        // A JPEG one pixel wide or high cannot be resampled, and memory may run out: either way
        // this one thumbnail is marked unreadable and the others go on.
        work.ClearUp();
        p.kind = Prepared::Kind::Unreadable;
        p.dib.reset();
        p.picture = QImage();
    }
    return p;
}

QFont boxFont()
{
    QFont font(QStringLiteral("Arial"));
    font.setStyleHint(QFont::SansSerif);
    // 8.25 points on the screen; set in pixels, as a QImage has a resolution of its own.
    const double dpi = 1440.0 / platform::twipsPerPixelY();
    font.setPixelSize(qMax(1, qRound(8.25 * dpi / 72.0)));
    return font;
}

QString fileNameOf(const QString& path)
{
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

void draw(QImage& box, const Prepared& prepared, const QString& caption, const CaptionStyle& style)
{
    const int SW = box.width();
    const int SH = box.height();
    QPainter p(&box);

    if (prepared.kind == Prepared::Kind::Unreadable) {
        p.setPen(QPen(QColor(255, 0, 0), 1));
        p.drawLine(QPoint(0, 0), QPoint(SW, SH));
        p.drawLine(QPoint(SW, 0), QPoint(0, SH));
        return;
    }

    p.fillRect(QRect(0, 0, SW + 1, SH + 1), QColor(255, 255, 255));
    if (prepared.kind == Prepared::Kind::Jpeg) {
        p.end();
        platform::DeviceContext dc(&box);
        prepared.dib->PaintPicture(&dc, prepared.jpegFit.left, prepared.jpegFit.top, -1, -1, 0, 0,
                                   platform::RasterOp::SrcCopy);
        p.begin(&box);
    } else {
        const PictureFit& f = prepared.pictureFit;
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        p.drawImage(QRectF(f.left, f.top, f.width, f.height), prepared.picture);
        p.setRenderHint(QPainter::SmoothPixmapTransform, false);
    }

    if (!caption.isEmpty()) {
        p.setFont(style.font);
        const QFontMetricsF metrics(style.font);
        const double textWidth = metrics.horizontalAdvance(caption);
        const double textHeight = metrics.height();
        const float x = static_cast<float>((SW - textWidth) / 2);
        const float y = static_cast<float>(SH - textHeight);
        if (!style.transparent)
            p.fillRect(QRectF(x, y, textWidth, textHeight), style.background);
        p.setPen(style.foreground);
        p.drawText(QPointF(x, y + metrics.ascent()), caption);
    }
}

} // namespace thumbs
