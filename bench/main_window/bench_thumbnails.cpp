// The thumbnail view on a folder of camera-size JPEG files: the real main window, offscreen,
// from the folder change to the last thumbnail drawn. The baseline, measured in the same run, is
// TurboJPEG decoding the same files at full size one after another on one thread, which is the
// least a sequential thumbnailer must do; the ratio below 1 is what the worker threads win.
//
//   bench_thumbnails                 makes 40 camera-like 4000 x 3000 JPEGs in a temporary folder
//   bench_thumbnails --make N        makes N of them
//   bench_thumbnails --folder DIR    uses the .jpg files of DIR instead
//   bench_thumbnails --make N --into DIR   makes them in DIR and keeps them

#include "main_window/ThumbCanvas.h"
#include "main_window/frmmain.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>

#include <turbojpeg.h>

#include <cstdio>
#include <algorithm>
#include <cstring>
#include <vector>

#include <sys/resource.h>

namespace {

// Smooth shapes with fine grain on top, which compresses about as well as a photo does.
QImage cameraLikeImage(int width, int height, quint32 seed)
{
    QImage image(width, height, QImage::Format_RGB888);
    QRandomGenerator random(seed);
    const double fx = 0.5 + random.bounded(2.0);
    const double fy = 0.5 + random.bounded(2.0);
    for (int y = 0; y < height; ++y) {
        uchar* line = image.scanLine(y);
        for (int x = 0; x < width; ++x) {
            const int grain = int(random.generate() & 31) - 16;
            const double u = double(x) / width;
            const double v = double(y) / height;
            line[3 * x] = uchar(qBound(0, int(128 + 100 * std::sin(6.28 * fx * u + v)) + grain, 255));
            line[3 * x + 1] = uchar(qBound(0, int(128 + 90 * std::cos(6.28 * fy * v - u)) + grain, 255));
            line[3 * x + 2] = uchar(qBound(0, int(60 + 150 * u * v) + grain, 255));
        }
    }
    return image;
}

QStringList makeFiles(const QString& folder, int count)
{
    QStringList files;
    std::printf("making %d camera-like 4000 x 3000 JPEG files ...\n", count);
    std::fflush(stdout);
    const QImage image = cameraLikeImage(4000, 3000, 1);
    for (int i = 0; i < count; ++i) {
        const QString path = folder + QStringLiteral("/IMG_%1.jpg").arg(i, 4, 10, QLatin1Char('0'));
        // Each file a little different, so that no two decode alike.
        QImage copy = image;
        copy.setPixel(i % 4000, 0, qRgb(i, i, i));
        copy.save(path, "JPG", 90);
        files.append(path);
    }
    return files;
}

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

double baselineMs(const QStringList& files)
{
    tjhandle handle = tjInitDecompress();
    std::vector<unsigned char> pixels;
    QElapsedTimer t;
    t.start();
    for (const QString& path : files) {
        QFile f(path);
        f.open(QIODevice::ReadOnly);
        const QByteArray data = f.readAll();
        int w = 0, h = 0, sub = 0, space = 0;
        const auto* bytes = reinterpret_cast<const unsigned char*>(data.constData());
        if (tjDecompressHeader3(handle, bytes, static_cast<unsigned long>(data.size()), &w, &h, &sub, &space) != 0)
            continue;
        const int pitch = (w * 3 + 3) & ~3;
        pixels.resize(size_t(pitch) * h);
        tjDecompress2(handle, bytes, static_cast<unsigned long>(data.size()), pixels.data(), w, pitch, h, TJPF_BGR,
                      TJFLAG_BOTTOMUP);
    }
    const double ms = t.nsecsElapsed() / 1e6;
    tjDestroy(handle);
    return ms;
}

double peakMiB()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0;
}

} // namespace

int main(int argc, char* argv[])
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QString folder;
    QString into;
    int make = 40;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--folder") == 0)
            folder = QString::fromLocal8Bit(argv[i + 1]);
        else if (std::strcmp(argv[i], "--make") == 0)
            make = std::atoi(argv[i + 1]);
        else if (std::strcmp(argv[i], "--into") == 0)
            into = QString::fromLocal8Bit(argv[i + 1]);
    }

    QApplication app(argc, argv);
    QTemporaryDir temporary;
    QStringList files;
    if (folder.isEmpty()) {
        folder = into.isEmpty() ? temporary.path() : into;
        QDir().mkpath(folder);
        files = makeFiles(folder, make);
    } else {
        for (const QString& name : QDir(folder).entryList({QStringLiteral("*.jpg"), QStringLiteral("*.JPG")},
                                                          QDir::Files, QDir::Name))
            files.append(folder + QLatin1Char('/') + name);
    }
    if (files.isEmpty()) {
        std::fprintf(stderr, "no JPEG files in %s\n", qPrintable(folder));
        return 1;
    }
    // Both runs read from the page cache.
    qint64 totalBytes = 0;
    for (const QString& path : files) {
        QFile f(path);
        f.open(QIODevice::ReadOnly);
        totalBytes += f.readAll().size();
    }

    frmmain w;
    w.show();
    QCoreApplication::processEvents();

    QElapsedTimer t;
    double layoutMs = -1, firstMs = -1, lastMs = -1;
    QObject::connect(&w, &frmmain::viewArranged, &w, [&] { layoutMs = t.nsecsElapsed() / 1e6; });
    QObject::connect(&w, &frmmain::thumbnailLoaded, &w, [&] {
        if (firstMs < 0)
            firstMs = t.nsecsElapsed() / 1e6;
    });
    QObject::connect(&w, &frmmain::viewBuilt, &w, [&] { lastMs = t.nsecsElapsed() / 1e6; });
    t.start();
    w.openFolder(folder);
    while (lastMs < 0)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const double peak = peakMiB();
    const int thumbs = static_cast<int>(w.order.size() - 1);

    const double baseline = baselineMs(files);

    const double thumbPixelsMiB = double(thumbs) * w.thumbwidth * w.thumbheight * 4 / (1 << 20);
    const int workers = qBound(1, QThread::idealThreadCount(), 4);
    const double fullMiB = largestFullSizeMiB(files);
    std::printf("Thumbnail view of %d JPEG files (%.1f MB), %d worker threads, offscreen\n", thumbs,
                totalBytes / 1e6, workers);
    std::printf("  layout (empty frames) after   %8.1f ms\n", layoutMs);
    std::printf("  first thumbnail after layout  %8.1f ms\n", firstMs - layoutMs);
    std::printf("  last thumbnail after change   %8.1f ms\n", lastMs);
    std::printf("  thumbnails per second         %8.1f\n", thumbs / ((lastMs - layoutMs) / 1000));
    std::printf("  peak memory                   %8.1f MiB (budget %.0f MiB: 100 + thumbnails %.1f + 3 full-size x %d)\n",
                peak, 100 + thumbPixelsMiB + 3 * fullMiB * workers, thumbPixelsMiB, workers);
    std::printf("  baseline: sequential decode   %8.1f ms\n", baseline);
    std::printf("  ratio all thumbnails / baseline %6.2f\n", (lastMs - layoutMs) / baseline);
    return 0;
}
