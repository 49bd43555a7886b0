#include "platform/KeyGrabThread.h"

#include "platform/DeferredLog.h"
#include "platform/ProcessExit.h"
#include "platform/ShortcutsLog.h"
#include "platform/StopSignals.h"

#include <algorithm>
#include <atomic>
#include <fcntl.h>
#include <poll.h>
#include <system_error>
#include <unistd.h>

namespace quillet {
namespace {

// Lock modifiers that must not stop a shortcut: Caps Lock (Lock) and Num Lock (Mod2).
constexpr uint16_t lockMask = XCB_MOD_MASK_LOCK;
constexpr uint16_t numLockMask = XCB_MOD_MASK_2;
constexpr uint16_t relevantModifiers = XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1 | XCB_MOD_MASK_4;
constexpr uint16_t lockCombinations[] = { 0, lockMask, numLockMask, lockMask | numLockMask };

} // namespace

/// A hold's keys, as long as that hold is the grab thread's current one.
class KeyGrabThread::Keys final : public HeldKeys {
public:
    Keys(std::weak_ptr<KeyGrabThread> grabs, uint64_t hold)
        : m_grabs(std::move(grabs))
        , m_hold(hold)
    {
    }
    bool setAside() override
    {
        auto grabs = m_grabs.lock();
        return grabs && grabs->setKeysAside(m_hold);
    }
    KeySynthesizer::Sent sendChord(const std::vector<uint32_t>& keysyms, uint32_t window) override
    {
        auto grabs = m_grabs.lock();
        return grabs ? grabs->sendChordAhead(m_hold, keysyms, window) : KeySynthesizer::Sent::notSent;
    }
    bool wentOn() const override { return m_wentOn.load(); }
    /// Called on the grab thread before the keys go, when one of them types.
    void goOnEarly() { m_wentOn.store(true); }

private:
    std::weak_ptr<KeyGrabThread> m_grabs;
    uint64_t m_hold;
    std::atomic<bool> m_wentOn { false };
};

std::shared_ptr<KeyGrabThread> KeyGrabThread::start(
    xcb_connection_t* application, std::chrono::milliseconds holdBound, PressHandler onPress, LostHandler onLost)
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
    std::shared_ptr<KeyGrabThread> grabs(
        new KeyGrabThread(connection, wake, application, holdBound, std::move(onPress), std::move(onLost)));
    grabs->startThread();
    return grabs;
}

KeyGrabThread::KeyGrabThread(xcb_connection_t* connection, const int (&wake)[2], xcb_connection_t* application,
    std::chrono::milliseconds holdBound, PressHandler onPress, LostHandler onLost)
    : m_connection(connection)
    , m_application(application)
    , m_holdBound(holdBound)
    , m_onPress(std::move(onPress))
    , m_onLost(std::move(onLost))
    , m_wake { wake[0], wake[1] }
{
    m_root = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data->root;
    m_symbols = xcb_key_symbols_alloc(m_connection);
    m_keys = std::make_unique<KeySynthesizer>(m_connection, m_root);
}

void KeyGrabThread::startThread()
{
    try {
        m_thread = std::thread([this] { run(); });
    } catch (const std::system_error& error) {
        exitForLackOfThread("the global shortcuts", error);
    }
    // The handlers only wake the thread, which lets the keyboard go and then stops.
    catchStopSignals(m_wake[1]);
}

KeyGrabThread::~KeyGrabThread()
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

void KeyGrabThread::stop()
{
    if (!m_thread.joinable())
        return;
    restoreStopSignals();
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    wake();
    m_thread.join();
}

void KeyGrabThread::log(QtMsgType type, const QString& line) const
{
    logFromAnyThread(shortcutsLog, type, line);
}

bool KeyGrabThread::logsDebug() const
{
    return shortcutsLog().isDebugEnabled();
}

void KeyGrabThread::wake()
{
    const char byte = 0;
    [[maybe_unused]] const auto written = write(m_wake[1], &byte, 1);
}

std::future<bool> KeyGrabThread::post(Command command)
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

bool KeyGrabThread::grab(const Shortcut& shortcut, bool holdKeysAfter)
{
    return post(
        { .kind = Command::Kind::grab, .shortcut = shortcut, .holdKeysAfter = holdKeysAfter, .hold = 0, .done = {} })
        .get();
}

void KeyGrabThread::ungrab(const Shortcut& shortcut)
{
    post({ .kind = Command::Kind::ungrab, .shortcut = shortcut, .holdKeysAfter = false, .hold = 0, .done = {} }).get();
}

void KeyGrabThread::release(uint64_t hold)
{
    if (std::this_thread::get_id() == m_thread.get_id()) {
        if (isCurrentHold(hold))
            letKeyboardGo();
        return;
    }
    // Waited for, so that what the caller sends next (a paste key) comes after the keys that
    // waited.
    post({ .kind = Command::Kind::release, .shortcut = { 0, 0 }, .holdKeysAfter = false, .hold = hold, .done = {} })
        .get();
}

bool KeyGrabThread::setKeysAside(uint64_t hold)
{
    if (std::this_thread::get_id() == m_thread.get_id())
        return false;
    return post(
        { .kind = Command::Kind::setAside, .shortcut = { 0, 0 }, .holdKeysAfter = false, .hold = hold, .done = {} })
        .get();
}

KeySynthesizer::Sent KeyGrabThread::sendChordAhead(uint64_t hold, std::vector<uint32_t> keysyms, uint32_t window)
{
    if (std::this_thread::get_id() == m_thread.get_id())
        return KeySynthesizer::Sent::notSent;
    std::promise<KeySynthesizer::Sent> sent;
    auto outcome = sent.get_future();
    const bool ran = post({ .kind = Command::Kind::sendChord,
                              .shortcut = { 0, 0 },
                              .holdKeysAfter = false,
                              .hold = hold,
                              .done = {},
                              .keysyms = std::move(keysyms),
                              .window = window,
                              .chordSent = std::move(sent) })
                         .get();
    return ran ? outcome.get() : KeySynthesizer::Sent::notSent;
}

void KeyGrabThread::run()
{
    // A stop signal may land here, and the terminal's own never do: a call that raised one of
    // those would start again for ever, with nobody left to stop the process.
    blockTerminalSignals();

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
        if (const CaughtStop stop = takeCaughtStop())
            stopProcess(stop);
        // Events read while waiting for a reply wait in the connection's queue: take them all
        // before sleeping on the socket.
        while (xcb_generic_event_t* event = xcb_poll_for_event(m_connection)) {
            handle(event);
            free(event);
        }
        if (xcb_connection_has_error(m_connection))
            break; // the display is gone; the application ends with it
        int timeout = -1;
        if (m_hold != Hold::none) {
            const auto left = m_holdDeadline - Clock::now();
            if (left <= Clock::duration::zero()) {
                // The press outlasted its bound (or its end was lost): the user's keys must not
                // wait on it any longer, those set aside first, so that the next ones come after
                // them.
                letKeyboardGoEarly();
                log(QtWarningMsg,
                    QStringLiteral("A shortcut held the keyboard for %1 ms: the keys typed after it go on now")
                        .arg(m_holdBound.count()));
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

void KeyGrabThread::runCommand(Command& command)
{
    switch (command.kind) {
    case Command::Kind::grab: {
        auto codes = takeKeys(command.shortcut);
        if (codes)
            m_grabbed.push_back({ command.shortcut, command.holdKeysAfter, std::move(*codes) });
        command.done.set_value(codes.has_value());
        break;
    }
    case Command::Kind::ungrab:
        std::erase_if(m_grabbed, [&](const Grabbed& grabbed) {
            if (!(grabbed.shortcut == command.shortcut))
                return false;
            dropKeys(grabbed.shortcut, grabbed.codes);
            return true;
        });
        command.done.set_value(true);
        break;
    case Command::Kind::release:
        if (isCurrentHold(command.hold))
            letKeyboardGo();
        command.done.set_value(true);
        break;
    case Command::Kind::setAside:
        command.done.set_value(isCurrentHold(command.hold) && setAside());
        break;
    case Command::Kind::sendChord:
        command.chordSent.set_value(
            isCurrentHold(command.hold) ? sendChord(command.keysyms, command.window) : KeySynthesizer::Sent::notSent);
        command.done.set_value(true);
        break;
    }
}

std::vector<uint8_t> KeyGrabThread::keycodes(const Shortcut& shortcut) const
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

std::optional<std::vector<uint8_t>> KeyGrabThread::takeKeys(const Shortcut& shortcut)
{
    auto codes = keycodes(shortcut);
    if (codes.empty())
        return std::nullopt;
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
        log(QtWarningMsg, QStringLiteral("Another application holds the shortcut ") + shortcut.displayText());
        dropKeys(shortcut, codes);
        return std::nullopt;
    }
    return codes;
}

void KeyGrabThread::dropKeys(const Shortcut& shortcut, const std::vector<uint8_t>& codes)
{
    const uint16_t modifiers = shortcut.x11Modifiers();
    for (const uint8_t code : codes)
        for (const uint16_t locks : lockCombinations)
            xcb_ungrab_key(m_connection, code, m_root, modifiers | locks);
    xcb_flush(m_connection);
}

void KeyGrabThread::grabAgainOnTheNewMap()
{
    std::vector<Shortcut> lost;
    for (Grabbed& grabbed : m_grabbed) {
        if (keycodes(grabbed.shortcut) == grabbed.codes)
            continue;
        dropKeys(grabbed.shortcut, grabbed.codes);
        if (auto codes = takeKeys(grabbed.shortcut))
            grabbed.codes = std::move(*codes);
        else
            lost.push_back(grabbed.shortcut);
    }
    for (const Shortcut& shortcut : lost) {
        std::erase_if(m_grabbed, [&](const Grabbed& grabbed) { return grabbed.shortcut == shortcut; });
        m_onLost(shortcut);
    }
    if (logsDebug())
        log(QtDebugMsg, QStringLiteral("The keyboard map changed: the shortcuts were grabbed again"));
}

void KeyGrabThread::handle(xcb_generic_event_t* event)
{
    const uint8_t type = event->response_type & ~0x80;
    if (type == XCB_MAPPING_NOTIFY) {
        if (xcb_refresh_keyboard_mapping(m_symbols, reinterpret_cast<xcb_mapping_notify_event_t*>(event)))
            grabAgainOnTheNewMap();
        return;
    }
    if (m_hold == Hold::keysAside && (type == XCB_KEY_PRESS || type == XCB_KEY_RELEASE)) {
        // While the keys are set aside, the grab brings every key here, the shortcut's too.
        const auto* key = reinterpret_cast<xcb_key_press_event_t*>(event);
        if (!isShortcutRepeat(type, *key))
            m_keysSetAside.push_back({ type, key->detail });
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
    if (grabbed->holdKeysAfter) {
        m_shortcutKey = press->detail;
        m_shortcutKeyLetGo.reset();
        hold = holdKeyboard();
    } else {
        letKeyboardGo();
    }
    m_onPress(*shortcut, std::move(hold));
}

KeyboardHold KeyGrabThread::holdKeyboard()
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
    m_holdWindow = focus;
    if (focus == XCB_NONE || focus == XCB_INPUT_FOCUS_POINTER_ROOT || !grabHoldWindow(XCB_GRAB_MODE_SYNC)) {
        if (logsDebug())
            log(QtDebugMsg,
                QStringLiteral("The focused window cannot be grabbed: the keys after the shortcut go on at once"));
        letKeyboardGo();
        return {};
    }
    const uint64_t number = ++m_holdNumber;
    m_hold = Hold::frozen;
    m_holdDeadline = Clock::now() + m_holdBound;
    m_heldKeys = std::make_shared<Keys>(weak_from_this(), number);
    // The hold may outlive the grabber (its owner goes later); it then lets nothing go.
    return KeyboardHold(
        [grabs = weak_from_this(), number] {
            if (auto thread = grabs.lock())
                thread->release(number);
        },
        m_heldKeys);
}

bool KeyGrabThread::grabHoldWindow(uint8_t keyboardMode)
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

void KeyGrabThread::takeQueuedKeys()
{
    // A round trip: every key the server sent here before it answers is then in the queue.
    free(xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr));
    while (xcb_generic_event_t* event = xcb_poll_for_queued_event(m_connection)) {
        handle(event);
        free(event);
    }
}

bool KeyGrabThread::setAside()
{
    if (m_hold == Hold::keysAside)
        return true;
    if (!m_keys->isAvailable())
        return false;
    // The keyboard thaws under the grab: the keys it held, and the next ones, come here
    // instead of to the focused window.
    m_hold = Hold::keysAside;
    xcb_allow_events(m_connection, XCB_ALLOW_ASYNC_KEYBOARD, XCB_CURRENT_TIME);
    takeQueuedKeys();
    if (logsDebug())
        log(QtDebugMsg,
            QStringLiteral("%1 key events were waiting when the keys were set aside").arg(m_keysSetAside.size()));
    return true;
}

KeySynthesizer::Sent KeyGrabThread::sendChord(const std::vector<uint32_t>& keysyms, uint32_t window)
{
    using Sent = KeySynthesizer::Sent;
    if (m_hold != Hold::keysAside)
        return Sent::notSent;
    const auto chord = m_keys->prepareChord(keysyms);
    if (!chord)
        return Sent::notSent;
    // The focus is asked and the chord sent while the display serves nobody else: a window
    // switch (the window manager's, or an application's) waits until the chord is in, so that
    // the keys reach the window asked about or none at all.
    if (!m_keys->holdDisplayIfFocused(window)) {
        m_keys->endChord(*chord);
        xcb_flush(m_connection);
        if (logsDebug())
            log(QtDebugMsg, QStringLiteral("The focus moved to another window: the chord was not sent"));
        return Sent::focusMoved;
    }
    // The chord reaches the focused window only without the keyboard's grab, which is taken
    // again right behind it, in the same batch of requests: no key of the user's gets in
    // between.
    xcb_ungrab_keyboard(m_connection, XCB_CURRENT_TIME);
    m_keys->queueKeys(chord->events);
    const auto regrab
        = xcb_grab_keyboard(m_connection, 0, m_holdWindow, XCB_CURRENT_TIME, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
    m_keys->releaseDisplay();
    bool grabbed = false;
    if (auto* reply = xcb_grab_keyboard_reply(m_connection, regrab, nullptr)) {
        grabbed = reply->status == XCB_GRAB_STATUS_SUCCESS;
        free(reply);
    }
    m_keys->endChord(*chord);
    if (!grabbed && logsDebug())
        log(QtDebugMsg, QStringLiteral("The focused window could not be grabbed again: the next keys go on at once"));
    const std::size_t before = m_keysSetAside.size();
    takeQueuedKeys();
    // A chord the server took only after the grab came here, not to the window.
    const auto arrived = std::search(m_keysSetAside.begin() + std::ptrdiff_t(before), m_keysSetAside.end(),
        chord->events.begin(), chord->events.end());
    if (arrived != m_keysSetAside.end()) {
        m_keysSetAside.erase(arrived, arrived + std::ptrdiff_t(chord->events.size()));
        if (logsDebug())
            log(QtDebugMsg, QStringLiteral("The chord came back to the grab instead of the focused window"));
        return Sent::notSent;
    }
    return xcb_connection_has_error(m_connection) ? Sent::notSent : Sent::sent;
}

void KeyGrabThread::sendKeysSetAside()
{
    const auto keys = m_keys->asTyped(std::exchange(m_keysSetAside, {}));
    if (logsDebug())
        log(QtDebugMsg, QStringLiteral("The %1 key events set aside go on").arg(keys.size()));
    m_keys->queueKeys(keys);
}

bool KeyGrabThread::isShortcutRepeat(uint8_t type, const xcb_key_press_event_t& key)
{
    // A key held down repeats as presses, each behind a release of the same moment for a client
    // that did not ask for detectable auto-repeat (this one). Without the hold, the shortcut's
    // grab would take every press of its key until the key is let go: they type nothing (sent
    // on once the modifiers are up, they would type the key's letter).
    if (m_shortcutKey == 0)
        return false;
    if (const auto letGo = std::exchange(m_shortcutKeyLetGo, std::nullopt)) {
        const KeySynthesizer::KeyEvent release { XCB_KEY_RELEASE, m_shortcutKey };
        if (type == XCB_KEY_PRESS && key.detail == m_shortcutKey && key.time == *letGo && !m_keysSetAside.empty()
            && m_keysSetAside.back() == release) {
            m_keysSetAside.pop_back();
            return true;
        }
        m_shortcutKey = 0; // it was let go
        return false;
    }
    if (key.detail != m_shortcutKey)
        return false;
    if (type == XCB_KEY_RELEASE) {
        m_shortcutKeyLetGo = key.time;
        return false;
    }
    return true; // a repeat told as such
}

bool KeyGrabThread::typesText(const std::vector<KeySynthesizer::KeyEvent>& keys) const
{
    return std::any_of(keys.begin(), keys.end(), [this](const KeySynthesizer::KeyEvent& key) {
        return key.type == XCB_KEY_PRESS && !xcb_is_modifier_key(xcb_key_symbols_get_keysym(m_symbols, key.code, 0));
    });
}

void KeyGrabThread::letKeyboardGoEarly()
{
    // The keys the server keeps would reach the window unseen: they come here first, through
    // the grab, and go on from here as keys set aside do, in order.
    const std::shared_ptr<Keys> keys = m_heldKeys;
    if (m_hold == Hold::frozen && !setAside() && keys)
        keys->goOnEarly(); // they go on unseen: any of them may type
    letKeyboardGo(keys.get());
}

void KeyGrabThread::letKeyboardGo(Keys* goingOnEarly)
{
    m_heldKeys.reset();
    if (m_hold != Hold::keysAside) {
        // Ending the grab thaws the keyboard: the server delivers the queued keys in order,
        // each to the window that has the focus then (a queued shortcut is grabbed again).
        m_hold = Hold::none;
        xcb_ungrab_keyboard(m_connection, XCB_CURRENT_TIME);
        xcb_flush(m_connection);
        return;
    }
    // The keys set aside go on as they were typed, right behind the grab's end; those that
    // were on their way here meanwhile follow them. A press that still runs may see them in its
    // text any moment after: it is told first.
    const auto tell = [&] {
        if (goingOnEarly && typesText(m_keysSetAside))
            goingOnEarly->goOnEarly();
    };
    takeQueuedKeys();
    tell();
    const auto keys = m_keys->asTyped(m_keysSetAside);
    m_keysSetAside.clear();
    xcb_ungrab_keyboard(m_connection, XCB_CURRENT_TIME);
    m_keys->queueKeys(keys);
    takeQueuedKeys();
    m_hold = Hold::none;
    // One of them may have been the shortcut, whose grab then holds the keyboard: let go.
    xcb_ungrab_keyboard(m_connection, XCB_CURRENT_TIME);
    if (!m_keysSetAside.empty()) {
        tell();
        sendKeysSetAside();
    }
    if (!m_keys->roundTrip())
        log(QtWarningMsg, QStringLiteral("The keys typed during the expansion could not be sent on"));
    if (logsDebug())
        log(QtDebugMsg, QStringLiteral("The %1 key events set aside went on").arg(keys.size()));
}

void KeyGrabThread::stopProcess(CaughtStop stop)
{
    // Nothing of this process may hold the keyboard while it cannot answer: not the
    // shortcuts, whose next press would freeze it, not a hold, not an open menu's grab.
    for (const Grabbed& grabbed : m_grabbed)
        dropKeys(grabbed.shortcut, grabbed.codes);
    letKeyboardGoEarly();
    if (m_application) {
        xcb_ungrab_keyboard(m_application, XCB_CURRENT_TIME);
        xcb_ungrab_pointer(m_application, XCB_CURRENT_TIME);
        xcb_flush(m_application);
    }
    // A round trip: the server has let everything go before the process stops.
    free(xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr));

    stopThisThread(stop);

    // Another client may have taken a shortcut meanwhile: it is lost until that one lets it go.
    std::vector<Shortcut> lost;
    for (Grabbed& grabbed : m_grabbed) {
        if (auto codes = takeKeys(grabbed.shortcut))
            grabbed.codes = std::move(*codes);
        else
            lost.push_back(grabbed.shortcut);
    }
    for (const Shortcut& shortcut : lost) {
        std::erase_if(m_grabbed, [&](const Grabbed& grabbed) { return grabbed.shortcut == shortcut; });
        log(QtWarningMsg,
            QStringLiteral("The shortcut %1 could not be taken again after a stop").arg(shortcut.displayText()));
        m_onLost(shortcut);
    }
}

} // namespace quillet
