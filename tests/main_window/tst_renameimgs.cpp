#include "main_window/ThumbCanvas.h"
#include "main_window/frmmain.h"
#include "platform/FileNames.h"
#include "platform/Screen.h"
#include "renaming/Renamer.h"

#include "ScriptedDialogs.h"
#include "TestFiles.h"

#include <QApplication>
#include <QDir>
#include <QMap>
#include <QMenu>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <dirent.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using Folder = QMap<QByteArray, QByteArray>; // name -> contents


Folder contents(const QByteArray& folder)
{
    Folder files;
    DIR* dir = ::opendir(folder.constData());
    while (const dirent* e = dir ? ::readdir(dir) : nullptr) {
        const QByteArray name(e->d_name);
        if (name == "." || name == "..")
            continue;
        QByteArray content;
        const int fd = ::open(QByteArray(folder + '/' + name).constData(), O_RDONLY | O_CLOEXEC);
        char buffer[256];
        for (ssize_t n; fd >= 0 && (n = ::read(fd, buffer, sizeof buffer)) > 0;)
            content.append(buffer, n);
        ::close(fd);
        files.insert(name, content);
    }
    if (dir)
        ::closedir(dir);
    return files;
}

// Lists the folder in the window and arranges the display order by file name.
bool show(frmmain& w, const QByteArray& folder, const QList<QByteArray>& shown)
{
    QSignalSpy built(&w, &frmmain::viewBuilt);
    w.openFolder(platform::decodeName(folder));
    if (!built.wait())
        return false;
    QList<int> order;
    for (const QByteArray& name : shown) {
        for (int i = 1; i < w.picScroll->count(); ++i)
            if (w.picScroll->element(i).nativePath == folder + '/' + name)
                order.append(i);
    }
    order.append(w.order.last());
    if (order.size() != w.order.size())
        return false;
    w.order = order;
    return true;
}

// The names the boxes stand for now, in display order.
QList<QByteArray> shownPaths(const frmmain& w)
{
    QList<QByteArray> paths;
    for (qsizetype k = 0; k + 1 < w.order.size(); ++k)
        paths.append(w.picScroll->element(w.order[k]).nativePath);
    return paths;
}

QByteArray pathOf(const QTemporaryDir& dir)
{
    return QFile::encodeName(dir.path());
}

} // namespace

class TestRenameImgs : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); }

    // Every test keeps its runs and undo records to itself.
    void init()
    {
        m_state = std::make_unique<QTemporaryDir>();
        qputenv("XDG_STATE_HOME", pathOf(*m_state));
    }

    void schemes_data()
    {
        QTest::addColumn<QList<QByteArray>>("shown"); // in display order
        QTest::addColumn<QString>("answer");          // empty: Cancel
        QTest::addColumn<QString>("extension");
        QTest::addColumn<QList<QByteArray>>("expected");
        const QList<QByteArray> cab{"c.jpg", "a.jpg", "b.jpg"};
        QTest::newRow("prefix img") << cab << QStringLiteral("img") << QStringLiteral("jpg")
                                    << QList<QByteArray>{"img0001.jpg", "img0002.jpg", "img0003.jpg"};
        QTest::newRow("Cancel: number in front") << cab << QString() << QStringLiteral("jpg")
                                                 << QList<QByteArray>{"0001 c.jpg", "0002 a.jpg", "0003 b.jpg"};
        QTest::newRow("prefix ending in a blank") << cab << QStringLiteral("Urlaub ") << QStringLiteral("jpg")
                                                  << QList<QByteArray>{"Urlaub 0001.jpg", "Urlaub 0002.jpg", "Urlaub 0003.jpg"};
        QTest::newRow("extension as configured") << QList<QByteArray>{"c.jpg", "a.JPG"} << QStringLiteral("img")
                                                 << QStringLiteral("JPG") << QList<QByteArray>{"img0001.JPG", "img0002.JPG"};
        QTest::newRow("numbered folder in reverse")
            << QList<QByteArray>{"img0003.jpg", "img0002.jpg", "img0001.jpg"} << QStringLiteral("img")
            << QStringLiteral("jpg") << QList<QByteArray>{"img0001.jpg", "img0002.jpg", "img0003.jpg"};
        QTest::newRow("name not UTF-8") << QList<QByteArray>{"\xfc.jpg", "a.jpg"} << QString() << QStringLiteral("jpg")
                                        << QList<QByteArray>{"0001 \xfc.jpg", "0002 a.jpg"};
    }
    void schemes()
    {
        QFETCH(QList<QByteArray>, shown);
        QFETCH(QString, answer);
        QFETCH(QString, extension);
        QFETCH(QList<QByteArray>, expected);
        QTemporaryDir dir;
        const QByteArray folder = pathOf(dir);
        writeNamedFiles(folder, shown);
        ScriptedDialogs dialogs;
        dialogs.inputAnswers.enqueue(answer);
        frmmain w;
        w.imageerw = extension;
        QVERIFY(show(w, folder, shown));
        const QList<int> order = w.order;
        QVERIFY(!w.mnuUndoRename->isEnabled());
        w.selectfolder = false;

        w.mnuRenameImgs->trigger();
        QCOMPARE(dialogs.prompts, QStringList{QStringLiteral("Dateiprefix ('xxxx.%1' wird automatisch angehängt)\n"
                                                             "Leer lassen, um die Nummerierung vorne an den "
                                                             "Dateinamen anzuhängen")
                                                  .arg(extension)});
        QVERIFY(dialogs.browseTitles.isEmpty());
        QCOMPARE(dialogs.messageTexts(), QStringList{QStringLiteral("Fertig")});
        QCOMPARE(dialogs.messages[0].icon, platform::MessageIcon::None);
        QCOMPARE(w.MousePointer(), platform::MousePointer::Default);
        Folder want;
        QList<QByteArray> paths;
        for (qsizetype i = 0; i < shown.size(); ++i) {
            want.insert(expected[i], shown[i]);
            paths.append(folder + '/' + expected[i]);
        }
        QCOMPARE(contents(folder), want);
        // Not built again, but every box follows its file.
        QCOMPARE(w.order, order);
        QCOMPARE(shownPaths(w), paths);
        QVERIFY(w.mnuUndoRename->isEnabled());
        for (const QByteArray& name : expected)
            ::unlink(QByteArray(folder + '/' + name).constData()); // names QTemporaryDir cannot remove
    }

    void chosenFolder()
    {
        QTemporaryDir dir;
        QTemporaryDir other;
        const QByteArray folder = pathOf(dir);
        writeNamedFiles(folder, {"a.jpg", "b.jpg"});
        ScriptedDialogs dialogs;
        frmmain w;
        QVERIFY(show(w, folder, {"b.jpg", "a.jpg"}));
        w.selectfolder = true;

        // Cancel in the folder browser ends it silently.
        w.mnuRenameImgs->trigger();
        QCOMPARE(dialogs.browseTitles, QStringList{QStringLiteral("Bitte wählen Sie den Zielordner aus.")});
        QVERIFY(dialogs.prompts.isEmpty());
        QVERIFY(dialogs.messages.isEmpty());
        QCOMPARE(contents(folder).keys(), (QList<QByteArray>{"a.jpg", "b.jpg"}));

        dialogs.folderAnswers.enqueue(other.path());
        w.mnuRenameImgs->trigger();
        QCOMPARE(dialogs.messageTexts(), QStringList{QStringLiteral("Fertig")});
        QVERIFY(contents(folder).isEmpty());
        QCOMPARE(contents(pathOf(other)), (Folder{{"img0001.jpg", "b.jpg"}, {"img0002.jpg", "a.jpg"}}));
        QCOMPARE(shownPaths(w), (QList<QByteArray>{pathOf(other) + "/img0001.jpg", pathOf(other) + "/img0002.jpg"}));
    }

    void nameHeldByAnotherFile()
    {
        QTemporaryDir dir;
        const QByteArray folder = pathOf(dir);
        writeNamedFiles(folder, {"a.jpg", "b.jpg"});
        ScriptedDialogs dialogs;
        frmmain w;
        w.selectfolder = false;
        QVERIFY(show(w, folder, {"a.jpg", "b.jpg"}));
        writeNamedFiles(folder, {"img0002.jpg"}); // after the folder was listed
        const Folder before = contents(folder);
        w.mnuRenameImgs->trigger();
        QCOMPARE(dialogs.messages.size(), 1);
        QVERIFY2(dialogs.messages[0].text.contains(QStringLiteral("Den Namen \"img0002.jpg\" trägt in")),
                 qPrintable(dialogs.messages[0].text));
        QCOMPARE(dialogs.messages[0].icon, platform::MessageIcon::Exclamation);
        QCOMPARE(contents(folder), before);
        QCOMPARE(shownPaths(w), (QList<QByteArray>{folder + "/a.jpg", folder + "/b.jpg"}));
        QCOMPARE(w.MousePointer(), platform::MousePointer::Default);
    }

    void secondRunThenUndo()
    {
        QTemporaryDir dir;
        const QByteArray folder = pathOf(dir);
        writeNamedFiles(folder, {"a.jpg", "b.jpg", "c.jpg"});
        ScriptedDialogs dialogs;
        frmmain w;
        w.selectfolder = false;
        QVERIFY(show(w, folder, {"c.jpg", "a.jpg", "b.jpg"}));
        w.mnuRenameImgs->trigger();
        const Folder first = contents(folder);
        // The boxes know their new names, so a new order renames them again; the one whose name
        // stays is left alone.
        std::reverse(w.order.begin(), w.order.end() - 1);
        w.mnuRenameImgs->trigger();
        QCOMPARE(contents(folder), (Folder{{"img0001.jpg", "b.jpg"}, {"img0002.jpg", "a.jpg"}, {"img0003.jpg", "c.jpg"}}));

        dialogs.questionAnswers.enqueue(false);
        w.mnuUndoRename->trigger();
        QCOMPARE(dialogs.questions.size(), 1);
        QVERIFY2(dialogs.questions[0].contains(QStringLiteral("2 Dateien in \"%1\" bekommen wieder ihre vorigen Namen:")
                                                   .arg(platform::decodeName(folder))),
                 qPrintable(dialogs.questions[0]));
        QVERIFY(dialogs.questions[0].contains(QStringLiteral("img0001.jpg \u2192 img0003.jpg")));
        QCOMPARE(contents(folder).value("img0001.jpg"), QByteArray("b.jpg")); // No: nothing happens

        w.mnuUndoRename->trigger();
        QCOMPARE(contents(folder), first);
        QCOMPARE(shownPaths(w), (QList<QByteArray>{folder + "/img0003.jpg", folder + "/img0002.jpg", folder + "/img0001.jpg"}));
        QVERIFY(!w.mnuUndoRename->isEnabled()); // one run back only
    }

    void undoRefusedWhenFilesChanged()
    {
        QTemporaryDir dir;
        const QByteArray folder = pathOf(dir);
        writeNamedFiles(folder, {"a.jpg", "b.jpg"});
        ScriptedDialogs dialogs;
        frmmain w;
        w.selectfolder = false;
        QVERIFY(show(w, folder, {"b.jpg", "a.jpg"}));
        w.mnuRenameImgs->trigger();
        QVERIFY(w.mnuUndoRename->isEnabled());
        ::unlink(QByteArray(folder + "/img0001.jpg").constData());
        emit w.mnuFile->aboutToShow();
        QVERIFY(!w.mnuUndoRename->isEnabled());
        QVERIFY2(w.mnuUndoRename->toolTip().contains(QStringLiteral("img0001.jpg\" ist nicht mehr da")),
                 qPrintable(w.mnuUndoRename->toolTip()));
        w.mnuUndoRename->trigger(); // disabled: nothing happens
        QCOMPARE(contents(folder), (Folder{{"img0002.jpg", "a.jpg"}}));
    }

    void interruptedRunIsFinishedAtStart()
    {
        QTemporaryDir dir;
        const QByteArray folder = pathOf(dir);
        writeNamedFiles(folder, {"img0001.jpg", "img0002.jpg"});
        const pid_t child = ::fork();
        if (child == 0) {
            renaming::Renamer r; // the state folder of the program
            r.setStepHook([](const renaming::Step& s) {
                if (s.op == renaming::Op::MarkJournal)
                    ::_exit(42); // every file has its temporary name
                return 0;
            });
            r.run({{folder + "/img0001.jpg", "img0002.jpg"}, {folder + "/img0002.jpg", "img0001.jpg"}}, folder);
            ::_exit(0);
        }
        int status = 0;
        QCOMPARE(::waitpid(child, &status, 0), child);
        QCOMPARE(WEXITSTATUS(status), 42);
        QCOMPARE(contents(folder).size(), 2);
        QVERIFY(!contents(folder).contains("img0001.jpg"));

        ScriptedDialogs dialogs;
        frmmain w;
        w.recoverInterruptedRenames();
        QCOMPARE(dialogs.messages.size(), 1);
        QVERIFY2(dialogs.messages[0].text.contains(QStringLiteral("wurde zu Ende geführt")), qPrintable(dialogs.messages[0].text));
        QCOMPARE(contents(folder), (Folder{{"img0001.jpg", "img0002.jpg"}, {"img0002.jpg", "img0001.jpg"}}));
        QVERIFY(w.mnuUndoRename->isEnabled());
    }

private:
    std::unique_ptr<QTemporaryDir> m_state;
};

QTEST_MAIN(TestRenameImgs)
#include "tst_renameimgs.moc"
