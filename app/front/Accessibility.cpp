#include "front/Accessibility.h"

#include "front/KeyboardPaste.h"
#include "front/PastedLineEdit.h"

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
        localized(u"It may be busy or stopped. Your text is as it was: press the shortcut again once it responds.",
            "Expanding Error"))
{
}

EditorTooSlowError::EditorTooSlowError()
    : BasicUserError(localized(u"The editor answered too slowly", "Expanding Error"),
        localized(u"Your text is as it was: the expansion could not have been written in time. Press the shortcut "
                  u"again, or once the editor is less busy.",
            "Expanding Error"))
{
}

ShortcutAnsweredLateError::ShortcutAnsweredLateError()
    : BasicUserError(localized(u"The expansion came too late", "Expanding Error"),
        localized(u"Nothing was written: the keys you typed after the shortcut reached the editor first, so your text "
                  u"is as you typed it. Press the shortcut again.",
            "Expanding Error"))
{
}

EditRefusedError::EditRefusedError()
    : BasicUserError(localized(u"The editor refused the expansion", "Expanding Error"),
        localized(u"Your text is as it was.", "Expanding Error"))
{
}

EditNotPutBackError::EditNotPutBackError()
    : BasicUserError(localized(u"The editor refused the expansion", "Expanding Error"),
        localized(u"It carried out only part of it and then refused to undo that part. Undo in the editor brings "
                  u"your text back.",
            "Expanding Error"))
{
}

EditUnfinishedError::EditUnfinishedError()
    : BasicUserError(localized(u"The editor stopped answering", "Expanding Error"),
        localized(u"It was sent the whole expansion at once and finishes writing it when it answers again.",
            "Expanding Error"))
{
}

ClipboardNotKeptError::ClipboardNotKeptError()
    : BasicUserError(localized(u"The clipboard did not answer", "Expanding Error"),
        localized(u"This text is written through the clipboard, and the program that holds what you copied did not "
                  u"answer in time. Your text and your clipboard are as they were: press the shortcut again once that "
                  u"program responds.",
            "Expanding Error"))
{
}

ClipboardTooLargeError::ClipboardTooLargeError()
    : BasicUserError(localized(u"The clipboard is too large to set aside", "Expanding Error"),
        localized(u"This text is written through the clipboard, which is set aside and given back afterwards, and what "
                  u"you copied is too large for that, or its program hands it over too slowly. Your text and your "
                  u"clipboard are as they were: copy something smaller, or paste the expansion yourself.",
            "Expanding Error"))
{
}

FocusMovedError::FocusMovedError()
    : BasicUserError(localized(u"The focus moved to another window", "Expanding Error"),
        localized(u"Nothing was written, as the expansion would have gone to the window you switched to. Your text is "
                  u"as it was: press the shortcut again in the text to expand.",
            "Expanding Error"))
{
}

PasteAlteredError::PasteAlteredError()
    : BasicUserError(localized(u"The editor changed the expansion", "Expanding Error"),
        localized(u"It does not take the expansion as it is (a field of one line, or one with a limit on its length), "
                  u"so Quillet took it back. Your text is as it was.",
            "Expanding Error"))
{
}

SingleLineTextError::SingleLineTextError()
    : BasicUserError(localized(u"This text holds a single line", "Expanding Error"),
        localized(
            u"The expansion has several lines, so nothing was written. Your text is as it was.", "Expanding Error"))
{
}

AccessibilityBusLostError::AccessibilityBusLostError()
    : BasicUserError(localized(u"The connection to the accessibility bus was lost", "Expanding Error"),
        localized(
            u"The bus restarted or stopped, and your text is as it was. Press the shortcut again.", "Expanding Error"))
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

std::pair<icu::UnicodeString, int32_t> withCrLfLineEnds(const icu::UnicodeString& text, int32_t caret)
{
    icu::UnicodeString result;
    int32_t movedCaret = caret;
    for (int32_t i = 0; i < text.length(); ++i) {
        if (text[i] == u'\n' && (i == 0 || text[i - 1] != u'\r')) {
            result.append(u'\r');
            if (i < caret)
                ++movedCaret;
        }
        result.append(text[i]);
    }
    return { result, movedCaret };
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

std::shared_ptr<AccessibleElement> Accessibility::topLevelUIElement()
{
    auto element = focused().topLevelElement();
    if (!element)
        throw AXError(AXError::NoValue);
    return element;
}

// MARK: CaretLineText

CaretLineText::CaretLineText(std::shared_ptr<AccessibleElement> element)
    : m_element(std::move(element))
{
    if (!m_element)
        throw AXError(AXError::NoValue);
    // The line first: where each line is an object of its own, the one with the caret is the
    // text that is written.
    m_line = m_element->caretLine();
    m_editable = m_element->isEditable();
    if (!m_editable && !m_element->acceptsKeyboardEdits())
        throw ReadOnlyTextError();
}

bool CaretLineText::replace(const icu::UnicodeString& typedExpansion, int32_t typedCaret, KeyboardPaste* paste,
    const std::function<bool()>& keysWentOn, bool keysHeld)
{
    // The expansion's lines end as the text's lines around the caret do.
    auto [expansion, caret]
        = m_line.crLf ? withCrLfLineEnds(typedExpansion, typedCaret) : std::make_pair(typedExpansion, typedCaret);
    const auto wentOn = [&] { return keysWentOn && keysWentOn(); };
    if (!m_editable) {
        if (!paste)
            throw ReadOnlyTextError();
        return this->paste(expansion, caret, *paste, keysWentOn);
    }
    // Keys typed after the shortcut reach the editor while the expansion runs: writing over
    // them would land them inside the expansion or before the line.
    if (!(m_element->caretLine() == m_line)) {
        if (!keysHeld)
            throw ShortcutAnsweredLateError();
        return false;
    }
    // Those that went on before the press ended may not have arrived yet.
    if (wentOn())
        throw ShortcutAnsweredLateError();
    const icu::UnicodeString& line = m_line.beforeCaret;
    const TextEdit edit = minimalEdit(line, expansion);
    // Success is what the text shows: some toolkits answer every edit with success and keep
    // their text as it was. The expansion's first line is read back, as that is all of it that
    // stays on this line where every line is a text of its own.
    const int32_t lineFeed = expansion.indexOf(u'\n');
    const LineEdit write {
        .before = icu::UnicodeString(line, 0, edit.start),
        .removed = icu::UnicodeString(line, edit.start, edit.length),
        .inserted = edit.replacement,
        .caretAfter = icu::UnicodeString(expansion, 0, std::clamp(caret, 0, expansion.length())),
        .shown = icu::UnicodeString(expansion, 0, lineFeed < 0 ? expansion.length() : lineFeed),
    };
    const LineEditAnswers answers = m_element->editLine(write);
    using Answer = LineEditAnswers::Answer;
    // The editor got the whole edit and carries it out in order, once it answers again.
    if (answers.deletion == Answer::unanswered || answers.insertion == Answer::unanswered || !answers.shown)
        throw EditUnfinishedError();
    if (answers.deletion == Answer::done && answers.insertion == Answer::done) {
        if (answers.shown == write.shown)
            return true;
        // Every part answered as done, and nothing shows it: where the text is still as it
        // was, the keyboard writes, at this press and the next ones.
        if (paste && m_element->readOnLine(line) == line) {
            m_element->noteEditsRefused();
            return pasteAfterRefusal(expansion, caret, *paste, keysWentOn);
        }
        throw ReadOnlyTextError();
    }
    const bool deleted = !write.removed.isEmpty() && answers.deletion == Answer::done;
    const bool inserted = !write.inserted.isEmpty() && answers.insertion == Answer::done;
    if (!deleted && !inserted) {
        if (paste) {
            m_element->noteEditsRefused();
            return pasteAfterRefusal(expansion, caret, *paste, keysWentOn);
        }
        throw EditRefusedError();
    }
    // One part done and the other refused: the done one is undone, so that the line is again
    // what it was and the caret where it stood.
    const LineEdit undo {
        .before = write.before,
        .removed = inserted ? write.inserted : icu::UnicodeString(),
        .inserted = deleted ? write.removed : icu::UnicodeString(),
        .caretAfter = line,
        .shown = line,
        .restores = true,
    };
    if (m_element->editLine(undo).shown == line)
        throw EditRefusedError();
    throw EditNotPutBackError();
}

bool CaretLineText::pasteAfterRefusal(
    const icu::UnicodeString& expansion, int32_t caret, KeyboardPaste& paste, const std::function<bool()>& keysWentOn)
{
    // The refused edit still moved the caret: it goes back to where the user left it.
    m_element->setCaretOnLine(m_line.beforeCaret);
    return this->paste(expansion, caret, paste, keysWentOn);
}

bool CaretLineText::paste(
    const icu::UnicodeString& expansion, int32_t caret, KeyboardPaste& paste, const std::function<bool()>& keysWentOn)
{
    const auto wentOn = [&] { return keysWentOn && keysWentOn(); };
    if (wentOn())
        throw ShortcutAnsweredLateError();
    try {
        return pasteOnLine(*m_element, m_line.beforeCaret, expansion, caret, paste);
    } catch (const ReadOnlyTextError&) {
        // Keys that went on while the paste was on its way (its paste key is refused from then
        // on) are why it did not show, not the text.
        if (wentOn())
            throw ShortcutAnsweredLateError();
        throw;
    }
}

// MARK: AccessibilityTitleSource

AccessibilityTitleSource::AccessibilityTitleSource(std::shared_ptr<AccessibleElement> element)
    : m_accessibility(std::move(element))
{
}

std::optional<icu::UnicodeString> AccessibilityTitleSource::focusedElementTitle()
{
    icu::UnicodeString title = m_accessibility.title(*m_accessibility.focusedElement());
    if (!namesAFile(title))
        return std::nullopt;
    return title;
}

std::optional<icu::UnicodeString> AccessibilityTitleSource::focusedWindowTitle()
{
    auto window = m_accessibility.topLevelUIElement();
    return m_accessibility.title(*window);
}

} // namespace quillet
