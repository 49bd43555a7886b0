#include "variables/SimpleVariables.h"

#include "text/Localized.h"
#include "text/StringHelpers.h"
#include "variables/VariableErrors.h"

namespace quillet {

namespace {

/// The one rule of the kinds that check their default value.
template <typename Kind> VariableValidators defaultValueRule(const Kind& variable)
{
    VariableValidators rules;
    rules.push_back(std::make_unique<typename Kind::DefaultValueValidator>(variable));
    return rules;
}

} // namespace

icu::UnicodeString SimpleVariable::regex(const ExpanderLookup&) const
{
    return wrappedRegex(fragment());
}

void SimpleVariable::configure(InputVariableEditorData& editorData, const Expander*) const
{
    editorData.setVariableName(name());
    editorData.setDefaultValue(defaultValue());
}

InputVariableEditorMode SimpleVariable::simpleEditorMode()
{
    InputVariableEditorMode mode;
    mode.defaultValueBox = InputVariableEditorMode::BoxConfiguration { localized(u"Default:", "Editor label") };
    return mode;
}

void SimpleVariable::checkDefaultValue(
    const VariableWithDefaultValue& variable, const icu::UnicodeString& expression, const icu::UnicodeString& message)
{
    // From start to end of the whole value: "$" alone would accept a trailing line feed.
    if (variable.defaultValue() && !matchesWholeText(*variable.defaultValue(), expression))
        throw VariableValidationError(message);
}

const VariableKind& TextVariable::variableKind()
{
    static const VariableKind kind = makeSimpleKind<TextVariable>(u"Text", u"text");
    return kind;
}

icu::UnicodeString TextVariable::documentationDescription() const
{
    return u"Generic variable for text values.";
}

const VariableKind& LazyTextVariable::variableKind()
{
    static const VariableKind kind = makeSimpleKind<LazyTextVariable>(u"Text (lazy)", u"text?");
    return kind;
}

icu::UnicodeString LazyTextVariable::documentationDescription() const
{
    return u"Text variable using lazy regular expression. It matches the shortes possible text.";
}

const VariableKind& NumberVariable::variableKind()
{
    static const VariableKind kind = makeSimpleKind<NumberVariable>(u"Number", u"number");
    return kind;
}

VariableValidators NumberVariable::validators() const
{
    return defaultValueRule(*this);
}

const VariableKind& WordVariable::variableKind()
{
    static const VariableKind kind = makeSimpleKind<WordVariable>(u"Word", u"word");
    return kind;
}

VariableValidators WordVariable::validators() const
{
    return defaultValueRule(*this);
}

const VariableKind& IdentifierVariable::variableKind()
{
    static const VariableKind kind = makeSimpleKind<IdentifierVariable>(u"Identifier", u"identifier");
    return kind;
}

VariableValidators IdentifierVariable::validators() const
{
    return defaultValueRule(*this);
}

} // namespace quillet
