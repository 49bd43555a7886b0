#pragma once

// Stand-ins for the desktop's D-Bus services, each on a connection and thread of its own so
// that the code under test may call them synchronously from the main thread.

#include <QDBusConnection>
#include <QDBusVariant>
#include <QMutex>
#include <QObject>
#include <QStringList>
#include <QThread>
#include <QVariantMap>
#include <QWaitCondition>

#include <memory>
#include <vector>

namespace quillet::test {

/// Holds a fake's answers back until the test lets them go: a service that is slow to answer.
class AnswerGate {
public:
    void hold()
    {
        QMutexLocker lock(&m_mutex);
        m_held = true;
    }
    void release()
    {
        QMutexLocker lock(&m_mutex);
        m_held = false;
        m_released.wakeAll();
    }
    /// Called by the fake before it answers; waits while the gate is held.
    void pass()
    {
        QMutexLocker lock(&m_mutex);
        while (m_held)
            m_released.wait(&m_mutex);
    }

private:
    QMutex m_mutex;
    QWaitCondition m_released;
    bool m_held = false;
};

/// org.freedesktop.Notifications that writes down what it is asked.
class FakeNotificationServer final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    struct Notification {
        uint id;
        QString appName;
        QString summary;
        QString body;
        QStringList actions;
    };

    bool bodyMarkup = false;
    AnswerGate capabilitiesGate;

    std::vector<Notification> notifications() const
    {
        QMutexLocker lock(&m_mutex);
        return m_notifications;
    }
    std::vector<uint> closed() const
    {
        QMutexLocker lock(&m_mutex);
        return m_closed;
    }

public Q_SLOTS:
    QStringList GetCapabilities()
    {
        capabilitiesGate.pass();
        return bodyMarkup
            ? QStringList { QStringLiteral("actions"), QStringLiteral("body"), QStringLiteral("body-markup") }
            : QStringList { QStringLiteral("actions"), QStringLiteral("body") };
    }
    uint Notify(const QString& appName, uint, const QString&, const QString& summary, const QString& body,
        const QStringList& actions, const QVariantMap&, int)
    {
        QMutexLocker lock(&m_mutex);
        const uint id = uint(m_notifications.size() + 1);
        m_notifications.push_back({ id, appName, summary, body, actions });
        return id;
    }
    void CloseNotification(uint id)
    {
        QMutexLocker lock(&m_mutex);
        m_closed.push_back(id);
    }
    /// The user clicked the notification.
    void click(uint id) { Q_EMIT ActionInvoked(id, QStringLiteral("default")); }

Q_SIGNALS:
    void ActionInvoked(uint id, const QString& actionKey);
    void NotificationClosed(uint id, uint reason);

private:
    mutable QMutex m_mutex;
    std::vector<Notification> m_notifications;
    std::vector<uint> m_closed;
};

/// org.freedesktop.portal.Settings with the appearance's colour scheme.
class FakePortal final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Settings")

public:
    explicit FakePortal(uint colorScheme)
        : m_colorScheme(colorScheme)
    {
    }

    AnswerGate readGate;

public Q_SLOTS:
    QDBusVariant Read(const QString& nameSpace, const QString& key)
    {
        readGate.pass();
        if (nameSpace == QStringLiteral("org.freedesktop.appearance") && key == QStringLiteral("color-scheme"))
            return QDBusVariant(QVariant::fromValue(QDBusVariant(m_colorScheme)));
        return QDBusVariant(QString());
    }
    void change(const QString& nameSpace, const QString& key, uint value)
    {
        m_colorScheme = value;
        Q_EMIT SettingChanged(nameSpace, key, QDBusVariant(value));
    }

Q_SIGNALS:
    void SettingChanged(const QString& nameSpace, const QString& key, const QDBusVariant& value);

private:
    uint m_colorScheme;
};

/// Runs a service object on its own connection and thread, owning the given name; throws when
/// another connection owns it.
class BusService {
public:
    BusService(std::unique_ptr<QObject> object, const QString& name, const QString& path);
    ~BusService();
    template <typename T> T& object() const { return static_cast<T&>(*m_object); }
    /// Calls a slot of the object on its thread and waits for it.
    void invoke(const char* member, QGenericArgument a = QGenericArgument(), QGenericArgument b = QGenericArgument(),
        QGenericArgument c = QGenericArgument());

private:
    void shutDown();

    QString m_connectionName;
    QString m_name;
    QThread m_thread;
    std::unique_ptr<QObject> m_object;
};

/// Spins the event loop until the condition holds or the deadline passes; the condition's value.
bool waitFor(const std::function<bool()>& condition, int milliseconds = 5000);

} // namespace quillet::test
