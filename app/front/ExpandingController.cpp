#include "front/ExpandingController.h"

#include "front/Accessibility.h"
#include "languages/FileNameDetector.h"
#include "languages/ProgrammingLanguageStore.h"
#include "library/App.h"
#include "library/BundleStore.h"

namespace quillet {
namespace {

/// Tells the delegate that an expansion ended when the scope is left, also by an exception.
class ExpansionScope {
public:
    explicit ExpansionScope(ExpandingController& controller)
        : m_controller(controller)
    {
        if (auto* delegate = m_controller.delegate())
            delegate->expandingControllerDidStartExpanding(m_controller);
    }
    ~ExpansionScope()
    {
        if (auto* delegate = m_controller.delegate())
            delegate->expandingControllerDidEndExpanding(m_controller);
    }
    ExpansionScope(const ExpansionScope&) = delete;
    ExpansionScope& operator=(const ExpansionScope&) = delete;

private:
    ExpandingController& m_controller;
};

} // namespace

ExpandingController::ExpandingController()
    : ExpandingController([]() -> const BundleStore& { return App::shared().bundleStore(); })
{
}

ExpandingController::ExpandingController(BundleStoreProvider bundleStore)
    : m_bundleStore(std::move(bundleStore))
{
}

AccessibilityBackend& ExpandingController::backend()
{
    if (m_backend)
        return *m_backend;
    m_sharedBackend = AccessibilityBackend::shared();
    return *m_sharedBackend;
}

bool ExpandingController::isAccessibilityTrusted(bool prompt)
{
    return backend().isTrusted(prompt);
}

bool ExpandingController::expand()
{
    AccessibilityBackend& accessibility = backend();
    if (!accessibility.isTrusted(true))
        return false;
    ExpansionScope scope(*this);
    return expandAtCaret(accessibility);
}

bool ExpandingController::expandAtCaret(AccessibilityBackend& accessibility)
{
    // One lookup per expansion: every read and write below goes to this element.
    const Accessibility focus(accessibility);
    CaretLineText caretLine(focus.focusedElement());

    // The file's extension, from the title of the focused element or of its window.
    icu::UnicodeString extension;
    {
        AccessibilityTitleSource titles(focus.focusedElement());
        FileNameDetector detector(titles);
        extension = extensionOfFileName(detector.fileName());
    }

    // Only line feeds end lines; a caret at the start of a line has nothing to expand.
    const icu::UnicodeString& line = caretLine.line();
    if (line.isEmpty())
        return false;

    const auto expression = findAndExpand(line, extension);
    if (!expression || expression->text == line)
        return false;
    return caretLine.replace(expression->text, expression->cursorCodeUnitOffset());
}

std::optional<ExpandedExpression> ExpandingController::expand(
    const icu::UnicodeString& text, const std::optional<icu::UnicodeString>& fileExtension)
{
    ExpansionScope scope(*this);
    return findAndExpand(text, fileExtension);
}

std::optional<ExpandedExpression> ExpandingController::findAndExpand(
    const icu::UnicodeString& text, const std::optional<icu::UnicodeString>& fileExtension) const
{
    const auto& [supporting, others] = expanderControllers(fileExtension);
    // An expander of the file's language always wins, however long another one's match is.
    if (auto expression = supporting.findExpander(text))
        return expression;
    return others.findExpander(text);
}

const std::pair<ExpanderController, ExpanderController>& ExpandingController::expanderControllers(
    const std::optional<icu::UnicodeString>& fileExtension) const
{
    const BundleStore& store = m_bundleStore();
    const uint64_t revision = expanderRevision();
    auto& kept = m_keptControllers;
    if (kept.store != &store || kept.revision != revision) {
        kept.byExtension.clear();
        kept.store = &store;
        kept.revision = revision;
    }
    const icu::UnicodeString extension = fileExtension.value_or(icu::UnicodeString());
    const std::u16string key(extension.getBuffer(), static_cast<std::size_t>(extension.length()));
    if (auto found = kept.byExtension.find(key); found != kept.byExtension.end())
        return found->second;

    ProgrammingLanguageList languages;
    if (!extension.isEmpty())
        languages = ProgrammingLanguageStore::shared().languages(extension);
    const auto [supporting, others] = store.enabledExpandersOrderedByLanguageSupport(languages);
    return kept.byExtension
        .emplace(key,
            std::pair { ExpanderController({ supporting.begin(), supporting.end() }),
                ExpanderController({ others.begin(), others.end() }) })
        .first->second;
}

} // namespace quillet
