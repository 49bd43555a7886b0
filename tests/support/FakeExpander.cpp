#include "support/FakeExpander.h"

#include "text/StringHelpers.h"
#include "variables/PatternParser.h"

namespace quillet::test {

ProgrammingLanguagePtr language(const icu::UnicodeString& id)
{
    return std::make_shared<FakeLanguage>(id);
}

FakeExpander::FakeExpander(icu::UnicodeString identifier, icu::UnicodeString pattern, ProgrammingLanguageList languages,
    std::optional<icu::UnicodeString> output, icu::UnicodeString name)
    : m_identifier(std::move(identifier))
    , m_pattern(std::move(pattern))
    , m_languages(std::move(languages))
    , m_output(std::move(output))
    , m_name(name.isEmpty() ? m_identifier : std::move(name))
{
}

std::shared_ptr<FakeExpander> FakeExpander::make(icu::UnicodeString identifier, icu::UnicodeString pattern,
    ProgrammingLanguageList languages, std::optional<icu::UnicodeString> output)
{
    return std::make_shared<FakeExpander>(
        std::move(identifier), std::move(pattern), std::move(languages), std::move(output));
}

icu::UnicodeString FakeExpander::expand(const icu::UnicodeString& expression, const ExpanderLookup&) const
{
    return m_output.value_or(expression);
}

icu::UnicodeString FakeExpander::matchPattern(const ExpanderLookup& expanderController) const
{
    return PatternParser(trimmingWhitespace(m_pattern), this, expanderController).regexPattern();
}

} // namespace quillet::test
