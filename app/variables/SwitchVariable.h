#pragma once

#include "variables/SwitchVariablePattern.h"
#include "variables/Variable.h"

namespace quillet {

/// "switch": accepts one of its keys and gives the value paired with it; the key "*"
/// accepts any text and gives its value for any text that is no other key.
class SwitchVariable final : public VariableWithDefaultValue, public DocumentationDescription {
public:
    SwitchVariable(icu::UnicodeString name, std::vector<SwitchCase> cases);

    static const VariableKind& variableKind();
    /// "*", the key of the fallback case.
    static const icu::UnicodeString& defaultCaseKey();

    const VariableKind& kind() const override { return variableKind(); }
    icu::UnicodeString name() const override { return m_name; }
    const std::vector<SwitchCase>& cases() const noexcept { return m_cases; }

    icu::UnicodeString regex(const ExpanderLookup& expanderController) const override;
    icu::UnicodeString string() const override;
    int additionalNumberOfMatchesInRegex() const override { return 1; }
    /// The value of the first case whose key equals text, else of the first "*" case, else text.
    icu::UnicodeString value(const icu::UnicodeString& text) const override;
    VariableValidators validators() const override;
    icu::UnicodeString documentationHTML() const override;
    icu::UnicodeString documentationDescription() const override;
    std::optional<icu::UnicodeString> documentationSyntax() const override;
    void configure(InputVariableEditorData& editorData, const Expander* editedExpander) const override;

    class NotEmptyKeysValidator;
    class UniqueKeyValidator;
    class DefaultValueValidator;
    class AtLeastOneCaseValidator;

private:
    icu::UnicodeString m_name;
    std::vector<SwitchCase> m_cases;
};

class SwitchVariable::NotEmptyKeysValidator final : public GenericVariableValidator<SwitchVariable> {
public:
    using GenericVariableValidator::GenericVariableValidator;
    void validate() const override;
};

class SwitchVariable::UniqueKeyValidator final : public GenericVariableValidator<SwitchVariable> {
public:
    using GenericVariableValidator::GenericVariableValidator;
    void validate() const override;
};

class SwitchVariable::DefaultValueValidator final : public GenericVariableValidator<SwitchVariable> {
public:
    using GenericVariableValidator::GenericVariableValidator;
    void validate() const override;
};

class SwitchVariable::AtLeastOneCaseValidator final : public GenericVariableValidator<SwitchVariable> {
public:
    using GenericVariableValidator::GenericVariableValidator;
    void validate() const override;
};

} // namespace quillet
