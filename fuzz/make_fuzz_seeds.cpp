// Writes the generated seeds of the fuzz targets into CORPUS (fuzz/corpus): the quick looks'
// camera photos with small pictures of every kind, sound and broken, phone photos with small
// pictures and the EXIF of a phone, and the cameras' makes, models, serial numbers and time zones. Made with
// the tests' own writers (TurboJPEG, the metadata library, libheif's encoders), so the same source gives the
// same bytes.
//
//   cmake --build --preset fuzz --target make_fuzz_seeds && build/fuzz/fuzz/make_fuzz_seeds fuzz/corpus

#include "ExifSamples.h"
#include "HeifSamples.h"
#include "ImagingTestSupport.h"
#include "JpegEdits.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QList>
#include <QString>

#include <cstdio>
#include <cstdlib>

namespace {

QString g_corpus;

void write(const char* folder, const char* name, const QByteArray& bytes)
{
    const QString dir = g_corpus + QLatin1Char('/') + QLatin1String(folder);
    QDir().mkpath(dir);
    QFile file(dir + QLatin1Char('/') + QLatin1String(name));
    if (bytes.isEmpty() || !file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "cannot write %s/%s\n", folder, name);
        std::exit(1);
    }
}

// Gentle gradients with a few edges, as most of a photo is: little coded data for many pixels.
QImage photo(int width, int height, int tint = 0)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int edge = (x / 64 + y / 48) % 2 ? 40 : 0;
            image.setPixel(x, y,
                           qRgb((x * 255 / width + edge + tint) & 0xFF, (y * 255 / height) & 0xFF,
                                ((x + y) * 127 / (width + height) + edge) & 0xFF));
        }
    return image;
}

QByteArray blob(const Exiv2::ExifData& exif, Exiv2::ByteOrder order = Exiv2::littleEndian)
{
    Exiv2::Blob bytes;
    Exiv2::ExifParser::encode(bytes, order, exif);
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
}

// The EXIF block of a camera: its make and model, when the picture was taken, the orientation,
// and the small picture.
QByteArray cameraExif(const QByteArray& thumbnail, int orientation = 1,
                      Exiv2::ByteOrder order = Exiv2::littleEndian)
{
    Exiv2::ExifData exif;
    exif["Exif.Image.Make"] = std::string("Canon");
    exif["Exif.Image.Model"] = std::string("Canon EOS R6");
    exif["Exif.Image.Orientation"] = std::uint16_t(orientation);
    exif["Exif.Photo.DateTimeOriginal"] = std::string("2024:07:12 10:15:00");
    exif["Exif.Photo.BodySerialNumber"] = std::string("032021001234");
    if (!thumbnail.isEmpty())
        Exiv2::ExifThumb(exif).setJpegThumbnail(reinterpret_cast<const Exiv2::byte*>(thumbnail.constData()),
                                                long(thumbnail.size()));
    return blob(exif, order);
}

// A TIFF structure written by hand whose second directory points at a small picture: at
// `offset`, `length` bytes long, compressed as `compression` says (6 JPEG, 1 none); the
// picture's bytes follow the directories at offset 68.
QByteArray pointingTiff(const QByteArray& thumbnail, quint32 offset = 68, quint32 length = 0,
                        quint16 compression = 6)
{
    if (length == 0)
        length = quint32(thumbnail.size());
    QByteArray tiff = QByteArray::fromHex("49492a0008000000"
                                          "0100"
                                          "120103000100000001000000"
                                          "1a000000"
                                          "0300"
                                          "030103000100000000000000"
                                          "010204000100000000000000"
                                          "020204000100000000000000"
                                          "00000000");
    const auto put = [&tiff](int at, quint32 value, int bytes) {
        for (int i = 0; i < bytes; ++i)
            tiff[at + i] = char(value >> (8 * i));
    };
    put(26 + 2 + 8, compression, 2);
    put(26 + 2 + 12 + 8, offset, 4);
    put(26 + 2 + 24 + 8, length, 4);
    return tiff + thumbnail;
}

QByteArray withTrailer(const QByteArray& file, int width, int height, int longSegments)
{
    // See fuzz_preview.cpp: each side 1 + 4 x the byte.
    return file + "LOOK" + char((width - 1) / 4) + char((height - 1) / 4) + char(longSegments);
}

void previewSeeds()
{
    const QByteArray thumb = encodeJpeg(photo(80, 60, 90), TJSAMP_420);
    const QByteArray camera = encodeJpeg(photo(320, 240), TJSAMP_420);
    const auto withThumbnail = [&camera](const QByteArray& small, int orientation = 1,
                                         Exiv2::ByteOrder order = Exiv2::littleEndian) {
        return withExif(camera, cameraExif(small, orientation, order));
    };

    write("preview", "camera-thumbnail-80x60.jpg", withThumbnail(thumb));
    write("preview", "camera-thumbnail-turned-6.jpg", withThumbnail(thumb, 6));
    write("preview", "camera-thumbnail-turned-5-big-endian.jpg", withThumbnail(thumb, 5, Exiv2::bigEndian));
    write("preview", "thumbnail-16x9-of-4x3-photo.jpg", withThumbnail(encodeJpeg(photo(80, 45), TJSAMP_420)));
    write("preview", "thumbnail-tall-of-wide-photo.jpg",
          withThumbnail(encodeJpeg(photo(45, 80), TJSAMP_420)));
    write("preview", "thumbnail-below-half.jpg", withThumbnail(encodeJpeg(photo(32, 24), TJSAMP_420)));
    write("preview", "thumbnail-grey.jpg", withThumbnail(encodeJpeg(photo(80, 60), TJSAMP_GRAY)));
    write("preview", "thumbnail-progressive.jpg",
          withThumbnail(encodeJpeg(photo(80, 60), TJSAMP_420, TJFLAG_PROGRESSIVE)));
    write("preview", "thumbnail-cmyk.jpg",
          withThumbnail(encodeJpeg(photo(80, 60), TJSAMP_444, 0, TJPF_CMYK)));
    write("preview", "thumbnail-cut-short.jpg", withThumbnail(thumb.left(thumb.size() / 2)));
    write("preview", "thumbnail-without-huffman-tables.jpg", withThumbnail(withoutSegments(thumb, 0xC4)));
    write("preview", "thumbnail-without-quantisation-tables.jpg",
          withThumbnail(withoutSegments(thumb, 0xDB)));
    write("preview", "thumbnail-claims-14142x14142.jpg", withThumbnail(withFrame(thumb, 8, 14142, 14142)));
    write("preview", "thumbnail-claims-80x65535.jpg", withThumbnail(withFrame(thumb, 8, 80, 65535)));
    write("preview", "thumbnail-12-bit.jpg", withThumbnail(withFrame(thumb, 12, 80, 60)));
    write("preview", "thumbnail-is-no-jpeg.jpg",
          withThumbnail(QByteArray("\xFF\xD8not a picture at all", 22)));

    // Photos of other sizes: a panorama, a photo no larger than its small picture, one smaller,
    // and one a pixel wide whose small picture is too.
    write("preview", "panorama-1200x50-thumbnail-240x10.jpg",
          withExif(encodeJpeg(photo(1200, 50), TJSAMP_420),
                   cameraExif(encodeJpeg(photo(240, 10), TJSAMP_420))));
    write("preview", "thumbnail-as-large-as-photo.jpg",
          withExif(encodeJpeg(photo(80, 60), TJSAMP_420), cameraExif(thumb)));
    write("preview", "thumbnail-larger-than-photo.jpg",
          withExif(encodeJpeg(photo(40, 30), TJSAMP_420), cameraExif(thumb)));
    write(
        "preview", "photo-1-wide-thumbnail-1-wide.jpg",
        withExif(encodeJpeg(photo(1, 1000), TJSAMP_444), cameraExif(encodeJpeg(photo(1, 100), TJSAMP_444))));

    // Pointers to the small picture that lead outside the block.
    write("preview", "thumbnail-offset-past-the-end.jpg", withExif(camera, pointingTiff(thumb, 60000)));
    write("preview", "thumbnail-length-past-the-end.jpg",
          withExif(camera, pointingTiff(thumb, 68, quint32(thumb.size()) + 4000)));
    write("preview", "thumbnail-offset-wraps-around.jpg",
          withExif(camera, pointingTiff(thumb, 0xFFFFFFF0u, 0x20)));
    write("preview", "thumbnail-length-0.jpg", withExif(camera, pointingTiff(thumb, 68, 0)));
    write("preview", "thumbnail-is-the-block.jpg",
          withExif(camera, pointingTiff(thumb, 0, 68 + quint32(thumb.size()))));
    write("preview", "thumbnail-uncompressed.jpg", withExif(camera, pointingTiff(thumb, 68, 0, 1)));
    write("preview", "thumbnail-by-hand.jpg", withExif(camera, pointingTiff(thumb)));
    QByteArray longer = withThumbnail(thumb);
    const qsizetype app1 = markerAt(longer, 0xE1);
    longer[app1 + 2] = char(0xFF);
    longer[app1 + 3] = char(0xF0);
    write("preview", "exif-segment-longer-than-file.jpg", longer);
    write("preview", "two-exif-segments-first-broken.jpg",
          withExif(withThumbnail(thumb), QByteArray("MM\0*\0\0\xFF\xFF", 8)));

    // No small picture: read reduced, or not looked at.
    const QByteArray large = encodeJpeg(photo(640, 480), TJSAMP_420);
    write("preview", "no-thumbnail-640x480.jpg", large);
    write("preview", "no-thumbnail-turned-8.jpg",
          withExif(encodeJpeg(photo(320, 240), TJSAMP_444), orientationTiff(8)));
    write("preview", "no-thumbnail-progressive.jpg",
          encodeJpeg(photo(320, 240), TJSAMP_420, TJFLAG_PROGRESSIVE));
    write("preview", "no-thumbnail-cut-in-half.jpg", large.left(large.size() / 2));
    QByteArray stray = large;
    stray.insert(markerAt(stray, 0xDB), "stray bytes");
    write("preview", "no-thumbnail-stray-bytes.jpg", stray);

    // Boxes of other sizes, and long segments before the photo's own.
    write("preview", "box-1x1.jpg", withTrailer(withThumbnail(thumb), 1, 1, 0));
    write("preview", "box-1021x1021.jpg", withTrailer(withThumbnail(thumb), 1021, 1021, 0));
    write("preview", "box-5x1001-turned.jpg", withTrailer(withThumbnail(thumb, 6), 5, 1001, 0));
    write("preview", "box-81x81-long-segments-4.jpg", withTrailer(withThumbnail(thumb), 81, 81, 4));
    write("preview", "box-161x121-long-segments-3.jpg", withTrailer(withThumbnail(thumb), 161, 121, 3));
    write("preview", "no-thumbnail-long-segments-4.jpg", withTrailer(large, 161, 121, 4));

    // A phone's photo and its thumbnail.
    const QImage phone = photo(192, 144);
    write("preview", "phone-thumbnail.heic",
          encodeHeif(phone, HeifSample().lossy().withThumbnail(photo(192, 144, 90), 96)));
    write("preview", "phone-thumbnail-turned.heic",
          encodeHeif(phone,
                     HeifSample().lossy().turned(heif_orientation_rotate_90_cw).withThumbnail(phone, 96)));
    write("preview", "phone-thumbnail-other-proportions.heic",
          encodeHeif(phone, HeifSample().lossy().withThumbnail(photo(192, 108), 96)));
}

// A phone's EXIF block: maker, model, when the picture was taken and in which time zone.
QByteArray phoneExif()
{
    return exifTiff({{"Exif.Image.Make", "Apple"},
                     {"Exif.Image.Model", "iPhone 13"},
                     {"Exif.Image.Orientation", "6"},
                     {"Exif.Photo.DateTimeOriginal", "2024:07:12 10:15:00"},
                     {"Exif.Photo.SubSecTimeOriginal", "250"},
                     {"Exif.Photo.OffsetTimeOriginal", "+02:00"},
                     {"Exif.Photo.OffsetTime", "+02:00"}});
}

void heifSeeds()
{
    const QImage phone = photo(192, 144);
    const QByteArray heic =
        encodeHeif(phone, HeifSample().lossy().withExif(phoneExif()).withThumbnail(photo(192, 144, 90), 96));
    write("heif", "phone-exif-thumbnail.heic", heic);
    write("heif", "phone-exif-thumbnail-cut-short.heic", heic.left(heic.size() * 3 / 4));
    write("heif", "phone-exif-thumbnail-claims-20000x20000.heic", withClaimedSize(heic, 20000, 20000));
    write("heif", "phone-thumbnail-turned.avif",
          encodeHeif(
              phone,
              HeifSample().av1().lossy().turned(heif_orientation_rotate_270_cw).withThumbnail(phone, 96)));
}

// Cameras and phones as the metadata reader meets them: serial numbers in the body's field and in
// makers' notes, time zones sound and broken, makes and models of bytes that are not UTF-8, of
// control characters and of hundreds of bytes.
void metadataSeeds()
{
    const QByteArray jpeg = encodeJpeg(photo(16, 8), TJSAMP_444);
    const auto camera = [&jpeg](const QList<std::pair<const char*, const char*>>& tags,
                                Exiv2::ByteOrder order = Exiv2::littleEndian) {
        Exiv2::ExifData exif;
        for (const auto& [key, value] : tags)
            exif[key] = std::string(value);
        return withExif(jpeg, blob(exif, order));
    };
    write("metadata", "camera-serial-zone.jpg",
          camera({{"Exif.Image.Make", "Canon"},
                  {"Exif.Image.Model", "Canon EOS R6"},
                  {"Exif.Photo.BodySerialNumber", "032021001234"},
                  {"Exif.Photo.DateTimeOriginal", "2024:07:12 10:15:00"},
                  {"Exif.Photo.OffsetTimeOriginal", "+02:00"},
                  {"Exif.Photo.OffsetTime", "+02:00"}}));
    write("metadata", "camera-serial-zone-big-endian.jpg",
          camera({{"Exif.Image.Make", "NIKON CORPORATION"},
                  {"Exif.Image.Model", "NIKON D850"},
                  {"Exif.Nikon3.SerialNumber", "6012345"},
                  {"Exif.Photo.OffsetTime", "-05:30"}},
                 Exiv2::bigEndian));
    write("metadata", "dng-camera-serial.jpg",
          camera({{"Exif.Image.Make", "Leica"}, {"Exif.Image.CameraSerialNumber", "L0001"}}));
    Exiv2::ExifData canon;
    canon["Exif.Image.Make"] = std::string("Canon");
    canon["Exif.Image.Model"] = std::string("Canon EOS 5D");
    canon["Exif.Canon.SerialNumber"] = std::uint32_t(1234567);
    write("metadata", "canon-serial-in-makers-note.jpg", withExif(jpeg, blob(canon)));
    write("metadata", "zones-malformed.jpg",
          camera({{"Exif.Photo.OffsetTimeOriginal", "+2:00"}, {"Exif.Photo.OffsetTime", "+14:01"}}));
    const std::string hundreds(400, 'M');
    write("metadata", "make-begins-with-byte-order-mark.jpg",
          camera({{"Exif.Image.Make", "\xEF\xBB\xBF  Canon"}, {"Exif.Image.Model", "\xFF\xEF\xBB\xBF"}}));
    write("metadata", "make-not-utf8-model-400-bytes.jpg",
          camera({{"Exif.Image.Make", "Caf\xE9\x01\n\xF0\x9F"}, {"Exif.Image.Model", hundreds.c_str()}}));
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s CORPUS\n", argv[0]);
        return 2;
    }
    g_corpus = QString::fromLocal8Bit(argv[1]);
    previewSeeds();
    heifSeeds();
    metadataSeeds();
    return 0;
}
