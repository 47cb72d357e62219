#pragma once

#include <QByteArray>
#include <QImage>

namespace imaging {

// Reads a picture of any format Qt's image plugins know, for files the JPEG decoder refuses.
// Only regular files are read, opened without blocking, so a FIFO or a device cannot hang the
// caller; pictures beyond the pixel limit, or far larger than their file can hold, are refused
// before anything is decoded. A null image when the file cannot be read. Safe on any thread.
QImage readPicture(const QByteArray& nativePath);

} // namespace imaging
