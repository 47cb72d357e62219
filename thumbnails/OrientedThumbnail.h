#pragma once

#include "imaging/Orientation.h"
#include "thumbnails/Thumbnails.h"

#include <QImage>

#include <memory>

class cDIBSection;

// The scaling step of preparing a thumbnail, for pictures that are seen turned (by their EXIF
// orientation) as well as for upright ones. The box is fitted on the size the picture is seen at;
// the picture is scaled in the way it is stored, to the size that becomes the fitted one once
// turned, and only that small result is turned, which moves pixels without changing them. For
// Orientation::Normal everything is exactly as for a picture without orientation.
namespace thumbs {

// A decoded JPEG of W x H stored pixels: the fit of the picture as seen (the size it ends up
// at and where it goes in the box), and the size to resample the stored picture to.
struct OrientedJpegFit
{
    JpegFit shown;
    int resampleWidth = 0;
    int resampleHeight = 0;
};
OrientedJpegFit fitJpegOriented(int W, int H, imaging::Orientation orientation, int TW, int TH);

// The decoded JPEG resampled for a TW x TH box and turned; `fit` receives the fit as seen.
// Null or an exception exactly where Resample gives them.
std::unique_ptr<cDIBSection> scaleJpeg(const cDIBSection& full, imaging::Orientation orientation, int TW,
                                       int TH, JpegFit& fit);

// The same for a picture whose fit was measured on another version of it (its full size, while
// `stored` is reduced): resampled to the fit's size whatever its own.
std::unique_ptr<cDIBSection> scaleJpegTo(const cDIBSection& stored, imaging::Orientation orientation,
                                         const OrientedJpegFit& fit);

// A picture from the fallback reader scaled close to its fitted size for a TW x TH box and
// turned; `fit` receives the fit as seen, which the box stretches the result to.
QImage scalePicture(const QImage& stored, imaging::Orientation orientation, int TW, int TH, PictureFit& fit);

// The size, as stored, that a picture is scaled to for a fit; and the scaling to it.
QSize storedSizeFor(const PictureFit& fit, imaging::Orientation orientation);
QImage scalePictureTo(const QImage& stored, imaging::Orientation orientation, const PictureFit& fit);

} // namespace thumbs
