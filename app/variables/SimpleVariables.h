#pragma once

// The five kinds without parameters that hand the matched text on unchanged:
// text, lazy text, number, word and identifier. They differ only in their constants.

#include "variables/Variable.h"

namespace quillet {

/// The shared record of the simple kinds: name, type keyword and optional default value.
/// Parameters written in a declaration ("${n:text(abc)}") are ignored.
class SimpleVariable : public VariableWithDefaultValue {
public:
    icu::UnicodeString name() const override { return m_name; }
    icu::UnicodeString string() const override { return kind().type; }
    int additionalNumberOfMatchesInRegex() const override { return 1; }
    icu::UnicodeString regex(const ExpanderLookup& expanderController) const override;
    void configure(InputVariableEditorData& editorData, const Expander* editedExpander) const override;

    /// The fragment the kind matches its value with, e.g. "(\w+)".
    virtual icu::UnicodeString fragment() const = 0;

    /// The editor of every simple kind shows the default-value box only.
    static InputVariableEditorMode simpleEditorMode();

protected:
    explicit SimpleVariable(icu::UnicodeString name)
        : m_name(std::move(name))
    {
    }

public:
    /// A default-value rule: the default, when set, must consist wholly of the kind's class.
    template <typename Kind> class DefaultValueCheck : public GenericVariableValidator<Kind> {
    public:
        using GenericVariableValidator<Kind>::GenericVariableValidator;
        void validate() const override
        {
            checkDefaultValue(this->variable(), Kind::checkExpression(), Kind::checkMessage());
        }
    };

protected:
    static void checkDefaultValue(const VariableWithDefaultValue& variable, const icu::UnicodeString& expression,
        const icu::UnicodeString& message);

private:
    icu::UnicodeString m_name;
};

/// Makes the kind record of a simple kind from its constants.
template <typename Kind> VariableKind makeSimpleKind(const char16_t* typeName, const char16_t* type)
{
    return VariableKind {
        .typeName = typeName,
        .type = type,
        .typeTemplate = type,
        .editorMode = &SimpleVariable::simpleEditorMode,
        .makeFromDeclaration
        = [](const icu::UnicodeString& name, const std::optional<icu::UnicodeString>&, const Expander*,
              const ExpanderLookup&) -> std::shared_ptr<InputVariable> { return std::make_shared<Kind>(name); },
        .makeFromEditorData = [](const InputVariableEditorData& data, const Expander*,
                                  const ExpanderLookup&) -> std::shared_ptr<InputVariable> {
            auto variable = std::make_shared<Kind>(data.variableName());
            variable->setDefaultValue(data.defaultValue());
            return variable;
        },
    };
}

/// "text": any text, as much as the pattern allows.
class TextVariable final : public SimpleVariable, public DocumentationDescription {
public:
    explicit TextVariable(icu::UnicodeString name)
        : SimpleVariable(std::move(name))
    {
    }
    static const VariableKind& variableKind();
    const VariableKind& kind() const override { return variableKind(); }
    icu::UnicodeString fragment() const override { return u"(.+)"; }
    icu::UnicodeString documentationDescription() const override;
};

/// "text?": any text, as little as the pattern allows.
class LazyTextVariable final : public SimpleVariable, public DocumentationDescription {
public:
    explicit LazyTextVariable(icu::UnicodeString name)
        : SimpleVariable(std::move(name))
    {
    }
    static const VariableKind& variableKind();
    const VariableKind& kind() const override { return variableKind(); }
    icu::UnicodeString fragment() const override { return u"(.+?)"; }
    icu::UnicodeString documentationDescription() const override;
};

/// "number": ASCII digits, commas and full stops.
class NumberVariable final : public SimpleVariable {
public:
    explicit NumberVariable(icu::UnicodeString name)
        : SimpleVariable(std::move(name))
    {
    }
    static const VariableKind& variableKind();
    const VariableKind& kind() const override { return variableKind(); }
    icu::UnicodeString fragment() const override { return u"([0-9,.]+)"; }
    VariableValidators validators() const override;

    static icu::UnicodeString checkExpression() { return u"^[0-9,.]+$"; }
    static icu::UnicodeString checkMessage() { return u"Default value must be a number."; }
    class DefaultValueValidator;
};

class NumberVariable::DefaultValueValidator final : public SimpleVariable::DefaultValueCheck<NumberVariable> {
public:
    using DefaultValueCheck::DefaultValueCheck;
};

/// "word": word characters.
class WordVariable final : public SimpleVariable {
public:
    explicit WordVariable(icu::UnicodeString name)
        : SimpleVariable(std::move(name))
    {
    }
    static const VariableKind& variableKind();
    const VariableKind& kind() const override { return variableKind(); }
    icu::UnicodeString fragment() const override { return u"(\\w+)"; }
    VariableValidators validators() const override;

    static icu::UnicodeString checkExpression() { return u"^\\w+$"; }
    static icu::UnicodeString checkMessage() { return u"Default value must be a word (\\w+)."; }
    class DefaultValueValidator;
};

class WordVariable::DefaultValueValidator final : public SimpleVariable::DefaultValueCheck<WordVariable> {
public:
    using DefaultValueCheck::DefaultValueCheck;
};

/// "identifier": word characters and $ ! ? [ ] - _ < > @ :.
class IdentifierVariable final : public SimpleVariable {
public:
    explicit IdentifierVariable(icu::UnicodeString name)
        : SimpleVariable(std::move(name))
    {
    }
    static const VariableKind& variableKind();
    const VariableKind& kind() const override { return variableKind(); }
    // The set holds every case variant of its members already. Outside case folding, a
    // case-insensitive expression does not close the set over case when it is compiled: that
    // walks every word character and cost a run of the command line milliseconds.
    icu::UnicodeString fragment() const override { return u"((?-i:[\\w$!?\\[\\]\\-_<>@:])+)"; }
    VariableValidators validators() const override;

    static icu::UnicodeString checkExpression() { return u"^[\\w$!?\\[\\]\\-_<>@:]+$"; }
    static icu::UnicodeString checkMessage() { return u"Default value must be an identifier."; }
    class DefaultValueValidator;
};

class IdentifierVariable::DefaultValueValidator final : public SimpleVariable::DefaultValueCheck<IdentifierVariable> {
public:
    using DefaultValueCheck::DefaultValueCheck;
};

} // namespace quillet
