#pragma once

#include "variables/DocumentationDescription.h"
#include "variables/GeneratedOutput.h"
#include "variables/InputVariableEditorData.h"

#include <unicode/unistr.h>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace quillet {

class Expander;
class ExpanderLookup;
class InputVariable;

/// A shared, immutable variable. In a pattern's element list a null entry stands for the
/// capture group of an optional part.
using InputVariablePtr = std::shared_ptr<const InputVariable>;

/// One rule of a variable, made afresh for each validation run with a copy of the variable.
class VariableValidator {
public:
    virtual ~VariableValidator() = default;
    /// Throws the rule's user-facing error.
    virtual void validate() const = 0;
};

using VariableValidators = std::vector<std::unique_ptr<VariableValidator>>;

/// The base of a kind's rules: holds its own copy of the variable; does nothing by itself.
template <typename T> class GenericVariableValidator : public VariableValidator {
public:
    explicit GenericVariableValidator(T variable)
        : m_variable(std::move(variable))
    {
    }
    void validate() const override { }

protected:
    const T& variable() const noexcept { return m_variable; }

private:
    T m_variable;
};

/// Anything named that can be validated: input variables and output placeholders.
class Variable {
public:
    virtual ~Variable() = default;

    virtual icu::UnicodeString name() const = 0;
    /// The kind's own rules, in the order they run; none by default.
    virtual VariableValidators validators() const { return {}; }

    /// The shared validation run: the name rule first, then validators() in order.
    /// Throws the first failure; later rules do not run.
    void validate() const;
};

/// The name rule: not empty, and word characters only, from start to end.
class VariableNameValidator : public VariableValidator {
public:
    explicit VariableNameValidator(const Variable& variable);
    void validate() const override;

private:
    icu::UnicodeString m_name;
};

/// Something that renders itself for the reference documentation.
class Documentable {
public:
    virtual ~Documentable() = default;
    virtual icu::UnicodeString documentationHTML() const = 0;
};

/// The type-level facts of one variable kind, as the factory and the editor's type chooser see them.
struct VariableKind {
    using DeclarationMaker = std::function<std::shared_ptr<InputVariable>(const icu::UnicodeString& name,
        const std::optional<icu::UnicodeString>& parameters, const Expander* parentExpander,
        const ExpanderLookup& expanderController)>;
    using EditorMaker = std::function<std::shared_ptr<InputVariable>(const InputVariableEditorData& editorData,
        const Expander* parentExpander, const ExpanderLookup& expanderController)>;

    icu::UnicodeString typeName; ///< display name, e.g. "Text (lazy)"
    icu::UnicodeString type; ///< keyword in declarations, e.g. "text?"
    icu::UnicodeString typeTemplate; ///< completion offered after "${name:"
    InputVariableEditorMode (*editorMode)();
    DeclarationMaker makeFromDeclaration; ///< the kind's initialiser from a parsed declaration
    EditorMaker makeFromEditorData; ///< the kind's initialiser from the editor's form
};

/// How the input-variable editor shows and edits a kind.
class VariableEditorConfiguration {
public:
    virtual ~VariableEditorConfiguration() = default;
    virtual InputVariableEditorMode editorMode() const = 0;
    /// Writes the variable into the editor form. editedExpander is the expander whose pattern is
    /// being edited (may be null); only the expander kind reads it.
    virtual void configure(InputVariableEditorData& editorData, const Expander* editedExpander) const = 0;
};

/// A typed input variable of a pattern.
///
/// Variables are values: a kind is copied into its validators, and lists hold shared
/// immutable instances. The expander controller a variable receives is not owned and must
/// outlive it (callers build both for one task).
class InputVariable : public Documentable,
                      public Variable,
                      public VariableEditorConfiguration,
                      public std::enable_shared_from_this<InputVariable> {
public:
    virtual const VariableKind& kind() const = 0;
    icu::UnicodeString typeName() const { return kind().typeName; }
    icu::UnicodeString type() const { return kind().type; }
    icu::UnicodeString typeTemplate() const { return kind().typeTemplate; }
    InputVariableEditorMode editorMode() const override { return kind().editorMode(); }

    /// The expression that matches a value inside the pattern's expression.
    /// Only the expander kind uses the controller and can fail.
    virtual icu::UnicodeString regex(const ExpanderLookup& expanderController) const = 0;
    /// The type text with its parameters as a declaration writes it.
    virtual icu::UnicodeString string() const = 0;
    /// The capture groups regex() holds beyond its outermost group.
    virtual int additionalNumberOfMatchesInRegex() const = 0;
    /// The value the output template receives for the captured text (unchanged by default).
    virtual icu::UnicodeString value(const icu::UnicodeString& text) const { return text; }
    /// value() as it goes into an output: a value as a whole, inserted as typed. Only an
    /// embedded expander's output holds template text of its own.
    virtual GeneratedOutput generatedValue(const icu::UnicodeString& text) const;
    /// What the variable contributes to a pattern's element list: itself.
    virtual std::vector<InputVariablePtr> patternElements() const;
    /// "${" name ":" string ["=" default] "}", composed without escaping.
    virtual icu::UnicodeString declaration() const;
    virtual std::vector<InputVariablePtr> subvariables() const { return {}; }
    virtual bool canHaveSubvariables() const { return false; }
    /// What stands for the declaration when a pattern is written out (the declaration by default).
    virtual icu::UnicodeString declarationText() const { return declaration(); }
    /// The keyword with "<" and ">" escaped.
    icu::UnicodeString documentationHTML() const override;
};

/// A kind that keeps the text after "=" of its declaration.
class VariableWithDefaultValue : public InputVariable {
public:
    const std::optional<icu::UnicodeString>& defaultValue() const noexcept { return m_defaultValue; }
    void setDefaultValue(std::optional<icu::UnicodeString> defaultValue) { m_defaultValue = std::move(defaultValue); }

    icu::UnicodeString declaration() const override;
    /// "(" fragment ")", made optional with "?" when a default value is set (also an empty one).
    icu::UnicodeString wrappedRegex(const icu::UnicodeString& fragment) const;
    /// The "Default" box of the documentation; empty without a default value. The value is
    /// escaped: patterns come from imported bundle files.
    icu::UnicodeString defaultValueHTML() const;

private:
    std::optional<icu::UnicodeString> m_defaultValue;
};

/// A kind without default value (the expander kind): a written default is dropped.
class VariableWithoutDefaultValue : public InputVariable { };

} // namespace quillet
