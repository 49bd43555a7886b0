#pragma once

#include "variables/Variable.h"

#include <unicode/unistr.h>

#include <optional>
#include <vector>

namespace quillet {

class Expander;
class ExpanderLookup;

/// The parsed form of one expander pattern: its elements, its input variables and the
/// regular expression that the expansion matches against the end of the text before the caret.
///
/// Pattern grammar: one line of literal text, typed declarations "${name:type(params)=default}"
/// and optional parts between unescaped "|". "\|" is a literal bar, "\#" a literal "#".
///
/// Construction validates the pattern (one line, no name twice, every declaration makes a
/// variable), lists its elements and assembles regexPattern(); it throws the first error met
/// (PatternParsingError, PatternValidationError, ParsingError, the variables' errors).
///
/// Lifetime: the parser holds its variables; the parent expander and the controller are not
/// owned and must outlive the parser and its variables (build all three for one task).
/// Build a parser per use; it may run on any thread (recursion counts are per thread).
///
/// Matching: append the end anchor with anchoredRegexPattern(), compile case-insensitive
/// (RegexCache::caseInsensitive) and read each variable's text from the group that
/// captureGroupIndex() names; a group that took no part (or does not exist) means "no value".
class PatternParser : public Documentable {
public:
    PatternParser(icu::UnicodeString pattern, const Expander* parentExpander, const ExpanderLookup& expanderController);

    const icu::UnicodeString& pattern() const noexcept { return m_pattern; }
    /// The input variables in pattern order.
    const std::vector<InputVariablePtr>& variables() const noexcept { return m_variables; }
    /// One entry per capture-group unit of regexPattern(), in order; null for an optional part.
    const std::vector<InputVariablePtr>& elements() const noexcept { return m_elements; }
    const ExpanderLookup& expanderController() const noexcept { return *m_expanderController; }
    const Expander* parentExpander() const noexcept { return m_parentExpander; }

    /// The assembled expression, without an end anchor.
    const icu::UnicodeString& regexPattern() const noexcept { return m_regexPattern; }
    void setRegexPattern(icu::UnicodeString regexPattern) { m_regexPattern = std::move(regexPattern); }
    /// wordStartGuard() + "(?:" + regexPattern() + ")$": anchored as a whole, so an unpaired "|"
    /// (an alternation) cannot leave part of the expression unanchored. Use this rather than
    /// appending "$".
    icu::UnicodeString anchoredRegexPattern() const;
    /// What an anchored expression starts with: a match that begins with a word character
    /// starts the text or follows a character that is not one ("deinit" holds no "init").
    /// A look-behind, so a later start that qualifies is still found.
    static const icu::UnicodeString& wordStartGuard();

    /// The number of the group of regexPattern() that holds the variable (by name, compared
    /// canonically; 0 is the whole match). Absent when no element has the name.
    std::optional<int32_t> captureGroupIndex(const InputVariable& variable) const;
    /// The first variable whose name equals name (canonically equivalent, case-sensitive), or null.
    InputVariablePtr variable(const icu::UnicodeString& name) const;
    /// The variables a user fills in: expander variables replaced by their embedded variables.
    std::vector<InputVariablePtr> flattenedVariables() const;
    /// The pattern with every embedded expander's pattern written out in place.
    icu::UnicodeString expandedPattern() const;
    /// The expanded pattern as HTML: variables as span.variable, optional parts as span.optional.
    icu::UnicodeString patternHTML() const;
    icu::UnicodeString documentationHTML() const override { return patternHTML(); }

private:
    /// The segment's literal text as an expression, with a mark where each declaration stands.
    icu::UnicodeString segmentExpression(const icu::UnicodeString& text, bool optional) const;

    icu::UnicodeString m_pattern;
    std::vector<InputVariablePtr> m_variables;
    std::vector<InputVariablePtr> m_elements;
    const ExpanderLookup* m_expanderController;
    icu::UnicodeString m_regexPattern;
    const Expander* m_parentExpander;
};

} // namespace quillet
