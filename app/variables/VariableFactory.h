#pragma once

#include "variables/Variable.h"
#include "variables/VariablePattern.h"

#include <memory>
#include <vector>

namespace quillet {

/// Makes typed variables from declarations.
///
/// The kind is chosen by the exact type keyword; the parent expander and the controller are
/// handed on to the kind unchanged (only the expander kind keeps them). Stateless.
class VariableFactory {
public:
    /// The eight kinds in the editor's order: text, text?, number, word, identifier, switch, exp, enum.
    static const std::vector<const VariableKind*>& variableTypes();

    /// One variable from a declaration. Throws ParsingError for an unknown keyword, or the kind's error.
    std::shared_ptr<InputVariable> makeVariable(const VariablePatternMatch& declaration, const Expander* parentExpander,
        const ExpanderLookup& expanderController) const;
    /// One variable per declaration of text, in order. The first error ends the run.
    std::vector<std::shared_ptr<InputVariable>> makeVariables(
        const icu::UnicodeString& text, const Expander* parentExpander, const ExpanderLookup& expanderController) const;
    /// The variable of the first declaration in text (an editor token).
    /// Throws VariableParsingError when text holds none.
    std::shared_ptr<InputVariable> parseVariable(
        const icu::UnicodeString& text, const Expander* parentExpander, const ExpanderLookup& expanderController) const;
};

} // namespace quillet
