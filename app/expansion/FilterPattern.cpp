#include "expansion/FilterPattern.h"

namespace quillet {

FilterPatternMatch::FilterPatternMatch(const OptionalCaptureGroups& groups)
    : match(groupText(groups, 0).value_or(icu::UnicodeString()))
    , name(groupText(groups, 1).value_or(icu::UnicodeString()))
{
}

const icu::UnicodeString& FilterPattern::pattern()
{
    static const icu::UnicodeString expression(u"\\.(\\w+)");
    return expression;
}

} // namespace quillet
