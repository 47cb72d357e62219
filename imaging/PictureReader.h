#pragma once

#include "imaging/PhotoMetadata.h"

#include <QByteArray>
#include <QImage>

namespace imaging {

// Reads a picture of any format Qt's image plugins know, for files the JPEG decoder refuses.
// Only regular files are read, opened without blocking, so a FIFO or a device cannot hang the
// caller; pictures beyond the pixel limit, or far larger than their file can hold, are refused
// before anything is decoded. A null image when the file cannot be read. Safe on any thread.
// The picture comes as stored; with `metadata`, that receives what the file's bytes tell about
// it (how to turn it, when it was taken) and the file's time of last change.
QImage readPicture(const QByteArray& nativePath, PhotoMetadata* metadata = nullptr);

// The same picture, scaled while it is read to the size `cover` asks for, from the readers that
// do less work for it (JPEG, SVG); a null image from the others, and where that size is not
// smaller than the picture.
QImage readPictureReduced(const QByteArray& nativePath, const CoverFunction& cover, PhotoMetadata* metadata);

} // namespace imaging
