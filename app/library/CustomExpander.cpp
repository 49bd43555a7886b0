#include "library/CustomExpander.h"

#include "expansion/ExpanderController.h"
#include "expansion/ExpressionParser.h"
#include "expansion/OutputGenerator.h"
#include "library/App.h"
#include "library/BundleStore.h"
#include "library/ProgrammingLanguageCocoaAdapter.h"
#include "library/SupportedLanguages.h"
#include "text/ErrorTagBuilder.h"
#include "text/Localized.h"
#include "text/StringHelpers.h"
#include "text/StringMatching.h"
#include "text/UnicodeConversion.h"
#include "variables/ExpanderVariable.h"
#include "variables/PatternParser.h"
#include "variables/PatternValidator.h"

#include <functional>

namespace quillet {

namespace {

// Keys of the expander object in library and bundle files.
constexpr const char* nameKey = "name";
constexpr const char* descriptionKey = "description";
constexpr const char* identifierKey = "identifier";
constexpr const char* patternKey = "pattern";
constexpr const char* outputTemplateKey = "output_template";
constexpr const char* supportedLanguagesKey = "supported_languages";
constexpr const char* isEnabledKey = "is_enabled";

std::optional<DescribedError> validateNonBlank(
    const std::optional<icu::UnicodeString>& proposed, const char16_t* message)
{
    if (proposed && !trimmingWhitespace(*proposed).isEmpty())
        return std::nullopt;
    return makeNSError(localized(message, "Expander validation error"));
}

std::size_t canonicalHash(const icu::UnicodeString& text)
{
    return static_cast<std::size_t>(canonicalForm(text).hashCode());
}

// The page the expander browser shows for a pattern. The browser's rich-text view knows a
// subset of CSS: no rounded corners, display or float, and no padding on inline elements, so
// the variable tokens are marked by their background colour alone.
constexpr const char16_t* patternPageStyleSheet = uR"(body {
                font-family: "Helvetica Neue", "Noto Sans", "DejaVu Sans", sans-serif;
                font-size: 12px;
                color: #444444;
                margin: 0;
            }

            div.title {
                font-size: 13px;
                font-weight: 400;
                margin: 12px 12px 4px 12px;
            }

            div.syntax {
                font-family: "Source Code Pro", "DejaVu Sans Mono", "Menlo", monospace;
                color: #52C0FF;
                margin: 0 12px 12px 12px;
                white-space: pre-wrap;
            }
            span.variable {
                color: #ffffff;
                background-color: #52C0FF;
            }
            span.optional {
                color: #bbbbbb;
            }
            span.optional span.variable {
                color: #ffffff;
                background-color: #bbbbbb;
            }

            div.error div.title {
                font-weight: 600;
                color: #c0392b;
                margin: 0;
            }
            div.error div.description {
                color: #7f2a20;
            })";

icu::UnicodeString errorText(const std::exception& error)
{
    if (const auto* userError = dynamic_cast<const UserErrorDescriptionType*>(&error))
        return userError->userErrorDescription();
    return u"Unknown error";
}

} // namespace

CustomExpander::CustomExpander()
    : m_name(localized(u"New Expander", "New Expander name"))
    , m_supportedLanguageContainers(anyLanguageContainers())
{
    m_supportedLanguagesString = languageNames(supportedLanguages());
    updateErrors();
}

CustomExpander::CustomExpander(const JSONDictionary& dictionary)
    : m_name(value<icu::UnicodeString>(dictionary, nameKey))
{
    m_expanderDescription = valueOr<icu::UnicodeString>(dictionary, descriptionKey, {});
    m_identifier = valueOr<icu::UnicodeString>(dictionary, identifierKey, {});
    m_pattern = value<icu::UnicodeString>(dictionary, patternKey);
    m_outputTemplate = value<icu::UnicodeString>(dictionary, outputTemplateKey);
    m_isEnabled = valueOr(dictionary, isEnabledKey, true);
    m_supportedLanguageContainers
        = languageContainers(value<std::vector<icu::UnicodeString>>(dictionary, supportedLanguagesKey));
    m_supportedLanguagesString = languageNames(supportedLanguages());
}

std::optional<icu::UnicodeString> CustomExpander::readingFault(const JSONDictionary& dictionary)
{
    for (const char* key : { nameKey, patternKey, outputTemplateKey }) {
        if (auto fault = valueFault<icu::UnicodeString>(dictionary, key))
            return fault;
    }
    return valueFault<std::vector<icu::UnicodeString>>(dictionary, supportedLanguagesKey);
}

CustomExpander::~CustomExpander() = default;

JSONDictionary CustomExpander::dictionary() const
{
    return JSONDictionary {
        { nameKey, toUtf8(m_name) },
        { descriptionKey, toUtf8(m_expanderDescription) },
        { identifierKey, toUtf8(m_identifier) },
        { patternKey, toUtf8(m_pattern) },
        { outputTemplateKey, toUtf8(m_outputTemplate) },
        { supportedLanguagesKey, languageIdentifiers(m_supportedLanguageContainers) },
        { isEnabledKey, m_isEnabled },
    };
}

std::shared_ptr<CustomExpander> CustomExpander::copy() const
{
    return std::make_shared<CustomExpander>(dictionary());
}

void CustomExpander::changed(Property property)
{
    expandersDidChange();
    if (m_delegate)
        m_delegate->customExpanderDidChange(*this);
    didChangeValue(property);
}

void CustomExpander::setName(icu::UnicodeString name)
{
    m_name = std::move(name);
    changed(Property::name);
}

void CustomExpander::setExpanderDescription(icu::UnicodeString description)
{
    m_expanderDescription = std::move(description);
    changed(Property::expanderDescription);
}

void CustomExpander::setIdentifier(icu::UnicodeString identifier)
{
    m_identifier = std::move(identifier);
    changed(Property::identifier);
}

void CustomExpander::setPattern(icu::UnicodeString pattern)
{
    m_pattern = std::move(pattern);
    {
        std::lock_guard lock(m_parsedPatternMutex);
        m_parsedPattern.reset();
    }
    changed(Property::pattern);
    updateErrors();
}

void CustomExpander::setOutputTemplate(icu::UnicodeString outputTemplate)
{
    m_outputTemplate = std::move(outputTemplate);
    changed(Property::outputTemplate);
    updateErrors();
}

void CustomExpander::setEnabled(bool isEnabled)
{
    m_isEnabled = isEnabled;
    changed(Property::isEnabled);
}

void CustomExpander::setSupportedLanguageContainers(std::vector<ProgrammingLanguageContainer> containers)
{
    m_supportedLanguageContainers = std::move(containers);
    expandersDidChange();
    if (m_delegate)
        m_delegate->customExpanderDidChange(*this);
    willChangeValue(Property::supportedLanguageCocoaAdapters);
    updateSupportedLanguagesString();
    didChangeValue(Property::supportedLanguageCocoaAdapters);
}

void CustomExpander::updateSupportedLanguagesString()
{
    m_supportedLanguagesString = languageNames(supportedLanguages());
    didChangeValue(Property::supportedLanguagesString);
}

ProgrammingLanguageList CustomExpander::supportedLanguages() const
{
    return knownLanguages(m_supportedLanguageContainers);
}

void CustomExpander::setSupportedLanguages(const ProgrammingLanguageList& languages)
{
    std::vector<ProgrammingLanguageContainer> containers;
    for (const auto& container : m_supportedLanguageContainers) {
        if (!container.programmingLanguage)
            containers.push_back(container);
    }
    for (const auto& language : languages)
        containers.emplace_back(language);
    setSupportedLanguageContainers(std::move(containers));
}

void CustomExpander::setPatternErrors(std::optional<icu::UnicodeString> text)
{
    m_patternErrors = std::move(text);
    didChangeValue(Property::patternErrors);
}

void CustomExpander::setOutputErrors(std::optional<icu::UnicodeString> text)
{
    m_outputErrors = std::move(text);
    didChangeValue(Property::outputErrors);
}

void CustomExpander::setErrors(std::optional<icu::UnicodeString> text)
{
    m_errors = std::move(text);
    didChangeValue(Property::errors);
}

std::optional<DescribedError> CustomExpander::validateName(const std::optional<icu::UnicodeString>& proposed)
{
    return validateNonBlank(proposed, u"Expander name cannot be empty!");
}

std::optional<DescribedError> CustomExpander::validatePattern(const std::optional<icu::UnicodeString>& proposed)
{
    return validateNonBlank(proposed, u"Pattern cannot be empty!");
}

icu::UnicodeString CustomExpander::searchStringHelper() const
{
    std::vector<icu::UnicodeString> parts { m_name, m_pattern };
    for (const auto& language : supportedLanguages())
        parts.push_back(language->name());
    return joined(parts, u" ");
}

int CustomExpander::searchScore(const icu::UnicodeString& searchText) const
{
    int score = 0;
    if (containsIgnoringCase(m_name, searchText))
        score += 3;
    for (const auto& language : supportedLanguages()) {
        if (containsIgnoringCase(language->name(), searchText)) {
            score += 2;
            break;
        }
    }
    if (containsIgnoringCase(m_pattern, searchText))
        score += 1;
    if (containsIgnoringCase(m_outputTemplate, searchText))
        score += 1;
    return score;
}

bool CustomExpander::matchesSearch(const icu::UnicodeString& searchText) const
{
    if (containsIgnoringCase(m_name, searchText))
        return true;
    for (const auto& language : supportedLanguages()) {
        if (containsIgnoringCase(language->name(), searchText))
            return true;
    }
    return containsIgnoringCase(m_pattern, searchText) || containsIgnoringCase(m_outputTemplate, searchText);
}

std::shared_ptr<ProgrammingLanguageCocoaAdapter> CustomExpander::syntaxColorProgrammingLanguage() const
{
    for (const auto& language : supportedLanguages()) {
        if (language->id() != anyLanguageId()) {
            // The adapter may change the expander's languages (its `chosen` flag); it holds it weakly.
            auto self = std::const_pointer_cast<CustomExpander>(weak_from_this().lock());
            return std::make_shared<ProgrammingLanguageCocoaAdapter>(
                language, std::weak_ptr<SupportedLanguagesHolder>(self));
        }
    }
    return nullptr;
}

icu::UnicodeString CustomExpander::matchPattern(const ExpanderLookup& expanderController) const
{
    const icu::UnicodeString trimmed = trimmingWhitespace(m_pattern);
    // Read before the parse: a change during it leaves the kept expression already stale.
    const uint64_t revision = expanderRevision();
    {
        std::lock_guard lock(m_parsedPatternMutex);
        if (m_parsedPattern && m_parsedPattern->trimmedPattern == trimmed
            && (!m_parsedPattern->embedsExpanders
                || (m_parsedPattern->listId == expanderController.listId() && m_parsedPattern->revision == revision)))
            return m_parsedPattern->regexPattern;
    }

    PatternParser parser(trimmed, this, expanderController);
    // An embedded expander's expression depends on the controller's expanders and on their
    // patterns, so it holds for that list only, and only until an expander changes.
    const bool embedsExpanders = std::any_of(parser.variables().begin(), parser.variables().end(),
        [](const InputVariablePtr& variable) { return dynamic_cast<const ExpanderVariable*>(variable.get()); });
    std::lock_guard lock(m_parsedPatternMutex);
    m_parsedPattern = ParsedPattern { .trimmedPattern = trimmed,
        .regexPattern = parser.regexPattern(),
        .embedsExpanders = embedsExpanders,
        .listId = expanderController.listId(),
        .revision = revision };
    return m_parsedPattern->regexPattern;
}

icu::UnicodeString CustomExpander::expand(
    const icu::UnicodeString& expression, const ExpanderLookup& expanderController) const
{
    return generatedOutput(expression, expanderController).text;
}

GeneratedOutput CustomExpander::generatedOutput(
    const icu::UnicodeString& expression, const ExpanderLookup& expanderController) const
{
    PatternParser parser(trimmingWhitespace(m_pattern), this, expanderController);
    GeneratedOutput result;
    std::optional<TextRange> match;
    if (!parser.regexPattern().isEmpty()) {
        const auto groups = checkedFirstMatch(expression, parser.anchoredRegexPattern(), this);
        if (groups && groups->front() && groups->front()->range.length > 0)
            match = groups->front()->range; // an empty match has no place to put the output
    }
    if (!match) {
        result.appendValue(expression);
        return result;
    }
    const OutputGenerator generator(m_outputTemplate, expanderController, parser);
    result.appendValue(icu::UnicodeString(expression, 0, match->location));
    result.append(generator.generateOutput(match->location == 0 && match->length == expression.length()
            ? expression
            : icu::UnicodeString(expression, match->location, match->length)));
    result.appendValue(icu::UnicodeString(expression, match->end()));
    return result;
}

void CustomExpander::updateErrors()
{
    const auto library = openLibraryExpanders();
    const ExpanderController& controller = *library;

    std::optional<icu::UnicodeString> patternErrors;
    try {
        PatternValidator validator(m_pattern, nullptr, controller);
        validator.validateSingleLine();
        validator.validateVariableNames();
    } catch (const std::exception& error) {
        patternErrors = errorText(error);
    }

    std::optional<icu::UnicodeString> outputErrors = m_outputErrors;
    try {
        PatternParser parser(m_pattern, nullptr, controller);
        try {
            OutputTemplateValidator(m_outputTemplate, parser.variables()).validateVariables();
            outputErrors.reset();
        } catch (const ValidationError& error) {
            outputErrors = error.validationText();
        } catch (const std::exception&) {
            outputErrors = icu::UnicodeString(u"Unknown error");
        }
    } catch (const std::exception& error) {
        // The checks above passed but the pattern still does not parse (an expander that
        // embeds itself, nesting too deep): that is the pattern's error to show. The output
        // cannot be checked without a parse and keeps its last result.
        if (!patternErrors)
            patternErrors = errorText(error);
    }

    setPatternErrors(patternErrors);
    setOutputErrors(outputErrors);
    setErrors(patternErrors ? patternErrors : outputErrors);
}

icu::UnicodeString CustomExpander::patternHTML() const
{
    icu::UnicodeString syntax;
    try {
        const auto library = openLibraryExpanders();
        syntax = PatternParser(m_pattern, this, *library).patternHTML();
    } catch (const UserErrorDescriptionType& error) {
        syntax = ErrorTagBuilder().build(error).html();
    } catch (const std::exception&) {
        syntax = ErrorTagBuilder().build(UnknownError()).html();
    }
    icu::UnicodeString page(u"<html>\n    <head>\n        <style type=\"text/css\">\n            ");
    page.append(patternPageStyleSheet)
        .append(u"\n        </style>\n    </head>\n    <body>\n        <div class=\"title\">")
        .append(escapeHTMLText(m_name)) // names come from imported bundles
        .append(u"</div>\n        <div class=\"syntax\">")
        .append(syntax)
        .append(u"</div>\n    </body>\n</html>");
    return page;
}

bool CustomExpander::operator==(const CustomExpander& other) const
{
    return textEquals(m_name, other.m_name) && textEquals(m_identifier, other.m_identifier)
        && textEquals(m_outputTemplate, other.m_outputTemplate) && textEquals(m_pattern, other.m_pattern);
}

std::size_t CustomExpander::hashValue() const
{
    std::size_t hash = 0;
    for (const auto* field : { &m_name, &m_identifier, &m_outputTemplate, &m_pattern })
        hash = hash * 1000003u ^ canonicalHash(*field);
    return hash;
}

} // namespace quillet
