#pragma once

#include "front/UserDefaultsKey.h"

#include <QObject>
#include <QString>
#include <QStringList>

namespace quillet {

class GlobalShortcutBinder;
class GlobalShortcutsPortal;
class UserDefaults;

/// How one global shortcut reaches Quillet in this session.
struct ShortcutReach {
    enum class Route {
        /// Quillet takes the keys itself (X11).
        KeyGrab,
        /// The desktop's global shortcuts portal bound the shortcut.
        Portal,
        /// Neither: the desktop's own keyboard settings must run Quillet's action command.
        DesktopSettings,
    };
    Route route = Route::KeyGrab;
    /// The stored shortcut as the user reads it ("Ctrl+Alt+E"); empty when none is set.
    QString storedKeys;
    /// KeyGrab: whether the stored keys are really taken (another program may hold them).
    bool grabbed = false;
    /// Portal: what the desktop says triggers it; empty when it gave the shortcut no keys.
    QString assignedKeys;
};

/// What to tell the user about one shortcut: the text, the keys that really run it (empty
/// when no keys can be promised) and the commands that run it from the desktop's settings.
struct ShortcutGuidance {
    QString text;
    QString keys;
    QStringList commands;
};

/// The name of the global action run by the shortcut of the key: "expand", "show-editor" or
/// "toggle-browser" (empty for any other key).
QString shortcutActionName(UserDefaultsKey key);
/// The commands that run the action, for a desktop's keyboard settings.
QStringList globalActionCommands(const QString& action);

/// The introduction's live try of the expand shortcut.
ShortcutGuidance introductionGuidance(const ShortcutReach& reach);
/// The preferences' line under the shortcut of the key.
ShortcutGuidance preferencesGuidance(UserDefaultsKey key, const ShortcutReach& reach);
/// The preferences' note on the shortcuts that take this route; empty where the recorded keys
/// are simply taken.
QString preferencesNote(ShortcutReach::Route route);

/// The session's routes for the three global shortcuts: the key grabs where they reach every
/// window, else the portal's bindings, else the desktop's settings. Tells when that changes
/// (a shortcut recorded, grabbed or let go, the portal answered). Main thread only.
class GlobalShortcutRoutes final : public QObject {
    Q_OBJECT
public:
    /// binder and portal may be null (no key grabs, no portal); keyGrabsReachEveryWindow is
    /// false on a Wayland session, where an X11 grab hears only X11 windows.
    GlobalShortcutRoutes(UserDefaults& defaults, const GlobalShortcutBinder* binder, GlobalShortcutsPortal* portal,
        bool keyGrabsReachEveryWindow, QObject* parent = nullptr);

    ShortcutReach reach(UserDefaultsKey key) const;
    /// Whether any shortcut reaches Quillet other than through the desktop's settings.
    bool hasKeyRoute() const;

Q_SIGNALS:
    void changed();

private:
    UserDefaults& m_defaults;
    const GlobalShortcutBinder* m_binder;
    GlobalShortcutsPortal* m_portal;
    bool m_keyGrabs;
};

} // namespace quillet
