#pragma once

#include <unicode/unistr.h>

#include <string>
#include <string_view>

namespace quillet {

/// UTF-8 → UTF-16. Malformed UTF-8 sequences become U+FFFD.
icu::UnicodeString fromUtf8(std::string_view utf8);

/// UTF-16 → UTF-8. Unpaired surrogates become U+FFFD.
std::string toUtf8(const icu::UnicodeString& text);

/// Shorthand for UTF-16 literals in code and tests: u16(u"text").
inline icu::UnicodeString u16(const char16_t* text)
{
    return icu::UnicodeString(text);
}

} // namespace quillet
