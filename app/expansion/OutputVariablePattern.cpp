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

namespace {

std::optional<CapturedGroup> captured(const icu::UnicodeString& text, int32_t start, int32_t end)
{
    return CapturedGroup { TextRange { start, end - start }, icu::UnicodeString(text, start, end - start) };
}

/// The end of the run of word characters that starts at `start` (start itself when none).
int32_t wordRunEnd(const icu::UnicodeString& text, int32_t start)
{
    int32_t end = start;
    while (end < text.length() && isWordCodePoint(text.char32At(end)))
        end = text.moveIndex32(end, 1);
    return end;
}

} // namespace

std::optional<OptionalCaptureGroups> OutputVariablePattern::placeholderAt(const icu::UnicodeString& text, int32_t start)
{
    // "\$\{(\w+)((\.(\w+))*)\}": "." and "}" are no word characters, so every run is taken
    // whole and nothing is given back.
    const int32_t length = text.length();
    if (start + 1 >= length || text.charAt(start) != u'$' || text.charAt(start + 1) != u'{')
        return std::nullopt;
    const int32_t nameStart = start + 2;
    const int32_t nameEnd = wordRunEnd(text, nameStart);
    if (nameEnd == nameStart)
        return std::nullopt;
    int32_t position = nameEnd;
    std::optional<std::pair<int32_t, int32_t>> lastFilter;
    while (position < length && text.charAt(position) == u'.') {
        const int32_t filterEnd = wordRunEnd(text, position + 1);
        if (filterEnd == position + 1)
            break;
        lastFilter = std::make_pair(position, filterEnd);
        position = filterEnd;
    }
    if (position >= length || text.charAt(position) != u'}')
        return std::nullopt;
    OptionalCaptureGroups groups(5);
    groups[0] = captured(text, start, position + 1);
    groups[1] = captured(text, nameStart, nameEnd);
    groups[2] = captured(text, nameEnd, position);
    if (lastFilter) {
        groups[3] = captured(text, lastFilter->first, lastFilter->second);
        groups[4] = captured(text, lastFilter->first + 1, lastFilter->second);
    }
    return groups;
}

std::optional<std::vector<OptionalCaptureGroups>> OutputVariablePattern::scannedCaptureGroups(
    const icu::UnicodeString& text)
{
    std::vector<OptionalCaptureGroups> result;
    for (int32_t start = text.indexOf(u'$'); start >= 0;) {
        if (auto groups = placeholderAt(text, start)) {
            const int32_t end = (*groups)[0]->range.end();
            result.push_back(std::move(*groups));
            start = text.indexOf(u'$', end);
        } else {
            start = text.indexOf(u'$', start + 1);
        }
    }
    return result;
}

} // namespace quillet
