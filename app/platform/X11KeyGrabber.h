#pragma once

#include "platform/GlobalShortcutBinder.h"
#include "platform/atspi/CallBudget.h"

#include <QObject>

#include <chrono>
#include <functional>
#include <memory>

namespace quillet {

class KeyGrabThread;

/// Passive key grabs on the X11 root window, with and without Num Lock and Caps Lock.
///
/// The grabs, the presses and the holds belong to a connection to the display and a thread of
/// their own (KeyGrabThread), which see each press the moment it comes, whatever the main
/// thread is doing (loading the library, writing it, waiting on a bus). The press then goes on
/// to the main thread.
///
/// A holding grab freezes the keyboard: from a shortcut's press the display server queues
/// every later key event until the press's hold is released, and then hands them, in order,
/// to the focused window. While the keys wait, the grab sits on the focused window itself, so
/// that its toolkit keeps the focus (and tells assistive technologies so). The grab thread
/// lets the keyboard go holdBound after the press at the latest.
///
/// A stopped process must hold no keyboard: on SIGTSTP, SIGTTIN and SIGTTOU every grab of
/// the process is let go before it stops, and its own are taken again once it goes on (one
/// that another client took meanwhile is lost: see setLostHandler()). A stop that cannot be
/// caught (SIGSTOP) leaves the grabs in place.
class X11KeyGrabber final : public KeyGrabber {
public:
    /// The longest the keys typed after a shortcut wait: as long as a press may take.
    static constexpr std::chrono::milliseconds holdBound = CallBudget::pressBound;

    /// Connects to the display of the application's X11 platform; unavailable without one.
    /// Ends the process with a message when no thread can be started for the grabs.
    X11KeyGrabber();
    ~X11KeyGrabber() override;

    bool isAvailable() const override { return m_grabs != nullptr; }
    bool grab(const Shortcut& shortcut, bool holdKeysAfter) override;
    void ungrab(const Shortcut& shortcut) override;
    void setPressHandler(std::function<void(const Shortcut&, KeyboardHold)> handler) override
    {
        m_pressHandler = std::move(handler);
    }
    void setLostHandler(std::function<void(const Shortcut&)> handler) override { m_lostHandler = std::move(handler); }

private:
    std::shared_ptr<KeyGrabThread> m_grabs;
    std::function<void(const Shortcut&, KeyboardHold)> m_pressHandler;
    std::function<void(const Shortcut&)> m_lostHandler;
    // Lives on the main thread: the grab thread posts the presses and the lost shortcuts to it.
    QObject m_receiver;
};

} // namespace quillet
