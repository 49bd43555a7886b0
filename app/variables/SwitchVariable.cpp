#include "variables/SwitchVariable.h"

#include "text/Localized.h"
#include "text/StringHelpers.h"
#include "text/Tag.h"
#include "variables/VariableErrors.h"

namespace quillet {

namespace {

InputVariableEditorMode switchEditorMode()
{
    InputVariableEditorMode mode;
    mode.keyValueBox = InputVariableEditorMode::BoxConfiguration { localized(u"Cases:", "Editor label") };
    mode.defaultValueBox = InputVariableEditorMode::BoxConfiguration { localized(u"Default:", "Editor label") };
    return mode;
}

bool hasKey(const std::vector<SwitchCase>& cases, const icu::UnicodeString& key)
{
    for (const auto& switchCase : cases) {
        if (textEquals(switchCase.key, key))
            return true;
    }
    return false;
}

} // namespace

SwitchVariable::SwitchVariable(icu::UnicodeString name, std::vector<SwitchCase> cases)
    : m_name(std::move(name))
    , m_cases(std::move(cases))
{
}

const icu::UnicodeString& SwitchVariable::defaultCaseKey()
{
    static const icu::UnicodeString key(u"*");
    return key;
}

const VariableKind& SwitchVariable::variableKind()
{
    static const VariableKind kind {
        .typeName = u"Switch",
        .type = u"switch",
        .typeTemplate = u"switch()",
        .editorMode = &switchEditorMode,
        .makeFromDeclaration = [](const icu::UnicodeString& name, const std::optional<icu::UnicodeString>& parameters,
                                   const Expander*, const ExpanderLookup&) -> std::shared_ptr<InputVariable> {
            if (!parameters)
                throw ParsingError(localized(u"Variable \"" + name + u"\" has no parameters.", "SwitchVariable error"));
            return std::make_shared<SwitchVariable>(name, SwitchVariablePattern().cases(*parameters));
        },
        .makeFromEditorData = [](const InputVariableEditorData& data, const Expander*,
                                  const ExpanderLookup&) -> std::shared_ptr<InputVariable> {
            std::vector<SwitchCase> cases;
            if (data.keyValues()) {
                for (const auto& row : *data.keyValues())
                    cases.push_back(SwitchCase { row->key(), row->value() });
            }
            auto variable = std::make_shared<SwitchVariable>(data.variableName(), std::move(cases));
            variable->setDefaultValue(data.defaultValue());
            return variable;
        },
    };
    return kind;
}

icu::UnicodeString SwitchVariable::regex(const ExpanderLookup&) const
{
    return wrappedRegex(u"(" + SwitchVariablePattern().regex(m_cases) + u")");
}

icu::UnicodeString SwitchVariable::string() const
{
    return u"switch(" + SwitchVariablePattern().string(m_cases) + u")";
}

icu::UnicodeString SwitchVariable::value(const icu::UnicodeString& text) const
{
    for (const auto& switchCase : m_cases) {
        if (textEquals(switchCase.key, text))
            return switchCase.value;
    }
    for (const auto& switchCase : m_cases) {
        if (switchCase.key == defaultCaseKey())
            return switchCase.value;
    }
    return text;
}

VariableValidators SwitchVariable::validators() const
{
    VariableValidators rules;
    rules.push_back(std::make_unique<NotEmptyKeysValidator>(*this));
    rules.push_back(std::make_unique<UniqueKeyValidator>(*this));
    rules.push_back(std::make_unique<DefaultValueValidator>(*this));
    rules.push_back(std::make_unique<AtLeastOneCaseValidator>(*this));
    return rules;
}

icu::UnicodeString SwitchVariable::documentationHTML() const
{
    icu::UnicodeString items;
    for (const auto& switchCase : m_cases) {
        const bool isDefault = switchCase.key == defaultCaseKey();
        Tag key(TagName::span, isDefault ? u"key default" : u"key", std::nullopt, {},
            { isDefault ? icu::UnicodeString(u"default") : escapeHTMLCharacters(switchCase.key) });
        Tag value(TagName::span, u"value", std::nullopt, {}, { escapeHTMLCharacters(switchCase.value) });
        items += Tag(TagName::li, std::nullopt, std::nullopt, {}, { std::move(key), std::move(value) }).html();
    }
    return u"switch <ul class=\"switch\">" + items + u"</ul>";
}

icu::UnicodeString SwitchVariable::documentationDescription() const
{
    return u"Variable matches keys and replaces them with the given values.";
}

std::optional<icu::UnicodeString> SwitchVariable::documentationSyntax() const
{
    return icu::UnicodeString(u"`switch(key1:value1,key2:value2)` where `key1:value1` is a pair of key and value. "
                              u"Paris are separated with `,`.");
}

void SwitchVariable::configure(InputVariableEditorData& editorData, const Expander*) const
{
    editorData.setVariableName(m_name);
    editorData.setDefaultValue(defaultValue());
    InputVariableEditorData::KeyValueList rows;
    for (const auto& switchCase : m_cases)
        rows.push_back(std::make_shared<KeyValueObject>(switchCase.key, switchCase.value));
    editorData.setKeyValues(std::move(rows));
}

void SwitchVariable::NotEmptyKeysValidator::validate() const
{
    for (const auto& switchCase : variable().cases()) {
        if (switchCase.key.isEmpty())
            throw VariableValidationError(u"Keys cannot be empty.");
    }
}

void SwitchVariable::UniqueKeyValidator::validate() const
{
    std::vector<SwitchCase> distinct;
    for (const auto& switchCase : variable().cases()) {
        if (hasKey(distinct, switchCase.key))
            throw VariableValidationError(u"Keys must be unique.");
        distinct.push_back(switchCase);
    }
}

void SwitchVariable::DefaultValueValidator::validate() const
{
    const auto& defaultValue = variable().defaultValue();
    if (!defaultValue || hasKey(variable().cases(), defaultCaseKey()) || hasKey(variable().cases(), *defaultValue))
        return;
    throw VariableValidationError(u"Default value must be an existing key or variable must have a default value (*).");
}

void SwitchVariable::AtLeastOneCaseValidator::validate() const
{
    if (variable().cases().empty())
        throw VariableValidationError(u"At least one case must be defined.");
}

} // namespace quillet
