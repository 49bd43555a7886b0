#pragma once

#include "expansion/OutputVariable.h"
#include "variables/GeneratedOutput.h"

#include <unicode/unistr.h>

#include <optional>
#include <vector>

namespace quillet {

class ExpanderLookup;
class ExpressionParser;
class PatternParser;
struct TemplateSubexpressionPatternMatch;

/// Fills an expander's output template for one typed abbreviation.
///
/// Usage: `OutputGenerator(outputTemplate, controller, parser).generate(matchedText)`, with the
/// parser of the same expander's pattern. The controller and the parser are not owned and must
/// outlive the generator. The caret marker, the escapes and re-indentation are the expansion
/// routine's work, done on the result.
class OutputGenerator {
public:
    OutputGenerator(icu::UnicodeString outputTemplate, const ExpanderLookup& expanderController,
        const PatternParser& patternParser);

    /// The output for the typed text that matched the pattern: every tab of the template becomes
    /// the indentation unit, every optional part |…| is filled or dropped when one of its values
    /// is missing, every placeholder outside optional parts is filled.
    ///
    /// Throws ExpandingError for a required value that is missing ("Variable "x" is required") or a
    /// placeholder that names no variable of the pattern ("Variable "x" has not been found in the
    /// pattern."), NoFilterError for an unknown filter, and the errors of a variable's mapping or
    /// a filter unchanged. Nothing partial is returned.
    icu::UnicodeString generate(const icu::UnicodeString& expression) const;
    /// As generate(), with the places of the values, which the expansion inserts as typed.
    GeneratedOutput generateOutput(const icu::UnicodeString& expression) const;

    /// The replacement of one template part: an optional part is filled with isRequired false,
    /// a placeholder with isRequired true.
    icu::UnicodeString evaluateMatch(
        const TemplateSubexpressionPatternMatch& match, const ExpressionParser& expressionParser) const;

    /// The text with its placeholders filled in one pass, each by its position, so a value that
    /// contains placeholder text is never filled again. Without placeholders the text comes back
    /// unchanged. A missing value throws when required and empties the whole text otherwise.
    icu::UnicodeString evaluateSubexpression(
        const icu::UnicodeString& subexpression, const ExpressionParser& expressionParser, bool isRequired) const;

    /// The placeholder's value through its filters; none when the variable has no value.
    /// Throws ExpandingError when the pattern has no variable of that name.
    std::optional<icu::UnicodeString> value(
        const OutputVariable& variable, const ExpressionParser& expressionParser) const;
    /// As value(); an embedded expander's output without filters keeps its template's text.
    std::optional<GeneratedOutput> valueOutput(
        const OutputVariable& variable, const ExpressionParser& expressionParser) const;

    const icu::UnicodeString& outputTemplate() const noexcept { return m_template; }
    const ExpanderLookup& expanderController() const noexcept { return m_expanderController; }
    const PatternParser& patternParser() const noexcept { return m_patternParser; }

private:
    GeneratedOutput evaluateMatchOutput(
        const TemplateSubexpressionPatternMatch& match, const ExpressionParser& expressionParser) const;
    GeneratedOutput evaluateSubexpressionOutput(
        const icu::UnicodeString& subexpression, const ExpressionParser& expressionParser, bool isRequired) const;
    /// The pieces of a subexpression's output appended to `parts`, to be joined once with the
    /// rest of the output; false (and `parts` as it was) for an optional part left out.
    bool appendMatchParts(const TemplateSubexpressionPatternMatch& match, const ExpressionParser& expressionParser,
        std::vector<GeneratedOutput>& parts) const;
    bool appendSubexpressionParts(const icu::UnicodeString& subexpression, const ExpressionParser& expressionParser,
        bool isRequired, std::vector<GeneratedOutput>& parts) const;

    icu::UnicodeString m_template;
    const ExpanderLookup& m_expanderController;
    const PatternParser& m_patternParser;
};

} // namespace quillet
