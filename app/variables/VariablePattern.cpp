#include "variables/VariablePattern.h"

#include "text/PatternScanner.h"

namespace quillet {

VariablePatternMatch::VariablePatternMatch(const OptionalCaptureGroups& groups)
    : match(groupText(groups, 0).value_or(icu::UnicodeString()))
    , name(groupText(groups, 1).value_or(icu::UnicodeString()))
    , type(groupText(groups, 2).value_or(icu::UnicodeString()))
    , params(groupText(groups, 3))
    , defaultValue(groupText(groups, 5))
{
}

const icu::UnicodeString& VariablePattern::pattern()
{
    static const icu::UnicodeString expression(u"\\$\\{(\\w+?):(\\w+?\\?"
                                               u"?)(?:\\((.+?)(?<!\\\\)\\))?(=([^}]*))?(?<!\\\\)\\}");
    return expression;
}

std::optional<std::vector<OptionalCaptureGroups>> VariablePattern::scannedCaptureGroups(const icu::UnicodeString& text)
{
    return PatternScanner::declarations(text);
}

} // namespace quillet
