// Thumbnails of phone-like clips against ffmpegthumbnailer on the same files, in turns, in one
// run: per clip, the program's preparer (the clip read, its frame chosen and decoded, resampled
// exactly into a 256 x 256 box and turned) on this thread, and `ffmpegthumbnailer -s 256` as a
// process of its own (what a file manager starts for a thumbnail), one after the other, clip by
// clip, for several rounds. Printed: the median time a clip of each kind, on the clock and in
// processor time (which varies less on a machine shared with other work), and the ratio; the
// target is at most 1.0 on the clock. Then the whole folder through the thumbnail loader's
// workers, as the window fills it.
//
// The clips are made with the ffmpeg program: 1080p H.264 at 30 frames a second with a key frame
// every second, as phones record, and 4K HEVC alike (in MP4 and MOV), with noise so that their
// bit rates are a phone's (about 17 and 45 Mbit/s); the first clip of each kind is encoded, the
// others are copies of it with tags of their own (a copy is a file of its own to both sides).
// Without ffmpeg or ffmpegthumbnailer the benchmark says so and stops.
//
//   bench_clips                  makes 10 + 10 clips of 12 s in a temporary folder (about 1 GB)
//   bench_clips --into DIR       makes them in DIR and keeps them (and uses them next time)
//   bench_clips --rounds N       rounds of turns (3)

#include "thumbnails/ThumbnailLoader.h"
#include "thumbnails/Thumbnails.h"

#include "Stats.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QStorageInfo>
#include <QTemporaryDir>

#include <cstdio>
#include <cstring>
#include <vector>

#include <sys/resource.h>

namespace {

struct Kind
{
    const char* title;
    const char* source;    // the first clip's name
    QStringList encode;    // ffmpeg's arguments after the input
};

double threadCpuMs()
{
    rusage usage{};
    ::getrusage(RUSAGE_THREAD, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

double processCpuMs()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

double childrenCpuMs()
{
    rusage usage{};
    ::getrusage(RUSAGE_CHILDREN, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

bool run(const QString& program, const QStringList& arguments)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.start(program, arguments);
    return p.waitForFinished(-1) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

// The clips of one kind: the first encoded, the others copied from it with tags of their own.
QStringList makeClips(const QString& ffmpeg, const QString& folder, const Kind& kind, int count)
{
    QStringList clips;
    const QString first = folder + QLatin1Char('/') + QLatin1String(kind.source);
    const QString suffix = QFileInfo(first).suffix();
    if (!QFileInfo::exists(first)) {
        std::printf("encoding %s ...\n", kind.source);
        std::fflush(stdout);
        QStringList arguments = {QStringLiteral("-hide_banner"), QStringLiteral("-loglevel"), QStringLiteral("error"),
                                 QStringLiteral("-y")};
        arguments << kind.encode << first + QStringLiteral(".part.") + suffix;
        if (!run(ffmpeg, arguments) || !QFile::rename(first + QStringLiteral(".part.") + suffix, first))
            return {};
    }
    clips.append(first);
    for (int i = 1; i < count; ++i) {
        const QString copy = QStringLiteral("%1/%2-%3.%4")
                                 .arg(folder, QFileInfo(first).completeBaseName())
                                 .arg(i, 2, 10, QLatin1Char('0'))
                                 .arg(suffix);
        if (!QFileInfo::exists(copy) &&
            !run(ffmpeg, {QStringLiteral("-hide_banner"), QStringLiteral("-loglevel"), QStringLiteral("error"),
                          QStringLiteral("-y"), QStringLiteral("-i"), first, QStringLiteral("-c"),
                          QStringLiteral("copy"), QStringLiteral("-metadata"),
                          QStringLiteral("creation_time=2024-07-12T08:%1:00Z").arg(i + 10), copy}))
            return {};
        clips.append(copy);
    }
    return clips;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QString into;
    int rounds = 3;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--into") == 0)
            into = QString::fromLocal8Bit(argv[i + 1]);
        else if (std::strcmp(argv[i], "--rounds") == 0)
            rounds = std::max(1, std::atoi(argv[i + 1]));
    }
    const QString ffmpeg = QStandardPaths::findExecutable(QStringLiteral("ffmpeg"));
    const QString thumbnailer = QStandardPaths::findExecutable(QStringLiteral("ffmpegthumbnailer"));
    if (ffmpeg.isEmpty() || thumbnailer.isEmpty()) {
        std::printf("skipped: the benchmark needs the programs ffmpeg and ffmpegthumbnailer "
                    "(apt-get install ffmpeg ffmpegthumbnailer)\n");
        return 0;
    }

    const QString shm = QStringLiteral("/dev/shm");
    const bool inMemory = QStorageInfo(shm).isValid() && QStorageInfo(shm).bytesAvailable() > (qint64(3) << 30);
    QTemporaryDir temporary(inMemory ? shm + QStringLiteral("/bench_clips-XXXXXX") : QString());
    const QString folder = into.isEmpty() ? temporary.path() : into;
    QDir().mkpath(folder);
    QTemporaryDir output;

    // Noise keeps the encoders busy as a real scene does, and the bit rates a phone's.
    const auto source = [](const char* size) {
        return QStringList{QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                           QStringLiteral("testsrc2=size=%1:rate=30,noise=alls=12:allf=t").arg(QLatin1String(size)),
                           QStringLiteral("-t"), QStringLiteral("12"), QStringLiteral("-pix_fmt"),
                           QStringLiteral("yuv420p"), QStringLiteral("-g"), QStringLiteral("30")};
    };
    const QList<Kind> kinds = {
        {"1080p H.264", "phone-1080p.mp4",
         source("1920x1080") << QStringLiteral("-c:v") << QStringLiteral("libx264") << QStringLiteral("-preset")
                             << QStringLiteral("veryfast") << QStringLiteral("-b:v") << QStringLiteral("17M")
                             << QStringLiteral("-bf") << QStringLiteral("0")},
        {"4K HEVC", "phone-4k.mov",
         source("3840x2160") << QStringLiteral("-c:v") << QStringLiteral("libx265") << QStringLiteral("-preset")
                             << QStringLiteral("ultrafast") << QStringLiteral("-b:v") << QStringLiteral("45M")
                             << QStringLiteral("-x265-params") << QStringLiteral("log-level=error:keyint=30")
                             << QStringLiteral("-tag:v") << QStringLiteral("hvc1")},
    };
    QList<QStringList> clips;
    for (const Kind& kind : kinds) {
        clips.append(makeClips(ffmpeg, folder, kind, 10));
        if (clips.last().isEmpty()) {
            std::fprintf(stderr, "cannot make the clips in %s\n", qPrintable(folder));
            return 1;
        }
    }

    thumbs::Preparer preparer;
    bool ok = true;
    std::printf("\n%d clips of each kind, %d rounds in turns; the median of each clip's time, then their mean.\n",
                int(clips.first().size()), rounds);
    std::printf("%-12s %10s %10s %7s   %10s %10s %7s\n", "kind", "ours ms", "theirs ms", "ratio", "ours cpu",
                "their cpu", "ratio");
    for (qsizetype k = 0; k < kinds.size(); ++k) {
        std::vector<std::vector<double>> ours(std::size_t(clips[k].size())), theirs(ours.size()),
            oursCpu(ours.size()), theirsCpu(ours.size());
        for (int round = 0; round < rounds; ++round) {
            for (qsizetype i = 0; i < clips[k].size(); ++i) {
                const QString& clip = clips[k][i];
                QElapsedTimer t;
                double cpu = threadCpuMs();
                t.start();
                const thumbs::Prepared p = preparer.prepare(QFile::encodeName(clip), 256, 256);
                ours[std::size_t(i)].push_back(t.nsecsElapsed() / 1e6);
                oursCpu[std::size_t(i)].push_back(threadCpuMs() - cpu);
                if (p.kind != thumbs::Prepared::Kind::Jpeg || !p.clip) {
                    std::fprintf(stderr, "%s: no thumbnail\n", qPrintable(clip));
                    return 1;
                }

                cpu = childrenCpuMs();
                t.start();
                if (!run(thumbnailer, {QStringLiteral("-i"), clip, QStringLiteral("-o"),
                                       output.filePath(QStringLiteral("thumbnail.png")), QStringLiteral("-s"),
                                       QStringLiteral("256")})) {
                    std::fprintf(stderr, "%s: ffmpegthumbnailer failed\n", qPrintable(clip));
                    return 1;
                }
                theirs[std::size_t(i)].push_back(t.nsecsElapsed() / 1e6);
                theirsCpu[std::size_t(i)].push_back(childrenCpuMs() - cpu);
            }
        }
        const auto mean = [](const std::vector<std::vector<double>>& perClip) {
            double sum = 0;
            for (const std::vector<double>& times : perClip)
                sum += median(times);
            return sum / double(perClip.size());
        };
        const double o = mean(ours), th = mean(theirs), oc = mean(oursCpu), tc = mean(theirsCpu);
        std::printf("%-12s %10.1f %10.1f %7.2f   %10.1f %10.1f %7.2f\n", kinds[k].title, o, th, o / th, oc, tc,
                    oc / tc);
        ok = ok && o <= th;
    }

    // The whole folder as the window fills it: the loader's workers, one per core up to four.
    QList<ThumbnailLoader::Job> jobs;
    for (const QStringList& kind : clips)
        for (const QString& clip : kind)
            jobs.append({int(jobs.size()), QFile::encodeName(clip)});
    ThumbnailLoader loader;
    QElapsedTimer t;
    const double cpu = processCpuMs();
    t.start();
    loader.start(jobs, 256, 256);
    int done = 0;
    while (done < jobs.size()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        while (loader.takeReady())
            ++done;
    }
    std::printf(
        "\nthe loader (%d workers) on all %d clips: %.1f ms a clip on the clock, %.1f ms processor time\n",
        loader.workerCount(), int(jobs.size()), t.nsecsElapsed() / 1e6 / double(jobs.size()),
        (processCpuMs() - cpu) / double(jobs.size()));
    std::printf("target: ours at most 1.0 x ffmpegthumbnailer's time a clip, on the clock: %s\n",
                ok ? "met" : "NOT met");
    return ok ? 0 : 2;
}
