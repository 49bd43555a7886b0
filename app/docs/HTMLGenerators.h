#pragma once

// The fragments of an expander's documentation page: its pattern (syntax), the table of the
// variables a user fills in, and its languages. Each generator is stateless; build one per
// use, on any thread. Every text from the library is escaped ("<" and ">").

#include "text/Tag.h"
#include "variables/ProgrammingLanguage.h"

#include <unicode/unistr.h>

namespace quillet {

class CustomExpander;
class ExpanderController;
class InputVariable;

/// The pattern with variables as span.variable and optional parts as span.optional.
class SyntaxHTMLGenerator {
public:
    /// Throws the pattern's parsing and validation errors.
    icu::UnicodeString generate(const CustomExpander& expander, const ExpanderController& expanderController) const;
};

/// table.variables with one row per variable a user fills in (expander variables replaced by
/// their embedded variables); "" for a pattern without such variables.
class VariablesHTMLGenerator {
public:
    /// Throws the pattern's errors and the first failing row's error; no partial table.
    icu::UnicodeString generate(const CustomExpander& expander, const ExpanderController& expanderController) const;
};

/// One row: tr.variable > td > div.name, td > div.details (+ the default-value box).
class VariableHTMLGenerator {
public:
    /// Throws the variable's documentation error.
    Tag generate(const InputVariable& variable) const;
};

/// One div.language per supported language, in order, with nothing between them.
class LanguagesHTMLGenerator {
public:
    icu::UnicodeString generate(const CustomExpander& expander) const;
};

class LanguageHTMLGenerator {
public:
    icu::UnicodeString generate(const ProgrammingLanguage& language) const;
};

} // namespace quillet
