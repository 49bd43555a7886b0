// quillet-app: the tray application. One instance per session: a second start hands its
// files to the first over D-Bus, or else asks it to show the editor window, and exits.
#include "docs/views/ExpanderBrowserWindowController.h"
#include "editor/EditorWindowController.h"
#include "library/App.h"
#include "library/ResourceLocator.h"
#include "shell/AppDelegate.h"
#include "shell/AtspiAccessibility.h"
#include "shell/AutostartEntry.h"
#include "shell/DesktopEnvironment.h"
#include "shell/DesktopLauncher.h"
#include "shell/IntroWindow.h"
#include "shell/MenuActions.h"
#include "shell/MenuController.h"
#include "shell/QuilletService.h"
#include "shell/SessionBusConnection.h"
#include "shell/StartAtLogin.h"
#include "shell/StatusMenu.h"
#include "shell/UserDefaults.h"
#include "text/Settings.h"

#include "shell/Sounds.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDir>
#include <QLibraryInfo>
#include <QLoggingCategory>
#include <QMenuBar>
#include <QSocketNotifier>
#include <QSystemTrayIcon>
#include <QThreadPool>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <memory>
#include <sys/socket.h>
#include <unistd.h>

namespace {

Q_LOGGING_CATEGORY(mainLog, "quillet.main")

/// An error a user can act on: assistive technologies are off and cannot be turned on.
class AccessibilityOffError final : public quillet::BasicUserError {
public:
    AccessibilityOffError()
        : BasicUserError(u"Quillet cannot read your editor",
            u"Turn on assistive technologies in your desktop's accessibility settings, then start "
            u"your editor again.")
    {
    }
};

/// Hands the expander chosen in the browser to the application delegate, which shows it in
/// the editor window and closes the browser.
class ExpanderBrowserOpener final : public quillet::ExpanderBrowserViewControllerDelegate {
public:
    explicit ExpanderBrowserOpener(quillet::AppDelegate& delegate)
        : m_delegate(delegate)
    {
    }
    void openExpander(quillet::ExpanderBrowserViewController&, quillet::CustomExpander& expander) override
    {
        m_delegate.openExpander(expander);
    }

private:
    quillet::AppDelegate& m_delegate;
};

/// Whether Qt will find a display to open; without one QApplication aborts the process.
bool hasGraphicalSession()
{
    if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        return true; // the user chose the platform
    if (!qEnvironmentVariableIsEmpty("DISPLAY"))
        return true;
    if (qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        return false;
    const QDir platforms(QLibraryInfo::path(QLibraryInfo::PluginsPath) + QStringLiteral("/platforms"));
    return !platforms.entryList({ QStringLiteral("libqwayland*.so") }, QDir::Files).isEmpty();
}

int signalPipe[2] = { -1, -1 };

void quitOnSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const auto written = write(signalPipe[1], &byte, 1);
}

/// Ends the event loop on SIGTERM, SIGINT and SIGHUP (a logout, Ctrl+C), so the application
/// ends as after Quit: the library's last changes are written and everything is destroyed
/// in order.
void quitEventLoopOnTerminationSignals(QObject* context)
{
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0)
        return;
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, context);
    QObject::connect(notifier, &QSocketNotifier::activated, context, [] {
        char byte = 0;
        [[maybe_unused]] const auto count = read(signalPipe[0], &byte, 1);
        QCoreApplication::quit();
    });
    struct sigaction action { };
    action.sa_handler = quitOnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : { SIGTERM, SIGINT, SIGHUP })
        sigaction(signal, &action, nullptr);
}

/// Destroys the process-wide objects that hold Qt objects while the QApplication still
/// exists; left to static destruction they would go after it, when Qt Multimedia's and
/// Qt's own state is gone. The library's waiting change is written first.
struct SharedObjectsTeardown {
    SharedObjectsTeardown() = default;
    SharedObjectsTeardown(const SharedObjectsTeardown&) = delete;
    SharedObjectsTeardown& operator=(const SharedObjectsTeardown&) = delete;
    ~SharedObjectsTeardown()
    {
        // Documentation pages render on the pool and read the settings and the library.
        QThreadPool::globalInstance()->waitForDone();
        quillet::App::setShared(nullptr);
        quillet::App::configureShared({});
        quillet::Sounds::setShared(nullptr);
        quillet::AccessibilityBackend::setShared(nullptr);
        quillet::Settings::setShared(nullptr);
    }
};

} // namespace

int main(int argc, char** argv)
{
    if (!hasGraphicalSession()) {
        std::fprintf(stderr,
            "quillet-app: no graphical session: neither DISPLAY nor WAYLAND_DISPLAY (with Qt's Wayland "
            "platform plugin) is set. Start Quillet from your desktop session; `quillet expand` works "
            "without one.\n");
        return 1;
    }
    QApplication application(argc, argv);
    const SharedObjectsTeardown teardown;
    quitEventLoopOnTerminationSignals(&application);
    QApplication::setApplicationName(QStringLiteral("Quillet"));
    // The desktop adds it to every window title: "Swift Basic — Quillet".
    QApplication::setApplicationDisplayName(QStringLiteral("Quillet"));
    QApplication::setOrganizationName(QStringLiteral("orvanta"));
    QApplication::setApplicationVersion(QStringLiteral(QUILLET_VERSION));
    QApplication::setWindowIcon(quillet::applicationIcon());
    // A tray application: closing its last window leaves it running in the panel.
    QApplication::setQuitOnLastWindowClosed(false);

    // `quillet` alone, which the application menu runs, asks for the editor window; the
    // start at login does not.
    QStringList files = QApplication::arguments().mid(1);
    const bool showEditor = files.removeAll(QString::fromLatin1(quillet::showEditorOption)) > 0;

    // The service's own connection holds the name and serves the object; Qt's carries the
    // calls to another instance.
    quillet::SessionBusConnection serviceBus;
    QDBusConnection bus = QDBusConnection::sessionBus();
    bool ownsService = false;
    if (serviceBus.isConnected()) {
        ownsService = serviceBus.requestName(quillet::QuilletService::serviceName);
        if (!ownsService) {
            // Another instance runs: it takes the files, or else shows its editor window, so
            // that starting Quillet again reaches it also where there is no tray.
            if (!files.isEmpty() && !quillet::handFilesToRunningInstance(bus, files)) {
                std::fprintf(stderr, "quillet-app: the running instance did not take the files\n");
                return 1;
            }
            if (files.isEmpty() && !quillet::activateRunningInstance(bus)) {
                std::fprintf(stderr, "quillet-app: the running instance did not answer\n");
                return 1;
            }
            return 0;
        }
    } else {
        qCWarning(mainLog) << "No session bus: Quillet runs without its D-Bus methods";
    }

    auto defaults = quillet::UserDefaults::makeStandard();
    quillet::Settings::setShared(defaults);

    auto& notifications = quillet::UserNotificationController::shared();
    quillet::AccessibilityBackend::setShared(std::make_shared<quillet::AtspiAccessibilityBackend>([&notifications] {
        notifications.deliver(quillet::UserNotificationBuilder().notification(AccessibilityOffError()));
    }));

    auto environment = quillet::App::Environment::headless();
    environment.alerts = std::make_shared<quillet::QtUserAlerts>();
    environment.notifications = std::make_shared<quillet::DesktopNotifications>(notifications);
    environment.application = std::make_shared<quillet::QtApplicationControl>();
    // Typing in the editor changes the library at every key: it is written once the typing
    // pauses or half a second has passed, and at once on quit and when the editor asks.
    environment.saveScheduler = std::make_shared<quillet::QtSaveScheduler>();
    quillet::App::configureShared(std::move(environment));

    quillet::AppDelegate::Services services;
    services.defaults = defaults;
    services.notifications = &notifications;
    quillet::AppDelegate delegate(std::move(services));

    // The status menu and its windows. The menu is made before the defaults are registered;
    // its controller mirrors the shortcuts again when they are.
    quillet::StatusMenu menu;
    quillet::MenuController menuController(*defaults, menu.expandersMenuItem(), menu.expanderBrowserMenuItem());
    menuController.awakeFromNib();
    quillet::StartAtLogin startAtLogin(*defaults, quillet::AutostartEntry::forRunningApplication());
    quillet::MenuActions::Services menuServices;
    menuServices.defaults = defaults.get();
    menuServices.startAtLogin = &startAtLogin;
    menuServices.intro.isAccessibilityTrusted
        = [&delegate](bool prompt) { return delegate.expandingController().isAccessibilityTrusted(prompt); };
    // A shortcut another program held may be free by the time the user looks at them.
    menuServices.preferencesWillShow = [&delegate] {
        if (auto* binder = delegate.shortcutBinder())
            binder->retryUnavailableShortcuts();
    };
    quillet::MenuActions menuActions(std::move(menuServices));
    menuActions.connectMenu(menu);
    delegate.setStatusBarMenu(&menu);
    delegate.windows().showIntroduction = [&menuActions] { menuActions.showIntroduction(); };

    delegate.applicationWillFinishLaunching();
    startAtLogin.applyStoredValue();

    // Load the library now, so the first expansion and the D-Bus methods find it warm.
    if (!quillet::App::shared().isLoaded())
        return 1;

    // The editor window: made on first demand and kept for the life of the process.
    std::unique_ptr<quillet::EditorWindowController> editor;
    auto editorWindow = [&editor, &menu]() -> quillet::EditorWindowController& {
        if (!editor) {
            editor = std::make_unique<quillet::EditorWindowController>(quillet::App::shared().bundleStore(),
                quillet::EditorServices {
                    .alerts = std::make_shared<quillet::QtUserAlerts>(), .fileDialogs = {}, .urlOpener = {} });
            // Without a tray, this bar is the way to the preferences, the help and Quit.
            menu.fillMenuBar(*editor->window()->menuBar());
        }
        return *editor;
    };
    auto& windows = delegate.windows();
    windows.showExpandersWindow = [editorWindow, &menuActions] {
        editorWindow().showWindow();
        // An introduction under way stays in front of the editor.
        if (auto* intro = menuActions.introWindow(); intro && intro->isVisible())
            intro->raise();
    };
    windows.selectBundleInEditor = [editorWindow](quillet::Bundle& bundle) { editorWindow().select(bundle); };
    windows.selectExpanderInEditor
        = [editorWindow](quillet::CustomExpander& expander) { editorWindow().select(expander); };

    // The expander browser: made on first demand and kept. The delegate closes it whenever the
    // application stops being the active one.
    ExpanderBrowserOpener browserOpener(delegate);
    std::unique_ptr<quillet::ExpanderBrowserWindowController> browser;
    auto expanderBrowser = [&browser, &browserOpener]() -> quillet::ExpanderBrowserWindowController& {
        if (!browser) {
            browser = std::make_unique<quillet::ExpanderBrowserWindowController>();
            browser->contentViewController()->setDelegate(&browserOpener);
        }
        return *browser;
    };
    windows.showOrHideExpanderBrowser = [expanderBrowser] { expanderBrowser().toggle(); };
    windows.closeExpanderBrowser = [expanderBrowser] { expanderBrowser().close(); };

    // Both windows exist: their items join the status menu. Previous and next view switch the
    // editor between documentation and editing without showing it.
    menuActions.setEditorWindow(
        [&delegate] { delegate.showExpandersWindow(); }, [editorWindow] { editorWindow().toggleMode(); });
    menuActions.setExpanderBrowser([&delegate] { delegate.showOrHideExpanderBrowser(); });

    quillet::QuilletService service(delegate);
    if (ownsService && !service.exportOn(serviceBus))
        qCWarning(mainLog) << "The D-Bus object could not be exported";

    delegate.applicationDidFinishLaunching();
    if (!files.isEmpty())
        QTimer::singleShot(0, &delegate, [&delegate, files] { delegate.importFiles(files); });
    if (showEditor)
        QTimer::singleShot(0, &delegate, [&delegate] { delegate.showExpandersWindow(); });
    else if (!QSystemTrayIcon::isSystemTrayAvailable())
        qCInfo(mainLog) << "No tray on this desktop: start Quillet again to open its editor window";

    const int status = QApplication::exec();
    delegate.applicationWillTerminate();
    return status;
}
