#include "variables/EnumVariable.h"

#include "text/Localized.h"
#include "text/StringHelpers.h"
#include "text/StringMatching.h"
#include "text/Tag.h"
#include "variables/VariableErrors.h"

namespace quillet {

namespace {

InputVariableEditorMode enumEditorMode()
{
    InputVariableEditorMode mode;
    mode.valueBox = InputVariableEditorMode::BoxConfiguration { localized(u"Elements:", "Editor label") };
    mode.defaultValueBox = InputVariableEditorMode::BoxConfiguration { localized(u"Default:", "Editor label") };
    return mode;
}

bool contains(const std::vector<icu::UnicodeString>& cases, const icu::UnicodeString& text)
{
    for (const auto& item : cases) {
        if (textEquals(item, text))
            return true;
    }
    return false;
}

} // namespace

EnumVariable::EnumVariable(icu::UnicodeString name, std::vector<icu::UnicodeString> cases)
    : m_name(std::move(name))
    , m_cases(std::move(cases))
{
}

std::vector<icu::UnicodeString> EnumVariable::casesFromParameters(const icu::UnicodeString& parameters)
{
    auto pieces = splitBySeparator(parameters, u"(?<!\\\\),");
    for (auto& piece : pieces)
        piece = unescapeCharacters(piece, templateSyntaxCharacters());
    return pieces;
}

const VariableKind& EnumVariable::variableKind()
{
    static const VariableKind kind {
        .typeName = u"Enum",
        .type = u"enum",
        .typeTemplate = u"enum()",
        .editorMode = &enumEditorMode,
        .makeFromDeclaration = [](const icu::UnicodeString& name, const std::optional<icu::UnicodeString>& parameters,
                                   const Expander*, const ExpanderLookup&) -> std::shared_ptr<InputVariable> {
            if (!parameters)
                throw ParsingError(localized(u"Variable \"" + name + u"\" has no parameters.", "EnumVariable error"));
            return std::make_shared<EnumVariable>(name, casesFromParameters(*parameters));
        },
        .makeFromEditorData = [](const InputVariableEditorData& data, const Expander*,
                                  const ExpanderLookup&) -> std::shared_ptr<InputVariable> {
            std::vector<icu::UnicodeString> cases;
            if (data.values()) {
                for (const auto& row : *data.values())
                    cases.push_back(row->value());
            }
            auto variable = std::make_shared<EnumVariable>(data.variableName(), std::move(cases));
            variable->setDefaultValue(data.defaultValue());
            return variable;
        },
    };
    return kind;
}

icu::UnicodeString EnumVariable::regex(const ExpanderLookup&) const
{
    std::vector<icu::UnicodeString> escaped;
    for (const auto& item : m_cases)
        escaped.push_back(escapingRegexMetacharacters(item));
    return wrappedRegex(u"(" + joined(escaped, u"|") + u")");
}

icu::UnicodeString EnumVariable::string() const
{
    std::vector<icu::UnicodeString> escaped;
    for (const auto& item : m_cases)
        escaped.push_back(escapingTemplateSyntax(item));
    return u"enum(" + joined(escaped, u",") + u")";
}

VariableValidators EnumVariable::validators() const
{
    VariableValidators rules;
    rules.push_back(std::make_unique<NotEmptyValuesValidator>(*this));
    rules.push_back(std::make_unique<UniqueValuesValidator>(*this));
    rules.push_back(std::make_unique<DefaultValueValidator>(*this));
    rules.push_back(std::make_unique<AtLeastOneElementValidator>(*this));
    return rules;
}

icu::UnicodeString EnumVariable::documentationHTML() const
{
    icu::UnicodeString items;
    for (const auto& item : m_cases) {
        Tag text(TagName::span, u"case", std::nullopt, {}, { escapeHTMLCharacters(item) });
        items += Tag(TagName::li, std::nullopt, std::nullopt, {}, { std::move(text) }).html();
    }
    return u"enum <ul class=\"enum\">" + items + u"</ul>";
}

void EnumVariable::configure(InputVariableEditorData& editorData, const Expander*) const
{
    editorData.setVariableName(m_name);
    InputVariableEditorData::ValueList rows;
    for (const auto& item : m_cases)
        rows.push_back(std::make_shared<StringValue>(item));
    editorData.setValues(std::move(rows));
    editorData.setDefaultValue(defaultValue());
}

void EnumVariable::NotEmptyValuesValidator::validate() const
{
    for (const auto& item : variable().cases()) {
        if (item.isEmpty())
            throw VariableValidationError(u"Values cannot be empty.");
    }
}

void EnumVariable::UniqueValuesValidator::validate() const
{
    std::vector<icu::UnicodeString> distinct;
    for (const auto& item : variable().cases()) {
        if (contains(distinct, item))
            throw VariableValidationError(u"Elements must be unique.");
        distinct.push_back(item);
    }
}

void EnumVariable::DefaultValueValidator::validate() const
{
    const auto& defaultValue = variable().defaultValue();
    if (defaultValue && !contains(variable().cases(), *defaultValue))
        throw VariableValidationError(u"Default value must be a one of existing elements.");
}

void EnumVariable::AtLeastOneElementValidator::validate() const
{
    if (variable().cases().empty())
        throw VariableValidationError(u"At least one element must be defined.");
}

} // namespace quillet
