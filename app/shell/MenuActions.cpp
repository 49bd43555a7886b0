#include "shell/MenuActions.h"

#include "OrvTextView/About/AboutWindowController.h"
#include "OrvTextView/Misc/WindowFront.h"
#include "intro/IntroWindow.h"
#include "intro/IntroWindowController.h"
#include "library/App.h"
#include "library/ResourceLocator.h"
#include "library/Websites.h"
#include "platform/GlobalShortcutRoutes.h"
#include "platform/UserDefaults.h"
#include "preferences/PreferencesWindowController.h"
#include "shell/StatusMenu.h"

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QIcon>
#include <QUrl>
#include <QWidget>

#include <mutex>

// The application icon, compiled into a static library.
static void initQuilletApplicationResources()
{
    Q_INIT_RESOURCE(Application);
}

namespace quillet {

namespace {

void openPage(const std::string& address)
{
    // Where the desktop cannot open it, there is nothing more to do: the menu stays usable.
    QDesktopServices::openUrl(QUrl(QString::fromStdString(address)));
}

} // namespace

QIcon applicationIcon()
{
    static std::once_flag once;
    std::call_once(once, initQuilletApplicationResources);
    return QIcon(QStringLiteral(":/quillet/images/quillet.svg"));
}

MenuActions::MenuActions(Services services, QObject* parent)
    : QObject(parent)
    , m_services(std::move(services))
{
    if (!m_services.resources)
        m_services.resources
            = std::make_shared<SearchPathResourceLocator>(SearchPathResourceLocator::applicationRoots());
    UserDefaults* defaults = m_services.defaults;
    IntroEnvironment& intro = m_services.intro;
    if (!intro.didCompleteIntroduction)
        intro.didCompleteIntroduction = [defaults] { defaults->setValue(UserDefaultsKey::DidOpenIntro, true); };
    if (!intro.expandShortcutText) {
        intro.expandShortcutText = [defaults] {
            const auto shortcut = defaults->shortcut(UserDefaultsKey::ExpandTextShortcut);
            return shortcut ? shortcut->displayText() : QString();
        };
    }
    if (!intro.app)
        intro.app = []() -> App& { return App::shared(); };
    if (auto routes = m_services.shortcutRoutes; routes && !intro.expandShortcutGuide) {
        intro.expandShortcutGuide = [routes, defaults] {
            ShortcutReach reach;
            if (const auto stored = defaults->shortcut(UserDefaultsKey::ExpandTextShortcut))
                reach = { .route = ShortcutReach::Route::KeyGrab,
                    .storedKeys = stored->displayText(),
                    .grabbed = true,
                    .assignedKeys = {} };
            if (GlobalShortcutRoutes* known = routes())
                reach = known->reach(UserDefaultsKey::ExpandTextShortcut);
            const ShortcutGuidance guidance = introductionGuidance(reach);
            return ExpandShortcutGuide { .text = guidance.text, .keys = guidance.keys, .commands = guidance.commands };
        };
        intro.watchExpandShortcutGuide = [routes](QObject* receiver, std::function<void()> changed) {
            if (GlobalShortcutRoutes* known = routes())
                connect(known, &GlobalShortcutRoutes::changed, receiver, std::move(changed));
        };
    }
}

MenuActions::~MenuActions() = default;

void MenuActions::connectMenu(StatusMenu& menu)
{
    m_menu = &menu;
    struct Route {
        const char* name;
        void (MenuActions::*action)();
    };
    static const Route routes[] = {
        { "showExpanders", &MenuActions::showExpanders },
        { "showOrHideExpanderBrowser", &MenuActions::showOrHideExpanderBrowser },
        { "showPreviousView", &MenuActions::showPreviousView },
        { "showNextView", &MenuActions::showNextView },
        { "showAbout", &MenuActions::showAbout },
        { "showPreferences", &MenuActions::showPreferences },
        { "showIntroduction", &MenuActions::showIntroduction },
        { "quit", &MenuActions::quit },
        { "goToSupport", &MenuActions::goToSupport },
        { "goToIntroduction", &MenuActions::goToIntroduction },
        { "goToQuilletLanguage", &MenuActions::goToQuilletLanguage },
        { "showAcknowledgments", &MenuActions::showAcknowledgments },
        { "sendFeedback", &MenuActions::sendFeedback },
        { "checkForUpdates", &MenuActions::checkForUpdates },
    };
    for (const Route& route : routes) {
        if (QAction* item = menu.item(QString::fromLatin1(route.name)))
            connect(item, &QAction::triggered, this, route.action);
    }
    menu.setEditorWindowAvailable(bool(m_showEditor));
    menu.setExpanderBrowserAvailable(bool(m_showOrHideBrowser));
}

void MenuActions::setEditorWindow(std::function<void()> show, std::function<void()> toggleMode)
{
    m_showEditor = std::move(show);
    m_toggleEditorMode = std::move(toggleMode);
    if (m_menu)
        m_menu->setEditorWindowAvailable(bool(m_showEditor));
}

void MenuActions::setExpanderBrowser(std::function<void()> showOrHide)
{
    m_showOrHideBrowser = std::move(showOrHide);
    if (m_menu)
        m_menu->setExpanderBrowserAvailable(bool(m_showOrHideBrowser));
}

IntroWindow* MenuActions::introWindow() const
{
    return m_introWindow;
}

QWidget* MenuActions::aboutWindow() const
{
    return m_about ? m_about->window() : nullptr;
}

void MenuActions::showAbout()
{
    if (!m_about) {
        orv::AboutInfo info = orv::AboutInfo::fromApplication();
        info.name = QStringLiteral("Quillet");
        info.version = QStringLiteral(QUILLET_VERSION);
        info.build = QStringLiteral(QUILLET_BUILD);
        info.copyright = tr("Copyright \u00A9 2026 Orvanta. All rights reserved.");
        info.icon = applicationIcon();
        if (const auto path = m_services.resources->pathForResource("acknowledgements", "html"))
            info.acknowledgementsPath = QString::fromStdString(path->string());
        else
            info.acknowledgementsPath.reset();
        m_about = orv::AboutWindowController::createWithWindow(info);
    }
    orv::bringToFront(m_about->window());
}

QWidget* MenuActions::preferencesWindow() const
{
    return m_preferences ? m_preferences->window() : nullptr;
}

void MenuActions::showExpanders()
{
    if (m_showEditor)
        m_showEditor();
}

void MenuActions::showOrHideExpanderBrowser()
{
    if (m_showOrHideBrowser)
        m_showOrHideBrowser();
}

void MenuActions::showPreviousView()
{
    // With two modes, the previous view and the next one are the same step.
    if (m_toggleEditorMode)
        m_toggleEditorMode();
}

void MenuActions::showNextView()
{
    if (m_toggleEditorMode)
        m_toggleEditorMode();
}

void MenuActions::showPreferences()
{
    if (m_services.preferencesWillShow)
        m_services.preferencesWillShow();
    if (!m_preferences)
        m_preferences = std::make_unique<PreferencesWindowController>(*m_services.defaults, m_services.startAtLogin,
            m_services.shortcutRoutes ? m_services.shortcutRoutes() : nullptr);
    m_preferences->showWindow();
}

void MenuActions::showIntroduction()
{
    // One introduction at a time: asking again brings the open one forward.
    if (!m_introWindow)
        m_introWindow = IntroWindowController(m_services.intro).makeWindow();
    orv::bringToFront(m_introWindow);
}

void MenuActions::quit()
{
    if (m_services.terminate)
        m_services.terminate();
    else
        QCoreApplication::quit();
}

void MenuActions::goToSupport()
{
    openPage(Websites::support());
}

void MenuActions::goToIntroduction()
{
    openPage(Websites::introduction());
}

void MenuActions::goToQuilletLanguage()
{
    openPage(Websites::language());
}

void MenuActions::showAcknowledgments()
{
    if (const auto path = m_services.resources->pathForResource("acknowledgements", "html"))
        QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(path->string())));
}

void MenuActions::sendFeedback()
{
    openPage(Websites::feedback());
}

void MenuActions::checkForUpdates()
{
    m_updater.checkForUpdates();
}

} // namespace quillet
