#include "text/PatternScanner.h"
#include "text/PatternPattern.h"
#include "variables/VariablePattern.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace quillet {
namespace {

using icu::UnicodeString;

// Every group of every match as "[start,end)text" (or "-" for a group that took no part),
// so that the scanner's answer and the expression's compare in one line.
std::string described(const std::vector<OptionalCaptureGroups>& matches)
{
    std::string result;
    for (const auto& groups : matches) {
        result += "{";
        for (const auto& group : groups) {
            if (!group) {
                result += " -";
                continue;
            }
            result += " [" + std::to_string(group->range.location) + "," + std::to_string(group->range.end()) + ")"
                + toUtf8(group->text);
            // The text is always the one the range names.
            EXPECT_EQ(group->text.length(), group->range.length);
        }
        result += " }";
    }
    return result;
}

void expectSameAsExpression(const UnicodeString& text)
{
    const auto segments = PatternScanner::segments(text);
    ASSERT_TRUE(segments.has_value()) << toUtf8(text);
    EXPECT_EQ(described(*segments), described(optionalCaptureGroups(text, PatternPattern::pattern())))
        << "segments of \"" << toUtf8(text) << '"';

    const auto declarations = PatternScanner::declarations(text);
    ASSERT_TRUE(declarations.has_value()) << toUtf8(text);
    EXPECT_EQ(described(*declarations), described(optionalCaptureGroups(text, VariablePattern::pattern())))
        << "declarations of \"" << toUtf8(text) << '"';
}

struct ScanCase {
    const char* name;
    const char16_t* text;
};
class PatternScannerAgreement : public ::testing::TestWithParam<ScanCase> { };

TEST_P(PatternScannerAgreement, GivesTheGroupsOfTheExpressions)
{
    expectSameAsExpression(GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Text, PatternScannerAgreement,
    ::testing::Values(ScanCase { "Empty", u"" }, ScanCase { "Literal", u"for item" },
        ScanCase { "OneDeclaration", u"for ${item:word} in ${list:word}" },
        ScanCase { "OptionalPart", u"fn ${name:word}|(${args:text})| x" },
        ScanCase { "TwoOptionalParts", u"a|b|c|d|e" }, ScanCase { "AdjacentBars", u"||x||" },
        ScanCase { "UnpairedBar", u"a|b" }, ScanCase { "TrailingBar", u"ab|" }, ScanCase { "LeadingBar", u"|ab" },
        ScanCase { "EscapedBars", u"a\\|b\\|c" }, ScanCase { "EscapedClosingBar", u"|a\\|b|c" },
        ScanCase { "BackslashBeforeOpeningBar", u"x\\||y|" }, ScanCase { "LazyType", u"${a:text?}" },
        ScanCase { "LazyTypeWithDefault", u"${a:text?=x}" },
        ScanCase { "Parameters", u"${k:switch(a:public,b:private,*:internal)=a}" },
        ScanCase { "ParametersWithEscapedParenthesis", u"${e:enum(a\\),b)}" },
        ScanCase { "ParametersUntilALaterParenthesis", u"${e:enum(a)b)}" },
        ScanCase { "ParametersWithoutClosingBrace", u"${e:enum(a)} ${f:word}" },
        ScanCase { "EmptyParameters", u"${e:enum()}" }, ScanCase { "EmptyDefault", u"${w:word=}" },
        ScanCase { "EscapedClosingBrace", u"${w:word=a\\}b}" },
        ScanCase { "EscapedBraceAfterDefault", u"${w:word=a\\}" },
        ScanCase { "DefaultWithParenthesis", u"${w:word=(a)}" }, ScanCase { "NoName", u"${:word}" },
        ScanCase { "NoType", u"${a:}" }, ScanCase { "QuestionMarkAlone", u"${a:?}" },
        ScanCase { "NestedStart", u"${a:${b:word}}" }, ScanCase { "DollarBeforeDeclaration", u"$${a:word}" },
        ScanCase { "DeclarationsBackToBack", u"${a:word}${b:number}" },
        ScanCase { "UnclosedDeclaration", u"${a:word ${b:word}" },
        ScanCase { "DeclarationInsideOptionalPart", u"x |${a:enum(p|q)}| y" },
        ScanCase { "Tabs", u"\t${a:word}\t|\tb\t|" }),
    [](const auto& info) { return std::string(info.param.name); });

// Random texts find the corners the table misses: half of them are loose characters the two
// expressions react to, half are runs of declarations with random parts left out or garbled.
class RandomPatternText {
public:
    UnicodeString next()
    {
        UnicodeString text;
        const int count = upTo(round++ % 2 == 0 ? 24 : 4);
        for (int i = 0; i < count; ++i) {
            if (round % 2 == 1)
                text.append(loose());
            else
                text.append(declaration());
        }
        return text;
    }

private:
    int upTo(int most) { return std::uniform_int_distribution<int>(0, most)(m_random); }
    bool chance() { return upTo(3) != 0; }

    UnicodeString loose()
    {
        static const char16_t alphabet[] = u"${}()\\|:=?ab_1 ,*\t";
        return UnicodeString(alphabet[upTo(int(std::size(alphabet)) - 2)]);
    }

    UnicodeString looseRun()
    {
        UnicodeString text;
        for (int i = upTo(4); i > 0; --i)
            text.append(loose());
        return text;
    }

    UnicodeString declaration()
    {
        static const char16_t* const separators[] = { u"", u" ", u"|", u"\\|", u"x" };
        UnicodeString text(separators[upTo(4)]);
        text.append(u"${");
        if (chance())
            text.append(upTo(1) ? u"name" : u"a_1");
        if (chance())
            text.append(u":");
        if (chance())
            text.append(upTo(1) ? u"word" : u"text");
        if (upTo(2) == 0)
            text.append(u"?");
        if (upTo(1) == 0)
            text.append(u"(").append(looseRun()).append(chance() ? u")" : u"\\)").append(looseRun());
        if (upTo(1) == 0)
            text.append(u"=").append(looseRun());
        if (upTo(3) == 0)
            text.append(u"\\");
        if (chance())
            text.append(u"}");
        return text;
    }

    std::mt19937 m_random { 20240601 };
    int round = 0;
};

TEST(PatternScanner, AgreesWithTheExpressionsOnRandomTexts)
{
    RandomPatternText texts;
    for (int round = 0; round < 6000; ++round) {
        expectSameAsExpression(texts.next());
        if (HasFailure())
            return; // one reported text is enough
    }
}

struct DeclinedCase {
    const char* name;
    UnicodeString text;
};
class PatternScannerDeclines : public ::testing::TestWithParam<DeclinedCase> { };

// Texts where the expressions' classes, line ends or time limit could differ from the scan are
// left to the expressions, and the pattern types still answer through them.
TEST_P(PatternScannerDeclines, TextsOutsidePrintableASCII)
{
    const UnicodeString& text = GetParam().text;
    EXPECT_FALSE(PatternScanner::segments(text).has_value());
    EXPECT_FALSE(PatternScanner::declarations(text).has_value());
    EXPECT_EQ(PatternPattern::matches(text).size(), optionalCaptureGroups(text, PatternPattern::pattern()).size());
    EXPECT_EQ(VariablePattern::matches(text).size(), optionalCaptureGroups(text, VariablePattern::pattern()).size());
}

INSTANTIATE_TEST_SUITE_P(Text, PatternScannerDeclines,
    ::testing::Values(DeclinedCase { "LineFeed", u"a|b|\n${c:word}" },
        DeclinedCase { "NonASCIILetter", u"\u00e9 ${\u00e9t\u00e9:word}" },
        DeclinedCase { "SurrogatePair", u"|\U0001F600|${a:word}" },
        DeclinedCase { "TooLong", UnicodeString(u"${a:word}|b|") + UnicodeString(300, U'x', 300) }),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace quillet
