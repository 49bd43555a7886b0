#include "expansion/ExpressionParser.h"

#include "text/Localized.h"
#include "text/RegexCache.h"
#include "text/UserErrorDescriptionType.h"
#include "variables/Expander.h"
#include "variables/PatternParser.h"
#include "variables/Variable.h"

namespace quillet {

icu::UnicodeString tooLongToMatchDescription(const Expander* expander)
{
    const icu::UnicodeString name = expander ? expander->name() : icu::UnicodeString();
    return localized(u"The pattern of \"" + name + u"\" took too long to match the text.", "Expanding error");
}

ExpressionParser::ExpressionParser(icu::UnicodeString expression, const PatternParser& patternParser)
    : m_expression(std::move(expression))
    , m_patternParser(patternParser)
{
}

std::optional<OptionalCaptureGroups> checkedFirstMatch(
    const icu::UnicodeString& text, const icu::UnicodeString& expression, const Expander* expander)
{
    try {
        return firstMatchGroups(text, expression, RegexCache::caseInsensitive | RegexCache::dotAll);
    } catch (const RegexError&) {
        // A match cut short would give wrong values or none: say so instead.
        throw ExpandingError(tooLongToMatchDescription(expander));
    }
}

const CaptureGroups* ExpressionParser::firstMatch() const
{
    if (!m_firstMatch) {
        const auto groups
            = checkedFirstMatch(m_expression, m_patternParser.anchoredRegexPattern(), m_patternParser.parentExpander());
        m_firstMatch.emplace();
        if (groups) {
            CaptureGroups texts;
            texts.reserve(groups->size());
            for (const auto& group : *groups)
                texts.push_back(group ? std::optional<icu::UnicodeString>(group->text) : std::nullopt);
            *m_firstMatch = std::move(texts);
        }
    }
    return *m_firstMatch ? &**m_firstMatch : nullptr;
}

std::optional<icu::UnicodeString> ExpressionParser::capturedText(const InputVariable& variable) const
{
    const CaptureGroups* groups = firstMatch();
    if (!groups)
        return std::nullopt;
    const auto index = m_patternParser.captureGroupIndex(variable);
    if (!index || *index < 0 || static_cast<std::size_t>(*index) >= groups->size())
        return std::nullopt;

    if (const auto& captured = (*groups)[static_cast<std::size_t>(*index)])
        return captured;
    // The optional part that holds the variable was not typed.
    const auto* withDefault = dynamic_cast<const VariableWithDefaultValue*>(&variable);
    if (!withDefault || !withDefault->defaultValue())
        return std::nullopt;
    return withDefault->defaultValue();
}

std::optional<icu::UnicodeString> ExpressionParser::evaluate(const InputVariable& variable) const
{
    const auto captured = capturedText(variable);
    if (!captured)
        return std::nullopt;
    return variable.value(*captured);
}

std::optional<GeneratedOutput> ExpressionParser::evaluateOutput(const InputVariable& variable) const
{
    const auto captured = capturedText(variable);
    if (!captured)
        return std::nullopt;
    return variable.generatedValue(*captured);
}

} // namespace quillet
