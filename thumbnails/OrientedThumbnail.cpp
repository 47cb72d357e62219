#include "thumbnails/OrientedThumbnail.h"

#include "imaging/cDIBSection.h"

#include <cmath>

namespace thumbs {

OrientedJpegFit fitJpegOriented(int W, int H, imaging::Orientation orientation, int TW, int TH)
{
    const QSize shown = imaging::displayedSize(QSize(W, H), orientation);
    OrientedJpegFit f;
    f.shown = fitJpeg(shown.width(), shown.height(), TW, TH);
    const QSize stored = imaging::displayedSize(QSize(f.shown.width, f.shown.height), orientation);
    f.resampleWidth = stored.width();
    f.resampleHeight = stored.height();
    return f;
}

std::unique_ptr<cDIBSection> scaleJpeg(const cDIBSection& full, imaging::Orientation orientation, int TW,
                                       int TH, JpegFit& fit)
{
    const OrientedJpegFit f = fitJpegOriented(full.Width(), full.Height(), orientation, TW, TH);
    fit = f.shown;
    return scaleJpegTo(full, orientation, f);
}

std::unique_ptr<cDIBSection> scaleJpegTo(const cDIBSection& stored, imaging::Orientation orientation,
                                         const OrientedJpegFit& f)
{
    std::unique_ptr<cDIBSection> scaled = stored.Resample(f.resampleHeight, f.resampleWidth);
    if (!scaled || orientation == imaging::Orientation::Normal)
        return scaled;
    return imaging::oriented(*scaled, orientation);
}

QImage scalePicture(const QImage& stored, imaging::Orientation orientation, int TW, int TH, PictureFit& fit)
{
    const QSize shown = imaging::displayedSize(stored.size(), orientation);
    fit = fitPicture(shown.width(), shown.height(), TW, TH);
    return scalePictureTo(stored, orientation, fit);
}

QSize storedSizeFor(const PictureFit& fit, imaging::Orientation orientation)
{
    const QSize size(qMax(1, static_cast<int>(std::ceil(fit.width))),
                     qMax(1, static_cast<int>(std::ceil(fit.height))));
    return imaging::displayedSize(size, orientation);
}

QImage scalePictureTo(const QImage& stored, imaging::Orientation orientation, const PictureFit& fit)
{
    // Scaling a large picture down is most of the cost of drawing it; doing it here keeps it off
    // the user-interface thread. The box then stretches it by less than a pixel.
    const QImage scaled = stored.scaled(storedSizeFor(fit, orientation), Qt::IgnoreAspectRatio,
                                        Qt::SmoothTransformation);
    if (scaled.isNull() || orientation == imaging::Orientation::Normal)
        return scaled;
    return imaging::oriented(scaled, orientation);
}

} // namespace thumbs
