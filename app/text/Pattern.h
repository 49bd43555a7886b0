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
} // namespace detail

/// A syntax of the system as one regular expression, and the record of one of its matches.
///
/// Each pattern type derives from Pattern<Itself, ItsMatch> and provides
/// `static const icu::UnicodeString& pattern()`, a constant built once on first use.
/// The match record is built from the groups of one match: `explicit Match(const OptionalCaptureGroups&)`,
/// entry 0 the whole match, entry k group k. Records copy group texts; ranges are not kept.
/// Matching is case-insensitive unless the expression switches that off inline.
template <typename Derived, typename MatchType>
class Pattern {
public:
    using Match = MatchType;

    /// Every match in text order; an expression that does not compile gives none.
    static std::vector<Match> matches(const icu::UnicodeString& text)
    {
        std::vector<Match> result;
        for (const auto& groups : optionalCaptureGroups(text, Derived::pattern()))
            result.emplace_back(groups);
        return result;
    }

    /// The text with every match replaced by what transform returns for its record.
    /// Text that belongs to no match stays where it is. The transform's errors propagate.
    static icu::UnicodeString replacingMatches(const icu::UnicodeString& text,
                                               const std::function<icu::UnicodeString(const Match&)>& transform)
    {
        return detail::replacingGroupMatches(text, Derived::pattern(),
                                             [&](const OptionalCaptureGroups& groups) { return transform(Match(groups)); });
    }
};

} // namespace quillet
