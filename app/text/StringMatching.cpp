#include "text/StringMatching.h"

#include "text/RegexCache.h"

#include <unicode/locid.h>
#include <unicode/normalizer2.h>
#include <unicode/uchar.h>

#include <algorithm>
#include <string>

namespace quillet {

icu::UnicodeString foldedForSearch(const icu::UnicodeString& text)
{
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* nfd = icu::Normalizer2::getNFDInstance(status);
    icu::UnicodeString decomposed = U_SUCCESS(status) ? nfd->normalize(text, status) : text;
    if (U_FAILURE(status))
        decomposed = text;
    icu::UnicodeString stripped;
    for (int32_t i = 0; i < decomposed.length(); i = decomposed.moveIndex32(i, 1)) {
        const UChar32 c = decomposed.char32At(i);
        if (u_charType(c) != U_NON_SPACING_MARK)
            stripped.append(c);
    }
    return stripped.foldCase();
}

icu::UnicodeString replacingMatches(const icu::UnicodeString& text, const icu::UnicodeString& expression,
    const std::function<icu::UnicodeString(const CaptureGroups&)>& replacement)
{
    if (text.isEmpty() || expression.isEmpty())
        return text;
    auto pattern = RegexCache::compileOrThrow(
        expression, RegexCache::caseInsensitive | RegexCache::comments | RegexCache::multiline);
    UErrorCode status = U_ZERO_ERROR;
    auto matcher = RegexCache::matcher(*pattern, text, status);
    if (!matcher)
        throw RegexError(expression, status);

    struct Found {
        TextRange range;
        CaptureGroups groups;
    };
    std::vector<Found> found;
    const int32_t groupCount = matcher->groupCount();
    while (matcher->find(status) && U_SUCCESS(status)) {
        CaptureGroups groups(static_cast<std::size_t>(groupCount) + 1);
        for (int32_t group = 0; group <= groupCount; ++group) {
            const int32_t start = matcher->start(group, status);
            if (start >= 0)
                groups[static_cast<std::size_t>(group)]
                    = icu::UnicodeString(text, start, matcher->end(group, status) - start);
        }
        const int32_t start = matcher->start(status);
        found.push_back(Found { TextRange { start, matcher->end(status) - start }, std::move(groups) });
    }
    if (U_FAILURE(status))
        throw RegexError(expression, status);

    icu::UnicodeString result = text;
    int32_t offset = 0;
    for (const auto& match : found) {
        const icu::UnicodeString replaced = replacement(match.groups);
        result.replace(match.range.location + offset, match.range.length, replaced);
        offset += replaced.length() - match.range.length;
    }
    return result;
}

icu::UnicodeString replacingMatchesWithTemplate(
    const icu::UnicodeString& text, const icu::UnicodeString& expression, const icu::UnicodeString& replacementTemplate)
{
    UErrorCode status = U_ZERO_ERROR;
    auto pattern = RegexCache::compile(expression, 0, status);
    if (!pattern)
        return text;
    auto matcher = RegexCache::matcher(*pattern, text, status);
    if (!matcher)
        return text;
    icu::UnicodeString result = matcher->replaceAll(replacementTemplate, status);
    return U_SUCCESS(status) ? result : text;
}

std::optional<icu::UnicodeString> firstMatch(const icu::UnicodeString& text, const icu::UnicodeString& expression)
{
    if (expression.isEmpty())
        return std::nullopt;
    UErrorCode status = U_ZERO_ERROR;
    auto pattern = RegexCache::compile(expression, 0, status);
    if (!pattern)
        return std::nullopt;
    auto matcher = RegexCache::matcher(*pattern, text, status);
    if (!matcher || !matcher->find(status) || U_FAILURE(status))
        return std::nullopt;
    return matcher->group(status);
}

std::vector<icu::UnicodeString> matchedStrings(const icu::UnicodeString& text, const icu::UnicodeString& expression)
{
    std::vector<icu::UnicodeString> result;
    for (const auto& match : captureGroups(text, expression))
        result.push_back(match.front().value_or(icu::UnicodeString()));
    return result;
}

bool containsIgnoringCase(const icu::UnicodeString& text, const icu::UnicodeString& needle)
{
    if (needle.isEmpty())
        return true;
    return foldedForSearch(text).indexOf(foldedForSearch(needle)) >= 0;
}

icu::UnicodeString escapeCharacters(const icu::UnicodeString& text, const std::vector<icu::UnicodeString>& characters)
{
    icu::UnicodeString result = text;
    for (const auto& character : characters)
        result.findAndReplace(character, u"\\" + character);
    return result;
}

icu::UnicodeString escapingRegexMetacharacters(const icu::UnicodeString& text)
{
    // One pass gives what escapeCharacters gives for the list \ + ( ) { } [ ] ^ $ . * | ? !:
    // every entry is one code unit and the backslash comes first, so the backslashes that
    // later entries insert are never escaped again. Every pattern builds its expression
    // with this, and fifteen find-and-replace passes dominated parsing.
    static constexpr auto isMetacharacter = [](char16_t c) {
        switch (c) {
        case u'\\':
        case u'+':
        case u'(':
        case u')':
        case u'{':
        case u'}':
        case u'[':
        case u']':
        case u'^':
        case u'$':
        case u'.':
        case u'*':
        case u'|':
        case u'?':
        case u'!':
            return true;
        default:
            return false;
        }
    };
    const int32_t length = text.length();
    const char16_t* units = text.getBuffer();
    int32_t escapes = 0;
    for (int32_t i = 0; i < length; ++i)
        escapes += isMetacharacter(units[i]) ? 1 : 0;
    if (escapes == 0)
        return text;
    std::u16string escaped;
    escaped.reserve(static_cast<std::size_t>(length + escapes));
    for (int32_t i = 0; i < length; ++i) {
        if (isMetacharacter(units[i]))
            escaped.push_back(u'\\');
        escaped.push_back(units[i]);
    }
    return icu::UnicodeString(escaped.data(), static_cast<int32_t>(escaped.size()));
}

icu::UnicodeString removingPrefix(const icu::UnicodeString& text, const icu::UnicodeString& prefix)
{
    if (prefix.isEmpty() || !text.startsWith(prefix))
        return text;
    auto textCharacters = characters(text);
    const auto prefixCount = static_cast<std::size_t>(characterCount(prefix));
    icu::UnicodeString result;
    for (std::size_t i = prefixCount; i < textCharacters.size(); ++i)
        result += textCharacters[i];
    return result;
}

icu::UnicodeString removingSuffix(const icu::UnicodeString& text, const icu::UnicodeString& suffix)
{
    if (suffix.isEmpty())
        return text;
    const auto textCharacters = characters(text);
    const auto suffixCount = static_cast<std::size_t>(characterCount(suffix));
    if (textCharacters.size() < suffixCount)
        return text;
    icu::UnicodeString head;
    icu::UnicodeString tail;
    for (std::size_t i = 0; i < textCharacters.size(); ++i)
        (i < textCharacters.size() - suffixCount ? head : tail) += textCharacters[i];
    return textEquals(tail, suffix) ? head : text;
}

icu::UnicodeString leadingBlanks(const icu::UnicodeString& text)
{
    icu::UnicodeString result;
    for (const auto& character : characters(text)) {
        if (!isBlank(character))
            break;
        result += character;
    }
    return result;
}

icu::UnicodeString repeated(const icu::UnicodeString& text, int count)
{
    icu::UnicodeString result;
    for (int i = 0; i < count; ++i)
        result += text;
    return result;
}

std::optional<icu::UnicodeString> characterAtOffset(const icu::UnicodeString& text, int32_t offset)
{
    const auto textCharacters = characters(text);
    if (offset < 0 || offset >= static_cast<int32_t>(textCharacters.size()))
        return std::nullopt;
    return textCharacters[static_cast<std::size_t>(offset)];
}

std::optional<int32_t> lineStartOffset(const icu::UnicodeString& text, int32_t offset)
{
    const auto textCharacters = characters(text);
    if (offset < 0 || offset >= static_cast<int32_t>(textCharacters.size()))
        return std::nullopt;
    int32_t start = offset;
    while (start > 0 && textCharacters[static_cast<std::size_t>(start - 1)] != u"\n")
        --start;
    return start;
}

std::optional<int32_t> lineEndOffset(const icu::UnicodeString& text, int32_t offset)
{
    const auto textCharacters = characters(text);
    const auto count = static_cast<int32_t>(textCharacters.size());
    if (offset < 0 || offset >= count)
        return std::nullopt;
    int32_t lineFeed = offset;
    while (lineFeed < count && textCharacters[static_cast<std::size_t>(lineFeed)] != u"\n")
        ++lineFeed;
    return lineFeed - 1;
}

std::optional<icu::UnicodeString> currentLinePrefix(const icu::UnicodeString& text, int32_t caretOffset)
{
    const auto textCharacters = characters(text);
    if (caretOffset < 0 || caretOffset > static_cast<int32_t>(textCharacters.size()))
        return std::nullopt;
    if (caretOffset >= 1 && textCharacters[static_cast<std::size_t>(caretOffset - 1)] == u"\n")
        return icu::UnicodeString();
    const auto start = lineStartOffset(text, caretOffset - 1);
    if (!start)
        return std::nullopt;
    icu::UnicodeString result;
    for (int32_t i = *start; i < caretOffset; ++i)
        result += textCharacters[static_cast<std::size_t>(i)];
    return result;
}

icu::UnicodeString transformingFirstCharacter(
    const icu::UnicodeString& text, const std::function<icu::UnicodeString(const icu::UnicodeString&)>& transform)
{
    if (text.isEmpty())
        return text;
    // Only the first character is looked for: splitting a long value into all of its characters
    // made a filter on it cost seconds.
    const int32_t firstLength = std::max(1, walkCharacters(text, 1).codeUnits);
    return transform(icu::UnicodeString(text, 0, firstLength)) + icu::UnicodeString(text, firstLength);
}

icu::UnicodeString lowercasingFirstCharacter(const icu::UnicodeString& text)
{
    return transformingFirstCharacter(text, lowercasedCharacter);
}

icu::UnicodeString uppercasingFirstCharacter(const icu::UnicodeString& text)
{
    return transformingFirstCharacter(text, uppercasedCharacter);
}

} // namespace quillet
