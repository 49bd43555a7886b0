#pragma once

// The text operations the pattern engine rests on: capture groups of every match,
// splitting at a separator expression, unescaping, expression tests, the HTML escape
// of documentation markup, and the Character predicates and case mappings.
//
// Units: ranges count UTF-16 code units (as ICU does); "Characters" are extended
// grapheme clusters, passed around as one-cluster strings. Every function is pure and
// may run on any thread. Compiled expressions come from the per-thread RegexCache.

#include <unicode/unistr.h>

#include <cstdint>
#include <optional>
#include <vector>

namespace quillet {

/// A group's place in the searched text, in UTF-16 code units.
struct TextRange {
    int32_t location = 0;
    int32_t length = 0;

    int32_t end() const noexcept { return location + length; }
    bool operator==(const TextRange&) const = default;
};

/// A group that took part in a match: its range and its text.
struct CapturedGroup {
    TextRange range;
    icu::UnicodeString text;
};

/// One match: entry 0 the whole match, entry k group k; absent when the group took no part.
using CaptureGroups = std::vector<std::optional<icu::UnicodeString>>;
/// One match with the ranges of its groups.
using OptionalCaptureGroups = std::vector<std::optional<CapturedGroup>>;

/// The groups of every match of expression in text, compiled case-insensitive.
/// An empty or invalid expression (or a match that runs out of time) gives no match.
std::vector<CaptureGroups> captureGroups(const icu::UnicodeString& text, const icu::UnicodeString& expression);
/// As captureGroups, with each group's UTF-16 range.
std::vector<OptionalCaptureGroups> optionalCaptureGroups(
    const icu::UnicodeString& text, const icu::UnicodeString& expression);

/// The groups of the first match of expression (compiled with ICU `flags`) in text, within the
/// work budget of the search in hand (RegexCache::limitWork). None when nothing matches or the
/// expression does not compile. Throws RegexError when the match runs out of its budget: a
/// match cut short is no answer. The last answer of the thread is kept, so asking
/// again for the same text and expression costs nothing.
std::optional<OptionalCaptureGroups> firstMatchGroups(
    const icu::UnicodeString& text, const icu::UnicodeString& expression, uint32_t flags);

/// The entry for group number `group` of one match; absent when the group took no part
/// or when the number is beyond the groups of the match (never indexes past them).
std::optional<icu::UnicodeString> captureGroup(const CaptureGroups& match, int32_t group);

/// Group 1 of every match of "(.+?)((" + separator + ")|$)": never-empty pieces.
/// The separator is an expression fragment and is trusted.
std::vector<icu::UnicodeString> splitBySeparator(const icu::UnicodeString& text, const icu::UnicodeString& separator);

/// Removes the backslash before each of the given strings, one pass per string in order.
icu::UnicodeString unescapeCharacters(
    const icu::UnicodeString& text, const std::vector<icu::UnicodeString>& characters);

/// True when expression is empty or found anywhere in text (case-sensitive, no implicit anchors).
/// An expression that does not compile gives false.
bool matchesRegex(const icu::UnicodeString& text, const icu::UnicodeString& expression);

/// True when expression matches all of text, from its first to its last code unit.
/// Unlike matchesRegex with "^…$", a trailing line feed is not accepted.
bool matchesWholeText(const icu::UnicodeString& text, const icu::UnicodeString& expression);

/// The documentation markup's escape: "<" and ">" on every line that does not start with ">".
icu::UnicodeString escapeHTML(const icu::UnicodeString& text);
/// "<" and ">" escaped over the whole text.
icu::UnicodeString escapeHTMLCharacters(const icu::UnicodeString& text);
/// "&", "<", ">" and '"' escaped, for text content of generated HTML.
icu::UnicodeString escapeHTMLText(const icu::UnicodeString& text);

/// The pattern-syntax set ":" "," "{" "}" "$" and the template-syntax set "," "{" "}" "$".
const std::vector<icu::UnicodeString>& patternSyntaxCharacters();
const std::vector<icu::UnicodeString>& templateSyntaxCharacters();
icu::UnicodeString escapingPatternSyntax(const icu::UnicodeString& text);
icu::UnicodeString unescapingPatternSyntax(const icu::UnicodeString& text);
icu::UnicodeString escapingTemplateSyntax(const icu::UnicodeString& text);
icu::UnicodeString unescapingTemplateSyntax(const icu::UnicodeString& text);

// Characters (grapheme clusters).

/// The Characters of text in order.
std::vector<icu::UnicodeString> characters(const icu::UnicodeString& text);
int32_t characterCount(const icu::UnicodeString& text);

/// How far a walk over the Characters of a text went: the Characters passed and the code units
/// they take.
struct CharacterWalk {
    int64_t characters = 0;
    int32_t codeUnits = 0;
};
/// Walks over at most `limit` Characters from the start of text, in time linear in the units
/// passed; the break iterator is only run where a unit from U+0300 on, or a carriage return,
/// stands.
CharacterWalk walkCharacters(const icu::UnicodeString& text, int64_t limit);

/// A character of the expressions' \w class: alphabetic, mark, decimal digit, connector
/// punctuation, zero-width (non-)joiner.
bool isWordCodePoint(UChar32 c);

/// Tab, space, no-break space or line feed; a CR LF pair is not blank.
bool isBlank(const icu::UnicodeString& character);
/// The first Character of the full lower-/upper-case mapping (sharp s upper-cases to one S).
icu::UnicodeString lowercasedCharacter(const icu::UnicodeString& character);
icu::UnicodeString uppercasedCharacter(const icu::UnicodeString& character);
bool isUppercase(const icu::UnicodeString& character);
bool isLowercase(const icu::UnicodeString& character);

/// The text in its canonical composed form (NFC), or the text itself if ICU cannot normalize.
icu::UnicodeString canonicalForm(const icu::UnicodeString& text);

/// Canonical equivalence, case-sensitive: the equality of names, keys and cases.
bool textEquals(const icu::UnicodeString& a, const icu::UnicodeString& b);

// Line, tab and indentation helpers (offsets and counts in Characters unless said otherwise).

std::vector<icu::UnicodeString> lines(const icu::UnicodeString& text);
std::vector<icu::UnicodeString> words(const icu::UnicodeString& text);
icu::UnicodeString joined(const std::vector<icu::UnicodeString>& parts, const icu::UnicodeString& separator);
/// Without leading and trailing spaces and tabs (line breaks stay).
icu::UnicodeString trimmingWhitespace(const icu::UnicodeString& text);
bool isEmptyText(const icu::UnicodeString& text);
bool isIdentifierRegexText(const icu::UnicodeString& text);
bool isSingleLine(const icu::UnicodeString& text);
icu::UnicodeString appendingNewline(const icu::UnicodeString& text);
icu::UnicodeString prepending(const icu::UnicodeString& text, const icu::UnicodeString& prefix);
/// In place: text becomes count copies of itself, empty when count < 1.
void repeat(icu::UnicodeString& text, int count);
icu::UnicodeString leadingWhitespace(const icu::UnicodeString& text);
icu::UnicodeString firstLineLeadingBlanks(const icu::UnicodeString& text);
icu::UnicodeString replacingTabs(const icu::UnicodeString& text, int spaces);
int32_t lengthReplacingTabs(const icu::UnicodeString& text, int spaces);
icu::UnicodeString indentedByTabs(const icu::UnicodeString& text, int tabs);
icu::UnicodeString indentedByTab(const icu::UnicodeString& text);
icu::UnicodeString prefixingLines(
    const icu::UnicodeString& text, const icu::UnicodeString& prefix, bool includingFirst);
/// UTF-16 offset of the first "#" not preceded by a backslash.
std::optional<int32_t> firstUnescapedHashOffset(const icu::UnicodeString& text);
/// True when the Characters ending at offset equal needle; false when offset is out of
/// the text or smaller than the needle's Character count.
bool hasSubstring(const icu::UnicodeString& text, const icu::UnicodeString& needle, int32_t endingAtOffset);
icu::UnicodeString removingEnclosingParentheses(const icu::UnicodeString& text);
icu::UnicodeString toIdentifier(const icu::UnicodeString& text);
/// True when expression (the receiver in the original phrasing) is found in text.
bool isMatched(const icu::UnicodeString& expression, const icu::UnicodeString& text);

/// Every tab replaced by the given indent unit (the settings' one is TextSettings::indentString()).
icu::UnicodeString replacingTabsWithIndentUnit(const icu::UnicodeString& text, const icu::UnicodeString& indentUnit);
} // namespace quillet
