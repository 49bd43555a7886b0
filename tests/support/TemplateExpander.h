#pragma once

#include "variables/Expander.h"
#include "variables/ProgrammingLanguage.h"

#include <unicode/unistr.h>

#include <memory>

namespace quillet {
class PatternParser;
}

namespace quillet::test {

/// An expander made of a pattern and an output template, for tests and benchmarks of the whole
/// engine: its pattern goes through the real pattern parser and its output through the output
/// generator. Like the library's expander, it trims the pattern and keeps the parsed pattern
/// until the pattern or the controller changes.
class TemplateExpander final : public Expander {
public:
    TemplateExpander(icu::UnicodeString pattern, icu::UnicodeString outputTemplate,
        icu::UnicodeString identifier = u"template", ProgrammingLanguageList languages = {});
    ~TemplateExpander() override;

    icu::UnicodeString identifier() const override { return m_identifier; }
    icu::UnicodeString name() const override { return m_identifier; }
    icu::UnicodeString expanderDescription() const override { return {}; }
    ProgrammingLanguageList supportedLanguages() const override { return m_languages; }
    icu::UnicodeString expand(
        const icu::UnicodeString& expression, const ExpanderLookup& expanderController) const override;
    GeneratedOutput generatedOutput(
        const icu::UnicodeString& expression, const ExpanderLookup& expanderController) const override;
    icu::UnicodeString matchPattern(const ExpanderLookup& expanderController) const override;

    void setPattern(icu::UnicodeString pattern);

private:
    const PatternParser& parser(const ExpanderLookup& expanderController) const;

    icu::UnicodeString m_pattern;
    icu::UnicodeString m_outputTemplate;
    icu::UnicodeString m_identifier;
    ProgrammingLanguageList m_languages;
    // The parse of m_pattern for m_parsedFor; rebuilt when either changes. Parsing is pure, so
    // keeping it changes no result.
    mutable std::unique_ptr<PatternParser> m_parser;
    mutable const ExpanderLookup* m_parsedFor = nullptr;
};

std::shared_ptr<TemplateExpander> templateExpander(
    icu::UnicodeString pattern, icu::UnicodeString outputTemplate, icu::UnicodeString identifier = u"template");

} // namespace quillet::test
