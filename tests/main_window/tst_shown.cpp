#include "main_window/ThumbCanvas.h"
#include "main_window/frmmain.h"
#include "platform/FolderList.h"
#include "platform/Volumes.h"
#include "settings/Settings.h"

#include "ScriptedDialogs.h"
#include "TestFiles.h"
#include "ThumbnailTestSupport.h"

#include <QApplication>
#include <QDateTime>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

// Nothing of the folder left out without a word, through the window as the user meets it: what
// the status line says is shown and what is not, what "Fertig" says, the captions of renamed
// files, files that come into a folder after its order was made, and where the keys go.

namespace {

// A small picture of one colour, saved in the format its name says.
void savePicture(const QString& path, QColor colour, const QDateTime& modified = {})
{
    QImage image(80, 60, QImage::Format_RGB32);
    image.fill(colour);
    QVERIFY(image.save(path));
    if (modified.isValid())
        setModified(path, modified);
}

QString statusText(const frmmain& w)
{
    return w.lblShown->text();
}

// Closes the modal dialog that opens next, by its button (none: as the window's close box does).
void closeNextDialog(QObject* context, const char* button = nullptr)
{
    whenever(context, [button] {
        QWidget* dialog = QApplication::activeModalWidget();
        if (!dialog)
            return false;
        button ? dialog->findChild<QPushButton*>(QLatin1String(button))->click() : void(dialog->close());
        return true;
    });
}

// The options, with the extension setting changed in the dialog and confirmed.
void chooseExtensions(frmmain& w, const QString& extensions, QAbstractButton* from = nullptr)
{
    whenever(&w, [extensions] {
        QWidget* dialog = QApplication::activeModalWidget();
        if (!dialog)
            return false;
        dialog->findChild<QLineEdit*>(QStringLiteral("txtErw"))->setText(extensions);
        dialog->findChild<QPushButton*>(QStringLiteral("cmdOK"))->click();
        return true;
    });
    QSignalSpy built(&w, &frmmain::viewBuilt);
    from ? from->click() : w.mnuOptions->trigger();
    QVERIFY(built.size() == 1 || built.wait(20000));
}

QImage boxImage(const frmmain& w, qsizetype position)
{
    return w.picScroll->shownImage(boxAt(w, position).Index);
}

class MadeUpVolumes final : public platform::VolumeSource
{
public:
    QList<platform::Volume> volumes() override { return list; }
    QList<platform::Volume> list;
};

} // namespace

class TestShown : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); }

    void init()
    {
        m_home = std::make_unique<QTemporaryDir>();
        for (const char* kind : {"CACHE", "CONFIG", "STATE"})
            qputenv(QByteArray(QByteArray("XDG_") + kind + "_HOME").constData(),
                    QFile::encodeName(m_home->filePath(QLatin1String(kind))));
        m_dir = std::make_unique<QTemporaryDir>();
    }

    // The status line counts the pictures shown and names the photos and clips the extension
    // setting leaves out, not hidden files, folders or other files; its button leads to the
    // options, and once they take everything, the line says so and the button goes. While the
    // folder is listed, it counts what has come. "Fertig" counts the files renamed and names the
    // ones left out, which keep their names.
    void statusLineAndFertig()
    {
        const QString folder = makeFolder(m_dir->filePath("trip"), {"a.jpg", "b.JPG", "c.jpg", "d.heic", "e.HEIC",
                                                                    "f.mov", ".g.heic", "notes.txt", "h.xmp"});
        QVERIFY(QDir().mkdir(folder + "/sub.heic"));
        ScriptedDialogs dialogs;
        frmmain w;
        w.folderListing().setBatchFiles(1);
        w.folderListing().holdAfter(2);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QSignalSpy built(&w, &frmmain::viewBuilt);
        w.openFolder(folder);
        QTRY_COMPARE(statusText(w), QStringLiteral("Der Ordner wird gelesen: 2 Bilder"));
        QVERIFY(!w.cmdShowOptions->isVisibleTo(&w));
        w.folderListing().holdAfter(-1);
        w.folderListing().release();
        QVERIFY(built.wait(20000));
        QCOMPARE(statusText(w), QStringLiteral("3 Bilder · 2 weitere Fotos und 1 Video (.heic, .mov) nicht angezeigt"));
        QVERIFY(w.cmdShowOptions->isVisibleTo(&w));

        w.selectfolder = false;
        dialogs.inputAnswers.enqueue(QStringLiteral("img"));
        w.mnuRenameImgs->trigger();
        QCOMPARE(dialogs.messageTexts(),
                 QStringList{"Fertig: 3 Dateien umbenannt.\n\n2 weitere Fotos und 1 Video (.heic, .mov) des Ordners "
                             "wurden nicht angezeigt und behalten ihre Namen."});

        chooseExtensions(w, QStringLiteral("jpg;heic;mov"), w.cmdShowOptions);
        QCOMPARE(w.imageerw, QStringLiteral("jpg;heic;mov"));
        QCOMPARE(statusText(w), QStringLiteral("6 Bilder"));
        QVERIFY(!w.cmdShowOptions->isVisibleTo(&w));
        const QString empty = makeFolder(m_dir->filePath("empty"), {});
        QVERIFY(build(w, empty));
        QCOMPARE(statusText(w), QStringLiteral("Keine Bilder"));
    }

    // After a rename and after its undo, each box draws its file's name as it is then: the same
    // pixels as a view of the folder built anew shows, whether the box draws its picture again
    // from memory or has it made again.
    void captionsFollowRenamedFiles_data()
    {
        QTest::addColumn<bool>("inMemory");
        QTest::newRow("from memory") << true;
        QTest::newRow("made again") << false;
    }
    void captionsFollowRenamedFiles()
    {
        QFETCH(bool, inMemory);
        const QString folder = makeFolder(m_dir->filePath("p"), {});
        savePicture(folder + "/a.jpg", Qt::red);
        savePicture(folder + "/b.jpg", Qt::green);
        savePicture(folder + "/c.jpg", Qt::blue);
        const auto fresh = [&folder] {
            frmmain v;
            QList<QImage> images;
            if (!openView(v, folder))
                return images;
            for (qsizetype k = 0; k < 3; ++k)
                images.append(boxImage(v, k));
            return images;
        };
        const QList<QImage> before = fresh();
        QCOMPARE(before.size(), 3);

        ScriptedDialogs dialogs;
        frmmain w;
        w.preparedBudget = inMemory ? frmmain::kPreparedBudget : 0;
        w.selectfolder = false;
        QVERIFY(openView(w, folder));
        QTRY_VERIFY(w.thumbnailLoader().idle());
        for (qsizetype k = 0; k < 3; ++k)
            COMPARE_IMAGES(boxImage(w, k), before[k]);
        dialogs.inputAnswers.enqueue(QStringLiteral("img"));
        w.mnuRenameImgs->trigger();
        QVERIFY(QFile::exists(folder + "/img0003.jpg"));
        const QList<QImage> renamed = fresh();
        QCOMPARE(renamed.size(), 3);
        QVERIFY(renamed[0] != before[0]);
        for (qsizetype k = 0; k < 3; ++k) {
            QTRY_VERIFY(!boxImage(w, k).isNull());
            COMPARE_IMAGES(boxImage(w, k), renamed[k]);
        }

        dialogs.questionAnswers.enqueue(true);
        w.mnuUndoRename->trigger();
        QVERIFY(QFile::exists(folder + "/a.jpg"));
        for (qsizetype k = 0; k < 3; ++k) {
            QTRY_VERIFY(!boxImage(w, k).isNull());
            COMPARE_IMAGES(boxImage(w, k), before[k]);
        }
    }

    // Photos of another extension ordered by hand before: widened to them in the options, each
    // comes after the photo shown with the latest time not later than its own, the earliest
    // before them all; they are picked and are one step, undone to the end and redone. The steps
    // before stay through the options and through a file added since, and end with another folder.
    void arrivalsPlacedByTime()
    {
        const QString folder = makeFolder(m_dir->filePath("trip"), {});
        const QDateTime t0 = QDateTime::currentDateTime().addDays(-1);
        for (int k = 1; k <= 4; ++k)
            savePicture(folder + QStringLiteral("/p%1.jpg").arg(k), Qt::gray, t0.addSecs(10 * k));
        savePicture(folder + "/q1.png", Qt::red, t0.addSecs(25));
        savePicture(folder + "/q2.png", Qt::red, t0.addSecs(5));
        frmmain w;
        QVERIFY(openActive(w, folder));
        QCOMPARE(shownNames(w), (QStringList{"p1.jpg", "p2.jpg", "p3.jpg", "p4.jpg"}));
        drag(w, 4, 1);
        QCOMPARE(shownNames(w), (QStringList{"p4.jpg", "p1.jpg", "p2.jpg", "p3.jpg"}));
        QCOMPARE(w.mnuUndoOrder->text(), QStringLiteral("&Rückgängig: 1 Bild verschieben"));

        QStringList said; // the moment every file is listed
        connect(&w.folderListing(), &ordering::FolderListing::finished, &w, [&] { said.append(statusText(w)); });
        chooseExtensions(w, QStringLiteral("jpg;png"));
        QCOMPARE(said, QStringList{"Aufnahmezeiten werden gelesen: 0 von 2"}); // the others are known
        const QStringList placed{"q2.png", "p4.jpg", "p1.jpg", "p2.jpg", "q1.png", "p3.jpg"};
        QTRY_COMPARE(shownNames(w), placed);
        QCOMPARE(pickedNames(w), (QStringList{"q2.png", "q1.png"}));
        QCOMPARE(statusText(w), QStringLiteral("6 Bilder"));
        QCOMPARE(w.mnuUndoOrder->text(), QStringLiteral("&Rückgängig: 2 neue Bilder einordnen"));
        QTest::keyClick(w.pctPreview, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(shownNames(w), (QStringList{"p4.jpg", "p1.jpg", "p2.jpg", "p3.jpg", "q1.png", "q2.png"}));
        QCOMPARE(w.mnuUndoOrder->text(), QStringLiteral("&Rückgängig: 1 Bild verschieben"));
        QTest::keyClick(w.pctPreview, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(shownNames(w), (QStringList{"p1.jpg", "p2.jpg", "p3.jpg", "p4.jpg", "q1.png", "q2.png"}));
        QTest::keyClick(w.pctPreview, Qt::Key_Y, Qt::ControlModifier);
        QTest::keyClick(w.pctPreview, Qt::Key_Y, Qt::ControlModifier);
        QCOMPARE(shownNames(w), placed);

        // A file copied in since, shown when the folder is built anew: one more step on top.
        QTRY_COMPARE(keptOrderWritten(w), true);
        savePicture(folder + "/p5.jpg", Qt::gray, t0.addSecs(12));
        QVERIFY(build(w, folder));
        QTRY_COMPARE(shownNames(w), (QStringList{"q2.png", "p4.jpg", "p1.jpg", "p5.jpg", "p2.jpg", "q1.png", "p3.jpg"}));
        QCOMPARE(pickedNames(w), QStringList{"p5.jpg"});
        QCOMPARE(w.mnuUndoOrder->text(), QStringLiteral("&Rückgängig: 1 neues Bild einordnen"));
        QTest::keyClick(w.pctPreview, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(w.mnuUndoOrder->text(), QStringLiteral("&Rückgängig: 2 neue Bilder einordnen"));

        const QString other = makeFolder(m_dir->filePath("other"), {"x.jpg"});
        QVERIFY(build(w, other));
        QVERIFY(build(w, folder));
        QVERIFY(!w.mnuUndoOrder->isEnabled());
        QVERIFY(pickedNames(w).isEmpty());
    }

    // The pictures have the keys once a folder is shown, and again after a menu or a dialog
    // closes; Tab goes from the folder list to them and on to the drive list, where Home, End and
    // the page keys leave the drive as it is.
    void keysGoToThePictures()
    {
        const QString folder = makeFolder(m_dir->filePath("p"), numbered(60));
        MadeUpVolumes volumes;
        const QString later = makeFolder(m_dir->filePath("q"), {});
        volumes.list = {{"/", QStringLiteral("/")},
                        {QFile::encodeName(m_dir->path()), QStringLiteral("here")},
                        {QFile::encodeName(folder), QStringLiteral("photos")},
                        {QFile::encodeName(later), QStringLiteral("later")}};
        frmmain w;
        auto* drives = w.findChild<platform::DriveListBox*>(QStringLiteral("DrvSelect"));
        drives->setVolumeSource(&volumes);
        QVERIFY(openActive(w, folder));
        QCOMPARE(QApplication::focusWidget(), w.pctPreview);
        QTest::keyClick(w.pctPreview, Qt::Key_End);
        QCOMPARE(w.ScrollMe->value(), w.ScrollMe->maximum());
        QVERIFY(w.ScrollMe->maximum() > 0);
        QTest::keyClick(w.pctPreview, Qt::Key_Home);

        // Opened by a click on the menu bar, closed by Escape: End goes to the pictures at once.
        for (QMenu* menu : {w.mnuFile, w.mnuOrder, w.mnuHelp}) {
            QTest::mouseClick(w.menuBar(), Qt::LeftButton, {},
                              w.menuBar()->actionGeometry(menu->menuAction()).center());
            QVERIFY(QTest::qWaitForWindowExposed(menu));
            QTest::keyClick(menu, Qt::Key_Escape);
            QTRY_VERIFY(!menu->isVisible());
            QTRY_COMPARE(QApplication::focusWidget(), w.pctPreview);
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_End);
            QCOMPARE(w.ScrollMe->value(), w.ScrollMe->maximum());
            QTest::keyClick(w.pctPreview, Qt::Key_Home);
        }
        closeNextDialog(&w);
        w.mnuAbout->trigger();
        QTRY_COMPARE(QApplication::focusWidget(), w.pctPreview);
        w.DirSelect->setFocus();
        QSignalSpy built(&w, &frmmain::viewBuilt);
        closeNextDialog(&w, "cmdCancel");
        w.mnuOptions->trigger();
        QVERIFY(built.size() == 1 || built.wait(20000));
        QTRY_COMPARE(QApplication::focusWidget(), w.pctPreview);

        w.DirSelect->setFocus();
        QTest::keyClick(w.DirSelect, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), w.pctPreview);
        QTest::keyClick(w.pctPreview, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), drives);
        QCOMPARE(drives->currentText(), QStringLiteral("photos"));
        for (const Qt::Key key : {Qt::Key_Home, Qt::Key_End, Qt::Key_PageUp, Qt::Key_PageDown}) {
            QTest::keyClick(drives, key);
            QCOMPARE(drives->currentText(), QStringLiteral("photos"));
        }
        QTest::keyClick(drives, Qt::Key_Up); // the arrows still choose
        QCOMPARE(drives->currentText(), QStringLiteral("here"));
    }

private:
    // The order shown has been handed to the writer and written.
    static bool keptOrderWritten(frmmain& w)
    {
        w.waitForKeptOrder();
        return !w.findChild<QTimer*>(QStringLiteral("tmrKeepOrder"))->isActive();
    }

    std::unique_ptr<QTemporaryDir> m_home;
    std::unique_ptr<QTemporaryDir> m_dir;
};

QTEST_MAIN(TestShown)
#include "tst_shown.moc"
