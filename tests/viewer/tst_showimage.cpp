#include "viewer/frmShowImage.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <set>

#include "ExifSamples.h"
#include "ImagingTestSupport.h"
#include "JpegEdits.h"
#include "TestFiles.h"

using platform::VirtualKey;

namespace {

// A 1024 x 768 screen at 15 twips per pixel; keys down, or pressed since the last query.
struct FakeEnvironment final : viewer::Environment
{
    QPoint cursor{400, 300};
    std::set<VirtualKey> down{VirtualKey::RButton}, pressed;
    bool wheelCaptured = false;
    QPoint GetCursorPos() override { return cursor; }
    bool GetAsyncKeyState(VirtualKey key) override { return down.count(key) + pressed.erase(key) > 0; }
    Screen screenAt(QPoint) override { return {QRect(0, 0, 1024, 768), 1.0}; }
    viewer::TwipsPerPixel twipsPerPixel() override { return {15, 15}; }
    void setWheelCaptured(bool captured) override { wheelCaptured = captured; }
};

QImage onScreen(QWidget& viewer)
{
    return viewer.grab().toImage().convertToFormat(QImage::Format_RGB888);
}

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
        writeFile(path("not-a-picture.jpg"), "hello");
        // 16 megapixels from 50 KB: 300 pixels a byte are more than a JPEG holds.
        writeFile(path("16-megapixels.jpg"), withFrame(encodeJpeg(testPicture(200, 150)), 8, 4000, 4000));
        writeFile(path("turned.jpg"), withExif(m_jpeg, orientationTiff(6)));
        QVERIFY(testPicture(30, 20).save(path("png.jpg"), "PNG"));
    }

    // Unreadable files show nothing, and no message box (it would wait here); the viewer waits for
    // the release all the same. A picture seen turned a quarter clockwise stands up.
    void files_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QRect>("geometry");
        QTest::addColumn<QImage>("shown");
        for (const char* file : {"not-a-picture.jpg", "16-megapixels.jpg", "missing.jpg"})
            QTest::newRow(file) << QString(file) << QRect() << QImage();
        QTest::newRow("PNG named .jpg") << "png.jpg" << QRect(385, 290, 30, 20) << testPicture(30, 20);
        QTest::newRow("turned") << "turned.jpg" << QRect(374, 250, 51, 101)
                                << referenceDecode(m_jpeg).transformed(QTransform().rotate(90));
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
};

QTEST_MAIN(TestShowImage)
#include "tst_showimage.moc"
