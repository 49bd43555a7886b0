#pragma once

#include "front/Accessibility.h"

#include <QObject>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

namespace quillet {

/// The accessibility backend over AT-SPI 2.
///
/// The accessibility bus is found through org.a11y.Bus on the session bus; the process is
/// trusted when that bus answers and org.a11y.Status.IsEnabled is true. Asking for trust
/// sets IsEnabled, and when that fails the handler tells the user how to turn assistive
/// technologies on.
///
/// The focused element is the deepest object with state FOCUSED that has Text inside the
/// ACTIVE frame of the desktop's applications, looked up afresh for every expansion. This
/// process's own application is never asked: its answers would come on the very thread that
/// waits for them. Offsets are converted at this boundary: GTK counts code points, Qt UTF-16
/// units; callers always see UTF-16 units. An expansion reads only the line before the caret
/// and writes with DeleteText and InsertText, then SetCaretOffset.
///
/// Every call has a timeout of 250 ms, and one lookup with everything done through the
/// element it returns has about a second: a hung application fails the expansion quickly.
///
/// All of it runs on one thread of the backend's own (perform()), which also handles every
/// message of the accessibility bus: the library that speaks AT-SPI is not made for two
/// threads, and the thread that serves the tray, the windows and D-Bus must never wait on an
/// application that hangs.
class AtspiAccessibilityBackend final : public AccessibilityBackend {
public:
    /// `tellUserToEnableAccess` runs when asking for trust could not turn access on. A focus
    /// lookup that finds nothing looks again up to `focusRetries` times, 15 ms apart: right
    /// after the shortcut the editor may not have its focus back from the key grab yet.
    explicit AtspiAccessibilityBackend(std::function<void()> tellUserToEnableAccess = {}, int focusRetries = 4);
    ~AtspiAccessibilityBackend() override;

    bool isTrusted(bool prompt) override;
    /// On the backend's thread only (inside perform()).
    std::shared_ptr<AccessibleElement> focusedElement() override;

    /// The application that held the focus at the last lookup, as that lookup found it:
    /// asking again would cost another wait on an application that may hang.
    std::optional<std::string> activeApplicationIdentifier() override;

    /// Runs `work` on the backend's thread, then `then` on the thread that called, which must
    /// run a Qt event loop.
    void perform(std::function<void()> work, std::function<void()> then) override;

    class Thread;

private:
    void initialize();

    std::function<void()> m_tellUserToEnableAccess;
    int m_focusRetries;
    bool m_initialized = false; // on the backend's thread
    std::atomic<bool> m_justEnabled = false; // by this process, and not looked up since
    std::mutex m_activeApplicationMutex;
    std::optional<std::string> m_activeApplication;
    std::shared_ptr<Thread> m_thread; // shared with the elements, which are released there
    std::unique_ptr<QObject> m_receiver; // where the continuations of perform() are delivered
};

} // namespace quillet
