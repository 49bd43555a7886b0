#include "FakeGlobalShortcutsPortal.h"

#include <QDBusMessage>
#include <QDBusMetaType>
#include <QTimer>

namespace quillet::test {

FakePortalSession::FakePortalSession(FakeGlobalShortcutsPortal& portal, QString path)
    : QObject(&portal)
    , m_portal(portal)
    , m_path(std::move(path))
{
}

void FakePortalSession::Close()
{
    m_portal.sessionClosed(m_path);
}

FakeGlobalShortcutsPortal::FakeGlobalShortcutsPortal()
{
    qDBusRegisterMetaType<FakePortalShortcut>();
    qDBusRegisterMetaType<QList<FakePortalShortcut>>();
}

void FakeGlobalShortcutsPortal::assign(const QString& id, const QString& trigger)
{
    QMutexLocker lock(&m_mutex);
    m_assigned[id] = trigger;
}

void FakeGlobalShortcutsPortal::decline()
{
    QMutexLocker lock(&m_mutex);
    m_decline = true;
}

std::vector<FakeGlobalShortcutsPortal::Bind> FakeGlobalShortcutsPortal::binds() const
{
    QMutexLocker lock(&m_mutex);
    return m_binds;
}

QStringList FakeGlobalShortcutsPortal::closedSessions() const
{
    QMutexLocker lock(&m_mutex);
    return m_closed;
}

void FakeGlobalShortcutsPortal::sessionClosed(const QString& path)
{
    QMutexLocker lock(&m_mutex);
    m_closed << path;
}

QString FakeGlobalShortcutsPortal::callerPath(const QString& kind, const QString& token) const
{
    QString sender = message().service().mid(1);
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    return QStringLiteral("/org/freedesktop/portal/desktop/%1/%2/%3").arg(kind, sender, token);
}

QDBusObjectPath FakeGlobalShortcutsPortal::respond(
    const QVariantMap& options, uint response, const QVariantMap& results)
{
    const QString path
        = callerPath(QStringLiteral("request"), options.value(QStringLiteral("handle_token")).toString());
    QDBusMessage signal = QDBusMessage::createSignal(
        path, QStringLiteral("org.freedesktop.portal.Request"), QStringLiteral("Response"));
    signal << response << results;
    // As the portal does, after the call's own answer.
    QTimer::singleShot(0, this, [connection = connection(), signal] { connection.send(signal); });
    return QDBusObjectPath(path);
}

QDBusObjectPath FakeGlobalShortcutsPortal::CreateSession(const QVariantMap& options)
{
    const QString session
        = callerPath(QStringLiteral("session"), options.value(QStringLiteral("session_handle_token")).toString());
    connection().registerObject(session, new FakePortalSession(*this, session), QDBusConnection::ExportAllSlots);
    return respond(options, 0, { { QStringLiteral("session_handle"), session } });
}

QDBusObjectPath FakeGlobalShortcutsPortal::BindShortcuts(const QDBusObjectPath& session,
    const QList<FakePortalShortcut>& shortcuts, const QString&, const QVariantMap& options)
{
    bool decline = false;
    {
        QMutexLocker lock(&m_mutex);
        Bind bind { session.path(), {} };
        for (const FakePortalShortcut& shortcut : shortcuts)
            bind.shortcuts[shortcut.id] = shortcut.properties;
        m_binds.push_back(bind);
        decline = m_decline;
    }
    if (decline)
        return respond(options, 1, {});
    return respond(options, 0, { { QStringLiteral("shortcuts"), QVariant::fromValue(boundIn(session.path())) } });
}

QList<FakePortalShortcut> FakeGlobalShortcutsPortal::boundIn(const QString& session) const
{
    QMutexLocker lock(&m_mutex);
    QList<FakePortalShortcut> bound;
    for (const Bind& bind : m_binds) {
        if (bind.session != session)
            continue;
        for (const auto& [id, properties] : bind.shortcuts) {
            const auto assigned = m_assigned.find(id);
            const QString trigger = assigned != m_assigned.end()
                ? assigned->second
                : properties.value(QStringLiteral("preferred_trigger")).toString();
            bound.push_back({ id,
                { { QStringLiteral("description"), properties.value(QStringLiteral("description")) },
                    { QStringLiteral("trigger_description"), trigger } } });
        }
    }
    return bound;
}

QDBusObjectPath FakeGlobalShortcutsPortal::ListShortcuts(const QDBusObjectPath& session, const QVariantMap& options)
{
    return respond(options, 0, { { QStringLiteral("shortcuts"), QVariant::fromValue(boundIn(session.path())) } });
}

void FakeGlobalShortcutsPortal::press(const QString& session, const QString& id)
{
    Q_EMIT Activated(QDBusObjectPath(session), id, 0, {});
}

void FakeGlobalShortcutsPortal::reassign(const QString& session, const QString& id, const QString& trigger)
{
    assign(id, trigger);
    Q_EMIT ShortcutsChanged(QDBusObjectPath(session), boundIn(session));
}

} // namespace quillet::test
