#pragma once

#include "front/UserDefaultsKey.h"
#include "platform/Shortcut.h"

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QVariantMap>

#include <functional>
#include <map>
#include <optional>
#include <vector>

class QDBusMessage;

namespace quillet {

class UserDefaults;

/// The trigger of a shortcut as the desktop's global shortcuts portal reads it ("CTRL+ALT+e",
/// "LOGO+CTRL+ALT+e", "CTRL+SHIFT+space"): the modifiers, then the key's keysym name.
QString portalTrigger(const Shortcut& shortcut);

/// The global shortcuts through the session's portal (org.freedesktop.portal.GlobalShortcuts),
/// where the desktop owns the keyboard (Wayland).
///
/// bind() first asks whether the portal offers the interface (its "version" property). Where it
/// does, it creates a session and binds the shortcuts in it, each with the stored shortcut of its
/// settings key as the preferred trigger; the desktop decides (it may ask the user) and answers
/// with what it assigned, shown by assignedTrigger(). Each activation the desktop reports runs
/// the handler with the shortcut's id on the main thread. When the user records another
/// shortcut, the portal binds again in a new session (a session binds once). Where the portal
/// is missing or refuses, nothing is bound and status() says so.
///
/// Every call is asynchronous: nothing waits for the portal, which may be slow to start or
/// leave its dialog open for as long as the user likes. Main thread only.
class GlobalShortcutsPortal final : public QObject {
    Q_OBJECT

public:
    static constexpr const char* serviceName = "org.freedesktop.portal.Desktop";
    static constexpr const char* objectPath = "/org/freedesktop/portal/desktop";
    static constexpr const char* interfaceName = "org.freedesktop.portal.GlobalShortcuts";

    /// One shortcut to bind: its id for the desktop, what it does in the user's words, and the
    /// settings key that holds its preferred trigger.
    struct Entry {
        QString id;
        QString description;
        UserDefaultsKey key;
    };

    enum class Status {
        /// Not asked yet, or the portal has not answered yet.
        Checking,
        /// The session's portal offers no global shortcuts (or no portal answers).
        Missing,
        /// A session is being made and its shortcuts bound (the desktop may be asking the user).
        Binding,
        /// The desktop bound the shortcuts: assignedTrigger() tells with which keys.
        Bound,
        /// The portal is there but bound nothing (the user declined, or it failed).
        Refused,
    };

    GlobalShortcutsPortal(QDBusConnection connection, UserDefaults& defaults, QObject* parent = nullptr);
    ~GlobalShortcutsPortal() override;

    /// Binds the entries, as said above. Called once. With an application id (the desktop
    /// entry's name), the connection is first registered under it with the portal's host
    /// registry, which must come before any other portal call on the connection; a portal
    /// without the registry finds the application as it can.
    void bind(std::vector<Entry> entries, const QString& applicationId = {});
    /// Asks the desktop again which triggers it assigned (the user may have changed them in
    /// its settings); nothing unless bound.
    void refresh();

    /// Called with an entry's id each time the desktop activates its shortcut.
    void setActivationHandler(std::function<void(const QString& id)> handler)
    {
        m_activationHandler = std::move(handler);
    }

    Status status() const { return m_status; }
    /// The portal's version of the interface; 0 until it answered.
    uint version() const { return m_version; }
    /// Whether the desktop bound the shortcut of the key.
    bool isBound(UserDefaultsKey key) const;
    /// What the desktop says triggers the key's shortcut ("Ctrl+Alt+E"); empty when it is not
    /// bound or the desktop gave it no keys.
    QString assignedTrigger(UserDefaultsKey key) const;
    /// The triggers preferred in the last bind, by id (for tests and the log).
    const std::map<QString, QString>& preferredTriggers() const { return m_preferred; }

Q_SIGNALS:
    /// status() or an assigned trigger changed.
    void changed();

private Q_SLOTS:
    void onActivated(const QDBusMessage& message);
    void onShortcutsChanged(const QDBusMessage& message);

private:
    class Request;
    /// Calls a portal method that answers through a Request object, whose Response comes to
    /// `answer` (response code, results).
    void callWithRequest(const QString& method, QVariantList arguments, int optionsIndex,
        std::function<void(uint, const QVariantMap&)> answer);
    void askForTheInterface();
    void createSession();
    void bindInSession();
    void closeSession();
    void setStatus(Status status);
    void takeShortcuts(const QVariant& shortcuts);
    QString token();

    QDBusConnection m_connection;
    UserDefaults& m_defaults;
    std::vector<Entry> m_entries;
    std::function<void(const QString&)> m_activationHandler;
    Status m_status = Status::Checking;
    uint m_version = 0;
    QString m_session;
    // The shortcuts the desktop bound: id to trigger description.
    std::map<QString, QString> m_assigned;
    std::map<QString, QString> m_preferred;
    // A stored shortcut changed while a bind was under way: bind again once it is answered.
    bool m_bindAgain = false;
    bool m_busy = false;
    uint m_tokens = 0;
};

} // namespace quillet
