#include "front/Accessibility.h"

#include "languages/FileNameDetector.h"
#include "text/Localized.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <mutex>

namespace quillet {
namespace {

// Indexed by the raw value minus NotEnoughPrecision.
constexpr std::array<const char*, 15> statusNames {
    "NotEnoughPrecision",
    "ParameterizedAttributeUnsupported",
    "NoValue",
    "APIDisabled",
    "NotificationNotRegistered",
    "NotificationAlreadyRegistered",
    "NotImplemented",
    "NotificationUnsupported",
    "ActionUnsupported",
    "AttributeUnsupported",
    "CannotComplete",
    "InvalidUIElementObserver",
    "InvalidUIElement",
    "IllegalArgument",
    "Failure",
};

/// Stands in until the application installs its backend: scripts and tests that never
/// reach another application's text find nothing rather than crash.
class UnavailableBackend final : public AccessibilityBackend {
public:
    bool isTrusted(bool) override { return false; }
    std::shared_ptr<AccessibleElement> focusedElement() override { throw AXError(AXError::APIDisabled); }
};

std::mutex sharedMutex;

std::shared_ptr<AccessibilityBackend>& sharedSlot()
{
    static std::shared_ptr<AccessibilityBackend> slot = std::make_shared<UnavailableBackend>();
    return slot;
}

} // namespace

std::string AXError::description() const
{
    const int64_t index = int64_t(m_rawValue) - int64_t(NotEnoughPrecision);
    if (index < 0 || index >= int64_t(statusNames.size()))
        return "Success";
    return statusNames[std::size_t(index)];
}

std::string AXError::debugDescription() const
{
    return "[AXError] " + description();
}

const char* AXError::what() const noexcept
{
    try {
        if (m_what.empty())
            m_what = debugDescription();
    } catch (...) {
        return "[AXError]";
    }
    return m_what.c_str();
}

std::shared_ptr<AccessibilityBackend> AccessibilityBackend::shared()
{
    std::lock_guard lock(sharedMutex);
    return sharedSlot();
}

void AccessibilityBackend::setShared(std::shared_ptr<AccessibilityBackend> backend)
{
    std::lock_guard lock(sharedMutex);
    sharedSlot() = backend ? std::move(backend) : std::make_shared<UnavailableBackend>();
}

ReadOnlyTextError::ReadOnlyTextError()
    : BasicUserError(localized(u"This text cannot be changed", "Expanding Error"),
        localized(u"The editor shows its text but does not let other programs change it.", "Expanding Error"))
{
}

EditorNotAnsweringError::EditorNotAnsweringError()
    : BasicUserError(localized(u"The editor did not answer", "Expanding Error"),
        localized(u"It may be busy or stopped. Press the shortcut again once it responds.", "Expanding Error"))
{
}

AccessibilityJustEnabledError::AccessibilityJustEnabledError()
    : BasicUserError(localized(u"Accessibility is now on", "Expanding Error"),
        localized(u"Press the shortcut again. An editor that was already open may need to be restarted before "
                  u"Quillet can read its text.",
            "Expanding Error"))
{
}

TextEdit minimalEdit(const icu::UnicodeString& from, const icu::UnicodeString& to)
{
    const int32_t shorter = std::min(from.length(), to.length());
    int32_t prefix = 0;
    while (prefix < shorter && from[prefix] == to[prefix])
        ++prefix;
    // A pair that differs only in its low half is replaced whole.
    if (prefix > 0 && U16_IS_LEAD(from[prefix - 1]))
        --prefix;
    int32_t suffix = 0;
    while (suffix < shorter - prefix && from[from.length() - 1 - suffix] == to[to.length() - 1 - suffix])
        ++suffix;
    if (suffix > 0 && U16_IS_TRAIL(from[from.length() - suffix]))
        --suffix;
    return { prefix, from.length() - prefix - suffix, icu::UnicodeString(to, prefix, to.length() - prefix - suffix) };
}

TextOffsetUnit offsetUnitOf(std::string_view toolkit, std::string_view application)
{
    const auto lowered = [](std::string_view text) {
        std::string result(text);
        std::transform(result.begin(), result.end(), result.begin(),
            [](unsigned char character) { return char(std::tolower(character)); });
        return result;
    };
    if (lowered(toolkit).starts_with("qt") || padsCharactersOutsideBmp(toolkit) || lowered(application) == "soffice")
        return TextOffsetUnit::utf16;
    return TextOffsetUnit::codePoints;
}

bool padsCharactersOutsideBmp(std::string_view toolkit)
{
    return toolkit.size() == 5 && std::equal(toolkit.begin(), toolkit.end(), "gecko", [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) == b;
    });
}

icu::UnicodeString withoutSurrogatePadding(const icu::UnicodeString& read)
{
    icu::UnicodeString result;
    for (int32_t i = 0; i < read.length(); ++i) {
        result.append(read[i]);
        if (U16_IS_TRAIL(read[i]) && i > 0 && U16_IS_LEAD(read[i - 1]) && i + 1 < read.length()
            && read[i + 1] == u'\uFEFF')
            ++i;
    }
    return result;
}

std::optional<TextOffsetUnit> offsetUnitShownBy(const icu::UnicodeString& read, int32_t span)
{
    const int32_t codePoints = read.countChar32();
    if (codePoints == read.length())
        return std::nullopt;
    if (read.length() == span)
        return TextOffsetUnit::utf16;
    if (codePoints == span)
        return TextOffsetUnit::codePoints;
    return std::nullopt;
}

// MARK: Accessibility

Accessibility::Accessibility(AccessibilityBackend& backend)
    : m_focusedElement(backend.focusedElement())
{
    if (!m_focusedElement)
        throw AXError(AXError::NoValue);
}

Accessibility::Accessibility(std::shared_ptr<AccessibleElement> element)
    : m_focusedElement(std::move(element))
{
    if (!m_focusedElement)
        throw AXError(AXError::NoValue);
}

AccessibleElement& Accessibility::focused()
{
    if (!m_focusedElement)
        throw AXError(AXError::NoValue);
    return *m_focusedElement;
}

void Accessibility::setSelectedText(const icu::UnicodeString& text)
{
    focused().setSelectedText(text);
}

TextRect Accessibility::bounds(TextRange range)
{
    const auto rect = focused().bounds(range);
    if (!rect)
        throw AXError(AXError::NoValue);
    return *rect;
}

TextRect Accessibility::selectionBounds()
{
    return bounds(selectedRange());
}

TextRange Accessibility::selectedRange()
{
    return focused().selectedRange();
}

void Accessibility::setSelectedRange(TextRange range)
{
    focused().setSelectedRange(range);
}

std::shared_ptr<AccessibleElement> Accessibility::topLevelUIElement()
{
    auto element = focused().topLevelElement();
    if (!element)
        throw AXError(AXError::NoValue);
    return element;
}

// MARK: GlobalText

GlobalText::GlobalText(AccessibilityBackend& backend)
    : m_backend(backend)
    , m_accessibility(backend)
{
    m_cursorRange = m_accessibility.selectedRange();
    m_text = m_accessibility.value(*m_accessibility.focusedElement());
    m_cursorPosition = m_cursorRange->location;
}

void GlobalText::setCursor(int32_t position)
{
    m_accessibility.setSelectedRange({ position, 0 });
    m_cursorPosition = position;
}

void GlobalText::selectLines()
{
    if (!m_text || !m_cursorRange)
        throw AXError(AXError::NoValue);
    const icu::UnicodeString& text = *m_text;
    const int32_t location = m_cursorRange->location;
    // The caret may stand after the last character: it is then on the last line.
    if (location < 0 || location > text.length() || m_cursorRange->length < 0
        || m_cursorRange->length > text.length() - location)
        throw AXError(AXError::IllegalArgument);

    const int32_t start = location == 0 ? 0 : text.lastIndexOf(u'\n', 0, location) + 1;
    const int32_t selectionEnd = location + m_cursorRange->length;
    int32_t end = text.indexOf(u'\n', selectionEnd);
    if (end < 0 || end >= text.length())
        end = text.length();
    m_accessibility.setSelectedRange({ start, end - start });
}

void GlobalText::replaceTextBeforeCaret(const icu::UnicodeString& oldText, const icu::UnicodeString& newText)
{
    if (oldText.isEmpty() && newText.isEmpty())
        return;
    if (!m_cursorPosition)
        throw AXError(AXError::NoValue);
    const int32_t length = oldText.length();
    if (*m_cursorPosition < length)
        throw AXError(AXError::IllegalArgument);
    m_accessibility.setSelectedRange({ *m_cursorPosition - length, length });
    GlobalSelectedText selection(m_backend);
    // An empty new text deletes the old one (an expansion to nothing removes the
    // abbreviation); an empty old text inserts the new one at the caret.
    selection.replace(newText);
}

// MARK: CaretLineText

CaretLineText::CaretLineText(std::shared_ptr<AccessibleElement> element)
    : m_element(std::move(element))
{
    if (!m_element)
        throw AXError(AXError::NoValue);
    if (!m_element->isEditable())
        throw ReadOnlyTextError();
    m_line = m_element->caretLine();
}

bool CaretLineText::replace(const icu::UnicodeString& expansion, int32_t caret)
{
    // Keys typed after the shortcut reach the editor while the expansion runs: writing over
    // them would land them inside the expansion or before the line.
    if (!(m_element->caretLine() == m_line))
        return false;
    const icu::UnicodeString& line = m_line.beforeCaret;
    const TextEdit edit = minimalEdit(line, expansion);
    if (edit.length > 0 || !edit.replacement.isEmpty())
        m_element->replaceOnLine(icu::UnicodeString(line, 0, edit.start),
            icu::UnicodeString(line, edit.start, edit.length), edit.replacement);
    m_element->setCaretOnLine(icu::UnicodeString(expansion, 0, std::clamp(caret, 0, expansion.length())));
    // Success is what the text shows: some toolkits answer every edit with success and keep
    // their text as it was. The expansion's first line is checked, as that is all of it that
    // stays on this line where every line is a text of its own.
    const int32_t lineFeed = expansion.indexOf(u'\n');
    const icu::UnicodeString firstLine(expansion, 0, lineFeed < 0 ? expansion.length() : lineFeed);
    if (m_element->readOnLine(firstLine) != firstLine)
        throw ReadOnlyTextError();
    return true;
}

// MARK: GlobalSelectedText

GlobalSelectedText::GlobalSelectedText(AccessibilityBackend& backend)
    : m_accessibility(backend)
    , m_text(m_accessibility.selectedText(*m_accessibility.focusedElement()))
{
}

void GlobalSelectedText::replace(const icu::UnicodeString& text)
{
    m_accessibility.setSelectedText(text);
}

// MARK: AccessibilityTitleSource

AccessibilityTitleSource::AccessibilityTitleSource(std::shared_ptr<AccessibleElement> element)
    : m_accessibility(std::in_place, std::move(element))
    , m_lookedUp(true)
{
}

Accessibility* AccessibilityTitleSource::accessibility()
{
    if (!m_lookedUp && m_backend) {
        m_lookedUp = true;
        m_accessibility.emplace(*m_backend);
    }
    return m_accessibility ? &*m_accessibility : nullptr;
}

std::optional<icu::UnicodeString> AccessibilityTitleSource::focusedElementTitle()
{
    auto* access = accessibility();
    if (!access)
        return std::nullopt;
    icu::UnicodeString title = access->title(*access->focusedElement());
    if (!namesAFile(title))
        return std::nullopt;
    return title;
}

std::optional<icu::UnicodeString> AccessibilityTitleSource::focusedWindowTitle()
{
    auto* access = accessibility();
    if (!access)
        return std::nullopt;
    auto window = access->topLevelUIElement();
    return access->title(*window);
}

} // namespace quillet
