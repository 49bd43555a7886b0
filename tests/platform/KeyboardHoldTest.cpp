// The hold on the keys typed after the expand shortcut, on a real X display (the test runs in
// a private Xvfb): the test's own window has the focus and writes down the keys it gets, in
// order, and XTEST types, as the user would.

#include "platform/ClipboardPaster.h"
#include "platform/KeySynthesizer.h"
#include "platform/X11KeyGrabber.h"

#include <QDeadlineTimer>
#include <QGuiApplication>

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <gtest/gtest.h>

#include <atomic>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace quillet {
namespace {

constexpr uint32_t controlKeysym = 0xffe3; // Control_L
constexpr uint32_t altKeysym = 0xffe9; // Alt_L
constexpr uint32_t shiftKeysym = 0xffe1; // Shift_L
constexpr uint32_t eKeysym = 'e';
// Long enough for any bound of the hold, short enough to fail rather than hang.
constexpr int deadlineMilliseconds = 10 * int(X11KeyGrabber::holdBound.count());

/// A window of the test's own, with the input focus unless told otherwise, on a connection of
/// its own.
class FocusedWindow {
public:
    explicit FocusedWindow(bool focused = true)
        : m_connection(xcb_connect(nullptr, nullptr))
    {
        if (xcb_connection_has_error(m_connection))
            return;
        xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data;
        m_window = xcb_generate_id(m_connection);
        const uint32_t events = XCB_EVENT_MASK_KEY_PRESS | XCB_EVENT_MASK_STRUCTURE_NOTIFY;
        xcb_create_window(m_connection, XCB_COPY_FROM_PARENT, m_window, screen->root, 0, 0, 200, 100, 0,
            XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, XCB_CW_EVENT_MASK, &events);
        xcb_map_window(m_connection, m_window);
        xcb_flush(m_connection);
        m_symbols = xcb_key_symbols_alloc(m_connection);
        // No window manager: mapped is shown, and the focus is given here.
        while (xcb_generic_event_t* event = xcb_wait_for_event(m_connection)) {
            const bool mapped = (event->response_type & ~0x80) == XCB_MAP_NOTIFY;
            free(event);
            if (mapped)
                break;
        }
        if (focused)
            xcb_set_input_focus(m_connection, XCB_INPUT_FOCUS_POINTER_ROOT, m_window, XCB_CURRENT_TIME);
        free(xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr));
    }
    ~FocusedWindow()
    {
        if (m_symbols)
            xcb_key_symbols_free(m_symbols);
        xcb_disconnect(m_connection);
    }
    FocusedWindow(const FocusedWindow&) = delete;
    FocusedWindow& operator=(const FocusedWindow&) = delete;

    bool ready() const { return !xcb_connection_has_error(m_connection) && m_symbols; }
    uint32_t id() const { return m_window; }

    uint8_t keycode(uint32_t keysym)
    {
        xcb_keycode_t* codes = xcb_key_symbols_get_keycode(m_symbols, keysym);
        const uint8_t code = codes ? codes[0] : 0;
        free(codes);
        return code;
    }

    /// Whether no other client holds the keyboard: this one can grab it (and lets it go).
    bool keyboardFree()
    {
        auto* reply = xcb_grab_keyboard_reply(m_connection,
            xcb_grab_keyboard(m_connection, 0, m_window, XCB_CURRENT_TIME, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC),
            nullptr);
        const bool grabbed = reply && reply->status == XCB_GRAB_STATUS_SUCCESS;
        free(reply);
        if (grabbed)
            xcb_ungrab_keyboard(m_connection, XCB_CURRENT_TIME);
        xcb_flush(m_connection);
        return grabbed;
    }

    /// The letters it got so far, in order.
    const std::string& typed()
    {
        while (xcb_generic_event_t* event = xcb_poll_for_event(m_connection)) {
            if ((event->response_type & ~0x80) == XCB_KEY_PRESS) {
                const auto* press = reinterpret_cast<xcb_key_press_event_t*>(event);
                const xcb_keysym_t keysym = xcb_key_symbols_get_keysym(m_symbols, press->detail, 0);
                if (keysym >= 'a' && keysym <= 'z')
                    m_typed.push_back(char(keysym));
            }
            free(event);
        }
        return m_typed;
    }

private:
    xcb_connection_t* m_connection;
    xcb_window_t m_window = 0;
    xcb_key_symbols_t* m_symbols = nullptr;
    std::string m_typed;
};

/// Another client that moves the input focus from one window to another and back as fast as the
/// display takes it, as a window manager does when the user switches windows, until it ends;
/// then the focus is on the first window.
class FocusSwitcher {
public:
    FocusSwitcher(uint32_t first, uint32_t second)
        : m_connection(xcb_connect(nullptr, nullptr))
        , m_first(first)
    {
        m_thread = std::thread([this, second] {
            for (int requests = 1; !m_ending.load() && !xcb_connection_has_error(m_connection); ++requests) {
                // Each switch on its own, so that the display may serve another client between
                // any two of them.
                xcb_set_input_focus(
                    m_connection, XCB_INPUT_FOCUS_POINTER_ROOT, requests % 2 ? second : m_first, XCB_CURRENT_TIME);
                // Now and then a round trip, so that the switches queue no further than the
                // display has come.
                if (requests % 64 == 0)
                    free(xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr));
                else
                    xcb_flush(m_connection);
            }
        });
    }
    ~FocusSwitcher()
    {
        m_ending.store(true);
        m_thread.join();
        xcb_set_input_focus(m_connection, XCB_INPUT_FOCUS_POINTER_ROOT, m_first, XCB_CURRENT_TIME);
        free(xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr));
        xcb_disconnect(m_connection);
    }
    FocusSwitcher(const FocusSwitcher&) = delete;
    FocusSwitcher& operator=(const FocusSwitcher&) = delete;

private:
    xcb_connection_t* m_connection;
    uint32_t m_first;
    std::atomic<bool> m_ending { false };
    std::thread m_thread;
};

/// Turns the event loop until `done` holds or the deadline passes.
bool waitFor(const std::function<bool()>& done)
{
    const QDeadlineTimer deadline(deadlineMilliseconds);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

/// A key going down or up, by its symbol, as the user's keyboard sends it.
struct Key {
    bool down;
    uint32_t keysym;
};
using Keys = std::vector<Key>;

Keys operator+(Keys first, const Keys& then)
{
    first.insert(first.end(), then.begin(), then.end());
    return first;
}

Keys letters(const std::string& typed)
{
    Keys keys;
    for (const char letter : typed)
        keys = keys + Keys { { true, uint32_t(letter) }, { false, uint32_t(letter) } };
    return keys;
}

// The expand shortcut's keys go down, and stay down until shortcutUp.
const Keys shortcutDown { { true, controlKeysym }, { true, altKeysym }, { true, eKeysym } };
const Keys shortcutUp { { false, eKeysym }, { false, altKeysym }, { false, controlKeysym } };
const Keys modifiersAlone { { true, shiftKeysym }, { false, shiftKeysym }, { true, controlKeysym },
    { false, controlKeysym } };

std::string nameOf(KeyboardPaste::TypedKeys keys)
{
    switch (keys) {
    case KeyboardPaste::TypedKeys::setAside:
        return "setAside";
    case KeyboardPaste::TypedKeys::goFirst:
        return "goFirst";
    case KeyboardPaste::TypedKeys::wentOn:
        return "wentOn";
    }
    return "?";
}

class KeyboardHoldTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_window.ready()) << "no X display";
        ASSERT_TRUE(m_grabber.isAvailable());
        ASSERT_TRUE(m_typing.isAvailable()) << "no XTEST";
        m_grabber.setPressHandler([this](const Shortcut&, KeyboardHold hold) { m_presses.push_back(std::move(hold)); });
        m_grabber.setLostHandler([](const Shortcut&) {});
        ASSERT_TRUE(m_grabber.grab(defaultshortcuts::expandText, true));
    }
    void TearDown() override
    {
        // No key stays down for the next test.
        send(shortcutUp + Keys { { false, shiftKeysym } });
        m_grabber.ungrab(defaultshortcuts::expandText);
    }

    /// Sends the keys as the user's keyboard would, and waits until the display has them.
    void send(const Keys& keys)
    {
        std::vector<KeySynthesizer::KeyEvent> events;
        for (const Key& key : keys) {
            const uint8_t code = m_window.keycode(key.keysym);
            ASSERT_NE(code, 0) << "no key for " << key.keysym;
            events.push_back({ uint8_t(key.down ? XCB_KEY_PRESS : XCB_KEY_RELEASE), code });
        }
        m_typing.queueKeys(events);
        ASSERT_TRUE(m_typing.roundTrip());
    }

    /// The hold of the next press of the shortcut; none when no press comes.
    std::optional<KeyboardHold> nextPress()
    {
        if (!waitFor([this] { return !m_presses.empty(); }))
            return std::nullopt;
        KeyboardHold hold = std::move(m_presses.front());
        m_presses.pop_front();
        return hold;
    }

    FocusedWindow m_window;
    X11KeyGrabber m_grabber;
    KeySynthesizer m_typing;
    std::deque<KeyboardHold> m_presses;
};

TEST_F(KeyboardHoldTest, AHoldTellsThatItsKeysWentOnOnlyWhenAKeyTypedAfterTheShortcutWentOnInOrder)
{
    struct Case {
        const char* name;
        Keys held; // while the keyboard is frozen
        bool setAside; // as a paste does, before it sends its key
        Keys aside;
        bool pastTheBound; // the press outlasts the hold
        // The shortcut's keys stay down past the bound: its key repeats, and once the hold has
        // let go a repeat presses the shortcut again.
        bool shortcutHeld;
        std::string afterTheBound;
        std::string shown; // what reaches the window
        bool wentOn;
    };
    const std::vector<Case> cases {
        { "let go by the press", shortcutUp + letters("ab"), false, {}, false, false, "", "ab", false },
        { "let go by the press with keys set aside", shortcutUp + letters("ab"), true, letters("cd"), false, false, "",
            "abcd", false },
        // What the hold let go at its bound types nothing: the press may still write.
        { "frozen past the bound, the shortcut let go", shortcutUp, false, {}, true, false, "cd", "cd", false },
        { "frozen past the bound, modifiers alone", shortcutUp + modifiersAlone, false, {}, true, false, "cd", "cd",
            false },
        { "frozen past the bound, the shortcut repeating", {}, false, {}, true, true, "cd", "cd", false },
        { "frozen past the bound, letters typed", shortcutUp + letters("ab"), false, {}, true, false, "cd", "abcd",
            true },
        { "set aside past the bound, the shortcut let go", {}, true, shortcutUp, true, false, "cd", "cd", false },
        { "set aside past the bound, modifiers alone", {}, true, shortcutUp + modifiersAlone, true, false, "cd", "cd",
            false },
        { "set aside past the bound, the shortcut repeating", {}, true, {}, true, true, "cd", "cd", false },
        // The keys set aside go on at the bound too, ahead of those typed after it.
        { "set aside past the bound, letters typed", shortcutUp + letters("ab"), true, letters("cd"), true, false, "ef",
            "abcdef", true },
    };
    std::string shown;
    for (const auto& c : cases) {
        send(shortcutDown);
        auto hold = nextPress();
        ASSERT_TRUE(hold) << c.name << ": no press";
        ASSERT_TRUE(hold->holds()) << c.name << ": the focused window was not held";
        const auto wentOn = hold->wentOnCheck();
        send(c.held);
        if (c.setAside) {
            ASSERT_TRUE(hold->keys() && hold->keys()->setAside()) << c.name;
            send(c.aside);
        }
        // Nothing passes the hold meanwhile.
        EXPECT_EQ(m_window.typed(), shown) << c.name;
        const std::string beforeTheBound = shown + c.shown.substr(0, c.shown.size() - c.afterTheBound.size());
        if (c.pastTheBound) {
            if (c.shortcutHeld) {
                auto again = nextPress();
                ASSERT_TRUE(again && again->keys()) << c.name << ": the shortcut held down did not press again";
                // That press's hold takes the repeats until the shortcut is let go.
                ASSERT_TRUE(again->keys()->setAside()) << c.name;
                send(shortcutUp);
                again->release();
                EXPECT_FALSE(again->wentOnCheck()()) << c.name;
            } else {
                EXPECT_TRUE(waitFor([&] { return m_window.keyboardFree(); })) << c.name << ": the keys never went on";
            }
            EXPECT_EQ(wentOn(), c.wentOn) << c.name << ", at the bound";
            EXPECT_TRUE(waitFor([&] { return m_window.typed().size() >= beforeTheBound.size(); }))
                << c.name << ": got " << m_window.typed().substr(shown.size());
            EXPECT_EQ(m_window.typed(), beforeTheBound) << c.name;
            // A paste that comes now has nothing to set aside, and sends its key at once, unless
            // a key that went on may still be on its way to the text.
            ClipboardPaster paste;
            paste.holdKeys(std::move(*hold));
            EXPECT_EQ(nameOf(paste.setKeysAside()), c.wentOn ? "wentOn" : "goFirst") << c.name;
            send(letters(c.afterTheBound));
        }
        hold->release();
        const std::string expected = shown + c.shown;
        EXPECT_TRUE(waitFor([&] { return m_window.typed().size() >= expected.size(); })) << c.name;
        EXPECT_EQ(m_window.typed(), expected) << c.name;
        EXPECT_EQ(wentOn(), c.wentOn) << c.name;
        EXPECT_TRUE(m_presses.empty()) << c.name << ": " << m_presses.size() << " more presses";
        m_presses.clear();
        shown = m_window.typed();
    }
}

TEST_F(KeyboardHoldTest, AChordForTheFocusedWindowGoesThereOrNowhereWhileTheFocusMoves)
{
    // The user switches between the test's window and another one as the paste keys go out:
    // each chord reaches the window it is for, or is not sent at all, never the other window.
    FocusedWindow other(false);
    ASSERT_TRUE(other.ready());
    std::string sent;
    int notSent = 0;
    int focusMoved = 0;
    // At least six presses, and more (within a bound) until a switch was seen as the chords went
    // out: on a loaded machine the switching thread may get no turn during a press.
    for (int press = 0; press < 6 || (focusMoved == 0 && press < 60); ++press) {
        m_presses.clear();
        ASSERT_TRUE(m_typing.sendChord({ controlKeysym, altKeysym, eKeysym }));
        auto hold = nextPress();
        ASSERT_TRUE(hold) << "no press";
        ASSERT_TRUE(hold->holds()) << "the focused window was not held";
        ASSERT_TRUE(hold->keys() && hold->keys()->setAside());
        {
            FocusSwitcher switcher(m_window.id(), other.id());
            for (int chord = 0; chord < 50; ++chord) {
                const char letter = char('a' + sent.size() % 26);
                switch (hold->keys()->sendChord({ uint32_t(letter) }, m_window.id())) {
                case KeySynthesizer::Sent::sent:
                    sent.push_back(letter);
                    break;
                case KeySynthesizer::Sent::focusMoved:
                    ++focusMoved;
                    break;
                case KeySynthesizer::Sent::notSent:
                    ++notSent; // the hold's bound passed
                    break;
                }
            }
        }
        hold->release();
    }
    // The switches did reach the display while the chords went out.
    EXPECT_GT(focusMoved, 0);
    ASSERT_FALSE(sent.empty()) << focusMoved << " chords found the focus moved, " << notSent << " were not sent";
    EXPECT_TRUE(waitFor([&] { return m_window.typed().size() >= sent.size(); }));
    // Every letter sent is in its window, in order, and nothing in the other one.
    EXPECT_EQ(m_window.typed(), sent);
    EXPECT_EQ(other.typed(), "");
}

} // namespace
} // namespace quillet

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    QGuiApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
