#include "renaming/Names.h"
#include "renaming/Renamer.h"

#include "TestFiles.h"

#include <QDir>
#include <QMap>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>

using renaming::Move;
using renaming::Op;
using renaming::Renamer;
using renaming::Result;
using renaming::Step;

namespace {

// Every file of the given folders, hidden ones too, by path: its contents, permissions, time of change.
using Snapshot = QMap<QByteArray, QByteArray>;

Snapshot snapshot(const QList<QByteArray>& folders)
{
    Snapshot s;
    for (const QByteArray& folder : folders) {
        std::error_code gone;
        for (const auto& entry : std::filesystem::directory_iterator(folder.toStdString(), gone)) {
            struct stat st = {};
            ::stat(entry.path().c_str(), &st);
            std::string content;
            if (std::ifstream in(entry.path(), std::ios::binary); S_ISREG(st.st_mode))
                content.assign(std::istreambuf_iterator<char>(in), {});
            s[QByteArray::fromStdString(entry.path().native())] =
                QByteArray::fromStdString(content) + ' ' + QByteArray::number(st.st_mode, 8) + ' ' +
                QByteArray::number(st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec);
        }
    }
    return s;
}

QByteArray pathOf(const QTemporaryDir& dir)
{
    return QFile::encodeName(dir.path());
}

bool hasJournal(const QByteArray& state)
{
    return QDir(QFile::decodeName(state)).entryList({QStringLiteral("*.journal*")}, QDir::Files).size() > 0;
}

// Files named `names` in the folder, not readable by others and of one old time (which a copy must
// keep), each moved to its new name.
QList<Move> movesIn(const QByteArray& folder, const QList<QByteArray>& names,
                    const QList<QByteArray>& newNames)
{
    writeNamedFiles(folder, names);
    QList<Move> moves;
    const struct timespec times[2] = {{1000000000, 0}, {1234567890, 123456789}};
    for (qsizetype i = 0; i < names.size(); ++i) {
        moves.append({folder + '/' + names[i], newNames[i]});
        ::chmod(moves.last().source.constData(), 0640);
        ::utimensat(AT_FDCWD, moves.last().source.constData(), times, 0);
    }
    return moves;
}

// The folders as the moves leave them.
Snapshot moved(Snapshot files, const QList<Move>& moves, const QByteArray& target)
{
    Snapshot after;
    for (const Move& m : moves)
        after[target + '/' + m.newName] = files.take(m.source);
    after.insert(files);
    return after;
}

// Changes a folder: "+name" writes a file, "-name" removes one, "/name" puts a folder in its place.
void change(const QByteArray& folder, const QByteArray& how)
{
    const QByteArray path = folder + '/' + how.mid(1);
    if (how.startsWith('-') || how.startsWith('/'))
        QCOMPARE(::unlink(path.constData()), 0);
    if (how.startsWith('/'))
        QCOMPARE(::mkdir(path.constData(), 0755), 0);
    if (how.startsWith('+'))
        writeFile(QFile::decodeName(path), "edited, a bit longer");
}

// Kinds of runs on a small folder: the way through temporary names and straight to free names,
// each fallback of a file system that refuses the no-replace rename, another folder and another
// file system.
enum class Kind { Rotation, FreshNames, LinkFallback, LookupFallback, CameraCard, OtherFolder, OtherFileSystem };

bool otherFileSystemAvailable()
{
    struct stat a{};
    struct stat b{};
    return ::stat("/dev/shm", &a) == 0 && ::stat(QFile::encodeName(QDir::tempPath()).constData(), &b) == 0 &&
           a.st_dev != b.st_dev;
}

struct Scenario
{
    explicit Scenario(Kind kind) : kind(kind)
    {
        QList<QByteArray> names{"img0001.jpg", "img0002.jpg", "img0003.jpg"};
        QList<QByteArray> newNames{"img0002.jpg", "img0003.jpg", "img0001.jpg"};
        if (kind == Kind::FreshNames || kind == Kind::OtherFileSystem) // the records hold such names too
            names = {"c d.jpg", "a%20.jpg", "b\n.jpg"};
        if (kind == Kind::OtherFolder)
            names = {"img0001.jpg", "a.jpg", "b.jpg"}; // the first keeps its name in the other folder
        if (kind == Kind::FreshNames || kind == Kind::OtherFolder || kind == Kind::OtherFileSystem)
            newNames = {"img0001.jpg", "img0002.jpg", "img0003.jpg"};
        if (kind == Kind::OtherFileSystem)
            source = std::make_unique<QTemporaryDir>(QStringLiteral("/dev/shm/tessaline-test-XXXXXX"));
        from = pathOf(*source);
        to = kind == Kind::OtherFolder || kind == Kind::OtherFileSystem ? pathOf(target) : from;
        moves = movesIn(from, names, newNames);
        before = now();
        after = moved(before, moves, to);
    }

    // A file system that refuses the no-replace flag, and links too, as the hook makes it refuse.
    Renamer renamer(std::function<int(const Step&)> fault = {}) const
    {
        Renamer r(pathOf(state));
        r.setInodeNumbersIgnored(kind == Kind::CameraCard);
        const bool noLinks = kind == Kind::LookupFallback || kind == Kind::CameraCard;
        const bool refused = noLinks || kind == Kind::LinkFallback;
        r.setStepHook([fault, refused, noLinks](const Step& s) {
            if (const int e = fault ? fault(s) : 0)
                return e;
            return (refused && s.op == Op::RenameNoReplace) ? EINVAL : (noLinks && s.op == Op::Link) ? EPERM : 0;
        });
        return r;
    }
    // The run in a child process, which the hook may end dead with _exit(42); its exit status.
    int runInChild(std::function<int(const Step&)> hook) const
    {
        const pid_t child = ::fork();
        if (child == 0)
            ::_exit(renamer(std::move(hook)).run(moves, to).ok() ? 0 : 1);
        int status = 0;
        return child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    Snapshot now() const { return snapshot({from, to}); }

    Kind kind;
    QTemporaryDir state;
    QTemporaryDir target;
    std::unique_ptr<QTemporaryDir> source = std::make_unique<QTemporaryDir>();
    QByteArray from;
    QByteArray to;
    QList<Move> moves;
    Snapshot before;
    Snapshot after;
};

// In a run that fails, the fifth no-replace rename: the second new name, after the temporary ones.
int failingRename(const Step& step, int* renames)
{
    return step.op == Op::RenameNoReplace && ++*renames == 5 ? EIO : 0;
}

void addKinds(bool failing)
{
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<bool>("fails"); // a rename fails, so that the run goes back
    QTest::newRow("rotation through temporary names") << Kind::Rotation << false;
    QTest::newRow("straight to free names") << Kind::FreshNames << false;
    QTest::newRow("no-replace flag refused: link and unlink") << Kind::LinkFallback << false;
    QTest::newRow("flag and links refused: lookup, then rename") << Kind::LookupFallback << false;
    // Files of equal size and time, told apart by their names only.
    QTest::newRow("camera card: no links, no lasting inode numbers") << Kind::CameraCard << false;
    QTest::newRow("into another folder") << Kind::OtherFolder << false;
    if (otherFileSystemAvailable()) // /dev/shm
        QTest::newRow("into another file system") << Kind::OtherFileSystem << false;
    if (failing) {
        QTest::newRow("rotation, going back") << Kind::Rotation << true;
        QTest::newRow("camera card, going back") << Kind::CameraCard << true;
    }
}

// The steps of a scenario's run, which must fail exactly when `fails`.
int stepsOf(Kind kind, bool fails)
{
    const Scenario s(kind);
    int steps = 0;
    int renames = 0;
    const Result result = s.renamer([&](const Step& step) {
                               ++steps;
                               return fails ? failingRename(step, &renames) : 0;
                           }).run(s.moves, s.to);
    return result.ok() != fails ? steps : -1;
}

} // namespace

class TestRenaming : public QObject
{
    Q_OBJECT
private slots:
    // Four digits at least; the extension as configured; without a prefix, the number goes in front of
    // the old name, whose bytes stay as they are.
    void names()
    {
        QCOMPARE(renaming::newName("", 2, "jpg", "/p/a.JPG"), "0002 a.JPG");
        QCOMPARE(renaming::newName("Urlaub ", 1, "jpg", "/p/x.jpg"), "Urlaub 0001.jpg");
        QCOMPARE(renaming::newName("img", 3, "JPG", "/p/x.jpg"), "img0003.JPG");
        QCOMPARE(renaming::newName("img", 10000, "jpg", "/p/x.jpg"), "img10000.jpg");
        QCOMPARE(renaming::newName("", 10001, "jpg", "/p/M\xfcnchen.jpg"), "10001 M\xfcnchen.jpg");
    }

    // With a prefix, the files shown are numbered in one sequence, each keeping the extension of
    // the first setting entry it matches as spelt there, or its own where that entry is a pattern.
    void keptExtension_data()
    {
        QTest::addColumn<QByteArray>("setting");
        QTest::addColumn<QList<QByteArray>>("names");
        QTest::addColumn<QList<QByteArray>>("expected");
        QTest::newRow("camera and phone") << QByteArray("jpg;jpeg;heic")
                                          << QList<QByteArray>{"a.JPG", "b.jpeg", "c.heic", "portrait.heic"}
                                          << QList<QByteArray>{"img0001.jpg", "img0002.jpeg", "img0003.heic",
                                                               "img0004.heic"};
        QTest::newRow("as spelt in the setting") << QByteArray("JPG; Heic") << QList<QByteArray>{"a.jpg", "b.HEIC"}
                                                 << QList<QByteArray>{"img0001.JPG", "img0002.Heic"};
        QTest::newRow("pattern keeps the file's own") << QByteArray("jp*") << QList<QByteArray>{"a.JPG", "b.jpeg"}
                                                      << QList<QByteArray>{"img0001.JPG", "img0002.jpeg"};
        QTest::newRow("everything") << QByteArray("*") << QList<QByteArray>{"x.tar.gz", "y.PNG"}
                                    << QList<QByteArray>{"img0001.gz", "img0002.PNG"};
        QTest::newRow("pattern first") << QByteArray("jp*;jpg") << QList<QByteArray>{"a.JPG"}
                                       << QList<QByteArray>{"img0001.JPG"};
        QTest::newRow("plain entry first") << QByteArray("jpg;jp*") << QList<QByteArray>{"a.JPG", "b.jpeg"}
                                           << QList<QByteArray>{"img0001.jpg", "img0002.jpeg"};
        QTest::newRow("matching nothing") << QByteArray("jpg") << QList<QByteArray>{"x.png"}
                                          << QList<QByteArray>{"img0001.png"};
    }
    void keptExtension()
    {
        QFETCH(QByteArray, setting);
        QFETCH(QList<QByteArray>, names);
        const platform::ExtensionPattern extensions(setting);
        QList<QByteArray> renamed;
        for (qsizetype i = 0; i < names.size(); ++i)
            renamed.append(renaming::newName("img", int(i + 1), renaming::keptExtension(extensions, names[i]),
                                             "/p/" + names[i]));
        QTEST(renamed, "expected");
    }

    // Runs that rename, and runs refused before anything is renamed.
    void renamesAllOrRefusesUntouched_data()
    {
        QTest::addColumn<QList<QByteArray>>("names");
        QTest::addColumn<QList<QByteArray>>("newNames");
        QTest::addColumn<QByteArray>("change"); // before the run (see change())
        QTest::addColumn<QString>("refusal");   // empty: the run renames
        const auto row = [](const char* what, const QList<QByteArray>& names,
                            const QList<QByteArray>& newNames, const char* change = "",
                            const char* refusal = "") {
            QTest::newRow(what) << names << newNames << QByteArray(change) << QString::fromUtf8(refusal);
        };
        const QList<QByteArray> numbered{"img0001.jpg", "img0002.jpg", "img0003.jpg", "img0004.jpg",
                                         "img0005.jpg"};
        row("reversed", numbered, {numbered.crbegin(), numbered.crend()});
        row("new names taken by later files", {"img0002.jpg", "img0003.jpg", "zz.jpg"}, numbered.mid(0, 3));
        row("names not UTF-8", {"M\xfcnchen.jpg", "\xff\xfe.jpg"},
            {"0001 M\xfcnchen.jpg", "0002 \xff\xfe.jpg"});
        row("every file already has its name", numbered.mid(0, 2), numbered.mid(0, 2));
        const QList<QByteArray> abc{"a.jpg", "b.jpg", "c.jpg"};
        const QList<QByteArray> free{"n1.jpg", "n2.jpg", "n3.jpg"};
        row("new name held by a file outside the run", abc, {"b.jpg", "img0002.jpg", "a.jpg"}, "+img0002.jpg",
            "Den Namen \"img0002.jpg\" trägt in");
        row("a new name another file keeps", abc, {"a.jpg", "a.jpg", "z.jpg"}, "",
            "sollen beide \"a.jpg\" heißen");
        row("slash in the name", abc, {"2024/img0001.jpg", "n2.jpg", "n3.jpg"}, "", "Schrägstrich");
        row("NUL in the name", abc, {QByteArray("n\0.jpg", 6), "n2.jpg", "n3.jpg"}, "", "Nullzeichen");
        row("name too long", abc, {QByteArray(252, 'x') + ".jpg", "n2.jpg", "n3.jpg"}, "", "256 Bytes");
        row("empty name", abc, {"", "n2.jpg", "n3.jpg"}, "", "kein gültiger Name");
        row("source vanished", abc, free, "-b.jpg", "b.jpg\" ist nicht mehr da");
        row("source now a folder", abc, free, "/b.jpg", "b.jpg\" ist keine gewöhnliche Datei");
        row("target folder missing", abc, free, "gone/", "ist nicht erreichbar");
    }
    void renamesAllOrRefusesUntouched()
    {
        QFETCH(QList<QByteArray>, names);
        QFETCH(QList<QByteArray>, newNames);
        QFETCH(QByteArray, change);
        QFETCH(QString, refusal);
        QTemporaryDir dir;
        QTemporaryDir state;
        const QByteArray folder = pathOf(dir);
        const QList<Move> moves = movesIn(folder, names, newNames);
        ::change(folder, change);
        const Snapshot before = snapshot({folder});
        Renamer r(pathOf(state));
        // A target ending in "/" as well.
        const Result result = r.run(moves, folder + '/' + (change.endsWith('/') ? change : QByteArray()));
        const Snapshot expected = refusal.isEmpty() ? moved(before, moves, folder) : before;
        QCOMPARE(snapshot({folder}), expected);
        QVERIFY(!hasJournal(pathOf(state)));
        QCOMPARE(r.hasUndo(), expected != before);
        QCOMPARE(result.outcome, refusal.isEmpty() ? Result::Outcome::Done : Result::Outcome::Refused);
        QVERIFY2(refusal.isEmpty() || (result.message.startsWith("Es wurde nichts umbenannt.") &&
                                       result.message.contains(refusal)),
                 qPrintable(result.message));
        for (const QByteArray& path : expected.keys())
            ::unlink(path.constData()); // QTemporaryDir cannot remove names that are not UTF-8
    }

    // Every step of a run fails in turn: the files end up all at their old names, or, where only
    // the bookkeeping after the last new name failed, all at their new ones.
    void faultAtEveryStep_data() { addKinds(false); }
    void faultAtEveryStep()
    {
        QFETCH(Kind, kind);
        const int steps = stepsOf(kind, false);
        QVERIFY(steps > 5);
        for (int k = 0; k < steps; ++k) {
            const Scenario s(kind);
            Op failed = Op::Rename;
            const Result result = s.renamer([&](const Step& step) {
                                       failed = step.index == k ? step.op : failed;
                                       return step.index == k ? EIO : 0;
                                   }).run(s.moves, s.to);
            const Snapshot now = s.now();
            const QByteArray at = "step " + QByteArray::number(k) + ": " + result.message.toUtf8();
            QVERIFY2(result.message.contains("Input/output error"), at.constData());
            if (!result.ok()) {
                QVERIFY2(now == s.before && !hasJournal(pathOf(s.state)), at.constData());
                QVERIFY2(failed == Op::WriteJournal ? result.outcome == Result::Outcome::Refused
                                                    : result.outcome == Result::Outcome::RolledBack &&
                                                          result.message.contains("wieder ihre vorigen Namen"),
                         at.constData());
                continue;
            }
            // An original that could not be removed after its copy stays.
            QVERIFY2(failed == Op::WriteUndo || failed == Op::RemoveJournal || failed == Op::Unlink, at.constData());
            for (auto it = now.cbegin(); it != now.cend(); ++it)
                QVERIFY2(s.after.value(it.key(), s.before.value(it.key())) == it.value(), at.constData());
            for (auto it = s.after.cbegin(); it != s.after.cend(); ++it)
                QVERIFY2(now.value(it.key()) == it.value(), at.constData());
            if (failed == Op::RemoveJournal) {
                QCOMPARE(s.renamer().recover().size(), 1);
                QVERIFY(!hasJournal(pathOf(s.state)));
                QCOMPARE(s.now(), now);
            }
        }
    }

    // The process dies before each step, also while a failed run goes back. A start that cannot
    // reach the folder keeps the journal; the next start finishes or undoes the run, and a run it
    // finished can be undone.
    void killedAfterEveryStep_data() { addKinds(true); }
    void killedAfterEveryStep()
    {
        QFETCH(Kind, kind);
        QFETCH(bool, fails);
        const int steps = stepsOf(kind, fails);
        QVERIFY(steps > 5);
        int finished = 0;
        int undone = 0;
        for (int k = 0; k <= steps; ++k) {
            const Scenario s(kind);
            int renames = 0;
            const int status = s.runInChild([&](const Step& step) {
                if (step.index == k)
                    ::_exit(42);
                return fails ? failingRename(step, &renames) : 0;
            });
            QCOMPARE(status, k < steps ? 42 : fails ? 1 : 0);
            const QByteArray at = "killed at step " + QByteArray::number(k);
            if (hasJournal(pathOf(s.state))) { // the card pulled out before the next start
                const QByteArray away = s.from + "-away";
                QCOMPARE(::rename(s.from.constData(), away.constData()), 0);
                const QList<renaming::Notice> notices = s.renamer().recover();
                QVERIFY2(notices.size() == 1 && notices[0].problem &&
                             notices[0].text.contains("wieder erreichbar"),
                         at.constData());
                QVERIFY2(hasJournal(pathOf(s.state)), at.constData());
                QCOMPARE(::rename(away.constData(), s.from.constData()), 0);
            }

            Renamer r = s.renamer(); // the next start
            const QList<renaming::Notice> notices = r.recover();
            const Snapshot now = s.now();
            QVERIFY2(now == s.before || now == s.after, at.constData());
            QVERIFY2(!hasJournal(pathOf(s.state)), at.constData());
            for (const renaming::Notice& n : notices)
                QVERIFY2(!n.problem, QByteArray(at + ", " + n.text.toUtf8()).constData());
            if (now == s.before) {
                ++undone;
                continue;
            }
            ++finished;
            const Result back = r.undo();
            QVERIFY2(back.ok() && s.now() == s.before, qPrintable(back.message));
        }
        QVERIFY(finished > 1);
        QVERIFY(undone > 1);
    }

    void failedRollbackSaysWhereFilesAre()
    {
        const Scenario s(Kind::Rotation);
        int renames = 0;
        // The second new name fails, and so does the first step back.
        const Result result = s.renamer([&](const Step& step) {
                                   return step.op == Op::RenameNoReplace && (++renames == 5 || renames == 6) ? EACCES : 0;
                               }).run(s.moves, s.to);
        QCOMPARE(result.outcome, Result::Outcome::Incomplete);
        QVERIFY2(result.message.contains(QStringLiteral("\"%1/img0001.jpg\" liegt als \"%1/img0002.jpg\"")
                                             .arg(QString::fromUtf8(s.from))) &&
                     result.message.contains("Permission denied"),
                 qPrintable(result.message));
        QVERIFY(hasJournal(pathOf(s.state)));
        const QList<renaming::Notice> notices = s.renamer().recover(); // the next start puts the rest back
        QCOMPARE(notices.size(), 1);
        QVERIFY2(notices[0].text.contains("rückgängig gemacht"), qPrintable(notices[0].text));
        QCOMPARE(s.now(), s.before);
        QVERIFY(!hasJournal(pathOf(s.state)));
    }

    void cancelPutsEverythingBack()
    {
        for (int at = 1; at <= 6; ++at) {
            const Scenario s(Kind::Rotation);
            Renamer r = s.renamer();
            QList<int> seen;
            r.setProgress([&](const renaming::Progress& p) {
                seen.append(p.steps == 6 ? p.file : -1);
                return p.step < at;
            });
            QCOMPARE(r.run(s.moves, s.to).outcome, Result::Outcome::Cancelled);
            QCOMPARE(s.now(), s.before);
            QVERIFY(!hasJournal(pathOf(s.state)));
            QCOMPARE(seen, (QList<int>{1, 2, 3, 1, 2, 3}.mid(0, at)));
        }
    }

    void undoAfterRestart_data()
    {
        QTest::addColumn<QByteArray>("change"); // after the run (see change())
        QTest::addColumn<QString>("reason");
        QTest::newRow("nothing") << QByteArray() << QString();
        QTest::newRow("a renamed file removed") << QByteArray("-img0002.jpg") << "img0002.jpg\" ist nicht mehr da";
        QTest::newRow("an old name taken by a new file") << QByteArray("+a%20.jpg") << "Den Namen \"a%20.jpg\" trägt in";
        QTest::newRow("a renamed file rewritten") << QByteArray("+img0001.jpg")
                                                  << "img0001.jpg\" wurde seit der Umbenennung verändert";
    }
    void undoAfterRestart()
    {
        QFETCH(QByteArray, change);
        QFETCH(QString, reason);
        const Scenario s(Kind::FreshNames);
        QVERIFY(s.renamer().run(s.moves, s.to).ok());
        ::change(s.to, change);
        const Snapshot before = s.now();

        Renamer r = s.renamer(); // another start of the program
        QVERIFY(r.hasUndo());
        const renaming::UndoPreview preview = r.undoPreview();
        QVERIFY(preview.recorded);
        QCOMPARE(preview.moves.size(), 3);
        QCOMPARE(preview.moves[0].from, s.to + "/img0001.jpg");
        QCOMPARE(preview.moves[0].to, s.from + "/c d.jpg");
        const Result result = r.undo();
        QCOMPARE(preview.possible, reason.isEmpty());
        QVERIFY2(preview.reason.contains(reason), qPrintable(preview.reason));
        QCOMPARE(result.outcome, reason.isEmpty() ? Result::Outcome::Done : Result::Outcome::Refused);
        QCOMPARE(s.now(), reason.isEmpty() ? s.before : before);
        QCOMPARE(r.hasUndo(), !reason.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestRenaming)
#include "tst_renaming.moc"
