#include "docs/views/ExpanderBrowserWindowController.h"
#include "docs/views/ExpanderDescritpionViewController.h"

#include "OrvTextView/MarkdownTextView/MarkdownTextView.h"
#include "editor/EditorTestSupport.h"
#include "editor/EditorWindowController.h"
#include "support/ExpanderNames.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quillet {
namespace {

using test::names;

/// A window of the application other than the browser; it records the keys it receives.
class KeyRecorder final : public QWidget {
public:
    KeyRecorder()
    {
        setFocusPolicy(Qt::StrongFocus);
        resize(200, 100);
    }
    std::vector<int> keys;

protected:
    void keyPressEvent(QKeyEvent* event) override { keys.push_back(event->key()); }
};

struct RecordingBrowserDelegate final : ExpanderBrowserViewControllerDelegate {
    void openExpander(ExpanderBrowserViewController&, CustomExpander& expander) override
    {
        opened.push_back(toUtf8(expander.name()));
    }
    std::vector<std::string> opened;
};

/// The browser over the fixture's library: A (a1, a2, a3), B (b1), C (empty).
class ExpanderBrowserTest : public test::LibraryFixture {
protected:
    void SetUp() override
    {
        LibraryFixture::SetUp();
        browser = std::make_unique<ExpanderBrowserWindowController>([this] { return store().enabledExpanders(); });
        content()->setDelegate(&delegate);
    }
    void TearDown() override
    {
        browser.reset();
        LibraryFixture::TearDown();
    }

    ExpanderBrowserViewController* content() const { return browser->contentViewController(); }

    static bool activate(QWidget* window)
    {
        window->show();
        window->activateWindow();
        QApplication::setActiveWindow(window);
        return QTest::qWaitForWindowActive(window);
    }

    bool showBrowser()
    {
        browser->showWindow();
        return QTest::qWaitForWindowActive(browser->window());
    }

    RecordingBrowserDelegate delegate;
    std::unique_ptr<ExpanderBrowserWindowController> browser;
};

TEST_F(ExpanderBrowserTest, TypingFiltersOnceAfterThePauseAndBlanksAtTheEndsDoNotFilter)
{
    ASSERT_TRUE(showBrowser());
    EXPECT_EQ(names(content()->expanders()), std::vector<std::string>({ "a1", "a2", "a3", "b1" }));
    QSignalSpy filtered(content(), &ExpanderBrowserViewController::expandersFiltered);

    QElapsedTimer sinceLastKey;
    QTest::keyClicks(content()->searchField(), QStringLiteral("b"));
    QTest::keyClicks(content()->searchField(), QStringLiteral("1"));
    sinceLastKey.start();
    EXPECT_EQ(filtered.count(), 0); // nothing yet: the user is still typing
    ASSERT_TRUE(filtered.wait(2000));
    EXPECT_GE(sinceLastKey.elapsed(), int(ExpanderBrowserViewController::searchDelay * 1000) - 20);
    QTest::qWait(int(ExpanderBrowserViewController::searchDelay * 1000) + 100);
    EXPECT_EQ(filtered.count(), 1); // two keys, one filtering
    EXPECT_EQ(names(content()->expanders()), std::vector<std::string>({ "b1" }));
    // The best match is selected as the list is filtered: Return opens it.
    EXPECT_EQ(content()->tableView()->selectedRow(), 0);
    QTest::keyClick(content()->searchField(), Qt::Key_Return);
    EXPECT_EQ(delegate.opened, std::vector<std::string>({ "b1" }));

    // Blanks typed at either end change nothing worth a filtering.
    QTest::keyClick(content()->searchField(), Qt::Key_Space);
    content()->setSearchText(icu::UnicodeString(u"\tb1 "));
    EXPECT_FALSE(filtered.wait(int(ExpanderBrowserViewController::searchDelay * 1000) + 200));
    EXPECT_EQ(filtered.count(), 1);

    // The search text outlives the browser's closing; the next showing filters it at once.
    browser->toggle();
    EXPECT_FALSE(browser->window()->isVisible());
    store().bundles().front()->expanders().front()->setName(u"b1 too");
    ASSERT_TRUE(showBrowser());
    EXPECT_EQ(content()->searchField()->text(), QStringLiteral("\tb1 "));
    EXPECT_EQ(names(content()->expanders()), std::vector<std::string>({ "b1", "b1 too" }));
    EXPECT_TRUE(content()->searchField()->hasFocus());
    // The kept text comes back selected: what the user types next starts a new search.
    EXPECT_EQ(content()->searchField()->selectedText(), QStringLiteral("\tb1 "));
    QTest::keyClicks(content()->searchField(), QStringLiteral("a2"));
    EXPECT_EQ(content()->searchField()->text(), QStringLiteral("a2"));
}

TEST_F(ExpanderBrowserTest, ReturnAndEscapeActOnlyWhileTheBrowserIsTheActiveWindow)
{
    KeyRecorder other;
    ASSERT_TRUE(showBrowser());
    content()->tableView()->selectRow(1);

    // Another window of the application is active: its keys reach it, the browser stays.
    ASSERT_TRUE(activate(&other));
    ASSERT_TRUE(browser->window()->isVisible());
    QTest::keyClick(&other, Qt::Key_Return);
    QTest::keyClick(&other, Qt::Key_Escape);
    QTest::keyClick(&other, Qt::Key_Down);
    EXPECT_EQ(other.keys, std::vector<int>({ Qt::Key_Return, Qt::Key_Escape, Qt::Key_Down }));
    EXPECT_TRUE(delegate.opened.empty());
    EXPECT_TRUE(browser->window()->isVisible());
    EXPECT_EQ(content()->tableView()->selectedRow(), 1);

    // In the browser: a modified Return is not the shortcut; Return opens; Escape closes.
    ASSERT_TRUE(activate(browser->window()));
    QTest::keyClick(content()->searchField(), Qt::Key_Return, Qt::ShiftModifier);
    EXPECT_TRUE(delegate.opened.empty());
    QTest::keyClick(content()->searchField(), Qt::Key_Return);
    EXPECT_EQ(delegate.opened, std::vector<std::string>({ "a2" }));
    QTest::keyClick(content()->searchField(), Qt::Key_Escape);
    EXPECT_FALSE(browser->window()->isVisible());
    EXPECT_EQ(other.keys.size(), 3u);

    // Hidden, the browser takes no key at all.
    ASSERT_TRUE(activate(&other));
    QTest::keyClick(&other, Qt::Key_Return);
    EXPECT_EQ(other.keys.size(), 4u);
    EXPECT_EQ(delegate.opened.size(), 1u);
}

TEST_F(ExpanderBrowserTest, ArrowsInTheSearchFieldMoveTheSelectionWithoutWrapping)
{
    ASSERT_TRUE(showBrowser());
    ExpanderTableView* list = content()->tableView();
    struct Step {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        int row;
    };
    const Step steps[] = {
        { Qt::Key_Up, Qt::NoModifier, 0 }, // the first row, selected by the filtering, stays
        { Qt::Key_Up, Qt::NoModifier, 0 },
        { Qt::Key_Down, Qt::NoModifier, 1 },
        { Qt::Key_Down, Qt::ShiftModifier, 2 }, // modifiers do not matter
        { Qt::Key_Down, Qt::ControlModifier | Qt::AltModifier, 3 },
        { Qt::Key_Down, Qt::NoModifier, 3 }, // the last row stays
        { Qt::Key_Up, Qt::NoModifier, 2 },
    };
    for (const auto& step : steps) {
        QTest::keyClick(content()->searchField(), step.key, step.modifiers);
        EXPECT_EQ(list->selectedRow(), step.row) << step.key << " " << step.modifiers;
        EXPECT_TRUE(content()->searchField()->hasFocus());
    }
    list->clearSelection();
    QTest::keyClick(content()->searchField(), Qt::Key_Down);
    EXPECT_EQ(list->selectedRow(), 0);

    // With the list focused the list alone moves its selection: one row per key.
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Down);
    EXPECT_EQ(list->selectedRow(), 1);
}

TEST_F(ExpanderBrowserTest, OpeningAnExpanderSelectsItInTheEditorWindowAndClosesTheBrowser)
{
    EditorWindowController editor(store());
    // What the application delegate does with the browser's choice.
    struct Opener final : ExpanderBrowserViewControllerDelegate {
        Opener(EditorWindowController& editor, ExpanderBrowserWindowController& browser)
            : editor(editor)
            , browser(browser)
        {
        }
        void openExpander(ExpanderBrowserViewController&, CustomExpander& expander) override
        {
            editor.select(expander);
            editor.showWindow();
            browser.close();
        }
        EditorWindowController& editor;
        ExpanderBrowserWindowController& browser;
    } opener(editor, *browser);
    content()->setDelegate(&opener);

    ASSERT_TRUE(showBrowser());
    content()->setSearchText(icu::UnicodeString(u"a3"));
    content()->filterExpanders();
    ASSERT_EQ(names(content()->expanders()), std::vector<std::string>({ "a3" }));
    QTest::keyClick(content()->searchField(), Qt::Key_Down);
    QTest::keyClick(content()->searchField(), Qt::Key_Return);

    ASSERT_EQ(editor.selectedObjects().size(), 1u);
    EXPECT_EQ(editor.selectedObjects().front().expander(), expander(0, 2));
    EXPECT_TRUE(editor.window()->isVisible());
    EXPECT_FALSE(browser->window()->isVisible());

    // A double click on a row opens it too.
    ASSERT_TRUE(showBrowser());
    content()->setSearchText(icu::UnicodeString());
    content()->filterExpanders();
    QListView* list = content()->tableView();
    const QModelIndex b1 = list->model()->index(3, 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return list->visualRect(b1).isValid(); })); // laid out
    const QRect row = list->visualRect(b1);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, row.center());
    EXPECT_TRUE(browser->window()->isVisible()); // a click only selects
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, row.center());
    EXPECT_EQ(editor.selectedObjects().front().expander(), expander(1, 0));
}

TEST_F(ExpanderBrowserTest, TheShortcutShowsAndHidesTheBrowserAboveOtherWindows)
{
    EXPECT_FALSE(browser->window()->isVisible());
    browser->toggle();
    ASSERT_TRUE(QTest::qWaitForWindowActive(browser->window()));
    EXPECT_TRUE(browser->window()->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(browser->window()->windowFlags().testFlag(Qt::FramelessWindowHint));
    browser->toggle();
    EXPECT_FALSE(browser->window()->isVisible());
}

TEST_F(ExpanderBrowserTest, TheDescriptionViewEditsTheExpandersDescriptionBothWays)
{
    ExpanderDescritpionViewController view;
    const CustomExpanderPtr first = expander(0, 0);
    first->setExpanderDescription(u"First *expander*");
    view.setExpander(first);
    EXPECT_EQ(view.textView()->toPlainText(), QStringLiteral("First *expander*"));

    view.textView()->setFocus();
    view.textView()->moveCursor(QTextCursor::End);
    QTest::keyClicks(view.textView(), QStringLiteral(" and more"));
    EXPECT_EQ(toUtf8(first->expanderDescription()), "First *expander* and more");

    first->setExpanderDescription(u"Changed elsewhere");
    EXPECT_EQ(view.textView()->toPlainText(), QStringLiteral("Changed elsewhere"));

    // Another expander: edits go to it only.
    const CustomExpanderPtr second = expander(1, 0);
    view.setExpander(second);
    view.textView()->setPlainText(QStringLiteral("Second"));
    EXPECT_EQ(toUtf8(second->expanderDescription()), "Second");
    EXPECT_EQ(toUtf8(first->expanderDescription()), "Changed elsewhere");

    view.setExpander(nullptr);
    EXPECT_TRUE(view.textView()->toPlainText().isEmpty());
    EXPECT_FALSE(view.textView()->isEnabled());
}

} // namespace
} // namespace quillet
