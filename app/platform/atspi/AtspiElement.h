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
/// is dropped from every text read. The insertion of replaceOnLine() is sent together with the
/// caret move that follows it, one round trip for both; any other call sends it first.
class AtspiElement final : public AccessibleElement {
public:
    AtspiElement(std::shared_ptr<AtspiConnection> connection, std::shared_ptr<CallBudget> budget,
        ObjectReference object, Focus focus);

    icu::UnicodeString value() override;
    TextRange selectedRange() override;
    void setSelectedRange(TextRange range) override;
    icu::UnicodeString selectedText() override;
    void setSelectedText(const icu::UnicodeString& text) override;
    icu::UnicodeString title() override;
    std::shared_ptr<AccessibleElement> topLevelElement() override;
    std::optional<TextRect> bounds(TextRange range) override;
    CaretLine caretLine() override;
    bool isEditable() override;
    void replaceOnLine(const icu::UnicodeString& before, const icu::UnicodeString& removed,
        const icu::UnicodeString& inserted) override;
    void setCaretOnLine(const icu::UnicodeString& before) override;
    icu::UnicodeString readOnLine(const icu::UnicodeString& expected) override;

private:
    /// The calls, after the insertion waiting to be sent, in one round trip; the answers to
    /// the calls given.
    std::vector<Message> send(std::vector<Message> calls);
    Message send(Message call);
    /// The answer of a call that must answer: throws AXError CannotComplete when it does not.
    Message require(Message call);
    void requireTrue(const Message& reply);
    icu::UnicodeString shown(const std::string& read) const;
    void learnInterfaces();

    Message textCall(const char* method, const std::vector<Argument>& arguments = {}) const;
    int32_t lineOffset(const icu::UnicodeString& before) const;
    int32_t toolkitLength(const icu::UnicodeString& text) const;
    const icu::UnicodeString& currentText();
    /// A toolkit offset as UTF-16 units, and back.
    int32_t toUnits(int32_t offset);
    int32_t toOffset(int32_t units);

    std::shared_ptr<AtspiConnection> m_connection;
    std::shared_ptr<CallBudget> m_budget;
    ObjectReference m_object;
    Focus m_focus;
    TextOffsetUnit m_unit;
    Message m_pendingInsertion;
    std::optional<icu::UnicodeString> m_text;
    std::optional<TextRange> m_selection;
    std::optional<int32_t> m_lineStart; // in toolkit offsets
    std::optional<int32_t> m_caretRead; // by the lookup, for the first read of the line
    std::optional<int32_t> m_caret; // at the last read of the line, in toolkit offsets
};

} // namespace atspi
} // namespace quillet
