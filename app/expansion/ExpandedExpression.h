#pragma once

#include <nlohmann/json_fwd.hpp>
#include <unicode/unistr.h>

#include <cstdint>

namespace quillet {

/// The result of an expansion: the whole new text and where the caret goes in it.
///
/// `cursorPosition` counts characters (extended grapheme clusters) of `text`, not code units.
/// As JSON it is {"text": …, "cursorPosition": …}.
struct ExpandedExpression {
    static constexpr const char* textKey = "text";
    static constexpr const char* cursorPositionKey = "cursorPosition";

    icu::UnicodeString text;
    int64_t cursorPosition = 0;

    /// The caret as a UTF-16 offset into `text`, for callers that place it with code-unit APIs.
    /// A position past the last character gives the text's length.
    int32_t cursorCodeUnitOffset() const;

    friend bool operator==(const ExpandedExpression& a, const ExpandedExpression& b)
    {
        return a.text == b.text && a.cursorPosition == b.cursorPosition;
    }
};

/// Writes {"text": string, "cursorPosition": integer}; the text is UTF-8.
void to_json(nlohmann::json& json, const ExpandedExpression& expression);
/// Requires both members with their types (nlohmann's out_of_range or type_error otherwise);
/// other members are ignored.
void from_json(const nlohmann::json& json, ExpandedExpression& expression);

} // namespace quillet
