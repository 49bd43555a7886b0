#pragma once

#include "front/UserDefaultsKey.h"
#include "platform/KeyboardHold.h"
#include "platform/Shortcut.h"

#include <QObject>

#include <functional>
#include <map>
#include <memory>
#include <optional>

namespace quillet {

class UserDefaults;

/// Takes a key combination for this process everywhere on the desktop.
class KeyGrabber {
public:
    virtual ~KeyGrabber() = default;

    /// False when the desktop offers no global grabs (no X11 display).
    virtual bool isAvailable() const = 0;
    /// False when the combination cannot be taken (another client holds it, unknown key).
    /// With `holdKeysAfter`, the keys pressed after the combination wait on the press's hold;
    /// otherwise they go on at once.
    virtual bool grab(const Shortcut& shortcut, bool holdKeysAfter) = 0;
    virtual void ungrab(const Shortcut& shortcut) = 0;
    /// Called on the main thread with the shortcut of every grabbed key press, and the hold on
    /// the keys pressed after it (empty where they are not held): they wait until the handler
    /// lets the hold go, or the hold's bound passes (the hold then tells whether a key typed
    /// after the shortcut went on with them: wentOnCheck()).
    virtual void setPressHandler(std::function<void(const Shortcut&, KeyboardHold)> handler) = 0;
    /// Called on the main thread with a grabbed combination that is no longer taken: another
    /// client took it while this process could not hold it (it was stopped).
    virtual void setLostHandler(std::function<void(const Shortcut&)> handler) = 0;
};

/// Binds settings keys holding shortcuts to actions. A binding follows later changes of
/// the stored value (a new shortcut is taken, a cleared one let go) without binding
/// again. Actions run on the main thread. Without global grabs (Wayland) it binds nothing
/// (GlobalShortcutsPortal binds through the desktop there). A shortcut that another program holds, or took while this
/// process was stopped, is announced once (shortcutUnavailable) and taken when retried after
/// that program let it go.
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

    /// Lets go of every shortcut until resumeGrabs(), so that their keys reach the focused
    /// window of this process (the shortcut recorder records one Quillet holds); a stored
    /// shortcut that changes meanwhile is taken on resuming. Calls nest; a resume without a
    /// suspend does nothing.
    void suspendGrabs();
    void resumeGrabs();

Q_SIGNALS:
    /// Another program holds the stored shortcut of the key; told once per shortcut until it is
    /// taken again.
    void shortcutUnavailable(quillet::UserDefaultsKey key, const quillet::Shortcut& shortcut);

private:
    struct Binding {
        std::function<void(KeyboardHold)> action;
        bool holdsKeys = false;
        std::optional<Shortcut> grabbed;
        std::optional<Shortcut> reportedUnavailable;
    };
    void rebind(UserDefaultsKey key);
    void lost(const Shortcut& shortcut);
    void announceUnavailable(UserDefaultsKey key, Binding& binding, const Shortcut& shortcut);

    UserDefaults& m_defaults;
    std::unique_ptr<KeyGrabber> m_grabber;
    std::map<UserDefaultsKey, Binding> m_bindings;
    int m_suspensions = 0;
};

} // namespace quillet
