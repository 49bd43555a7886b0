#include "platform/atspi/AtspiConnection.h"

#include "front/Accessibility.h"
#include "platform/atspi/AtspiLog.h"
#include "platform/atspi/CallBudget.h"

#include <algorithm>
#include <cstdlib>
#include <mutex>
#include <optional>

namespace quillet {

Q_LOGGING_CATEGORY(atspiLog, "quillet.atspi")

namespace atspi {
namespace {

using Clock = std::chrono::steady_clock;

// Calls sent together at most (the bus bounds the answers one connection may await).
constexpr std::size_t maximumCallsTogether = 128;

struct ConnectionUnref {
    void operator()(DBusConnection* connection) const noexcept
    {
        if (connection) {
            dbus_connection_close(connection);
            dbus_connection_unref(connection);
        }
    }
};
using Connection = std::unique_ptr<DBusConnection, ConnectionUnref>;

int millisecondsLeft(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return int(std::max<long long>(left, 0));
}

std::size_t answeredCount(const std::vector<DBusPendingCall*>& calls)
{
    return std::size_t(std::count_if(calls.begin(), calls.end(),
        [](DBusPendingCall* call) { return !call || dbus_pending_call_get_completed(call); }));
}

/// Waits for the answers of the calls until they have all come or the deadline has passed,
/// handling the connection's messages meanwhile (an answer completes its call; anything else
/// is dropped). With `perAnswer`, the wait also ends when no answer has come for that long;
/// with a budget, the time between answers is noted there. The library's own blocking waits
/// are not used: before the bus has accepted the connection they wait without end on a bus
/// that does not answer. True when the wait ended at the deadline rather than for want of an
/// answer within `perAnswer` (or of all answers).
bool awaitAnswers(DBusConnection* connection, const std::vector<DBusPendingCall*>& calls, Clock::time_point deadline,
    std::optional<Clock::duration> perAnswer = std::nullopt, CallBudget* budget = nullptr)
{
    auto lastAnswer = Clock::now();
    std::size_t answered = answeredCount(calls);
    while (answered < calls.size()) {
        const bool toDeadline = !perAnswer || deadline <= lastAnswer + *perAnswer;
        const int left = millisecondsLeft(toDeadline ? deadline : lastAnswer + *perAnswer);
        if (left <= 0)
            return toDeadline;
        if (!dbus_connection_read_write_dispatch(connection, left))
            break;
        if (const std::size_t now = answeredCount(calls); now > answered) {
            const auto when = Clock::now();
            if (budget)
                budget->noteAnswers(when - lastAnswer, int(now - answered));
            lastAnswer = when;
            answered = now;
        }
    }
    return false;
}

/// One call with its answer, waited for at most until the deadline; none on failure.
Message callUntil(DBusConnection* connection, Message call, Clock::time_point deadline)
{
    const int timeout = millisecondsLeft(deadline);
    DBusPendingCall* pending = nullptr;
    if (!call || timeout <= 0 || !dbus_connection_send_with_reply(connection, call.get(), &pending, timeout)
        || !pending)
        return {};
    awaitAnswers(connection, { pending }, deadline);
    Message reply;
    if (dbus_pending_call_get_completed(pending))
        reply.reset(dbus_pending_call_steal_reply(pending));
    else
        dbus_pending_call_cancel(pending);
    dbus_pending_call_unref(pending);
    if (reply && dbus_message_get_type(reply.get()) == DBUS_MESSAGE_TYPE_ERROR) {
        qCDebug(atspiLog) << "Call failed:" << dbus_message_get_error_name(reply.get());
        reply.reset();
    }
    return reply;
}

/// A private connection to the bus at the address, registered on it (Hello) before the deadline.
Connection connectTo(const std::string& address, Clock::time_point deadline)
{
    DBusError error;
    dbus_error_init(&error);
    Connection connection(dbus_connection_open_private(address.c_str(), &error));
    if (dbus_error_is_set(&error)) {
        qCInfo(atspiLog) << "Cannot connect to" << address.c_str() << ":" << error.message;
        dbus_error_free(&error);
        return {};
    }
    if (!connection)
        return {};
    dbus_connection_set_exit_on_disconnect(connection.get(), false);
    // Registered by hand: the library's own registration would wait up to its default timeout.
    Message reply = callUntil(connection.get(),
        Message(dbus_message_new_method_call(DBUS_SERVICE_DBUS, DBUS_PATH_DBUS, DBUS_INTERFACE_DBUS, "Hello")),
        deadline);
    const auto name = stringOf(reply.get());
    if (!name)
        return {};
    dbus_bus_set_unique_name(connection.get(), name->c_str());
    return connection;
}

/// The accessibility bus's address; none when the session does not tell it in time.
std::optional<std::string> accessibilityBusAddress(Clock::time_point deadline)
{
    if (const char* address = std::getenv("AT_SPI_BUS_ADDRESS"); address && *address)
        return std::string(address);
    const char* sessionAddress = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    if (!sessionAddress || !*sessionAddress)
        return std::nullopt;
    Connection session = connectTo(sessionAddress, deadline);
    if (!session)
        return std::nullopt;
    return stringOf(callUntil(
        session.get(), methodCall({ "org.a11y.Bus", "/org/a11y/bus" }, "org.a11y.Bus", "GetAddress"), deadline)
                        .get());
}

} // namespace

std::unique_ptr<AtspiConnection> AtspiConnection::open(std::chrono::milliseconds bound)
{
    static std::once_flag threadsReady;
    std::call_once(threadsReady, [] { dbus_threads_init_default(); });
    const auto deadline = Clock::now() + bound;
    const auto address = accessibilityBusAddress(deadline);
    if (!address || address->empty()) {
        qCInfo(atspiLog) << "The session does not tell the accessibility bus's address";
        throw AXError(AXError::CannotComplete);
    }
    Connection connection = connectTo(*address, deadline);
    if (!connection) {
        qCInfo(atspiLog) << "The accessibility bus does not answer";
        throw AXError(AXError::CannotComplete);
    }
    return std::unique_ptr<AtspiConnection>(new AtspiConnection(connection.release()));
}

bool AtspiConnection::accessibilityBusIsStuck(std::chrono::milliseconds bound)
{
    static std::once_flag threadsReady;
    std::call_once(threadsReady, [] { dbus_threads_init_default(); });
    const auto deadline = Clock::now() + bound;
    // A call or a connection that fails before the deadline was refused, not left unanswered.
    const auto unanswered = [deadline] { return Clock::now() >= deadline; };
    std::string address;
    if (const char* given = std::getenv("AT_SPI_BUS_ADDRESS"); given && *given) {
        address = given;
    } else {
        const char* sessionAddress = std::getenv("DBUS_SESSION_BUS_ADDRESS");
        if (!sessionAddress || !*sessionAddress)
            return false;
        Connection session = connectTo(sessionAddress, deadline);
        if (!session)
            return false;
        const auto launcherRuns = boolOf(callUntil(session.get(),
            methodCall({ DBUS_SERVICE_DBUS, DBUS_PATH_DBUS }, DBUS_INTERFACE_DBUS, "NameHasOwner",
                { std::string("org.a11y.Bus") }),
            deadline)
                                             .get());
        if (!launcherRuns || !*launcherRuns)
            return false; // asking for the address would start the launcher
        const auto told = stringOf(callUntil(
            session.get(), methodCall({ "org.a11y.Bus", "/org/a11y/bus" }, "org.a11y.Bus", "GetAddress"), deadline)
                                       .get());
        if (!told || told->empty())
            return unanswered();
        address = *told;
    }
    return !connectTo(address, deadline) && unanswered();
}

AtspiConnection::~AtspiConnection()
{
    ConnectionUnref()(m_connection);
}

PendingAnswer::~PendingAnswer()
{
    if (!m_call)
        return;
    if (!dbus_pending_call_get_completed(m_call))
        dbus_pending_call_cancel(m_call);
    dbus_pending_call_unref(m_call);
}

bool PendingAnswer::answered() const
{
    return !m_call || dbus_pending_call_get_completed(m_call);
}

void AtspiConnection::refresh()
{
    // Reads without waiting, then drops what came (signals) or completes the calls it answers.
    if (!dbus_connection_read_write(m_connection, 0))
        return;
    while (dbus_connection_dispatch(m_connection) == DBUS_DISPATCH_DATA_REMAINS) { }
}

bool AtspiConnection::isConnected() const
{
    return dbus_connection_get_is_connected(m_connection);
}

std::unique_ptr<PendingAnswer> AtspiConnection::send(Message call)
{
    DBusPendingCall* pending = nullptr;
    if (!call || !dbus_connection_send_with_reply(m_connection, call.get(), &pending, DBUS_TIMEOUT_INFINITE))
        pending = nullptr;
    dbus_connection_flush(m_connection);
    return std::make_unique<PendingAnswer>(pending);
}

std::vector<Message> AtspiConnection::callTogether(
    std::vector<Message> calls, CallBudget& budget, std::vector<bool>* unansweredCalls, Waiting waiting)
{
    std::vector<Message> replies(calls.size());
    if (unansweredCalls)
        unansweredCalls->assign(calls.size(), false);
    for (std::size_t first = 0; first < calls.size(); first += maximumCallsTogether) {
        const std::size_t end = std::min(calls.size(), first + maximumCallsTogether);
        budget.beginRoundTrip(int(end - first));
        const auto sent = Clock::now();
        // Each answer may take the call bound after the one before it. Within the budget, the
        // whole wait ends when the budget does.
        const auto perAnswer = Clock::duration(CallBudget::callBound);
        const auto longest = perAnswer * int(end - first);
        const bool budgetBound = waiting == Waiting::withinBudget && budget.left() < longest;
        const auto deadline = sent + (budgetBound ? budget.left() : longest);
        const int timeout
            = std::max(1, int(std::chrono::duration_cast<std::chrono::milliseconds>(deadline - sent).count()));
        std::vector<DBusPendingCall*> pending(end - first, nullptr);
        bool notSent = false;
        for (std::size_t i = first; i < end; ++i)
            if (calls[i]
                && !dbus_connection_send_with_reply(m_connection, calls[i].get(), &pending[i - first], timeout)) {
                pending[i - first] = nullptr;
                notSent = true;
            } else if (calls[i] && !pending[i - first]) {
                notSent = true; // the connection is closed
            }
        const bool outOfTime = awaitAnswers(m_connection, pending, deadline, perAnswer, &budget) && budgetBound;
        budget.spend(Clock::now() - sent);
        bool unanswered = false;
        for (std::size_t i = first; i < end; ++i) {
            DBusPendingCall* call = pending[i - first];
            if (!call)
                continue;
            Message reply;
            bool answered = true;
            if (dbus_pending_call_get_completed(call)) {
                reply.reset(dbus_pending_call_steal_reply(call));
            } else {
                dbus_pending_call_cancel(call);
                answered = false;
            }
            dbus_pending_call_unref(call);
            if (reply && dbus_message_get_type(reply.get()) == DBUS_MESSAGE_TYPE_ERROR) {
                answered = !dbus_message_is_error(reply.get(), DBUS_ERROR_NO_REPLY)
                    && !dbus_message_is_error(reply.get(), DBUS_ERROR_TIMEOUT)
                    && !dbus_message_is_error(reply.get(), DBUS_ERROR_DISCONNECTED);
                reply.reset();
            }
            if (!answered) {
                unanswered = true;
                if (unansweredCalls)
                    (*unansweredCalls)[i] = true;
            }
            replies[i] = std::move(reply);
        }
        // The library ends the calls of a connection that closed as if nobody had answered
        // them: that is the bus going away, not an application that hangs.
        if ((unanswered || notSent) && !isConnected()) {
            qCInfo(atspiLog) << "The accessibility bus went away";
            throw AccessibilityBusLostError();
        }
        // Every application answered within the call bound, but the press has no time left.
        if (unanswered && outOfTime) {
            qCDebug(atspiLog) << "The press ran out of time";
            throw EditorTooSlowError();
        }
        if (unanswered) {
            qCDebug(atspiLog) << "An application did not answer in time";
            if (!unansweredCalls)
                throw EditorNotAnsweringError();
        }
    }
    return replies;
}
Message AtspiConnection::call(Message call, CallBudget& budget)
{
    std::vector<Message> calls;
    calls.push_back(std::move(call));
    return std::move(callTogether(std::move(calls), budget).front());
}

} // namespace atspi
} // namespace quillet
