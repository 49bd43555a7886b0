#pragma once

#include "text/StringHelpers.h"

#include <unicode/unistr.h>

#include <functional>
#include <optional>
#include <vector>

namespace quillet {

/// The text of group `group` of one match, absent when the group took no part
/// (or does not exist). Records read their fields with it by fixed group number.
std::optional<icu::UnicodeString> groupText(const OptionalCaptureGroups& groups, int32_t group);

namespace detail {
/// Replaces every match of expression (compiled case-insensitive) by what transform makes of its
/// groups, cut from the unchanged text. Throws RegexError when the expression does not compile.
icu::UnicodeString replacingGroupMatches(const icu::UnicodeString& text, const icu::UnicodeString& expression,
    const std::function<icu::UnicodeString(const OptionalCaptureGroups&)>& transform);

/// Replaces each match of allGroups (found in text, in text order) by what transform makes of it.
template <typename Transform>
icu::UnicodeString replacingGroups(
    const icu::UnicodeString& text, const std::vector<OptionalCaptureGroups>& allGroups, Transform&& transform)
{
    icu::UnicodeString result = text;
    int32_t offset = 0;
    for (const auto& groups : allGroups) {
        const TextRange range = groups.front()->range;
        const icu::UnicodeString replaced = transform(groups);
        result.replace(range.location + offset, range.length, replaced);
        offset += replaced.length() - range.length;
    }
    return result;
}
} // namespace detail

/// A syntax of the system as one regular expression, and the record of one of its matches.
///
/// Each pattern type derives from Pattern<Itself, ItsMatch> and provides
/// `static const icu::UnicodeString& pattern()`, a constant built once on first use.
/// The match record is built from the groups of one match: `explicit Match(const OptionalCaptureGroups&)`,
/// entry 0 the whole match, entry k group k. Records copy group texts; ranges are not kept.
/// Matching is case-insensitive unless the expression switches that off inline.
///
/// A pattern type may also provide `static std::optional<std::vector<OptionalCaptureGroups>>
/// scannedCaptureGroups(const icu::UnicodeString&)`: the groups the expression gives, found
/// without it, or none to match with the expression.
template <typename Derived, typename MatchType> class Pattern {
public:
    using Match = MatchType;

    /// Every match in text order; an expression that does not compile gives none.
    static std::vector<Match> matches(const icu::UnicodeString& text)
    {
        std::vector<Match> result;
        for (const auto& groups : matchGroups(text))
            result.emplace_back(groups);
        return result;
    }

    /// The text with every match replaced by what transform returns for its record.
    /// Text that belongs to no match stays where it is. The transform's errors propagate.
    template <typename Transform>
    static icu::UnicodeString replacingMatches(const icu::UnicodeString& text, Transform&& transform)
    {
        if constexpr (isScanned) {
            if (!text.isEmpty()) {
                if (auto scanned = Derived::scannedCaptureGroups(text)) {
                    return detail::replacingGroups(
                        text, *scanned, [&](const OptionalCaptureGroups& groups) { return transform(Match(groups)); });
                }
            }
        }
        return detail::replacingGroupMatches(
            text, Derived::pattern(), [&](const OptionalCaptureGroups& groups) { return transform(Match(groups)); });
    }

    /// The groups, with their ranges, of every match in text order.
    static std::vector<OptionalCaptureGroups> matchGroups(const icu::UnicodeString& text)
    {
        if constexpr (isScanned) {
            if (auto scanned = Derived::scannedCaptureGroups(text))
                return std::move(*scanned);
        }
        return optionalCaptureGroups(text, Derived::pattern());
    }

private:
    static constexpr bool isScanned = requires(const icu::UnicodeString& text) { Derived::scannedCaptureGroups(text); };
};

} // namespace quillet
