#include "renaming/Renamer.h"

#include "TestFiles.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <sys/mount.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <memory>

using renaming::Move;
using renaming::Renamer;
using renaming::Result;

// Whether a copy into another file system fits is asked of that file system itself: a small one is
// mounted for each case and filled up to the room the case leaves, and a run copies photos into it
// from the test's folder. Mounting needs root; without it, or where the machine does not allow a
// kind of file system, the case is skipped.

namespace {

// A file system mounted for a test, unmounted when it goes: a tmpfs (4 KiB blocks), or an image of
// ext2 (1 KiB blocks, half of them kept for root) or FAT (1 KiB clusters, no inodes to count) on a
// loop device.
class Mount
{
public:
    explicit Mount(const QString& kind)
    {
        const QString image = m_dir.filePath(QStringLiteral("image"));
        const QString at = m_dir.filePath(QStringLiteral("fs"));
        path = QFile::encodeName(at);
        if (!QDir().mkpath(at))
            return;
        if (kind == "tmpfs")
            m_mounted = run({"mount", "-t", "tmpfs", "-o", "size=400k,nr_inodes=64", "tessaline-test", at});
        else if (run(kind == "ext2" ? QStringList{"mke2fs", "-q", "-F", "-t", "ext2", "-b", "1024", "-m",
                                                  "50", "-N", "64", image, "1024"}
                                    : QStringList{"mkfs.fat", "-C", "-S", "512", "-s", "2", image, "1024"}))
            m_mounted = run({"mount", "-o", "loop", image, at});
    }
    ~Mount()
    {
        if (m_mounted)
            ::umount2(path.constData(), MNT_DETACH);
    }

    QByteArray path;
    QString failure; // why it could not be mounted

private:
    bool run(const QStringList& command)
    {
        QProcess p;
        p.start(command.first(), command.mid(1));
        if (p.waitForFinished(20000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0)
            return true;
        failure = command.first() + QStringLiteral(": ") + p.errorString() + u' ' + p.readAllStandardError();
        return false;
    }

    QTemporaryDir m_dir;
    bool m_mounted = false;
};

// What an unprivileged user has left there: f_bavail blocks of f_frsize bytes, f_favail files.
struct statvfs freeIn(const QByteArray& folder)
{
    struct statvfs v
    {
    };
    ::statvfs(folder.constData(), &v);
    return v;
}

// Appends zeros (never holes) to a file.
bool grow(const QByteArray& path, qint64 bytes)
{
    QFile file(QFile::decodeName(path));
    return file.open(QIODevice::Append) && file.write(QByteArray(bytes, '\0')) == bytes && file.flush();
}

// Fills a file system until exactly `units` blocks are left: most in one file, the last few a
// block at a time into a small file (whose blocks need no blocks of pointers besides).
bool leaveUnits(const QByteArray& folder, qint64 units)
{
    struct statvfs v = freeIn(folder);
    const qint64 unit = qint64(v.f_frsize);
    if (qint64(v.f_bavail) - units > 8 && !grow(folder + "/filler", (qint64(v.f_bavail) - units - 8) * unit))
        return false;
    while (qint64((v = freeIn(folder)).f_bavail) > units)
        if (!grow(folder + "/filler-end", unit))
            return false;
    return qint64(v.f_bavail) == units;
}

bool leaveFiles(const QByteArray& folder, qint64 files)
{
    for (int k = 0; qint64(freeIn(folder).f_favail) > files; ++k)
        touch(folder + "/used-" + QByteArray::number(k));
    return qint64(freeIn(folder).f_favail) == files;
}

} // namespace

class TestFreeSpace : public QObject
{
    Q_OBJECT
private slots:
    // Twenty photos of 5000 bytes copied into the file system. They need a block for the folder,
    // their blocks and those of their folder entries (as many as FAT needs for their temporary and
    // their new names, 256 bytes each): on tmpfs 1 + 20 * 2 + 2 blocks of 4 KiB, on ext2 and FAT
    // 1 + 20 * 5 + 5 blocks of 1 KiB. A run that does not fit is refused before anything moves;
    // one that fits exactly is done.
    void copyFitsOrIsRefused_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<qint64>("units");    // left free; -1: as it comes
        QTest::addColumn<qint64>("files");    // left free; -1: as it comes
        QTest::addColumn<QString>("refusal"); // empty: done
        QTest::newRow("tmpfs, room for exactly the copy") << "tmpfs" << qint64(43) << qint64(-1) << QString();
        QTest::newRow("tmpfs, a block less")
            << "tmpfs" << qint64(42) << qint64(-1)
            << "ist nicht genug Platz: 172 KB werden gebraucht, 168 KB sind frei.";
        QTest::newRow("ext2, room for exactly the copy") << "ext2" << qint64(106) << qint64(-1) << QString();
        QTest::newRow("ext2, a block less, more kept for root")
            << "ext2" << qint64(105) << qint64(-1)
            << "ist nicht genug Platz: 106 KB werden gebraucht, 105 KB sind frei.";
        QTest::newRow("tmpfs, a file each") << "tmpfs" << qint64(-1) << qint64(20) << QString();
        QTest::newRow("tmpfs, a file less")
            << "tmpfs" << qint64(-1) << qint64(19)
            << "können nur noch 19 Dateien angelegt werden, gebraucht werden 20.";
        QTest::newRow("tmpfs, no file left")
            << "tmpfs" << qint64(-1) << qint64(0)
            << "können nur noch 0 Dateien angelegt werden, gebraucht werden 20.";
        QTest::newRow("FAT counts no files") << "vfat" << qint64(-1) << qint64(-1) << QString();
    }
    void copyFitsOrIsRefused()
    {
        QFETCH(QString, kind);
        QFETCH(qint64, units);
        QFETCH(qint64, files);
        QFETCH(QString, refusal);
        if (::geteuid() != 0)
            QSKIP("mounting a file system needs root");
        const auto target = std::make_unique<Mount>(kind);
        if (!target->failure.isEmpty())
            QSKIP(qPrintable(target->failure));
        QTemporaryDir sources;
        QTemporaryDir state;
        const QByteArray from = QFile::encodeName(sources.path());
        QList<Move> moves;
        for (int k = 1; k <= 20; ++k) {
            const QByteArray name = "DSC" + QByteArray::number(k).rightJustified(4, '0') + ".JPG";
            writeFile(QFile::decodeName(from + '/' + name), QByteArray(5000, char('a' + k)));
            moves.append({from + '/' + name, "img" + QByteArray::number(k).rightJustified(4, '0') + ".jpg"});
        }
        if (files >= 0)
            QVERIFY(leaveFiles(target->path, files));
        if (units >= 0)
            QVERIFY(leaveUnits(target->path, units));
        const QStringList before = QDir(QFile::decodeName(target->path)).entryList(QDir::Files);

        Renamer r(QFile::encodeName(state.path()));
        const Result result = r.run(moves, target->path);
        const QStringList arrived = QDir(QFile::decodeName(target->path)).entryList({"img*"}, QDir::Files);
        if (refusal.isEmpty()) {
            QVERIFY2(result.ok(), qPrintable(result.message));
            QCOMPARE(arrived.size(), 20);
            QCOMPARE(QDir(sources.path()).entryList(QDir::Files).size(), 0);
            QFile last(QFile::decodeName(target->path) + QStringLiteral("/img0020.jpg"));
            QVERIFY(last.open(QIODevice::ReadOnly));
            QCOMPARE(last.readAll(), QByteArray(5000, char('a' + 20)));
        } else {
            QCOMPARE(result.outcome, Result::Outcome::Refused);
            QVERIFY2(result.message.contains(refusal), qPrintable(result.message));
            QCOMPARE(QDir(sources.path()).entryList(QDir::Files).size(), 20);
            QCOMPARE(QDir(QFile::decodeName(target->path)).entryList(QDir::Files), before);
        }
    }
};

QTEST_GUILESS_MAIN(TestFreeSpace)
#include "tst_freespace.moc"
