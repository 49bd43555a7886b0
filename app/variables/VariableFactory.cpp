#include "variables/VariableFactory.h"

#include "text/Localized.h"
#include "text/StringHelpers.h"
#include "variables/EnumVariable.h"
#include "variables/ExpanderVariable.h"
#include "variables/SimpleVariables.h"
#include "variables/SwitchVariable.h"
#include "variables/VariableErrors.h"

namespace quillet {

const std::vector<const VariableKind*>& VariableFactory::variableTypes()
{
    static const std::vector<const VariableKind*> kinds {
        &TextVariable::variableKind(),
        &LazyTextVariable::variableKind(),
        &NumberVariable::variableKind(),
        &WordVariable::variableKind(),
        &IdentifierVariable::variableKind(),
        &SwitchVariable::variableKind(),
        &ExpanderVariable::variableKind(),
        &EnumVariable::variableKind(),
    };
    return kinds;
}

std::shared_ptr<InputVariable> VariableFactory::makeVariable(const VariablePatternMatch& declaration,
    const Expander* parentExpander, const ExpanderLookup& expanderController) const
{
    // In a pattern "\|" and "\#" stand for "|" and "#", inside declarations too: a bar must be
    // escaped there when the declaration stands in an optional part.
    auto unescaped = [](const std::optional<icu::UnicodeString>& text) -> std::optional<icu::UnicodeString> {
        if (!text || text->indexOf(u'\\') < 0)
            return text;
        return unescapeCharacters(*text, { u"|", u"#" });
    };
    for (const VariableKind* kind : variableTypes()) {
        if (kind->type != declaration.type)
            continue;
        auto variable = kind->makeFromDeclaration(
            declaration.name, unescaped(declaration.params), parentExpander, expanderController);
        if (auto* withDefault = dynamic_cast<VariableWithDefaultValue*>(variable.get()))
            withDefault->setDefaultValue(unescaped(declaration.defaultValue));
        return variable;
    }
    throw ParsingError(
        localized(u"Variable type \"" + declaration.type + u"\" does not exist.", "VaribleFactory Error"));
}

std::vector<std::shared_ptr<InputVariable>> VariableFactory::makeVariables(
    const icu::UnicodeString& text, const Expander* parentExpander, const ExpanderLookup& expanderController) const
{
    const auto declarations = VariablePattern::matches(text);
    std::vector<std::shared_ptr<InputVariable>> variables;
    variables.reserve(declarations.size());
    for (const auto& declaration : declarations)
        variables.push_back(makeVariable(declaration, parentExpander, expanderController));
    return variables;
}

std::shared_ptr<InputVariable> VariableFactory::parseVariable(
    const icu::UnicodeString& text, const Expander* parentExpander, const ExpanderLookup& expanderController) const
{
    const auto declarations = VariablePattern::matches(text);
    if (declarations.empty())
        throw VariableParsingError();
    return makeVariable(declarations.front(), parentExpander, expanderController);
}

} // namespace quillet
