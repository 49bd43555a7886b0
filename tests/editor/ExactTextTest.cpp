// The editor window's text views keep every text exactly: showing an element never writes
// it, and typing adds exactly what was typed.
#include "EditorTestSupport.h"
#include "docs/views/DocsViewController.h"
#include "docs/views/QtText.h"
#include "editor/BundleEditorViewController.h"
#include "editor/EditorTabViewController.h"
#include "editor/EditorWindowController.h"
#include "editor/ExpanderAndPatternViewController.h"
#include "editor/QLMDTextView.h"
#include "editor/VariableTextView.h"

#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>
#include <QTextLayout>

#include <gtest/gtest.h>

#include <functional>

namespace quillet {
namespace {

struct Sample {
    const char* name;
    std::u16string text;
};

// Texts whose characters a text document maps to others, and an imported template.
const Sample samples[] = {
    { "CrLf", u"one\r\ntwo" },
    { "LoneCr", u"one\rtwo" },
    { "NoBreakSpace", u"one\u00A0two" },
    { "LineSeparator", u"one\u2028two" },
    { "ParagraphSeparator", u"one\u2029two" },
    { "Emoji", u"one \U0001F44D\U0001F3FD two" },
    { "Tabs", u"\tone\t\ttwo" },
    { "ImportedTemplate", u"for (int i = 0; i < ${n}; i++) {\r\n\t#\r\n}\r\n// ${n} times" },
};

std::string utf8(const std::u16string& text)
{
    return toUtf8(icu::UnicodeString(text.data(), int32_t(text.size())));
}

// One bundle per sample, its description the sample, with one expander holding the sample
// in its pattern, template and description, with tokens after the sample's line breaks.
nlohmann::json sampleLibrary()
{
    nlohmann::json bundles = nlohmann::json::array();
    for (const auto& sample : samples) {
        const std::string text = utf8(sample.text);
        nlohmann::json expander = { { "name", sample.name }, { "description", text }, { "identifier", "" },
            { "pattern", "p" + text + " ${n:word}" }, { "output_template", "${n}" + text + "${n.uppercase}" },
            { "is_enabled", true }, { "supported_languages", { "any" } } };
        bundles.push_back({ { "name", sample.name }, { "description", text }, { "is_enabled", true },
            { "supported_languages", { "any" } }, { "expanders", { expander } } });
    }
    return { { "bundles", bundles } };
}

class ExactTextTest : public test::LibraryFixture {
protected:
    void SetUp() override
    {
        load(sampleLibrary());
        controller = std::make_unique<EditorWindowController>(store(),
            EditorServices { .alerts = recording->userInterface, .fileDialogs = nullptr, .urlOpener = nullptr });
        auto pane = std::make_unique<ExpanderEditorPaneAdapter>(store(),
            EditorServices { .alerts = recording->userInterface, .fileDialogs = nullptr, .urlOpener = nullptr });
        expanderPane = pane->controller();
        controller->editorTabViewController()->setExpanderEditor(std::move(pane));
        controller->showWindow();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(controller->window()));
    }
    void TearDown() override
    {
        controller.reset();
        LibraryFixture::TearDown();
    }

    void show(EditorMode mode, const BundleListElement& element)
    {
        controller->setMode(mode);
        controller->select(element);
        QCoreApplication::processEvents();
    }

    std::string library() { return store().dictionary().dump(); }

    // The views of one element with the text each must hold.
    struct View {
        const char* what;
        std::function<orv::OrvTextView*()> view;
        std::function<icu::UnicodeString()> text;
        bool isBundle;
    };
    std::vector<View> views(std::size_t index)
    {
        const CustomExpanderPtr shown = expander(int(index), 0);
        const BundlePtr owner = bundle(int(index));
        return {
            { "pattern", [this] { return expanderPane->patternTextView(); }, [shown] { return shown->pattern(); },
                false },
            { "template", [this] { return expanderPane->outputTextView(); },
                [shown] { return shown->outputTemplate(); }, false },
            { "expander description", [this] { return expanderPane->descriptionView(); },
                [shown] { return shown->expanderDescription(); }, false },
            { "bundle description",
                [this] { return controller->editorTabViewController()->bundleEditor()->descriptionTextView(); },
                [owner] { return owner->bundleDescription(); }, true },
        };
    }

    std::unique_ptr<EditorWindowController> controller;
    QPointer<ExpanderAndPatternViewController> expanderPane;
};

TEST_F(ExactTextTest, ShowingSwitchingModesAndElementsWritesNothing)
{
    const std::string before = library();
    const std::size_t savesBefore = saveCount();
    for (std::size_t index = 0; index < std::size(samples); ++index) {
        SCOPED_TRACE(samples[index].name);
        const BundleListElement bundleElement(bundle(int(index)));
        const BundleListElement expanderElement(expander(int(index), 0));
        for (const EditorMode mode : { EditorMode::edit, EditorMode::docs, EditorMode::edit }) {
            show(mode, expanderElement);
            show(mode, bundleElement);
        }
        for (const auto& view : views(index)) {
            SCOPED_TRACE(view.what);
            show(EditorMode::edit, view.isBundle ? bundleElement : expanderElement);
            EXPECT_EQ(view.view()->string(), qtString(view.text()));
        }
    }
    EXPECT_EQ(library(), before);
    EXPECT_EQ(saveCount(), savesBefore);
}

TEST_F(ExactTextTest, TypingOneCharacterAddsExactlyThatCharacter)
{
    for (std::size_t index = 0; index < std::size(samples); ++index) {
        SCOPED_TRACE(samples[index].name);
        for (const auto& view : views(index)) {
            SCOPED_TRACE(view.what);
            show(EditorMode::edit,
                view.isBundle ? BundleListElement(bundle(int(index))) : BundleListElement(expander(int(index), 0)));
            const icu::UnicodeString before = view.text();
            orv::OrvTextView* textView = view.view();
            textView->setFocus();
            textView->moveCursor(QTextCursor::End);
            QTest::keyClick(textView, 'Z');
            EXPECT_EQ(toUtf8(view.text()), toUtf8(before + u"Z"));
            textView->moveCursor(QTextCursor::Start);
            QTest::keyClick(textView, 'Q');
            EXPECT_EQ(toUtf8(view.text()), toUtf8(u"Q" + before + u"Z"));
        }
    }
}

TEST_F(ExactTextTest, TheDocumentationShowsAnEditMadeInEditMode)
{
    auto* docs = controller->editorTabViewController()->docsViewController();
    const BundleListElement element(expander(0, 0));
    QSignalSpy shown(docs, &DocsViewController::pageShown);
    show(EditorMode::docs, element);
    ASSERT_TRUE(!shown.isEmpty() || shown.wait(5000));

    show(EditorMode::edit, element);
    auto* description = expanderPane->descriptionView();
    description->setFocus();
    description->moveCursor(QTextCursor::End);
    QTest::keyClicks(description, QStringLiteral(" freshly typed"));
    shown.clear();
    controller->setMode(EditorMode::docs);
    ASSERT_TRUE(shown.wait(5000));
    EXPECT_TRUE(docs->browser()->toPlainText().contains(QStringLiteral("freshly typed")));

    // Changed while the page is hidden by the other mode's pane: shown anew when it appears.
    controller->setMode(EditorMode::edit);
    expander(0, 0)->setExpanderDescription(u"Rewritten elsewhere");
    shown.clear();
    controller->setMode(EditorMode::docs);
    ASSERT_TRUE(shown.wait(5000));
    EXPECT_TRUE(docs->browser()->toPlainText().contains(QStringLiteral("Rewritten elsewhere")));
}

TEST_F(ExactTextTest, LiteralTextTakesTheEnabledColourAlsoWhenSetWhileDisabled)
{
    auto* pattern = expanderPane->patternTextView();
    const QColor enabled = pattern->palette().color(QPalette::Active, QPalette::Text);
    ASSERT_NE(enabled, pattern->palette().color(QPalette::Disabled, QPalette::Text));
    // The pane is disabled while empty and filled before it is enabled again.
    show(EditorMode::edit, BundleListElement(bundle(0)));
    ASSERT_FALSE(expanderPane->isEnabled());
    show(EditorMode::edit, BundleListElement(expander(0, 0)));
    ASSERT_TRUE(expanderPane->isEnabled());
    for (orv::OrvTextView* view : { pattern, expanderPane->outputTextView() }) {
        const QTextBlock first = view->document()->firstBlock();
        ASSERT_FALSE(first.layout()->formats().isEmpty());
        // The first range is the base look every character starts from.
        EXPECT_EQ(first.layout()->formats().first().format.foreground().color(), enabled);
    }
}

TEST_F(ExactTextTest, AnEmptyNameIsRefusedAsTheListRefusesIt)
{
    show(EditorMode::edit, BundleListElement(expander(0, 0)));
    const icu::UnicodeString name = expander(0, 0)->name();
    QLineEdit* field = expanderPane->nameField();
    field->setFocus();
    field->selectAll();
    QTest::keyClick(field, Qt::Key_Backspace);
    EXPECT_EQ(toUtf8(expander(0, 0)->name()), toUtf8(name));
    EXPECT_FALSE(field->toolTip().isEmpty());
    // Leaving the field gives the expander's own name back.
    Q_EMIT field->editingFinished();
    EXPECT_EQ(field->text(), qtString(name));
    QTest::keyClicks(field, QStringLiteral("!"));
    EXPECT_EQ(toUtf8(expander(0, 0)->name()), toUtf8(name + u"!"));
}

} // namespace
} // namespace quillet
