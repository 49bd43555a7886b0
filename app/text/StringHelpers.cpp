#include "text/StringHelpers.h"

#include "text/RegexCache.h"
#include "text/StringMatching.h"

#include <unicode/brkiter.h>
#include <unicode/locid.h>
#include <unicode/normalizer2.h>
#include <unicode/uchar.h>

#include <climits>
#include <memory>

namespace quillet {

namespace {

template <typename Entry, typename MakeEntry>
std::vector<std::vector<std::optional<Entry>>> collectGroups(
    const icu::UnicodeString& text, const icu::UnicodeString& expression, MakeEntry makeEntry)
{
    std::vector<std::vector<std::optional<Entry>>> result;
    if (expression.isEmpty())
        return result;
    UErrorCode status = U_ZERO_ERROR;
    auto pattern = RegexCache::compile(expression, RegexCache::caseInsensitive, status);
    if (!pattern)
        return result;
    auto matcher = RegexCache::matcher(*pattern, text, status);
    if (!matcher)
        return result;
    const int32_t groupCount = matcher->groupCount();
    while (matcher->find(status) && U_SUCCESS(status)) {
        std::vector<std::optional<Entry>> match(static_cast<std::size_t>(groupCount) + 1);
        for (int32_t group = 0; group <= groupCount; ++group) {
            const int32_t start = matcher->start(group, status);
            const int32_t end = matcher->end(group, status);
            if (U_FAILURE(status) || start < 0)
                continue;
            match[static_cast<std::size_t>(group)] = makeEntry(TextRange { start, end - start });
        }
        result.push_back(std::move(match));
    }
    // A match that ran out of time is treated like an expression that matches nothing.
    if (U_FAILURE(status))
        result.clear();
    return result;
}

icu::BreakIterator& characterIterator()
{
    thread_local std::unique_ptr<icu::BreakIterator> iterator = [] {
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::BreakIterator> made(
            icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
        return made;
    }();
    return *iterator;
}

std::vector<icu::UnicodeString> componentsSeparatedBy(const icu::UnicodeString& text, UChar separator)
{
    std::vector<icu::UnicodeString> parts;
    int32_t start = 0;
    for (int32_t i = 0; i < text.length(); ++i) {
        if (text.charAt(i) == separator) {
            parts.push_back(icu::UnicodeString(text, start, i - start));
            start = i + 1;
        }
    }
    parts.push_back(icu::UnicodeString(text, start));
    return parts;
}

bool isHorizontalWhitespace(UChar32 c)
{
    return c == u'\t' || u_charType(c) == U_SPACE_SEPARATOR;
}

} // namespace

std::vector<CaptureGroups> captureGroups(const icu::UnicodeString& text, const icu::UnicodeString& expression)
{
    return collectGroups<icu::UnicodeString>(
        text, expression, [&](TextRange range) { return icu::UnicodeString(text, range.location, range.length); });
}

std::vector<OptionalCaptureGroups> optionalCaptureGroups(
    const icu::UnicodeString& text, const icu::UnicodeString& expression)
{
    return collectGroups<CapturedGroup>(text, expression, [&](TextRange range) {
        return CapturedGroup { range, icu::UnicodeString(text, range.location, range.length) };
    });
}

std::optional<OptionalCaptureGroups> firstMatchGroups(
    const icu::UnicodeString& text, const icu::UnicodeString& expression, uint32_t flags)
{
    struct LastAnswer {
        icu::UnicodeString text;
        icu::UnicodeString expression;
        uint32_t flags = 0;
        std::optional<OptionalCaptureGroups> groups;
        bool isSet = false;
    };
    thread_local LastAnswer last;
    if (last.isSet && last.flags == flags && last.expression == expression && last.text == text)
        return last.groups;

    UErrorCode status = U_ZERO_ERROR;
    const auto pattern = RegexCache::compile(expression, flags, status);
    if (!pattern)
        return std::nullopt;
    const auto matcher = RegexCache::matcher(*pattern, text, status);
    if (!matcher)
        return std::nullopt;
    RegexCache::limitWork(*matcher, status);
    std::optional<OptionalCaptureGroups> result;
    if (U_SUCCESS(status) && matcher->find(status) && U_SUCCESS(status)) {
        const int32_t groupCount = matcher->groupCount();
        OptionalCaptureGroups groups(static_cast<std::size_t>(groupCount) + 1);
        for (int32_t group = 0; group <= groupCount; ++group) {
            const int32_t start = matcher->start(group, status);
            const int32_t end = matcher->end(group, status);
            if (U_SUCCESS(status) && start >= 0)
                groups[static_cast<std::size_t>(group)] = CapturedGroup { TextRange { start, end - start },
                    // A group over the whole text shares its buffer rather than copying it.
                    start == 0 && end == text.length() ? text : icu::UnicodeString(text, start, end - start) };
        }
        result = std::move(groups);
    }
    if (RegexCache::ranOut(status))
        throw RegexError(expression, status);
    last = LastAnswer { .text = text, .expression = expression, .flags = flags, .groups = result, .isSet = true };
    return result;
}

std::optional<icu::UnicodeString> captureGroup(const CaptureGroups& match, int32_t group)
{
    if (group < 0 || static_cast<std::size_t>(group) >= match.size())
        return std::nullopt;
    return match[static_cast<std::size_t>(group)];
}

std::vector<icu::UnicodeString> splitBySeparator(const icu::UnicodeString& text, const icu::UnicodeString& separator)
{
    std::vector<icu::UnicodeString> pieces;
    for (const auto& match : captureGroups(text, u"(.+?)((" + separator + u")|$)")) {
        if (auto piece = captureGroup(match, 1))
            pieces.push_back(*piece);
    }
    return pieces;
}

icu::UnicodeString unescapeCharacters(const icu::UnicodeString& text, const std::vector<icu::UnicodeString>& characters)
{
    icu::UnicodeString result = text;
    for (const auto& character : characters)
        result.findAndReplace(u"\\" + character, character);
    return result;
}

bool matchesRegex(const icu::UnicodeString& text, const icu::UnicodeString& expression)
{
    if (expression.isEmpty())
        return true;
    UErrorCode status = U_ZERO_ERROR;
    auto pattern = RegexCache::compile(expression, 0, status);
    if (!pattern)
        return false;
    auto matcher = RegexCache::matcher(*pattern, text, status);
    return matcher && matcher->find(status) && U_SUCCESS(status);
}

bool matchesWholeText(const icu::UnicodeString& text, const icu::UnicodeString& expression)
{
    UErrorCode status = U_ZERO_ERROR;
    auto pattern = RegexCache::compile(expression, 0, status);
    if (!pattern)
        return false;
    auto matcher = RegexCache::matcher(*pattern, text, status);
    return matcher && matcher->matches(status) && U_SUCCESS(status);
}

icu::UnicodeString escapeHTMLCharacters(const icu::UnicodeString& text)
{
    icu::UnicodeString result = text;
    result.findAndReplace(u"<", u"&lt;");
    result.findAndReplace(u">", u"&gt;");
    return result;
}

icu::UnicodeString escapeHTML(const icu::UnicodeString& text)
{
    auto parts = lines(text);
    for (auto& line : parts) {
        if (!line.startsWith(u">"))
            line = escapeHTMLCharacters(line);
    }
    return joined(parts, u"\n");
}

icu::UnicodeString escapeHTMLText(const icu::UnicodeString& text)
{
    icu::UnicodeString result = text;
    result.findAndReplace(u"&", u"&amp;");
    result.findAndReplace(u"<", u"&lt;");
    result.findAndReplace(u">", u"&gt;");
    result.findAndReplace(u"\"", u"&quot;");
    return result;
}

const std::vector<icu::UnicodeString>& patternSyntaxCharacters()
{
    static const std::vector<icu::UnicodeString> set { u":", u",", u"{", u"}", u"$" };
    return set;
}

const std::vector<icu::UnicodeString>& templateSyntaxCharacters()
{
    static const std::vector<icu::UnicodeString> set { u",", u"{", u"}", u"$" };
    return set;
}

icu::UnicodeString escapingPatternSyntax(const icu::UnicodeString& text)
{
    return escapeCharacters(text, patternSyntaxCharacters());
}

icu::UnicodeString unescapingPatternSyntax(const icu::UnicodeString& text)
{
    return unescapeCharacters(text, patternSyntaxCharacters());
}

icu::UnicodeString escapingTemplateSyntax(const icu::UnicodeString& text)
{
    return escapeCharacters(text, templateSyntaxCharacters());
}

icu::UnicodeString unescapingTemplateSyntax(const icu::UnicodeString& text)
{
    return unescapeCharacters(text, templateSyntaxCharacters());
}

std::vector<icu::UnicodeString> characters(const icu::UnicodeString& text)
{
    std::vector<icu::UnicodeString> result;
    auto& iterator = characterIterator();
    iterator.setText(text);
    int32_t start = iterator.first();
    for (int32_t end = iterator.next(); end != icu::BreakIterator::DONE; start = end, end = iterator.next())
        result.push_back(icu::UnicodeString(text, start, end - start));
    return result;
}

CharacterWalk walkCharacters(const icu::UnicodeString& text, int64_t limit)
{
    // A code unit below U+0300 other than a carriage return is a character of its own when the
    // unit after it is one too (no rule of grapheme clusters joins two such units), so long runs
    // of them are counted without the break iterator. What lies between them goes through it, cut
    // where two such units meet, which is always a boundary.
    const char16_t* units = text.getBuffer();
    const int32_t length = text.length();
    if (units == nullptr)
        return {};
    auto isSimple = [&](int32_t i) { return units[i] < 0x0300 && units[i] != u'\r'; };
    CharacterWalk walk;
    int32_t i = 0;
    while (i < length && walk.characters < limit) {
        if (isSimple(i) && (i + 1 >= length || isSimple(i + 1))) {
            ++walk.characters;
            ++i;
            continue;
        }
        int32_t end = i + 1;
        while (end < length && !(isSimple(end - 1) && isSimple(end)))
            ++end;
        auto& iterator = characterIterator();
        const icu::UnicodeString stretch = text.tempSubString(i, end - i);
        iterator.setText(stretch);
        iterator.first();
        int32_t boundary = 0;
        for (int32_t next = iterator.next(); next != icu::BreakIterator::DONE && walk.characters < limit;
             next = iterator.next()) {
            ++walk.characters;
            boundary = next;
        }
        if (boundary < end - i) {
            i += boundary; // the limit was reached inside the stretch
            break;
        }
        i = end;
    }
    walk.codeUnits = i;
    return walk;
}

int32_t characterCount(const icu::UnicodeString& text)
{
    return static_cast<int32_t>(walkCharacters(text, INT64_MAX).characters);
}

bool isWordCodePoint(UChar32 c)
{
    if (c < 0x80)
        return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'_';
    if (c == 0x200C || c == 0x200D || u_hasBinaryProperty(c, UCHAR_ALPHABETIC))
        return true;
    const int8_t type = u_charType(c);
    return type == U_NON_SPACING_MARK || type == U_ENCLOSING_MARK || type == U_COMBINING_SPACING_MARK
        || type == U_DECIMAL_DIGIT_NUMBER || type == U_CONNECTOR_PUNCTUATION;
}

bool isBlank(const icu::UnicodeString& character)
{
    return character == u"\t" || character == u" " || character == u"\u00A0" || character == u"\n";
}

icu::UnicodeString lowercasedCharacter(const icu::UnicodeString& character)
{
    icu::UnicodeString mapped = character;
    mapped.toLower(icu::Locale::getRoot());
    auto parts = characters(mapped);
    return parts.empty() ? mapped : parts.front();
}

icu::UnicodeString uppercasedCharacter(const icu::UnicodeString& character)
{
    icu::UnicodeString mapped = character;
    mapped.toUpper(icu::Locale::getRoot());
    auto parts = characters(mapped);
    return parts.empty() ? mapped : parts.front();
}

bool isUppercase(const icu::UnicodeString& character)
{
    icu::UnicodeString mapped = character;
    return character == mapped.toUpper(icu::Locale::getRoot());
}

bool isLowercase(const icu::UnicodeString& character)
{
    icu::UnicodeString mapped = character;
    return character == mapped.toLower(icu::Locale::getRoot());
}

icu::UnicodeString canonicalForm(const icu::UnicodeString& text)
{
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* nfc = icu::Normalizer2::getNFCInstance(status);
    if (U_FAILURE(status))
        return text;
    icu::UnicodeString normalized = nfc->normalize(text, status);
    return U_SUCCESS(status) ? normalized : text;
}

bool textEquals(const icu::UnicodeString& a, const icu::UnicodeString& b)
{
    return a == b || canonicalForm(a) == canonicalForm(b);
}

std::vector<icu::UnicodeString> lines(const icu::UnicodeString& text)
{
    return componentsSeparatedBy(text, u'\n');
}

std::vector<icu::UnicodeString> words(const icu::UnicodeString& text)
{
    return componentsSeparatedBy(text, u' ');
}

icu::UnicodeString joined(const std::vector<icu::UnicodeString>& parts, const icu::UnicodeString& separator)
{
    icu::UnicodeString result;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i > 0)
            result += separator;
        result += parts[i];
    }
    return result;
}

icu::UnicodeString trimmingWhitespace(const icu::UnicodeString& text)
{
    int32_t start = 0;
    int32_t end = text.length();
    while (start < end && isHorizontalWhitespace(text.char32At(start)))
        start = text.moveIndex32(start, 1);
    while (end > start) {
        const int32_t previous = text.moveIndex32(end, -1);
        if (!isHorizontalWhitespace(text.char32At(previous)))
            break;
        end = previous;
    }
    return icu::UnicodeString(text, start, end - start);
}

bool isEmptyText(const icu::UnicodeString& text)
{
    return text.isEmpty();
}

bool isIdentifierRegexText(const icu::UnicodeString& text)
{
    return text == u"[A-Za-z0-9_$]+";
}

bool isSingleLine(const icu::UnicodeString& text)
{
    return text.indexOf(u'\n') < 0;
}

icu::UnicodeString appendingNewline(const icu::UnicodeString& text)
{
    return text + u"\n";
}

icu::UnicodeString prepending(const icu::UnicodeString& text, const icu::UnicodeString& prefix)
{
    return prefix + text;
}

void repeat(icu::UnicodeString& text, int count)
{
    text = repeated(text, count);
}

icu::UnicodeString leadingWhitespace(const icu::UnicodeString& text)
{
    return firstMatch(text, u"^[\\t\\ ]+").value_or(icu::UnicodeString());
}

icu::UnicodeString firstLineLeadingBlanks(const icu::UnicodeString& text)
{
    return leadingBlanks(lines(text).front());
}

icu::UnicodeString replacingTabs(const icu::UnicodeString& text, int spaces)
{
    icu::UnicodeString result = text;
    result.findAndReplace(u"\t", repeated(u" ", spaces));
    return result;
}

int32_t lengthReplacingTabs(const icu::UnicodeString& text, int spaces)
{
    return characterCount(replacingTabs(text, spaces));
}

icu::UnicodeString indentedByTabs(const icu::UnicodeString& text, int tabs)
{
    const icu::UnicodeString indent = repeated(u"\t", tabs);
    auto parts = lines(text);
    for (auto& line : parts)
        line = indent + line;
    return joined(parts, u"\n");
}

icu::UnicodeString indentedByTab(const icu::UnicodeString& text)
{
    return indentedByTabs(text, 1);
}

icu::UnicodeString prefixingLines(const icu::UnicodeString& text, const icu::UnicodeString& prefix, bool includingFirst)
{
    auto parts = lines(text);
    for (std::size_t i = includingFirst ? 0 : 1; i < parts.size(); ++i)
        parts[i] = prefix + parts[i];
    return joined(parts, u"\n");
}

std::optional<int32_t> firstUnescapedHashOffset(const icu::UnicodeString& text)
{
    // What the expression "^#|[^\\]{1}#" finds, by a plain scan: no time limit can cut a long text short.
    for (int32_t i = text.indexOf(u'#'); i >= 0; i = text.indexOf(u'#', i + 1)) {
        if (i == 0 || text.charAt(i - 1) != u'\\')
            return i;
    }
    return std::nullopt;
}

bool hasSubstring(const icu::UnicodeString& text, const icu::UnicodeString& needle, int32_t endingAtOffset)
{
    const auto textCharacters = characters(text);
    if (endingAtOffset < 0 || endingAtOffset > static_cast<int32_t>(textCharacters.size()))
        return false;
    if (needle.isEmpty())
        return true;
    const int32_t needleCount = characterCount(needle);
    // An offset before the needle's end cannot have the needle ending there.
    if (endingAtOffset < needleCount)
        return false;
    icu::UnicodeString candidate;
    for (int32_t i = endingAtOffset - needleCount; i < endingAtOffset; ++i)
        candidate += textCharacters[static_cast<std::size_t>(i)];
    return textEquals(candidate, needle);
}

icu::UnicodeString removingEnclosingParentheses(const icu::UnicodeString& text)
{
    const auto parts = characters(text);
    if (parts.empty() || parts.front() != u"(" || parts.back() != u")")
        return text;
    return removingSuffix(removingPrefix(text, u"("), u")");
}

icu::UnicodeString toIdentifier(const icu::UnicodeString& text)
{
    icu::UnicodeString result = replacingMatchesWithTemplate(text, u"^\\s+", u"");
    result = replacingMatchesWithTemplate(result, u"\\s+$", u"");
    result = replacingMatchesWithTemplate(result, u"[^\\w_\\s]", u"");
    result = replacingMatchesWithTemplate(result, u"(\\w)\\s+(\\w)", u"$1_$2");
    return result.toLower(icu::Locale::getRoot());
}

bool isMatched(const icu::UnicodeString& expression, const icu::UnicodeString& text)
{
    return !expression.isEmpty() && matchesRegex(text, expression);
}

} // namespace quillet

namespace quillet {

icu::UnicodeString replacingTabsWithIndentUnit(const icu::UnicodeString& text, const icu::UnicodeString& indentUnit)
{
    icu::UnicodeString result = text;
    result.findAndReplace(u"\t", indentUnit);
    return result;
}

} // namespace quillet
