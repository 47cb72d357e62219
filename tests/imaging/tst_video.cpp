#include "ClipSamples.h"
#include "ImagingTestSupport.h"
#include "TestFiles.h"
#include "imaging/PhotoMetadata.h"
#include "imaging/VideoDecoder.h"
#include "platform/FileNames.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

#include <ctime>

#include <sys/stat.h>

// The clip reader: which files are clips, the frame it picks, how it is turned, what the
// container tells, and files that are damaged, hostile or clips only by name.

using imaging::ClipMetadata;
using imaging::VideoDecoder;

namespace {

// A clip whose every second has a colour of its own, so that a frame tells when it was taken.
const QList<QColor> kSeconds = {Qt::red,
                                Qt::green,
                                Qt::blue,
                                Qt::yellow,
                                Qt::cyan,
                                Qt::magenta,
                                Qt::white,
                                QColor(255, 128, 0),
                                QColor(128, 0, 255),
                                QColor(0, 128, 255)};

QString colourName(QColor c)
{
    // The codec changes colours a little; the nearest of the seconds' colours (or black) names it.
    QString best = QStringLiteral("black");
    int bestDistance = c.red() + c.green() + c.blue();
    for (int i = 0; i < kSeconds.size(); ++i) {
        const QColor& s = kSeconds[i];
        const int d =
            std::abs(s.red() - c.red()) + std::abs(s.green() - c.green()) + std::abs(s.blue() - c.blue());
        if (d < bestDistance) {
            bestDistance = d;
            best = QStringLiteral("second %1").arg(i);
        }
    }
    return best;
}

QString timeText(const std::optional<imaging::ClockTime>& t)
{
    if (!t)
        return QStringLiteral("none");
    return QDateTime::fromSecsSinceEpoch(t->seconds, QTimeZone::utc())
               .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) +
           (t->nanoseconds ? QStringLiteral(".%1").arg(t->nanoseconds, 9, 10, QLatin1Char('0')) : QString());
}

QString offsetText(const std::optional<std::int32_t>& offset)
{
    return offset ? QString::number(*offset / 60) + QStringLiteral(" min") : QStringLiteral("none");
}

} // namespace

class TestVideo : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;
    VideoDecoder m_decoder;
    cDIBSection m_dib;

    QString make(const QString& name, const ClipSample& sample)
    {
        const QString path = m_dir.filePath(name);
        const QString error = writeClip(path, sample);
        if (!error.isEmpty())
            qFatal("%s: %s", qPrintable(name), qPrintable(error));
        return path;
    }
    VideoDecoder::Result decode(const QString& path, ClipMetadata* metadata = nullptr)
    {
        return m_decoder.decode(m_dib, platform::encodeName(path), metadata);
    }

private slots:
    void initTestCase()
    {
        // Central European time: UTC+1 in winter, UTC+2 in summer.
        qputenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3");
        tzset();
        m_dib.KeepMemoryForReuse(true);
    }

    // The containers of phones and cameras, told by their content whatever their names; the
    // frame comes as stored, at its size, with the length of the clip.
    void containers_data()
    {
        QTest::addColumn<QByteArray>("muxer");
        QTest::addColumn<QByteArray>("encoder");
        QTest::addColumn<int>("container");
        QTest::newRow("MP4, H.264") << QByteArray("mp4") << QByteArray("libx264")
                                    << int(imaging::ClipContainer::IsoMedia);
        QTest::newRow("MOV, H.264") << QByteArray("mov") << QByteArray("libx264")
                                    << int(imaging::ClipContainer::IsoMedia);
        QTest::newRow("3GP, MPEG-4") << QByteArray("3gp") << QByteArray("mpeg4")
                                     << int(imaging::ClipContainer::IsoMedia);
        QTest::newRow("Matroska, MPEG-4")
            << QByteArray("matroska") << QByteArray("mpeg4") << int(imaging::ClipContainer::Matroska);
        QTest::newRow("WebM, VP8") << QByteArray("webm") << QByteArray("libvpx")
                                   << int(imaging::ClipContainer::Matroska);
        QTest::newRow("AVI, MPEG-4") << QByteArray("avi") << QByteArray("mpeg4")
                                     << int(imaging::ClipContainer::Avi);
        QTest::newRow("MTS, H.264") << QByteArray("mpegts") << QByteArray("libx264")
                                    << int(imaging::ClipContainer::Transport);
        QTest::newRow("M2TS, H.264") << QByteArray("m2ts") << QByteArray("libx264")
                                     << int(imaging::ClipContainer::Transport);
    }
    void containers()
    {
        QFETCH(QByteArray, muxer);
        QFETCH(QByteArray, encoder);
        QFETCH(int, container);
        const QString path =
            make(QStringLiteral("clip.") + muxer,
                 ClipSample().in(muxer.constData()).with(encoder.constData()).length(20).showing([](int) {
                     return quartered();
                 }));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray head = file.read(qint64(imaging::kClipHeadBytes));
        QCOMPARE(int(imaging::clipContainer(reinterpret_cast<const uint8_t*>(head.constData()),
                                            size_t(head.size()))),
                 container);

        ClipMetadata metadata;
        const VideoDecoder::Result r = decode(path, &metadata);
        QCOMPARE(int(r.status), int(VideoDecoder::Status::Decoded));
        QCOMPARE(QSize(m_dib.Width(), m_dib.Height()), QSize(64, 48));
        QCOMPARE(quartersOf(pictureOf(m_dib)), QStringLiteral("RG/BW"));
        QVERIFY(metadata.durationMs);
        QVERIFY2(std::abs(*metadata.durationMs - 2000) <= 100,
                 qPrintable(QString::number(*metadata.durationMs)));
    }

    // A key frame a tenth of the way in, 5 s at the most; black frames give way to the next key
    // frames; the frame before the place sought where the key frames are far apart.
    void frameChoice_data()
    {
        QTest::addColumn<int>("frames"); // at 10 a second
        QTest::addColumn<int>("keyEvery");
        QTest::addColumn<int>("blackFrames"); // at the start
        QTest::addColumn<int>("secondsPerColour");
        QTest::addColumn<QString>("shown");
        // A clip of n frames lasts (n - 1) / 10 s as its container counts.
        QTest::newRow("a tenth in") << 105 << 5 << 0 << 1 << "second 1";         // 1.04 s: key frame at 1.0
        QTest::newRow("just before a tenth") << 99 << 3 << 0 << 1 << "second 0"; // 0.98 s: key frame at 0.9
        QTest::newRow("5 s in at most") << 800 << 10 << 0 << 3 << "second 1";    // 7 s would be second 2
        QTest::newRow("key frame before the place") << 100 << 30 << 0 << 1 << "second 0";
        QTest::newRow("a fade from black")
            << 40 << 2 << 9 << 1 << "second 1"; // frame 10, after four black ones
        QTest::newRow("black past the key frames looked at") << 40 << 2 << 30 << 1 << "black";
        QTest::newRow("black all through") << 20 << 2 << 20 << 1 << "black";
        QTest::newRow("three frames") << 3 << 5 << 0 << 1 << "second 0";
        QTest::newRow("one frame") << 1 << 5 << 0 << 1 << "second 0";
    }
    void frameChoice()
    {
        QFETCH(int, frames);
        QFETCH(int, keyEvery);
        QFETCH(int, blackFrames);
        QFETCH(int, secondsPerColour);
        QFETCH(QString, shown);
        const QString path =
            make(QStringLiteral("frames.mp4"), ClipSample().length(frames).keys(keyEvery).showing([=](int i) {
                return i < blackFrames ? plain(Qt::black) : plain(kSeconds[i / 10 / secondsPerColour % 10]);
            }));
        QVERIFY(decode(path).decoded());
        QCOMPARE(colourName(pictureOf(m_dib).pixelColor(32, 24)), shown);
    }

    // The stored frame and how the display matrix turns it, as the ffmpeg program shows the same
    // files. An iPhone held upright stores its frames lying and asks for a clockwise quarter turn
    // (the matrix FFmpeg reads back as a rotation of -90 degrees).
    void rotation_data()
    {
        QTest::addColumn<double>("degrees"); // as given to av_display_rotation_set when writing
        QTest::addColumn<bool>("mirrored");
        QTest::addColumn<int>("orientation");
        QTest::addColumn<QString>("shown");
        QTest::newRow("none") << 0.0 << false << 1 << "RG/BW";
        QTest::newRow("portrait, as an iPhone") << 90.0 << false << 6 << "BR/WG";
        QTest::newRow("upside down") << 180.0 << false << 3 << "WB/GR";
        QTest::newRow("portrait, the other way") << -90.0 << false << 8 << "GW/RB";
        QTest::newRow("mirrored") << 0.0 << true << 2 << "GR/WB";
        QTest::newRow("mirrored, turned") << 90.0 << true << 5 << "RB/GW";
        QTest::newRow("mirrored, turned back") << -90.0 << true << 7 << "WG/BR";
        QTest::newRow("askew") << 45.0 << false << 1 << "RG/BW";
    }
    void rotation()
    {
        QFETCH(double, degrees);
        QFETCH(bool, mirrored);
        QFETCH(int, orientation);
        QFETCH(QString, shown);
        const QString path =
            make(QStringLiteral("turned.mov"),
                 ClipSample().in("mov").turned(degrees, mirrored).showing([](int) { return quartered(); }));
        ClipMetadata metadata;
        QVERIFY(decode(path, &metadata).decoded());
        QCOMPARE(int(metadata.orientation), orientation);
        QCOMPARE(quartersOf(pictureOf(m_dib)), QStringLiteral("RG/BW"));
        const std::unique_ptr<cDIBSection> turned = imaging::oriented(m_dib, metadata.orientation);
        QCOMPARE(quartersOf(pictureOf(*turned)), shown);
    }

    // Widths that are no multiple of the converter's vector registers: every row whole and in
    // its place, the left edge not overwritten by the row below, nothing written past the picture.
    // Frames of pixels that are not square are widened to their shown proportions, as a camera's
    // anamorphic 1440 x 1080 is seen at 1920 x 1080.
    void oddWidths_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<int>("aspect"); // the pixels' width in thirds of their height
        QTest::newRow("62 x 46") << QSize(62, 46) << 3;
        QTest::newRow("66 x 34") << QSize(66, 34) << 3;
        QTest::newRow("widened to 83") << QSize(62, 46) << 4;
    }
    void oddWidths()
    {
        QFETCH(QSize, size);
        QFETCH(int, aspect);
        const QString path =
            make(QStringLiteral("odd.mkv"), ClipSample()
                                                .in("matroska")
                                                .sized(size.width(), size.height())
                                                .pixels(aspect, 3)
                                                .showing([size](int) { return quartered(size); }));
        cDIBSection dib; // of its own, so that no memory kept from a larger picture hides an overrun
        QVERIFY(VideoDecoder().decode(dib, platform::encodeName(path)).decoded());
        QCOMPARE(dib.Width(), (size.width() * aspect + 1) / 3);
        const QImage picture = pictureOf(dib);
        QCOMPARE(quartersOf(picture), QStringLiteral("RG/BW"));
        for (int y = 2; y < picture.height() - 2; ++y) {
            if (std::abs(y - picture.height() / 2) <= 2)
                continue; // where the codec blurs red into blue
            const QColor left = picture.pixelColor(0, y);
            const bool top = y < picture.height() / 2;
            QVERIFY2(top ? left.red() > 160 && left.green() < 90 : left.blue() > 160 && left.green() < 90,
                     qPrintable(QStringLiteral("row %1: %2").arg(y).arg(left.name())));
        }
    }

    // Apple's creation date is the clock at the place, with its zone; the container's creation
    // time is UTC and is shown on this session's clock (here Central European, summer and
    // winter); one without zone (AVI) as written. Devices from Apple's, Android's and camera tags.
    void metadata_data()
    {
        QTest::addColumn<QByteArray>("muxer");
        QTest::addColumn<ClipSample::Tags>("tags");
        QTest::addColumn<ClipSample::Tags>("streamTags");
        QTest::addColumn<QString>("taken");
        QTest::addColumn<QString>("offset");
        QTest::addColumn<QString>("device");
        using T = ClipSample::Tags;
        // clang-format off
        QTest::newRow("iPhone") << QByteArray("mov")
            << T{{"com.apple.quicktime.creationdate", "2024-07-12T10:15:00+0200"},
                 {"creation_time", "2024-07-12T08:15:00Z"},
                 {"com.apple.quicktime.make", "Apple"}, {"com.apple.quicktime.model", "iPhone 13 mini"}}
            << T{} << "2024-07-12 10:15:00" << "120 min" << "Apple/iPhone 13 mini";
        QTest::newRow("iPhone abroad") << QByteArray("mov")
            << T{{"com.apple.quicktime.creationdate", "2024-07-12T10:15:00-04:00"},
                 {"creation_time", "2024-07-12T14:15:00Z"}}
            << T{} << "2024-07-12 10:15:00" << "-240 min" << "/";
        QTest::newRow("Android, summer") << QByteArray("mp4")
            << T{{"creation_time", "2024-07-12T08:15:01.250000Z"},
                 {"com.android.manufacturer", "samsung"}, {"com.android.model", "SM-G991B"}}
            << T{} << "2024-07-12 10:15:01.250000000" << "120 min" << "samsung/SM-G991B";
        QTest::newRow("Android, winter") << QByteArray("mp4") << T{{"creation_time", "2024-01-12T08:15:00Z"}}
            << T{} << "2024-01-12 09:15:00" << "60 min" << "/";
        QTest::newRow("across midnight") << QByteArray("mp4") << T{{"creation_time", "2023-12-31T23:30:00Z"}}
            << T{} << "2024-01-01 00:30:00" << "60 min" << "/";
        QTest::newRow("camera") << QByteArray("mov")
            << T{{"creation_time", "2024-07-12T08:15:00Z"}, {"make", "  Canon "}, {"model", "EOS R6"}}
            << T{} << "2024-07-12 10:15:00" << "120 min" << "Canon/EOS R6";
        QTest::newRow("stream only") << QByteArray("mov") << T{{"creation_time", "2024-07-12T08:15:00Z"}}
            << T{} << "2024-07-12 10:15:00" << "120 min" << "/";
        QTest::newRow("Matroska") << QByteArray("matroska") << T{{"creation_time", "2024-07-12T08:15:00Z"}}
            << T{} << "2024-07-12 10:15:00" << "120 min" << "/";
        QTest::newRow("Apple's date damaged") << QByteArray("mov")
            << T{{"com.apple.quicktime.creationdate", "2024-07-12T10:15"},
                 {"creation_time", "2024-07-12T08:15:00Z"}}
            << T{} << "2024-07-12 10:15:00" << "120 min" << "/";
        QTest::newRow("clock never set") << QByteArray("matroska") << T{{"creation_time", "1970-01-01T00:00:00Z"}}
            << T{} << "none" << "none" << "/";
        QTest::newRow("none") << QByteArray("mp4") << T{} << T{} << "none" << "none" << "/";
        // clang-format on
    }
    void metadata()
    {
        QFETCH(QByteArray, muxer);
        QFETCH(ClipSample::Tags, tags);
        QFETCH(ClipSample::Tags, streamTags);
        QFETCH(QString, taken);
        QFETCH(QString, offset);
        QFETCH(QString, device);
        ClipSample sample =
            ClipSample().in(muxer.constData()).with(muxer == "mp4" || muxer == "mov" ? "libx264" : "mpeg4");
        sample.tags = tags;
        sample.streamTags = streamTags;
        const QString path = make(QStringLiteral("tagged.") + muxer, sample);
        if (QByteArray(QTest::currentDataTag()) == "stream only") {
            // The muxer writes the creation time into the movie's header too; a zero there is none.
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadWrite));
            QByteArray bytes = file.readAll();
            const qsizetype mvhd = bytes.indexOf("mvhd");
            QVERIFY(mvhd > 0 && bytes[mvhd + 4] == 0);
            bytes.replace(mvhd + 8, 4, QByteArray(4, '\0'));
            QVERIFY(file.seek(0) && file.write(bytes) == bytes.size());
        }
        // The creation time is written again where the muxer gives it its own field.
        for (const std::optional<ClipMetadata>& m :
             {std::optional<ClipMetadata>(imaging::readClipMetadata(platform::encodeName(path))),
              std::optional<ClipMetadata>([&] {
                  ClipMetadata decoded;
                  decode(path, &decoded);
                  return decoded;
              }())}) {
            QVERIFY(m);
            QCOMPARE(timeText(m->taken), taken);
            QCOMPARE(offsetText(m->zoneOffset), offset);
            QCOMPARE(QString::fromStdString(m->make + '/' + m->model), device);
        }
    }

    void clipTime_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("clock");
        QTest::addColumn<QString>("offset");
        QTest::newRow("Apple") << "2024-07-12T10:15:00+0200"
                               << "2024-07-12 10:15:00"
                               << "120 min";
        QTest::newRow("with colon") << "2024-07-12T10:15:00+02:00"
                                    << "2024-07-12 10:15:00"
                                    << "120 min";
        QTest::newRow("hours only") << "2024-07-12T10:15:00-05"
                                    << "2024-07-12 10:15:00"
                                    << "-300 min";
        QTest::newRow("half hours") << "2024-07-12T10:15:00+0530"
                                    << "2024-07-12 10:15:00"
                                    << "330 min";
        QTest::newRow("UTC") << "2024-07-12T08:15:00.000000Z"
                             << "2024-07-12 08:15:00"
                             << "0 min";
        QTest::newRow("fraction") << "2024-07-12T08:15:00.5Z"
                                  << "2024-07-12 08:15:00.500000000"
                                  << "0 min";
        QTest::newRow("without zone") << "2024-07-12 10:15:00"
                                      << "2024-07-12 10:15:00"
                                      << "none";
        QTest::newRow("trailing zero byte")
            << QStringLiteral("2024-07-12T10:15:00Z") + QChar(0) << "2024-07-12 10:15:00"
            << "0 min";
        QTest::newRow("zone too far") << "2024-07-12T10:15:00+1500"
                                      << "none"
                                      << "none";
        QTest::newRow("minutes too many") << "2024-07-12T10:15:00+0260"
                                          << "none"
                                          << "none";
        QTest::newRow("three digits") << "2024-07-12T10:15:00+020"
                                      << "none"
                                      << "none";
        QTest::newRow("something after") << "2024-07-12T10:15:00Zx"
                                         << "none"
                                         << "none";
        QTest::newRow("no fraction digits") << "2024-07-12T10:15:00.Z"
                                            << "none"
                                            << "none";
        QTest::newRow("no day") << "2024-02-30T10:15:00Z"
                                << "none"
                                << "none";
        QTest::newRow("short") << "2024-07-12T10:15"
                               << "none"
                               << "none";
        QTest::newRow("empty") << ""
                               << "none"
                               << "none";
    }
    void clipTime()
    {
        QFETCH(QString, text);
        QFETCH(QString, clock);
        QFETCH(QString, offset);
        const QByteArray bytes = text.toLatin1();
        const std::optional<imaging::ZonedClockTime> t =
            imaging::parseClipTime(std::string_view(bytes.constData(), std::size_t(bytes.size())));
        QCOMPARE(timeText(t ? std::optional(t->clock) : std::nullopt), clock);
        QCOMPARE(offsetText(t ? t->zoneOffset : std::nullopt), offset);
    }

    // Damaged, cut short, empty, a clip by name only, one claiming a frame far beyond the limit:
    // each is refused, quickly, and leaves the buffer as it was.
    void damaged_data()
    {
        QTest::addColumn<QByteArray>("damage");
        QTest::addColumn<int>("status");
        const int notVideo = int(VideoDecoder::Status::NotVideo);
        const int notDecodable = int(VideoDecoder::Status::NotDecodable);
        QTest::newRow("cut after its header") << QByteArray("cut-header") << notDecodable;
        QTest::newRow("cut in its middle") << QByteArray("cut-half") << notDecodable;
        QTest::newRow("frames zeroed") << QByteArray("zero-frames") << notDecodable;
        QTest::newRow("claims 65535 x 65535") << QByteArray("huge") << notDecodable;
        QTest::newRow("claims 100000 x 100000") << QByteArray("mkv-huge") << notDecodable;
        QTest::newRow("transport stream cut short") << QByteArray("ts-cut") << notDecodable;
        QTest::newRow("Matroska header only") << QByteArray("mkv-header") << notDecodable;
        QTest::newRow("a text named .mp4") << QByteArray("text") << notVideo;
        QTest::newRow("a JPEG named .mp4") << QByteArray("jpeg") << notVideo;
        QTest::newRow("empty") << QByteArray("empty") << notVideo;
        QTest::newRow("only a file type box") << QByteArray("ftyp") << notDecodable;
    }
    void damaged()
    {
        QFETCH(QByteArray, damage);
        QFETCH(int, status);
        const ClipSample sample = ClipSample().length(30).showing([](int) { return quartered(); });
        QFile source(make(QStringLiteral("whole.mp4"), sample));
        QVERIFY(source.open(QIODevice::ReadOnly));
        QByteArray bytes = source.readAll();
        const qsizetype moov = bytes.indexOf("moov") - 4;
        const qsizetype mdat = bytes.indexOf("mdat") - 4;
        QVERIFY(moov > 0 && mdat > 0);
        if (damage == "cut-header") {
            bytes = bytes.left(std::min(moov, mdat) + 16);
        } else if (damage == "cut-half") {
            bytes.truncate(bytes.size() / 2);
        } else if (damage == "zero-frames") {
            // The frames lie between mdat and moov (at the end, as phones write it).
            QVERIFY(mdat < moov);
            bytes.replace(mdat + 8, moov - mdat - 8, QByteArray(moov - mdat - 8, '\0'));
        } else if (damage == "huge") {
            // The sample description's size, 16 bits each: 65535 x 65535 at most.
            const qsizetype avc1 = bytes.indexOf("avc1", bytes.indexOf("stsd"));
            QVERIFY(avc1 > 0);
            for (const qsizetype at : {avc1 + 4 + 24, avc1 + 4 + 26})
                bytes[at] = char(0xFF), bytes[at + 1] = char(0xFF);
        } else if (damage == "mkv-huge") {
            QFile mkv(make(QStringLiteral("huge.mkv"),
                           ClipSample(sample).in("matroska").with("mpeg4").claiming(100000, 100000)));
            QVERIFY(mkv.open(QIODevice::ReadOnly));
            bytes = mkv.readAll();
        } else if (damage == "ts-cut") {
            QFile ts(make(QStringLiteral("whole.mts"), ClipSample(sample).in("mpegts")));
            QVERIFY(ts.open(QIODevice::ReadOnly));
            bytes = ts.read(188 * 4);
        } else if (damage == "mkv-header") {
            QFile mkv(make(QStringLiteral("whole.mkv"), ClipSample(sample).in("matroska").with("mpeg4")));
            QVERIFY(mkv.open(QIODevice::ReadOnly));
            bytes = mkv.read(200);
        } else if (damage == "text") {
            bytes = "Not a clip, although its name says so.\n";
        } else if (damage == "jpeg") {
            bytes = encodeJpeg(testPicture(16, 16));
        } else if (damage == "empty") {
            bytes.clear();
        } else if (damage == "ftyp") {
            bytes = bytes.left(bytes.indexOf("ftyp") - 4 + 32);
        }
        const QString path = m_dir.filePath(QStringLiteral("damaged.mp4"));
        writeFile(path, bytes);

        QVERIFY(m_dib.Create(3, 2));
        const std::uint8_t* before = m_dib.DIBSectionBitsPtr();
        QElapsedTimer t;
        t.start();
        const VideoDecoder::Result r = decode(path);
        QCOMPARE(int(r.status), status);
        QVERIFY(!r.interrupted);
        QVERIFY2(t.elapsed() < 1000, qPrintable(QString::number(t.elapsed())));
        QCOMPARE(QSize(m_dib.Width(), m_dib.Height()), QSize(3, 2));
        QCOMPARE(m_dib.DIBSectionBitsPtr(), before);
        // From memory alike.
        cDIBSection fromMemory;
        QCOMPARE(int(VideoDecoder()
                         .decodeData(fromMemory, reinterpret_cast<const uint8_t*>(bytes.constData()),
                                     size_t(bytes.size()))
                         .status),
                 status);
    }

    // The pixel limit holds before the frame's memory is had: at the limit a clip is read, one
    // pixel below it refused; also where the container claims less than the coded frames hold.
    void pixelLimit()
    {
        const QString path =
            make(QStringLiteral("limit.mp4"), ClipSample().showing([](int) { return quartered(); }));
        const QString understated =
            make(QStringLiteral("understated.mkv"),
                 ClipSample().in("matroska").claiming(32, 24).showing([](int) { return quartered(); }));
        cDIBSection dib;
        QVERIFY(VideoDecoder(64 * 48).decode(dib, platform::encodeName(path)).decoded());
        QVERIFY(VideoDecoder(64 * 48).decode(dib, platform::encodeName(understated)).decoded());
        QCOMPARE(QSize(dib.Width(), dib.Height()), QSize(64, 48));
        for (const QString& clip : {path, understated})
            QCOMPARE(int(VideoDecoder(64 * 48 - 1).decode(dib, platform::encodeName(clip)).status),
                     int(VideoDecoder::Status::NotDecodable));
        // By default, 8192 x 8192: what a container claims beyond that is not tried.
        for (const QSize claim : {QSize(8192, 8192), QSize(8192, 8193)}) {
            const QString claiming =
                make(QStringLiteral("claims.mkv"),
                     ClipSample().in("matroska").claiming(claim.width(), claim.height()));
            QCOMPARE(VideoDecoder().decode(dib, platform::encodeName(claiming)).decoded(),
                     claim.height() == 8192);
        }
    }

    // A clip that takes longer than its time, or whose reading is called off, is given up and
    // says so, so that it is tried again another time rather than kept as damaged.
    void timeLimitAndCancel()
    {
        const QString path = make(QStringLiteral("long.mp4"), ClipSample().length(200).keys(50));
        cDIBSection dib;
        const VideoDecoder::Result late = VideoDecoder(imaging::kMaxClipPixels, std::chrono::milliseconds(0))
                                              .decode(dib, platform::encodeName(path));
        QCOMPARE(int(late.status), int(VideoDecoder::Status::NotDecodable));
        QVERIFY(late.interrupted);

        VideoDecoder decoder;
        int asked = 0;
        decoder.setCancelCheck([&asked] { return ++asked > 0; });
        const VideoDecoder::Result cancelled = decoder.decode(dib, platform::encodeName(path));
        QVERIFY(!cancelled.decoded());
        QVERIFY(cancelled.interrupted);
        QCOMPARE(asked, 1);
        decoder.setCancelCheck({});
        QVERIFY(decoder.decode(dib, platform::encodeName(path)).decoded());

        QVERIFY(
            !imaging::readClipMetadata(platform::encodeName(path), std::chrono::milliseconds(0))->durationMs);
    }

    // Only regular files are opened: a FIFO would hold the reader until some writer came.
    void onlyRegularFiles()
    {
        const QByteArray fifo = platform::encodeName(m_dir.filePath(QStringLiteral("fifo.mp4")));
        QCOMPARE(::mkfifo(fifo.constData(), 0600), 0);
        QCOMPARE(int(decode(m_dir.filePath(QStringLiteral("fifo.mp4"))).status),
                 int(VideoDecoder::Status::NotDecodable));
        QVERIFY(!imaging::readClipMetadata(fifo));
        QCOMPARE(int(decode(m_dir.path()).status), int(VideoDecoder::Status::NotDecodable));
    }
};

QTEST_GUILESS_MAIN(TestVideo)
#include "tst_video.moc"
