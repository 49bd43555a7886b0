#include "intro/IntroImageView.h"
#include "intro/IntroPageController.h"
#include "intro/IntroWindow.h"
#include "library/App.h"
#include "library/ResourceLocator.h"
#include "library/Websites.h"
#include "platform/UserDefaults.h"
#include "preferences/PreferencesTabViewController.h"
#include "shell/MenuActions.h"
#include "shell/MenuController.h"
#include "shell/StatusMenu.h"
#include "shell/UrlRecorder.h"
#include "support/TestSupport.h"

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QFileInfo>
#include <QIcon>
#include <QLabel>
#include <QMainWindow>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

namespace quillet {
namespace {

std::unique_ptr<UserDefaults> defaultsIn(const test::TempDir& dir)
{
    const QString file = QString::fromStdString((dir.path() / "Quillet.conf").string());
    return std::make_unique<UserDefaults>(std::make_unique<QSettings>(file, QSettings::IniFormat));
}

const QKeySequence editorKeys(QKeyCombination(Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier, Qt::Key_E));
const QKeySequence browserKeys(QKeyCombination(Qt::ControlModifier | Qt::ShiftModifier, Qt::Key_Space));

class MenuControllerTest : public ::testing::Test {
protected:
    test::TempDir m_dir;
    std::unique_ptr<UserDefaults> m_defaults = defaultsIn(m_dir);
    StatusMenu m_menu;
    MenuController m_controller { *m_defaults, m_menu.expandersMenuItem(), m_menu.expanderBrowserMenuItem() };
};

TEST_F(MenuControllerTest, TheDefaultShortcutsShowOnceTheDefaultsAreRegistered)
{
    m_controller.awakeFromNib();
    EXPECT_TRUE(m_menu.expandersMenuItem()->shortcut().isEmpty()) << "nothing is stored on a first launch";

    m_defaults->registerApplicationDefaults();
    EXPECT_EQ(m_menu.expandersMenuItem()->shortcut(), editorKeys);
    EXPECT_EQ(m_menu.expanderBrowserMenuItem()->shortcut(), browserKeys);
}

TEST_F(MenuControllerTest, EachItemFollowsItsOwnShortcutKeyAsItIsRecordedClearedOrReset)
{
    m_defaults->registerApplicationDefaults();
    m_controller.awakeFromNib();
    const Shortcut f5 { 96, Shortcut::commandKeyMask };
    const QKeySequence f5Keys(QKeyCombination(Qt::ControlModifier, Qt::Key_F5));

    struct Step {
        const char* name;
        std::function<void(UserDefaults&)> change;
        QKeySequence expanders;
        QKeySequence browser;
    };
    const Step steps[] = {
        { "RecordEditorShortcut", [&](UserDefaults& d) { d.setShortcut(UserDefaultsKey::ShowExpandersShortcut, f5); },
            f5Keys, browserKeys },
        { "ClearEditorShortcut",
            [](UserDefaults& d) { d.setShortcut(UserDefaultsKey::ShowExpandersShortcut, std::nullopt); }, {},
            browserKeys },
        { "ClearBrowserShortcut",
            [](UserDefaults& d) { d.setShortcut(UserDefaultsKey::ShowExpanderBrowserShortcut, std::nullopt); }, {},
            {} },
        { "ExpandShortcutTouchesNeither",
            [&](UserDefaults& d) { d.setShortcut(UserDefaultsKey::ExpandTextShortcut, f5); }, {}, {} },
        { "RemovingTheStoredValueShowsTheDefaultAgain",
            [](UserDefaults& d) { d.remove(UserDefaultsKey::ShowExpandersShortcut); }, editorKeys, {} },
        { "UndecodableDataIsNoShortcut",
            [](UserDefaults& d) { d.setValue(UserDefaultsKey::ShowExpanderBrowserShortcut, QStringLiteral("E:F")); },
            editorKeys, {} },
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        step.change(*m_defaults);
        EXPECT_EQ(m_menu.expandersMenuItem()->shortcut(), step.expanders);
        EXPECT_EQ(m_menu.expanderBrowserMenuItem()->shortcut(), step.browser);
    }
}

/// The status menu wired to its actions, with the library in a temporary folder.
class MenuActionsTest : public ::testing::Test {
protected:
    MenuActionsTest()
    {
        App::Environment environment = App::Environment::headless();
        environment.bundlesFilePath = m_dir.path() / "bundles.qlbundles";
        m_app = std::make_unique<App>(environment);
        m_defaults->registerApplicationDefaults();
        MenuActions::Services services;
        services.defaults = m_defaults.get();
        services.intro.app = [this]() -> App& { return *m_app; };
        services.resources = std::make_shared<DirectoryResourceLocator>(DirectoryResourceLocator::defaultRoot());
        services.intro.isAccessibilityTrusted = [](bool) { return true; };
        services.terminate = [this] { ++m_terminations; };
        m_actions = std::make_unique<MenuActions>(services);
        m_actions->connectMenu(m_menu);
    }

    void trigger(const char* name)
    {
        QAction* item = m_menu.item(QString::fromLatin1(name));
        ASSERT_NE(item, nullptr) << name;
        item->trigger();
        QCoreApplication::processEvents();
    }

    test::TempDir m_dir;
    std::unique_ptr<App> m_app;
    std::unique_ptr<UserDefaults> m_defaults = defaultsIn(m_dir);
    StatusMenu m_menu;
    std::unique_ptr<MenuActions> m_actions;
    int m_terminations = 0;
};

TEST_F(MenuActionsTest, EachPageItemOpensItsPageInTheBrowser)
{
    const std::pair<const char*, std::string> cases[] = {
        { "goToSupport", Websites::support() },
        { "goToIntroduction", Websites::introduction() },
        { "goToQuilletLanguage", Websites::language() },
        { "sendFeedback", Websites::feedback() },
        { "checkForUpdates", Websites::updates(QCoreApplication::applicationVersion().toStdString()) },
    };
    for (const auto& [name, address] : cases) {
        SCOPED_TRACE(name);
        test::UrlRecorder recorder;
        trigger(name);
        ASSERT_EQ(recorder.urls().size(), 1);
        EXPECT_EQ(recorder.urls().front(), QUrl(QString::fromStdString(address)));
    }
}

TEST_F(MenuActionsTest, TheAcknowledgementsOpenAsARealFile)
{
    test::UrlRecorder recorder;
    trigger("showAcknowledgments");
    ASSERT_EQ(recorder.urls().size(), 1);
    const QUrl url = recorder.urls().front();
    EXPECT_TRUE(url.isLocalFile());
    EXPECT_EQ(QFileInfo(url.toLocalFile()).fileName(), QStringLiteral("acknowledgements.html"));
    EXPECT_TRUE(QFileInfo(url.toLocalFile()).isFile());
}

TEST_F(MenuActionsTest, TheWindowItemsShowTheirWindowsAndQuitEndsTheApplication)
{
    trigger("showPreferences");
    ASSERT_NE(m_actions->preferencesWindow(), nullptr);
    EXPECT_TRUE(m_actions->preferencesWindow()->isVisible());
    QWidget* preferences = m_actions->preferencesWindow();
    EXPECT_EQ(preferences->windowTitle(), QStringLiteral("Shortcuts"));
    auto* tabs = preferences->findChild<PreferencesTabViewController*>();
    ASSERT_NE(tabs, nullptr);
    tabs->tabs().setSelectedItem(PreferencesTabViewController::Tab::general);
    EXPECT_EQ(preferences->windowTitle(), QStringLiteral("General")) << "the selected tab titles the window";
    preferences->close();
    trigger("showPreferences");
    EXPECT_EQ(m_actions->preferencesWindow(), preferences) << "the preferences window is kept";
    EXPECT_TRUE(preferences->isVisible());

    trigger("showAbout");
    ASSERT_NE(m_actions->aboutWindow(), nullptr);
    EXPECT_TRUE(m_actions->aboutWindow()->isVisible());
    EXPECT_FALSE(applicationIcon().pixmap(32).isNull()) << "the About window and the windows show Quillet's icon";

    trigger("showIntroduction");
    IntroWindow* intro = m_actions->introWindow();
    ASSERT_NE(intro, nullptr);
    EXPECT_TRUE(intro->isVisible());
    trigger("showIntroduction");
    EXPECT_EQ(m_actions->introWindow(), intro) << "one introduction at a time";
    intro->close();

    EXPECT_EQ(m_terminations, 0);
    trigger("quit");
    EXPECT_EQ(m_terminations, 1);
}

TEST_F(MenuActionsTest, EscapeClosesThePreferencesTheIntroductionAndAbout)
{
    struct Case {
        const char* item;
        std::function<QWidget*()> window;
    };
    const Case cases[] = {
        { "showPreferences", [this] { return m_actions->preferencesWindow(); } },
        { "showIntroduction", [this] { return m_actions->introWindow(); } },
        { "showAbout", [this] { return m_actions->aboutWindow(); } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.item);
        trigger(c.item);
        QPointer<QWidget> window = c.window();
        ASSERT_NE(window, nullptr);
        ASSERT_TRUE(QTest::qWaitForWindowActive(window));
        // Whole on its screen, wherever the desktop would have put it.
        const QRect screen = window->screen()->availableGeometry();
        EXPECT_TRUE(screen.contains(window->geometry())) << window->geometry().x() << "," << window->geometry().y();
        QWidget* focus = QApplication::focusWidget() ? QApplication::focusWidget() : window.data();
        QTest::keyClick(focus, Qt::Key_Escape);
        EXPECT_TRUE(!window || !window->isVisible());
    }
}

TEST_F(MenuActionsTest, CompletingTheIntroductionFromTheMenuIsRememberedAndItShowsTheExpandShortcut)
{
    m_defaults->setShortcut(UserDefaultsKey::ExpandTextShortcut, Shortcut { 96, Shortcut::commandKeyMask });
    trigger("showIntroduction");
    IntroWindow* intro = m_actions->introWindow();
    ASSERT_NE(intro, nullptr);
    auto* pages = qobject_cast<IntroPageController*>(intro->content());
    ASSERT_NE(pages, nullptr);
    for (int i = 0; i < 2; ++i)
        pages->navigateForward();
    ASSERT_EQ(pages->selectedPage()->objectName(), QStringLiteral("ShortcutIntroViewController"));
    const QList<QLabel*> labels = pages->selectedPage()->findChildren<QLabel*>();
    EXPECT_TRUE(std::any_of(
        labels.begin(), labels.end(), [](QLabel* label) { return label->text().contains(QStringLiteral("Ctrl+F5")); }));
    // The picture shows the same keys.
    auto* keys = pages->selectedPage()->findChild<IntroImageView*>(QStringLiteral("ShortcutKeys"));
    ASSERT_NE(keys, nullptr);
    EXPECT_TRUE(keys->isValid());
    EXPECT_EQ(keys->accessibleName(), QStringLiteral("Ctrl+F5"));
    while (pages->selectedIndex() < 7)
        pages->navigateForward();
    EXPECT_FALSE(m_defaults->boolForKey(UserDefaultsKey::DidOpenIntro));

    auto* done = pages->selectedPage()->findChild<QPushButton*>(QStringLiteral("done"));
    ASSERT_NE(done, nullptr);
    done->click();
    EXPECT_TRUE(m_defaults->boolForKey(UserDefaultsKey::DidOpenIntro));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(m_actions->introWindow(), nullptr);
}

TEST_F(MenuActionsTest, TheEditorAndBrowserItemsJoinTheMenuOnlyOnceTheirWindowsExist)
{
    const char* editorItems[] = { "showExpanders", "showPreviousView", "showNextView" };
    for (const char* name : editorItems)
        EXPECT_FALSE(m_menu.item(QString::fromLatin1(name))->isVisible()) << name;
    EXPECT_FALSE(m_menu.item(QStringLiteral("showOrHideExpanderBrowser"))->isVisible());

    int shown = 0;
    int mode = 0;
    int toggled = 0;
    m_actions->setEditorWindow([&shown] { ++shown; }, [&mode] { mode = 1 - mode; });
    for (const char* name : editorItems)
        EXPECT_TRUE(m_menu.item(QString::fromLatin1(name))->isVisible()) << name;
    EXPECT_FALSE(m_menu.item(QStringLiteral("showOrHideExpanderBrowser"))->isVisible());

    trigger("showExpanders");
    EXPECT_EQ(shown, 1);
    trigger("showPreviousView");
    EXPECT_EQ(mode, 1);
    trigger("showNextView");
    EXPECT_EQ(mode, 0) << "previous then next returns to the mode it had";

    m_actions->setExpanderBrowser([&toggled] { ++toggled; });
    EXPECT_TRUE(m_menu.item(QStringLiteral("showOrHideExpanderBrowser"))->isVisible());
    trigger("showOrHideExpanderBrowser");
    EXPECT_EQ(toggled, 1);
}

/// The items of a menu and of its submenus, by action name.
QStringList itemNames(const QList<QAction*>& actions)
{
    QStringList names;
    for (QAction* action : actions) {
        if (action->menu())
            names << itemNames(action->menu()->actions());
        else if (!action->isSeparator())
            names << action->objectName();
    }
    return names;
}

TEST_F(MenuActionsTest, TheEditorWindowsMenuBarOffersWhatTheTrayMenuOffersWithTheSameItems)
{
    m_actions->setEditorWindow([] {}, [] {});
    m_actions->setExpanderBrowser([] {});
    QMainWindow window;
    m_menu.fillMenuBar(*window.menuBar());

    QStringList expected = itemNames(m_menu.actions());
    expected.removeAll(QStringLiteral("showExpanders")); // the bar is in that window
    QStringList offered = itemNames(window.menuBar()->actions());
    expected.sort();
    offered.sort();
    EXPECT_EQ(offered, expected);

    // The same items, not copies: one action behind both menus.
    for (QAction* menuBarMenu : window.menuBar()->actions()) {
        for (QAction* item : menuBarMenu->menu()->actions()) {
            if (!item->isSeparator()) {
                EXPECT_EQ(item, m_menu.item(item->objectName())) << item->objectName().toStdString();
            }
        }
    }
    auto* applicationMenu = window.menuBar()->findChild<QMenu*>(QStringLiteral("applicationMenu"));
    ASSERT_NE(applicationMenu, nullptr);
    for (QAction* item : applicationMenu->actions()) {
        if (item->objectName() == QLatin1String("showPreferences"))
            item->trigger();
    }
    ASSERT_NE(m_actions->preferencesWindow(), nullptr);
    EXPECT_TRUE(m_actions->preferencesWindow()->isVisible());
    m_actions->preferencesWindow()->close();

    // Quit is on the keyboard in the window, without a tray.
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    QTest::keyClick(&window, Qt::Key_Q, Qt::ControlModifier);
    EXPECT_EQ(m_terminations, 1);
}

} // namespace
} // namespace quillet
