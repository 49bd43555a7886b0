#include "OrvTextView/Pattern/StringHelpers.h"

#include "OrvTextView/BoundedCache.h"
#include "OrvTextView/Pattern/RegexMatchingPrivate.h"

#include <QHashFunctions>

#include <unicode/brkiter.h>
#include <unicode/locid.h>

#include <utility>

namespace orv {
namespace detail {

namespace {

struct RegexKeyHash {
    std::size_t operator()(const std::pair<QString, uint32_t>& key) const noexcept
    {
        return qHash(key.first, key.second);
    }
};

} // namespace

std::shared_ptr<const icu::RegexPattern> compiledRegex(const QString& regex, uint32_t flags)
{
    if (regex.isEmpty())
        return nullptr;
    // Entries are immutable; a per-thread memo keeps the lookups lock-free.
    thread_local BoundedCache<std::pair<QString, uint32_t>, std::shared_ptr<const icu::RegexPattern>, RegexKeyHash>
        cache;
    auto key = std::make_pair(regex, flags);
    if (const auto* found = cache.find(key))
        return *found;
    UErrorCode status = U_ZERO_ERROR;
    UParseError parseError;
    std::shared_ptr<const icu::RegexPattern> compiled(icu::RegexPattern::compile(
        icu::UnicodeString(reinterpret_cast<const UChar*>(regex.utf16()), int32_t(regex.size())), flags, parseError,
        status));
    if (U_FAILURE(status))
        compiled.reset();
    cache.insert(std::move(key), compiled);
    return compiled;
}

namespace {

std::unique_ptr<icu::RegexMatcher> makeMatcher(const icu::RegexPattern& pattern, const icu::UnicodeString& text)
{
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::RegexMatcher> matcher(pattern.matcher(text, status));
    if (U_FAILURE(status))
        return nullptr;
    matcher->setTimeLimit(matchTimeLimit, status);
    return matcher;
}

} // namespace

std::vector<TextRange> matchRanges(const QString& text, const QString& regex)
{
    std::vector<TextRange> ranges;
    const auto pattern = compiledRegex(regex, highlightingRegexFlags);
    if (!pattern)
        return ranges;
    const auto unicode = unicodeAlias(text);
    const auto matcher = makeMatcher(*pattern, unicode);
    if (!matcher)
        return ranges;
    UErrorCode status = U_ZERO_ERROR;
    while (matcher->find(status) && U_SUCCESS(status)) {
        const int32_t start = matcher->start(status);
        const int32_t end = matcher->end(status);
        if (U_FAILURE(status))
            break;
        ranges.push_back(TextRange { .location = start, .length = end - start });
    }
    return ranges;
}

} // namespace detail

namespace text {
namespace {

// The UTF-16 offsets at which the text's grapheme clusters begin, with the text's length last.
std::vector<int32_t> characterBoundaries(const QString& text)
{
    std::vector<int32_t> boundaries;
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::BreakIterator> iterator(
        icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    if (U_FAILURE(status)) {
        for (int32_t i = 0; i <= text.size(); ++i)
            boundaries.push_back(i);
        return boundaries;
    }
    const auto unicode = detail::unicodeAlias(text);
    iterator->setText(unicode);
    for (int32_t position = iterator->first(); position != icu::BreakIterator::DONE; position = iterator->next())
        boundaries.push_back(position);
    if (boundaries.empty())
        boundaries.push_back(0);
    return boundaries;
}

std::optional<QString> firstMatch(const QString& text, const QString& regex)
{
    const auto pattern = detail::compiledRegex(regex, 0);
    if (!pattern)
        return std::nullopt;
    const auto unicode = detail::unicodeAlias(text);
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::RegexMatcher> matcher(pattern->matcher(unicode, status));
    if (U_FAILURE(status))
        return std::nullopt;
    matcher->setTimeLimit(detail::matchTimeLimit, status);
    if (!matcher->find(status) || U_FAILURE(status))
        return std::nullopt;
    const int32_t start = matcher->start(status);
    const int32_t end = matcher->end(status);
    if (U_FAILURE(status))
        return std::nullopt;
    return text.mid(start, end - start);
}

} // namespace

std::vector<RegexMatch> allFullMatchesRegExWithRange(const QString& text, const QString& regex)
{
    std::vector<RegexMatch> result;
    const auto pattern = detail::compiledRegex(regex, detail::highlightingRegexFlags);
    if (!pattern)
        return result;
    const auto unicode = detail::unicodeAlias(text);
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::RegexMatcher> matcher(pattern->matcher(unicode, status));
    if (U_FAILURE(status))
        return result;
    matcher->setTimeLimit(detail::matchTimeLimit, status);
    while (matcher->find(status) && U_SUCCESS(status)) {
        RegexMatch match;
        match.range.location = matcher->start(status);
        match.range.length = matcher->end(status) - match.range.location;
        for (int32_t group = 0; group <= matcher->groupCount(); ++group) {
            const int32_t start = matcher->start(group, status);
            const int32_t end = matcher->end(group, status);
            if (U_FAILURE(status) || start < 0)
                match.match.emplace_back(std::nullopt);
            else
                match.match.emplace_back(text.mid(start, end - start));
        }
        if (U_FAILURE(status))
            break;
        result.push_back(std::move(match));
    }
    return result;
}

QStringList characters(const QString& text)
{
    QStringList result;
    const auto boundaries = characterBoundaries(text);
    for (std::size_t i = 0; i + 1 < boundaries.size(); ++i)
        result.append(text.mid(boundaries[i], boundaries[i + 1] - boundaries[i]));
    return result;
}

std::optional<QString> characterAt(const QString& text, int index)
{
    const auto boundaries = characterBoundaries(text);
    const int count = int(boundaries.size()) - 1;
    if (index < 0 || index >= count)
        return std::nullopt;
    return text.mid(boundaries[index], boundaries[index + 1] - boundaries[index]);
}

std::optional<int> firstIndexInLineAtIndex(const QString& text, int index)
{
    const auto boundaries = characterBoundaries(text);
    const int count = int(boundaries.size()) - 1;
    if (index < 0 || index >= count)
        return std::nullopt;
    for (int i = index - 1; i >= 0; --i) {
        const int32_t start = boundaries[i];
        if (boundaries[i + 1] - start == 1 && text.at(start) == u'\n')
            return i + 1;
    }
    return 0;
}

std::optional<QString> lineBeforeIndex(const QString& text, int index)
{
    const auto boundaries = characterBoundaries(text);
    const int count = int(boundaries.size()) - 1;
    if (index <= 0 || index > count)
        return std::nullopt;
    const int32_t previous = boundaries[index - 1];
    if (boundaries[index] - previous == 1 && text.at(previous) == u'\n')
        return QString();
    const int lineStart = firstIndexInLineAtIndex(text, index - 1).value_or(0);
    return text.mid(boundaries[lineStart], boundaries[index] - boundaries[lineStart]);
}

std::optional<QString> firstMatchRegEx(const QString& text, const QString& regex, bool)
{
    return firstMatch(text, regex);
}

QString escape(const QString& text, const QStringList& characters)
{
    QString result = text;
    for (const QString& entry : characters) {
        if (entry.isEmpty())
            continue;
        result.replace(entry, QStringLiteral("\\") + entry);
    }
    return result;
}

QString escapedForRegEx(const QString& text)
{
    static const QStringList specials { QStringLiteral("\\"), QStringLiteral("+"), QStringLiteral("("),
        QStringLiteral(")"), QStringLiteral("{"), QStringLiteral("}"), QStringLiteral("["), QStringLiteral("]"),
        QStringLiteral("^"), QStringLiteral("$"), QStringLiteral("."), QStringLiteral("*"), QStringLiteral("|"),
        QStringLiteral("?"), QStringLiteral("!") };
    return escape(text, specials);
}

QString withoutPrefix(const QString& text, const QString& prefix)
{
    if (prefix.isEmpty() || !text.startsWith(prefix))
        return text;
    // The prefix's characters are the text's first characters, so its UTF-16 length is theirs too.
    return text.mid(prefix.size());
}

bool matchesRegex(const QString& text, const QString& regex)
{
    if (regex.isEmpty())
        return true;
    return firstMatch(text, regex).has_value();
}

} // namespace text
} // namespace orv
