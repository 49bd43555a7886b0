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

struct TextRect {
    double x = 0, y = 0, width = 0, height = 0;
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

/// Assistive technologies were off and this press turned them on, but no editor answered
/// yet: editors join as they notice, so the user is asked to press again.
class AccessibilityJustEnabledError final : public BasicUserError {
public:
    AccessibilityJustEnabledError();
};

/// What stands on the caret's line before the caret, in UTF-16 units.
struct CaretLine {
    icu::UnicodeString beforeCaret;

    friend bool operator==(const CaretLine& a, const CaretLine& b) { return a.beforeCaret == b.beforeCaret; }
};

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

/// One user-interface element of another application, as the accessibility backend sees
/// it. Positions are UTF-16 code units of the element's text whatever the toolkit counts.
/// Every operation throws AXError when the call fails.
class AccessibleElement {
public:
    virtual ~AccessibleElement() = default;

    /// The element's whole text.
    virtual icu::UnicodeString value() = 0;
    /// The selection; a zero-length range is the caret.
    virtual TextRange selectedRange() = 0;
    virtual void setSelectedRange(TextRange range) = 0;
    virtual icu::UnicodeString selectedText() = 0;
    /// Replaces the selection with the text (the empty text deletes it).
    virtual void setSelectedText(const icu::UnicodeString& text) = 0;
    virtual icu::UnicodeString title() = 0;
    /// The window that holds the element.
    virtual std::shared_ptr<AccessibleElement> topLevelElement() = 0;
    /// Where the range stands on the screen; none when the element cannot tell.
    virtual std::optional<TextRect> bounds(TextRange range) = 0;

    /// Reads the caret and the text before it on its line (not the whole text). The
    /// writes below count from the start of the line read last.
    virtual CaretLine caretLine() = 0;
    /// Whether other programs may change the text: it has editable text and the toolkit
    /// does not call it read-only (or not editable, where it says so).
    virtual bool isEditable() = 0;
    /// Replaces `removed`, which follows `before` on the line, with `inserted`: one
    /// deletion when `removed` is not empty, then one insertion when `inserted` is not.
    virtual void replaceOnLine(
        const icu::UnicodeString& before, const icu::UnicodeString& removed, const icu::UnicodeString& inserted)
        = 0;
    /// Puts the caret after `before`, counted from the start of the line.
    virtual void setCaretOnLine(const icu::UnicodeString& before) = 0;
    /// What the text now holds from the start of the line over the span that `expected`
    /// takes there: after a write, what the editor shows rather than what its calls said.
    virtual icu::UnicodeString readOnLine(const icu::UnicodeString& expected) = 0;
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
    icu::UnicodeString selectedText(AccessibleElement& element) const { return element.selectedText(); }
    icu::UnicodeString value(AccessibleElement& element) const { return element.value(); }
    void setSelectedText(const icu::UnicodeString& text);
    /// The screen rectangle of the range; throws AXError NoValue when none comes back.
    TextRect bounds(TextRange range);
    TextRect selectionBounds();
    TextRange selectedRange();
    void setSelectedRange(TextRange range);
    std::shared_ptr<AccessibleElement> topLevelUIElement();

private:
    AccessibleElement& focused();

    std::shared_ptr<AccessibleElement> m_focusedElement;
};

/// The focused element's whole text and caret, read when made, with the two writes of one
/// expansion. After a write only cursorPosition() follows; text() and cursorRange() stay
/// as they were read.
class GlobalText {
public:
    /// Reads the selection, then the text. Throws AXError.
    explicit GlobalText(AccessibilityBackend& backend);

    const std::optional<icu::UnicodeString>& text() const noexcept { return m_text; }
    std::optional<int32_t> cursorPosition() const noexcept { return m_cursorPosition; }
    std::optional<TextRange> cursorRange() const noexcept { return m_cursorRange; }

    /// Puts the caret at the position.
    void setCursor(int32_t position);
    /// Selects the whole lines around the selection read at creation; a caret at the very
    /// end of the text selects the last line. Throws AXError IllegalArgument when the
    /// location lies outside the text.
    void selectLines();
    /// Replaces `oldText`, which stands immediately before the caret, with `newText`: an
    /// empty new text deletes it, an empty old text inserts at the caret. Nothing happens
    /// when both are empty.
    void replaceTextBeforeCaret(const icu::UnicodeString& oldText, const icu::UnicodeString& newText);

private:
    AccessibilityBackend& m_backend;
    Accessibility m_accessibility;
    std::optional<icu::UnicodeString> m_text;
    std::optional<int32_t> m_cursorPosition;
    std::optional<TextRange> m_cursorRange;
};

/// The line before the caret of one element, read when made, and the one edit that turns
/// it into its expansion.
class CaretLineText {
public:
    /// Reads the line. Throws AXError, or ReadOnlyTextError when the element cannot be changed.
    explicit CaretLineText(std::shared_ptr<AccessibleElement> element);

    /// The text on the caret's line before the caret.
    const icu::UnicodeString& line() const noexcept { return m_line.beforeCaret; }

    /// Turns the line before the caret into `expansion` with the smallest edit and puts the
    /// caret `caret` units into it. Reads the line again first: when it changed (the user
    /// typed on), writes nothing and returns false. Reads it once more after writing: a
    /// toolkit may answer success and change nothing, and when the line does not hold the
    /// expansion's first line this throws ReadOnlyTextError. Throws AXError.
    bool replace(const icu::UnicodeString& expansion, int32_t caret);

private:
    std::shared_ptr<AccessibleElement> m_element;
    CaretLine m_line;
};

/// The focused element's selected text, read when made.
class GlobalSelectedText {
public:
    explicit GlobalSelectedText(AccessibilityBackend& backend);

    const icu::UnicodeString& text() const noexcept { return m_text; }
    void replace(const icu::UnicodeString& text);
    TextRect selectionBounds() { return m_accessibility.selectionBounds(); }

private:
    Accessibility m_accessibility;
    icu::UnicodeString m_text;
};

/// The titles of the focused element and of its window through one focus lookup, made on
/// the first read; a failed lookup is not repeated. Lives for one expansion.
class AccessibilityTitleSource final : public FocusedTitleSource {
public:
    explicit AccessibilityTitleSource(AccessibilityBackend& backend)
        : m_backend(&backend)
    {
    }
    /// Reads the titles around an element already looked up: no lookup of its own.
    explicit AccessibilityTitleSource(std::shared_ptr<AccessibleElement> element);

    /// The element's title only when it names a file (a widget's name does not), so that
    /// the window's title gets its turn otherwise.

    std::optional<icu::UnicodeString> focusedElementTitle() override;
    std::optional<icu::UnicodeString> focusedWindowTitle() override;

private:
    Accessibility* accessibility();

    AccessibilityBackend* m_backend = nullptr;
    std::optional<Accessibility> m_accessibility;
    bool m_lookedUp = false;
};

} // namespace quillet
