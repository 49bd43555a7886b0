#pragma once

#include <unicode/unistr.h>

#include <cstdint>

namespace quillet {

// User-perceived characters (extended grapheme clusters) of a UTF-16 text. The expansion
// engine counts the caret in characters, while ICU ranges count code units.

/// The number of characters of the text.
int64_t graphemeCount(const icu::UnicodeString& text);

/// The code-unit offset at which the given character starts; the text's length when the text
/// has that many characters or fewer, 0 for a negative count.
int32_t codeUnitOffsetOfGrapheme(const icu::UnicodeString& text, int64_t characterIndex);

/// The code-unit length of the first character; 0 for the empty text.
int32_t firstGraphemeLength(const icu::UnicodeString& text);

} // namespace quillet
