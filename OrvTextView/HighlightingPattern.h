#pragma once

#include "OrvTextView/TextFormat.h"

#include <memory>
#include <string>
#include <vector>

namespace orv {

/// A regular expression whose every whole match the text view shows in `format`.
///
/// The view reads both at every re-colouring and compiles `pattern` case-insensitively with
/// "^" and "$" matching at line breaks; capture groups do not narrow the formatted range.
/// An empty or invalid expression highlights nothing. Patterns are applied in list order,
/// so where matches overlap a later format's font wins, and its colours win when it has them.
class HighlightingPattern {
public:
    virtual ~HighlightingPattern() = default;

    /// The regular expression, in UTF-16.
    virtual std::u16string pattern() const = 0;
    /// The format laid over each match. Whether each call returns the same object or a new
    /// one is up to the pattern.
    virtual TextFormatPtr format() const = 0;
};

using HighlightingPatternPtr = std::shared_ptr<const HighlightingPattern>;
using HighlightingPatternList = std::vector<HighlightingPatternPtr>;

} // namespace orv
