#pragma once

#include "library/UserNotifications.h"
#include "platform/WeakDelegate.h"

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QUrl>
#include <QVariantMap>

#include <map>
#include <optional>
#include <vector>

namespace quillet {

class Bundle;
class UserErrorDescriptionType;
class UserNotificationController;

/// Receives the clicks on the application's notifications.
class UserNotificationControllerDelegate {
public:
    virtual ~UserNotificationControllerDelegate() = default;
    virtual void showEditor(UserNotificationController& controller) = 0;
    virtual void showBundleInEditor(UserNotificationController& controller, Bundle& bundle) = 0;
    virtual void showExpanderInEditor(UserNotificationController& controller, Bundle& bundle) = 0;
    virtual void openURL(UserNotificationController& controller, const QUrl& url) = 0;
};

/// A notification before it is delivered.
struct UserNotification {
    /// The user-info key of the help address.
    static constexpr const char* urlKey = "url";

    QString title;
    QString informativeText;
    QVariantMap userInfo;
};

/// Builds the application's notifications.
class UserNotificationBuilder {
public:
    /// The error's title and description; an error with a help address carries it under "url".
    UserNotification notification(const UserErrorDescriptionType& error) const;
    /// "Imported" and "\"<name>\" bundle has been imported.", without user info.
    UserNotification bundleImportedNotification(const Bundle& bundle) const;
};

/// Shows notifications through the desktop's notification server
/// (org.freedesktop.Notifications) and routes a click to its delegate: a notification that
/// carries a valid "url" opens it, any other shows the editor window. A clicked
/// notification is closed. Bodies are escaped when the server reads markup.
class UserNotificationController final : public QObject {
    Q_OBJECT

public:
    explicit UserNotificationController(
        QDBusConnection connection = QDBusConnection::sessionBus(), QObject* parent = nullptr);

    /// The application's controller, made on first use as a child of the application object
    /// (which must exist).
    static UserNotificationController& shared();

    /// Not owned.
    void setDelegate(UserNotificationControllerDelegate* delegate) { m_delegate.set(delegate); }
    UserNotificationControllerDelegate* delegate() const { return m_delegate.get(); }

    /// Shows the notification (also while the application is active) as soon as the server
    /// has told whether it reads markup; nothing waits for it. Failures of the server (none
    /// running) are logged, never reported.
    void deliver(const UserNotification& notification);
    /// What a click on the notification with this user info does.
    void activate(const QVariantMap& userInfo);

    /// Delivered notifications that are still shown, by server id.
    const std::map<uint, QVariantMap>& deliveredNotifications() const { return m_delivered; }

Q_SIGNALS:
    /// The server took the notification (id 0 when it failed).
    void delivered(uint id);

private Q_SLOTS:
    void onActionInvoked(uint id, const QString& actionKey);
    void onNotificationClosed(uint id, uint reason);

private:
    /// Asks the server, without waiting, whether it reads markup in bodies.
    void askCapabilities();
    void send(const UserNotification& notification, bool readsMarkup);

    QDBusConnection m_connection;
    WeakDelegate<UserNotificationControllerDelegate> m_delegate;
    std::map<uint, QVariantMap> m_delivered;
    std::optional<bool> m_readsMarkup;
    bool m_askingCapabilities = false;
    /// What was delivered before the server told how it reads bodies.
    std::vector<UserNotification> m_waitingForCapabilities;
};

/// The library's notifications (failed saves, imported bundles) on the desktop.
class DesktopNotifications final : public UserNotifications {
public:
    explicit DesktopNotifications(UserNotificationController& controller)
        : m_controller(controller)
    {
    }
    void deliverNotification(const UserErrorDescriptionType& error) override;
    void scheduleBundleImportedNotification(const Bundle& bundle) override;

private:
    UserNotificationController& m_controller;
};

} // namespace quillet
