#pragma once

#include "front/UserDefaultsKey.h"
#include "platform/KeyboardHold.h"
#include "platform/Shortcut.h"

#include <QAbstractNativeEventFilter>
#include <QObject>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

typedef struct xcb_connection_t xcb_connection_t;
typedef struct _XCBKeySymbols xcb_key_symbols_t;

namespace quillet {

class UserDefaults;

/// Takes a key combination for this process everywhere on the desktop.
class KeyGrabber {
public:
    virtual ~KeyGrabber() = default;

    /// False when the desktop offers no global grabs (no X11 display).
    virtual bool isAvailable() const = 0;
    /// False when the combination cannot be taken (another client holds it, unknown key).
    virtual bool grab(const Shortcut& shortcut) = 0;
    virtual void ungrab(const Shortcut& shortcut) = 0;
    /// Called with the shortcut of every grabbed key press, and the hold on the keys pressed
    /// after it (empty where the desktop cannot hold them): they wait until the handler lets
    /// the hold go.
    virtual void setPressHandler(std::function<void(const Shortcut&, KeyboardHold)> handler) = 0;
};

/// Passive key grabs on the X11 root window, with and without Num Lock and Caps Lock;
/// key presses arrive through a native event filter of the application.
///
/// The grabs freeze the keyboard: from a shortcut's press the display server queues every
/// later key event until the press's hold is released, and then hands them, in order, to
/// the focused window. While the keys wait, the grab sits on the focused window itself, so
/// that its toolkit keeps the focus (and tells assistive technologies so). A hold lasts
/// maxHold at most: a thread of its own lets the keyboard go then, even when the main
/// thread is busy.
class X11KeyGrabber final : public KeyGrabber, public QAbstractNativeEventFilter {
public:
    /// The longest the keys typed after a shortcut wait: an expansion's bound.
    static constexpr std::chrono::milliseconds maxHold { 1000 };

    X11KeyGrabber();
    ~X11KeyGrabber() override;

    bool isAvailable() const override { return m_connection != nullptr; }
    bool grab(const Shortcut& shortcut) override;
    void ungrab(const Shortcut& shortcut) override;
    void setPressHandler(std::function<void(const Shortcut&, KeyboardHold)> handler) override
    {
        m_handler = std::move(handler);
    }

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    std::vector<uint8_t> keycodes(const Shortcut& shortcut) const;
    /// Moves the frozen grab of a press to the focused window; empty when it cannot, and then
    /// the keyboard is let go at once.
    KeyboardHold holdKeyboard();
    /// Lets the keyboard go, when the hold of that number is still the current one.
    void endHold(uint64_t hold);
    void limitHolds();

    xcb_connection_t* m_connection = nullptr;
    uint32_t m_root = 0;
    xcb_key_symbols_t* m_symbols = nullptr;
    std::function<void(const Shortcut&, KeyboardHold)> m_handler;

    // The current hold, shared with the thread that bounds it.
    std::mutex m_holdMutex;
    std::condition_variable m_holdChanged;
    uint64_t m_holdNumber = 0;
    bool m_holding = false;
    std::chrono::steady_clock::time_point m_holdDeadline;
    bool m_stopping = false;
    std::thread m_holdLimit;
    // A hold may outlive this grabber (its owner goes later): it checks this first.
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};

/// Binds settings keys holding shortcuts to actions. A binding follows later changes of
/// the stored value (a new shortcut is taken, a cleared one let go) without binding
/// again. Actions run on the main thread. Without global grabs (Wayland) it says so once
/// in the log and binds nothing. A shortcut that another program holds is announced once
/// (shortcutUnavailable) and taken when retried after that program let it go.
class GlobalShortcutBinder final : public QObject {
    Q_OBJECT

public:
    GlobalShortcutBinder(UserDefaults& defaults, std::unique_ptr<KeyGrabber> grabber, QObject* parent = nullptr);
    ~GlobalShortcutBinder() override;

    /// The keys pressed after the shortcut go on to the focused window before the action runs.
    void bindShortcut(UserDefaultsKey key, std::function<void()> action);
    /// The action gets the hold on the keys pressed after the shortcut: they wait, in order,
    /// until it lets the hold go (for an action that changes the focused window's text).
    void bindShortcutHoldingKeys(UserDefaultsKey key, std::function<void(KeyboardHold)> action);
    /// The shortcut currently taken for the key; none when unbound or not grabbed.
    std::optional<Shortcut> boundShortcut(UserDefaultsKey key) const;

    /// Runs the action bound to the shortcut, handing it the hold when it takes one (else the
    /// hold goes first); false when none is bound to it.
    bool dispatch(const Shortcut& shortcut, KeyboardHold hold = {});

    /// Tries again to take every stored shortcut that another program held (the
    /// application does this when the preferences open).
    void retryUnavailableShortcuts();

Q_SIGNALS:
    /// Another program holds the stored shortcut of the key; told once per shortcut.
    void shortcutUnavailable(quillet::UserDefaultsKey key, const quillet::Shortcut& shortcut);

private:
    struct Binding {
        std::function<void(KeyboardHold)> action;
        std::optional<Shortcut> grabbed;
        std::optional<Shortcut> reportedUnavailable;
    };
    void rebind(UserDefaultsKey key);

    UserDefaults& m_defaults;
    std::unique_ptr<KeyGrabber> m_grabber;
    std::map<UserDefaultsKey, Binding> m_bindings;
};

} // namespace quillet
