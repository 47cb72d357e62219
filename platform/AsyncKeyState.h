#pragma once

#include <QHash>
#include <QObject>

#include <map>

namespace platform {

// Keys and buttons whose state can be asked for at any time, with the values of the virtual
// key codes the program was written against.
enum class VirtualKey
{
    RButton = 0x02,  // the right mouse button
    Add = 0x6B,      // keypad plus
    Subtract = 0x6D, // keypad minus
    OemPlus = 0xBB,  // plus on the main keyboard, and "=" which shares its key on many layouts
    OemMinus = 0xBD, // minus on the main keyboard
    // A notch of the mouse wheel counts as a press that is never down; the wheel is only
    // listened to while captured (see setWheelCaptured).
    WheelUp = 0x1001,
    WheelDown = 0x1002,
};

// Tracks keys and mouse buttons from every input event the application receives, so that a
// timer can ask whether a key "is down now, or was pressed since the last query" without owning
// the keyboard: the keys go on reaching the widget that has the focus.
class AsyncKeyState : public QObject
{
    Q_OBJECT
public:
    // A tracker that listens only to the events passed to eventFilter; tests feed it directly.
    explicit AsyncKeyState(QObject* parent = nullptr);

    // True when the key is down now or was pressed since the previous query of this key; the
    // query forgets that press.
    bool GetAsyncKeyState(VirtualKey key);

    // While captured, wheel turns count as WheelUp/WheelDown presses (a notch each, a
    // high-resolution wheel after a notch's worth) and are not delivered to any widget.
    void setWheelCaptured(bool captured);

    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct State
    {
        bool down = false;
        bool pressed = false;
    };
    State& state(VirtualKey key);
    void press(VirtualKey key);
    void release(VirtualKey key);
    void keyEvent(QEvent* event);
    bool wheelEvent(QEvent* event);

    std::map<VirtualKey, State> m_states;
    // Which key a physical key pressed, so that its release lets go of the same one although
    // Shift or the layout now give another key for it.
    QHash<quint32, VirtualKey> m_pressedBy;
    bool m_wheelCaptured = false;
    int m_wheelAngle = 0;
};

// The application's tracker, listening to every event from its first use on; call it early
// (before the first key or button that matters) so that keys held already count as down.
AsyncKeyState& asyncKeyState();

} // namespace platform
