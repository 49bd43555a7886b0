#include "languages/PatternVariableHighlightingPattern.h"

#include "languages/HighlightingHelpers.h"
#include "variables/VariablePattern.h"

namespace quillet {

PatternVariableHighlightingPattern::PatternVariableHighlightingPattern()
    : ColoredHighlightingPattern(detail::toU16String(VariablePattern::pattern()), u"#3B9AFB")
{
}

} // namespace quillet
