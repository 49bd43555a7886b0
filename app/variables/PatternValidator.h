#pragma once

#include <unicode/unistr.h>

namespace quillet {

class Expander;
class ExpanderLookup;

/// Checks the rules of a pattern that no single variable can: one line, and no name declared
/// twice. Every declaration is made into a variable on the way, so unknown type keywords and
/// rejected parameters are reported too. The controller is not owned.
class PatternValidator {
public:
    PatternValidator(
        icu::UnicodeString pattern, const Expander* parentExpander, const ExpanderLookup& expanderController);

    /// validateSingleLine(), then validateVariableNames().
    void validate() const;
    /// Throws PatternParsingError when the pattern holds a line feed.
    void validateSingleLine() const;
    /// Throws the factory's errors, then PatternValidationError for the first name declared twice.
    void validateVariableNames() const;

private:
    icu::UnicodeString m_pattern;
    const Expander* m_parentExpander;
    const ExpanderLookup* m_expanderController;
};

} // namespace quillet
