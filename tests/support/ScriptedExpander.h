#pragma once

#include "expansion/ExpanderController.h"
#include "variables/Expander.h"
#include "variables/ProgrammingLanguage.h"

#include <unicode/unistr.h>

#include <functional>
#include <memory>

namespace quillet::test {

/// An expander whose expression and output are given directly, for tests of the selection and
/// the expansion routine that do not need pattern parsing. Counts the calls it receives.
class ScriptedExpander final : public Expander {
public:
    using Output = std::function<icu::UnicodeString(const icu::UnicodeString& matched)>;
    using Expression = std::function<icu::UnicodeString()>;

    /// An expander whose expression is `expression` and whose output is `output` for any match.
    ScriptedExpander(
        icu::UnicodeString expression, icu::UnicodeString output, icu::UnicodeString identifier = u"scripted");
    ScriptedExpander(Expression expression, Output output, icu::UnicodeString identifier = u"scripted");

    icu::UnicodeString identifier() const override { return m_identifier; }
    icu::UnicodeString name() const override { return m_identifier; }
    icu::UnicodeString expanderDescription() const override { return {}; }
    ProgrammingLanguageList supportedLanguages() const override { return {}; }
    icu::UnicodeString expand(
        const icu::UnicodeString& expression, const ExpanderLookup& expanderController) const override;
    icu::UnicodeString matchPattern(const ExpanderLookup& expanderController) const override;

    int expandCalls() const noexcept { return m_expandCalls; }
    const icu::UnicodeString& lastExpanded() const noexcept { return m_lastExpanded; }

private:
    Expression m_expression;
    Output m_output;
    icu::UnicodeString m_identifier;
    mutable int m_expandCalls = 0;
    mutable icu::UnicodeString m_lastExpanded;
};

/// The expander that the ExpanderRelatedError of a search names; null when the search throws none.
ExpanderPtr expanderNamedBySearchError(
    const ExpanderController& controller, const icu::UnicodeString& text, const ExpanderPtr& given = nullptr);

std::shared_ptr<ScriptedExpander> scripted(
    icu::UnicodeString expression, icu::UnicodeString output, icu::UnicodeString identifier = u"scripted");

} // namespace quillet::test
