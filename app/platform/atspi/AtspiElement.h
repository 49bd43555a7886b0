#pragma once

#include "front/Accessibility.h"
#include "platform/atspi/AtspiMessages.h"
#include "platform/atspi/FocusLookup.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quillet {

class CallBudget;

namespace atspi {

class AtspiConnection;

/// One element of another application, spoken to over the accessibility bus on the
/// accessibility thread, within the budget of the press that looked it up.
///
/// Offsets are converted here: GTK counts code points, Qt, Gecko and the office suite UTF-16
/// units; callers always see UTF-16 units. Gecko's padding after characters outside the BMP
/// is dropped from every text read. A line edit goes out as one round trip: DeleteText,
/// InsertText, SetCaretOffset and the GetText that reads the line back, sent together and each
/// answer checked. The questions the keyboard's paste asks over and over while it waits (the
/// text, the caret, the selection and the focus) go together too.
///
/// Where the focused text keeps each line as an object of its own (a page's editable element,
/// whose text holds one embedded object a line), the caret's line is the object that holds the
/// caret, and the lines that follow are its next siblings: what is read from the line's start
/// runs on through them, one line feed between two, and such a text is written through the
/// keyboard.
class AtspiElement final : public AccessibleElement {
public:
    AtspiElement(std::shared_ptr<AtspiConnection> connection, std::shared_ptr<CallBudget> budget,
        ObjectReference object, Focus focus);

    icu::UnicodeString title() override;
    std::shared_ptr<AccessibleElement> topLevelElement() override;
    CaretLine caretLine() override;
    bool isEditable() override;
    void noteEditsRefused() override;
    LineEditAnswers editLine(const LineEdit& edit) override;
    bool acceptsKeyboardEdits() override;
    bool selectOnLine(const icu::UnicodeString& before, const icu::UnicodeString& selected) override;
    void setCaretOnLine(const icu::UnicodeString& before) override;
    bool caretStandsAfterOnLine(const icu::UnicodeString& before) override;
    icu::UnicodeString readOnLine(const icu::UnicodeString& expected) override;
    LineRead readOnLineWithCaret(const icu::UnicodeString& expected, const icu::UnicodeString& before) override;
    std::optional<icu::UnicodeString> readToCaretOnLine() override;
    bool isSingleLine() override;
    std::optional<uint32_t> processIdentifier() override;

private:
    std::vector<Message> send(std::vector<Message> calls);
    Message send(Message call);
    /// The answer of a call that must answer: throws AXError CannotComplete when it does not.
    Message require(Message call);
    icu::UnicodeString shown(const std::string& read) const;
    void learnInterfaces();
    /// The element's states, read at the lookup or now.
    StateSet states();

    /// The text over the span from `start` to `end` (toolkit offsets), with `also` asked in the
    /// same round trip, their answers left there in their place. A text that answers nothing
    /// past its end is read up to its end, in the same round trip where it ends as at the last
    /// read, or at `likelyEnd`.
    icu::UnicodeString readSpan(
        int32_t start, int32_t end, std::vector<Message>& also, std::optional<int32_t> likelyEnd = std::nullopt);

    Message textCall(const char* method, const std::vector<Argument>& arguments = {}) const;
    int32_t lineOffset(const icu::UnicodeString& before) const;
    int32_t toolkitLength(const icu::UnicodeString& text) const;

    /// Follows the embedded object at `caret` of the text (a line kept as an object of its
    /// own) down to the object that holds the caret; false where there is none to follow.
    bool followCaretInto(int32_t caret);
    /// The caret's line and the `count` lines after it, each without its last line feed (an
    /// empty line's), and which of them holds the caret where one does.
    struct Blocks {
        std::vector<ObjectReference> objects;
        std::vector<icu::UnicodeString> texts;
        std::optional<std::pair<std::size_t, int32_t>> caret; // line and toolkit offset
    };
    Blocks readBlocks(int32_t count);
    /// The lines read from the start of the caret's line, one line feed between two, and the
    /// caret counted from there in UTF-16 units (none when it stands before the line or in none
    /// of them).
    std::pair<icu::UnicodeString, std::optional<int32_t>> blockText(int32_t lineFeeds);
    /// Where the caret's line starts in its line object's text, in UTF-16 units.
    int32_t lineStartIn(const icu::UnicodeString& line) const;

    std::shared_ptr<AtspiConnection> m_connection;
    std::shared_ptr<CallBudget> m_budget;
    ObjectReference m_object;
    Focus m_focus;
    TextOffsetUnit m_unit;
    std::optional<int32_t> m_lineStart; // in toolkit offsets
    std::optional<int32_t> m_caretRead; // by the lookup, for the first read of the line
    std::optional<int32_t> m_caret; // at the last read of the line, in toolkit offsets
    std::optional<int32_t> m_characterCount; // at the last read that asked it
    std::optional<ObjectReference> m_container; // the focused text, when m_object is its line
    int32_t m_block = -1; // m_object's index among m_container's children
    bool m_crLf = false; // the lines around the caret end with CR LF
};

} // namespace atspi
} // namespace quillet
