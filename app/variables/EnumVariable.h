#pragma once

#include "variables/Variable.h"

namespace quillet {

/// "enum": the typed value must be one of a fixed list of alternatives.
class EnumVariable final : public VariableWithDefaultValue {
public:
    EnumVariable(icu::UnicodeString name, std::vector<icu::UnicodeString> cases);

    static const VariableKind& variableKind();
    /// The cases of a parameters text: cut at unescaped commas, then "," "{" "}" "$" unescaped.
    static std::vector<icu::UnicodeString> casesFromParameters(const icu::UnicodeString& parameters);

    const VariableKind& kind() const override { return variableKind(); }
    icu::UnicodeString name() const override { return m_name; }
    const std::vector<icu::UnicodeString>& cases() const noexcept { return m_cases; }

    icu::UnicodeString regex(const ExpanderLookup& expanderController) const override;
    /// "enum(" + cases + ")", each case with "," "{" "}" "$" escaped so it reads back unchanged.
    icu::UnicodeString string() const override;
    int additionalNumberOfMatchesInRegex() const override { return 1; }
    VariableValidators validators() const override;
    icu::UnicodeString documentationHTML() const override;
    void configure(InputVariableEditorData& editorData, const Expander* editedExpander) const override;

    class NotEmptyValuesValidator;
    class UniqueValuesValidator;
    class DefaultValueValidator;
    class AtLeastOneElementValidator;

private:
    icu::UnicodeString m_name;
    std::vector<icu::UnicodeString> m_cases;
};

class EnumVariable::NotEmptyValuesValidator final : public GenericVariableValidator<EnumVariable> {
public:
    using GenericVariableValidator::GenericVariableValidator;
    void validate() const override;
};

class EnumVariable::UniqueValuesValidator final : public GenericVariableValidator<EnumVariable> {
public:
    using GenericVariableValidator::GenericVariableValidator;
    void validate() const override;
};

class EnumVariable::DefaultValueValidator final : public GenericVariableValidator<EnumVariable> {
public:
    using GenericVariableValidator::GenericVariableValidator;
    void validate() const override;
};

class EnumVariable::AtLeastOneElementValidator final : public GenericVariableValidator<EnumVariable> {
public:
    using GenericVariableValidator::GenericVariableValidator;
    void validate() const override;
};

} // namespace quillet
