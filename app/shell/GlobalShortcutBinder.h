#pragma once

#include "front/UserDefaultsKey.h"
#include "shell/Shortcut.h"

#include <QAbstractNativeEventFilter>
#include <QObject>

#include <functional>
#include <map>
#include <memory>
#include <optional>
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
    /// Called with the shortcut of every grabbed key press.
    virtual void setPressHandler(std::function<void(const Shortcut&)> handler) = 0;
};

/// Passive key grabs on the X11 root window, with and without Num Lock and Caps Lock;
/// key presses arrive through a native event filter of the application.
class X11KeyGrabber final : public KeyGrabber, public QAbstractNativeEventFilter {
public:
    X11KeyGrabber();
    ~X11KeyGrabber() override;

    bool isAvailable() const override { return m_connection != nullptr; }
    bool grab(const Shortcut& shortcut) override;
    void ungrab(const Shortcut& shortcut) override;
    void setPressHandler(std::function<void(const Shortcut&)> handler) override { m_handler = std::move(handler); }

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    std::vector<uint8_t> keycodes(const Shortcut& shortcut) const;

    xcb_connection_t* m_connection = nullptr;
    uint32_t m_root = 0;
    xcb_key_symbols_t* m_symbols = nullptr;
    std::function<void(const Shortcut&)> m_handler;
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

    void bindShortcut(UserDefaultsKey key, std::function<void()> action);
    /// The shortcut currently taken for the key; none when unbound or not grabbed.
    std::optional<Shortcut> boundShortcut(UserDefaultsKey key) const;

    /// Runs the action bound to the shortcut; false when none is bound to it.
    bool dispatch(const Shortcut& shortcut);

    /// Tries again to take every stored shortcut that another program held (the
    /// application does this when the preferences open).
    void retryUnavailableShortcuts();

Q_SIGNALS:
    /// Another program holds the stored shortcut of the key; told once per shortcut.
    void shortcutUnavailable(quillet::UserDefaultsKey key, const quillet::Shortcut& shortcut);

private:
    struct Binding {
        std::function<void()> action;
        std::optional<Shortcut> grabbed;
        std::optional<Shortcut> reportedUnavailable;
    };
    void rebind(UserDefaultsKey key);

    UserDefaults& m_defaults;
    std::unique_ptr<KeyGrabber> m_grabber;
    std::map<UserDefaultsKey, Binding> m_bindings;
};

} // namespace quillet
