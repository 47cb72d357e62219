#include "platform/AsyncKeyState.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>

#include <optional>

namespace platform {

namespace {

std::optional<VirtualKey> virtualKeyOf(const QKeyEvent& e)
{
    const bool keypad = e.modifiers().testFlag(Qt::KeypadModifier);
    switch (e.key()) {
    case Qt::Key_Plus:
        return keypad ? VirtualKey::Add : VirtualKey::OemPlus;
    case Qt::Key_Equal:
        return keypad ? std::nullopt : std::optional(VirtualKey::OemPlus);
    case Qt::Key_Minus:
        return keypad ? VirtualKey::Subtract : VirtualKey::OemMinus;
    default:
        return std::nullopt;
    }
}

// One notch of an ordinary wheel.
constexpr int kNotch = 120;

} // namespace

AsyncKeyState::AsyncKeyState(QObject* parent) : QObject(parent) {}

AsyncKeyState::State& AsyncKeyState::state(VirtualKey key)
{
    return m_states[key];
}

bool AsyncKeyState::GetAsyncKeyState(VirtualKey key)
{
    State& s = state(key);
    const bool result = s.down || s.pressed;
    s.pressed = false;
    return result;
}

void AsyncKeyState::setWheelCaptured(bool captured)
{
    m_wheelCaptured = captured;
    m_wheelAngle = 0;
}

void AsyncKeyState::press(VirtualKey key)
{
    State& s = state(key);
    s.down = true;
    s.pressed = true;
}

void AsyncKeyState::release(VirtualKey key)
{
    state(key).down = false;
}

void AsyncKeyState::keyEvent(QEvent* event)
{
    const auto* e = static_cast<QKeyEvent*>(event);
    // Held keys repeat as releases followed by presses; the key stays down all along.
    if (e->isAutoRepeat())
        return;
    const quint32 code = e->nativeScanCode();
    if (event->type() == QEvent::KeyPress) {
        if (const std::optional<VirtualKey> key = virtualKeyOf(*e)) {
            press(*key);
            if (code != 0)
                m_pressedBy.insert(code, *key);
        }
        return;
    }
    if (code != 0) {
        if (const auto it = m_pressedBy.constFind(code); it != m_pressedBy.cend()) {
            release(*it);
            m_pressedBy.erase(it);
            return;
        }
    }
    if (const std::optional<VirtualKey> key = virtualKeyOf(*e))
        release(*key);
}

bool AsyncKeyState::wheelEvent(QEvent* event)
{
    if (!m_wheelCaptured)
        return false;
    const int delta = static_cast<QWheelEvent*>(event)->angleDelta().y();
    if (delta == 0)
        return true;
    if ((delta > 0) != (m_wheelAngle > 0))
        m_wheelAngle = 0;
    m_wheelAngle += delta;
    if (m_wheelAngle >= kNotch || m_wheelAngle <= -kNotch) {
        press(m_wheelAngle > 0 ? VirtualKey::WheelUp : VirtualKey::WheelDown);
        release(m_wheelAngle > 0 ? VirtualKey::WheelUp : VirtualKey::WheelDown);
        m_wheelAngle %= kNotch;
    }
    return true;
}

bool AsyncKeyState::eventFilter(QObject* watched, QEvent* event)
{
    // An event that travels up to a widget's parents passes here once for each of them; noting
    // a press or a release twice changes nothing, and a captured wheel turn is stopped at once.
    switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
        keyEvent(event);
        break;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseMove: {
        const auto* e = static_cast<QMouseEvent*>(event);
        if (e->button() == Qt::RightButton && event->type() != QEvent::MouseButtonRelease)
            press(VirtualKey::RButton);
        // Every mouse event carries the state of all buttons, which also mends a release that
        // went to a window blocked by a dialog.
        else if (!e->buttons().testFlag(Qt::RightButton))
            release(VirtualKey::RButton);
        break;
    }
    case QEvent::Wheel:
        return wheelEvent(event);
    case QEvent::ApplicationDeactivate:
        // Keys released while another program has the keyboard are never heard of.
        for (VirtualKey key :
             {VirtualKey::Add, VirtualKey::Subtract, VirtualKey::OemPlus, VirtualKey::OemMinus})
            release(key);
        m_pressedBy.clear();
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

AsyncKeyState& asyncKeyState()
{
    static AsyncKeyState* instance = [] {
        auto* tracker = new AsyncKeyState(QCoreApplication::instance());
        QCoreApplication::instance()->installEventFilter(tracker);
        return tracker;
    }();
    return *instance;
}

} // namespace platform
