#include "platform/KeySynthesizer.h"
#include "platform/DisplayConnection.h"
#include "platform/Freed.h"

#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <algorithm>
#include <cstring>
#include <optional>

namespace quillet {
namespace {

// A window's parents are looked through this far for the process that made it: a toolkit's
// focus window sits a level or two below the top-level window that names its process.
constexpr int maximumWindowDepth = 8;

} // namespace

/// The keyboard map as the server has it now.
struct KeySynthesizer::Keyboard {
    xcb_keycode_t minimum = 8;
    xcb_keycode_t maximum = 255;
    uint8_t perKey = 0;
    std::vector<xcb_keysym_t> symbols;

    std::optional<xcb_keycode_t> keycodeOf(xcb_keysym_t keysym) const
    {
        // The first level of the first group first: the key that gives the symbol unshifted.
        for (uint8_t level = 0; level < perKey; ++level)
            for (int code = minimum; code <= maximum; ++code)
                if (symbols[std::size_t(code - minimum) * perKey + level] == keysym)
                    return xcb_keycode_t(code);
        return std::nullopt;
    }
    std::optional<xcb_keycode_t> spareKeycode() const
    {
        for (int code = maximum; code >= minimum; --code) {
            const auto begin = symbols.begin() + std::ptrdiff_t(code - minimum) * perKey;
            if (std::all_of(begin, begin + perKey, [](xcb_keysym_t symbol) { return symbol == 0; }))
                return xcb_keycode_t(code);
        }
        return std::nullopt;
    }
};

KeySynthesizer::KeySynthesizer()
{
    const auto display = connectToDefaultDisplay();
    if (!display)
        return;
    xcb_connection_t* connection = display->connection;
    Freed version { xcb_test_get_version_reply(connection, xcb_test_get_version(connection, 2, 2), nullptr) };
    if (!version) {
        xcb_disconnect(connection);
        return;
    }
    m_connection = connection;
    m_root = display->root;
}

KeySynthesizer::KeySynthesizer(xcb_connection_t* connection, uint32_t root)
    : m_owned(false)
{
    Freed version { xcb_test_get_version_reply(connection, xcb_test_get_version(connection, 2, 2), nullptr) };
    if (!version)
        return;
    m_connection = connection;
    m_root = root;
}

KeySynthesizer::~KeySynthesizer()
{
    if (m_connection && m_owned)
        xcb_disconnect(m_connection);
}

std::optional<KeySynthesizer::Chord> KeySynthesizer::prepareChord(const std::vector<uint32_t>& keysyms)
{
    if (!m_connection || keysyms.empty())
        return std::nullopt;
    const xcb_setup_t* setup = xcb_get_setup(m_connection);
    Keyboard keyboard;
    keyboard.minimum = setup->min_keycode;
    keyboard.maximum = setup->max_keycode;
    const uint8_t count = uint8_t(keyboard.maximum - keyboard.minimum + 1);
    Freed mapping { xcb_get_keyboard_mapping_reply(
        m_connection, xcb_get_keyboard_mapping(m_connection, keyboard.minimum, count), nullptr) };
    Freed modifiers { xcb_get_modifier_mapping_reply(m_connection, xcb_get_modifier_mapping(m_connection), nullptr) };
    Freed pressed { xcb_query_keymap_reply(m_connection, xcb_query_keymap(m_connection), nullptr) };
    if (!mapping || !modifiers || !pressed)
        return std::nullopt;
    keyboard.perKey = mapping->keysyms_per_keycode;
    const xcb_keysym_t* symbols = xcb_get_keyboard_mapping_keysyms(mapping.get());
    keyboard.symbols.assign(symbols, symbols + xcb_get_keyboard_mapping_keysyms_length(mapping.get()));
    if (keyboard.perKey == 0 || keyboard.symbols.size() < std::size_t(count) * keyboard.perKey)
        return std::nullopt;

    // The keys of the chord; a symbol no key has borrows a spare key code meanwhile.
    Chord result;
    result.keysPerCode = keyboard.perKey;
    std::vector<xcb_keycode_t> chord;
    for (const uint32_t keysym : keysyms) {
        if (auto code = keyboard.keycodeOf(keysym)) {
            chord.push_back(*code);
            continue;
        }
        const auto spare = result.borrowed ? std::nullopt : keyboard.spareKeycode();
        if (!spare) {
            endChord(result);
            return std::nullopt;
        }
        std::vector<xcb_keysym_t> given(keyboard.perKey, 0);
        std::fill(given.begin(), given.begin() + std::min<int>(2, keyboard.perKey), keysym);
        xcb_change_keyboard_mapping(m_connection, 1, *spare, keyboard.perKey, given.data());
        result.borrowed = spare;
        chord.push_back(*spare);
    }

    // The modifier keys down now, which would change the chord into another one.
    std::vector<xcb_keycode_t> held;
    const xcb_keycode_t* modifierKeys = xcb_get_modifier_mapping_keycodes(modifiers.get());
    const int modifierKeyCount = xcb_get_modifier_mapping_keycodes_length(modifiers.get());
    for (int i = 0; i < modifierKeyCount; ++i) {
        const xcb_keycode_t code = modifierKeys[i];
        // Caps Lock and Num Lock (Lock and Mod2) are states, not held keys.
        const int modifier = i / std::max<int>(1, modifiers->keycodes_per_modifier);
        if (code == 0 || modifier == 1 || modifier == 4)
            continue;
        if ((pressed->keys[code / 8] & (1 << (code % 8))) && std::find(held.begin(), held.end(), code) == held.end())
            held.push_back(code);
    }

    for (const xcb_keycode_t code : held)
        result.events.push_back({ XCB_KEY_RELEASE, code });
    for (const xcb_keycode_t code : chord)
        result.events.push_back({ XCB_KEY_PRESS, code });
    for (auto code = chord.rbegin(); code != chord.rend(); ++code)
        result.events.push_back({ XCB_KEY_RELEASE, *code });
    for (const xcb_keycode_t code : held)
        result.events.push_back({ XCB_KEY_PRESS, code });
    return result;
}

void KeySynthesizer::endChord(const Chord& chord)
{
    if (!chord.borrowed)
        return;
    std::vector<xcb_keysym_t> none(chord.keysPerCode, 0);
    xcb_change_keyboard_mapping(m_connection, 1, *chord.borrowed, chord.keysPerCode, none.data());
}

void KeySynthesizer::queueKeys(const std::vector<KeyEvent>& events)
{
    for (const KeyEvent& event : events)
        xcb_test_fake_input(m_connection, event.type, event.code, XCB_CURRENT_TIME, m_root, 0, 0, 0);
}

bool KeySynthesizer::sendChord(const std::vector<uint32_t>& keysyms)
{
    const auto chord = prepareChord(keysyms);
    if (!chord)
        return false;
    queueKeys(chord->events);
    endChord(*chord);
    return roundTrip();
}

KeySynthesizer::Sent KeySynthesizer::sendChordTo(const std::vector<uint32_t>& keysyms, uint32_t window)
{
    const auto chord = prepareChord(keysyms);
    if (!chord)
        return Sent::notSent;
    const bool focused = holdDisplayIfFocused(window);
    if (focused) {
        queueKeys(chord->events);
        releaseDisplay();
    }
    endChord(*chord);
    if (!roundTrip())
        return Sent::notSent;
    return focused ? Sent::sent : Sent::focusMoved;
}

bool KeySynthesizer::holdDisplayIfFocused(uint32_t window)
{
    if (!m_connection)
        return false;
    xcb_grab_server(m_connection);
    Freed focused { xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr) };
    if (focused && focused->focus == window)
        return true;
    releaseDisplay();
    return false;
}

void KeySynthesizer::releaseDisplay()
{
    xcb_ungrab_server(m_connection);
    xcb_flush(m_connection);
}

std::vector<KeySynthesizer::KeyEvent> KeySynthesizer::asTyped(const std::vector<KeyEvent>& events)
{
    std::vector<KeyEvent> typed;
    if (!m_connection)
        return typed;
    // A press of a key that is down already counts as its repeat, which the server drops: it
    // is let go first. A press left without its release is let go at the end, or the key
    // would stay down on the keyboard the server synthesizes on; the user's own release
    // follows from their keyboard.
    Freed pressed { xcb_query_keymap_reply(m_connection, xcb_query_keymap(m_connection), nullptr) };
    std::vector<uint8_t> down;
    if (pressed)
        for (int code = 0; code < 256; ++code)
            if (pressed->keys[code / 8] & (1 << (code % 8)))
                down.push_back(uint8_t(code));
    std::vector<uint8_t> pressedHere;
    for (const KeyEvent& event : events) {
        if (event.type == XCB_KEY_PRESS && std::count(down.begin(), down.end(), event.code))
            typed.push_back({ XCB_KEY_RELEASE, event.code });
        std::erase(down, event.code);
        std::erase(pressedHere, event.code);
        if (event.type == XCB_KEY_PRESS) {
            down.push_back(event.code);
            pressedHere.push_back(event.code);
        }
        typed.push_back(event);
    }
    for (auto code = pressedHere.rbegin(); code != pressedHere.rend(); ++code)
        typed.push_back({ XCB_KEY_RELEASE, *code });
    return typed;
}

std::optional<KeySynthesizer::Focus> KeySynthesizer::focus()
{
    if (!m_connection)
        return std::nullopt;
    Freed focused { xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr) };
    if (!focused)
        return std::nullopt;
    Focus result { .window = focused->focus, .process = std::nullopt };
    if (result.window == XCB_NONE || result.window == XCB_INPUT_FOCUS_POINTER_ROOT)
        return result;
    static constexpr char name[] = "_NET_WM_PID";
    Freed pidAtom { xcb_intern_atom_reply(
        m_connection, xcb_intern_atom(m_connection, 1, uint16_t(std::strlen(name)), name), nullptr) };
    if (!pidAtom || pidAtom->atom == XCB_NONE)
        return result;
    xcb_window_t window = result.window;
    for (int depth = 0; depth < maximumWindowDepth && window != XCB_NONE && window != m_root; ++depth) {
        Freed pid { xcb_get_property_reply(
            m_connection, xcb_get_property(m_connection, 0, window, pidAtom->atom, XCB_ATOM_CARDINAL, 0, 1), nullptr) };
        if (pid && pid->format == 32 && xcb_get_property_value_length(pid.get()) == 4) {
            result.process = *static_cast<const uint32_t*>(xcb_get_property_value(pid.get()));
            return result;
        }
        Freed tree { xcb_query_tree_reply(m_connection, xcb_query_tree(m_connection, window), nullptr) };
        if (!tree)
            break;
        window = tree->parent;
    }
    return result;
}

bool KeySynthesizer::roundTrip()
{
    // The server has taken every key sent before when it answers.
    Freed focus { xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr) };
    return focus && !xcb_connection_has_error(m_connection);
}

} // namespace quillet
