#include "platform/atspi/AtspiElement.h"

#include "platform/atspi/AtspiConnection.h"
#include "platform/atspi/AtspiLog.h"
#include "platform/atspi/CallBudget.h"
#include "text/UnicodeConversion.h"

#include <algorithm>
#include <chrono>
#include <thread>
#include <utility>

namespace quillet::atspi {
namespace {

// Lines longer than this before the caret are not read.
constexpr int32_t maximumLineLength = 1 << 20;
constexpr int32_t firstLineWindow = 256;
// How long a selection may take to show after it was set, and how often it is asked meanwhile.
constexpr std::chrono::milliseconds selectionBound { 200 };
constexpr std::chrono::milliseconds selectionPoll { 2 };
// How many lines, kept as objects of their own, a read follows to find the caret.
constexpr int32_t maximumFollowedLines = 32;

bool isTrue(const Message& reply)
{
    return reply && boolOf(reply.get()).value_or(false);
}

LineEditAnswers::Answer answerOf(const Message& reply, bool unanswered)
{
    using Answer = LineEditAnswers::Answer;
    if (unanswered)
        return Answer::unanswered;
    return boolOf(reply.get()).value_or(false) ? Answer::done : Answer::refused;
}

int32_t lineFeedsIn(const icu::UnicodeString& text)
{
    int32_t count = 0;
    for (int32_t at = text.indexOf(u'\n'); at >= 0; at = text.indexOf(u'\n', at + 1))
        ++count;
    return count;
}

} // namespace

AtspiElement::AtspiElement(std::shared_ptr<AtspiConnection> connection, std::shared_ptr<CallBudget> budget,
    ObjectReference object, Focus focus)
    : m_connection(std::move(connection))
    , m_budget(std::move(budget))
    , m_object(std::move(object))
    , m_focus(std::move(focus))
    , m_unit(m_focus.elementFacts->unit.value_or(m_focus.facts.unit))
{
    if (m_focus.element && *m_focus.element == m_object) {
        m_caretRead = m_focus.caret;
        // Whether a write fits in the press's time depends on how fast this editor answers.
        m_budget->forgetAnswerTimes();
    }
}

std::vector<Message> AtspiElement::send(std::vector<Message> calls)
{
    return m_connection->callTogether(std::move(calls), *m_budget);
}

Message AtspiElement::send(Message call)
{
    return m_connection->call(std::move(call), *m_budget);
}

Message AtspiElement::require(Message call)
{
    Message reply = send(std::move(call));
    if (!reply)
        throw AXError(AXError::CannotComplete);
    return reply;
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
            const icu::UnicodeString line(read, 0, read.length() - (read.endsWith(u"\r") ? 1 : 0));
            if (line.indexOf(u'\n') < 0 && line.indexOf(u'\r') < 0)
                return { line, m_crLf };
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
    // one short read, whatever the size of the document. The first read asks, in the same
    // round trip, whether the caret stands on an embedded object: a line of its own.
    for (int32_t window = firstLineWindow;; window *= 4) {
        const int32_t start = std::max(0, caret - window);
        std::vector<Message> calls;
        calls.push_back(textCall("GetText", { start, caret }));
        // ... and what follows the caret, which tells how the line ends when no line stands
        // before it.
        const bool askAtCaret = window == firstLineWindow && !m_container;
        if (askAtCaret) {
            calls.push_back(textCall("GetText", { caret, caret + 1 }));
            calls.push_back(textCall("GetText", { caret, caret + firstLineWindow }));
        }
        auto replies = send(std::move(calls));
        if (!replies[0])
            throw AXError(AXError::CannotComplete);
        if (askAtCaret && stringOf(replies[1].get()) == std::string("\xEF\xBF\xBC") && followCaretInto(caret))
            return caretLine();
        if (askAtCaret) {
            const icu::UnicodeString after = shown(stringOf(replies[2].get()).value_or(""));
            const int32_t lineEnd = after.indexOf(u'\n');
            m_crLf = lineEnd > 0 && after[lineEnd - 1] == u'\r';
        }
        const auto content = stringOf(replies[0].get());
        if (!content)
            throw AXError(AXError::CannotComplete);
        const icu::UnicodeString read = shown(*content);
        // The application's names can promise the wrong unit: what it returned proves it.
        if (const auto proven = offsetUnitShownBy(read, caret - start))
            m_focus.elementFacts->unit = m_unit = *proven;
        // A carriage return of its own ends a line too: a word processor keeps the one of each
        // line of a CR LF text at the end of its paragraph, where the caret can stand after it.
        // The line is then the one it ends, and is written before it.
        const int32_t lineEnd = read.endsWith(u"\r") ? read.length() - 1 : read.length();
        const int32_t lineFeed = std::max(read.lastIndexOf(u'\n', 0, lineEnd), read.lastIndexOf(u'\r', 0, lineEnd));
        if (lineFeed >= 0 || start == 0 || window >= maximumLineLength) {
            const icu::UnicodeString line(read, lineFeed + 1, lineEnd - lineFeed - 1);
            m_lineStart = caret - toolkitLength(icu::UnicodeString(read, lineFeed + 1));
            if (lineEnd < read.length() || (lineFeed >= 0 && read[lineFeed] == u'\r'))
                m_crLf = true;
            else if (lineFeed > 0)
                m_crLf = read[lineFeed - 1] == u'\r';
            return { line, m_crLf };
        }
    }
}

StateSet AtspiElement::states()
{
    if (!m_focus.elementStates || !(m_focus.element && *m_focus.element == m_object))
        m_focus.elementStates = statesOf(require(methodCall(m_object, accessibleInterface, "GetState")).get());
    return *m_focus.elementStates;
}

bool AtspiElement::followCaretInto(int32_t caret)
{
    const auto link = int32Of(send(methodCall(m_object, hypertextInterface, "GetLinkIndex", { caret })).get());
    if (!link || *link < 0)
        return false;
    const auto hyperlink = referenceOf(send(methodCall(m_object, hypertextInterface, "GetLink", { *link })).get());
    if (!hyperlink)
        return false;
    const auto child = referenceOf(send(methodCall(*hyperlink, hyperlinkInterface, "GetObject", { int32_t(0) })).get());
    if (!child)
        return false;
    std::vector<Message> calls;
    calls.push_back(methodCall(*child, accessibleInterface, "GetRole"));
    calls.push_back(methodCall(*child, accessibleInterface, "GetIndexInParent"));
    calls.push_back(propertyQuery(*child, textInterface, "CaretOffset"));
    const auto replies = send(std::move(calls));
    const auto role = uint32Of(replies[0].get());
    const auto index = int32Of(replies[1].get());
    const auto childCaret = int32Of(replies[2].get());
    // A link within a line is part of that line; only a line of its own holds the caret.
    if (!role || *role == linkRole || !index || *index < 0 || !childCaret || *childCaret < 0)
        return false;
    qCDebug(atspiLog) << "The caret stands in line" << *index << "of the focused text";
    m_container = m_object;
    m_object = *child;
    m_block = *index;
    m_caretRead = *childCaret;
    m_focus.elementStates.reset();
    auto facts = std::make_shared<ElementFacts>();
    facts->unit = m_focus.elementFacts->unit;
    m_focus.elementFacts = std::move(facts);
    return true;
}

AtspiElement::Blocks AtspiElement::readBlocks(int32_t count)
{
    if (!m_container)
        throw AXError(AXError::NoValue);
    std::vector<Message> calls;
    for (int32_t i = 0; i < count; ++i)
        calls.push_back(methodCall(*m_container, accessibleInterface, "GetChildAtIndex", { m_block + i }));
    Blocks blocks;
    for (const auto& reply : send(std::move(calls))) {
        auto object = referenceOf(reply.get());
        if (!object)
            break;
        blocks.objects.push_back(std::move(*object));
    }
    if (blocks.objects.empty())
        throw AXError(AXError::CannotComplete);
    calls.clear();
    for (const auto& object : blocks.objects) {
        calls.push_back(methodCall(object, textInterface, "GetText", { int32_t(0), int32_t(-1) }));
        calls.push_back(propertyQuery(object, textInterface, "CaretOffset"));
    }
    const auto replies = send(std::move(calls));
    for (std::size_t i = 0; i < blocks.objects.size(); ++i) {
        const auto text = stringOf(replies[2 * i].get());
        if (!text)
            throw AXError(AXError::CannotComplete);
        icu::UnicodeString line = shown(*text);
        // An empty line holds the line break that gives it its height.
        if (line.endsWith(u"\n"))
            line.truncate(line.length() - 1);
        blocks.texts.push_back(std::move(line));
        if (const auto caret = int32Of(replies[2 * i + 1].get()); caret && *caret >= 0 && !blocks.caret)
            blocks.caret = std::make_pair(i, *caret);
    }
    return blocks;
}

std::pair<icu::UnicodeString, std::optional<int32_t>> AtspiElement::blockText(int32_t lineFeeds)
{
    const Blocks blocks = readBlocks(lineFeeds + 1);
    const auto units = [this](const icu::UnicodeString& text, int32_t offset) {
        return m_unit == TextOffsetUnit::utf16 ? std::min(offset, text.length()) : text.moveIndex32(0, offset);
    };
    const int32_t lineStart = lineStartIn(blocks.texts.front());
    icu::UnicodeString text;
    std::optional<int32_t> caret;
    for (std::size_t i = 0; i < blocks.texts.size(); ++i) {
        const icu::UnicodeString& line = blocks.texts[i];
        const int32_t from = i == 0 ? lineStart : 0;
        if (i > 0)
            text.append(u'\n');
        if (blocks.caret && blocks.caret->first == i) {
            const int32_t at = units(line, blocks.caret->second);
            if (at >= from)
                caret = text.length() + at - from;
        }
        text.append(line, from, line.length() - from);
    }
    return { text, caret };
}

int32_t AtspiElement::lineStartIn(const icu::UnicodeString& line) const
{
    const int32_t start = m_lineStart.value_or(0);
    return m_unit == TextOffsetUnit::utf16 ? std::min(start, line.length()) : line.moveIndex32(0, start);
}

bool AtspiElement::isEditable()
{
    // A line kept as an object of its own is written through the keyboard: the page may
    // rebuild its lines from what an edit leaves, and only its own paste moves its caret.
    if (m_container)
        return false;
    const StateSet states = this->states();
    if (states.has(State::readOnly) || !states.has(State::editable) || m_focus.elementFacts->refusesEdits)
        return false;
    learnInterfaces();
    return m_focus.elementFacts->hasEditableText.value_or(false);
}

void AtspiElement::noteEditsRefused()
{
    m_focus.elementFacts->refusesEdits = true;
}

LineEditAnswers AtspiElement::editLine(const LineEdit& edit)
{
    learnInterfaces();
    if (!m_focus.elementFacts->hasEditableText.value_or(false))
        throw AXError(AXError::AttributeUnsupported);
    const int32_t start = lineOffset(edit.before);
    const int32_t lineStart = lineOffset({});
    // All of it in one round trip: the editor carries the calls out in order, one right after
    // the other, so that it is never left waiting between the deletion and the insertion.
    std::vector<Message> calls;
    std::optional<std::size_t> deletion;
    std::optional<std::size_t> insertion;
    if (!edit.removed.isEmpty()) {
        deletion = calls.size();
        calls.push_back(
            methodCall(m_object, editableTextInterface, "DeleteText", { start, start + toolkitLength(edit.removed) }));
    }
    if (!edit.inserted.isEmpty()) {
        const std::string utf8 = toUtf8(edit.inserted);
        insertion = calls.size();
        calls.push_back(
            methodCall(m_object, editableTextInterface, "InsertText", { start, utf8, int32_t(utf8.size()) }));
    }
    calls.push_back(textCall("SetCaretOffset", { lineOffset(edit.caretAfter) }));
    const std::size_t read = calls.size();
    calls.push_back(textCall("GetText", { lineStart, lineStart + toolkitLength(edit.shown) }));
    // A write that the press's time cannot see through is not begun: the editor would be left
    // with half of it. Putting back what an edit left half done is always sent.
    if (!edit.restores && !m_budget->canFinish(int(calls.size()))) {
        qCDebug(atspiLog) << "Too little time left for the write:" << m_budget->left().count() / 1000000 << "ms";
        throw EditorTooSlowError();
    }
    std::vector<bool> unanswered;
    const auto replies
        = m_connection->callTogether(std::move(calls), *m_budget, &unanswered, AtspiConnection::Waiting::untilAnswered);
    LineEditAnswers answers;
    if (deletion)
        answers.deletion = answerOf(replies[*deletion], unanswered[*deletion]);
    if (insertion)
        answers.insertion = answerOf(replies[*insertion], unanswered[*insertion]);
    if (!unanswered[read])
        answers.shown = shown(stringOf(replies[read].get()).value_or(""));
    return answers;
}

bool AtspiElement::acceptsKeyboardEdits()
{
    const StateSet states = this->states();
    return states.has(State::editable) && !states.has(State::readOnly);
}

bool AtspiElement::selectOnLine(const icu::UnicodeString& before, const icu::UnicodeString& selected)
{
    const int32_t start = lineOffset(before);
    const int32_t end = start + toolkitLength(selected);
    // Some toolkits take the selection on another thread or process than the one that
    // answers: keys sent before it shows would land beside it. It is asked right behind the
    // call that sets it, and with it whether the text still has the focus.
    const auto questions = [this] {
        std::vector<Message> calls;
        calls.push_back(textCall("GetSelection", { int32_t(0) }));
        calls.push_back(propertyQuery(m_object, textInterface, "CaretOffset"));
        calls.push_back(methodCall(m_container.value_or(m_object), accessibleInterface, "GetState"));
        return calls;
    };
    std::vector<Message> calls;
    calls.push_back(selected.isEmpty() ? textCall("SetCaretOffset", { start })
                                       : textCall("SetSelection", { int32_t(0), start, end }));
    for (auto& question : questions())
        calls.push_back(std::move(question));
    auto replies = send(std::move(calls));
    if (!replies.front())
        throw AXError(AXError::CannotComplete);
    if (!isTrue(replies.front())) {
        if (selected.isEmpty() || !isTrue(require(textCall("AddSelection", { start, end }))))
            throw AXError(AXError::CannotComplete);
        replies.resize(1);
        for (auto& reply : send(questions()))
            replies.push_back(std::move(reply));
    }
    const auto deadline = std::chrono::steady_clock::now() + selectionBound;
    while (true) {
        const auto range = int32sOf(replies[1].get(), 2);
        const auto caret = int32Of(replies[2].get());
        const bool shown = selected.isEmpty()
            ? caret == start && (!range || (*range)[0] == (*range)[1])
            : range && std::min((*range)[0], (*range)[1]) == start && std::max((*range)[0], (*range)[1]) == end;
        if (shown) {
            if (!replies[3])
                throw AXError(AXError::CannotComplete);
            return statesOf(replies[3].get()).has(State::focused);
        }
        if (std::chrono::steady_clock::now() >= deadline)
            throw AXError(AXError::CannotComplete);
        std::this_thread::sleep_for(selectionPoll);
        replies.resize(1);
        for (auto& reply : send(questions()))
            replies.push_back(std::move(reply));
    }
}

void AtspiElement::setCaretOnLine(const icu::UnicodeString& before)
{
    const int32_t lineFeeds = m_container ? lineFeedsIn(before) : 0;
    if (lineFeeds == 0) {
        require(textCall("SetCaretOffset", { lineOffset(before) }));
        return;
    }
    // The line that ends where `before` does, as the page has laid its lines out now (a line
    // of its own may also hold line breaks).
    const Blocks blocks = readBlocks(lineFeeds + 1);
    int32_t left = before.length() - (blocks.texts.front().length() - lineStartIn(blocks.texts.front()));
    if (left <= 0) {
        require(textCall("SetCaretOffset", { lineOffset(before) }));
        return;
    }
    for (std::size_t i = 1; i < blocks.texts.size(); ++i) {
        left -= 1;
        if (left <= blocks.texts[i].length()) {
            const icu::UnicodeString onLine(before, before.length() - left);
            if (!isTrue(
                    require(methodCall(blocks.objects[i], textInterface, "SetCaretOffset", { toolkitLength(onLine) }))))
                throw AXError(AXError::CannotComplete);
            return;
        }
        left -= blocks.texts[i].length();
    }
    throw AXError(AXError::CannotComplete);
}

bool AtspiElement::caretStandsAfterOnLine(const icu::UnicodeString& before)
{
    if (m_container)
        return blockText(lineFeedsIn(before)).second == before.length();
    const auto caret = int32Of(require(propertyQuery(m_object, textInterface, "CaretOffset")).get());
    return caret && *caret == lineOffset(before);
}

icu::UnicodeString AtspiElement::readSpan(
    int32_t start, int32_t end, std::vector<Message>& also, std::optional<int32_t> likelyEnd)
{
    auto& facts = *m_focus.elementFacts;
    std::vector<Message> calls = std::move(also);
    const std::size_t span = calls.size();
    calls.push_back(textCall("GetText", { start, end }));
    // Where a read past the end comes back empty, the text's length comes with every read that
    // may run past it, and a read up to where the text ended at the last one (or, at the first,
    // at the caret, as it does while the user types at its end), and up to where the caller
    // expects it to end: unless the text ends elsewhere now, one of them is the span's text,
    // with no second round trip.
    std::optional<std::size_t> counted;
    std::vector<std::pair<int32_t, std::size_t>> toEnds; // where the text may end, and its read
    if (facts.emptyPastEnd && end > start && (!m_characterCount || *m_characterCount < end)) {
        counted = calls.size();
        calls.push_back(propertyQuery(m_object, textInterface, "CharacterCount"));
        for (const auto& guess : { m_characterCount ? m_characterCount : m_caret, likelyEnd }) {
            if (!guess || *guess <= start || *guess >= end
                || std::any_of(toEnds.begin(), toEnds.end(), [&](const auto& toEnd) { return toEnd.first == *guess; }))
                continue;
            toEnds.emplace_back(*guess, calls.size());
            calls.push_back(textCall("GetText", { start, *guess }));
        }
    }
    auto replies = send(std::move(calls));
    if (!replies[span])
        throw AXError(AXError::CannotComplete);
    auto read = stringOf(replies[span].get());
    std::optional<int32_t> count;
    if (counted)
        count = int32Of(replies[*counted].get());
    if (read && read->empty() && end > start) {
        // Gecko answers nothing for a span that runs past the end of the text, rather than what
        // the text holds of it: read up to the end instead.
        if (!count)
            count = int32Of(require(propertyQuery(m_object, textInterface, "CharacterCount")).get());
        if (count && *count > start && *count < end) {
            facts.emptyPastEnd = true;
            const auto toEnd
                = std::find_if(toEnds.begin(), toEnds.end(), [&](const auto& guess) { return guess.first == *count; });
            if (toEnd != toEnds.end() && replies[toEnd->second])
                read = stringOf(replies[toEnd->second].get());
            else
                read = stringOf(require(textCall("GetText", { start, *count })).get());
        }
    }
    if (count)
        m_characterCount = count;
    if (!read)
        throw AXError(AXError::CannotComplete);
    replies.resize(span);
    also = std::move(replies);
    return shown(*read);
}

icu::UnicodeString AtspiElement::readOnLine(const icu::UnicodeString& expected)
{
    if (m_container) {
        const auto text = blockText(lineFeedsIn(expected)).first;
        return icu::UnicodeString(text, 0, expected.length());
    }
    const int32_t start = lineOffset({});
    std::vector<Message> none;
    return readSpan(start, start + toolkitLength(expected), none);
}

AccessibleElement::LineRead AtspiElement::readOnLineWithCaret(
    const icu::UnicodeString& expected, const icu::UnicodeString& before)
{
    if (m_container) {
        const auto [text, caret] = blockText(std::max(lineFeedsIn(expected), lineFeedsIn(before)));
        return { icu::UnicodeString(text, 0, expected.length()), caret == before.length() };
    }
    const int32_t start = lineOffset({});
    std::vector<Message> caret;
    caret.push_back(propertyQuery(m_object, textInterface, "CaretOffset"));
    // A text that ends at the caret asked about (a paste at its end) may end there.
    const int32_t after = lineOffset(before);
    LineRead read { .shown = readSpan(start, start + toolkitLength(expected), caret, after), .caretAfter = false };
    const auto offset = int32Of(caret.front().get());
    if (!offset)
        throw AXError(AXError::CannotComplete);
    read.caretAfter = *offset == after;
    return read;
}

std::optional<icu::UnicodeString> AtspiElement::readToCaretOnLine()
{
    if (m_container) {
        const auto [text, caret] = blockText(maximumFollowedLines);
        if (!caret)
            return std::nullopt;
        return icu::UnicodeString(text, 0, *caret);
    }
    const int32_t start = lineOffset({});
    const auto caret = int32Of(require(propertyQuery(m_object, textInterface, "CaretOffset")).get());
    if (!caret)
        throw AXError(AXError::CannotComplete);
    if (*caret < start)
        return std::nullopt;
    const auto read = stringOf(require(textCall("GetText", { start, *caret })).get());
    if (!read)
        throw AXError(AXError::CannotComplete);
    return shown(*read);
}

bool AtspiElement::isSingleLine()
{
    return states().has(State::singleLine);
}

std::optional<uint32_t> AtspiElement::processIdentifier()
{
    if (m_focus.facts.process == 0)
        return std::nullopt;
    return m_focus.facts.process;
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

} // namespace quillet::atspi
