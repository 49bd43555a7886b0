#include "shell/AppDelegate.h"

#include "docs/views/QtText.h"
#include "front/Accessibility.h"
#include "library/App.h"
#include "library/Bundle.h"
#include "library/BundleStore.h"
#include "library/NoEditorError.h"
#include "platform/GlobalShortcutBinder.h"
#include "platform/Sounds.h"
#include "platform/UserDefaults.h"
#include "platform/X11KeyGrabber.h"
#include "text/Localized.h"
#include "text/UnicodeConversion.h"
#include "text/UserErrorDescriptionType.h"

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QMenu>
#include <QSystemTrayIcon>

#include <algorithm>

namespace quillet {
namespace {

Q_LOGGING_CATEGORY(appLog, "quillet.app")
// One line per press of the expand shortcut with its outcome and duration (off by default).
Q_LOGGING_CATEGORY(expansionLog, "quillet.expansion", QtWarningMsg)

void runOrLog(const std::function<void()>& hook, const char* what)
{
    if (hook)
        hook();
    else
        qCInfo(appLog) << what << "is not available in this build";
}

} // namespace

AppDelegate::AppDelegate(Services services, QObject* parent)
    : QObject(parent)
    , m_defaults(std::move(services.defaults))
    , m_keyGrabber(std::move(services.keyGrabber))
    , m_notifications(services.notifications ? services.notifications : &UserNotificationController::shared())
    , m_appearanceController(std::make_unique<AppearanceController>(
          services.appearanceBus ? *services.appearanceBus : QDBusConnection::sessionBus()))
    , m_portalBus(std::move(services.portalBus))
    , m_waylandSession(services.waylandSession)
    , m_wantsStatusItem(services.statusItem)
{
    if (!m_defaults)
        m_defaults = UserDefaults::makeStandard();
    m_statusIconReset.setSingleShot(true);
    m_statusIconReset.setInterval(statusIconResetDelayMilliseconds);
    connect(&m_statusIconReset, &QTimer::timeout, this, [this] { setStatusIcon(false); });
    if (auto* application = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        connect(application, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
            if (state != Qt::ApplicationActive)
                applicationDidResignActive();
        });
    }
}

AppDelegate::~AppDelegate()
{
    if (m_notifications->delegate() == this)
        m_notifications->setDelegate(nullptr);
    m_expandingController.setDelegate(nullptr);
    delete m_statusBarIcon;
}

void AppDelegate::applicationWillFinishLaunching()
{
    m_defaults->registerApplicationDefaults();
    m_notifications->setDelegate(this);
    m_appearanceController->setDelegate(this);
    m_expandingController.setDelegate(this);
    // Texts that refuse other programs' edits (browsers' text areas) are written through the
    // keyboard, where the desktop lets a program type.
    if (QGuiApplication::platformName() == QLatin1String("xcb")) {
        auto paste = std::make_shared<ClipboardPaster>();
        if (paste->isAvailable()) {
            m_keyboardPaste = paste;
            m_expandingController.setKeyboardPaste(std::move(paste));
        }
    }
    bindGlobalShortcuts();
    setUpStatusItem();
    if (!m_defaults->boolForKey(UserDefaultsKey::DidOpenIntro))
        showIntroduction();
}

void AppDelegate::applicationDidResignActive()
{
    closeExpanderBrowser();
}

void AppDelegate::bindGlobalShortcuts()
{
    if (!m_keyGrabber)
        m_keyGrabber = std::make_unique<X11KeyGrabber>();
    const bool keyGrabs = m_keyGrabber->isAvailable();
    m_binder = std::make_unique<GlobalShortcutBinder>(*m_defaults, std::move(m_keyGrabber));
    connect(m_binder.get(), &GlobalShortcutBinder::shortcutUnavailable, this,
        [this](UserDefaultsKey key, const Shortcut& shortcut) {
            const char16_t* action = key == UserDefaultsKey::ExpandTextShortcut ? u"expanding text"
                : key == UserDefaultsKey::ShowExpandersShortcut                 ? u"the expanders window"
                                                                                : u"the expander browser";
            icu::UnicodeString description = icuString(shortcut.displayText());
            description.append(u", the shortcut for ")
                .append(action)
                .append(u", is held by another program. Choose another one in Quillet's Preferences, under "
                        u"Shortcuts; opening them also tries this one again.");
            m_notifications->deliver(UserNotificationBuilder().notification(
                BasicUserError(localized(u"Shortcut not available", "Shortcut taken title"), description)));
        });
    QPointer<AppDelegate> self(this);
    // The expansion runs from the event loop, after the events already waiting (and the D-Bus
    // methods). The keys typed after the shortcut wait for the press: they belong after the
    // expansion's caret. The grab thread lets them go X11KeyGrabber::holdBound after the
    // shortcut at the latest, whatever this thread is doing meanwhile; a press that comes after
    // that writes nothing.
    m_binder->bindShortcutHoldingKeys(UserDefaultsKey::ExpandTextShortcut, [self](KeyboardHold hold) {
        QMetaObject::invokeMethod(
            self,
            [self, hold = std::move(hold)]() mutable {
                if (self)
                    self->expandTextShortcutPressed(std::move(hold));
            },
            Qt::QueuedConnection);
    });
    for (const GlobalAction action : { GlobalAction::showEditor, GlobalAction::toggleBrowser }) {
        m_binder->bindShortcut(shortcutKey(action), [self, action] {
            if (self)
                self->runGlobalAction(action);
        });
    }

    // Where the desktop owns the keyboard, it binds the shortcuts through its portal, if it
    // has one; the desktop's settings can always run the actions (ActivateAction).
    const bool wayland = m_waylandSession.value_or(!qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
        || qgetenv("XDG_SESSION_TYPE") == "wayland"
        || QGuiApplication::platformName().startsWith(QLatin1String("wayland")));
    if (!keyGrabs || wayland) {
        // A connection of its own, whose first portal call registers the application.
        m_portal = std::make_unique<GlobalShortcutsPortal>(m_portalBus
                ? *m_portalBus
                : QDBusConnection::connectToBus(
                    QDBusConnection::SessionBus, QStringLiteral("quillet-shortcuts-portal")),
            *m_defaults);
        m_portal->setActivationHandler([self](const QString& action) {
            // Run from the event loop, as a grabbed press is.
            QMetaObject::invokeMethod(
                self,
                [self, action] {
                    if (self)
                        self->activateGlobalAction(action);
                },
                Qt::QueuedConnection);
        });
        std::vector<GlobalShortcutsPortal::Entry> entries;
        for (const auto& [key, description] : {
                 std::pair { UserDefaultsKey::ExpandTextShortcut, tr("Expand the abbreviation before the caret") },
                 std::pair { UserDefaultsKey::ShowExpandersShortcut, tr("Show Quillet's editor window") },
                 std::pair { UserDefaultsKey::ShowExpanderBrowserShortcut, tr("Show or hide the expander browser") },
             })
            entries.push_back({ shortcutActionName(key), description, key });
        m_portal->bind(std::move(entries), QStringLiteral("com.orvanta.Quillet"));
    }
    m_routes
        = std::make_unique<GlobalShortcutRoutes>(*m_defaults, m_binder.get(), m_portal.get(), keyGrabs && !wayland);
    if (!m_routes->hasKeyRoute()) {
        if (!m_portal) {
            tellWhereTheShortcutsAreBound();
        } else {
            connect(m_portal.get(), &GlobalShortcutsPortal::changed, this, [this] {
                const auto status = m_portal->status();
                if (status == GlobalShortcutsPortal::Status::Missing
                    || status == GlobalShortcutsPortal::Status::Refused)
                    tellWhereTheShortcutsAreBound();
            });
        }
    }
}

void AppDelegate::tellWhereTheShortcutsAreBound()
{
    if (m_toldWhereTheShortcutsAreBound || m_routes->hasKeyRoute())
        return;
    m_toldWhereTheShortcutsAreBound = true;
    qCInfo(appLog) << "No global shortcut reaches every window: the desktop's keyboard settings must run the actions";
    const auto keys = m_defaults->shortcut(UserDefaultsKey::ExpandTextShortcut);
    const icu::UnicodeString description = icuString(
        tr("This desktop lets no program take keys for itself and binds none for Quillet. In its keyboard "
           "settings, bind %1 to the command \u201c%2\u201d. Quillet's Preferences show the commands of every "
           "shortcut.")
            .arg(keys ? keys->displayText() : tr("keys"),
                globalActionCommands(shortcutActionName(UserDefaultsKey::ExpandTextShortcut)).constFirst()));
    m_notifications->deliver(UserNotificationBuilder().notification(BasicUserError(
        localized(u"Bind Quillet's shortcuts in your desktop", "Shortcuts without grabs title"), description)));
}

bool AppDelegate::activateGlobalAction(const QString& action)
{
    const auto known = globalActionNamed(action.toStdString());
    if (!known)
        return false;
    runGlobalAction(*known);
    return true;
}

void AppDelegate::runGlobalAction(GlobalAction action)
{
    switch (action) {
    case GlobalAction::expand:
        expandTextShortcutPressed();
        return;
    case GlobalAction::showEditor:
        showExpandersWindow();
        return;
    case GlobalAction::toggleBrowser:
        showOrHideExpanderBrowser();
        return;
    }
}

void AppDelegate::setUpStatusItem()
{
    if (!m_statusBarMenu) {
        m_defaultMenu = std::make_unique<QMenu>();
        QAction* quit = m_defaultMenu->addAction(tr("Quit Quillet"));
        connect(quit, &QAction::triggered, qApp, &QCoreApplication::quit, Qt::QueuedConnection);
        m_statusBarMenu = m_defaultMenu.get();
    }
    if (m_wantsStatusItem) {
        m_statusBarIcon = new QSystemTrayIcon();
        m_statusBarIcon->setToolTip(QStringLiteral("Quillet"));
        m_statusBarIcon->setContextMenu(m_statusBarMenu);
        // A click opens the menu too, as a status item does.
        connect(m_statusBarIcon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
            if (reason == QSystemTrayIcon::Trigger && m_statusBarMenu)
                m_statusBarMenu->popup(QCursor::pos());
        });
    }
    updateStatusBarIcon(false, false);
    if (m_statusBarIcon)
        m_statusBarIcon->show();
}

void AppDelegate::setStatusBarMenu(QMenu* menu)
{
    m_statusBarMenu = menu;
    if (m_statusBarIcon)
        m_statusBarIcon->setContextMenu(menu);
}

void AppDelegate::updateStatusBarIcon(bool active, bool delayed)
{
    if (delayed && !active) {
        m_statusIconReset.start(); // restarts a pending reset
        return;
    }
    m_statusIconReset.stop();
    setStatusIcon(active);
}

void AppDelegate::setStatusIcon(bool active)
{
    m_statusIconActive = active;
    if (!m_statusBarIcon)
        return;
    const Appearance appearance = m_appearanceController->currentAppearance();
    m_statusBarIcon->setIcon(active ? appearance.statusBarActiveIcon : appearance.statusBarNormalIcon);
}

void AppDelegate::expandTextShortcutPressed(KeyboardHold keysTypedAfter)
{
    // The shortcuts are bound before the library loads, and a load that fails shows why in
    // an alert, whose event loop hears the shortcut: there is nothing to expand with.
    App* const library = App::sharedIfCreated();
    if (!library || !library->isLoaded()) {
        qCInfo(appLog) << "The expand shortcut was pressed while no library is loaded";
        Sounds::shared().playErrorSound();
        return;
    }
    App& app = *library;
    if (const App::CustomAction action = app.expandingShortcutCustomAction()) {
        if (action())
            app.setExpandingShortcutCustomAction(nullptr);
        return;
    }
    if (m_expandingController.isExpanding()) {
        qCInfo(expansionLog) << "The expand shortcut was pressed during an expansion: this press is ignored";
        return;
    }
    QElapsedTimer timer;
    timer.start();
    qCDebug(expansionLog) << "expand shortcut pressed";
    // A press read or written after its keys went on would act on a line they may have changed.
    auto keysWentOn = keysTypedAfter.wentOnCheck();
    // Without a hold (no grab, or a trigger that is no key press) the keys go on at once.
    const bool keysHeld = keysTypedAfter.holds();
    // Kept before the press starts: an untrusted press ends before startExpanding returns.
    if (m_keyboardPaste)
        m_keyboardPaste->holdKeys(std::move(keysTypedAfter));
    else
        m_keysTypedAfterPress = std::move(keysTypedAfter);
    // The editor is read and written off the event loop: the tray, the windows and D-Bus keep
    // answering while an editor that hangs is waited for. The outcome arrives here, however
    // the press ended; the keys typed meanwhile go on to the editor first, after the caret.
    const bool started = m_expandingController.startExpanding(
        [this, timer](const ExpandingController::PressOutcome& outcome) {
            letKeysGo();
            reportPress(outcome, timer);
        },
        std::move(keysWentOn), keysHeld);
    if (!started)
        letKeysGo();
}

void AppDelegate::letKeysGo()
{
    if (m_keyboardPaste)
        m_keyboardPaste->letKeysGo();
    m_keysTypedAfterPress.release();
}

void AppDelegate::reportPress(const ExpandingController::PressOutcome& press, const QElapsedTimer& timer)
{
    App& app = App::shared();
    const qint64 expanding = timer.nsecsElapsed(); // until the editor holds the result
    const char* outcome = "expanded";
    try {
        if (press.error)
            std::rethrow_exception(press.error);
        if (press.expanded) {
            Sounds::shared().playExpandedSound();
        } else {
            outcome = "nothing";
            Sounds::shared().playErrorSound();
        }
    } catch (const UserErrorDescriptionType& error) {
        outcome = "failed";
        app.deliverNotification(error);
        Sounds::shared().playErrorSound();
    } catch (const std::exception& error) {
        outcome = "failed";
        qCInfo(appLog) << "The expansion at the caret failed:" << error.what();
        app.deliverNotification(noEditorError());
        Sounds::shared().playErrorSound();
    }
    qCDebug(expansionLog).noquote() << "expand shortcut:" << outcome << "in"
                                    << QString::number(double(expanding) / 1e6, 'f', 3) << "ms, reported after"
                                    << QString::number(double(timer.nsecsElapsed()) / 1e6, 'f', 3) << "ms";
}

std::optional<ExpandedExpression> AppDelegate::expand(
    const icu::UnicodeString& text, const std::optional<icu::UnicodeString>& fileExtension)
{
    App& app = App::shared();
    if (const App::CustomAction action = app.expandingShortcutCustomAction()) {
        if (action())
            app.setExpandingShortcutCustomAction(nullptr);
        return std::nullopt;
    }
    try {
        auto expression = m_expandingController.expand(text, fileExtension);
        if (expression)
            Sounds::shared().playExpandedSound();
        else
            Sounds::shared().playErrorSound();
        return expression;
    } catch (const UserErrorDescriptionType& error) {
        app.deliverNotification(error);
    } catch (const std::exception& error) {
        qCInfo(appLog) << "The expansion failed:" << error.what();
        app.deliverNotification(ExpandingError(localized(u"Unknown error", "Expanding Error")));
    }
    Sounds::shared().playErrorSound();
    return std::nullopt;
}

NoEditorError AppDelegate::noEditorError() const
{
    const auto identifier = AccessibilityBackend::shared()->activeApplicationIdentifier();
    if (identifier
        && (*identifier == "com.github.atom"
            || QString::fromStdString(*identifier).compare(QLatin1String("atom"), Qt::CaseInsensitive) == 0))
        return NoEditorError(icu::UnicodeString(u"Atom"));
    return NoEditorError();
}

void AppDelegate::showExpandersWindow()
{
    runOrLog(m_windows.showExpandersWindow, "The editor window");
}

void AppDelegate::showOrHideExpanderBrowser()
{
    runOrLog(m_windows.showOrHideExpanderBrowser, "The expander browser");
}

void AppDelegate::closeExpanderBrowser()
{
    if (m_windows.closeExpanderBrowser)
        m_windows.closeExpanderBrowser();
}

void AppDelegate::showIntroduction()
{
    runOrLog(m_windows.showIntroduction, "The introduction");
}

void AppDelegate::importFiles(const QStringList& paths)
{
    if (paths.isEmpty())
        return;
    std::vector<std::filesystem::path> files;
    for (const QString& path : paths)
        files.emplace_back(path.toStdString());
    // Called from the event loop (D-Bus, the command line's files): nothing may escape.
    try {
        App::shared().bundleStore().importBundles(files, false);
    } catch (const std::exception& error) {
        qCWarning(appLog) << "Importing bundle files failed:" << error.what();
    }
}

void AppDelegate::expandingControllerDidStartExpanding(ExpandingController&)
{
    ++m_expansionsUnderWay;
    updateStatusBarIcon(true, false);
}

void AppDelegate::expandingControllerDidEndExpanding(ExpandingController&)
{
    m_expansionsUnderWay = std::max(0, m_expansionsUnderWay - 1);
    if (m_expansionsUnderWay == 0)
        updateStatusBarIcon(false, true);
}

void AppDelegate::appearanceControllerDidChangeAppearance(AppearanceController&, const Appearance&)
{
    updateStatusBarIcon(false, false);
}

void AppDelegate::showEditor(UserNotificationController&)
{
    showExpandersWindow();
}

void AppDelegate::showBundleInEditor(UserNotificationController&, Bundle& bundle)
{
    if (m_windows.selectBundleInEditor)
        m_windows.selectBundleInEditor(bundle);
    showExpandersWindow();
}

void AppDelegate::showExpanderInEditor(UserNotificationController&, Bundle& bundle)
{
    const auto& expanders = bundle.expanders();
    if (!expanders.empty() && m_windows.selectExpanderInEditor)
        m_windows.selectExpanderInEditor(*expanders.front());
    showExpandersWindow();
}

void AppDelegate::openURL(UserNotificationController&, const QUrl& url)
{
    if (m_windows.openURL)
        m_windows.openURL(url);
    else
        QDesktopServices::openUrl(url);
}

void AppDelegate::openExpander(CustomExpander& expander)
{
    if (m_windows.selectExpanderInEditor)
        m_windows.selectExpanderInEditor(expander);
    showExpandersWindow();
    closeExpanderBrowser();
}

} // namespace quillet
