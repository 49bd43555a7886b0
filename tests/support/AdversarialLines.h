#pragma once

#include <unicode/unistr.h>

#include <cstdint>

namespace quillet::test {

/// A line that makes an expander's pattern work hard: the literal words of the pattern (its
/// text outside the declarations and the bars), each followed by a one-letter value, repeated
/// until the line holds at least `units` code units, then `ending` (what a user types last).
/// Every repetition looks like the start of a match, and every word like the end of a value.
icu::UnicodeString adversarialLine(const icu::UnicodeString& pattern, int32_t units, const icu::UnicodeString& ending);

/// The first example of an expander's description (a line that starts with "> "), or its
/// pattern's literal words with one-letter values when it has none.
icu::UnicodeString exampleOrLiteralWords(const icu::UnicodeString& description, const icu::UnicodeString& pattern);

} // namespace quillet::test
