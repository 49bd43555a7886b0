#include "text/RegexCache.h"

#include "text/UnicodeConversion.h"

#include "OrvTextView/BoundedCache.h"

#include <climits>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>

namespace quillet {

namespace {

using CacheKey = std::pair<std::u16string, uint32_t>;

struct CacheKeyHash {
    std::size_t operator()(const CacheKey& key) const noexcept
    {
        return std::hash<std::u16string> {}(key.first) ^ (std::size_t(key.second) * 0x9e3779b97f4a7c15ULL);
    }
};

using PatternCache = orv::BoundedCache<CacheKey, std::shared_ptr<const icu::RegexPattern>, CacheKeyHash>;

PatternCache& threadCache()
{
    thread_local PatternCache cache;
    return cache;
}

std::string describe(const icu::UnicodeString& expression, UErrorCode code)
{
    return "Invalid regular expression \"" + toUtf8(expression) + "\": " + u_errorName(code);
}

/// The steps the matches of this thread's search have taken; `lastSteps` is what ICU reported
/// last for the match in hand (its count starts again with every match).
struct SearchWork {
    int depth = 0;
    int64_t spentSteps = 0;
    int32_t lastSteps = 0;
    int32_t stepWeight = 1; // of the match in hand
};

SearchWork& searchWork()
{
    thread_local SearchWork work;
    return work;
}

UBool bookSteps(const void* context, int32_t steps)
{
    auto& work = *static_cast<SearchWork*>(const_cast<void*>(context));
    work.spentSteps += static_cast<int64_t>(steps - work.lastSteps) * work.stepWeight;
    work.lastSteps = steps;
    return work.spentSteps < RegexCache::searchStepBudget;
}

} // namespace

RegexCache::SearchBudgetScope::SearchBudgetScope()
{
    auto& work = searchWork();
    m_isOutermost = work.depth++ == 0;
    if (m_isOutermost)
        work.spentSteps = 0;
}

RegexCache::SearchBudgetScope::~SearchBudgetScope()
{
    --searchWork().depth;
}

void RegexCache::limitWork(icu::RegexMatcher& matcher, UErrorCode& status)
{
    auto& work = searchWork();
    work.lastSteps = 0;
    work.stepWeight = stepWeight(matcher);
    if (work.depth == 0)
        work.spentSteps = 0;
    // ICU only counts steps under a time limit; the limit itself is never the one reached.
    matcher.setTimeLimit(INT32_MAX, status);
    matcher.setMatchCallback(&bookSteps, &work, status);
}

int32_t RegexCache::stepWeight(const icu::RegexMatcher& matcher) noexcept
{
    // Patterns of under 48 groups (some twenty values) count their steps as they are: the budget
    // was set with such patterns. Beyond, a step costs about in proportion to the groups.
    return 1 + matcher.groupCount() / 48;
}

RegexError::RegexError(const icu::UnicodeString& expression, UErrorCode code)
    : std::runtime_error(describe(expression, code))
    , m_code(code)
{
}

std::shared_ptr<const icu::RegexPattern> RegexCache::compile(
    const icu::UnicodeString& expression, uint32_t flags, UErrorCode& status)
{
    auto& cache = threadCache();
    CacheKey key { std::u16string(expression.getBuffer(), static_cast<std::size_t>(expression.length())), flags };
    if (const auto* found = cache.find(key))
        return *found;

    UParseError parseError {};
    std::shared_ptr<const icu::RegexPattern> compiled(
        icu::RegexPattern::compile(expression, flags, parseError, status));
    if (U_FAILURE(status))
        return nullptr;
    cache.insert(std::move(key), compiled);
    return compiled;
}

std::shared_ptr<const icu::RegexPattern> RegexCache::compileOrThrow(
    const icu::UnicodeString& expression, uint32_t flags)
{
    UErrorCode status = U_ZERO_ERROR;
    auto compiled = compile(expression, flags, status);
    if (!compiled)
        throw RegexError(expression, status);
    return compiled;
}

std::unique_ptr<icu::RegexMatcher> RegexCache::matcher(
    const icu::RegexPattern& pattern, const icu::UnicodeString& text, UErrorCode& status)
{
    std::unique_ptr<icu::RegexMatcher> result(pattern.matcher(text, status));
    if (U_FAILURE(status))
        return nullptr;
    result->setTimeLimit(matchTimeLimit, status);
    if (U_FAILURE(status))
        return nullptr;
    return result;
}

} // namespace quillet
