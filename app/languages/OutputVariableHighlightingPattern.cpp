#include "languages/OutputVariableHighlightingPattern.h"

#include "expansion/OutputVariablePattern.h"
#include "languages/HighlightingHelpers.h"

namespace quillet {

OutputVariableHighlightingPattern::OutputVariableHighlightingPattern()
    : ColoredHighlightingPattern(detail::toU16String(OutputVariablePattern::pattern()), u"#3B9AFB")
{
}

} // namespace quillet
