#include "platform/atspi/QtAccessibilityBridge.h"

#include "platform/atspi/AtspiConnection.h"
#include "platform/atspi/AtspiLog.h"

#include <QAccessible>
#include <QByteArray>
#include <QtGlobal>

namespace quillet {
namespace {

/// Where Qt's bridge looks first for the accessibility bus, before it asks the session.
constexpr const char* busAddressVariable = "AT_SPI_BUS_ADDRESS";
/// An address no bus answers at, refused at once without a call: the bridge gives up on it.
constexpr const char* noBusAddress = "unix:path=/nonexistent/quillet-accessibility-bus-stuck";

} // namespace

bool startQtAccessibilityBridge(std::chrono::milliseconds bound)
{
    if (!atspi::AtspiConnection::accessibilityBusIsStuck(bound)) {
        // Made now, before the name is taken: its first questions go to a bus that answers.
        (void)QAccessible::isActive();
        return false;
    }
    qCWarning(atspiLog) << "The accessibility bus does not answer: Quillet's own windows are not shown to "
                           "assistive technologies until it starts again";
    const bool given = qEnvironmentVariableIsSet(busAddressVariable);
    const QByteArray givenAddress = qgetenv(busAddressVariable);
    qputenv(busAddressVariable, noBusAddress);
    (void)QAccessible::isActive(); // the bridge reads the address as it is made
    // The expansions' own connections read it at each press: they find the bus once it answers.
    if (given)
        qputenv(busAddressVariable, givenAddress);
    else
        qunsetenv(busAddressVariable);
    return true;
}

} // namespace quillet
