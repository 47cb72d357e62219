#include "thumbnails/OrientedThumbnail.h"
#include "thumbnails/ThumbnailCache.h"
#include "thumbnails/ThumbnailLoader.h"
#include "thumbnails/TimeTakenReader.h"

#include "ClipSamples.h"
#include "ImagingTestSupport.h"
#include "TestFiles.h"
#include "ThumbnailPictures.h"

#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

#include <ctime>

// Clips in the thumbnail pipeline: prepared from one of their frames by the program's own
// resampling, drawn with a play mark and their length in a corner, kept like photos, read for
// their times taken; through the preparer, the loader's workers, the cache and the time reader.

using thumbs::Prepared;

namespace {

QString timeText(const std::optional<imaging::ClockTime>& t)
{
    return t ? QDateTime::fromSecsSinceEpoch(t->seconds, QTimeZone::utc())
                   .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))
             : QStringLiteral("none");
}

QRect fitOf(const Prepared& p)
{
    return QRect(p.jpegFit.left, p.jpegFit.top, p.jpegFit.width, p.jpegFit.height);
}

// Where two pictures of the same size differ, as one rectangle; empty where they do not.
QRect differences(const QImage& a, const QImage& b)
{
    QRect all;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if (a.pixel(x, y) != b.pixel(x, y))
                all |= QRect(x, y, 1, 1);
    return all;
}

} // namespace

class TestClips : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;

    QString make(const QString& name, const ClipSample& sample)
    {
        const QString path = m_dir.filePath(name);
        const QString error = writeClip(path, sample);
        if (!error.isEmpty())
            qFatal("%s: %s", qPrintable(name), qPrintable(error));
        return path;
    }
    // 160 x 90, two seconds, red, green, blue and white quarters.
    static ClipSample wide()
    {
        return ClipSample().sized(160, 90).length(21).showing([](int) { return quartered({160, 90}); });
    }

private slots:
    void initTestCase()
    {
        qputenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3");
        tzset();
    }

    void clipLength_data()
    {
        QTest::addColumn<qint64>("ms");
        QTest::addColumn<QString>("text");
        QTest::newRow("nothing") << qint64(0) << "0:00";
        QTest::newRow("a moment") << qint64(1) << "0:01";
        QTest::newRow("just below half a second") << qint64(499) << "0:01";
        QTest::newRow("below one and a half") << qint64(1499) << "0:01";
        QTest::newRow("one and a half") << qint64(1500) << "0:02";
        QTest::newRow("42 s") << qint64(41'600) << "0:42";
        QTest::newRow("below a minute") << qint64(59'499) << "0:59";
        QTest::newRow("a minute") << qint64(59'500) << "1:00";
        QTest::newRow("12 minutes") << qint64(725'000) << "12:05";
        QTest::newRow("below an hour") << qint64(3'599'499) << "59:59";
        QTest::newRow("an hour") << qint64(3'599'500) << "1:00:00";
        QTest::newRow("1:02:03") << qint64(3'723'000) << "1:02:03";
        QTest::newRow("a day") << qint64(86'400'000) << "24:00:00";
    }
    void clipLength()
    {
        QFETCH(qint64, ms);
        QTEST(thumbs::clipLengthText(ms), "text");
    }

    // The frame fitted into the box as a photo is, on the size it is seen at, resampled by the
    // program's own bilinear resampling and then turned; the clip's length comes along.
    void preparedAsAPhotoOfItsFrame_data()
    {
        QTest::addColumn<double>("rotation");
        QTest::addColumn<QRect>("fit");
        QTest::addColumn<QString>("shown");
        QTest::newRow("landscape") << 0.0 << QRect(0, 22, 100, 56) << "RG/BW";
        QTest::newRow("phone held upright") << 90.0 << QRect(22, 0, 56, 100) << "BR/WG";
    }
    void preparedAsAPhotoOfItsFrame()
    {
        QFETCH(double, rotation);
        QFETCH(QRect, fit);
        QFETCH(QString, shown);
        const QString path = make(QStringLiteral("clip.mov"), wide().in("mov").turned(rotation));
        static thumbs::Preparer preparer; // file after file, as a worker goes
        const Prepared p = preparer.prepare(platform::encodeName(path), 100, 100);
        QCOMPARE(p.kind, Prepared::Kind::Jpeg);
        QVERIFY(p.clip);
        QCOMPARE(p.clipMs, std::optional<std::int64_t>(2000));
        QCOMPARE(fitOf(p), fit);
        QCOMPARE(quartersOf(pictureOf(*p.dib)), shown);

        cDIBSection frame;
        imaging::ClipMetadata metadata;
        QVERIFY(imaging::VideoDecoder().decode(frame, platform::encodeName(path), &metadata).decoded());
        const QSize stored = imaging::displayedSize(fit.size(), metadata.orientation);
        const std::unique_ptr<cDIBSection> resampled = frame.Resample(stored.height(), stored.width());
        COMPARE_IMAGES(pictureOf(*p.dib), pictureOf(*imaging::oriented(*resampled, metadata.orientation)));

        // A photo after it through the same preparer is as if alone.
        const QString photo = save(m_dir, QStringLiteral("photo.jpg"), pattern(120, 90), "JPG");
        COMPARE_IMAGES(drawn(preparer.prepare(platform::encodeName(photo), 100, 100)),
                       drawn(prepareFile(photo)));
    }

    // The play mark and the length sit in the picture's top left corner, clear of its edges and of
    // the centre and the caption; a small picture has room for the play mark only, a tiny one for
    // none. Everything else is drawn as for a photo.
    void markInACorner_data()
    {
        QTest::addColumn<int>("box");
        QTest::addColumn<qreal>("ratio");
        QTest::addColumn<int>("mark"); // 0 none, 1 play mark, 2 with length
        QTest::newRow("100") << 100 << 1.0 << 2;
        QTest::newRow("100 on a dense screen") << 200 << 2.0 << 2;
        QTest::newRow("30") << 30 << 1.0 << 1;
        QTest::newRow("20") << 20 << 1.0 << 0;
    }
    void markInACorner()
    {
        QFETCH(int, box);
        QFETCH(qreal, ratio);
        QFETCH(int, mark);
        const Prepared clip = prepareFile(make(QStringLiteral("mark.mp4"), wide()), box, box);
        QVERIFY(clip.clip && clip.kind == Prepared::Kind::Jpeg);
        Prepared still = clip;
        still.clip = false;
        thumbs::CaptionStyle style;
        style.font = thumbs::boxFont(15);
        style.transparent = true;
        const auto draw = [&](const Prepared& p) {
            QImage image = freshBox(box, box);
            image.setDevicePixelRatio(ratio);
            thumbs::draw(image, p, QStringLiteral("mark.mp4"), style);
            return image;
        };
        const QImage withMark = draw(clip);
        const QImage without = draw(still);
        const QRectF picture(QPointF(fitOf(clip).topLeft()) / ratio, QSizeF(fitOf(clip).size()) / ratio);
        const thumbs::ClipMark where = thumbs::clipMarkRect(picture, QStringLiteral("0:02"), style.font);
        QCOMPARE(where.rect.isEmpty() ? 0 : where.withLength ? 2 : 1, mark);
        const QRect changed = differences(withMark, without);
        if (mark == 0) {
            QCOMPARE(changed, QRect());
            return;
        }
        const QRect inPixels =
            QRectF(where.rect.topLeft() * ratio, where.rect.size() * ratio).toAlignedRect();
        QVERIFY2(inPixels.contains(changed) && !changed.isEmpty(),
                 qPrintable(QStringLiteral("changed %1,%2 %3x%4")
                                .arg(changed.x())
                                .arg(changed.y())
                                .arg(changed.width())
                                .arg(changed.height())));
        QVERIFY(fitOf(clip).contains(inPixels));
        QVERIFY(inPixels.left() > fitOf(clip).left() && inPixels.top() > fitOf(clip).top());
        QVERIFY(!inPixels.contains(QPoint(box / 2, box / 2)));
        // The play mark's middle is white on the dark ground.
        const QPointF middle =
            (where.rect.topLeft() + QPointF(where.rect.height() * 0.45, where.rect.height() / 2)) * ratio;
        QCOMPARE(QColor(withMark.pixel(middle.toPoint())), QColor(Qt::white));
        QVERIFY(qGray(withMark.pixel(inPixels.topLeft() + QPoint(1, inPixels.height() - 2))) < 100);
    }

    // A damaged clip is a red cross like a damaged photo; one given up for its time (or because
    // the series moved on) too, but is not kept, so that it is tried again. Whether a file is a clip
    // depends on its content, not on its name.
    void unreadableOrNot_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("kind");
        QTest::addColumn<bool>("clip");
        QTest::addColumn<bool>("transient");
        const int jpeg = int(Prepared::Kind::Jpeg);
        const int unreadable = int(Prepared::Kind::Unreadable);
        QTest::newRow("clip") << "clip.mp4" << jpeg << true << false;
        QTest::newRow("clip named .jpg") << "clip.jpg" << jpeg << true << false;
        QTest::newRow("cut short") << "cut.mp4" << unreadable << true << false;
        QTest::newRow("given up") << "given-up.mp4" << unreadable << true << true;
        QTest::newRow("a text named .mp4") << "text.mp4" << unreadable << false << false;
        QTest::newRow("a photo named .mp4") << "photo.mp4" << jpeg << false << false;
    }
    void unreadableOrNot()
    {
        QFETCH(QString, file);
        QFETCH(int, kind);
        QFETCH(bool, clip);
        QFETCH(bool, transient);
        const QString whole = make(QStringLiteral("whole.mp4"), wide().length(40));
        QFile source(whole);
        QVERIFY(source.open(QIODevice::ReadOnly));
        const QByteArray bytes = source.readAll();
        const QString path = m_dir.filePath(file);
        if (file == "cut.mp4")
            writeFile(path, bytes.left(bytes.size() / 2));
        else if (file == "text.mp4")
            writeFile(path, "no clip\n");
        else if (file == "photo.mp4")
            writeFile(path, encodeJpeg(testPicture(40, 30)));
        else
            writeFile(path, bytes);
        thumbs::Preparer preparer;
        if (file == "given-up.mp4")
            preparer.setCancelCheck([] { return true; });
        const Prepared p = preparer.prepare(platform::encodeName(path), 100, 100);
        QCOMPARE(int(p.kind), kind);
        QCOMPARE(p.clip, clip);
        QCOMPARE(p.transient, transient);
        QVERIFY(!preparer.preview(platform::encodeName(path), 100, 100).dib);
    }

    // Through the loader's workers, mixed with photos, and again from the cache: the same pictures,
    // lengths and times.
    void loaderAndCache()
    {
        QTemporaryDir home;
        const QString cacheFile = home.filePath(QStringLiteral("thumbnails.sqlite"));
        const QStringList files = {
            save(m_dir, QStringLiteral("a.jpg"), pattern(120, 90), "JPG"),
            make(QStringLiteral("b.mp4"), wide().tag("creation_time", "2024-07-12T08:15:00Z")),
            make(QStringLiteral("c.mov"), wide().in("mov").turned(90).length(35)),
            make(QStringLiteral("d.mkv"), wide().in("matroska").with("mpeg4")),
        };
        QFile whole(files[1]);
        QVERIFY(whole.open(QIODevice::ReadOnly));
        writeFile(m_dir.filePath(QStringLiteral("e.mp4")), whole.read(whole.size() / 2));
        QList<ThumbnailLoader::Job> jobs;
        for (const QString& path : files)
            jobs.append({int(jobs.size()), platform::encodeName(path)});
        jobs.append({4, platform::encodeName(m_dir.filePath(QStringLiteral("e.mp4")))});

        QList<QImage> first;
        for (int round = 0; round < 2; ++round) {
            ThumbnailLoader loader(2, std::make_shared<thumbs::ThumbnailCache>(cacheFile, 1 << 24));
            loader.start(jobs, 100, 100);
            QList<QImage> images(jobs.size());
            QList<Prepared> results(jobs.size());
            for (qsizetype n = 0; n < jobs.size(); ++n) {
                std::optional<ThumbnailLoader::Result> r;
                QVERIFY(QTest::qWaitFor([&] { return (r = loader.takeReady()).has_value(); }, 20000));
                results[r->index] = r->prepared;
                images[r->index] = drawn(r->prepared);
            }
            QTRY_VERIFY(loader.idle());
            QCOMPARE(loader.cacheHitCount(), round == 0 ? 0 : 5);
            QCOMPARE(results[0].clip, false);
            for (int i = 1; i <= 3; ++i) {
                QVERIFY(results[i].clip);
                QCOMPARE(results[i].kind, Prepared::Kind::Jpeg);
            }
            QCOMPARE(results[2].clipMs, std::optional<std::int64_t>(3400));
            QCOMPARE(fitOf(results[2]), QRect(22, 0, 56, 100));
            QCOMPARE(timeText(results[1].taken), QStringLiteral("2024-07-12 10:15:00"));
            QVERIFY(!results[1].takenIsFileTime && results[2].takenIsFileTime);
            QCOMPARE(results[4].kind, Prepared::Kind::Unreadable);
            if (round == 0)
                first = images;
            for (int i = 0; i < 4; ++i)
                COMPARE_IMAGES(images[i], first[i]);
        }
    }

    // The time reader reads clips from their containers, as "Nach Aufnahmezeit" needs them; a clip
    // without a time is taken at its file's last change.
    void timesTaken()
    {
        const QString iphone = make(QStringLiteral("IMG_4712.MOV"),
                                    ClipSample()
                                        .in("mov")
                                        .tag("com.apple.quicktime.creationdate", "2024-07-12T10:16:22+0200")
                                        .tag("creation_time", "2024-07-12T08:16:22Z")
                                        .tag("com.apple.quicktime.make", "Apple")
                                        .tag("com.apple.quicktime.model", "iPhone 13 mini"));
        const QString android =
            make(QStringLiteral("20240712_101622.mp4"), ClipSample()
                                                            .tag("creation_time", "2024-07-12T08:16:22Z")
                                                            .tag("com.android.manufacturer", "Google")
                                                            .tag("com.android.model", "Pixel 7"));
        const QString untagged = make(QStringLiteral("untagged.mp4"), ClipSample());
        setModified(untagged, QDateTime(QDate(2024, 7, 13), QTime(9, 0), QTimeZone::utc()));

        TimeTakenReader reader(2);
        QList<TimeTakenReader::Result> results;
        connect(&reader, &TimeTakenReader::finished, this,
                [&](const QList<TimeTakenReader::Result>& r) { results = r; });
        reader.start({{1, platform::encodeName(iphone)},
                      {2, platform::encodeName(android)},
                      {3, platform::encodeName(untagged)}});
        QTRY_VERIFY_WITH_TIMEOUT(!reader.busy(), 20000);
        QCOMPARE(results.size(), 3);
        QCOMPARE(timeText(results[0].taken), QStringLiteral("2024-07-12 10:16:22"));
        QCOMPARE(timeText(results[1].taken), QStringLiteral("2024-07-12 10:16:22"));
        QCOMPARE(timeText(results[2].taken), QStringLiteral("2024-07-13 11:00:00"));
        // The device comes with the time, as a photo's camera does, for the clocks to be aligned.
        QCOMPARE(results[0].camera.make, QStringLiteral("Apple"));
        QCOMPARE(results[0].camera.model, QStringLiteral("iPhone 13 mini"));
        QCOMPARE(results[0].camera.zoneOffset, std::optional<std::int32_t>(7200));
        QCOMPARE(results[1].camera.make + QLatin1Char('/') + results[1].camera.model, QStringLiteral("Google/Pixel 7"));
        QCOMPARE(results[2].camera, imaging::CameraData());

        const imaging::PhotoMetadata g = imaging::readFileMetadata(platform::encodeName(android));
        QVERIFY(g.modified && !imaging::readFileMetadata(platform::encodeName(untagged)).original);
    }
};

QTEST_MAIN(TestClips)
#include "tst_clips.moc"
