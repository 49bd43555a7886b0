#include "variables/SwitchVariablePattern.h"

#include "text/StringHelpers.h"
#include "text/StringMatching.h"
#include "variables/SwitchVariable.h"

namespace quillet {

const icu::UnicodeString& SwitchVariablePattern::casesPattern()
{
    static const icu::UnicodeString expression(u"((.*?(?<!\\\\):.*?(?<!\\\\)(?<!\\\\))(,|$))?");
    return expression;
}

const icu::UnicodeString& SwitchVariablePattern::casePattern()
{
    static const icu::UnicodeString expression(u"(.*?)(?<!\\\\):(.*)");
    return expression;
}

std::vector<SwitchCase> SwitchVariablePattern::cases(const icu::UnicodeString& parameters) const
{
    std::vector<SwitchCase> result;
    for (const auto& match : captureGroups(parameters, casesPattern())) {
        if (auto parsed = parseCase(captureGroup(match, 2).value_or(icu::UnicodeString())))
            result.push_back(*parsed);
    }
    return result;
}

std::optional<SwitchCase> SwitchVariablePattern::parseCase(const icu::UnicodeString& caseText) const
{
    const auto matches = captureGroups(caseText, casePattern());
    if (matches.empty())
        return std::nullopt;
    return SwitchCase { unescapingPatternSyntax(captureGroup(matches.front(), 1).value_or(icu::UnicodeString())),
        unescapingPatternSyntax(captureGroup(matches.front(), 2).value_or(icu::UnicodeString())) };
}

icu::UnicodeString SwitchVariablePattern::caseString(
    const icu::UnicodeString& key, const icu::UnicodeString& value) const
{
    return escapingPatternSyntax(key) + u":" + escapingPatternSyntax(value);
}

icu::UnicodeString SwitchVariablePattern::string(const std::vector<SwitchCase>& cases) const
{
    std::vector<icu::UnicodeString> parts;
    for (const auto& switchCase : cases)
        parts.push_back(caseString(switchCase.key, switchCase.value));
    return joined(parts, u",");
}

icu::UnicodeString SwitchVariablePattern::regex(const std::vector<SwitchCase>& cases) const
{
    std::vector<icu::UnicodeString> parts;
    for (const auto& switchCase : cases)
        parts.push_back(switchCase.key == SwitchVariable::defaultCaseKey()
                ? icu::UnicodeString(u".*")
                : escapingRegexMetacharacters(switchCase.key));
    return joined(parts, u"|");
}

} // namespace quillet
