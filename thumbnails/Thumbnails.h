#pragma once

#include "imaging/JpegDecoder.h"
#include "imaging/PhotoMetadata.h"
#include "imaging/VideoDecoder.h"
#include "imaging/cDIBSection.h"

#include <QByteArray>
#include <QColor>
#include <QFont>
#include <QImage>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

// Turning one picture file into what its thumbnail box shows. Preparing (decoding and scaling)
// needs no window and may run on any thread; drawing into the box's persistent image happens
// on the user-interface thread. The box is TW x TH pixels of its image, which on a high-density
// screen are device pixels, finer than the box's size in the window.
namespace thumbs {

// A decoded JPEG of W x H pixels fitted into the box: the size to resample to and where the
// result is painted. The test is strictly greater, so an image of exactly the box's proportions
// is fitted to the height; sizes and halves are rounded to the even neighbour.
struct JpegFit
{
    int width = 0;
    int height = 0;
    int left = 0;
    int top = 0;
};
JpegFit fitJpeg(int W, int H, int TW, int TH);

// Any other picture, PW x PH, fitted without rounding: it is stretched to a fractional size at a
// fractional position.
struct PictureFit
{
    double width = 0;
    double height = 0;
    float left = 0;
    float top = 0;
};
PictureFit fitPicture(int PW, int PH, int TW, int TH);

struct Prepared
{
    enum class Kind { Jpeg, Picture, Unreadable };
    Kind kind = Kind::Unreadable;
    int TW = 0;
    int TH = 0;
    // Both turned the way the file says the picture is seen, the fits measured as seen.
    std::shared_ptr<cDIBSection> dib; // Jpeg: resampled to its fitted size
    JpegFit jpegFit;
    QImage picture;                   // Picture: already scaled close to its fitted size
    PictureFit pictureFit;
    // When the picture was taken, as far as its file tells (imaging::timeTaken), so that
    // ordering by that time needs no second read of a file whose thumbnail is in; nothing when
    // the file could not be read at all. takenIsFileTime: it is only the file's last change.
    std::optional<imaging::ClockTime> taken;
    bool takenIsFileTime = false;
    imaging::CameraData camera;       // read with the time taken
    bool decoderStartFailed = false;  // the JPEG decoder could not be started
    int decoderStartCode = 0;
    // The result tells more about this moment than about the file (memory ran out, the decoder
    // could not start), so it is not kept for later.
    bool transient = false;
    // A quick look made from a reduced read of the file (Preparer::preview): shown until the exact
    // picture replaces it, and never kept anywhere.
    bool preview = false;
    // A clip: its picture is one of its frames (Kind::Jpeg, as a decoded photo), drawn with a
    // play mark and the clip's length, where its container tells that.
    bool clip = false;
    std::optional<std::int64_t> clipMs;
};

// Raised whenever prepare gives other results for the same file than before, so that results
// kept from an earlier version are not used.
inline constexpr int kPreparedVersion = 4;

// Prepares one picture after another on one thread. The decoder and the full-size buffer are kept
// from one picture to the next, so that their memory is reused, until release().
class Preparer
{
public:
    Preparer();

    // Decodes the file and scales it for a TW x TH box. A file whose content is a clip's (MP4,
    // MOV, Matroska, AVI, MTS, whatever its name) gives one of its frames, turned as its
    // container says, which takes the JPEG's way (Kind::Jpeg); a damaged clip is Unreadable.
    // Otherwise the JPEG decoder is tried first whatever the extension; a file it rejects goes to
    // the HEIF decoder (phone photos, which then take the JPEG's way too), and one that rejects
    // too to Qt's image readers; a file none can read, or one that fails in any other way (a JPEG
    // one pixel wide cannot be resampled), is Unreadable. The picture is turned by its EXIF
    // orientation. Never throws.
    Prepared prepare(const QByteArray& nativePath, int TW, int TH);

    // A quick look at the file for the same box, fitted and placed as prepare's picture will be:
    // the small picture a camera or phone stored in a JPEG or HEIF file, a JPEG decoded at a
    // reduced size where that is quick, a picture of another format where Qt's reader can scale
    // while reading. Its pixels are close to prepare's, not the same. Unreadable (with preview
    // set) where no such look can be had cheaply: other formats, clips, small pictures, files
    // that are not there. Buffers of its own, so that prepare's are left as they are; never throws.
    Prepared preview(const QByteArray& nativePath, int TW, int TH);

    // Asked now and then while a clip is read; when it answers true, the clip is given up (its
    // result Unreadable and transient). For a loader whose series moved on.
    void setCancelCheck(std::function<bool()> cancelled);

    // Gives what is kept for the next picture back to the system: the full-size pixels and the
    // file's bytes, tens of megabytes for a large photo.
    void release();

private:
    std::optional<imaging::JpegDecoder> m_decoder;
    imaging::VideoDecoder m_clips;
    cDIBSection m_work;
    std::optional<imaging::JpegDecoder> m_previewDecoder;
    cDIBSection m_previewWork;
};

// Whether the program shows previews before the exact pictures; on unless switched off (by the
// environment variable TESSALINE_PREVIEWS=0, or to compare). For the whole process.
void setPreviews(bool on);
bool previews();

// Whether prepare reads what files tell about themselves (orientation, time taken); on unless
// switched off to measure what reading it costs. For the whole process.
void setMetadataReading(bool on);

// How the box draws its caption.
struct CaptionStyle
{
    QFont font;
    QColor foreground = Qt::black;
    QColor background;        // behind the text, unless transparent
    bool transparent = false;
};

// The font of the thumbnail boxes: Arial 8.25 pt on a screen of so many twips per pixel
// vertically, or the installed face with its metrics.
QFont boxFont(double twipsPerPixelY);

// Where draw puts a caption in a box of the given size (in the box's pixels, not the device's).
QRectF captionRect(const QSizeF& box, const QString& caption, const QFont& font);

// Draws a prepared picture into the box's persistent image: on white, centred, with the file
// name along the bottom edge when caption is not empty; an unreadable file gets a red cross
// over whatever the box held, without caption. A clip's picture gets a play mark and its length
// in its top left corner, in the caption's font, where the picture has room for them. The picture
// is placed in the image's own pixels; the caption and the mark are laid out in the box's (the
// image's device pixel ratio applies) and drawn at the image's resolution.
void draw(QImage& box, const Prepared& prepared, const QString& caption, const CaptionStyle& style);

// Where draw puts a clip's mark, in the box's pixels, for a picture at `picture` (the box's pixels
// too); whether it holds the length or only the play mark, which is all that fits a small
// picture. Empty when not even that fits.
struct ClipMark
{
    QRectF rect;
    bool withLength = false;
};
ClipMark clipMarkRect(const QRectF& picture, const QString& length, const QFont& font);

// A clip's length as clips are labelled: "0:42", "12:05", "1:02:03"; to the nearest second, and a
// clip shorter than half a second is "0:01".
QString clipLengthText(std::int64_t ms);

// The file name part of a path: what follows its last "/".
QString fileNameOf(const QString& path);

} // namespace thumbs
