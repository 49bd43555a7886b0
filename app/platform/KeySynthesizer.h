#pragma once

#include <cstdint>
#include <optional>
#include <vector>

typedef struct xcb_connection_t xcb_connection_t;

namespace quillet {

/// Sends key chords to the focused window as if typed, through the XTEST extension on an X
/// connection of its own.
///
/// What reaches the window is exactly the chord: modifiers still held down (the shortcut's
/// own, when the user has not let them go yet) are released first and pressed again after
/// it. Keys are found by their symbol in the current keyboard map, so the chord is the same
/// whatever the layout; a symbol that no key carries is given to a spare key code for the
/// moment of the chord.
///
/// Keys sent while another client holds the keyboard frozen wait behind the keys it holds.
class KeySynthesizer {
public:
    /// What became of a chord meant for one window.
    enum class Sent {
        sent, // the server took its keys, with that window focused
        notSent, // the keys could not be sent
        focusMoved, // another window had the input focus: nothing was sent
    };

    /// A key as it was typed: XCB_KEY_PRESS or XCB_KEY_RELEASE of a key code.
    struct KeyEvent {
        uint8_t type;
        uint8_t code;
        bool operator==(const KeyEvent&) const = default;
    };

    KeySynthesizer();
    /// On a connection that another owns, which stays open: its requests go in order with the
    /// owner's, on the owner's thread.
    KeySynthesizer(xcb_connection_t* connection, uint32_t root);
    ~KeySynthesizer();
    KeySynthesizer(const KeySynthesizer&) = delete;
    KeySynthesizer& operator=(const KeySynthesizer&) = delete;

    /// False without a display or without XTEST.
    bool isAvailable() const noexcept { return m_connection != nullptr; }

    /// Presses the keys of `keysyms` together (the first ones held while the last goes down
    /// and up), then lets them go in reverse order. Waits until the server has taken them.
    bool sendChord(const std::vector<uint32_t>& keysyms);
    /// As sendChord(), for `window` alone: the keys go out only when it has the input focus,
    /// which is asked in the same hold of the display (holdDisplayIfFocused()), so that no
    /// window switch is served between the question and the keys.
    Sent sendChordTo(const std::vector<uint32_t>& keysyms, uint32_t window);

    /// A chord's key events on the keyboard map as it is now, modifiers held down included,
    /// and the spare key code it borrows meanwhile: sent with queueKeys(), then given back
    /// with endChord().
    struct Chord {
        std::vector<KeyEvent> events;
        std::optional<uint8_t> borrowed;
        uint8_t keysPerCode = 0;
    };
    std::optional<Chord> prepareChord(const std::vector<uint32_t>& keysyms);
    void endChord(const Chord& chord);
    /// Queues the key events on the connection as they are, key codes unchanged; they go with
    /// the next flush or round trip.
    void queueKeys(const std::vector<KeyEvent>& events);
    /// Keys typed earlier, to be sent again as the user typed them: a key that is down now is
    /// let go before its press, and one pressed without its release is let go at the end.
    std::vector<KeyEvent> asTyped(const std::vector<KeyEvent>& events);
    /// Waits until the server has taken every key queued before.
    bool roundTrip();

    /// Grabs the display, so that the server serves no other client's request (a window
    /// manager's or an application's focus change) until releaseDisplay(), and asks which
    /// window has the input focus. True when `window` has it: the caller queues the few
    /// requests of a chord and lets the display go at once. Otherwise, and when the server does
    /// not answer, the display is let go here and this returns false. The display is held for
    /// that one round trip and the requests queued behind it, never longer.
    bool holdDisplayIfFocused(uint32_t window);
    /// Lets the display go behind the requests queued since holdDisplayIfFocused(), and sends
    /// them all.
    void releaseDisplay();

    /// The window that keys sent now go to, and the process that made it (as its top-level
    /// window names it, _NET_WM_PID), when the window names one.
    struct Focus {
        uint32_t window = 0; // XCB_NONE, or XCB_INPUT_FOCUS_POINTER_ROOT: no window of its own
        std::optional<uint32_t> process;
        bool operator==(const Focus&) const = default;
    };
    /// None without a display, or when the server does not answer.
    std::optional<Focus> focus();

private:
    struct Keyboard;

    xcb_connection_t* m_connection = nullptr;
    uint32_t m_root = 0;
    bool m_owned = true;
};

} // namespace quillet
