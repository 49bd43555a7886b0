#pragma once

#include <cstdint>
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
    KeySynthesizer();
    ~KeySynthesizer();
    KeySynthesizer(const KeySynthesizer&) = delete;
    KeySynthesizer& operator=(const KeySynthesizer&) = delete;

    /// False without a display or without XTEST.
    bool isAvailable() const noexcept { return m_connection != nullptr; }

    /// The paste chord, Shift+Insert: every toolkit pastes the clipboard with it, and no
    /// layout moves its keys. False when it could not be sent.
    bool sendPaste();
    /// Presses the keys of `keysyms` together (the first ones held while the last goes down
    /// and up), then lets them go in reverse order. Waits until the server has taken them.
    bool sendChord(const std::vector<uint32_t>& keysyms);

private:
    struct Keyboard;
    xcb_connection_t* m_connection = nullptr;
    uint32_t m_root = 0;
};

} // namespace quillet
