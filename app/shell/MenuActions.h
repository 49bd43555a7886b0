#pragma once

#include "intro/IntroEnvironment.h"
#include "shell/Updater.h"

#include <QObject>
#include <QPointer>

#include <functional>
#include <memory>

class QIcon;
class QWidget;

namespace orv {
class AboutWindowController;
}

namespace quillet {

class GlobalShortcutRoutes;
class IntroWindow;
class PreferencesWindowController;
class ResourceLocator;
class StartAtLogin;
class StatusMenu;
class UserDefaults;

/// What the status menu's items do. The application delegate owns one and connects the
/// menu to it; the About and preferences windows are made on first use and kept, the
/// onboarding window is made anew for each opening.
///
/// The editor window and the expander browser are not known here: the application hands
/// in how to show them once they exist, and only then do their items appear in the menu.
class MenuActions final : public QObject {
    Q_OBJECT
public:
    struct Services {
        /// Required.
        UserDefaults* defaults = nullptr;
        /// What the onboarding needs. Left empty, completing it sets "DidOpenIntro" in the
        /// defaults, the expand shortcut is read from them, and the custom action goes to
        /// App::shared().
        IntroEnvironment intro;
        /// Finds the "acknowledgements" document; by default beside the program or where it
        /// is installed.
        std::shared_ptr<ResourceLocator> resources;
        /// Reports why starting at login could not be changed; may be nullptr.
        StartAtLogin* startAtLogin = nullptr;
        /// Ends the application; QCoreApplication::quit when empty.
        std::function<void()> terminate;
        /// How each global shortcut reaches the application, told on the introduction's
        /// shortcut page and in the preferences; may be empty or answer nullptr (the keys are
        /// then taken as recorded).
        std::function<GlobalShortcutRoutes*()> shortcutRoutes;
        /// Runs each time the preferences are asked for (the shortcuts another program held
        /// are tried again); may be empty.
        std::function<void()> preferencesWillShow;
    };

    explicit MenuActions(Services services, QObject* parent = nullptr);
    ~MenuActions() override;

    /// Connects every item of the menu to its action.
    void connectMenu(StatusMenu& menu);

    /// The editor window exists: its item and the previous and next view items appear.
    /// toggleMode switches the editor between documentation and editing.
    void setEditorWindow(std::function<void()> show, std::function<void()> toggleMode);
    /// The expander browser exists: its item appears.
    void setExpanderBrowser(std::function<void()> showOrHide);

    /// The windows made so far (nullptr before the first opening), for the application
    /// and tests.
    QWidget* aboutWindow() const;
    QWidget* preferencesWindow() const;
    IntroWindow* introWindow() const;

public Q_SLOTS:
    void showExpanders();
    void showOrHideExpanderBrowser();
    void showPreviousView();
    void showNextView();
    void showAbout();
    void showPreferences();
    void showIntroduction();
    void quit();
    void goToSupport();
    void goToIntroduction();
    void goToQuilletLanguage();
    void showAcknowledgments();
    void sendFeedback();
    void checkForUpdates();

private:
    Services m_services;
    Updater m_updater;
    QPointer<StatusMenu> m_menu;
    std::function<void()> m_showEditor;
    std::function<void()> m_toggleEditorMode;
    std::function<void()> m_showOrHideBrowser;
    std::unique_ptr<PreferencesWindowController> m_preferences;
    std::unique_ptr<orv::AboutWindowController> m_about;
    QPointer<IntroWindow> m_introWindow;
};

/// Quillet's icon, for its windows.
QIcon applicationIcon();

} // namespace quillet
