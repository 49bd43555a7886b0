#include "expansion/OutputGenerator.h"

#include "expansion/ExpressionParser.h"
#include "expansion/OutputVariablePattern.h"
#include "expansion/TemplateSubexpressionPattern.h"
#include "expansion/TextSettings.h"
#include "text/Localized.h"
#include "text/UserErrorDescriptionType.h"
#include "variables/PatternParser.h"

#include <cstddef>
#include <utility>
#include <vector>

namespace quillet {
namespace {

icu::UnicodeString quoted(const icu::UnicodeString& name)
{
    icu::UnicodeString text(u"\"");
    return text.append(name).append(u'"');
}

} // namespace

OutputGenerator::OutputGenerator(
    icu::UnicodeString outputTemplate, const ExpanderLookup& expanderController, const PatternParser& patternParser)
    : m_template(std::move(outputTemplate))
    , m_expanderController(expanderController)
    , m_patternParser(patternParser)
{
}

icu::UnicodeString OutputGenerator::generate(const icu::UnicodeString& expression) const
{
    return generateOutput(expression).text;
}

GeneratedOutput OutputGenerator::generateOutput(const icu::UnicodeString& expression) const
{
    const ExpressionParser expressionParser(expression, m_patternParser);
    icu::UnicodeString withIndentation(m_template);
    withIndentation.findAndReplace(u"\t", TextSettings::indentString());
    std::vector<GeneratedOutput> parts;
    int32_t position = 0;
    for (const auto& groups : TemplateSubexpressionPattern::matchGroups(withIndentation)) {
        const TextRange range = groups.front()->range;
        parts.push_back({ icu::UnicodeString(withIndentation, position, range.location - position), {} });
        appendMatchParts(TemplateSubexpressionPatternMatch(groups), expressionParser, parts);
        position = range.end();
    }
    parts.push_back({ icu::UnicodeString(withIndentation, position), {} });
    return GeneratedOutput::joined(parts);
}

icu::UnicodeString OutputGenerator::evaluateMatch(
    const TemplateSubexpressionPatternMatch& match, const ExpressionParser& expressionParser) const
{
    return evaluateMatchOutput(match, expressionParser).text;
}

GeneratedOutput OutputGenerator::evaluateMatchOutput(
    const TemplateSubexpressionPatternMatch& match, const ExpressionParser& expressionParser) const
{
    std::vector<GeneratedOutput> parts;
    appendMatchParts(match, expressionParser, parts);
    return GeneratedOutput::joined(parts);
}

bool OutputGenerator::appendMatchParts(const TemplateSubexpressionPatternMatch& match,
    const ExpressionParser& expressionParser, std::vector<GeneratedOutput>& parts) const
{
    if (match.optionalExpression)
        return appendSubexpressionParts(*match.optionalExpression, expressionParser, false, parts);
    return appendSubexpressionParts(
        match.variablePattern.value_or(icu::UnicodeString()), expressionParser, true, parts);
}

icu::UnicodeString OutputGenerator::evaluateSubexpression(
    const icu::UnicodeString& subexpression, const ExpressionParser& expressionParser, bool isRequired) const
{
    return evaluateSubexpressionOutput(subexpression, expressionParser, isRequired).text;
}

GeneratedOutput OutputGenerator::evaluateSubexpressionOutput(
    const icu::UnicodeString& subexpression, const ExpressionParser& expressionParser, bool isRequired) const
{
    std::vector<GeneratedOutput> parts;
    appendSubexpressionParts(subexpression, expressionParser, isRequired, parts);
    return GeneratedOutput::joined(parts);
}

bool OutputGenerator::appendSubexpressionParts(const icu::UnicodeString& subexpression,
    const ExpressionParser& expressionParser, bool isRequired, std::vector<GeneratedOutput>& parts) const
{
    // Every placeholder is resolved (its filters looked up) before any value is read.
    const auto found = OutputVariablePattern::matchGroups(subexpression);
    std::vector<OutputVariable> placeholders;
    placeholders.reserve(found.size());
    for (const auto& groups : found)
        placeholders.emplace_back(OutputVariableMatch(groups));

    // Filled in one pass, each placeholder by its position: a value is never read as template.
    const std::size_t partsBefore = parts.size();
    int32_t position = 0;
    for (std::size_t i = 0; i < found.size(); ++i) {
        const TextRange range = found[i].front()->range;
        parts.push_back({ icu::UnicodeString(subexpression, position, range.location - position), {} });
        auto filled = valueOutput(placeholders[i], expressionParser);
        if (!filled) {
            if (!isRequired) {
                parts.resize(partsBefore);
                return false;
            }
            throw ExpandingError(localized(u"Variable " + quoted(placeholders[i].name()) + u" is required", ""));
        }
        parts.push_back(std::move(*filled));
        position = range.end();
    }
    parts.push_back({ icu::UnicodeString(subexpression, position), {} });
    return true;
}

std::optional<icu::UnicodeString> OutputGenerator::value(
    const OutputVariable& variable, const ExpressionParser& expressionParser) const
{
    auto output = valueOutput(variable, expressionParser);
    if (!output)
        return std::nullopt;
    return std::move(output->text);
}

std::optional<GeneratedOutput> OutputGenerator::valueOutput(
    const OutputVariable& variable, const ExpressionParser& expressionParser) const
{
    const auto input = m_patternParser.variable(variable.name());
    if (!input) {
        throw ExpandingError(localized(
            u"Variable " + quoted(variable.name()) + u" has not been found in the pattern.", "Expanding error"));
    }
    auto raw = expressionParser.evaluateOutput(*input);
    if (!raw)
        return std::nullopt;
    if (variable.filters().empty())
        return raw;
    GeneratedOutput filtered;
    filtered.appendValue(variable.applyFilters(raw->text));
    return filtered;
}

} // namespace quillet
