#include "main_window/FormLayout.h"
#include "main_window/ThumbCanvas.h"
#include "main_window/frmmain.h"
#include "platform/FileNames.h"
#include "platform/FolderList.h"
#include "platform/Screen.h"

#include "ScriptedDialogs.h"

#include <QApplication>
#include <QMenuBar>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "TestFiles.h"
#include <QTimer>

#include <sys/stat.h>
#include <unistd.h>

#include <functional>

namespace {

// A folder of empty files with the given names.
QString makeFolder(const QTemporaryDir& root, const QString& name, const QList<QByteArray>& files)
{
    const QString path = root.path() + QLatin1Char('/') + name;
    QDir().mkpath(path);
    for (const QByteArray& f : files)
        touch(platform::encodeName(path) + '/' + f);
    return path;
}

QList<QByteArray> numberedFiles(int n, const char* prefix = "img")
{
    QList<QByteArray> names;
    for (int i = 0; i < n; ++i)
        names.append(QByteArray(prefix) + QByteArray::number(i) + ".jpg");
    return names;
}

QStringList shownNames(const frmmain& w)
{
    QStringList names;
    for (qsizetype k = 0; k + 1 < w.order.size(); ++k) {
        const QString path = w.picScroll->element(w.order[k]).ToolTipText();
        names.append(path.mid(path.lastIndexOf(QLatin1Char('/')) + 1));
    }
    return names;
}

// Runs f at every turn of the event loop until it returns true (it is then dropped).
void whenever(QObject* context, std::function<bool()> f)
{
    auto* timer = new QTimer(context);
    timer->setInterval(0);
    QObject::connect(timer, &QTimer::timeout, context, [timer, f] {
        if (f())
            timer->deleteLater();
    });
    timer->start();
}

double tx()
{
    return platform::twipsPerPixelX();
}

} // namespace

class TestFrmMain : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QApplication::setQuitOnLastWindowClosed(false);
        QCOMPARE(tx(), 15.0); // the figures below assume 96 DPI
    }

    void startUp()
    {
        frmmain w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QCOMPARE(w.windowTitle(), QStringLiteral("Tessaline"));
        QVERIFY(!w.windowIcon().isNull());
        QCOMPARE(w.centralWidget()->size(), QSize(548, 387));
        QCOMPARE(w.layoutTwips().DirSelect.Width, 1980.0);
        QCOMPARE(w.layoutTwips().pctPreview.Left, 2020.0);
        QCOMPARE(w.pctPreview->x(), 135); // 2020 twips, rounded to pixels
        QCOMPARE(w.ScrollMe->x() + w.ScrollMe->width(), w.pctPreview->width());
        QCOMPARE(w.ScrollMe->height(), w.pctPreview->height());
        QCOMPARE(w.DrvSelect->y(), w.DirSelect->y() + w.DirSelect->height());
        // No folder is listed at start.
        QVERIFY(w.order.isEmpty());
        QVERIFY(!w.tmrNextDir->isActive());
        QVERIFY(w.tmrScroll->isActive());
        QCOMPARE(w.thumbwidth, std::int16_t(100));
        QCOMPARE(w.imageerw, QStringLiteral("jpg"));
    }

    void menus()
    {
        frmmain w;
        QStringList titles;
        for (QAction* a : w.menuBar()->actions())
            titles.append(a->text());
        QCOMPARE(titles, (QStringList{QStringLiteral("&Datei"), QStringLiteral("&Reihenfolge"), QStringLiteral("&Hilfe")}));
        QCOMPARE(w.mnuOrder->actions(), (QList<QAction*>{w.mnuOrderByTime, w.mnuOrderByName}));
        QCOMPARE(w.mnuOrderByTime->text(), QStringLiteral("Nach &Aufnahmezeit"));
        QCOMPARE(w.mnuOrderByName->text(), QStringLiteral("Nach &Dateiname"));
        QStringList items;
        for (QAction* a : w.mnuFile->actions())
            items.append(a->isSeparator() ? QStringLiteral("-") : a->text());
        QCOMPARE(items, (QStringList{QStringLiteral("&Bilder umbenennen..."), QStringLiteral("Umbenennen &rückgängig"),
                                     QStringLiteral("&Optionen"),
                                     QStringLiteral("-"), QStringLiteral("&Ende")}));
        QCOMPARE(w.mnuAbout->text(), QStringLiteral("&Info"));
    }

    void narrowWindowIsWidenedAndSplitterClamped()
    {
        frmmain w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.resize(120, 300);
        QTRY_COMPARE(w.outerWidthTwips(), 3000.0);
        QTRY_COMPARE(w.layoutTwips().imgSplitter.Left, 1500.0);
        QCOMPARE(w.layoutTwips().DirSelect.Width, 1500.0);
    }

    void splitterDrag()
    {
        frmmain w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        const double W = w.outerWidthTwips();

        // Far to the left: the bar stops at 500 twips, the layout at 1500.
        QTest::mousePress(w.imgSplitter, Qt::LeftButton, {}, QPoint(1, 5));
        QVERIFY(w.splitmoving);
        QVERIFY(w.picSplitter->isVisible());
        QCOMPARE(w.picSplitter->width(), qRound((150 - 20) / tx()));
        QTest::mouseMove(w.imgSplitter, QPoint(-200, 5));
        QCOMPARE(w.picSplitter->x(), qRound(500 / tx()));
        QCOMPARE(w.layoutTwips().DirSelect.Width, 1980.0); // nothing else moves during the drag
        QTest::mouseRelease(w.imgSplitter, Qt::LeftButton, {}, QPoint(-200, 5));
        QVERIFY(!w.splitmoving);
        QVERIFY(!w.picSplitter->isVisible());
        QCOMPARE(w.layoutTwips().DirSelect.Width, 1500.0);

        // Far to the right: the bar stops 500 twips before the edge, the layout 1500.
        QTest::mousePress(w.imgSplitter, Qt::LeftButton, {}, QPoint(1, 5));
        QTest::mouseMove(w.imgSplitter, QPoint(2000, 5));
        QCOMPARE(w.picSplitter->x(), qRound((W - 500) / tx()));
        QTest::mouseRelease(w.imgSplitter, Qt::LeftButton, {}, QPoint(2000, 5));
        QCOMPARE(w.layoutTwips().DirSelect.Width, W - 1500);
        QCOMPARE(w.layoutTwips().pctPreview.Left, W - 1500 + 40);
    }

    void buildListsSortsAndArranges()
    {
        QTemporaryDir root;
        const QString folder = makeFolder(
            root, QStringLiteral("pics"),
            {"birne.jpg", "Zebra.jpg", "apfel.jpg", "img2.jpg", "img10.jpg", "note.txt", "shot.PNG", ".hidden.jpg"});
        frmmain w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QSignalSpy built(&w, &frmmain::viewBuilt);
        QVERIFY(w.openFolder(folder));
        QVERIFY(built.wait());

        QCOMPARE(shownNames(w), (QStringList{"Zebra.jpg", "apfel.jpg", "birne.jpg", "img10.jpg", "img2.jpg"}));
        const ImgPreview& first = w.picScroll->element(w.order.first());
        QCOMPARE(first.ToolTipText(), folder + QStringLiteral("/Zebra.jpg"));
        QCOMPARE(first.nativePath, platform::encodeName(folder) + "/Zebra.jpg");
        QVERIFY(first.Visible);
        QCOMPARE(first.rect(), QRect(2, 0, 100, 100));
        // The placeholder: last, invisible, in the slot after the last picture, without a path.
        const ImgPreview& placeholder = w.picScroll->element(w.order.last());
        QVERIFY(!placeholder.Visible);
        QVERIFY(placeholder.ToolTipText().isEmpty());
        QCOMPARE(w.order.size(), 6);
        QCOMPARE(w.picScroll->count(), 7); // with the template
        QVERIFY(!w.building);
        QCOMPARE(w.MousePointer(), platform::MousePointer::Default);

        // Every element is listed exactly once.
        QList<int> sorted = w.order;
        std::sort(sorted.begin(), sorted.end());
        QCOMPARE(sorted, (QList<int>{1, 2, 3, 4, 5, 6}));

        // The tooltip shows the full path.
        const QPoint centre = first.rect().center();
        QCOMPARE(w.picScroll->elementAt(centre), w.order.first());
        QCOMPARE(w.picScroll->elementAt(w.picScroll->element(w.order.last()).rect().center()), 0);
    }

    void extensionSetting()
    {
        QTemporaryDir root;
        const QString folder = makeFolder(root, QStringLiteral("pics"), {"a.jpg", "b.png", "C.PNG"});
        frmmain w;
        w.imageerw = QStringLiteral("png");
        QSignalSpy built(&w, &frmmain::viewBuilt);
        w.openFolder(folder);
        QVERIFY(built.wait());
        QCOMPARE(shownNames(w), (QStringList{"C.PNG", "b.png"}));
    }

    void emptyFolder()
    {
        QTemporaryDir root;
        const QString folder = makeFolder(root, QStringLiteral("empty"), {"readme.txt"});
        frmmain w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QSignalSpy built(&w, &frmmain::viewBuilt);
        w.openFolder(folder);
        QVERIFY(built.wait());
        QCOMPARE(w.order.size(), 1);
        QCOMPARE(w.MousePointer(), platform::MousePointer::Default);
        QCOMPARE(w.ScrollMe->maximum(), 0);
    }

    void namesThatAreNotUtf8()
    {
        QTemporaryDir root;
        const QString folder = makeFolder(root, QStringLiteral("pics"), {"M\xfcnchen.jpg", "a.jpg"});
        frmmain w;
        QSignalSpy built(&w, &frmmain::viewBuilt);
        w.openFolder(folder);
        QVERIFY(built.wait());
        QCOMPARE(w.order.size(), 3);
        // "M" sorts before "a", whatever follows it.
        const ImgPreview& first = w.picScroll->element(w.order[0]);
        QCOMPARE(first.nativePath, platform::encodeName(folder) + "/M\xfcnchen.jpg");
        QCOMPARE(platform::encodeName(first.ToolTipText()), first.nativePath);
        ::unlink(first.nativePath.constData());
    }

    void rapidFolderSwitchingBuildsOnlyTheLast()
    {
        QTemporaryDir root;
        const QString a = makeFolder(root, QStringLiteral("a"), numberedFiles(1500, "a"));
        const QString b = makeFolder(root, QStringLiteral("b"), numberedFiles(1500, "b"));
        const QString c = makeFolder(root, QStringLiteral("c"), numberedFiles(40, "c"));
        frmmain w;
        QSignalSpy arranged(&w, &frmmain::viewArranged);
        QSignalSpy built(&w, &frmmain::viewBuilt);
        w.openFolder(a);
        int step = 0;
        whenever(&w, [&] {
            if (!w.building || w.picScroll->count() < 20)
                return false;
            w.openFolder(step++ == 0 ? b : c); // b while a is listed, then c while b is listed
            return step == 2;
        });
        QVERIFY(built.wait(20000));
        QTest::qWait(50);
        QCOMPARE(built.size(), 1);
        QCOMPARE(arranged.size(), 1);
        QCOMPARE(w.order.size(), 41);
        for (const QString& name : shownNames(w))
            QVERIFY2(name.startsWith(QLatin1Char('c')), qPrintable(name));
        QCOMPARE(w.DirSelect->Path(), c);
    }

    void closingDuringBuildStopsIt()
    {
        QTemporaryDir root;
        const QString a = makeFolder(root, QStringLiteral("a"), numberedFiles(2000));
        auto* w = new frmmain;
        w->show();
        QSignalSpy built(w, &frmmain::viewBuilt);
        w->openFolder(a);
        whenever(w, [&] {
            if (!w->building || w->picScroll->count() < 50)
                return false;
            w->close();
            return true;
        });
        QTRY_VERIFY(w->closing);
        QTest::qWait(100);
        const int listed = w->picScroll->count();
        QTest::qWait(100);
        QCOMPARE(w->picScroll->count(), listed); // nothing more was listed
        QVERIFY(listed < 2000);
        QCOMPARE(built.size(), 0);
        delete w;
    }

    void optionsDuringBuildDoNotStartASecondOne()
    {
        QTemporaryDir root;
        const QString a = makeFolder(root, QStringLiteral("a"), numberedFiles(1500));
        frmmain w;
        w.show();
        QSignalSpy arranged(&w, &frmmain::viewArranged);
        QSignalSpy built(&w, &frmmain::viewBuilt);
        w.openFolder(a);
        bool orderWhileListed = true;
        whenever(&w, [&] {
            if (!w.building || w.picScroll->count() < 20)
                return false;
            orderWhileListed = w.mnuOrderByTime->isEnabled() || w.mnuOrderByName->isEnabled();
            // The options dialog is modal; close it as soon as it is up.
            QTimer::singleShot(0, &w, [] {
                if (QWidget* dialog = QApplication::activeModalWidget())
                    dialog->close();
            });
            w.mnuOptions->trigger();
            return true;
        });
        QVERIFY(built.wait(20000));
        QTest::qWait(50);
        QCOMPARE(arranged.size(), 1);
        QCOMPARE(built.size(), 1);
        QCOMPARE(w.order.size(), 1501);
        // A starting order needs the whole folder listed.
        QVERIFY(!orderWhileListed);
        QVERIFY(w.mnuOrderByTime->isEnabled() && w.mnuOrderByName->isEnabled());
    }

    // The viewport is 413 x 387 pixels at first: three thumbnails to a row.
    void scrolling()
    {
        QTemporaryDir root;
        frmmain w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QSignalSpy built(&w, &frmmain::viewBuilt);
        w.openFolder(makeFolder(root, QStringLiteral("few"), numberedFiles(5)));
        QVERIFY(built.wait());
        QCOMPARE(w.ScrollMe->maximum(), 0); // two rows fit

        w.openFolder(makeFolder(root, QStringLiteral("many"), numberedFiles(30)));
        QVERIFY(built.wait());
        QCOMPARE(w.pctPreview->size(), QSize(413, 387));
        // Ten rows: the last ends at 1009, in view from value 19 (652 pixels up) on.
        QCOMPARE(w.ScrollMe->maximum(), 19);
        w.ScrollMe->setValue(3);
        QCOMPARE(w.picScroll->y(), -103);
        QTest::keyClick(w.pctPreview, Qt::Key_End);
        QCOMPARE(w.ScrollMe->value(), 19);
        QCOMPARE(w.picScroll->y(), -652);
        // Dragging the scroll box to the bottom stops there too.
        w.ScrollMe->setSliderPosition(100);
        QCOMPARE(w.ScrollMe->value(), 19);

        // Wider, five to a row: six rows, the last ending at 605; back at the top.
        w.resize(w.width() + 120, w.height());
        QTRY_COMPARE(w.ScrollMe->maximum(), 7);
        QCOMPARE(w.ScrollMe->value(), 0);
        QCOMPARE(w.picScroll->y(), 0);
        // The wheel scrolls one row per notch.
        QWheelEvent wheel(QPointF(10, 10), w.pctPreview->mapToGlobal(QPointF(10, 10)), {}, QPoint(0, -120),
                          Qt::NoButton, {}, Qt::NoScrollPhase, false);
        QApplication::sendEvent(w.pctPreview, &wheel);
        QCOMPARE(w.ScrollMe->value(), 3);
        // Taller than the rows: no scrolling.
        w.resize(w.width(), w.height() + 300);
        QTRY_COMPARE(w.pctPreview->height(), 687);
        QCOMPARE(w.ScrollMe->maximum(), 0);
    }

    // Last: ending the program ends every event loop of this process for good.
    void endDuringLoadingStops()
    {
        QTemporaryDir root;
        const QString a = makeFolder(root, QStringLiteral("a"), numberedFiles(2000));
        frmmain w;
        QSignalSpy built(&w, &frmmain::viewBuilt);
        connect(&w, &frmmain::viewArranged, this, [&] { QTimer::singleShot(0, &w, [&] { w.mnuEnd->trigger(); }); });
        w.openFolder(a);
        QTRY_VERIFY(w.closing);
        QTest::qWait(100);
        QCOMPARE(built.size(), 0);
    }
};

QTEST_MAIN(TestFrmMain)
#include "tst_frmmain.moc"
