#include "platform/atspi/AtspiElement.h"

#include "platform/atspi/AtspiConnection.h"
#include "platform/atspi/AtspiLog.h"
#include "platform/atspi/CallBudget.h"
#include "text/UnicodeConversion.h"

#include <algorithm>
#include <utility>

namespace quillet::atspi {
namespace {

// Lines longer than this before the caret are not read.
constexpr int32_t maximumLineLength = 1 << 20;
constexpr int32_t firstLineWindow = 256;
constexpr uint32_t screenCoordinates = 0;

} // namespace

AtspiElement::AtspiElement(std::shared_ptr<AtspiConnection> connection, std::shared_ptr<CallBudget> budget,
    ObjectReference object, Focus focus)
    : m_connection(std::move(connection))
    , m_budget(std::move(budget))
    , m_object(std::move(object))
    , m_focus(std::move(focus))
    , m_unit(m_focus.elementFacts->unit.value_or(m_focus.facts.unit))
{
    if (m_focus.element && *m_focus.element == m_object)
        m_caretRead = m_focus.caret;
}

std::vector<Message> AtspiElement::send(std::vector<Message> calls)
{
    const bool insertion = bool(m_pendingInsertion);
    if (insertion)
        calls.insert(calls.begin(), std::move(m_pendingInsertion));
    auto replies = m_connection->callTogether(std::move(calls), *m_budget);
    if (insertion) {
        requireTrue(replies.front());
        replies.erase(replies.begin());
    }
    return replies;
}

Message AtspiElement::send(Message call)
{
    std::vector<Message> calls;
    calls.push_back(std::move(call));
    return std::move(send(std::move(calls)).front());
}

Message AtspiElement::require(Message call)
{
    Message reply = send(std::move(call));
    if (!reply)
        throw AXError(AXError::CannotComplete);
    return reply;
}

void AtspiElement::requireTrue(const Message& reply)
{
    if (!boolOf(reply.get()).value_or(false))
        throw AXError(AXError::CannotComplete);
}

icu::UnicodeString AtspiElement::shown(const std::string& read) const
{
    const icu::UnicodeString text = fromUtf8(read);
    return m_focus.facts.padded ? withoutSurrogatePadding(text) : text;
}

Message AtspiElement::textCall(const char* method, const std::vector<Argument>& arguments) const
{
    return methodCall(m_object, textInterface, method, arguments);
}

void AtspiElement::learnInterfaces()
{
    auto& facts = *m_focus.elementFacts;
    if (facts.hasText && facts.hasEditableText)
        return;
    const auto interfaces = stringsOf(require(methodCall(m_object, accessibleInterface, "GetInterfaces")).get());
    const auto holds = [&interfaces](const char* name) {
        return std::find(interfaces.begin(), interfaces.end(), name) != interfaces.end();
    };
    facts.hasText = holds(textInterface);
    facts.hasEditableText = holds(editableTextInterface);
}

icu::UnicodeString AtspiElement::value()
{
    const auto read = stringOf(require(textCall("GetText", { int32_t(0), int32_t(-1) })).get());
    if (!read)
        throw AXError(AXError::NoValue);
    m_text = shown(*read);
    return *m_text;
}

TextRange AtspiElement::selectedRange()
{
    std::vector<Message> calls;
    calls.push_back(textCall("GetNSelections"));
    calls.push_back(propertyQuery(m_object, textInterface, "CaretOffset"));
    const auto replies = send(std::move(calls));
    const auto caret = int32Of(replies[1].get());
    if (!caret)
        throw AXError(AXError::CannotComplete);
    if (int32Of(replies[0].get()).value_or(0) > 0) {
        const auto range = int32sOf(require(textCall("GetSelection", { int32_t(0) })).get(), 2);
        if (!range)
            throw AXError(AXError::NoValue);
        if ((*range)[1] > (*range)[0]) {
            const int32_t location = toUnits((*range)[0]);
            return { location, toUnits((*range)[1]) - location };
        }
    }
    return { toUnits(*caret), 0 };
}

void AtspiElement::setSelectedRange(TextRange range)
{
    // The text may have changed through another element object since it was read here.
    struct Forget {
        std::optional<icu::UnicodeString>& text;
        ~Forget() { text.reset(); }
    } forget { m_text };
    const int32_t start = toOffset(range.location);
    if (range.length == 0) {
        require(textCall("SetCaretOffset", { start }));
        return;
    }
    const int32_t end = toOffset(range.location + range.length);
    // Toolkits take the first selection's range also when there is none yet; where one
    // refuses, a new selection is added.
    if (boolOf(require(textCall("SetSelection", { int32_t(0), start, end })).get()).value_or(false))
        return;
    requireTrue(require(textCall("AddSelection", { start, end })));
}

icu::UnicodeString AtspiElement::selectedText()
{
    const TextRange range = selectedRange();
    m_selection = range;
    if (range.length == 0)
        return {};
    const auto read = stringOf(
        require(textCall("GetText", { toOffset(range.location), toOffset(range.location + range.length) })).get());
    return shown(read.value_or(""));
}

void AtspiElement::setSelectedText(const icu::UnicodeString& replacement)
{
    learnInterfaces();
    if (!m_focus.elementFacts->hasEditableText.value_or(false))
        throw AXError(AXError::AttributeUnsupported);
    const TextRange range = m_selection ? *m_selection : selectedRange();
    const int32_t start = toOffset(range.location);
    const int32_t end = toOffset(range.location + range.length);
    if (end > start)
        requireTrue(require(methodCall(m_object, editableTextInterface, "DeleteText", { start, end })));
    if (m_text)
        m_text->replace(range.location, range.length, replacement);
    if (!replacement.isEmpty()) {
        const std::string utf8 = toUtf8(replacement);
        requireTrue(
            require(methodCall(m_object, editableTextInterface, "InsertText", { start, utf8, int32_t(utf8.size()) })));
    }
    m_selection.reset();
}

icu::UnicodeString AtspiElement::title()
{
    auto& facts = *m_focus.elementFacts;
    if (!facts.name) {
        const auto name = stringOf(send(propertyQuery(m_object, accessibleInterface, "Name")).get());
        if (!name)
            throw AXError(AXError::CannotComplete);
        facts.name = *name;
    }
    // An element without a name gives its window's title its turn.
    if (facts.name->empty())
        throw AXError(AXError::NoValue);
    return fromUtf8(*facts.name);
}

std::shared_ptr<AccessibleElement> AtspiElement::topLevelElement()
{
    // A window's title changes with its file: it is read at every press.
    Focus window = m_focus;
    window.element.reset();
    window.elementFacts = std::make_shared<ElementFacts>();
    window.elementFacts->name = m_focus.frameName;
    return std::make_shared<AtspiElement>(m_connection, m_budget, m_focus.frame, std::move(window));
}

std::optional<TextRect> AtspiElement::bounds(TextRange range)
{
    const auto rect
        = int32sOf(send(textCall("GetRangeExtents",
                            { toOffset(range.location), toOffset(range.location + range.length), screenCoordinates }))
                       .get(),
            4);
    if (!rect)
        return std::nullopt;
    return TextRect { double((*rect)[0]), double((*rect)[1]), double((*rect)[2]), double((*rect)[3]) };
}

CaretLine AtspiElement::caretLine()
{
    int32_t caret = 0;
    if (m_caretRead) {
        caret = *std::exchange(m_caretRead, std::nullopt);
    } else if (m_lineStart && m_caret) {
        // Read again before a write: the caret and the line up to where it stood, in one
        // round trip. Unchanged, that is the line; else the line is read afresh.
        std::vector<Message> calls;
        calls.push_back(propertyQuery(m_object, textInterface, "CaretOffset"));
        calls.push_back(textCall("GetText", { *m_lineStart, *m_caret }));
        const auto replies = send(std::move(calls));
        const auto now = int32Of(replies[0].get());
        const auto line = stringOf(replies[1].get());
        if (!now || !line)
            throw AXError(AXError::CannotComplete);
        if (*now == *m_caret) {
            icu::UnicodeString read = shown(*line);
            if (read.indexOf(u'\n') < 0)
                return { read };
        }
        caret = *now;
    } else {
        const auto read = int32Of(send(propertyQuery(m_object, textInterface, "CaretOffset")).get());
        if (!read)
            throw AXError(AXError::CannotComplete);
        caret = *read;
    }
    if (caret < 0)
        throw AXError(AXError::NoValue);
    m_caret = caret;
    // Read back from the caret until a line feed or the start of the text shows up: usually
    // one short read, whatever the size of the document.
    for (int32_t window = firstLineWindow;; window *= 4) {
        const int32_t start = std::max(0, caret - window);
        const auto content = stringOf(require(textCall("GetText", { start, caret })).get());
        if (!content)
            throw AXError(AXError::CannotComplete);
        const icu::UnicodeString read = shown(*content);
        // The application's names can promise the wrong unit: what it returned proves it.
        if (const auto proven = offsetUnitShownBy(read, caret - start))
            m_focus.elementFacts->unit = m_unit = *proven;
        const int32_t lineFeed = read.lastIndexOf(u'\n');
        if (lineFeed >= 0 || start == 0 || window >= maximumLineLength) {
            const icu::UnicodeString line(read, lineFeed + 1);
            m_lineStart = caret - toolkitLength(line);
            return { line };
        }
    }
}

bool AtspiElement::isEditable()
{
    if (!m_focus.elementStates || !(m_focus.element && *m_focus.element == m_object))
        m_focus.elementStates = statesOf(require(methodCall(m_object, accessibleInterface, "GetState")).get());
    const StateSet states = *m_focus.elementStates;
    if (states.has(State::readOnly) || !states.has(State::editable))
        return false;
    learnInterfaces();
    return m_focus.elementFacts->hasEditableText.value_or(false);
}

void AtspiElement::replaceOnLine(
    const icu::UnicodeString& before, const icu::UnicodeString& removed, const icu::UnicodeString& inserted)
{
    learnInterfaces();
    if (!m_focus.elementFacts->hasEditableText.value_or(false))
        throw AXError(AXError::AttributeUnsupported);
    const int32_t start = lineOffset(before);
    m_text.reset();
    if (!removed.isEmpty())
        requireTrue(require(
            methodCall(m_object, editableTextInterface, "DeleteText", { start, start + toolkitLength(removed) })));
    if (inserted.isEmpty())
        return;
    const std::string utf8 = toUtf8(inserted);
    // Sent with the next call: the caret move that follows.
    if (m_pendingInsertion)
        send(std::vector<Message> {});
    m_pendingInsertion
        = methodCall(m_object, editableTextInterface, "InsertText", { start, utf8, int32_t(utf8.size()) });
}

void AtspiElement::setCaretOnLine(const icu::UnicodeString& before)
{
    send(textCall("SetCaretOffset", { lineOffset(before) }));
}

icu::UnicodeString AtspiElement::readOnLine(const icu::UnicodeString& expected)
{
    const int32_t start = lineOffset({});
    const auto read = stringOf(require(textCall("GetText", { start, start + toolkitLength(expected) })).get());
    if (!read)
        throw AXError(AXError::CannotComplete);
    return shown(*read);
}

int32_t AtspiElement::lineOffset(const icu::UnicodeString& before) const
{
    if (!m_lineStart)
        throw AXError(AXError::NoValue);
    return *m_lineStart + toolkitLength(before);
}

int32_t AtspiElement::toolkitLength(const icu::UnicodeString& text) const
{
    return m_unit == TextOffsetUnit::utf16 ? text.length() : text.countChar32();
}

const icu::UnicodeString& AtspiElement::currentText()
{
    if (!m_text)
        value();
    return *m_text;
}

int32_t AtspiElement::toUnits(int32_t offset)
{
    if (m_unit == TextOffsetUnit::utf16 || offset <= 0)
        return offset;
    return currentText().moveIndex32(0, offset);
}

int32_t AtspiElement::toOffset(int32_t units)
{
    if (m_unit == TextOffsetUnit::utf16 || units <= 0)
        return units;
    const icu::UnicodeString& text = currentText();
    return text.countChar32(0, std::min(units, text.length()));
}

} // namespace quillet::atspi
