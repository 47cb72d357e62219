// Previews against the exact pictures alone, on a cold folder of camera-size JPEG files: the real
// main window, offscreen, without the thumbnail cache. The baseline, measured in the same run and
// in turns with the measured path, is the same window with previews switched off.
//
// Each run opens the folder and, as soon as it is laid out, jumps: End, the middle of the folder
// (the scroll bar set to half its maximum), or Page Down. Measured from the jump:
//   shown  until every box in view shows a picture, a preview or the exact one (target 150 ms)
//   exact  until every box in view shows its exact picture (target: at most 5 % later than without)
// and from the folder change, the whole folder's fill (target: at most 5 % longer than without).
// The fastest of the rounds for each. The device pixel ratio 2 runs in a second process of the
// same program (QT_SCALE_FACTOR=2), on the same files.
//
//   bench_previews                 makes 300 camera-like 4000 x 3000 JPEGs in a temporary folder
//   bench_previews --make N        makes N of them
//   bench_previews --folder DIR    uses the .jpg files of DIR instead
//   bench_previews --rounds N      runs of each kind (2)
//   bench_previews --ratio R       only device pixel ratio R (1 or 2)

#include "main_window/ThumbCanvas.h"
#include "main_window/frmmain.h"
#include "settings/Settings.h"
#include "thumbnails/Thumbnails.h"

#include "BoxesInView.h"
#include "CameraFolder.h"
#include "PrivateHomes.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QProcess>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

enum class Jump { End, Middle, PageDown };

const char* nameOf(Jump jump)
{
    switch (jump) {
    case Jump::End:
        return "End";
    case Jump::Middle:
        return "middle";
    case Jump::PageDown:
        return "Page Down";
    }
    return "";
}

struct Run
{
    double shownMs = -1;
    double exactMs = -1;
    double fillMs = -1;
    int inView = 0;
};

Run run(const QString& folder, Jump jump, bool previews)
{
    thumbs::setPreviews(previews);
    frmmain w;
    setCacheLimit(w, "0");
    w.show();
    QCoreApplication::processEvents();
    Run result;
    QElapsedTimer sinceOpen;
    QElapsedTimer sinceJump;
    QList<int> inView;
    bool built = false;
    const auto check = [&] {
        if (inView.isEmpty())
            return;
        const auto shows = [&](int i) {
            const ImgPreview& e = w.picScroll->element(i);
            return e.Loaded || (e.shows == ImgPreview::Shows::Preview && w.picScroll->hasBoxImage(i));
        };
        if (result.shownMs < 0 && std::all_of(inView.begin(), inView.end(), shows))
            result.shownMs = sinceJump.nsecsElapsed() / 1e6;
        if (result.exactMs < 0 &&
            std::all_of(inView.begin(), inView.end(), [&](int i) { return w.picScroll->element(i).Loaded; }))
            result.exactMs = sinceJump.nsecsElapsed() / 1e6;
    };
    QObject::connect(&w, &frmmain::viewArranged, &w, [&] {
        QTimer::singleShot(0, &w, [&] {
            sinceJump.start();
            if (jump == Jump::Middle) {
                w.ScrollMe->setValue(w.ScrollMe->maximum() / 2);
            } else {
                QKeyEvent key(QEvent::KeyPress, jump == Jump::End ? Qt::Key_End : Qt::Key_PageDown, Qt::NoModifier);
                QCoreApplication::sendEvent(w.pctPreview, &key);
            }
            inView = boxesInView(w);
            result.inView = static_cast<int>(inView.size());
            check();
        });
    });
    QObject::connect(&w, &frmmain::thumbnailLoaded, &w, check);
    QObject::connect(&w, &frmmain::previewShown, &w, check);
    QObject::connect(&w, &frmmain::viewBuilt, &w, [&] {
        result.fillMs = sinceOpen.nsecsElapsed() / 1e6;
        built = true;
    });
    sinceOpen.start();
    w.openFolder(folder);
    while (!built)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    thumbs::setPreviews(true);
    return result;
}

void keepFastest(Run& best, const Run& r)
{
    const auto least = [](double a, double b) { return a < 0 ? b : std::min(a, b); };
    best.shownMs = least(best.shownMs, r.shownMs);
    best.exactMs = least(best.exactMs, r.exactMs);
    best.fillMs = least(best.fillMs, r.fillMs);
    best.inView = r.inView;
}

} // namespace

int main(int argc, char* argv[])
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The offscreen platform says for every window that it cannot pass size hints on; that is
    // nothing to measure, and it would break up the table.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext& context, const QString& message) {
        if (!message.contains(QLatin1String("propagateSizeHints")))
            std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
    });
    QString folder;
    int make = 300;
    int rounds = 2;
    int ratio = 0;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--folder") == 0)
            folder = QString::fromLocal8Bit(argv[i + 1]);
        else if (std::strcmp(argv[i], "--make") == 0)
            make = std::atoi(argv[i + 1]);
        else if (std::strcmp(argv[i], "--rounds") == 0)
            rounds = std::max(1, std::atoi(argv[i + 1]));
        else if (std::strcmp(argv[i], "--ratio") == 0)
            ratio = std::atoi(argv[i + 1]);
    }
    if (ratio == 2)
        qputenv("QT_SCALE_FACTOR", "2");
    QTemporaryDir home;
    usePrivateHomes(home.path());

    QApplication app(argc, argv);
    QTemporaryDir temporary;
    const int files = static_cast<int>(cameraFolder(folder, temporary.path(), make).size());
    if (files == 0) {
        std::fprintf(stderr, "no JPEG files in %s\n", qPrintable(folder));
        return 1;
    }

    {
        // One thread, one picture after another: what a preview costs a worker against a picture.
        const QStringList names = QDir(folder).entryList({QStringLiteral("*.jpg"), QStringLiteral("*.JPG")}, QDir::Files);
        const int n = std::min<int>(30, static_cast<int>(names.size()));
        thumbs::Preparer preparer;
        const int box = 100 * std::max(1, ratio);
        double previewMs = 0, prepareMs = 0;
        QElapsedTimer t;
        for (int i = 0; i < n; ++i) {
            const QByteArray path = QFile::encodeName(folder + QLatin1Char('/') + names[i]);
            t.start();
            preparer.preview(path, box, box);
            previewMs += t.nsecsElapsed() / 1e6;
            t.start();
            preparer.prepare(path, box, box);
            prepareMs += t.nsecsElapsed() / 1e6;
        }
        std::printf("One worker, %d files, %d x %d box: preview %.2f ms, picture %.2f ms a file = %.3f\n", n, box, box,
                    previewMs / n, prepareMs / n, previewMs / prepareMs);
    }
    for (const int r : {1, 2}) {
        if (ratio != 0 && ratio != r)
            continue;
        if (ratio == 0 && r == 2) {
            // The ratio is the process's: a second one measures it.
            std::fflush(stdout);
            QProcess child;
            child.setProcessChannelMode(QProcess::ForwardedChannels);
            child.start(QCoreApplication::applicationFilePath(),
                        {QStringLiteral("--folder"), folder, QStringLiteral("--rounds"), QString::number(rounds),
                         QStringLiteral("--ratio"), QStringLiteral("2")});
            child.waitForFinished(-1);
            continue;
        }
        std::printf("Previews on a cold folder of %d JPEG files, device pixel ratio %d, fastest of %d runs\n", files, r,
                    rounds);
        std::printf("  %-10s %5s | %9s %9s %6s | %9s %9s %6s | %9s %9s %6s\n", "jump", "boxes", "shown", "without",
                    "ratio", "exact", "without", "ratio", "fill", "without", "ratio");
        std::fflush(stdout);
        for (const Jump jump : {Jump::End, Jump::Middle, Jump::PageDown}) {
            Run with, without;
            for (int round = 0; round < rounds; ++round) {
                keepFastest(without, run(folder, jump, false));
                keepFastest(with, run(folder, jump, true));
            }
            std::printf("  %-10s %5d | %9.1f %9.1f %6.3f | %9.1f %9.1f %6.3f | %9.1f %9.1f %6.3f\n", nameOf(jump),
                        with.inView, with.shownMs, without.shownMs, with.shownMs / without.shownMs, with.exactMs,
                        without.exactMs, with.exactMs / without.exactMs, with.fillMs, without.fillMs,
                        with.fillMs / without.fillMs);
            std::fflush(stdout);
        }
        std::printf("  targets: shown at most 150 ms; exact and fill ratios at most 1.05\n");
    }
    return 0;
}
