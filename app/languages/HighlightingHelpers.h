#pragma once

#include <unicode/unistr.h>

#include <string>

namespace quillet::detail {

/// An expression built with ICU in the form the text view's patterns hand out.
inline std::u16string toU16String(const icu::UnicodeString& expression)
{
    return std::u16string(expression.getBuffer(), std::size_t(expression.length()));
}

} // namespace quillet::detail
