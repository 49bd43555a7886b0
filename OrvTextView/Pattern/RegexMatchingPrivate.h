#pragma once

#include "OrvTextView/Pattern/StringHelpers.h"

#include <unicode/regex.h>
#include <unicode/unistr.h>

#include <memory>

namespace orv::detail {

/// ICU flags of the highlighting and token expressions: case-insensitive, anchors at lines.
constexpr uint32_t highlightingRegexFlags = UREGEX_CASE_INSENSITIVE | UREGEX_MULTILINE;

/// ICU's limit for one match, in its steps (a few milliseconds each).
constexpr int32_t matchTimeLimit = 1000;

/// The compiled expression, or null when it is empty or does not compile. Compiled forms
/// are kept per thread, keyed by text and flags, because the view matches the same few
/// expressions on every keystroke.
std::shared_ptr<const icu::RegexPattern> compiledRegex(const QString& regex, uint32_t flags);

/// A read-only ICU view of a QString's UTF-16 units; the QString must outlive it.
inline icu::UnicodeString unicodeAlias(const QString& text)
{
    return icu::UnicodeString(false, reinterpret_cast<const UChar*>(text.utf16()), int32_t(text.size()));
}

/// The whole-match ranges of `regex` in `text` (highlighting flags), skipping nothing.
std::vector<TextRange> matchRanges(const QString& text, const QString& regex);

} // namespace orv::detail
