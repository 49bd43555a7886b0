#include "intro/IntroWindow.h"
#include "intro/AccessibilityIntroViewController.h"
#include "intro/IntroPageController.h"
#include "intro/IntroWindowController.h"
#include "intro/ShortcutIntroViewController.h"
#include "intro/WelcomeIntroViewController.h"
#include "library/App.h"
#include "library/Websites.h"
#include "shell/UrlRecorder.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QDesktopServices>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <QWindow>

#include <gtest/gtest.h>

namespace quillet {
namespace {

/// Counts the times a window is hidden.
class HideCounter : public QObject {
public:
    explicit HideCounter(QObject* watched) { watched->installEventFilter(this); }
    int count = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Hide)
            ++count;
        return false;
    }
};

/// The onboarding window over a library in a temporary folder, with a fake accessibility
/// trust and a record of what the pages asked for.
class IntroWindowTest : public ::testing::Test {
protected:
    IntroWindowTest()
        : m_app(libraryIn(m_dir))
    {
    }

    static App::Environment libraryIn(const test::TempDir& dir)
    {
        App::Environment environment = App::Environment::headless();
        environment.bundlesFilePath = dir.path() / "bundles.qlbundles";
        return environment;
    }

    ~IntroWindowTest() override { delete m_window.data(); }

    IntroEnvironment environment()
    {
        return IntroEnvironment {
            .isAccessibilityTrusted =
                [this](bool prompt) {
                    if (prompt)
                        ++m_prompts;
                    return m_trusted;
                },
            .app = [this]() -> App& { return m_app; },
            .didCompleteIntroduction = [this] { ++m_completions; },
            .expandShortcutText = [] { return QStringLiteral("Ctrl+Alt+E"); },
        };
    }

    IntroWindow* open()
    {
        m_window = IntroWindowController(environment()).makeWindow();
        m_window->show();
        return m_window;
    }

    IntroPageController* pages() const { return qobject_cast<IntroPageController*>(m_window->content()); }
    QString pageName() const { return pages()->selectedPage()->objectName(); }

    /// What the application does when the expand shortcut is pressed with a custom action
    /// installed; false when none is installed (the press would expand).
    bool pressExpandShortcut()
    {
        const auto action = m_app.expandingShortcutCustomAction();
        if (!action)
            return false;
        if (action())
            m_app.setExpandingShortcutCustomAction({});
        return true;
    }

    void click(const char* buttonName)
    {
        auto* button = pages()->selectedPage()->findChild<QPushButton*>(QString::fromLatin1(buttonName));
        ASSERT_NE(button, nullptr) << buttonName << " on " << pageName().toStdString();
        QTest::mouseClick(button, Qt::LeftButton);
        QCoreApplication::processEvents();
    }

    /// Goes from the first page to the given one the way the user does.
    void advanceTo(int index)
    {
        m_trusted = true;
        while (pages()->selectedIndex() < index) {
            switch (pages()->selectedIndex()) {
            case 0:
                pages()->navigateForward();
                break;
            case 1:
                click("next");
                break;
            case 2:
                ASSERT_TRUE(pressExpandShortcut());
                QCoreApplication::processEvents();
                break;
            default:
                click("next");
                break;
            }
        }
    }

    test::TempDir m_dir;
    App m_app;
    QPointer<IntroWindow> m_window;
    bool m_trusted = false;
    int m_prompts = 0;
    int m_completions = 0;
};

TEST_F(IntroWindowTest, ThePagesComeInTheirOrderWithTheirClassesAndTheLastOneCompletesTheIntroduction)
{
    struct Page {
        const char* identifier;
        const char* className;
    };
    const Page expected[] = {
        { "WelcomeIntroViewController", "quillet::WelcomeIntroViewController" },
        { "AccessibilityIntroViewController", "quillet::AccessibilityIntroViewController" },
        { "ShortcutIntroViewController", "quillet::ShortcutIntroViewController" },
        { "ExamplesIntroViewController", "quillet::ExampleIntroViewController" },
        { "MenuIntroViewController", "quillet::MenuIntroViewController" },
        { "ExpandersIntroViewController", "quillet::ImageOnlyIntroViewController" },
        { "BrowserIntroViewController", "quillet::ImageOnlyIntroViewController" },
        { "ThankYouIntroViewController", "quillet::FinishIntroViewController" },
    };
    open();
    EXPECT_TRUE(m_window->isFloating());
    EXPECT_EQ(pages()->arrangedObjects().size(), 8);
    for (int i = 0; i < 8; ++i) {
        advanceTo(i);
        ASSERT_EQ(pages()->selectedIndex(), i);
        EXPECT_EQ(pageName(), QLatin1String(expected[i].identifier));
        EXPECT_STREQ(pages()->selectedPage()->metaObject()->className(), expected[i].className);
        EXPECT_TRUE(pages()->selectedPage()->isVisible()) << expected[i].identifier;
        // Only the page in view is alive: every page is made anew when it comes.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_EQ(pages()->findChildren<IntroViewController*>(QString(), Qt::FindDirectChildrenOnly).size(), 1);
    }
    EXPECT_EQ(m_completions, 0);

    click("done");
    EXPECT_EQ(m_completions, 1);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(m_window.isNull()) << "the closing page closes (and so deletes) the window";
}

TEST_F(IntroWindowTest, TheWelcomePageMovesOnByItselfAfterItsTimeAndClosingFirstStopsIt)
{
    open();
    auto* welcome = qobject_cast<WelcomeIntroViewController*>(pages()->selectedPage());
    ASSERT_NE(welcome, nullptr);
    EXPECT_EQ(WelcomeIntroViewController::movieTime + WelcomeIntroViewController::timeout, 8.0);
    auto* timer = welcome->findChild<QTimer*>(QStringLiteral("NextPageTimer"));
    ASSERT_NE(timer, nullptr);
    EXPECT_TRUE(timer->isActive());
    EXPECT_TRUE(timer->isSingleShot());
    EXPECT_EQ(timer->interval(), 8000);

    timer->start(5);
    QTRY_COMPARE(pages()->selectedIndex(), 1);

    // A second window closed on its welcome page: the time running out reaches nobody.
    m_window->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    open();
    QPointer<QTimer> second = pages()->selectedPage()->findChild<QTimer*>(QStringLiteral("NextPageTimer"));
    m_window->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(second.isNull());
}

TEST_F(IntroWindowTest, TheAccessibilityPagePromptsOnceLowersTheWindowAndGoesOnOnlyWhenTrusted)
{
    open();
    pages()->navigateForward();
    auto* page = qobject_cast<AccessibilityIntroViewController*>(pages()->selectedPage());
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(m_prompts, 1);
    EXPECT_FALSE(m_window->isFloating());
    EXPECT_TRUE(m_window->isVisible()) << "lowering the window keeps it shown";

    // Hidden and shown again (the window minimised and restored): no second prompt.
    page->hide();
    page->show();
    EXPECT_EQ(m_prompts, 1);

    ASSERT_FALSE(page->helpLabel()->isVisible());
    click("next");
    EXPECT_EQ(m_prompts, 2);
    EXPECT_EQ(pages()->selectedIndex(), 1);
    EXPECT_TRUE(page->helpLabel()->isVisible()) << "the page explains how to turn access on";

    m_trusted = true;
    click("next");
    EXPECT_EQ(pages()->selectedIndex(), 2);
}

TEST_F(IntroWindowTest, TheExpandShortcutMovesTheShortcutPageOnOnceAndTheNextPressExpands)
{
    open();
    advanceTo(2);
    auto* page = qobject_cast<ShortcutIntroViewController*>(pages()->selectedPage());
    ASSERT_NE(page, nullptr);
    EXPECT_TRUE(page->isActionInstalled());

    EXPECT_TRUE(pressExpandShortcut());
    EXPECT_EQ(pages()->selectedIndex(), 2) << "the page turns after the press has been handled";
    QCoreApplication::processEvents();
    EXPECT_EQ(pages()->selectedIndex(), 3);
    EXPECT_FALSE(pressExpandShortcut()) << "the next press expands";
}

TEST_F(IntroWindowTest, TheShortcutPageCanBeLeftWithoutTheShortcut)
{
    // The key may be held by another program: the page's button goes on, and the press that
    // comes later expands.
    open();
    advanceTo(2);
    click("next");
    EXPECT_EQ(pages()->selectedIndex(), 3);
    EXPECT_FALSE(pressExpandShortcut());
    m_window->close();
    EXPECT_EQ(m_completions, 0) << "leaving early never completes the introduction";
}

TEST_F(IntroWindowTest, LeavingTheShortcutPageRemovesItsActionButNotSomeoneElses)
{
    struct Case {
        const char* name;
        std::function<void(QWidget&)> leave;
    };
    const Case cases[] = {
        { "WindowClosed", [](QWidget& window) { window.close(); } },
        { "WindowDeleted", [](QWidget& window) { delete &window; } },
        { "WindowHidden", [](QWidget& window) { window.hide(); } },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        open();
        advanceTo(2);
        ASSERT_TRUE(m_app.expandingShortcutCustomAction());
        c.leave(*m_window);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_FALSE(m_app.expandingShortcutCustomAction()) << "a later press must expand as usual";
        delete m_window.data();
    }

    // Another action installed while the page is shown stays when the page goes.
    open();
    advanceTo(2);
    int otherCalls = 0;
    m_app.setExpandingShortcutCustomAction([&otherCalls] {
        ++otherCalls;
        return true;
    });
    m_window->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(pressExpandShortcut());
    EXPECT_EQ(otherCalls, 1);
}

TEST_F(IntroWindowTest, TheMenuPageFloatsTheWindowAgainAndTheExamplesLinkOpensTheEditorsPage)
{
    test::UrlRecorder recorder;
    open();
    advanceTo(3);
    ASSERT_FALSE(m_window->isFloating());
    click("openLink");
    ASSERT_EQ(recorder.urls().size(), 1);
    EXPECT_EQ(recorder.urls().front(), QUrl(QString::fromStdString(Websites::editors())));
    EXPECT_EQ(pages()->selectedIndex(), 3);

    advanceTo(4);
    EXPECT_TRUE(m_window->isFloating());
    EXPECT_TRUE(m_window->isVisible());
}

TEST_F(IntroWindowTest, RaisingAndLoweringTheWindowLeavesTheUsersOtherWindowActiveAndTheWindowInPlace)
{
    open();
    ASSERT_TRUE(QTest::qWaitForWindowActive(m_window.data()));
    m_window->move(m_window->pos() + QPoint(40, 30));
    const QPoint position = m_window->pos();
    const QPointer<QWindow> handle = m_window->windowHandle();
    ASSERT_NE(handle, nullptr);
    HideCounter hides(m_window);

    // The window the user went on to while the welcome page played (the expander browser).
    QWidget other;
    other.show();
    other.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));

    struct Step {
        int page;
        bool floating;
    };
    for (const auto& [page, floating] : { Step { 1, false }, Step { 4, true } }) {
        advanceTo(page);
        QCoreApplication::processEvents();
        SCOPED_TRACE(pageName().toStdString());
        EXPECT_EQ(m_window->isFloating(), floating);
        ASSERT_EQ(m_window->windowHandle(), handle.data()) << "the same window, never made again";
        EXPECT_EQ(handle->flags().testFlag(Qt::WindowStaysOnTopHint), floating) << "the window system is told";
        EXPECT_EQ(hides.count, 0);
        EXPECT_TRUE(m_window->isVisible());
        EXPECT_EQ(m_window->pos(), position);
        EXPECT_EQ(QApplication::activeWindow(), &other) << "the keyboard stays where the user is typing";
    }
}

} // namespace
} // namespace quillet
