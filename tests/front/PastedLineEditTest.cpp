// Writing through the keyboard into a text that refuses other programs' edits: the text ends as
// the expansion with its caret, or as it was, never holding the user's clipboard; the user is
// told which; the user's clipboard comes back every time, and no other window is written.

#include "front/PastedLineEdit.h"
#include "front/Accessibility.h"
#include "front/KeyboardPaste.h"
#include "text/UnicodeConversion.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace quillet {
namespace {

const icu::UnicodeString userClipboard = u"USERCLIP";

/// The clipboard as the paste's contract has it: what a paste key gets when its application
/// takes the paste, now.
struct Clipboard {
    std::optional<icu::UnicodeString> offered;
    /// What the paste's selection holds.
    icu::UnicodeString selected;
    bool taken = false;
    /// Withdrawn before it was taken: the application's late take gets what the selection held.
    bool withdrawn = false;
    bool offerOut = false;

    std::optional<icu::UnicodeString> take()
    {
        if (offered) {
            taken = true;
            return offered;
        }
        if (std::exchange(withdrawn, false))
            return selected;
        return userClipboard;
    }
};

/// When the editor gets to a paste key it was sent.
enum class Takes {
    atOnce,
    afterWithdrawal, // busy until the press gave up on the paste
    afterPress, // busy until the press has ended
    never, // the key went nowhere
};

constexpr uint32_t editorWindow = 1;
constexpr uint32_t otherWindow = 2;
constexpr uint32_t editorProcess = 100;
constexpr uint32_t otherProcess = 200;

/// A text that takes the keyboard's paste when it gets to it, and whose selection and caret
/// other programs may set; it refuses their edits. Beside it stands another window.
struct Desktop {
    icu::UnicodeString text;
    int32_t caret = 0;
    TextRange selection;
    icu::UnicodeString otherText = u"let a = 1";
    Clipboard clipboard;

    Takes takes = Takes::atOnce;
    /// Fetches the paste and inserts nothing of it.
    bool dropsPastes = false;
    /// Deletes the selection for a paste that brings no text, as a browser's page does.
    bool deletesForNothing = false;
    /// What the text makes of a paste (a field that turns line feeds into spaces, one that keeps
    /// so many characters).
    std::function<icu::UnicodeString(const icu::UnicodeString&, const Desktop&)> alters;
    bool singleLine = false;
    bool ignoresCaretMoves = false;
    /// ... but moves it for the arrow keys, as a page whose editor keeps a hidden text area.
    bool takesCaretKeys = false;
    bool clipboardOwnerHangs = false;
    /// At this check of the focus (1: the first), the user switches to the other window.
    int switchesAtFocusCheck = 0;
    /// As a browser under load: the paste's caret move shows a second time, at this read of the
    /// caret after the paste (0: never).
    int pasteCaretShowsAgainAtRead = 0;
    std::optional<int32_t> pasteCaret;
    /// As an editor that stops answering other programs: from this paste on, or from this
    /// selection set (0: never).
    int stopsAnsweringAtPaste = 0;
    int stopsAnsweringAtSelection = 0;
    int selections = 0;
    /// Keys the user typed after the shortcut, which land when the keys are let go.
    icu::UnicodeString typedAfter;

    int pastes = 0;
    int focusChecks = 0;
    uint32_t focusedWindow = editorWindow;
    /// Paste keys sent and not yet gotten to, with the window they went to.
    std::vector<std::pair<uint32_t, bool>> keysWaiting; // (window, a Delete key)

    void answer() const
    {
        if ((stopsAnsweringAtPaste > 0 && pastes >= stopsAnsweringAtPaste)
            || (stopsAnsweringAtSelection > 0 && selections >= stopsAnsweringAtSelection))
            throw EditorNotAnsweringError();
    }
    void checkFocus()
    {
        if (++focusChecks == switchesAtFocusCheck)
            focusedWindow = otherWindow;
    }

    void replaceSelection(const icu::UnicodeString& with)
    {
        text.replace(selection.location, selection.length, with);
        caret = selection.location + with.length();
        selection = { caret, 0 };
        if (pasteCaretShowsAgainAtRead > 0)
            pasteCaret = caret;
    }
    /// The editor gets to the keys sent to it.
    void getToKeys()
    {
        if (takes == Takes::never)
            return;
        for (const auto& [window, deleteKey] : std::exchange(keysWaiting, {})) {
            if (window == otherWindow) {
                if (!deleteKey)
                    otherText.append(clipboard.take().value_or(u""));
                continue;
            }
            if (deleteKey) {
                replaceSelection(u"");
                continue;
            }
            const auto got = clipboard.take();
            if (!got && deletesForNothing)
                replaceSelection(u"");
            if (!got || dropsPastes)
                continue;
            replaceSelection(alters ? alters(*got, *this) : *got);
        }
    }
    void letLateCaretLand()
    {
        if (pasteCaret)
            caret = *std::exchange(pasteCaret, std::nullopt);
    }
};

class PastedElement final : public AccessibleElement {
public:
    explicit PastedElement(Desktop& desktop)
        : m_desktop(desktop)
    {
    }
    icu::UnicodeString title() override { return u"main.swift"; }
    std::shared_ptr<AccessibleElement> topLevelElement() override { return nullptr; }
    CaretLine caretLine() override
    {
        answer();
        m_lineStart = m_desktop.caret == 0 ? 0 : m_desktop.text.lastIndexOf(u'\n', 0, m_desktop.caret) + 1;
        return { icu::UnicodeString(m_desktop.text, m_lineStart, m_desktop.caret - m_lineStart) };
    }
    bool isEditable() override { return false; }
    bool acceptsKeyboardEdits() override { return true; }
    LineEditAnswers editLine(const LineEdit&) override { throw AXError(AXError::AttributeUnsupported); }
    bool selectOnLine(const icu::UnicodeString& before, const icu::UnicodeString& selected) override
    {
        ++m_desktop.selections;
        answer();
        m_desktop.selection = { m_lineStart + before.length(), selected.length() };
        m_desktop.caret = m_desktop.selection.location + selected.length();
        m_desktop.checkFocus();
        return m_desktop.focusedWindow == editorWindow;
    }
    void setCaretOnLine(const icu::UnicodeString& before) override
    {
        answer();
        if (!m_desktop.ignoresCaretMoves)
            m_desktop.caret = m_lineStart + before.length();
        m_desktop.selection = { m_desktop.caret, 0 };
    }
    bool caretStandsAfterOnLine(const icu::UnicodeString& before) override
    {
        answer();
        if (m_desktop.pasteCaret && --m_desktop.pasteCaretShowsAgainAtRead == 0)
            m_desktop.letLateCaretLand();
        return m_desktop.caret == m_lineStart + before.length();
    }
    icu::UnicodeString readOnLine(const icu::UnicodeString& expected) override
    {
        answer();
        return icu::UnicodeString(m_desktop.text, m_lineStart, expected.length());
    }
    std::optional<icu::UnicodeString> readToCaretOnLine() override
    {
        answer();
        if (m_desktop.caret < m_lineStart)
            return std::nullopt;
        return icu::UnicodeString(m_desktop.text, m_lineStart, m_desktop.caret - m_lineStart);
    }
    bool isSingleLine() override { return m_desktop.singleLine; }
    std::optional<uint32_t> processIdentifier() override { return editorProcess; }

private:
    void answer()
    {
        m_desktop.answer();
        if (m_desktop.takes == Takes::atOnce)
            m_desktop.getToKeys();
    }

    Desktop& m_desktop;
    int32_t m_lineStart = 0;
};

/// The clipboard and the keyboard of the desktop, as the paste's contract has them.
class DesktopPaste final : public KeyboardPaste {
public:
    explicit DesktopPaste(Desktop& desktop)
        : m_desktop(desktop)
    {
    }
    ClipboardKept keepClipboard() override
    {
        return m_desktop.clipboardOwnerHangs ? ClipboardKept::notAnswered : ClipboardKept::kept;
    }
    std::optional<KeyboardFocus> keyboardFocus() override
    {
        m_desktop.checkFocus();
        const bool editor = m_desktop.focusedWindow == editorWindow;
        return KeyboardFocus { .window = m_desktop.focusedWindow, .process = editor ? editorProcess : otherProcess };
    }
    TypedKeys setKeysAside() override
    {
        if (!setsKeysAside) {
            letKeysGo();
            return holdEnded ? TypedKeys::wentOn : TypedKeys::goFirst;
        }
        return TypedKeys::setAside;
    }
    /// The keys typed after the shortcut land at the caret, once.
    void letKeysGo() override
    {
        if (std::exchange(m_keysGone, true))
            return;
        m_desktop.text.insert(m_desktop.caret, m_desktop.typedAfter);
        m_desktop.caret += m_desktop.typedAfter.length();
    }
    Sent paste(const icu::UnicodeString& text, const icu::UnicodeString& selected, const KeyboardFocus& focus) override
    {
        if (keyboardFocus() != focus)
            return Sent::focusMoved;
        ++m_desktop.pastes;
        m_pastedKey = text.isEmpty();
        if (!m_pastedKey) {
            m_desktop.clipboard.offered = text;
            m_desktop.clipboard.selected = selected;
            m_desktop.clipboard.taken = false;
            m_desktop.clipboard.withdrawn = false;
            m_desktop.clipboard.offerOut = true;
        }
        m_desktop.keysWaiting.emplace_back(m_desktop.focusedWindow, m_pastedKey);
        if (m_desktop.takes == Takes::atOnce)
            m_desktop.getToKeys();
        return Sent::sent;
    }
    Sent moveCaret(CaretKey key, int32_t times, const KeyboardFocus& focus) override
    {
        if (!m_desktop.takesCaretKeys)
            return Sent::notSent;
        if (keyboardFocus() != focus)
            return Sent::focusMoved;
        m_desktop.caret += key == CaretKey::left ? -times : times;
        m_desktop.selection = { m_desktop.caret, 0 };
        return Sent::sent;
    }
    bool withdrawPaste() override
    {
        Clipboard& clipboard = m_desktop.clipboard;
        if (m_pastedKey || !clipboard.offerOut)
            return false;
        clipboard.offerOut = false;
        clipboard.offered.reset();
        clipboard.withdrawn = !clipboard.taken;
        if (m_desktop.takes == Takes::afterWithdrawal)
            m_desktop.getToKeys();
        return !clipboard.taken;
    }
    void restoreClipboard() override
    {
        if (m_desktop.clipboard.offerOut)
            withdrawPaste();
        m_desktop.clipboard.offered.reset();
    }

    bool setsKeysAside = false;
    bool holdEnded = false;

private:
    Desktop& m_desktop;
    bool m_keysGone = false;
    bool m_pastedKey = false;
};

// "let x = 1\nfor item in items" with the caret at its end expands to the loop, its caret
// inside the braces: " {\n    \n}" is pasted after the abbreviation.
const icu::UnicodeString loopLine = u"let x = 1\nfor item in items";
const icu::UnicodeString loopExpansion = u"for item in items {\n    \n}";
constexpr int32_t loopCaret = 24;
// One that rewrites the end of the line: "from 1 to " gives way to "in 1..<", a selection
// replaced by the paste.
const icu::UnicodeString rewriteLine = u"xy for i from 1 to n";
const icu::UnicodeString rewriteExpansion = u"xy for i in 1..<n {\n    \n}";
constexpr int32_t rewriteCaret = 24;

struct PasteCase {
    const char* name;
    Desktop desktop;
    bool rewriting = false;
    bool setsKeysAside = false;
    bool holdEnded = false; // the hold let the keys go before the paste
    /// How the text ends: as the expansion (with the typed keys at its caret) or as it was
    /// (with them where they were typed).
    bool endsExpanded = false;
    const char* told = nullptr; // the notification's title; none for a press that succeeded
    bool returnsExpanded = false;
    /// The editor writes the expansion once it answers again.
    bool expandsLater = false;
};

Desktop desktop(std::function<void(Desktop&)> shape = {})
{
    Desktop shaped;
    if (shape)
        shape(shaped);
    return shaped;
}

std::string lettersOf(const icu::UnicodeString& text)
{
    return toUtf8(text);
}

TEST(PastedLineEditTest, EndsAsTheExpansionOrAsItWasNeverWithTheUsersClipboard)
{
    const char* tooSlow = "The editor answered too slowly";
    const char* cannotBeChanged = "This text cannot be changed";
    const char* changed = "The editor changed the expansion";
    const auto newlinesToSpaces = [](const icu::UnicodeString& pasted, const Desktop&) {
        icu::UnicodeString joined(pasted);
        return joined.findAndReplace(u"\n", u" ");
    };
    // A <textarea maxlength=30>: what would go beyond 30 units is dropped.
    const auto keeps30 = [](const icu::UnicodeString& pasted, const Desktop& shown) {
        const int32_t room = 30 - (shown.text.length() - shown.selection.length);
        return icu::UnicodeString(pasted, 0, std::max(0, room));
    };
    const std::vector<PasteCase> cases = {
        { .name = "the paste arrives", .desktop = desktop(), .endsExpanded = true, .returnsExpanded = true },
        { .name = "a rewriting expansion",
            .desktop = desktop(),
            .rewriting = true,
            .endsExpanded = true,
            .returnsExpanded = true },
        // The caret put inside the braces is moved to the paste's end once more, and put back.
        { .name = "the paste's caret shows again",
            .desktop = desktop([](Desktop& shaped) { shaped.pasteCaretShowsAgainAtRead = 3; }),
            .endsExpanded = true,
            .returnsExpanded = true },
        // Busy when the paste key comes, the editor takes the paste once the press gave up on it,
        // or once it ended: it gets nothing rather than the user's clipboard.
        { .name = "the paste taken late",
            .desktop = desktop([](Desktop& shaped) { shaped.takes = Takes::afterWithdrawal; }),
            .told = tooSlow },
        { .name = "a rewriting paste taken late",
            .desktop = desktop([](Desktop& shaped) { shaped.takes = Takes::afterWithdrawal; }),
            .rewriting = true,
            .told = tooSlow },
        // A page deletes its selection for a paste that brings no text: it gets the selection's
        // text back, which it pastes over itself.
        { .name = "a rewriting paste taken late by a page",
            .desktop = desktop([](Desktop& shaped) {
                shaped.takes = Takes::afterWithdrawal;
                shaped.deletesForNothing = true;
            }),
            .rewriting = true,
            .told = tooSlow },
        { .name = "the paste taken after the press",
            .desktop = desktop([](Desktop& shaped) { shaped.takes = Takes::afterPress; }),
            .told = tooSlow },
        { .name = "the paste key going nowhere",
            .desktop = desktop([](Desktop& shaped) { shaped.takes = Takes::never; }),
            .told = tooSlow },
        { .name = "the paste taken and dropped",
            .desktop = desktop([](Desktop& shaped) { shaped.dropsPastes = true; }),
            .told = cannotBeChanged },
        // The caret cannot be put inside the braces: the paste is taken back.
        { .name = "the caret stays put",
            .desktop = desktop([](Desktop& shaped) { shaped.ignoresCaretMoves = true; }),
            .told = cannotBeChanged },
        // ... unless the page moves it for its own keys.
        { .name = "the caret moved only by keys",
            .desktop = desktop([](Desktop& shaped) {
                shaped.ignoresCaretMoves = true;
                shaped.takesCaretKeys = true;
            }),
            .endsExpanded = true,
            .returnsExpanded = true },
        // A field that changes what it is pasted: the paste is taken back.
        { .name = "line feeds turned into spaces",
            .desktop = desktop([&](Desktop& shaped) { shaped.alters = newlinesToSpaces; }),
            .told = changed },
        { .name = "a rewriting paste turned into one line",
            .desktop = desktop([&](Desktop& shaped) { shaped.alters = newlinesToSpaces; }),
            .rewriting = true,
            .told = changed },
        { .name = "a paste cut at the field's length",
            .desktop = desktop([&](Desktop& shaped) { shaped.alters = keeps30; }),
            .told = changed },
        // A field of one line gets no expansion of several lines at all.
        { .name = "a field of one line",
            .desktop = desktop([](Desktop& shaped) { shaped.singleLine = true; }),
            .told = "This text holds a single line" },
        // The user switches to another window right after the shortcut: before the press looked
        // at the keyboard's focus, before the text's focus was asked again, right before the
        // paste key.
        { .name = "a window switch before the press began",
            .desktop = desktop([](Desktop& shaped) { shaped.switchesAtFocusCheck = 1; }),
            .told = "The focus moved to another window" },
        { .name = "a window switch before the paste",
            .desktop = desktop([](Desktop& shaped) { shaped.switchesAtFocusCheck = 2; }),
            .told = "The focus moved to another window" },
        { .name = "a window switch right before the paste key",
            .desktop = desktop([](Desktop& shaped) { shaped.switchesAtFocusCheck = 3; }),
            .told = "The focus moved to another window" },
        { .name = "the clipboard's owner hangs",
            .desktop = desktop([](Desktop& shaped) { shaped.clipboardOwnerHangs = true; }),
            .told = "The clipboard did not answer" },
        // The keys typed after the shortcut changed the line: it is the user's, nothing is pasted.
        { .name = "keys typed after the shortcut",
            .desktop = desktop([](Desktop& shaped) { shaped.typedAfter = u"abc"; }) },
        // Set aside, the keys typed after the shortcut land at the expansion's caret when the
        // press ends, or where they were typed when it failed.
        { .name = "keys set aside",
            .desktop = desktop([](Desktop& shaped) { shaped.typedAfter = u"abc"; }),
            .setsKeysAside = true,
            .endsExpanded = true,
            .returnsExpanded = true },
        { .name = "keys set aside, the paste taken late",
            .desktop = desktop([](Desktop& shaped) {
                shaped.typedAfter = u"abc";
                shaped.takes = Takes::afterWithdrawal;
            }),
            .setsKeysAside = true,
            .told = tooSlow },
        // The editor stops answering with the paste on its way: the user is told what becomes of
        // the text once it answers again.
        { .name = "the paste taken, then no answer",
            .desktop = desktop([](Desktop& shaped) {
                shaped.typedAfter = u"abc";
                shaped.stopsAnsweringAtPaste = 1;
            }),
            .setsKeysAside = true,
            .told = "The editor stopped answering",
            .expandsLater = true },
        { .name = "no answer, the paste taken after the press",
            .desktop = desktop([](Desktop& shaped) {
                shaped.stopsAnsweringAtPaste = 1;
                shaped.takes = Takes::afterPress;
            }),
            .told = "The editor did not answer" },
        // It stops answering once the paste that takes the expansion back went out: that puts the
        // text back once it answers again. Before that paste went out, the expansion stays.
        { .name = "no answer once the paste is taken back",
            .desktop = desktop([](Desktop& shaped) {
                shaped.ignoresCaretMoves = true;
                shaped.stopsAnsweringAtPaste = 2;
            }),
            .told = "The editor did not answer" },
        { .name = "no answer as the paste is to be taken back",
            .desktop = desktop([](Desktop& shaped) {
                shaped.ignoresCaretMoves = true;
                shaped.stopsAnsweringAtSelection = 2;
            }),
            .told = "The editor stopped answering",
            .expandsLater = true },
        // The press outlasted the hold: the keys it let go may still be on their way, and would
        // land inside the paste.
        { .name = "keys let go by the hold's bound",
            .desktop = desktop([](Desktop& shaped) { shaped.typedAfter = u"abc"; }),
            .holdEnded = true,
            .told = tooSlow },
    };
    for (const PasteCase& row : cases) {
        SCOPED_TRACE(row.name);
        Desktop state = row.desktop;
        const icu::UnicodeString& line = row.rewriting ? rewriteLine : loopLine;
        const icu::UnicodeString& expansion = row.rewriting ? rewriteExpansion : loopExpansion;
        const int32_t expansionCaret = row.rewriting ? rewriteCaret : loopCaret;
        state.text = line;
        state.caret = line.length();
        const icu::UnicodeString otherBefore = state.otherText;
        PastedElement element(state);
        DesktopPaste paste(state);
        paste.setsKeysAside = row.setsKeysAside;
        paste.holdEnded = row.holdEnded;
        const icu::UnicodeString lineRead = element.caretLine().beforeCaret;
        bool expanded = false;
        std::string told;
        try {
            expanded = pasteOnLine(element, lineRead, expansion, expansionCaret, paste);
        } catch (const BasicUserError& error) {
            told = toUtf8(error.userErrorTitle());
        }
        // The press ends; a busy editor gets to its keys; one that stopped answers again.
        state.letLateCaretLand();
        state.stopsAnsweringAtPaste = 0;
        state.stopsAnsweringAtSelection = 0;
        state.getToKeys();
        paste.letKeysGo();

        const icu::UnicodeString start(line, 0, line.lastIndexOf(u'\n') + 1);
        icu::UnicodeString wanted
            = start + (row.endsExpanded || row.expandsLater ? expansion : line.tempSubString(start.length()));
        int32_t wantedCaret = row.endsExpanded ? start.length() + expansionCaret : wanted.length();
        if (row.expandsLater)
            wantedCaret = wanted.length(); // where the paste left it
        if (!state.typedAfter.isEmpty()) {
            wanted.insert(wantedCaret, state.typedAfter);
            wantedCaret += state.typedAfter.length();
        }
        EXPECT_EQ(lettersOf(state.text), lettersOf(wanted));
        EXPECT_EQ(state.caret, wantedCaret);
        EXPECT_EQ(state.text.indexOf(userClipboard), -1) << "the user's clipboard was pasted";
        EXPECT_EQ(told, row.told ? row.told : "");
        EXPECT_EQ(expanded, row.returnsExpanded);
        EXPECT_FALSE(state.clipboard.offered) << "the clipboard was not given back";
        EXPECT_EQ(lettersOf(state.otherText), lettersOf(otherBefore)) << "the other window was written";
    }
}

TEST(PastedLineEditTest, ATextThatRefusesEditsIsPastedIntoOnlyWithAPaste)
{
    Desktop state;
    state.text = u"for item in items";
    state.caret = 17;
    CaretLineText withoutPaste(std::make_shared<PastedElement>(state));
    EXPECT_THROW(withoutPaste.replace(u"for item in items {\n    \n}", 24), ReadOnlyTextError);
    EXPECT_EQ(toUtf8(state.text), "for item in items");

    CaretLineText line(std::make_shared<PastedElement>(state));
    DesktopPaste paste(state);
    EXPECT_TRUE(line.replace(u"for item in items {\n    \n}", 24, &paste));
    EXPECT_EQ(toUtf8(state.text), "for item in items {\n    \n}");
    EXPECT_EQ(state.caret, 24);
}

} // namespace
} // namespace quillet
