#pragma once

#include "front/Accessibility.h"

#include <functional>
#include <memory>

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
class AtspiAccessibilityBackend final : public AccessibilityBackend {
public:
    /// `tellUserToEnableAccess` runs when asking for trust could not turn access on. A focus
    /// lookup that finds nothing looks again up to `focusRetries` times, 15 ms apart: right
    /// after the shortcut the editor may not have its focus back from the key grab yet.
    explicit AtspiAccessibilityBackend(std::function<void()> tellUserToEnableAccess = {}, int focusRetries = 4);
    ~AtspiAccessibilityBackend() override;

    bool isTrusted(bool prompt) override;
    std::shared_ptr<AccessibleElement> focusedElement() override;

    /// The application that held the focus at the last lookup, as that lookup found it:
    /// asking again would cost another wait on an application that may hang.
    std::optional<std::string> activeApplicationIdentifier() override;

private:
    void initialize();

    std::function<void()> m_tellUserToEnableAccess;
    int m_focusRetries;
    bool m_initialized = false;
    bool m_justEnabled = false; // by this process, and not looked up since
    std::optional<std::string> m_activeApplication;
};

} // namespace quillet
