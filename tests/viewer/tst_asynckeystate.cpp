#include "platform/AsyncKeyState.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTest>
#include <QWheelEvent>

using platform::AsyncKeyState;
using platform::VirtualKey;

namespace {

bool key(AsyncKeyState& s, QEvent::Type type, int qtKey, Qt::KeyboardModifiers mods = {}, quint32 scanCode = 0,
         bool autoRepeat = false)
{
    QKeyEvent e(type, qtKey, mods, scanCode, 0, 0, QString(), autoRepeat);
    return s.eventFilter(nullptr, &e);
}

void mouse(AsyncKeyState& s, QEvent::Type type, Qt::MouseButton button, Qt::MouseButtons buttons)
{
    QMouseEvent e(type, QPointF(1, 1), QPointF(1, 1), button, buttons, {});
    s.eventFilter(nullptr, &e);
}

bool wheel(AsyncKeyState& s, int delta)
{
    QWheelEvent e(QPointF(1, 1), QPointF(1, 1), {}, QPoint(0, delta), {}, {}, Qt::NoScrollPhase, false);
    return s.eventFilter(nullptr, &e);
}

} // namespace

class TestAsyncKeyState : public QObject
{
    Q_OBJECT
private slots:
    // Down now, or pressed since the last query: a short press counts exactly once.
    void downOrPressedSinceLastQuery()
    {
        AsyncKeyState s;
        QVERIFY(!s.GetAsyncKeyState(VirtualKey::Add));
        key(s, QEvent::KeyPress, Qt::Key_Plus, Qt::KeypadModifier, 86);
        QVERIFY(s.GetAsyncKeyState(VirtualKey::Add));
        key(s, QEvent::KeyRelease, Qt::Key_Plus, Qt::KeypadModifier, 86, true); // auto-repeat
        QVERIFY(s.GetAsyncKeyState(VirtualKey::Add));
        key(s, QEvent::KeyRelease, Qt::Key_Plus, Qt::KeypadModifier, 86);
        QVERIFY(!s.GetAsyncKeyState(VirtualKey::Add));
        key(s, QEvent::KeyPress, Qt::Key_Minus, Qt::KeypadModifier, 82);
        key(s, QEvent::KeyRelease, Qt::Key_Minus, Qt::KeypadModifier, 82);
        QVERIFY(s.GetAsyncKeyState(VirtualKey::Subtract));
        QVERIFY(!s.GetAsyncKeyState(VirtualKey::Subtract));
        QVERIFY(!s.GetAsyncKeyState(VirtualKey::OemMinus));
    }

    // "=" and Shift+"=" are one key: released as Shift comes off first, it is still let go of.
    void mainKeyboard()
    {
        AsyncKeyState s;
        key(s, QEvent::KeyPress, Qt::Key_Plus, Qt::ShiftModifier, 21);
        key(s, QEvent::KeyRelease, Qt::Key_Equal, {}, 21);
        QVERIFY(s.GetAsyncKeyState(VirtualKey::OemPlus));
        QVERIFY(!s.GetAsyncKeyState(VirtualKey::OemPlus));
        QVERIFY(!s.GetAsyncKeyState(VirtualKey::Add));
        key(s, QEvent::KeyPress, Qt::Key_Equal);
        QVERIFY(s.GetAsyncKeyState(VirtualKey::OemPlus));
    }

    void rightButton()
    {
        AsyncKeyState s;
        mouse(s, QEvent::MouseButtonPress, Qt::RightButton, Qt::RightButton);
        mouse(s, QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton | Qt::RightButton);
        QVERIFY(s.GetAsyncKeyState(VirtualKey::RButton));
        QVERIFY(s.GetAsyncKeyState(VirtualKey::RButton));
        // A move without the button means it was released where this program did not hear it.
        mouse(s, QEvent::MouseMove, Qt::NoButton, Qt::NoButton);
        QVERIFY(!s.GetAsyncKeyState(VirtualKey::RButton));
    }

    // Only while captured: a notch is a press, and the widgets never see it.
    void wheel()
    {
        AsyncKeyState s;
        QVERIFY(!::wheel(s, 120));
        QVERIFY(!s.GetAsyncKeyState(VirtualKey::WheelUp));
        s.setWheelCaptured(true);
        QVERIFY(::wheel(s, 60));
        QVERIFY(!s.GetAsyncKeyState(VirtualKey::WheelUp));
        ::wheel(s, 60);
        QVERIFY(s.GetAsyncKeyState(VirtualKey::WheelUp));
        QVERIFY(!s.GetAsyncKeyState(VirtualKey::WheelUp));
        ::wheel(s, -120);
        QVERIFY(s.GetAsyncKeyState(VirtualKey::WheelDown));
        QVERIFY(!s.GetAsyncKeyState(VirtualKey::WheelUp));
    }
};

QTEST_MAIN(TestAsyncKeyState)
#include "tst_asynckeystate.moc"
