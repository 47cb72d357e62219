// A folder that comes from someone else: its names are text, shown as they are, never as markup,
// and a name that would look like another shows the difference.
#include "main_window/ThumbCanvas.h"
#include "main_window/frmmain.h"
#include "platform/Dialogs.h"
#include "platform/DirListing.h"
#include "platform/FileNames.h"
#include "platform/FolderList.h"
#include "renaming/Journal.h"
#include "renaming/Renamer.h"

#include "ScriptedDialogs.h"
#include "TestFiles.h"
#include "ThumbnailTestSupport.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QHelpEvent>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QQueue>
#include <QScopeGuard>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocument>
#include <QToolTip>
#include <QTreeWidgetItemIterator>
#include <QUrl>

#include <atomic>
#include <chrono>
#include <thread>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

QString ucs4(const char32_t* text)
{
    return QString::fromUcs4(text);
}

// Names a sender could choose, and how the program shows them.
void hostileNames()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("shown");
    const auto same = [](const char* what, const QString& name) { QTest::newRow(what) << name << name; };
    same("bold", "<b>fett.jpg");
    same("image", "<img src=x.png>.jpg");
    same("link", "<a href=\"file:&#47;&#47;&#47;etc&#47;passwd\">click me.jpg");
    same("entities", "&lt;b&gt;x&amp;y&#47;.jpg");
    same("umlauts and emoji", ucs4(U"M\u00fcller \U0001F468\u200D\U0001F469\u200D\U0001F467.jpg"));
    QTest::newRow("line break") << "zwei\nZeilen.jpg" << R"(zwei\u000AZeilen.jpg)";
    QTest::newRow("zero-width space") << ucs4(U"\u200Bimg0001.jpg") << R"(\u200Bimg0001.jpg)";
    QTest::newRow("right-to-left override") << ucs4(U"\u202Egpj.2000gmi.jpg") << R"(\u202Egpj.2000gmi.jpg)";
}

// What a tooltip shown now says, as a person reads it.
QString toolTipShown()
{
    if (!QToolTip::isVisible())
        return QStringLiteral("(no tooltip)");
    QTextDocument document;
    document.setHtml(QToolTip::text());
    return document.toPlainText();
}

// Hovering: the help event that Qt sends when the pointer rests on a widget.
void hover(QWidget* widget, const QPoint& pos)
{
    QHelpEvent event(QEvent::ToolTip, pos, widget->mapToGlobal(pos));
    QApplication::sendEvent(widget, &event);
}

void hoverThumbnail(const frmmain& w, int position)
{
    const ImgPreview& box = w.picScroll->element(w.order().shown()[position - 1]);
    hover(w.picScroll, QPoint(box.Left + 10, box.Top + 10));
}

// The entry of the folder list that stands for path.
QTreeWidgetItem* folderItem(const frmmain& w, const QByteArray& path)
{
    for (QTreeWidgetItemIterator it(w.DirSelect); *it; ++it) {
        if ((*it)->data(0, Qt::UserRole).toByteArray() == path)
            return *it;
    }
    return nullptr;
}

void hoverFolder(const frmmain& w, QTreeWidgetItem* item)
{
    w.DirSelect->scrollToItem(item);
    hover(w.DirSelect->viewport(), w.DirSelect->visualItemRect(item).center());
}

// The tooltip shown now painted, as the user would see it.
void paintToolTip()
{
    const auto windows = QApplication::topLevelWidgets();
    for (QWidget* tip : windows) {
        if (tip->inherits("QTipLabel") && tip->isVisible())
            tip->grab();
    }
}

QString shownPath(const QByteArray& path)
{
    return platform::displayName(platform::decodeName(path));
}

// The real dialogs of the program, answered as they come up, with what they showed.
class RealDialogs
{
public:
    struct Shown
    {
        QString text;
        Qt::TextFormat format;
    };

    RealDialogs()
    {
        platform::setDialogProvider(nullptr);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { answer(); });
        m_timer.start(5);
    }

    QList<Shown> shown;
    QQueue<bool> yes;              // questions: Yes unless told otherwise
    QQueue<QString> folders;       // the folder chooser: the folder chosen
    QQueue<QString> inputs;        // input boxes: the text entered (the offered one unless told)

private:
    void answer()
    {
        QWidget* dialog = QApplication::activeModalWidget();
        if (!dialog || !dialog->isVisible())
            return;
        if (auto* box = qobject_cast<QMessageBox*>(dialog)) {
            shown.append({box->text(), box->textFormat()});
            QAbstractButton* button = box->button(QMessageBox::Ok);
            if (!button)
                button = box->button(!yes.isEmpty() && !yes.dequeue() ? QMessageBox::No : QMessageBox::Yes);
            button->click();
        } else if (auto* input = qobject_cast<QInputDialog*>(dialog)) {
            const auto* label = input->findChild<QLabel*>();
            shown.append({label->text(), label->textFormat()});
            if (!inputs.isEmpty())
                input->setTextValue(inputs.dequeue());
            input->accept();
        } else if (auto* chooser = qobject_cast<QFileDialog*>(dialog)) {
            chooser->setDirectory(folders.isEmpty() ? QString() : folders.dequeue());
            static_cast<QDialog*>(chooser)->accept(); // as its button would
        } else if (auto* prefix = dialog->findChild<QLineEdit*>(QStringLiteral("renamePrefix"))) {
            // The renaming prompt: its text and what would stop the run; OK where it can be pressed.
            if (!inputs.isEmpty())
                prefix->setText(inputs.dequeue());
            for (const char* name : {"renamePromptText", "renameProblem"}) {
                const auto* label = dialog->findChild<QLabel*>(QLatin1String(name));
                if (!label->text().isEmpty())
                    shown.append({label->text(), label->textFormat()});
            }
            auto* buttons = dialog->findChild<QDialogButtonBox*>();
            QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
            (ok->isEnabled() ? ok : buttons->button(QDialogButtonBox::Cancel))->click();
        } else if (const auto* lines = dialog->findChild<QPlainTextEdit*>()) {
            shown.append({lines->toPlainText(), Qt::PlainText});
            auto* buttons = dialog->findChild<QDialogButtonBox*>();
            QPushButton* button = buttons->button(QDialogButtonBox::Ok);
            if (!button)
                button = buttons->button(!yes.isEmpty() && !yes.dequeue() ? QDialogButtonBox::No : QDialogButtonBox::Yes);
            button->click();
        }
    }

    QTimer m_timer;
};

// Notices when anything opens a FIFO for reading (which would otherwise wait for a writer for
// ever) and lets it go on.
class FifoWatch
{
public:
    explicit FifoWatch(const QByteArray& path) : m_path(path)
    {
        QVERIFY(::mkfifo(path.constData(), 0600) == 0);
        m_thread = std::thread([this] {
            while (!m_stop) {
                const int fd = ::open(m_path.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
                if (fd >= 0) {
                    m_opened = true;
                    ::close(fd);
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        });
    }
    ~FifoWatch()
    {
        m_stop = true;
        m_thread.join();
    }
    Q_DISABLE_COPY_MOVE(FifoWatch)

    bool opened() const { return m_opened; }

private:
    QByteArray m_path;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_opened{false};
    std::thread m_thread;
};

} // namespace

class TestHostileNames : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); }

    void init()
    {
        m_state = std::make_unique<QTemporaryDir>();
        qputenv("XDG_STATE_HOME", QFile::encodeName(m_state->path()));
        m_dir = std::make_unique<QTemporaryDir>();
        m_folder = QFile::encodeName(m_dir->path());
    }

    void cleanup()
    {
        QToolTip::hideText();
        platform::setDialogProvider(nullptr);
    }

    // Hovering over a thumbnail and over a folder of the folder list shows the path as it is
    // named: markup as text, and the characters that would hide a difference as escapes.
    void toolTipsShowTheNameAsText_data() { hostileNames(); }
    void toolTipsShowTheNameAsText()
    {
        QFETCH(QString, name);
        QFETCH(QString, shown);
        const QByteArray native = platform::encodeName(name);
        writeNamedFiles(m_folder, {native});
        const QByteArray subfolder = m_folder + '/' + native.chopped(4);
        QVERIFY(QDir().mkdir(QFile::decodeName(subfolder)));
        ScriptedDialogs dialogs;
        frmmain w;
        QVERIFY(openView(w, m_dir->path()));
        QCOMPARE(w.order().count(), 1);

        hoverThumbnail(w, 1);
        QCOMPARE(toolTipShown(), m_dir->path() + '/' + shown);

        QTreeWidgetItem* item = folderItem(w, subfolder);
        QVERIFY(item);
        QCOMPARE(item->text(0), shown.chopped(4));
        hoverFolder(w, item);
        QCOMPARE(toolTipShown().remove('\n'), m_dir->path() + '/' + shown.chopped(4));
        QVERIFY(dialogs.messages.isEmpty());
    }

    // A name that names another file as a picture to show: hovering opens nothing. The file named
    // here is a FIFO, which would hold the window until something wrote to it.
    void nameNamingAFileOpensNothing()
    {
        const QByteArray fifo = m_folder + "/pipe";
        FifoWatch watch(fifo);
        const QByteArray name = "<img src=" + QByteArray(fifo).replace('/', "&#47;") + ">";
        writeNamedFiles(m_folder, {name + ".jpg"});
        QVERIFY(QDir().mkdir(QFile::decodeName(m_folder + '/' + name)));
        ScriptedDialogs dialogs;
        frmmain w;
        QVERIFY(openView(w, m_dir->path()));

        hoverThumbnail(w, 1);
        paintToolTip();
        QVERIFY(!watch.opened());
        QCOMPARE(toolTipShown(), shownPath(m_folder + '/' + name + ".jpg"));
        QToolTip::hideText();

        QTreeWidgetItem* item = folderItem(w, m_folder + '/' + name);
        QVERIFY(item);
        hoverFolder(w, item);
        paintToolTip();
        QVERIFY(!watch.opened());
        QCOMPARE(toolTipShown().remove('\n'), shownPath(m_folder + '/' + name));
    }

    // Renaming and undoing files with such names: the undo question lists each name once, on a
    // line of its own, as shown; a file gone before the rename is named as shown.
    void messagesNameFilesAsShown_data() { hostileNames(); }
    void messagesNameFilesAsShown()
    {
        QFETCH(QString, name);
        QFETCH(QString, shown);
        const QByteArray native = platform::encodeName(name);
        ScriptedDialogs dialogs;
        frmmain w;
        w.selectfolder = false;
        writeNamedFiles(m_folder, {native, "z.jpg"});
        QVERIFY(openView(w, m_dir->path()));
        w.mnuRenameImgs->trigger();
        QCOMPARE(dialogs.messageTexts(), QStringList{"Fertig: 2 Dateien umbenannt."});

        dialogs.questionAnswers.enqueue(true);
        w.mnuUndoRename->trigger();
        QCOMPARE(dialogs.questions.size(), 1);
        const QStringList lines = dialogs.questions[0].split('\n');
        QCOMPARE(lines.size(), 6);
        QStringList backTo;
        for (const QString& line : lines.mid(4)) {
            QVERIFY2(line.startsWith(QString::fromUcs4(U"img000")), qPrintable(line));
            backTo.append(line.section(QString::fromUcs4(U" \u2192 "), 1));
        }
        QStringList want{shown, "z.jpg"};
        backTo.sort();
        want.sort();
        QCOMPARE(backTo, want);
        QVERIFY(QFile::exists(QFile::decodeName(m_folder + '/' + native)));

        QVERIFY(build(w, m_dir->path()));
        QVERIFY(QFile::remove(QFile::decodeName(m_folder + '/' + native)));
        w.mnuRenameImgs->trigger();
        QCOMPARE(dialogs.messages.size(), 3);
        QVERIFY2(dialogs.messages[2].text.contains('"' + m_dir->path() + '/' + shown + '"'),
                 qPrintable(dialogs.messages[2].text));
    }

    // The message boxes, questions and input boxes that Qt draws show their texts as plain text,
    // so no part of a name becomes bold, a picture or a link.
    void realDialogsShowPlainText()
    {
        const QList<QByteArray> names{"<b>fett.jpg", "<a href=\"file:&#47;&#47;&#47;etc&#47;passwd\">click me.jpg",
                                      "&lt;i&gt;.jpg"};
        writeNamedFiles(m_folder, names);
        frmmain w;
        w.selectfolder = false;
        QVERIFY(openView(w, m_dir->path()));
        RealDialogs dialogs;
        w.mnuRenameImgs->trigger();
        QCOMPARE(dialogs.shown.size(), 2); // the prefix, then "Fertig"
        QVERIFY(dialogs.shown[0].text.startsWith("Dateiprefix ('xxxx.jpg' wird"));
        QCOMPARE(dialogs.shown[1].text, QStringLiteral("Fertig: 3 Dateien umbenannt."));

        dialogs.yes.enqueue(true);
        w.mnuUndoRename->trigger();
        QCOMPARE(dialogs.shown.size(), 4); // the question, then "Fertig"
        for (const QByteArray& name : names)
            QVERIFY2(dialogs.shown[2].text.contains(QString::fromUcs4(U" \u2192 ") + name), qPrintable(dialogs.shown[2].text));

        QVERIFY(build(w, m_dir->path()));
        QVERIFY(QFile::remove(QFile::decodeName(m_folder + '/' + names[1])));
        w.mnuRenameImgs->trigger();
        QCOMPARE(dialogs.shown.size(), 6); // the prefix, and in its window why nothing can be renamed
        QVERIFY2(dialogs.shown[5].text.contains(names[1]), qPrintable(dialogs.shown[5].text));
        for (const RealDialogs::Shown& s : std::as_const(dialogs.shown))
            QCOMPARE(s.format, Qt::PlainText);
    }

    // Messages and questions too long for a box scroll, as text.
    void longTextsScrollAsText()
    {
        QString text = "<b>Anfang</b>";
        for (int i = 0; i < 30; ++i)
            text += QStringLiteral("\n<img src=\"%1.png\"> &amp;").arg(i);
        RealDialogs dialogs;
        dialogs.yes.enqueue(false);
        platform::dialogs().messageBox(nullptr, text, platform::MessageIcon::Critical);
        QVERIFY(!platform::dialogs().question(nullptr, text));
        QVERIFY(platform::dialogs().question(nullptr, text));
        QCOMPARE(dialogs.shown.size(), 3);
        for (const RealDialogs::Shown& s : std::as_const(dialogs.shown))
            QCOMPARE(s.text, text);
    }

    // A record of the last run with files in several folders (written by hand, or damaged): the
    // question names every folder the files are in and go back to, also those whose files are
    // beyond the ones listed.
    void undoQuestionNamesEveryFolder()
    {
        QList<QByteArray> names;
        for (int i = 0; i < 13; ++i)
            names.append("a" + QByteArray::number(i + 10) + ".jpg");
        writeNamedFiles(m_folder, names);
        const QByteArray elsewhere = m_folder + "/<b>anderswo";
        const QByteArray back = m_folder + "/" + platform::encodeName(ucs4(U"zur\u00fcck\u202E"));
        QVERIFY(QDir().mkdir(QFile::decodeName(elsewhere)) && QDir().mkdir(QFile::decodeName(back)));
        ScriptedDialogs dialogs;
        frmmain w;
        w.selectfolder = false;
        QVERIFY(openView(w, m_dir->path()));
        w.mnuRenameImgs->trigger();
        QCOMPARE(dialogs.messageTexts(), QStringList{"Fertig: 13 Dateien umbenannt."});

        const renaming::Renamer r;
        QFile record(QFile::decodeName(r.undoRecordPath()));
        QVERIFY(record.open(QIODevice::ReadOnly));
        std::optional<renaming::UndoRecord> items = renaming::parseUndo(record.readAll());
        record.close();
        QVERIFY(items && items->items.size() == 13);
        renaming::UndoItem& moved = items->items.last();
        QCOMPARE(moved.current, m_folder + "/img0013.jpg");
        const QByteArray now = elsewhere + "/img0013.jpg";
        QCOMPARE(::rename(moved.current.constData(), now.constData()), 0);
        moved.current = now;
        moved.original = back + "/a22.jpg";
        // A record that names the folders it is about: the two new ones are its own.
        for (const QByteArray& folder : {elsewhere, back}) {
            const std::optional<renaming::FileSystemId> fs = renaming::fileSystemId(folder);
            QVERIFY(fs);
            items->folders.append({folder, *fs});
        }
        QVERIFY(record.open(QIODevice::WriteOnly | QIODevice::Truncate));
        record.write(renaming::undoText(*items));
        record.close();

        dialogs.questionAnswers.enqueue(false);
        w.mnuUndoRename->trigger();
        QCOMPARE(dialogs.questions.size(), 1);
        const QString question = dialogs.questions[0];
        QVERIFY2(question.contains("13 Dateien in 3 Ordnern"), qPrintable(question));
        QVERIFY2(question.contains(QStringLiteral("\n\nIn \"%1\":\n").arg(m_dir->path())), qPrintable(question));
        QVERIFY2(question.contains(QStringLiteral("\n\nIn \"%1\", zurück nach \"%2\":\n\u2026 und 1 weitere")
                                       .arg(shownPath(elsewhere), shownPath(back))),
                 qPrintable(question));
        QVERIFY2(shownPath(back).endsWith(R"(\u202E)"), qPrintable(shownPath(back)));
        QCOMPARE(question.count(QString::fromUcs4(U" \u2192 ")), 12);
    }

    // The folder named in the messages about a folder that went or cannot be read.
    void folderMessagesNameItAsShown()
    {
        const QString name = ucs4(U"<b>Urlaub\u202E\n");
        const QByteArray folder = m_folder + '/' + platform::encodeName(name);
        QVERIFY(QDir().mkdir(QFile::decodeName(folder)));
        writeNamedFiles(folder, {"a.jpg"});
        ScriptedDialogs dialogs;
        frmmain w;
        QVERIFY(openView(w, platform::decodeName(folder)));
        QVERIFY(dialogs.messages.isEmpty());
        {
            // No descriptor to be had for the listing.
            rlimit limit;
            QCOMPARE(::getrlimit(RLIMIT_NOFILE, &limit), 0);
            const rlimit before = limit;
            limit.rlim_cur = 0;
            QCOMPARE(::setrlimit(RLIMIT_NOFILE, &limit), 0);
            const auto restore = qScopeGuard([&] { ::setrlimit(RLIMIT_NOFILE, &before); });
            w.makeview();
            // The folder is listed on a thread of its own, after makeview.
            QTRY_COMPARE(dialogs.messages.size(), 1);
        }
        QCOMPARE(dialogs.messages.size(), 1);
        QVERIFY2(dialogs.messages[0].text.startsWith(
                     QStringLiteral("Der Ordner \"%1\" kann nicht gelesen werden:\n").arg(shownPath(folder))),
                 qPrintable(dialogs.messages[0].text));

        QVERIFY(QDir(QFile::decodeName(folder)).removeRecursively());
        w.makeview();
        QCOMPARE(dialogs.messages.size(), 2);
        QCOMPARE(dialogs.messages[1].text,
                 QStringLiteral("Der Ordner \"%1\" ist nicht mehr vorhanden.").arg(shownPath(folder)));
        QVERIFY(shownPath(folder).endsWith(R"(<b>Urlaub\u202E\u000A)"));
    }

    // The notice about a run that the last start left unfinished names its folder as shown, in a
    // plain text box.
    void recoveryNoticeNamesTheFolderAsShown()
    {
        const QByteArray folder = m_folder + '/' + platform::encodeName(ucs4(U"<a href=\"x\">Fotos\u200B"));
        QVERIFY(QDir().mkdir(QFile::decodeName(folder)));
        writeNamedFiles(folder, {"img0001.jpg", "img0002.jpg"});
        const pid_t child = ::fork();
        if (child == 0) {
            renaming::Renamer r;
            r.setStepHook([](const renaming::Step& s) {
                if (s.op == renaming::Op::MarkJournal)
                    ::_exit(42);
                return 0;
            });
            r.run({{folder + "/img0001.jpg", "img0002.jpg"}, {folder + "/img0002.jpg", "img0001.jpg"}}, folder);
            ::_exit(0);
        }
        int status = 0;
        QCOMPARE(::waitpid(child, &status, 0), child);
        QCOMPARE(WEXITSTATUS(status), 42);
        RealDialogs dialogs;
        frmmain w;
        w.recoverInterruptedRenames();
        QCOMPARE(dialogs.shown.size(), 1);
        QVERIFY2(dialogs.shown[0].text.contains(QStringLiteral("\"%1\"").arg(shownPath(folder))),
                 qPrintable(dialogs.shown[0].text));
        QVERIFY(shownPath(folder).endsWith(R"(Fotos\u200B)"));
        QCOMPARE(dialogs.shown[0].format, Qt::PlainText);
    }

    // When the undo cannot be done, the menu item's tooltip says why, naming the file as shown.
    void undoItemToolTipNamesTheFileAsShown()
    {
        const QByteArray name = "<b>alt.jpg";
        writeNamedFiles(m_folder, {name});
        ScriptedDialogs dialogs;
        frmmain w;
        w.selectfolder = false;
        QVERIFY(openView(w, m_dir->path()));
        w.mnuRenameImgs->trigger();
        writeNamedFiles(m_folder, {name}); // the old name taken again
        w.mnuUndoRename->trigger();
        QVERIFY(dialogs.questions.isEmpty());
        QCOMPARE(dialogs.messages.size(), 2);
        QVERIFY(!w.mnuUndoRename->isEnabled());
        const QString reason = dialogs.messages[1].text.section("\n\n", 1, -1);
        QVERIFY2(reason.contains(name), qPrintable(reason));

        w.activateWindow();
        w.mnuFile->popup(w.mapToGlobal(QPoint(10, 10)));
        QVERIFY(QTest::qWaitForWindowExposed(w.mnuFile));
        hover(w.mnuFile, w.mnuFile->actionGeometry(w.mnuUndoRename).center());
        QCOMPARE(toolTipShown(), reason);
        w.mnuFile->hide();
    }

    // Qt's folder chooser keeps the folders last chosen in its own settings file: readable by the
    // user alone, whether the chooser makes it or finds it readable by everyone, and with the
    // folder it makes for it.
    void chooserHistoryKeptPrivate_data()
    {
        QTest::addColumn<QString>("before");
        QTest::newRow("no file") << "none";
        QTest::newRow("readable by everyone") << "0644";
        QTest::newRow("no configuration folder") << "no folder";
    }
    void chooserHistoryKeptPrivate()
    {
        QFETCH(QString, before);
        const QString file = QSettings(QSettings::UserScope, QStringLiteral("QtProject")).fileName();
        const QString configFolder = QFileInfo(file).path();
        const mode_t umaskBefore = ::umask(022);
        const auto restore = qScopeGuard([&] { ::umask(umaskBefore); });
        QFile::remove(file);
        if (before == "0644") {
            writeFile(file, "[FileDialog]\nlastVisited=file:///\n");
            QVERIFY(QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup |
                                                    QFile::ReadOther));
        } else if (before == "no folder") {
            QVERIFY(QDir(configFolder).removeRecursively());
        }
        QTemporaryDir target;
        writeNamedFiles(m_folder, {"a.jpg"});
        frmmain w;
        QVERIFY(openView(w, m_dir->path()));
        w.selectfolder = true;
        RealDialogs dialogs;
        dialogs.folders.enqueue(target.path());
        w.mnuRenameImgs->trigger();
        QCOMPARE(dialogs.shown.size(), 2);
        QCOMPARE(dialogs.shown[1].text, QStringLiteral("Fertig: 1 Datei umbenannt."));
        QVERIFY(QFile::exists(target.filePath("img0001.jpg")));

        struct stat st;
        QCOMPARE(::stat(QFile::encodeName(file).constData(), &st), 0);
        QCOMPARE(st.st_mode & 07777, mode_t(0600));
        QFile written(file);
        QVERIFY(written.open(QIODevice::ReadOnly));
        QVERIFY(written.readAll().contains(QUrl::fromLocalFile(target.path()).toEncoded()));
        QCOMPARE(::stat(QFile::encodeName(configFolder).constData(), &st), 0);
        QCOMPARE(st.st_mode & 07777, before == "no folder" ? mode_t(0700) : st.st_mode & 07777);
    }

private:
    std::unique_ptr<QTemporaryDir> m_state;
    std::unique_ptr<QTemporaryDir> m_dir;
    QByteArray m_folder;
};

QTEST_MAIN(TestHostileNames)
#include "tst_hostilenames.moc"
