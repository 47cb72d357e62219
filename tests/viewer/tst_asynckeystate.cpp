#include "platform/AsyncKeyState.h"

#include <QKeyEvent>
#include <QTest>

using platform::VirtualKey;

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

// Down now, or pressed since the last query: a short press counts exactly once.
class TestAsyncKeyState : public QObject
{
    Q_OBJECT
private slots:
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

QTEST_MAIN(TestAsyncKeyState)
#include "tst_asynckeystate.moc"
