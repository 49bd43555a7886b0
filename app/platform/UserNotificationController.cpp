#include "platform/UserNotificationController.h"

#include "docs/views/QtText.h"
#include "library/Bundle.h"
#include "platform/ProcessExit.h"
#include "text/Localized.h"
#include "text/UnicodeConversion.h"
#include "text/UserErrorDescriptionType.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusReply>
#include <QLoggingCategory>

#include <iostream>

namespace quillet {
namespace {

Q_LOGGING_CATEGORY(notificationsLog, "quillet.notifications")

const QString service = QStringLiteral("org.freedesktop.Notifications");
const QString path = QStringLiteral("/org/freedesktop/Notifications");
const QString interface = QStringLiteral("org.freedesktop.Notifications");
const QString defaultAction = QStringLiteral("default");

} // namespace

UserNotification UserNotificationBuilder::notification(const UserErrorDescriptionType& error) const
{
    UserNotification notification;
    notification.title = qtString(error.userErrorTitle());
    notification.informativeText = qtString(error.userErrorDescription());
    if (const auto* withURL = dynamic_cast<const ErrorWithURL*>(&error))
        notification.userInfo.insert(
            QString::fromLatin1(UserNotification::urlKey), QString::fromStdString(withURL->url()));
    return notification;
}

UserNotification UserNotificationBuilder::bundleImportedNotification(const Bundle& bundle) const
{
    UserNotification notification;
    notification.title = qtString(localized(u"Imported", "Bundle imported alert title"));
    icu::UnicodeString key(u"\"");
    key.append(bundle.name()).append(u"\" bundle has been imported.");
    notification.informativeText = qtString(localized(key, "Bundle imported message"));
    return notification;
}

UserNotificationController::UserNotificationController(QDBusConnection connection, QObject* parent)
    : QObject(parent)
    , m_connection(std::move(connection))
{
    if (!m_connection.isConnected())
        return;
    // Subscribed by path and interface, not by the server's name: Qt would ask the bus for
    // the name's owner and wait for its answer. Only the ids this controller was given count.
    m_connection.connect(
        QString(), path, interface, QStringLiteral("ActionInvoked"), this, SLOT(onActionInvoked(uint, QString)));
    m_connection.connect(
        QString(), path, interface, QStringLiteral("NotificationClosed"), this, SLOT(onNotificationClosed(uint, uint)));
    askCapabilities();
}

UserNotificationController& UserNotificationController::shared()
{
    // A child of the application object, not a static: it goes with the application, and a
    // process that ends without destroying the application (exit() on a lost display) never
    // destroys it at all.
    QCoreApplication* application = QCoreApplication::instance();
    Q_ASSERT(application);
    const QString name = QStringLiteral("quillet-notifications");
    if (auto* controller = application->findChild<UserNotificationController*>(name, Qt::FindDirectChildrenOnly))
        return *controller;
    auto* controller = new UserNotificationController(QDBusConnection::sessionBus(), application);
    controller->setObjectName(name);
    return *controller;
}

void UserNotificationController::askCapabilities()
{
    if (m_askingCapabilities)
        return;
    m_askingCapabilities = true;
    const QDBusMessage call
        = QDBusMessage::createMethodCall(service, path, interface, QStringLiteral("GetCapabilities"));
    auto* watcher = new QDBusPendingCallWatcher(m_connection.asyncCall(call, 2000), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* finished) {
        finished->deleteLater();
        m_askingCapabilities = false;
        const QDBusPendingReply<QStringList> reply = *finished;
        // Without an answer the server may start later: it is asked again at the next
        // notification, and those waiting go out as plain text.
        if (reply.isValid())
            m_readsMarkup = reply.value().contains(QStringLiteral("body-markup"));
        std::vector<UserNotification> waiting;
        waiting.swap(m_waitingForCapabilities);
        for (const UserNotification& notification : waiting)
            send(notification, m_readsMarkup.value_or(false));
    });
}

void UserNotificationController::deliver(const UserNotification& notification)
{
    if (!m_connection.isConnected()) {
        qCWarning(notificationsLog) << "No session bus for the notification" << notification.title;
        return;
    }
    if (m_readsMarkup) {
        send(notification, *m_readsMarkup);
        return;
    }
    // Nothing waits for the server: the notification goes out once it has told how it reads
    // bodies.
    m_waitingForCapabilities.push_back(notification);
    askCapabilities();
}

void UserNotificationController::send(const UserNotification& notification, bool readsMarkup)
{
    const QString body = readsMarkup ? notification.informativeText.toHtmlEscaped() : notification.informativeText;
    QDBusMessage call = QDBusMessage::createMethodCall(service, path, interface, QStringLiteral("Notify"));
    call << QStringLiteral("Quillet") << uint(0) << QStringLiteral("quillet") << notification.title << body
         << QStringList { defaultAction, QStringLiteral("Open") } << QVariantMap() << int(-1);
    auto* watcher = new QDBusPendingCallWatcher(m_connection.asyncCall(call), this);
    const QVariantMap userInfo = notification.userInfo;
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
        [this, userInfo, title = notification.title](QDBusPendingCallWatcher* finished) {
            finished->deleteLater();
            const QDBusPendingReply<uint> reply = *finished;
            if (reply.isError()) {
                qCWarning(notificationsLog)
                    << "The notification" << title << "could not be shown:" << reply.error().message();
                Q_EMIT delivered(0);
                return;
            }
            m_delivered[reply.value()] = userInfo;
            Q_EMIT delivered(reply.value());
        });
}

void UserNotificationController::activate(const QVariantMap& userInfo)
{
    auto* delegate = m_delegate.get();
    if (!delegate)
        return;
    const QVariant url = userInfo.value(QString::fromLatin1(UserNotification::urlKey));
    if (url.typeId() == QMetaType::QString) {
        const QUrl address(url.toString(), QUrl::StrictMode);
        if (address.isValid() && !address.scheme().isEmpty()) {
            delegate->openURL(*this, address);
            return;
        }
    }
    delegate->showEditor(*this);
}

void UserNotificationController::onActionInvoked(uint id, const QString& actionKey)
{
    const auto found = m_delivered.find(id);
    if (found == m_delivered.end())
        return; // another application's notification
    const QVariantMap userInfo = found->second;
    m_delivered.erase(found);
    if (actionKey == defaultAction || actionKey == QStringLiteral("Open"))
        activate(userInfo);
    QDBusMessage close = QDBusMessage::createMethodCall(service, path, interface, QStringLiteral("CloseNotification"));
    close << id;
    m_connection.asyncCall(close);
}

void UserNotificationController::onNotificationClosed(uint id, uint)
{
    m_delivered.erase(id);
}

void DesktopNotifications::deliverNotification(const UserErrorDescriptionType& error)
{
    if (processIsExiting()) {
        std::cerr << toUtf8(error.userErrorTitle()) << ": " << toUtf8(error.userErrorDescription()) << std::endl;
        return;
    }
    m_controller.deliver(UserNotificationBuilder().notification(error));
}

void DesktopNotifications::scheduleBundleImportedNotification(const Bundle& bundle)
{
    if (processIsExiting())
        return;
    m_controller.deliver(UserNotificationBuilder().bundleImportedNotification(bundle));
}

} // namespace quillet
