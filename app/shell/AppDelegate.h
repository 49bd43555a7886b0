#pragma once

#include "expansion/ExpandedExpression.h"
#include "front/ExpandingController.h"
#include "front/GlobalAction.h"
#include "platform/Appearance.h"
#include "platform/ClipboardPaster.h"
#include "platform/GlobalShortcutBinder.h"
#include "platform/GlobalShortcutRoutes.h"
#include "platform/GlobalShortcutsPortal.h"
#include "platform/KeyboardHold.h"
#include "platform/UserNotificationController.h"

#include <QElapsedTimer>
#include <QMenu>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>

class QSystemTrayIcon;

namespace quillet {

class Bundle;
class CustomExpander;
class NoEditorError;
class UserDefaults;

/// The hub of the tray application: runs the start-up, binds the three global shortcuts,
/// owns the expanding controller, the appearance controller and the status icon, runs an
/// expansion for the expand shortcut and for the D-Bus methods, and turns the outcome into
/// sounds and notifications. Main thread only.
///
/// The windows (editor, expander browser, onboarding) and the full status menu are made
/// elsewhere and plugged in through `windows()` and `setStatusBarMenu()`.
class AppDelegate final : public QObject,
                          public ExpandingControllerDelegate,
                          public AppearanceControllerDelegate,
                          public UserNotificationControllerDelegate {
    Q_OBJECT

public:
    /// What the windows of the application do; each hook may stay empty until its window
    /// exists (then the action only logs).
    struct Windows {
        /// Shows the editor window (activating the application, window key and in front).
        std::function<void()> showExpandersWindow;
        /// Shows the expander browser, or closes it when it is visible.
        std::function<void()> showOrHideExpanderBrowser;
        std::function<void()> closeExpanderBrowser;
        /// Opens the onboarding window (without activating the application).
        std::function<void()> showIntroduction;
        /// Selects the bundle or expander in the editor window's bundle list (nothing when
        /// it is no longer in the library); the caller then shows the window.
        std::function<void(Bundle&)> selectBundleInEditor;
        std::function<void(CustomExpander&)> selectExpanderInEditor;
        /// Opens a web address (the desktop's browser when empty).
        std::function<void(const QUrl&)> openURL;
    };

    struct Services {
        std::shared_ptr<UserDefaults> defaults;
        /// The key grabber of the global shortcuts; X11 when none.
        std::unique_ptr<KeyGrabber> keyGrabber;
        /// The notification controller; UserNotificationController::shared() when none.
        UserNotificationController* notifications = nullptr;
        /// The appearance controller's bus; the session bus when none.
        std::optional<QDBusConnection> appearanceBus;
        /// The bus of the global shortcuts portal; the session bus when none.
        std::optional<QDBusConnection> portalBus;
        /// Whether the session is a Wayland one, where key grabs hear X11 windows alone and
        /// the desktop's portal is asked for the shortcuts; read from the environment when none.
        std::optional<bool> waylandSession;
        /// Whether to show a tray icon (tests run without one).
        bool statusItem = true;
    };

    explicit AppDelegate(Services services, QObject* parent = nullptr);
    ~AppDelegate() override;

    Windows& windows() { return m_windows; }

    /// The start-up, in this order: register the settings defaults, become the delegate of
    /// the notification controller, of the appearance controller and of the expanding
    /// controller, bind the global shortcuts, make the status icon, and open the onboarding
    /// when "DidOpenIntro" is false.
    void applicationWillFinishLaunching();
    void applicationDidFinishLaunching() { }
    void applicationWillTerminate() { }
    void applicationDidResignActive();

    /// The expand shortcut's action: the installed custom action, else one expansion at the
    /// caret with its sound, and a notification for an error. The keys typed after the
    /// shortcut wait on `keysTypedAfter` until the press has ended.
    void expandTextShortcutPressed(KeyboardHold keysTypedAfter = {});
    /// The keys typed after the expand shortcut go on to the focused window.
    void letKeysGo();
    /// The D-Bus methods' expansion of a given text, with the same rules; none when nothing
    /// applies or the expansion failed (the failure becomes a notification).
    std::optional<ExpandedExpression> expand(
        const icu::UnicodeString& text, const std::optional<icu::UnicodeString>& fileExtension);

    /// Runs a global shortcut's action as its press does, wherever the trigger came from (the
    /// X11 grab, the desktop's portal, D-Bus, the command line). The expand action's press
    /// has no keys held: on a desktop without the grab they reach the editor at once, and a
    /// line they changed is left as typed.
    void runGlobalAction(GlobalAction action);

    void showExpandersWindow();
    void showOrHideExpanderBrowser();
    void closeExpanderBrowser();
    void showIntroduction();
    /// Imports the bundle files in order; each failure shows its alert and the next goes on.
    void importFiles(const QStringList& paths);

    /// The error for an expansion that failed without a text of its own (a failed
    /// accessibility read): it asks whether a text editor is in use.
    NoEditorError noEditorError() const;

    /// The status icon's menu; a menu with Quit until another is set. Not owned.
    QMenu* statusBarMenu() const { return m_statusBarMenu; }
    void setStatusBarMenu(QMenu* menu);
    QSystemTrayIcon* statusBarIcon() const { return m_statusBarIcon; }
    /// Whether the status icon shows the active image.
    bool isStatusIconActive() const { return m_statusIconActive; }

    ExpandingController& expandingController() { return m_expandingController; }
    AppearanceController& appearanceController() { return *m_appearanceController; }
    UserDefaults& defaults() { return *m_defaults; }
    GlobalShortcutBinder* shortcutBinder() const { return m_binder.get(); }
    /// The portal's bindings of the global shortcuts; null where the keys are grabbed.
    GlobalShortcutsPortal* shortcutsPortal() const { return m_portal.get(); }
    /// How each global shortcut reaches the application; null before the start-up.
    GlobalShortcutRoutes* shortcutRoutes() const { return m_routes.get(); }
    /// Runs the global action of the name ("expand", "show-editor", "toggle-browser") as its
    /// shortcut does; false for any other name.
    bool activateGlobalAction(const QString& action);

    // ExpandingControllerDelegate
    void expandingControllerDidStartExpanding(ExpandingController& controller) override;
    void expandingControllerDidEndExpanding(ExpandingController& controller) override;
    // AppearanceControllerDelegate
    void appearanceControllerDidChangeAppearance(
        AppearanceController& controller, const Appearance& appearance) override;
    // UserNotificationControllerDelegate
    void showEditor(UserNotificationController& controller) override;
    void showBundleInEditor(UserNotificationController& controller, Bundle& bundle) override;
    void showExpanderInEditor(UserNotificationController& controller, Bundle& bundle) override;
    void openURL(UserNotificationController& controller, const QUrl& url) override;
    /// The expander browser asks to open an expander in the editor window.
    void openExpander(CustomExpander& expander);

    /// How long the active icon stays after an expansion ends.
    static constexpr int statusIconResetDelayMilliseconds = 200;

private:
    void bindGlobalShortcuts();
    /// Neither key grabs nor the portal reach every window: the user is told once how to bind
    /// the shortcuts in the desktop's settings.
    void tellWhereTheShortcutsAreBound();
    void setUpStatusItem();
    void updateStatusBarIcon(bool active, bool delayed);
    void setStatusIcon(bool active);
    void reportPress(const ExpandingController::PressOutcome& press, const QElapsedTimer& timer);

    std::shared_ptr<UserDefaults> m_defaults;
    std::unique_ptr<KeyGrabber> m_keyGrabber;
    UserNotificationController* m_notifications;
    ExpandingController m_expandingController;
    std::unique_ptr<AppearanceController> m_appearanceController;
    std::unique_ptr<GlobalShortcutBinder> m_binder;
    std::optional<QDBusConnection> m_portalBus;
    std::optional<bool> m_waylandSession;
    std::unique_ptr<GlobalShortcutsPortal> m_portal;
    std::unique_ptr<GlobalShortcutRoutes> m_routes;
    bool m_toldWhereTheShortcutsAreBound = false;
    // The keys typed after the expand shortcut wait on it until its press ends, or until the
    // hold's bound if that comes first.
    KeyboardHold m_keysTypedAfterPress;
    std::shared_ptr<ClipboardPaster> m_keyboardPaste;
    QSystemTrayIcon* m_statusBarIcon = nullptr;
    QPointer<QMenu> m_statusBarMenu;
    std::unique_ptr<QMenu> m_defaultMenu;
    bool m_wantsStatusItem;
    bool m_statusIconActive = false;
    // A D-Bus expansion may start and end while a press is still under way.
    int m_expansionsUnderWay = 0;
    // One restartable timer: a pending reset never lands after the next expansion began.
    QTimer m_statusIconReset;
    Windows m_windows;
};

} // namespace quillet
