#include "text/TemplateSubexpressionPattern.h"

#include "expansion/OutputVariablePattern.h"
#include "text/PatternPattern.h"

namespace quillet {

TemplateSubexpressionPatternMatch::TemplateSubexpressionPatternMatch(const OptionalCaptureGroups& groups)
    : match(groupText(groups, 0).value_or(icu::UnicodeString()))
    , optionalExpression(groupText(groups, 2))
    , variablePattern(groupText(groups, 3))
{
}

icu::UnicodeString TemplateSubexpressionPatternMatch::expression() const
{
    return optionalExpression ? *optionalExpression : variablePattern.value_or(icu::UnicodeString());
}

const icu::UnicodeString& TemplateSubexpressionPattern::pattern()
{
    static const icu::UnicodeString expression =
        PatternPattern::optionalPartPattern() + u"|(" + OutputVariablePattern::pattern() + u")";
    return expression;
}

} // namespace quillet
