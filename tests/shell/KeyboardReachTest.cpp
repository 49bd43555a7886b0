// The windows from the keyboard alone: each row opens a window, puts the focus where a user
// would find it, presses keys at whatever has the keyboard (through the window system, as
// the desktop delivers them) and checks where the focus went or what the keys did.
#include "OrvTextView/About/AboutWindowController.h"
#include "editor/EditorTabViewController.h"
#include "editor/EditorTestSupport.h"
#include "editor/EditorWindowController.h"
#include "editor/ExpanderAndPatternViewController.h"
#include "editor/MenuButton.h"
#include "editor/OutputTextViewController.h"
#include "editor/VariablePopover.h"
#include "editor/VariableTextView.h"
#include "intro/IntroPageController.h"
#include "intro/IntroViewController.h"
#include "intro/IntroWindow.h"
#include "intro/IntroWindowController.h"
#include "platform/UserDefaults.h"
#include "preferences/TextPreferencesViewController.h"
#include "shell/StatusMenu.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QWindow>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace quillet {
namespace {

/// The window the desktop sends the next key to: an open pop-up's, else the focused one.
QWindow* keyboardWindow()
{
    if (QWidget* popup = QApplication::activePopupWidget())
        return popup->windowHandle();
    return QGuiApplication::focusWindow();
}

/// Whether a key is being pressed: the next waits for it, unless it opened a menu.
bool pressing = false;

/// What one key does is looked at after the key is pressed; a menu that runs its own loop
/// gets the next keys inside that loop.
void pressInTurn(const std::vector<QKeyCombination>& keys, std::size_t from, bool& done)
{
    if (from == keys.size()) {
        done = true;
        return;
    }
    // A key the window is still taking (pressing one spins the event loop) comes first.
    if (pressing && !qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
        QTimer::singleShot(0, [&keys, from, &done] { pressInTurn(keys, from, done); });
        return;
    }
    // Scheduled first: a key that opens a menu returns only once the menu has closed.
    QTimer::singleShot(0, [&keys, from, &done] { pressInTurn(keys, from + 1, done); });
    QWindow* target = keyboardWindow();
    if (!target) {
        ADD_FAILURE() << "no window has the keyboard for key " << from;
        return;
    }
    const bool outer = std::exchange(pressing, true);
    QTest::keyClick(target, keys[from].key(), keys[from].keyboardModifiers());
    pressing = outer;
}

class KeyboardReachTest : public test::LibraryFixture {
protected:
    void SetUp() override
    {
        LibraryFixture::SetUp();
        const QString file = QString::fromStdString((dir.path() / "Quillet.conf").string());
        defaults = std::make_unique<UserDefaults>(std::make_unique<QSettings>(file, QSettings::IniFormat));
        defaults->registerApplicationDefaults();
    }
    void TearDown() override
    {
        while (QWidget* popup = QApplication::activePopupWidget())
            popup->close();
        delete intro.data();
        editor.reset();
        about.reset();
        preferences.reset();
        LibraryFixture::TearDown();
    }

    static void activate(QWidget* window)
    {
        window->show();
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    }
    static void focus(QWidget* widget)
    {
        widget->setFocus(Qt::OtherFocusReason);
        ASSERT_TRUE(QTest::qWaitFor([widget] { return widget->hasFocus(); }, 2000));
    }

    /// The editor window showing the first expander (pattern "a1 ${x:word}", output
    /// "<${x}>", languages "any").
    void makeEditor()
    {
        editor = std::make_unique<EditorWindowController>(store(),
            EditorServices { .alerts = recording->userInterface, .fileDialogs = nullptr, .urlOpener = nullptr });
        editor->setMode(EditorMode::edit);
        editor->select(BundleListElement(expander(0, 0)));
    }
    ExpanderAndPatternViewController* openExpander()
    {
        makeEditor();
        activate(editor->window());
        return static_cast<ExpanderEditorPaneAdapter*>(editor->editorTabViewController()->expanderEditor())
            ->controller();
    }
    void caretAt(VariableTextView* view, int position)
    {
        focus(view);
        QTextCursor cursor = view->textCursor();
        cursor.setPosition(position);
        view->setTextCursor(cursor);
    }

    /// The introduction on page `index` (0 to 7), reached as the pages move on by themselves.
    IntroPageController* openIntroductionAt(int index)
    {
        intro = IntroWindowController(IntroEnvironment {
                                          .isAccessibilityTrusted = [](bool) { return true; },
                                          .app = [this]() -> App& { return *app; },
                                          .didCompleteIntroduction = [this] { ++completions; },
                                          .expandShortcutText = [] { return QStringLiteral("Ctrl+Alt+E"); },
                                      })
                    .makeWindow();
        activate(intro);
        auto* pages = qobject_cast<IntroPageController*>(intro->content());
        while (pages->selectedIndex() < index)
            pages->navigateForward();
        return pages;
    }
    static QString selectedPage(const IntroPageController* pages)
    {
        return pages->selectedPage() ? pages->selectedPage()->objectName() : QString();
    }

    void openAbout()
    {
        orv::AboutInfo info;
        info.name = QStringLiteral("Quillet");
        about = orv::AboutWindowController::createWithWindow(info);
        about->setUrlOpener([this](const QUrl& url) { openedUrls.push_back(url); });
        activate(about->window());
    }
    /// Empty when the first expander's pattern is `expected`.
    std::string patternIs(const char* expected)
    {
        if (VariablePopover::isAnyOpen())
            return "the popover is open";
        const std::string pattern = toUtf8(expander(0, 0)->pattern());
        return pattern == expected ? std::string() : "the pattern is " + pattern;
    }

    QSpinBox* openIndentation(qint64 stored)
    {
        defaults->setValue(UserDefaultsKey::IndentSize, stored);
        preferences = std::make_unique<TextPreferencesViewController>(*defaults);
        activate(preferences.get());
        auto* size = preferences->findChild<QSpinBox*>(QStringLiteral("IndentSize"));
        focus(size);
        return size;
    }

    std::unique_ptr<UserDefaults> defaults;
    std::unique_ptr<EditorWindowController> editor;
    QPointer<IntroWindow> intro;
    std::unique_ptr<orv::AboutWindowController> about;
    std::unique_ptr<TextPreferencesViewController> preferences;
    int completions = 0;
    std::vector<QUrl> openedUrls;
};

std::string languagesOf(const CustomExpanderPtr& expander)
{
    std::string result;
    for (const auto& language : expander->supportedLanguages())
        result += (result.empty() ? "" : ",") + toUtf8(language->id());
    return result;
}

std::string text(const QRect& rect)
{
    return std::to_string(rect.width()) + "x" + std::to_string(rect.height()) + "+" + std::to_string(rect.x()) + "+"
        + std::to_string(rect.y());
}

std::string open(const char* what, bool is)
{
    return is ? std::string() : std::string(what) + " is not open";
}

TEST_F(KeyboardReachTest, EveryWindowGoesOnFromTheKeyboardAlone)
{
    using Keys = std::vector<QKeyCombination>;
    const QKeyCombination space(Qt::Key_Space), down(Qt::Key_Down), ret(Qt::Key_Return), menuKey(Qt::Key_Menu),
        tab(Qt::Key_Tab);
    struct Row {
        const char* name;
        /// Opens a window and puts the focus where the row starts.
        std::function<void()> open;
        Keys keys;
        /// Empty when the row's outcome holds, else what is wrong.
        std::function<std::string()> outcome;
    };
    std::vector<Row> rows = {
        { "SpaceOpensTheLanguagesDownSpaceTicksReturnCloses",
            [this] { focus(openExpander()->findChild<QToolButton*>(QStringLiteral("languagesButton"))); },
            { space, down, space, ret },
            [this] {
                if (QApplication::activePopupWidget())
                    return std::string("the chooser is still open");
                const std::string chosen = languagesOf(expander(0, 0));
                return chosen == "any,bash" ? std::string() : "languages " + chosen;
            } },
        { "AltReturnBeforeAPatternTokenOpensItsEditor",
            [this] {
                auto* pane = openExpander();
                caretAt(pane->patternTextView(), 3);
            },
            { Qt::ALT | Qt::Key_Return },
            [] {
                auto* popover = qobject_cast<VariablePopover*>(QApplication::activePopupWidget());
                if (!popover)
                    return open("the token's popover", false);
                return popover->isAncestorOf(QApplication::focusWidget()) ? std::string()
                                                                          : "the popover has no keyboard";
            } },
        { "MenuKeyAfterAnOutputTokenOffersEditVariable",
            [this] {
                auto* pane = openExpander();
                caretAt(pane->outputTextView(), 2);
            },
            // Insert Variable, then Edit Variable.
            { menuKey, down, down, ret }, [] { return open("the token's popover", VariablePopover::isAnyOpen()); } },
        { "CtrlWClosesTheEditorWindow", [this] { focus(openExpander()->patternTextView()); }, { Qt::CTRL | Qt::Key_W },
            [this] { return editor->window()->isVisible() ? "the window is open" : std::string(); } },
        // About opens with the keyboard on its button, and each link is one Tab stop away.
        { "AboutOpensOnItsButtonWhereReturnAnswers", [this] { openAbout(); }, { ret },
            [this] {
                return openedUrls == std::vector<QUrl> { orv::AboutWindowController::productsUrl() }
                    ? std::string()
                    : "the products page did not open";
            } },
        { "TabTabReturnInAboutOpensTheSecondLink", [this] { openAbout(); },
            { QKeyCombination(Qt::Key_Tab), QKeyCombination(Qt::Key_Tab), ret },
            [this] {
                return openedUrls == std::vector<QUrl> { orv::AboutWindowController::twitterUrl() }
                    ? std::string()
                    : "the Twitter page did not open";
            } },
        // Three elements typed by the keyboard alone, each after "+", are stored in order: Tab
        // leaves the table for "+" (and then for the default), Space on a row replaces nothing.
        { "ThreeEnumElementsByKeyboardAreStoredInOrder",
            [this] {
                auto* pane = openExpander();
                caretAt(pane->patternTextView(), 3);
                QTest::keyClick(keyboardWindow(), Qt::Key_Return, Qt::AltModifier);
                ASSERT_TRUE(QTest::qWaitFor([] { return VariablePopover::isAnyOpen(); }, 2000));
            },
            [&] {
                Keys keys { Qt::SHIFT | Qt::Key_Backtab, QKeyCombination(Qt::Key_End), tab, tab, tab };
                for (const char* element : { "ka1", "ka2", "ka3" }) {
                    keys.push_back(space);
                    for (const char* letter = element; *letter; ++letter)
                        keys.push_back(QKeyCombination(Qt::Key(QChar::toUpper(char32_t(*letter)))));
                    keys.push_back(ret);
                    if (element[2] == '3')
                        keys.push_back(space);
                    keys.push_back(tab);
                }
                // "+" has the keyboard: then "-", then the default value.
                keys.insert(keys.end(),
                    { tab, tab, QKeyCombination(Qt::Key_K), QKeyCombination(Qt::Key_A), QKeyCombination(Qt::Key_2),
                        QKeyCombination(Qt::Key_Escape) });
                return keys;
            }(),
            [this] { return patternIs("a1 ${x:enum(ka1,ka2,ka3)=ka2}"); } },
        // Text, then Text (lazy), then Number, which the default "abc" does not fit: closing
        // writes nothing, not the kind passed on the way.
        { "AKindChangeThroughAnotherKindLeavesItBehind",
            [this] {
                expander(0, 0)->setPattern(icu::UnicodeString::fromUTF8("tvv ${tv:text=abc}"));
                auto* pane = openExpander();
                caretAt(pane->patternTextView(), 4);
                QTest::keyClick(keyboardWindow(), Qt::Key_Return, Qt::AltModifier);
                ASSERT_TRUE(QTest::qWaitFor([] { return VariablePopover::isAnyOpen(); }, 2000));
            },
            { Qt::SHIFT | Qt::Key_Backtab, down, down, QKeyCombination(Qt::Key_Escape) },
            [this] { return patternIs("tvv ${tv:text=abc}"); } },
        // A new variable's proposed name is selected: typing replaces it.
        { "ANewVariablesNameIsTypedOver",
            [this] {
                auto* pane = openExpander();
                caretAt(pane->patternTextView(), pane->patternTextView()->document()->characterCount() - 1);
                focus(pane->addVariableButton());
                QTest::keyClick(keyboardWindow(), Qt::Key_Space);
                ASSERT_TRUE(QTest::qWaitFor([] { return VariablePopover::isAnyOpen(); }, 2000));
            },
            { QKeyCombination(Qt::Key_M), QKeyCombination(Qt::Key_O), QKeyCombination(Qt::Key_O),
                QKeyCombination(Qt::Key_D), QKeyCombination(Qt::Key_Escape) },
            [this] { return patternIs("a1 ${x:word}${mood:word}"); } },
        // On a 1024 by 600 screen (as ctest runs it) the editor window opens whole, its frame
        // and every button of the expander editor and of the list on the screen.
        { "TheEditorWindowFitsTheScreen",
            [this] {
                makeEditor();
                editor->showWindow();
                ASSERT_TRUE(QTest::qWaitForWindowExposed(editor->window()));
            },
            {},
            [this]() -> std::string {
                QWidget* window = editor->window();
                const QRect available = window->screen()->availableGeometry();
                if (!available.contains(window->frameGeometry()))
                    return "the window " + text(window->frameGeometry()) + " leaves the screen " + text(available);
                for (QAbstractButton* button : window->findChildren<QAbstractButton*>()) {
                    if (!button->isVisibleTo(window))
                        continue;
                    const QRect shown(button->mapToGlobal(QPoint(0, 0)), button->size());
                    if (!available.contains(shown))
                        return (button->text().isEmpty() ? button->accessibleName() : button->text()).toStdString()
                            + " at " + text(shown);
                }
                return std::string();
            } },
        { "DownFromOneSpaceChoosesNoIndentation", [this] { openIndentation(1); }, { down },
            [this] {
                auto* size = preferences->findChild<QSpinBox*>(QStringLiteral("IndentSize"));
                const qint64 stored = defaults->integerForKey(UserDefaultsKey::IndentSize);
                return stored == 0 && size->text() == QStringLiteral("No indentation")
                    ? std::string()
                    : "stored " + std::to_string(stored) + ", shown " + size->text().toStdString();
            } },
    };
    // The indentation as stored: what the expansion uses, in words that fit the number.
    for (const auto& [stored, shown] : std::vector<std::pair<qint64, QString>> {
             { 0, "No indentation" }, { 1, "1 space" }, { 40, "40 spaces" }, { -3, "No indentation" } }) {
        rows.push_back({ "TheIndentationAsStored", [this, stored] { openIndentation(stored); }, {},
            [this, stored, shown] {
                auto* size = preferences->findChild<QSpinBox*>(QStringLiteral("IndentSize"));
                if (size->text() != shown)
                    return "stored " + std::to_string(stored) + " shows " + size->text().toStdString();
                return defaults->integerForKey(UserDefaultsKey::IndentSize) == stored ? std::string()
                                                                                      : std::string("rewritten");
            } });
    }
    // Each page of the introduction gives its forward button the keyboard, and Return goes on.
    for (int page = 0; page < 8; ++page) {
        rows.push_back({ "TheIntroductionsForwardButton",
            [this, page] {
                auto* pages = openIntroductionAt(page);
                QPushButton* forward = pages->selectedPage()->forwardButton();
                ASSERT_NE(forward, nullptr);
                ASSERT_TRUE(QTest::qWaitFor([forward] { return forward->hasFocus(); }, 2000))
                    << "the focus is on "
                    << (QApplication::focusWidget() ? QApplication::focusWidget()->objectName().toStdString()
                                                    : std::string("nothing"));
            },
            { ret },
            [this, page]() -> std::string {
                if (page == 7)
                    return completions == 1 && !intro ? std::string() : "the introduction is not complete";
                auto* pages = qobject_cast<IntroPageController*>(intro->content());
                const QString expected = IntroPageController::pageIdentifiers().at(page + 1);
                return selectedPage(pages) == expected ? std::string() : "on " + selectedPage(pages).toStdString();
            } });
    }

    // Space on the welcome page goes on too, rather than closing the introduction.
    rows.push_back({ "SpaceOnTheWelcomePageGoesOn", [this] { openIntroductionAt(0); }, { space },
        [this]() -> std::string {
            if (!intro)
                return "the introduction closed";
            return selectedPage(qobject_cast<IntroPageController*>(intro->content()))
                    == IntroPageController::pageIdentifiers().at(1)
                ? std::string()
                : "still on the welcome page";
        } });

    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        openedUrls.clear();
        completions = 0;
        row.open();
        if (::testing::Test::HasFatalFailure())
            return;
        // A menu that never closes would hold the loop: it is closed after a while.
        QTimer watchdog;
        watchdog.setSingleShot(true);
        QObject::connect(&watchdog, &QTimer::timeout, [] {
            while (QWidget* popup = QApplication::activePopupWidget())
                if (!qobject_cast<VariablePopover*>(popup))
                    popup->close();
                else
                    break;
        });
        watchdog.start(5000);
        bool done = false;
        pressInTurn(row.keys, 0, done);
        EXPECT_TRUE(QTest::qWaitFor([&] { return done; }, 10000));
        (void)QTest::qWaitFor([&] { return row.outcome().empty(); }, 2000);
        EXPECT_EQ(row.outcome(), "");
        TearDown();
        SetUp();
    }

    // Every menu writes a shortcut one way: Ctrl, Alt, Super, Shift, then the key.
    auto* pane = openExpander();
    QMenu* insertVariable = pane->findChild<OutputTextViewController*>()->insertVariableMenu();
    ASSERT_FALSE(insertVariable->actions().isEmpty());
    EXPECT_EQ(insertVariable->actions().first()->text(), QStringLiteral("x\tCtrl+Alt+Super+1"));
    StatusMenu menu;
    EXPECT_EQ(menu.item(QStringLiteral("showPreviousView"))->text(), QStringLiteral("Previous View\tCtrl+Page Up"));
    EXPECT_EQ(menu.item(QStringLiteral("showNextView"))->text(), QStringLiteral("Next View\tCtrl+Page Down"));
}

} // namespace
} // namespace quillet
