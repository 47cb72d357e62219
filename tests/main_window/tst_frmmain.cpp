#include "main_window/Reorder.h"
#include "main_window/ThumbCanvas.h"
#include "main_window/frmmain.h"
#include "ordering/OrderStore.h"
#include "platform/DirListing.h"
#include "platform/FileNames.h"
#include "platform/FolderList.h"
#include "platform/Screen.h"
#include "platform/Volumes.h"
#include "renaming/Renamer.h"
#include "settings/Settings.h"
#include "viewer/frmShowImage.h"

#include "ScriptedDialogs.h"
#include "TestFiles.h"
#include "ThumbnailTestSupport.h"

#include <QApplication>
#include <QCheckBox>
#include <QHelpEvent>
#include <QLabel>
#include <QMap>
#include <QScopeGuard>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocument>
#include <QTimer>
#include <QToolTip>

#include <sys/wait.h>
#include <unistd.h>

namespace {

// The numbers of the files shown, in display order.
QList<int> shown(const frmmain& w) { return numbersOf(shownNames(w)); }

QRect markerBefore(const frmmain& w, qsizetype position)
{
    const ImgPreview& box = boxAt(w, position - 1);
    return QRect(box.Left - 1, box.Top, 3, box.Height);
}

bool dragging()
{
    return QGuiApplication::overrideCursor() &&
           QGuiApplication::overrideCursor()->shape() == Qt::ClosedHandCursor;
}

// The file the viewer was asked to show, empty while it was never opened.
QString peekedFile()
{
    for (QWidget* top : QApplication::topLevelWidgets())
        if (const auto* viewer = qobject_cast<frmShowImage*>(top))
            return viewer->fileName();
    return {};
}

using Folder = QMap<QByteArray, QByteArray>; // name -> contents

Folder contents(const QByteArray& folder)
{
    Folder files;
    const QDir dir(QFile::decodeName(folder));
    for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden)) {
        QFile file(dir.filePath(name));
        files.insert(QFile::encodeName(name), file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray());
    }
    return files;
}

// Files that hold their own names, listed in the window in the display order given (kept for the
// folder as if the user had made it), to be renamed where they are.
bool showInOrder(frmmain& w, const QByteArray& folder, const QList<QByteArray>& shown)
{
    writeNamedFiles(folder, shown);
    w.selectfolder = false;
    ordering::OrderStore(renaming::defaultStateFolder()).save(folder + '/', shown, {});
    return build(w, platform::decodeName(folder)) && shownNames(w).size() == shown.size();
}

// The names of the files in `folder` that the boxes stand for now, in display order.
QList<QByteArray> shownPaths(const frmmain& w, const QByteArray& folder)
{
    QList<QByteArray> paths;
    for (const int box : shownBoxes(w))
        paths.append(w.order().picture(box).path().mid(folder.size() + 1));
    return paths;
}

// Opens the options and, as soon as they show, clicks the button named, or closes them.
void answerOptions(frmmain& w, const char* button = nullptr)
{
    QTimer::singleShot(0, &w, [button] {
        if (QWidget* dialog = QApplication::activeModalWidget())
            button ? dialog->findChild<QPushButton*>(QLatin1String(button))->click() : void(dialog->close());
    });
    w.mnuOptions->trigger();
}

// Volumes a test makes up.
class MadeUpVolumes final : public platform::VolumeSource
{
public:
    QList<platform::Volume> volumes() override { return list; }
    QList<platform::Volume> list;
};

// The order kept for a folder (the names, in it), and its file.
QStringList keptNames(const QByteArray& folder)
{
    QStringList names;
    for (const ordering::KeptEntry& e : ordering::OrderStore(renaming::defaultStateFolder()).load(folder + '/').entries)
        names.append(platform::decodeName(e.name));
    return names;
}

QString keptFile(const QByteArray& folder)
{
    return QFile::decodeName(ordering::OrderStore(renaming::defaultStateFolder()).pathFor(folder + '/'));
}

// Every listing of the window from now on hands over `batches` batches of ten files, then waits
// until released.
void holdListing(frmmain& w, int batches)
{
    w.folderListing().setBatchFiles(10);
    w.folderListing().holdAfter(batches);
}

} // namespace

// The figures below are those of a screen of 96 DPI (15 twips per pixel).
class TestFrmMain : public QObject
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

    // The grey bar stops 500 twips from the window's edge, the layout 1500; nothing else moves
    // during the drag. A narrow window is widened to 3000 twips.
    void splitterAndNarrowWindow()
    {
        frmmain w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QCOMPARE(w.pctPreview->geometry(), QRect(135, 0, 413, 387));
        QTest::mousePress(w.imgSplitter, Qt::LeftButton, {}, QPoint(1, 5));
        QVERIFY(w.picSplitter->isVisible());
        QTest::mouseMove(w.imgSplitter, QPoint(-200, 5));
        QCOMPARE(w.picSplitter->x(), 33);
        QCOMPARE(w.layoutTwips().DirSelect.Width, 1980.0);
        QTest::mouseRelease(w.imgSplitter, Qt::LeftButton, {}, QPoint(-200, 5));
        QVERIFY(!w.picSplitter->isVisible());
        QCOMPARE(w.layoutTwips().DirSelect.Width, 1500.0);
        w.resize(120, 300);
        QTRY_COMPARE(w.outerWidthTwips(), 3000.0);
        QTRY_COMPARE(w.layoutTwips().imgSplitter.Left, 1500.0);
    }

    // Ordinal order of the names, whatever the user's language, in the listing and by name; a
    // name that is not UTF-8 keeps its bytes; only files with the extension set (in any case) are listed.
    void buildListsSortsAndArranges()
    {
        const QString folder = makeFolder(m_dir->filePath("pics"),
                                          {"birne.jpg", "Zebra.jpg", "apfel.jpg", "img2.jpg", "img10.jpg",
                                           "M\xfcnchen.jpg", "note.txt", "shot.PNG", ".hidden.jpg"});
        frmmain w;
        QVERIFY(openView(w, folder));
        const QStringList ordinal{platform::decodeName("M\xfcnchen.jpg"), "Zebra.jpg", "apfel.jpg", "birne.jpg",
                                  "img10.jpg", "img2.jpg"};
        QCOMPARE(shownNames(w), ordinal);
        const QByteArray first = w.order().picture(boxAt(w, 0).Index).path();
        QCOMPARE(first, platform::encodeName(folder) + "/M\xfcnchen.jpg");
        // The slot after the last: laid out, but no picture, never under the mouse.
        const ImgPreview placeholder = boxAt(w, 6);
        QVERIFY(!placeholder.Visible && placeholder.Index == 0);
        QCOMPARE(w.picScroll->elementAt(placeholder.rect().center()), 0);
        QVERIFY(w.picScroll->geometry().contains(placeholder.rect().bottomRight()));
        QVERIFY(!w.building);
        QCOMPARE(w.MousePointer(), platform::MousePointer::Default);
        drag(w, 6, 1);
        drag(w, 3, 2);
        QVERIFY(shownNames(w) != ordinal);
        w.mnuOrderByName->trigger(); // the listing's order again
        QCOMPARE(shownNames(w), ordinal);
        ::unlink(first.constData()); // a name QTemporaryDir cannot remove
        w.imageerw = QStringLiteral("png");
        QVERIFY(build(w, folder));
        QCOMPARE(shownNames(w), QStringList{"shot.PNG"});
    }

    // A build ends when the user goes to another folder meanwhile, and so does one that the options
    // start afresh: only the last is laid out and built. Renaming and the starting orders wait for
    // the whole folder, and say so.
    void interruptedBuildsBuildOnlyTheLast()
    {
        const QString a = makeFolder(m_dir->filePath("a"), numbered(1500, "a"));
        const QString b = makeFolder(m_dir->filePath("b"), numbered(1500, "b"));
        const QString c = makeFolder(m_dir->filePath("c"), numbered(40, "c"));
        frmmain w;
        w.show();
        QSignalSpy arranged(&w, &frmmain::viewArranged);
        QSignalSpy built(&w, &frmmain::viewBuilt);
        holdListing(w, 3);
        w.openFolder(a);
        int step = 0;
        QStringList waiting;
        whenever(&w, [&] {
            if (w.dirchanged || !w.building || w.picScroll->count() < 20)
                return false;
            if (step == 1) {
                for (QAction* item : {w.mnuRenameImgs, w.mnuUndoRename, w.mnuOrderByTime, w.mnuOrderByName})
                    if (!item->isEnabled())
                        waiting.append(item->toolTip());
                answerOptions(w);
                w.folderListing().holdAfter(-1);
            }
            w.openFolder(step == 0 ? b : c);
            return ++step == 2;
        });
        QVERIFY(built.wait(20000));
        QTest::qWait(50);
        QCOMPARE(built.size(), 1);
        QCOMPARE(arranged.size(), 1);
        QCOMPARE(w.order().count(), 40);
        QCOMPARE(shownNames(w).first(), QStringLiteral("c0001.jpg")); // a and b would sort first
        QCOMPARE(waiting, QStringList(4, QStringLiteral("Der Ordner wird noch gelesen.")));
        QVERIFY(w.mnuOrderByTime->isEnabled() && w.mnuOrderByName->isEnabled() && w.mnuRenameImgs->isEnabled());
    }

    // Putting pictures into an order needs a folder shown, and all of it: before the first folder
    // and while one is listed every item of "Reihenfolge" is greyed, the starting orders say why,
    // and the menu's access key passes them by.
    void orderMenuWaitsForAFolder_data()
    {
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("why"); // the starting orders' tooltip; empty: they can be chosen
        QTest::newRow("no folder yet") << "" << "Zuerst einen Ordner wählen.";
        QTest::newRow("a folder being listed") << "listed in part" << "Der Ordner wird noch gelesen.";
        QTest::newRow("a folder") << "folder" << "";
        QTest::newRow("a folder without pictures") << "empty" << "";
    }
    void orderMenuWaitsForAFolder()
    {
        QFETCH(QString, shown);
        QFETCH(QString, why);
        frmmain w;
        w.show();
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        const QString folder = makeFolder(m_dir->filePath(QStringLiteral("menu ") + shown),
                                          shown == "empty" ? QList<QByteArray>() : numbered(30));
        if (shown == "listed in part") {
            holdListing(w, 1);
            w.openFolder(folder);
            QTRY_COMPARE(w.picScroll->count(), 10);
        } else if (!shown.isEmpty()) {
            QVERIFY(build(w, folder));
        }
        QSignalSpy byTime(w.mnuOrderByTime, &QAction::triggered);
        QTest::keyClick(&w, Qt::Key_R, Qt::AltModifier);
        QTRY_VERIFY(w.mnuOrder->isVisible());
        QStringList usable;
        for (const QAction* item : w.mnuOrder->actions())
            if (item->isEnabled() && !item->isSeparator())
                usable.append(item->objectName());
        QStringList expected;
        if (why.isEmpty())
            expected = {QStringLiteral("mnuOrderByTime"), QStringLiteral("mnuOrderByName")};
        if (shown == "folder") // clocks to align need pictures
            expected.append(QStringLiteral("mnuAlignClocks"));
        QCOMPARE(usable, expected);
        // Without a reason of its own, an item's tooltip is its text.
        QCOMPARE(w.mnuOrderByTime->toolTip(), why.isEmpty() ? QStringLiteral("Nach Aufnahmezeit") : why);
        QCOMPARE(w.mnuOrderByName->toolTip(), why.isEmpty() ? QStringLiteral("Nach Dateiname") : why);
        QTest::keyClick(w.mnuOrder, Qt::Key_Z); // "Nach Aufnahme&zeit"
        QCOMPARE(byTime.size(), why.isEmpty() ? 1 : 0);
        if (w.mnuOrder->isVisible())
            QTest::keyClick(w.mnuOrder, Qt::Key_Escape);
        QTRY_VERIFY(!w.mnuOrder->isVisible());
        w.folderListing().holdAfter(-1);
        w.folderListing().release();
    }

    void shownFolderGoes_data()
    {
        QTest::addColumn<bool>("renamed");
        QTest::addColumn<QString>("seenBy");
        QTest::newRow("renamed, seen by the watch") << true << "watch";
        QTest::newRow("removed, seen by the options' rebuild") << false << "rebuild";
        QTest::newRow("renamed, seen when a menu opens") << true << "menu";
    }
    void shownFolderGoes()
    {
        QFETCH(bool, renamed);
        QFETCH(QString, seenBy);
        const QString parent = makeFolder(m_dir->filePath("p"), {"b.jpg"});
        const QString shown = makeFolder(m_dir->filePath("p/shown"), {"a.jpg"});
        ScriptedDialogs dialogs;
        frmmain w;
        QVERIFY(openView(w, shown));
        QSignalSpy built(&w, &frmmain::viewBuilt);
        if (renamed)
            QVERIFY(QDir().rename(shown, parent + QStringLiteral("/umbenannt")));
        else
            QVERIFY(QDir(shown).removeRecursively());
        if (seenBy == "rebuild")
            w.makeview();
        else if (seenBy == "menu")
            emit w.mnuFile->aboutToShow();
        if (seenBy != "watch")
            QCOMPARE(dialogs.messages.size(), 1); // at once, not by the watch
        QTRY_COMPARE(dialogs.messageTexts(),
                     QStringList{"Der Ordner \"" + shown + "\" ist nicht mehr vorhanden."});
        QCOMPARE(w.DirSelect->Path(), parent);
        QTRY_COMPARE(built.size(), 1);
        QCOMPARE(shownNames(w), QStringList{"b.jpg"});
        // Later looks find nothing more to say.
        emit w.mnuHelp->aboutToShow();
        QVERIFY(w.DirSelect->checkPresent());
        QCOMPARE(dialogs.messages.size(), 1);
    }

    // The drive list shows the volume that holds the folder shown: the longest root that is a whole
    // part of its path (a folder under /mnt/card-old is not on /mnt/card), else "/". Choosing a
    // drive goes back to the folder last shown on it.
    void driveOfTheFolderShown()
    {
        const QString card = makeFolder(m_dir->filePath("card/DCIM"), {"a.jpg"});
        const QString old = makeFolder(m_dir->filePath("card-old/DCIM"), {"b.jpg"});
        MadeUpVolumes volumes;
        volumes.list = {{"/", QStringLiteral("/")}, {m_folder + "/card", QStringLiteral("card")}};
        frmmain w;
        auto* drives = w.findChild<platform::DriveListBox*>(QStringLiteral("DrvSelect"));
        drives->setVolumeSource(&volumes);
        QVERIFY(openActive(w, card));
        QCOMPARE(drives->currentText(), QStringLiteral("card"));
        QVERIFY(build(w, old));
        QCOMPARE(drives->currentText(), QStringLiteral("/"));
        drives->setFocus();
        QTest::keyClick(drives, Qt::Key_Down);
        QCOMPARE(drives->currentText(), QStringLiteral("card"));
        QTRY_COMPARE(shownNames(w), QStringList{"a.jpg"});
        QTest::keyClick(drives, Qt::Key_Up);
        QTRY_COMPARE(shownNames(w), QStringList{"b.jpg"});
    }

    // Where the marker stands for the right part of a picture while the folder is being listed:
    // before the next one, but before itself on the last one shown and on the one listed last.
    void markerWhileListing()
    {
        ordering::PictureOrder order;
        ordering::ListedBatch batch;
        for (const int rank : {2, 0, 1}) // shown 2, 3, 1
            batch.files.append({"/p/" + QByteArray::number(rank), {}, rank, QString::number(rank)});
        order.add(batch);
        const auto before = [](int id) { return std::optional<ordering::Place>(ordering::Place{id}); };
        QCOMPARE(markerTarget(order, 1, true), before(1));
        QCOMPARE(markerTarget(order, 3, true), before(3));
        QCOMPARE(markerTarget(order, 2, true), before(3));
        QCOMPARE(markerTarget(order, 2, false), before(2));
        QCOMPARE(markerTarget(order, 7, true), std::optional<ordering::Place>());
        order.finishListing();
        QCOMPARE(markerTarget(order, 1, true), std::optional<ordering::Place>(ordering::Place::end()));
        QCOMPARE(markerTarget(order, 3, true), before(1));
    }

    // A drag from the thumbnail at display position `from` over thumbnail 2 to `spot` (in the
    // thumbnail at display position `to`, or in the viewport where `to` is 0): while the pointer
    // is there, the marker stands before the thumbnail at position `marker` (0: hidden). With the
    // left button and another one, the other is clicked over thumbnail 2 on the way. Escape, a
    // rebuild of the view under the drag and another control taking the keyboard each end a drag
    // without a drop. Thumbnails wider than the threshold of 750 pixels stand one to a row, and
    // their right part stands for the next one.
    void reorder_data()
    {
        QTest::addColumn<Qt::MouseButtons>("buttons");
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("to");
        QTest::addColumn<QPoint>("spot");
        QTest::addColumn<int>("marker");
        QTest::addColumn<QList<int>>("expected");
        QTest::addColumn<QString>("then"); // "wide": 800 x 60 thumbnails; else what ends the drag
        const Qt::MouseButtons left = Qt::LeftButton;
        const QPoint middle(50, 50);
        const QList<int> unchanged{1, 2, 3, 4, 5, 6};
        const QList<int> moved{3, 1, 2, 4, 5, 6};
        const auto row = [](const char* what, Qt::MouseButtons buttons, int from, int to, QPoint spot, int marker,
                            const QList<int>& expected, const char* then = "") {
            QTest::newRow(what) << buttons << from << to << spot << marker << expected << QString(then);
        };
        row("3 onto 1, right click", left | Qt::RightButton, 3, 1, middle, 1, moved);
        row("3 onto 1, middle click", left | Qt::MiddleButton, 3, 1, middle, 1, moved);
        row("onto its right-hand neighbour", left, 2, 3, middle, 3, unchanged);
        row("onto the top right pixel of the last", left, 2, 6, QPoint(99, 0), 6, {1, 3, 4, 5, 2, 6});
        row("6 back onto the bottom left pixel of 4", left, 6, 4, QPoint(0, 99), 4, {1, 2, 3, 6, 4, 5});
        row("back where it came from", left, 2, 2, middle, 2, unchanged);
        row("into the gap after 1", left, 3, 1, QPoint(100, 50), 0, unchanged);
        row("onto the place after the last", left, 2, 7, middle, 0, unchanged);
        row("beside the thumbnails", left, 1, 0, QPoint(350, 50), 0, unchanged);
        row("outside the viewport", left, 1, 0, QPoint(100, -20), 0, unchanged);
        row("right button", Qt::RightButton, 3, 1, middle, 0, unchanged);
        row("middle button", Qt::MiddleButton, 3, 1, middle, 0, unchanged);
        row("Escape", left, 3, 1, middle, 1, unchanged, "escape");
        row("rebuilt under the drag", left, 3, 1, middle, 1, unchanged, "rebuild");
        row("keyboard taken", left, 3, 1, middle, 1, unchanged, "focus");
        row("wide, the left part of the last", left, 1, 3, QPoint(750, 10), 3, {2, 1, 3}, "wide");
        row("wide, its right part: the place after it", left, 1, 3, QPoint(751, 10), 4, {2, 3, 1}, "wide");
    }
    void reorder()
    {
        QFETCH(Qt::MouseButtons, buttons);
        QFETCH(int, from);
        QFETCH(int, to);
        QFETCH(QPoint, spot);
        QFETCH(int, marker);
        QFETCH(QList<int>, expected);
        QFETCH(QString, then);
        const Qt::MouseButton button =
            buttons & Qt::LeftButton ? Qt::LeftButton : static_cast<Qt::MouseButton>(buttons.toInt());
        const auto click = static_cast<Qt::MouseButton>((buttons & ~button).toInt());
        frmmain w;
        if (then == "wide") {
            w.thumbwidth = 800;
            w.thumbheight = 60;
            w.resize(1100, 500);
        }
        QVERIFY(openActive(w, makeFolder(m_dir->filePath("p"), numbered(then == "wide" ? 3 : 6))));
        const QPoint end = to == 0 ? inViewport(w, spot.x(), spot.y()) : at(w, to, spot.x(), spot.y());
        QTest::mousePress(w.picScroll, button, {}, at(w, from));
        QTest::mouseMove(w.picScroll, at(w, from, 60));
        QTest::mouseMove(w.picScroll, at(w, 2, 50, 99));
        if (click != Qt::NoButton)
            QTest::mouseClick(w.picScroll, click, {}, at(w, 2, 50, 99)); // neither drops nor ends the drag
        QTest::mouseMove(w.picScroll, end);
        QCOMPARE(dragging(), button == Qt::LeftButton);
        QCOMPARE(w.linWohin->isVisible(), marker != 0);
        if (marker != 0)
            QCOMPARE(w.linWohin->geometry(), markerBefore(w, marker));
        // The right button peeks at the pressed thumbnail's file instead of dragging it.
        QCOMPARE(peekedFile().endsWith("/p0003.jpg"), button == Qt::RightButton);
        if (then == "escape")
            QTest::keyClick(w.pctPreview, Qt::Key_Escape);
        else if (then == "rebuild")
            w.makeview(); // under the drag; the folder comes back below
        else if (then == "focus")
            w.ScrollMe->setFocus();
        if (then != "" && then != "wide")
            QVERIFY(!w.linWohin->isVisible() && !dragging());
        QTest::mouseRelease(w.picScroll, button, {}, end);
        QTRY_VERIFY(w.order().listed()); // a folder shown anew is listed on a thread of its own
        QCOMPARE(shown(w), expected);
        QVERIFY(!w.linWohin->isVisible() && !dragging());
    }

    // Thirty pictures: the bar's maximum is 19. A pointer resting at an edge scrolls a unit per
    // tick of the timer, over the strip beside the thumbnails and over the thumbnails alike, but
    // not beyond the last row; the marker follows the thumbnails that pass under it.
    void edgeScrolling_data()
    {
        QTest::addColumn<int>("x"); // in the viewport: 350 is the strip beside the thumbnails
        QTest::addColumn<bool>("bottom");
        QTest::addColumn<int>("start");
        QTest::addColumn<QList<int>>("afterTicks");
        QTest::newRow("strip, top") << 350 << false << 2 << QList<int>{1, 0, 0};
        QTest::newRow("strip, bottom") << 350 << true << 17 << QList<int>{18, 19, 19};
        QTest::newRow("thumbnails, bottom") << 50 << true << 10 << QList<int>{11, 12, 13};
    }
    void edgeScrolling()
    {
        QFETCH(int, x);
        QFETCH(bool, bottom);
        QFETCH(int, start);
        QFETCH(QList<int>, afterTicks);
        frmmain w;
        QVERIFY(openView(w, makeFolder(m_dir->filePath("p"), numbered(30))));
        w.tmrScroll->stop();
        w.scrolltick = false;
        const int edgeY = bottom ? w.pctPreview->height() - 2 : 2;
        QTest::mousePress(w.picScroll, Qt::LeftButton, {}, at(w, 4));
        w.ScrollMe->setValue(start);
        QTest::mouseMove(w.picScroll, inViewport(w, x, edgeY));
        QCOMPARE(w.ScrollMe->value(), start); // no tick yet
        for (int expected : afterTicks) {
            QMetaObject::invokeMethod(w.tmrScroll, "timeout"); // the pointer rests
            QCOMPARE(w.ScrollMe->value(), expected);
            // The marker stands before the thumbnail now under the pointer.
            const int under = w.picScroll->elementAt(inViewport(w, x, edgeY));
            QCOMPARE(w.linWohin->isVisible(), under != 0);
            if (under != 0)
                QCOMPARE(w.linWohin->geometry(), markerBefore(w, positionOf(w, under) + 1));
        }
        QTest::mouseRelease(w.picScroll, Qt::LeftButton, {}, inViewport(w, x, edgeY));
    }

    // As soon as a few files are listed, they are laid out (a resize would) and the last one is
    // dragged to the front; the files listed later still go before the first picture that sorts
    // after them. That order is kept once every file is listed; or, when the user goes to another
    // folder before, as the listing would have made it. Meanwhile nothing is picked, the keys do
    // not move (a step recorded then would lose the files listed after it when undone), and a
    // rename is refused: it would number a part of the folder.
    void dropWhileListing_data()
    {
        QTest::addColumn<bool>("leave");
        QTest::newRow("listing goes on") << false;
        QTest::newRow("another folder before the end") << true;
    }
    void dropWhileListing()
    {
        QFETCH(bool, leave);
        const QString other = makeFolder(m_dir->filePath("q"), numbered(3, "q"));
        ScriptedDialogs dialogs;
        frmmain w;
        w.selectfolder = false;
        holdListing(w, 3);
        qsizetype pickedWhileListing = -1;
        QStringList beforeDrop;
        QStringList afterDrop;
        whenever(&w, [&] {
            if (w.dirchanged || !w.building || w.picScroll->count() < 30)
                return false;
            w.arrangeimgs(true);
            QTest::mouseClick(w.picScroll, Qt::LeftButton, Qt::ControlModifier, at(w, 1));
            QTest::mouseClick(w.picScroll, Qt::LeftButton, {}, at(w, 2));
            QTest::keyClick(w.pctPreview, Qt::Key_A, Qt::ControlModifier);
            pickedWhileListing = pickedNames(w).size();
            beforeDrop = shownNames(w);
            QTest::keyClick(w.pctPreview, Qt::Key_Right, Qt::ControlModifier);
            drag(w, beforeDrop.size(), 1);
            afterDrop = shownNames(w);
            w.mnuRenameImgs->trigger();
            w.folderListing().holdAfter(-1);
            if (leave)
                w.openFolder(other);
            else
                w.folderListing().release();
            return true;
        });
        const QString folder = makeFolder(m_dir->filePath("p"), numbered(300));
        QVERIFY(openView(w, folder));
        const qsizetype listedAtDrop = beforeDrop.size();
        QCOMPARE(listedAtDrop, 30);
        QCOMPARE(pickedWhileListing, 0);
        QCOMPARE(afterDrop, QStringList{beforeDrop.last()} + beforeDrop.mid(0, listedAtDrop - 1));
        QVERIFY(dialogs.prompts.isEmpty() && dialogs.messages.isEmpty());
        QCOMPARE(QDir(folder).entryList(QDir::Files), QDir(folder).entryList({"p0*.jpg"}, QDir::Files));
        QStringList expected = afterDrop;
        for (const QByteArray& name : numbered(300)) {
            const QString text = QString::fromLatin1(name);
            if (expected.contains(text))
                continue;
            const auto greater =
                std::find_if(expected.cbegin(), expected.cend(), [&](const QString& e) { return e > text; });
            expected.insert(greater - expected.cbegin(), text);
        }
        if (leave) {
            QCOMPARE(shownNames(w).size(), 3);
            QVERIFY(build(w, folder));
        }
        QCOMPARE(shownNames(w), expected);
        QVERIFY(!w.mnuUndoOrder->isEnabled());
        w.close();
        frmmain again;
        QVERIFY(build(again, folder));
        QCOMPARE(shownNames(again), expected);
    }

    // Photo 1900 (row 633, 63933 pixels down) in view at value 1862, then picked up; ten notches
    // of the wheel take the drag ten rows and 20 pixels further up, still in the same column. The
    // drop and five moves after it are undone one by one.
    void wheelCarriesADragAcrossABigFolder()
    {
        frmmain w;
        QVERIFY(openView(w, makeFolder(m_dir->filePath("p"), numbered(2000))));
        w.ScrollMe->setValue(1862);
        QTest::mousePress(w.picScroll, Qt::LeftButton, {}, at(w, 1900));
        const QPoint pointer = w.picScroll->mapTo(w.pctPreview, at(w, 1900));
        QCOMPARE(w.linWohin->geometry(), markerBefore(w, 1900));
        QWheelEvent wheel(QPointF(pointer), w.pctPreview->mapToGlobal(QPointF(pointer)), {}, QPoint(0, 1200),
                          Qt::LeftButton, {}, Qt::NoScrollPhase, false);
        QApplication::sendEvent(w.picScroll, &wheel);
        QCOMPARE(w.linWohin->geometry(), markerBefore(w, 1870));
        QTest::keyClick(w.pctPreview, Qt::Key_Home);
        QCOMPARE(w.linWohin->geometry(), markerBefore(w, 1));
        QTest::mouseMove(w.picScroll, at(w, 1));
        QTest::mouseRelease(w.picScroll, Qt::LeftButton, {}, at(w, 1));
        QCOMPARE(shown(w).mid(0, 3), (QList<int>{1900, 1, 2}));
        // So big a folder keeps many steps to undo.
        for (int k = 0; k < 5; ++k)
            QTest::keyClick(w.pctPreview, Qt::Key_Right, Qt::ControlModifier);
        QCOMPARE(shown(w).mid(0, 7), (QList<int>{1, 2, 3, 4, 5, 1900, 6}));
        for (int k = 0; k < 6; ++k)
            QTest::keyClick(w.pctPreview, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(shown(w).mid(0, 7), (QList<int>{1, 2, 3, 4, 5, 6, 7}));
        QCOMPARE(shown(w).indexOf(1900), 1899);
        QVERIFY(!w.mnuUndoOrder->isEnabled());
    }

    void schemes_data()
    {
        QTest::addColumn<QList<QByteArray>>("shown"); // in display order
        QTest::addColumn<QString>("answer");          // empty: OK on an emptied field
        QTest::addColumn<QString>("extension");
        QTest::addColumn<QList<QByteArray>>("expected");
        const auto row = [](const char* what, const QList<QByteArray>& shown, const QString& answer,
                            const char* extension, const QList<QByteArray>& expected) {
            QTest::newRow(what) << shown << answer << QString(extension) << expected;
        };
        const QList<QByteArray> cab{"c.jpg", "a.jpg", "b.jpg"};
        row("prefix img", cab, "img", "jpg", {"img0001.jpg", "img0002.jpg", "img0003.jpg"});
        row("empty: number in front", cab, {}, "jpg", {"0001 c.jpg", "0002 a.jpg", "0003 b.jpg"});
        row("extension as configured", {"c.jpg", "a.JPG"}, "img", "JPG", {"img0001.JPG", "img0002.JPG"});
        row("camera and phone", {"a.JPG", "b.jpeg", "c.heic", "portrait.heic"}, "img", "jpg;jpeg;heic",
            {"img0001.jpg", "img0002.jpeg", "img0003.heic", "img0004.heic"});
    }
    void schemes()
    {
        QFETCH(QList<QByteArray>, shown);
        QFETCH(QString, answer);
        QFETCH(QString, extension);
        QFETCH(QList<QByteArray>, expected);
        ScriptedDialogs dialogs;
        dialogs.inputAnswers.enqueue(answer);
        frmmain w;
        w.imageerw = extension;
        QVERIFY(showInOrder(w, m_folder, shown));
        const QList<int> boxes = shownBoxes(w);
        QVERIFY(!w.mnuUndoRename->isEnabled());

        w.mnuRenameImgs->trigger();
        QVERIFY(dialogs.prompts.value(0).startsWith(
            extension.contains(';') ? QStringLiteral("Dateiprefix (jede Datei behält ihre Erweiterung)\n")
                                    : QStringLiteral("Dateiprefix ('xxxx.%1' wird").arg(extension)));
        QCOMPARE(dialogs.messageTexts(), QStringList{QStringLiteral("Fertig: %1 Dateien umbenannt.").arg(shown.size())});
        QCOMPARE(dialogs.messages[0].icon, platform::MessageIcon::None);
        QCOMPARE(w.MousePointer(), platform::MousePointer::Default);
        Folder want;
        for (qsizetype i = 0; i < shown.size(); ++i)
            want.insert(expected[i], shown[i]);
        QCOMPARE(contents(m_folder), want);
        // Not built again, but every box follows its file.
        QCOMPARE(shownBoxes(w), boxes);
        QCOMPARE(shownPaths(w, m_folder), expected);
        QVERIFY(w.mnuUndoRename->isEnabled());
    }

    // A picture's RAW twin and sidecars take its new name in the same run, are listed under it in
    // the prompt, counted and named at the end and by the undo; its box carries a mark clear of its
    // centre and its tooltip names them. With the option off, the run and the words are as without
    // companions, and the boxes carry no mark.
    void companionsRenamedWithTheirPictures()
    {
        ScriptedDialogs dialogs;
        frmmain w;
        w.show();
        writeNamedFiles(m_folder, {"IMG_0001.CR2", "IMG_0001.JPG.xmp", "img_0002.XMP", "IMG_0003.DNG", "IMG_0003.xmp",
                                   "IMG_0003.JPG.XMP", "IMG_0004.xmp"});
        writeNamedFiles(m_folder, {"IMG_0004.HEIC"}); // with a picture of another kind shown, neither's
        writeNamedFiles(m_folder, {"MVI_0009.MOV"});  // not shown, and nobody's companion
        w.imageerw = QStringLiteral("jpg;heic");
        QVERIFY(showInOrder(w, m_folder, {"IMG_0002.JPG", "IMG_0001.JPG", "IMG_0004.JPG", "IMG_0003.JPG",
                                          "IMG_0004.HEIC"}));
        QVERIFY(w.companions);
        const Folder before = contents(m_folder);

        const auto mark = [&](int position) {
            const ImgPreview& box = boxAt(w, position - 1);
            return w.picScroll->grab(QRect(box.Left, box.Top, box.Width / 2, box.Height / 2)).toImage();
        };
        const auto centre = [&](int position) {
            const ImgPreview& box = boxAt(w, position - 1);
            return w.picScroll->grab(QRect(box.Left + box.Width / 4, box.Top + box.Height / 4, box.Width / 2,
                                           box.Height / 2))
                .toImage();
        };
        QVERIFY(mark(1) != mark(3)); // "XMP" on the first, nothing on the third
        QVERIFY(mark(2) != mark(3) && mark(2) != mark(1)); // "RAW +1"
        QVERIFY(mark(4) != mark(3) && mark(4) != mark(2)); // "RAW +2"
        QCOMPARE(centre(2), centre(3));
        const ImgPreview& second = boxAt(w, 1);
        QHelpEvent hover(QEvent::ToolTip, QPoint(second.Left + 10, second.Top + 10),
                         w.picScroll->mapToGlobal(QPoint(second.Left + 10, second.Top + 10)));
        QApplication::sendEvent(w.picScroll, &hover);
        QTextDocument tip;
        tip.setHtml(QToolTip::text());
        QCOMPARE(tip.toPlainText(), QFile::decodeName(m_folder) +
                                        QStringLiteral("/IMG_0001.JPG\n\nBegleitdateien:\nIMG_0001.CR2\nIMG_0001.JPG.xmp"));
        QToolTip::hideText();
        QTRY_VERIFY(!QToolTip::isVisible());

        w.mnuRenameImgs->trigger();
        const auto& prompt = dialogs.renamePrompts.value(0);
        QCOMPARE(prompt.count, QStringLiteral("11 Dateien werden umbenannt (darunter 6 Begleitdateien)\n"
                                              "Eine Begleitdatei gehört zu mehreren Bildern und behält ihren Namen:\n"
                                              "\"IMG_0004.xmp\" (zu \"IMG_0004.HEIC\", \"IMG_0004.JPG\")"));
        QStringList rows;
        for (const platform::RenameRow& row : prompt.rows)
            rows.append((row.kind == platform::RenameRow::Kind::Companion ? QStringLiteral("  %1 ").arg(row.parent)
                                                                          : QString()) +
                        row.oldName + QStringLiteral(" > ") + row.newName);
        QCOMPARE(rows, (QStringList{"IMG_0002.JPG > img0001.jpg", "  0 img_0002.XMP > img0001.XMP",
                                    "IMG_0001.JPG > img0002.jpg", "  2 IMG_0001.CR2 > img0002.CR2",
                                    "  2 IMG_0001.JPG.xmp > img0002.jpg.xmp", "IMG_0004.JPG > img0003.jpg",
                                    "IMG_0003.JPG > img0004.jpg", "  6 IMG_0003.DNG > img0004.DNG",
                                    "  6 IMG_0003.JPG.XMP > img0004.jpg.XMP", "  6 IMG_0003.xmp > img0004.xmp",
                                    "IMG_0004.HEIC > img0005.heic"}));
        QCOMPARE(dialogs.messageTexts(),
                 QStringList{"Fertig: 5 Dateien umbenannt.\n\n6 Begleitdateien gingen mit: img0001.XMP, img0002.CR2, img0002.jpg.xmp, …\n\n"
                             "1 weiteres Video (.mov) des Ordners wurde nicht angezeigt und behält seinen Namen.\n\n"
                             "Eine Begleitdatei gehört zu mehreren Bildern und behält ihren Namen:\n"
                             "\"IMG_0004.xmp\" (zu \"IMG_0004.HEIC\", \"IMG_0004.JPG\")"});
        const Folder renamed{{"img0001.jpg", "IMG_0002.JPG"},         {"img0001.XMP", "img_0002.XMP"},
                             {"img0002.jpg", "IMG_0001.JPG"},         {"img0002.CR2", "IMG_0001.CR2"},
                             {"img0002.jpg.xmp", "IMG_0001.JPG.xmp"}, {"img0003.jpg", "IMG_0004.JPG"},
                             {"img0004.jpg", "IMG_0003.JPG"},         {"img0004.DNG", "IMG_0003.DNG"},
                             {"img0004.jpg.XMP", "IMG_0003.JPG.XMP"}, {"img0004.xmp", "IMG_0003.xmp"},
                             {"img0005.heic", "IMG_0004.HEIC"},       {"IMG_0004.xmp", "IMG_0004.xmp"},
                             {"MVI_0009.MOV", "MVI_0009.MOV"}};
        QCOMPARE(contents(m_folder), renamed);
        // The pictures carry their companions under the new names.
        QCOMPARE(w.order().companions(w.order().shown()[1]).value(0).path, m_folder + "/img0002.CR2");

        w.mnuUndoRename->trigger();
        QVERIFY2(dialogs.questions.value(0).contains(QStringLiteral("11 Dateien in \"%1\" bekommen wieder ihre vorigen "
                                                                    "Namen (darunter 6 Begleitdateien):")
                                                         .arg(QFile::decodeName(m_folder))),
                 qPrintable(dialogs.questions.value(0)));
        QCOMPARE(contents(m_folder), before);

        // Off: the pictures alone, in the very words of a folder without companions.
        const auto restore = qScopeGuard([] {
            settings::Store::user().write({{settings::RenameCompanions, "1"}, {settings::ImageErw, "jpg"}});
        });
        settings::Store::user().write({{settings::ImageErw, "jpg;heic"}});
        QSignalSpy built(&w, &frmmain::viewBuilt);
        QTimer::singleShot(0, &w, [] {
            QWidget* dialog = QApplication::activeModalWidget();
            QVERIFY(dialog);
            QTest::mouseClick(dialog->findChild<QCheckBox*>(QStringLiteral("chkCompanions")), Qt::LeftButton);
            dialog->findChild<QPushButton*>(QStringLiteral("cmdOK"))->click();
        });
        w.mnuOptions->trigger();
        QVERIFY(built.wait(60000));
        QVERIFY(!w.companions);
        QCOMPARE(mark(1), mark(3));
        QApplication::sendEvent(w.picScroll, &hover);
        tip.setHtml(QToolTip::text());
        QCOMPARE(tip.toPlainText(), QFile::decodeName(m_folder) + QStringLiteral("/IMG_0001.JPG"));
        QToolTip::hideText();
        dialogs.messages.clear();
        w.selectfolder = false; // as the options read it
        w.mnuRenameImgs->trigger();
        QCOMPARE(dialogs.renamePrompts.value(1).count, QStringLiteral("5 Dateien werden umbenannt"));
        QCOMPARE(dialogs.renamePrompts.value(1).rows.size(), 5);
        // Left behind, the RAW files are counted among the files not shown.
        QCOMPARE(dialogs.messageTexts(), QStringList{"Fertig: 5 Dateien umbenannt.\n\n2 weitere Fotos und 1 Video (.cr2, .dng, .mov) "
                                                     "des Ordners wurden nicht angezeigt und behalten ihre Namen."});
        Folder alone = before;
        for (const char* name : {"IMG_0002.JPG", "IMG_0001.JPG", "IMG_0004.JPG", "IMG_0003.JPG", "IMG_0004.HEIC"})
            alone.remove(name);
        alone.insert({{"img0001.jpg", "IMG_0002.JPG"}, {"img0002.jpg", "IMG_0001.JPG"}, {"img0003.jpg", "IMG_0004.JPG"},
                      {"img0004.jpg", "IMG_0003.JPG"}, {"img0005.heic", "IMG_0004.HEIC"}});
        QCOMPARE(contents(m_folder), alone);
        w.mnuUndoRename->trigger();
        QVERIFY2(dialogs.questions.value(1).contains(QStringLiteral("Namen:")), qPrintable(dialogs.questions.value(1)));
        QCOMPARE(contents(m_folder), before);
    }

    // The browser opens at the folder shown, so that Enter alone does not send the files elsewhere;
    // Cancel there ends it silently. A name held by a file the run does not move stops it before
    // anything moves, with a word.
    void chosenFolder()
    {
        QTemporaryDir other;
        const QByteArray target = QFile::encodeName(other.path());
        ScriptedDialogs dialogs;
        frmmain w;
        QVERIFY(showInOrder(w, m_folder, {"b.jpg", "a.jpg"}));
        w.selectfolder = true;
        w.mnuRenameImgs->trigger();
        QCOMPARE(dialogs.browseTitles, QStringList{QStringLiteral("Bitte wählen Sie den Zielordner aus.")});
        QCOMPARE(dialogs.browseStarts, QStringList{QFile::decodeName(m_folder)});
        QVERIFY(dialogs.prompts.isEmpty() && dialogs.messages.isEmpty());
        writeNamedFiles(target, {"img0002.jpg"});
        const Folder before = contents(m_folder);
        dialogs.folderAnswers.enqueue(other.path());
        w.mnuRenameImgs->trigger();
        QCOMPARE(dialogs.messages.size(), 1);
        QVERIFY2(dialogs.messages[0].text.contains(QStringLiteral("Den Namen \"img0002.jpg\" trägt in")),
                 qPrintable(dialogs.messages[0].text));
        QCOMPARE(dialogs.messages[0].icon, platform::MessageIcon::Exclamation);
        QCOMPARE(contents(m_folder), before);
        QCOMPARE(shownPaths(w, m_folder), (QList<QByteArray>{"b.jpg", "a.jpg"}));
        QCOMPARE(w.MousePointer(), platform::MousePointer::Default);
        QVERIFY(QFile::remove(other.filePath(QStringLiteral("img0002.jpg"))));
        dialogs.folderAnswers.enqueue(other.path());
        w.mnuRenameImgs->trigger();
        QCOMPARE(dialogs.messages.last().text, QStringLiteral("Fertig: 2 Dateien umbenannt."));
        QVERIFY(contents(m_folder).isEmpty());
        QCOMPARE(contents(target), (Folder{{"img0001.jpg", "b.jpg"}, {"img0002.jpg", "a.jpg"}}));
        QCOMPARE(shownPaths(w, target), (QList<QByteArray>{"img0001.jpg", "img0002.jpg"}));
    }

    // A rename keeps the order's steps, and the boxes follow their files: the step before it undone,
    // a new move and the next rename number the files in the order shown, leaving alone the one whose
    // name stays. Undoing a rename asks first and goes one run back only.
    void renameAgainThenUndo()
    {
        ScriptedDialogs dialogs;
        frmmain w;
        w.show();
        QVERIFY(showInOrder(w, m_folder, {"a.jpg", "b.jpg", "c.jpg", "d.jpg"}));
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        QTest::mouseClick(w.picScroll, Qt::LeftButton, {}, at(w, 4));
        QTest::keyClick(w.pctPreview, Qt::Key_Home, Qt::ControlModifier);
        w.mnuRenameImgs->trigger();
        const Folder first{
            {"img0001.jpg", "d.jpg"}, {"img0002.jpg", "a.jpg"}, {"img0003.jpg", "b.jpg"}, {"img0004.jpg", "c.jpg"}};
        QCOMPARE(contents(m_folder), first);
        QTest::keyClick(w.pctPreview, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(shownPaths(w, m_folder),
                 (QList<QByteArray>{"img0002.jpg", "img0003.jpg", "img0004.jpg", "img0001.jpg"}));
        QTest::mouseClick(w.picScroll, Qt::LeftButton, {}, at(w, 2));
        QTest::keyClick(w.pctPreview, Qt::Key_Right, Qt::ControlModifier);
        w.mnuRenameImgs->trigger();
        const Folder second{
            {"img0001.jpg", "a.jpg"}, {"img0002.jpg", "c.jpg"}, {"img0003.jpg", "b.jpg"}, {"img0004.jpg", "d.jpg"}};
        QCOMPARE(contents(m_folder), second);
        dialogs.questionAnswers.enqueue(false);
        w.mnuUndoRename->trigger();
        QVERIFY2(dialogs.questions.value(0).contains("3 Dateien in"), qPrintable(dialogs.questions.value(0)));
        QCOMPARE(contents(m_folder), second); // No: nothing happens
        w.mnuUndoRename->trigger();
        QCOMPARE(contents(m_folder), first);
        QCOMPARE(shownPaths(w, m_folder),
                 (QList<QByteArray>{"img0002.jpg", "img0004.jpg", "img0003.jpg", "img0001.jpg"}));
        QVERIFY(!w.mnuUndoRename->isEnabled());
        QCOMPARE(dialogs.messageTexts(), (QStringList{"Fertig: 4 Dateien umbenannt.", "Fertig: 3 Dateien umbenannt.",
                                                      "Fertig: 3 Dateien haben wieder ihre vorigen Namen."}));
    }

    // The order made by drags comes back after the options, another folder and a new start. It is
    // written within the interval after a change, and at once when the window closes. A file added
    // since comes last, one removed is gone; the order of files of another extension waits for them;
    // name order needs no file. A spoilt file is set aside without a word.
    void orderIsKept()
    {
        ScriptedDialogs dialogs;
        const QString folder = makeFolder(m_dir->filePath("p"), numbered(5) << "x.png" << "y.png");
        const QString other = makeFolder(m_dir->filePath("q"), numbered(2, "q"));
        const QString kept = keptFile(m_folder + "/p");
        {
            frmmain w;
            QVERIFY(openView(w, folder));
            drag(w, 5, 1);
            drag(w, 3, 2);
            QCOMPARE(shown(w), (QList<int>{5, 2, 1, 3, 4}));
            QVERIFY(!QFile::exists(kept));
            QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(kept), frmmain::kKeepOrderAfterMs + 400);
            QSignalSpy built(&w, &frmmain::viewBuilt);
            answerOptions(w, "cmdOK");
            QVERIFY(built.size() == 1 || built.wait());
            QCOMPARE(shown(w), (QList<int>{5, 2, 1, 3, 4}));
            // The other extension: its own order, and the first one's waits.
            w.imageerw = QStringLiteral("png");
            QVERIFY(build(w, folder));
            drag(w, 2, 1);
            QCOMPARE(shownNames(w), (QStringList{"y.png", "x.png"}));
            w.imageerw = QStringLiteral("jpg");
            QVERIFY(build(w, other));
            QVERIFY(build(w, folder));
            QCOMPARE(shown(w), (QList<int>{5, 2, 1, 3, 4}));
            drag(w, 1, 5);
            QVERIFY(w.findChild<QTimer*>(QStringLiteral("tmrKeepOrder"))->isActive());
            w.close();
            const QStringList closed{"p0002.jpg", "p0001.jpg", "p0003.jpg", "p0005.jpg",
                                     "p0004.jpg", "y.png",     "x.png"};
            QCOMPARE(keptNames(m_folder + "/p"), closed);
        }
        // A file that came since goes in by its time, earlier than the others'.
        touch(m_folder + "/p/p0006.jpg");
        setModified(m_dir->filePath("p/p0006.jpg"), QDateTime::currentDateTime().addSecs(-3600));
        QVERIFY(QFile::remove(m_dir->filePath("p/p0003.jpg")));
        frmmain w;
        QVERIFY(openView(w, folder));
        QTRY_COMPARE(shown(w), (QList<int>{6, 2, 1, 5, 4}));
        w.imageerw = QStringLiteral("png");
        QVERIFY(build(w, folder));
        QCOMPARE(shownNames(w), (QStringList{"y.png", "x.png"}));
        w.mnuOrderByName->trigger(); // each extension's shown in turn: nothing left to keep
        w.imageerw = QStringLiteral("jpg");
        QVERIFY(build(w, folder));
        QCOMPARE(shown(w), (QList<int>{6, 2, 1, 5, 4}));
        w.mnuOrderByName->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(!QFile::exists(kept), frmmain::kKeepOrderAfterMs + 400);
        writeFile(kept, ordering::encodeOrder(m_folder + "/p/", {{"p0005.jpg", {}}}).replace("p0005", "p0004"));
        QVERIFY(build(w, folder));
        QCOMPARE(shown(w), (QList<int>{1, 2, 4, 5, 6}));
        QVERIFY(QFile::exists(kept + QStringLiteral(".damaged")) && !QFile::exists(kept));
        QVERIFY(dialogs.messages.isEmpty());
    }

    // A folder's kept order goes when the folder was not shown for 90 days: the next start removes
    // it. Showing the folder counts as much as changing its order.
    void keptOrderAge_data()
    {
        QTest::addColumn<qint64>("age"); // of the kept order, in seconds
        QTest::addColumn<bool>("shownThen"); // the folder is shown now, the next start two days later
        QTest::addColumn<bool>("kept");
        const qint64 day = 24 * 3600;
        QTest::newRow("not shown for 90 days less a minute") << 90 * day - 60 << false << true;
        QTest::newRow("not shown for 90 days and a minute") << 90 * day + 60 << false << false;
        QTest::newRow("shown after 89 days, two days before the start") << 89 * day << true << true;
    }
    void keptOrderAge()
    {
        QFETCH(qint64, age);
        QFETCH(bool, shownThen);
        QFETCH(bool, kept);
        const QString folder = makeFolder(m_dir->filePath("p"), numbered(3));
        const ordering::OrderStore store(renaming::defaultStateFolder());
        QVERIFY(store.save(m_folder + "/p/", {"p0003.jpg", "p0001.jpg", "p0002.jpg"}, {}));
        setModified(keptFile(m_folder + "/p"), QDateTime::currentDateTime().addSecs(-age));
        if (shownThen) {
            frmmain w;
            QVERIFY(build(w, folder));
            QCOMPARE(shown(w), (QList<int>{3, 1, 2}));
            w.close();
            store.prune(ordering::kPruneLimits, QDateTime::currentSecsSinceEpoch() + 2 * 24 * 3600);
        }
        frmmain w;
        QVERIFY(build(w, folder));
        QCOMPARE(shown(w), kept ? (QList<int>{3, 1, 2}) : (QList<int>{1, 2, 3}));
    }

    // During a long run of moves the order is written half a second after the first of them, not
    // only once they stop: a crash in the middle of an hour of moves loses the last half second.
    void keptDuringALongRunOfMoves()
    {
        const QString folder = makeFolder(m_dir->filePath("p"), numbered(30));
        frmmain w;
        QVERIFY(openActive(w, folder));
        QTest::mouseClick(w.picScroll, Qt::LeftButton, {}, at(w, 1));
        int moves = 0;
        QTimer mover;
        mover.setInterval(100);
        connect(&mover, &QTimer::timeout, &w, [&] {
            QTest::keyClick(w.pctPreview, Qt::Key_Right, Qt::ControlModifier);
            if (++moves == 29)
                mover.stop();
        });
        mover.start();
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(keptFile(m_folder + "/p")), 2500);
        QVERIFY(mover.isActive());
        QVERIFY(keptNames(m_folder + "/p").indexOf("p0001.jpg") > 0);
    }

    // An order that cannot be written is said in the status line, once for its folder and without a
    // dialog; it is written at the next change, and the line clears.
    void orderThatCannotBeKept()
    {
        ScriptedDialogs dialogs;
        const QString folder = makeFolder(m_dir->filePath("p"), numbered(4));
        const QString blocker = QFile::decodeName(renaming::defaultStateFolder()) + QStringLiteral("/orders");
        QVERIFY(QDir().mkpath(QFile::decodeName(renaming::defaultStateFolder())));
        writeFile(blocker, "in the way");
        frmmain w;
        QVERIFY(openView(w, folder));
        QSignalSpy said(w.sbrStatus, &QStatusBar::messageChanged);
        drag(w, 4, 1);
        const QString text = QStringLiteral("Die Reihenfolge für \"%1/\" konnte nicht gespeichert werden: %2")
                                 .arg(folder, platform::errorText(ENOTDIR));
        QTRY_COMPARE_WITH_TIMEOUT(w.sbrStatus->currentMessage(), text, frmmain::kKeepOrderAfterMs + 400);
        drag(w, 4, 1);
        w.keepOrderNow();
        w.waitForKeptOrder();
        QCoreApplication::processEvents();
        QCOMPARE(said.size(), 1);
        QVERIFY(QFile::remove(blocker));
        drag(w, 4, 2);
        w.keepOrderNow();
        QTRY_VERIFY(w.sbrStatus->currentMessage().isEmpty());
        QCOMPARE(keptNames(m_folder + "/p"), (QStringList{"p0003.jpg", "p0002.jpg", "p0004.jpg", "p0001.jpg"}));
        QVERIFY(dialogs.messages.isEmpty());
    }

    // A rename gives the names the order, so that nothing more needs keeping; its undo, after a new
    // start and from another folder, brings back the order from before it, also from a rename into
    // another folder. Asked first, the user learns where the files are and where they go back to.
    void renameThenUndoKeepsTheOrder_data()
    {
        QTest::addColumn<QString>("into"); // empty: where they are
        QTest::newRow("where they are") << QString();
        QTest::newRow("into another folder") << QStringLiteral("r");
    }
    void renameThenUndoKeepsTheOrder()
    {
        QFETCH(QString, into);
        ScriptedDialogs dialogs;
        writeNamedFiles(m_folder, {"a.jpg", "b.jpg", "c.jpg", "d.jpg"});
        const QString folder = QFile::decodeName(m_folder);
        const QString other = makeFolder(m_dir->filePath("q"), numbered(2, "q"));
        const QString target = into.isEmpty() ? folder : makeFolder(m_dir->filePath(into), {});
        const QStringList renamed{"img0001.jpg", "img0002.jpg", "img0003.jpg", "img0004.jpg"};
        {
            frmmain w;
            QVERIFY(openView(w, folder));
            drag(w, 3, 1);
            w.selectfolder = !into.isEmpty();
            dialogs.folderAnswers.enqueue(target);
            w.mnuRenameImgs->trigger();
            QCOMPARE(contents(QFile::encodeName(target)).value("img0001.jpg"), QByteArray("c.jpg"));
            QVERIFY(build(w, other));
            QVERIFY(build(w, target));
            QCOMPARE(shownNames(w), renamed);
        }
        {
            frmmain w;
            QVERIFY(openView(w, other));
            w.mnuUndoRename->trigger();
        }
        QCOMPARE(dialogs.questions.size(), 1);
        const QString question = "4 Dateien in \"" + target + "\" bekommen wieder ihre vorigen Namen" +
                                 (into.isEmpty() ? QStringLiteral(":\n") : " und kommen zurück nach \"" + folder + "\":\n");
        QVERIFY2(dialogs.questions[0].contains(question), qPrintable(dialogs.questions[0]));
        frmmain w;
        QVERIFY(openView(w, folder));
        QCOMPARE(shownNames(w), (QStringList{"c.jpg", "a.jpg", "b.jpg", "d.jpg"}));
        QCOMPARE(dialogs.messageTexts(),
                 (QStringList{"Fertig: 4 Dateien umbenannt.", "Fertig: 4 Dateien haben wieder ihre vorigen Namen."}));
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
            r.run({{m_folder + "/img0001.jpg", "img0002.jpg"}, {m_folder + "/img0002.jpg", "img0001.jpg"}},
                  m_folder);
            ::_exit(0);
        }
        int status = 0;
        QCOMPARE(::waitpid(child, &status, 0), child);
        QCOMPARE(WEXITSTATUS(status), 42);
        ScriptedDialogs dialogs;
        frmmain w;
        w.recoverInterruptedRenames();
        QCOMPARE(dialogs.messages.size(), 1);
        QVERIFY2(dialogs.messages[0].text.contains(QStringLiteral("wurde zu Ende geführt")),
                 qPrintable(dialogs.messages[0].text));
        QCOMPARE(contents(m_folder),
                 (Folder{{"img0001.jpg", "img0002.jpg"}, {"img0002.jpg", "img0001.jpg"}}));
        QVERIFY(w.mnuUndoRename->isEnabled());
    }

    // Closing the window while the folder is listed stops the listing. Ending the program while the
    // thumbnails load ends every event loop of this process for good (hence last), and the order
    // made just before is written at once.
    void closingStops_data()
    {
        QTest::addColumn<bool>("end");
        QTest::newRow("window closed while listed") << false;
        QTest::newRow("program ended while loading") << true;
    }
    void closingStops()
    {
        QFETCH(bool, end);
        frmmain w;
        w.show();
        QSignalSpy built(&w, &frmmain::viewBuilt);
        bool keptAtEnd = false;
        if (end) {
            connect(&w, &frmmain::viewArranged, this, [&] {
                QTimer::singleShot(0, &w, [&] {
                    drag(w, 2, 1);
                    w.mnuEnd->trigger();
                    keptAtEnd = keptNames(w.DirSelect->nativePath()).value(0) == "a0002.jpg";
                });
            });
        } else {
            holdListing(w, 6);
            whenever(&w, [&] {
                if (!w.building || w.picScroll->count() < 50)
                    return false;
                w.close();
                return true;
            });
        }
        w.openFolder(makeFolder(m_dir->filePath("a"), numbered(2000, "a")));
        QTRY_VERIFY(w.closing);
        QTest::qWait(100);
        const int listed = w.picScroll->count();
        QTest::qWait(100);
        QCOMPARE(w.picScroll->count(), listed);
        QCOMPARE(listed < 2000, !end);
        QCOMPARE(built.size(), 0);
        QCOMPARE(keptAtEnd, end);
    }

private:
    std::unique_ptr<QTemporaryDir> m_state;
    std::unique_ptr<QTemporaryDir> m_dir;
    QByteArray m_folder;
};

QTEST_MAIN(TestFrmMain)
#include "tst_frmmain.moc"
