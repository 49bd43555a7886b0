#pragma once

#include <QPointer>

class QWidget;

namespace quillet {

class GlobalShortcutRoutes;
class PreferencesTabViewController;
class StartAtLogin;
class UserDefaults;

/// The preferences window: its content is the tab view controller, whose selected tab
/// titles the window and sizes it. Made on first use and kept; closing only hides it.
class PreferencesWindowController {
public:
    /// shortcutRoutes (may be null) tells how each global shortcut reaches Quillet.
    PreferencesWindowController(
        UserDefaults& defaults, StartAtLogin* startAtLogin, GlobalShortcutRoutes* shortcutRoutes = nullptr);
    ~PreferencesWindowController();
    PreferencesWindowController(const PreferencesWindowController&) = delete;
    PreferencesWindowController& operator=(const PreferencesWindowController&) = delete;

    QWidget* window() const { return m_window; }
    PreferencesTabViewController* tabViewController() const { return m_tabs; }

    /// Shows the window in front of the others, with the keyboard.
    void showWindow();

private:
    QPointer<QWidget> m_window;
    PreferencesTabViewController* m_tabs = nullptr;
};

} // namespace quillet
