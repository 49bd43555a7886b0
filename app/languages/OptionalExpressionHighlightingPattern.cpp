#include "languages/OptionalExpressionHighlightingPattern.h"

#include "languages/HighlightingHelpers.h"
#include "text/PatternPattern.h"

namespace quillet {

OptionalExpressionHighlightingPattern::OptionalExpressionHighlightingPattern()
    : ColoredHighlightingPattern(detail::toU16String(PatternPattern::optionalPartPattern()), u"#aaaaaa")
{
}

} // namespace quillet
