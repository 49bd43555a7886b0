#pragma once

#include "text/StringHelpers.h"

#include <unicode/unistr.h>

#include <cstdint>
#include <optional>
#include <vector>

namespace quillet {

/// An expander's output with the places where values stand.
///
/// The caret marker "#" and the escapes "\#" and "\|" belong to the template's own text; a
/// value (what the user typed, a default, a switch's replacement, after its filters) goes in
/// exactly as it is. `values` holds the UTF-16 ranges of the values in `text`, in order and
/// without overlaps.
struct GeneratedOutput {
    icu::UnicodeString text;
    std::vector<TextRange> values;

    /// Appends template text.
    void appendTemplate(const icu::UnicodeString& part) { text.append(part); }
    // An output that starts with a value or another output too long for the room it has takes
    // that text's buffer instead of copying it (UnicodeString shares buffers until one is
    // written): a one-megabyte value passes through several outputs on its way into the result.
    /// Appends a value as a whole.
    void appendValue(const icu::UnicodeString& value);
    /// Appends another output, keeping its value ranges.
    void append(const GeneratedOutput& other);

    /// The parts one after another, their texts copied once into a text of the final length
    /// (appending one long value after another would copy the growing text again each time).
    static GeneratedOutput joined(const std::vector<GeneratedOutput>& parts);
};

/// The output with its escapes resolved in the template's text, its caret marker (the first
/// "#" of the template's text without a template backslash before it) taken out, and the
/// UTF-16 offset where the marker stood (none without a marker).
struct ResolvedOutput {
    icu::UnicodeString text;
    std::optional<int32_t> caretOffset;
};
/// Written after `head`, which is kept as it is; the offset then counts from the start of head.
ResolvedOutput resolved(const GeneratedOutput& output, const icu::UnicodeString& head = {});

} // namespace quillet
