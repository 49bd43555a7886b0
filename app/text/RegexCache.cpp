#include "text/RegexCache.h"

#include "text/UnicodeConversion.h"

#include <map>
#include <string>
#include <utility>

namespace quillet {

namespace {

constexpr std::size_t maximumCachedExpressions = 4096;

using CacheKey = std::pair<std::u16string, uint32_t>;

std::map<CacheKey, std::shared_ptr<const icu::RegexPattern>>& threadCache()
{
    thread_local std::map<CacheKey, std::shared_ptr<const icu::RegexPattern>> cache;
    return cache;
}

std::string describe(const icu::UnicodeString& expression, UErrorCode code)
{
    return "Invalid regular expression \"" + toUtf8(expression) + "\": " + u_errorName(code);
}

} // namespace

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
    if (auto found = cache.find(key); found != cache.end())
        return found->second;

    UParseError parseError {};
    std::shared_ptr<const icu::RegexPattern> compiled(
        icu::RegexPattern::compile(expression, flags, parseError, status));
    if (U_FAILURE(status))
        return nullptr;
    if (cache.size() >= maximumCachedExpressions)
        cache.clear();
    cache.emplace(std::move(key), compiled);
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
