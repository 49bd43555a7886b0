#pragma once

#include "expansion/ExpandedExpression.h"
#include "text/StringHelpers.h"

#include <unicode/unistr.h>

#include <optional>

namespace quillet {

class Expander;
class ExpanderLookup;

/// One expander search over one text, on this thread, for as long as it lives: each expression's
/// suffix match of the text is remembered (the search matches a candidate again when it expands
/// it), and a long text is indexed once, so that the leading literal of every pattern is looked
/// up rather than searched for. The text must outlive the scope and stay unchanged. An inner
/// scope, opened while one is open, does nothing.
class SuffixSearchScope {
public:
    explicit SuffixSearchScope(const icu::UnicodeString& text);
    ~SuffixSearchScope();
    SuffixSearchScope(const SuffixSearchScope&) = delete;
    SuffixSearchScope& operator=(const SuffixSearchScope&) = delete;

private:
    bool m_isOutermost = false;
};

/// The abbreviation at the end of `text` that the expander's pattern matches: the leftmost
/// non-empty match of the pattern's expression followed by "$" that starts at a word start
/// (PatternParser::wordStartGuard), when it is a suffix of the text (compared by canonical
/// equivalence), however long the text. None for a text with a line feed or without such a
/// match. Throws what the expander's matchPattern throws (a pattern that does not parse), and
/// ExpandingError naming the expander when the match runs out of the search's budget of work.
std::optional<icu::UnicodeString> matchedText(
    const Expander& expander, const icu::UnicodeString& text, const ExpanderLookup& expanderController);
/// As matchedText, the place of the abbreviation in the text (UTF-16 units).
std::optional<TextRange> matchedRange(
    const Expander& expander, const icu::UnicodeString& text, const ExpanderLookup& expanderController);

/// A text that every match of the expression (compiled without flags) contains: its leading run
/// of literal characters when nothing at the top level of the expression is an alternative.
/// Empty when that cannot be told for sure. A text without it cannot match, so the library's
/// expressions need not all be compiled to learn that one line matches a few of them.
icu::UnicodeString requiredLiteral(const icu::UnicodeString& expression);

/// Whether the text holds the literal. Within a search over a long text (SuffixSearchScope) the
/// text is indexed once, so that asking for the literal of every pattern does not scan it again.
bool holdsLiteral(const icu::UnicodeString& text, const icu::UnicodeString& literal);

/// Expands the end of `text` (the text before the caret, one line) with one expander.
///
/// The matched abbreviation is replaced by the expander's output; later lines of the output are
/// indented like the first line of the text (its leading spaces, tabs and no-break spaces). In the
/// template's text only, "\|" becomes "|", the first "#" without a backslash before it is the
/// caret marker and is removed, and "\#" becomes "#"; what the user typed before the abbreviation
/// and the values in the output stay exactly as typed. Without a marker the caret goes to the end.
///
/// None when the text holds a line feed, the pattern does not parse or does not match the end
/// (an empty match is none). Throws the errors of the expander's output (generatedOutput)
/// unchanged, and ExpandingError naming the expander when the match runs out of its time limit.
std::optional<ExpandedExpression> expandedExpression(
    const Expander& expander, const icu::UnicodeString& text, const ExpanderLookup& expanderController);

} // namespace quillet
