#pragma once

#include "front/Accessibility.h"

#include <QObject>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace quillet {

class AccessibilityStatus;
class AccessibilityThread;

namespace atspi {
class AtspiConnection;
class FocusLookup;
} // namespace atspi

/// The accessibility backend over AT-SPI 2, spoken directly over D-Bus.
///
/// The process is trusted when org.a11y.Status.IsEnabled of the session is true; asking for
/// trust sets it, and when that fails the handler tells the user how to turn assistive
/// technologies on. The answer is kept and followed (AccessibilityStatus): a press asks nothing.
///
/// Every call to other applications goes over one private connection to the accessibility
/// bus, made, used and owned by one thread of the backend's own (perform()), so that the
/// thread that serves the tray, the windows and D-Bus never waits on an application that
/// hangs, and nothing else handles that connection's messages. Starting the backend connects
/// on that thread without holding anything up; a press whose connection is missing or lost
/// connects again.
///
/// The focused element is the deepest object with state FOCUSED that has Text inside the
/// ACTIVE frame of the desktop's applications, looked up afresh for every press (FocusLookup).
/// This process's own application is never asked. An expansion reads only the line before the
/// caret and writes with DeleteText and InsertText, then SetCaretOffset, then reads the line
/// back, all four sent together (AtspiElement).
///
/// Every call waits at most CallBudget::callBound, and one lookup with everything done through
/// the element it returns about a second of the bus's time (CallBudget): a hung editor fails
/// the press quickly, with EditorNotAnsweringError, and an application that did not answer is
/// left out of the next presses' lookups until it answers again (FocusLookup). A connection
/// that the bus closed (it restarted) is made anew at the next press, or at once when it closes
/// during one.
class AtspiAccessibilityBackend final : public AccessibilityBackend {
public:
    /// `tellUserToEnableAccess` runs when asking for trust could not turn access on. A focus
    /// lookup that finds nothing looks again up to `focusRetries` times, 15 ms apart: right
    /// after the shortcut the editor may not have its focus back from the key grab yet. Made
    /// on the thread of the Qt event loop.
    explicit AtspiAccessibilityBackend(std::function<void()> tellUserToEnableAccess = {}, int focusRetries = 4);
    ~AtspiAccessibilityBackend() override;

    /// On the thread that made the backend.
    bool isTrusted(bool prompt) override;
    /// On the backend's thread only (inside perform()).
    std::shared_ptr<AccessibleElement> focusedElement() override;

    /// The application that held the focus at the last lookup, as that lookup found it:
    /// asking again would cost another wait on an application that may hang.
    std::optional<std::string> activeApplicationIdentifier() override;

    /// Runs `work` on the backend's thread, then `then` on the thread that made the backend,
    /// which must run a Qt event loop.
    void perform(std::function<void()> work, std::function<void()> then) override;

private:
    /// The connection, made again when missing or lost; on the backend's thread.
    std::shared_ptr<atspi::AtspiConnection> connection(std::chrono::milliseconds bound);

    std::function<void()> m_tellUserToEnableAccess;
    int m_focusRetries;
    std::unique_ptr<AccessibilityStatus> m_status;
    std::atomic<bool> m_justEnabled = false; // by this process, and not looked up since
    std::mutex m_activeApplicationMutex;
    std::optional<std::string> m_activeApplication;
    // On the backend's thread only.
    std::shared_ptr<atspi::AtspiConnection> m_connection;
    std::optional<std::chrono::steady_clock::time_point> m_lastFailedConnection;
    bool m_lostConnection = false; // the bus closed it, and no new one was made since
    std::unique_ptr<atspi::FocusLookup> m_lookup;
    std::unique_ptr<QObject> m_receiver; // where the continuations of perform() are delivered
    std::unique_ptr<AccessibilityThread> m_thread; // last: stopped first
};

} // namespace quillet
