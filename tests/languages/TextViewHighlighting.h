#pragma once

#include "OrvTextView/HighlightingPattern.h"

#include <unicode/unistr.h>

#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace quillet::test {

/// Applies highlighting patterns to a text the way the text view does: each expression
/// compiled case-insensitively with line anchors, every whole match formatted, patterns in
/// list order, a later font replacing an earlier one and a later colour replacing an earlier
/// one only when set. Lets the tests check what the user would see, unit by unit.
struct Look {
    bool isBold = false;
    bool isItalic = false;
    std::optional<orv::Color> color;

    friend bool operator==(const Look&, const Look&) = default;
    friend void PrintTo(const Look& look, std::ostream* out)
    {
        *out << (look.isBold ? "bold" : "regular") << (look.isItalic ? " italic" : "");
        if (look.color)
            *out << " rgb(" << look.color->red << ", " << look.color->green << ", " << look.color->blue << ")";
    }
};

/// True when the expression compiles as the text view compiles it.
bool compiles(const std::u16string& pattern);

/// The [start, end) ranges, in UTF-16 units, of the whole matches of `pattern` in `text`;
/// none for an empty or invalid expression.
std::vector<std::pair<int32_t, int32_t>> matchRanges(const std::u16string& pattern, const icu::UnicodeString& text);

/// The texts of the whole matches.
std::vector<std::u16string> matchedTexts(const orv::HighlightingPattern& pattern, const icu::UnicodeString& text);

/// The look of every UTF-16 unit of `text` after all patterns.
std::vector<Look> highlight(const orv::HighlightingPatternList& patterns, const icu::UnicodeString& text);

/// The look of the first occurrence of `part` in `text`, provided the whole part looks the same;
/// none when the part is missing or mixed.
std::optional<Look> lookOf(
    const std::vector<Look>& looks, const icu::UnicodeString& text, const icu::UnicodeString& part);

} // namespace quillet::test
