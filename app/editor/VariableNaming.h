#pragma once

#include <unicode/unistr.h>

namespace quillet {

/// The name a new variable gets when none can be made from the selection.
inline constexpr char16_t defaultVariableName[] = u"foo";

/// The name of a new variable made from the text the user had selected: characters that are
/// neither word characters nor blanks are dropped, blanks at both ends are trimmed, every
/// run of blanks inside becomes one "_", and the result is lower-cased. A selection that
/// leaves no word character (nothing selected, punctuation only) gives defaultVariableName,
/// so the result is always a valid declaration name.
icu::UnicodeString variableNameFromSelection(const icu::UnicodeString& selectedText);

/// The colour of a token whose text starts at `location` (UTF-16) of `wholeText`: "#bbbbbb"
/// inside an optional part (between two unescaped "|"), "#52C0FF" elsewhere.
icu::UnicodeString tokenColorHex(const icu::UnicodeString& wholeText, int32_t location);

} // namespace quillet
