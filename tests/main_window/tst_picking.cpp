#include "main_window/ThumbCanvas.h"
#include "main_window/frmmain.h"
#include "platform/Screen.h"

#include "ThumbnailTestSupport.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

// Picking photos with the mouse and the keyboard, moving the picked ones by keys, menu and drag,
// and the steps on the order back and forth: through the window, by what the user presses and
// clicks and by what it shows. The window holds three columns of photos, three rows in view.

namespace {

QList<int> shown(const frmmain& w)
{
    return numbersOf(shownNames(w));
}
QList<int> picked(const frmmain& w)
{
    return numbersOf(pickedNames(w));
}
int focused(const frmmain& w)
{
    return numbersOf({focusedName(w)}).value(0);
}

// Clicks on the photos at display positions: "c4" a click, "C4" with Ctrl, "S4" with Shift, "X4"
// with Ctrl and Shift; "b" a click beside the photos.
void click(const frmmain& w, const QString& script)
{
    for (const QString& c : script.split(u' ', Qt::SkipEmptyParts)) {
        if (c == "b") {
            QTest::mouseClick(w.picScroll, Qt::LeftButton, {}, inViewport(w, 350, 50));
            continue;
        }
        const Qt::KeyboardModifiers modifiers = c[0] == 'C'   ? Qt::ControlModifier
                                                : c[0] == 'S' ? Qt::ShiftModifier
                                                : c[0] == 'X' ? Qt::ControlModifier | Qt::ShiftModifier
                                                              : Qt::NoModifier;
        QTest::mouseClick(w.picScroll, Qt::LeftButton, modifiers, at(w, c.mid(1).toInt()));
    }
}

// Keys pressed where the photos have the keyboard: "Down", "S-Down" with Shift, "C-Down" with Ctrl.
void press(const frmmain& w, const QString& script)
{
    static const QMap<QString, Qt::Key> keys{
        {"Left", Qt::Key_Left},   {"Right", Qt::Key_Right},   {"Up", Qt::Key_Up},     {"Down", Qt::Key_Down},
        {"PgUp", Qt::Key_PageUp}, {"PgDn", Qt::Key_PageDown}, {"Home", Qt::Key_Home}, {"End", Qt::Key_End},
        {"Space", Qt::Key_Space}, {"Esc", Qt::Key_Escape},    {"A", Qt::Key_A},       {"Z", Qt::Key_Z}};
    for (QString k : script.split(u' ', Qt::SkipEmptyParts)) {
        Qt::KeyboardModifiers modifiers;
        if (k.startsWith("S-"))
            modifiers = Qt::ShiftModifier;
        else if (k.startsWith("C-"))
            modifiers = Qt::ControlModifier;
        if (modifiers != Qt::NoModifier)
            k = k.mid(2);
        QVERIFY2(keys.contains(k), qPrintable(k));
        QTest::keyClick(w.pctPreview, keys[k], modifiers);
    }
}

// The box of a photo lies wholly in the viewport.
bool inView(const frmmain& w, int number)
{
    const qsizetype position = shown(w).indexOf(number);
    return position >= 0 &&
           w.pctPreview->rect().contains(boxAt(w, position).rect().translated(w.picScroll->pos()));
}

QString undoText(const frmmain& w)
{
    return menuItem(w, "mnuUndoOrder")->text();
}

QString moving(qsizetype n)
{
    return n == 1 ? QStringLiteral("1 Bild verschieben") : QStringLiteral("%1 Bilder verschieben").arg(n);
}

} // namespace

class TestPicking : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); }

    void init()
    {
        m_state = std::make_unique<QTemporaryDir>();
        qputenv("XDG_STATE_HOME", QFile::encodeName(m_state->path()));
        m_dir = std::make_unique<QTemporaryDir>();
    }

    // Nine photos clicked as the script says: those picked. Dragged from the first of them onto
    // the last photo, the badge beside the pointer counts them (from two on), and so does the
    // step the drop makes.
    void clicks_data()
    {
        QTest::addColumn<QString>("clicks");
        QTest::addColumn<QList<int>>("picked");
        QTest::newRow("a click") << "c4" << QList<int>{4};
        QTest::newRow("Shift: a range from the photo clicked") << "c2 S5" << QList<int>{2, 3, 4, 5};
        QTest::newRow("Shift, backwards") << "c5 S2" << QList<int>{2, 3, 4, 5};
        QTest::newRow("Shift twice: both from the photo clicked") << "c4 S6 S2" << QList<int>{2, 3, 4};
        QTest::newRow("Shift with nothing clicked before: that photo") << "S3 S5" << QList<int>{3, 4, 5};
        QTest::newRow("Ctrl adds one") << "c1 C3 C5" << QList<int>{1, 3, 5};
        QTest::newRow("Ctrl+Shift adds a range from the last") << "c1 C3 X5" << QList<int>{1, 3, 4, 5};
        QTest::newRow("Ctrl on a picked one takes it out") << "c1 S3 C2" << QList<int>{1, 3};
        QTest::newRow("Ctrl takes one out and ranges start there") << "c1 S4 C2 S3" << QList<int>{2, 3};
        QTest::newRow("a click on a picked one: it alone, and ranges start there")
            << "c2 S5 c4 S6" << QList<int>{4, 5, 6};
        QTest::newRow("picked again, counted once") << "c2 X4" << QList<int>{2, 3, 4};
        QTest::newRow("all picked again, counted once") << "c1 S7 X4" << QList<int>{1, 2, 3, 4, 5, 6, 7};
        QTest::newRow("a click beside: none") << "c3 S5 b" << QList<int>{};
    }
    void clicks()
    {
        QFETCH(QString, clicks);
        QFETCH(QList<int>, picked);
        frmmain w;
        QVERIFY(openActive(w, makeFolder(m_dir->filePath("p"), numbered(9))));
        click(w, clicks);
        QCOMPARE(::picked(w), picked);
        if (picked.isEmpty())
            return;
        const auto* badge = w.findChild<QLabel*>(QStringLiteral("dragCount"));
        QTest::mousePress(w.picScroll, Qt::LeftButton, {}, at(w, picked.first()));
        QTest::mouseMove(w.picScroll, at(w, 9, 40));
        QCOMPARE(badge->isVisible(), picked.size() > 1);
        if (picked.size() > 1)
            QCOMPARE(badge->text(), QString::number(picked.size()));
        QTest::mouseRelease(w.picScroll, Qt::LeftButton, {}, at(w, 9, 40));
        QCOMPARE(shown(w).mid(9 - picked.size() - 1, picked.size()), picked);
        QCOMPARE(undoText(w), "&Rückgängig: " + moving(picked.size()));
    }

    // Thirty photos, ten rows: the keys from a start (a photo clicked, or none and the view
    // scrolled to a value) put the focus on a photo, pick some, and bring the focus into view. The
    // first key without a focus takes the first photo in view, where the view stays.
    void focusKeys_data()
    {
        QTest::addColumn<int>("scroll");
        QTest::addColumn<int>("clicked"); // 0: none
        QTest::addColumn<QString>("keys");
        QTest::addColumn<int>("focus");
        QTest::addColumn<QList<int>>("picked");
        QTest::addColumn<int>("scrolled"); // -1: wherever the focus is in view
        const auto row = [](const char* what, int scroll, int clicked, const char* keys, int focus,
                            const QList<int>& picked, int scrolled = -1) {
            QTest::newRow(what) << scroll << clicked << QString(keys) << focus << picked << scrolled;
        };
        // At 18 the top pixels of the row of 19 are out of view: it is brought in whole.
        row("first Right in a scrolled view", 18, 0, "Right", 19, {}, 17);
        row("first Left in a scrolled view", 18, 0, "Left", 19, {}, 17);
        row("first Down in a scrolled view", 18, 0, "Down", 19, {}, 17);
        row("first Page Down: a page from the first in view", 18, 0, "PgDn", 28, {});
        row("End, then Page Up: a page, its row at the top", 0, 0, "End PgUp", 21, {}, 17);
        row("Down and Up a row, Left and Right one", 0, 5, "Down Right Up Left Left", 4, {5});
        row("Page Down and Page Up", 0, 2, "PgDn PgDn PgUp", 11, {2});
        row("the ends hold the focus", 0, 5, "End Down Right Home Up Left", 1, {5}, 0);
        row("Shift picks from the anchor", 0, 0, "Home Right S-Right S-Down", 6, {2, 3, 4, 5, 6});
        row("Shift back towards the anchor: a shorter range", 0, 0, "Home Right S-Down S-Up", 2, {2});
        row("Space picks one more", 0, 0, "Home Right S-Right S-Down Down Space", 9, {2, 3, 4, 5, 6, 9});
        row("Space on a picked one takes it out", 0, 4, "Space", 4, {});
        row("Escape picks none", 0, 0, "Home S-End Esc", 30, {});
        QList<int> all;
        for (int k = 1; k <= 30; ++k)
            all.append(k);
        row("Ctrl+A picks all, the focus stays", 0, 7, "C-A", 7, all);
    }
    void focusKeys()
    {
        QFETCH(int, scroll);
        QFETCH(int, clicked);
        QFETCH(QString, keys);
        QFETCH(int, focus);
        QFETCH(QList<int>, picked);
        QFETCH(int, scrolled);
        frmmain w;
        QVERIFY(openActive(w, makeFolder(m_dir->filePath("p"), numbered(30))));
        // The keyboard comes to the photos from the folder list by one Tab.
        auto* folders = w.findChild<QWidget*>(QStringLiteral("DirSelect"));
        folders->setFocus();
        QTest::keyClick(folders, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), w.pctPreview);
        w.ScrollMe->setValue(scroll);
        if (clicked != 0)
            click(w, "c" + QString::number(clicked));
        press(w, keys);
        QCOMPARE(focused(w), focus);
        QCOMPARE(::picked(w), picked);
        QVERIFY(inView(w, focus));
        if (scrolled >= 0)
            QCOMPARE(w.ScrollMe->value(), scrolled);
    }

    // Nine photos: the picked ones moved by keys, as one block, into the places the keys say; the
    // view goes with them. At an end there is nothing to move and no step.
    void moveKeys_data()
    {
        QTest::addColumn<QString>("clicks");
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QList<int>>("expected");
        QTest::newRow("Ctrl+Right: one place on") << "c2"
                                                  << "C-Right" << QList<int>{1, 3, 2, 4, 5, 6, 7, 8, 9};
        QTest::newRow("Ctrl+Left: one place back") << "c6"
                                                   << "C-Left" << QList<int>{1, 2, 3, 4, 6, 5, 7, 8, 9};
        QTest::newRow("Ctrl+Down: a row down") << "c2"
                                               << "C-Down" << QList<int>{1, 3, 4, 5, 2, 6, 7, 8, 9};
        QTest::newRow("Ctrl+Up: a row up") << "c8"
                                           << "C-Up" << QList<int>{1, 2, 3, 4, 8, 5, 6, 7, 9};
        QTest::newRow("Ctrl+Down in the last row: to the end")
            << "c8"
            << "C-Down" << QList<int>{1, 2, 3, 4, 5, 6, 7, 9, 8};
        QTest::newRow("Ctrl+Left at the start: nothing") << "c1"
                                                         << "C-Left" << QList<int>{1, 2, 3, 4, 5, 6, 7, 8, 9};
        QTest::newRow("a block passes others as one") << "c2 S3"
                                                      << "C-Right" << QList<int>{1, 4, 2, 3, 5, 6, 7, 8, 9};
        QTest::newRow("scattered ones close up, a row down")
            << "c1 C3"
            << "C-Down" << QList<int>{2, 4, 5, 1, 3, 6, 7, 8, 9};
        QTest::newRow("Ctrl+Home") << "c3 C5 C7"
                                   << "C-Home" << QList<int>{3, 5, 7, 1, 2, 4, 6, 8, 9};
        QTest::newRow("Ctrl+End") << "c3 C5 C7"
                                  << "C-End" << QList<int>{1, 2, 4, 6, 8, 9, 3, 5, 7};
        QTest::newRow("Ctrl+End twice: once") << "c8 S9"
                                              << "C-End C-End" << QList<int>{1, 2, 3, 4, 5, 6, 7, 8, 9};
    }
    void moveKeys()
    {
        QFETCH(QString, clicks);
        QFETCH(QString, keys);
        QFETCH(QList<int>, expected);
        frmmain w;
        QVERIFY(openActive(w, makeFolder(m_dir->filePath("p"), numbered(9))));
        click(w, clicks);
        const QList<int> before = picked(w);
        press(w, keys);
        QCOMPARE(shown(w), expected);
        QCOMPARE(picked(w), before);
        const bool moved = expected != QList<int>{1, 2, 3, 4, 5, 6, 7, 8, 9};
        QCOMPARE(undoText(w),
                 moved ? "&Rückgängig: " + moving(before.size()) : QStringLiteral("&Rückgängig"));
    }

    // Three scattered photos picked with Ctrl and dragged onto the first land first, in their old
    // relative order; undo and redo go back and forth, keeping them picked. A sort is a step too,
    // unless it changes nothing: then Redo stays. A new view has no steps and nothing picked.
    void severalMoveTogetherAndBack()
    {
        frmmain w;
        const QString folder = makeFolder(m_dir->filePath("p"), numbered(8));
        for (const char* name : {"p0003.jpg", "p0007.jpg"}) {
            QImage dark(80, 60, QImage::Format_RGB32); // a picture under the caption, not a cross
            dark.fill(Qt::darkGreen);
            QVERIFY(dark.save(folder + u'/' + QLatin1String(name), "JPG"));
        }
        QVERIFY(openActive(w, folder));
        QSignalSpy changed(&w, &frmmain::orderChanged);
        click(w, "C7 C3 C5");
        QCOMPARE(picked(w), (QList<int>{3, 5, 7}));
        QVERIFY(w.pctPreview->hasFocus());
        const QImage canvas = w.picScroll->grab().toImage();
        QCOMPARE(canvas.pixelColor(at(w, 3, 1, 1)), w.picScroll->selectionColor());
        QVERIFY(canvas.pixelColor(at(w, 2, 1, 1)) != w.picScroll->selectionColor());
        // Picked, picked with the keyboard on it, or neither: the picture and its name as drawn,
        // not a pixel of them covered or tinted; the marks lie around them.
        QCOMPARE(focused(w), 5);
        for (int position : {3, 5, 2}) {
            const ImgPreview& box = boxAt(w, position - 1);
            const int m = ThumbCanvas::kMarkMargin;
            const QImage image = w.picScroll->shownImage(box.Index).convertToFormat(QImage::Format_RGB32);
            QCOMPARE(image.size(), box.rect().adjusted(m, m, -m, -m).size());
            QCOMPARE(canvas.copy(box.rect().adjusted(m, m, -m, -m)).convertToFormat(QImage::Format_RGB32), image);
        }
        // The ring of the keyboard's focus inside the frame, which shows all round.
        QCOMPARE(canvas.pixelColor(at(w, 5, 0, 40)), w.picScroll->selectionColor());
        QVERIFY(canvas.pixelColor(at(w, 5, 3, 40)) != w.picScroll->selectionColor());
        QCOMPARE(canvas.pixelColor(at(w, 3, 3, 3)), QColor(Qt::white));

        auto* marker = w.findChild<QWidget*>(QStringLiteral("linWohin"));
        QTest::mousePress(w.picScroll, Qt::LeftButton, {}, at(w, 5));
        QTest::mouseMove(w.picScroll, at(w, 7)); // onto one of them: no place to land
        QVERIFY(!marker->isVisible());
        QTest::mouseMove(w.picScroll, at(w, 1));
        QVERIFY(marker->isVisible());
        QTest::mouseRelease(w.picScroll, Qt::LeftButton, {}, at(w, 1));
        const QList<int> moved{3, 5, 7, 1, 2, 4, 6, 8};
        QCOMPARE(shown(w), moved);
        QCOMPARE(picked(w), (QList<int>{3, 5, 7}));
        QVERIFY(!marker->isVisible());
        QCOMPARE(undoText(w), "&Rückgängig: " + moving(3));

        QAction* redo = menuItem(w, "mnuRedoOrder");
        click(w, "c8");
        press(w, "C-Z");
        QCOMPARE(shown(w), (QList<int>{1, 2, 3, 4, 5, 6, 7, 8}));
        QCOMPARE(picked(w), (QList<int>{3, 5, 7}));
        QCOMPARE(undoText(w), QStringLiteral("&Rückgängig"));
        QCOMPARE(redo->text(), "&Wiederholen: " + moving(3));
        menuItem(w, "mnuOrderByName")->trigger(); // in that order already
        QCOMPARE(undoText(w), QStringLiteral("&Rückgängig"));
        QCOMPARE(redo->text(), "&Wiederholen: " + moving(3));
        QTest::keyClick(w.pctPreview, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(shown(w), moved);
        press(w, "C-Z");
        QTest::keyClick(w.pctPreview, Qt::Key_Y, Qt::ControlModifier);
        QCOMPARE(shown(w), moved);
        QVERIFY(!redo->isEnabled());

        auto* folders = w.findChild<QWidget*>(QStringLiteral("DirSelect"));
        folders->setFocus(); // there Ctrl+End goes to the last folder, as it always did
        QTest::keyClick(folders, Qt::Key_End, Qt::ControlModifier);
        QCOMPARE(shown(w), moved);
        w.pctPreview->setFocus();
        press(w, "C-End");
        const QList<int> atTheEnd{1, 2, 4, 6, 8, 3, 5, 7};
        QCOMPARE(shown(w), atTheEnd);
        menuItem(w, "mnuOrderByName")->trigger();
        QCOMPARE(undoText(w), QStringLiteral("&Rückgängig: Nach Dateiname ordnen"));
        press(w, "C-Z");
        QCOMPARE(shown(w), atTheEnd);
        QCOMPARE(undoText(w), "&Rückgängig: " + moving(3));
        QCOMPARE(changed.size(), 8);
        w.makeview(); // while the folder is listed anew, nothing is picked and no step can be taken
        QVERIFY(pickedNames(w).isEmpty());
        QVERIFY(!menuItem(w, "mnuUndoOrder")->isEnabled() && !redo->isEnabled());
    }

    // The ring that shows where the keyboard is shows only while the photos have the keyboard:
    // two picked photos, one of them with the focus, look alike while the folder list has it.
    void focusRingOnlyWithTheKeyboard()
    {
        frmmain w;
        QVERIFY(openActive(w, makeFolder(m_dir->filePath("p"), numbered(9))));
        click(w, "c5 C6");
        QCOMPARE(focused(w), 6);
        const auto look = [&w](int position) {
            return w.picScroll->grab(boxAt(w, position - 1).rect()).toImage();
        };
        QVERIFY(look(6) != look(5));
        auto* folders = w.findChild<QWidget*>(QStringLiteral("DirSelect"));
        folders->setFocus();
        QTRY_VERIFY(folders->hasFocus());
        QCOMPARE(look(6), look(5));
        QTest::keyClick(folders, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), w.pctPreview);
        QVERIFY(look(6) != look(5));
    }

private:
    std::unique_ptr<QTemporaryDir> m_state;
    std::unique_ptr<QTemporaryDir> m_dir;
};

QTEST_MAIN(TestPicking)
#include "tst_picking.moc"
