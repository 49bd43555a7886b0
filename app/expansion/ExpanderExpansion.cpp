#include "expansion/ExpanderExpansion.h"

#include "expansion/ExpanderController.h"
#include "library/Expander.h"
#include "text/RegexCache.h"
#include "text/StringHelpers.h"

#include <unicode/regex.h>

#include <exception>
#include <memory>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace quillet {
namespace {

/// One suffix expression: the literal every match holds, and the compiled expression with a
/// matcher that is reset for every text, compiled on first need.
struct SuffixMatcher {
    icu::UnicodeString requiredLiteral;
    bool isCompiled = false;
    std::unique_ptr<icu::RegexPattern> pattern;
    std::unique_ptr<icu::RegexMatcher> matcher; // null when the expression does not compile
};

/// Lets the cache be searched with a view of the expression, without copying it.
struct TextHash {
    using is_transparent = void;
    std::size_t operator()(std::u16string_view text) const noexcept { return std::hash<std::u16string_view>{}(text); }
};

/// Beyond this many distinct expressions the cache starts afresh (edited patterns leave stale ones).
constexpr std::size_t maximumCachedExpressions = 50000;
// Every enabled pattern is tried against the line on each expansion, so one hostile pattern's
// time limit is paid on every keystroke, and a library may hold many. A real pattern matches
// one line in microseconds; this is ICU's step count, on the order of tens of milliseconds.
constexpr int32_t suffixMatchTimeLimit = 50;

icu::UnicodeString anchored(const icu::UnicodeString& expression);

bool isPlainLiteral(char16_t c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9')
        || std::u16string_view(u" _-,:;=<>@#%&~`\"'/").find(c) != std::u16string_view::npos;
}

bool isQuantifier(char16_t c)
{
    return c == u'?' || c == u'*' || c == u'+' || c == u'{';
}

/// Suffix expressions keyed by the pattern's expression, so that an expansion does not compile
/// every pattern of the library again. The same text always compiles to the same expression, so
/// results are those of a fresh compile. One cache per thread: matchers are not shareable.
SuffixMatcher& suffixMatcher(const icu::UnicodeString& patternExpression)
{
    thread_local std::unordered_map<std::u16string, SuffixMatcher, TextHash, std::equal_to<>> cache;
    const std::u16string_view key(patternExpression.getBuffer(), static_cast<std::size_t>(patternExpression.length()));
    if (auto it = cache.find(key); it != cache.end())
        return it->second;
    if (cache.size() >= maximumCachedExpressions)
        cache.clear();
    SuffixMatcher entry;
    entry.requiredLiteral = requiredLiteral(patternExpression);
    return cache.emplace(std::u16string(key), std::move(entry)).first->second;
}

void compile(SuffixMatcher& entry, const icu::UnicodeString& patternExpression)
{
    entry.isCompiled = true;
    UErrorCode status = U_ZERO_ERROR;
    entry.pattern.reset(icu::RegexPattern::compile(anchored(patternExpression), 0, status));
    if (U_SUCCESS(status) && entry.pattern) {
        entry.matcher.reset(entry.pattern->matcher(status));
        if (U_SUCCESS(status) && entry.matcher)
            entry.matcher->setTimeLimit(suffixMatchTimeLimit, status); // a hostile pattern gives no match
        if (U_FAILURE(status))
            entry.matcher.reset();
    }
}

/// The leftmost match (case-sensitive, no options) of the pattern's expression anchored at the
/// end of the text.
std::optional<icu::UnicodeString> firstSuffixMatch(const icu::UnicodeString& text,
                                                   const icu::UnicodeString& patternExpression)
{
    auto& entry = suffixMatcher(patternExpression);
    if (!entry.requiredLiteral.isEmpty() && text.indexOf(entry.requiredLiteral) < 0)
        return std::nullopt;
    if (!entry.isCompiled)
        compile(entry, patternExpression);
    if (!entry.matcher)
        return std::nullopt;
    UErrorCode status = U_ZERO_ERROR;
    // The matcher keeps a reference to the text until the next reset; it is only read after one.
    entry.matcher->reset(text);
    if (!entry.matcher->find(status) || U_FAILURE(status))
        return std::nullopt;
    const int32_t start = entry.matcher->start(status);
    const int32_t end = entry.matcher->end(status);
    if (U_FAILURE(status))
        return std::nullopt;
    return icu::UnicodeString(text, start, end - start);
}

/// The expression anchored at the end as a whole, so that an unpaired "|" of a pattern (an
/// alternation) cannot leave one alternative unanchored. The group captures nothing, so group
/// numbers stay those of the pattern.
icu::UnicodeString anchored(const icu::UnicodeString& expression)
{
    icu::UnicodeString result(u"(?:");
    result.append(expression).append(u")$");
    return result;
}

/// The code-unit length of the text before its last characters when they are canonically
/// equivalent to `suffix` (as many characters as it has); none otherwise.
std::optional<int32_t> prefixLengthBeforeSuffix(const icu::UnicodeString& text, const icu::UnicodeString& suffix)
{
    if (suffix.isEmpty())
        return text.length();
    const auto textCharacters = characters(text);
    const std::size_t suffixCharacters = static_cast<std::size_t>(characterCount(suffix));
    if (suffixCharacters > textCharacters.size())
        return std::nullopt;
    int32_t start = text.length();
    for (std::size_t i = 0; i < suffixCharacters; ++i)
        start -= textCharacters[textCharacters.size() - 1 - i].length();
    if (!textEquals(text.tempSubString(start), suffix))
        return std::nullopt;
    return start;
}

bool isIndentationBlank(char16_t c)
{
    return c == u' ' || c == u'\t' || c == u'\u00A0';
}

/// Puts the indentation of the text's first line in front of every later line of the output.
icu::UnicodeString reindented(const icu::UnicodeString& prefix, const icu::UnicodeString& output)
{
    const icu::UnicodeString firstLine = prefix + output;
    int32_t indentationLength = 0;
    while (indentationLength < firstLine.length() && isIndentationBlank(firstLine.charAt(indentationLength)))
        ++indentationLength;
    if (indentationLength == 0 || output.indexOf(u'\n') < 0)
        return output;
    const icu::UnicodeString indentation(firstLine, 0, indentationLength);
    icu::UnicodeString result;
    for (int32_t i = 0; i < output.length(); ++i) {
        result.append(output.charAt(i));
        if (output.charAt(i) == u'\n')
            result.append(indentation);
    }
    return result;
}

ExpandedExpression composed(const icu::UnicodeString& prefix, const icu::UnicodeString& rawOutput)
{
    // Only the generated output carries markers and escapes; the typed prefix stays as it is.
    const icu::UnicodeString output = unescapeCharacters(reindented(prefix, rawOutput), {u"|"});
    ExpandedExpression result;
    if (const auto marker = firstUnescapedHashOffset(output)) {
        const icu::UnicodeString head = prefix + unescapeCharacters(output.tempSubString(0, *marker), {u"#"});
        result.cursorPosition = characterCount(head);
        result.text = head + unescapeCharacters(output.tempSubString(*marker + 1), {u"#"});
    } else {
        result.text = prefix + unescapeCharacters(output, {u"#"});
        result.cursorPosition = characterCount(result.text);
    }
    return result;
}

} // namespace

icu::UnicodeString requiredLiteral(const icu::UnicodeString& expression)
{
    const char16_t* units = expression.getBuffer();
    const int32_t length = expression.length();
    if (units == nullptr)
        return {};

    // The structure, as the expression compiler reads it: escapes, sets, groups, alternatives.
    int groupDepth = 0;
    int setDepth = 0;
    for (int32_t i = 0; i < length; ++i) {
        const char16_t c = units[i];
        if (c == u'\\') {
            if (i + 1 >= length || units[i + 1] == u'Q' || units[i + 1] == u'E' || units[i + 1] == u'p'
                || units[i + 1] == u'P' || units[i + 1] == u'N' || units[i + 1] == u'x')
                return {}; // quoting and named or braced escapes are not followed here
            ++i;
        } else if (c == u'[') {
            if (i + 1 < length && (units[i + 1] == u']' || units[i + 1] == u'^' || units[i + 1] == u':'))
                return {}; // set forms whose first "]" or ":" reads differently
            ++setDepth;
        } else if (setDepth > 0) {
            if (c == u']')
                --setDepth;
        } else if (c == u'(') {
            if (i + 2 < length && units[i + 1] == u'?' && units[i + 2] == u'#')
                return {}; // a comment ends at its first ")"
            ++groupDepth;
        } else if (c == u')') {
            if (--groupDepth < 0)
                return {};
        } else if (c == u'|' && groupDepth == 0) {
            return {};
        }
    }
    if (groupDepth != 0 || setDepth != 0)
        return {};

    icu::UnicodeString literal;
    int32_t i = 0;
    while (i < length) {
        if (isPlainLiteral(units[i])) {
            literal.append(units[i]);
            ++i;
        } else if (units[i] == u'\\' && i + 1 < length && units[i + 1] < 0x80 && !isPlainLiteral(units[i + 1])
                   && !(units[i + 1] >= u'a' && units[i + 1] <= u'z') && !(units[i + 1] >= u'A' && units[i + 1] <= u'Z')
                   && !(units[i + 1] >= u'0' && units[i + 1] <= u'9') && units[i + 1] > 0x20) {
            literal.append(units[i + 1]); // an escaped punctuation character stands for itself
            i += 2;
        } else {
            break;
        }
    }
    // A quantifier after the run makes its last character optional or repeated.
    if (i < length && isQuantifier(units[i]) && !literal.isEmpty())
        literal.truncate(literal.length() - 1);
    return literal;
}

std::optional<icu::UnicodeString> matchedText(const Expander& expander, const icu::UnicodeString& text,
                                              const ExpanderController& expanderController)
{
    if (text.indexOf(u'\n') >= 0)
        return std::nullopt;
    const auto matched = firstSuffixMatch(text, expander.matchPattern(expanderController));
    if (!matched || !prefixLengthBeforeSuffix(text, *matched))
        return std::nullopt;
    return matched;
}

std::optional<ExpandedExpression> expandedExpression(const Expander& expander, const icu::UnicodeString& text,
                                                     const ExpanderController& expanderController)
{
    if (text.indexOf(u'\n') >= 0)
        return std::nullopt;
    icu::UnicodeString expression;
    try {
        expression = expander.matchPattern(expanderController);
    } catch (const std::exception&) {
        return std::nullopt; // a pattern that does not parse simply does not apply
    }
    const auto matched = firstSuffixMatch(text, expression);
    if (!matched)
        return std::nullopt;
    const auto prefixLength = prefixLengthBeforeSuffix(text, *matched);
    if (!prefixLength)
        return std::nullopt;
    const icu::UnicodeString output = expander.expand(*matched, expanderController);
    return composed(icu::UnicodeString(text, 0, *prefixLength), output);
}

} // namespace quillet
