#include "platform/StartAtLogin.h"
#include "platform/UserDefaults.h"
#include "preferences/GeneralPreferencesViewController.h"
#include "preferences/PreferencesTabViewController.h"
#include "preferences/PreferencesWindowController.h"
#include "preferences/ShortcutRecorder.h"
#include "preferences/ShortcutsPreferencesViewController.h"
#include "preferences/TextPreferencesViewController.h"
#include "shell/MenuController.h"
#include "shell/StatusMenu.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QCheckBox>
#include <QCoreApplication>
#include <QFile>
#include <QLabel>
#include <QSettings>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>

#include <gtest/gtest.h>

namespace quillet {
namespace {

class PreferencesTest : public ::testing::Test {
protected:
    PreferencesTest()
    {
        const QString file = QString::fromStdString((m_dir.path() / "Quillet.conf").string());
        m_defaults = std::make_unique<UserDefaults>(std::make_unique<QSettings>(file, QSettings::IniFormat));
        m_defaults->registerApplicationDefaults();
    }

    QString path(const char* name) const { return QString::fromStdString((m_dir.path() / name).string()); }

    test::TempDir m_dir;
    std::unique_ptr<UserDefaults> m_defaults;
};

TEST_F(PreferencesTest, TheGeneralAndTextTabsShowStoreAndFollowTheirKeys)
{
    GeneralPreferencesViewController general(*m_defaults, nullptr);
    TextPreferencesViewController text(*m_defaults);
    auto* sounds = general.findChild<QCheckBox*>(QStringLiteral("EnableSounds"));
    auto* errorSound = general.findChild<QCheckBox*>(QStringLiteral("EnableErrorSound"));
    auto* login = general.findChild<QCheckBox*>(QStringLiteral("StartApplicationAutomatically"));
    auto* spaces = text.findChild<QCheckBox*>(QStringLiteral("IndentWithSpaces"));
    auto* size = text.findChild<QSpinBox*>(QStringLiteral("IndentSize"));
    ASSERT_TRUE(sounds && errorSound && login && spaces && size);

    // The registered defaults on a first opening.
    EXPECT_TRUE(sounds->isChecked());
    EXPECT_TRUE(errorSound->isChecked());
    EXPECT_FALSE(login->isChecked());
    EXPECT_TRUE(spaces->isChecked());
    EXPECT_EQ(size->value(), 4);

    // The user's changes are stored.
    errorSound->click();
    EXPECT_FALSE(m_defaults->boolForKey(UserDefaultsKey::EnableErrorSound));
    EXPECT_TRUE(m_defaults->boolForKey(UserDefaultsKey::EnableSounds));
    size->setValue(2);
    EXPECT_EQ(m_defaults->integerForKey(UserDefaultsKey::IndentSize), 2);
    spaces->click();
    EXPECT_FALSE(m_defaults->boolForKey(UserDefaultsKey::IndentWithSpaces));
    EXPECT_FALSE(size->isEnabled()) << "the size counts spaces only";

    // Changes made elsewhere show.
    m_defaults->setValue(UserDefaultsKey::EnableSounds, false);
    EXPECT_FALSE(sounds->isChecked());
    m_defaults->setValue(UserDefaultsKey::IndentWithSpaces, true);
    EXPECT_TRUE(spaces->isChecked());
    EXPECT_TRUE(size->isEnabled());
    m_defaults->remove(UserDefaultsKey::IndentSize);
    EXPECT_EQ(size->value(), 4);
}

TEST_F(PreferencesTest, StartingAtLoginWritesAndRemovesTheAutostartEntry)
{
    StartAtLogin startAtLogin(*m_defaults, AutostartEntry(path("autostart"), QStringLiteral("/usr/bin/quillet-app")));
    GeneralPreferencesViewController general(*m_defaults, &startAtLogin);
    auto* login = general.findChild<QCheckBox*>(QStringLiteral("StartApplicationAutomatically"));

    login->click();
    EXPECT_TRUE(m_defaults->boolForKey(UserDefaultsKey::StartApplicationAutomatically));
    EXPECT_TRUE(startAtLogin.entry().exists());

    login->click();
    EXPECT_FALSE(startAtLogin.entry().exists());

    // Set by anyone, the key is followed.
    m_defaults->setValue(UserDefaultsKey::StartApplicationAutomatically, true);
    EXPECT_TRUE(startAtLogin.entry().exists());
    EXPECT_TRUE(login->isChecked());

    // A stale entry (the program has moved) is written again at start-up.
    StartAtLogin moved(*m_defaults, AutostartEntry(path("autostart"), QStringLiteral("/opt/quillet/quillet-app")));
    moved.applyStoredValue();
    QFile file(moved.entry().filePath());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().contains("Exec=/opt/quillet/quillet-app\n"));
}

TEST_F(PreferencesTest, AnAutostartFolderThatCannotBeMadeTurnsTheCheckBoxBackAndSaysWhy)
{
    // A file where the folder should be: no one, root included, can make the folder.
    QFile blocker(path("config"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    StartAtLogin startAtLogin(*m_defaults,
        AutostartEntry(path("config") + QStringLiteral("/autostart"), QStringLiteral("/usr/bin/quillet-app")));
    GeneralPreferencesViewController general(*m_defaults, &startAtLogin);
    general.show();
    QSignalSpy failures(&startAtLogin, &StartAtLogin::failed);
    auto* login = general.findChild<QCheckBox*>(QStringLiteral("StartApplicationAutomatically"));

    login->click();
    EXPECT_EQ(failures.size(), 1);
    EXPECT_FALSE(m_defaults->boolForKey(UserDefaultsKey::StartApplicationAutomatically));
    EXPECT_FALSE(login->isChecked());
    QLabel* reason = general.loginErrorLabel();
    EXPECT_TRUE(reason->isVisible());
    EXPECT_FALSE(reason->text().isEmpty());
    // Every line of the reason shows: the label gets the height its text takes at its width.
    ASSERT_TRUE(QTest::qWaitFor([&] { return reason->height() >= reason->heightForWidth(reason->width()); }, 2000))
        << reason->height() << " for " << reason->heightForWidth(reason->width());
    EXPECT_GT(reason->heightForWidth(reason->width()), reason->fontMetrics().height()) << "a reason of two lines";
}

TEST_F(PreferencesTest, EachRecorderShowsStoresAndClearsItsOwnKeyAndTheMenuFollows)
{
    ShortcutsPreferencesViewController shortcuts(*m_defaults);
    StatusMenu menu;
    MenuController menuController(*m_defaults, menu.expandersMenuItem(), menu.expanderBrowserMenuItem());
    menuController.awakeFromNib();
    shortcuts.show();

    struct Case {
        const char* name;
        ShortcutRecorder* view;
        UserDefaultsKey key;
        Shortcut registered;
        QAction* menuItem;
    };
    const Case cases[] = {
        { "ExpandText", shortcuts.expandTextShortcutView(), UserDefaultsKey::ExpandTextShortcut,
            defaultshortcuts::expandText, nullptr },
        { "ShowExpanders", shortcuts.showExpandersShortcutView(), UserDefaultsKey::ShowExpandersShortcut,
            defaultshortcuts::showExpanders, menu.expandersMenuItem() },
        { "ShowExpanderBrowser", shortcuts.showExpanderBrowserShortcutView(),
            UserDefaultsKey::ShowExpanderBrowserShortcut, defaultshortcuts::showExpanderBrowser,
            menu.expanderBrowserMenuItem() },
    };
    const Shortcut f5 { 96, Shortcut::commandKeyMask | Shortcut::shiftKeyMask };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_NE(c.view, nullptr);
        EXPECT_EQ(c.view->shortcut(), c.registered) << "a first opening shows the registered default";
        if (c.menuItem) {
            EXPECT_TRUE(c.menuItem->text().endsWith(QLatin1Char('\t') + c.view->text()))
                << "the menu names the keys as the preferences do: " << c.menuItem->text().toStdString();
        }

        QTest::mouseClick(c.view, Qt::LeftButton);
        ASSERT_TRUE(c.view->isRecording());
        QTest::keyClick(c.view, Qt::Key_F5, Qt::ControlModifier | Qt::ShiftModifier);
        EXPECT_EQ(m_defaults->shortcut(c.key), f5);
        if (c.menuItem) {
            EXPECT_EQ(c.menuItem->shortcut(),
                QKeySequence(QKeyCombination(Qt::ControlModifier | Qt::ShiftModifier, Qt::Key_F5)));
        }

        QTest::mouseClick(c.view, Qt::LeftButton);
        QTest::keyClick(c.view, Qt::Key_Backspace);
        EXPECT_EQ(m_defaults->shortcut(c.key), std::nullopt);
        EXPECT_EQ(c.view->shortcut(), std::nullopt);
        if (c.menuItem) {
            EXPECT_TRUE(c.menuItem->shortcut().isEmpty()) << "a cleared shortcut leaves no key equivalent";
            EXPECT_FALSE(c.menuItem->text().contains(QLatin1Char('\t')));
        }
    }
    // Each recording went to its own key only: the others were cleared in their own turn.
    const QString file = QString::fromStdString((m_dir.path() / "Quillet.conf").string());
    QSettings stored(file, QSettings::IniFormat);
    EXPECT_TRUE(stored.contains(QStringLiteral("ShowExpandersShortcuts")));
    EXPECT_FALSE(stored.contains(QStringLiteral("ShowExpandersShortcut")));
}

TEST_F(PreferencesTest, EachTabGivesTheWindowItsOwnSizeAndTitle)
{
    PreferencesWindowController controller(*m_defaults, nullptr);
    PreferencesTabViewController* tabs = controller.tabViewController();
    tabs->setAnimationDuration(0);
    controller.showWindow();
    QCoreApplication::processEvents();
    EXPECT_EQ(controller.window()->windowTitle(), QStringLiteral("Shortcuts"));

    using Tab = PreferencesTabViewController::Tab;
    tabs->tabs().setSelectedItem(Tab::text);
    QCoreApplication::processEvents();
    const QSize text = controller.window()->size();
    EXPECT_EQ(controller.window()->windowTitle(), QStringLiteral("Text"));
    tabs->tabs().setSelectedItem(Tab::general);
    QCoreApplication::processEvents();
    const QSize general = controller.window()->size();
    EXPECT_NE(text, general) << "the larger tab does not hold the smaller one at its size";

    tabs->tabs().setSelectedItem(Tab::text);
    QCoreApplication::processEvents();
    EXPECT_EQ(controller.window()->size(), text);
    EXPECT_EQ(tabs->tabs().selectedItem(), Tab::text);
}

TEST_F(PreferencesTest, EscapeStopsARecordingFirstAndThenClosesTheWindow)
{
    PreferencesWindowController controller(*m_defaults, nullptr);
    controller.showWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(controller.window()));
    auto* recorder = controller.window()->findChild<ShortcutRecorder*>();
    ASSERT_NE(recorder, nullptr);
    const auto before = recorder->shortcut();

    recorder->setRecording(true);
    QTest::keyClick(recorder, Qt::Key_Escape);
    EXPECT_FALSE(recorder->isRecording());
    EXPECT_TRUE(controller.window()->isVisible()) << "the first Escape only stops the recording";
    EXPECT_EQ(recorder->shortcut(), before);

    QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : controller.window(), Qt::Key_Escape);
    EXPECT_FALSE(controller.window()->isVisible());
    controller.showWindow();
    EXPECT_TRUE(controller.window()->isVisible()) << "closing only hides the window";
}

} // namespace
} // namespace quillet
