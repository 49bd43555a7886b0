// The editor window from the keyboard alone: each row puts the focus somewhere in the
// window, presses one key and checks what the user then sees and where the keys typed
// next go.
#include "EditorTestSupport.h"
#include "docs/views/DocsBrowser.h"
#include "docs/views/DocsViewController.h"
#include "docs/views/QtText.h"
#include "editor/BundleEditorViewController.h"
#include "editor/BundleListViewController.h"
#include "editor/EditorTabViewController.h"
#include "editor/EditorWindowController.h"
#include "editor/ExpanderAndPatternViewController.h"
#include "editor/QLMDTextView.h"
#include "editor/VariableTextView.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

namespace quillet {
namespace {

using test::LibraryShape;

class EditorKeyboardTest : public test::LibraryFixture {
public:
    BundleListViewController& list() { return *controller->bundleListViewController(); }
    EditorTabViewController& tabs() { return *controller->editorTabViewController(); }
    ExpanderAndPatternViewController& expanderPane()
    {
        return *static_cast<ExpanderEditorPaneAdapter*>(tabs().expanderEditor())->controller();
    }
    BundleListElement named(const char* name)
    {
        for (const auto& each : store().bundles()) {
            if (each->name() == icu::UnicodeString::fromUTF8(name))
                return BundleListElement(each);
            for (const auto& expander : each->expanders())
                if (expander->name() == icu::UnicodeString::fromUTF8(name))
                    return BundleListElement(expander);
        }
        ADD_FAILURE() << "no element " << name;
        return BundleListElement(BundlePtr());
    }

protected:
    /// A fresh library (A {a1, a2, a3}, B {b1}, C {}) in a fresh, active window.
    void start()
    {
        controller.reset();
        LibraryFixture::TearDown();
        LibraryFixture::SetUp();
        controller = std::make_unique<EditorWindowController>(store(),
            EditorServices { .alerts = recording->userInterface, .fileDialogs = nullptr, .urlOpener = nullptr });
        controller->showWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(controller->window()));
    }
    void TearDown() override
    {
        if (QWidget* popup = QApplication::activePopupWidget())
            popup->close();
        controller.reset();
        LibraryFixture::TearDown();
    }

    std::unique_ptr<EditorWindowController> controller;
};

LibraryShape changed(const std::function<void(LibraryShape&)>& change)
{
    LibraryShape shape { { "A", { "a1", "a2", "a3" } }, { "B", { "b1" } }, { "C", {} } };
    change(shape);
    return shape;
}

/// The rename field the list opens in a row, when it has the focus.
QLineEdit* nameEditorWithFocus(BundleListViewController& list)
{
    auto* field = qobject_cast<QLineEdit*>(QApplication::focusWidget());
    return field && list.outlineView()->isAncestorOf(field) ? field : nullptr;
}

TEST_F(EditorKeyboardTest, TheWindowsCommandsAndKeysWorkWhereverTheFocusIs)
{
    using Focus = std::function<QWidget*()>;
    const Focus outputView = [this] { return expanderPane().outputTextView(); };
    const Focus patternView = [this] { return expanderPane().patternTextView(); };
    const Focus expanderDescription = [this] { return expanderPane().descriptionView(); };
    const Focus bundleDescription = [this] { return tabs().bundleEditor()->descriptionTextView(); };
    const Focus documentation = [this] { return tabs().docsViewController()->browser(); };
    const Focus listView = [this] { return list().outlineView(); };

    struct KeyCase {
        const char* name;
        EditorMode mode;
        const char* selected;
        Focus focus;
        QKeyCombination key;
        /// Typed next, into the rename field the key must have opened, then Return.
        QString typedNext;
        /// Pressed next in the delete question the key must have opened.
        std::optional<QKeyCombination> answer;
        /// The key opens the list's menu.
        bool opensMenu = false;
        /// The key leaves the focused view without changing the library.
        bool movesFocusOn = false;
        LibraryShape expected;
    };
    const LibraryShape unchanged = changed([](LibraryShape&) {});
    const KeyCase cases[] = {
        { "CtrlNInTheOutputView", EditorMode::edit, "a1", outputView, Qt::CTRL | Qt::Key_N, "Zed", {}, false, false,
            changed([](LibraryShape& s) { s[0].second.push_back("Zed"); }) },
        { "CtrlShiftNInThePatternView", EditorMode::edit, "a1", patternView, Qt::CTRL | Qt::SHIFT | Qt::Key_N, "Dee",
            {}, false, false, changed([](LibraryShape& s) {
                s.push_back({ "Dee", {} });
            }) },
        { "F2InTheDocumentation", EditorMode::docs, "B", documentation, QKeyCombination(Qt::Key_F2), "Bee", {}, false,
            false, changed([](LibraryShape& s) { s[1].first = "Bee"; }) },
        { "CtrlDInTheExpanderDescription", EditorMode::edit, "a2", expanderDescription, Qt::CTRL | Qt::Key_D, "copy",
            {}, false, false, changed([](LibraryShape& s) { s[0].second.push_back("copy"); }) },
        { "DeleteInTheDocumentationAndAltNKeeps", EditorMode::docs, "b1", documentation,
            QKeyCombination(Qt::Key_Delete), {}, Qt::ALT | Qt::Key_N, false, false, unchanged },
        { "DeleteInTheListAndAltYDeletes", EditorMode::edit, "b1", listView, QKeyCombination(Qt::Key_Delete), {},
            Qt::ALT | Qt::Key_Y, false, false, changed([](LibraryShape& s) { s[1].second.clear(); }) },
        { "DeleteInTheOutputViewEditsTheText", EditorMode::edit, "a2", outputView, QKeyCombination(Qt::Key_Delete), {},
            {}, false, false, unchanged },
        { "MenuKeyInTheList", EditorMode::docs, "a1", listView, QKeyCombination(Qt::Key_Menu), {}, {}, true, false,
            unchanged },
        { "ShiftF10InTheList", EditorMode::edit, "B", listView, Qt::SHIFT | Qt::Key_F10, {}, {}, true, false,
            unchanged },
        { "TabInTheBundleDescription", EditorMode::edit, "A", bundleDescription, QKeyCombination(Qt::Key_Tab), {}, {},
            false, true, unchanged },
        { "TabInTheExpanderDescription", EditorMode::edit, "a3", expanderDescription, QKeyCombination(Qt::Key_Tab), {},
            {}, false, true, unchanged },
    };
    // Each case on its own: a failed step ends its case only.
    const auto run = [&](const KeyCase& c) {
        start();
        const std::string libraryBefore = store().dictionary().dump();
        controller->setMode(c.mode);
        controller->select(named(c.selected));
        QWidget* focused = c.focus();
        ASSERT_TRUE(focused->isVisible());
        focused->setFocus();
        ASSERT_TRUE(QTest::qWaitFor([&] { return focused->hasFocus(); }, 2000));

        // A menu runs its own loop: it is looked at and closed from there.
        QStringList menuItems;
        QPointer<QWidget> menuParent;
        if (c.opensMenu) {
            QTimer::singleShot(0, [&] {
                if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
                    for (QAction* item : menu->actions())
                        menuItems.push_back(item->objectName());
                    menu->close();
                }
            });
        }
        QTest::keyClick(focused, c.key.key(), c.key.keyboardModifiers());

        if (c.opensMenu) {
            EXPECT_EQ(menuItems,
                (QStringList { "newBundle", "newExpander", "renameSelectedItem", "duplicateSelectedItem",
                    "deleteSelectedItem", "importBundles", "exportSelectedBundle" }));
        }
        if (!c.typedNext.isEmpty()) {
            QLineEdit* field = nameEditorWithFocus(list());
            ASSERT_NE(field, nullptr) << "the typed keys go to the element's name";
            field->selectAll();
            QTest::keyClicks(field, c.typedNext);
            QTest::keyClick(field, Qt::Key_Return);
            EXPECT_TRUE(QTest::qWaitFor([this] { return !nameEditorWithFocus(list()); }, 2000));
        }
        if (c.answer) {
            QMessageBox* question = list().deleteQuestion();
            ASSERT_NE(question, nullptr) << "the key asks before deleting";
            // As the window manager gives a new dialog the keyboard.
            question->activateWindow();
            ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == question; }, 2000));
            QTest::keyClick(question, c.answer->key(), c.answer->keyboardModifiers());
            EXPECT_TRUE(QTest::qWaitFor([this] { return list().deleteQuestion() == nullptr; }, 2000))
                << "the mnemonic answers the question";
        }
        if (!c.answer) {
            EXPECT_EQ(list().deleteQuestion(), nullptr) << "a text view keeps the keys it edits with";
        }
        if (c.movesFocusOn) {
            EXPECT_FALSE(focused->hasFocus());
            EXPECT_EQ(store().dictionary().dump(), libraryBefore);
        }
        EXPECT_EQ(storeShape(), c.expected);
        // What the window's views held is as it was: the keys went where they were meant to.
        EXPECT_EQ(toUtf8(expander(0, 0)->outputTemplate()), "<${x}>");
        EXPECT_EQ(toUtf8(expander(0, 0)->pattern()), "a1 ${x:word}");
    };
    for (const KeyCase& c : cases) {
        SCOPED_TRACE(c.name);
        run(c);
    }
}

} // namespace
} // namespace quillet
