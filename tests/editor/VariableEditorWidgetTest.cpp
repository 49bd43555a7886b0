// The two variable editors as the user drives them: kind chooser, fields, tables, the
// embedded expander chooser, the filter menu and row dragging.

#include "docs/views/QtText.h"
#include "editor/FilterChainModel.h"
#include "editor/InputVariableViewController.h"
#include "editor/OutputVariableViewController.h"
#include "expansion/ExpanderController.h"
#include "expansion/Filter.h"
#include "expansion/FilterStore.h"
#include "support/FakeExpander.h"
#include "text/UnicodeConversion.h"
#include "variables/VariableFactory.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMimeData>
#include <QTableWidget>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include <memory>

namespace quillet {
namespace {

std::string writtenBack(const InputVariableViewController& editor)
{
    const auto declaration = const_cast<InputVariableViewController&>(editor).state().declarationToWriteBack();
    return declaration ? toUtf8(*declaration) : std::string("<none>");
}

class InputVariableViewControllerTest : public ::testing::Test {
protected:
    InputVariableViewControllerTest()
        : library { test::FakeExpander::make(u"inner", u"in${w:word}"),
            test::FakeExpander::make(u"other", u"ot${w:word}") }
        , editor([this] { return library; })
    {
        editor.show();
    }

    void load(const icu::UnicodeString& declaration)
    {
        auto controller = std::make_shared<ExpanderController>(library);
        editor.setVariable(VariableFactory().parseVariable(declaration, nullptr, *controller), controller);
    }

    std::vector<ExpanderPtr> library;
    InputVariableViewController editor;
};

TEST_F(InputVariableViewControllerTest, TheWidgetsShowAndEditEveryPartOfTheVariable)
{
    load(u"${count:number=1}");
    EXPECT_EQ(editor.kindChooser()->currentText(), "Number");
    EXPECT_EQ(editor.nameField()->text(), "count");
    EXPECT_EQ(editor.defaultValueField()->text(), "1");
    EXPECT_TRUE(editor.defaultValueBox()->isVisible());
    EXPECT_FALSE(editor.keyValueBox()->isVisible());
    EXPECT_FALSE(editor.valueBox()->isVisible());
    EXPECT_FALSE(editor.textBox()->isVisible());
    EXPECT_FALSE(editor.selectableValueBox()->isVisible());
    EXPECT_FALSE(editor.errorLabel()->isVisible());

    // Typing: a character the name may not hold shows the message and keeps the last valid name.
    editor.nameField()->setFocus();
    QTest::keyClicks(editor.nameField(), "-x");
    QTest::keyClick(editor.nameField(), Qt::Key_Return);
    EXPECT_TRUE(editor.errorLabel()->isVisible());
    EXPECT_EQ(editor.errorLabel()->text(), "Name may consists of letters, numbers and _ character.");
    EXPECT_EQ(writtenBack(editor), "${count:number=1}");
    editor.nameField()->selectAll();
    QTest::keyClicks(editor.nameField(), "total");
    QTest::keyClick(editor.nameField(), Qt::Key_Return);
    EXPECT_FALSE(editor.errorLabel()->isVisible());
    EXPECT_EQ(writtenBack(editor), "${total:number=1}");

    // The kind chooser: switch cases are typed into the table.
    editor.kindChooser()->setCurrentIndex(editor.kindChooser()->findText("Switch"));
    EXPECT_TRUE(editor.keyValueBox()->isVisible());
    editor.state().addKeyValue();
    ASSERT_EQ(editor.keyValueTable()->rowCount(), 1);
    editor.keyValueTable()->item(0, 0)->setText("1");
    editor.keyValueTable()->item(0, 1)->setText("one");
    EXPECT_EQ(writtenBack(editor), "${total:switch(1:one)=1}");

    // The expander kind offers the library's expanders; choosing one embeds it.
    editor.kindChooser()->setCurrentIndex(editor.kindChooser()->findText("Expander"));
    EXPECT_TRUE(editor.selectableValueBox()->isVisible());
    EXPECT_FALSE(editor.defaultValueBox()->isVisible());
    ASSERT_EQ(editor.expanderChooser()->count(), 2);
    editor.expanderChooser()->setCurrentIndex(1);
    Q_EMIT editor.expanderChooser()->activated(1);
    EXPECT_EQ(writtenBack(editor), "${total:exp(other)}");

    // Back to Switch: the case typed earlier is still there.
    editor.kindChooser()->setCurrentIndex(editor.kindChooser()->findText("Switch"));
    EXPECT_EQ(editor.keyValueTable()->item(0, 1)->text(), "one");
    EXPECT_EQ(writtenBack(editor), "${total:switch(1:one)=1}");

    // A name still being typed counts once another part changes, and stays in its field.
    editor.nameField()->selectAll();
    QTest::keyClicks(editor.nameField(), "sum");
    EXPECT_EQ(writtenBack(editor), "${total:switch(1:one)=1}");
    editor.kindChooser()->setCurrentIndex(editor.kindChooser()->findText("Text"));
    EXPECT_EQ(editor.nameField()->text(), "sum");
    EXPECT_EQ(writtenBack(editor), "${sum:text=1}");
}

TEST_F(InputVariableViewControllerTest, EnumElementsAreEditedInTheirTable)
{
    load(u"${g:enum(a,b)=b}");
    EXPECT_TRUE(editor.valueBox()->isVisible());
    ASSERT_EQ(editor.valueTable()->rowCount(), 2);
    editor.valueTable()->item(0, 0)->setText("c");
    EXPECT_EQ(writtenBack(editor), "${g:enum(c,b)=b}");
    editor.valueTable()->item(1, 0)->setText("");
    EXPECT_EQ(editor.errorLabel()->text(), "Values cannot be empty.");
    EXPECT_EQ(writtenBack(editor), "${g:enum(c,b)=b}");
}

QToolButton* buttonNamed(const QWidget& editor, const QString& accessibleName)
{
    for (auto* button : editor.findChildren<QToolButton*>()) {
        if (button->accessibleName() == accessibleName)
            return button;
    }
    return nullptr;
}

TEST_F(InputVariableViewControllerTest, TheMinusButtonRemovesTheRowThePlusButtonJustAdded)
{
    struct Case {
        bool removeAfterwards;
        const char* expected;
    };
    const Case cases[] = {
        { false, "${b:switch(to:..<,through:...,down:)}" },
        { true, "${b:switch(to:..<,through:...)}" },
    };
    editor.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&editor));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.removeAfterwards ? "removed" : "kept");
        load(u"${b:switch(to:..<,through:...)}");
        // The row the user was on before.
        editor.keyValueTable()->setCurrentCell(1, 0);
        QToolButton* add = buttonNamed(editor, QStringLiteral("Add case"));
        ASSERT_NE(add, nullptr);
        add->click();
        QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("down"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QCoreApplication::processEvents(); // the table commits the typed text once back in the loop
        EXPECT_EQ(editor.keyValueTable()->currentRow(), 2);
        if (c.removeAfterwards) {
            QToolButton* remove = buttonNamed(editor, QStringLiteral("Remove case"));
            ASSERT_NE(remove, nullptr);
            remove->click();
        }
        EXPECT_EQ(writtenBack(editor), c.expected);
    }
}

std::vector<std::string> keywords(const std::vector<const Filter*>& filters)
{
    std::vector<std::string> result;
    for (const Filter* filter : filters)
        result.push_back(toUtf8(filter->id()));
    return result;
}

QAction* menuAction(QMenu* menu, const icu::UnicodeString& keyword)
{
    for (QAction* action : menu->actions()) {
        if (action->toolTip() == qtString(keyword))
            return action;
    }
    return nullptr;
}

TEST(OutputVariableViewControllerTest, AFilterChainEditedInTheEditorReadsBackInOrder)
{
    OutputVariableViewController editor;
    editor.setVariables({ "name", "other" });
    editor.show();
    auto& store = FilterStore::shared();
    editor.setVariable(std::make_shared<OutputVariable>(
        u"name", std::vector<const Filter*> { &store.filter(u"uppercase"), &store.filter(u"md5") }));
    EXPECT_EQ(editor.nameField()->currentText(), "name");
    EXPECT_EQ(editor.nameField()->count(), 2);
    FilterChainModel& model = *editor.filterModel();
    ASSERT_EQ(model.rowCount(), 2);
    EXPECT_EQ(model.data(model.index(0)).toString(), qtString(store.filter(u"uppercase").name()));
    ASSERT_EQ(editor.addFilterMenu()->actions().size(), static_cast<qsizetype>(store.allFilters().size()));

    // Add a filter from the menu, then drag the last row into the gap above the first.
    menuAction(editor.addFilterMenu(), u"lowercase")->trigger();
    ASSERT_EQ(model.rowCount(), 3);
    std::unique_ptr<QMimeData> drag(model.mimeData({ model.index(2) }));
    ASSERT_TRUE(drag);
    EXPECT_EQ(drag->data("com.orvanta.Quillet.Filter"), "2");
    EXPECT_FALSE(model.canDropMimeData(drag.get(), Qt::MoveAction, -1, 0, model.index(0)));
    EXPECT_FALSE(model.canDropMimeData(drag.get(), Qt::MoveAction, 2, 0, {}));
    ASSERT_TRUE(model.dropMimeData(drag.get(), Qt::MoveAction, 0, 0, {}));
    EXPECT_EQ(keywords(editor.variable()->filters()), (std::vector<std::string> { "lowercase", "uppercase", "md5" }));
    EXPECT_EQ(model.data(model.index(0)).toString(), qtString(store.filter(u"lowercase").name()));

    // A drag that names another row than this editor handed out is refused.
    QMimeData foreign;
    foreign.setData("com.orvanta.Quillet.Filter", "1");
    EXPECT_FALSE(model.dropMimeData(&foreign, Qt::MoveAction, 3, 0, {}));

    editor.nameField()->setEditText("");
    editor.commitEditing();
    EXPECT_EQ(editor.errorLabel()->text(), "Name cannot be empty");
    editor.nameField()->setEditText("other");
    editor.commitEditing();
    EXPECT_FALSE(editor.errorLabel()->isVisible());
    EXPECT_EQ(toUtf8(*editor.state().placeholderToWriteBack()), "${other.lowercase.uppercase.md5}");
}

} // namespace
} // namespace quillet
