// Writing through the keyboard into a text that refuses other programs' edits: the text ends as
// the expansion with its caret, or as it was, and the user's clipboard comes back every time.

#include "front/PastedLineEdit.h"
#include "front/Accessibility.h"
#include "front/KeyboardPaste.h"
#include "text/UnicodeConversion.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace quillet {
namespace {

/// A text that takes the keyboard's paste (or drops it) and whose selection and caret other
/// programs may set; it refuses their edits.
struct PastedText {
    icu::UnicodeString text;
    int32_t caret = 0;
    TextRange selection;
    bool dropsPastes = false;
    bool ignoresCaretMoves = false;
    /// Keys the user typed after the shortcut, which land when the keys are let go.
    icu::UnicodeString typedAfter;
    /// Keys that land only with the paste, after the line was read again.
    icu::UnicodeString typedLate;
    /// As a browser under load: the paste's caret move shows a second time, at this read of the
    /// caret after the paste, or later on if nobody reads it again (0: never).
    int pasteCaretShowsAgainAtRead = 0;
    std::optional<int32_t> pasteCaret;
    /// As an editor that stops answering other programs: from this paste on (0: never).
    int stopsAnsweringAtPaste = 0;
    int pastes = 0;

    void answer() const
    {
        if (stopsAnsweringAtPaste > 0 && pastes >= stopsAnsweringAtPaste)
            throw EditorNotAnsweringError();
    }

    void letLateCaretLand()
    {
        if (pasteCaret)
            caret = *std::exchange(pasteCaret, std::nullopt);
    }
};

class PastedElement final : public AccessibleElement {
public:
    explicit PastedElement(PastedText& text)
        : m_text(text)
    {
    }
    icu::UnicodeString title() override { return u"main.swift"; }
    std::shared_ptr<AccessibleElement> topLevelElement() override { return nullptr; }
    CaretLine caretLine() override
    {
        m_text.answer();
        m_lineStart = m_text.caret == 0 ? 0 : m_text.text.lastIndexOf(u'\n', 0, m_text.caret) + 1;
        return { icu::UnicodeString(m_text.text, m_lineStart, m_text.caret - m_lineStart) };
    }
    bool isEditable() override { return false; }
    bool acceptsKeyboardEdits() override { return true; }
    LineEditAnswers editLine(const LineEdit&) override { throw AXError(AXError::AttributeUnsupported); }
    void selectOnLine(const icu::UnicodeString& before, const icu::UnicodeString& selected) override
    {
        m_text.answer();
        m_text.selection = { m_lineStart + before.length(), selected.length() };
        m_text.caret = m_text.selection.location + selected.length();
    }
    void setCaretOnLine(const icu::UnicodeString& before) override
    {
        m_text.answer();
        if (!m_text.ignoresCaretMoves)
            m_text.caret = m_lineStart + before.length();
        m_text.selection = { m_text.caret, 0 };
    }
    bool caretStandsAfterOnLine(const icu::UnicodeString& before) override
    {
        m_text.answer();
        if (m_text.pasteCaret && --m_text.pasteCaretShowsAgainAtRead == 0)
            m_text.letLateCaretLand();
        return m_text.caret == m_lineStart + before.length();
    }
    icu::UnicodeString readOnLine(const icu::UnicodeString& expected) override
    {
        m_text.answer();
        return icu::UnicodeString(m_text.text, m_lineStart, expected.length());
    }

private:
    PastedText& m_text;
    int32_t m_lineStart = 0;
};

/// The clipboard and the keyboard, writing down what they were asked to do.
class RecordingPaste final : public KeyboardPaste {
public:
    explicit RecordingPaste(PastedText& text)
        : m_text(text)
    {
    }
    bool keepClipboard(Clock::time_point) override
    {
        log.push_back("keep");
        return keeps;
    }
    TypedKeys setKeysAside() override
    {
        if (!setsKeysAside) {
            letKeysGo();
            return holdEnded ? TypedKeys::wentOn : TypedKeys::goFirst;
        }
        log.push_back("keys aside");
        return TypedKeys::setAside;
    }
    /// The keys typed after the shortcut land at the caret, once.
    void letKeysGo() override
    {
        if (std::exchange(m_keysGone, true))
            return;
        log.push_back("keys go");
        m_text.text.insert(m_text.caret, m_text.typedAfter);
        m_text.caret += m_text.typedAfter.length();
    }
    bool paste(const icu::UnicodeString& text, Clock::time_point) override
    {
        log.push_back("paste(" + toUtf8(text) + ")");
        ++m_text.pastes;
        m_text.text.replace(m_text.selection.location, m_text.selection.length, m_text.typedLate);
        m_text.caret = m_text.selection.location + m_text.typedLate.length();
        m_text.selection = { m_text.caret, 0 };
        m_text.typedLate.remove();
        if (m_text.dropsPastes)
            return true;
        m_text.text.replace(m_text.selection.location, m_text.selection.length, text);
        m_text.caret = m_text.selection.location + text.length();
        m_text.selection = { m_text.caret, 0 };
        if (m_text.pasteCaretShowsAgainAtRead > 0)
            m_text.pasteCaret = m_text.caret;
        return true;
    }
    /// A paste that is not dropped was taken at once.
    bool withdrawPaste(Clock::time_point) override
    {
        log.push_back("withdraw");
        return m_text.dropsPastes;
    }
    void restoreClipboard(Clock::time_point) override { log.push_back("restore"); }

    bool keeps = true;
    bool setsKeysAside = false;
    bool holdEnded = false;
    std::vector<std::string> log;

private:
    PastedText& m_text;
    bool m_keysGone = false;
};

struct PasteCase {
    const char* name;
    PastedText text;
    bool keeps = true;
    bool expanded = false; // else false, or thrown
    const char* thrown = nullptr; // the notification's title
    const char16_t* textAfter;
    int32_t caretAfter;
    std::vector<std::string> log;
    bool setsKeysAside = false;
    bool holdEnded = false; // the hold let the keys go before the paste
};

TEST(PastedLineEditTest, EndsAsTheExpansionOrAsItWasAndGivesTheClipboardBack)
{
    // "let x = 1\nfor item in items" with the caret at its end expands to the loop, its caret
    // inside the braces: " {\n    \n}" is pasted after the abbreviation.
    const icu::UnicodeString before = u"let x = 1\nfor item in items";
    const icu::UnicodeString expansion = u"for item in items {\n    \n}";
    const int32_t expansionCaret = 24;
    const auto text
        = [&](bool dropsPastes, bool ignoresCaretMoves, const char16_t* typedAfter, const char16_t* typedLate = u"") {
              PastedText shaped;
              shaped.text = before;
              shaped.caret = before.length();
              shaped.dropsPastes = dropsPastes;
              shaped.ignoresCaretMoves = ignoresCaretMoves;
              shaped.typedAfter = typedAfter;
              shaped.typedLate = typedLate;
              return shaped;
          };
    PastedText caretShownAgain = text(false, false, u"");
    caretShownAgain.pasteCaretShowsAgainAtRead = 3;
    const auto stopsAnswering = [](PastedText shaped, int atPaste) {
        shaped.stopsAnsweringAtPaste = atPaste;
        return shaped;
    };
    const char* cannotBeChanged = "This text cannot be changed";
    const std::vector<PasteCase> cases = {
        { "the paste arrives", text(false, false, u""), true, true, nullptr, u"let x = 1\nfor item in items {\n    \n}",
            10 + 24, { "keep", "keys go", "paste( {\n    \n})", "restore" } },
        // The caret put inside the braces is moved to the paste's end once more, and put back.
        { "the paste's caret shows again", caretShownAgain, true, true, nullptr,
            u"let x = 1\nfor item in items {\n    \n}", 10 + 24,
            { "keep", "keys go", "paste( {\n    \n})", "restore" } },
        { "the paste is dropped", text(true, false, u""), true, false, cannotBeChanged, u"let x = 1\nfor item in items",
            27, { "keep", "keys go", "paste( {\n    \n})", "withdraw", "restore" } },
        // The caret cannot be put inside the braces: the paste is taken back by deleting it.
        { "the caret stays put", text(false, true, u""), true, false, cannotBeChanged, u"let x = 1\nfor item in items",
            27, { "keep", "keys go", "paste( {\n    \n})", "paste()", "restore" } },
        { "the clipboard cannot be kept", text(false, false, u""), false, false, cannotBeChanged,
            u"let x = 1\nfor item in items", 27, { "keep", "keys go" } },
        // The keys typed after the shortcut changed the line: it is the user's, nothing is pasted.
        { "keys typed after the shortcut", text(false, false, u"abc"), true, false, nullptr,
            u"let x = 1\nfor item in itemsabc", 30, { "keep", "keys go", "restore" } },
        // Set aside, the keys typed after the shortcut land at the expansion's caret when the
        // press ends, or where they were typed when it failed.
        { "keys set aside", text(false, false, u"abc"), true, true, nullptr,
            u"let x = 1\nfor item in items {\n    abc\n}", 10 + 24 + 3,
            { "keep", "keys aside", "paste( {\n    \n})", "restore", "keys go" }, true },
        { "keys set aside, the paste dropped", text(true, false, u"abc"), true, false, cannotBeChanged,
            u"let x = 1\nfor item in itemsabc", 30,
            { "keep", "keys aside", "paste( {\n    \n})", "withdraw", "restore", "keys go" }, true },
        // Keys that land with the paste leave a text that is neither: the user is told so.
        { "keys landing with the paste", text(false, false, u"", u"abc"), true, false,
            "The editor refused the expansion", u"let x = 1\nfor item in itemsabc {\n    \n}", 27,
            { "keep", "keys go", "paste( {\n    \n})", "withdraw", "restore" } },
        // The editor stops answering with the paste on its way: the user is told what becomes of
        // the text once it answers again, and the keys set aside land where that leaves the caret.
        { "the paste taken, then no answer", stopsAnswering(text(false, false, u"abc"), 1), true, false,
            "The editor stopped answering", u"let x = 1\nfor item in items {\n    \n}abc", 10 + 26 + 3,
            { "keep", "keys aside", "paste( {\n    \n})", "withdraw", "restore", "keys go" }, true },
        { "no answer, the paste withdrawn", stopsAnswering(text(true, false, u"abc"), 1), true, false,
            "The editor did not answer", u"let x = 1\nfor item in itemsabc", 30,
            { "keep", "keys aside", "paste( {\n    \n})", "withdraw", "restore", "keys go" }, true },
        { "no answer once the paste is taken back", stopsAnswering(text(false, true, u""), 2), true, false,
            "The editor did not answer", u"let x = 1\nfor item in items", 27,
            { "keep", "keys go", "paste( {\n    \n})", "paste()", "withdraw", "restore" } },
        // The press outlasted the hold: the keys it let go may still be on their way, and would
        // land inside the paste.
        { "keys let go by the hold's bound", text(false, false, u"abc"), true, false, "The editor answered too slowly",
            u"let x = 1\nfor item in itemsabc", 30, { "keep", "keys go", "restore" }, false, true },
    };
    for (const PasteCase& row : cases) {
        SCOPED_TRACE(row.name);
        PastedText state = row.text;
        PastedElement element(state);
        RecordingPaste paste(state);
        paste.keeps = row.keeps;
        paste.setsKeysAside = row.setsKeysAside;
        paste.holdEnded = row.holdEnded;
        const icu::UnicodeString line = element.caretLine().beforeCaret;
        bool expanded = false;
        std::string thrown;
        try {
            expanded = pasteOnLine(element, line, expansion, expansionCaret, paste);
        } catch (const BasicUserError& error) {
            thrown = toUtf8(error.userErrorTitle());
        }
        state.letLateCaretLand();
        paste.letKeysGo(); // the press ends
        EXPECT_EQ(expanded, row.expanded);
        EXPECT_EQ(thrown, row.thrown ? row.thrown : "");
        EXPECT_EQ(toUtf8(state.text), toUtf8(icu::UnicodeString(row.textAfter)));
        EXPECT_EQ(state.caret, row.caretAfter);
        EXPECT_EQ(paste.log, row.log);
    }
}

TEST(PastedLineEditTest, ATextThatRefusesEditsIsPastedIntoOnlyWithAPaste)
{
    PastedText state;
    state.text = u"for item in items";
    state.caret = 17;
    CaretLineText withoutPaste(std::make_shared<PastedElement>(state));
    EXPECT_THROW(withoutPaste.replace(u"for item in items {\n    \n}", 24), ReadOnlyTextError);
    EXPECT_EQ(toUtf8(state.text), "for item in items");

    CaretLineText line(std::make_shared<PastedElement>(state));
    RecordingPaste paste(state);
    EXPECT_TRUE(line.replace(u"for item in items {\n    \n}", 24, &paste));
    EXPECT_EQ(toUtf8(state.text), "for item in items {\n    \n}");
    EXPECT_EQ(state.caret, 24);
}

} // namespace
} // namespace quillet
