#include "renaming/Names.h"
#include "renaming/Renamer.h"

#include "TestFiles.h"

#include <QDir>
#include <QMap>
#include <QTemporaryDir>
#include <QTest>

#include <dirent.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <memory>

using renaming::Move;
using renaming::Op;
using renaming::Renamer;
using renaming::Result;
using renaming::Step;

namespace {

// Every file of the given folders, hidden ones too, by path, with its contents.
using Snapshot = QMap<QByteArray, QByteArray>;

Snapshot snapshot(const QList<QByteArray>& folders)
{
    Snapshot s;
    for (const QByteArray& folder : folders) {
        DIR* dir = ::opendir(folder.constData());
        if (!dir)
            continue;
        while (const dirent* e = ::readdir(dir)) {
            const QByteArray name(e->d_name);
            if (name == "." || name == "..")
                continue;
            const QByteArray path = folder + '/' + name;
            QByteArray content(e->d_type == DT_DIR ? "<folder>" : "");
            if (const int fd = e->d_type == DT_DIR ? -1 : ::open(path.constData(), O_RDONLY | O_CLOEXEC); fd >= 0) {
                char buffer[4096];
                for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;)
                    content.append(buffer, n);
                ::close(fd);
            }
            s.insert(path, content);
        }
        ::closedir(dir);
    }
    return s;
}

QList<QByteArray> filesIn(const QByteArray& folder)
{
    QList<QByteArray> names;
    for (const QByteArray& path : snapshot({folder}).keys())
        names.append(renaming::fileNameOf(path));
    return names;
}

int rm(const QByteArray& path)
{
    return ::unlink(path.constData());
}

int mv(const QByteArray& from, const QByteArray& to)
{
    return ::rename(from.constData(), to.constData());
}


QByteArray pathOf(const QTemporaryDir& dir)
{
    return QFile::encodeName(dir.path());
}

// What a file system may refuse, as the hook of a run makes it refuse.
enum class Refusal { None, NoReplaceFlag, NoReplaceFlagAndLinks };

int refuse(Refusal r, const Step& s)
{
    if (r != Refusal::None && s.op == Op::RenameNoReplace)
        return EINVAL;
    if (r == Refusal::NoReplaceFlagAndLinks && s.op == Op::Link)
        return EPERM;
    return 0;
}

// One run on a small folder, and the folder as it must look before and after it.
struct Scenario
{
    std::unique_ptr<QTemporaryDir> state = std::make_unique<QTemporaryDir>();
    std::unique_ptr<QTemporaryDir> source = std::make_unique<QTemporaryDir>();
    std::unique_ptr<QTemporaryDir> target; // another file system, when set
    QByteArray from;
    QByteArray to;
    QList<Move> moves;
    Snapshot before;
    Snapshot after;
    Refusal refusal = Refusal::None;
    bool noInodes = false;

    Renamer renamer(std::function<int(const Step&)> fault = {}) const
    {
        Renamer r(pathOf(*state));
        r.setInodeNumbersIgnored(noInodes);
        const Refusal how = refusal;
        r.setStepHook([how, fault](const Step& s) {
            if (fault)
                if (const int e = fault(s))
                    return e;
            return refuse(how, s);
        });
        return r;
    }
    Snapshot now() const { return snapshot({from, to}); }
    bool stateIsClean() const
    {
        for (const QByteArray& name : filesIn(pathOf(*state)))
            if (name.contains(".journal"))
                return false;
        return true;
    }
};

enum class Kind { Rotation, FreshNames, LinkFallback, LookupFallback, CameraCard, OtherFileSystem };

const QByteArray kShm = QByteArrayLiteral("/dev/shm");

bool otherFileSystemAvailable(const QByteArray& tempFolder)
{
    struct stat a{};
    struct stat b{};
    return ::stat(kShm.constData(), &a) == 0 && ::stat(tempFolder.constData(), &b) == 0 && a.st_dev != b.st_dev;
}

std::unique_ptr<Scenario> scenario(Kind kind)
{
    auto s = std::make_unique<Scenario>();
    s->from = pathOf(*s->source);
    s->to = s->from;
    QList<QByteArray> names{"img0001.jpg", "img0002.jpg", "img0003.jpg"};
    QList<QByteArray> newNames{"img0002.jpg", "img0003.jpg", "img0001.jpg"};
    if (kind == Kind::FreshNames || kind == Kind::OtherFileSystem) {
        names = {"c.jpg", "a.jpg", "b.jpg"};
        newNames = {"img0001.jpg", "img0002.jpg", "img0003.jpg"};
    }
    if (kind == Kind::OtherFileSystem) {
        s->target = std::make_unique<QTemporaryDir>();
        s->source = std::make_unique<QTemporaryDir>(QFile::decodeName(kShm) + QStringLiteral("/tessaline-test-XXXXXX"));
        s->from = pathOf(*s->source);
        s->to = pathOf(*s->target);
    }
    s->refusal = kind == Kind::LinkFallback ? Refusal::NoReplaceFlag
                 : kind == Kind::LookupFallback || kind == Kind::CameraCard ? Refusal::NoReplaceFlagAndLinks
                                                                            : Refusal::None;
    s->noInodes = kind == Kind::CameraCard;
    writeNamedFiles(s->from, names);
    s->before = s->now();
    for (qsizetype i = 0; i < names.size(); ++i) {
        s->moves.append({s->from + '/' + names[i], newNames[i]});
        s->after.insert(s->to + '/' + newNames[i], names[i]);
    }
    return s;
}

void addKinds()
{
    QTest::addColumn<Kind>("kind");
    QTest::newRow("rotation through temporary names") << Kind::Rotation;
    QTest::newRow("straight to free names") << Kind::FreshNames;
    QTest::newRow("no-replace flag refused: link and unlink") << Kind::LinkFallback;
    QTest::newRow("flag and links refused: lookup, then rename") << Kind::LookupFallback;
    // Files of equal size and time, told apart by their names only.
    QTest::newRow("camera card: no links, no lasting inode numbers") << Kind::CameraCard;
    QTest::newRow("into another file system") << Kind::OtherFileSystem;
}

int stepsOf(Kind kind)
{
    const auto s = scenario(kind);
    int steps = 0;
    Renamer r = s->renamer([&](const Step&) {
        ++steps;
        return 0;
    });
    return r.run(s->moves, s->to).ok() ? steps : -1;
}

bool noTemporaryNames(const Snapshot& s)
{
    for (const QByteArray& path : s.keys())
        if (renaming::fileNameOf(path).startsWith(".tessaline-"))
            return false;
    return true;
}

} // namespace

class TestRenaming : public QObject
{
    Q_OBJECT
private slots:
    void names_data()
    {
        QTest::addColumn<QByteArray>("prefix");
        QTest::addColumn<int>("i");
        QTest::addColumn<QByteArray>("extension");
        QTest::addColumn<QByteArray>("oldPath");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("prefix") << QByteArray("img") << 1 << QByteArray("jpg") << QByteArray("/p/c.jpg") << QByteArray("img0001.jpg");
        QTest::newRow("empty prefix: number in front") << QByteArray() << 2 << QByteArray("jpg") << QByteArray("/p/a.JPG") << QByteArray("0002 a.JPG");
        QTest::newRow("prefix ending in a blank") << QByteArray("Urlaub ") << 1 << QByteArray("jpg") << QByteArray("/p/x.jpg") << QByteArray("Urlaub 0001.jpg");
        QTest::newRow("extension as configured") << QByteArray("img") << 3 << QByteArray("JPG") << QByteArray("/p/x.jpg") << QByteArray("img0003.JPG");
        QTest::newRow("last four-digit number") << QByteArray("img") << 9999 << QByteArray("jpg") << QByteArray("/p/x.jpg") << QByteArray("img9999.jpg");
        QTest::newRow("10000th file: five digits") << QByteArray("img") << 10000 << QByteArray("jpg") << QByteArray("/p/x.jpg") << QByteArray("img10000.jpg");
        QTest::newRow("10001st file") << QByteArray() << 10001 << QByteArray("jpg") << QByteArray("/p/x.jpg") << QByteArray("10001 x.jpg");
        QTest::newRow("old name not UTF-8") << QByteArray() << 1 << QByteArray("jpg") << QByteArray("/p/M\xfcnchen.jpg") << QByteArray("0001 M\xfcnchen.jpg");
    }
    void names()
    {
        QFETCH(QByteArray, prefix);
        QFETCH(int, i);
        QFETCH(QByteArray, extension);
        QFETCH(QByteArray, oldPath);
        QFETCH(QByteArray, expected);
        QCOMPARE(renaming::newName(prefix, i, extension, oldPath), expected);
    }

    void separatorRule()
    {
        QCOMPARE(renaming::joinPath("/", "img0001.jpg"), QByteArray("/img0001.jpg"));
        QCOMPARE(renaming::joinPath("/home/b", "img0001.jpg"), QByteArray("/home/b/img0001.jpg"));
        QCOMPARE(renaming::joinPath("/home/b/", "img0001.jpg"), QByteArray("/home/b/img0001.jpg"));
        QCOMPARE(renaming::folderOf("/img0001.jpg"), QByteArray("/"));
    }

    void orders_data()
    {
        QTest::addColumn<QList<QByteArray>>("names");
        QTest::addColumn<QList<QByteArray>>("newNames");
        const QList<QByteArray> numbered{"img0001.jpg", "img0002.jpg", "img0003.jpg", "img0004.jpg", "img0005.jpg"};
        QTest::newRow("numbered folder renumbered in reverse")
            << numbered << QList<QByteArray>{"img0005.jpg", "img0004.jpg", "img0003.jpg", "img0002.jpg", "img0001.jpg"};
        QTest::newRow("rotation") << numbered
                                  << QList<QByteArray>{"img0002.jpg", "img0003.jpg", "img0004.jpg", "img0005.jpg", "img0001.jpg"};
        QTest::newRow("one swap, the others keep their names")
            << numbered << QList<QByteArray>{"img0001.jpg", "img0004.jpg", "img0003.jpg", "img0002.jpg", "img0005.jpg"};
        QTest::newRow("new names taken by later files")
            << QList<QByteArray>{"img0002.jpg", "img0003.jpg", "zz.jpg"}
            << QList<QByteArray>{"img0001.jpg", "img0002.jpg", "img0003.jpg"};
        QTest::newRow("names not UTF-8") << QList<QByteArray>{"M\xfcnchen.jpg", "\xff\xfe.jpg"}
                                         << QList<QByteArray>{"0001 M\xfcnchen.jpg", "0002 \xff\xfe.jpg"};
        QTest::newRow("every file already has its name") << QList<QByteArray>{"img0001.jpg", "img0002.jpg"}
                                                         << QList<QByteArray>{"img0001.jpg", "img0002.jpg"};
    }
    void orders()
    {
        QFETCH(QList<QByteArray>, names);
        QFETCH(QList<QByteArray>, newNames);
        QTemporaryDir dir;
        QTemporaryDir state;
        const QByteArray folder = pathOf(dir);
        writeNamedFiles(folder, names);
        QList<Move> moves;
        Snapshot expected;
        for (qsizetype i = 0; i < names.size(); ++i) {
            moves.append({folder + '/' + names[i], newNames[i]});
            expected.insert(folder + '/' + newNames[i], names[i]);
        }
        Renamer r(pathOf(state));
        const Result result = r.run(moves, folder + '/'); // a target ending in "/" as well
        QVERIFY2(result.ok(), qPrintable(result.message));
        QCOMPARE(snapshot({folder}), expected);
        QVERIFY(filesIn(pathOf(state)).join().indexOf(".journal") < 0);
        for (const QByteArray& path : expected.keys())
            rm(path); // QTemporaryDir cannot remove names that are not UTF-8
    }

    void refusals_data()
    {
        QTest::addColumn<QList<QByteArray>>("newNames");
        QTest::addColumn<QByteArray>("also");    // a file outside the run, or a folder with a slash
        QTest::addColumn<QString>("reason");
        const QList<QByteArray> free{"n1.jpg", "n2.jpg", "n3.jpg"};
        QTest::newRow("new name held by a file outside the run")
            << QList<QByteArray>{"b.jpg", "img0002.jpg", "a.jpg"} << QByteArray("img0002.jpg")
            << QStringLiteral("Den Namen \"img0002.jpg\" trägt in");
        QTest::newRow("two files, one new name")
            << QList<QByteArray>{"x.jpg", "y.jpg", "x.jpg"} << QByteArray() << QStringLiteral("sollen beide \"x.jpg\" heißen");
        QTest::newRow("a new name another file keeps")
            << QList<QByteArray>{"a.jpg", "a.jpg", "z.jpg"} << QByteArray() << QStringLiteral("sollen beide \"a.jpg\" heißen");
        QTest::newRow("slash in the name")
            << QList<QByteArray>{"2024/img0001.jpg", "n2.jpg", "n3.jpg"} << QByteArray() << QStringLiteral("Schrägstrich");
        QTest::newRow("NUL in the name")
            << QList<QByteArray>{QByteArray("n\0.jpg", 6), "n2.jpg", "n3.jpg"} << QByteArray() << QStringLiteral("Nullzeichen");
        QTest::newRow("name too long")
            << QList<QByteArray>{QByteArray(252, 'x') + ".jpg", "n2.jpg", "n3.jpg"} << QByteArray() << QStringLiteral("256 Bytes");
        QTest::newRow("empty name") << QList<QByteArray>{"", "n2.jpg", "n3.jpg"} << QByteArray() << QStringLiteral("kein gültiger Name");
        QTest::newRow("source vanished") << free << QByteArray("-b.jpg") << QStringLiteral("b.jpg\" ist nicht mehr da");
        QTest::newRow("source now a folder") << free << QByteArray("/b.jpg") << QStringLiteral("b.jpg\" ist keine gewöhnliche Datei");
        QTest::newRow("target folder missing") << free << QByteArray("!") << QStringLiteral("ist nicht erreichbar");
    }
    void refusals()
    {
        QFETCH(QList<QByteArray>, newNames);
        QFETCH(QByteArray, also);
        QFETCH(QString, reason);
        QTemporaryDir dir;
        QTemporaryDir state;
        const QByteArray folder = pathOf(dir);
        const QList<QByteArray> names{"a.jpg", "b.jpg", "c.jpg"};
        writeNamedFiles(folder, names);
        QByteArray target = folder;
        if (also.startsWith('-')) {
            QCOMPARE(rm(folder + '/' + also.mid(1)), 0);
        } else if (also.startsWith('/')) {
            QCOMPARE(rm(folder + also), 0);
            QVERIFY(QDir().mkdir(QFile::decodeName(folder + also)));
        } else if (also == "!") {
            target = folder + "/gone";
        } else if (!also.isEmpty()) {
            writeNamedFiles(folder, {also});
        }
        const Snapshot before = snapshot({folder});
        QList<Move> moves;
        for (qsizetype i = 0; i < names.size(); ++i)
            moves.append({folder + '/' + names[i], newNames[i]});
        Renamer r(pathOf(state));
        const Result result = r.run(moves, target);
        QCOMPARE(result.outcome, Result::Outcome::Refused);
        QVERIFY2(result.message.contains(reason), qPrintable(result.message));
        QVERIFY(result.message.startsWith(QStringLiteral("Es wurde nichts umbenannt.")));
        QCOMPARE(snapshot({folder}), before);
        QVERIFY(!r.hasUndo());
    }

    void faultAtEveryStep_data() { addKinds(); }
    void faultAtEveryStep()
    {
        QFETCH(Kind, kind);
        if (kind == Kind::OtherFileSystem && !otherFileSystemAvailable(QFile::encodeName(QDir::tempPath())))
            QSKIP("/dev/shm is not another file system here");
        const int steps = stepsOf(kind);
        QVERIFY(steps > 5);
        for (int k = 0; k < steps; ++k) {
            const auto s = scenario(kind);
            Op failed = Op::Rename;
            Renamer r = s->renamer([&](const Step& step) {
                if (step.index != k)
                    return 0;
                failed = step.op;
                return EIO;
            });
            const Result result = r.run(s->moves, s->to);
            const Snapshot now = s->now();
            const QByteArray at = "step " + QByteArray::number(k) + ": " + result.message.toUtf8();
            QVERIFY2(noTemporaryNames(now), at.constData());
            QVERIFY2(result.message.contains(QStringLiteral("Input/output error")), at.constData());
            if (!result.ok()) {
                QVERIFY2(now == s->before, at.constData());
                QVERIFY2(s->stateIsClean(), at.constData());
                if (failed == Op::WriteJournal)
                    QCOMPARE(result.outcome, Result::Outcome::Refused); // before the first rename
                else
                    QVERIFY2(result.outcome == Result::Outcome::RolledBack &&
                                 result.message.contains(QStringLiteral("Alle Dateien haben wieder ihre vorigen Namen.")),
                             at.constData());
                continue;
            }
            // Only the bookkeeping after the last new name may fail without a rollback: the files
            // have their names, and an original that could not be removed stays.
            QVERIFY2(failed == Op::WriteUndo || failed == Op::RemoveJournal || failed == Op::Unlink, at.constData());
            for (auto it = s->after.cbegin(); it != s->after.cend(); ++it)
                QVERIFY2(now.value(it.key()) == it.value(), at.constData());
            for (auto it = now.cbegin(); it != now.cend(); ++it)
                QVERIFY2(s->after.contains(it.key()) || s->before.value(it.key()) == it.value(), at.constData());
            if (failed == Op::RemoveJournal) {
                QVERIFY(!s->stateIsClean());
                QCOMPARE(s->renamer().recover().size(), 1);
                QVERIFY(s->stateIsClean());
                QCOMPARE(s->now(), now);
            }
        }
    }

    void killedAfterEveryStep_data() { addKinds(); }
    void killedAfterEveryStep()
    {
        QFETCH(Kind, kind);
        if (kind == Kind::OtherFileSystem && !otherFileSystemAvailable(QFile::encodeName(QDir::tempPath())))
            QSKIP("/dev/shm is not another file system here");
        const int steps = stepsOf(kind);
        QVERIFY(steps > 5);
        int finished = 0;
        int undone = 0;
        for (int k = 0; k <= steps; ++k) {
            const auto s = scenario(kind);
            const pid_t child = ::fork();
            QVERIFY(child >= 0);
            if (child == 0) {
                Renamer r = s->renamer([k](const Step& step) {
                    if (step.index == k)
                        ::_exit(42); // dead, in the middle of the run
                    return 0;
                });
                ::_exit(r.run(s->moves, s->to).ok() ? 0 : 1);
            }
            int status = 0;
            QCOMPARE(::waitpid(child, &status, 0), child);
            QVERIFY(WIFEXITED(status));
            QCOMPARE(WEXITSTATUS(status), k < steps ? 42 : 0);

            // The next start.
            Renamer r = s->renamer();
            const QList<renaming::Notice> notices = r.recover();
            const Snapshot now = s->now();
            const QByteArray at = "killed at step " + QByteArray::number(k) + ", " +
                                  (notices.isEmpty() ? QByteArray() : notices.first().text.toUtf8());
            QVERIFY2(now == s->before || now == s->after, at.constData());
            QVERIFY2(s->stateIsClean(), at.constData());
            for (const renaming::Notice& n : notices)
                QVERIFY2(!n.problem, at.constData());
            if (now == s->after) {
                ++finished;
                // A run that the next start finished can be undone like any other.
                const Result back = r.undo();
                QVERIFY2(back.ok(), qPrintable(back.message));
                QVERIFY2(s->now() == s->before, at.constData());
            } else {
                ++undone;
            }
        }
        QVERIFY(finished > 1);
        QVERIFY(undone > 1);
    }

    void failedRollbackSaysWhereFilesAre()
    {
        const auto s = scenario(Kind::Rotation);
        int renames = 0;
        Renamer r = s->renamer([&](const Step& step) {
            // The fifth rename (the second new name) fails, and so does the first one back.
            if (step.op == Op::RenameNoReplace && (++renames == 5 || renames == 6))
                return EACCES;
            return 0;
        });
        const Result result = r.run(s->moves, s->to);
        QCOMPARE(result.outcome, Result::Outcome::Incomplete);
        QVERIFY2(result.message.contains(QStringLiteral("\"%1/img0001.jpg\" liegt als \"%1/img0002.jpg\"").arg(QString::fromUtf8(s->from))),
                 qPrintable(result.message));
        QVERIFY(result.message.contains(QStringLiteral("Permission denied")));
        QVERIFY(!s->stateIsClean());
        // The next start puts the rest back.
        const QList<renaming::Notice> notices = s->renamer().recover();
        QCOMPARE(notices.size(), 1);
        QVERIFY2(notices[0].text.contains(QStringLiteral("rückgängig gemacht")), qPrintable(notices[0].text));
        QCOMPARE(s->now(), s->before);
        QVERIFY(s->stateIsClean());
    }

    void cancelPutsEverythingBack()
    {
        for (int at = 1; at <= 6; ++at) {
            const auto s = scenario(Kind::Rotation);
            Renamer r = s->renamer();
            QList<int> seen;
            r.setProgress([&](const renaming::Progress& p) {
                seen.append(p.steps == 6 ? p.file : -1);
                return p.step < at;
            });
            const Result result = r.run(s->moves, s->to);
            QCOMPARE(result.outcome, Result::Outcome::Cancelled);
            QCOMPARE(s->now(), s->before);
            QVERIFY(s->stateIsClean());
            QCOMPARE(seen, (QList<int>{1, 2, 3, 1, 2, 3}.mid(0, at)));
        }
    }

    void moveIntoAnotherFileSystemKeepsTimesAndPermissions()
    {
        QTemporaryDir target;
        if (!otherFileSystemAvailable(pathOf(target)))
            QSKIP("/dev/shm is not another file system here");
        QTemporaryDir source(QStringLiteral("/dev/shm/tessaline-test-XXXXXX"));
        QTemporaryDir state;
        const QByteArray from = pathOf(source);
        writeNamedFiles(from, {"c.jpg", "a.jpg"});
        writeFile(QFile::decodeName(from + "/big.jpg"), QByteArray(3 << 20, 'x'));
        QVERIFY(QFile::setPermissions(QFile::decodeName(from + "/a.jpg"), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
        const struct timespec times[2] = {{1000000000, 0}, {1234567890, 123456789}};
        QCOMPARE(::utimensat(AT_FDCWD, QByteArray(from + "/a.jpg").constData(), times, 0), 0);
        Renamer r(pathOf(state));
        const Result result = r.run({{from + "/c.jpg", "img0001.jpg"}, {from + "/a.jpg", "img0002.jpg"},
                                     {from + "/big.jpg", "img0003.jpg"}},
                                    pathOf(target));
        QVERIFY2(result.ok(), qPrintable(result.message));
        QCOMPARE(filesIn(from), QList<QByteArray>{});
        const Snapshot now = snapshot({pathOf(target)});
        QCOMPARE(now.keys().size(), 3);
        QCOMPARE(now.value(pathOf(target) + "/img0002.jpg"), QByteArray("a.jpg"));
        QCOMPARE(now.value(pathOf(target) + "/img0003.jpg").size(), 3 << 20);
        struct stat st{};
        QCOMPARE(::stat(QByteArray(pathOf(target) + "/img0002.jpg").constData(), &st), 0);
        QCOMPARE(st.st_mode & 07777, 0640u);
        QCOMPARE(st.st_mtim.tv_sec, 1234567890);
        QCOMPARE(st.st_mtim.tv_nsec, 123456789);
        // And back again.
        QVERIFY(r.undo().ok());
        QCOMPARE(snapshot({from}).value(from + "/a.jpg"), QByteArray("a.jpg"));
        QCOMPARE(filesIn(pathOf(target)), QList<QByteArray>{});
    }

    void tenThousandAndOneFiles()
    {
        QTemporaryDir dir;
        QTemporaryDir state;
        const QByteArray folder = pathOf(dir);
        QList<Move> moves;
        for (int i = 1; i <= 10001; ++i) {
            const QByteArray name = "f" + QByteArray::number(i).rightJustified(5, '0') + ".jpg";
            touch(folder + '/' + name);
            moves.append({folder + '/' + name, renaming::newName("img", i, "jpg", name)});
        }
        Renamer r(pathOf(state));
        const Result result = r.run(moves, folder);
        QVERIFY2(result.ok(), qPrintable(result.message));
        QList<QByteArray> names = filesIn(folder);
        QCOMPARE(names.size(), 10001);
        for (const char* name : {"img0001.jpg", "img9999.jpg", "img10000.jpg", "img10001.jpg"})
            QVERIFY2(names.contains(name), name);
        QVERIFY(!names.contains("img0000.jpg"));
    }

    void undoAfterRestart_data()
    {
        QTest::addColumn<QByteArray>("change"); // what happens to the folder after the run
        QTest::addColumn<QString>("reason");
        QTest::newRow("nothing") << QByteArray() << QString();
        QTest::newRow("a renamed file removed") << QByteArray("-img0002.jpg") << QStringLiteral("img0002.jpg\" ist nicht mehr da");
        QTest::newRow("an old name taken by a new file") << QByteArray("+a.jpg") << QStringLiteral("Den Namen \"a.jpg\" trägt in");
        QTest::newRow("a renamed file rewritten") << QByteArray("*img0001.jpg") << QStringLiteral("img0001.jpg\" wurde seit der Umbenennung verändert");
    }
    void undoAfterRestart()
    {
        QFETCH(QByteArray, change);
        QFETCH(QString, reason);
        QTemporaryDir dir;
        QTemporaryDir state;
        const QByteArray folder = pathOf(dir);
        writeNamedFiles(folder, {"c.jpg", "a.jpg", "b.jpg"});
        const Snapshot before = snapshot({folder});
        {
            Renamer r(pathOf(state));
            QVERIFY(!r.hasUndo());
            QVERIFY(r.run({{folder + "/c.jpg", "img0001.jpg"}, {folder + "/a.jpg", "img0002.jpg"},
                           {folder + "/b.jpg", "img0003.jpg"}},
                          folder)
                        .ok());
        }
        const QByteArray name = change.mid(1);
        if (change.startsWith('-'))
            QCOMPARE(rm(folder + '/' + name), 0);
        else if (change.startsWith('+'))
            writeNamedFiles(folder, {name});
        else if (change.startsWith('*'))
            writeFile(QFile::decodeName(folder + '/' + name), "edited, a bit longer");
        const Snapshot changed = snapshot({folder});

        Renamer r(pathOf(state)); // another start of the program
        QVERIFY(r.hasUndo());
        const renaming::UndoPreview preview = r.undoPreview();
        QVERIFY(preview.recorded);
        QCOMPARE(preview.moves.size(), 3);
        QCOMPARE(preview.moves[0].from, folder + "/img0001.jpg");
        QCOMPARE(preview.moves[0].to, folder + "/c.jpg");
        const Result result = r.undo();
        if (reason.isEmpty()) {
            QVERIFY(preview.possible);
            QVERIFY2(result.ok(), qPrintable(result.message));
            QCOMPARE(snapshot({folder}), before);
            QVERIFY(!r.hasUndo());
            return;
        }
        QVERIFY(!preview.possible);
        QVERIFY2(preview.reason.contains(reason), qPrintable(preview.reason));
        QCOMPARE(result.outcome, Result::Outcome::Refused);
        QCOMPARE(snapshot({folder}), changed);
        QVERIFY(r.hasUndo());
    }

    void unreachableFolderKeepsTheJournal()
    {
        QTemporaryDir root;
        QTemporaryDir state;
        const QByteArray card = pathOf(root) + "/card";
        QVERIFY(QDir().mkdir(QFile::decodeName(card)));
        writeNamedFiles(card, {"img0001.jpg", "img0002.jpg"});
        const Snapshot before = snapshot({card});
        const pid_t child = ::fork();
        if (child == 0) {
            Renamer r(pathOf(state));
            r.setStepHook([](const Step& s) {
                if (s.op == Op::MarkJournal)
                    ::_exit(42);
                return 0;
            });
            r.run({{card + "/img0001.jpg", "img0002.jpg"}, {card + "/img0002.jpg", "img0001.jpg"}}, card);
            ::_exit(0);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        QCOMPARE(WEXITSTATUS(status), 42);
        // The card is pulled out before the next start...
        QCOMPARE(mv(card, pathOf(root) + "/away"), 0);
        QList<renaming::Notice> notices = Renamer(pathOf(state)).recover();
        QCOMPARE(notices.size(), 1);
        QVERIFY(notices[0].problem);
        QVERIFY2(notices[0].text.contains(QStringLiteral("wieder erreichbar")), qPrintable(notices[0].text));
        // ...and back for the one after.
        QCOMPARE(mv(pathOf(root) + "/away", card), 0);
        notices = Renamer(pathOf(state)).recover();
        QCOMPARE(notices.size(), 1);
        QVERIFY(!notices[0].problem);
        const Snapshot now = snapshot({card});
        QVERIFY(now == before || now.value(card + "/img0001.jpg") == "img0002.jpg");
        QCOMPARE(now.size(), 2);
        QVERIFY(Renamer(pathOf(state)).recover().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestRenaming)
#include "tst_renaming.moc"
