#include "platform/SessionBusConnection.h"

#include <QLoggingCategory>
#include <QMetaObject>
#include <QSocketNotifier>
#include <QTimer>

#include <dbus/dbus.h>

#include <memory>

namespace quillet {
namespace {

Q_LOGGING_CATEGORY(busLog, "quillet.bus")

/// The notifier or timer whose signal is being handled: libdbus may drop its watch or timeout
/// from inside the handler, and the object must then outlive the signal.
QObject* objectInSignal = nullptr;

void release(QObject* object)
{
    if (object == objectInSignal)
        object->deleteLater();
    else
        delete object;
}

/// Runs a watch's or a timeout's handler with its Qt object marked as busy.
template <typename Handler> void handleSignalOf(QObject* object, Handler&& handler)
{
    QObject* const outer = objectInSignal;
    objectInSignal = object;
    handler();
    objectInSignal = outer;
}

/// One libdbus watch: a notifier for each direction it waits on.
struct WatchNotifiers {
    QSocketNotifier* read = nullptr;
    QSocketNotifier* write = nullptr;

    void setEnabled(bool enabled) const
    {
        for (QSocketNotifier* notifier : { read, write })
            if (notifier)
                notifier->setEnabled(enabled);
    }
};

void freeWatchNotifiers(void* data)
{
    auto* notifiers = static_cast<WatchNotifiers*>(data);
    for (QSocketNotifier* notifier : { notifiers->read, notifiers->write })
        if (notifier) {
            notifier->setEnabled(false);
            release(notifier);
        }
    delete notifiers;
}

QSocketNotifier* makeNotifier(
    DBusWatch* watch, QSocketNotifier::Type type, unsigned int condition, void (*afterHandling)(void*), void* data)
{
    auto* notifier = new QSocketNotifier(dbus_watch_get_unix_fd(watch), type);
    QObject::connect(
        notifier, &QSocketNotifier::activated, notifier, [notifier, watch, condition, afterHandling, data] {
            handleSignalOf(notifier, [&] { dbus_watch_handle(watch, condition); });
            afterHandling(data);
        });
    return notifier;
}

void scheduleDispatchOf(void* data)
{
    static_cast<SessionBusConnection*>(data)->scheduleDispatch();
}

dbus_bool_t addWatch(DBusWatch* watch, void* data)
{
    auto notifiers = std::make_unique<WatchNotifiers>();
    const unsigned int flags = dbus_watch_get_flags(watch);
    if (flags & DBUS_WATCH_READABLE)
        notifiers->read = makeNotifier(watch, QSocketNotifier::Read, DBUS_WATCH_READABLE, scheduleDispatchOf, data);
    if (flags & DBUS_WATCH_WRITABLE)
        notifiers->write = makeNotifier(watch, QSocketNotifier::Write, DBUS_WATCH_WRITABLE, scheduleDispatchOf, data);
    notifiers->setEnabled(dbus_watch_get_enabled(watch));
    dbus_watch_set_data(watch, notifiers.release(), freeWatchNotifiers);
    return TRUE;
}

void removeWatch(DBusWatch* watch, void*)
{
    dbus_watch_set_data(watch, nullptr, nullptr); // frees the notifiers
}

void toggleWatch(DBusWatch* watch, void*)
{
    if (const auto* notifiers = static_cast<WatchNotifiers*>(dbus_watch_get_data(watch)))
        notifiers->setEnabled(dbus_watch_get_enabled(watch));
}

void freeTimer(void* data)
{
    auto* timer = static_cast<QTimer*>(data);
    timer->stop();
    release(timer);
}

void toggleTimeout(DBusTimeout* timeout, void*)
{
    auto* timer = static_cast<QTimer*>(dbus_timeout_get_data(timeout));
    if (!timer)
        return;
    if (dbus_timeout_get_enabled(timeout))
        timer->start(dbus_timeout_get_interval(timeout));
    else
        timer->stop();
}

dbus_bool_t addTimeout(DBusTimeout* timeout, void* data)
{
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, timer, [timer, timeout, data] {
        handleSignalOf(timer, [&] { dbus_timeout_handle(timeout); });
        scheduleDispatchOf(data);
    });
    dbus_timeout_set_data(timeout, timer, freeTimer);
    toggleTimeout(timeout, data);
    return TRUE;
}

void removeTimeout(DBusTimeout* timeout, void*)
{
    dbus_timeout_set_data(timeout, nullptr, nullptr); // frees the timer
}

/// How often a lost bus is looked for.
constexpr int reconnectionIntervalMilliseconds = 200;
/// The file descriptors that waiting messages may hold before reading stops.
constexpr long maximumWaitingDescriptors = 64;

void dispatchStatusChanged(DBusConnection*, DBusDispatchStatus status, void* data)
{
    if (status == DBUS_DISPATCH_DATA_REMAINS)
        scheduleDispatchOf(data);
}

/// Refuses the messages that carry file descriptors and hears the bus say goodbye.
DBusHandlerResult filterMessage(DBusConnection* connection, DBusMessage* message, void* data)
{
    if (dbus_message_is_signal(message, DBUS_INTERFACE_LOCAL, "Disconnected")) {
        // Never from inside libdbus, which holds the connection.
        QMetaObject::invokeMethod(static_cast<SessionBusConnection*>(data), "busDisconnected", Qt::QueuedConnection);
        return DBUS_HANDLER_RESULT_HANDLED;
    }
    if (!dbus_message_contains_unix_fds(message))
        return DBUS_HANDLER_RESULT_NOT_YET_HANDLED;
    // Refused; its descriptors are closed when libdbus lets the message go.
    if (dbus_message_get_type(message) == DBUS_MESSAGE_TYPE_METHOD_CALL && !dbus_message_get_no_reply(message)) {
        if (DBusMessage* reply
            = dbus_message_new_error(message, DBUS_ERROR_INVALID_ARGS, "This object takes no file descriptors")) {
            dbus_connection_send(connection, reply, nullptr);
            dbus_message_unref(reply);
        }
    }
    return DBUS_HANDLER_RESULT_HANDLED;
}

} // namespace

SessionBusConnection::SessionBusConnection()
{
    m_reconnection.setSingleShot(true);
    m_reconnection.setInterval(reconnectionIntervalMilliseconds);
    connect(&m_reconnection, &QTimer::timeout, this, &SessionBusConnection::reconnect);
    connectToBus();
}

SessionBusConnection::~SessionBusConnection()
{
    disconnectFromBus();
}

bool SessionBusConnection::connectToBus()
{
    DBusError error;
    dbus_error_init(&error);
    m_connection = dbus_bus_get_private(DBUS_BUS_SESSION, &error);
    if (!m_connection) {
        // Said once, not at every attempt while a lost bus is looked for.
        if (!m_lostFor.isValid())
            qCInfo(busLog) << "No session bus:" << error.message;
        dbus_error_free(&error);
        return false;
    }
    // A bus that goes away ends the D-Bus methods, not the application.
    dbus_connection_set_exit_on_disconnect(m_connection, FALSE);
    // The interface takes no file descriptors; those that arrive are closed with their
    // message. Reading stops while the waiting messages hold this many, so a flood of them
    // cannot exhaust the process's descriptors, which would cut the connection.
    dbus_connection_set_max_received_unix_fds(m_connection, maximumWaitingDescriptors);
    dbus_connection_add_filter(m_connection, filterMessage, this, nullptr);
    dbus_connection_set_watch_functions(m_connection, addWatch, removeWatch, toggleWatch, this, nullptr);
    dbus_connection_set_timeout_functions(m_connection, addTimeout, removeTimeout, toggleTimeout, this, nullptr);
    dbus_connection_set_dispatch_status_function(m_connection, dispatchStatusChanged, this, nullptr);
    return true;
}

void SessionBusConnection::disconnectFromBus()
{
    m_serving = false;
    if (!m_connection)
        return;
    dbus_connection_set_dispatch_status_function(m_connection, nullptr, nullptr, nullptr);
    dbus_connection_remove_filter(m_connection, filterMessage, this);
    dbus_connection_close(m_connection);
    // Frees the notifiers and timers now, while the event loop's thread is still this one's.
    dbus_connection_set_watch_functions(m_connection, nullptr, nullptr, nullptr, nullptr, nullptr);
    dbus_connection_set_timeout_functions(m_connection, nullptr, nullptr, nullptr, nullptr, nullptr);
    dbus_connection_unref(m_connection);
    m_connection = nullptr;
}

void SessionBusConnection::busDisconnected()
{
    if (!m_connection || dbus_connection_get_is_connected(m_connection))
        return;
    qCWarning(busLog) << "The session bus went away; waiting for it to come back";
    disconnectFromBus();
    m_lostFor.start();
    reconnect();
}

void SessionBusConnection::reconnect()
{
    if (!connectToBus()) {
        if (m_lostFor.elapsed() < reconnectionMilliseconds) {
            m_reconnection.start();
            return;
        }
        qCWarning(busLog) << "No session bus came back";
        Q_EMIT lost();
        return;
    }
    for (const std::string& name : m_names) {
        if (!takeName(name)) {
            qCWarning(busLog) << "Another process took the bus name" << name.c_str() << "meanwhile";
            disconnectFromBus();
            Q_EMIT lost();
            return;
        }
    }
    for (const Served& served : m_served)
        serve(served);
    m_lostFor.invalidate();
    qCInfo(busLog) << "Connected to the session bus again";
    Q_EMIT reconnected();
}

bool SessionBusConnection::requestName(const char* name)
{
    if (!takeName(name))
        return false;
    m_names.emplace_back(name);
    return true;
}

bool SessionBusConnection::takeName(const std::string& name)
{
    if (!m_connection)
        return false;
    DBusError error;
    dbus_error_init(&error);
    const int result = dbus_bus_request_name(m_connection, name.c_str(), DBUS_NAME_FLAG_DO_NOT_QUEUE, &error);
    if (dbus_error_is_set(&error)) {
        qCWarning(busLog) << "The bus name" << name.c_str() << "could not be requested:" << error.message;
        dbus_error_free(&error);
        return false;
    }
    return result == DBUS_REQUEST_NAME_REPLY_PRIMARY_OWNER || result == DBUS_REQUEST_NAME_REPLY_ALREADY_OWNER;
}

bool SessionBusConnection::registerObjectPath(const char* path, const DBusObjectPathVTable& handler, void* userData)
{
    Served served { path, &handler, userData };
    if (!serve(served))
        return false;
    m_served.push_back(std::move(served));
    return true;
}

bool SessionBusConnection::serve(const Served& served)
{
    if (!m_connection)
        return false;
    DBusError error;
    dbus_error_init(&error);
    if (!dbus_connection_try_register_object_path(
            m_connection, served.path.c_str(), served.handler, served.userData, &error)) {
        qCWarning(busLog) << "The object" << served.path.c_str() << "could not be registered:" << error.message;
        dbus_error_free(&error);
        return false;
    }
    m_serving = true;
    scheduleDispatch();
    return true;
}

void SessionBusConnection::unregisterObjectPath(const char* path)
{
    std::erase_if(m_served, [path](const Served& served) { return served.path == path; });
    if (m_connection)
        dbus_connection_unregister_object_path(m_connection, path);
}

void SessionBusConnection::scheduleDispatch()
{
    if (!m_serving || m_dispatchScheduled)
        return;
    m_dispatchScheduled = true;
    // Never from inside libdbus's callbacks, which hold the connection.
    QMetaObject::invokeMethod(this, &SessionBusConnection::dispatch, Qt::QueuedConnection);
}

void SessionBusConnection::dispatch()
{
    m_dispatchScheduled = false;
    // A handler that spins a nested event loop must not dispatch again: libdbus would wait
    // for itself. The outer dispatch goes on once it returns.
    if (m_dispatching || !m_connection)
        return;
    m_dispatching = true;
    // One message a turn, so that the event loop keeps serving windows and timers between them.
    const DBusDispatchStatus status = dbus_connection_dispatch(m_connection);
    m_dispatching = false;
    if (status != DBUS_DISPATCH_COMPLETE)
        scheduleDispatch();
}

} // namespace quillet
