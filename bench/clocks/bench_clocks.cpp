// Aligning the clocks of a trip of 10,000 photos from three devices (a camera, a second body an
// hour ahead, a phone with zones), whose times are known as they are once read: opening the
// dialog (the devices grouped, the rows, the timelines laid out and painted), an offset changed
// (the dialog sorts the 10,000 again, moves the device's timeline and repaints it), and applying
// (the order by time with the offsets, one step of the history). The baseline, in the same run,
// is "Nach Dateiname" on the same order, which the window has done since long before.
//
//   bench_clocks [--files N] [--runs N]

#include "clocks/ClocksDialog.h"
#include "ordering/PictureOrder.h"

#include "Stats.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QRandomGenerator>

#include <cstdio>
#include <cstring>
#include <vector>

namespace {

struct Figures
{
    std::vector<double> ms;
    void add(const QElapsedTimer& t) { ms.push_back(double(t.nsecsElapsed()) / 1e6); }
    double median() const { return ::median(ms); }
    double max() const { return ms.empty() ? 0 : *std::max_element(ms.cbegin(), ms.cend()); }
};

void makeTrip(ordering::PictureOrder& order, int files)
{
    ordering::ListedBatch batch;
    for (int i = 0; i < files; ++i) {
        const QByteArray name = "/trip/" + QByteArray(i % 3 == 0 ? "DSC_" : i % 3 == 1 ? "IMG_" : "PXL_") +
                                QByteArray::number(i).rightJustified(5, '0') + ".jpg";
        batch.files.append({name, {}, ordering::Placement::kUnkept, QString::fromLatin1(name)});
    }
    order.add(batch);
    order.finishListing();
    const ordering::Camera devices[] = {{QStringLiteral("5:Canon12:Canon EOS R60:"), QStringLiteral("Canon EOS R6"), 3600},
                                        {QStringLiteral("5:NIKON10:NIKON D8507:3012345"),
                                         QStringLiteral("NIKON D850 (3012345)"), std::nullopt},
                                        {QStringLiteral("5:Apple9:iPhone 130:"), QStringLiteral("Apple iPhone 13"), 7200}};
    QRandomGenerator random(38);
    const qint64 start = 1689156000; // a morning in July
    for (ordering::PictureId id = 1; id <= files; ++id) {
        const int device = int(random.bounded(3));
        // Ten days of a trip, bursts included; each clock off in its own way.
        const qint64 story = start + qint64(id) * 86 + random.bounded(3);
        const qint64 clock = story + (device == 1 ? 3600 : device == 2 ? 3600 : 0);
        order.setTaken(id, ordering::ClockTime{clock, qint32(random.bounded(1000)) * 1000000}, devices[device]);
    }
}

} // namespace

int main(int argc, char** argv)
{
    int files = 10000;
    int runs = 15;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--files"))
            files = std::atoi(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--runs"))
            runs = std::atoi(argv[i + 1]);
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    ordering::PictureOrder order;
    makeTrip(order, files);
    Figures open, change, apply, byName;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer t;
        t.start();
        clocks::ClocksDialog dialog(order, {});
        dialog.resize(1000, 420);
        dialog.show();
        QApplication::processEvents();
        dialog.repaint();
        open.add(t);
        if (dialog.groups().size() != 3) {
            std::fprintf(stderr, "%lld devices, not 3\n", static_cast<long long>(dialog.groups().size()));
            return 1;
        }
        // The second body's hour, typed; the dialog's timeline repainted with it.
        auto* minutes = dialog.findChild<QLineEdit*>(QStringLiteral("txtMinutes1"));
        auto* timeline = dialog.findChild<QWidget*>(QStringLiteral("timeline"));
        dialog.findChild<QComboBox*>(QStringLiteral("cboSign1"))->setCurrentIndex(1);
        const ordering::DisplayOrder before = dialog.preview();
        t.start();
        minutes->setText(QString::number(60 + run % 2));
        timeline->repaint();
        change.add(t);
        if (dialog.preview() == before) {
            std::fprintf(stderr, "the offset changed nothing\n");
            return 1;
        }
        const ordering::ClockOffsets offsets = *dialog.offsets();
        dialog.hide();

        t.start();
        const bool stepped = order.orderByTime(offsets);
        apply.add(t);
        t.start();
        const bool named = order.orderByName();
        byName.add(t);
        if (!stepped || !named) {
            std::fprintf(stderr, "an order changed nothing\n");
            return 1;
        }
    }
    const double base = byName.median();
    std::printf("Aligning the clocks: %d photos of 3 devices, %d runs (offscreen)\n", files, runs);
    std::printf("%-44s %10s %10s %12s\n", "", "median ms", "max ms", "x by name");
    const auto line = [base](const char* what, const Figures& f) {
        std::printf("%-44s %10.2f %10.2f %12.2f\n", what, f.median(), f.max(), f.median() / base);
    };
    line("open the dialog (target 300 ms)", open);
    line("an offset changed, re-sorted (target 50 ms)", change);
    line("apply: ordered by time with offsets (50 ms)", apply);
    std::printf("%-44s %10.2f %10.2f\n", "baseline: Nach Dateiname", base, byName.max());
    return 0;
}
