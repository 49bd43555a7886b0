#pragma once

// A stand-in for the desktop's global shortcuts portal, written from its published interface
// (org.freedesktop.portal.GlobalShortcuts with its Request and Session objects). Run it with
// BusService under "org.freedesktop.portal.Desktop" at "/org/freedesktop/portal/desktop".

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusObjectPath>
#include <QMutex>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

#include <map>
#include <vector>

namespace quillet::test {

/// One shortcut as the portal carries it: an id and its properties.
struct FakePortalShortcut {
    QString id;
    QVariantMap properties;
};

inline QDBusArgument& operator<<(QDBusArgument& argument, const FakePortalShortcut& shortcut)
{
    argument.beginStructure();
    argument << shortcut.id << shortcut.properties;
    argument.endStructure();
    return argument;
}

inline const QDBusArgument& operator>>(const QDBusArgument& argument, FakePortalShortcut& shortcut)
{
    argument.beginStructure();
    argument >> shortcut.id >> shortcut.properties;
    argument.endStructure();
    return argument;
}

class FakeGlobalShortcutsPortal;

/// A session the portal made; Close is written down.
class FakePortalSession final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Session")
public:
    FakePortalSession(FakeGlobalShortcutsPortal& portal, QString path);
public Q_SLOTS:
    void Close();

private:
    FakeGlobalShortcutsPortal& m_portal;
    QString m_path;
};

/// Binds what it is asked to bind and gives each shortcut the trigger the test chose (else
/// the preferred one, as written), answering through Request objects as the portal does.
class FakeGlobalShortcutsPortal final : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.GlobalShortcuts")
    Q_PROPERTY(uint version READ version)

public:
    struct Bind {
        QString session;
        std::map<QString, QVariantMap> shortcuts;
    };

    FakeGlobalShortcutsPortal();

    uint version() const { return 1; }
    /// The desktop's trigger description for the id from now on ("" binds it without keys).
    void assign(const QString& id, const QString& trigger);
    /// The user declines every bind from now on.
    void decline();

    std::vector<Bind> binds() const;
    QStringList closedSessions() const;
    void sessionClosed(const QString& path);

public Q_SLOTS:
    QDBusObjectPath CreateSession(const QVariantMap& options);
    QDBusObjectPath BindShortcuts(const QDBusObjectPath& session,
        const QList<quillet::test::FakePortalShortcut>& shortcuts, const QString& parentWindow,
        const QVariantMap& options);
    QDBusObjectPath ListShortcuts(const QDBusObjectPath& session, const QVariantMap& options);
    /// The user pressed the shortcut of the id, bound in the session.
    void press(const QString& session, const QString& id);
    /// The user gave the id other keys in the desktop's settings; told to the session.
    void reassign(const QString& session, const QString& id, const QString& trigger);

Q_SIGNALS:
    void Activated(const QDBusObjectPath& session, const QString& id, qulonglong timestamp, const QVariantMap& options);
    void ShortcutsChanged(const QDBusObjectPath& session, const QList<quillet::test::FakePortalShortcut>& shortcuts);

private:
    /// The caller's Request path for the token, and its Response sent after the call's answer.
    QDBusObjectPath respond(const QVariantMap& options, uint response, const QVariantMap& results);
    QString callerPath(const QString& kind, const QString& token) const;
    QList<FakePortalShortcut> boundIn(const QString& session) const;

    mutable QMutex m_mutex;
    std::map<QString, QString> m_assigned;
    bool m_decline = false;
    std::vector<Bind> m_binds;
    QStringList m_closed;
};

} // namespace quillet::test

Q_DECLARE_METATYPE(quillet::test::FakePortalShortcut)
