#pragma once

#include "expansion/OutputTemplateValidator.h"
#include "library/DictionaryReader.h"
#include "library/Observable.h"
#include "library/ProgrammingLanguageContainer.h"
#include "library/SupportedLanguagesHolder.h"
#include "variables/EmbeddableExpander.h"
#include "variables/Expander.h"

#include <unicode/unistr.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace quillet {

class CustomExpander;
class ProgrammingLanguageCocoaAdapter;

/// Hears of every change of an expander's stored fields. The expander's bundle.
class CustomExpanderDelegate {
public:
    virtual ~CustomExpanderDelegate() = default;
    virtual void customExpanderDidChange(CustomExpander& expander) = 0;
};

/// One expander of the user's library: name, description, identifier, one-line pattern,
/// output template, enabled flag and the languages it is meant for.
///
/// Always held by std::shared_ptr (bundles own their expanders; controllers, errors and
/// editors share them). Every assignment to a stored field - name, expanderDescription,
/// identifier, pattern, outputTemplate, isEnabled, supportedLanguageContainers - tells the
/// delegate (its bundle, not owned) and the observers of the property, even when the value
/// is unchanged; pattern and outputTemplate changes also recompute patternErrors,
/// outputErrors and errors. Observed properties: name, expanderDescription, identifier,
/// pattern, outputTemplate, isEnabled, supportedLanguagesString, patternErrors, errors,
/// outputErrors, and supportedLanguageCocoaAdapters (will and did change around a change of
/// the languages). Main thread only.
class CustomExpander final : public Expander,
                             public EmbeddableExpander,
                             public SupportedLanguagesHolder,
                             public Observable,
                             public std::enable_shared_from_this<CustomExpander> {
public:
    /// A new expander: named "New Expander", enabled, for Any Language; its error texts
    /// are computed at once. Tells nobody.
    CustomExpander();
    /// Reads one expander object. "name", "pattern", "output_template" and
    /// "supported_languages" are required (DictionaryError otherwise); "description" and
    /// "identifier" default to "", "is_enabled" to true; other keys are ignored. Language
    /// ids that name no language are kept. Tells nobody and leaves the error texts absent.
    explicit CustomExpander(const JSONDictionary& dictionary);
    /// Why the object cannot be read: its first required key that is missing or of another
    /// type ("“pattern” is missing"); none when it can be.
    static std::optional<icu::UnicodeString> readingFault(const JSONDictionary& dictionary);
    ~CustomExpander() override;
    // Copies go through copy(): a copy made member by member would report to the original's bundle.
    CustomExpander(const CustomExpander&) = delete;
    CustomExpander& operator=(const CustomExpander&) = delete;

    /// The expander object: always exactly the seven keys, unknown language ids included.
    JSONDictionary dictionary() const;
    /// A copy read back from the dictionary, without delegate.
    std::shared_ptr<CustomExpander> copy() const;

    CustomExpanderDelegate* delegate() const noexcept { return m_delegate; }
    void setDelegate(CustomExpanderDelegate* delegate) noexcept { m_delegate = delegate; }

    icu::UnicodeString identifier() const override { return m_identifier; }
    icu::UnicodeString name() const override { return m_name; }
    icu::UnicodeString expanderDescription() const override { return m_expanderDescription; }
    icu::UnicodeString pattern() const override { return m_pattern; }
    const icu::UnicodeString& outputTemplate() const noexcept { return m_outputTemplate; }
    bool isEnabled() const noexcept { return m_isEnabled; }
    const std::vector<ProgrammingLanguageContainer>& supportedLanguageContainers() const noexcept
    {
        return m_supportedLanguageContainers;
    }

    void setName(icu::UnicodeString name);
    void setExpanderDescription(icu::UnicodeString description);
    void setIdentifier(icu::UnicodeString identifier);
    void setPattern(icu::UnicodeString pattern);
    void setOutputTemplate(icu::UnicodeString outputTemplate);
    void setEnabled(bool isEnabled);
    void setSupportedLanguageContainers(std::vector<ProgrammingLanguageContainer> containers);

    /// The languages of the entries, in order, without the entries that name no language.
    ProgrammingLanguageList supportedLanguages() const override;
    /// Keeps the entries that name no language, then one entry per given language.
    void setSupportedLanguages(const ProgrammingLanguageList& languages) override;
    /// The names of supportedLanguages joined by ", ".
    const icu::UnicodeString& supportedLanguagesString() const noexcept { return m_supportedLanguagesString; }

    // Error texts, absent when there is nothing to report (see updateErrors).
    const std::optional<icu::UnicodeString>& patternErrors() const noexcept { return m_patternErrors; }
    const std::optional<icu::UnicodeString>& outputErrors() const noexcept { return m_outputErrors; }
    const std::optional<icu::UnicodeString>& errors() const noexcept { return m_errors; }

    /// The output for a matched abbreviation: every whole match of the pattern anchored at
    /// the end is replaced by the output generated for it; a text the pattern does not
    /// match comes back unchanged. Throws the parser's and the generator's errors.
    icu::UnicodeString expand(
        const icu::UnicodeString& expression, const ExpanderLookup& expanderController) const override;
    /// expand() with the places of the values; text before the match counts as typed.
    GeneratedOutput generatedOutput(
        const icu::UnicodeString& expression, const ExpanderLookup& expanderController) const override;
    /// The regular expression of the pattern (trimmed of spaces and tabs). Cheap on repeated
    /// calls: the parse is kept until the pattern changes, unless it depends on other
    /// expanders. Throws the parser's errors.
    icu::UnicodeString matchPattern(const ExpanderLookup& expanderController) const override;

    /// Recomputes patternErrors (single-line and duplicate-name checks), outputErrors (every
    /// placeholder names a declared variable) and errors (the pattern's, else the output's)
    /// against the library's enabled expanders.
    void updateErrors();

    /// Key-value validation: none when the proposed value is acceptable (it is never
    /// changed), otherwise the error object (application domain, code 1) to show. A name or
    /// pattern that is absent or only spaces and tabs is refused; a line break alone passes.
    static std::optional<DescribedError> validateName(const std::optional<icu::UnicodeString>& proposed);
    static std::optional<DescribedError> validatePattern(const std::optional<icu::UnicodeString>& proposed);

    /// Name, pattern and language names joined by a space: what a search filter matches.
    icu::UnicodeString searchStringHelper() const;
    /// 0 to 7: 3 for the name, 2 for a language name, 1 for the pattern, 1 for the template
    /// containing the search text (case- and diacritic-insensitive; "" is in everything).
    int searchScore(const icu::UnicodeString& searchText) const;
    /// What the expander browser finds: the name, else a language name, else the pattern,
    /// else the template contains the search text (case- and diacritic-insensitive).
    bool matchesSearch(const icu::UnicodeString& searchText) const;
    /// The language that colours the editors: the first one other than Any Language, as an
    /// adapter bound to this expander; none when there is no such language.
    std::shared_ptr<ProgrammingLanguageCocoaAdapter> syntaxColorProgrammingLanguage() const;
    /// A small HTML page with the name (escaped) and the pattern's HTML, or an error box
    /// when the pattern does not parse.
    icu::UnicodeString patternHTML() const;

    /// Field-by-field equality of name, identifier, output template and pattern (canonical
    /// equivalence). Objects keep their identity elsewhere; this is the record comparison.
    bool operator==(const CustomExpander& other) const;
    /// Consistent with operator==.
    std::size_t hashValue() const;

private:
    void changed(Property property);
    void updateSupportedLanguagesString();
    void setPatternErrors(std::optional<icu::UnicodeString> text);
    void setOutputErrors(std::optional<icu::UnicodeString> text);
    void setErrors(std::optional<icu::UnicodeString> text);

    CustomExpanderDelegate* m_delegate = nullptr;
    icu::UnicodeString m_name;
    icu::UnicodeString m_expanderDescription;
    icu::UnicodeString m_identifier;
    std::vector<ProgrammingLanguageContainer> m_supportedLanguageContainers;
    icu::UnicodeString m_pattern;
    icu::UnicodeString m_supportedLanguagesString;
    std::optional<icu::UnicodeString> m_patternErrors;
    std::optional<icu::UnicodeString> m_errors;
    bool m_isEnabled = true;
    std::optional<icu::UnicodeString> m_outputErrors;
    icu::UnicodeString m_outputTemplate;

    // The regular expression of the last parse, keyed by the trimmed pattern it came from and,
    // when the pattern embeds other expanders, by the controller's list and the revision of the
    // expanders it was parsed at. Only a cache: an edited pattern simply misses. The
    // documentation pane matches examples on a background thread while the main thread
    // expands, so the cache has its own lock.
    struct ParsedPattern {
        icu::UnicodeString trimmedPattern;
        icu::UnicodeString regexPattern;
        bool embedsExpanders = false;
        uint64_t listId = 0;
        uint64_t revision = 0;
    };
    mutable std::mutex m_parsedPatternMutex;
    mutable std::optional<ParsedPattern> m_parsedPattern;
};

using CustomExpanderPtr = std::shared_ptr<CustomExpander>;

} // namespace quillet
