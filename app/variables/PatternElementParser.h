#pragma once

#include "variables/Variable.h"

#include <unicode/unistr.h>

#include <vector>

namespace quillet {

/// Turns a pattern into its elements: one entry per capture-group unit of the pattern's
/// expression, a null entry for an optional part's group and each variable for its own.
///
/// Every parse counts one level on RecursionObserver::shared() and resets it when it ends,
/// so parses nested more than 20 deep (through expander variables) fail.
class PatternElementParser {
public:
    explicit PatternElementParser(icu::UnicodeString pattern);

    /// Throws PatternParsingError at the recursion limit, and passes on the factory's and the
    /// variables' errors. The controller is handed to every variable made and must outlive them.
    std::vector<InputVariablePtr> parse(const Expander* parentExpander, const ExpanderLookup& expanderController) const;

private:
    icu::UnicodeString m_pattern;
};

} // namespace quillet
