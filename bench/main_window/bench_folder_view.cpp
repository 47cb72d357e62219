// How long the main window takes from a folder change to the finished layout (every file
// listed, sorted and shown as an empty frame), for folders of 1,000 and 10,000 small JPEG
// files, and the peak memory of each run. The baseline, measured in the same run, is a bare
// listing of the same folder (readdir and stat of every entry), so the ratio shows what the
// view adds to the file system's own cost.
//
//   bench_folder_view [--files N ...] [--keep DIR]
//
// Each size runs in a process of its own so that its peak memory is its own.

#include "main_window/frmmain.h"

#include "BareListing.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <cstring>

#include <sys/resource.h>

namespace {

QByteArray smallJpeg()
{
    QImage image(64, 48, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, qRgb(x * 4, y * 5, (x + y) * 2));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPG", 85);
    return bytes;
}

void makeFolder(const QString& path, int files)
{
    QDir().mkpath(path);
    const QByteArray jpeg = smallJpeg();
    for (int i = 0; i < files; ++i) {
        QFile f(path + QStringLiteral("/IMG_%1.jpg").arg(i, 5, 10, QLatin1Char('0')));
        f.open(QIODevice::WriteOnly);
        f.write(jpeg);
    }
}

long peakKiB()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// One measurement in this process: prints "files ms baselineMs peakKiB".
int measure(int files)
{
    QTemporaryDir root;
    const QString folder = root.path() + QStringLiteral("/photos");
    makeFolder(folder, files);

    int argc = 1;
    char name[] = "bench_folder_view";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    frmmain w;
    w.show();
    QCoreApplication::processEvents();

    const double baseline = bareListingMs(QFile::encodeName(folder));
    QElapsedTimer t;
    double ms = -1;
    long peak = 0;
    QObject::connect(&w, &frmmain::viewArranged, &w, [&] {
        ms = t.nsecsElapsed() / 1e6;
        peak = peakKiB();
        // The pictures themselves are another benchmark's business.
        w.close();
    });
    t.start();
    w.openFolder(folder);
    while (ms < 0)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    if (w.order.size() != files + 1) {
        std::fprintf(stderr, "listed %lld of %d files\n", static_cast<long long>(w.order.size() - 1), files);
        return 1;
    }
    std::printf("%d %.1f %.2f %ld\n", files, ms, baseline, peak);
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc == 3 && std::strcmp(argv[1], "--measure") == 0)
        return measure(std::atoi(argv[2]));

    QList<int> sizes;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--files") == 0)
            sizes.append(std::atoi(argv[i + 1]));
    }
    if (sizes.isEmpty())
        sizes = {1000, 10000};

    std::printf("Folder view: folder change -> every file listed, sorted and laid out (offscreen)\n");
    std::printf("%8s %12s %14s %8s %12s\n", "files", "layout ms", "bare list ms", "ratio", "peak MiB");
    // Settings and thumbnail cache of the run's own: the user's are never read or written.
    QTemporaryDir home;
    QList<double> times;
    for (int files : sizes) {
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        if (!env.contains(QStringLiteral("QT_QPA_PLATFORM")))
            env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("XDG_CACHE_HOME"), home.filePath(QStringLiteral("cache")));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_STATE_HOME"), home.filePath(QStringLiteral("state")));
        child.setProcessEnvironment(env);
        child.start(QString::fromLocal8Bit(argv[0]), {QStringLiteral("--measure"), QString::number(files)});
        child.waitForFinished(-1);
        const QList<QByteArray> fields = child.readAllStandardOutput().trimmed().split(' ');
        if (child.exitCode() != 0 || fields.size() != 4) {
            std::fprintf(stderr, "measurement of %d files failed\n", files);
            return 1;
        }
        const double ms = fields[1].toDouble();
        const double base = fields[2].toDouble();
        times.append(ms);
        std::printf("%8d %12.1f %14.2f %8.1f %12.1f\n", files, ms, base, ms / base, fields[3].toDouble() / 1024);
    }
    if (times.size() == 2)
        std::printf("growth %d -> %d files: %.2fx (linear would be %.1fx)\n", sizes[0], sizes[1], times[1] / times[0],
                    double(sizes[1]) / sizes[0]);
    return 0;
}
