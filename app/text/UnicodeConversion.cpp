#include "text/UnicodeConversion.h"

#include <algorithm>
#include <cstdint>

namespace quillet {

icu::UnicodeString fromUtf8(std::string_view utf8)
{
    // ASCII, most of a library, converts byte for unit, several times faster than by the
    // general converter.
    if (utf8.size() <= static_cast<std::size_t>(INT32_MAX)
        && std::all_of(utf8.begin(), utf8.end(), [](char byte) { return static_cast<unsigned char>(byte) < 0x80; })) {
        icu::UnicodeString text;
        const auto length = static_cast<int32_t>(utf8.size());
        if (length == 0)
            return text;
        if (char16_t* units = text.getBuffer(length)) {
            std::copy(utf8.begin(), utf8.end(), units);
            text.releaseBuffer(length);
            return text;
        }
    }
    return icu::UnicodeString::fromUTF8(icu::StringPiece(utf8.data(), static_cast<int32_t>(utf8.size())));
}

std::string toUtf8(const icu::UnicodeString& text)
{
    std::string result;
    text.toUTF8String(result);
    return result;
}

} // namespace quillet
