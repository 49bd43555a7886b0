#include "platform/SessionBusConnection.h"

#include "platform/ProcessExit.h"

#include <QLoggingCategory>
#include <QMetaObject>
#include <QSocketNotifier>
#include <QTimer>

#include <dbus/dbus.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <sys/stat.h>
#include <system_error>
#include <thread>
#include <unistd.h>

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

using Clock = std::chrono::steady_clock;

struct ConnectionUnref {
    void operator()(DBusConnection* connection) const noexcept
    {
        dbus_connection_close(connection);
        dbus_connection_unref(connection);
    }
};
using Connection = std::unique_ptr<DBusConnection, ConnectionUnref>;

struct MessageUnref {
    void operator()(DBusMessage* message) const noexcept { dbus_message_unref(message); }
};
using Message = std::unique_ptr<DBusMessage, MessageUnref>;

/// Where the session bus is, as libdbus would look for it.
std::string sessionBusAddress()
{
    if (const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS"); address && *address)
        return address;
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime) {
        const std::string socket = std::string(runtime) + "/bus";
        struct stat status { };
        if (stat(socket.c_str(), &status) == 0 && S_ISSOCK(status.st_mode) && status.st_uid == getuid())
            return "unix:path=" + socket;
    }
    return "autolaunch:";
}

/// One call to the bus with its answer, waited for until the deadline at most; none when
/// it fails, comes too late or the bus goes away. Before the bus has accepted the connection
/// (the greeting), the library's own blocking wait is not used: it would wait without end on
/// a bus that does not answer. Once a name may be owned, the wait dispatches nothing: a
/// caller's call (the very one that had the bus start this process) may arrive before the
/// answer, and must wait for the object that serves it rather than be refused as unknown.
Message callUntil(DBusConnection* connection, Message call, Clock::time_point deadline, bool greeted)
{
    const auto left = [deadline] {
        return int(std::max<long long>(
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count(), 0));
    };
    DBusPendingCall* pending = nullptr;
    if (!call || left() <= 0 || !dbus_connection_send_with_reply(connection, call.get(), &pending, left()) || !pending)
        return {};
    if (greeted) {
        // Bounded by the call's own timeout; it takes the answer out of the incoming
        // messages and leaves every other one where it is.
        dbus_pending_call_block(pending);
    } else {
        // Only the bus speaks to a connection that has not been greeted yet.
        while (!dbus_pending_call_get_completed(pending)) {
            const int timeout = left();
            if (timeout <= 0 || !dbus_connection_read_write_dispatch(connection, timeout))
                break;
        }
    }
    Message reply;
    if (dbus_pending_call_get_completed(pending))
        reply.reset(dbus_pending_call_steal_reply(pending));
    else
        dbus_pending_call_cancel(pending);
    dbus_pending_call_unref(pending);
    if (reply && dbus_message_get_type(reply.get()) == DBUS_MESSAGE_TYPE_ERROR)
        reply.reset();
    return reply;
}

Message busCall(const char* method)
{
    return Message(dbus_message_new_method_call(DBUS_SERVICE_DBUS, DBUS_PATH_DBUS, DBUS_INTERFACE_DBUS, method));
}

} // namespace

struct SessionBusConnection::Mailbox {
    std::mutex mutex;
    SessionBusConnection* receiver = nullptr;
};

struct SessionBusConnection::Attempt {
    /// lackedMemory: an allocation failed, which no bus is to blame for.
    enum class Outcome { noBus, nameTaken, owner, lackedMemory };
    Outcome outcome = Outcome::noBus;
    Connection connection;
    std::string problem;
};

namespace {

using Attempt = SessionBusConnection::Attempt;

/// Opens a connection to the session bus, greets it and takes the names, all before the
/// deadline. Runs on a thread of its own.
std::shared_ptr<Attempt> attemptConnection(const std::vector<std::string>& names, Clock::time_point deadline)
{
    auto attempt = std::make_shared<Attempt>();
    DBusError error;
    dbus_error_init(&error);
    Connection connection(dbus_connection_open_private(sessionBusAddress().c_str(), &error));
    if (!connection) {
        attempt->problem = dbus_error_is_set(&error) ? error.message : "no connection";
        if (dbus_error_has_name(&error, DBUS_ERROR_NO_MEMORY))
            attempt->outcome = Attempt::Outcome::lackedMemory;
        dbus_error_free(&error);
        return attempt;
    }
    // A bus that goes away ends the D-Bus methods, not the application.
    dbus_connection_set_exit_on_disconnect(connection.get(), FALSE);
    // The interface takes no file descriptors; those that arrive are closed with their
    // message. Reading stops while the waiting messages hold this many, so a flood of them
    // cannot exhaust the process's descriptors, which would cut the connection.
    dbus_connection_set_max_received_unix_fds(connection.get(), maximumWaitingDescriptors);
    Message helloCall = busCall("Hello");
    if (!helloCall) {
        attempt->outcome = Attempt::Outcome::lackedMemory;
        return attempt;
    }
    Message hello = callUntil(connection.get(), std::move(helloCall), deadline, false);
    const char* uniqueName = nullptr;
    if (!hello || !dbus_message_get_args(hello.get(), nullptr, DBUS_TYPE_STRING, &uniqueName, DBUS_TYPE_INVALID)) {
        attempt->problem = "the bus did not answer";
        return attempt;
    }
    dbus_bus_set_unique_name(connection.get(), uniqueName);
    for (const std::string& name : names) {
        Message request = busCall("RequestName");
        const char* requested = name.c_str();
        const dbus_uint32_t flags = DBUS_NAME_FLAG_DO_NOT_QUEUE;
        if (request)
            dbus_message_append_args(
                request.get(), DBUS_TYPE_STRING, &requested, DBUS_TYPE_UINT32, &flags, DBUS_TYPE_INVALID);
        Message reply = callUntil(connection.get(), std::move(request), deadline, true);
        dbus_uint32_t result = 0;
        if (!reply || !dbus_message_get_args(reply.get(), nullptr, DBUS_TYPE_UINT32, &result, DBUS_TYPE_INVALID)) {
            attempt->problem = "the bus did not give the name " + name + " in time";
            return attempt;
        }
        if (result != DBUS_REQUEST_NAME_REPLY_PRIMARY_OWNER && result != DBUS_REQUEST_NAME_REPLY_ALREADY_OWNER) {
            attempt->outcome = Attempt::Outcome::nameTaken;
            attempt->problem = "another connection owns " + name;
            return attempt;
        }
    }
    if (!dbus_connection_get_is_connected(connection.get())) {
        attempt->problem = "the bus went away";
        return attempt;
    }
    attempt->outcome = Attempt::Outcome::owner;
    attempt->connection = std::move(connection);
    return attempt;
}

} // namespace

SessionBusConnection::SessionBusConnection(std::vector<std::string> names)
    : m_names(std::move(names))
    , m_mailbox(std::make_shared<Mailbox>())
{
    m_mailbox->receiver = this;
    static std::once_flag threadsReady;
    std::call_once(threadsReady, [] { dbus_threads_init_default(); });
    m_reconnection.setSingleShot(true);
    m_reconnection.setInterval(reconnectionIntervalMilliseconds);
    connect(&m_reconnection, &QTimer::timeout, this, &SessionBusConnection::startAttempt);
    m_lostFor.start();
    startAttempt();
}

SessionBusConnection::~SessionBusConnection()
{
    // An attempt under way ends on its own within its bound; its outcome goes nowhere now.
    {
        const std::lock_guard lock(m_mailbox->mutex);
        m_mailbox->receiver = nullptr;
    }
    disconnectFromBus();
}

void SessionBusConnection::startAttempt()
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(attemptMilliseconds);
    try {
        std::thread([mailbox = m_mailbox, names = m_names, deadline] {
            std::shared_ptr<Attempt> attempt = attemptConnection(names, deadline);
            const std::lock_guard lock(mailbox->mutex);
            if (SessionBusConnection* receiver = mailbox->receiver)
                QMetaObject::invokeMethod(
                    receiver, [receiver, attempt] { receiver->attemptEnded(attempt); }, Qt::QueuedConnection);
        }).detach();
    } catch (const std::system_error& error) {
        // No thread to be had (the address space is exhausted): the bus is not to blame, and
        // no later attempt would get one either.
        exitForLackOfThread("the session bus", error);
    }
}

void SessionBusConnection::attemptEnded(const std::shared_ptr<Attempt>& attempt)
{
    switch (attempt->outcome) {
    case Attempt::Outcome::owner:
        adopt(attempt->connection.release());
        m_lostFor.invalidate();
        for (const Served& served : m_served)
            serve(served);
        if (!m_everConnected) {
            m_everConnected = true;
            Q_EMIT connected();
        } else {
            qCInfo(busLog) << "Connected to the session bus again";
            Q_EMIT reconnected();
        }
        return;
    case Attempt::Outcome::nameTaken:
        if (!m_everConnected) {
            Q_EMIT nameTaken();
        } else {
            qCWarning(busLog) << "The bus came back, but" << attempt->problem.c_str();
            Q_EMIT lost();
        }
        return;
    case Attempt::Outcome::lackedMemory:
        exitForLackOfMemory("the session bus");
    case Attempt::Outcome::noBus:
        // Said once, not at every attempt while a bus is looked for.
        if (!m_toldNoBus) {
            qCInfo(busLog) << "No session bus yet:" << attempt->problem.c_str();
            m_toldNoBus = true;
        }
        if (m_lostFor.elapsed() < reconnectionMilliseconds) {
            m_reconnection.start();
            return;
        }
        qCWarning(busLog) << "No session bus answered in" << reconnectionMilliseconds / 1000 << "s";
        Q_EMIT lost();
        return;
    }
}

void SessionBusConnection::adopt(DBusConnection* connection)
{
    m_connection = connection;
    m_toldNoBus = false;
    dbus_connection_add_filter(m_connection, filterMessage, this, nullptr);
    dbus_connection_set_watch_functions(m_connection, addWatch, removeWatch, toggleWatch, this, nullptr);
    dbus_connection_set_timeout_functions(m_connection, addTimeout, removeTimeout, toggleTimeout, this, nullptr);
    dbus_connection_set_dispatch_status_function(m_connection, dispatchStatusChanged, this, nullptr);
    // The bus may have said goodbye while the attempt ended; the filter did not hear it.
    if (!dbus_connection_get_is_connected(m_connection))
        QMetaObject::invokeMethod(this, "busDisconnected", Qt::QueuedConnection);
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
    startAttempt();
}

bool SessionBusConnection::registerObjectPath(const char* path, const DBusObjectPathVTable& handler, void* userData)
{
    if (std::any_of(m_served.begin(), m_served.end(), [path](const Served& served) { return served.path == path; }))
        return false;
    Served served { path, &handler, userData };
    if (m_connection && !serve(served))
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

int SessionBusConnection::dispatchArrived(std::chrono::milliseconds bound)
{
    if (!m_serving || m_dispatching || !m_connection)
        return 0;
    const auto deadline = Clock::now() + bound;
    int served = 0;
    m_dispatching = true;
    // What the socket holds already joins the queue; nothing is waited for.
    dbus_connection_read_write(m_connection, 0);
    while (Clock::now() < deadline && dbus_connection_get_dispatch_status(m_connection) == DBUS_DISPATCH_DATA_REMAINS) {
        dbus_connection_dispatch(m_connection);
        ++served;
        if (dbus_connection_get_dispatch_status(m_connection) != DBUS_DISPATCH_DATA_REMAINS)
            dbus_connection_read_write(m_connection, 0);
    }
    // The answers go out before the connection closes, as far as the bus takes them in time.
    while (dbus_connection_has_messages_to_send(m_connection) && dbus_connection_get_is_connected(m_connection)) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            break;
        dbus_connection_read_write(m_connection, int(left));
    }
    m_dispatching = false;
    return served;
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
