#include "shell/Accessibility.h"

#include <array>
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

// MARK: Accessibility

Accessibility::Accessibility(AccessibilityBackend& backend)
    : m_focusedElement(backend.focusedElement())
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

Accessibility* AccessibilityTitleSource::accessibility()
{
    if (!m_lookedUp) {
        m_lookedUp = true;
        m_accessibility.emplace(m_backend);
    }
    return m_accessibility ? &*m_accessibility : nullptr;
}

std::optional<icu::UnicodeString> AccessibilityTitleSource::focusedElementTitle()
{
    auto* access = accessibility();
    if (!access)
        return std::nullopt;
    return access->title(*access->focusedElement());
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
