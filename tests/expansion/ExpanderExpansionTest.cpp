#include "expansion/ExpanderExpansion.h"

#include "expansion/ExpanderController.h"
#include "support/ScriptedExpander.h"
#include "support/TestSupport.h"
#include "text/UserErrorDescriptionType.h"

#include <gtest/gtest.h>

namespace quillet {
namespace {

using test::scripted;
using test::ScriptedExpander;

std::optional<ExpandedExpression> expandWith(
    const icu::UnicodeString& expression, const icu::UnicodeString& output, const icu::UnicodeString& text)
{
    const ExpanderController controller;
    return expandedExpression(*scripted(expression, output), text, controller);
}

struct ExpansionCase {
    const char* name;
    const char16_t* text;
    const char16_t* expression;
    const char16_t* output;
    const char16_t* expectedText;
    int64_t expectedCaret;

    friend void PrintTo(const ExpansionCase& c, std::ostream* out) { *out << c.name; }
};

class Expansion : public testing::TestWithParam<ExpansionCase> { };

TEST_P(Expansion, ReplacesTheAbbreviationAndPlacesTheCaret)
{
    const auto& c = GetParam();
    const auto result = expandWith(c.expression, c.output, c.text);
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(result->text, icu::UnicodeString(c.expectedText));
    EXPECT_EQ(result->cursorPosition, c.expectedCaret);
}

INSTANTIATE_TEST_SUITE_P(Cases, Expansion,
    testing::Values(
        ExpansionCase { "LaterLinesGetTheFirstLinesIndentation", u"    foo", u"foo", u"a\nb", u"    a\n    b", 11 },
        ExpansionCase {
            "NoIndentationWhenTheLineStartsWithText", u"x = fn", u"fn", u"if (#) {\n}", u"x = if () {\n}", 8 },
        ExpansionCase { "EscapedMarkerIsNotTheCaret", u"ab", u"ab", u"a\\#b#c", u"a#bc", 3 },
        ExpansionCase { "MarkerAtTheVeryStart", u"x", u"x", u"#x", u"x", 0 },
        ExpansionCase { "NoMarkerPutsTheCaretAtTheEnd", u"p x", u"x", u"a\\#b", u"p a#b", 5 },
        ExpansionCase { "OnlyTheFirstMarkerIsTaken", u"x", u"x", u"#a#", u"a#", 0 },
        ExpansionCase { "EscapedBarsBecomeBars", u"x", u"x", u"a\\|b#", u"a|b", 3 },
        ExpansionCase { "CaretCountsCharactersNotCodeUnits", u"x", u"x", u"\U0001F600#", u"\U0001F600", 1 },
        ExpansionCase { "CaretCountsFromTheStartOfTheWholeText", u"\U0001F1E9\U0001F1EA x", u"x", u"(#)",
            u"\U0001F1E9\U0001F1EA ()", 3 },
        ExpansionCase { "TabsAndNoBreakSpacesAreCopiedAsTheyStand", u"\t\u00A0 x", u"x", u"a\n\nb",
            u"\t\u00A0 a\n\t\u00A0 \n\t\u00A0 b", 13 },
        ExpansionCase { "OnlyTheLeftmostMatchIsReplaced", u"aaa", u"a+", u"b", u"b", 1 }),
    [](const testing::TestParamInfo<ExpansionCase>& info) { return info.param.name; });

// Typed text before the abbreviation is the user's: a "#" or "\|" in it is neither a marker nor
// an escape (expanding "#inc" must keep the "#").
TEST(Expansion, KeepsMarkersAndEscapesTypedBeforeTheAbbreviation)
{
    auto result = expandWith(u"inc", u"include <#>", u"#inc");
    ASSERT_TRUE(result);
    EXPECT_EQ(result->text, u"#include <>");
    EXPECT_EQ(result->cursorPosition, 10);

    result = expandWith(u"x", u"y", u"a\\|b \\# x");
    ASSERT_TRUE(result);
    EXPECT_EQ(result->text, u"a\\|b \\# y");
    EXPECT_EQ(result->cursorPosition, 9);
}

// An output that starts with a line break must not make the line break part of the indentation.
TEST(Expansion, ReindentationNeverTakesLineBreaksAsIndentation)
{
    auto result = expandWith(u"x", u"\na\nb", u"x");
    ASSERT_TRUE(result);
    EXPECT_EQ(result->text, u"\na\nb");

    result = expandWith(u"x", u"\na", u"  x");
    ASSERT_TRUE(result);
    EXPECT_EQ(result->text, u"  \n  a");
}

TEST(Expansion, GivesNothingForATextWithALineFeed)
{
    const auto expander = scripted(u"foo", u"bar");
    const ExpanderController controller;
    EXPECT_FALSE(expandedExpression(*expander, u"a\nfoo", controller));
    EXPECT_FALSE(expandedExpression(*expander, u"foo\n", controller));
    EXPECT_FALSE(matchedText(*expander, u"a\nfoo", controller));
    EXPECT_EQ(expander->expandCalls(), 0);
}

TEST(Expansion, GivesNothingWhenThePatternDoesNotMatchTheEnd)
{
    EXPECT_FALSE(expandWith(u"foo", u"bar", u"foo x"));
    EXPECT_FALSE(expandWith(u"(", u"bar", u"(")) << "an expression that does not compile matches nothing";
    // "$" also matches before a final carriage return; that match is not a suffix.
    EXPECT_FALSE(expandWith(u"foo", u"bar", u"foo\r"));
    // An empty match is no match: an expander whose pattern may match nothing applies to nothing.
    EXPECT_FALSE(expandWith(u"", u"!", u"abc"));
    EXPECT_FALSE(expandWith(u"(?:x)?", u"!", u"abc"));
}

TEST(Expansion, HandsTheMatchedAbbreviationToTheExpander)
{
    const auto expander = scripted(u"f\\w+", u"out");
    const ExpanderController controller;
    ASSERT_TRUE(expandedExpression(*expander, u"x = foo", controller));
    EXPECT_EQ(expander->lastExpanded(), u"foo");
    EXPECT_EQ(matchedText(*expander, u"x = foo", controller), u"foo");
}

TEST(Expansion, DropsPatternErrorsButPassesOutputErrorsOn)
{
    const ExpanderController controller;
    const ScriptedExpander unparsable([]() -> icu::UnicodeString { throw BasicUserError(u"Pattern", u"bad"); },
        [](const icu::UnicodeString&) { return icu::UnicodeString(u"x"); });
    EXPECT_FALSE(expandedExpression(unparsable, u"abc", controller));
    EXPECT_THROW(matchedText(unparsable, u"abc", controller), BasicUserError);

    const ScriptedExpander failing([] { return icu::UnicodeString(u"c"); },
        [](const icu::UnicodeString&) -> icu::UnicodeString { throw BasicUserError(u"Output", u"bad"); });
    EXPECT_THROW(expandedExpression(failing, u"ab c", controller), BasicUserError);
}

TEST(Expansion, MatchesCaseSensitively)
{
    EXPECT_FALSE(expandWith(u"foo", u"bar", u"FOO"));
}

} // namespace
} // namespace quillet
