// The clipboard keeper on a real X display, against real owners (xclip) and requestors of the
// test's own: what it answers, to whom, with which time, and what it gives back.

#include "platform/ClipboardKeeper.h"

#include "front/KeyboardPaste.h"
#include "platform/Freed.h"
#include "platform/atspi/CallBudget.h"

#include <xcb/xcb.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <optional>
#include <poll.h>
#include <random>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace quillet {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

/// A program of the test's own on the display: it asks for selections as a toolkit does, with
/// the time it names.
class Requestor {
public:
    Requestor()
    {
        // A display that has just seen the previous test's clients go can reset a connection
        // made at that moment (Xvfb closing an old client's socket late): connected again.
        for (int attempt = 0; attempt < 3; ++attempt) {
            m_connection = xcb_connect(nullptr, nullptr);
            if (!xcb_connection_has_error(m_connection))
                break;
            xcb_disconnect(m_connection);
        }
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data;
        for (xcb_window_t* window : { &m_window, &m_focusWindow }) {
            *window = xcb_generate_id(m_connection);
            const uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
            xcb_create_window(m_connection, XCB_COPY_FROM_PARENT, *window, screen->root, 0, 0, 1, 1, 0,
                XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, &events);
        }
        // The window pasted into answers pings, as toolkits' windows do, when the test says.
        const uint32_t ping = atom("_NET_WM_PING");
        xcb_change_property(
            m_connection, XCB_PROP_MODE_REPLACE, m_focusWindow, atom("WM_PROTOCOLS"), XCB_ATOM_ATOM, 32, 1, &ping);
        xcb_flush(m_connection);
    }
    ~Requestor() { xcb_disconnect(m_connection); }
    Requestor(const Requestor&) = delete;
    Requestor& operator=(const Requestor&) = delete;

    /// Another window of this program: the one a paste goes into.
    uint32_t focusWindow() const { return m_focusWindow; }

    uint32_t atom(const char* name)
    {
        Freed reply { xcb_intern_atom_reply(
            m_connection, xcb_intern_atom(m_connection, 0, uint16_t(std::strlen(name)), name), nullptr) };
        return reply ? reply->atom : XCB_NONE;
    }

    /// The server's time now.
    uint32_t now()
    {
        const uint32_t property = atom("TEST_TIME");
        xcb_change_property(m_connection, XCB_PROP_MODE_APPEND, m_window, property, XCB_ATOM_STRING, 8, 0, nullptr);
        uint32_t time = 0;
        wait([&](xcb_generic_event_t* event) {
            auto* notify = reinterpret_cast<xcb_property_notify_event_t*>(event);
            if ((event->response_type & ~0x80) == XCB_PROPERTY_NOTIFY && notify->atom == property)
                time = notify->time;
            return time != 0;
        });
        return time;
    }

    /// Answers the pings its windows got: it has caught up with the events sent to it.
    void answerPings()
    {
        now();
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data;
        for (xcb_client_message_event_t pong : m_pings) {
            pong.window = screen->root;
            xcb_send_event(m_connection, 0, screen->root,
                XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                reinterpret_cast<const char*>(&pong));
        }
        m_pings.clear();
        xcb_flush(m_connection);
    }

    uint32_t owner(const char* selection)
    {
        Freed reply { xcb_get_selection_owner_reply(
            m_connection, xcb_get_selection_owner(m_connection, atom(selection)), nullptr) };
        return reply ? reply->owner : XCB_NONE;
    }

    /// What the selection's owner answers for `target` (pieces put together); none when it
    /// refuses, or says nothing within five seconds.
    std::optional<std::string> fetch(const char* selection, const char* target, uint32_t time = XCB_CURRENT_TIME)
    {
        const uint32_t property = atom("TEST_FETCHED");
        xcb_delete_property(m_connection, m_window, property);
        xcb_convert_selection(m_connection, m_window, atom(selection), atom(target), property, time);
        bool answered = false;
        bool refused = false;
        if (!wait([&](xcb_generic_event_t* event) {
                if ((event->response_type & ~0x80) != XCB_SELECTION_NOTIFY)
                    return false;
                answered = true;
                refused = reinterpret_cast<xcb_selection_notify_event_t*>(event)->property == XCB_NONE;
                return true;
            })
            || refused)
            return std::nullopt;
        Freed reply { xcb_get_property_reply(m_connection,
            xcb_get_property(m_connection, 1, m_window, property, XCB_GET_PROPERTY_TYPE_ANY, 0, UINT32_MAX / 4),
            nullptr) };
        if (!reply)
            return std::nullopt;
        if (reply->type != atom("INCR"))
            return std::string(static_cast<const char*>(xcb_get_property_value(reply.get())),
                std::size_t(xcb_get_property_value_length(reply.get())));
        std::string data;
        while (true) {
            if (!wait([&](xcb_generic_event_t* event) {
                    auto* notify = reinterpret_cast<xcb_property_notify_event_t*>(event);
                    return (event->response_type & ~0x80) == XCB_PROPERTY_NOTIFY && notify->atom == property
                        && notify->state == XCB_PROPERTY_NEW_VALUE;
                }))
                return std::nullopt;
            Freed piece { xcb_get_property_reply(m_connection,
                xcb_get_property(m_connection, 1, m_window, property, XCB_GET_PROPERTY_TYPE_ANY, 0, UINT32_MAX / 4),
                nullptr) };
            if (!piece)
                return std::nullopt;
            const int length = xcb_get_property_value_length(piece.get());
            if (length == 0)
                return data;
            data.append(static_cast<const char*>(xcb_get_property_value(piece.get())), std::size_t(length));
        }
    }

    /// Several targets in one MULTIPLE request: each one's answer, none where it was refused.
    std::vector<std::optional<std::string>> fetchMultiple(
        const char* selection, const std::vector<const char*>& targets)
    {
        std::vector<uint32_t> pairs;
        for (std::size_t i = 0; i < targets.size(); ++i) {
            pairs.push_back(atom(targets[i]));
            pairs.push_back(atom(("TEST_PART_" + std::to_string(i)).c_str()));
        }
        const uint32_t property = atom("TEST_MULTIPLE");
        xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, m_window, property, atom("ATOM_PAIR"), 32,
            uint32_t(pairs.size()), pairs.data());
        xcb_convert_selection(m_connection, m_window, atom(selection), atom("MULTIPLE"), property, XCB_CURRENT_TIME);
        std::vector<std::optional<std::string>> parts(targets.size());
        bool served = false;
        if (!wait([&](xcb_generic_event_t* event) {
                if ((event->response_type & ~0x80) != XCB_SELECTION_NOTIFY)
                    return false;
                served = reinterpret_cast<xcb_selection_notify_event_t*>(event)->property != XCB_NONE;
                return true;
            })
            || !served)
            return parts;
        const auto answered = read(property);
        for (std::size_t i = 0; i < targets.size() && answered && (i * 2 + 1) * 4 < answered->size(); ++i) {
            uint32_t part = 0;
            std::memcpy(&part, answered->data() + (i * 2 + 1) * 4, 4);
            if (part != XCB_NONE)
                parts[i] = read(part);
        }
        return parts;
    }

    /// Two transfers in pieces of `target` to one window at once, read side by side: both put
    /// together, or none when either stalls.
    std::optional<std::string> fetchTwice(const char* selection, const char* target)
    {
        const uint32_t properties[] = { atom("TEST_FIRST"), atom("TEST_SECOND") };
        for (const uint32_t property : properties) {
            xcb_convert_selection(m_connection, m_window, atom(selection), atom(target), property, XCB_CURRENT_TIME);
            if (!wait(
                    [](xcb_generic_event_t* event) { return (event->response_type & ~0x80) == XCB_SELECTION_NOTIFY; }))
                return std::nullopt;
        }
        // Deleting each INCR announcement asks for the first pieces.
        for (const uint32_t property : properties)
            read(property);
        std::string data[2];
        int ended = 0;
        while (ended < 2) {
            if (!wait([&](xcb_generic_event_t* event) {
                    auto* notify = reinterpret_cast<xcb_property_notify_event_t*>(event);
                    if ((event->response_type & ~0x80) != XCB_PROPERTY_NOTIFY
                        || notify->state != XCB_PROPERTY_NEW_VALUE)
                        return false;
                    for (int i = 0; i < 2; ++i) {
                        if (notify->atom != properties[i])
                            continue;
                        const auto piece = read(properties[i]);
                        if (piece && piece->empty())
                            ++ended;
                        else if (piece)
                            data[i] += *piece;
                        return true;
                    }
                    return false;
                }))
                return std::nullopt;
        }
        return data[0] + data[1];
    }

private:
    /// Reads a property of the test's window and deletes it.
    std::optional<std::string> read(uint32_t property)
    {
        Freed reply { xcb_get_property_reply(m_connection,
            xcb_get_property(m_connection, 1, m_window, property, XCB_GET_PROPERTY_TYPE_ANY, 0, UINT32_MAX / 4),
            nullptr) };
        if (!reply)
            return std::nullopt;
        return std::string(static_cast<const char*>(xcb_get_property_value(reply.get())),
            std::size_t(xcb_get_property_value_length(reply.get())));
    }

    template <typename Predicate> bool wait(Predicate seen)
    {
        xcb_flush(m_connection);
        const auto deadline = Clock::now() + 5s;
        pollfd fd { xcb_get_file_descriptor(m_connection), POLLIN, 0 };
        while (Clock::now() < deadline) {
            while (xcb_generic_event_t* event = xcb_poll_for_event(m_connection)) {
                if ((event->response_type & ~0x80) == XCB_CLIENT_MESSAGE)
                    m_pings.push_back(*reinterpret_cast<xcb_client_message_event_t*>(event));
                const bool found = seen(event);
                free(event);
                if (found)
                    return true;
            }
            poll(&fd, 1, 50);
        }
        return false;
    }

    xcb_connection_t* m_connection = nullptr;
    xcb_window_t m_window = 0;
    xcb_window_t m_focusWindow = 0;
    std::vector<xcb_client_message_event_t> m_pings;
};

/// A program that owns a selection: xclip serving a file until another program takes it and it
/// has handed over everything it was asked for, or the given program.
class XclipOwner {
public:
    XclipOwner(const char* selection, const char* target, const std::string& path)
        : XclipOwner({ "xclip", "-quiet", "-selection", selection, "-t", target, "-i", path })
    {
    }
    explicit XclipOwner(const std::vector<std::string>& arguments)
    {
        std::vector<char*> argv;
        for (const std::string& argument : arguments)
            argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        if (posix_spawnp(&m_pid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
            m_pid = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~XclipOwner()
    {
        if (m_pid > 0 && !ended(0ms)) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
    }
    XclipOwner(const XclipOwner&) = delete;
    XclipOwner& operator=(const XclipOwner&) = delete;

    bool ended(std::chrono::milliseconds within)
    {
        const auto deadline = Clock::now() + within;
        while (true) {
            if (m_pid <= 0 || waitpid(m_pid, nullptr, WNOHANG) == m_pid) {
                m_pid = 0;
                return true;
            }
            if (Clock::now() >= deadline)
                return false;
            std::this_thread::sleep_for(5ms);
        }
    }

private:
    pid_t m_pid = -1;
};

/// An owner of the clipboard that misbehaves, on a thread and connection of its own: it lists
/// thousands of formats, or hands its one format over in pieces without end, or goes (its
/// connection closed) after the first piece.
class HostileOwner {
public:
    enum class Kind { thousandsOfFormats, endlessTransfer, diesMidTransfer };

    explicit HostileOwner(Kind kind)
        : m_kind(kind)
        , m_connection(xcb_connect(nullptr, nullptr))
    {
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data;
        m_window = xcb_generate_id(m_connection);
        xcb_create_window(m_connection, XCB_COPY_FROM_PARENT, m_window, screen->root, 0, 0, 1, 1, 0,
            XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
        m_clipboard = atom("CLIPBOARD");
        m_targets = atom("TARGETS");
        m_incr = atom("INCR");
        std::vector<xcb_intern_atom_cookie_t> cookies;
        const int count = kind == Kind::thousandsOfFormats ? 3000 : 1;
        for (int i = 0; i < count; ++i) {
            const std::string name = i == 0 ? "image/png" : "application/x-format-" + std::to_string(i);
            cookies.push_back(xcb_intern_atom(m_connection, 0, uint16_t(name.size()), name.c_str()));
        }
        for (const auto cookie : cookies) {
            Freed reply { xcb_intern_atom_reply(m_connection, cookie, nullptr) };
            m_formats.push_back(reply ? reply->atom : XCB_NONE);
        }
        xcb_set_selection_owner(m_connection, m_window, m_clipboard, XCB_CURRENT_TIME);
        xcb_flush(m_connection);
        m_thread = std::thread([this] { serve(); });
    }
    ~HostileOwner()
    {
        m_stopping = true;
        m_thread.join();
        if (m_connection)
            xcb_disconnect(m_connection);
    }
    HostileOwner(const HostileOwner&) = delete;
    HostileOwner& operator=(const HostileOwner&) = delete;

    uint32_t window() const { return m_window; }

private:
    uint32_t atom(const char* name)
    {
        Freed reply { xcb_intern_atom_reply(
            m_connection, xcb_intern_atom(m_connection, 0, uint16_t(std::strlen(name)), name), nullptr) };
        return reply ? reply->atom : XCB_NONE;
    }
    void serve()
    {
        const std::string piece(256 << 10, 'h');
        pollfd fd { xcb_get_file_descriptor(m_connection), POLLIN, 0 };
        while (!m_stopping) {
            poll(&fd, 1, 20);
            while (xcb_generic_event_t* event = xcb_poll_for_event(m_connection)) {
                const uint8_t type = event->response_type & ~0x80;
                if (type == XCB_SELECTION_REQUEST) {
                    auto* request = reinterpret_cast<xcb_selection_request_event_t*>(event);
                    if (request->target == m_targets) {
                        xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, request->requestor, request->property,
                            XCB_ATOM_ATOM, 32, uint32_t(m_formats.size()), m_formats.data());
                    } else {
                        const uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
                        xcb_change_window_attributes(m_connection, request->requestor, XCB_CW_EVENT_MASK, &events);
                        const uint32_t size = 1 << 20;
                        xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, request->requestor, request->property,
                            m_incr, 32, 1, &size);
                    }
                    xcb_selection_notify_event_t notify {};
                    notify.response_type = XCB_SELECTION_NOTIFY;
                    notify.time = request->time;
                    notify.requestor = request->requestor;
                    notify.selection = request->selection;
                    notify.target = request->target;
                    notify.property = request->property;
                    xcb_send_event(
                        m_connection, 0, request->requestor, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<char*>(&notify));
                } else if (type == XCB_PROPERTY_NOTIFY) {
                    auto* deleted = reinterpret_cast<xcb_property_notify_event_t*>(event);
                    if (deleted->state == XCB_PROPERTY_DELETE) {
                        xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, deleted->window, deleted->atom,
                            XCB_ATOM_STRING, 8, uint32_t(piece.size()), piece.data());
                        if (m_kind == Kind::diesMidTransfer) {
                            free(event);
                            xcb_disconnect(m_connection);
                            m_connection = nullptr;
                            return;
                        }
                    }
                }
                free(event);
            }
            xcb_flush(m_connection);
        }
    }

    Kind m_kind;
    xcb_connection_t* m_connection;
    xcb_window_t m_window = 0;
    uint32_t m_clipboard = 0;
    uint32_t m_targets = 0;
    uint32_t m_incr = 0;
    std::vector<uint32_t> m_formats;
    std::atomic<bool> m_stopping = false;
    std::thread m_thread;
};

std::string writeFile(const std::string& name, const std::string& contents)
{
    const std::string path = ::testing::TempDir() + name;
    std::ofstream(path, std::ios::binary) << contents;
    return path;
}

template <typename Predicate> bool eventually(Predicate holds, std::chrono::milliseconds within = 5000ms)
{
    const auto deadline = Clock::now() + within;
    while (!holds()) {
        if (Clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

Clock::time_point callDeadline()
{
    return Clock::now() + CallBudget::clipboardBound;
}

/// What is kept does not depend on how fast the machine is: the deadlines are far (what a
/// press waits is the benchmark's).
ClipboardKeeper::Kept keepNow(ClipboardKeeper& keeper)
{
    const auto deadline = Clock::now() + 5s;
    return keeper.keep(deadline, deadline);
}

class ClipboardKeeperTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!std::getenv("DISPLAY"))
            GTEST_SKIP() << "no display";
        // Through a round trip the display is done with the clients of the test before.
        ASSERT_NE(m_editor.now(), 0u);
        ASSERT_NE(m_reader.now(), 0u);
    }
    /// The user's clipboard and primary selection, each a text of xclip's.
    void ownUserSelections()
    {
        m_clipboardOwner.emplace("clipboard", "UTF8_STRING", writeFile("user-clipboard", "USERCLIP"));
        m_primaryOwner.emplace("primary", "UTF8_STRING", writeFile("user-primary", "USERPRIMARY"));
        ASSERT_TRUE(eventually([&] { return m_reader.fetch("CLIPBOARD", "UTF8_STRING") == "USERCLIP"; }));
        ASSERT_TRUE(eventually([&] { return m_reader.fetch("PRIMARY", "UTF8_STRING") == "USERPRIMARY"; }));
    }

    Requestor m_editor; // the application pasted into
    Requestor m_reader; // another program that reads the clipboard
    std::optional<XclipOwner> m_clipboardOwner;
    std::optional<XclipOwner> m_primaryOwner;
};

TEST_F(ClipboardKeeperTest, OnlyThePastesApplicationTakesItAndALateRequestOfItPutsBackWhatItReplaces)
{
    struct Case {
        const char* name;
        bool lateRequests; // the editor takes the withdrawn paste late, or never
        bool answersPingAtOnce; // its pages run apart from its windows (a browser)
    };
    const Case cases[] = {
        { "a busy editor's late paste", true, false },
        { "no late paste: the user pastes", false, false },
        { "a browser's late paste, after it answered the ping", true, true },
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        ownUserSelections();
        ClipboardKeeper keeper;
        ASSERT_EQ(keepNow(keeper), ClipboardKeeper::Kept::kept);
        // A rewriting expansion: "in 1..<n {…}" pasted over "from 1 to n".
        ASSERT_TRUE(keeper.offer("in 1..<n {}", "from 1 to n", m_editor.focusWindow(), callDeadline()));
        // The paste key's time: after the offer, before the withdrawal.
        const uint32_t pasteKey = m_editor.now();
        // A program reading the clipboard all along gets the paste, and does not take it.
        EXPECT_EQ(m_reader.fetch("CLIPBOARD", "UTF8_STRING"), "in 1..<n {}");
        EXPECT_FALSE(keeper.offerTaken());
        // The clipboard is owned again after the paste key, never at its very time.
        ASSERT_TRUE(eventually([&] { return m_reader.now() != pasteKey; }));
        EXPECT_EQ(m_reader.fetch("PRIMARY", "UTF8_STRING"), "USERPRIMARY");
        EXPECT_TRUE(keeper.withdraw(callDeadline()));
        const auto withdrawn = Clock::now();
        if (test.answersPingAtOnce)
            m_editor.answerPings();
        if (test.lateRequests) {
            // The editor takes it naming the paste key's time (GTK, Qt), a time of its own (asking
            // the server) or none (Chromium): it gets what its selection holds, and pastes it over
            // itself.
            EXPECT_EQ(m_editor.fetch("CLIPBOARD", "UTF8_STRING", pasteKey), "from 1 to n");
            EXPECT_EQ(m_editor.fetch("CLIPBOARD", "UTF8_STRING", m_editor.now()), "from 1 to n");
            EXPECT_EQ(m_editor.fetch("CLIPBOARD", "text/plain;charset=utf-8", XCB_CURRENT_TIME), "from 1 to n");
        }
        // The others get the user's clipboard at once.
        EXPECT_EQ(m_reader.fetch("CLIPBOARD", "UTF8_STRING"), "USERCLIP");
        EXPECT_EQ(m_reader.fetch("CLIPBOARD", "UTF8_STRING", pasteKey), std::nullopt)
            << "a request before the clipboard was owned again";
        keeper.restore(callDeadline());
        // The busy editor catches up, and its own next paste (a later key's time) gets the user's
        // clipboard, whether the late paste came or not.
        if (!test.answersPingAtOnce) {
            std::this_thread::sleep_until(withdrawn + 2 * ClipboardKeeper::promptPong); // busy
            m_editor.answerPings();
        }
        EXPECT_TRUE(eventually([&] { return m_editor.fetch("CLIPBOARD", "UTF8_STRING", m_editor.now()) == "USERCLIP"; },
            PasteBounds::withdrawalLinger * 2));
        EXPECT_EQ(m_reader.fetch("PRIMARY", "UTF8_STRING"), "USERPRIMARY");
    }
}

TEST_F(ClipboardKeeperTest, APasteItsApplicationTookIsNotWithdrawnAndTheClipboardComesBack)
{
    ownUserSelections();
    ClipboardKeeper keeper;
    ASSERT_EQ(keepNow(keeper), ClipboardKeeper::Kept::kept);
    ASSERT_TRUE(keeper.offer("for item in items", "", m_editor.focusWindow(), callDeadline()));
    EXPECT_EQ(m_editor.fetch("CLIPBOARD", "UTF8_STRING", m_editor.now()), "for item in items");
    EXPECT_TRUE(keeper.offerTaken());
    EXPECT_FALSE(keeper.withdraw(callDeadline()));
    keeper.restore(callDeadline());
    EXPECT_EQ(m_editor.fetch("CLIPBOARD", "UTF8_STRING", m_editor.now()), "USERCLIP");
    EXPECT_EQ(m_reader.fetch("CLIPBOARD", "UTF8_STRING"), "USERCLIP");
    // The owner lost the clipboard and had nothing more to hand over: it ended.
    EXPECT_TRUE(m_clipboardOwner->ended(5000ms));
}

TEST_F(ClipboardKeeperTest, ThePrimarySelectionComesBackOnlyWhereAnotherProgramTookItDuringThePress)
{
    ownUserSelections();
    {
        // Not taken during the press: it stays with its owner.
        ClipboardKeeper keeper;
        ASSERT_EQ(keepNow(keeper), ClipboardKeeper::Kept::kept);
        const uint32_t owner = m_reader.owner("PRIMARY");
        ASSERT_TRUE(keeper.offer("for item in items", "", m_editor.focusWindow(), callDeadline()));
        EXPECT_EQ(m_reader.owner("PRIMARY"), owner);
        keeper.restore(callDeadline());
        EXPECT_EQ(m_reader.owner("PRIMARY"), owner);
        EXPECT_FALSE(m_primaryOwner->ended(0ms));
    }
    // A text selected during the press takes it: the user's comes back.
    ClipboardKeeper keeper;
    ASSERT_EQ(keepNow(keeper), ClipboardKeeper::Kept::kept);
    XclipOwner selected("primary", "UTF8_STRING", writeFile("selected", "items"));
    ASSERT_TRUE(eventually([&] { return m_reader.fetch("PRIMARY", "UTF8_STRING") == "items"; }));
    keeper.restore(callDeadline());
    EXPECT_EQ(m_reader.fetch("PRIMARY", "UTF8_STRING"), "USERPRIMARY");
}

TEST_F(ClipboardKeeperTest, ThePrimarySelectionWaitsForAWithdrawnPasteToLandBeforeItComesBack)
{
    ownUserSelections();
    ClipboardKeeper keeper;
    ASSERT_EQ(keepNow(keeper), ClipboardKeeper::Kept::kept);
    // Selecting the span to rewrite makes the editor's toolkit take the primary selection; one
    // that loses it clears that selection, which the late paste is to replace.
    XclipOwner selecting("primary", "UTF8_STRING", writeFile("selected", "from 1 to n"));
    ASSERT_TRUE(eventually([&] { return m_reader.fetch("PRIMARY", "UTF8_STRING") == "from 1 to n"; }));
    ASSERT_TRUE(keeper.offer("in 1..<n {}", "from 1 to n", m_editor.focusWindow(), callDeadline()));
    ASSERT_TRUE(keeper.withdraw(callDeadline()));
    keeper.restore(callDeadline());
    EXPECT_EQ(m_reader.fetch("PRIMARY", "UTF8_STRING"), "from 1 to n");
    EXPECT_EQ(m_editor.fetch("CLIPBOARD", "UTF8_STRING", m_editor.now()), "from 1 to n");
    // Once the late paste has landed, the user's primary selection comes back.
    EXPECT_TRUE(eventually(
        [&] { return m_reader.fetch("PRIMARY", "UTF8_STRING") == "USERPRIMARY"; }, PasteBounds::withdrawalLinger * 4));
}

TEST_F(ClipboardKeeperTest, ALargeClipboardIsKeptAtOnceAndGivenBackWholeItsOwnerAnsweredToTheEnd)
{
    std::string image(30 << 20, '\0');
    std::mt19937 random(47);
    for (char& byte : image)
        byte = char(random());
    m_clipboardOwner.emplace("clipboard", "image/png", writeFile("big.png", image));
    // Its formats arrive beside the image's pieces.
    m_primaryOwner.emplace("primary", "UTF8_STRING", writeFile("user-primary", "USERPRIMARY"));
    ASSERT_TRUE(eventually([&] {
        const auto targets = m_reader.fetch("CLIPBOARD", "TARGETS");
        return targets && targets->size() >= 8;
    }));
    ASSERT_TRUE(eventually([&] { return m_reader.fetch("PRIMARY", "UTF8_STRING") == "USERPRIMARY"; }));
    ClipboardKeeper keeper;
    // Within a call's bound, however large the clipboard.
    ASSERT_EQ(keepNow(keeper), ClipboardKeeper::Kept::kept);
    ASSERT_TRUE(keeper.offer("for item in items", "", m_editor.focusWindow(), callDeadline()));
    EXPECT_EQ(m_editor.fetch("CLIPBOARD", "UTF8_STRING", m_editor.now()), "for item in items");
    EXPECT_FALSE(keeper.withdraw(callDeadline()));
    keeper.restore(callDeadline());
    // Asked for it while it still arrives, or after: the whole image.
    const auto given = m_reader.fetch("CLIPBOARD", "image/png");
    ASSERT_TRUE(given);
    EXPECT_EQ(given->size(), image.size());
    EXPECT_TRUE(*given == image);
    EXPECT_EQ(m_reader.fetch("PRIMARY", "UTF8_STRING"), "USERPRIMARY");
    // Every transfer it started was read to its end: the owner, which lost the clipboard, ended.
    EXPECT_TRUE(m_clipboardOwner->ended(5000ms));
}

TEST_F(ClipboardKeeperTest, AClipboardIsTakenOnlyOnceReadWholeAndLeftUntouchedPastTheBound)
{
    const std::string gtkOwner = std::string(QUILLET_TEST_SOURCE_DIR) + "/gtk_clipboard_owner.py";
    struct Case {
        const char* name;
        std::function<std::optional<uint32_t>()> own; // the owner's window
        ClipboardKeeper::Kept kept;
        const char* target; // what is given back whole, when anything is
    };
    std::optional<XclipOwner> program;
    std::optional<HostileOwner> hostile;
    const auto gtk = [&](std::size_t bytes, std::vector<std::string> options) {
        return [&, bytes, options]() -> std::optional<uint32_t> {
            const uint32_t before = m_reader.owner("CLIPBOARD");
            std::vector<std::string> arguments { "/usr/bin/python3", gtkOwner, "--bytes", std::to_string(bytes) };
            arguments.insert(arguments.end(), options.begin(), options.end());
            program.emplace(arguments);
            if (!eventually([&] { return m_reader.owner("CLIPBOARD") != before; }, 10000ms))
                return std::nullopt;
            return m_reader.owner("CLIPBOARD");
        };
    };
    const auto misbehaving = [&](HostileOwner::Kind kind) {
        return [&, kind]() -> std::optional<uint32_t> {
            hostile.emplace(kind);
            return hostile->window();
        };
    };
    const Case cases[] = {
        { "a GTK owner that quits on losing the clipboard, 8 MB", gtk(8 << 20, { "--one-shot" }),
            ClipboardKeeper::Kept::kept, "UTF8_STRING" },
        { "a GTK owner that quits on losing the clipboard, 30 MB", gtk(30 << 20, { "--one-shot" }),
            ClipboardKeeper::Kept::kept, "UTF8_STRING" },
        { "a GTK owner that stays, 8 MB", gtk(8 << 20, {}), ClipboardKeeper::Kept::kept, "UTF8_STRING" },
        // Offered in 14 encodings: kept as PNG alone.
        { "a GTK image of 8 MB whose owner quits", gtk(8 << 20, { "--image", "--one-shot" }),
            ClipboardKeeper::Kept::kept, "image/png" },
        { "thousands of formats", misbehaving(HostileOwner::Kind::thousandsOfFormats), ClipboardKeeper::Kept::tooLarge,
            nullptr },
        { "a transfer without end", misbehaving(HostileOwner::Kind::endlessTransfer), ClipboardKeeper::Kept::tooLarge,
            nullptr },
        // Its owner gone, the clipboard is empty, and stays so.
        { "an owner that dies mid-transfer", misbehaving(HostileOwner::Kind::diesMidTransfer),
            ClipboardKeeper::Kept::kept, nullptr },
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        const auto owner = test.own();
        ASSERT_TRUE(owner);
        const auto original = test.target ? m_reader.fetch("CLIPBOARD", test.target) : std::nullopt;
        ASSERT_EQ(original.has_value(), test.target != nullptr);
        ClipboardKeeper keeper;
        ASSERT_EQ(keepNow(keeper), test.kept);
        if (test.kept != ClipboardKeeper::Kept::kept) {
            // Untouched, and nothing of it held.
            EXPECT_FALSE(keeper.offer("for item in items", "", m_editor.focusWindow(), callDeadline()));
            EXPECT_EQ(m_reader.owner("CLIPBOARD"), *owner);
            EXPECT_EQ(keeper.bytesKept(), 0u);
            keeper.restore(callDeadline());
            EXPECT_EQ(m_reader.owner("CLIPBOARD"), *owner);
            hostile.reset();
            continue;
        }
        ASSERT_TRUE(keeper.offer("for item in items", "", m_editor.focusWindow(), callDeadline()));
        EXPECT_EQ(m_editor.fetch("CLIPBOARD", "UTF8_STRING", m_editor.now()), "for item in items");
        keeper.restore(callDeadline());
        const auto given = m_reader.fetch("CLIPBOARD", test.target ? test.target : "UTF8_STRING");
        ASSERT_EQ(given.has_value(), original.has_value());
        if (given) {
            EXPECT_EQ(given->size(), original->size());
            EXPECT_TRUE(*given == *original);
            EXPECT_LT(keeper.bytesKept(), 2 * given->size()) << "one format of it, or two sharing their bytes";
        }
        // Another program copies: what was kept goes.
        XclipOwner copied("clipboard", "UTF8_STRING", writeFile("copied", "copied"));
        EXPECT_TRUE(eventually([&] { return keeper.bytesKept() == 0; }));
        hostile.reset();
        program.reset();
    }
}

TEST_F(ClipboardKeeperTest, TheOfferedTextIsServedAsTheProtocolHasIt)
{
    ownUserSelections();
    ClipboardKeeper keeper;
    ASSERT_EQ(keepNow(keeper), ClipboardKeeper::Kept::kept);
    struct Case {
        const char* text;
        std::optional<std::string> string; // STRING: Latin-1, or not offered
    };
    const Case cases[] = { { "caf\u00e9", std::string("caf\xe9") }, { "\u2192 x", std::nullopt } };
    for (const Case& test : cases) {
        ASSERT_TRUE(keeper.offer(test.text, "", m_editor.focusWindow(), callDeadline()));
        EXPECT_EQ(m_reader.fetch("CLIPBOARD", "STRING"), test.string);
        EXPECT_EQ(m_reader.fetch("CLIPBOARD", "UTF8_STRING"), test.text);
        // Clipboard managers are told to leave it out of their history.
        EXPECT_EQ(m_reader.fetch("CLIPBOARD", "x-kde-passwordManagerHint"), "secret");
        // Several targets in one request.
        EXPECT_EQ(m_reader.fetchMultiple("CLIPBOARD", { "UTF8_STRING", "application/x-absent" }),
            (std::vector<std::optional<std::string>> { test.text, std::nullopt }));
    }
    keeper.restore(callDeadline());
    // A transfer in pieces, twice to the same window, while another is under way to it.
    const uint32_t served = m_reader.owner("CLIPBOARD");
    m_clipboardOwner.emplace("clipboard", "UTF8_STRING", writeFile("large", std::string(3 << 20, 'L')));
    ASSERT_TRUE(eventually([&] { return m_reader.owner("CLIPBOARD") != served; }));
    ClipboardKeeper large;
    ASSERT_EQ(keepNow(large), ClipboardKeeper::Kept::kept);
    ASSERT_TRUE(large.offer("x", "", m_editor.focusWindow(), callDeadline()));
    large.restore(callDeadline());
    const auto twice = m_reader.fetchTwice("CLIPBOARD", "UTF8_STRING");
    ASSERT_TRUE(twice) << "a transfer stalled";
    EXPECT_TRUE(*twice == std::string(2 * (3 << 20), 'L'));
}

} // namespace
} // namespace quillet
