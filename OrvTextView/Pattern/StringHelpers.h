#pragma once

#include "OrvTextView/OrvTextViewExport.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace orv {

/// A range of a text in UTF-16 code units, as QString, QTextDocument and ICU count them.
struct TextRange {
    int location = 0;
    int length = 0;

    int end() const { return location + length; }
    friend bool operator==(const TextRange&, const TextRange&) = default;
};

/// One match of allFullMatchesRegExWithRange(): the whole match's range and the text of
/// every range of the match (entry 0 the whole match, entry k capture group k; absent
/// where the group took no part).
struct RegexMatch {
    TextRange range;
    std::vector<std::optional<QString>> match;
};

/// The text and expression helpers of the framework. All are pure functions of their
/// arguments; none reports errors: an expression that does not compile finds nothing.
///
/// Two kinds of position are used and each function says which: UTF-16 ranges, and
/// character positions counted in grapheme clusters (a CR LF pair is one character and
/// is not a line feed).
namespace text {

/// Every match of `regex` in `text`, left to right, not overlapping. The expression is
/// compiled case-insensitively with "^" and "$" matching at every line boundary. An empty
/// or invalid expression gives no matches. Ranges are UTF-16. A match runs with a time
/// limit, so a pathological expression ends the search instead of hanging the view.
ORVTEXTVIEW_EXPORT std::vector<RegexMatch> allFullMatchesRegExWithRange(const QString& text, const QString& regex);

/// The character (grapheme cluster) at character position `index`; none outside the text.
ORVTEXTVIEW_EXPORT std::optional<QString> characterAt(const QString& text, int index);

/// The character position at which the line holding character position `index` begins;
/// none for a negative index or one not below the character count.
ORVTEXTVIEW_EXPORT std::optional<int> firstIndexInLineAtIndex(const QString& text, int index);

/// The current line from its start up to character position `index` (excluded); none
/// for a negative index, index 0 or an index past the character count; empty right
/// after a line feed.
ORVTEXTVIEW_EXPORT std::optional<QString> lineBeforeIndex(const QString& text, int index);

/// The text of the leftmost match of `regex`, searched case-sensitively with "^" and "$"
/// only at the ends of the text; none when nothing matches or the expression is empty or
/// invalid. `forwardsSearch` does not change the result.
ORVTEXTVIEW_EXPORT std::optional<QString> firstMatchRegEx(
    const QString& text, const QString& regex, bool forwardsSearch);

/// Puts a backslash before every occurrence of each entry, entry by entry in list order.
ORVTEXTVIEW_EXPORT QString escape(const QString& text, const QStringList& characters);

/// Escapes the backslash and + ( ) { } [ ] ^ $ . * | ? ! for embedding in an expression.
ORVTEXTVIEW_EXPORT QString escapedForRegEx(const QString& text);

/// The text without `prefix` when it starts with a non-empty prefix; otherwise unchanged.
ORVTEXTVIEW_EXPORT QString withoutPrefix(const QString& text, const QString& prefix);

/// True when `regex` (case-sensitive, "^" and "$" only at the text's ends) matches
/// anywhere in the text; true for an empty expression, false for an invalid one.
ORVTEXTVIEW_EXPORT bool matchesRegex(const QString& text, const QString& regex);

/// The text split into grapheme clusters.
ORVTEXTVIEW_EXPORT QStringList characters(const QString& text);

} // namespace text
} // namespace orv
