#include "support/TemplateExpander.h"

#include "expansion/OutputGenerator.h"
#include "text/StringHelpers.h"
#include "variables/PatternParser.h"

namespace quillet::test {

TemplateExpander::TemplateExpander(icu::UnicodeString pattern, icu::UnicodeString outputTemplate,
    icu::UnicodeString identifier, ProgrammingLanguageList languages)
    : m_pattern(std::move(pattern))
    , m_outputTemplate(std::move(outputTemplate))
    , m_identifier(std::move(identifier))
    , m_languages(std::move(languages))
{
}

TemplateExpander::~TemplateExpander() = default;

void TemplateExpander::setPattern(icu::UnicodeString pattern)
{
    m_pattern = std::move(pattern);
    m_parser.reset();
    expandersDidChange();
}

const PatternParser& TemplateExpander::parser(const ExpanderLookup& expanderController) const
{
    if (!m_parser || m_parsedFor != &expanderController) {
        m_parser.reset();
        m_parser = std::make_unique<PatternParser>(trimmingWhitespace(m_pattern), this, expanderController);
        m_parsedFor = &expanderController;
    }
    return *m_parser;
}

icu::UnicodeString TemplateExpander::matchPattern(const ExpanderLookup& expanderController) const
{
    return parser(expanderController).regexPattern();
}

icu::UnicodeString TemplateExpander::expand(
    const icu::UnicodeString& expression, const ExpanderLookup& expanderController) const
{
    return generatedOutput(expression, expanderController).text;
}

GeneratedOutput TemplateExpander::generatedOutput(
    const icu::UnicodeString& expression, const ExpanderLookup& expanderController) const
{
    return OutputGenerator(m_outputTemplate, expanderController, parser(expanderController)).generateOutput(expression);
}

std::shared_ptr<TemplateExpander> templateExpander(
    icu::UnicodeString pattern, icu::UnicodeString outputTemplate, icu::UnicodeString identifier)
{
    return std::make_shared<TemplateExpander>(std::move(pattern), std::move(outputTemplate), std::move(identifier));
}

} // namespace quillet::test
