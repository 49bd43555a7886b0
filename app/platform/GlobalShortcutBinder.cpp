#include "platform/GlobalShortcutBinder.h"

#include "platform/UserDefaults.h"

#include "platform/KeySynthesizer.h"
#include "platform/ProcessExit.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QLoggingCategory>

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <deque>
#include <fcntl.h>
#include <future>
#include <mutex>
#include <poll.h>
#include <pthread.h>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <vector>

namespace quillet {
namespace {

Q_LOGGING_CATEGORY(shortcutsLog, "quillet.shortcuts")

// Lock modifiers that must not stop a shortcut: Caps Lock (Lock) and Num Lock (Mod2).
constexpr uint16_t lockMask = XCB_MOD_MASK_LOCK;
constexpr uint16_t numLockMask = XCB_MOD_MASK_2;
constexpr uint16_t relevantModifiers = XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1 | XCB_MOD_MASK_4;
constexpr uint16_t lockCombinations[] = { 0, lockMask, numLockMask, lockMask | numLockMask };

constexpr int stopSignals[] = { SIGTSTP, SIGTTIN, SIGTTOU };

// The grab thread's wake-up pipe, for the signal handlers; -1 while none runs.
std::atomic<int> stopSignalPipe { -1 };
// The stop signal waiting for the grab thread; a continue drops it, as the kernel drops a
// pending stop.
std::atomic<int> pendingStop { 0 };

void onStopSignal(int signal)
{
    const int savedErrno = errno;
    const int pipe = stopSignalPipe.load();
    if (pipe >= 0) {
        pendingStop.store(signal);
        const char byte = 1;
        [[maybe_unused]] const auto written = write(pipe, &byte, 1);
    } else {
        // No grab thread: stop as if nothing had caught the signal (once this handler ends).
        ::signal(signal, SIG_DFL);
        raise(signal);
    }
    errno = savedErrno;
}

void onContinueSignal(int)
{
    pendingStop.store(0);
}

} // namespace

/// Owns the grab connection. Everything on it (grabs, presses, holds, stops) happens on its
/// thread; the other threads hand it commands through a queue and a wake-up pipe.
class X11KeyGrabber::GrabThread : public std::enable_shared_from_this<X11KeyGrabber::GrabThread> {
public:
    using PressHandler = std::function<void(const Shortcut&, KeyboardHold)>;

    /// Null when the display cannot be reached.
    static std::shared_ptr<GrabThread> start(xcb_connection_t* application, PressHandler onPress);
    /// Takes the connection and the wake-up pipe.
    GrabThread(xcb_connection_t* connection, const int (&wake)[2], xcb_connection_t* application, PressHandler onPress);
    ~GrabThread();
    GrabThread(const GrabThread&) = delete;
    GrabThread& operator=(const GrabThread&) = delete;

    bool grab(const Shortcut& shortcut, bool holdKeysAfter);
    void ungrab(const Shortcut& shortcut);
    /// Lets the keyboard go when the hold of that number is still the current one; returns once
    /// the request is on its way to the display. Any thread.
    void release(uint64_t hold);
    /// HeldKeys of the hold of that number, which must still be the current one. Any thread
    /// but the grab thread.
    bool setKeysAside(uint64_t hold);
    bool sendChordAhead(uint64_t hold, std::vector<uint32_t> keysyms);
    /// Ends the thread and joins it. Main thread only.
    void stop();

private:
    struct Command {
        enum class Kind { grab, ungrab, release, setAside, sendChord } kind;
        Shortcut shortcut { 0, 0 };
        bool holdKeysAfter = false;
        uint64_t hold = 0;
        std::promise<bool> done;
        std::vector<uint32_t> keysyms = {};
    };
    class Keys;
    struct Grabbed {
        Shortcut shortcut;
        bool holdKeysAfter;
    };
    using Clock = std::chrono::steady_clock;

    std::future<bool> post(Command command);
    void wake();
    void run();
    void runCommand(Command& command);
    void handle(xcb_generic_event_t* event);
    std::vector<uint8_t> keycodes(const Shortcut& shortcut) const;
    bool takeKeys(const Shortcut& shortcut);
    void dropKeys(const Shortcut& shortcut);
    KeyboardHold holdKeyboard();
    void letKeyboardGo();
    void letKeyboardGoKeepingKeys();
    bool setAside();
    bool sendChord(const std::vector<uint32_t>& keysyms);
    bool grabHoldWindow(uint8_t keyboardMode);
    void takeQueuedKeys();
    void sendKeysSetAside();
    void stopProcess(int signal);

    xcb_connection_t* m_connection;
    // Qt's own connection, whose grabs (an open menu's) a stop lets go too.
    xcb_connection_t* m_application;
    xcb_window_t m_root = 0;
    xcb_key_symbols_t* m_symbols = nullptr;
    PressHandler m_onPress;
    int m_wake[2] = { -1, -1 };

    std::mutex m_mutex;
    std::deque<Command> m_commands;
    bool m_stopping = false;
    std::thread m_thread;

    // The grab thread's own.
    std::vector<Grabbed> m_grabbed;
    uint64_t m_holdNumber = 0;
    bool m_holding = false;
    Clock::time_point m_holdDeadline;
    xcb_window_t m_holdWindow = XCB_NONE;
    // The keys typed during a hold whose keys were set aside, in order; they go on when it ends.
    bool m_keysAside = false;
    std::vector<KeySynthesizer::KeyEvent> m_keysSetAside;
    // The keyboard went at the hold's bound, its keys set aside wait for the press's end.
    bool m_keysWaiting = false;
    std::unique_ptr<KeySynthesizer> m_keys;
};

/// A hold's keys, as long as that hold is the grab thread's current one.
class X11KeyGrabber::GrabThread::Keys final : public HeldKeys {
public:
    Keys(std::weak_ptr<GrabThread> grabs, uint64_t hold)
        : m_grabs(std::move(grabs))
        , m_hold(hold)
    {
    }
    bool setAside() override
    {
        auto grabs = m_grabs.lock();
        return grabs && grabs->setKeysAside(m_hold);
    }
    bool sendChord(const std::vector<uint32_t>& keysyms) override
    {
        auto grabs = m_grabs.lock();
        return grabs && grabs->sendChordAhead(m_hold, keysyms);
    }

private:
    std::weak_ptr<GrabThread> m_grabs;
    uint64_t m_hold;
};

std::shared_ptr<X11KeyGrabber::GrabThread> X11KeyGrabber::GrabThread::start(
    xcb_connection_t* application, PressHandler onPress)
{
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection)) {
        xcb_disconnect(connection);
        return nullptr;
    }
    int wake[2] = { -1, -1 };
    if (!xcb_setup_roots_iterator(xcb_get_setup(connection)).rem || pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) {
        xcb_disconnect(connection);
        return nullptr;
    }
    return std::make_shared<GrabThread>(connection, wake, application, std::move(onPress));
}

X11KeyGrabber::GrabThread::GrabThread(
    xcb_connection_t* connection, const int (&wake)[2], xcb_connection_t* application, PressHandler onPress)
    : m_connection(connection)
    , m_application(application)
    , m_onPress(std::move(onPress))
    , m_wake { wake[0], wake[1] }
{
    m_root = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data->root;
    m_symbols = xcb_key_symbols_alloc(m_connection);
    m_keys = std::make_unique<KeySynthesizer>(m_connection, m_root);
    try {
        m_thread = std::thread([this] { run(); });
    } catch (const std::system_error& error) {
        exitForLackOfThread("the global shortcuts", error);
    }
    // The handlers only wake the thread, which lets the keyboard go and then stops.
    stopSignalPipe.store(m_wake[1]);
    struct sigaction action { };
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : stopSignals)
        sigaction(signal, &action, nullptr);
    action.sa_handler = onContinueSignal;
    sigaction(SIGCONT, &action, nullptr);
}

X11KeyGrabber::GrabThread::~GrabThread()
{
    stop();
    if (m_symbols)
        xcb_key_symbols_free(m_symbols);
    // Closing the connection lets every grab made on it go.
    xcb_disconnect(m_connection);
    for (const int end : m_wake)
        if (end >= 0)
            close(end);
}

void X11KeyGrabber::GrabThread::stop()
{
    if (!m_thread.joinable())
        return;
    struct sigaction action { };
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    for (const int signal : stopSignals)
        sigaction(signal, &action, nullptr);
    sigaction(SIGCONT, &action, nullptr);
    stopSignalPipe.store(-1);
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    wake();
    m_thread.join();
}

void X11KeyGrabber::GrabThread::wake()
{
    const char byte = 0;
    [[maybe_unused]] const auto written = write(m_wake[1], &byte, 1);
}

std::future<bool> X11KeyGrabber::GrabThread::post(Command command)
{
    std::future<bool> done = command.done.get_future();
    {
        std::lock_guard lock(m_mutex);
        if (m_stopping) {
            command.done.set_value(false);
            return done;
        }
        m_commands.push_back(std::move(command));
    }
    wake();
    return done;
}

bool X11KeyGrabber::GrabThread::grab(const Shortcut& shortcut, bool holdKeysAfter)
{
    // The thread answers as soon as the display server has: it never waits on anything else.
    return post(
        { .kind = Command::Kind::grab, .shortcut = shortcut, .holdKeysAfter = holdKeysAfter, .hold = 0, .done = {} })
        .get();
}

void X11KeyGrabber::GrabThread::ungrab(const Shortcut& shortcut)
{
    post({ .kind = Command::Kind::ungrab, .shortcut = shortcut, .holdKeysAfter = false, .hold = 0, .done = {} }).get();
}

void X11KeyGrabber::GrabThread::release(uint64_t hold)
{
    if (std::this_thread::get_id() == m_thread.get_id()) {
        if ((m_holding || m_keysWaiting) && hold == m_holdNumber)
            letKeyboardGo();
        return;
    }
    // Waited for, so that what the caller sends next (a paste key) comes after the keys that
    // waited.
    post({ .kind = Command::Kind::release, .shortcut = { 0, 0 }, .holdKeysAfter = false, .hold = hold, .done = {} })
        .get();
}

bool X11KeyGrabber::GrabThread::setKeysAside(uint64_t hold)
{
    if (std::this_thread::get_id() == m_thread.get_id())
        return false;
    return post(
        { .kind = Command::Kind::setAside, .shortcut = { 0, 0 }, .holdKeysAfter = false, .hold = hold, .done = {} })
        .get();
}

bool X11KeyGrabber::GrabThread::sendChordAhead(uint64_t hold, std::vector<uint32_t> keysyms)
{
    if (std::this_thread::get_id() == m_thread.get_id())
        return false;
    return post({ .kind = Command::Kind::sendChord,
                    .shortcut = { 0, 0 },
                    .holdKeysAfter = false,
                    .hold = hold,
                    .done = {},
                    .keysyms = std::move(keysyms) })
        .get();
}

void X11KeyGrabber::GrabThread::run()
{
    // The stop signals may land on this thread, which stops the process itself.
    sigset_t signals;
    sigemptyset(&signals);
    for (const int signal : stopSignals)
        sigaddset(&signals, signal);
    pthread_sigmask(SIG_UNBLOCK, &signals, nullptr);

    pollfd watched[] = { { xcb_get_file_descriptor(m_connection), POLLIN, 0 }, { m_wake[0], POLLIN, 0 } };
    for (;;) {
        std::deque<Command> commands;
        {
            std::lock_guard lock(m_mutex);
            if (m_stopping)
                break;
            commands.swap(m_commands);
        }
        for (Command& command : commands)
            runCommand(command);
        if (const int signal = pendingStop.exchange(0))
            stopProcess(signal);
        // Events read while waiting for a reply wait in the connection's queue: take them all
        // before sleeping on the socket.
        while (xcb_generic_event_t* event = xcb_poll_for_event(m_connection)) {
            handle(event);
            free(event);
        }
        if (xcb_connection_has_error(m_connection))
            break; // the display is gone; the application ends with it
        int timeout = -1;
        if (m_holding) {
            const auto left = m_holdDeadline - Clock::now();
            if (left <= Clock::duration::zero()) {
                // The press outlasted its bound (or its end was lost): the user's keys must not
                // wait on it any longer. Keys set aside wait for the press's end still, off the
                // display: typed into a paste under way they would land in the middle of it.
                if (m_keysAside)
                    letKeyboardGoKeepingKeys();
                else
                    letKeyboardGo();
                qCWarning(shortcutsLog) << "A shortcut held the keyboard for" << maxHold.count()
                                        << "ms: the keys typed after it go on now";
                continue;
            }
            timeout = int(std::chrono::ceil<std::chrono::milliseconds>(left).count());
        }
        if (poll(watched, 2, timeout) > 0 && (watched[1].revents & POLLIN)) {
            char bytes[64];
            while (read(m_wake[0], bytes, sizeof bytes) > 0) { }
        }
    }
    std::lock_guard lock(m_mutex);
    m_stopping = true;
    for (Command& command : m_commands)
        command.done.set_value(false);
    m_commands.clear();
}

void X11KeyGrabber::GrabThread::runCommand(Command& command)
{
    switch (command.kind) {
    case Command::Kind::grab: {
        const bool taken = takeKeys(command.shortcut);
        if (taken)
            m_grabbed.push_back({ command.shortcut, command.holdKeysAfter });
        command.done.set_value(taken);
        break;
    }
    case Command::Kind::ungrab:
        dropKeys(command.shortcut);
        std::erase_if(m_grabbed, [&](const Grabbed& grabbed) { return grabbed.shortcut == command.shortcut; });
        command.done.set_value(true);
        break;
    case Command::Kind::release:
        if ((m_holding || m_keysWaiting) && command.hold == m_holdNumber)
            letKeyboardGo();
        command.done.set_value(true);
        break;
    case Command::Kind::setAside:
        command.done.set_value(m_holding && command.hold == m_holdNumber && setAside());
        break;
    case Command::Kind::sendChord:
        command.done.set_value(m_holding && command.hold == m_holdNumber && sendChord(command.keysyms));
        break;
    }
}

std::vector<uint8_t> X11KeyGrabber::GrabThread::keycodes(const Shortcut& shortcut) const
{
    std::vector<uint8_t> result;
    const auto keysym = shortcut.keysym();
    if (!m_symbols || !keysym)
        return result;
    xcb_keycode_t* codes = xcb_key_symbols_get_keycode(m_symbols, *keysym);
    if (!codes)
        return result;
    for (xcb_keycode_t* code = codes; *code != XCB_NO_SYMBOL; ++code)
        result.push_back(*code);
    free(codes);
    return result;
}

bool X11KeyGrabber::GrabThread::takeKeys(const Shortcut& shortcut)
{
    const auto codes = keycodes(shortcut);
    if (codes.empty())
        return false;
    const uint16_t modifiers = shortcut.x11Modifiers();
    std::vector<xcb_void_cookie_t> cookies;
    // Every grab freezes the keyboard at its press, until this thread has seen it: the keys
    // after a shortcut that does not hold them go on at once.
    for (const uint8_t code : codes)
        for (const uint16_t locks : lockCombinations)
            cookies.push_back(xcb_grab_key_checked(
                m_connection, 1, m_root, modifiers | locks, code, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_SYNC));
    bool grabbed = true;
    for (const auto& cookie : cookies) {
        if (xcb_generic_error_t* error = xcb_request_check(m_connection, cookie)) {
            grabbed = false;
            free(error);
        }
    }
    if (!grabbed) {
        qCWarning(shortcutsLog) << "Another application holds the shortcut" << shortcut.displayText();
        dropKeys(shortcut);
    }
    return grabbed;
}

void X11KeyGrabber::GrabThread::dropKeys(const Shortcut& shortcut)
{
    const uint16_t modifiers = shortcut.x11Modifiers();
    for (const uint8_t code : keycodes(shortcut))
        for (const uint16_t locks : lockCombinations)
            xcb_ungrab_key(m_connection, code, m_root, modifiers | locks);
    xcb_flush(m_connection);
}

void X11KeyGrabber::GrabThread::handle(xcb_generic_event_t* event)
{
    const uint8_t type = event->response_type & ~0x80;
    if (type == XCB_MAPPING_NOTIFY) {
        xcb_refresh_keyboard_mapping(m_symbols, reinterpret_cast<xcb_mapping_notify_event_t*>(event));
        return;
    }
    if (m_keysAside && (type == XCB_KEY_PRESS || type == XCB_KEY_RELEASE)) {
        // While the keys are set aside, the grab brings every key here, the shortcut's too.
        m_keysSetAside.push_back({ type, reinterpret_cast<xcb_key_press_event_t*>(event)->detail });
        return;
    }
    if (type != XCB_KEY_PRESS)
        return;
    auto* press = reinterpret_cast<xcb_key_press_event_t*>(event);
    if (press->event != m_root)
        return;
    // The press activated a passive grab, which froze the keyboard.
    const xcb_keysym_t keysym = xcb_key_symbols_get_keysym(m_symbols, press->detail, 0);
    const auto shortcut = Shortcut::fromX11(keysym, press->state & relevantModifiers);
    const auto grabbed = std::find_if(m_grabbed.begin(), m_grabbed.end(),
        [&](const Grabbed& grabbed) { return shortcut && grabbed.shortcut == *shortcut; });
    if (grabbed == m_grabbed.end()) {
        letKeyboardGo(); // let go meanwhile
        return;
    }
    KeyboardHold hold;
    if (grabbed->holdKeysAfter)
        hold = holdKeyboard();
    else
        letKeyboardGo();
    m_onPress(*shortcut, std::move(hold));
}

KeyboardHold X11KeyGrabber::GrabThread::holdKeyboard()
{
    // The passive grab sits on the root window, and toolkits take the focus from their window
    // while another one holds the keyboard, so the focused text would leave the accessibility
    // tree until the keys go. A grab on the focused window itself moves no focus; it stays
    // synchronous, so the keys behind the press keep waiting. It replaces the passive grab,
    // which would end with the shortcut's key release.
    xcb_window_t focus = XCB_NONE;
    if (auto* reply = xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr)) {
        focus = reply->focus;
        free(reply);
    }
    if (m_keysWaiting)
        letKeyboardGo(); // the keys of a press that outlasted its hold go first
    m_holdWindow = focus;
    if (focus == XCB_NONE || focus == XCB_INPUT_FOCUS_POINTER_ROOT || !grabHoldWindow(XCB_GRAB_MODE_SYNC)) {
        qCDebug(shortcutsLog) << "The focused window cannot be grabbed: the keys after the shortcut go on at once";
        letKeyboardGo();
        return {};
    }
    const uint64_t number = ++m_holdNumber;
    m_holding = true;
    m_holdDeadline = Clock::now() + maxHold;
    // The hold may outlive the grabber (its owner goes later); it then lets nothing go.
    return KeyboardHold(
        [grabs = weak_from_this(), number] {
            if (auto thread = grabs.lock())
                thread->release(number);
        },
        std::make_shared<Keys>(weak_from_this(), number));
}

bool X11KeyGrabber::GrabThread::grabHoldWindow(uint8_t keyboardMode)
{
    const auto cookie
        = xcb_grab_keyboard(m_connection, 0, m_holdWindow, XCB_CURRENT_TIME, XCB_GRAB_MODE_ASYNC, keyboardMode);
    bool grabbed = false;
    if (auto* reply = xcb_grab_keyboard_reply(m_connection, cookie, nullptr)) {
        grabbed = reply->status == XCB_GRAB_STATUS_SUCCESS;
        free(reply);
    }
    return grabbed;
}

void X11KeyGrabber::GrabThread::takeQueuedKeys()
{
    // A round trip: every key the server sent here before it answers is then in the queue.
    free(xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr));
    while (xcb_generic_event_t* event = xcb_poll_for_queued_event(m_connection)) {
        handle(event);
        free(event);
    }
}

bool X11KeyGrabber::GrabThread::setAside()
{
    if (m_keysAside)
        return true;
    if (!m_keys->isAvailable())
        return false;
    // The keyboard thaws under the grab: the keys it held, and the next ones, come here
    // instead of to the focused window.
    m_keysAside = true;
    xcb_allow_events(m_connection, XCB_ALLOW_ASYNC_KEYBOARD, XCB_CURRENT_TIME);
    takeQueuedKeys();
    qCDebug(shortcutsLog) << m_keysSetAside.size() << "key events were waiting when the keys were set aside";
    return true;
}

bool X11KeyGrabber::GrabThread::sendChord(const std::vector<uint32_t>& keysyms)
{
    if (!m_keysAside)
        return false;
    const auto chord = m_keys->prepareChord(keysyms);
    if (!chord)
        return false;
    // The chord reaches the focused window only without the grab, which is taken again right
    // behind it, in the same batch of requests: no key of the user's gets in between.
    xcb_ungrab_keyboard(m_connection, XCB_CURRENT_TIME);
    m_keys->queueKeys(chord->events);
    const bool grabbed = grabHoldWindow(XCB_GRAB_MODE_ASYNC);
    m_keys->endChord(*chord);
    if (!grabbed)
        qCDebug(shortcutsLog) << "The focused window could not be grabbed again: the next keys go on at once";
    const std::size_t before = m_keysSetAside.size();
    takeQueuedKeys();
    // A chord the server took only after the grab came here, not to the window.
    const auto arrived = std::search(m_keysSetAside.begin() + std::ptrdiff_t(before), m_keysSetAside.end(),
        chord->events.begin(), chord->events.end());
    if (arrived != m_keysSetAside.end()) {
        m_keysSetAside.erase(arrived, arrived + std::ptrdiff_t(chord->events.size()));
        qCDebug(shortcutsLog) << "The chord came back to the grab instead of the focused window";
        return false;
    }
    return !xcb_connection_has_error(m_connection);
}

void X11KeyGrabber::GrabThread::sendKeysSetAside()
{
    const auto keys = m_keys->asTyped(std::exchange(m_keysSetAside, {}));
    qCDebug(shortcutsLog) << "The" << keys.size() << "key events set aside go on";
    m_keys->queueKeys(keys);
}

void X11KeyGrabber::GrabThread::letKeyboardGoKeepingKeys()
{
    takeQueuedKeys();
    xcb_ungrab_keyboard(m_connection, XCB_CURRENT_TIME);
    takeQueuedKeys();
    xcb_ungrab_keyboard(m_connection, XCB_CURRENT_TIME);
    xcb_flush(m_connection);
    m_holding = false;
    m_keysAside = false;
    m_keysWaiting = true;
}

void X11KeyGrabber::GrabThread::letKeyboardGo()
{
    m_holding = false;
    if (std::exchange(m_keysWaiting, false)) {
        sendKeysSetAside();
        if (!m_keys->roundTrip())
            qCWarning(shortcutsLog) << "The keys typed during the expansion could not be sent on";
        return;
    }
    if (!m_keysAside) {
        // Ending the grab thaws the keyboard: the server delivers the queued keys in order,
        // each to the window that has the focus then (a queued shortcut is grabbed again).
        xcb_ungrab_keyboard(m_connection, XCB_CURRENT_TIME);
        xcb_flush(m_connection);
        return;
    }
    // The keys set aside go on as they were typed, right behind the grab's end; those that
    // were on their way here meanwhile follow them.
    takeQueuedKeys();
    const auto keys = m_keys->asTyped(m_keysSetAside);
    m_keysSetAside.clear();
    xcb_ungrab_keyboard(m_connection, XCB_CURRENT_TIME);
    m_keys->queueKeys(keys);
    takeQueuedKeys();
    m_keysAside = false;
    // One of them may have been the shortcut, whose grab then holds the keyboard: let go.
    xcb_ungrab_keyboard(m_connection, XCB_CURRENT_TIME);
    if (!m_keysSetAside.empty())
        sendKeysSetAside();
    if (!m_keys->roundTrip())
        qCWarning(shortcutsLog) << "The keys typed during the expansion could not be sent on";
    qCDebug(shortcutsLog) << "The" << keys.size() << "key events set aside went on";
}

void X11KeyGrabber::GrabThread::stopProcess(int signal)
{
    // Nothing of this process may hold the keyboard while it cannot answer: not the
    // shortcuts, whose next press would freeze it, not a hold, not an open menu's grab.
    for (const Grabbed& grabbed : m_grabbed)
        dropKeys(grabbed.shortcut);
    letKeyboardGo();
    if (m_application) {
        xcb_ungrab_keyboard(m_application, XCB_CURRENT_TIME);
        xcb_ungrab_pointer(m_application, XCB_CURRENT_TIME);
        xcb_flush(m_application);
    }
    // A round trip: the server has let everything go before the process stops.
    free(xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr));

    // The signal's own stop, on this thread, so that it returns once the process goes on (or
    // at once where the kernel refuses to stop it: an orphaned process group).
    struct sigaction stopping { };
    struct sigaction previous { };
    stopping.sa_handler = SIG_DFL;
    sigemptyset(&stopping.sa_mask);
    sigaction(signal, &stopping, &previous);
    raise(signal);
    sigaction(signal, &previous, nullptr);

    for (const Grabbed& grabbed : m_grabbed)
        if (!takeKeys(grabbed.shortcut))
            qCWarning(shortcutsLog) << "The shortcut" << grabbed.shortcut.displayText()
                                    << "could not be taken again after a stop";
}

X11KeyGrabber::X11KeyGrabber()
{
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->connection())
        return;
    // Called on the grab thread; the press goes on to the main thread (with its hold, which
    // the grab thread ends on time whenever the main thread gets to it).
    m_grabs = GrabThread::start(x11->connection(), [this](const Shortcut& shortcut, KeyboardHold hold) {
        QMetaObject::invokeMethod(
            &m_pressReceiver,
            [this, shortcut, hold = std::move(hold)]() mutable {
                if (m_handler)
                    m_handler(shortcut, std::move(hold));
            },
            Qt::QueuedConnection);
    });
    if (!m_grabs)
        qCWarning(shortcutsLog) << "The display refused a second connection: the global shortcuts are off";
}

X11KeyGrabber::~X11KeyGrabber()
{
    // Joined before the receiver goes: no press is posted to it after that.
    if (m_grabs)
        m_grabs->stop();
}

bool X11KeyGrabber::grab(const Shortcut& shortcut, bool holdKeysAfter)
{
    return m_grabs && m_grabs->grab(shortcut, holdKeysAfter);
}

void X11KeyGrabber::ungrab(const Shortcut& shortcut)
{
    if (m_grabs)
        m_grabs->ungrab(shortcut);
}

GlobalShortcutBinder::GlobalShortcutBinder(UserDefaults& defaults, std::unique_ptr<KeyGrabber> grabber, QObject* parent)
    : QObject(parent)
    , m_defaults(defaults)
    , m_grabber(std::move(grabber))
{
    if (!m_grabber->isAvailable())
        qCInfo(shortcutsLog) << "No X11 display: the global shortcuts are off; the D-Bus methods and the "
                                "command line still expand";
    m_grabber->setPressHandler(
        [this](const Shortcut& shortcut, KeyboardHold hold) { dispatch(shortcut, std::move(hold)); });
    connect(&m_defaults, &UserDefaults::valueChanged, this, [this](UserDefaultsKey key) {
        if (m_bindings.count(key))
            rebind(key);
    });
}

GlobalShortcutBinder::~GlobalShortcutBinder()
{
    for (auto& [key, binding] : m_bindings)
        if (binding.grabbed)
            m_grabber->ungrab(*binding.grabbed);
}

void GlobalShortcutBinder::bindShortcut(UserDefaultsKey key, std::function<void()> action)
{
    m_bindings[key].action = [action = std::move(action)](KeyboardHold hold) {
        hold.release();
        action();
    };
    m_bindings[key].holdsKeys = false;
    rebind(key);
}

void GlobalShortcutBinder::bindShortcutHoldingKeys(UserDefaultsKey key, std::function<void(KeyboardHold)> action)
{
    m_bindings[key].action = std::move(action);
    m_bindings[key].holdsKeys = true;
    rebind(key);
}

void GlobalShortcutBinder::rebind(UserDefaultsKey key)
{
    Binding& binding = m_bindings[key];
    const auto wanted = m_defaults.shortcut(key);
    if (binding.grabbed == wanted)
        return;
    if (binding.grabbed)
        m_grabber->ungrab(*binding.grabbed);
    binding.grabbed.reset();
    if (!wanted || !m_grabber->isAvailable())
        return;
    if (m_grabber->grab(*wanted, binding.holdsKeys)) {
        binding.grabbed = wanted;
    } else if (binding.reportedUnavailable != wanted) {
        binding.reportedUnavailable = wanted;
        Q_EMIT shortcutUnavailable(key, *wanted);
    }
}

void GlobalShortcutBinder::retryUnavailableShortcuts()
{
    for (auto& [key, binding] : m_bindings)
        if (!binding.grabbed)
            rebind(key);
}

std::optional<Shortcut> GlobalShortcutBinder::boundShortcut(UserDefaultsKey key) const
{
    const auto found = m_bindings.find(key);
    return found == m_bindings.end() ? std::nullopt : found->second.grabbed;
}

bool GlobalShortcutBinder::dispatch(const Shortcut& shortcut, KeyboardHold hold)
{
    for (auto& [key, binding] : m_bindings) {
        if (binding.grabbed == shortcut && binding.action) {
            // The action may change the bindings; run a copy.
            auto action = binding.action;
            action(std::move(hold));
            return true;
        }
    }
    return false;
}

} // namespace quillet
