#include "front/Accessibility.h"
#include "FakeAccessibility.h"
#include "front/ExpandingController.h"

#include "library/BundleStore.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

namespace quillet {
namespace {

using test::describe;
using test::FakeBackend;
using test::FakeEditor;

JSONDictionary expander(
    const std::string& pattern, const std::string& output, const std::vector<std::string>& languages)
{
    return { { "name", pattern }, { "pattern", pattern }, { "output_template", output }, { "is_enabled", true },
        { "supported_languages", languages } };
}

/// What a press failed with: the error's type, "" for none.
std::string failureOf(const ExpandingController::PressOutcome& outcome)
{
    if (!outcome.error)
        return "";
    try {
        std::rethrow_exception(outcome.error);
    } catch (const ReadOnlyTextError&) {
        return "ReadOnlyTextError";
    } catch (const EditRefusedError&) {
        return "EditRefusedError";
    } catch (const EditNotPutBackError&) {
        return "EditNotPutBackError";
    } catch (const EditUnfinishedError&) {
        return "EditUnfinishedError";
    } catch (const EditorTooSlowError&) {
        return "EditorTooSlowError";
    } catch (const ShortcutAnsweredLateError&) {
        return "ShortcutAnsweredLateError";
    } catch (const AXError& error) {
        return "AXError " + error.description();
    } catch (...) {
        return "another error";
    }
}

class RecordingDelegate final : public ExpandingControllerDelegate {
public:
    void expandingControllerDidStartExpanding(ExpandingController&) override { calls.push_back("start"); }
    void expandingControllerDidEndExpanding(ExpandingController&) override { calls.push_back("end"); }
    std::vector<std::string> calls;
};

/// Indents with tabs: the shared settings of this test program have no registered defaults.
class CaretExpansionTest : public ::testing::Test {
protected:
    CaretExpansionTest()
    {
        m_store = std::make_unique<BundleStore>(JSONDictionary { { "bundles",
            JSONDictionary::array({ JSONDictionary { { "name", "Test" },
                { "expanders",
                    JSONDictionary::array({ expander("for ${item:word} in ${items:word}",
                                                "for ${item} in ${items} {\n\t#\n}", { "swift" }),
                        expander("same", "same", { "any" }), expander("gone", "", { "any" }),
                        expander("pyfor", "python", { "python" }) }) } } }) } });
        m_controller.setAccessibilityBackend(m_backend);
        m_controller.setDelegate(&m_delegate);
    }

    /// One press of the expand shortcut, as the application makes it, run to its end.
    ExpandingController::PressOutcome press()
    {
        std::optional<ExpandingController::PressOutcome> outcome;
        EXPECT_TRUE(m_controller.startExpanding(
            [&outcome](const ExpandingController::PressOutcome& ended) { outcome = ended; }));
        while (m_backend->runStep()) { }
        EXPECT_TRUE(outcome) << "the press never ended";
        return outcome.value_or(ExpandingController::PressOutcome {});
    }

    void type(const icu::UnicodeString& text) { type(text, text.length()); }
    void type(const icu::UnicodeString& text, int32_t caret)
    {
        m_editor.text = text;
        m_editor.selection = { caret, 0 };
    }

    FakeEditor m_editor;
    std::shared_ptr<FakeBackend> m_backend = std::make_shared<FakeBackend>(m_editor);
    std::unique_ptr<BundleStore> m_store;
    ExpandingController m_controller { [this]() -> const BundleStore& { return *m_store; } };
    RecordingDelegate m_delegate;
};

TEST_F(CaretExpansionTest, OneExpansionReadsAndWritesInItsFixedOrder)
{
    type(u"let a = 1\n  for x in xs");

    const auto outcome = press();
    ASSERT_TRUE(outcome.expanded) << failureOf(outcome);

    // One lookup, the line before the caret read twice (first, as it tells which text holds the
    // caret, and again just before the write), and one edit sent whole: an insertion, as the common prefix of the line
    // and its expansion stays, the caret move and the read of what the text now holds (the expansion's first line).
    const std::vector<std::string> expected {
        "trust(prompt)",
        "focus",
        "caretLine",
        "editable",
        // the title: the element has none, so its window's
        "title",
        "topLevel",
        "windowTitle",
        "caretLine",
        "write(insert(23, {\n  \t\n  }) caret(29) read(15))",
    };
    EXPECT_EQ(m_editor.log, expected);
    EXPECT_EQ(m_editor.text, u"let a = 1\n  for x in xs {\n  \t\n  }");
    EXPECT_EQ(m_editor.selection, (TextRange { 29, 0 }));
    EXPECT_EQ(m_delegate.calls, (std::vector<std::string> { "start", "end" }));
}

TEST_F(CaretExpansionTest, TheOutcomeAtTheCaret)
{
    struct Case {
        const char* name;
        icu::UnicodeString text;
        int32_t caret;
        bool expanded;
        icu::UnicodeString textAfter;
        int32_t caretAfter;
    };
    const std::vector<Case> cases {
        { "caret at the start", u"for x in xs", 0, false, u"for x in xs", 0 },
        { "caret after a line feed: nothing matches the empty line", u"for x in xs\n", 12, false, u"for x in xs\n",
            12 },
        { "an expansion equal to the line writes nothing", u"same", 4, false, u"same", 4 },
        { "nothing matches", u"zzqq", 4, false, u"zzqq", 4 },
        // An expansion to nothing removes the abbreviation and leaves the caret where it stood.
        { "an empty expansion deletes the abbreviation", u"a\ngone", 6, true, u"a\n", 2 },
        { "only the line up to the caret counts", u"for x in xs tail", 11, true, u"for x in xs {\n\t\n} tail", 15 },
        // Offsets count UTF-16 units: the emoji before the abbreviation counts two.
        { "a character outside the BMP earlier on the line", u"\U0001F600 for x in xs", 14, true,
            u"\U0001F600 for x in xs {\n\t\n}", 18 },
    };
    for (const auto& c : cases) {
        m_editor.log.clear();
        type(c.text, c.caret);
        const auto outcome = press();
        EXPECT_EQ(outcome.expanded, c.expanded) << c.name;
        EXPECT_EQ(failureOf(outcome), "") << c.name;
        EXPECT_EQ(m_editor.text, c.textAfter) << c.name;
        EXPECT_EQ(m_editor.selection, (TextRange { c.caretAfter, 0 })) << c.name;
        if (!c.expanded) {
            for (const auto& call : m_editor.log)
                EXPECT_EQ(call.rfind("write", 0), std::string::npos) << c.name << ": wrote " << call;
        }
    }
}

TEST_F(CaretExpansionTest, NothingIsWrittenWhenTheLineChangedOrTheTextIsReadOnly)
{
    type(u"for x in xs");
    int reads = 0;
    m_editor.afterLineRead = [&reads](FakeEditor& editor) {
        if (++reads == 1)
            editor.text.append(u"q"), editor.selection = { editor.text.length(), 0 };
    };
    const auto typedOn = press();
    EXPECT_FALSE(typedOn.expanded) << "keys typed after the shortcut";
    EXPECT_EQ(failureOf(typedOn), "");
    EXPECT_EQ(m_editor.text, u"for x in xsq");

    // Where nothing held them, the user is told that the keys came first.
    type(u"for x in xs");
    reads = 0;
    std::optional<ExpandingController::PressOutcome> unheld;
    m_controller.startExpanding(
        [&unheld](const ExpandingController::PressOutcome& ended) { unheld = ended; }, {}, false);
    while (m_backend->runStep()) { }
    ASSERT_TRUE(unheld);
    EXPECT_EQ(failureOf(*unheld), "ShortcutAnsweredLateError");
    EXPECT_EQ(m_editor.text, u"for x in xsq");

    m_editor.afterLineRead = nullptr;
    m_editor.editable = false;
    EXPECT_EQ(failureOf(press()), "ReadOnlyTextError");

    for (const auto& call : m_editor.log)
        EXPECT_NE(call.rfind("write", 0), 0U) << "wrote " << call;
}

TEST_F(CaretExpansionTest, KeysThatWentOnWithoutWaitingForThePressAreNeverWrittenOver)
{
    // The keys typed after the shortcut wait for the press, unless their hold's bound passed
    // first: then they go on to the editor, at a moment the press does not see.
    struct Case {
        const char* name;
        int wentOnAfterRead; // after that many reads of the line; -1: never
        bool arrived; // in the text, right away
        icu::UnicodeString textAfter;
        bool expanded;
        std::string failure;
    };
    const std::vector<Case> cases {
        { "held until the press ended", -1, false, u"for x in xs {\n\t\n}", true, "" },
        // The application answered the shortcut late: the line it reads holds the keys.
        { "gone before the line was read", 0, true, u"for x in xszz", false, "ShortcutAnsweredLateError" },
        // The read may not show them yet, nor the read just before the write.
        { "gone as the line was read", 1, false, u"for x in xs", false, "ShortcutAnsweredLateError" },
        { "gone as the line was read again before the write", 2, true, u"for x in xszz", false,
            "ShortcutAnsweredLateError" },
    };
    for (const auto& c : cases) {
        m_editor = FakeEditor {};
        type(u"for x in xs");
        bool wentOn = false;
        const auto goOn = [&](FakeEditor& editor) {
            wentOn = true;
            if (c.arrived)
                editor.text.append(u"zz"), editor.selection = { editor.text.length(), 0 };
        };
        if (c.wentOnAfterRead == 0)
            goOn(m_editor);
        int reads = 0;
        m_editor.afterLineRead = [&](FakeEditor& editor) {
            if (++reads == c.wentOnAfterRead)
                goOn(editor);
        };
        std::optional<ExpandingController::PressOutcome> outcome;
        EXPECT_TRUE(
            m_controller.startExpanding([&outcome](const ExpandingController::PressOutcome& ended) { outcome = ended; },
                [&wentOn] { return wentOn; }));
        ASSERT_TRUE(outcome) << c.name;
        EXPECT_EQ(outcome->expanded, c.expanded) << c.name;
        EXPECT_EQ(failureOf(*outcome), c.failure) << c.name;
        EXPECT_EQ(m_editor.text, c.textAfter) << c.name;
        if (!c.expanded) {
            for (const auto& call : m_editor.log)
                EXPECT_NE(call.rfind("write", 0), 0U) << c.name << ": wrote " << call;
        }
    }
}

TEST_F(CaretExpansionTest, TheTextEndsAsItWasOrAsTheExpansionAndThePressSaysWhich)
{
    struct Case {
        const char* name;
        icu::UnicodeString text; // the caret at its end
        void (*editor)(FakeEditor&);
        icu::UnicodeString textAfter;
        std::string failure;
        bool putBack; // an edit that restores was sent
    };
    // "pyfor" becomes "python": the edit deletes "for" and inserts "thon" after "py".
    const std::vector<Case> cases {
        { "an editor that writes", u"pyfor", [](FakeEditor&) {}, u"python", "", false },
        { "an insertion answered and dropped", u"for x in xs", [](FakeEditor& e) { e.swallowsEdits = true; },
            u"for x in xs", "ReadOnlyTextError", false },
        { "a replacement answered and dropped", u"pyfor", [](FakeEditor& e) { e.swallowsEdits = true; }, u"pyfor",
            "ReadOnlyTextError", false },
        { "text after the caret is not taken for the expansion", u"for x in xs tail",
            [](FakeEditor& e) { e.swallowsEdits = true; }, u"for x in xs tail", "ReadOnlyTextError", false },
        { "a character outside the BMP before the abbreviation", u"\U0001F600 for x in xs",
            [](FakeEditor& e) { e.swallowsEdits = true; }, u"\U0001F600 for x in xs", "ReadOnlyTextError", false },
        { "the insertion refused: the deleted text is put back", u"pyfor",
            [](FakeEditor& e) { e.refusesInsertion = true; }, u"pyfor", "EditRefusedError", true },
        { "the deletion refused: the inserted text is taken out", u"pyfor",
            [](FakeEditor& e) { e.refusesDeletion = true; }, u"pyfor", "EditRefusedError", true },
        { "an insertion alone refused", u"for x in xs", [](FakeEditor& e) { e.refusesInsertion = true; },
            u"for x in xs", "EditRefusedError", false },
        { "the insertion refused and the text not put back", u"pyfor",
            [](FakeEditor& e) { e.refusesInsertion = e.refusesRestoring = true; }, u"py", "EditNotPutBackError", true },
        // Sent whole, the edit is carried out whole once the editor answers again.
        { "the editor stops answering after the deletion", u"pyfor",
            [](FakeEditor& e) { e.stopsAnsweringInEdits = true; }, u"python", "EditUnfinishedError", false },
    };
    for (const auto& c : cases) {
        m_editor = FakeEditor {};
        c.editor(m_editor);
        type(c.text, c.text.length() - (c.text.endsWith(u" tail") ? 5 : 0));
        const auto outcome = press();
        EXPECT_EQ(outcome.expanded, c.failure.empty()) << c.name;
        EXPECT_EQ(failureOf(outcome), c.failure) << c.name;
        EXPECT_EQ(m_editor.text, c.textAfter) << c.name;
        const bool putBack = std::any_of(m_editor.log.begin(), m_editor.log.end(),
            [](const std::string& call) { return call.rfind("restore", 0) == 0; });
        EXPECT_EQ(putBack, c.putBack) << c.name;
        if (c.putBack && c.failure == "EditRefusedError") {
            EXPECT_EQ(m_editor.selection, (TextRange { c.text.length(), 0 })) << c.name << ": the caret is put back";
        }
    }
}

TEST_F(CaretExpansionTest, APressWaitsOnTheEditorOutsideTheCallerAndIgnoresTheNextPressMeanwhile)
{
    struct Case {
        const char* name;
        bool focused;
        bool editable;
        int steps; // handed to the backend's thread
        bool expanded;
        bool failed;
    };
    const std::vector<Case> cases {
        { "an expansion: the read, then the write", true, true, 2, true, false },
        { "no focus: the read fails", false, true, 1, false, true },
        { "a read-only text", true, false, 1, false, true },
    };
    m_backend->deferred = true;
    for (const auto& c : cases) {
        type(u"for x in xs");
        m_editor.focused = c.focused;
        m_editor.editable = c.editable;
        m_editor.log.clear();
        m_delegate.calls.clear();
        std::vector<ExpandingController::PressOutcome> outcomes;
        const auto done
            = [&outcomes](const ExpandingController::PressOutcome& outcome) { outcomes.push_back(outcome); };

        ASSERT_TRUE(m_controller.startExpanding(done)) << c.name;
        EXPECT_EQ(m_editor.log, (std::vector<std::string> { "trust(prompt)" })) << c.name << ": nothing read here";
        EXPECT_EQ(m_delegate.calls, (std::vector<std::string> { "start" })) << c.name;
        EXPECT_FALSE(m_controller.startExpanding(done)) << c.name << ": a second press is ignored";

        int steps = 0;
        while (m_backend->runStep())
            ++steps;
        EXPECT_EQ(steps, c.steps) << c.name;
        ASSERT_EQ(outcomes.size(), 1U) << c.name;
        EXPECT_EQ(outcomes[0].expanded, c.expanded) << c.name;
        EXPECT_EQ(bool(outcomes[0].error), c.failed) << c.name;
        EXPECT_EQ(m_editor.text, c.expanded ? u"for x in xs {\n\t\n}" : u"for x in xs") << c.name;
        EXPECT_EQ(m_delegate.calls, (std::vector<std::string> { "start", "end" })) << c.name;
        EXPECT_FALSE(m_controller.isExpanding()) << c.name;
    }
}

TEST_F(CaretExpansionTest, AWidgetsNameGivesTheWindowTitleItsTurn)
{
    // "pyfor" expands only where Python is preferred or nothing else matches: the log shows
    // which title was used.
    type(u"pyfor");
    m_editor.elementTitle = u"EditorSourceView";
    m_editor.windowTitle = u"*/home/me/site.v2/script.py - Editor";
    ASSERT_TRUE(press().expanded);
    EXPECT_EQ(std::count(m_editor.log.begin(), m_editor.log.end(), "windowTitle"), 1);
}

TEST_F(CaretExpansionTest, ACrLfTextGetsItsLineEnds)
{
    type(u"let a = 1\r\n  for x in xs");
    ASSERT_TRUE(press().expanded);
    EXPECT_EQ(m_editor.text, u"let a = 1\r\n  for x in xs {\r\n  \t\r\n  }");
    EXPECT_EQ(m_editor.selection, (TextRange { 31, 0 }));
}

TEST(CrLfLineEndsTest, EachLineFeedEndsALineWithCrLfAndTheCaretFollows)
{
    struct Case {
        icu::UnicodeString text;
        int32_t caret;
        icu::UnicodeString written;
        int32_t writtenCaret;
    };
    const std::vector<Case> cases {
        { u"a {\n\t\n}", 5, u"a {\r\n\t\r\n}", 6 },
        { u"\nx\n", 3, u"\r\nx\r\n", 5 },
        { u"kept\r\nas is\n", 0, u"kept\r\nas is\r\n", 0 },
        { u"one line", 4, u"one line", 4 },
    };
    for (const auto& c : cases)
        EXPECT_EQ(withCrLfLineEnds(c.text, c.caret), std::make_pair(c.written, c.writtenCaret)) << toUtf8(c.text);
}

TEST(MinimalEditTest, ReplacesOnlyWhatDiffers)
{
    struct Case {
        const char* name;
        icu::UnicodeString from;
        icu::UnicodeString to;
        TextEdit edit;
    };
    const std::vector<Case> cases {
        { "pure insertion", u"for x in xs", u"for x in xs {\n}", { 11, 0, u" {\n}" } },
        { "no common part", u"abc", u"xyz", { 0, 3, u"xyz" } },
        { "shorter result", u"  gone", u"  ", { 2, 4, u"" } },
        { "common prefix and suffix", u"a(x)b", u"a(yy)b", { 2, 1, u"yy" } },
        { "repeated letters keep the prefix", u"aa", u"aaa", { 2, 0, u"a" } },
        { "equal texts", u"same", u"same", { 4, 0, u"" } },
        { "emoji before the change", u"\U0001F600 pr", u"\U0001F600 print()", { 5, 0, u"int()" } },
        // Two emoji that share their lead surrogate: the whole pair is replaced.
        { "pairs that differ in the low half", u"\U0001F600", u"\U0001F601", { 0, 2, u"\U0001F601" } },
        { "pairs that differ in the high half", u"x\U0001F600", u"x\U0010FC00", { 1, 2, u"\U0010FC00" } },
    };
    for (const auto& c : cases) {
        const TextEdit edit = minimalEdit(c.from, c.to);
        EXPECT_EQ(edit, c.edit) << c.name << ": " << edit.start << "," << edit.length << " "
                                << toUtf8(edit.replacement);
        icu::UnicodeString applied(c.from);
        applied.replace(edit.start, edit.length, edit.replacement);
        EXPECT_EQ(applied, c.to) << c.name;
    }
}

TEST(OffsetUnitTest, TheNamesPromiseAndAReadProves)
{
    using enum TextOffsetUnit;
    EXPECT_EQ(offsetUnitOf("Qt", "featherpad"), utf16);
    EXPECT_EQ(offsetUnitOf("QT", "fixture"), utf16);
    EXPECT_EQ(offsetUnitOf("gtk", "mousepad"), codePoints);
    EXPECT_EQ(offsetUnitOf("GAIL", ""), codePoints);
    // The office suite keeps UTF-16 offsets behind the GTK it draws with.
    EXPECT_EQ(offsetUnitOf("gtk", "soffice"), utf16);
    EXPECT_EQ(offsetUnitOf("Gecko", "Firefox"), utf16);

    // Gecko pads each character outside the BMP to two: without the padding, what it read
    // proves the offsets it promised.
    struct Padded {
        icu::UnicodeString read;
        icu::UnicodeString shown;
    };
    const std::vector<Padded> padded {
        { u"😀\uFEFF e2e😀\uFEFF", u"😀 e2e😀" }, { u"a\uFEFFb", u"a\uFEFFb" }, // a padding only follows a pair
        { u"😀\uFEFF\uFEFF", u"😀\uFEFF" }, // one padding a pair
    };
    for (const auto& p : padded)
        EXPECT_EQ(withoutSurrogatePadding(p.read), p.shown) << toUtf8(p.read);
    EXPECT_EQ(offsetUnitShownBy(withoutSurrogatePadding(u"😀\uFEFF e2e"), 6), utf16);
    EXPECT_TRUE(padsCharactersOutsideBmp("Gecko"));
    EXPECT_FALSE(padsCharactersOutsideBmp("GTK"));

    struct Case {
        const char* name;
        icu::UnicodeString read;
        int32_t span;
        std::optional<TextOffsetUnit> shown;
    };
    const std::vector<Case> cases {
        { "no character outside the BMP", u"e2ehello", 8, std::nullopt },
        { "UTF-16 units", u"😀 e2ehello", 11, utf16 },
        { "code points", u"😀 e2ehello", 10, codePoints },
        { "a short read fits neither", u"😀 e2e", 11, std::nullopt },
        { "an empty read", u"", 0, std::nullopt },
    };
    for (const auto& c : cases)
        EXPECT_EQ(offsetUnitShownBy(c.read, c.span), c.shown) << c.name;
}

/// A node of an accessibility tree for the focus search.
struct FakeNode {
    std::string name;
    bool focused = false;
    bool text = false;
    std::vector<FakeNode> children;
    bool shown = true;
};

TEST(FocusSearchTest, TheDeepestFocusedObjectWithTextWins)
{
    using Node = const FakeNode*;
    FocusSearch<Node> search;
    std::vector<std::string> expanded; // whose children were asked for
    search.states = [](const std::vector<Node>& nodes) {
        std::vector<FocusSearch<Node>::States> result;
        for (const Node& node : nodes)
            result.push_back({ node->focused, node->shown });
        return result;
    };
    search.hasText = [](const Node& node) { return node->text; };
    search.children = [&expanded](const std::vector<Node>& nodes) {
        std::vector<std::vector<Node>> result;
        for (const Node& node : nodes) {
            expanded.push_back(node->name);
            result.emplace_back();
            for (const auto& child : node->children)
                result.back().push_back(&child);
        }
        return result;
    };
    struct Case {
        const char* name;
        FakeNode root;
        std::optional<std::string> found;
    };
    const std::vector<Case> cases {
        // A combo box with Text of its own marks itself FOCUSED with its line edit.
        { "focus proxy", { "frame", false, false, { { "combo", true, true, { { "edit", true, true, {} } } } } },
            "edit" },
        // A document panel without Text is FOCUSED above the paragraph that is.
        { "document panel",
            { "frame", false, false,
                { { "toolbar", false, false, { { "find", false, true, {} } } },
                    { "panel", true, false, { { "p1", false, true, {} }, { "p2", true, true, {} } } } } },
            "p2" },
        // GTK 4 only says VISIBLE: nothing is skipped for not SHOWING.
        { "plain editor", { "frame", false, false, { { "box", false, false, { { "view", true, true, {} } } } } },
            "view" },
        { "focused button", { "frame", false, false, { { "button", true, false, {} } } }, std::nullopt },
        { "focused ancestor with Text over a focused child without",
            { "frame", false, false, { { "view", true, true, { { "gutter", true, false, {} } } } } }, "view" },
        // A page that is not shown keeps the FOCUSED state its text had; the shown page's
        // text is the one typed in.
        { "hidden page",
            { "frame", false, false,
                { { "old page", false, false, { { "old view", true, true, {} } }, false },
                    { "page", false, false, { { "view", true, true, {} } } } } },
            "view" },
        // Qt 5 leaves a FOCUSED mark on an object without Text beside the text's subtree.
        { "focused object without Text beside the text",
            { "frame", false, false,
                { { "page", false, false, { { "view", true, true, {} } } }, { "tabs", true, false, {} } } },
            "view" },
        // A window that does not say it is shown is searched all the same.
        { "window not shown", { "frame", false, false, { { "view", true, true, {} } }, false }, "view" },
    };
    for (const auto& c : cases) {
        const auto found = deepestFocusedText<Node>(&c.root, search);
        EXPECT_EQ(found ? std::optional<std::string>((*found)->name) : std::nullopt, c.found) << c.name;
    }
    // Once the combo box is found FOCUSED with Text, the tree beside it is not searched further.
    expanded.clear();
    const FakeNode wide { "frame", false, false,
        { { "combo", true, true, { { "edit", true, true, {} } } },
            { "sidebar", false, false, { { "tool", false, false, {} } } } } };
    deepestFocusedText<Node>(&wide, search);
    EXPECT_EQ(expanded, (std::vector<std::string> { "frame", "combo", "edit" }));
}

TEST_F(CaretExpansionTest, AnUntrustedProcessAsksForAccessAndTouchesNothing)
{
    type(u"for x in xs");
    m_editor.trusted = false;

    const auto outcome = press();
    EXPECT_FALSE(outcome.expanded);
    EXPECT_EQ(failureOf(outcome), "");

    EXPECT_EQ(m_editor.log, (std::vector<std::string> { "trust(prompt)" }));
    EXPECT_TRUE(m_delegate.calls.empty());
}

TEST_F(CaretExpansionTest, NoFocusedElementThrowsAfterTellingTheDelegateBothEnds)
{
    m_editor.focused = false;

    EXPECT_EQ(failureOf(press()), "AXError NoValue");
    EXPECT_EQ(m_delegate.calls, (std::vector<std::string> { "start", "end" }));
}

TEST_F(CaretExpansionTest, TheTitlesExtensionPicksTheLanguageGroup)
{
    // "pyfor" only exists for Python; under a Swift title it still expands from the other group,
    // under a Python title it comes from the first group: both reach it, so look at the title read.
    type(u"pyfor");
    m_editor.elementTitle = u"script.py";
    ASSERT_TRUE(press().expanded);
    EXPECT_EQ(m_editor.text, u"python");
    EXPECT_EQ(std::count(m_editor.log.begin(), m_editor.log.end(), "windowTitle"), 0)
        << "a readable element title must win over the window's";
}

TEST(AXErrorTest, NamesFollowTheRawValue)
{
    const std::vector<std::pair<int32_t, std::string>> cases {
        { -25214, "NotEnoughPrecision" },
        { -25212, "NoValue" },
        { -25211, "APIDisabled" },
        { -25202, "InvalidUIElement" },
        { -25200, "Failure" },
        { -25215, "Success" },
        { -25199, "Success" },
        { 0, "Success" },
        { -1, "Success" },
    };
    for (const auto& [raw, name] : cases) {
        const AXError error(raw);
        EXPECT_EQ(error.description(), name) << raw;
        EXPECT_EQ(error.debugDescription(), "[AXError] " + name) << raw;
        EXPECT_EQ(error.code(), raw);
    }
    EXPECT_EQ(std::string(AXError::domain), "Quillet.AXError");
}

} // namespace
} // namespace quillet
