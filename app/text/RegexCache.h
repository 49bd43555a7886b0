#pragma once

#include <unicode/regex.h>
#include <unicode/unistr.h>

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
/// exactly those of a fresh compile. Each thread has its own cache (no locking),
/// bounded as every compiled-expression memo is (orv::BoundedCache).
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

    /// What one expander search may spend on matching the user's patterns against the line, in
    /// ICU's steps (each ten thousand saved backtracking states, half a millisecond or so): the
    /// same for every line, so that no input holds the app up for longer than about a second.
    /// A match of a real pattern takes a step or so per hundred thousand units of line; one of
    /// eighteen text variables some 600 on a short line, twice (found, then its values read).
    static constexpr int32_t searchStepBudget = 2000;

    /// Shares one searchStepBudget among the matches made on this thread while it lives: every
    /// match that workLimited() sets up. An inner scope, opened while one is open, adds nothing.
    class SearchBudgetScope {
    public:
        SearchBudgetScope();
        ~SearchBudgetScope();
        SearchBudgetScope(const SearchBudgetScope&) = delete;
        SearchBudgetScope& operator=(const SearchBudgetScope&) = delete;

    private:
        bool m_isOutermost = false;
    };

    /// Sets the matcher up for its next match (call after its reset): the match stops with
    /// U_REGEX_STOPPED_BY_CALLER once the search in hand has spent its budget; outside a search
    /// it has a budget of its own.
    static void limitWork(icu::RegexMatcher& matcher, UErrorCode& status);
    /// What one of ICU's steps of the matcher's pattern counts against the budget. A step saves
    /// ten thousand backtracking states and each state holds every capture group, so a step of
    /// a pattern with thousands of values costs what hundreds of an ordinary pattern's do.
    static int32_t stepWeight(const icu::RegexMatcher& matcher) noexcept;
    /// Whether a match ended because its time or work ran out (or its stack): no answer.
    static bool ranOut(UErrorCode status) noexcept
    {
        return status == U_REGEX_TIME_OUT || status == U_REGEX_STOPPED_BY_CALLER || status == U_REGEX_STACK_OVERFLOW;
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
