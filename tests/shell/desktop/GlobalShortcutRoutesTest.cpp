#include "FakeBusServices.h"
#include "FakeGlobalShortcutsPortal.h"

#include "intro/IntroImageView.h"
#include "intro/IntroPageController.h"
#include "intro/IntroWindow.h"
#include "library/App.h"
#include "platform/GlobalShortcutRoutes.h"
#include "platform/UserDefaults.h"
#include "preferences/ShortcutsPreferencesViewController.h"
#include "shell/AppDelegate.h"
#include "shell/MenuActions.h"
#include "support/TestSupport.h"

#include <QLabel>
#include <QLineEdit>
#include <QSettings>

#include <gtest/gtest.h>

namespace quillet {
namespace {

using test::BusService;
using test::waitFor;

class Grabs final : public KeyGrabber {
public:
    explicit Grabs(bool available)
        : m_available(available)
    {
    }
    bool isAvailable() const override { return m_available; }
    bool grab(const Shortcut&, bool) override { return m_available; }
    void ungrab(const Shortcut&) override { }
    void setPressHandler(std::function<void(const Shortcut&, KeyboardHold)>) override { }
    void setLostHandler(std::function<void(const Shortcut&)>) override { }

private:
    bool m_available;
};

QStringList commandsIn(const QWidget* widget)
{
    QStringList commands;
    for (const auto* field : widget->findChildren<QLineEdit*>(QStringLiteral("ShortcutCommand")))
        commands << field->text();
    return commands;
}

TEST(ShortcutGuidanceTest, NoKeysArePromisedThatNothingTakes)
{
    using Route = ShortcutReach::Route;
    const struct {
        const char* name;
        ShortcutReach reach;
        const char* keys;
        const char* saying;
        bool commands;
    } rows[] = {
        { "grabbed", { Route::KeyGrab, "Ctrl+F5", true, {} }, "Ctrl+F5", "Press Ctrl+F5 now", false },
        { "held by another program", { Route::KeyGrab, "Ctrl+F5", false, {} }, "", "Another program holds Ctrl+F5",
            false },
        { "none recorded", { Route::KeyGrab, "", false, {} }, "", "No expand shortcut is set", false },
        { "assigned by the desktop", { Route::Portal, "Ctrl+F5", false, "Super+E" }, "Super+E", "Press Super+E now",
            false },
        { "bound without keys", { Route::Portal, "Ctrl+F5", false, "" }, "", "gave it no keys", true },
        { "desktop settings", { Route::DesktopSettings, "Ctrl+F5", false, {} }, "", "keyboard settings", true },
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const ShortcutGuidance intro = introductionGuidance(row.reach);
        EXPECT_EQ(intro.keys, QString::fromLatin1(row.keys));
        EXPECT_TRUE(intro.text.contains(QString::fromLatin1(row.saying))) << intro.text.toStdString();
        // The recorded keys are promised only where they are taken.
        EXPECT_EQ(intro.text.contains(QStringLiteral("press Ctrl+F5"), Qt::CaseInsensitive),
            row.reach.route == Route::KeyGrab && row.reach.grabbed);
        EXPECT_EQ(intro.commands.contains(QStringLiteral("quillet action expand")), row.commands);
    }
}

/// The application delegate and its windows in one kind of session each: X11, Wayland with
/// the portal's global shortcuts, Wayland without.
class GlobalShortcutRoutesTest : public ::testing::Test {
protected:
    GlobalShortcutRoutesTest()
    {
        App::Environment environment = App::Environment::headless();
        environment.bundlesFilePath = m_folder.path() / "bundles.qlbundles";
        App::setShared(std::make_unique<App>(std::move(environment)));
        App::shared().isLoaded();
        m_defaults = std::make_shared<UserDefaults>(std::make_unique<QSettings>(
            QString::fromStdString((m_folder.path() / "Quillet.ini").string()), QSettings::IniFormat));
        m_defaults->setValue(UserDefaultsKey::DidOpenIntro, true);
    }
    ~GlobalShortcutRoutesTest() override
    {
        m_actions.reset();
        m_delegate.reset();
        App::setShared(nullptr);
    }

    void start(bool keyGrabs, bool wayland)
    {
        AppDelegate::Services services;
        services.defaults = m_defaults;
        services.keyGrabber = std::make_unique<Grabs>(keyGrabs);
        services.notifications = &m_controller;
        services.statusItem = false;
        services.waylandSession = wayland;
        m_delegate = std::make_unique<AppDelegate>(std::move(services));
        m_delegate->applicationWillFinishLaunching();
        MenuActions::Services menu;
        menu.defaults = m_defaults.get();
        menu.intro.isAccessibilityTrusted = [](bool) { return true; };
        menu.shortcutRoutes = [this] { return m_delegate->shortcutRoutes(); };
        m_actions = std::make_unique<MenuActions>(menu);
    }

    test::TempDir m_folder;
    std::shared_ptr<UserDefaults> m_defaults;
    BusService m_notificationServer { std::make_unique<test::FakeNotificationServer>(),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications") };
    UserNotificationController m_controller { QDBusConnection::sessionBus() };
    std::unique_ptr<AppDelegate> m_delegate;
    std::unique_ptr<MenuActions> m_actions;
};

TEST_F(GlobalShortcutRoutesTest, TheIntroductionAndThePreferencesTellHowTheShortcutsReachQuilletAndTheTryTakesThem)
{
    enum class Session { X11, WaylandWithPortal, WaylandWithoutPortal };
    const struct {
        Session session;
        const char* keys; // on the introduction's page, and in its text
        bool commands; // the commands for the desktop's settings, everywhere
        const char* editorGuide; // under the editor window's shortcut in the preferences
        const char* note; // under all of them
        std::size_t notices;
    } rows[] = {
        { Session::X11, "Ctrl+Alt+E", false, "", "", 0 },
        { Session::WaylandWithPortal, "Super+E", false, "Your desktop gave it no keys", "asks it again", 0 },
        { Session::WaylandWithoutPortal, "", true, "", "not heard", 1 },
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(int(row.session));
        std::unique_ptr<BusService> portal;
        if (row.session == Session::WaylandWithPortal) {
            portal = std::make_unique<BusService>(std::make_unique<test::FakeGlobalShortcutsPortal>(),
                QString::fromLatin1(GlobalShortcutsPortal::serviceName),
                QString::fromLatin1(GlobalShortcutsPortal::objectPath));
            auto& fake = portal->object<test::FakeGlobalShortcutsPortal>();
            fake.assign(QStringLiteral("expand"), QStringLiteral("Super+E"));
            fake.assign(QStringLiteral("show-editor"), QString());
        }
        start(row.session == Session::X11, row.session != Session::X11);
        if (GlobalShortcutsPortal* client = m_delegate->shortcutsPortal()) {
            ASSERT_TRUE(waitFor([&] {
                return client->status() != GlobalShortcutsPortal::Status::Checking
                    && client->status() != GlobalShortcutsPortal::Status::Binding;
            }));
        }

        m_actions->showIntroduction();
        auto* pages = qobject_cast<IntroPageController*>(m_actions->introWindow()->content());
        ASSERT_NE(pages, nullptr);
        pages->navigateForward();
        pages->navigateForward();
        ASSERT_EQ(pages->selectedIndex(), 2);
        const QWidget* page = pages->selectedPage();
        const QString keys = QString::fromLatin1(row.keys);
        const auto* picture = page->findChild<IntroImageView*>(QStringLiteral("ShortcutKeys"));
        EXPECT_EQ(picture ? picture->accessibleName() : QString(), keys);
        const QString text = page->findChild<QLabel*>(QStringLiteral("ShortcutGuide"))->text();
        EXPECT_EQ(text.contains(QStringLiteral("Press %1 now").arg(keys)), !keys.isEmpty()) << text.toStdString();
        EXPECT_EQ(text.contains(QStringLiteral("Ctrl+Alt+E now")), row.session == Session::X11);
        EXPECT_EQ(commandsIn(page).contains(QStringLiteral("quillet action expand")), row.commands);

        m_actions->showPreferences();
        auto* shortcuts = m_actions->preferencesWindow()->findChild<ShortcutsPreferencesViewController*>();
        ASSERT_NE(shortcuts, nullptr);
        const QWidget* editorGuide = shortcuts->guideView(UserDefaultsKey::ShowExpandersShortcut);
        const auto* editorText = editorGuide->findChild<QLabel*>(QStringLiteral("ShortcutGuideText"));
        EXPECT_EQ(editorGuide->isVisibleTo(shortcuts), *row.editorGuide != 0 || row.commands);
        EXPECT_EQ(shortcuts->noteView()->isVisibleTo(shortcuts), *row.note != 0);
        EXPECT_TRUE(shortcuts->noteView()->text().contains(QString::fromLatin1(row.note)));
        EXPECT_TRUE(editorText ? editorText->text().contains(QString::fromLatin1(row.editorGuide)) : !*row.editorGuide);
        EXPECT_EQ(commandsIn(editorGuide).contains(QStringLiteral("quillet action show-editor")), row.commands);
        const QWidget* expandGuide = shortcuts->guideView(UserDefaultsKey::ExpandTextShortcut);
        if (row.session == Session::WaylandWithPortal) {
            EXPECT_TRUE(expandGuide->findChild<QLabel*>()->text().contains(QStringLiteral("Super+E")));
        }

        // The press that comes through the desktop moves the introduction on, as the keys do.
        if (portal) {
            const QString session = portal->object<test::FakeGlobalShortcutsPortal>().binds().at(0).session;
            portal->invoke("press", Q_ARG(QString, session), Q_ARG(QString, QStringLiteral("expand")));
        } else {
            EXPECT_TRUE(m_delegate->activateGlobalAction(QStringLiteral("expand")));
        }
        EXPECT_TRUE(waitFor([&] { return pages->selectedIndex() == 3; }));

        auto& server = m_notificationServer.object<test::FakeNotificationServer>();
        EXPECT_TRUE(waitFor([&] { return server.notifications().size() == row.notices; }));
        m_actions.reset();
        m_delegate.reset();
        for (const auto& notice : server.notifications())
            EXPECT_TRUE(notice.body.contains(QStringLiteral("quillet action expand")));
    }
}

} // namespace
} // namespace quillet
