// Ordering a large folder by hand, in the real window (offscreen, 1600 x 1000): in a folder of 10,000 small
// JPEGs whose thumbnails have all come in, 1,000 scattered pictures are picked with Ctrl+click
// and dragged onto a thumbnail in the middle of the view; the time runs from the release of the
// button to the repainted view (the new order, the history step, the arrangement of every box,
// the pictures that come into view and the paint). Then undo and redo from the menu, and a
// Shift+click that picks all 10,000. The baseline, in the same run, is a plain copy of the display
// order.
//
//   bench_reorder [--files N] [--picked N] [--runs N]

#include "main_window/ThumbCanvas.h"
#include "main_window/frmmain.h"

#include "BoxesInView.h"
#include "PrivateHomes.h"
#include "SmallFolder.h"
#include "Stats.h"

#include <QAction>
#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QMouseEvent>
#include <QScrollBar>
#include <QStorageInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

namespace {

// Brings the thumbnail at display position k (from 0) into view, at the top of the viewport.
QPoint showPosition(frmmain& w, qsizetype k)
{
    const ImgPreview& box = w.picScroll->element(w.order().shown()[k]);
    const double unit = w.thumbheight / 3.0 + 1.0;
    w.ScrollMe->setValue(std::min(w.ScrollMe->maximum(), static_cast<int>(box.Top / unit)));
    return QPoint(box.Left + box.Width / 2, box.Top + box.Height / 2);
}

void mouse(frmmain& w, QEvent::Type type, QPoint onCanvas, Qt::KeyboardModifiers modifiers)
{
    const QPointF global = w.picScroll->mapToGlobal(QPointF(onCanvas));
    const Qt::MouseButtons buttons = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent e(type, QPointF(onCanvas), global, type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton,
                  buttons, modifiers);
    QApplication::sendEvent(w.picScroll, &e);
}

void click(frmmain& w, QPoint onCanvas, Qt::KeyboardModifiers modifiers)
{
    mouse(w, QEvent::MouseButtonPress, onCanvas, modifiers);
    mouse(w, QEvent::MouseButtonRelease, onCanvas, modifiers);
}

// Waits until what the step left to do is done, then paints the view at once.
void repaint(frmmain& w)
{
    w.picScroll->repaint();
}

// Whether every thumbnail in view shows its picture (not only an empty frame).
bool viewComplete(const frmmain& w)
{
    for (const int index : boxesInView(w)) {
        if (w.picScroll->element(index).shows == ImgPreview::Shows::Picture &&
            !w.picScroll->hasBoxImage(index))
            return false;
    }
    return true;
}

// The time until every thumbnail in view has its picture again.
double msUntilComplete(frmmain& w, const QElapsedTimer& t)
{
    while (!viewComplete(w))
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    repaint(w);
    return double(t.nsecsElapsed()) / 1e6;
}

double msSince(const QElapsedTimer& t)
{
    return double(t.nsecsElapsed()) / 1e6;
}

struct Figures
{
    QList<double> values;
    void add(double v) { values.append(v); }
    double median() const { return ::median(values); }
    double max() const { return values.isEmpty() ? 0 : *std::max_element(values.begin(), values.end()); }
};

} // namespace

int main(int argc, char* argv[])
{
    int files = 10000;
    int picks = 1000;
    int runs = 5;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--files") == 0)
            files = std::max(20, std::atoi(argv[i + 1]));
        else if (std::strcmp(argv[i], "--picked") == 0)
            picks = std::max(2, std::atoi(argv[i + 1]));
        else if (std::strcmp(argv[i], "--runs") == 0)
            runs = std::max(1, std::atoi(argv[i + 1]));
    }
    picks = std::min(picks, files / 2);

    // Settings, thumbnail cache and renaming records of the run's own.
    QTemporaryDir home;
    usePrivateHomes(home.path());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const QString shm = QStringLiteral("/dev/shm");
    const bool inMemory = QStorageInfo(shm).bytesAvailable() > qint64(files) * 8192 + (qint64(256) << 20);
    std::unique_ptr<QTemporaryDir> root =
        inMemory ? std::make_unique<QTemporaryDir>(shm + QStringLiteral("/bench_reorder-XXXXXX"))
                 : std::make_unique<QTemporaryDir>();
    const QString folder = root->path() + QStringLiteral("/photos");
    makeFolder(folder, files);

    QApplication app(argc, argv);
    frmmain w;
    // A window as large as a desktop's: about 130 thumbnails in view.
    w.resize(1600, 1000);
    w.show();
    QCoreApplication::processEvents();
    bool built = false;
    QObject::connect(&w, &frmmain::viewBuilt, &w, [&built] { built = true; });
    w.openFolder(folder);
    while (!built)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    if (w.order().count() != files) {
        std::fprintf(stderr, "the folder was not built\n");
        return 1;
    }

    // Every tenth picture, from the middle of the view's rows; picked as the user does.
    const qsizetype stride = files / picks;
    for (qsizetype k = stride / 2, n = 0; n < picks; k += stride, ++n)
        click(w, showPosition(w, k), Qt::ControlModifier);
    if (w.order().selection().count() != picks) {
        std::fprintf(stderr, "picked %lld of %d\n", static_cast<long long>(w.order().selection().count()), picks);
        return 1;
    }
    const QList<int> start = w.order().shown();

    Figures copy;
    for (int r = 0; r < 1000; ++r) {
        QElapsedTimer t;
        t.start();
        QList<int> plain = w.order().shown();
        plain.detach();
        copy.add(msSince(t));
    }

    Figures arrange;
    for (int r = 0; r < runs; ++r) {
        QElapsedTimer t;
        t.start();
        w.arrangeimgs(false);
        repaint(w);
        arrange.add(msSince(t));
    }

    Figures drop;
    Figures dropComplete;
    Figures undo;
    Figures redo;
    const qsizetype middle = files / 2;
    for (int r = 0; r < runs; ++r) {
        // A picked thumbnail in the view and one that is not, a few rows further down.
        showPosition(w, middle - stride / 2 - 3 * stride);
        qsizetype source = middle - stride / 2 - 3 * stride;
        const QList<int>& order = w.order().shown();
        while (!w.order().selection().contains(order[source]))
            ++source;
        qsizetype target = middle - stride / 2 - 3 * stride;
        while (w.order().selection().contains(order[target]))
            ++target;
        const ImgPreview& from = w.picScroll->element(order[source]);
        const ImgPreview& onto = w.picScroll->element(order[target]);
        const QPoint fromPoint(from.Left + 50, from.Top + 50);
        const QPoint ontoPoint(onto.Left + 20, onto.Top + 50);
        mouse(w, QEvent::MouseButtonPress, fromPoint, {});
        mouse(w, QEvent::MouseMove, ontoPoint, {});
        repaint(w);
        QElapsedTimer t;
        t.start();
        mouse(w, QEvent::MouseButtonRelease, ontoPoint, {});
        repaint(w);
        drop.add(msSince(t));
        dropComplete.add(msUntilComplete(w, t));
        if (w.order().shown() == start) {
            std::fprintf(stderr, "the drop changed nothing\n");
            return 1;
        }
        t.restart();
        w.mnuUndoOrder->trigger();
        repaint(w);
        undo.add(msSince(t));
        if (w.order().shown() != start) {
            std::fprintf(stderr, "undo did not restore the order\n");
            return 1;
        }
        t.restart();
        w.mnuRedoOrder->trigger();
        repaint(w);
        redo.add(msSince(t));
        w.mnuUndoOrder->trigger();
        repaint(w);
    }
    const qint64 historyBytes = w.order().history().bytes();

    // Shift+click from the first thumbnail to the last: every picture picked.
    Figures range;
    for (int r = 0; r < runs; ++r) {
        click(w, showPosition(w, 0), {});
        const QPoint last = showPosition(w, files - 1);
        repaint(w);
        QElapsedTimer t;
        t.start();
        click(w, last, Qt::ShiftModifier);
        repaint(w);
        range.add(msSince(t));
        if (w.order().selection().count() != files) {
            std::fprintf(stderr, "Shift+click picked %lld\n", static_cast<long long>(w.order().selection().count()));
            return 1;
        }
    }

    const double base = copy.median();
    std::printf("Ordering by hand: %d files, %d picked, %d runs (offscreen, files in %s)\n", files, picks,
                runs, inMemory ? "/dev/shm" : "the temporary folder");
    std::printf("%-44s %10s %10s %12s\n", "", "median ms", "max ms", "x copy");
    const auto row = [&](const char* what, const Figures& f) {
        std::printf("%-44s %10.2f %10.2f %12.0f\n", what, f.median(), f.max(), f.median() / base);
    };
    row("drop of the picked onto a thumbnail, drawn", drop);
    row("  ... until every picture in view is back", dropComplete);
    row("undo from the menu, drawn", undo);
    row("redo from the menu, drawn", redo);
    row("Shift+click over the whole folder, drawn", range);
    row("for comparison: arrangeimgs(false), drawn", arrange);
    std::printf("%-44s %10.4f %10.4f\n", "baseline: plain copy of the order", base, copy.max());
    std::printf("history: %lld steps kept, %.1f KiB\n", static_cast<long long>(w.order().history().size()),
                double(historyBytes) / 1024);
    return 0;
}
