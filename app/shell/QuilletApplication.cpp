#include "shell/QuilletApplication.h"

#include "docs/views/ExpanderBrowserWindowController.h"
#include "editor/EditorWindowController.h"
#include "front/DesktopLauncher.h"
#include "intro/IntroWindow.h"
#include "library/Alert.h"
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
#include "platform/atspi/QtAccessibilityBridge.h"
#include "preferences/ShortcutRecorder.h"
#include "shell/AppDelegate.h"
#include "shell/MenuActions.h"
#include "shell/MenuController.h"
#include "shell/PopupAccessibility.h"
#include "shell/QuilletService.h"
#include "shell/StatusMenu.h"
#include "text/Settings.h"
#include "text/UnicodeConversion.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusReply>
#include <QDir>
#include <QLibraryInfo>
#include <QLoggingCategory>
#include <QMenuBar>
#include <QSocketNotifier>
#include <QSystemTrayIcon>
#include <QThreadPool>
#include <QTimer>

#include <xcb/xcb.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <optional>
#include <string>
#include <string_view>
#include <sys/socket.h>
#include <sys/un.h>
#include <system_error>
#include <unistd.h>
#include <utility>
#include <vector>

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

/// The application's modal alerts, which tell while one shows what it says: a D-Bus call
/// refused meanwhile names it.
class ShownAlerts final : public UserAlerts {
public:
    void runModal(const Alert& alert) override
    {
        const std::optional<Alert> outer = std::exchange(m_showing, alert);
        m_alerts.runModal(alert);
        m_showing = outer;
    }
    /// The alert showing now: its title and text.
    std::optional<std::string> showing() const
    {
        if (!m_showing)
            return std::nullopt;
        return toUtf8(m_showing->messageText) + ": " + toUtf8(m_showing->informativeText);
    }

private:
    QtUserAlerts m_alerts;
    std::optional<Alert> m_showing;
};

int signalPipe[2] = { -1, -1 };
// Set by a termination signal: the process ends, also when it was about to start again.
std::atomic<bool> endRequested { false };

void quitOnSignal(int)
{
    endRequested = true;
    startEndDeadline();
    const char byte = 1;
    [[maybe_unused]] const auto written = write(signalPipe[1], &byte, 1);
}

/// Ends the event loop on SIGTERM, SIGINT and SIGHUP (a logout, Ctrl+C), so the application
/// ends as after Quit: the library's last changes are written and everything is destroyed
/// in order. When the main thread is stuck and cannot, the process ends anyway
/// (watchForStuckEnd).
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
        environment.alerts = m_alerts;
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
    /// The library's alert showing now, when one does.
    std::optional<std::string> alertShowing() const { return m_alerts->showing(); }

private:
    std::shared_ptr<ShownAlerts> m_alerts = std::make_shared<ShownAlerts>();
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
    ~Parts();
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
    // Exported as the library starts loading: no call finds it missing, and one made while
    // the library cannot be loaded is refused at once, naming why.
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
    // While a shortcut is recorded, its keys reach the recorder, not the action they run.
    ShortcutRecorder::setRecordingObserver([this](bool recording) {
        if (auto* binder = delegate.shortcutBinder())
            recording ? binder->suspendGrabs() : binder->resumeGrabs();
    });
}

QuilletApplication::Parts::~Parts()
{
    ShortcutRecorder::setRecordingObserver(nullptr);
}

MenuActions::Services QuilletApplication::Parts::menuServices()
{
    MenuActions::Services services;
    services.defaults = processWide.defaults().get();
    services.startAtLogin = &startAtLogin;
    services.intro.isAccessibilityTrusted
        = [this](bool prompt) { return delegate.expandingController().isAccessibilityTrusted(prompt); };
    // A shortcut another program held may be free by the time the user looks at them.
    services.shortcutRoutes = [this] { return delegate.shortcutRoutes(); };
    services.preferencesWillShow = [this] {
        if (auto* binder = delegate.shortcutBinder())
            binder->retryUnavailableShortcuts();
        // The user may have given the desktop's shortcuts other keys in its settings.
        if (auto* portal = delegate.shortcutsPortal())
            portal->refresh();
    };
    return services;
}

bool QuilletApplication::Parts::start(const QStringList& files, bool showEditor, SessionBusConnection& ownedBus)
{
    delegate.applicationWillFinishLaunching();
    startAtLogin.applyStoredValue();

    // Served before the library loads: nothing is dispatched until the start returns to the
    // event loop, unless the load shows why it failed, and then every call hears it at once.
    service = std::make_unique<QuilletService>(delegate);
    service->setLoadingProblem([this] { return processWide.alertShowing(); });
    if (!service->exportOn(ownedBus))
        qCWarning(mainLog) << "The D-Bus object could not be exported";

    // Load the library now, so the first expansion and the D-Bus methods find it warm.
    if (!App::shared().isLoaded())
        return false;
    // Qt's X11 plugin ends the process with exit() when the display goes away (a logout):
    // what was typed last is written then too (after Quit nothing waits any more).
    runWhenProcessExits([] {
        if (App* app = App::sharedIfCreated())
            app->saveBeforeEnd();
    });
    // The name is taken already and the D-Bus calls are dispatched only once this is done:
    // calls that come meanwhile wait for it, and the first one is as quick as the next.
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

    delegate.applicationDidFinishLaunching();
    // Imported as the files of OpenFiles are: after the start, or at the end when it comes first.
    if (!service->openFiles(files))
        qCWarning(mainLog) << "A path is longer than the system allows: no file was opened";
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

void QuilletApplication::startAgainInPlace(char* const* arguments, int starts)
{
    // The X server's connection is held open for the next image until Qt has its own; it is
    // never disconnected here.
    std::string held;
    if (const char* display = std::getenv("DISPLAY"); display && *display) {
        xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
        const int descriptor = xcb_connection_has_error(connection) ? -1 : xcb_get_file_descriptor(connection);
        if (descriptor >= 0 && fcntl(descriptor, F_SETFD, 0) == 0)
            held = std::string(connectionBeforeRestartVariable) + "=" + std::to_string(descriptor);
    }
    // The environment is built rather than changed: this may run while the main thread is
    // stuck inside a library that reads it.
    const std::string restarted = std::string(restartedVariable) + "=" + std::to_string(starts);
    std::vector<char*> environment;
    for (char** variable = environ; *variable; ++variable) {
        const std::string_view entry(*variable);
        if (!entry.starts_with(std::string(restartedVariable) + "=")
            && !entry.starts_with(std::string(connectionBeforeRestartVariable) + "="))
            environment.push_back(*variable);
    }
    environment.push_back(const_cast<char*>(restarted.c_str()));
    if (!held.empty())
        environment.push_back(held.data());
    environment.push_back(nullptr);
    execve("/proc/self/exe", arguments, environment.data());
    std::perror("quillet-app: could not start again");
}

void QuilletApplication::watchTheStart(char* const* arguments)
{
    const int starts = std::max(0, qEnvironmentVariableIntValue(restartedVariable)) + 1;
    quillet::watchTheStart(stuckStartBound, [arguments, starts] {
        if (endRequested) {
            std::fprintf(stderr, "quillet-app: asked to end while the start is stuck: Quillet ends\n");
        } else if (starts > maximumStartsInARow) {
            std::fprintf(stderr, "quillet-app: the start is stuck, as %d starts in a row were; Quillet ends\n",
                maximumStartsInARow);
        } else {
            std::fprintf(stderr, "quillet-app: the start is stuck waiting on a bus: Quillet starts again\n");
            startAgainInPlace(arguments, starts);
        }
        _exit(1);
    });
}

QuilletApplication::QuilletApplication(QApplication& application)
{
    // The QApplication has its display connection: the check's may go.
    closeCheckConnections();
    watchForStuckEnd(endBound);
    quitEventLoopOnTerminationSignals(&application);
    QApplication::setApplicationName(QStringLiteral("Quillet"));
    // The desktop adds it to every window title: "Swift Basic — Quillet".
    QApplication::setApplicationDisplayName(QStringLiteral("Quillet"));
    QApplication::setOrganizationName(QStringLiteral("orvanta"));
    QApplication::setApplicationVersion(QStringLiteral(QUILLET_VERSION));
    QApplication::setWindowIcon(applicationIcon());
    // A tray application: closing its last window leaves it running in the panel.
    QApplication::setQuitOnLastWindowClosed(false);

    m_startsInARow = std::max(0, qEnvironmentVariableIntValue(restartedVariable));
    qunsetenv(restartedVariable); // never handed on to the programs this one starts
    m_files = QApplication::arguments().mid(1);
    m_showEditor = m_files.removeAll(QString::fromLatin1(showEditorOption)) > 0;
    // `quillet action NAME` started this instance: the action runs once it has started.
    if (const qsizetype at = m_files.indexOf(QString::fromLatin1(actionOption)); at >= 0) {
        m_action = QStringLiteral("");
        if (at + 1 < m_files.size())
            m_action = m_files.takeAt(at + 1);
        m_files.removeAt(at);
    }
    // Qt's accessibility support is made before the name is taken, so that no caller finds
    // the application waiting on a stuck accessibility bus.
    showPopupsToAssistiveTechnologies();
    startQtAccessibilityBridge(accessibilityBusBound);
    startGoesOn();
}

QuilletApplication::~QuilletApplication() = default;

int QuilletApplication::run()
{
    if (m_action && !globalActionNamed(m_action->toStdString())) {
        std::fprintf(stderr, "quillet-app: unknown action %s\n", qPrintable(*m_action));
        return 64;
    }
    // The start goes on while the event loop turns (waiting for the bus, for Qt's answer);
    // the parts' own start is not watched.
    QTimer startProgress;
    QObject::connect(&startProgress, &QTimer::timeout, [&startProgress] {
        // Once the start is over, the idle application has no reason to wake.
        if (startIsOver())
            startProgress.stop();
        else
            startGoesOn();
    });
    startProgress.start(int(stuckStartBound.count() / 4));
    reachTheBus();
    const int status = QApplication::exec();
    startEnded();
    // The end, the last save included, has a bound too: a stuck end ends all the same.
    startEndDeadline();
    if (m_parts) {
        // What callers asked before the end is answered, and their files imported.
        if (m_parts->service)
            m_parts->service->finish();
        m_parts->delegate.applicationWillTerminate();
    }
    return status;
}

void QuilletApplication::reachTheBus()
{
    // The service's own connection holds the name and serves the object; Qt's carries the
    // calls to another instance. The bus is reached off the event loop, which meanwhile
    // answers signals: a start that waits for its bus still ends on SIGTERM.
    if (m_serviceBus)
        m_serviceBus.release()->deleteLater(); // it may be telling its signal now
    m_serviceBus = std::make_unique<SessionBusConnection>(std::vector<std::string> { QuilletService::serviceName });
    SessionBusConnection* bus = m_serviceBus.get();
    QObject::connect(bus, &SessionBusConnection::connected, bus, [this] { startOnceQtReachesTheBus(); });
    QObject::connect(bus, &SessionBusConnection::nameTaken, bus, [this] {
        startEnded();
        const int status = handOver();
        // The instance asked ended without an answer (it was just killed, say): the name is
        // to be had, and this one serves. A few times at most: another start may take it first.
        constexpr int mostAttempts = 3;
        if (status == ownerWentAway && ++m_handOverAttempts < mostAttempts) {
            qCInfo(mainLog) << "The running instance went away: Quillet takes its place";
            reachTheBus();
            return;
        }
        if (status == ownerWentAway)
            std::fprintf(stderr, "quillet-app: the running instance did not answer\n");
        QCoreApplication::exit(status == ownerWentAway ? 1 : status);
    });
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
        startAgain();
    });
}

bool QuilletApplication::wantsRestart() const
{
    return m_restart && !endRequested;
}

void QuilletApplication::startAgain()
{
    // Counted while no start gets as far as its parts, so that a bus that never lets one do
    // so ends the application rather than restarting it without end.
    const int starts = m_parts ? 1 : m_startsInARow + 1;
    if (starts > maximumStartsInARow) {
        std::fprintf(
            stderr, "quillet-app: the session bus went away at each of %d starts; Quillet ends\n", maximumStartsInARow);
        QCoreApplication::exit(1);
        return;
    }
    m_startsInARow = starts;
    m_restart = true;
    QCoreApplication::quit();
}

void QuilletApplication::startOnceQtReachesTheBus()
{
    // Qt's own connection (the tray, the notifications, the appearance, its accessibility
    // support) must be on this bus too. One that Qt made before the bus went and came back is
    // dead for good, and only a new process reaches the bus anew: the parts start once Qt's
    // connection has answered, within the bound of one attempt of the service's own.
    QDBusConnection qtBus = QDBusConnection::sessionBus();
    if (!qtBus.isConnected()) {
        qCWarning(mainLog) << "Qt's connection to the session bus is gone: Quillet starts again";
        startAgain();
        return;
    }
    const QDBusMessage question = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"),
        QStringLiteral("/org/freedesktop/DBus"), QStringLiteral("org.freedesktop.DBus"), QStringLiteral("GetId"));
    auto* answer = new QDBusPendingCallWatcher(
        qtBus.asyncCall(question, SessionBusConnection::attemptMilliseconds), m_serviceBus.get());
    // Qt's own timeout may never come on a connection that died under the call: the bound
    // is kept here too.
    auto* bound = new QTimer(answer);
    bound->setSingleShot(true);
    const auto decide = [this, answer, bound](const QString& problem) {
        bound->stop();
        answer->disconnect();
        answer->deleteLater();
        if (problem.isEmpty()) {
            startParts();
            return;
        }
        qCWarning(mainLog) << "Qt's connection to the session bus does not answer:" << problem
                           << "- Quillet starts again";
        startAgain();
    };
    QObject::connect(answer, &QDBusPendingCallWatcher::finished, m_serviceBus.get(),
        [answer, decide] { decide(answer->isError() ? answer->error().message() : QString()); });
    QObject::connect(bound, &QTimer::timeout, m_serviceBus.get(), [decide] { decide(QStringLiteral("no answer")); });
    bound->start(SessionBusConnection::attemptMilliseconds);
}

void QuilletApplication::startParts()
{
    startEnded();
    m_parts = std::make_unique<Parts>();
    if (!m_parts->start(m_files, m_showEditor, *m_serviceBus)) {
        QCoreApplication::exit(1);
        return;
    }
    if (m_action) {
        const GlobalAction action = *globalActionNamed(m_action->toStdString());
        QTimer::singleShot(0, &m_parts->delegate, [this, action] { m_parts->delegate.runGlobalAction(action); });
    }
}

int QuilletApplication::handOver() const
{
    if (m_startsInARow > 0)
        return 0; // started meanwhile by the bus for a caller: that one serves
    const QDBusConnection bus = QDBusConnection::sessionBus();
    const QString name = QString::fromLatin1(QuilletService::serviceName);
    const auto ownerNow = [&bus, &name] {
        const QDBusReply<QString> owner = bus.interface()->serviceOwner(name);
        return owner.isValid() ? owner.value() : QString();
    };
    const QString asked = ownerNow();
    if (asked.isEmpty())
        return ownerWentAway;
    if (m_action) {
        if (activateActionOfRunningInstance(bus, *m_action))
            return 0;
        if (ownerNow() != asked)
            return ownerWentAway;
        std::fprintf(stderr, "quillet-app: the running instance did not run the action\n");
        return 1;
    }
    // Another instance runs: it takes the files, or else shows its editor window, so that
    // starting Quillet again reaches it also where there is no tray.
    const bool answered = m_files.isEmpty() ? activateRunningInstance(bus) : handFilesToRunningInstance(bus, m_files);
    if (answered)
        return 0;
    if (ownerNow() != asked)
        return ownerWentAway;
    std::fprintf(stderr,
        m_files.isEmpty() ? "quillet-app: the running instance did not answer\n"
                          : "quillet-app: the running instance did not take the files\n");
    return 1;
}

} // namespace quillet
