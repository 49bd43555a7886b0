#include "platform/GlobalShortcutsPortal.h"

#include "platform/ShortcutsLog.h"
#include "platform/UserDefaults.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>

#include <algorithm>

namespace quillet {

namespace {

constexpr const char* requestInterface = "org.freedesktop.portal.Request";
constexpr const char* sessionInterface = "org.freedesktop.portal.Session";
constexpr const char* propertiesInterface = "org.freedesktop.DBus.Properties";
// The portal may have to be started first; until it answers the shortcuts read as not bound.
constexpr int callTimeoutMilliseconds = 10000;

/// One shortcut as the portal's methods and signals carry it: an id and its properties.
struct PortalShortcut {
    QString id;
    QVariantMap properties;
};

QDBusArgument& operator<<(QDBusArgument& argument, const PortalShortcut& shortcut)
{
    argument.beginStructure();
    argument << shortcut.id << shortcut.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, PortalShortcut& shortcut)
{
    argument.beginStructure();
    argument >> shortcut.id >> shortcut.properties;
    argument.endStructure();
    return argument;
}

/// The keysym name of the key (as xkbcommon spells it); empty for one it does not name.
QString keysymName(uint32_t keysym)
{
    if ((keysym >= 'a' && keysym <= 'z') || (keysym >= '0' && keysym <= '9'))
        return QString(QChar(char16_t(keysym)));
    if (keysym >= 0xffbe && keysym <= 0xffcd) // F1 to F16
        return QStringLiteral("F%1").arg(keysym - 0xffbe + 1);
    static const std::pair<uint32_t, const char*> names[] = {
        { '=', "equal" },
        { '-', "minus" },
        { ']', "bracketright" },
        { '[', "bracketleft" },
        { '\'', "apostrophe" },
        { ';', "semicolon" },
        { '\\', "backslash" },
        { ',', "comma" },
        { '/', "slash" },
        { '.', "period" },
        { '`', "grave" },
        { ' ', "space" },
        { 0xff0d, "Return" },
        { 0xff09, "Tab" },
        { 0xff08, "BackSpace" },
        { 0xff1b, "Escape" },
        { 0xff63, "Insert" },
        { 0xff50, "Home" },
        { 0xff55, "Page_Up" },
        { 0xffff, "Delete" },
        { 0xff57, "End" },
        { 0xff56, "Page_Down" },
        { 0xff51, "Left" },
        { 0xff52, "Up" },
        { 0xff53, "Right" },
        { 0xff54, "Down" },
        { 0xff8d, "KP_Enter" },
    };
    for (const auto& [sym, name] : names)
        if (sym == keysym)
            return QString::fromLatin1(name);
    return {};
}

QString stringOf(const QVariant& value)
{
    // Object paths come as either type ("session_handle" is a string by mistake of the portal).
    if (value.canConvert<QDBusObjectPath>() && value.metaType() == QMetaType::fromType<QDBusObjectPath>())
        return value.value<QDBusObjectPath>().path();
    return value.toString();
}

} // namespace

} // namespace quillet

Q_DECLARE_METATYPE(quillet::PortalShortcut)

namespace quillet {

QString portalTrigger(const Shortcut& shortcut)
{
    const auto keysym = shortcut.keysym();
    const QString key = keysym ? keysymName(*keysym) : QString();
    if (key.isEmpty())
        return {};
    QStringList parts;
    if (shortcut.modifierFlags & Shortcut::commandKeyMask)
        parts << QStringLiteral("CTRL");
    if (shortcut.modifierFlags & Shortcut::optionKeyMask)
        parts << QStringLiteral("ALT");
    if (shortcut.modifierFlags & Shortcut::shiftKeyMask)
        parts << QStringLiteral("SHIFT");
    if (shortcut.modifierFlags & Shortcut::controlKeyMask)
        parts << QStringLiteral("LOGO");
    parts << key;
    return parts.join(QLatin1Char('+'));
}

/// A call's Request object: its Response, once, to the answer.
class GlobalShortcutsPortal::Request final : public QObject {
    Q_OBJECT
public:
    Request(QDBusConnection connection, std::function<void(uint, const QVariantMap&)> answer, QObject* parent)
        : QObject(parent)
        , m_connection(std::move(connection))
        , m_answer(std::move(answer))
    {
    }
    ~Request() override { unwatch(); }

    void watch(const QString& path)
    {
        if (path == m_path)
            return;
        unwatch();
        m_path = path;
        m_connection.connect(QString::fromLatin1(serviceName), m_path, QString::fromLatin1(requestInterface),
            QStringLiteral("Response"), this, SLOT(onResponse(QDBusMessage)));
    }

    /// Answers at once (the call failed) unless the Response came first.
    void fail()
    {
        if (m_answer)
            finish(2, {});
    }

private Q_SLOTS:
    void onResponse(const QDBusMessage& message)
    {
        const QVariantList arguments = message.arguments();
        if (arguments.size() < 2 || !m_answer)
            return;
        QVariantMap results;
        if (const QVariant& value = arguments.at(1); value.canConvert<QDBusArgument>())
            value.value<QDBusArgument>() >> results;
        else
            results = value.toMap();
        finish(arguments.at(0).toUInt(), results);
    }

private:
    void finish(uint response, const QVariantMap& results)
    {
        auto answer = std::move(m_answer);
        m_answer = nullptr;
        unwatch();
        deleteLater();
        answer(response, results);
    }
    void unwatch()
    {
        if (m_path.isEmpty())
            return;
        m_connection.disconnect(QString::fromLatin1(serviceName), m_path, QString::fromLatin1(requestInterface),
            QStringLiteral("Response"), this, SLOT(onResponse(QDBusMessage)));
        m_path.clear();
    }

    QDBusConnection m_connection;
    std::function<void(uint, const QVariantMap&)> m_answer;
    QString m_path;
};

GlobalShortcutsPortal::GlobalShortcutsPortal(QDBusConnection connection, UserDefaults& defaults, QObject* parent)
    : QObject(parent)
    , m_connection(std::move(connection))
    , m_defaults(defaults)
{
    qDBusRegisterMetaType<PortalShortcut>();
    qDBusRegisterMetaType<QList<PortalShortcut>>();
    connect(&m_defaults, &UserDefaults::valueChanged, this, [this](UserDefaultsKey key) {
        const bool ours
            = std::any_of(m_entries.begin(), m_entries.end(), [key](const Entry& entry) { return entry.key == key; });
        if (!ours || m_status == Status::Checking || m_status == Status::Missing)
            return;
        if (m_busy) {
            m_bindAgain = true;
            return;
        }
        // A session binds once: the new trigger goes to a new one.
        closeSession();
        createSession();
    });
}

GlobalShortcutsPortal::~GlobalShortcutsPortal()
{
    closeSession();
}

void GlobalShortcutsPortal::bind(std::vector<Entry> entries, const QString& applicationId)
{
    m_entries = std::move(entries);
    if (applicationId.isEmpty()) {
        askForTheInterface();
        return;
    }
    QDBusMessage registration
        = QDBusMessage::createMethodCall(QString::fromLatin1(serviceName), QString::fromLatin1(objectPath),
            QStringLiteral("org.freedesktop.host.portal.Registry"), QStringLiteral("Register"));
    registration << applicationId << QVariantMap();
    auto* watcher = new QDBusPendingCallWatcher(m_connection.asyncCall(registration, callTimeoutMilliseconds), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* finished) {
        finished->deleteLater();
        if (finished->isError())
            qCDebug(shortcutsLog).noquote()
                << "The portal did not register the application:" << finished->error().message();
        askForTheInterface();
    });
}

void GlobalShortcutsPortal::askForTheInterface()
{
    QDBusMessage get = QDBusMessage::createMethodCall(QString::fromLatin1(serviceName), QString::fromLatin1(objectPath),
        QString::fromLatin1(propertiesInterface), QStringLiteral("Get"));
    get << QString::fromLatin1(interfaceName) << QStringLiteral("version");
    auto* watcher = new QDBusPendingCallWatcher(m_connection.asyncCall(get, callTimeoutMilliseconds), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* finished) {
        finished->deleteLater();
        const QDBusPendingReply<QDBusVariant> reply = *finished;
        if (reply.isError()) {
            qCInfo(shortcutsLog).noquote()
                << "The session's portal offers no global shortcuts:" << reply.error().message();
            setStatus(Status::Missing);
            return;
        }
        m_version = reply.value().variant().toUInt();
        m_connection.connect(QString::fromLatin1(serviceName), QString::fromLatin1(objectPath),
            QString::fromLatin1(interfaceName), QStringLiteral("Activated"), this, SLOT(onActivated(QDBusMessage)));
        m_connection.connect(QString::fromLatin1(serviceName), QString::fromLatin1(objectPath),
            QString::fromLatin1(interfaceName), QStringLiteral("ShortcutsChanged"), this,
            SLOT(onShortcutsChanged(QDBusMessage)));
        createSession();
    });
}

QString GlobalShortcutsPortal::token()
{
    return QStringLiteral("quillet%1").arg(++m_tokens);
}

void GlobalShortcutsPortal::callWithRequest(const QString& method, QVariantList arguments, int optionsIndex,
    std::function<void(uint, const QVariantMap&)> answer)
{
    const QString handleToken = token();
    QVariantMap options = arguments.at(optionsIndex).toMap();
    options.insert(QStringLiteral("handle_token"), handleToken);
    arguments[optionsIndex] = options;
    // Watched before the call: the Response may come before the call's own answer.
    QString sender = m_connection.baseService().mid(1);
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    auto* request = new Request(m_connection, std::move(answer), this);
    request->watch(QStringLiteral("%1/request/%2/%3").arg(QLatin1String(objectPath), sender, handleToken));

    QDBusMessage call = QDBusMessage::createMethodCall(
        QString::fromLatin1(serviceName), QString::fromLatin1(objectPath), QString::fromLatin1(interfaceName), method);
    call.setArguments(arguments);
    auto* watcher = new QDBusPendingCallWatcher(m_connection.asyncCall(call, callTimeoutMilliseconds), request);
    connect(watcher, &QDBusPendingCallWatcher::finished, request, [request, method](QDBusPendingCallWatcher* finished) {
        finished->deleteLater();
        const QDBusPendingReply<QDBusObjectPath> reply = *finished;
        if (reply.isError()) {
            qCInfo(shortcutsLog).noquote()
                << "The global shortcuts portal refused" << method << ":" << reply.error().message();
            request->fail();
            return;
        }
        // A portal older than the handle tokens answers on a path of its own.
        request->watch(reply.value().path());
    });
}

void GlobalShortcutsPortal::createSession()
{
    m_busy = true;
    m_bindAgain = false;
    setStatus(Status::Binding);
    const QVariantMap options { { QStringLiteral("session_handle_token"), token() } };
    callWithRequest(QStringLiteral("CreateSession"), { options }, 0, [this](uint response, const QVariantMap& results) {
        const QString session = stringOf(results.value(QStringLiteral("session_handle")));
        if (response != 0 || session.isEmpty()) {
            qCInfo(shortcutsLog) << "The global shortcuts portal made no session; answer" << response;
            m_busy = false;
            setStatus(Status::Refused);
            return;
        }
        m_session = session;
        bindInSession();
    });
}

void GlobalShortcutsPortal::bindInSession()
{
    QList<PortalShortcut> shortcuts;
    m_preferred.clear();
    for (const Entry& entry : m_entries) {
        QVariantMap properties { { QStringLiteral("description"), entry.description } };
        if (const auto stored = m_defaults.shortcut(entry.key)) {
            if (const QString trigger = portalTrigger(*stored); !trigger.isEmpty()) {
                properties.insert(QStringLiteral("preferred_trigger"), trigger);
                m_preferred[entry.id] = trigger;
            }
        }
        shortcuts.push_back({ entry.id, properties });
    }
    const QVariantList arguments { QVariant::fromValue(QDBusObjectPath(m_session)), QVariant::fromValue(shortcuts),
        QString(), QVariantMap() };
    callWithRequest(QStringLiteral("BindShortcuts"), arguments, 3, [this](uint response, const QVariantMap& results) {
        m_busy = false;
        m_assigned.clear();
        if (response == 0)
            takeShortcuts(results.value(QStringLiteral("shortcuts")));
        else
            qCInfo(shortcutsLog) << "The desktop bound no global shortcut; answer" << response;
        setStatus(m_assigned.empty() ? Status::Refused : Status::Bound);
        Q_EMIT changed();
        if (m_bindAgain) {
            closeSession();
            createSession();
        }
    });
}

void GlobalShortcutsPortal::refresh()
{
    if (m_status != Status::Bound || m_busy)
        return;
    const QVariantList arguments { QVariant::fromValue(QDBusObjectPath(m_session)), QVariantMap() };
    const QString session = m_session;
    callWithRequest(
        QStringLiteral("ListShortcuts"), arguments, 1, [this, session](uint response, const QVariantMap& results) {
            if (response != 0 || session != m_session || m_status != Status::Bound)
                return;
            m_assigned.clear();
            takeShortcuts(results.value(QStringLiteral("shortcuts")));
            Q_EMIT changed();
        });
}

void GlobalShortcutsPortal::closeSession()
{
    if (m_session.isEmpty())
        return;
    // Nothing waits for the answer: the session goes with this process anyway.
    m_connection.send(QDBusMessage::createMethodCall(
        QString::fromLatin1(serviceName), m_session, QString::fromLatin1(sessionInterface), QStringLiteral("Close")));
    m_session.clear();
    m_assigned.clear();
}

void GlobalShortcutsPortal::takeShortcuts(const QVariant& value)
{
    QList<PortalShortcut> shortcuts;
    if (value.canConvert<QDBusArgument>())
        value.value<QDBusArgument>() >> shortcuts;
    for (const PortalShortcut& shortcut : shortcuts) {
        const bool known = std::any_of(
            m_entries.begin(), m_entries.end(), [&](const Entry& entry) { return entry.id == shortcut.id; });
        if (known)
            m_assigned[shortcut.id] = shortcut.properties.value(QStringLiteral("trigger_description")).toString();
    }
}

void GlobalShortcutsPortal::setStatus(Status status)
{
    if (m_status == status)
        return;
    m_status = status;
    Q_EMIT changed();
}

bool GlobalShortcutsPortal::isBound(UserDefaultsKey key) const
{
    for (const Entry& entry : m_entries)
        if (entry.key == key)
            return m_assigned.count(entry.id) != 0;
    return false;
}

QString GlobalShortcutsPortal::assignedTrigger(UserDefaultsKey key) const
{
    for (const Entry& entry : m_entries) {
        if (entry.key != key)
            continue;
        const auto found = m_assigned.find(entry.id);
        return found == m_assigned.end() ? QString() : found->second;
    }
    return {};
}

void GlobalShortcutsPortal::onActivated(const QDBusMessage& message)
{
    const QVariantList arguments = message.arguments();
    if (arguments.size() < 2 || m_session.isEmpty())
        return;
    if (stringOf(arguments.at(0)) != m_session)
        return;
    const QString id = arguments.at(1).toString();
    if (m_assigned.count(id) && m_activationHandler)
        m_activationHandler(id);
}

void GlobalShortcutsPortal::onShortcutsChanged(const QDBusMessage& message)
{
    const QVariantList arguments = message.arguments();
    if (arguments.size() < 2 || m_session.isEmpty() || stringOf(arguments.at(0)) != m_session)
        return;
    m_assigned.clear();
    takeShortcuts(arguments.at(1));
    setStatus(m_assigned.empty() ? Status::Refused : Status::Bound);
    Q_EMIT changed();
}

} // namespace quillet

#include "GlobalShortcutsPortal.moc"
