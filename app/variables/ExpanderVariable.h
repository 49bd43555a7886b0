#pragma once

#include "text/RecursionObserver.h"
#include "variables/Variable.h"

namespace quillet {

class EmbeddableExpander;

/// "exp": embeds another expander's pattern, found by identifier. The value is the embedded
/// expander's output for the text this part of the match holds.
///
/// Nothing is looked up at creation: every operation looks the expander up again in the
/// controller and sees the library as it is. The parent expander and the controller are not owned.
class ExpanderVariable final : public VariableWithoutDefaultValue {
public:
    ExpanderVariable(icu::UnicodeString name, icu::UnicodeString identifier, const Expander* parentExpander,
        const ExpanderLookup* expanderController);

    static const VariableKind& variableKind();
    /// The count of expander-variable expressions being built on this thread.
    static RecursionObserver& recursionObserver();
    /// How many embedded patterns one outermost build may parse in all. The
    /// depth limit alone lets a few expanders that each embed the next several times multiply
    /// into an expression too large to build or match; past this many the build fails as
    /// recursive (and its group count is 0).
    static constexpr int maximumEmbeddingsPerBuild = 4096;

    const VariableKind& kind() const override { return variableKind(); }
    icu::UnicodeString name() const override { return m_name; }
    const icu::UnicodeString& identifier() const noexcept { return m_identifier; }

    /// The embedded expander: the first with the identifier that serves the parent's languages.
    /// Throws ExpanderVariableParsingError (not found / not compatible).
    ExpanderPtr referencedExpander() const;

    /// "(" + the embedded pattern's expression + ")"; fails past 20 nested builds or past
    /// maximumEmbeddingsPerBuild builds under one outermost build.
    icu::UnicodeString regex(const ExpanderLookup& expanderController) const override;
    icu::UnicodeString string() const override { return u"exp(" + m_identifier + u")"; }
    /// The groups of the embedded pattern's expression as regex() builds it; 0 when that build
    /// fails (an unknown expander, a loop, too many embeddings).
    int additionalNumberOfMatchesInRegex() const override;
    icu::UnicodeString value(const icu::UnicodeString& text) const override;
    /// The embedded expander's output, its template text kept apart from its values.
    GeneratedOutput generatedValue(const icu::UnicodeString& text) const override;
    std::vector<InputVariablePtr> subvariables() const override;
    bool canHaveSubvariables() const override { return true; }
    icu::UnicodeString declarationText() const override;
    VariableValidators validators() const override;
    void configure(InputVariableEditorData& editorData, const Expander* editedExpander) const override;

    class CorrectExpanderValidator;
    class LanguageValidator;

private:
    icu::UnicodeString embeddedPattern(const ExpanderPtr& expander) const;

    icu::UnicodeString m_name;
    icu::UnicodeString m_identifier;
    const Expander* m_parentExpander;
    const ExpanderLookup* m_expanderController;
};

class ExpanderVariable::CorrectExpanderValidator final : public GenericVariableValidator<ExpanderVariable> {
public:
    using GenericVariableValidator::GenericVariableValidator;
    void validate() const override;
};

class ExpanderVariable::LanguageValidator final : public GenericVariableValidator<ExpanderVariable> {
public:
    using GenericVariableValidator::GenericVariableValidator;
    void validate() const override;
};

} // namespace quillet
