#include "ExifSamples.h"
#include "HeifSamples.h"
#include "ImagingTestSupport.h"
#include "TestFiles.h"
#include "imaging/JpegDecoder.h"
#include "imaging/PhotoMetadata.h"
#include "imaging/cDIBSection.h"
#include "platform/FileNames.h"

#include <QTemporaryDir>
#include <QTest>

#include <functional>

// What a photo's file tells about the camera or phone that took it (make, model, serial number,
// the time zone of its clock), read with the time taken by both readers the program uses, and
// the devices the pictures are told apart by.

namespace {

// A camera's data as "make|model|serial|zone".
QString described(const imaging::CameraData& camera)
{
    return QStringList{camera.make, camera.model, camera.serial,
                       camera.zoneOffset ? QString::number(*camera.zoneOffset) : QStringLiteral("none")}
        .join(u'|');
}

// An EXIF block written by the library, its entries set as values of their own types.
QByteArray block(const std::function<void(Exiv2::ExifData&)>& fill)
{
    Exiv2::ExifData exif;
    fill(exif);
    Exiv2::Blob blob;
    Exiv2::ExifParser::encode(blob, Exiv2::littleEndian, exif);
    return QByteArray(reinterpret_cast<const char*>(blob.data()), qsizetype(blob.size()));
}

// An entry of the given type holding the bytes as they are (zero bytes too).
void put(Exiv2::ExifData& exif, const char* key, Exiv2::TypeId type, const QByteArray& bytes)
{
    const auto value = Exiv2::Value::create(type);
    value->read(reinterpret_cast<const Exiv2::byte*>(bytes.constData()), long(bytes.size()),
                Exiv2::littleEndian);
    exif.add(Exiv2::ExifKey(key), value.get());
}

} // namespace

class TestCameras : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;

    // The camera as the time-taken reader reads it from the file alone, which must be what the
    // thumbnails' decoder reads with the picture.
    QString cameraOfFile(const QByteArray& content)
    {
        const QString path = m_dir.filePath(QStringLiteral("photo"));
        writeFile(path, content);
        const QByteArray native = QFile::encodeName(path);
        const imaging::PhotoMetadata alone = imaging::readFileMetadata(native);
        imaging::JpegDecoder decoder;
        cDIBSection dib;
        imaging::PhotoMetadata decoded;
        if (!decoder.decodePhoto(dib, native, &decoded).decoded())
            return QStringLiteral("not decoded");
        if (!(decoded.camera == alone.camera))
            return described(decoded.camera) + QStringLiteral(" from the picture, ") +
                   described(alone.camera) + QStringLiteral(" alone");
        return described(alone.camera);
    }

private slots:
    // Blocks as cameras and programs write them, and damaged ones.
    void cameraOfPhoto_data()
    {
        QTest::addColumn<QByteArray>("tiff");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char* name, const QByteArray& tiff, const QString& expected) {
            QTest::newRow(name) << tiff << expected;
        };
        row("none", exifTiff({{"Exif.Photo.DateTimeOriginal", "2024:07:12 10:15:00"}}), "|||none");
        row("make and model", exifTiff({{"Exif.Image.Make", "Canon"}, {"Exif.Image.Model", "Canon EOS R6"}}),
            "Canon|Canon EOS R6||none");
        row("body serial number",
            exifTiff({{"Exif.Image.Make", "Canon"}, {"Exif.Photo.BodySerialNumber", "032021001234"}}),
            "Canon||032021001234|none");
        row("camera serial number (DNG)", exifTiff({{"Exif.Image.CameraSerialNumber", "A1B2"}}),
            "||A1B2|none");
        const auto canon = [](Exiv2::ExifData& exif) {
            exif["Exif.Image.Make"] = std::string("Canon");
            exif["Exif.Image.Model"] = std::string("Canon EOS 5D");
            exif["Exif.Canon.SerialNumber"] = std::uint32_t(1234567);
        };
        row("Canon's maker note, a number", block(canon), "Canon|Canon EOS 5D|1234567|none");
        row("Nikon's maker note", block([](Exiv2::ExifData& exif) {
                exif["Exif.Image.Make"] = std::string("NIKON CORPORATION");
                exif["Exif.Nikon3.SerialNumber"] = std::string("6012345");
            }),
            "NIKON CORPORATION||6012345|none");
        row("body serial number before the maker note's", block([&](Exiv2::ExifData& exif) {
                canon(exif);
                exif["Exif.Photo.BodySerialNumber"] = std::string("0320");
            }),
            "Canon|Canon EOS 5D|0320|none");
        row("blank body serial number, the maker note's", block([&](Exiv2::ExifData& exif) {
                canon(exif);
                exif["Exif.Photo.BodySerialNumber"] = std::string("   ");
            }),
            "Canon|Canon EOS 5D|1234567|none");

        row("blanks and zero bytes around", block([](Exiv2::ExifData& exif) {
                put(exif, "Exif.Image.Make", Exiv2::asciiString, QByteArray(" \t Canon  \0\0 x", 15));
                put(exif, "Exif.Image.Model", Exiv2::asciiString, QByteArray("\0EOS", 4));
            }),
            "Canon|||none");
        row("make as bytes", block([](Exiv2::ExifData& exif) {
                put(exif, "Exif.Image.Make", Exiv2::undefined, QByteArray("SONY\0\xFF\xFF", 7));
                put(exif, "Exif.Image.Model", Exiv2::unsignedByte, "ILCE-7M3");
            }),
            "SONY|ILCE-7M3||none");
        row("make as a number", block([](Exiv2::ExifData& exif) {
                exif["Exif.Image.Make"] = std::uint16_t(5);
                exif["Exif.Photo.BodySerialNumber"] = std::uint32_t(77);
            }),
            "|||none");
        // Latin-1 from an old camera: kept as its bytes, for displayName to show as letters.
        row("not UTF-8", exifTiff({{"Exif.Image.Make", "Caf\xE9 Cam\xFF"}}),
            platform::decodeName("Caf\xE9 Cam\xFF") + "|||none");
        row("byte order marks",
            exifTiff({{"Exif.Image.Make", "\xEF\xBB\xBF Canon"}, {"Exif.Image.Model", "\xFF\xEF\xBB\xBF"}}),
            QString(QChar(0xFEFF)) + " Canon|" + QChar(0xDCFF) + QChar(0xFEFF) + "||none");
        row("control characters", exifTiff({{"Exif.Image.Model", "EOS\x01\nR6"}}), "|EOS\x01\nR6||none");
        const std::string hundreds(300, 'A');
        row("300 bytes", exifTiff({{"Exif.Image.Make", hundreds.c_str()}}), QString(64, u'A') + "|||none");
        const std::string blanksAtTheCut = std::string(60, 'A') + std::string(10, ' ') + "B";
        row("blanks at the cut", exifTiff({{"Exif.Image.Model", blanksAtTheCut.c_str()}}),
            "|" + QString(60, u'A') + "||none");
        const std::string pairAtTheCut = std::string(63, 'a') + "\xF0\x9F\x93\xB7";
        row("a character of two units at the cut", exifTiff({{"Exif.Image.Model", pairAtTheCut.c_str()}}),
            "|" + QString(63, u'a') + "||none");
        const std::string pairBeforeTheCut = std::string(62, 'a') + "\xF0\x9F\x93\xB7" + "b";
        row("a character of two units before the cut",
            exifTiff({{"Exif.Image.Model", pairBeforeTheCut.c_str()}}),
            "|" + QString(62, u'a') + QString::fromUtf8("\xF0\x9F\x93\xB7") + "||none");

        row("zone +02:00", exifTiff({{"Exif.Photo.OffsetTimeOriginal", "+02:00"}}), "|||7200");
        row("zone -05:30", exifTiff({{"Exif.Photo.OffsetTimeOriginal", "-05:30"}}), "|||-19800");
        row("zone of the last change only", exifTiff({{"Exif.Photo.OffsetTime", "+09:00"}}), "|||32400");
        row("both zones",
            exifTiff({{"Exif.Photo.OffsetTimeOriginal", "-03:00"}, {"Exif.Photo.OffsetTime", "+01:00"}}),
            "|||-10800");
        row("zone malformed, the last change's",
            exifTiff({{"Exif.Photo.OffsetTimeOriginal", "+2:00"}, {"Exif.Photo.OffsetTime", "+01:00"}}),
            "|||3600");
        row("zone malformed", exifTiff({{"Exif.Photo.OffsetTimeOriginal", "02:00"}}), "|||none");
    }
    void cameraOfPhoto()
    {
        QFETCH(QByteArray, tiff);
        QTEST(cameraOfFile(withExif(encodeJpeg(testPicture(16, 8)), tiff)), "expected");
    }

    void zoneOffset_data()
    {
        QTest::addColumn<QByteArray>("zone");
        QTest::addColumn<QString>("expected");
        const auto row = [](const QByteArray& zone, const char* expected) {
            QTest::newRow(zone.isEmpty() ? "empty" : zone.constData()) << zone << QString(expected);
        };
        row("+02:00", "7200");
        row("-05:30", "-19800");
        row("+00:00", "0");
        row("-00:00", "0");
        row("+14:00", "50400");
        row("-14:00", "-50400");
        row("+13:59", "50340");
        row(QByteArray("+05:45\0", 7), "20700");
        row(" +05:45 ", "20700");
        for (const char* none : {"+14:01", "-14:01", "+15:00", "+02:60", "+2:00", "02:00", "+0200",
                                 "+02:00:00", "+02-00", "Z", "   :  ", "", "+a2:00", "+02:0b", "++2:00"})
            row(none, "none");
    }
    void zoneOffset()
    {
        QFETCH(QByteArray, zone);
        const std::optional<std::int32_t> seconds = imaging::parseExifZoneOffset(zone.toStdString());
        QTEST(seconds ? QString::number(*seconds) : QStringLiteral("none"), "expected");
    }

    // A phone writes its make, model and zone into the EXIF item of its HEIC or AVIF file.
    void phonePhotos_data()
    {
        QTest::addColumn<QByteArray>("file");
        const QByteArray exif = exifTiff({{"Exif.Image.Make", "Apple"},
                                          {"Exif.Image.Model", "iPhone 13"},
                                          {"Exif.Photo.DateTimeOriginal", "2024:07:12 10:15:00"},
                                          {"Exif.Photo.OffsetTimeOriginal", "-04:00"},
                                          {"Exif.Photo.OffsetTime", "+02:00"}});
        QTest::newRow("HEIC") << encodeHeif(testPicture(32, 16), HeifSample().withExif(exif));
        QTest::newRow("HEIC, turned by its container") << encodeHeif(
            testPicture(32, 16), HeifSample().turned(heif_orientation_rotate_90_cw).withExif(exif));
        QTest::newRow("AVIF") << encodeHeif(testPicture(32, 16), HeifSample().av1().withExif(exif));
        QTest::newRow("JPEG") << withExif(encodeJpeg(testPicture(32, 16)), exif);
    }
    void phonePhotos()
    {
        QFETCH(QByteArray, file);
        QVERIFY(!file.isEmpty());
        QCOMPARE(cameraOfFile(file), QStringLiteral("Apple|iPhone 13||-14400"));
    }

    void devices_data()
    {
        QTest::addColumn<QString>("make");
        QTest::addColumn<QString>("model");
        QTest::addColumn<QString>("serial");
        QTest::addColumn<QString>("label"); // empty: no device
        const auto row = [](const char* name, const char* make, const char* model, const char* serial,
                            const char* label) {
            QTest::newRow(name) << QString(make) << QString(model) << QString(serial) << QString(label);
        };
        row("model begins with the make", "Canon", "Canon EOS R6", "", "Canon EOS R6");
        row("in other letter case", "CANON", "Canon EOS R6", "", "Canon EOS R6");
        row("model begins with the make's first word", "NIKON CORPORATION", "NIKON D850", "", "NIKON D850");
        row("model is the make", "Canon", "Canon", "", "Canon");
        row("model does not name the make", "Apple", "iPhone 13", "", "Apple iPhone 13");
        row("model begins with the make as part of a word", "Canon", "Canonet QL17", "",
            "Canon Canonet QL17");
        row("model begins with part of the make's first word", "OLYMPUS", "OLY-1", "", "OLYMPUS OLY-1");
        row("serial number", "Canon", "Canon EOS R6", "032021001234", "Canon EOS R6 (032021001234)");
        row("make alone", "SONY", "", "", "SONY");
        row("model alone", "", "Pixel 7", "", "Pixel 7");
        row("serial number alone", "", "", "1234", "1234");
        row("nothing", "", "", "", "");
    }
    void devices()
    {
        QFETCH(QString, make);
        QFETCH(QString, model);
        QFETCH(QString, serial);
        const std::optional<imaging::Device> device = imaging::deviceOf(make, model, serial);
        QTEST(device ? device->label : QString(), "label");
        QVERIFY(!device || !device->key.isEmpty());
    }

    // Two bodies of one model are two devices, one body is one device in every picture, and no two
    // different triples share a key even where their labels read alike.
    void devicesApart()
    {
        const auto deviceIn = [this](const char* serial) {
            const QString path = m_dir.filePath(QStringLiteral("body"));
            writeFile(path, withExif(encodeJpeg(testPicture(8, 8)),
                                     exifTiff({{"Exif.Image.Make", "Canon"},
                                               {"Exif.Image.Model", "Canon EOS R6"},
                                               {"Exif.Photo.BodySerialNumber", serial}})));
            return imaging::deviceOf(imaging::readFileMetadata(QFile::encodeName(path)).camera);
        };
        const std::optional<imaging::Device> first = deviceIn("0320");
        const std::optional<imaging::Device> second = deviceIn("0321");
        QVERIFY(first && second);
        QVERIFY(first->key != second->key);
        QCOMPARE(deviceIn("0320")->key, first->key);
        QVERIFY(deviceIn("")->key != first->key);

        const QList<QStringList> triples = {
            {"a b", "c", ""}, {"a", "b c", ""}, {"a", "", "b"}, {"", "a", "b"},       {"a", "b", ""},
            {"ab", "", ""},   {"1:a", "", ""},  {"1", "a", ""}, {"Canon", "EOS", ""}, {"canon", "EOS", ""}};
        QSet<QString> keys;
        for (const QStringList& t : triples)
            keys.insert(imaging::deviceOf(t[0], t[1], t[2])->key);
        QCOMPARE(keys.size(), triples.size());
    }
};

QTEST_GUILESS_MAIN(TestCameras)
#include "tst_cameras.moc"
