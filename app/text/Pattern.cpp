#include "text/Pattern.h"

#include "text/RegexCache.h"

namespace quillet {

std::optional<icu::UnicodeString> groupText(const OptionalCaptureGroups& groups, int32_t group)
{
    if (group < 0 || static_cast<std::size_t>(group) >= groups.size() || !groups[static_cast<std::size_t>(group)])
        return std::nullopt;
    return groups[static_cast<std::size_t>(group)]->text;
}

namespace detail {

icu::UnicodeString replacingGroupMatches(const icu::UnicodeString& text, const icu::UnicodeString& expression,
    const std::function<icu::UnicodeString(const OptionalCaptureGroups&)>& transform)
{
    if (text.isEmpty() || expression.isEmpty())
        return text;
    auto pattern = RegexCache::compileOrThrow(expression, RegexCache::caseInsensitive);
    // All matches are collected against the unchanged text first, so records describe the
    // input whatever earlier replacements did to the result.
    return replacingGroups(text, optionalCaptureGroups(text, expression), transform);
}

} // namespace detail

} // namespace quillet
