#include "languages/OutputVariableHighlightingPattern.h"

#include "expansion/OutputVariablePattern.h"
#include "languages/HighlightingHelpers.h"

namespace quillet {

std::u16string OutputVariableHighlightingPattern::pattern() const
{
    return detail::toU16String(OutputVariablePattern::pattern());
}

orv::TextFormatPtr OutputVariableHighlightingPattern::format() const
{
    return detail::coloredFormat(u"#3B9AFB");
}

} // namespace quillet
