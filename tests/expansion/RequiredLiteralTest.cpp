#include "expansion/ExpanderExpansion.h"

#include "support/TestSupport.h"

#include <unicode/regex.h>

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>

namespace quillet {
namespace {

using icu::UnicodeString;

/// The leftmost match of "(?:expression)$" as the expansion compiles it; none when it does not compile.
std::optional<UnicodeString> suffixMatch(const UnicodeString& expression, const UnicodeString& text)
{
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::RegexPattern> pattern(icu::RegexPattern::compile(u"(?:" + expression + u")$", 0, status));
    if (U_FAILURE(status))
        return std::nullopt;
    std::unique_ptr<icu::RegexMatcher> matcher(pattern->matcher(text, status));
    if (U_FAILURE(status) || !matcher->find(status) || U_FAILURE(status))
        return std::nullopt;
    return matcher->group(status);
}

struct LiteralCase {
    const char* name;
    const char16_t* expression;
    const char16_t* literal;
};
class RequiredLiteralOf : public ::testing::TestWithParam<LiteralCase> { };

TEST_P(RequiredLiteralOf, IsTheLeadingLiteralRunOrNothing)
{
    EXPECT_EQ(requiredLiteral(GetParam().expression), UnicodeString(GetParam().literal));
}

INSTANTIATE_TEST_SUITE_P(Expressions, RequiredLiteralOf,
    ::testing::Values(LiteralCase { "WordsAndVariables", u"for (\\w+) in (\\w+)", u"for " },
        LiteralCase { "OptionalPartAfterTheKeyword", u"fn0_1 (\\w+) (as (\\w+)?)?", u"fn0_1 " },
        LiteralCase { "EscapedPunctuationStandsForItself", u"\\.\\$x\\(", u".$x(" },
        LiteralCase { "QuantifiedLastCharacterIsLeftOut", u"abc?d", u"ab" },
        LiteralCase { "StarredLastCharacterIsLeftOut", u"ab*", u"a" },
        LiteralCase { "IntervalLastCharacterIsLeftOut", u"ab{2}", u"a" },
        LiteralCase { "EscapedLetterIsAClass", u"a\\wb", u"a" }, LiteralCase { "StartsWithAGroup", u"(a)b", u"" },
        LiteralCase { "TopLevelAlternative", u"abc|d", u"" },
        LiteralCase { "AlternativeAfterAnUnpairedParenthesis", u"ab)|(c", u"" },
        LiteralCase { "AlternativeInsideAGroupIsFine", u"ab(c|d)", u"ab" },
        LiteralCase { "BarInsideASetIsFine", u"ab[|x]", u"ab" }, LiteralCase { "EscapedBarIsFine", u"ab\\|c", u"ab|c" },
        LiteralCase { "BarAfterAnEscapedBracket", u"ab\\[|c", u"" },
        LiteralCase { "BarAfterASetWithEscapedBrackets", u"ab[\\]\\[]|c", u"" },
        LiteralCase { "QuotedText", u"ab\\Q|\\E", u"" }, LiteralCase { "CommentGroup", u"ab(?#)|c", u"" },
        LiteralCase { "NegatedSet", u"ab[^|]", u"" }, LiteralCase { "UnbalancedGroup", u"ab(c", u"" },
        LiteralCase { "NonASCIILiteralEndsTheRun", u"ab\u00e9c", u"ab" }, LiteralCase { "Empty", u"", u"" }),
    [](const auto& info) { return std::string(info.param.name); });

// Whatever the expression, a text that it matches at the end holds the literal: random
// expressions from the pieces patterns are made of, on random texts.
TEST(RequiredLiteral, IsInEveryTextTheExpressionMatches)
{
    static const char16_t* const expressionPieces[] = { u"a", u"b", u" ", u"|", u"(", u")", u"?", u"*", u"\\|", u"\\(",
        u"[", u"]", u"\\w+", u"(.+)", u"\\.", u"#", u"-", u"{1}", u"(\\w+)?", u"(?:", u"\\\\", u"ab" };
    static const char16_t textAlphabet[] = u"ab |().#-\\x";
    std::mt19937 random(7);
    auto upTo = [&](int most) { return std::uniform_int_distribution<int>(0, most)(random); };
    int matched = 0;
    for (int round = 0; round < 20000; ++round) {
        UnicodeString expression;
        for (int i = upTo(8); i > 0; --i)
            expression.append(expressionPieces[upTo(int(std::size(expressionPieces)) - 1)]);
        UnicodeString text;
        for (int i = upTo(10); i > 0; --i)
            text.append(textAlphabet[upTo(int(std::size(textAlphabet)) - 2)]);
        if (upTo(1) == 0)
            text.append(expression); // a text that holds the expression's own characters matches more often

        const UnicodeString literal = requiredLiteral(expression);
        const auto match = suffixMatch(expression, text);
        if (!match)
            continue;
        ++matched;
        EXPECT_TRUE(literal.isEmpty() || match->indexOf(literal) >= 0)
            << "expression \"" << toUtf8(expression) << "\", text \"" << toUtf8(text) << "\", literal \""
            << toUtf8(literal) << '"';
        if (HasFailure())
            return;
    }
    EXPECT_GT(matched, 1000); // the texts exercised the check
}

} // namespace
} // namespace quillet
