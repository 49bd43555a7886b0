// The hold on the keys typed after the expand shortcut, on a real X display (the test runs in
// a private Xvfb): the test's own window has the focus and writes down the keys it gets, in
// order, and XTEST types, as the user would.

#include "platform/KeySynthesizer.h"
#include "platform/X11KeyGrabber.h"

#include <QDeadlineTimer>
#include <QGuiApplication>

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace quillet {
namespace {

constexpr uint32_t controlKeysym = 0xffe3; // Control_L
constexpr uint32_t altKeysym = 0xffe9; // Alt_L
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

class KeyboardHoldTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_window.ready()) << "no X display";
        ASSERT_TRUE(m_grabber.isAvailable());
        ASSERT_TRUE(m_typing.isAvailable()) << "no XTEST";
        m_grabber.setPressHandler([this](const Shortcut&, KeyboardHold hold) { m_hold = std::move(hold); });
        m_grabber.setLostHandler([](const Shortcut&) {});
        ASSERT_TRUE(m_grabber.grab(defaultshortcuts::expandText, true));
    }
    void TearDown() override { m_grabber.ungrab(defaultshortcuts::expandText); }

    void type(const std::string& letters)
    {
        for (const char letter : letters)
            ASSERT_TRUE(m_typing.sendChord({ uint32_t(letter) }));
    }

    FocusedWindow m_window;
    X11KeyGrabber m_grabber;
    KeySynthesizer m_typing;
    std::optional<KeyboardHold> m_hold;
};

TEST_F(KeyboardHoldTest, TheKeysTypedAfterTheShortcutReachTheWindowInTheOrderTypedWhateverLetsThemGo)
{
    struct Case {
        const char* name;
        std::string beforeAside; // typed while the keyboard is frozen
        bool setAside; // as a paste does, before it sends its key
        std::string aside;
        bool pastTheBound; // the press outlasts the hold
        std::string afterTheBound;
        bool wentOn;
    };
    const std::vector<Case> cases {
        { "let go by the press", "ab", false, "", false, "", false },
        { "let go by the press with keys set aside", "ab", true, "cd", false, "", false },
        { "frozen past the bound", "ab", false, "", true, "cd", true },
        // The keys set aside go on at the bound too, ahead of those typed after it.
        { "set aside past the bound", "ab", true, "cd", true, "ef", true },
    };
    std::string shown;
    for (const auto& c : cases) {
        m_hold.reset();
        ASSERT_TRUE(m_typing.sendChord({ controlKeysym, altKeysym, eKeysym })) << c.name;
        ASSERT_TRUE(waitFor([this] { return m_hold.has_value(); })) << c.name << ": no press";
        ASSERT_TRUE(m_hold->holds()) << c.name << ": the focused window was not held";
        const auto wentOn = m_hold->wentOnCheck();
        type(c.beforeAside);
        if (c.setAside) {
            ASSERT_TRUE(m_hold->keys() && m_hold->keys()->setAside()) << c.name;
            type(c.aside);
        }
        // Nothing passes the hold meanwhile.
        EXPECT_EQ(m_window.typed(), shown) << c.name;
        const std::string all = c.beforeAside + c.aside;
        if (c.pastTheBound) {
            EXPECT_TRUE(waitFor([&] { return wentOn(); })) << c.name << ": the keys never went on";
            EXPECT_TRUE(waitFor([&] { return m_window.typed() == shown + all; }))
                << c.name << ": got " << m_window.typed().substr(shown.size());
            type(c.afterTheBound);
        }
        m_hold->release();
        const std::string expected = shown + all + c.afterTheBound;
        EXPECT_TRUE(waitFor([&] { return m_window.typed().size() >= expected.size(); })) << c.name;
        EXPECT_EQ(m_window.typed(), expected) << c.name;
        EXPECT_EQ(wentOn(), c.wentOn) << c.name;
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
    for (int press = 0; press < 6; ++press) {
        m_hold.reset();
        ASSERT_TRUE(m_typing.sendChord({ controlKeysym, altKeysym, eKeysym }));
        ASSERT_TRUE(waitFor([this] { return m_hold.has_value(); })) << "no press";
        ASSERT_TRUE(m_hold->holds()) << "the focused window was not held";
        ASSERT_TRUE(m_hold->keys() && m_hold->keys()->setAside());
        {
            FocusSwitcher switcher(m_window.id(), other.id());
            for (int chord = 0; chord < 50; ++chord) {
                const char letter = char('a' + sent.size() % 26);
                switch (m_hold->keys()->sendChord({ uint32_t(letter) }, m_window.id())) {
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
        m_hold->release();
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
