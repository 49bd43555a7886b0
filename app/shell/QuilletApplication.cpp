#include "shell/QuilletApplication.h"

#include "docs/views/ExpanderBrowserWindowController.h"
#include "editor/EditorWindowController.h"
#include "front/DesktopLauncher.h"
#include "intro/IntroWindow.h"
#include "library/App.h"
#include "platform/AutostartEntry.h"
#include "platform/DesktopEnvironment.h"
#include "platform/ProcessExit.h"
#include "platform/SessionBusConnection.h"
#include "platform/Sounds.h"
#include "platform/StartAtLogin.h"
#include "platform/UserDefaults.h"
#include "platform/UserNotificationController.h"
#include "platform/atspi/AtspiAccessibilityBackend.h"
#include "shell/AppDelegate.h"
#include "shell/MenuActions.h"
#include "shell/MenuController.h"
#include "shell/QuilletService.h"
#include "shell/StatusMenu.h"
#include "text/Settings.h"

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

#include <xcb/xcb.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <optional>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <system_error>
#include <unistd.h>

namespace quillet {
namespace {

Q_LOGGING_CATEGORY(mainLog, "quillet.main")

/// An error a user can act on: assistive technologies are off and cannot be turned on.
class AccessibilityOffError final : public BasicUserError {
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
class ExpanderBrowserOpener final : public ExpanderBrowserViewControllerDelegate {
public:
    explicit ExpanderBrowserOpener(AppDelegate& delegate)
        : m_delegate(delegate)
    {
    }
    void openExpander(ExpanderBrowserViewController&, CustomExpander& expander) override
    {
        m_delegate.openExpander(expander);
    }

private:
    AppDelegate& m_delegate;
};

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

/// The process-wide objects that the parts reach through `shared()`: the settings, the
/// sounds, the accessibility backend and the library's environment, installed when made.
/// This object owns each of them, the slots only point at them: destroyed while the
/// QApplication still exists, it takes them down in order, after the library's waiting change
/// is written. A process that ends inside exit() (a lost display) never destroys it, so
/// the static storage torn down then never holds the last reference to a Qt object.
class ProcessWideServices {
public:
    ProcessWideServices()
        : m_defaults(UserDefaults::makeStandard())
        , m_sounds(std::make_shared<QtSoundPlayer>())
    {
        Settings::setShared(m_defaults);
        Sounds::setShared(&m_sounds);

        auto& notifications = UserNotificationController::shared();
        try {
            m_accessibility = std::make_shared<AtspiAccessibilityBackend>([&notifications] {
                notifications.deliver(UserNotificationBuilder().notification(AccessibilityOffError()));
            });
        } catch (const std::system_error& error) {
            exitForLackOfThread("the accessibility bus", error);
        }
        AccessibilityBackend::setShared(m_accessibility);

        auto environment = App::Environment::headless();
        environment.alerts = std::make_shared<QtUserAlerts>();
        environment.notifications = std::make_shared<DesktopNotifications>(notifications);
        environment.application = std::make_shared<QtApplicationControl>();
        // Typing in the editor changes the library at every key: it is written once the
        // typing pauses or half a second has passed, and at once on quit and when the editor
        // asks.
        environment.saveScheduler = std::make_shared<QtSaveScheduler>();
        // The event loop waits no longer than this for another program's lock on the
        // library; the change then waits and is tried again.
        environment.lockWait = App::lockWaitOnEventLoop;
        m_libraryEnvironment = environment;
        App::configureShared(std::move(environment));
    }

    ~ProcessWideServices()
    {
        // Documentation pages render on the pool and read the settings and the library.
        QThreadPool::globalInstance()->waitForDone();
        App::setShared(nullptr);
        App::configureShared({});
        Sounds::setShared(nullptr);
        AccessibilityBackend::setShared(nullptr);
        Settings::setShared(nullptr);
    }

    ProcessWideServices(const ProcessWideServices&) = delete;
    ProcessWideServices& operator=(const ProcessWideServices&) = delete;

    const std::shared_ptr<UserDefaults>& defaults() const { return m_defaults; }

private:
    std::shared_ptr<UserDefaults> m_defaults;
    Sounds m_sounds;
    std::shared_ptr<AccessibilityBackend> m_accessibility;
    App::Environment m_libraryEnvironment;
};

AppDelegate::Services delegateServices(const ProcessWideServices& processWide)
{
    AppDelegate::Services services;
    services.defaults = processWide.defaults();
    services.notifications = &UserNotificationController::shared();
    return services;
}

// The graphical-session check's connection, and the one the image before a restart left open:
// held until Qt has its own.
xcb_connection_t* checkConnection = nullptr;
int connectionBeforeRestart = -1;
constexpr const char* connectionBeforeRestartVariable = "QUILLET_X_CONNECTION";

/// Whether the X server of DISPLAY accepts a connection from this process; the connection
/// stays open.
bool xServerAnswers()
{
    if (!checkConnection)
        checkConnection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(checkConnection) == 0)
        return true;
    xcb_disconnect(checkConnection);
    checkConnection = nullptr;
    return false;
}

void closeCheckConnections()
{
    if (checkConnection)
        xcb_disconnect(checkConnection);
    checkConnection = nullptr;
    if (connectionBeforeRestart >= 0)
        close(connectionBeforeRestart);
    connectionBeforeRestart = -1;
}

/// Whether a Wayland compositor listens where Qt's Wayland plugin will look: the socket
/// WAYLAND_DISPLAY names, absolute or in XDG_RUNTIME_DIR.
bool waylandCompositorAnswers()
{
    if (!qEnvironmentVariableIsEmpty("WAYLAND_SOCKET"))
        return true; // a connection the compositor made for this process
    std::string path = qEnvironmentVariable("WAYLAND_DISPLAY", QStringLiteral("wayland-0")).toStdString();
    if (!path.starts_with('/')) {
        const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
        if (runtime.isEmpty())
            return false;
        path = runtime.toStdString() + "/" + path;
    }
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof(address.sun_path))
        return false;
    path.copy(address.sun_path, path.size());
    const int socket = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (socket < 0)
        return false;
    const bool answers = ::connect(socket, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0;
    close(socket);
    return answers;
}

} // namespace

/// The application's object graph. Members are made in the order they are declared, each
/// after what it uses, and destroyed in reverse.
struct QuilletApplication::Parts {
    Parts();
    Parts(const Parts&) = delete;
    Parts& operator=(const Parts&) = delete;

    /// The start-up, exporting the D-Bus object on the bus whose name this instance owns:
    /// false when the library cannot be loaded (the user was told why).
    bool start(const QStringList& files, bool showEditor, SessionBusConnection& ownedBus);

    EditorWindowController& editorWindow();
    ExpanderBrowserWindowController& expanderBrowser();

    ProcessWideServices processWide;
    AppDelegate delegate;
    // The status menu and its windows. The menu is made before the defaults are registered;
    // its controller mirrors the shortcuts again when they are.
    StatusMenu menu;
    MenuController menuController;
    StartAtLogin startAtLogin;
    MenuActions menuActions;
    // The editor window: made on first demand and kept for the life of the process.
    std::unique_ptr<EditorWindowController> editor;
    // The expander browser: made on first demand and kept. The delegate closes it whenever
    // the application stops being the active one.
    ExpanderBrowserOpener browserOpener;
    std::unique_ptr<ExpanderBrowserWindowController> browser;
    // Exported once the library is loaded, so that no call finds it missing.
    std::unique_ptr<QuilletService> service;

private:
    MenuActions::Services menuServices();
};

QuilletApplication::Parts::Parts()
    : delegate(delegateServices(processWide))
    , menuController(*processWide.defaults(), menu.expandersMenuItem(), menu.expanderBrowserMenuItem())
    , startAtLogin(*processWide.defaults(), AutostartEntry::forRunningApplication())
    , menuActions(menuServices())
    , browserOpener(delegate)
{
    menuController.awakeFromNib();
    menuActions.connectMenu(menu);
    delegate.setStatusBarMenu(&menu);
    delegate.windows().showIntroduction = [this] { menuActions.showIntroduction(); };
}

MenuActions::Services QuilletApplication::Parts::menuServices()
{
    MenuActions::Services services;
    services.defaults = processWide.defaults().get();
    services.startAtLogin = &startAtLogin;
    services.intro.isAccessibilityTrusted
        = [this](bool prompt) { return delegate.expandingController().isAccessibilityTrusted(prompt); };
    // A shortcut another program held may be free by the time the user looks at them.
    services.preferencesWillShow = [this] {
        if (auto* binder = delegate.shortcutBinder())
            binder->retryUnavailableShortcuts();
    };
    return services;
}

bool QuilletApplication::Parts::start(const QStringList& files, bool showEditor, SessionBusConnection& ownedBus)
{
    delegate.applicationWillFinishLaunching();
    startAtLogin.applyStoredValue();

    // Load the library now, so the first expansion and the D-Bus methods find it warm.
    if (!App::shared().isLoaded())
        return false;
    // Qt's X11 plugin ends the process with exit() when the display goes away (a logout):
    // what was typed last is written then too (after Quit nothing waits any more).
    runWhenProcessExits([] {
        if (App* app = App::sharedIfCreated())
            app->saveBeforeEnd();
    });
    // The name is taken already and the D-Bus object is served only once this is done: calls
    // that come meanwhile wait for it, and the first one is as quick as the next.
    delegate.expandingController().prepareSearch(std::nullopt);

    auto& windows = delegate.windows();
    windows.showExpandersWindow = [this] {
        editorWindow().showWindow();
        // An introduction under way stays in front of the editor.
        if (auto* intro = menuActions.introWindow(); intro && intro->isVisible())
            intro->raise();
    };
    windows.selectBundleInEditor = [this](Bundle& bundle) { editorWindow().select(bundle); };
    windows.selectExpanderInEditor = [this](CustomExpander& expander) { editorWindow().select(expander); };
    windows.showOrHideExpanderBrowser = [this] { expanderBrowser().toggle(); };
    windows.closeExpanderBrowser = [this] { expanderBrowser().close(); };

    // Both windows exist: their items join the status menu. Previous and next view switch the
    // editor between documentation and editing without showing it.
    menuActions.setEditorWindow([this] { delegate.showExpandersWindow(); }, [this] { editorWindow().toggleMode(); });
    menuActions.setExpanderBrowser([this] { delegate.showOrHideExpanderBrowser(); });

    service = std::make_unique<QuilletService>(delegate);
    if (!service->exportOn(ownedBus))
        qCWarning(mainLog) << "The D-Bus object could not be exported";

    delegate.applicationDidFinishLaunching();
    if (!files.isEmpty())
        QTimer::singleShot(0, &delegate, [this, files] { delegate.importFiles(files); });
    if (showEditor)
        QTimer::singleShot(0, &delegate, [this] { delegate.showExpandersWindow(); });
    else if (!QSystemTrayIcon::isSystemTrayAvailable())
        qCInfo(mainLog) << "No tray on this desktop: start Quillet again to open its editor window";
    return true;
}

EditorWindowController& QuilletApplication::Parts::editorWindow()
{
    if (!editor) {
        editor = std::make_unique<EditorWindowController>(App::shared().bundleStore(),
            EditorServices { .alerts = std::make_shared<QtUserAlerts>(), .fileDialogs = {}, .urlOpener = {} });
        // Without a tray, this bar is the way to the preferences, the help and Quit.
        menu.fillMenuBar(*editor->window()->menuBar());
    }
    return *editor;
}

ExpanderBrowserWindowController& QuilletApplication::Parts::expanderBrowser()
{
    if (!browser) {
        browser = std::make_unique<ExpanderBrowserWindowController>();
        browser->contentViewController()->setDelegate(&browserOpener);
    }
    return *browser;
}

bool QuilletApplication::hasGraphicalSession()
{
    if (const QByteArray held = qgetenv(connectionBeforeRestartVariable); !held.isEmpty()) {
        bool number = false;
        const int descriptor = held.toInt(&number);
        if (number && descriptor > STDERR_FILENO && fcntl(descriptor, F_SETFD, FD_CLOEXEC) == 0)
            connectionBeforeRestart = descriptor;
        qunsetenv(connectionBeforeRestartVariable);
    }
    if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        return true; // the user chose the platform
    // Qt tries the Wayland compositor first, then the X server; when neither answers it
    // aborts the process.
    if (!qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") && waylandCompositorAnswers()) {
        const QDir platforms(QLibraryInfo::path(QLibraryInfo::PluginsPath) + QStringLiteral("/platforms"));
        if (!platforms.entryList({ QStringLiteral("libqwayland*.so") }, QDir::Files).isEmpty())
            return true;
    }
    return !qEnvironmentVariableIsEmpty("DISPLAY") && xServerAnswers();
}

void QuilletApplication::holdDisplayAcrossRestart()
{
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        return;
    // Never disconnected: the next image closes the descriptor once Qt has its connection.
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection))
        return;
    const int descriptor = xcb_get_file_descriptor(connection);
    if (fcntl(descriptor, F_SETFD, 0) == 0)
        qputenv(connectionBeforeRestartVariable, QByteArray::number(descriptor));
}

QuilletApplication::QuilletApplication(QApplication& application)
{
    // The QApplication has its display connection: the check's may go.
    closeCheckConnections();
    quitEventLoopOnTerminationSignals(&application);
    QApplication::setApplicationName(QStringLiteral("Quillet"));
    // The desktop adds it to every window title: "Swift Basic — Quillet".
    QApplication::setApplicationDisplayName(QStringLiteral("Quillet"));
    QApplication::setOrganizationName(QStringLiteral("orvanta"));
    QApplication::setApplicationVersion(QStringLiteral(QUILLET_VERSION));
    QApplication::setWindowIcon(applicationIcon());
    // A tray application: closing its last window leaves it running in the panel.
    QApplication::setQuitOnLastWindowClosed(false);

    m_restarted = qEnvironmentVariableIsSet(restartedVariable);
    qunsetenv(restartedVariable); // never handed on to the programs this one starts
    m_files = QApplication::arguments().mid(1);
    m_showEditor = m_files.removeAll(QString::fromLatin1(showEditorOption)) > 0;
}

QuilletApplication::~QuilletApplication() = default;

int QuilletApplication::run()
{
    // The service's own connection holds the name and serves the object; Qt's carries the
    // calls to another instance. The bus is reached off the event loop, which meanwhile
    // answers signals: a start that waits for its bus still ends on SIGTERM.
    m_serviceBus = std::make_unique<SessionBusConnection>(std::vector<std::string> { QuilletService::serviceName });
    SessionBusConnection* bus = m_serviceBus.get();
    QObject::connect(bus, &SessionBusConnection::connected, bus, [this] { startParts(); });
    QObject::connect(bus, &SessionBusConnection::nameTaken, bus, [this] { QCoreApplication::exit(handOver()); });
    // Never half alive: without its name the application would go on unreachable, holding
    // its shortcuts, while a second one starts beside it. It ends as after Quit, writing what
    // waits and letting the shortcuts go.
    QObject::connect(bus, &SessionBusConnection::lost, bus, [this] {
        if (!m_parts) {
            std::fprintf(stderr, "quillet-app: no session bus answers; Quillet needs one\n");
            QCoreApplication::exit(1);
            return;
        }
        qCWarning(mainLog) << "Quillet lost the session bus and ends";
        QCoreApplication::quit();
    });
    // The D-Bus methods are served again, but Qt's own connection to the bus (the
    // notifications, the panel's tray, the appearance) and the accessibility bus are gone for
    // good: a new process reaches them afresh.
    QObject::connect(bus, &SessionBusConnection::reconnected, bus, [this] {
        qCWarning(mainLog) << "The session bus restarted: Quillet starts again";
        m_restart = true;
        QCoreApplication::quit();
    });
    const int status = QApplication::exec();
    if (m_parts)
        m_parts->delegate.applicationWillTerminate();
    return status;
}

void QuilletApplication::startParts()
{
    m_parts = std::make_unique<Parts>();
    if (!m_parts->start(m_files, m_showEditor, *m_serviceBus))
        QCoreApplication::exit(1);
}

int QuilletApplication::handOver() const
{
    if (m_restarted)
        return 0; // started meanwhile by the bus for a caller: that one serves
    const QDBusConnection bus = QDBusConnection::sessionBus();
    // Another instance runs: it takes the files, or else shows its editor window, so that
    // starting Quillet again reaches it also where there is no tray.
    if (!m_files.isEmpty() && !handFilesToRunningInstance(bus, m_files)) {
        std::fprintf(stderr, "quillet-app: the running instance did not take the files\n");
        return 1;
    }
    if (m_files.isEmpty() && !activateRunningInstance(bus)) {
        std::fprintf(stderr, "quillet-app: the running instance did not answer\n");
        return 1;
    }
    return 0;
}

} // namespace quillet
