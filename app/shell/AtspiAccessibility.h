#pragma once

#include "shell/Accessibility.h"

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
/// The focused element is the object with state FOCUSED inside the ACTIVE frame of the
/// desktop's applications, looked up afresh every time (nothing is cached between reads).
/// This process's own application is never asked: its answers would come on the very thread
/// that waits for them. Offsets are converted at this boundary: GTK counts code points, Qt
/// UTF-16 units; callers always see UTF-16 units. Text is replaced with DeleteText and
/// InsertText on the selection, and the caret placed with SetCaretOffset.
class AtspiAccessibilityBackend final : public AccessibilityBackend {
public:
    /// `tellUserToEnableAccess` runs when asking for trust could not turn access on. A focus
    /// lookup that finds nothing looks again up to `focusRetries` times, 15 ms apart: right
    /// after the shortcut the editor may not have its focus back from the key grab yet.
    explicit AtspiAccessibilityBackend(std::function<void()> tellUserToEnableAccess = {}, int focusRetries = 4);
    ~AtspiAccessibilityBackend() override;

    bool isTrusted(bool prompt) override;
    std::shared_ptr<AccessibleElement> focusedElement() override;
    std::optional<std::string> activeApplicationIdentifier() override;

private:
    struct Lookup;
    std::function<void()> m_tellUserToEnableAccess;
    int m_focusRetries;
    bool m_initialized = false;
};

} // namespace quillet
