#include "expansion/ExpressionParser.h"

#include "text/PatternParser.h"
#include "variables/Variable.h"

namespace quillet {

ExpressionParser::ExpressionParser(icu::UnicodeString expression, const PatternParser& patternParser)
    : m_expression(std::move(expression))
    , m_patternParser(patternParser)
{
}

const CaptureGroups* ExpressionParser::firstMatch() const
{
    if (!m_firstMatch) {
        auto matches = captureGroups(m_expression, m_patternParser.anchoredRegexPattern());
        m_firstMatch.emplace();
        if (!matches.empty())
            *m_firstMatch = std::move(matches.front());
    }
    return *m_firstMatch ? &**m_firstMatch : nullptr;
}

std::optional<icu::UnicodeString> ExpressionParser::evaluate(const InputVariable& variable) const
{
    const CaptureGroups* groups = firstMatch();
    if (!groups)
        return std::nullopt;
    const auto index = m_patternParser.captureGroupIndex(variable);
    if (!index || *index < 0 || static_cast<std::size_t>(*index) >= groups->size())
        return std::nullopt;

    std::optional<icu::UnicodeString> captured = (*groups)[static_cast<std::size_t>(*index)];
    if (!captured) {
        // The optional part that holds the variable was not typed.
        const auto* withDefault = dynamic_cast<const VariableWithDefaultValue*>(&variable);
        if (!withDefault || !withDefault->defaultValue())
            return std::nullopt;
        captured = withDefault->defaultValue();
    }
    return variable.value(*captured);
}

} // namespace quillet
