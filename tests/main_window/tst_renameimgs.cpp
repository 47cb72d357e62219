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
        QFile file;
        const int fd = ::open(QByteArray(folder + '/' + name).constData(), O_RDONLY | O_CLOEXEC);
        files.insert(name, fd >= 0 && file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle) ? file.readAll()
                                                                                                        : QByteArray());
    }
    if (dir)
        ::closedir(dir);
    return files;
}

// Lists the folder in the window and puts the files into the display order given.
bool show(frmmain& w, const QByteArray& folder, const QList<QByteArray>& shown)
{
    QSignalSpy built(&w, &frmmain::viewBuilt);
    w.openFolder(platform::decodeName(folder));
    if (!built.wait())
        return false;
    QList<int> order;
    for (const QByteArray& name : shown)
        for (int i = 1; i < w.picScroll->count(); ++i)
            if (w.picScroll->element(i).nativePath == folder + '/' + name)
                order.append(i);
    order.append(w.order.last());
    if (order.size() != w.order.size())
        return false;
    w.order = order;
    return true;
}

// The names of the files in `folder` that the boxes stand for now, in display order.
QList<QByteArray> shownPaths(const frmmain& w, const QByteArray& folder)
{
    QList<QByteArray> paths;
    for (qsizetype k = 0; k + 1 < w.order.size(); ++k)
        paths.append(w.picScroll->element(w.order[k]).nativePath.mid(folder.size() + 1));
    return paths;
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
        qputenv("XDG_STATE_HOME", QFile::encodeName(m_state->path()));
        m_dir = std::make_unique<QTemporaryDir>();
        m_folder = QFile::encodeName(m_dir->path());
    }

    void schemes_data()
    {
        QTest::addColumn<QList<QByteArray>>("shown"); // in display order
        QTest::addColumn<QString>("answer");          // empty: Cancel
        QTest::addColumn<QString>("extension");
        QTest::addColumn<QList<QByteArray>>("expected");
        const QList<QByteArray> cab{"c.jpg", "a.jpg", "b.jpg"};
        QTest::newRow("prefix img") << cab << "img" << "jpg"
                                    << QList<QByteArray>{"img0001.jpg", "img0002.jpg", "img0003.jpg"};
        QTest::newRow("Cancel: number in front") << cab << QString() << "jpg"
                                                 << QList<QByteArray>{"0001 c.jpg", "0002 a.jpg", "0003 b.jpg"};
        QTest::newRow("prefix ending in a blank")
            << cab << "Urlaub " << "jpg" << QList<QByteArray>{"Urlaub 0001.jpg", "Urlaub 0002.jpg", "Urlaub 0003.jpg"};
        QTest::newRow("extension as configured")
            << QList<QByteArray>{"c.jpg", "a.JPG"} << "img" << "JPG" << QList<QByteArray>{"img0001.JPG", "img0002.JPG"};
        QTest::newRow("numbered folder in reverse") << QList<QByteArray>{"img0003.jpg", "img0002.jpg", "img0001.jpg"}
                                                    << "img" << "jpg"
                                                    << QList<QByteArray>{"img0001.jpg", "img0002.jpg", "img0003.jpg"};
        QTest::newRow("name not UTF-8") << QList<QByteArray>{"\xfc.jpg", "a.jpg"} << QString() << "jpg"
                                        << QList<QByteArray>{"0001 \xfc.jpg", "0002 a.jpg"};
    }
    void schemes()
    {
        QFETCH(QList<QByteArray>, shown);
        QFETCH(QString, answer);
        QFETCH(QString, extension);
        QFETCH(QList<QByteArray>, expected);
        writeNamedFiles(m_folder, shown);
        ScriptedDialogs dialogs;
        dialogs.inputAnswers.enqueue(answer);
        frmmain w;
        w.imageerw = extension;
        w.selectfolder = false;
        QVERIFY(show(w, m_folder, shown));
        const QList<int> order = w.order;
        QVERIFY(!w.mnuUndoRename->isEnabled());

        w.mnuRenameImgs->trigger();
        QVERIFY2(dialogs.prompts.value(0).startsWith(QStringLiteral("Dateiprefix ('xxxx.%1' wird").arg(extension)),
                 qPrintable(dialogs.prompts.value(0)));
        QVERIFY(dialogs.browseTitles.isEmpty());
        QCOMPARE(dialogs.messageTexts(), QStringList{"Fertig"});
        QCOMPARE(dialogs.messages[0].icon, platform::MessageIcon::None);
        QCOMPARE(w.MousePointer(), platform::MousePointer::Default);
        Folder want;
        for (qsizetype i = 0; i < shown.size(); ++i)
            want.insert(expected[i], shown[i]);
        QCOMPARE(contents(m_folder), want);
        // Not built again, but every box follows its file.
        QCOMPARE(w.order, order);
        QCOMPARE(shownPaths(w, m_folder), expected);
        QVERIFY(w.mnuUndoRename->isEnabled());
        for (const QByteArray& name : expected)
            ::unlink(QByteArray(m_folder + '/' + name).constData()); // names QTemporaryDir cannot remove
    }

    void chosenFolder()
    {
        QTemporaryDir other;
        const QByteArray target = QFile::encodeName(other.path());
        writeNamedFiles(m_folder, {"a.jpg", "b.jpg"});
        ScriptedDialogs dialogs;
        frmmain w;
        QVERIFY(show(w, m_folder, {"b.jpg", "a.jpg"}));
        w.selectfolder = true;
        w.mnuRenameImgs->trigger(); // Cancel in the folder browser ends it silently
        QCOMPARE(dialogs.browseTitles, QStringList{QStringLiteral("Bitte wählen Sie den Zielordner aus.")});
        QVERIFY(dialogs.prompts.isEmpty() && dialogs.messages.isEmpty());
        QCOMPARE(contents(m_folder).size(), 2);

        dialogs.folderAnswers.enqueue(other.path());
        w.mnuRenameImgs->trigger();
        QCOMPARE(dialogs.messageTexts(), QStringList{"Fertig"});
        QVERIFY(contents(m_folder).isEmpty());
        QCOMPARE(contents(target), (Folder{{"img0001.jpg", "b.jpg"}, {"img0002.jpg", "a.jpg"}}));
        QCOMPARE(shownPaths(w, target), (QList<QByteArray>{"img0001.jpg", "img0002.jpg"}));
    }

    void nameHeldByAnotherFile()
    {
        writeNamedFiles(m_folder, {"a.jpg", "b.jpg"});
        ScriptedDialogs dialogs;
        frmmain w;
        w.selectfolder = false;
        QVERIFY(show(w, m_folder, {"a.jpg", "b.jpg"}));
        writeNamedFiles(m_folder, {"img0002.jpg"}); // after the folder was listed
        const Folder before = contents(m_folder);
        w.mnuRenameImgs->trigger();
        QCOMPARE(dialogs.messages.size(), 1);
        QVERIFY2(dialogs.messages[0].text.contains(QStringLiteral("Den Namen \"img0002.jpg\" trägt in")),
                 qPrintable(dialogs.messages[0].text));
        QCOMPARE(dialogs.messages[0].icon, platform::MessageIcon::Exclamation);
        QCOMPARE(contents(m_folder), before);
        QCOMPARE(shownPaths(w, m_folder), (QList<QByteArray>{"a.jpg", "b.jpg"}));
        QCOMPARE(w.MousePointer(), platform::MousePointer::Default);
    }

    // The boxes know their new names, so a new order renames them again (the one whose name stays
    // is left alone); undo asks first, goes one run back only, and is refused once a file of the
    // run is gone.
    void secondRunThenUndo()
    {
        writeNamedFiles(m_folder, {"a.jpg", "b.jpg", "c.jpg"});
        ScriptedDialogs dialogs;
        frmmain w;
        w.selectfolder = false;
        QVERIFY(show(w, m_folder, {"c.jpg", "a.jpg", "b.jpg"}));
        w.mnuRenameImgs->trigger();
        const Folder first = contents(m_folder);
        std::reverse(w.order.begin(), w.order.end() - 1);
        w.mnuRenameImgs->trigger();
        QCOMPARE(contents(m_folder),
                 (Folder{{"img0001.jpg", "b.jpg"}, {"img0002.jpg", "a.jpg"}, {"img0003.jpg", "c.jpg"}}));

        dialogs.questionAnswers.enqueue(false);
        w.mnuUndoRename->trigger();
        QCOMPARE(dialogs.questions.size(), 1);
        QVERIFY2(dialogs.questions[0].contains(QStringLiteral("2 Dateien in \"%1\" bekommen wieder ihre vorigen Namen:")
                                                   .arg(platform::decodeName(m_folder))),
                 qPrintable(dialogs.questions[0]));
        QVERIFY(dialogs.questions[0].contains(QStringLiteral("img0001.jpg \u2192 img0003.jpg")));
        QCOMPARE(contents(m_folder).value("img0001.jpg"), QByteArray("b.jpg")); // No: nothing happens
        w.mnuUndoRename->trigger();
        QCOMPARE(contents(m_folder), first);
        QCOMPARE(shownPaths(w, m_folder), (QList<QByteArray>{"img0003.jpg", "img0002.jpg", "img0001.jpg"}));
        QVERIFY(!w.mnuUndoRename->isEnabled());

        w.mnuRenameImgs->trigger();
        QVERIFY(w.mnuUndoRename->isEnabled());
        ::unlink(QByteArray(m_folder + "/img0001.jpg").constData());
        emit w.mnuFile->aboutToShow();
        QVERIFY(!w.mnuUndoRename->isEnabled());
        QVERIFY2(w.mnuUndoRename->toolTip().contains(QStringLiteral("img0001.jpg\" ist nicht mehr da")),
                 qPrintable(w.mnuUndoRename->toolTip()));
    }

    // A run cut off when every file had its temporary name is finished at the next start.
    void interruptedRunIsFinishedAtStart()
    {
        writeNamedFiles(m_folder, {"img0001.jpg", "img0002.jpg"});
        const pid_t child = ::fork();
        if (child == 0) {
            renaming::Renamer r;
            r.setStepHook([](const renaming::Step& s) {
                if (s.op == renaming::Op::MarkJournal)
                    ::_exit(42);
                return 0;
            });
            r.run({{m_folder + "/img0001.jpg", "img0002.jpg"}, {m_folder + "/img0002.jpg", "img0001.jpg"}}, m_folder);
            ::_exit(0);
        }
        int status = 0;
        QCOMPARE(::waitpid(child, &status, 0), child);
        QCOMPARE(WEXITSTATUS(status), 42);
        QVERIFY(!contents(m_folder).contains("img0001.jpg"));

        ScriptedDialogs dialogs;
        frmmain w;
        w.recoverInterruptedRenames();
        QCOMPARE(dialogs.messages.size(), 1);
        QVERIFY2(dialogs.messages[0].text.contains(QStringLiteral("wurde zu Ende geführt")),
                 qPrintable(dialogs.messages[0].text));
        QCOMPARE(contents(m_folder), (Folder{{"img0001.jpg", "img0002.jpg"}, {"img0002.jpg", "img0001.jpg"}}));
        QVERIFY(w.mnuUndoRename->isEnabled());
    }

private:
    std::unique_ptr<QTemporaryDir> m_state;
    std::unique_ptr<QTemporaryDir> m_dir;
    QByteArray m_folder;
};

QTEST_MAIN(TestRenameImgs)
#include "tst_renameimgs.moc"
