// The thumbnail view on a folder of camera-size JPEG files: the real main window, offscreen. The
// baseline, measured in the same run, is TurboJPEG decoding the same files at full size one after
// another on one thread, which is the least a sequential thumbnailer must do; its time per file is
// the "decode time" below.
//
// 1. The whole folder, without the thumbnail cache: from the folder change to the last thumbnail
//    drawn; the ratio below 1 is what the worker threads win.
// 2. End pressed right after the folder is laid out, without the cache: the time from the key
//    to the last thumbnail in view drawn, in decode times.
// 3. The cache, on the first `--cached` files: a fill with the cache off, the first fill with an
//    empty cache (the fastest of three each), and a second fill from the cache.
// 4. Reading the files' metadata (orientation, time taken), on the same files without the cache:
//    fills with and without it, in turns (the fastest of three each), and the times taken read
//    from the files alone, as ordering by time does for pictures whose thumbnails are not in.
//
// The generated files carry EXIF data as a camera writes it; every fourth is a portrait, stored
// lying with orientation 6.
// The cache and the settings live in a temporary folder; the user's are never touched.
//
//   bench_thumbnails                 makes 300 camera-like 4000 x 3000 JPEGs in a temporary folder
//   bench_thumbnails --make N        makes N of them
//   bench_thumbnails --folder DIR    uses the .jpg files of DIR instead
//   bench_thumbnails --make N --into DIR   makes them in DIR and keeps them
//   bench_thumbnails --cached N      parts 3 and 4 on N files (200)

#include "main_window/ThumbCanvas.h"
#include "main_window/frmmain.h"
#include "settings/Settings.h"
#include "thumbnails/ThumbnailLoader.h"
#include "thumbnails/Thumbnails.h"
#include "thumbnails/TimeTakenReader.h"

#include "BoxesInView.h"
#include "CameraFolder.h"
#include "PrivateHomes.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QKeyEvent>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <turbojpeg.h>

#include <cstdio>
#include <algorithm>
#include <cstring>
#include <vector>

#include <sys/resource.h>

namespace {

// The largest picture of the folder, in bytes of its full-size 24-bit buffer.
double largestFullSizeMiB(const QStringList& files)
{
    tjhandle handle = tjInitDecompress();
    double largest = 0;
    for (const QString& path : files) {
        QFile f(path);
        f.open(QIODevice::ReadOnly);
        const QByteArray data = f.readAll();
        int w = 0, h = 0, sub = 0, space = 0;
        if (tjDecompressHeader3(handle, reinterpret_cast<const unsigned char*>(data.constData()),
                                static_cast<unsigned long>(data.size()), &w, &h, &sub, &space) == 0)
            largest = std::max(largest, double(w) * h * 3 / (1 << 20));
    }
    tjDestroy(handle);
    return largest;
}

// A TurboJPEG instance of its own for every file, as the program's decoder does: an instance that
// once failed on a damaged file fails on every later one.
double baselineMs(const QStringList& files)
{
    std::vector<unsigned char> pixels;
    QElapsedTimer t;
    t.start();
    for (const QString& path : files) {
        QFile f(path);
        f.open(QIODevice::ReadOnly);
        const QByteArray data = f.readAll();
        tjhandle handle = tjInitDecompress();
        int w = 0, h = 0, sub = 0, space = 0;
        const auto* bytes = reinterpret_cast<const unsigned char*>(data.constData());
        if (tjDecompressHeader3(handle, bytes, static_cast<unsigned long>(data.size()), &w, &h, &sub, &space) == 0) {
            const int pitch = (w * 3 + 3) & ~3;
            pixels.resize(size_t(pitch) * h);
            tjDecompress2(handle, bytes, static_cast<unsigned long>(data.size()), pixels.data(), w, pitch, h,
                          TJPF_BGR, TJFLAG_BOTTOMUP);
        }
        tjDestroy(handle);
    }
    return t.nsecsElapsed() / 1e6;
}

double peakMiB()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0;
}

// Processor time of the whole process, all threads, in ms: on a machine shared with other work
// it varies far less than the time on the clock.
double cpuMs()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

struct Fill
{
    double layoutMs = -1;
    double firstMs = -1;
    double lastMs = -1;
    double cpuMs = 0;
    int hits = 0;
};

// The window on the folder, from the folder change to the last thumbnail.
Fill fill(const QString& folder, const char* cacheMiB)
{
    frmmain w;
    setCacheLimit(w, cacheMiB);
    w.show();
    QCoreApplication::processEvents();
    Fill f;
    QElapsedTimer t;
    QObject::connect(&w, &frmmain::viewArranged, &w, [&] { f.layoutMs = t.nsecsElapsed() / 1e6; });
    QObject::connect(&w, &frmmain::thumbnailLoaded, &w, [&] {
        if (f.firstMs < 0)
            f.firstMs = t.nsecsElapsed() / 1e6;
    });
    QObject::connect(&w, &frmmain::viewBuilt, &w, [&] { f.lastMs = t.nsecsElapsed() / 1e6; });
    const double cpuBefore = cpuMs();
    t.start();
    w.openFolder(folder);
    while (f.lastMs < 0)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    f.cpuMs = cpuMs() - cpuBefore;
    f.hits = w.thumbnailLoader().cacheHitCount();
    while (!w.thumbnailLoader().idle())
        QThread::msleep(5);
    return f;
}

struct EndPress
{
    double ms = -1;  // from the key to the last thumbnail in view
    int inView = 0;
};

// End pressed as soon as the folder is laid out and its pictures are under way.
EndPress endRightAfterOpening(const QString& folder)
{
    frmmain w;
    setCacheLimit(w, "0");
    w.show();
    QCoreApplication::processEvents();
    EndPress result;
    QElapsedTimer t;
    QList<int> inView;
    bool built = false;
    const auto allDrawn = [&] {
        return std::all_of(inView.begin(), inView.end(), [&](int i) { return w.picScroll->element(i).Loaded; });
    };
    QObject::connect(&w, &frmmain::viewArranged, &w, [&] {
        QTimer::singleShot(0, &w, [&] {
            QKeyEvent end(QEvent::KeyPress, Qt::Key_End, Qt::NoModifier);
            t.start();
            QCoreApplication::sendEvent(w.pctPreview, &end);
            inView = boxesInView(w);
            result.inView = static_cast<int>(inView.size());
        });
    });
    QObject::connect(&w, &frmmain::thumbnailLoaded, &w, [&] {
        if (result.ms < 0 && !inView.isEmpty() && allDrawn())
            result.ms = t.nsecsElapsed() / 1e6;
    });
    QObject::connect(&w, &frmmain::viewBuilt, &w, [&] { built = true; });
    w.openFolder(folder);
    while (!built)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return result;
}

} // namespace

int main(int argc, char* argv[])
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir home;
    usePrivateHomes(home.path());
    QString folder;
    QString into;
    int make = 300;
    int cached = 200;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--folder") == 0)
            folder = QString::fromLocal8Bit(argv[i + 1]);
        else if (std::strcmp(argv[i], "--make") == 0)
            make = std::atoi(argv[i + 1]);
        else if (std::strcmp(argv[i], "--into") == 0)
            into = QString::fromLocal8Bit(argv[i + 1]);
        else if (std::strcmp(argv[i], "--cached") == 0)
            cached = std::atoi(argv[i + 1]);
    }

    QApplication app(argc, argv);
    QTemporaryDir temporary;
    qint64 totalBytes = 0;
    const QStringList files = cameraFolder(folder, into.isEmpty() ? temporary.path() : into, make, &totalBytes);
    if (files.isEmpty()) {
        std::fprintf(stderr, "no JPEG files in %s\n", qPrintable(folder));
        return 1;
    }
    const double baseline = baselineMs(files);
    const double decodeMs = baseline / files.size();
    const int workers = qBound(1, QThread::idealThreadCount(), 4);

    const Fill whole = fill(folder, "0");
    const double peak = peakMiB();
    const int thumbs = static_cast<int>(files.size());
    const double thumbPixelsMiB = double(thumbs) * 100 * 100 * 4 / (1 << 20);
    const double fullMiB = largestFullSizeMiB(files);
    std::printf("Thumbnail view of %d JPEG files (%.1f MB), %d worker threads, offscreen\n", thumbs,
                totalBytes / 1e6, workers);
    std::printf("  baseline: sequential decode   %8.1f ms, %.1f ms per file (the decode time)\n", baseline, decodeMs);
    std::printf("1. whole folder, no cache\n");
    std::printf("  layout (empty frames) after   %8.1f ms\n", whole.layoutMs);
    std::printf("  first thumbnail after layout  %8.1f ms\n", whole.firstMs - whole.layoutMs);
    std::printf("  last thumbnail after change   %8.1f ms\n", whole.lastMs);
    std::printf("  thumbnails per second         %8.1f\n", thumbs / ((whole.lastMs - whole.layoutMs) / 1000));
    std::printf("  peak memory                   %8.1f MiB (budget %.0f MiB: 100 + thumbnails %.1f + 3 full-size x %d)\n",
                peak, 100 + thumbPixelsMiB + 3 * fullMiB * workers, thumbPixelsMiB, workers);
    std::printf("  ratio all thumbnails / baseline %6.2f\n", (whole.lastMs - whole.layoutMs) / baseline);

    const EndPress end = endRightAfterOpening(folder);
    std::printf("2. End right after opening, no cache\n");
    // Each worker prepares one picture at a time: the pictures in view take at least as many
    // decode times as each worker has of them.
    std::printf("  %d thumbnails in view drawn   %8.1f ms after the key = %.2f decode times (target 4; %d workers: at least %d)\n",
                end.inView, end.ms, end.ms / decodeMs, workers, (end.inView + workers - 1) / workers);

    // The cache part on a folder of its own, of links to the first files.
    const QString part = home.filePath(QStringLiteral("cached"));
    QDir().mkpath(part);
    const int n = std::min<int>(cached, static_cast<int>(files.size()));
    for (int i = 0; i < n; ++i)
        QFile::link(files[i], part + QStringLiteral("/%1.jpg").arg(i, 5, 10, QLatin1Char('0')));
    const QString cacheFile = home.filePath(QStringLiteral("cache/Tessaline/thumbnails.sqlite"));
    double off = 1e300, first = 1e300, offCpu = 1e300, firstCpu = 1e300;
    for (int round = 0; round < 3; ++round) {
        const Fill without = fill(part, "0");
        off = std::min(off, without.lastMs);
        offCpu = std::min(offCpu, without.cpuMs);
        for (const char* suffix : {"", "-wal", "-shm"})
            QFile::remove(cacheFile + QString::fromLatin1(suffix));
        const Fill with = fill(part, "512");
        first = std::min(first, with.lastMs);
        firstCpu = std::min(firstCpu, with.cpuMs);
    }
    const Fill second = fill(part, "512");
    std::printf("3. thumbnail cache, %d files (the fastest of 3 fills each)\n", n);
    std::printf("  fill without the cache        %8.1f ms, processor %8.1f ms\n", off, offCpu);
    std::printf("  first fill, empty cache       %8.1f ms, processor %8.1f ms = %.3f and %.3f of without (target 1.03)\n",
                first, firstCpu, first / off, firstCpu / offCpu);
    std::printf("  second fill, %3d from cache   %8.1f ms = %.3f of the first (target 0.05)\n", second.hits,
                second.lastMs, second.lastMs / first);
    std::printf("  cache file                    %8.1f MB\n", QFileInfo(cacheFile).size() / 1e6);

    double plain = 1e300, read = 1e300, plainCpu = 1e300, readCpu = 1e300;
    for (int round = 0; round < 3; ++round) {
        thumbs::setMetadataReading(false);
        const Fill without = fill(part, "0");
        thumbs::setMetadataReading(true);
        const Fill with = fill(part, "0");
        plain = std::min(plain, without.lastMs);
        plainCpu = std::min(plainCpu, without.cpuMs);
        read = std::min(read, with.lastMs);
        readCpu = std::min(readCpu, with.cpuMs);
    }
    QList<TimeTakenReader::Job> jobs;
    for (int i = 0; i < n; ++i)
        jobs.append({i + 1, QFile::encodeName(part + QStringLiteral("/%1.jpg").arg(i, 5, 10, QLatin1Char('0')))});
    TimeTakenReader reader;
    bool done = false;
    QObject::connect(&reader, &TimeTakenReader::finished, &reader, [&] { done = true; });
    QElapsedTimer t;
    t.start();
    reader.start(jobs);
    while (!done)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const double alone = t.nsecsElapsed() / 1e6;
    std::printf("4. reading metadata, %d files, no cache (the fastest of 3 fills each)\n", n);
    std::printf("  fill without metadata         %8.1f ms, processor %8.1f ms\n", plain, plainCpu);
    std::printf("  fill with metadata            %8.1f ms, processor %8.1f ms = %.3f and %.3f of without (target 1.03)\n",
                read, readCpu, read / plain, readCpu / plainCpu);
    std::printf("  times taken from the files    %8.1f ms = %.3f of the fill with metadata\n", alone, alone / read);
    return 0;
}
