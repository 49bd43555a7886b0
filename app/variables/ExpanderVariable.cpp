#include "variables/ExpanderVariable.h"

#include "text/Localized.h"
#include "text/PatternErrors.h"
#include "text/RegexCache.h"
#include "text/StringHelpers.h"
#include "variables/EmbeddableExpander.h"
#include "variables/Expander.h"
#include "variables/ExpanderLookup.h"
#include "variables/PatternParser.h"
#include "variables/VariableErrors.h"

namespace quillet {

namespace {

InputVariableEditorMode expanderEditorMode()
{
    InputVariableEditorMode mode;
    mode.selectableValueBox = InputVariableEditorMode::BoxConfiguration { localized(u"Expander", "Editor label") };
    return mode;
}

/// Counts one level for as long as it lives, so every way out of a build gives it back.
class CountedLevel {
public:
    explicit CountedLevel(int& level)
        : m_level(level)
    {
        ++m_level;
    }
    ~CountedLevel() { --m_level; }
    CountedLevel(const CountedLevel&) = delete;
    CountedLevel& operator=(const CountedLevel&) = delete;

private:
    int& m_level;
};

/// The nesting of the builds running on this thread, and the embedded patterns that
/// the outermost of them has parsed so far.
struct EmbeddingBudget {
    int depth = 0;
    int used = 0;
    bool exhausted = false;

    /// Counts one more embedded parse; false once the outermost operation has had its share.
    bool take()
    {
        if (depth == 0) {
            used = 0;
            exhausted = false;
        }
        if (used >= ExpanderVariable::maximumEmbeddingsPerBuild) {
            exhausted = true;
            return false;
        }
        ++used;
        return true;
    }
};

EmbeddingBudget& buildBudget()
{
    thread_local EmbeddingBudget budget;
    return budget;
}

} // namespace

ExpanderVariable::ExpanderVariable(icu::UnicodeString name, icu::UnicodeString identifier,
    const Expander* parentExpander, const ExpanderLookup* expanderController)
    : m_name(std::move(name))
    , m_identifier(std::move(identifier))
    , m_parentExpander(parentExpander)
    , m_expanderController(expanderController)
{
}

const VariableKind& ExpanderVariable::variableKind()
{
    static const VariableKind kind {
        .typeName = u"Expander",
        .type = u"exp",
        .typeTemplate = u"exp()",
        .editorMode = &expanderEditorMode,
        .makeFromDeclaration
        = [](const icu::UnicodeString& name, const std::optional<icu::UnicodeString>& parameters,
              const Expander* parentExpander, const ExpanderLookup& controller) -> std::shared_ptr<InputVariable> {
            if (!parameters)
                throw ParsingError(localized(u"Variable \"" + name + u"\" has no parameters.", "ExpVariable error"));
            return std::make_shared<ExpanderVariable>(name, *parameters, parentExpander, &controller);
        },
        .makeFromEditorData = [](const InputVariableEditorData& data, const Expander* parentExpander,
                                  const ExpanderLookup& controller) -> std::shared_ptr<InputVariable> {
            const icu::UnicodeString identifier = data.selectedValue() ? data.selectedValue()->identifier() : u"";
            return std::make_shared<ExpanderVariable>(data.variableName(), identifier, parentExpander, &controller);
        },
    };
    return kind;
}

RecursionObserver& ExpanderVariable::recursionObserver()
{
    thread_local RecursionObserver observer;
    return observer;
}

ExpanderPtr ExpanderVariable::referencedExpander() const
{
    if (m_expanderController->expandersWithIdentifier(m_identifier).empty())
        throw ExpanderVariableParsingError(u"Expander with identifier \"" + m_identifier + u"\" has not been found.");

    const ProgrammingLanguageList languages
        = m_parentExpander ? m_parentExpander->supportedLanguages() : ProgrammingLanguageList {};
    const auto candidates = m_expanderController->expandersWithKeyAndLanguages(m_identifier, languages);
    if (candidates.empty() || !dynamic_cast<const EmbeddableExpander*>(candidates.front().get()))
        throw ExpanderVariableParsingError(
            u"Expander with identifier \"" + m_identifier + u"\" is not compatible with this one.");
    return candidates.front();
}

icu::UnicodeString ExpanderVariable::embeddedPattern(const ExpanderPtr& expander) const
{
    return dynamic_cast<const EmbeddableExpander&>(*expander).pattern();
}

icu::UnicodeString ExpanderVariable::regex(const ExpanderLookup& expanderController) const
{
    auto& observer = recursionObserver();
    auto& budget = buildBudget();
    // Too many embeddings in all is as hopeless as too deep a nesting, and reported alike.
    if (observer.nRepeats() >= observer.maxRepeats() || !budget.take())
        throw PatternParsingError(localizedFormat(
            u"Oops. Looks like '%@' variable is recursive. The bad thing is it cannot be stopped. Please fix it.",
            "Recurrension detected error", m_name));
    // A build has begun; it ends (succeeded or failed) when this scope is left.
    struct Build {
        RecursionObserver& observer;
        explicit Build(RecursionObserver& o)
            : observer(o)
        {
            observer.setNRepeats(observer.nRepeats() + 1);
        }
        ~Build() { observer.setNRepeats(observer.nRepeats() - 1); }
    } build(observer);
    CountedLevel nested(budget.depth);
    const ExpanderPtr embedded = referencedExpander();
    PatternParser parser(trimmingWhitespace(embeddedPattern(embedded)), embedded.get(), expanderController);
    const icu::UnicodeString expression = parser.regexPattern();
    return u"(" + expression + u")";
}

int ExpanderVariable::additionalNumberOfMatchesInRegex() const
{
    // Counted on the expression a build gives, so the count always equals its groups whatever
    // the embedded pattern holds (a declaration that stays literal text owns none). The build's
    // own limits end a loop or a runaway of embeddings; a failed build counts 0.
    try {
        UErrorCode status = U_ZERO_ERROR;
        const auto pattern = RegexCache::compile(regex(*m_expanderController), 0, status);
        if (U_FAILURE(status) || !pattern)
            return 0;
        const std::unique_ptr<icu::RegexMatcher> matcher(pattern->matcher(status));
        if (U_FAILURE(status) || !matcher)
            return 0;
        return matcher->groupCount() - 1; // the variable's own group is not additional
    } catch (const std::exception&) {
        return 0;
    }
}

icu::UnicodeString ExpanderVariable::value(const icu::UnicodeString& text) const
{
    return referencedExpander()->expand(text, *m_expanderController);
}

GeneratedOutput ExpanderVariable::generatedValue(const icu::UnicodeString& text) const
{
    return referencedExpander()->generatedOutput(text, *m_expanderController);
}

std::vector<InputVariablePtr> ExpanderVariable::subvariables() const
{
    const ExpanderPtr embedded = referencedExpander();
    return PatternParser(embeddedPattern(embedded), m_parentExpander, *m_expanderController).flattenedVariables();
}

icu::UnicodeString ExpanderVariable::declarationText() const
{
    const ExpanderPtr embedded = referencedExpander();
    return PatternParser(embeddedPattern(embedded), m_parentExpander, *m_expanderController).expandedPattern();
}

VariableValidators ExpanderVariable::validators() const
{
    VariableValidators rules;
    rules.push_back(std::make_unique<CorrectExpanderValidator>(*this));
    rules.push_back(std::make_unique<LanguageValidator>(*this));
    return rules;
}

void ExpanderVariable::configure(InputVariableEditorData& editorData, const Expander* editedExpander) const
{
    editorData.setVariableName(m_name);
    ExpanderPtr selected;
    try {
        selected = referencedExpander();
    } catch (const ExpanderVariableParsingError&) {
        // An expander that cannot be found simply leaves nothing selected.
    }
    editorData.setSelectedValue(std::move(selected));
    const ProgrammingLanguageList languages
        = editedExpander ? editedExpander->supportedLanguages() : ProgrammingLanguageList {};
    editorData.setSelectableValues(m_expanderController->expandersForLanguages(languages));
}

void ExpanderVariable::CorrectExpanderValidator::validate() const
{
    if (variable().identifier().isEmpty())
        throw ExpanderVariableParsingError(u"No identifier specified.");
    variable().referencedExpander();
}

void ExpanderVariable::LanguageValidator::validate() const
{
    variable().referencedExpander();
}

} // namespace quillet
