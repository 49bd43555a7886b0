#pragma once

#include "platform/atspi/AtspiMessages.h"

#include <dbus/dbus.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace quillet {

class CallBudget;

namespace atspi {

/// A call whose answer nobody waits for: it is looked at later, when the connection has read
/// what came meanwhile (AtspiConnection::refresh()). Cancelled when dropped.
class PendingAnswer {
public:
    explicit PendingAnswer(DBusPendingCall* call) noexcept
        : m_call(call)
    {
    }
    ~PendingAnswer();
    PendingAnswer(const PendingAnswer&) = delete;
    PendingAnswer& operator=(const PendingAnswer&) = delete;

    /// Whether an answer came (an error answer too).
    bool answered() const;

private:
    DBusPendingCall* m_call;
};

/// A private connection of this process to the session's accessibility bus, made and used by
/// the accessibility thread alone.
///
/// It is never handed to an event loop: every call is sent, then its answer waited for on the
/// spot with a deadline of this class's own, so no watch or timeout of the connection is ever
/// handled anywhere else. Messages that nobody waits for (signals from the bus) are dropped
/// while waiting.
///
/// Each call may take `CallBudget::callBound` to be answered: calls sent together are waited
/// for as long as each answer follows the one before within that bound, as an application
/// answers them one after the other. A dropped connection (the bus restarted or stopped) ends
/// the calls under way with AccessibilityBusLostError, never as an application that does not
/// answer.
class AtspiConnection {
public:
    /// Asks the session bus's org.a11y.Bus for the accessibility bus's address (or takes it
    /// from AT_SPI_BUS_ADDRESS) and connects to it, within `bound` all together. Throws
    /// AXError CannotComplete when it cannot.
    static std::unique_ptr<AtspiConnection> open(std::chrono::milliseconds bound);

    /// Whether the session's accessibility bus is there but stuck: the launcher that tells its
    /// address (org.a11y.Bus, which runs) or the bus itself (at AT_SPI_BUS_ADDRESS, or the
    /// address the launcher tells) gives no answer within `bound`, as when its process is
    /// stopped. A bus that is not there, or that refuses at once, is not stuck; nor is one when
    /// the session bus itself cannot be reached. Starts no service.
    static bool accessibilityBusIsStuck(std::chrono::milliseconds bound);

    ~AtspiConnection();
    AtspiConnection(const AtspiConnection&) = delete;
    AtspiConnection& operator=(const AtspiConnection&) = delete;

    /// Reads what has come since the last call without waiting: the answers of pending calls,
    /// and whether the bus closed the connection (isConnected()).
    void refresh();
    bool isConnected() const;

    /// How long the answers of calls are waited for.
    enum class Waiting {
        /// No longer than the press's budget has left.
        withinBudget,
        /// Until each has come, at most the call bound after the one before: the calls of a
        /// write, whose answers tell what the editor did.
        untilAnswered,
    };

    /// Sends the calls together, then waits for their answers together: each application
    /// answers one call after the other without a round trip through this process in between.
    /// The answers come in the calls' order; an error answer (an object that has gone) or a
    /// missing call is none. A call that gets no answer in time throws EditorNotAnsweringError
    /// once all have been waited for, and a lost connection AccessibilityBusLostError. With
    /// `unanswered`, a call without an answer in time is none too, and is marked there (one
    /// flag a call, in the calls' order).
    std::vector<Message> callTogether(std::vector<Message> calls, CallBudget& budget,
        std::vector<bool>* unanswered = nullptr, Waiting waiting = Waiting::withinBudget);
    /// One call, as above.
    Message call(Message call, CallBudget& budget);
    /// Sends the call and returns at once; the answer is looked at later.
    std::unique_ptr<PendingAnswer> send(Message call);

private:
    explicit AtspiConnection(DBusConnection* connection) noexcept
        : m_connection(connection)
    {
    }

    DBusConnection* m_connection;
};

} // namespace atspi
} // namespace quillet
