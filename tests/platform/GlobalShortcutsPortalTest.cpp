#include "FakeBusServices.h"
#include "FakeGlobalShortcutsPortal.h"

#include "platform/GlobalShortcutsPortal.h"
#include "platform/UserDefaults.h"
#include "support/TestSupport.h"

#include <QSettings>

#include <gtest/gtest.h>

#include <memory>
#include <optional>

namespace quillet {
namespace {

using test::BusService;
using test::FakeGlobalShortcutsPortal;
using test::waitFor;

TEST(PortalTriggerTest, TheStoredShortcutReadsAsTheDesktopsTrigger)
{
    const struct {
        Shortcut shortcut;
        const char* trigger;
    } rows[] = {
        { defaultshortcuts::expandText, "CTRL+ALT+e" },
        { defaultshortcuts::showExpanders, "CTRL+ALT+LOGO+e" },
        { defaultshortcuts::showExpanderBrowser, "CTRL+SHIFT+space" },
        { { 96, Shortcut::shiftKeyMask }, "SHIFT+F5" },
        { { 24, Shortcut::commandKeyMask }, "CTRL+equal" },
        { { 116, Shortcut::optionKeyMask }, "ALT+Page_Up" },
        { { 36, Shortcut::controlKeyMask }, "LOGO+Return" },
    };
    for (const auto& row : rows)
        EXPECT_EQ(portalTrigger(row.shortcut), QString::fromLatin1(row.trigger)) << row.trigger;
}

/// The portal client over settings of its own, against the stand-in portal when there is one.
class GlobalShortcutsPortalTest : public ::testing::Test {
protected:
    GlobalShortcutsPortalTest()
    {
        m_defaults = std::make_shared<UserDefaults>(std::make_unique<QSettings>(
            QString::fromStdString((m_folder.path() / "Quillet.ini").string()), QSettings::IniFormat));
        m_defaults->registerApplicationDefaults();
    }

    void startFakePortal()
    {
        m_fake = std::make_unique<BusService>(std::make_unique<FakeGlobalShortcutsPortal>(),
            QString::fromLatin1(GlobalShortcutsPortal::serviceName),
            QString::fromLatin1(GlobalShortcutsPortal::objectPath));
    }
    FakeGlobalShortcutsPortal& fake() { return m_fake->object<FakeGlobalShortcutsPortal>(); }

    /// Binds the three shortcuts; the ids the desktop activates are written down.
    std::unique_ptr<GlobalShortcutsPortal> bind()
    {
        auto portal = std::make_unique<GlobalShortcutsPortal>(QDBusConnection::sessionBus(), *m_defaults);
        portal->setActivationHandler([this](const QString& id) { m_activated << id; });
        portal->bind({ { QStringLiteral("expand"), QStringLiteral("Expand"), UserDefaultsKey::ExpandTextShortcut },
            { QStringLiteral("show-editor"), QStringLiteral("Editor"), UserDefaultsKey::ShowExpandersShortcut },
            { QStringLiteral("toggle-browser"), QStringLiteral("Browser"),
                UserDefaultsKey::ShowExpanderBrowserShortcut } });
        return portal;
    }

    /// Presses the shortcut of the id in a session other than the client's, then in the
    /// client's: only the second may run, and it arrives after the first would have.
    bool onlyTheSessionsPressRuns(const QString& session, const QString& otherSession, const QString& id)
    {
        m_activated.clear();
        m_fake->invoke("press", Q_ARG(QString, otherSession), Q_ARG(QString, id));
        m_fake->invoke("press", Q_ARG(QString, session), Q_ARG(QString, id));
        return waitFor([&] { return !m_activated.isEmpty(); }) && m_activated == QStringList { id };
    }

    test::TempDir m_folder;
    std::shared_ptr<UserDefaults> m_defaults;
    std::unique_ptr<BusService> m_fake;
    QStringList m_activated;
};

TEST_F(GlobalShortcutsPortalTest, TheStoredShortcutsArePreferredAndWhatTheDesktopAssignedIsShownAndRun)
{
    startFakePortal();
    fake().assign(QStringLiteral("expand"), QStringLiteral("Super+E"));
    fake().assign(QStringLiteral("show-editor"), QString());
    auto portal = bind();
    ASSERT_TRUE(waitFor([&] { return portal->status() == GlobalShortcutsPortal::Status::Bound; }));

    const auto binds = fake().binds();
    ASSERT_EQ(binds.size(), 1u);
    const std::map<QString, QString> preferred { { QStringLiteral("expand"), QStringLiteral("CTRL+ALT+e") },
        { QStringLiteral("show-editor"), QStringLiteral("CTRL+ALT+LOGO+e") },
        { QStringLiteral("toggle-browser"), QStringLiteral("CTRL+SHIFT+space") } };
    ASSERT_EQ(binds[0].shortcuts.size(), 3u);
    for (const auto& [id, properties] : binds[0].shortcuts) {
        EXPECT_EQ(properties.value(QStringLiteral("preferred_trigger")).toString(), preferred.at(id));
        EXPECT_FALSE(properties.value(QStringLiteral("description")).toString().isEmpty());
    }
    // The desktop's choice, not the preference.
    EXPECT_EQ(portal->assignedTrigger(UserDefaultsKey::ExpandTextShortcut), QStringLiteral("Super+E"));
    EXPECT_TRUE(portal->isBound(UserDefaultsKey::ShowExpandersShortcut));
    EXPECT_EQ(portal->assignedTrigger(UserDefaultsKey::ShowExpandersShortcut), QString());
    EXPECT_EQ(
        portal->assignedTrigger(UserDefaultsKey::ShowExpanderBrowserShortcut), QStringLiteral("CTRL+SHIFT+space"));

    EXPECT_TRUE(onlyTheSessionsPressRuns(binds[0].session, QStringLiteral("/elsewhere"), QStringLiteral("expand")));
    EXPECT_TRUE(
        onlyTheSessionsPressRuns(binds[0].session, QStringLiteral("/elsewhere"), QStringLiteral("toggle-browser")));

    // The user gives it other keys in the desktop's settings: told at once, or asked for.
    m_fake->invoke("reassign", Q_ARG(QString, binds[0].session), Q_ARG(QString, QStringLiteral("expand")),
        Q_ARG(QString, QStringLiteral("Ctrl+Shift+E")));
    EXPECT_TRUE(waitFor([&] {
        return portal->assignedTrigger(UserDefaultsKey::ExpandTextShortcut) == QStringLiteral("Ctrl+Shift+E");
    }));
    fake().assign(QStringLiteral("show-editor"), QStringLiteral("Super+Shift+E"));
    portal->refresh();
    EXPECT_TRUE(waitFor([&] {
        return portal->assignedTrigger(UserDefaultsKey::ShowExpandersShortcut) == QStringLiteral("Super+Shift+E");
    }));
}

TEST_F(GlobalShortcutsPortalTest, ARecordedShortcutIsBoundAgainInANewSession)
{
    startFakePortal();
    auto portal = bind();
    ASSERT_TRUE(waitFor([&] { return portal->status() == GlobalShortcutsPortal::Status::Bound; }));
    m_defaults->setShortcut(UserDefaultsKey::ExpandTextShortcut, Shortcut { 7, Shortcut::commandKeyMask });
    ASSERT_TRUE(waitFor(
        [&] { return fake().binds().size() == 2 && portal->status() == GlobalShortcutsPortal::Status::Bound; }));

    const auto binds = fake().binds();
    EXPECT_NE(binds[1].session, binds[0].session);
    EXPECT_EQ(binds[1].shortcuts.at(QStringLiteral("expand")).value(QStringLiteral("preferred_trigger")).toString(),
        QStringLiteral("CTRL+x"));
    EXPECT_EQ(portal->assignedTrigger(UserDefaultsKey::ExpandTextShortcut), QStringLiteral("CTRL+x"));
    EXPECT_TRUE(waitFor([&] { return fake().closedSessions() == QStringList { binds[0].session }; }));
    // The old session's shortcuts run nothing any more.
    EXPECT_TRUE(onlyTheSessionsPressRuns(binds[1].session, binds[0].session, QStringLiteral("expand")));
}

TEST_F(GlobalShortcutsPortalTest, NothingIsBoundWhereThePortalOffersNoGlobalShortcutsOrTheUserDeclines)
{
    enum class Desktop { NoPortal, PortalWithoutShortcuts, UserDeclines };
    const struct {
        Desktop desktop;
        GlobalShortcutsPortal::Status status;
    } rows[] = {
        { Desktop::NoPortal, GlobalShortcutsPortal::Status::Missing },
        { Desktop::PortalWithoutShortcuts, GlobalShortcutsPortal::Status::Missing },
        { Desktop::UserDeclines, GlobalShortcutsPortal::Status::Refused },
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(int(row.desktop));
        m_fake.reset();
        if (row.desktop == Desktop::PortalWithoutShortcuts)
            m_fake = std::make_unique<BusService>(std::make_unique<test::FakePortal>(0),
                QString::fromLatin1(GlobalShortcutsPortal::serviceName),
                QString::fromLatin1(GlobalShortcutsPortal::objectPath));
        if (row.desktop == Desktop::UserDeclines) {
            startFakePortal();
            fake().decline();
        }
        auto portal = bind();
        ASSERT_TRUE(waitFor([&] { return portal->status() == row.status; }));
        for (const auto key : { UserDefaultsKey::ExpandTextShortcut, UserDefaultsKey::ShowExpandersShortcut,
                 UserDefaultsKey::ShowExpanderBrowserShortcut })
            EXPECT_FALSE(portal->isBound(key));
        if (row.desktop == Desktop::UserDeclines) {
            ASSERT_EQ(fake().binds().size(), 1u);
            // A press the desktop still reports for that session runs nothing.
            m_fake->invoke(
                "press", Q_ARG(QString, fake().binds()[0].session), Q_ARG(QString, QStringLiteral("expand")));
            m_defaults->setShortcut(UserDefaultsKey::ExpandTextShortcut, Shortcut { 7, Shortcut::commandKeyMask });
            // Recording another shortcut asks again.
            EXPECT_TRUE(waitFor([&] { return fake().binds().size() == 2; }));
            EXPECT_TRUE(m_activated.isEmpty());
        }
    }
}

} // namespace
} // namespace quillet
