#include "expansion/Filters.h"

#include "expansion/Digest.h"

#include "text/StringMatching.h"
#include "text/UnicodeConversion.h"

#include <unicode/locid.h>
#include <unicode/regex.h>
#include <unicode/ucasemap.h>
#include <unicode/ustring.h>

#include <algorithm>
#include <cstddef>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

namespace quillet {
namespace {

// Case mappings are the full Unicode mappings without regard to any locale, so a sharp s
// upper-cases to "SS" and a Turkish dotless i maps the same everywhere.
icu::UnicodeString upperCased(icu::UnicodeString text)
{
    return text.toUpper(icu::Locale::getRoot());
}

icu::UnicodeString lowerCased(icu::UnicodeString text)
{
    return text.toLower(icu::Locale::getRoot());
}

// The results below are sized for the whole text up front and filled in runs: a one-megabyte
// value grown unit by unit would be copied again at every growth of its buffer.

icu::UnicodeString removingSpaces(const icu::UnicodeString& text)
{
    if (text.indexOf(u' ') < 0)
        return text;
    const char16_t* units = text.getBuffer();
    const int32_t length = text.length();
    icu::UnicodeString result(length, 0, 0);
    int32_t runStart = 0;
    for (int32_t i = 0; i < length; ++i) {
        if (units[i] == u' ') {
            result.append(text, runStart, i - runStart);
            runStart = i + 1;
        }
    }
    return result.append(text, runStart, length - runStart);
}

bool isWordDelimiter(char16_t c)
{
    switch (c) {
    case u' ':
    case u'\t':
    case u'\n':
    case u'\v':
    case u'\f':
    case u'\r':
    case u'\u0085':
    case u'\u2028':
    case u'\u2029':
        return true;
    default:
        return false;
    }
}

/// The word in title case as one whole string (the root locale's full mappings), after result.
void appendTitleCased(icu::UnicodeString& result, const char16_t* word, int32_t length)
{
    // One case map per thread keeps its title iterator: made per word, it would cost more than
    // the mapping on a long text of short words.
    thread_local const std::unique_ptr<UCaseMap, decltype(&ucasemap_close)> caseMap = [] {
        UErrorCode status = U_ZERO_ERROR;
        UCaseMap* map = ucasemap_open("", U_TITLECASE_WHOLE_STRING, &status);
        return std::unique_ptr<UCaseMap, decltype(&ucasemap_close)>(U_SUCCESS(status) ? map : nullptr, ucasemap_close);
    }();
    thread_local std::u16string mapped;
    UErrorCode status = U_ZERO_ERROR;
    int32_t mappedLength = 0;
    if (caseMap) {
        mapped.resize(std::max(mapped.size(), static_cast<std::size_t>(length) + 8));
        mappedLength = ucasemap_toTitle(
            caseMap.get(), mapped.data(), static_cast<int32_t>(mapped.size()), word, length, &status);
        if (status == U_BUFFER_OVERFLOW_ERROR) {
            status = U_ZERO_ERROR;
            mapped.resize(static_cast<std::size_t>(mappedLength));
            mappedLength = ucasemap_toTitle(caseMap.get(), mapped.data(), mappedLength, word, length, &status);
        }
    }
    if (caseMap && U_SUCCESS(status)) {
        result.append(mapped.data(), 0, mappedLength);
        return;
    }
    icu::UnicodeString copy(word, length);
    result.append(copy.toTitle(nullptr, icu::Locale::getRoot(), U_TITLECASE_WHOLE_STRING));
}

/// In every run of characters between spaces, tabs and line terminators: the first letter in
/// title case, the rest in lower case. The delimiters stay as they are.
icu::UnicodeString capitalized(const icu::UnicodeString& text)
{
    const char16_t* units = text.getBuffer();
    const int32_t length = text.length();
    icu::UnicodeString result(length, 0, 0);
    int32_t i = 0;
    while (i < length) {
        if (isWordDelimiter(units[i])) {
            int32_t end = i + 1;
            while (end < length && isWordDelimiter(units[end]))
                ++end;
            result.append(text, i, end - i);
            i = end;
            continue;
        }
        int32_t end = i;
        while (end < length && !isWordDelimiter(units[end]))
            ++end;
        appendTitleCased(result, units + i, end - i);
        i = end;
    }
    return result;
}

/// Replaces every non-overlapping match of a fixed two-group expression with "$1_$2".
/// The expressions are ours and compiled once; the text is only searched, never used as a template.
icu::UnicodeString insertingUnderscores(const icu::UnicodeString& text, const icu::RegexPattern& pattern)
{
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::RegexMatcher> matcher(pattern.matcher(text, status));
    if (U_FAILURE(status))
        return text;
    icu::UnicodeString result(text.length() + text.length() / 8, 0, 0);
    int32_t copied = 0;
    while (matcher->find(status) && U_SUCCESS(status)) {
        const int32_t firstStart = matcher->start(1, status);
        const int32_t firstEnd = matcher->end(1, status);
        const int32_t secondStart = matcher->start(2, status);
        const int32_t matchEnd = matcher->end(status);
        result.append(text, copied, firstStart - copied);
        result.append(text, firstStart, firstEnd - firstStart);
        result.append(u'_');
        result.append(text, secondStart, matchEnd - secondStart);
        copied = matchEnd;
    }
    result.append(text, copied, text.length() - copied);
    return result;
}

const icu::RegexPattern& compiledOnce(const char16_t* expression)
{
    UErrorCode status = U_ZERO_ERROR;
    auto* pattern = icu::RegexPattern::compile(icu::UnicodeString(expression), 0, status);
    if (U_FAILURE(status) || !pattern)
        throw std::logic_error("a fixed filter expression does not compile");
    return *pattern; // kept for the life of the process
}

} // namespace

icu::UnicodeString UppercaseFilter::apply(const icu::UnicodeString& text) const
{
    return upperCased(text);
}

namespace {

bool isAsciiUpper(char16_t c)
{
    return c >= u'A' && c <= u'Z';
}
bool isAsciiLower(char16_t c)
{
    return c >= u'a' && c <= u'z';
}
bool isAsciiDigit(char16_t c)
{
    return c >= u'0' && c <= u'9';
}

/// Puts "_" between a run of capitals (with digits after it) and the capital that starts a
/// lower-case word: "HTTPServer" → "HTTP_Server", "MD5Sum" → "MD5_Sum". The same result as
/// replacing every match of ([A-Z]+[0-9]*)([A-Z][a-z]) from left to right, but in one linear
/// scan: the expression backtracks quadratically over a long run of capitals, and the text
/// is whatever the user typed.
icu::UnicodeString separatingAcronymsFromWords(const icu::UnicodeString& text)
{
    const int32_t length = text.length();
    icu::UnicodeString result(length + length / 8, 0, 0);
    int32_t copied = 0;
    int32_t i = 0;
    while (i < length) {
        if (!isAsciiUpper(text[i])) {
            ++i;
            continue;
        }
        const int32_t runStart = i;
        int32_t runEnd = i;
        while (runEnd < length && isAsciiUpper(text[runEnd]))
            ++runEnd;
        int32_t digitsEnd = runEnd;
        while (digitsEnd < length && isAsciiDigit(text[digitsEnd]))
            ++digitsEnd;

        std::optional<int32_t> underscoreAt;
        if (digitsEnd > runEnd) {
            // Capitals, digits, then a capitalised word: the whole run and the digits go first.
            if (digitsEnd + 1 < length && isAsciiUpper(text[digitsEnd]) && isAsciiLower(text[digitsEnd + 1]))
                underscoreAt = digitsEnd;
        } else if (runEnd < length && isAsciiLower(text[runEnd]) && runEnd - runStart >= 2) {
            // The run's last capital starts the word.
            underscoreAt = runEnd - 1;
        }
        if (!underscoreAt) {
            i = runEnd;
            continue;
        }
        result.append(text, copied, *underscoreAt - copied).append(u'_');
        copied = *underscoreAt;
        i = *underscoreAt + 2; // the search goes on after the word's first lower-case letter
    }
    return result.append(text, copied, length - copied);
}

} // namespace

icu::UnicodeString LowercaseFilter::apply(const icu::UnicodeString& text) const
{
    return lowerCased(text);
}

icu::UnicodeString SnakeCaseFilter::apply(const icu::UnicodeString& text) const
{
    // A "_" between a lower-case letter and the capital after it, then between a run of capitals
    // (with digits) and the capital that starts a lower-case word; ASCII letters only.
    static const icu::RegexPattern& lowerUpper = compiledOnce(u"([a-z])([A-Z])");
    return lowerCased(separatingAcronymsFromWords(insertingUnderscores(text, lowerUpper)));
}

icu::UnicodeString PascalCaseFilter::apply(const icu::UnicodeString& text) const
{
    icu::UnicodeString spaced(text);
    spaced.findAndReplace(u"_", u" ");
    return removingSpaces(capitalized(spaced));
}

icu::UnicodeString CamelCaseFilter::apply(const icu::UnicodeString& text) const
{
    icu::UnicodeString joined(text.length(), 0, 0);
    int32_t partStart = 0;
    while (true) {
        const int32_t underscore = text.indexOf(u'_', partStart);
        const int32_t partEnd = underscore < 0 ? text.length() : underscore;
        joined.append(uppercasingFirstCharacter(icu::UnicodeString(text, partStart, partEnd - partStart)));
        if (underscore < 0)
            break;
        partStart = underscore + 1;
    }
    return lowercasingFirstCharacter(joined);
}

icu::UnicodeString CapitalizeFilter::apply(const icu::UnicodeString& text) const
{
    return capitalized(text);
}

icu::UnicodeString MD5Filter::apply(const icu::UnicodeString& text) const
{
    // Unpaired surrogates become U+FFFD, so every text has bytes to digest.
    return fromUtf8(md5Hex(toUtf8(text)));
}

icu::UnicodeString SHA1Filter::apply(const icu::UnicodeString& text) const
{
    return fromUtf8(sha1Hex(toUtf8(text)));
}

icu::UnicodeString RemoveSpacesFilter::apply(const icu::UnicodeString& text) const
{
    return removingSpaces(text);
}

icu::UnicodeString LCFirstFilter::apply(const icu::UnicodeString& text) const
{
    return lowercasingFirstCharacter(text);
}

icu::UnicodeString UCFirstFilter::apply(const icu::UnicodeString& text) const
{
    return uppercasingFirstCharacter(text);
}

} // namespace quillet
