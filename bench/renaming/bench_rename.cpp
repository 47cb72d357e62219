// How long a renaming run takes, journal and undo record included.
//
// 1. A folder of 10,000 files rotated: every new name is held by another file of the run, so each
//    file goes through a temporary name (20,000 renames). Baseline, in the same folder and run:
//    a bare loop of 20,000 rename() calls. Target: within 3 times the baseline.
// 2. 10,000 photos with a RAW file and a sidecar each renumbered by one place: 30,000 files in one
//    run, each picture's companions named after it, every file through a temporary name. Baseline:
//    a bare loop of 60,000 rename() calls. Target: within 3 times the baseline.
// 3. 1,000 files of 4 MB moved onto another file system (/dev/shm, usually tmpfs): copied,
//    flushed, given their names, sources removed. Baseline: the same bytes copied with sendfile
//    into fresh files of that file system, without flushing or removing anything (the faster of
//    a copy before and one after the run).
//
//   bench_rename [--files N] [--rounds R] [--pictures N] [--copies N] [--copy-mb M] [--dir DIR] [--other DIR]

#include "MakeFile.h"
#include "renaming/Names.h"
#include "renaming/Renamer.h"

#include "Stats.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <fcntl.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

QByteArray nameOf(int i)
{
    return renaming::prefixedName("img", i, "jpg");
}

// The same files moved away and back by bare rename() calls, in milliseconds: what the engine's
// runs are measured against.
double bareRotation(const std::vector<QByteArray>& from, const std::vector<QByteArray>& to)
{
    QElapsedTimer t;
    t.start();
    for (size_t i = 0; i < from.size(); ++i)
        ::rename(from[i].constData(), to[i].constData());
    for (size_t i = 0; i < from.size(); ++i)
        ::rename(to[i].constData(), from[i].constData());
    return double(t.nsecsElapsed()) / 1e6;
}

int rotation(const QByteArray& base, int files, int rounds)
{
    QTemporaryDir folder(QString::fromUtf8(base) + QStringLiteral("/bench-rename-XXXXXX"));
    QTemporaryDir state;
    const QByteArray dir = QFile::encodeName(folder.path());
    for (int i = 1; i <= files; ++i)
        makeFile(dir + '/' + nameOf(i), {});

    std::vector<double> run;
    std::vector<double> bare;
    for (int round = 0; round < rounds; ++round) {
        QList<renaming::Move> moves;
        moves.reserve(files);
        for (int i = 1; i <= files; ++i)
            moves.append({dir + '/' + nameOf(i), nameOf(i % files + 1)});
        renaming::Renamer renamer(QFile::encodeName(state.path()));
        QElapsedTimer t;
        t.start();
        const renaming::Result result = renamer.run(moves, dir);
        run.push_back(t.nsecsElapsed() / 1e6);
        if (!result.ok()) {
            std::fprintf(stderr, "run failed: %s\n", result.message.toLocal8Bit().constData());
            return 1;
        }

        // The same number of renames, each file away and back, with nothing around them.
        std::vector<QByteArray> from;
        std::vector<QByteArray> to;
        for (int i = 1; i <= files; ++i) {
            from.push_back(dir + '/' + nameOf(i));
            to.push_back(dir + "/.bare-" + QByteArray::number(i));
        }
        bare.push_back(bareRotation(from, to));
    }
    const double r = median(run);
    const double b = median(bare);
    std::printf("rotation of %d files (median of %d): run %.1f ms, bare %d rename() calls %.1f ms, ratio %.2f "
                "(target <= 3)\n",
                files, rounds, r, 2 * files, b, r / b);
    return 0;
}

int companionRotation(const QByteArray& base, int pictures, int rounds)
{
    QTemporaryDir folder(QString::fromUtf8(base) + QStringLiteral("/bench-rename-XXXXXX"));
    QTemporaryDir state;
    const QByteArray dir = QFile::encodeName(folder.path());
    const QList<QByteArray> kinds{".jpg", ".CR2", ".xmp"};
    const auto stem = [&](int i) -> QByteArray { return dir + "/img" + renaming::numberText(i); };
    for (int i = 1; i <= pictures; ++i) {
        for (const QByteArray& kind : kinds)
            makeFile(stem(i) + kind, {});
    }
    const int files = pictures * int(kinds.size());

    std::vector<double> run;
    std::vector<double> bare;
    for (int round = 0; round < rounds; ++round) {
        // The second picture first: each takes the number of the one before it, and so do its
        // companions, whose new names are all held by files of the run.
        QList<QByteArray> order;
        QList<QList<renaming::Companion>> companions;
        for (int k = 0; k < pictures; ++k) {
            const int i = k + 2 <= pictures ? k + 2 : 1;
            order.append(stem(i) + ".jpg");
            companions.append({{stem(i) + ".CR2", false}, {stem(i) + ".xmp", false}});
        }
        renaming::Renamer renamer(QFile::encodeName(state.path()));
        QElapsedTimer t;
        t.start();
        const renaming::Numbering numbering(order, platform::ExtensionPattern("jpg"), companions);
        const renaming::Result result = renamer.run(numbering.moves("img"), dir);
        run.push_back(t.nsecsElapsed() / 1e6);
        if (!result.ok() || result.renamed.size() != files) {
            std::fprintf(stderr, "run failed: %s\n", result.message.toLocal8Bit().constData());
            return 1;
        }

        std::vector<QByteArray> from;
        std::vector<QByteArray> to;
        for (int i = 1; i <= pictures; ++i) {
            for (const QByteArray& kind : kinds) {
                from.push_back(stem(i) + kind);
                to.push_back(dir + "/.bare-" + QByteArray::number(qsizetype(from.size())));
            }
        }
        bare.push_back(bareRotation(from, to));
    }
    const double r = median(run);
    const double b = median(bare);
    std::printf("%d photos with a RAW file and a sidecar each, renumbered (%d files, median of %d): run %.1f ms, bare "
                "%d rename() calls %.1f ms, ratio %.2f (target <= 3)\n",
                pictures, files, rounds, r, 2 * files, b, r / b);
    return 0;
}

int otherFileSystem(const QByteArray& base, const QByteArray& other, int files, int megabytes)
{
    struct stat a{};
    struct stat b{};
    if (::stat(base.constData(), &a) != 0 || ::stat(other.constData(), &b) != 0 || a.st_dev == b.st_dev) {
        std::printf("move onto another file system: skipped, %s is on the same file system as %s\n",
                    other.constData(), base.constData());
        return 0;
    }
    QTemporaryDir source(QString::fromUtf8(base) + QStringLiteral("/bench-rename-XXXXXX"));
    QTemporaryDir target(QString::fromUtf8(other) + QStringLiteral("/bench-rename-XXXXXX"));
    QTemporaryDir state;
    const QByteArray from = QFile::encodeName(source.path());
    const QByteArray to = QFile::encodeName(target.path());
    std::vector<char> data(static_cast<size_t>(megabytes) << 20);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<char>(i * 2654435761u >> 24);
    QList<renaming::Move> moves;
    for (int i = 1; i <= files; ++i) {
        const QByteArray name = "DSC" + QByteArray::number(i).rightJustified(5, '0') + ".JPG";
        makeFile(from + '/' + name, data);
        moves.append({from + '/' + name, nameOf(i)});
    }
    ::sync();

    // Bare copies, once before the run and once after it (the file systems' caches warm up
    // along the way); the faster of the two is the baseline.
    const auto bareCopies = [&] {
        QTemporaryDir baseline(QString::fromUtf8(other) + QStringLiteral("/bench-rename-XXXXXX"));
        const QByteArray copies = QFile::encodeName(baseline.path());
        QElapsedTimer timer;
        timer.start();
        for (const renaming::Move& m : moves) {
            const int in = ::open(m.source.constData(), O_RDONLY | O_CLOEXEC);
            const QByteArray copy = copies + '/' + m.newName;
            const int out = ::open(copy.constData(), O_CREAT | O_WRONLY | O_EXCL | O_CLOEXEC, 0644);
            ::sendfile(out, in, nullptr, data.size());
            ::close(in);
            ::close(out);
        }
        return timer.nsecsElapsed() / 1e6;
    };
    double bare = bareCopies();

    QElapsedTimer t;
    renaming::Renamer renamer(QFile::encodeName(state.path()));
    t.start();
    const renaming::Result result = renamer.run(moves, to);
    const double ms = t.nsecsElapsed() / 1e6;
    if (!result.ok()) {
        std::fprintf(stderr, "move failed: %s\n", result.message.toLocal8Bit().constData());
        return 1;
    }
    // The sources once more, for the second baseline.
    for (const renaming::Move& m : moves)
        makeFile(m.source, data);
    bare = std::min(bare, bareCopies());
    const double mb = double(files) * megabytes;
    std::printf("move of %d files of %d MB onto %s: run %.0f ms (%.0f MB/s), bare sendfile copies %.0f ms, "
                "ratio %.2f\n",
                files, megabytes, other.constData(), ms, mb / (ms / 1000), bare, ms / bare);
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    int files = 10000;
    int rounds = 5;
    int copies = 1000;
    int pictures = 10000;
    int copyMb = 4;
    QByteArray dir = QFile::encodeName(QDir::tempPath());
    QByteArray other = "/dev/shm";
    const QStringList args = app.arguments();
    for (qsizetype i = 1; i + 1 < args.size(); i += 2) {
        const QString& a = args[i];
        const QString& v = args[i + 1];
        if (a == QStringLiteral("--files"))
            files = v.toInt();
        else if (a == QStringLiteral("--rounds"))
            rounds = v.toInt();
        else if (a == QStringLiteral("--pictures"))
            pictures = v.toInt();
        else if (a == QStringLiteral("--copies"))
            copies = v.toInt();
        else if (a == QStringLiteral("--copy-mb"))
            copyMb = v.toInt();
        else if (a == QStringLiteral("--dir"))
            dir = QFile::encodeName(v);
        else if (a == QStringLiteral("--other"))
            other = QFile::encodeName(v);
    }
    if (files < 2 || rounds < 1) {
        std::fprintf(stderr, "usage: bench_rename [--files N] [--rounds R] [--pictures N] [--copies N] [--copy-mb M] [--dir DIR] [--other DIR]\n");
        return 2;
    }
    if (const int e = rotation(dir, files, rounds))
        return e;
    if (const int e = pictures > 1 ? companionRotation(dir, pictures, rounds) : 0)
        return e;
    return copies > 0 ? otherFileSystem(dir, other, copies, copyMb) : 0;
}
