#include "viewer/ViewerGeometry.h"
#include "viewer/frmShowImage.h"

#include <QKeyEvent>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <set>

#include "ClipSamples.h"
#include "ExifSamples.h"
#include "HeifSamples.h"
#include "ImagingTestSupport.h"
#include "JpegEdits.h"
#include "TestFiles.h"

using namespace viewer;
using platform::VirtualKey;

namespace {

// A 1024 x 768 screen (the first of `screens`) at 15 twips per pixel; keys down, or pressed since
// the last query.
struct FakeEnvironment final : viewer::Environment
{
    QPoint cursor{400, 300};
    std::set<VirtualKey> down{VirtualKey::RButton}, pressed;
    bool wheelCaptured = false;
    QList<QRect> screens{QRect(0, 0, 1024, 768)};
    QPoint GetCursorPos() override { return cursor; }
    bool GetAsyncKeyState(VirtualKey key) override { return down.count(key) + pressed.erase(key) > 0; }
    Screen screenAt(QPoint point) override
    {
        for (const QRect& screen : screens)
            if (screen.contains(point))
                return {screen, 1.0};
        return {screens.first(), 1.0};
    }
    viewer::TwipsPerPixel twipsPerPixel() override { return {15, 15}; }
    void setWheelCaptured(bool captured) override { wheelCaptured = captured; }
};

QImage onScreen(QWidget& window)
{
    return window.grab().toImage().convertToFormat(QImage::Format_RGB888);
}

struct Tracker : platform::AsyncKeyState
{
    bool send(QEvent&& event) { return eventFilter(nullptr, &event); }
    bool key(QEvent::Type type, int key, Qt::KeyboardModifiers mods, quint32 scanCode, bool repeat = false)
    {
        return send(QKeyEvent(type, key, mods, scanCode, 0, 0, QString(), repeat));
    }
    bool mouse(QEvent::Type type, Qt::MouseButton button, Qt::MouseButtons buttons)
    {
        return send(QMouseEvent(type, QPointF(), QPointF(), button, buttons, {}));
    }
    bool wheel(int y) { return send(QWheelEvent({}, {}, {}, {0, y}, {}, {}, Qt::NoScrollPhase, false)); }
    // Asks now, and once more after that.
    QList<bool> ask(VirtualKey k) { return {GetAsyncKeyState(k), GetAsyncKeyState(k)}; }
};

const QList<bool> held{true, true}, once{true, false}, never{false, false};

} // namespace

class TestShowImage : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;
    const QByteArray m_jpeg = encodeJpeg(testPicture(101, 51));
    QString path(const QString& name) const { return m_dir.filePath(name); }
private slots:
    void initTestCase()
    {
        writeFile(path("odd.jpg"), m_jpeg);
        writeFile(path("other.jpg"), encodeJpeg(testPicture(60, 40)));
        // 16 megapixels from 50 KB: 300 pixels a byte are more than a JPEG holds.
        writeFile(path("16-megapixels.jpg"), withFrame(encodeJpeg(testPicture(200, 150)), 8, 4000, 4000));
        writeFile(path("turned.jpg"), withExif(m_jpeg, orientationTiff(6)));
        QVERIFY(testPicture(30, 20).save(path("png.jpg"), "PNG"));
        // As a phone writes it: turned by the container, the EXIF block saying the same.
        writeFile(path("phone.heic"), encodeHeif(testPicture(51, 31), HeifSample()
                                                                           .turned(heif_orientation_rotate_90_cw)
                                                                           .withExif(orientationTiff(6))));
        writeFile(path("bomb.heic"), withClaimedSize(encodeHeif(testPicture(16, 16)), 20000, 20000));
        // A phone's clip held upright: stored lying, turned by its display matrix.
        const QString clip = writeClip(
            path("IMG_4712.MOV"),
            ClipSample().in("mov").sized(64, 48).turned(90).showing([](int) { return quartered(); }));
        QVERIFY2(clip.isEmpty(), qPrintable(clip));
        QFile whole(path("IMG_4712.MOV"));
        QVERIFY(whole.open(QIODevice::ReadOnly));
        writeFile(path("cut.mov"), whole.read(whole.size() / 2));
    }

    // A clip shows the frame its thumbnail shows, at full size and turned as the phone was held.
    void clip()
    {
        FakeEnvironment env;
        frmShowImage viewer(&env);
        QSignalSpy finished(&viewer, &frmShowImage::loadFinished);
        viewer.ShowImage(path("IMG_4712.MOV"));
        QVERIFY(finished.wait(20000));
        QVERIFY(finished.last().at(0).toBool());
        QCOMPARE(viewer.geometry(), QRect(376, 268, 48, 64));
        QCOMPARE(quartersOf(onScreen(viewer)), QStringLiteral("BR/WG"));
        viewer.ShowImage(path("cut.mov"));
        QVERIFY(finished.wait(20000));
        QVERIFY(!finished.last().at(0).toBool());
        QVERIFY(!viewer.isVisible());
    }

    // Unreadable files show nothing, and no message box (it would wait here); the viewer waits for
    // the release all the same. A picture seen turned a quarter clockwise stands up.
    void files_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QRect>("geometry");
        QTest::addColumn<QImage>("shown");
        for (const char* file : {"16-megapixels.jpg", "missing.jpg", "bomb.heic"})
            QTest::newRow(file) << QString(file) << QRect() << QImage();
        QTest::newRow("PNG named .jpg") << "png.jpg" << QRect(385, 290, 30, 20) << testPicture(30, 20);
        QTest::newRow("turned") << "turned.jpg" << QRect(374, 250, 51, 101)
                                << referenceDecode(m_jpeg).transformed(QTransform().rotate(90));
        QTest::newRow("phone photo") << "phone.heic" << QRect(384, 274, 31, 51)
                                     << testPicture(51, 31).transformed(QTransform().rotate(90));
    }
    void files()
    {
        QFETCH(QString, file);
        QFETCH(QImage, shown);
        FakeEnvironment env;
        frmShowImage viewer(&env);
        QSignalSpy finished(&viewer, &frmShowImage::loadFinished);
        viewer.ShowImage(path(file));
        QVERIFY(finished.wait(20000));
        QCOMPARE(finished.last().at(0).toBool(), !shown.isNull());
        QTEST(viewer.isVisible() ? viewer.geometry() : QRect(), "geometry");
        if (!shown.isNull())
            QCOMPARE(onScreen(viewer), shown.convertToFormat(QImage::Format_RGB888));
        viewer.Timer1_Timer();
        QVERIFY(viewer.isOpen());
        env.down.clear();
        viewer.Timer1_Timer();
        QVERIFY(!viewer.isOpen() && !env.wheelCaptured);
    }

    // Pictures asked for in quick succession: the last one is shown, at 1:1 and centred where the
    // pointer was when it was asked for. A press from before does not count; then one step a
    // tick, every zoom key alike, both directions at once cancel out; a key held zooms every tick.
    void zoom()
    {
        FakeEnvironment env;
        frmShowImage viewer(&env);
        QSignalSpy finished(&viewer, &frmShowImage::loadFinished);
        env.pressed = {VirtualKey::Add};
        viewer.ShowImage(path("other.jpg"));
        env.cursor = QPoint(100, 100);
        viewer.ShowImage(path("odd.jpg"));
        QVERIFY(finished.wait(20000));
        QVERIFY(finished.size() == 1 && env.wheelCaptured);
        QCOMPARE(viewer.geometry(), QRect(50, 74, 101, 51));
        using enum VirtualKey;
        const std::tuple<VirtualKey, VirtualKey, int> steps[] = {
            {Subtract, Subtract, 50}, {OemPlus, OemPlus, 101},    {OemMinus, OemMinus, 50},
            {WheelUp, WheelUp, 101},  {WheelDown, WheelDown, 50}, {Add, Subtract, 50},
            {Add, Add, 101},          {Add, WheelUp, 202}};
        for (const auto& [key, other, width] : steps) {
            env.pressed.insert({key, other}); // a press from before the picture does not count
            viewer.Timer1_Timer();
            QCOMPARE(viewer.width(), width);
        }
        QCOMPARE(onScreen(viewer), referenceDecode(m_jpeg).scaled(202, 102)); // every pixel 2 x 2
        env.down.insert(Add);
        for (int tick = 0; tick < 4; ++tick)
            viewer.Timer1_Timer();
        QCOMPARE(viewer.form().Width, 48480.0f); // 101 pixels 32 times over, at 15 twips each
    }

    // At 15 twips per pixel, an odd size puts the window on a half pixel, rounded to even. Closer
    // than 10 pixels to an edge of the screen under the pointer, the window slides 150 twips a tick
    // away from it; here a second screen of 800 x 600 stands below the first, 200 pixels further right.
    void placeAndSlide()
    {
        QCOMPARE(toPixels(placeImage({512, 384}, {1600, 1200}, {}), {}), QRect(-288, -216, 1600, 1200));
        QCOMPARE(toPixels(placeImage({501, 300}, {101, 51}, {}), {}), QRect(450, 274, 101, 51));
        FakeEnvironment env;
        env.screens.append(QRect(200, 768, 800, 600));
        frmShowImage viewer(&env);
        QSignalSpy finished(&viewer, &frmShowImage::loadFinished);
        viewer.ShowImage(path("odd.jpg"));
        QVERIFY(finished.wait(20000));
        const std::pair<QPoint, QPointF> ticks[] = {
            {{500, 9}, {0, 150}},       {{10, 10}, {0, 0}},         {{1014, 758}, {0, 0}},
            {{1015, 759}, {-150, -150}}, {{600, 777}, {0, 150}},      {{209, 778}, {150, 0}},
            {{990, 1358}, {0, 0}},       {{991, 1359}, {-150, -150}}};
        for (const auto& [cursor, moved] : ticks) {
            env.cursor = cursor;
            const FormTwips before = viewer.form();
            viewer.Timer1_Timer();
            QCOMPARE(QPointF(viewer.form().Left - before.Left, viewer.form().Top - before.Top), moved);
        }
    }

    // Five steps in, at most up to 8 screens; twenty steps out, at least to one pixel.
    void zoomSteps_data()
    {
        QTest::addColumn<QSize>("picture");
        QTest::addColumn<QSize>("largest");
        QTest::addColumn<QSize>("smallest");
        QTest::newRow("reaches the bound") << QSize(256, 192) << QSize(8192, 6144) << QSize(1, 1);
        QTest::newRow("odd size") << QSize(101, 51) << QSize(3232, 1632) << QSize(2, 1);
        QTest::newRow("beyond X11 already") << QSize(40000, 500) << QSize(40000, 500) << QSize(78, 1);
    }
    void zoomSteps()
    {
        QFETCH(QSize, picture);
        const QSize limit = zoomLimit(QSize(1024, 768));
        FormTwips form = placeImage({}, QSizeF(picture), {});
        const FormTwips start = form;
        int steps = 0;
        for (int tick = 0; tick < 5; ++tick)
            steps += zoomIn(form, limit, {});
        QTEST(toPixels(form, {}).size(), "largest");
        while (steps-- > 0) // back to 1:1 exactly, at the same place
            QVERIFY(zoomOut(form, {}));
        QVERIFY(form.Width == start.Width && form.Left == start.Left);
        for (int tick = 0; tick < 20; ++tick)
            zoomOut(form, {});
        QTEST(toPixels(form, {}).size(), "smallest");
        QCOMPARE(zoomLimit(QSize(5120, 2880)), QSize(32767, 23040));
    }

    // Down now, or pressed since the last query: a short press counts exactly once.
    void keysButtonsAndWheel()
    {
        Tracker t;
        t.key(QEvent::KeyPress, Qt::Key_Plus, Qt::KeypadModifier, 86);
        t.key(QEvent::KeyRelease, Qt::Key_Plus, Qt::KeypadModifier, 86, true); // auto-repeat
        QCOMPARE(t.ask(VirtualKey::Add), held);
        t.key(QEvent::KeyRelease, Qt::Key_Plus, Qt::KeypadModifier, 86);
        QCOMPARE(t.ask(VirtualKey::Add), never);
        t.key(QEvent::KeyPress, Qt::Key_Minus, Qt::KeypadModifier, 82);
        t.key(QEvent::KeyRelease, Qt::Key_Minus, Qt::KeypadModifier, 82);
        QCOMPARE(t.ask(VirtualKey::Subtract), once);
        QCOMPARE(t.ask(VirtualKey::OemMinus), never);
        t.key(QEvent::KeyPress, Qt::Key_Plus, Qt::ShiftModifier, 21); // Shift+"=", Shift let go first
        t.key(QEvent::KeyRelease, Qt::Key_Equal, {}, 21);
        QCOMPARE(t.ask(VirtualKey::OemPlus), once);
        t.mouse(QEvent::MouseButtonPress, Qt::RightButton, Qt::RightButton);
        t.mouse(QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton | Qt::RightButton);
        QCOMPARE(t.ask(VirtualKey::RButton), held);
        t.mouse(QEvent::MouseMove, Qt::NoButton, Qt::NoButton); // released where this program did not hear it
        QCOMPARE(t.ask(VirtualKey::RButton), never);
        // The wheel only while captured: a notch is a press, and no widget sees it.
        QVERIFY(!t.wheel(120));
        QCOMPARE(t.ask(VirtualKey::WheelUp), never);
        t.setWheelCaptured(true);
        QVERIFY(t.wheel(90));
        QCOMPARE(t.ask(VirtualKey::WheelUp), never);
        t.wheel(90); // a notch, and 60 towards the next
        QCOMPARE(t.ask(VirtualKey::WheelUp), once);
        t.wheel(60);
        t.wheel(-120);
        QCOMPARE(t.ask(VirtualKey::WheelUp), once);
        QCOMPARE(t.ask(VirtualKey::WheelDown), once);
    }
};

QTEST_MAIN(TestShowImage)
#include "tst_showimage.moc"
