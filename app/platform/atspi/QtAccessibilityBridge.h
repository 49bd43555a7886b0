#pragma once

#include <chrono>

namespace quillet {

/// Makes Qt's own accessibility bridge, which shows this application's windows to assistive
/// technologies, now (Qt makes it when the event loop starts otherwise), and never on an
/// accessibility bus that does not answer: the bridge waits for that bus on the main thread,
/// up to half a minute for each of its calls, and nothing else would be served meanwhile. When
/// the bus, or the launcher that tells its address, gives no answer within `bound`
/// (atspi::AtspiConnection::accessibilityBusIsStuck), the bridge is made without a bus: this
/// application's windows are then not shown to assistive technologies until it starts
/// again, which the log says. Expansions are not concerned: they reach the bus on a thread of
/// their own, anew at each press. Main thread, once the QGuiApplication exists, before the
/// application takes its name on the session bus. True when the bridge was kept off the bus.
bool startQtAccessibilityBridge(std::chrono::milliseconds bound);

} // namespace quillet
