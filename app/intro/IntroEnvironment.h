#pragma once

#include <QString>

#include <functional>

namespace quillet {

class App;

/// What the onboarding window needs of the rest of the application. The application fills
/// it from its real services; tests fill it with fakes.
struct IntroEnvironment {
    /// Whether Quillet may read and change other applications' text; with prompt true it
    /// first asks the desktop to allow it.
    std::function<bool(bool prompt)> isAccessibilityTrusted;
    /// The holder of the expand shortcut's one-shot custom action.
    std::function<App&()> app;
    /// Records that the user went through the whole introduction ("DidOpenIntro").
    std::function<void()> didCompleteIntroduction;
    /// The expand shortcut as the user would type it ("Ctrl+Alt+E"); empty when none is set.
    std::function<QString()> expandShortcutText;
};

} // namespace quillet
