#pragma once

#include "text/Pattern.h"

#include <unicode/unistr.h>

#include <optional>

namespace quillet {

/// One segment of a pattern: an optional part (text between two unescaped "|") or a run of
/// required text. Exactly one of `optional` and `required` is present.
struct PatternPatternMatch {
    explicit PatternPatternMatch(const OptionalCaptureGroups& groups);

    icu::UnicodeString match; ///< the segment as written, bars included
    std::optional<icu::UnicodeString> optionalMatch; ///< the optional part with its bars
    std::optional<icu::UnicodeString> optional; ///< the text between the bars
    std::optional<icu::UnicodeString> required; ///< a required run

    bool isOptional() const noexcept { return optional.has_value(); }
    /// `optional` when present, otherwise `required`.
    icu::UnicodeString content() const;
};

/// Cuts a pattern into optional parts and required runs, in text order. Every segment list ends
/// with an empty required run; escaped and unpaired bars belong to no segment.
class PatternPattern : public Pattern<PatternPattern, PatternPatternMatch> {
public:
    /// The whole segmenting expression: optional part, "|", required run.
    static const icu::UnicodeString& pattern();
    /// An optional part with its bars: "(?ismwx-imw)((?<!\\)\|(.*?)(?<!\\)\|)". The editors
    /// highlight optional parts with it; the template subexpression pattern embeds it.
    static const icu::UnicodeString& optionalPartPattern();
    /// A required run: "(.*?(?=\||$))".
    static const icu::UnicodeString& requiredPartPattern();
    /// The groups of pattern() found by PatternScanner (none when it does not take the text).
    static std::optional<std::vector<OptionalCaptureGroups>> scannedCaptureGroups(const icu::UnicodeString& text);
};

} // namespace quillet
