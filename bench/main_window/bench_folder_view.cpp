// How long the main window takes from a folder change to the finished layout (every file
// listed, sorted and shown as an empty frame), for folders of 1,000 and 10,000 small JPEG
// files, and the peak memory of each run. The baseline, measured in the same run, is a bare
// listing of the same folder (readdir and stat of every entry), so the ratio shows what the
// view adds to the file system's own cost.
//
// Then the same folders with a kept order (the names shuffled), against none, alternately in the
// same run: what placing each file at its kept place costs the listing and layout. With it, what
// keeping the order after a move costs the window's thread (a copy of the paths handed to the
// writer) and the writer (looking at every file, writing the file, flushing it to the disk).
//
//   bench_folder_view [--files N ...] [--runs N]
//
// Each measurement runs in a process of its own so that its peak memory is its own.

#include "main_window/ThumbCanvas.h"
#include "main_window/frmmain.h"
#include "ordering/OrderStore.h"

#include "BareListing.h"
#include "PrivateHomes.h"
#include "SmallFolder.h"
#include "Stats.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QMouseEvent>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include <sys/resource.h>

namespace {

long peakKiB()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// The folder's kept order, the names shuffled, or none.
bool keepShuffled(const QByteArray& stateFolder, const QString& folder, bool kept)
{
    const QByteArray native = QFile::encodeName(folder) + '/';
    const ordering::OrderStore store(stateFolder);
    if (!kept) {
        store.remove(native);
        return true;
    }
    QList<QByteArray> names;
    for (const QString& name : QDir(folder).entryList(QDir::Files))
        names.append(QFile::encodeName(name));
    std::shuffle(names.begin(), names.end(), *QRandomGenerator::global());
    return store.save(native, names, {});
}

// One measurement in this process, of a folder made before, with its order kept or not:
// prints "files ms baselineMs peakKiB keepMs writeMs" (the last two 0 without an order).
int measure(const QString& folder, int files, bool kept)
{
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
    double keepMs = 0;
    double writeMs = 0;
    long peak = 0;
    QObject::connect(&w, &frmmain::viewArranged, &w, [&] {
        ms = t.nsecsElapsed() / 1e6;
        peak = peakKiB();
        if (kept) {
            // A move from the front to the end, as the menu makes it.
            const QPointF first = w.picScroll->element(w.order().shown().first()).rect().center();
            for (const QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
                QMouseEvent click(type, first, w.picScroll->mapToGlobal(first), Qt::LeftButton,
                                  type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, {});
                QApplication::sendEvent(w.picScroll, &click);
            }
            w.mnuSelectionLast->trigger();
            QElapsedTimer s;
            s.start();
            w.keepOrderNow();
            keepMs = s.nsecsElapsed() / 1e6;
            s.restart();
            w.waitForKeptOrder();
            writeMs = s.nsecsElapsed() / 1e6;
        }
        // The pictures themselves are another benchmark's business.
        w.close();
    });
    t.start();
    w.openFolder(folder);
    while (ms < 0)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    if (w.order().count() != files) {
        std::fprintf(stderr, "listed %lld of %d files\n", static_cast<long long>(w.order().count()), files);
        return 1;
    }
    std::printf("%d %.1f %.2f %ld %.3f %.2f\n", files, ms, baseline, peak, keepMs, writeMs);
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc == 5 && std::strcmp(argv[1], "--measure") == 0)
        return measure(QString::fromLocal8Bit(argv[2]), std::atoi(argv[3]),
                       std::strcmp(argv[4], "kept") == 0);

    QList<int> sizes;
    int runs = 3;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--files") == 0)
            sizes.append(std::atoi(argv[i + 1]));
        else if (std::strcmp(argv[i], "--runs") == 0)
            runs = std::max(1, std::atoi(argv[i + 1]));
    }
    if (sizes.isEmpty())
        sizes = {1000, 10000};

    // Settings, thumbnail cache and kept orders of the run's own: the user's are never read or
    // written.
    QTemporaryDir home;
    struct Run
    {
        double ms = 0;
        double base = 0;
        double peakMiB = 0;
        double keepMs = 0;
        double writeMs = 0;
    };
    const auto run = [&](const QString& folder, int files, bool kept, Run* out) {
        if (!keepShuffled(QFile::encodeName(home.filePath(QStringLiteral("state"))), folder, kept))
            return false;
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        if (!env.contains(QStringLiteral("QT_QPA_PLATFORM")))
            env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        usePrivateHomes(env, home.path());
        child.setProcessEnvironment(env);
        child.start(QString::fromLocal8Bit(argv[0]),
                    {QStringLiteral("--measure"), folder, QString::number(files),
                     kept ? QStringLiteral("kept") : QStringLiteral("none")});
        child.waitForFinished(-1);
        const QList<QByteArray> fields = child.readAllStandardOutput().trimmed().split(' ');
        if (child.exitCode() != 0 || fields.size() != 6) {
            std::fprintf(stderr, "measurement of %d files failed\n", files);
            return false;
        }
        *out = Run{fields[1].toDouble(), fields[2].toDouble(), fields[3].toDouble() / 1024,
                   fields[4].toDouble(), fields[5].toDouble()};
        return true;
    };

    std::printf("Folder view: folder change -> every file listed, sorted and laid out (offscreen)\n");
    std::printf("%8s %12s %14s %8s %12s\n", "files", "layout ms", "bare list ms", "ratio", "peak MiB");
    QList<QString> folders;
    QList<double> times;
    for (int files : sizes) {
        const QString folder = home.filePath(QStringLiteral("photos-%1").arg(files));
        makeFolder(folder, files);
        folders.append(folder);
        Run r;
        if (!run(folder, files, false, &r))
            return 1;
        times.append(r.ms);
        std::printf("%8d %12.1f %14.2f %8.1f %12.1f\n", files, r.ms, r.base, r.ms / r.base, r.peakMiB);
    }
    if (times.size() == 2)
        std::printf("growth %d -> %d files: %.2fx (linear would be %.1fx)\n", sizes[0], sizes[1],
                    times[1] / times[0], double(sizes[1]) / sizes[0]);

    std::printf("\nWith a kept order (shuffled) against none, alternately, median of %d runs each\n", runs);
    std::printf("%8s %12s %12s %8s %14s %12s\n", "files", "none ms", "kept ms", "ratio", "keep: window ms",
                "writer ms");
    for (qsizetype i = 0; i < sizes.size(); ++i) {
        QList<double> none, kept, keep, write;
        for (int k = 0; k < runs; ++k) {
            Run a, b;
            if (!run(folders[i], sizes[i], false, &a) || !run(folders[i], sizes[i], true, &b))
                return 1;
            none.append(a.ms);
            kept.append(b.ms);
            keep.append(b.keepMs);
            write.append(b.writeMs);
        }
        std::printf("%8d %12.1f %12.1f %8.3f %14.3f %12.2f\n", sizes[i], median(none), median(kept),
                    median(kept) / median(none), median(keep), median(write));
    }
    return 0;
}
