#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class QObject;

namespace quillet {

class App;

/// What the shortcut page tells the user: the text, the keys that really run the expand
/// shortcut (empty when none can be promised: nothing takes them) and the commands that the
/// desktop's keyboard settings can run instead.
struct ExpandShortcutGuide {
    QString text;
    QString keys;
    QStringList commands;
};

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
    /// What the shortcut page says, where the keys may not reach Quillet; when empty, the page
    /// asks the user to press expandShortcutText().
    std::function<ExpandShortcutGuide()> expandShortcutGuide = {};
    /// Calls `changed` on the receiver's thread, while it lives, whenever the guide may read
    /// differently (the desktop bound the shortcut, the user recorded another); may be empty.
    std::function<void(QObject* receiver, std::function<void()> changed)> watchExpandShortcutGuide = {};
};

} // namespace quillet
