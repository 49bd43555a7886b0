#pragma once

// Regular-expression replacement and search, escaping, prefix and suffix removal,
// and the Character-offset line operations. Pure functions; see StringHelpers.h for units.

#include "text/StringHelpers.h"

#include <unicode/unistr.h>

#include <functional>
#include <optional>
#include <vector>

namespace quillet {

/// Replaces every match of expression (flags i, x, m) by what replacement makes of its groups.
/// Groups are cut from the unchanged text. Throws RegexError for an expression that does not
/// compile; the replacement's error ends the operation. Empty text or expression: unchanged.
icu::UnicodeString replacingMatches(const icu::UnicodeString& text, const icu::UnicodeString& expression,
    const std::function<icu::UnicodeString(const CaptureGroups&)>& replacement);

/// ICU's replace-all with a "$n" template (case-sensitive). Only for fixed expressions and
/// templates: never put user text or a regex fragment into the template.
icu::UnicodeString replacingMatchesWithTemplate(const icu::UnicodeString& text, const icu::UnicodeString& expression,
    const icu::UnicodeString& replacementTemplate);

/// The leftmost match (case-sensitive); absent for an empty or invalid expression.
std::optional<icu::UnicodeString> firstMatch(const icu::UnicodeString& text, const icu::UnicodeString& expression);

/// The whole-match text of every match (case-insensitive); empty for an invalid expression.
std::vector<icu::UnicodeString> matchedStrings(const icu::UnicodeString& text, const icu::UnicodeString& expression);

/// The text case-folded after removing the non-spacing marks of its canonical decomposition:
/// "é" and "E" fold alike. containsIgnoringCase compares folded texts.
icu::UnicodeString foldedForSearch(const icu::UnicodeString& text);

/// Case- and diacritic-insensitive containment; an empty needle is always contained.
bool containsIgnoringCase(const icu::UnicodeString& text, const icu::UnicodeString& needle);

/// Puts a backslash before every occurrence of each string, in list order.
icu::UnicodeString escapeCharacters(const icu::UnicodeString& text, const std::vector<icu::UnicodeString>& characters);
/// A backslash before each of \ + ( ) { } [ ] ^ $ . * | ? ! (hyphen, "#" and whitespace stay).
icu::UnicodeString escapingRegexMetacharacters(const icu::UnicodeString& text);

icu::UnicodeString removingPrefix(const icu::UnicodeString& text, const icu::UnicodeString& prefix);
/// Compares the last Characters by canonical equivalence, case-sensitive.
icu::UnicodeString removingSuffix(const icu::UnicodeString& text, const icu::UnicodeString& suffix);
/// The leading run of tab, space, no-break space and line feed.
icu::UnicodeString leadingBlanks(const icu::UnicodeString& text);
icu::UnicodeString repeated(const icu::UnicodeString& text, int count);

std::optional<icu::UnicodeString> characterAtOffset(const icu::UnicodeString& text, int32_t offset);
std::optional<int32_t> lineStartOffset(const icu::UnicodeString& text, int32_t offset);
std::optional<int32_t> lineEndOffset(const icu::UnicodeString& text, int32_t offset);
/// The Characters of the caret's line before the caret (a Character offset).
std::optional<icu::UnicodeString> currentLinePrefix(const icu::UnicodeString& text, int32_t caretOffset);

icu::UnicodeString transformingFirstCharacter(
    const icu::UnicodeString& text, const std::function<icu::UnicodeString(const icu::UnicodeString&)>& transform);
icu::UnicodeString lowercasingFirstCharacter(const icu::UnicodeString& text);
icu::UnicodeString uppercasingFirstCharacter(const icu::UnicodeString& text);

} // namespace quillet
