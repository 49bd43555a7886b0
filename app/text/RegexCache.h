#pragma once

#include <unicode/regex.h>
#include <unicode/unistr.h>

#include <climits>
#include <cstdint>
#include <memory>
#include <stdexcept>

namespace quillet {

/// An expression that ICU could not compile, or a match that ran out of time.
class RegexError : public std::runtime_error {
public:
    RegexError(const icu::UnicodeString& expression, UErrorCode code);

    UErrorCode code() const noexcept { return m_code; }

private:
    UErrorCode m_code;
};

/// Compiled regular expressions, cached per thread, and matchers with a time limit.
///
/// Every pattern of the library is tried against the line before the caret, and
/// variables build the same fragments again and again; compiling would dominate
/// that cost. The cache is keyed by expression text and ICU flags, so results are
/// exactly those of a fresh compile. Each thread has its own cache (no locking);
/// it is emptied when it grows past a few thousand entries.
class RegexCache {
public:
    /// Case-insensitive, comments and whitespace, anchors match lines, dot matches line ends.
    static constexpr uint32_t caseInsensitive = UREGEX_CASE_INSENSITIVE;
    static constexpr uint32_t comments = UREGEX_COMMENTS;
    static constexpr uint32_t multiline = UREGEX_MULTILINE;
    static constexpr uint32_t dotAll = UREGEX_DOTALL;

    /// ICU's time limit for one match, in its "steps" (a few milliseconds each):
    /// a hostile pattern fails with U_REGEX_TIME_OUT instead of hanging the app.
    static constexpr int32_t matchTimeLimit = 2000;

    /// A time limit sized to the text: `baseSteps` and one more step for every
    /// `unitsPerStep` code units, so a long line is not cut short where a short one is not.
    static constexpr int32_t unitsPerStep = 50;
    static int32_t timeLimitFor(int32_t baseSteps, int32_t textLength)
    {
        const int64_t steps = int64_t(baseSteps) + textLength / unitsPerStep;
        return steps > INT32_MAX ? INT32_MAX : int32_t(steps);
    }

    /// The compiled expression, or null when it does not compile (status tells why).
    static std::shared_ptr<const icu::RegexPattern> compile(
        const icu::UnicodeString& expression, uint32_t flags, UErrorCode& status);

    /// Compiles or throws RegexError.
    static std::shared_ptr<const icu::RegexPattern> compileOrThrow(
        const icu::UnicodeString& expression, uint32_t flags);

    /// A matcher over text (which must outlive it) with the time limit set.
    /// Null when ICU cannot make one (status tells why).
    static std::unique_ptr<icu::RegexMatcher> matcher(
        const icu::RegexPattern& pattern, const icu::UnicodeString& text, UErrorCode& status);
};

} // namespace quillet
