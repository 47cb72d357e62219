// Memory of the thumbnail view on large folders: the real main window, offscreen at 1280 x 1000,
// on
//   - 100,000 empty .jpg files (every box a red cross), at 100 x 100 and at 500 x 500,
//   - 10,000 photos of 640 x 480 (each file its own, so the thumbnail cache holds 10,000 entries)
//     at 100 x 100, and 1,000 of them at 500 x 500, where the box images' budget is what holds,
//   - 20 photos of 6000 x 4000, whose decoding needs the most memory of all; once they are all
//     in, that memory goes back;
//   - 300 clips of 4K HEVC (2 s each, made with the ffmpeg program; left out where it is missing),
//     each a frame of 3840 x 2160 to decode, at 100 x 100.
// Each case runs in a process of its own, with settings and thumbnail cache in a fresh folder of
// the run's own: the folder is listed, laid out and filled, then the view goes to the end, back
// to the start and is dragged by its scroll box through the whole folder, and finally goes to an
// empty folder. The baseline, measured in the same process before, is a bare listing of the
// folder (readdir and stat of every entry) in the shown window: its time and the peak resident
// size so far. While the folder's pictures are listed and laid out, the longest time the window's
// thread spends without turning to its events (a timer of 0 ms that checks in at every turn): how
// long the window can stand still for the user.
//
//   bench_memory [--files N] [--photos N] [--large-photos N] [--huge-photos N] [--clips N] [--into DIR]
//
// The folders are made under /dev/shm when there is room (else in the temporary folder), and
// removed afterwards; --into keeps them in DIR and reuses them on the next run.

#include "main_window/ThumbCanvas.h"
#include "main_window/frmmain.h"
#include "thumbnails/ThumbnailLoader.h"

#include "BareListing.h"
#include "PrivateHomes.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QScrollBar>
#include <QStandardPaths>
#include <QStorageInfo>
#include <QTemporaryDir>
#include <QTimer>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>

#include <malloc.h>

namespace {

// A field of /proc/self/status (given in KiB), in MiB.
double statusMiB(const char* field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(qstrlen(field)).trimmed().split(' ').value(0).toDouble() / 1024;
    return -1;
}

// Bytes the heap has handed out and not been given back: what the process holds on to, whatever
// the allocator keeps for later.
double heapInUse()
{
    return double(::mallinfo2().uordblks);
}

// Without spinning: processEvents with a time limit does not wait for events, and a spinning
// window thread would take a processor from the loader's workers.
void waitFor(const std::function<bool()>& done)
{
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    check.start(10);
    if (!done())
        loop.exec();
}

// What one case measures in its own process, in the order printed.
struct Figures
{
    double listMs, bareMs, baselinePeak, peak, rssBefore, rssHeld, rssAfter, imageMiB, slowestMs, fillMs, heapBefore,
        heapHeld, stallMs;
    int maxImages;
};

Figures measure(const QString& folder, const QString& empty)
{
    frmmain w;
    w.resize(1280, 1000);
    w.show();
    QCoreApplication::processEvents();

    Figures f{};
    f.bareMs = bareListingMs(QFile::encodeName(folder));
    f.baselinePeak = statusMiB("VmHWM:");
    f.rssBefore = statusMiB("VmRSS:");
    f.heapBefore = heapInUse();

    QElapsedTimer t;
    f.listMs = -1;
    double builtMs = -1;
    QObject::connect(&w, &frmmain::viewArranged, &w, [&] {
        if (f.listMs < 0)
            f.listMs = double(t.nsecsElapsed()) / 1e6;
    });
    QObject::connect(&w, &frmmain::viewBuilt, &w, [&] { builtMs = double(t.nsecsElapsed()) / 1e6; });
    // The turn after the layout ends the measurement: the layout is part of it.
    QTimer turns;
    turns.setTimerType(Qt::PreciseTimer);
    turns.setInterval(0);
    QElapsedTimer sinceTurn;
    QObject::connect(&turns, &QTimer::timeout, &w, [&] {
        f.stallMs = std::max(f.stallMs, double(sinceTurn.nsecsElapsed()) / 1e6);
        sinceTurn.restart();
        if (f.listMs >= 0)
            turns.stop();
    });
    t.start();
    w.openFolder(folder);
    // From the folder list's own reading of the folder on, which is no listing of pictures.
    turns.start();
    sinceTurn.start();
    waitFor([&] { return builtMs >= 0; });
    f.fillMs = builtMs;

    // End, Home, then the scroll box dragged through the whole folder in 400 steps, each shown
    // before the next; the slowest step says how responsive the window stays.
    const QSize box = w.picScroll->boxPixelRatio() * QSize(w.thumbwidth, w.thumbheight);
    const auto count = [&] {
        f.maxImages = std::max(f.maxImages, w.picScroll->boxImageCount());
        f.imageMiB = double(f.maxImages) * box.width() * box.height() * 4 / (1 << 20);
    };
    const auto step = [&](const std::function<void()>& move) {
        QElapsedTimer s;
        s.start();
        move();
        QCoreApplication::processEvents();
        f.slowestMs = std::max(f.slowestMs, double(s.nsecsElapsed()) / 1e6);
        count();
    };
    count();
    step([&] { w.ScrollMe->setValue(w.ScrollMe->maximum()); });
    step([&] { w.ScrollMe->setValue(0); });
    w.ScrollMe->setSliderDown(true);
    constexpr int kSteps = 400;
    for (int i = 1; i <= kSteps; ++i)
        step([&] { w.ScrollMe->setSliderPosition(int(std::lround(double(w.ScrollMe->maximum()) * i / kSteps))); });
    w.ScrollMe->setSliderDown(false);
    waitFor([&] { return w.thumbnailLoader().idle(); });
    QCoreApplication::processEvents();
    count();
    f.peak = statusMiB("VmHWM:");
    f.rssHeld = statusMiB("VmRSS:");
    f.heapHeld = heapInUse();

    builtMs = -1;
    w.openFolder(empty);
    waitFor([&] { return builtMs >= 0; });
    QCoreApplication::processEvents();
    f.rssAfter = statusMiB("VmRSS:");
    return f;
}

bool writeFiles(const QString& folder, int count, const QByteArray& content, bool vary)
{
    QDir().mkpath(folder);
    for (int i = 0; i < count; ++i) {
        QFile f(folder + QStringLiteral("/IMG_%1.jpg").arg(i, 6, 10, QLatin1Char('0')));
        if (f.exists())
            continue;
        if (!f.open(QIODevice::WriteOnly))
            return false;
        if (vary) {
            // A comment right after the start marker: every file its own bytes.
            const QByteArray number = QByteArray::number(i);
            QByteArray comment("\xFF\xFE", 2);
            comment.append(char(0)).append(char(number.size() + 2)).append(number);
            f.write(content.left(2) + comment + content.mid(2));
        } else {
            f.write(content);
        }
        if (!f.flush())
            return false;
    }
    return true;
}

QByteArray photo(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, qRgb(int(128 + 100 * std::sin(x / 40.0 + y / 90.0)) ^ (x & 7),
                                      int(128 + 90 * std::cos(y / 35.0)) ^ (y & 7), (x * y / 300) & 255));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPG", 90);
    return bytes;
}

// `count` copies of one 4K HEVC clip, each a file of its own; false when the ffmpeg program is
// missing or fails.
bool writeClips(const QString& folder, int count)
{
    const QString ffmpeg = QStandardPaths::findExecutable(QStringLiteral("ffmpeg"));
    if (ffmpeg.isEmpty() || !QDir().mkpath(folder))
        return false;
    const QString source = folder + QStringLiteral("/../clip-source.mov");
    if (!QFileInfo::exists(source)) {
        QProcess encoder;
        encoder.setProcessChannelMode(QProcess::ForwardedChannels);
        encoder.start(ffmpeg, {QStringLiteral("-hide_banner"),
                               QStringLiteral("-loglevel"),
                               QStringLiteral("error"),
                               QStringLiteral("-y"),
                               QStringLiteral("-f"),
                               QStringLiteral("lavfi"),
                               QStringLiteral("-i"),
                               QStringLiteral("testsrc2=size=3840x2160:rate=30,noise=alls=12:allf=t"),
                               QStringLiteral("-t"),
                               QStringLiteral("2"),
                               QStringLiteral("-pix_fmt"),
                               QStringLiteral("yuv420p"),
                               QStringLiteral("-c:v"),
                               QStringLiteral("libx265"),
                               QStringLiteral("-preset"),
                               QStringLiteral("ultrafast"),
                               QStringLiteral("-b:v"),
                               QStringLiteral("8M"),
                               QStringLiteral("-x265-params"),
                               QStringLiteral("log-level=error:keyint=30"),
                               QStringLiteral("-tag:v"),
                               QStringLiteral("hvc1"),
                               source + QStringLiteral(".part.mov")});
        if (!encoder.waitForFinished(-1) || encoder.exitCode() != 0 ||
            !QFile::rename(source + QStringLiteral(".part.mov"), source))
            return false;
    }
    for (int i = 0; i < count; ++i) {
        const QString clip = folder + QStringLiteral("/IMG_%1.MOV").arg(i, 6, 10, QLatin1Char('0'));
        if (!QFileInfo::exists(clip) && !QFile::copy(source, clip))
            return false;
    }
    return true;
}

struct Case
{
    const char* title;
    QString folder;
    int files;
    int size;
    double target; // MiB of peak resident size; 0 when the issue sets none
    const char* extensions = "jpg";
};

} // namespace

int main(int argc, char* argv[])
{
    if (argc == 4 && std::strcmp(argv[1], "--measure") == 0) {
        QApplication app(argc, argv);
        const Figures f = measure(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
        std::printf("%.1f %.1f %.1f %.1f %.1f %.1f %.1f %.1f %.1f %.1f %d %.0f %.0f %.1f\n", f.listMs, f.bareMs,
                    f.baselinePeak, f.peak, f.rssBefore, f.rssHeld, f.rssAfter, f.imageMiB, f.slowestMs, f.fillMs,
                    f.maxImages, f.heapBefore, f.heapHeld, f.stallMs);
        return 0;
    }

    int files = 100000;
    int photos = 10000;
    int largePhotos = 1000;
    int hugePhotos = 20;
    int clips = 300;
    QString into;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--files") == 0)
            files = std::atoi(argv[i + 1]);
        else if (std::strcmp(argv[i], "--photos") == 0)
            photos = std::atoi(argv[i + 1]);
        else if (std::strcmp(argv[i], "--large-photos") == 0)
            largePhotos = std::atoi(argv[i + 1]);
        else if (std::strcmp(argv[i], "--huge-photos") == 0)
            hugePhotos = std::atoi(argv[i + 1]);
        else if (std::strcmp(argv[i], "--clips") == 0)
            clips = std::atoi(argv[i + 1]);
        else if (std::strcmp(argv[i], "--into") == 0)
            into = QString::fromLocal8Bit(argv[i + 1]);
    }
    // The photos and the caches of the large case take about a gigabyte.
    const QString shm = QStringLiteral("/dev/shm");
    const bool inMemory = QStorageInfo(shm).isValid() && QStorageInfo(shm).bytesAvailable() > (qint64(4) << 30);
    QTemporaryDir temporary(inMemory ? shm + QStringLiteral("/bench_memory-XXXXXX") : QString());
    const QString root = into.isEmpty() ? temporary.path() : into;
    const QString emptyFiles = root + QStringLiteral("/empty-%1").arg(files);
    const QString photoFiles = root + QStringLiteral("/photos-%1").arg(photos);
    const QString largeFiles = root + QStringLiteral("/photos-large-%1").arg(largePhotos);
    const QString hugeFiles = root + QStringLiteral("/photos-huge-%1").arg(hugePhotos);
    const QString clipFiles = root + QStringLiteral("/clips-%1").arg(clips);
    const QString empty = root + QStringLiteral("/nothing");
    std::printf("making %d empty files, %d + %d photos of 640 x 480 and %d of 6000 x 4000 in %s ...\n", files,
                photos, largePhotos, hugePhotos, qPrintable(root));
    std::fflush(stdout);
    const QByteArray jpeg = photo(640, 480);
    if (!writeFiles(emptyFiles, files, QByteArray(), false) || !writeFiles(photoFiles, photos, jpeg, true) ||
        !writeFiles(largeFiles, largePhotos, jpeg, true) ||
        !writeFiles(hugeFiles, hugePhotos, hugePhotos > 0 ? photo(6000, 4000) : QByteArray(), true) ||
        !QDir().mkpath(empty)) {
        std::fprintf(stderr, "cannot write the folders in %s\n", qPrintable(root));
        return 1;
    }
    if (clips > 0 && !writeClips(clipFiles, clips)) {
        std::printf("no clips: the ffmpeg program is missing or cannot make them\n");
        clips = 0;
    }

    const QList<Case> cases = {
        {"empty files, 100 x 100", emptyFiles, files, 100, 300},
        {"empty files, 500 x 500", emptyFiles, files, 500, 400},
        {"photos 640 x 480, 100 x 100", photoFiles, photos, 100, 250},
        {"photos 640 x 480, 500 x 500", largeFiles, largePhotos, 500, 0},
        {"photos 6000 x 4000, 100 x 100", hugeFiles, hugePhotos, 100, 0},
        {"clips 4K HEVC, 100 x 100", clipFiles, clips, 100, 250, "mov"},
    };
    std::printf("MiB of resident size: base = peak after a bare listing in the same process, peak = peak of the "
                "whole case,\nheld = after scrolling, after = in an empty folder afterwards; B/file = heap in use after "
                "scrolling less before, a file.\nlist = folder change to layout, against the bare listing's time; images = most box "
                "images at once.\n");
    std::printf("%-28s %7s %7s %7s %5s %6s %6s %6s %6s %6s %6s %6s %7s %7s %6s\n", "case", "files", "list ms",
                "bare ms", "ratio", "base", "peak", "target", "before", "held", "B/file", "after", "images",
                "img MiB", "fill s");
    bool ok = true;
    for (const Case& c : cases) {
        if (c.files <= 0)
            continue;
        QTemporaryDir home(root + QStringLiteral("/home-XXXXXX"));
        QDir().mkpath(home.filePath(QStringLiteral("config/Tessaline")));
        QFile ini(home.filePath(QStringLiteral("config/Tessaline/Tessaline.ini")));
        if (!ini.open(QIODevice::WriteOnly))
            return 1;
        ini.write(QStringLiteral("[General%20Options]\nThumbnailWidth=%1\nThumbnailHeight=%1\nImageErw=%2\n")
                      .arg(c.size)
                      .arg(QLatin1String(c.extensions))
                      .toUtf8());
        ini.close();
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        if (!env.contains(QStringLiteral("QT_QPA_PLATFORM")))
            env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        usePrivateHomes(env, home.path());
        child.setProcessEnvironment(env);
        child.start(QString::fromLocal8Bit(argv[0]), {QStringLiteral("--measure"), c.folder, empty});
        child.waitForFinished(-1);
        const QList<QByteArray> f = child.readAllStandardOutput().trimmed().split(' ');
        if (child.exitCode() != 0 || f.size() != 14) {
            std::fprintf(stderr, "case \"%s\" failed\n", c.title);
            return 1;
        }
        const auto v = [&](int i) { return f[i].toDouble(); };
        const QByteArray target = c.target > 0 ? QByteArray::number(c.target) : QByteArray("-");
        std::printf("%-28s %7d %7.0f %7.0f %5.1f %6.1f %6.1f %6s %6.1f %6.1f %6.0f %6.1f %7d %7.1f %6.1f\n", c.title,
                    c.files, v(0), v(1), v(0) / v(1), v(2), v(3), target.constData(), v(4), v(5),
                    (v(12) - v(11)) / c.files, v(6), f[10].toInt(), v(7), v(9) / 1000);
        std::printf("%-28s slowest scrolling step %.1f ms, longest stall while listed %.1f ms\n", "", v(8), v(13));
        ok = ok && (c.target <= 0 || v(3) <= c.target) && (c.files < 100000 || v(0) <= 1500);
    }
    std::printf("targets: peak as above; listing and layout of 100,000 files at most 1500 ms; \"after\" close to "
                "\"before\".\nBudgets: box images %lld MiB, prepared pictures kept in memory %lld MiB.\n",
                static_cast<long long>(frmmain::kBoxImageBudget >> 20),
                static_cast<long long>(frmmain::kPreparedBudget >> 20));
    return ok ? 0 : 2;
}
