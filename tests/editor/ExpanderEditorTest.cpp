// The expander pane as the user meets it: typing declarations and placeholders, the tokens
// they become, the popovers of the tokens and what closing them writes back, the error
// box and the insert-variable button.

#include "EditorTestSupport.h"
#include "docs/views/QtText.h"
#include "editor/ExpanderAndPatternViewController.h"
#include "editor/FilterChainModel.h"
#include "editor/InputVariableCell.h"
#include "editor/InputVariableViewController.h"
#include "editor/MenuButton.h"
#include "editor/OutputTextViewController.h"
#include "editor/OutputVariableCell.h"
#include "editor/OutputVariableViewController.h"
#include "editor/PatternTextViewController.h"
#include "editor/VariableCell.h"
#include "editor/VariablePopover.h"
#include "editor/VariableTextView.h"
#include "library/Alert.h"
#include "library/Websites.h"
#include "text/UnicodeConversion.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTextEdit>
#include <QToolButton>

#include <gtest/gtest.h>

namespace quillet {
namespace {

struct RecordingUrlOpener final : UrlOpener {
    void openUrl(const QUrl& url) override { opened.push_back(url); }
    std::vector<QUrl> opened;
};

class ExpanderEditorTest : public test::LibraryFixture {
protected:
    void SetUp() override
    {
        LibraryFixture::SetUp();
        urls = std::make_shared<RecordingUrlOpener>();
        pane = std::make_unique<ExpanderAndPatternViewController>(
            store(), EditorServices { .alerts = recording->userInterface, .fileDialogs = nullptr, .urlOpener = urls });
        pane->resize(700, 600);
        pane->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(pane.get()));
        expanderInEdit = expander(0, 0);
        pane->setExpander(expanderInEdit);
    }
    void TearDown() override
    {
        if (QWidget* popup = QApplication::activePopupWidget())
            popup->close();
        pane.reset();
        LibraryFixture::TearDown();
    }

    std::string pattern() const { return toUtf8(expanderInEdit->pattern()); }
    std::string outputTemplate() const { return toUtf8(expanderInEdit->outputTemplate()); }

    static QStringList labels(const VariableTextView& view)
    {
        QStringList result;
        for (const auto& token : view.tokens())
            result.push_back(token.cell->label());
        return result;
    }

    static void type(VariableTextView* view, const QString& text)
    {
        view->setFocus();
        QTest::keyClicks(view, text);
    }

    static void selectAll(VariableTextView* view)
    {
        view->setFocus();
        view->selectAll();
    }

    std::shared_ptr<RecordingUrlOpener> urls;
    std::unique_ptr<ExpanderAndPatternViewController> pane;
    CustomExpanderPtr expanderInEdit;
};

TEST_F(ExpanderEditorTest, TypingADeclarationMakesATokenAndKeepsThePatternExact)
{
    VariableTextView* view = pane->patternTextView();
    EXPECT_EQ(labels(*view), QStringList { "x" });
    EXPECT_EQ(view->toPlainText(), QString("a1 ") + QChar(0xFFFC));

    selectAll(view);
    type(view, "log ${msg:text=hi} |${lvl:word}|");
    EXPECT_EQ(pattern(), "log ${msg:text=hi} |${lvl:word}|");
    EXPECT_EQ(labels(*view), (QStringList { "msg", "lvl" }));
    const auto tokens = view->tokens();
    ASSERT_EQ(tokens.size(), 2u);
    EXPECT_EQ(tokens[0].cell->backgroundColor(), QColor("#52C0FF"));
    EXPECT_EQ(tokens[1].cell->backgroundColor(), QColor("#bbbbbb"));
    // Editing around the tokens keeps every declaration whole.
    QTest::keyClick(view, Qt::Key_End);
    QTest::keyClicks(view, " ${n:number}");
    EXPECT_EQ(pattern(), "log ${msg:text=hi} |${lvl:word}| ${n:number}");
    EXPECT_EQ(labels(*view).size(), 3);

    // A change made elsewhere shows in the view.
    expanderInEdit->setPattern(u"other ${y:word}");
    EXPECT_EQ(labels(*view), QStringList { "y" });
}

TEST_F(ExpanderEditorTest, ALongPatternLineScrollsSidewaysOnlyAndStaysInSight)
{
    VariableTextView* view = pane->patternTextView();
    expanderInEdit->setPattern(u"for ${item:identifier} in ${sequence:text?}| where ${condition:text?}|"
                               u"${last:word}|${more:text?=}${close:enum(),\",\"])}| ${count:number} and more words");
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    EXPECT_TRUE(view->horizontalScrollBar()->isVisible());
    // One line: no vertical scroll bar beside it, and the line itself in full view.
    EXPECT_FALSE(view->verticalScrollBar()->isVisible())
        << "text " << view->document()->size().height() << " high in " << view->viewport()->height();
    QTextCursor start(view->document());
    const QRect line = view->cursorRect(start);
    EXPECT_TRUE(view->viewport()->rect().contains(line))
        << line.top() << ".." << line.bottom() << " in " << view->viewport()->height();
}

TEST_F(ExpanderEditorTest, TheErrorBoxShowsTheEnginesErrorAndClosesWhenFixed)
{
    EXPECT_FALSE(pane->hasErrors());
    VariableTextView* view = pane->patternTextView();
    selectAll(view);
    type(view, "a ${x:word} ${x:word}");
    ASSERT_TRUE(expanderInEdit->errors().has_value());
    EXPECT_TRUE(pane->hasErrors());
    EXPECT_EQ(pane->errorLabel()->text(), qtString(*expanderInEdit->errors()));
    // The box slides open: a busy machine may take longer than the animation.
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return pane->errorBox()->maximumHeight() == ExpanderAndPatternViewController::errorBoxHeight; }, 5000))
        << pane->errorBox()->maximumHeight();

    QTest::keyClick(view, Qt::Key_Backspace);
    EXPECT_FALSE(expanderInEdit->errors().has_value()) << pattern();
    EXPECT_FALSE(pane->hasErrors());
    EXPECT_TRUE(QTest::qWaitFor([&] { return pane->errorBox()->maximumHeight() == 0; }, 5000))
        << pane->errorBox()->maximumHeight();
}

TEST_F(ExpanderEditorTest, ClosingATokensPopoverWritesTheLastValidDeclarationBack)
{
    VariableTextView* view = pane->patternTextView();
    selectAll(view);
    type(view, "go ${count:number=1} now");
    auto tokens = view->tokens();
    ASSERT_EQ(tokens.size(), 1u);
    // A click on the token opens its editor, loaded from the declaration.
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, tokens[0].frame.center().toPoint());
    ASSERT_TRUE(VariablePopover::isAnyOpen());
    auto* cell = dynamic_cast<InputVariableCell*>(tokens[0].cell);
    ASSERT_NE(cell, nullptr);
    InputVariableViewController* editor = cell->inputVariableViewController();
    EXPECT_EQ(editor->kindChooser()->currentText(), "Number");
    EXPECT_EQ(editor->nameField()->text(), "count");
    // A second token click while it is open opens nothing.
    EXPECT_FALSE(cell->trackMouse(tokens[0].frame, view));

    // A name the user is done with is the variable's; one still being typed is not.
    editor->nameField()->setText("total");
    Q_EMIT editor->nameField()->editingFinished();
    editor->nameField()->setText("to tal");
    QApplication::activePopupWidget()->close();
    EXPECT_FALSE(VariablePopover::isAnyOpen());
    EXPECT_EQ(pattern(), "go ${total:number=1} now");
    EXPECT_EQ(labels(*view), QStringList { "total" });
}

TEST_F(ExpanderEditorTest, InsertingAVariableNamesItAfterTheSelectionAndOpensItsPopover)
{
    VariableTextView* view = pane->patternTextView();
    selectAll(view);
    type(view, "say a b c!");
    QTextCursor cursor = view->textCursor();
    cursor.setPosition(4);
    cursor.setPosition(10, QTextCursor::KeepAnchor);
    view->setTextCursor(cursor);
    EXPECT_EQ(pane->insertVariableButtonState(), ExpanderAndPatternViewController::InsertVariableButtonState::enabled);
    QTest::mouseClick(pane->addVariableButton(), Qt::LeftButton);
    EXPECT_EQ(pattern(), "say ${a_b_c:word}");
    EXPECT_EQ(labels(*view), QStringList { "a_b_c" });
    EXPECT_FALSE(VariablePopover::isAnyOpen());
    EXPECT_TRUE(
        QTest::qWaitFor([] { return VariablePopover::isAnyOpen(); }, PatternTextViewController::popoverDelay + 5000));
}

TEST_F(ExpanderEditorTest, APopoverWritesOnceWhenItClosesAndNeverANameStillBeingTyped)
{
    struct TypingCase {
        const char* name;
        bool inPattern; // else in the output template
        QString typed; // typed into the name; "\n" presses Return
        std::string expected; // the pattern, resp. the template, once the popover has closed
        std::size_t saves;
    };
    const TypingCase cases[] = {
        { "AnInvalidNameLeavesTheDeclaration", true, "9 x", "go ${msg:text=hi} now", 0 },
        { "AValidNameIsWrittenOnClose", true, "total", "go ${total:text=hi} now", 1 },
        { "ReturnAcceptsANameThatLaterKeysSpoil", true, "total\n x", "go ${total:text=hi} now", 1 },
        { "ClosingUnchangedWritesNothing", true, "msg", "go ${msg:text=hi} now", 0 },
        { "AnInvalidPlaceholderNameLeavesIt", false, "9 x", "<${msg.uppercase}>", 0 },
        { "AValidPlaceholderNameIsWrittenOnClose", false, "total", "<${total.uppercase}>", 1 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        expanderInEdit->setPattern(u"go ${msg:text=hi} now");
        expanderInEdit->setOutputTemplate(u"<${msg.uppercase}>");
        VariableTextView* view = c.inPattern ? pane->patternTextView() : pane->outputTextView();
        const auto text = [&] { return c.inPattern ? pattern() : outputTemplate(); };
        const std::string before = text();
        const std::size_t savesBefore = saveCount();
        const auto tokens = view->tokens();
        ASSERT_EQ(tokens.size(), 1u);
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, tokens[0].frame.center().toPoint());
        ASSERT_TRUE(VariablePopover::isAnyOpen());
        // The name is a line edit, or the line of an editable combo box.
        QWidget* focus = QApplication::focusWidget();
        auto* combo = qobject_cast<QComboBox*>(focus);
        QLineEdit* field = combo ? combo->lineEdit() : qobject_cast<QLineEdit*>(focus);
        ASSERT_NE(field, nullptr) << "the popover opens with the caret in the name";
        field->selectAll();
        for (const QChar key : c.typed) {
            if (key == u'\n')
                QTest::keyClick(focus, Qt::Key_Return);
            else
                QTest::keyClicks(focus, QString(key));
            EXPECT_EQ(text(), before) << "nothing is written while the popover is open";
            EXPECT_EQ(saveCount(), savesBefore);
        }
        QApplication::activePopupWidget()->close();
        EXPECT_FALSE(VariablePopover::isAnyOpen());
        EXPECT_EQ(text(), c.expected);
        EXPECT_EQ(saveCount() - savesBefore, c.saves);
    }
}

TEST_F(ExpanderEditorTest, ANewVariableKeepsTheKindAndTheNameItWasGiven)
{
    // Each kind chosen for a new variable named "tv", read back from the library file once the
    // popover has closed; a kind still missing its values is kept without them.
    const std::pair<QString, std::string> kinds[] = { { "Text", "${tv:text}" }, { "Text (lazy)", "${tv:text?}" },
        { "Number", "${tv:number}" }, { "Word", "${tv:word}" }, { "Identifier", "${tv:identifier}" },
        { "Switch", "${tv:switch}" }, { "Expander", "${tv:exp}" }, { "Enum", "${tv:enum}" } };
    const auto savedPattern
        = [this] { return savedLibrary()["bundles"][0]["expanders"][0]["pattern"].get<std::string>(); };
    const auto openEditor = [] {
        auto* popover = qobject_cast<VariablePopover*>(QApplication::activePopupWidget());
        return popover ? qobject_cast<InputVariableViewController*>(popover->content()) : nullptr;
    };
    for (const auto& [kind, declaration] : kinds) {
        SCOPED_TRACE(kind.toStdString());
        expanderInEdit->setPattern(u"go ");
        VariableTextView* view = pane->patternTextView();
        view->moveCursor(QTextCursor::End);
        view->setFocus();
        QTest::mouseClick(pane->addVariableButton(), Qt::LeftButton);
        ASSERT_TRUE(QTest::qWaitFor([&] { return openEditor() != nullptr; }, 5000));
        InputVariableViewController* editor = openEditor();
        QTest::keyClicks(editor->nameField(), "tv");
        editor->kindChooser()->setCurrentIndex(editor->kindChooser()->findText(kind));
        QApplication::activePopupWidget()->close();
        EXPECT_EQ(savedPattern(), "go " + declaration);

        // Opened again, it shows what is stored.
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->tokens().at(0).frame.center().toPoint());
        ASSERT_NE(editor = openEditor(), nullptr);
        EXPECT_EQ(editor->kindChooser()->currentText() + editor->nameField()->text(), kind + "tv");
        QApplication::activePopupWidget()->close();
        EXPECT_EQ(savedPattern(), "go " + declaration);
    }
}

TEST_F(ExpanderEditorTest, APopoverOpensOnWhatIsStoredAfterAKindChangeLeftBehind)
{
    expanderInEdit->setPattern(u"go ${tv:text=abc}");
    auto* cell = dynamic_cast<InputVariableCell*>(pane->patternTextView()->tokens().at(0).cell);
    for (const QString kind : { "Enum", "Text" }) {
        SCOPED_TRACE(kind.toStdString());
        cell->show(QRectF(0, 0, 1, 1), pane->patternTextView());
        InputVariableViewController* editor = cell->inputVariableViewController();
        EXPECT_EQ(editor->kindChooser()->currentText(), "Text") << "the kind stored";
        EXPECT_EQ(editor->defaultValueField()->text(), "abc");
        EXPECT_FALSE(editor->errorLabel()->isVisibleTo(editor));
        editor->kindChooser()->setCurrentIndex(editor->kindChooser()->findText(kind));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        EXPECT_EQ(pattern(), "go ${tv:text=abc}");
    }
}

TEST_F(ExpanderEditorTest, PlaceholderTokensEditTheirFilterChain)
{
    VariableTextView* view = pane->outputTextView();
    selectAll(view);
    type(view, "<${x.uppercase.md5}> |${x}|");
    EXPECT_EQ(outputTemplate(), "<${x.uppercase.md5}> |${x}|");
    auto tokens = view->tokens();
    ASSERT_EQ(tokens.size(), 2u);
    EXPECT_EQ(tokens[0].cell->label(), "x");
    EXPECT_EQ(tokens[0].cell->backgroundColor(), QColor("#52C0FF"));
    EXPECT_EQ(tokens[1].cell->backgroundColor(), QColor("#bbbbbb"));

    auto* cell = dynamic_cast<OutputVariableCell*>(tokens[0].cell);
    ASSERT_NE(cell, nullptr);
    EXPECT_EQ(cell->inputVariableNames(), QStringList { "x" });
    cell->show(tokens[0].frame, view);
    OutputVariableViewController* editor = cell->outputVariableViewController();
    FilterChainModel& model = *editor->filterModel();
    ASSERT_EQ(model.rowCount(), 2);
    std::unique_ptr<QMimeData> drag(model.mimeData({ model.index(1) }));
    ASSERT_TRUE(model.dropMimeData(drag.get(), Qt::MoveAction, 0, 0, {}));
    editor->state().endDrag();
    QApplication::activePopupWidget()->close();
    EXPECT_EQ(outputTemplate(), "<${x.md5.uppercase}> |${x}|");
}

TEST_F(ExpanderEditorTest, TheInsertVariableButtonFollowsTheFocus)
{
    using State = ExpanderAndPatternViewController::InsertVariableButtonState;
    pane->nameField()->setFocus();
    EXPECT_EQ(pane->insertVariableButtonState(), State::disabled);
    EXPECT_FALSE(pane->addVariableButton()->isEnabled());
    pane->outputTextView()->setFocus();
    EXPECT_EQ(pane->insertVariableButtonState(), State::enabledWithMenu);
    EXPECT_TRUE(pane->addVariableButton()->canShowMenu());
    ASSERT_EQ(pane->outputTextViewController()->insertVariableMenu()->actions().size(), 1);

    // Choosing a variable from the menu inserts its placeholder at the selection.
    selectAll(pane->outputTextView());
    pane->outputTextViewController()->insertVariableMenu()->actions().front()->trigger();
    EXPECT_EQ(outputTemplate(), "${x}");

    // With no input variable, the button says so.
    expanderInEdit->setPattern(u"plain");
    pane->outputTextView()->setFocus();
    pane->addVariable();
    ASSERT_EQ(recording->userInterface->alerts.size(), 1u);
    EXPECT_EQ(toUtf8(recording->userInterface->alerts.front().messageText), "No input variable defined");

    pane->openHelp();
    ASSERT_EQ(urls->opened.size(), 1u);
    EXPECT_EQ(urls->opened.front().toString().toStdString(), Websites::language()) << "the build's web host";
}

TEST_F(ExpanderEditorTest, TheKeyboardReachesTheButtonsAndLeavesTheTextViews)
{
    using State = ExpanderAndPatternViewController::InsertVariableButtonState;
    // Tab never types into the one-line pattern: it moves on.
    const std::string before = pattern();
    pane->patternTextView()->setFocus();
    QTest::keyClick(pane->patternTextView(), Qt::Key_Tab);
    EXPECT_EQ(pattern(), before);
    EXPECT_FALSE(pane->patternTextView()->hasFocus());

    // Ctrl+Tab leaves the output view for the Insert Variable button, which then acts for
    // the output view; the help button takes the focus too.
    pane->outputTextView()->setFocus();
    QWidget* focus = pane->outputTextView();
    for (int step = 0; step < 10 && focus != pane->addVariableButton(); ++step) {
        QTest::keyClick(focus, Qt::Key_Tab, Qt::ControlModifier);
        focus = QApplication::focusWidget();
    }
    ASSERT_EQ(focus, pane->addVariableButton());
    EXPECT_EQ(pane->insertVariableButtonState(), State::enabledWithMenu);
    QSignalSpy popped(pane->addVariableButton(), &MenuButton::aboutToPopUpMenu);
    QTest::keyClick(focus, Qt::Key_Space);
    EXPECT_EQ(popped.size(), 1);
    if (QWidget* popup = QApplication::activePopupWidget())
        popup->close();
    const auto helpButtons = pane->findChildren<QToolButton*>();
    EXPECT_TRUE(std::any_of(helpButtons.begin(), helpButtons.end(), [](QToolButton* button) {
        return button->text() == QStringLiteral("?") && button->focusPolicy() & Qt::TabFocus;
    }));
}

QStringList offered(orv::OrvTextView& view, const QString& line)
{
    QStringList result;
    for (const auto& completion : view.completionController().completions(line))
        result.push_back(completion->label() + ":" + completion->completion());
    return result;
}

TEST_F(ExpanderEditorTest, CompletionsMenusAndFieldsFollowTheExpander)
{
    // The pattern offers the type keywords after "${name:" and the identified expanders after "exp(".
    EXPECT_EQ(offered(*pane->patternTextView(), "a ${x:").filter(QRegularExpression("^type:")).size(), 8);
    const QStringList expanders = offered(*pane->patternTextView(), "a ${x:exp(");
    EXPECT_TRUE(expanders.filter(QRegularExpression("^expander:")).isEmpty()); // the library has no identifiers

    // Eleven input variables: the output offers their names and the first nine get shortcuts.
    QString declarations;
    for (int i = 1; i <= 11; ++i)
        declarations += QString(" ${v%1:word}").arg(i);
    expanderInEdit->setPattern(icuString("p" + declarations));
    pane->outputTextView()->setFocus();
    EXPECT_EQ(offered(*pane->outputTextView(), "${").size(), 11);
    EXPECT_TRUE(offered(*pane->outputTextView(), "${v1.").contains("filter:uppercase"));
    const auto items = pane->outputTextViewController()->insertVariableMenu()->actions();
    ASSERT_EQ(items.size(), 11);
    EXPECT_EQ(items[0]->shortcut(), QKeySequence(Qt::CTRL | Qt::META | Qt::ALT | Qt::Key_1));
    EXPECT_EQ(items[8]->shortcut(), QKeySequence(Qt::CTRL | Qt::META | Qt::ALT | Qt::Key_9));
    EXPECT_TRUE(items[9]->shortcut().isEmpty());
    EXPECT_TRUE(pane->outputTextViewController()->insertVariableMenuItem()->isEnabled());
    expanderInEdit->setPattern(u"${broken:nosuchkind}");
    EXPECT_FALSE(pane->outputTextViewController()->insertVariableMenuItem()->isEnabled());

    // The fields write into the expander.
    pane->nameField()->setText("Renamed");
    Q_EMIT pane->nameField()->textEdited("Renamed");
    pane->identifierField()->setText("my.id");
    Q_EMIT pane->identifierField()->textEdited("my.id");
    pane->descriptionView()->setPlainText("About *it*");
    pane->enabledCheckBox()->setChecked(false);
    EXPECT_EQ(toUtf8(expanderInEdit->name()), "Renamed");
    EXPECT_EQ(toUtf8(expanderInEdit->identifier()), "my.id");
    EXPECT_EQ(toUtf8(expanderInEdit->expanderDescription()), "About *it*");
    EXPECT_FALSE(expanderInEdit->isEnabled());
}

TEST_F(ExpanderEditorTest, APressInsideTheSelectionStartsANewOneInsteadOfDragging)
{
    VariableTextView* view = pane->patternTextView();
    selectAll(view);
    ASSERT_TRUE(view->textCursor().hasSelection());
    const QPoint inside = view->cursorRect(view->textCursor()).center() - QPoint(30, 0);
    QTest::mousePress(view->viewport(), Qt::LeftButton, {}, inside);
    QTest::mouseMove(view->viewport(), inside + QPoint(40, 0));
    QTest::mouseRelease(view->viewport(), Qt::LeftButton, {}, inside + QPoint(40, 0));
    EXPECT_EQ(pattern(), "a1 ${x:word}");
    EXPECT_NE(view->textCursor().selectionStart(), 0);
}

TEST(VariableCell, GeometryFollowsTheLabel)
{
    VariableCell cell(QStringLiteral("name"));
    QFont font;
    font.setPixelSize(12);
    cell.setFont(font);
    const QSizeF label = cell.labelSize();
    EXPECT_DOUBLE_EQ(cell.cellSize().width(), label.width() + 13);
    EXPECT_DOUBLE_EQ(cell.cellSize().height(), label.height() + 2);
    EXPECT_DOUBLE_EQ(cell.baselineDistance(), (label.height() + 2 - 12) * 0.5 + 2.0);
    cell.setAdditionalBaselineOffset(0);
    EXPECT_DOUBLE_EQ(cell.baselineDistance(), (label.height() + 2 - 12) * 0.5);
    EXPECT_DOUBLE_EQ(cell.cellSize().width(), label.width() + 13);
}

} // namespace
} // namespace quillet
