// What finding the pictures' companions costs the listing of a folder: 10,000 photos, each with a
// RAW file and a sidecar (30,000 files), listed as the window lists them (on the listing's thread,
// handed over in batches, taken into the order, the companions found and given to the pictures),
// against the 10,000 photos alone in a folder without companions. Target: within 10 % of the photos
// alone. Beside it, what the file system's own reading costs (readdir and stat of every entry, as
// bare as it gets) for the two folders, and the folder of 30,000 files listed without looking for
// companions (the option off): what finding them adds beyond reading the files. All are listed in
// turn in the same run; each figure is the median of its rounds.
//
//   bench_companions [--files N] [--rounds R] [--dir DIR]

#include "MakeFile.h"
#include "ordering/FolderListing.h"
#include "ordering/PictureOrder.h"

#include "BareListing.h"
#include "Stats.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <vector>

namespace {

// Milliseconds from the start of a listing to its end, with every picture and companion taken in.
double listOnce(const QByteArray& folder, const QByteArray& state, bool find, qsizetype* pictures,
                qsizetype* withCompanions)
{
    ordering::FolderListing listing{ordering::OrderStore(state)};
    listing.setCompanions(find);
    ordering::PictureOrder order;
    QEventLoop loop;
    QObject::connect(&listing, &ordering::FolderListing::found, &loop,
                     [&](const ordering::ListedBatch& batch) { order.add(batch); });
    QObject::connect(&listing, &ordering::FolderListing::companionsFound, &loop,
                     [&](const ordering::CompanionsFound& found) { order.setCompanions(found); });
    QObject::connect(&listing, &ordering::FolderListing::finished, &loop, [&] {
        listing.letGo(order.finishListing());
        loop.quit();
    });
    QElapsedTimer t;
    t.start();
    listing.start(folder, QStringLiteral("jpg"));
    loop.exec();
    const double ms = t.nsecsElapsed() / 1e6;
    *pictures = order.count();
    *withCompanions = 0;
    for (const ordering::PictureId id : order.shown())
        *withCompanions += !order.companions(id).isEmpty();
    return ms;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    int files = 10000;
    int rounds = 9;
    QByteArray base = QFile::encodeName(QDir::tempPath());
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--files") == 0)
            files = std::atoi(argv[i + 1]);
        else if (std::strcmp(argv[i], "--rounds") == 0)
            rounds = std::atoi(argv[i + 1]);
        else if (std::strcmp(argv[i], "--dir") == 0)
            base = argv[i + 1];
    }
    QTemporaryDir alone(QFile::decodeName(base) + QStringLiteral("/bench-companions-XXXXXX"));
    QTemporaryDir shoot(QFile::decodeName(base) + QStringLiteral("/bench-companions-XXXXXX"));
    QTemporaryDir state;
    const QByteArray aloneDir = QFile::encodeName(alone.path()) + '/';
    const QByteArray shootDir = QFile::encodeName(shoot.path()) + '/';
    for (int i = 1; i <= files; ++i) {
        const QByteArray stem = "IMG_" + QByteArray::number(i).rightJustified(5, '0');
        makeFile(aloneDir + stem + ".jpg");
        makeFile(shootDir + stem + ".jpg");
        makeFile(shootDir + stem + ".CR2");
        makeFile(shootDir + stem + ".xmp");
    }
    const QByteArray stateDir = QFile::encodeName(state.path());
    std::vector<double> bare;
    std::vector<double> with;
    std::vector<double> without;
    std::vector<double> readAlone;
    std::vector<double> readShoot;
    qsizetype pictures = 0;
    qsizetype paired = 0;
    for (int round = -1; round < rounds; ++round) { // the first round warms the caches
        const double a = listOnce(aloneDir, stateDir, true, &pictures, &paired);
        if (pictures != files || paired != 0) {
            std::fprintf(stderr, "the folder alone listed %lld pictures, %lld with companions\n",
                         static_cast<long long>(pictures), static_cast<long long>(paired));
            return 1;
        }
        const double n = listOnce(shootDir, stateDir, false, &pictures, &paired);
        if (pictures != files || paired != 0) {
            std::fprintf(stderr, "the shoot without companions listed %lld pictures, %lld with companions\n",
                         static_cast<long long>(pictures), static_cast<long long>(paired));
            return 1;
        }
        const double w = listOnce(shootDir, stateDir, true, &pictures, &paired);
        if (pictures != files || paired != files) {
            std::fprintf(stderr, "the shoot listed %lld pictures, %lld with companions\n",
                         static_cast<long long>(pictures), static_cast<long long>(paired));
            return 1;
        }
        const double ra = bareListingMs(aloneDir);
        const double rs = bareListingMs(shootDir);
        if (round >= 0) {
            bare.push_back(a);
            with.push_back(w);
            without.push_back(n);
            readAlone.push_back(ra);
            readShoot.push_back(rs);
        }
    }
    const double b = median(bare);
    const double w = median(with);
    const double n = median(without);
    std::printf("listing %d photos with a RAW file and a sidecar each (%d files, median of %d): %.1f ms; the %d "
                "photos alone: %.1f ms; ratio %.3f (target <= 1.10)\n",
                files, 3 * files, rounds, w, files, b, w / b);
    std::printf("  the file system's own reading of the two folders: %.1f ms and %.1f ms, ratio %.3f\n",
                median(readShoot), median(readAlone), median(readShoot) / median(readAlone));
    std::printf("  the %d files listed without looking for companions: %.1f ms; finding them adds %.1f ms, "
                "ratio %.3f\n",
                3 * files, n, w - n, w / n);
    return 0;
}
