#pragma once

#include "text/StringHelpers.h"
#include "variables/GeneratedOutput.h"

#include <unicode/unistr.h>

#include <optional>

namespace quillet {

class Expander;
class InputVariable;
class PatternParser;

/// The description of the error of a pattern that ran out of its time limit on a text.
icu::UnicodeString tooLongToMatchDescription(const Expander* expander);
/// The first match of a pattern's expression (case-insensitive; the dot matches every character,
/// as the text is one line) in a text, as firstMatchGroups gives it; a match that runs out of
/// time throws ExpandingError naming the expander.
std::optional<OptionalCaptureGroups> checkedFirstMatch(
    const icu::UnicodeString& text, const icu::UnicodeString& expression, const Expander* expander);

/// Reads the values of a pattern's input variables out of one typed abbreviation.
///
/// Made for one output generation. The pattern parser is not owned and must outlive it.
class ExpressionParser {
public:
    ExpressionParser(icu::UnicodeString expression, const PatternParser& patternParser);

    /// The variable's value for the typed text: the text its capture group took in the first match
    /// of the pattern's expression followed by "$" (case-insensitive), or its default value when
    /// the optional part holding it was not typed, passed through the variable's own mapping.
    /// None when nothing matches, the variable has no group, or it took no part and has no
    /// default. Throws what the variable's mapping throws, and ExpandingError when the match
    /// runs out of its time limit.
    std::optional<icu::UnicodeString> evaluate(const InputVariable& variable) const;
    /// As evaluate(), through the variable's generatedValue(): the value with the places where
    /// it holds template text (only an embedded expander's output has any).
    std::optional<GeneratedOutput> evaluateOutput(const InputVariable& variable) const;

    const icu::UnicodeString& expression() const noexcept { return m_expression; }
    const PatternParser& patternParser() const noexcept { return m_patternParser; }

private:
    const CaptureGroups* firstMatch() const;
    /// The captured text of the variable, or its default value; none as evaluate() says.
    std::optional<icu::UnicodeString> capturedText(const InputVariable& variable) const;

    icu::UnicodeString m_expression;
    const PatternParser& m_patternParser;
    // The match depends only on the expression and the pattern, both fixed, so every variable
    // of one generation reads the same groups: computed on first use, then kept.
    mutable std::optional<std::optional<CaptureGroups>> m_firstMatch;
};

} // namespace quillet
