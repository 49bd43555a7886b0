#include "FakeBusServices.h"

#include "library/Bundle.h"
#include "library/NoEditorError.h"
#include "platform/Appearance.h"
#include "platform/Sounds.h"
#include "platform/UserNotificationController.h"
#include "text/Settings.h"
#include "text/UserErrorDescriptionType.h"

#include <gtest/gtest.h>

#include <functional>

namespace quillet {
namespace {

using test::BusService;
using test::FakeNotificationServer;
using test::FakePortal;
using test::waitFor;

class RecordingNotificationDelegate final : public QObject, public UserNotificationControllerDelegate {
public:
    void showEditor(UserNotificationController&) override { calls << QStringLiteral("showEditor"); }
    void showBundleInEditor(UserNotificationController&, Bundle&) override { calls << QStringLiteral("showBundle"); }
    void showExpanderInEditor(UserNotificationController&, Bundle&) override
    {
        calls << QStringLiteral("showExpander");
    }
    void openURL(UserNotificationController&, const QUrl& url) override
    {
        calls << QStringLiteral("open ") + url.toString();
    }
    QStringList calls;
};

class WithURL final : public BasicUserError, public ErrorWithURL {
public:
    WithURL(icu::UnicodeString title, icu::UnicodeString text, std::string url)
        : BasicUserError(std::move(title), std::move(text))
        , m_url(std::move(url))
    {
    }
    std::string url() const override { return m_url; }

private:
    std::string m_url;
};

class NotificationsTest : public ::testing::Test {
protected:
    FakeNotificationServer& server() { return m_server.object<FakeNotificationServer>(); }

    BusService m_server { std::make_unique<FakeNotificationServer>(), QStringLiteral("org.freedesktop.Notifications"),
        QStringLiteral("/org/freedesktop/Notifications") };
};

TEST_F(NotificationsTest, ErrorsBecomeNotificationsAndAClickGoesToTheHelpPageOrTheEditor)
{
    UserNotificationController controller;
    RecordingNotificationDelegate delegate;
    controller.setDelegate(&delegate);

    struct Case {
        std::shared_ptr<UserErrorDescriptionType> error;
        QString summary;
        QString body;
        QString click;
    };
    const std::vector<Case> cases {
        { std::make_shared<NoEditorError>(), "Are you using a text editor?",
            "If you are, you probabily need a plugin. Click here for more information.",
            QStringLiteral("open ") + QString::fromStdString(NoEditorError().url()) },
        { std::make_shared<NoEditorError>(icu::UnicodeString(u"Atom")), "You need a plugin",
            "To use Quillet in Atom, you need to install a plugin. Click here for more information.",
            QStringLiteral("open ") + QString::fromStdString(NoEditorError().url()) },
        { std::make_shared<ExpandingError>(u"Unknown error"), "Expression could not be expanded.", "Unknown error",
            "showEditor" },
        { std::make_shared<WithURL>(u"Broken", u"a <b> & c", "not a url"), "Broken", "a <b> & c", "showEditor" },
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const auto& c = cases[i];
        delegate.calls.clear();
        controller.deliver(UserNotificationBuilder().notification(*c.error));
        ASSERT_TRUE(waitFor([&] { return controller.deliveredNotifications().count(uint(i + 1)); }));
        const auto shown = server().notifications().back();
        EXPECT_EQ(shown.summary, c.summary);
        EXPECT_EQ(shown.body, c.body);
        EXPECT_EQ(shown.appName, QStringLiteral("Quillet"));
        EXPECT_TRUE(shown.actions.contains(QStringLiteral("default")));

        m_server.invoke("click", Q_ARG(uint, shown.id));
        ASSERT_TRUE(waitFor([&] { return !delegate.calls.isEmpty(); })) << c.summary.toStdString();
        EXPECT_EQ(delegate.calls, QStringList { c.click });
        // A clicked notification is taken away.
        ASSERT_TRUE(waitFor([&] { return !server().closed().empty() && server().closed().back() == shown.id; }));
    }
}

TEST_F(NotificationsTest, BodiesAreEscapedForServersThatReadMarkup)
{
    server().bodyMarkup = true;
    UserNotificationController controller;
    controller.deliver(UserNotificationBuilder().notification(WithURL(u"T", u"a <b> & c", "")));
    ASSERT_TRUE(waitFor([&] { return !server().notifications().empty(); }));
    EXPECT_EQ(server().notifications().back().body, QStringLiteral("a &lt;b&gt; &amp; c"));
}

TEST_F(NotificationsTest, TheImportedBundleIsAnnounced)
{
    UserNotificationController controller;
    DesktopNotifications notifications(controller);
    Bundle bundle(JSONDictionary { { "name", "Web" }, { "expanders", JSONDictionary::array() } });

    notifications.scheduleBundleImportedNotification(bundle);

    ASSERT_TRUE(waitFor([&] { return !server().notifications().empty(); }));
    EXPECT_EQ(server().notifications().back().summary, QStringLiteral("Imported"));
    EXPECT_EQ(server().notifications().back().body, QStringLiteral("\"Web\" bundle has been imported."));
}

TEST(NotificationControllerTest, ClicksWithoutADelegateDoNothingAndTheDelegateIsNotKeptAlive)
{
    UserNotificationController controller;
    auto* delegate = new RecordingNotificationDelegate;
    controller.setDelegate(delegate);
    delete delegate;
    EXPECT_EQ(controller.delegate(), nullptr);
    controller.activate({ { "url", "http://example.org/" } }); // must not touch the freed delegate
}

class RecordingPlayer final : public SoundPlayer {
public:
    void play(const QString& name) override { played << name; }
    QStringList played;
};

TEST(SoundsTest, EachSoundPlaysOnlyWhenItsSettingAllows)
{
    struct Case {
        bool sounds;
        bool errorSound;
        QStringList played;
    };
    const std::vector<Case> cases {
        { true, true, { "expander-done", "Funk" } },
        { false, true, { "Funk" } },
        { true, false, { "expander-done" } },
        { false, false, {} },
    };
    for (const auto& c : cases) {
        InMemorySettings settings;
        settings.set("EnableSounds", c.sounds);
        settings.set("EnableErrorSound", c.errorSound);
        auto player = std::make_shared<RecordingPlayer>();
        Sounds sounds(player, &settings);
        sounds.playExpandedSound();
        sounds.playErrorSound();
        EXPECT_EQ(player->played, c.played);
    }
    // Both sounds are the application's own.
    EXPECT_TRUE(QtSoundPlayer::soundURL(QStringLiteral("expander-done")));
    EXPECT_TRUE(QtSoundPlayer::soundURL(QStringLiteral("Funk")));
}

TEST(AppearanceTest, HexColours)
{
    const std::vector<std::pair<QString, std::optional<QColor>>> cases {
        { "#52C0FF", QColor(82, 192, 255) },
        { " \n#52c0ff\t", QColor(82, 192, 255) },
        { "#bbbbbb", QColor(187, 187, 187) },
        { "52C0FF", std::nullopt },
        { "#FFF", std::nullopt },
        { "#52C0FF00", std::nullopt },
        { "#GG0000", QColor(0, 0, 0) },
        { "#1G0000", QColor(1, 0, 0) },
    };
    for (const auto& [text, colour] : cases)
        EXPECT_EQ(colorFromHex(text), colour) << text.toStdString();
    EXPECT_EQ(tokenBlue(), QColor(82, 192, 255));
    EXPECT_EQ(tokenGray(), QColor(187, 187, 187));
}

class RecordingAppearanceDelegate final : public QObject, public AppearanceControllerDelegate {
public:
    explicit RecordingAppearanceDelegate(bool* destroyed)
        : m_destroyed(destroyed)
    {
    }
    ~RecordingAppearanceDelegate() override { *m_destroyed = true; }
    void appearanceControllerDidChangeAppearance(AppearanceController&, const Appearance& appearance) override
    {
        told << appearance.appearance;
    }
    QStringList told;

private:
    bool* m_destroyed;
};

TEST(AppearanceTest, ThePanelsColourSchemePicksTheStatusIconsAndChangesAreReported)
{
    BusService portal(std::make_unique<FakePortal>(1), QStringLiteral("org.freedesktop.portal.Desktop"),
        QStringLiteral("/org/freedesktop/portal/desktop"));
    AppearanceController controller;
    ASSERT_TRUE(waitFor([&] { return controller.interfaceStyle() == QStringLiteral("Dark"); }));
    EXPECT_EQ(controller.currentAppearance().statusBarNormalIconName, QStringLiteral("menubar-white"));
    EXPECT_EQ(controller.currentAppearance().statusBarActiveIconName, QStringLiteral("menubar-white-active"));
    EXPECT_EQ(controller.applicationAppearance().appearance, QStringLiteral("VibrantLight"));
    EXPECT_FALSE(controller.currentAppearance().statusBarNormalIcon.isNull());

    bool destroyed = false;
    auto* delegate = new RecordingAppearanceDelegate(&destroyed);
    controller.setDelegate(delegate);
    portal.invoke(
        "change", Q_ARG(QString, "org.freedesktop.appearance"), Q_ARG(QString, "color-scheme"), Q_ARG(uint, 0));
    ASSERT_TRUE(waitFor([&] { return delegate->told.size() == 1; }));
    EXPECT_EQ(delegate->told, QStringList { "VibrantLight" }) << "the delegate gets the windows' look";
    EXPECT_EQ(controller.currentAppearance().statusBarNormalIconName, QStringLiteral("menubar-black"));
    portal.invoke("change", Q_ARG(QString, "org.freedesktop.other"), Q_ARG(QString, "color-scheme"), Q_ARG(uint, 1));
    portal.invoke(
        "change", Q_ARG(QString, "org.freedesktop.appearance"), Q_ARG(QString, "color-scheme"), Q_ARG(uint, 2));
    ASSERT_TRUE(waitFor([&] { return delegate->told.size() == 2; }));
    EXPECT_EQ(controller.currentAppearance().statusBarNormalIconName, QStringLiteral("menubar-black"));

    // The controller does not own its delegate: freeing the delegate is possible and later
    // changes are dropped.
    delete delegate;
    EXPECT_TRUE(destroyed);
    EXPECT_EQ(controller.delegate(), nullptr);
    portal.invoke(
        "change", Q_ARG(QString, "org.freedesktop.appearance"), Q_ARG(QString, "color-scheme"), Q_ARG(uint, 1));
    EXPECT_TRUE(waitFor([&] { return controller.interfaceStyle() == QStringLiteral("Dark"); }));
}

// The desktop's services are never waited for: a portal or a notification server that answers
// only after the controller was made and asked still has its answer used, and until then the
// application goes on.
TEST(SlowDesktopServicesTest, AnswersThatComeLateAreUsedAndNothingWaitsForThem)
{
    struct Case {
        const char* service;
        std::function<void()> check;
    };
    const std::vector<Case> cases {
        { "portal",
            [] {
                BusService portal(std::make_unique<FakePortal>(1), QStringLiteral("org.freedesktop.portal.Desktop"),
                    QStringLiteral("/org/freedesktop/portal/desktop"));
                auto& fake = portal.object<FakePortal>();
                fake.readGate.hold();
                bool destroyed = false;
                auto delegate = std::make_unique<RecordingAppearanceDelegate>(&destroyed);
                AppearanceController controller;
                controller.setDelegate(delegate.get());
                EXPECT_EQ(controller.interfaceStyle(), std::nullopt) << "light until the portal answers";
                fake.readGate.release();
                EXPECT_TRUE(waitFor([&] { return controller.interfaceStyle() == QStringLiteral("Dark"); }));
                EXPECT_EQ(delegate->told, QStringList { "VibrantLight" }) << "the icon follows the first answer";
            } },
        { "notification server",
            [] {
                BusService server(std::make_unique<FakeNotificationServer>(),
                    QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"));
                auto& fake = server.object<FakeNotificationServer>();
                fake.bodyMarkup = true;
                fake.capabilitiesGate.hold();
                UserNotificationController controller;
                controller.deliver(UserNotificationBuilder().notification(WithURL(u"T", u"a <b> & c", "")));
                controller.deliver(UserNotificationBuilder().notification(WithURL(u"U", u"d > e", "")));
                EXPECT_TRUE(fake.notifications().empty());
                fake.capabilitiesGate.release();
                ASSERT_TRUE(waitFor([&] { return fake.notifications().size() == 2; }));
                EXPECT_EQ(fake.notifications()[0].body, QStringLiteral("a &lt;b&gt; &amp; c"));
                EXPECT_EQ(fake.notifications()[1].body, QStringLiteral("d &gt; e"));
            } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.service);
        c.check();
    }
}

TEST(AppearanceTest, WithoutAPortalTheLookIsLight)
{
    AppearanceController controller;
    EXPECT_EQ(controller.interfaceStyle(), std::nullopt);
    EXPECT_EQ(controller.currentAppearance().statusBarNormalIconName, QStringLiteral("menubar-black"));
}

} // namespace
} // namespace quillet
