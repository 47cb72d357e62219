#include "thumbnails/Thumbnails.h"

#include "imaging/HeifDecoder.h"
#include "imaging/PictureReader.h"
#include "platform/DeviceContext.h"
#include "platform/Numeric.h"
#include "thumbnails/OrientedThumbnail.h"

#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <new>

namespace thumbs {

namespace {

std::atomic<bool> g_readMetadata{true};
std::atomic<bool> g_previews{qEnvironmentVariable("TESSALINE_PREVIEWS") != QLatin1String("0")};

int nearest(double v)
{
    return static_cast<int>(platform::roundHalfEven(v));
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

void setMetadataReading(bool on)
{
    g_readMetadata = on;
}

void setPreviews(bool on)
{
    g_previews = on;
}

bool previews()
{
    return g_previews;
}

Preparer::Preparer() : m_decoder(std::in_place), m_previewDecoder(std::in_place)
{
    m_work.KeepMemoryForReuse(true);
    m_previewWork.KeepMemoryForReuse(true);
}

void Preparer::setCancelCheck(std::function<bool()> cancelled)
{
    m_clips.setCancelCheck(std::move(cancelled));
}

void Preparer::release()
{
    m_decoder.emplace();
    m_clips.release();
    m_previewDecoder.emplace();
    for (cDIBSection* work : {&m_work, &m_previewWork}) {
        work->ClearUp();
        work->KeepMemoryForReuse(false);
        work->KeepMemoryForReuse(true);
    }
}

Prepared Preparer::preview(const QByteArray& nativePath, int TW, int TH)
{
    Prepared p;
    p.TW = TW;
    p.TH = TH;
    p.preview = true;
    if (TW <= 0 || TH <= 0)
        return p;
    try {
        OrientedJpegFit jpegFit;
        const auto coverJpeg = [&](QSize stored, imaging::Orientation orientation) {
            jpegFit = fitJpegOriented(stored.width(), stored.height(), orientation, TW, TH);
            return QSize(jpegFit.resampleWidth, jpegFit.resampleHeight);
        };
        imaging::PhotoMetadata metadata;
        bool jpeg = false;
        const imaging::JpegDecoder::Result r =
            m_previewDecoder->decodeReduced(m_previewWork, nativePath, coverJpeg, &metadata, &jpeg);
        if (r.decoded()) {
            p.dib = scaleJpegTo(m_previewWork, metadata.shownAs(), jpegFit);
            m_previewWork.ClearUp();
            if (p.dib) {
                p.kind = Prepared::Kind::Jpeg;
                p.jpegFit = jpegFit.shown;
            }
            return p;
        }
        m_previewWork.ClearUp();
        // A JPEG too small to be read reduced is quick to read whole; a clip's exact picture is
        // one frame, which is what a look at it would cost.
        if (jpeg || r.status == imaging::JpegDecoder::Status::StartFailed || !metadata.modified ||
            imaging::isClipFile(nativePath))
            return p;
        PictureFit pictureFit;
        const auto coverPicture = [&](QSize stored, imaging::Orientation orientation) {
            const QSize shown = imaging::displayedSize(stored, orientation);
            pictureFit = fitPicture(shown.width(), shown.height(), TW, TH);
            return storedSizeFor(pictureFit, orientation);
        };
        const QImage image = imaging::readPictureReduced(nativePath, coverPicture, &metadata);
        if (image.isNull())
            return p;
        p.picture = scalePictureTo(image, metadata.shownAs(), pictureFit);
        if (!p.picture.isNull()) {
            p.kind = Prepared::Kind::Picture;
            p.pictureFit = pictureFit;
        }
    } catch (const std::exception&) {
        m_previewWork.ClearUp();
        p.kind = Prepared::Kind::Unreadable;
        p.dib.reset();
        p.picture = QImage();
    }
    return p;
}

Prepared Preparer::prepare(const QByteArray& nativePath, int TW, int TH)
{
    Prepared p;
    p.TW = TW;
    p.TH = TH;
    if (TW <= 0 || TH <= 0)
        return p;
    imaging::PhotoMetadata metadata;
    imaging::PhotoMetadata* const wanted = g_readMetadata ? &metadata : nullptr;
    const auto takeTime = [&] {
        p.taken = imaging::timeTaken(metadata);
        p.takenIsFileTime = p.taken && !metadata.original && !metadata.digitized;
        p.camera = metadata.camera;
    };
    try {
        // A clip is told by its first bytes, before a photo decoder reads the whole file.
        imaging::ClipMetadata clip;
        const imaging::VideoDecoder::Result v = m_clips.decode(m_work, nativePath, &clip);
        if (v.status != imaging::VideoDecoder::Status::NotVideo) {
            p.clip = true;
            p.clipMs = clip.durationMs;
            if (wanted) {
                p.taken = clip.taken ? clip.taken : clip.modified;
                p.takenIsFileTime = !clip.taken && clip.modified;
                p.camera = imaging::clipPhotoMetadata(clip, clip.modified).camera;
            }
            if (v.decoded()) {
                std::unique_ptr<cDIBSection> scaled = scaleJpeg(m_work, clip.orientation, TW, TH, p.jpegFit);
                if (scaled) {
                    p.kind = Prepared::Kind::Jpeg;
                    p.dib = std::move(scaled);
                }
            }
            // A clip given up for time may read another time, when the machine is less busy.
            p.transient = v.interrupted;
            m_work.ClearUp();
            return p;
        }

        const imaging::JpegDecoder::Result r = m_decoder->decodePhoto(m_work, nativePath, wanted);
        takeTime();
        if (r.decoded()) {
            std::unique_ptr<cDIBSection> scaled = scaleJpeg(m_work, metadata.shownAs(), TW, TH, p.jpegFit);
            if (scaled) {
                p.kind = Prepared::Kind::Jpeg;
                p.dib = std::move(scaled);
            }
            // The full-size pixels are not needed any more; the memory stays with the buffer for the
            // next picture.
            m_work.ClearUp();
            return p;
        }
        m_work.ClearUp();
        if (r.status == imaging::JpegDecoder::Status::StartFailed) {
            p.decoderStartFailed = true;
            p.decoderStartCode = r.startErrorCode;
            p.transient = true;
        }

        // The decoder has read the metadata from the file's bytes unless it could not read them.
        const QImage image = imaging::readPicture(nativePath, metadata.modified ? nullptr : wanted);
        takeTime();
        if (image.isNull() || image.width() <= 0 || image.height() <= 0)
            return p;
        p.picture = scalePicture(image, metadata.shownAs(), TW, TH, p.pictureFit);
        if (!p.picture.isNull())
            p.kind = Prepared::Kind::Picture;
    } catch (const std::exception& e) {
        // A JPEG one pixel wide or high cannot be resampled, and memory may run out: either way
        // this one thumbnail is marked unreadable and the others go on.
        m_work.ClearUp();
        p.kind = Prepared::Kind::Unreadable;
        p.dib.reset();
        p.picture = QImage();
        p.transient = dynamic_cast<const std::bad_alloc*>(&e) != nullptr;
    }
    return p;
}

QFont boxFont(double twipsPerPixelY)
{
    QFont font(QStringLiteral("Arial"));
    font.setStyleHint(QFont::SansSerif);
    // 8.25 points on the screen; set in pixels, as a QImage has a resolution of its own.
    const double dpi = 1440.0 / twipsPerPixelY;
    font.setPixelSize(qMax(1, qRound(8.25 * dpi / 72.0)));
    return font;
}

QString fileNameOf(const QString& path)
{
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

QRectF captionRect(const QSizeF& box, const QString& caption, const QFont& font)
{
    const QFontMetricsF metrics(font);
    const double textWidth = metrics.horizontalAdvance(caption);
    const double textHeight = metrics.height();
    // Single precision, as the caption has always been placed.
    const float x = static_cast<float>((box.width() - textWidth) / 2);
    const float y = static_cast<float>(box.height() - textHeight);
    return QRectF(x, y, textWidth, textHeight);
}

QString clipLengthText(std::int64_t ms)
{
    std::int64_t seconds = (std::max<std::int64_t>(ms, 0) + 500) / 1000;
    if (ms > 0 && seconds == 0)
        seconds = 1;
    const QChar zero = QLatin1Char('0');
    if (seconds < 3600)
        return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, zero);
    return QStringLiteral("%1:%2:%3")
        .arg(seconds / 3600)
        .arg(seconds / 60 % 60, 2, 10, zero)
        .arg(seconds % 60, 2, 10, zero);
}

ClipMark clipMarkRect(const QRectF& picture, const QString& length, const QFont& font)
{
    const QFontMetricsF metrics(font);
    // Clear of the picture's edges, so that the mark sits on the picture and not on the box.
    const double margin = std::max(1.0, std::round(metrics.height() / 6));
    const double height = std::round(metrics.height());
    const double textWidth = length.isEmpty() ? 0 : std::ceil(metrics.horizontalAdvance(length));
    const double room = picture.width() - 2 * margin;
    if (picture.height() - 2 * margin < height || room < height)
        return {};
    ClipMark mark;
    double width = height;
    if (textWidth > 0 && height * 0.85 + textWidth + height * 0.3 <= room) {
        width = height * 0.85 + textWidth + height * 0.3;
        mark.withLength = true;
    }
    mark.rect = QRectF(picture.left() + margin, picture.top() + margin, width, height);
    return mark;
}

void draw(QImage& box, const Prepared& prepared, const QString& caption, const CaptionStyle& style)
{
    const qreal ratio = box.devicePixelRatio();
    box.setDevicePixelRatio(1);
    const int SW = box.width();
    const int SH = box.height();
    QPainter p(&box);

    if (prepared.kind == Prepared::Kind::Unreadable) {
        p.setPen(QPen(QColor(255, 0, 0), 1));
        p.drawLine(QPoint(0, 0), QPoint(SW, SH));
        p.drawLine(QPoint(SW, 0), QPoint(0, SH));
        p.end();
        box.setDevicePixelRatio(ratio);
        return;
    }

    p.fillRect(QRect(0, 0, SW + 1, SH + 1), QColor(255, 255, 255));
    if (prepared.kind == Prepared::Kind::Jpeg) {
        p.end();
        platform::DeviceContext dc(&box);
        prepared.dib->PaintPicture(&dc, prepared.jpegFit.left, prepared.jpegFit.top, -1, -1, 0, 0,
                                   platform::RasterOp::SrcCopy);
    } else {
        const PictureFit& f = prepared.pictureFit;
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        p.drawImage(QRectF(f.left, f.top, f.width, f.height), prepared.picture);
        p.end();
    }
    box.setDevicePixelRatio(ratio);

    if (prepared.clip && prepared.kind == Prepared::Kind::Jpeg) {
        const QString length = prepared.clipMs ? clipLengthText(*prepared.clipMs) : QString();
        const JpegFit& f = prepared.jpegFit;
        const ClipMark mark =
            clipMarkRect(QRectF(f.left / ratio, f.top / ratio, prepared.dib->Width() / ratio,
                                prepared.dib->Height() / ratio),
                         length, style.font);
        if (!mark.rect.isEmpty()) {
            p.begin(&box);
            p.setRenderHint(QPainter::Antialiasing);
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(0, 0, 0, 150));
            const double radius = mark.rect.height() / 4;
            p.drawRoundedRect(mark.rect, radius, radius);
            // The play mark: a triangle pointing right in the square at the mark's left end.
            const double side = mark.rect.height();
            const QRectF square(mark.rect.left(), mark.rect.top(), side, side);
            const QPointF triangle[] = {square.topLeft() + QPointF(side * 0.32, side * 0.22),
                                        square.topLeft() + QPointF(side * 0.32, side * 0.78),
                                        square.topLeft() + QPointF(side * 0.80, side * 0.50)};
            p.setBrush(Qt::white);
            p.drawPolygon(triangle, 3);
            if (mark.withLength) {
                p.setPen(Qt::white);
                p.setFont(style.font);
                const QRectF text = mark.rect.adjusted(side * 0.85, 0, 0, 0);
                p.drawText(text, Qt::AlignLeft | Qt::AlignVCenter, length);
            }
            p.end();
        }
    }

    if (!caption.isEmpty()) {
        p.begin(&box);
        p.setFont(style.font);
        const QRectF text = captionRect(QSizeF(SW / ratio, SH / ratio), caption, style.font);
        if (!style.transparent)
            p.fillRect(text, style.background);
        p.setPen(style.foreground);
        p.drawText(QPointF(text.x(), text.y() + QFontMetricsF(style.font).ascent()), caption);
    }
}

} // namespace thumbs
