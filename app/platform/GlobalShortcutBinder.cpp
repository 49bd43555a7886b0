#include "platform/GlobalShortcutBinder.h"

#include "platform/UserDefaults.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QLoggingCategory>

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

namespace quillet {
namespace {

Q_LOGGING_CATEGORY(shortcutsLog, "quillet.shortcuts")

// Lock modifiers that must not stop a shortcut: Caps Lock (Lock) and Num Lock (Mod2).
constexpr uint16_t lockMask = XCB_MOD_MASK_LOCK;
constexpr uint16_t numLockMask = XCB_MOD_MASK_2;
constexpr uint16_t relevantModifiers = XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1 | XCB_MOD_MASK_4;

} // namespace

X11KeyGrabber::X11KeyGrabber()
{
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->connection())
        return;
    m_connection = x11->connection();
    const xcb_setup_t* setup = xcb_get_setup(m_connection);
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(setup);
    if (!screens.rem) {
        m_connection = nullptr;
        return;
    }
    m_root = screens.data->root;
    m_symbols = xcb_key_symbols_alloc(m_connection);
    m_holdLimit = std::thread([this] { limitHolds(); });
    QCoreApplication::instance()->installNativeEventFilter(this);
}

X11KeyGrabber::~X11KeyGrabber()
{
    if (QCoreApplication::instance())
        QCoreApplication::instance()->removeNativeEventFilter(this);
    if (m_holdLimit.joinable()) {
        endHold(m_holdNumber);
        {
            std::lock_guard lock(m_holdMutex);
            m_stopping = true;
        }
        m_holdChanged.notify_all();
        m_holdLimit.join();
    }
    if (m_symbols)
        xcb_key_symbols_free(m_symbols);
}

std::vector<uint8_t> X11KeyGrabber::keycodes(const Shortcut& shortcut) const
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

bool X11KeyGrabber::grab(const Shortcut& shortcut)
{
    if (!m_connection)
        return false;
    const auto codes = keycodes(shortcut);
    if (codes.empty())
        return false;
    const uint16_t modifiers = shortcut.x11Modifiers();
    std::vector<xcb_void_cookie_t> cookies;
    for (const uint8_t code : codes)
        for (const uint16_t locks : { uint16_t(0), lockMask, numLockMask, uint16_t(lockMask | numLockMask) })
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
        ungrab(shortcut);
    }
    return grabbed;
}

void X11KeyGrabber::ungrab(const Shortcut& shortcut)
{
    if (!m_connection)
        return;
    const uint16_t modifiers = shortcut.x11Modifiers();
    for (const uint8_t code : keycodes(shortcut))
        for (const uint16_t locks : { uint16_t(0), lockMask, numLockMask, uint16_t(lockMask | numLockMask) })
            xcb_ungrab_key(m_connection, code, m_root, modifiers | locks);
    xcb_flush(m_connection);
}

bool X11KeyGrabber::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*)
{
    if (eventType != "xcb_generic_event_t" || !m_symbols)
        return false;
    auto* event = static_cast<xcb_generic_event_t*>(message);
    const uint8_t type = event->response_type & ~0x80;
    if (type == XCB_MAPPING_NOTIFY) {
        xcb_refresh_keyboard_mapping(m_symbols, reinterpret_cast<xcb_mapping_notify_event_t*>(event));
        return false;
    }
    if (type != XCB_KEY_PRESS)
        return false;
    auto* press = reinterpret_cast<xcb_key_press_event_t*>(event);
    if (press->event != m_root)
        return false;
    // The press activated our passive grab, which froze the keyboard. Whatever happens below,
    // the hold lets it go at the latest when it is dropped.
    KeyboardHold hold = holdKeyboard();
    const xcb_keysym_t keysym = xcb_key_symbols_get_keysym(m_symbols, press->detail, 0);
    const auto shortcut = Shortcut::fromX11(keysym, press->state & relevantModifiers);
    if (shortcut && m_handler)
        m_handler(*shortcut, std::move(hold));
    return true;
}

KeyboardHold X11KeyGrabber::holdKeyboard()
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
    bool grabbed = false;
    if (focus != XCB_NONE && focus != XCB_INPUT_FOCUS_POINTER_ROOT) {
        const auto cookie
            = xcb_grab_keyboard(m_connection, 0, focus, XCB_CURRENT_TIME, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_SYNC);
        if (auto* reply = xcb_grab_keyboard_reply(m_connection, cookie, nullptr)) {
            grabbed = reply->status == XCB_GRAB_STATUS_SUCCESS;
            free(reply);
        }
    }
    uint64_t number = 0;
    {
        std::lock_guard lock(m_holdMutex);
        number = ++m_holdNumber;
        m_holding = true;
        m_holdDeadline = std::chrono::steady_clock::now() + maxHold;
    }
    m_holdChanged.notify_all();
    if (!grabbed) {
        qCDebug(shortcutsLog) << "The focused window cannot be grabbed: the keys after the shortcut go on at once";
        endHold(number);
        return {};
    }
    return KeyboardHold([this, alive = std::weak_ptr<bool>(m_alive), number] {
        if (!alive.expired())
            endHold(number);
    });
}

void X11KeyGrabber::endHold(uint64_t hold)
{
    {
        std::lock_guard lock(m_holdMutex);
        if (!m_holding || hold != m_holdNumber)
            return;
        m_holding = false;
        // Ending the grab thaws the keyboard: the server delivers the queued keys in order,
        // each to the window that has the focus then (a queued shortcut is grabbed again).
        xcb_ungrab_keyboard(m_connection, XCB_CURRENT_TIME);
        xcb_flush(m_connection);
    }
    m_holdChanged.notify_all();
}

void X11KeyGrabber::limitHolds()
{
    std::unique_lock lock(m_holdMutex);
    while (!m_stopping) {
        if (!m_holding) {
            m_holdChanged.wait(lock);
            continue;
        }
        if (std::chrono::steady_clock::now() < m_holdDeadline) {
            m_holdChanged.wait_until(lock, m_holdDeadline);
            continue;
        }
        // The press outlasted its bound (or its end was lost): the user's keys must not wait
        // on it any longer.
        m_holding = false;
        xcb_ungrab_keyboard(m_connection, XCB_CURRENT_TIME);
        xcb_flush(m_connection);
        qCWarning(shortcutsLog) << "A shortcut held the keyboard for" << maxHold.count()
                                << "ms: the keys typed after it go on now";
    }
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
    bindShortcutHoldingKeys(key, [action = std::move(action)](KeyboardHold hold) {
        hold.release();
        action();
    });
}

void GlobalShortcutBinder::bindShortcutHoldingKeys(UserDefaultsKey key, std::function<void(KeyboardHold)> action)
{
    m_bindings[key].action = std::move(action);
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
    if (m_grabber->grab(*wanted)) {
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
