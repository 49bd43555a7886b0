#include "platform/atspi/AccessibilityStatus.h"

#include "platform/atspi/AtspiLog.h"
#include "platform/atspi/CallBudget.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>

namespace quillet {
namespace {

const QString busService = QStringLiteral("org.a11y.Bus");
const QString busPath = QStringLiteral("/org/a11y/bus");
const QString propertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");
const QString statusInterface = QStringLiteral("org.a11y.Status");
const QString enabledProperty = QStringLiteral("IsEnabled");
// A press waits for an answer that has not come yet as long as for any accessibility call.
constexpr int pressTimeoutMilliseconds = int(CallBudget::callBound.count());

QDBusMessage propertyCall(const QString& method)
{
    QDBusMessage call = QDBusMessage::createMethodCall(busService, busPath, propertiesInterface, method);
    call << statusInterface << enabledProperty;
    return call;
}

std::optional<bool> enabledOf(const QDBusMessage& reply)
{
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return std::nullopt;
    return reply.arguments().constFirst().value<QDBusVariant>().variant().toBool();
}

} // namespace

AccessibilityStatus::AccessibilityStatus(QObject* parent)
    : QObject(parent)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    // Any sender: naming the service would make Qt look its owner up, waiting on the bus.
    bus.connect(QString(), busPath, propertiesInterface, QStringLiteral("PropertiesChanged"), this,
        SLOT(propertiesChanged(QString, QVariantMap, QStringList)));
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(propertyCall(QStringLiteral("Get"))), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* call) {
        call->deleteLater();
        // A change heard meanwhile is newer than this answer.
        if (!m_enabled)
            m_enabled = enabledOf(call->reply());
    });
}

bool AccessibilityStatus::isEnabled()
{
    if (!m_enabled) {
        const auto read = enabledOf(QDBusConnection::sessionBus().call(
            propertyCall(QStringLiteral("Get")), QDBus::Block, pressTimeoutMilliseconds));
        if (!read)
            return false;
        m_enabled = read;
    }
    return *m_enabled;
}

bool AccessibilityStatus::enable(QString* failure)
{
    QDBusMessage set = propertyCall(QStringLiteral("Set"));
    set << QVariant::fromValue(QDBusVariant(true));
    const QDBusMessage answer = QDBusConnection::sessionBus().call(set, QDBus::Block, pressTimeoutMilliseconds);
    if (answer.type() != QDBusMessage::ReplyMessage) {
        if (failure)
            *failure = answer.errorMessage();
        return false;
    }
    m_enabled = true;
    return true;
}

void AccessibilityStatus::propertiesChanged(
    const QString& interface, const QVariantMap& changed, const QStringList& invalidated)
{
    if (interface != statusInterface)
        return;
    if (changed.contains(enabledProperty))
        m_enabled = changed.value(enabledProperty).toBool();
    else if (invalidated.contains(enabledProperty))
        m_enabled.reset();
}

} // namespace quillet
