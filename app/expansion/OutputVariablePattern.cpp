#include "expansion/OutputVariablePattern.h"

#include "expansion/FilterPattern.h"

namespace quillet {

OutputVariableMatch::OutputVariableMatch(const OptionalCaptureGroups& groups)
    : match(groupText(groups, 0).value_or(icu::UnicodeString()))
    , name(groupText(groups, 1).value_or(icu::UnicodeString()))
    , filters(groupText(groups, 2))
{
}

const icu::UnicodeString& OutputVariablePattern::pattern()
{
    static const icu::UnicodeString expression = u"\\$\\{(\\w+)((" + FilterPattern::pattern() + u")*)\\}";
    return expression;
}

} // namespace quillet
