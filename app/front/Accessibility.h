#pragma once

#include "languages/FocusedTitleSource.h"
#include "text/StringHelpers.h" // TextRange: UTF-16 units; a zero length is the caret
#include "text/UserErrorDescriptionType.h"

#include <unicode/unistr.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quillet {

/// The status of a call into the accessibility interface. Every status but success is
/// thrown as this error; its description is the status name ("NoValue", "Failure", …).
class AXError final : public std::exception {
public:
    enum Code : int32_t {
        Success = 0,
        Failure = -25200,
        IllegalArgument = -25201,
        InvalidUIElement = -25202,
        InvalidUIElementObserver = -25203,
        CannotComplete = -25204,
        AttributeUnsupported = -25205,
        ActionUnsupported = -25206,
        NotificationUnsupported = -25207,
        NotImplemented = -25208,
        NotificationAlreadyRegistered = -25209,
        NotificationNotRegistered = -25210,
        APIDisabled = -25211,
        NoValue = -25212,
        ParameterizedAttributeUnsupported = -25213,
        NotEnoughPrecision = -25214,
    };

    static constexpr const char* domain = "Quillet.AXError";

    explicit AXError(int32_t rawValue) noexcept
        : m_rawValue(rawValue)
    {
    }

    int32_t rawValue() const noexcept { return m_rawValue; }
    /// The error code under `domain`: the raw value.
    int32_t code() const noexcept { return m_rawValue; }
    /// The status name; every value outside the known band reads "Success".
    std::string description() const;
    /// "[AXError] " and the status name.
    std::string debugDescription() const;
    const char* what() const noexcept override;

    friend bool operator==(const AXError& a, const AXError& b) noexcept { return a.m_rawValue == b.m_rawValue; }

private:
    int32_t m_rawValue;
    mutable std::string m_what;
};

/// The focused element's text cannot be changed by other programs (no editable text, or a
/// read-only state): shown to the user, unlike the other accessibility errors.
class ReadOnlyTextError final : public BasicUserError {
public:
    ReadOnlyTextError();
};

/// The editor did not answer the accessibility calls in time (it hangs or is stopped):
/// shown to the user, who may press again once it runs.
class EditorNotAnsweringError final : public BasicUserError {
public:
    EditorNotAnsweringError();
};

/// The editor answered, but so slowly that the press's time ran out before the expansion could
/// be written: nothing was written.
class EditorTooSlowError final : public BasicUserError {
public:
    EditorTooSlowError();
};

/// The keys typed after the shortcut went on to the editor before the press could write the
/// expansion (this application answered the shortcut late, or the press outlasted its bound):
/// the line may hold them, so nothing was written.
class ShortcutAnsweredLateError final : public BasicUserError {
public:
    ShortcutAnsweredLateError();
};

/// The editor refused a part of the expansion's edit; what it had done of it was put back, so
/// the text is as it was.
class EditRefusedError final : public BasicUserError {
public:
    EditRefusedError();
};

/// The editor refused a part of the expansion's edit and then refused to put back what it had
/// done of it.
class EditNotPutBackError final : public BasicUserError {
public:
    EditNotPutBackError();
};

/// The editor stopped answering while it carried out the expansion's edit, which it was sent
/// in one piece: it finishes the edit once it answers again.
class EditUnfinishedError final : public BasicUserError {
public:
    EditUnfinishedError();
};

/// A text written through the keyboard goes through the clipboard, and the program that holds
/// the clipboard did not say in time what it holds: it could not have been given back, so
/// nothing was written.
class ClipboardNotKeptError final : public BasicUserError {
public:
    ClipboardNotKeptError();
};

/// A text written through the keyboard goes through the clipboard, and what the clipboard
/// holds is more than is kept to give it back (KeptBound), or did not arrive whole within the
/// press's bound: the clipboard was left to its owner, untouched, and nothing was written.
class ClipboardTooLargeError final : public BasicUserError {
public:
    ClipboardTooLargeError();
};

/// The keyboard's focus moved to another window (or another text) between the read of the
/// line and the paste: nothing was written, as the paste would have gone there.
class FocusMovedError final : public BasicUserError {
public:
    FocusMovedError();
};

/// The text took the expansion's paste but changed it (a field that turns line feeds into
/// spaces, one that keeps only so many characters): the paste was taken back.
class PasteAlteredError final : public BasicUserError {
public:
    PasteAlteredError();
};

/// The text holds a single line and the expansion has several: nothing was written.
class SingleLineTextError final : public BasicUserError {
public:
    SingleLineTextError();
};

/// The connection to the accessibility bus went away (the bus restarted or stopped), and no
/// new one could take its place during the press.
class AccessibilityBusLostError final : public BasicUserError {
public:
    AccessibilityBusLostError();
};

/// Assistive technologies were off and this press turned them on, but no editor answered
/// yet: editors join as they notice, so the user is asked to press again.
class AccessibilityJustEnabledError final : public BasicUserError {
public:
    AccessibilityJustEnabledError();
};

/// What stands on the caret's line before the caret, in UTF-16 units.
struct CaretLine {
    icu::UnicodeString beforeCaret;
    /// The text ends its lines around the caret with CR LF: an expansion's lines are ended so too.
    bool crLf = false;

    friend bool operator==(const CaretLine& a, const CaretLine& b) { return a.beforeCaret == b.beforeCaret; }
};

/// `text` with each line feed that follows no carriage return written as CR LF, and `caret`
/// moved with what it follows.
std::pair<icu::UnicodeString, int32_t> withCrLfLineEnds(const icu::UnicodeString& text, int32_t caret);

/// The smallest replacement that turns one text into another: `length` units at `start`
/// give way to `replacement`. Never splits a surrogate pair.
struct TextEdit {
    int32_t start = 0;
    int32_t length = 0;
    icu::UnicodeString replacement;

    friend bool operator==(const TextEdit& a, const TextEdit& b)
    {
        return a.start == b.start && a.length == b.length && a.replacement == b.replacement;
    }
};

/// Drops the common prefix and suffix of the two texts; the rest of `to` replaces the rest
/// of `from`. Equal texts give an empty edit at the end.
TextEdit minimalEdit(const icu::UnicodeString& from, const icu::UnicodeString& to);

/// How an application counts offsets into its texts.
enum class TextOffsetUnit { codePoints, utf16 };

/// The unit an application's names promise: Qt counts UTF-16 units and GTK code points, but
/// the office suite ("soffice") hands its own UTF-16 offsets through whichever toolkit draws
/// its windows. Gecko counts UTF-16 units too, and pads its texts to match (see
/// withoutSurrogatePadding()).
TextOffsetUnit offsetUnitOf(std::string_view toolkit, std::string_view application);

/// Whether the toolkit's texts put U+FEFF after every character outside the BMP, so that
/// their characters line up with its UTF-16 offsets (Gecko).
bool padsCharactersOutsideBmp(std::string_view toolkit);

/// A padded toolkit's text as its document holds it: the U+FEFF right after each character
/// outside the BMP dropped.
icu::UnicodeString withoutSurrogatePadding(const icu::UnicodeString& read);

/// The unit that a read of `span` offsets proves by the text it returned, when only one
/// fits: a character outside the BMP is two UTF-16 units but one code point. None when the
/// text holds no such character or fits neither count.
std::optional<TextOffsetUnit> offsetUnitShownBy(const icu::UnicodeString& read, int32_t span);

/// How the focus search sees the objects of another application's tree. It asks about a
/// whole level of the tree at once, so that a backend can send those questions together:
/// one round trip a level instead of one a call.
template <typename Node> struct FocusSearch {
    struct States {
        bool focused = false;
        /// Whether the object is shown (VISIBLE): nothing below a hidden one holds the focus.
        bool shown = true;
    };
    /// The states of the objects, in their order.
    std::function<std::vector<States>(const std::vector<Node>&)> states;
    std::function<bool(const Node&)> hasText;
    /// The children of each of the objects, in their order.
    std::function<std::vector<std::vector<Node>>(const std::vector<Node>&)> children;
    /// Stops the search when it returns true (a bound on objects or on time).
    std::function<bool()> exhausted = [] { return false; };
};

/// The deepest FOCUSED object that has Text below `root` (the root included). Toolkits
/// mark the ancestors of the focused object FOCUSED too (focus proxies, document panels),
/// and those may have Text of their own: the deepest one is the one typed in. Once a FOCUSED
/// object with Text is met, only the subtrees of the FOCUSED objects can hold a deeper one,
/// so the rest is skipped (a FOCUSED object without Text proves nothing: Qt 5 leaves such
/// marks beside the text). The children of hidden objects below the root are skipped too.
/// Among FOCUSED objects with Text on one level, the first in the tree's order wins.
template <typename Node> std::optional<Node> deepestFocusedText(const Node& root, const FocusSearch<Node>& search)
{
    std::optional<Node> found;
    std::vector<Node> level { root };
    // The root is searched whatever it says of itself (a window is where the search starts).
    for (bool atRoot = true; !level.empty() && !search.exhausted(); atRoot = false) {
        const auto states = search.states(level);
        std::vector<Node> focused;
        std::vector<Node> searched;
        for (std::size_t i = 0; i < level.size() && i < states.size(); ++i) {
            if (states[i].focused)
                focused.push_back(level[i]);
            if (states[i].focused || states[i].shown || atRoot)
                searched.push_back(level[i]);
        }
        const auto withText = std::find_if(focused.begin(), focused.end(), search.hasText);
        if (withText != focused.end()) {
            found = *withText;
            level = std::move(focused);
        } else {
            level = std::move(searched);
        }
        if (level.empty() || search.exhausted())
            break;
        std::vector<Node> next;
        for (auto& children : search.children(level))
            for (auto& child : children)
                next.push_back(std::move(child));
        level = std::move(next);
    }
    return found;
}

/// One edit of the caret's line, which the editor gets in one go: `removed`, which follows
/// `before` on the line, gives way to `inserted` (a deletion when `removed` is not empty, then an
/// insertion when `inserted` is not), the caret goes after `caretAfter`, and the line is read
/// back from its start over the length of `shown`. Everything counts from the start of the line
/// read last.
struct LineEdit {
    icu::UnicodeString before;
    icu::UnicodeString removed;
    icu::UnicodeString inserted;
    icu::UnicodeString caretAfter;
    icu::UnicodeString shown;
    /// Puts back what an earlier edit of the press left half done: sent however little time
    /// the press has left.
    bool restores = false;
};

/// How the editor answered each part of a LineEdit.
struct LineEditAnswers {
    enum class Answer { done, refused, unanswered };
    /// Done when there was nothing to delete, or to insert.
    Answer deletion = Answer::done;
    Answer insertion = Answer::done;
    /// What the line shows from its start after the edit; none when the read got no answer.
    std::optional<icu::UnicodeString> shown;
};

/// One user-interface element of another application, as the accessibility backend sees
/// it. Positions are UTF-16 code units of the element's text whatever the toolkit counts.
/// Every operation throws AXError when the call fails.
class AccessibleElement {
public:
    virtual ~AccessibleElement() = default;

    virtual icu::UnicodeString title() = 0;
    /// The window that holds the element.
    virtual std::shared_ptr<AccessibleElement> topLevelElement() = 0;

    /// Reads the caret and the text before it on its line (not the whole text): after the last
    /// line feed, or carriage return, before the caret, and before a carriage return that stands
    /// right before the caret. Edits count from the start of the line read last.
    virtual CaretLine caretLine() = 0;
    /// Whether other programs may change the text: it has editable text, the toolkit does not
    /// call it read-only (or not editable, where it says so), and it has not refused their
    /// edits before (noteEditsRefused()).
    virtual bool isEditable() = 0;
    /// The text refused every part of an edit, or answered it as done and kept its text as it
    /// was: from now on it is written through the keyboard at once, without such an edit first.
    virtual void noteEditsRefused() { }
    /// Sends the edit's calls together, so that the editor carries them out one after the
    /// other with no wait between them, and tells how each was answered. Unless the edit
    /// restores, throws EditorTooSlowError before sending anything when the time the press has
    /// left cannot see all of it through.
    virtual LineEditAnswers editLine(const LineEdit& edit) = 0;

    // What writing through the keyboard needs (KeyboardPaste): by default the element offers
    // none of it.

    /// Whether the text takes what is typed into it: shown as editable and not read-only,
    /// whether or not other programs may edit it.
    virtual bool acceptsKeyboardEdits() { return isEditable(); }
    /// Selects `selected`, which follows `before` on the line (an empty one puts the caret
    /// there), and waits until the selection shows. Returns whether the text still has the
    /// keyboard's focus, asked with the read that saw the selection: a window switched to since
    /// the lookup takes it from the text.
    virtual bool selectOnLine(const icu::UnicodeString& before, const icu::UnicodeString& selected)
    {
        (void)before;
        (void)selected;
        throw AXError(AXError::ActionUnsupported);
    }
    /// Puts the caret after `before`, counted from the start of the line.
    virtual void setCaretOnLine(const icu::UnicodeString& before)
    {
        (void)before;
        throw AXError(AXError::ActionUnsupported);
    }
    /// Whether the caret stands right after `before`, counted from the start of the line.
    virtual bool caretStandsAfterOnLine(const icu::UnicodeString& before)
    {
        (void)before;
        return false;
    }
    /// What the text holds from the start of the line over the span that `expected` takes there.
    virtual icu::UnicodeString readOnLine(const icu::UnicodeString& expected)
    {
        (void)expected;
        throw AXError(AXError::ActionUnsupported);
    }
    /// readOnLine() of `expected` and caretStandsAfterOnLine() of `before`, asked together
    /// where the element can (one question instead of two).
    struct LineRead {
        icu::UnicodeString shown;
        bool caretAfter = false;
    };
    virtual LineRead readOnLineWithCaret(const icu::UnicodeString& expected, const icu::UnicodeString& before)
    {
        const bool caretAfter = caretStandsAfterOnLine(before);
        return { readOnLine(expected), caretAfter };
    }
    /// What the text holds from the start of the line up to the caret; none when the caret
    /// stands before the line.
    virtual std::optional<icu::UnicodeString> readToCaretOnLine() { throw AXError(AXError::ActionUnsupported); }
    /// Whether the text holds a single line (a form's field): it gets no text of several lines.
    virtual bool isSingleLine() { return false; }
    /// The process of the application that shows it; none when unknown.
    virtual std::optional<uint32_t> processIdentifier() { return std::nullopt; }
};

/// The road to the focused element of the frontmost application.
class AccessibilityBackend {
public:
    virtual ~AccessibilityBackend() = default;

    /// Whether this process may read and write other applications' text. With prompt, an
    /// untrusted process also asks for access (and tells the user how to give it).
    virtual bool isTrusted(bool prompt) = 0;
    /// Looks the focused element up afresh; throws AXError (NoValue when nothing has focus).
    virtual std::shared_ptr<AccessibleElement> focusedElement() = 0;
    /// The identifier of the frontmost application (its name on the accessibility bus);
    /// none when unknown.
    virtual std::optional<std::string> activeApplicationIdentifier() { return std::nullopt; }
    /// Runs `work`, which calls this backend and its elements, then `then` on the calling
    /// thread. A backend whose calls wait on other applications runs `work` on a thread of its
    /// own and `then` from the caller's event loop, so that a hung application never holds up
    /// the caller; by default both run at once, in order. `work` must not throw.
    virtual void perform(std::function<void()> work, std::function<void()> then)
    {
        work();
        then();
    }

    /// The process-wide backend; until one is installed, one that is never trusted and
    /// finds no element.
    static std::shared_ptr<AccessibilityBackend> shared();
    static void setShared(std::shared_ptr<AccessibilityBackend> backend);
};

/// The focused element of the frontmost application, looked up once when made.
class Accessibility {
public:
    /// Throws what the focus lookup throws.
    explicit Accessibility(AccessibilityBackend& backend);
    /// Over an element already looked up.
    explicit Accessibility(std::shared_ptr<AccessibleElement> element);

    const std::shared_ptr<AccessibleElement>& focusedElement() const noexcept { return m_focusedElement; }
    void setFocusedElement(std::shared_ptr<AccessibleElement> element) { m_focusedElement = std::move(element); }

    icu::UnicodeString title(AccessibleElement& element) const { return element.title(); }
    std::shared_ptr<AccessibleElement> topLevelUIElement();

private:
    AccessibleElement& focused();

    std::shared_ptr<AccessibleElement> m_focusedElement;
};

class KeyboardPaste;

/// The line before the caret of one element, read when made, and the one edit that turns
/// it into its expansion.
class CaretLineText {
public:
    /// Reads the line. Throws AXError, or ReadOnlyTextError when the element cannot be changed.
    explicit CaretLineText(std::shared_ptr<AccessibleElement> element);

    /// The text on the caret's line before the caret.
    const icu::UnicodeString& line() const noexcept { return m_line.beforeCaret; }

    /// Turns the line before the caret into `expansion` with the smallest edit and puts the
    /// caret `caret` units into it. The text ends either as it was or as the expansion.
    ///
    /// Reads the line again first: when it changed (the user typed on), writes nothing and
    /// returns false; without `keysHeld` (nothing kept the keys typed after the shortcut from
    /// the editor, as on a desktop without the grab) it fails with ShortcutAnsweredLateError. Then sends the deletion,
    /// the insertion, the caret move and a read of the line together (AccessibleElement::editLine()); success is what
    /// that read shows, as a toolkit may answer success and change nothing (ReadOnlyTextError). When the editor refused
    /// one part of the edit and did the other, that part is undone (EditRefusedError, or EditNotPutBackError when the
    /// editor refuses that too). When it stopped answering during the edit, which it got whole, it finishes it once it
    /// answers again (EditUnfinishedError). Throws EditorTooSlowError, having written nothing, when the press has too
    /// little time left for the edit, and AXError.
    ///
    /// With `paste`, a text whose application refuses other programs' edits (no editable
    /// text, every part refused, or every part answered as done and nothing changed) is
    /// written through the keyboard instead (pasteOnLine()), with the same outcomes.
    ///
    /// With `keysWentOn`, which tells whether the keys typed after the shortcut went on to the
    /// editor without waiting for the press, nothing is written once they have, as they may be
    /// on their way to the line (ShortcutAnsweredLateError), and a paste that failed after they
    /// went on fails with that error too.
    bool replace(const icu::UnicodeString& expansion, int32_t caret, KeyboardPaste* paste = nullptr,
        const std::function<bool()>& keysWentOn = {}, bool keysHeld = true);

private:
    std::shared_ptr<AccessibleElement> m_element;
    CaretLine m_line;
    bool m_editable = false;

    bool pasteAfterRefusal(const icu::UnicodeString& expansion, int32_t caret, KeyboardPaste& paste,
        const std::function<bool()>& keysWentOn);
    bool paste(const icu::UnicodeString& expansion, int32_t caret, KeyboardPaste& paste,
        const std::function<bool()>& keysWentOn);
};

/// The titles of an element already looked up and of its window. Lives for one expansion.
class AccessibilityTitleSource final : public FocusedTitleSource {
public:
    explicit AccessibilityTitleSource(std::shared_ptr<AccessibleElement> element);

    /// The element's title only when it names a file (a widget's name does not), so that
    /// the window's title gets its turn otherwise.
    std::optional<icu::UnicodeString> focusedElementTitle() override;
    std::optional<icu::UnicodeString> focusedWindowTitle() override;

private:
    Accessibility m_accessibility;
};

} // namespace quillet
