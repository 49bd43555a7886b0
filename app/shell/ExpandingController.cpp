#include "shell/ExpandingController.h"

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

std::optional<ExpandedExpression> ExpandingController::expand(const icu::UnicodeString& text,
                                                              const std::optional<icu::UnicodeString>& fileExtension)
{
    ExpansionScope scope(*this);
    return findAndExpand(text, fileExtension);
}

std::optional<ExpandedExpression> ExpandingController::findAndExpand(
    const icu::UnicodeString& text, const std::optional<icu::UnicodeString>& fileExtension) const
{
    const auto [supporting, others] = expanderControllers(fileExtension);
    // An expander of the file's language always wins, however long another one's match is.
    if (auto expression = supporting.findExpander(text))
        return expression;
    return others.findExpander(text);
}

std::pair<ExpanderController, ExpanderController> ExpandingController::expanderControllers(
    const std::optional<icu::UnicodeString>& fileExtension) const
{
    ProgrammingLanguageList languages;
    if (fileExtension && !fileExtension->isEmpty())
        languages = ProgrammingLanguageStore::shared().languages(*fileExtension);

    const auto [supporting, others] = m_bundleStore().enabledExpandersOrderedByLanguageSupport(languages);
    return {ExpanderController({supporting.begin(), supporting.end()}),
            ExpanderController({others.begin(), others.end()})};
}

} // namespace quillet
