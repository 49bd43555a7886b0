#include "expansion/ExpanderExpansion.h"

#include "expansion/ExpanderController.h"
#include "expansion/ExpressionParser.h"
#include "expansion/LinearSuffixSearch.h"
#include "text/RegexCache.h"
#include "text/StringHelpers.h"
#include "text/UserErrorDescriptionType.h"
#include "variables/Expander.h"
#include "variables/PatternParser.h"

#include "OrvTextView/BoundedCache.h"

#include <unicode/brkiter.h>
#include <unicode/locid.h>
#include <unicode/regex.h>

#include <algorithm>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace quillet {
namespace {

/// One suffix expression: the literal every match holds, and the compiled expression with a
/// matcher that is reset for every text, compiled on first need.
struct SuffixMatcher {
    icu::UnicodeString requiredLiteral;
    bool isCompiled = false;
    std::unique_ptr<icu::RegexPattern> pattern;
    std::unique_ptr<icu::RegexMatcher> matcher; // null when the expression does not compile
    /// For an expression whose first value at the top level takes any text: the part before
    /// it behind the word-start guard, which finds the starts worth trying (see startsFrom).
    std::unique_ptr<icu::RegexPattern> headPattern;
    std::unique_ptr<icu::RegexMatcher> headMatcher;
    /// The automaton that finds the leftmost start on a long line in one pass, made on the first
    /// long line; null when the expression holds what it lacks.
    bool isLinearTried = false;
    std::unique_ptr<LinearSuffixSearch> linear;
    /// The answer for the text of the search `answerSearch` (see SuffixSearchScope): the search
    /// matches a candidate's expression again when it expands it.
    uint64_t answerSearch = 0;
    std::optional<TextRange> answer;
};

/// The search running on this thread (SuffixSearchScope): its text, its number, and an index of
/// the three-unit sequences a long text holds, built on first need.
struct SearchState {
    const icu::UnicodeString* text = nullptr;
    uint64_t id = 0;
    bool holdsLineFeed = false;
    std::vector<uint64_t> trigrams; // a bit per hash of three units; empty until built
    std::optional<LinearSearchText> linearText; // the line as the automaton reads it, on first need
};

SearchState& currentSearch()
{
    thread_local SearchState search;
    return search;
}

/// Whether the text holds a line feed; looked for once per search.
bool holdsLineFeed(const icu::UnicodeString& text)
{
    const auto& search = currentSearch();
    if (search.text == &text)
        return search.holdsLineFeed;
    return text.indexOf(u'\n') >= 0;
}

/// Below this length a text is searched for a literal directly.
constexpr int32_t shortestIndexedText = 4096;
constexpr uint32_t trigramBits = 1u << 16;

uint32_t trigramHash(const char16_t* units)
{
    return (uint32_t(units[0]) * 961u + uint32_t(units[1]) * 31u + uint32_t(units[2])) & (trigramBits - 1);
}

/// Whether the text holds the literal. In a search over a long text a literal with a three-unit
/// sequence the text lacks is known absent without a scan of the text for every pattern.
bool containsLiteral(const icu::UnicodeString& text, const icu::UnicodeString& literal)
{
    auto& search = currentSearch();
    if (search.text == &text && text.length() >= shortestIndexedText && literal.length() >= 3) {
        const char16_t* units = text.getBuffer();
        if (search.trigrams.empty()) {
            search.trigrams.assign(trigramBits / 64, 0);
            for (int32_t i = 0; i + 2 < text.length(); ++i) {
                const uint32_t hash = trigramHash(units + i);
                search.trigrams[hash / 64] |= uint64_t(1) << (hash % 64);
            }
        }
        const char16_t* needle = literal.getBuffer();
        for (int32_t i = 0; i + 2 < literal.length(); ++i) {
            const uint32_t hash = trigramHash(needle + i);
            if ((search.trigrams[hash / 64] & (uint64_t(1) << (hash % 64))) == 0)
                return false;
        }
    }
    return text.indexOf(literal) >= 0;
}

/// Lets the cache be searched with a view of the expression, without copying it.
struct TextHash {
    using is_transparent = void;
    std::size_t operator()(std::u16string_view text) const noexcept { return std::hash<std::u16string_view> {}(text); }
};

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
    thread_local orv::BoundedCache<std::u16string, SuffixMatcher, TextHash> cache;
    const std::u16string_view key(patternExpression.getBuffer(), static_cast<std::size_t>(patternExpression.length()));
    if (auto* found = cache.find(key))
        return *found;
    SuffixMatcher entry;
    entry.requiredLiteral = requiredLiteral(patternExpression);
    return cache.insert(std::u16string(key), std::move(entry));
}

/// The part of the expression before its first value that takes any text: a text variable's
/// group "((.+))" or "((.+?))" at the top level, perhaps optional but not repeated. None when
/// there is no such value or when something at the top level is an alternative.
std::optional<icu::UnicodeString> headBeforeAnyText(const icu::UnicodeString& expression)
{
    const std::u16string_view units(expression.getBuffer(), static_cast<std::size_t>(expression.length()));
    std::optional<std::size_t> head;
    int groupDepth = 0;
    int setDepth = 0;
    for (std::size_t i = 0; i < units.size(); ++i) {
        const char16_t c = units[i];
        if (c == u'\\') {
            ++i;
        } else if (setDepth > 0) {
            if (c == u'[')
                ++setDepth;
            else if (c == u']')
                --setDepth;
        } else if (c == u'[') {
            ++setDepth;
        } else if (c == u'(') {
            if (!head && groupDepth == 0) {
                for (const std::u16string_view value :
                    { std::u16string_view(u"((.+))"), std::u16string_view(u"((.+?))") }) {
                    const std::size_t end = i + value.size();
                    // Optional ("?") or not; a repeated value would not take the text in one piece.
                    const bool isRepeated = end < units.size() && isQuantifier(units[end]) && units[end] != u'?';
                    if (units.substr(i, value.size()) == value && !isRepeated)
                        head = i;
                }
            }
            ++groupDepth;
        } else if (c == u')') {
            --groupDepth;
        } else if (c == u'|' && groupDepth == 0) {
            return std::nullopt;
        }
    }
    if (!head || groupDepth != 0 || setDepth != 0)
        return std::nullopt;
    return icu::UnicodeString(expression, 0, static_cast<int32_t>(*head));
}

void compile(SuffixMatcher& entry, const icu::UnicodeString& patternExpression)
{
    entry.isCompiled = true;
    UErrorCode status = U_ZERO_ERROR;
    // The text is one line up to the caret: a carriage return or a line separator in it is a
    // character like any other, which a text variable takes in (the dot matches it).
    entry.pattern.reset(icu::RegexPattern::compile(anchored(patternExpression), UREGEX_DOTALL, status));
    if (U_SUCCESS(status) && entry.pattern) {
        entry.matcher.reset(entry.pattern->matcher(status));
        if (U_FAILURE(status))
            entry.matcher.reset();
    }
    if (!entry.matcher)
        return;
    entry.matcher->useTransparentBounds(true);
    if (const auto head = headBeforeAnyText(patternExpression)) {
        icu::UnicodeString headExpression(PatternParser::wordStartGuard());
        headExpression.append(u"(?:").append(*head).append(u')');
        UErrorCode headStatus = U_ZERO_ERROR;
        entry.headPattern.reset(icu::RegexPattern::compile(headExpression, UREGEX_DOTALL, headStatus));
        if (U_SUCCESS(headStatus) && entry.headPattern)
            entry.headMatcher.reset(entry.headPattern->matcher(headStatus));
        if (U_FAILURE(headStatus))
            entry.headMatcher.reset();
    }
}

/// The leftmost start of a match of an expression whose head (everything before its first
/// value that takes any text) the entry knows, trying a few starts instead of every one.
///
/// A match from a later start s' carries over to an earlier start s whose head ends at or
/// before s': the value after the head takes whatever lies between (or, optional, nothing when
/// nothing lies between), and the rest of the match stays as it was. So once a start fails, no start at or past the end
/// of its head can match, and only the starts that overlap its head are left to try; with a head of a few words that is
/// one or two matches, however many times the head recurs in the line. Sets `found` to the match's range when there is
/// one. False when the work ran out.
bool startsFrom(SuffixMatcher& entry, const icu::UnicodeString& text, std::optional<TextRange>& found)
{
    UErrorCode status = U_ZERO_ERROR;
    entry.headMatcher->reset(text);
    std::optional<int32_t> bound; // no start at or past it can match
    for (int32_t from = 0; from <= text.length();) {
        RegexCache::limitWork(*entry.headMatcher, status);
        const bool isHead = entry.headMatcher->find(from, status);
        if (RegexCache::ranOut(status))
            return false;
        if (!isHead || U_FAILURE(status))
            return true;
        const int32_t start = entry.headMatcher->start(status);
        const int32_t headEnd = entry.headMatcher->end(status);
        if (U_FAILURE(status) || (bound && start >= *bound))
            return true;
        entry.matcher->reset(text);
        entry.matcher->region(start, text.length(), status);
        RegexCache::limitWork(*entry.matcher, status);
        const bool matched = U_SUCCESS(status) && entry.matcher->lookingAt(status);
        if (RegexCache::ranOut(status))
            return false;
        if (matched && U_SUCCESS(status)) {
            const int32_t end = entry.matcher->end(status);
            if (U_SUCCESS(status) && end > start)
                found = TextRange { start, end - start };
            return true;
        }
        bound = bound ? std::min(*bound, headEnd) : headEnd;
        from = start + 1;
    }
    return true;
}

/// The leftmost match, into `found`. False when the search's budget ran out.
bool suffixMatch(SuffixMatcher& entry, const icu::UnicodeString& text, std::optional<TextRange>& found)
{
    if (entry.headMatcher)
        return startsFrom(entry, text, found);
    UErrorCode status = U_ZERO_ERROR;
    // The matcher keeps a reference to the text until the next reset; it is only read after one.
    entry.matcher->reset(text);
    RegexCache::limitWork(*entry.matcher, status);
    const bool isFound = U_SUCCESS(status) && entry.matcher->find(status);
    if (RegexCache::ranOut(status))
        return false;
    if (!isFound || U_FAILURE(status))
        return true;
    const int32_t start = entry.matcher->start(status);
    const int32_t end = entry.matcher->end(status);
    if (U_SUCCESS(status) && end > start)
        found = TextRange { start, end - start };
    return true;
}

/// Up to this length a line is searched by ICU alone: its backtracking is fast there, and the
/// automaton's first search of an expression costs more than a short line's match.
constexpr int32_t longestShortLine = 1024;

bool isLineTerminator(char16_t c)
{
    return (c >= 0x0A && c <= 0x0D) || c == 0x85 || c == 0x2028 || c == 0x2029;
}

/// The leftmost match on a long line, into `found`, when the automaton can take the expression
/// and read the line: it finds the leftmost start in one pass from the end, and ICU, matching
/// at that one start, says where the match ends when the line ends in a line terminator (before
/// it or after it, as ICU's own search would). False when the automaton cannot answer; throws
/// ExpandingError when ICU's match at the start runs out of the search's budget.
bool linearSuffixMatch(SuffixMatcher& entry, const icu::UnicodeString& text,
    const icu::UnicodeString& patternExpression, const Expander& expander, std::optional<TextRange>& found)
{
    if (!entry.isLinearTried) {
        entry.isLinearTried = true;
        entry.linear = LinearSuffixSearch::make(patternExpression);
    }
    if (!entry.linear)
        return false;
    auto& search = currentSearch();
    std::optional<LinearSearchText> local;
    const LinearSearchText* prepared = nullptr;
    if (search.text == &text) {
        if (!search.linearText)
            search.linearText.emplace(text);
        prepared = &*search.linearText;
    } else {
        prepared = &local.emplace(text);
    }
    if (!prepared->isUsable())
        return false;
    const auto start = entry.linear->leftmostStart(*prepared);
    if (!start)
        return true;
    int32_t end = text.length();
    if (isLineTerminator(text.charAt(text.length() - 1))) {
        UErrorCode status = U_ZERO_ERROR;
        entry.matcher->reset(text);
        entry.matcher->region(*start, text.length(), status);
        RegexCache::limitWork(*entry.matcher, status);
        const bool matched = U_SUCCESS(status) && entry.matcher->lookingAt(status);
        if (RegexCache::ranOut(status))
            throw ExpandingError(tooLongToMatchDescription(&expander));
        if (!matched || U_FAILURE(status))
            return false;
        end = entry.matcher->end(status);
        if (U_FAILURE(status))
            return false;
    }
    if (end > *start)
        found = TextRange { *start, end - *start };
    return true;
}

/// The leftmost non-empty match (case-sensitive, the dot matching every character) of the
/// pattern's expression anchored at the end of the text, as a range. An empty match is no match.
/// Throws ExpandingError, naming the expander, when the match runs out of its time limit: a match
/// cut short is no answer.
std::optional<TextRange> firstSuffixMatch(
    const icu::UnicodeString& text, const icu::UnicodeString& patternExpression, const Expander& expander)
{
    auto& entry = suffixMatcher(patternExpression);
    if (!entry.requiredLiteral.isEmpty() && !containsLiteral(text, entry.requiredLiteral))
        return std::nullopt;
    if (!entry.isCompiled)
        compile(entry, patternExpression);
    if (!entry.matcher)
        return std::nullopt;
    const auto& search = currentSearch();
    const uint64_t searchId = search.text == &text ? search.id : 0;
    if (searchId != 0 && entry.answerSearch == searchId)
        return entry.answer;
    // Every enabled pattern is tried against the whole line on each expansion, all of them
    // within one budget of work, however long the line. A pattern that runs out of it is
    // reported as an error naming its expander: its cost is not paid silently on every
    // expansion, and a match cut short is no answer. Nor is a match looked for in a part of the
    // line: its leftmost start need not be the line's, and a shorter abbreviation, or another
    // expander's, would pass for this one's.
    //
    // On a long line the automaton finds the leftmost start without backtracking, linear in
    // the line; the budget then stays for what it cannot take.
    std::optional<TextRange> found;
    const bool isAnswered
        = text.length() > longestShortLine && linearSuffixMatch(entry, text, patternExpression, expander, found);
    if (!isAnswered && !suffixMatch(entry, text, found))
        throw ExpandingError(tooLongToMatchDescription(&expander));
    entry.answerSearch = searchId;
    entry.answer = found;
    return entry.answer;
}

/// The expression anchored at the end as a whole, so that an unpaired "|" of a pattern (an
/// alternation) cannot leave one alternative unanchored, and starting at a word start: a match
/// that begins with a word character must not follow one. The groups capture nothing, so group
/// numbers stay those of the pattern.
icu::UnicodeString anchored(const icu::UnicodeString& expression)
{
    icu::UnicodeString result(PatternParser::wordStartGuard());
    result.append(u"(?:").append(expression).append(u")$");
    return result;
}

icu::BreakIterator* characterBreaks()
{
    thread_local std::unique_ptr<icu::BreakIterator> iterator = [] {
        UErrorCode status = U_ZERO_ERROR;
        return std::unique_ptr<icu::BreakIterator>(
            icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    }();
    return iterator.get();
}

/// The code-unit length of the text before its last characters when they are canonically
/// equivalent to the matched text (as many characters as it has); none otherwise. Walks back
/// from the end over the matched characters only.
std::optional<int32_t> prefixLengthBeforeSuffix(const icu::UnicodeString& text, const TextRange& match)
{
    if (match.end() == text.length() && match.location >= 0) {
        // The usual case: the match is the text's own end. It is a suffix when it starts at a
        // character boundary of the text.
        icu::BreakIterator* breaks = characterBreaks();
        if (!breaks)
            return std::nullopt;
        breaks->setText(text);
        if (breaks->isBoundary(match.location))
            return match.location;
    }
    // Otherwise compare the text's last characters, as many as the match has.
    const icu::UnicodeString suffix(text, match.location, match.length);
    const int32_t suffixCharacters = characterCount(suffix);
    icu::BreakIterator* breaks = characterBreaks();
    if (!breaks)
        return std::nullopt;
    breaks->setText(text);
    int32_t start = breaks->last();
    for (int32_t i = 0; i < suffixCharacters; ++i) {
        start = breaks->previous();
        if (start == icu::BreakIterator::DONE)
            return std::nullopt;
    }
    if (!textEquals(text.tempSubString(start), suffix))
        return std::nullopt;
    return start;
}

bool isIndentationBlank(char16_t c)
{
    return c == u' ' || c == u'\t' || c == u'\u00A0';
}

/// Puts the indentation of the text's first line in front of every later line of the output,
/// moving the value ranges with the text.
GeneratedOutput reindented(const icu::UnicodeString& prefix, const GeneratedOutput& output)
{
    int32_t indentationLength = 0;
    auto unitAt
        = [&](int32_t i) { return i < prefix.length() ? prefix.charAt(i) : output.text.charAt(i - prefix.length()); };
    const int32_t total = prefix.length() + output.text.length();
    while (indentationLength < total && isIndentationBlank(unitAt(indentationLength)))
        ++indentationLength;
    if (indentationLength == 0 || output.text.indexOf(u'\n') < 0)
        return output;
    icu::UnicodeString indentation;
    for (int32_t i = 0; i < indentationLength; ++i)
        indentation.append(unitAt(i));

    // Where each old offset lands: indentation is inserted after every line feed.
    std::vector<int32_t> lineFeedsBefore(static_cast<std::size_t>(output.text.length()) + 1, 0);
    GeneratedOutput result;
    for (int32_t i = 0; i < output.text.length(); ++i) {
        const char16_t unit = output.text.charAt(i);
        const auto index = static_cast<std::size_t>(i);
        lineFeedsBefore[index + 1] = lineFeedsBefore[index] + (unit == u'\n' ? 1 : 0);
        result.text.append(unit);
        if (unit == u'\n')
            result.text.append(indentation);
    }
    auto moved = [&](int32_t offset) {
        return offset + indentationLength * lineFeedsBefore[static_cast<std::size_t>(offset)];
    };
    for (const auto& range : output.values) {
        const int32_t start = moved(range.location);
        result.values.push_back(TextRange { start, moved(range.end()) - start });
    }
    return result;
}

/// The new text and caret: the typed prefix as it stands, then the output re-indented, its
/// escapes resolved and its caret marker taken out; the values stay as they are.
ExpandedExpression composed(const icu::UnicodeString& prefix, const GeneratedOutput& rawOutput)
{
    ResolvedOutput output = resolved(reindented(prefix, rawOutput), prefix);
    ExpandedExpression result;
    result.text = std::move(output.text);
    const int32_t caretOffset = output.caretOffset.value_or(result.text.length());
    result.cursorPosition = characterCount(result.text.tempSubString(0, caretOffset));
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

bool holdsLiteral(const icu::UnicodeString& text, const icu::UnicodeString& literal)
{
    return literal.isEmpty() || containsLiteral(text, literal);
}

SuffixSearchScope::SuffixSearchScope(const icu::UnicodeString& text)
{
    thread_local uint64_t lastId = 0;
    auto& search = currentSearch();
    m_isOutermost = search.text == nullptr;
    if (m_isOutermost) {
        search.text = &text;
        search.id = ++lastId;
        search.holdsLineFeed = text.indexOf(u'\n') >= 0;
        search.trigrams.clear();
        search.linearText.reset();
    }
}

SuffixSearchScope::~SuffixSearchScope()
{
    if (m_isOutermost) {
        auto& search = currentSearch();
        search.text = nullptr;
        search.trigrams.clear();
        search.linearText.reset();
    }
}

std::optional<TextRange> matchedRange(
    const Expander& expander, const icu::UnicodeString& text, const ExpanderLookup& expanderController)
{
    if (holdsLineFeed(text))
        return std::nullopt;
    const auto match = firstSuffixMatch(text, expander.matchPattern(expanderController), expander);
    if (!match || !prefixLengthBeforeSuffix(text, *match))
        return std::nullopt;
    return match;
}

std::optional<icu::UnicodeString> matchedText(
    const Expander& expander, const icu::UnicodeString& text, const ExpanderLookup& expanderController)
{
    const auto match = matchedRange(expander, text, expanderController);
    if (!match)
        return std::nullopt;
    return icu::UnicodeString(text, match->location, match->length);
}

std::optional<ExpandedExpression> expandedExpression(
    const Expander& expander, const icu::UnicodeString& text, const ExpanderLookup& expanderController)
{
    if (holdsLineFeed(text))
        return std::nullopt;
    icu::UnicodeString expression;
    try {
        expression = expander.matchPattern(expanderController);
    } catch (const std::exception&) {
        return std::nullopt; // a pattern that does not parse simply does not apply
    }
    const auto match = firstSuffixMatch(text, expression, expander);
    if (!match)
        return std::nullopt;
    const auto prefixLength = prefixLengthBeforeSuffix(text, *match);
    if (!prefixLength)
        return std::nullopt;
    const GeneratedOutput output = expander.generatedOutput(match->location == 0 && match->length == text.length()
            ? text
            : icu::UnicodeString(text, match->location, match->length),
        expanderController);
    // The prefix is only read (an alias of the line, not a copy): it is most of a long line.
    return composed(text.tempSubString(0, *prefixLength), output);
}

} // namespace quillet
