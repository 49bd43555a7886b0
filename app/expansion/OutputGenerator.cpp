#include "expansion/OutputGenerator.h"

#include "expansion/ExpressionParser.h"
#include "expansion/OutputVariablePattern.h"
#include "expansion/TextSettings.h"
#include "library/UserErrorDescriptionType.h"
#include "text/Localized.h"
#include "text/PatternParser.h"
#include "text/TemplateSubexpressionPattern.h"

#include <cstddef>
#include <vector>

namespace quillet {
namespace {

/// Thrown inside the one-pass fill when an optional part lacks a value: the part vanishes.
struct MissingOptionalValue {};

icu::UnicodeString quoted(const icu::UnicodeString& name)
{
    icu::UnicodeString text(u"\"");
    return text.append(name).append(u'"');
}

} // namespace

OutputGenerator::OutputGenerator(icu::UnicodeString outputTemplate, const ExpanderController& expanderController,
                                 const PatternParser& patternParser)
    : m_template(std::move(outputTemplate))
    , m_expanderController(expanderController)
    , m_patternParser(patternParser)
{
}

icu::UnicodeString OutputGenerator::generate(const icu::UnicodeString& expression) const
{
    const ExpressionParser expressionParser(expression, m_patternParser);
    icu::UnicodeString withIndentation(m_template);
    withIndentation.findAndReplace(u"\t", TextSettings::indentString());
    return TemplateSubexpressionPattern::replacingMatches(
        withIndentation, [&](const TemplateSubexpressionPatternMatch& match) {
            return evaluateMatch(match, expressionParser);
        });
}

icu::UnicodeString OutputGenerator::evaluateMatch(const TemplateSubexpressionPatternMatch& match,
                                                  const ExpressionParser& expressionParser) const
{
    if (match.optionalExpression)
        return evaluateSubexpression(*match.optionalExpression, expressionParser, false);
    return evaluateSubexpression(match.variablePattern.value_or(icu::UnicodeString()), expressionParser, true);
}

icu::UnicodeString OutputGenerator::evaluateSubexpression(const icu::UnicodeString& subexpression,
                                                          const ExpressionParser& expressionParser,
                                                          bool isRequired) const
{
    // Every placeholder is resolved (its filters looked up) before any value is read.
    std::vector<OutputVariable> placeholders;
    for (const auto& match : OutputVariablePattern::matches(subexpression))
        placeholders.emplace_back(match);
    if (placeholders.empty())
        return subexpression;

    std::size_t next = 0;
    try {
        return OutputVariablePattern::replacingMatches(subexpression, [&](const OutputVariableMatch&) {
            const OutputVariable& placeholder = placeholders.at(next++);
            auto filled = value(placeholder, expressionParser);
            if (filled)
                return *filled;
            if (!isRequired)
                throw MissingOptionalValue{};
            throw ExpandingError(localized(u"Variable " + quoted(placeholder.name()) + u" is required", ""));
        });
    } catch (const MissingOptionalValue&) {
        return {};
    }
}

std::optional<icu::UnicodeString> OutputGenerator::value(const OutputVariable& variable,
                                                         const ExpressionParser& expressionParser) const
{
    const auto input = m_patternParser.variable(variable.name());
    if (!input) {
        throw ExpandingError(localized(
            u"Variable " + quoted(variable.name()) + u" has not been found in the pattern.", "Expanding error"));
    }
    const auto raw = expressionParser.evaluate(*input);
    if (!raw)
        return std::nullopt;
    return variable.applyFilters(*raw);
}

} // namespace quillet
