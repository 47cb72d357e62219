#pragma once

#include <QString>

class QWidget;
class cDIBSection;

namespace imaging {

class JpegDecoder;

// Tells the user, through the dialog provider, that the JPEG decoder could not be started and
// with what code: the one message for it, whoever met it (LoadJPG, the thumbnails, the viewer).
void reportDecoderStartFailure(QWidget* parent, int code);

} // namespace imaging

// Decodes the JPEG file sFile (a full path, in the program's text form of native file names) at
// full size into cDib, recreating it at the image's size. True only when the whole image was
// decoded. A file that is not a decodable JPEG gives false without a message; a decoder that
// cannot be started gives false and its message (reportDecoderStartFailure). Each call starts
// and frees its own decoder.
// For the user-interface thread (it may show a message); worker threads use imaging::JpegDecoder.
bool LoadJPG(cDIBSection& cDib, const QString& sFile);

// The same with a decoder the caller keeps between files.
bool LoadJPGWith(imaging::JpegDecoder& decoder, cDIBSection& cDib, const QString& sFile);
