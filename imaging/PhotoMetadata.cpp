#include "imaging/PhotoMetadata.h"

#include "imaging/HeifDecoder.h"
#include "imaging/JpegDecoder.h"
#include "imaging/JpegMarkers.h"
#include "imaging/RegularFile.h"
#include "platform/FileNames.h"
#include "imaging/VideoDecoder.h"

#include <QDate>
#include <QDateTime>

#include <exiv2/error.hpp>
#include <exiv2/exif.hpp>
#include <exiv2/image.hpp>
#include <exiv2/pngimage.hpp>
#include <exiv2/tiffimage.hpp>
#include <exiv2/webpimage.hpp>
#include <exiv2/xmp_exiv2.hpp>

#include <algorithm>
#include <climits>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

namespace imaging {

namespace {

// The library reports every oddity of a file on the standard error, which a folder of
// thousands of photos would flood. Its XMP toolkit must be set up once before threads use it,
// and registering the namespaces that files bring along must be serialised.
void setUpExiv2()
{
    static std::mutex xmpRegistration;
    static const bool ready = [] {
        Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
        return Exiv2::XmpParser::initialize(
            [](void* mutex, bool lock) {
                if (lock)
                    static_cast<std::mutex*>(mutex)->lock();
                else
                    static_cast<std::mutex*>(mutex)->unlock();
            },
            &xmpRegistration);
    }();
    (void)ready;
}

// Where the EXIF data (a TIFF structure) of a JPEG lies: in the first application segment 1 that
// starts with "Exif" and two zero bytes, among the segments before the first scan. `ranOut`
// says that the data ended before the search did (or inside that segment).
struct ExifBlock
{
    const std::uint8_t* tiff = nullptr;
    std::size_t size = 0;
    bool ranOut = false;
};

ExifBlock findJpegExif(const std::uint8_t* data, std::size_t size)
{
    static constexpr std::uint8_t kExifHeader[] = {'E', 'x', 'i', 'f', 0, 0};
    ExifBlock block;
    std::size_t i = 2;
    bool strayBytes = false;
    while (const std::optional<std::uint8_t> next = jpeg::nextMarker(data, size, i, strayBytes)) {
        const std::uint8_t marker = *next;
        if (marker == 0x00 || jpeg::isStandalone(marker))
            continue; // a stuffed zero outside a scan, or a marker without length field
        if (marker == 0xD9 || marker == 0xDA)
            return block; // the picture's data begins: metadata comes before it
        if (size - i < 2)
            break;
        const std::size_t length = std::size_t(data[i]) << 8 | data[i + 1];
        if (length < 2)
            return block;
        const std::size_t end = i + length;
        const std::size_t header = i + 2 + sizeof kExifHeader;
        if (marker == 0xE1 && header <= std::min(end, size) &&
            std::memcmp(data + i + 2, kExifHeader, sizeof kExifHeader) == 0) {
            block.tiff = data + header;
            block.size = std::min(end, size) - header;
            block.ranOut = end > size;
            return block;
        }
        i = end;
    }
    block.ranOut = true;
    return block;
}

// An entry's bytes up to the first zero byte, as the library's text of an ASCII entry ends; copied
// rather than printed, which would cost a string stream for every entry.
std::string bytesOf(const Exiv2::Exifdatum& datum)
{
    std::string bytes(std::size_t(std::max(0L, datum.size())), '\0');
    datum.copy(reinterpret_cast<Exiv2::byte*>(bytes.data()), Exiv2::littleEndian);
    bytes.resize(std::min(bytes.size(), bytes.find('\0')));
    return bytes;
}

// The text of an entry as it is stored: for an ASCII entry and for bytes (some writers store
// texts as those); with `numbers`, an unsigned number as its decimal digits too (makers' notes
// keep some serial numbers so). Nothing for entries of other types.
std::optional<std::string> storedText(const Exiv2::Exifdatum& datum, bool numbers = false)
{
    switch (datum.typeId()) {
    case Exiv2::asciiString:
    case Exiv2::undefined:
    case Exiv2::unsignedByte:
        return bytesOf(datum);
    case Exiv2::unsignedShort:
    case Exiv2::unsignedLong:
        if (numbers && datum.count() == 1 && datum.value().ok())
            return std::to_string(datum.toLong(0));
        return std::nullopt;
    default:
        return std::nullopt;
    }
}

bool isBlank(char c)
{
    return c == ' ' || c == '\0' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// A camera's text as it is kept (see CameraData).
QString cameraText(const std::optional<std::string>& stored)
{
    if (!stored)
        return QString();
    std::string_view text(*stored);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    // Three bytes make at most one unit, and a sequence cut short by this is beyond the limit.
    QString kept = platform::decodeName(
        QByteArrayView(text.data(), qsizetype(std::min<std::size_t>(text.size(), 4 * kMaxCameraText))));
    if (kept.size() > kMaxCameraText) {
        // Not between the two halves of a character beyond the first 65,536.
        const bool pair = kept[kMaxCameraText - 1].isHighSurrogate() && kept[kMaxCameraText].isLowSurrogate();
        kept.truncate(pair ? kMaxCameraText - 1 : kMaxCameraText);
        while (!kept.isEmpty() && kept.back().unicode() < 0x80 && isBlank(char(kept.back().unicode())))
            kept.chop(1);
    }
    return kept;
}

// The serial numbers that makers' notes hold, as the metadata library names them; the body's own
// field (BodySerialNumber) comes first.
struct MakersSerial
{
    int directory;
    std::uint16_t tag;
};

const std::vector<MakersSerial>& makersSerials()
{
    static const std::vector<MakersSerial> serials = [] {
        std::vector<MakersSerial> found;
        for (const char* key :
             {"Exif.Canon.SerialNumber", "Exif.Nikon3.SerialNumber", "Exif.OlympusEq.SerialNumber",
              "Exif.Pentax.SerialNumber", "Exif.Fujifilm.SerialNumber"}) {
            const Exiv2::ExifKey known(key);
            found.push_back({known.ifdId(), known.tag()});
        }
        return found;
    }();
    return serials;
}

// Takes what the program uses from EXIF data; the first of each tag counts.
void take(const Exiv2::ExifData& exif, PhotoMetadata& metadata)
{
    std::optional<std::string> original, originalFraction, digitized, digitizedFraction, originalZone, zone;
    std::optional<std::string> make, model, bodySerial, cameraSerial, makersSerial;
    // A time of another type than ASCII is damaged and makes no time.
    const auto text = [](const Exiv2::Exifdatum& datum, std::optional<std::string>& into) {
        if (!into)
            into = datum.typeId() == Exiv2::asciiString ? bytesOf(datum) : std::string();
    };
    const auto stored = [](const Exiv2::Exifdatum& datum, std::optional<std::string>& into,
                           bool numbers = false) {
        if (!into)
            into = storedText(datum, numbers);
    };
    // The library names its directories only through keys.
    static const int imageDirectory = Exiv2::ExifKey("Exif.Image.Orientation").ifdId();
    static const int photoDirectory = Exiv2::ExifKey("Exif.Photo.DateTimeOriginal").ifdId();
    for (const Exiv2::Exifdatum& datum : exif) {
        if (datum.ifdId() == imageDirectory) {
            switch (datum.tag()) {
            case 0x0112: {
                // A value of another type is a damaged entry, whatever its first bytes say.
                const Exiv2::TypeId type = datum.typeId();
                if (metadata.orientation || datum.count() < 1 ||
                    (type != Exiv2::unsignedShort && type != Exiv2::unsignedLong &&
                     type != Exiv2::signedShort && type != Exiv2::signedLong))
                    break;
                const long value = datum.toLong(0);
                if (datum.value().ok())
                    metadata.orientation = orientationFromTag(value);
                break;
            }
            case 0x010F:
                stored(datum, make);
                break;
            case 0x0110:
                stored(datum, model);
                break;
            case 0xC62F:
                stored(datum, cameraSerial);
                break;
            default:
                break;
            }
        } else if (datum.ifdId() == photoDirectory) {
            switch (datum.tag()) {
            case 0x9003:
                text(datum, original);
                break;
            case 0x9004:
                text(datum, digitized);
                break;
            case 0x9291:
                text(datum, originalFraction);
                break;
            case 0x9292:
                text(datum, digitizedFraction);
                break;
            case 0x9010:
                stored(datum, zone);
                break;
            case 0x9011:
                stored(datum, originalZone);
                break;
            case 0xA431:
                stored(datum, bodySerial);
                break;
            default:
                break;
            }
        } else if (!makersSerial) {
            for (const MakersSerial& serial : makersSerials())
                if (datum.ifdId() == serial.directory && datum.tag() == serial.tag)
                    stored(datum, makersSerial, true);
        }
    }
    if (original)
        metadata.original = parseExifDateTime(*original, originalFraction.value_or(std::string()));
    if (digitized)
        metadata.digitized = parseExifDateTime(*digitized, digitizedFraction.value_or(std::string()));

    CameraData& camera = metadata.camera;
    camera.make = cameraText(make);
    camera.model = cameraText(model);
    for (const std::optional<std::string>* serial : {&bodySerial, &cameraSerial, &makersSerial})
        if (camera.serial.isEmpty())
            camera.serial = cameraText(*serial);
    if (originalZone)
        camera.zoneOffset = parseExifZoneOffset(*originalZone);
    if (!camera.zoneOffset && zone)
        camera.zoneOffset = parseExifZoneOffset(*zone);
}

// The kinds of file that carry EXIF data among those Qt's readers show. Other kinds are left
// alone: each is one more parser that a damaged file could trip.
bool hasReadableMetadata(int imageType)
{
    return imageType == Exiv2::ImageType::png || imageType == Exiv2::ImageType::tiff ||
           imageType == Exiv2::ImageType::webp;
}

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && (text.back() == ' ' || text.back() == '\0'))
        text.remove_suffix(1);
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    return text;
}

// The number written by `digits` decimal digits at `at`, or -1.
int digitsAt(std::string_view text, std::size_t at, std::size_t digits)
{
    int value = 0;
    for (std::size_t i = at; i < at + digits; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return -1;
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

// The small JPEG picture of an EXIF block; empty when there is none or it cannot be had, which
// leaves what else the block tells as it is.
std::vector<std::uint8_t> jpegThumbnail(const Exiv2::ExifData& exif) noexcept
{
    try {
        const Exiv2::ExifThumbC thumbnail(exif);
        if (std::strcmp(thumbnail.mimeType(), "image/jpeg") != 0)
            return {};
        const Exiv2::DataBuf bytes = thumbnail.copy();
        if (!bytes.pData_ || bytes.size_ <= 0)
            return {};
        return std::vector<std::uint8_t>(bytes.pData_, bytes.pData_ + bytes.size_);
    } catch (...) {
        return {};
    }
}

} // namespace

std::optional<ClockTime> parseExifDateTime(std::string_view dateTime, std::string_view subSeconds)
{
    // "YYYY:MM:DD HH:MM:SS"; some programs write the date with dashes, or a T before the time.
    const std::string_view text = trimmed(dateTime);
    if (text.size() != 19 || (text[4] != ':' && text[4] != '-') || text[7] != text[4] ||
        (text[10] != ' ' && text[10] != 'T') || text[13] != ':' || text[16] != ':')
        return std::nullopt;
    const int year = digitsAt(text, 0, 4);
    const int month = digitsAt(text, 5, 2);
    const int day = digitsAt(text, 8, 2);
    const int hour = digitsAt(text, 11, 2);
    const int minute = digitsAt(text, 14, 2);
    const int second = digitsAt(text, 17, 2);
    // QDate knows no year 0, so the "0000:00:00" of a camera without a set clock is refused.
    const QDate date(year, month, day);
    if (year < 1 || !date.isValid() || hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 ||
        second > 59)
        return std::nullopt;

    ClockTime time;
    time.seconds =
        (date.toJulianDay() - QDate(1970, 1, 1).toJulianDay()) * 86400 + hour * 3600 + minute * 60 + second;
    const std::string_view fraction = trimmed(subSeconds);
    if (!fraction.empty() &&
        std::all_of(fraction.begin(), fraction.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        // Digits beyond the ninth are below a nanosecond.
        for (std::size_t i = 0; i < 9; ++i)
            time.nanoseconds = time.nanoseconds * 10 + (i < fraction.size() ? fraction[i] - '0' : 0);
    }
    return time;
}

std::optional<std::int32_t> parseExifZoneOffset(std::string_view zone)
{
    const std::string_view text = trimmed(zone);
    if (text.size() != 6 || (text[0] != '+' && text[0] != '-') || text[3] != ':')
        return std::nullopt;
    const int hours = digitsAt(text, 1, 2);
    const int minutes = digitsAt(text, 4, 2);
    // The zones of the world lie between 12 hours behind and 14 ahead of UTC.
    if (hours < 0 || minutes < 0 || minutes > 59 || hours * 60 + minutes > 14 * 60)
        return std::nullopt;
    const std::int32_t seconds = (hours * 60 + minutes) * 60;
    return text[0] == '-' ? -seconds : seconds;
}

std::optional<Device> deviceOf(const QString& make, const QString& model, const QString& serial)
{
    if (make.isEmpty() && model.isEmpty() && serial.isEmpty())
        return std::nullopt;
    const auto beginsWith = [&model](QStringView word) {
        return !word.isEmpty() && model.startsWith(word, Qt::CaseInsensitive) &&
               (model.size() == word.size() || model[word.size()] == u' ');
    };
    const qsizetype space = make.indexOf(u' ');
    QString name = model;
    if (!make.isEmpty() && !beginsWith(make) && !(space > 0 && beginsWith(QStringView(make).left(space))))
        name = model.isEmpty() ? make : make + u' ' + model;
    Device device;
    if (serial.isEmpty())
        device.label = name;
    else if (name.isEmpty())
        device.label = serial;
    else
        device.label = name + QStringLiteral(" (") + serial + u')';
    // Each part with its length before it, so that no two triples make one key.
    for (const QString* part : {&make, &model, &serial})
        device.key += QString::number(part->size()) + u':' + *part;
    return device;
}

PhotoMetadata clipPhotoMetadata(const ClipMetadata& clip, std::optional<ClockTime> modified)
{
    PhotoMetadata photo;
    photo.original = clip.taken;
    photo.modified = modified;
    photo.camera.make = cameraText(clip.make);
    photo.camera.model = cameraText(clip.model);
    photo.camera.zoneOffset = clip.zoneOffset;
    return photo;
}

std::optional<Device> deviceOf(const CameraData& camera)
{
    return deviceOf(camera.make, camera.model, camera.serial);
}

ClockTime localClockTime(std::int64_t secondsSinceEpoch, std::int32_t nanoseconds)
{
    const QDateTime local = QDateTime::fromSecsSinceEpoch(secondsSinceEpoch);
    return ClockTime{secondsSinceEpoch + local.offsetFromUtc(), nanoseconds};
}

std::optional<ClockTime> timeTaken(const PhotoMetadata& metadata)
{
    if (metadata.original)
        return metadata.original;
    if (metadata.digitized)
        return metadata.digitized;
    return metadata.modified;
}

PhotoMetadata readPhotoMetadata(const std::uint8_t* data, std::size_t size,
                                std::vector<std::uint8_t>* thumbnail) noexcept
{
    PhotoMetadata metadata;
    if (thumbnail)
        thumbnail->clear();
    if (!data || size == 0)
        return metadata;
    try {
        setUpExiv2();
        if (jpeg::isJpeg(data, size)) {
            // Only the EXIF block is handed over: the library's JPEG reader would also parse the
            // XMP, IPTC and ICC segments, which the program does not use.
            const ExifBlock block = findJpegExif(data, size);
            if (block.tiff && block.size > 0 && block.size <= UINT32_MAX) {
                Exiv2::ExifData exif;
                Exiv2::ExifParser::decode(exif, block.tiff, static_cast<std::uint32_t>(block.size));
                take(exif, metadata);
                if (thumbnail)
                    *thumbnail = jpegThumbnail(exif);
            }
            return metadata;
        }
        if (looksLikeHeif(data, size)) {
            // The EXIF block through libheif, which parses the container for the decoder anyway:
            // one parser of hostile boxes is enough.
            const std::vector<std::uint8_t> exif = heifExif(data, size);
            if (!exif.empty() && exif.size() <= UINT32_MAX) {
                Exiv2::ExifData parsed;
                Exiv2::ExifParser::decode(parsed, exif.data(), static_cast<std::uint32_t>(exif.size()));
                take(parsed, metadata);
            }
            // The decoder turns the picture as the container says; phones write the same turn
            // into the EXIF block too, and applying both would turn it twice.
            metadata.orientation.reset();
            return metadata;
        }
        if (size > std::size_t(LONG_MAX))
            return metadata;
        const auto image = Exiv2::ImageFactory::open(data, static_cast<long>(size));
        if (!image.get() || !hasReadableMetadata(image->imageType()))
            return metadata;
        image->readMetadata();
        take(image->exifData(), metadata);
    } catch (...) {
        // Damaged metadata is no metadata.
        return PhotoMetadata();
    }
    return metadata;
}

PhotoMetadata readFileMetadata(const QByteArray& nativePath) noexcept
{
    // The EXIF block of a JPEG follows the start of the file closely; this much holds it and
    // whatever segments come before it in all but odd files.
    constexpr std::size_t kJpegHead = std::size_t(256) << 10;
    try {
        RegularFile file(nativePath);
        if (!file.isOpen())
            return PhotoMetadata();
        const ClockTime modified = file.modified();
        const auto whole = std::size_t(std::clamp<std::int64_t>(file.size(), 0, kMaxJpegFileBytes));
        std::vector<std::uint8_t> bytes(std::min(whole, kJpegHead));
        const std::int64_t got = file.read(bytes.data(), bytes.size());
        if (got < 0)
            return PhotoMetadata();
        const auto have = std::size_t(got);
        if (looksLikeVideo(bytes.data(), have))
            return clipPhotoMetadata(readClipMetadata(nativePath).value_or(ClipMetadata()), modified);
        // Other kinds of file keep their metadata anywhere, often at the end.
        if (have == bytes.size() && have < whole &&
            (!jpeg::isJpeg(bytes.data(), have) || findJpegExif(bytes.data(), have).ranOut)) {
            bytes.resize(whole);
            const std::int64_t more = file.read(bytes.data() + have, whole - have);
            if (more < 0)
                return PhotoMetadata();
            bytes.resize(have + std::size_t(more));
        } else {
            bytes.resize(have);
        }
        PhotoMetadata metadata = readPhotoMetadata(bytes.data(), bytes.size());
        metadata.modified = modified;
        return metadata;
    } catch (...) {
        return PhotoMetadata();
    }
}

} // namespace imaging
