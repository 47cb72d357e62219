#include "main_window/ThumbCanvas.h"
#include "main_window/frmmain.h"
#include "platform/FileNames.h"
#include "platform/FolderList.h"
#include "platform/Screen.h"

#include "TestFiles.h"

#include <QApplication>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

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
    for (qsizetype k = 0; k + 1 < w.order.size(); ++k)
        names.append(thumbs::fileNameOf(w.picScroll->element(w.order[k]).ToolTipText()));
    return names;
}

bool build(frmmain& w, const QString& folder)
{
    QSignalSpy built(&w, &frmmain::viewBuilt);
    w.openFolder(folder);
    return built.wait(20000);
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

} // namespace

// The figures below are those of a screen of 96 DPI (15 twips per pixel).
class TestFrmMain : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); }

    void startUp()
    {
        frmmain w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QCOMPARE(w.windowTitle(), QStringLiteral("Tessaline"));
        QVERIFY(!w.windowIcon().isNull());
        QCOMPARE(w.centralWidget()->size(), QSize(548, 387));
        QCOMPARE(w.pctPreview->geometry(), QRect(135, 0, 413, 387));
        QCOMPARE(w.ScrollMe->geometry(), QRect(396, 0, 17, 387));
        QCOMPARE(w.DrvSelect->y(), w.DirSelect->height());
        QVERIFY(w.order.isEmpty() && !w.tmrNextDir->isActive() && w.tmrScroll->isActive());
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

    // The grey bar stops 500 twips from either edge of the window (552 pixels with its frame),
    // the layout 1500; nothing else moves during the drag.
    void splitterDrag()
    {
        frmmain w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QCOMPARE(w.outerWidthTwips(), 8280.0);
        QTest::mousePress(w.imgSplitter, Qt::LeftButton, {}, QPoint(1, 5));
        QVERIFY(w.picSplitter->isVisible());
        QCOMPARE(w.picSplitter->width(), 9);
        QTest::mouseMove(w.imgSplitter, QPoint(-200, 5));
        QCOMPARE(w.picSplitter->x(), 33);
        QCOMPARE(w.layoutTwips().DirSelect.Width, 1980.0);
        QTest::mouseRelease(w.imgSplitter, Qt::LeftButton, {}, QPoint(-200, 5));
        QVERIFY(!w.picSplitter->isVisible());
        QCOMPARE(w.layoutTwips().DirSelect.Width, 1500.0);

        QTest::mousePress(w.imgSplitter, Qt::LeftButton, {}, QPoint(1, 5));
        QTest::mouseMove(w.imgSplitter, QPoint(2000, 5));
        QCOMPARE(w.picSplitter->x(), 519);
        QTest::mouseRelease(w.imgSplitter, Qt::LeftButton, {}, QPoint(2000, 5));
        QCOMPARE(w.layoutTwips().DirSelect.Width, 6780.0);
        QCOMPARE(w.pctPreview->x(), 455);
    }

    // Ordinal order of the names, whatever the user's language, in the listing and by name; a
    // name that is not UTF-8 keeps its bytes.
    void buildListsSortsAndArranges()
    {
        QTemporaryDir root;
        const QString folder = makeFolder(root, QStringLiteral("pics"),
                                          {"birne.jpg", "Zebra.jpg", "apfel.jpg", "img2.jpg", "img10.jpg",
                                           "M\xfcnchen.jpg", "note.txt", "shot.PNG", ".hidden.jpg"});
        frmmain w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QVERIFY(build(w, folder));
        const QStringList ordinal{platform::decodeName("M\xfcnchen.jpg"), "Zebra.jpg", "apfel.jpg", "birne.jpg",
                                  "img10.jpg", "img2.jpg"};
        QCOMPARE(shownNames(w), ordinal);
        const ImgPreview& first = w.picScroll->element(w.order.first());
        QCOMPARE(first.nativePath, platform::encodeName(folder) + "/M\xfcnchen.jpg");
        QCOMPARE(platform::encodeName(first.ToolTipText()), first.nativePath);
        QCOMPARE(first.rect(), QRect(2, 0, 100, 100));
        QCOMPARE(w.picScroll->elementAt(first.rect().center()), w.order.first());
        // The placeholder: last, invisible, without a path, never under the mouse.
        const ImgPreview& placeholder = w.picScroll->element(w.order.last());
        QVERIFY(!placeholder.Visible && placeholder.ToolTipText().isEmpty());
        QCOMPARE(w.picScroll->elementAt(placeholder.rect().center()), 0);
        QList<int> sorted = w.order;
        std::sort(sorted.begin(), sorted.end());
        QCOMPARE(sorted, (QList<int>{1, 2, 3, 4, 5, 6, 7}));
        QVERIFY(!w.building);
        QCOMPARE(w.MousePointer(), platform::MousePointer::Default);
        std::reverse(w.order.begin(), w.order.end() - 1);
        w.mnuOrderByName->trigger(); // the listing's order again
        QCOMPARE(shownNames(w), ordinal);
        ::unlink(first.nativePath.constData()); // a name QTemporaryDir cannot remove
    }

    void extensionSetting()
    {
        QTemporaryDir root;
        frmmain w;
        w.imageerw = QStringLiteral("png");
        QVERIFY(build(w, makeFolder(root, QStringLiteral("pics"), {"a.jpg", "b.png", "C.PNG"})));
        QCOMPARE(shownNames(w), (QStringList{"C.PNG", "b.png"}));
    }

    void closingDuringBuildStopsIt()
    {
        QTemporaryDir root;
        auto* w = new frmmain;
        w->show();
        QSignalSpy built(w, &frmmain::viewBuilt);
        w->openFolder(makeFolder(root, QStringLiteral("a"), numberedFiles(2000)));
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
        QCOMPARE(w->picScroll->count(), listed);
        QVERIFY(listed < 2000);
        QCOMPARE(built.size(), 0);
        delete w;
    }

    // A build ends when the user goes to another folder meanwhile, and the options, which rebuild
    // the view, do not start a second one. A starting order needs the whole folder listed.
    void interruptedBuildsBuildOnlyTheLast()
    {
        QTemporaryDir root;
        const QString a = makeFolder(root, QStringLiteral("a"), numberedFiles(1500, "a"));
        const QString b = makeFolder(root, QStringLiteral("b"), numberedFiles(1500, "b"));
        const QString c = makeFolder(root, QStringLiteral("c"), numberedFiles(40, "c"));
        frmmain w;
        w.show();
        QSignalSpy arranged(&w, &frmmain::viewArranged);
        QSignalSpy built(&w, &frmmain::viewBuilt);
        w.openFolder(a);
        int step = 0;
        bool orderWhileListed = true;
        whenever(&w, [&] {
            if (!w.building || w.picScroll->count() < 20)
                return false;
            if (step == 1) {
                orderWhileListed = w.mnuOrderByTime->isEnabled() || w.mnuOrderByName->isEnabled();
                QTimer::singleShot(0, &w, [] {
                    if (QWidget* dialog = QApplication::activeModalWidget())
                        dialog->close();
                });
                w.mnuOptions->trigger();
            }
            w.openFolder(step == 0 ? b : c);
            return ++step == 2;
        });
        QVERIFY(built.wait(20000));
        QTest::qWait(50);
        QCOMPARE(built.size(), 1);
        QCOMPARE(arranged.size(), 1);
        QCOMPARE(w.order.size(), 41);
        for (const QString& name : shownNames(w))
            QVERIFY2(name.startsWith(QLatin1Char('c')), qPrintable(name));
        QVERIFY(!orderWhileListed);
        QVERIFY(w.mnuOrderByTime->isEnabled() && w.mnuOrderByName->isEnabled());
    }

    // Thirty pictures, three to a row in the viewport of 413 x 387 pixels: ten rows, the last in
    // view from value 19 on (652 pixels up); five to a row in a wider window, six rows.
    void scrolling()
    {
        QTemporaryDir root;
        frmmain w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QVERIFY(build(w, makeFolder(root, QStringLiteral("empty"), {"readme.txt"})));
        QCOMPARE(w.order.size(), 1);
        QCOMPARE(w.ScrollMe->maximum(), 0);
        QVERIFY(build(w, makeFolder(root, QStringLiteral("many"), numberedFiles(30))));
        QCOMPARE(w.ScrollMe->maximum(), 19);
        QTest::keyClick(w.pctPreview, Qt::Key_End);
        QCOMPARE(w.picScroll->y(), -652);
        w.resize(w.width() + 120, w.height());
        QTRY_COMPARE(w.ScrollMe->maximum(), 7);
        QCOMPARE(w.picScroll->y(), 0);
    }

    // Last: ending the program ends every event loop of this process for good.
    void endDuringLoadingStops()
    {
        QTemporaryDir root;
        frmmain w;
        QSignalSpy built(&w, &frmmain::viewBuilt);
        connect(&w, &frmmain::viewArranged, this, [&] { QTimer::singleShot(0, &w, [&] { w.mnuEnd->trigger(); }); });
        w.openFolder(makeFolder(root, QStringLiteral("a"), numberedFiles(2000)));
        QTRY_VERIFY(w.closing);
        QTest::qWait(100);
        QCOMPARE(built.size(), 0);
    }
};

QTEST_MAIN(TestFrmMain)
#include "tst_frmmain.moc"
