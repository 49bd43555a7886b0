#pragma once

#include "text/StringHelpers.h"

#include <unicode/unistr.h>

#include <optional>
#include <vector>

namespace quillet {

/// Hand-written matchers for the two expressions that every pattern parse runs several times:
/// the segmenting expression (PatternPattern) and the variable declaration (VariablePattern).
///
/// Each gives exactly the capture groups, ranges and texts that the regular expression gives
/// (matched case-insensitive, as Pattern does) for every text it accepts, at a fraction of the
/// cost. It accepts a short text of printable ASCII and tabs only, where the expressions'
/// classes, case folding and line ends cannot differ and a match cannot run out of time;
/// for any other text it answers none, and the caller matches with the expression.
class PatternScanner {
public:
    /// The longest text scanned, in UTF-16 code units.
    static constexpr int32_t longestScannedText = 256;

    /// The matches of PatternPattern::pattern() (groups 0 to 3), or none when the text is not scanned.
    static std::optional<std::vector<OptionalCaptureGroups>> segments(const icu::UnicodeString& text);
    /// The matches of VariablePattern::pattern() (groups 0 to 5), or none when the text is not scanned.
    static std::optional<std::vector<OptionalCaptureGroups>> declarations(const icu::UnicodeString& text);
};

} // namespace quillet
