#include "platform/AsyncKeyState.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QTest>
#include <QWheelEvent>

using platform::VirtualKey;

namespace {

struct Tracker : platform::AsyncKeyState
{
    void key(QEvent::Type type, int key, Qt::KeyboardModifiers mods, quint32 scanCode, bool repeat = false)
    {
        QKeyEvent e(type, key, mods, scanCode, 0, 0, QString(), repeat);
        eventFilter(nullptr, &e);
    }
    void mouse(QEvent::Type type, Qt::MouseButton button, Qt::MouseButtons buttons)
    {
        QMouseEvent e(type, QPointF(1, 1), QPointF(1, 1), button, buttons, {});
        eventFilter(nullptr, &e);
    }
    bool wheel(int delta)
    {
        QWheelEvent e(QPointF(1, 1), QPointF(1, 1), {}, QPoint(0, delta), {}, {}, Qt::NoScrollPhase, false);
        return eventFilter(nullptr, &e);
    }
    // Asks twice: now, and once more after that.
    QList<bool> ask(VirtualKey k) { return {GetAsyncKeyState(k), GetAsyncKeyState(k)}; }
};

const QList<bool> held{true, true}, once{true, false}, never{false, false};

} // namespace

class TestAsyncKeyState : public QObject
{
    Q_OBJECT
private slots:
    // Down now, or pressed since the last query: a short press counts exactly once.
    void keys()
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
        // Shift+"=" is plus; Shift let go first, the key's release still ends it.
        t.key(QEvent::KeyPress, Qt::Key_Plus, Qt::ShiftModifier, 21);
        t.key(QEvent::KeyRelease, Qt::Key_Equal, {}, 21);
        QCOMPARE(t.ask(VirtualKey::OemPlus), once);
        t.key(QEvent::KeyPress, Qt::Key_Equal, {}, 21);
        QCOMPARE(t.ask(VirtualKey::OemPlus), held);
    }

    void mouse()
    {
        Tracker t;
        t.mouse(QEvent::MouseButtonPress, Qt::RightButton, Qt::RightButton);
        t.mouse(QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton | Qt::RightButton);
        QCOMPARE(t.ask(VirtualKey::RButton), held);
        // A move without the button: it was released where this program did not hear it.
        t.mouse(QEvent::MouseMove, Qt::NoButton, Qt::NoButton);
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
        QCOMPARE(t.ask(VirtualKey::WheelUp), once);
        t.wheel(-120);
        QCOMPARE(t.ask(VirtualKey::WheelDown), once);
    }
};

QTEST_MAIN(TestAsyncKeyState)
#include "tst_asynckeystate.moc"
