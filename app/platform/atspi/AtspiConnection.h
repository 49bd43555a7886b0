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

/// A private connection of this process to the session's accessibility bus, made and used by
/// the accessibility thread alone.
///
/// It is never handed to an event loop: every call is sent, then its answer waited for on the
/// spot with a deadline of this class's own, so no watch or timeout of the connection is ever
/// handled anywhere else. Messages that nobody waits for (signals from the bus) are dropped
/// while waiting.
class AtspiConnection {
public:
    /// Asks the session bus's org.a11y.Bus for the accessibility bus's address (or takes it
    /// from AT_SPI_BUS_ADDRESS) and connects to it, within `bound` all together. Throws
    /// AXError CannotComplete when it cannot.
    static std::unique_ptr<AtspiConnection> open(std::chrono::milliseconds bound);

    ~AtspiConnection();
    AtspiConnection(const AtspiConnection&) = delete;
    AtspiConnection& operator=(const AtspiConnection&) = delete;

    bool isConnected() const;

    /// Sends the calls together, then waits for their answers together: each application
    /// answers one call after the other without a round trip through this process in between.
    /// The answers come in the calls' order; an error answer (an object that has gone) or a
    /// missing call is none. A call that gets no answer in time throws EditorNotAnsweringError
    /// once all have been waited for, and a lost connection AXError CannotComplete. With
    /// `unanswered`, a call without an answer in time is none too, and is marked there (one
    /// flag a call, in the calls' order).
    std::vector<Message> callTogether(
        std::vector<Message> calls, CallBudget& budget, std::vector<bool>* unanswered = nullptr);
    /// One call, as above.
    Message call(Message call, CallBudget& budget);

private:
    explicit AtspiConnection(DBusConnection* connection) noexcept
        : m_connection(connection)
    {
    }

    DBusConnection* m_connection;
};

} // namespace atspi
} // namespace quillet
