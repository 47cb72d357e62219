// The renaming prompt as the user meets it: in the real window, with real keys, its list of renames
// and what would stop the run, and its Abbrechen that leaves everything as it was.
#include "main_window/frmmain.h"
#include "platform/Dialogs.h"
#include "platform/RenamePrompt.h"
#include "platform/Screen.h"
#include "renaming/Preview.h"
#include "renaming/Renamer.h"

#include "ScriptedDialogs.h"
#include "TestFiles.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <sys/stat.h>

#include <functional>

Q_DECLARE_METATYPE(renaming::Simulated)

namespace {

using Folder = QMap<QByteArray, QByteArray>; // name -> contents and time of change

// Every entry of a folder, hidden ones too, with what it holds and when it was last changed.
Folder contents(const QByteArray& folder)
{
    Folder files;
    const QDir dir(QFile::decodeName(folder));
    for (const QString& name : dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)) {
        QFile file(dir.filePath(name));
        struct stat st{};
        ::lstat(QFile::encodeName(file.fileName()).constData(), &st);
        files.insert(QFile::encodeName(name), (file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray()) + ' ' +
                                                  QByteArray::number(qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec));
    }
    return files;
}

QByteArray pathOf(const QTemporaryDir& dir)
{
    return QFile::encodeName(dir.path());
}

// The scripted dialogs, but the program's own renaming prompt.
class RealPrompt final : public platform::DialogProvider
{
public:
    RealPrompt()
    {
        platform::setDialogProvider(nullptr);
        m_real = &platform::dialogs();
        platform::setDialogProvider(this);
    }
    ~RealPrompt() override { platform::setDialogProvider(nullptr); }
    Q_DISABLE_COPY_MOVE(RealPrompt)

    void messageBox(QWidget* parent, const QString& text, platform::MessageIcon icon) override
    {
        script.messageBox(parent, text, icon);
    }
    QString inputBox(QWidget* parent, const QString& prompt, const QString& defaultText) override
    {
        return script.inputBox(parent, prompt, defaultText);
    }
    QString browseForFolder(QWidget* parent, const QString& title, const QString& startFolder) override
    {
        return script.browseForFolder(parent, title, startFolder);
    }
    bool question(QWidget* parent, const QString& text) override { return script.question(parent, text); }
    std::optional<QString> renamePrompt(QWidget* parent, const QString& prompt, const QString& defaultText,
                                        platform::RenamePreview& preview) override
    {
        script.prompts.append(prompt);
        return m_real->renamePrompt(parent, prompt, defaultText, preview);
    }

    ScriptedDialogs script;

private:
    platform::DialogProvider* m_real = nullptr;
};

// The parts of an open renaming prompt.
struct Prompt
{
    explicit Prompt(QWidget* dialog)
        : window(qobject_cast<platform::RenamePrompt*>(dialog)),
          field(dialog->findChild<QLineEdit*>(QStringLiteral("renamePrefix"))),
          list(dialog->findChild<QListView*>(QStringLiteral("renameList"))),
          text(dialog->findChild<QLabel*>(QStringLiteral("renamePromptText"))),
          count(dialog->findChild<QLabel*>(QStringLiteral("renameCount"))),
          problem(dialog->findChild<QLabel*>(QStringLiteral("renameProblem"))),
          ok(dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)),
          cancel(dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Cancel))
    {
    }
    QStringList rows() const
    {
        QStringList rows;
        for (int i = 0; i < list->model()->rowCount(); ++i)
            rows.append(list->model()->index(i, 0).data().toString());
        return rows;
    }
    QString problemOf(int row) const
    {
        return list->model()->index(row, 0).data(platform::RenameRowsModel::ProblemRole).toString();
    }

    platform::RenamePrompt* window;
    QLineEdit* field;
    QListView* list;
    QLabel* text;
    QLabel* count;
    QLabel* problem;
    QPushButton* ok;
    QPushButton* cancel;
};

// Does `act` with the renaming prompt as soon as it is open; *done tells that it did.
void onPrompt(QObject* context, bool* done, std::function<void(const Prompt&)> act)
{
    *done = false;
    auto* timer = new QTimer(context);
    QObject::connect(timer, &QTimer::timeout, context, [timer, done, act] {
        auto* dialog = qobject_cast<platform::RenamePrompt*>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible())
            return;
        timer->stop();
        timer->deleteLater();
        act(Prompt(dialog));
        *done = true;
    });
    timer->start(0);
}

bool build(frmmain& w, const QByteArray& folder)
{
    w.show();
    if (!QTest::qWaitForWindowExposed(&w))
        return false;
    QSignalSpy built(&w, &frmmain::viewBuilt);
    w.openFolder(QFile::decodeName(folder));
    return built.wait(60000);
}

const QString kArrow = QStringLiteral(" \u2192 ");

} // namespace

class TestRenamePrompt : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); }

    void init()
    {
        m_state = std::make_unique<QTemporaryDir>();
        qputenv("XDG_STATE_HOME", pathOf(*m_state));
    }

    // Abbrechen, Escape and closing the prompt end the operation: no file is renamed or moved,
    // nothing is written to the state folder, no message comes, and there is nothing to undo;
    // also where the target folder was chosen first.
    void cancelLeavesEverything_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("chosenFolder");
        for (const char* how : {"Abbrechen", "Escape", "closed", "scripted"}) {
            QTest::addRow("%s", how) << QString::fromLatin1(how) << false;
            QTest::addRow("%s, folder chosen first", how) << QString::fromLatin1(how) << true;
        }
    }
    void cancelLeavesEverything()
    {
        QFETCH(QString, how);
        QFETCH(bool, chosenFolder);
        QTemporaryDir dir;
        QTemporaryDir other;
        const QByteArray folder = pathOf(dir);
        writeNamedFiles(folder, {"b.jpg", "a.jpg", "img0001.jpg"});
        RealPrompt dialogs;
        ScriptedDialogs& script = dialogs.script;
        if (how == "scripted")
            script.prefixAnswers.enqueue(std::nullopt);
        frmmain w;
        QVERIFY(build(w, folder));
        w.selectfolder = chosenFolder;
        script.folderAnswers.enqueue(other.path());
        const Folder before = contents(folder);
        platform::setDialogProvider(how == "scripted" ? static_cast<platform::DialogProvider*>(&script) : &dialogs);
        bool done = how == "scripted";
        if (!done) {
            onPrompt(this, &done, [how](const Prompt& p) {
                QTest::keyClicks(p.field, QStringLiteral("neu"));
                if (how == "Abbrechen")
                    QTest::mouseClick(p.cancel, Qt::LeftButton);
                else if (how == "Escape")
                    QTest::keyClick(p.field, Qt::Key_Escape);
                else
                    p.window->close();
            });
        }
        w.mnuRenameImgs->trigger();
        QVERIFY(done);
        QCOMPARE(script.browseTitles.size(), chosenFolder ? 1 : 0);
        QCOMPARE(script.prompts.size(), 1);
        QCOMPARE(contents(folder), before);
        QVERIFY(contents(pathOf(other)).isEmpty());
        QVERIFY(QDir(m_state->path()).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
        QVERIFY(script.messages.isEmpty());
        QCOMPARE(w.MousePointer(), platform::MousePointer::Default);
        QVERIFY(!w.mnuUndoRename->isEnabled());
        QVERIFY(!QApplication::activeModalWidget());
    }

    // OK on an emptied field selects the second scheme: the number goes in front of each name.
    void emptyFieldSelectsTheSecondScheme_data()
    {
        QTest::addColumn<bool>("real");
        QTest::newRow("keys on the prompt") << true;
        QTest::newRow("scripted") << false;
    }
    void emptyFieldSelectsTheSecondScheme()
    {
        QFETCH(bool, real);
        QTemporaryDir dir;
        const QByteArray folder = pathOf(dir);
        writeNamedFiles(folder, {"a.jpg", "b.jpg"});
        RealPrompt dialogs;
        platform::setDialogProvider(real ? static_cast<platform::DialogProvider*>(&dialogs) : &dialogs.script);
        if (!real)
            dialogs.script.prefixAnswers.enqueue(QString());
        frmmain w;
        QVERIFY(build(w, folder));
        w.selectfolder = false;
        bool done = !real;
        QStringList rows;
        QString count;
        if (real) {
            onPrompt(this, &done, [&](const Prompt& p) {
                QTest::keyClick(p.field, Qt::Key_Backspace); // the offered "img" is selected
                rows = p.rows();
                count = p.count->text();
                QTest::keyClick(p.field, Qt::Key_Return);
            });
        }
        w.mnuRenameImgs->trigger();
        QVERIFY(done);
        if (real) {
            QCOMPARE(rows, QStringList({"a.jpg" + kArrow + "0001 a.jpg", "b.jpg" + kArrow + "0002 b.jpg"}));
            QCOMPARE(count, QStringLiteral("2 Dateien werden umbenannt"));
        }
        QCOMPARE(dialogs.script.messageTexts(), QStringList{"Fertig: 2 Dateien umbenannt."});
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList({"0001 a.jpg", "0002 b.jpg"}));
    }

    // The prompt opens with its two lines and "img"; its list follows each key typed and shows the
    // names the files then get, marking the one that keeps its name.
    void listShowsTheNamesTheFilesGet()
    {
        QTemporaryDir dir;
        const QByteArray folder = pathOf(dir);
        writeNamedFiles(folder, {"Urlaub 0001.jpg", "Urlaub b.jpg", "Urlaub c.JPG"});
        RealPrompt dialogs;
        frmmain w;
        QVERIFY(build(w, folder));
        w.selectfolder = false;
        bool done = false;
        QString text;
        QString offered;
        QStringList openRows;
        QStringList firstRows;
        QStringList rows;
        QString count;
        onPrompt(this, &done, [&](const Prompt& p) {
            text = p.text->text();
            offered = p.field->text();
            openRows = p.rows();
            for (const QChar c : QStringLiteral("Urlaub ")) {
                QTest::keyClicks(p.field, QString(c));
                firstRows.append(p.rows().value(0));
            }
            rows = p.rows();
            count = p.count->text();
            QVERIFY(p.ok->isEnabled());
            QVERIFY(!p.problem->isVisible());
            QTest::keyClick(p.field, Qt::Key_Return);
        });
        w.mnuRenameImgs->trigger();
        QVERIFY(done);
        QCOMPARE(text, QStringLiteral("Dateiprefix ('xxxx.jpg' wird automatisch angehängt)\n"
                                      "Leer lassen, um die Nummerierung vorne an den Dateinamen anzuhängen"));
        QCOMPARE(offered, QStringLiteral("img"));
        QCOMPARE(openRows.value(2), "Urlaub c.JPG" + kArrow + "img0003.jpg");
        const QString first = QStringLiteral("Urlaub 0001.jpg");
        QCOMPARE(firstRows, QStringList({first + kArrow + "U0001.jpg", first + kArrow + "Ur0001.jpg",
                                         first + kArrow + "Url0001.jpg", first + kArrow + "Urla0001.jpg",
                                         first + kArrow + "Urlau0001.jpg", first + kArrow + "Urlaub0001.jpg",
                                         first + "  (behält ihren Namen)"}));
        QCOMPARE(rows, QStringList({first + "  (behält ihren Namen)", "Urlaub b.jpg" + kArrow + "Urlaub 0002.jpg",
                                    "Urlaub c.JPG" + kArrow + "Urlaub 0003.jpg"}));
        QCOMPARE(count, QStringLiteral("2 Dateien werden umbenannt, 1 behält ihren Namen"));
        QCOMPARE(dialogs.script.messageTexts(), QStringList{"Fertig: 2 Dateien umbenannt."});
        // Each file (which holds its old name) under the name its row showed.
        for (const QString& row : rows) {
            const QString from = row.section(kArrow, 0, 0).section(QStringLiteral("  ("), 0, 0);
            const QString to = row.contains(kArrow) ? row.section(kArrow, 1) : from;
            QFile file(dir.filePath(to));
            QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(to));
            QCOMPARE(QString::fromUtf8(file.readAll()), from);
        }
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), 3);
    }

    // What would stop the run is said in the prompt as soon as it holds, on the row of the file and
    // in the line under the list; OK is disabled then, and Return does nothing. Another prefix that
    // stops nothing enables it again.
    void problemsDisableOk_data()
    {
        using renaming::Simulated;
        QTest::addColumn<Simulated>("sim");
        QTest::addColumn<QByteArray>("outside"); // a file in the folder that is not shown
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("row"); // the first row marked
        QTest::addColumn<QString>("problem");
        QTest::newRow("a file outside the run holds a new name")
            << Simulated::None << QByteArray("img0002.jpg") << "img" << 1
            << "Den Namen \"img0002.jpg\" trägt in";
        QTest::newRow("a name too long") << Simulated::None << QByteArray() << QString(248, QLatin1Char('x')) << 0
                                         << "ist 256 Bytes lang";
        QTest::newRow("a slash") << Simulated::None << QByteArray() << "2024/" << 0 << "Schrägstrich (/)";
        QTest::newRow("FAT: a colon") << Simulated::Fat << QByteArray() << "12:30 " << 0
                                      << "enthält \":\", den das Dateisystem des Ziels (FAT) nicht erlaubt";
    }
    void problemsDisableOk()
    {
        QFETCH(renaming::Simulated, sim);
        QFETCH(QByteArray, outside);
        QFETCH(QString, typed);
        QFETCH(int, row);
        QFETCH(QString, problem);
        QTemporaryDir dir;
        QTemporaryDir state;
        const QByteArray folder = pathOf(dir);
        writeNamedFiles(folder, {"a.jpg", "b.jpg"});
        if (!outside.isEmpty())
            writeNamedFiles(folder, {outside});
        renaming::Renamer r(pathOf(state));
        r.simulate(sim);
        renaming::Preview preview(r, renaming::Numbering({folder + "/a.jpg", folder + "/b.jpg"}, platform::ExtensionPattern("jpg")),
                                  folder);
        platform::RenamePrompt dialog(nullptr, QStringLiteral("Dateiprefix"), QStringLiteral("neu"), preview);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        const Prompt p(&dialog);
        QVERIFY(p.ok->isEnabled());
        QVERIFY(p.problem->isHidden());

        QTest::keyClicks(p.field, typed);
        QVERIFY(!p.ok->isEnabled());
        QVERIFY(p.problem->isVisible());
        QVERIFY2(p.problem->text().contains(problem), qPrintable(p.problem->text()));
        QCOMPARE(p.problem->textFormat(), Qt::PlainText);
        QVERIFY2(p.problemOf(row).contains(problem), qPrintable(p.problemOf(row)));
        for (int before = 0; before < row; ++before)
            QCOMPARE(p.problemOf(before), QString());
        QTest::keyClick(p.field, Qt::Key_Return);
        QVERIFY(dialog.isVisible());
        QCOMPARE(dialog.result(), 0);

        p.field->selectAll();
        QTest::keyClicks(p.field, QStringLiteral("neu"));
        QVERIFY(p.ok->isEnabled());
        QVERIFY(p.problem->isHidden());
        QCOMPARE(p.problemOf(row), QString());
        QTest::keyClick(p.field, Qt::Key_Return);
        QVERIFY(!dialog.isVisible());
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(dialog.prefix(), QStringLiteral("neu"));
    }

    // A file in the chosen target folder that holds a new name is named in the prompt before
    // anything moves; Escape then leaves both folders as they were.
    void fileInTheWayNamedBeforeAnythingMoves()
    {
        QTemporaryDir dir;
        QTemporaryDir other;
        const QByteArray folder = pathOf(dir);
        writeNamedFiles(folder, {"a.jpg", "b.jpg"});
        writeNamedFiles(pathOf(other), {"img0002.jpg"});
        RealPrompt dialogs;
        frmmain w;
        QVERIFY(build(w, folder));
        w.selectfolder = true;
        dialogs.script.folderAnswers.enqueue(other.path());
        const Folder before = contents(folder);
        const Folder beforeThere = contents(pathOf(other));
        bool done = false;
        QString line;
        QString marked;
        bool okEnabled = true;
        onPrompt(this, &done, [&](const Prompt& p) {
            line = p.problem->text();
            marked = p.problemOf(1);
            okEnabled = p.ok->isEnabled();
            QTest::keyClick(p.field, Qt::Key_Escape);
        });
        w.mnuRenameImgs->trigger();
        QVERIFY(done);
        QCOMPARE(line, QStringLiteral("Den Namen \"img0002.jpg\" trägt in \"%1\" schon eine Datei, die nicht mit umbenannt "
                                      "wird.")
                           .arg(other.path()));
        QCOMPARE(marked, line);
        QVERIFY(!okEnabled);
        QCOMPARE(contents(folder), before);
        QCOMPARE(contents(pathOf(other)), beforeThere);
        QVERIFY(dialogs.script.messages.isEmpty());
    }

private:
    std::unique_ptr<QTemporaryDir> m_state;
};

QTEST_MAIN(TestRenamePrompt)
#include "tst_rename_prompt.moc"
