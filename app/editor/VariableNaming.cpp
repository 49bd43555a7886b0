#include "editor/VariableNaming.h"

#include "text/PatternPattern.h"
#include "text/StringHelpers.h"
#include "text/StringMatching.h"

namespace quillet {

icu::UnicodeString variableNameFromSelection(const icu::UnicodeString& selectedText)
{
    icu::UnicodeString name = replacingMatchesWithTemplate(selectedText, u"[^\\w\\s]", u"");
    name = replacingMatchesWithTemplate(name, u"\\A\\s+", u"");
    name = replacingMatchesWithTemplate(name, u"\\s+\\z", u"");
    // One pass over whole runs: pairing "word blank word" would skip every second blank.
    name = replacingMatchesWithTemplate(name, u"\\s+", u"_");
    name.toLower();
    if (name.isEmpty() || !matchesWholeText(name, u"\\w+"))
        return defaultVariableName;
    return name;
}

icu::UnicodeString tokenColorHex(const icu::UnicodeString& wholeText, int32_t location)
{
    for (const auto& groups : optionalCaptureGroups(wholeText, PatternPattern::optionalPartPattern())) {
        const TextRange range = groups.front()->range;
        if (range.location <= location && location < range.end())
            return u"#bbbbbb";
    }
    return u"#52C0FF";
}

} // namespace quillet
