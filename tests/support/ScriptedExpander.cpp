#include "support/ScriptedExpander.h"

#include "text/UserErrorDescriptionType.h"

namespace quillet::test {

ScriptedExpander::ScriptedExpander(
    icu::UnicodeString expression, icu::UnicodeString output, icu::UnicodeString identifier)
    : ScriptedExpander([expression] { return expression; }, [output](const icu::UnicodeString&) { return output; },
        std::move(identifier))
{
}

ScriptedExpander::ScriptedExpander(Expression expression, Output output, icu::UnicodeString identifier)
    : m_expression(std::move(expression))
    , m_output(std::move(output))
    , m_identifier(std::move(identifier))
{
}

icu::UnicodeString ScriptedExpander::expand(const icu::UnicodeString& expression, const ExpanderLookup&) const
{
    ++m_expandCalls;
    m_lastExpanded = expression;
    return m_output(expression);
}

icu::UnicodeString ScriptedExpander::matchPattern(const ExpanderLookup&) const
{
    return m_expression();
}

std::shared_ptr<ScriptedExpander> scripted(
    icu::UnicodeString expression, icu::UnicodeString output, icu::UnicodeString identifier)
{
    return std::make_shared<ScriptedExpander>(std::move(expression), std::move(output), std::move(identifier));
}

ExpanderPtr expanderNamedBySearchError(
    const ExpanderController& controller, const icu::UnicodeString& text, const ExpanderPtr& given)
{
    try {
        controller.findExpander(text, given);
    } catch (const ExpanderRelatedError& error) {
        return error.expander();
    }
    return nullptr;
}

} // namespace quillet::test
