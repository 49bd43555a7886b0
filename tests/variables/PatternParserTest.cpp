#include "variables/PatternParser.h"

#include "expansion/ExpanderController.h"
#include "text/PatternErrors.h"
#include "text/RegexCache.h"
#include "text/StringHelpers.h"
#include "text/UnicodeConversion.h"
#include "variables/VariableErrors.h"

#include "support/FakeExpander.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

namespace quillet {
namespace {

using icu::UnicodeString;

class PatternParserTest : public ::testing::Test {
protected:
    ExpanderController m_controller;

    PatternParser parse(const UnicodeString& pattern) { return PatternParser(pattern, nullptr, m_controller); }

    /// The captured text of a variable when the typed text is matched as the expansion does.
    std::optional<UnicodeString> captured(
        const PatternParser& parser, const UnicodeString& name, const UnicodeString& typed)
    {
        auto matches = captureGroups(typed, parser.anchoredRegexPattern());
        if (matches.empty())
            return std::nullopt;
        auto index = parser.captureGroupIndex(*parser.variable(name));
        return index ? captureGroup(matches.front(), *index) : std::nullopt;
    }
};

struct RegexCase {
    const char* name;
    std::u16string pattern;
    std::u16string regex;
};
class PatternRegex : public PatternParserTest, public ::testing::WithParamInterface<RegexCase> { };

TEST_P(PatternRegex, AssemblesTheDocumentedExpression)
{
    const auto& c = GetParam();
    auto parser = parse(u16(c.pattern));
    EXPECT_EQ(parser.regexPattern(), u16(c.regex));
}

INSTANTIATE_TEST_SUITE_P(Text, PatternRegex,
    ::testing::Values(RegexCase { "Empty", u"", u"" }, RegexCase { "OneWord", u"for ${i:word}", u"for ((\\w+))" },
        RegexCase { "OptionalNumber", u"for ${i:word}|, ${n:number}|", u"for ((\\w+))(, (([0-9,.]+)))?" },
        RegexCase { "Metacharacters", u"a.b(c)", u"a\\.b\\(c\\)" },
        RegexCase { "EscapedBarIsLiteral", u"a\\|b", u"a\\|b" }, RegexCase { "UnpairedBarAlternates", u"a|b", u"a|b" },
        RegexCase { "EscapedHash", u"x\\#", u"x\\#" },
        RegexCase { "EscapedBarInsideOptionalIsLiteral", u"|a\\|b|", u"(a\\|b)?" },
        RegexCase { "DefaultMakesGroupOptional", u"${a:text=}", u"((.+))?" }),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(PatternParserTest, EscapedBarInsideAnOptionalPartMatchesALiteralBar)
{
    auto parser = parse(u"x|a\\|b|");
    EXPECT_FALSE(captureGroups(u"xa|b", parser.anchoredRegexPattern()).empty());
    // "b" alone would match if the bar had become an alternation.
    EXPECT_TRUE(captureGroups(u"b", parser.anchoredRegexPattern()).empty());
}

TEST_F(PatternParserTest, AnchoringCoversBothSidesOfAnUnpairedBar)
{
    auto parser = parse(u"ab|cd");
    EXPECT_TRUE(captureGroups(u"ab x", parser.anchoredRegexPattern()).empty());
    EXPECT_FALSE(captureGroups(u"x cd", parser.anchoredRegexPattern()).empty());
    // Appending "$" alone would anchor only the right-hand alternative.
    EXPECT_FALSE(captureGroups(u"ab x", parser.regexPattern() + u"$").empty());
}

TEST_F(PatternParserTest, CaptureGroupIndexCountsOptionalPartsAndInnerGroups)
{
    auto parser = parse(u"for ${i:word}|, ${n:number}|");
    ASSERT_EQ(parser.elements().size(), 3u);
    EXPECT_EQ(parser.elements()[1], nullptr);
    EXPECT_EQ(parser.captureGroupIndex(*parser.variable(u"i")), 1);
    EXPECT_EQ(parser.captureGroupIndex(*parser.variable(u"n")), 4);
    EXPECT_EQ(*captured(parser, u"n", u"for x, 12"), u"12");
    EXPECT_FALSE(captured(parser, u"n", u"for x").has_value());
}

TEST_F(PatternParserTest, LookupsCompareNamesExactly)
{
    auto parser = parse(u"${a:word} ${b:word} ${caf\u00E9:word}");
    EXPECT_EQ(parser.variable(u"A"), nullptr);
    // Canonically equivalent names are the same name: a decomposed "é" finds the composed one.
    ASSERT_NE(parser.variable(u"cafe\u0301"), nullptr);
    EXPECT_EQ(parser.captureGroupIndex(*parser.variable(u"cafe\u0301")), 5);
    EXPECT_THROW(parse(u"${caf\u00E9:word} ${cafe\u0301:word}"), PatternValidationError);
    auto other = parse(u"${c:word}");
    EXPECT_FALSE(parser.captureGroupIndex(*other.variable(u"c")).has_value());
}

struct SpliceCase {
    const char* name;
    const char16_t* pattern;
    const char16_t* typed;
    std::vector<std::pair<const char16_t*, const char16_t*>> values; ///< variable name, captured text

    friend void PrintTo(const SpliceCase& c, std::ostream* out) { *out << c.name; }
};
class DeclarationsWhereWritten : public PatternParserTest, public ::testing::WithParamInterface<SpliceCase> { };

// Every declaration takes part where it is written, however its variable would write it back,
// and the groups counted for each variable are those of the expression built.
TEST_P(DeclarationsWhereWritten, TakePartAndReadTheirOwnGroups)
{
    const auto& c = GetParam();
    auto parser = parse(c.pattern);
    int expectedGroups = 0;
    for (const auto& element : parser.elements())
        expectedGroups += element ? 1 + element->additionalNumberOfMatchesInRegex() : 1;
    UErrorCode status = U_ZERO_ERROR;
    auto compiled = RegexCache::compile(parser.regexPattern(), 0, status);
    ASSERT_TRUE(compiled) << toUtf8(parser.regexPattern());
    EXPECT_EQ(std::unique_ptr<icu::RegexMatcher>(compiled->matcher(status))->groupCount(), expectedGroups);
    for (const auto& [name, value] : c.values)
        EXPECT_EQ(captured(parser, name, c.typed), std::optional<UnicodeString>(value)) << toUtf8(name);
}

INSTANTIATE_TEST_SUITE_P(Cases, DeclarationsWhereWritten,
    ::testing::Values(SpliceCase { "ParametersAKindIgnores", u"${n:text(abc)} ${w:word}", u"x hello",
                          { { u"n", u"x" }, { u"w", u"hello" } } },
        SpliceCase { "EnumCasesWithDollars", u"m ${v:enum($_GET,$_POST)}", u"m $_POST", { { u"v", u"$_POST" } } },
        SpliceCase { "SwitchWithBracesAndDollars", u"s ${v:switch(a:{x},b:$y)} ${w:word}", u"s b z",
            { { u"v", u"b" }, { u"w", u"z" } } },
        SpliceCase { "EscapedBarsInAnOptionalDefault", u"o| ${op:text=\\|\\|} ${b:word}|", u"o && q",
            { { u"op", u"&&" }, { u"b", u"q" } } },
        SpliceCase { "EscapedBarInAnOptionalEnum", u"e |${e:enum(a\\|b,c)}|", u"e a|b", { { u"e", u"a|b" } } },
        SpliceCase { "DeclarationTextInsideAnother", u"${s:switch(k:${v:word})} ${v:word}", u"k abc",
            { { u"s", u"k" }, { u"v", u"abc" } } }),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(PatternParserTest, ConstructionErrorsComeInCheckOrder)
{
    try {
        parse(u"${a:word} ${a:word}\nx");
        FAIL();
    } catch (const PatternParsingError& error) {
        EXPECT_EQ(error.userErrorDescription(), u"Pattern must be a one\u2013line expression.");
        EXPECT_EQ(error.userErrorTitle(), u"Pattern parsing error");
    }
    EXPECT_THROW(parse(u"${a:word} ${a:word}"), PatternValidationError);
    EXPECT_THROW(parse(u"${a:nope}"), ParsingError);
}

TEST_F(PatternParserTest, PatternHTMLMarksVariablesAndOptionalPartsAndEscapesText)
{
    auto parser = parse(u"a ${x:word} |b|");
    EXPECT_EQ(parser.patternHTML(), u"a <span class=\"variable\">x</span> <span class=\"optional\">b</span>");
    EXPECT_EQ(parse(u"a<b & \"c\"").patternHTML(), u"a&lt;b &amp; &quot;c&quot;");
}

TEST_F(PatternParserTest, WithoutEmbeddingsFlattenedAndExpandedAreThePatternItself)
{
    auto parser = parse(u"x ${a:word} ${b:switch(k:v)=k}");
    EXPECT_EQ(parser.expandedPattern(), u"x ${a:word} ${b:switch(k:v)=k}");
    ASSERT_EQ(parser.flattenedVariables().size(), 2u);
    EXPECT_EQ(parser.flattenedVariables()[1]->name(), u"b");
}

TEST_F(PatternParserTest, EveryVariableExpressionIsUsedInEachSegment)
{
    auto parser = parse(u"${a:word}| ${b:enum(x,y)}|");
    EXPECT_EQ(parser.regexPattern(), u"((\\w+))( ((x|y)))?");
    EXPECT_EQ(parser.captureGroupIndex(*parser.variable(u"b")), 4);
    EXPECT_EQ(*captured(parser, u"b", u"z y"), u"y");
}

TEST_F(PatternParserTest, AFragmentHoldingAnotherDeclarationTakesNoneOfItsGroups)
{
    // The enum's one case is the text of b's declaration: b's groups belong where b is
    // declared, not inside a's fragment.
    auto parser = parse(u"${a:enum(\\$\\{b:word\\})} ${b:word}");
    EXPECT_EQ(parser.regexPattern(), u"((\\$\\{b:word\\})) ((\\w+))");
    EXPECT_EQ(parser.captureGroupIndex(*parser.variable(u"a")), 1);
    EXPECT_EQ(parser.captureGroupIndex(*parser.variable(u"b")), 3);
    EXPECT_EQ(*captured(parser, u"a", u"${b:word} hi"), u"${b:word}");
    EXPECT_EQ(*captured(parser, u"b", u"${b:word} hi"), u"hi");
    EXPECT_TRUE(captureGroups(u"x hi", parser.anchoredRegexPattern()).empty());
}

} // namespace
} // namespace quillet
