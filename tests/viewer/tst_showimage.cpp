#include "main_window/ThumbCanvas.h"
#include "main_window/frmmain.h"
#include "viewer/frmShowImage.h"

#include <QApplication>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <set>

#include "ExifSamples.h"
#include "ImagingTestSupport.h"
#include "JpegEdits.h"
#include "ScriptedDialogs.h"
#include "TestFiles.h"

using platform::VirtualKey;

namespace {

// The system as the viewer sees it, answered by the test: a 1024 x 768 screen at 15 twips per
// pixel, keys down or pressed since the last query.
struct FakeEnvironment final : viewer::Environment
{
    QPoint cursor{400, 300};
    std::set<VirtualKey> down{VirtualKey::RButton};
    std::set<VirtualKey> pressed;
    bool wheelCaptured = false;

    QPoint GetCursorPos() override { return cursor; }
    bool GetAsyncKeyState(VirtualKey key) override { return down.count(key) + pressed.erase(key) > 0; }
    Screen screenAt(QPoint) override { return {QRect(0, 0, 1024, 768), 1.0}; }
    viewer::TwipsPerPixel twipsPerPixel() override { return {15, 15}; }
    void setWheelCaptured(bool captured) override { wheelCaptured = captured; }
};

bool show(frmShowImage& viewer, const QString& path)
{
    QSignalSpy finished(&viewer, &frmShowImage::loadFinished);
    viewer.ShowImage(path);
    return finished.wait(20000) && finished.last().at(0).toBool();
}

// The window shows the picture, every pixel as a square of scale x scale.
#define COMPARE_SHOWN(viewer, picture, scale)                                                                \
    COMPARE_PIXELS(bottomUpBgr((viewer).grab().toImage()),                                                   \
                   bottomUpBgr((picture).scaled((picture).size() * (scale))), (picture).width() * (scale))

} // namespace

class TestShowImage : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_jpeg = encodeJpeg(testPicture(101, 51));
        writeFile(path("odd.jpg"), m_jpeg);
        writeFile(path("other.jpg"), encodeJpeg(testPicture(60, 40)));
        writeFile(path("not-a-picture.jpg"), "hello");
        writeFile(path("truncated.jpg"), m_jpeg.left(200));
        // 16 megapixels from 50 KB: 300 pixels a byte are more than a JPEG holds.
        writeFile(path("claims-16-megapixels.jpg"), withFrame(encodeJpeg(testPicture(200, 150)), 8, 4000, 4000));
        QVERIFY(testPicture(30, 20).save(path("png-named.jpg"), "PNG"));
        writeFile(path("turned.jpg"), withExif(m_jpeg, orientationTiff(6)));
        QFile png(path("png-named.jpg"));
        QVERIFY(png.open(QIODevice::ReadOnly));
        writeFile(path("turned-png.jpg"), withLibraryExif(png.readAll(), orientationTiff(6)));
    }

    // At 1:1, centred on the pointer; zooming stretches the whole picture over the whole window, a
    // key held down zooms on every tick, and the release closes it.
    void peek()
    {
        FakeEnvironment env;
        frmShowImage viewer(&env);
        env.pressed = {VirtualKey::Add}; // long before: does not count
        QVERIFY(show(viewer, path("odd.jpg")));
        QVERIFY(env.wheelCaptured);
        QCOMPARE(viewer.geometry(), QRect(350, 274, 101, 51));
        const QImage picture = referenceDecode(m_jpeg);
        COMPARE_SHOWN(viewer, picture, 1);
        viewer.Timer1_Timer();
        QCOMPARE(viewer.width(), 101);

        env.pressed = {VirtualKey::Add};
        viewer.Timer1_Timer();
        QCOMPARE(viewer.geometry(), QRect(350, 274, 202, 102));
        COMPARE_SHOWN(viewer, picture, 2);
        env.down.insert(VirtualKey::Add);
        for (int tick = 0; tick < 4; ++tick)
            viewer.Timer1_Timer();
        QCOMPARE(viewer.form().Width, 48480.0f); // 101 pixels 32 times over, at 15 twips each

        env.down = {VirtualKey::RButton, VirtualKey::Add, VirtualKey::Subtract};
        viewer.Timer1_Timer();
        QVERIFY(viewer.isOpen());
        env.down.erase(VirtualKey::RButton);
        viewer.Timer1_Timer();
        QVERIFY(!viewer.isOpen() && !viewer.isVisible() && !env.wheelCaptured && !viewer.Timer1->isActive());
    }

    // Every zoom key counts the same; both directions in one tick cancel out; one step per tick.
    void zoomKeys_data()
    {
        QTest::addColumn<std::set<VirtualKey>>("keys");
        QTest::addColumn<int>("width");
        const auto row = [](const char* name, std::set<VirtualKey> keys, int width) {
            QTest::newRow(name) << keys << width;
        };
        row("keypad plus", {VirtualKey::Add}, 202);
        row("plus or =", {VirtualKey::OemPlus}, 202);
        row("wheel up", {VirtualKey::WheelUp}, 202);
        row("keypad minus", {VirtualKey::Subtract}, 50);
        row("minus", {VirtualKey::OemMinus}, 50);
        row("wheel down", {VirtualKey::WheelDown}, 50);
        row("plus and minus", {VirtualKey::Add, VirtualKey::Subtract}, 101);
        row("two kinds of plus", {VirtualKey::Add, VirtualKey::WheelUp}, 202);
    }
    void zoomKeys()
    {
        QFETCH(std::set<VirtualKey>, keys);
        FakeEnvironment env;
        frmShowImage viewer(&env);
        QVERIFY(show(viewer, path("odd.jpg")));
        env.pressed = keys;
        viewer.Timer1_Timer();
        QTEST(viewer.width(), "width");
        viewer.Timer1_Timer();
        QTEST(viewer.width(), "width");
    }

    // Nothing painted and no message; the viewer waits for the release all the same.
    void unreadable_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("shown");
        for (const char* file : {"not-a-picture.jpg", "truncated.jpg", "claims-16-megapixels.jpg", "missing.jpg"})
            QTest::newRow(file) << QString::fromLatin1(file) << false;
        QTest::newRow("png-named.jpg") << QStringLiteral("png-named.jpg") << true;
    }
    void unreadable()
    {
        QFETCH(QString, file);
        QFETCH(bool, shown);
        ScriptedDialogs dialogs;
        FakeEnvironment env;
        frmShowImage viewer(&env);
        QCOMPARE(show(viewer, path(file)), shown);
        QCOMPARE(viewer.isVisible(), shown);
        if (shown) {
            QCOMPARE(viewer.geometry(), QRect(385, 290, 30, 20));
            COMPARE_SHOWN(viewer, testPicture(30, 20), 1);
        }
        viewer.Timer1_Timer();
        QVERIFY(viewer.isOpen());
        env.down.clear();
        viewer.Timer1_Timer();
        QVERIFY(!viewer.isOpen());
        QCOMPARE(dialogs.messageTexts(), QStringList());
    }

    // A picture whose file says it is seen turned a quarter clockwise stands up, centred on the
    // pointer by the size it is seen at; from the JPEG decoder and from the fallback reader alike.
    void turned_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QImage>("stored");
        QTest::addColumn<QRect>("geometry");
        QTest::newRow("JPEG") << QStringLiteral("turned.jpg") << referenceDecode(m_jpeg) << QRect(374, 250, 51, 101);
        QTest::newRow("PNG named .jpg") << QStringLiteral("turned-png.jpg") << testPicture(30, 20)
                                        << QRect(390, 285, 20, 30);
    }
    void turned()
    {
        QFETCH(QString, file);
        QFETCH(QImage, stored);
        QFETCH(QRect, geometry);
        FakeEnvironment env;
        frmShowImage viewer(&env);
        QVERIFY(show(viewer, path(file)));
        QCOMPARE(viewer.geometry(), geometry);
        COMPARE_SHOWN(viewer, stored.transformed(QTransform().rotate(90)), 1);
    }

    // Pictures asked for in quick succession: the last one is shown, from the one buffer, and
    // where the pointer was when it was asked for.
    void picturesInARow()
    {
        FakeEnvironment env;
        frmShowImage viewer(&env);
        QSignalSpy finished(&viewer, &frmShowImage::loadFinished);
        viewer.ShowImage(path("odd.jpg"));
        env.cursor = QPoint(100, 100);
        viewer.ShowImage(path("other.jpg"));
        QVERIFY(finished.wait(20000));
        QCOMPARE(finished.size(), 1);
        QCOMPARE(viewer.geometry(), QRect(70, 80, 60, 40));
        COMPARE_SHOWN(viewer, referenceDecode(encodeJpeg(testPicture(60, 40))), 1);
    }

    // The right button on a thumbnail of the real window peeks at its picture, starts no drag and
    // leaves the keyboard where it was.
    void fromThumbnails()
    {
        QTemporaryDir root;
        writeFile(root.path() + "/p01.jpg", m_jpeg);
        writeFile(root.path() + "/p02.jpg", encodeJpeg(testPicture(60, 40)));
        frmmain w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QSignalSpy built(&w, &frmmain::viewBuilt);
        w.openFolder(root.path());
        QVERIFY(built.wait(60000));
        const ImgPreview& second = w.picScroll->element(w.order[1]);

        QTest::mousePress(w.picScroll, Qt::RightButton, {}, second.rect().center());
        frmShowImage* viewer = nullptr; // a window of its own, without owner
        for (QWidget* top : QApplication::topLevelWidgets())
            viewer = viewer ? viewer : qobject_cast<frmShowImage*>(top);
        QVERIFY(viewer);
        QCOMPARE(viewer->fileName(), second.ToolTipText);
        QTRY_VERIFY(viewer->isVisible());
        QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
        QCOMPARE(QGuiApplication::focusWindow(), w.windowHandle());
        viewer->Timer1_Timer();
        QVERIFY(viewer->isOpen());
        QTest::mouseRelease(w.picScroll, Qt::RightButton, {}, second.rect().center());
        viewer->Timer1_Timer();
        QVERIFY(!viewer->isOpen());
    }

private:
    QString path(const QString& name) const { return m_dir.filePath(name); }

    QTemporaryDir m_dir;
    QByteArray m_jpeg;
};

QTEST_MAIN(TestShowImage)
#include "tst_showimage.moc"
