#include "docs/HTMLGenerators.h"

#include "expansion/ExpanderController.h"
#include "library/CustomExpander.h"
#include "text/StringHelpers.h"
#include "variables/PatternParser.h"
#include "variables/Variable.h"

namespace quillet {

icu::UnicodeString SyntaxHTMLGenerator::generate(
    const CustomExpander& expander, const ExpanderController& expanderController) const
{
    return PatternParser(expander.pattern(), &expander, expanderController).patternHTML();
}

icu::UnicodeString VariablesHTMLGenerator::generate(
    const CustomExpander& expander, const ExpanderController& expanderController) const
{
    const PatternParser parser(expander.pattern(), &expander, expanderController);
    const auto variables = parser.flattenedVariables();
    if (variables.empty())
        return {};
    std::vector<TagContent> rows;
    const VariableHTMLGenerator rowGenerator;
    for (const auto& variable : variables)
        rows.emplace_back(rowGenerator.generate(*variable));
    const Tag body(TagName::tbody, std::nullopt, std::nullopt, {}, std::move(rows));
    return Tag(TagName::table, icu::UnicodeString(u"variables"), std::nullopt,
        { { u"cell-spacing", u"0" }, { u"cell-padding", u"0" } }, { body })
        .html();
}

Tag VariableHTMLGenerator::generate(const InputVariable& variable) const
{
    const icu::UnicodeString details = variable.documentationHTML();
    const icu::UnicodeString name = escapeHTMLCharacters(variable.name());
    icu::UnicodeString defaultValue;
    if (const auto* withDefault = dynamic_cast<const VariableWithDefaultValue*>(&variable))
        defaultValue = withDefault->defaultValueHTML();
    const Tag nameCell(TagName::td, std::nullopt, std::nullopt, {},
        { Tag(TagName::div, icu::UnicodeString(u"name"), std::nullopt, {}, { name }) });
    const Tag detailsCell(TagName::td, std::nullopt, std::nullopt, {},
        { Tag(TagName::div, icu::UnicodeString(u"details"), std::nullopt, {}, { details }), defaultValue });
    return Tag(TagName::tr, icu::UnicodeString(u"variable"), std::nullopt, {}, { nameCell, detailsCell });
}

icu::UnicodeString LanguagesHTMLGenerator::generate(const CustomExpander& expander) const
{
    icu::UnicodeString html;
    const LanguageHTMLGenerator languageGenerator;
    for (const auto& language : expander.supportedLanguages())
        html += languageGenerator.generate(*language);
    return html;
}

icu::UnicodeString LanguageHTMLGenerator::generate(const ProgrammingLanguage& language) const
{
    return Tag(
        TagName::div, icu::UnicodeString(u"language"), std::nullopt, {}, { escapeHTMLCharacters(language.name()) })
        .html();
}

} // namespace quillet
