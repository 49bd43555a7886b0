#pragma once

#include "text/Pattern.h"

#include <unicode/unistr.h>

namespace quillet {

/// One filter suffix of a placeholder: a full stop and the filter's identifier.
struct FilterPatternMatch {
    explicit FilterPatternMatch(const OptionalCaptureGroups& groups);

    icu::UnicodeString match; ///< the suffix with its full stop
    icu::UnicodeString name; ///< the filter identifier
};

/// "\.(\w+)": the filter suffixes of a placeholder's chain, in order.
class FilterPattern : public Pattern<FilterPattern, FilterPatternMatch> {
public:
    static const icu::UnicodeString& pattern();
};

} // namespace quillet
