#include "FakeBusServices.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDeadlineTimer>
#include <QUuid>

#include <stdexcept>

namespace quillet::test {

BusService::BusService(std::unique_ptr<QObject> object, const QString& name, const QString& path)
    : m_connectionName(QStringLiteral("fake-") + QUuid::createUuid().toString(QUuid::WithoutBraces))
    , m_name(name)
    , m_object(std::move(object))
{
    m_thread.start();
    m_object->moveToThread(&m_thread);
    QDBusConnection::connectToBus(QDBusConnection::SessionBus, m_connectionName);
    // Exporting signals gives the object a helper child, which must be made on its thread.
    bool owned = false;
    QMetaObject::invokeMethod(
        m_object.get(),
        [this, name, path, &owned] {
            QDBusConnection connection(m_connectionName);
            connection.registerObject(path, m_object.get(),
                QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals
                    | QDBusConnection::ExportAllProperties);
            owned = connection.registerService(name);
        },
        Qt::BlockingQueuedConnection);
    // A real service on the bus would answer in the fake's place and the test would check it.
    if (!owned) {
        const QString owner = QDBusConnection(m_connectionName).interface()->serviceOwner(name);
        shutDown();
        throw std::runtime_error(
            QStringLiteral("the fake cannot own %1 on this bus (owned by %2)").arg(name, owner).toStdString());
    }
}

BusService::~BusService()
{
    shutDown();
}

void BusService::shutDown()
{
    QMetaObject::invokeMethod(
        m_object.get(),
        [this] {
            QDBusConnection connection(m_connectionName);
            connection.unregisterService(m_name);
            connection.unregisterObject(QStringLiteral("/"), QDBusConnection::UnregisterTree);
        },
        Qt::BlockingQueuedConnection);
    QDBusConnection::disconnectFromBus(m_connectionName);
    QMetaObject::invokeMethod(
        m_object.get(), [this] { m_object.reset(); }, Qt::BlockingQueuedConnection);
    m_thread.quit();
    m_thread.wait();
}

void BusService::invoke(const char* member, QGenericArgument a, QGenericArgument b, QGenericArgument c)
{
    QMetaObject::invokeMethod(m_object.get(), member, Qt::BlockingQueuedConnection, a, b, c);
}

bool waitFor(const std::function<bool()>& condition, int milliseconds)
{
    QDeadlineTimer deadline(milliseconds);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
    }
    return true;
}

} // namespace quillet::test
