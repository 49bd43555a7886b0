#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace orv {

/// An opaque sRGB colour; components run from 0 to 1. The text view turns it into its
/// toolkit's colour when it lays a format over the text.
struct Color {
    double red = 0;
    double green = 0;
    double blue = 0;
    double alpha = 1;

    /// Reads "#RRGGBB" (hexadecimal digits in either case), ignoring white space and line
    /// breaks around it. Anything but "#" followed by six more characters gives no colour.
    /// A pair that does not start with a hexadecimal digit reads as 0, and a pair with one
    /// leading digit reads as that digit, so "#GGGGGG" is opaque black. The result is
    /// always opaque.
    static std::optional<Color> fromRgb(std::u16string_view text);

    friend bool operator==(const Color&, const Color&) = default;
};

namespace detail {

// The white space and line breaks that surround a colour text in the wild: every Unicode
// space separator plus the control-character line breaks and tabs.
constexpr bool isWhitespaceOrNewline(char32_t c)
{
    return c == u' ' || (c >= 0x09 && c <= 0x0D) || c == 0x85 || c == 0xA0 || c == 0x1680
        || (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000;
}

constexpr std::optional<uint32_t> hexDigitValue(char16_t c)
{
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (c >= u'a' && c <= u'f')
        return c - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c - u'A' + 10;
    return std::nullopt;
}

// Reads leading hexadecimal digits and stops at the first other unit; no digit reads as 0.
constexpr uint32_t scanHexPair(std::u16string_view pair)
{
    uint32_t value = 0;
    for (char16_t c : pair) {
        const auto digit = hexDigitValue(c);
        if (!digit)
            break;
        value = value * 16 + *digit;
    }
    return value;
}

constexpr bool isHighSurrogate(char16_t c)
{
    return c >= 0xD800 && c <= 0xDBFF;
}
constexpr bool isLowSurrogate(char16_t c)
{
    return c >= 0xDC00 && c <= 0xDFFF;
}

} // namespace detail

inline std::optional<Color> Color::fromRgb(std::u16string_view text)
{
    // All trimmed characters are in the Basic Multilingual Plane, so trimming by UTF-16 unit is exact.
    while (!text.empty() && detail::isWhitespaceOrNewline(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && detail::isWhitespaceOrNewline(text.back()))
        text.remove_suffix(1);

    // Seven characters, counted as code points so that a character outside the Basic
    // Multilingual Plane counts once, as a reader of the text would count it.
    std::size_t characterCount = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (detail::isHighSurrogate(text[i]) && i + 1 < text.size() && detail::isLowSurrogate(text[i + 1]))
            ++i;
        ++characterCount;
    }
    if (characterCount != 7 || text.front() != u'#')
        return std::nullopt;

    // The pairs are taken by UTF-16 position; for hexadecimal digits units and characters agree.
    const auto component
        = [&](std::size_t offset) { return double(detail::scanHexPair(text.substr(offset, 2))) / 255.0; };
    return Color { .red = component(1), .green = component(3), .blue = component(5), .alpha = 1.0 };
}

} // namespace orv
