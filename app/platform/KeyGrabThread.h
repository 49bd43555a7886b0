#pragma once

#include "platform/KeySynthesizer.h"
#include "platform/KeyboardHold.h"
#include "platform/Shortcut.h"
#include "platform/StopSignals.h"

#include <QString>

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace quillet {

/// The thread of X11KeyGrabber, with its own connection to the display: the grabs, the
/// presses, the holds and the stops all happen here, the moment they come, whatever the main
/// thread is doing. The other threads hand it commands through a queue and a wake-up pipe, and
/// it answers as soon as the display server has: it never waits on another thread, nor on a
/// terminal (its log lines go to the main thread, and SIGTTIN and SIGTTOU are blocked here).
///
/// A holding shortcut's press freezes the keyboard: the display server queues every later key
/// event until the hold is let go, and then hands them, in order, to the focused window. The
/// hold lets the keyboard go holdBound after the press at the latest, the keys it set aside
/// first: the keys the server kept are then taken here too, and sent on in order, so that it
/// can tell whether one of them types. A hold that let a typing key go on like this, or
/// because the process stopped, says so (HeldKeys::wentOn()); the shortcut's own releases, its
/// key's auto-repeat and modifiers alone do not count.
///
/// The grabs follow the keyboard map: when another map is loaded, each shortcut is grabbed
/// again on the keycode where its key sits now.
///
/// On SIGTSTP, SIGTTIN and SIGTTOU every grab of the process is let go before it stops, and its
/// own are taken again once it goes on; a shortcut another client took meanwhile is handed to
/// `onLost`. A stop that cannot be caught (SIGSTOP) leaves the grabs in place.
class KeyGrabThread : public std::enable_shared_from_this<KeyGrabThread> {
public:
    using PressHandler = std::function<void(const Shortcut&, KeyboardHold)>;
    using LostHandler = std::function<void(const Shortcut&)>;

    /// Runs on the new thread once the display answered; null when it cannot be reached. Both
    /// handlers are called on the grab thread. Ends the process with a message when no thread
    /// can be started.
    static std::shared_ptr<KeyGrabThread> start(
        xcb_connection_t* application, std::chrono::milliseconds holdBound, PressHandler onPress, LostHandler onLost);
    ~KeyGrabThread();
    KeyGrabThread(const KeyGrabThread&) = delete;
    KeyGrabThread& operator=(const KeyGrabThread&) = delete;

    bool grab(const Shortcut& shortcut, bool holdKeysAfter);
    void ungrab(const Shortcut& shortcut);
    /// Ends the thread and joins it, the stop signals handled as by default again. Main thread
    /// only.
    void stop();

private:
    struct Command {
        enum class Kind { grab, ungrab, release, setAside, sendChord } kind;
        Shortcut shortcut { 0, 0 };
        bool holdKeysAfter = false;
        uint64_t hold = 0;
        /// False when the thread ended before it ran the command.
        std::promise<bool> done;
        // A chord's: its keys, the window they are for, and what became of them.
        std::vector<uint32_t> keysyms = {};
        uint32_t window = 0;
        std::promise<KeySynthesizer::Sent> chordSent = {};
    };
    struct Grabbed {
        Shortcut shortcut;
        bool holdKeysAfter;
        /// The keys grabbed for it, as the keyboard map had them then.
        std::vector<uint8_t> codes;
    };
    class Keys;
    /// Where the keys typed after a holding shortcut are.
    enum class Hold {
        none, // they go to the focused window: the keyboard is free
        frozen, // they wait in the display server, which hands them on when the grab ends
        keysAside, // they come here (m_keysSetAside) and are sent on when the hold ends
    };
    using Clock = std::chrono::steady_clock;

    /// Takes the connection and the wake-up pipe.
    KeyGrabThread(xcb_connection_t* connection, const int (&wake)[2], xcb_connection_t* application,
        std::chrono::milliseconds holdBound, PressHandler onPress, LostHandler onLost);
    void startThread();

    // Any thread but the grab thread (the hold's own calls).
    std::future<bool> post(Command command);
    void wake();
    /// Lets the keyboard go when the hold of that number is still the current one; returns once
    /// the request is on its way to the display. Any thread.
    void release(uint64_t hold);
    bool setKeysAside(uint64_t hold);
    KeySynthesizer::Sent sendChordAhead(uint64_t hold, std::vector<uint32_t> keysyms, uint32_t window);

    // The grab thread's.
    void run();
    void runCommand(Command& command);
    void handle(xcb_generic_event_t* event);
    std::vector<uint8_t> keycodes(const Shortcut& shortcut) const;
    /// The keys grabbed for the shortcut; none when it cannot be taken.
    std::optional<std::vector<uint8_t>> takeKeys(const Shortcut& shortcut);
    void dropKeys(const Shortcut& shortcut, const std::vector<uint8_t>& codes);
    /// After a change of the keyboard map, the shortcuts' keys sit on other keycodes: each is
    /// let go and taken again where it sits now; one another client holds there is lost.
    void grabAgainOnTheNewMap();
    KeyboardHold holdKeyboard();
    bool isCurrentHold(uint64_t hold) const { return m_hold != Hold::none && hold == m_holdNumber; }
    /// With `goingOnEarly`, the press still runs: that hold is told, before they go, whether the
    /// keys going on type anything.
    void letKeyboardGo(Keys* goingOnEarly = nullptr);
    /// Lets the keyboard go while the press still runs, telling the hold whether a key typed
    /// after the shortcut went on.
    void letKeyboardGoEarly();
    /// Whether a key event that comes while the keys are set aside is the held shortcut key's
    /// auto-repeat, which types nothing and is not sent on.
    bool isShortcutRepeat(uint8_t type, const xcb_key_press_event_t& key);
    /// Whether one of the keys presses a key that can change a text: not a modifier.
    bool typesText(const std::vector<KeySynthesizer::KeyEvent>& keys) const;
    bool setAside();
    /// The chord of HeldKeys::sendChord(): the focus asked, the keyboard's grab let go, the
    /// chord's keys and the grab taken again, all within one hold of the display.
    KeySynthesizer::Sent sendChord(const std::vector<uint32_t>& keysyms, uint32_t window);
    bool grabHoldWindow(uint8_t keyboardMode);
    void takeQueuedKeys();
    void sendKeysSetAside();
    void stopProcess(CaughtStop stop);
    void log(QtMsgType type, const QString& line) const;
    bool logsDebug() const;

    xcb_connection_t* m_connection;
    // Qt's own connection, whose grabs (an open menu's) a stop lets go too.
    xcb_connection_t* m_application;
    const std::chrono::milliseconds m_holdBound;
    xcb_window_t m_root = 0;
    xcb_key_symbols_t* m_symbols = nullptr;
    PressHandler m_onPress;
    LostHandler m_onLost;
    int m_wake[2] = { -1, -1 };

    std::mutex m_mutex;
    std::deque<Command> m_commands;
    bool m_stopping = false;
    std::thread m_thread;

    // The grab thread's own.
    std::vector<Grabbed> m_grabbed;
    Hold m_hold = Hold::none;
    uint64_t m_holdNumber = 0;
    std::shared_ptr<Keys> m_heldKeys; // the current hold's
    Clock::time_point m_holdDeadline;
    xcb_window_t m_holdWindow = XCB_NONE;
    std::vector<KeySynthesizer::KeyEvent> m_keysSetAside;
    uint8_t m_shortcutKey = 0; // the current hold's shortcut key while it is held down, else 0
    std::optional<uint32_t> m_shortcutKeyLetGo; // when it was let go, if that was not a repeat's
    std::unique_ptr<KeySynthesizer> m_keys;
};

} // namespace quillet
