#include "languages/ExampleHighlightingPattern.h"
#include "languages/OptionalExpressionHighlightingPattern.h"
#include "languages/OutputVariableHighlightingPattern.h"
#include "languages/PatternVariableHighlightingPattern.h"
#include "languages/ProgrammingLanguageRecord.h"
#include "languages/StringHighlightingPattern.h"
#include "languages/TextViewHighlighting.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace quillet {
namespace {

using test::highlight;
using test::lookOf;
using test::matchedTexts;
using Texts = std::vector<std::u16string>;

const orv::Color blue = *orv::Color::fromRgb(u"#3B9AFB");
const orv::Color grey = *orv::Color::fromRgb(u"#aaaaaa");
const orv::Color exampleBlue = *orv::Color::fromRgb(u"#52C0FF");

TEST(StringHighlightingPattern, ItalicisesEachQuotedRunWithItsQuotes)
{
    const StringHighlightingPattern strings;

    EXPECT_EQ(strings.pattern().size(), 15u);
    EXPECT_EQ(matchedTexts(strings, u"say(\"hi\", 'x') + \"\""), (Texts { u"\"hi\"", u"'x'", u"\"\"" }));
    EXPECT_TRUE(matchedTexts(strings, u"a \" lone quote").empty());
    // A backslash escapes nothing: the run ends at the next double quote.
    EXPECT_EQ(matchedTexts(strings, u"\"a\\\"b\""), (Texts { u"\"a\\\"" }));
    EXPECT_TRUE(strings.format()->isItalic);
    EXPECT_FALSE(strings.format()->isBold);
    EXPECT_FALSE(strings.format()->color);
}

TEST(ExampleHighlightingPattern, ColoursWholeExampleLinesOnly)
{
    const ExampleHighlightingPattern examples;
    const icu::UnicodeString description(u"Intro\n> foo(bar)\n>foo\n> \nend > x");

    EXPECT_EQ(examples.pattern().size(), 12u);
    EXPECT_EQ(matchedTexts(examples, description), (Texts { u"> foo(bar)" }));
    EXPECT_EQ(examples.format()->color, exampleBlue);
    EXPECT_FALSE(examples.format()->isBold || examples.format()->isItalic);
}

struct ExpressionCase {
    const char* name;
    std::shared_ptr<const orv::HighlightingPattern> pattern;
    std::size_t expressionLength;
    orv::Color color;
    std::u16string text;
    Texts expectedMatches;

    friend void PrintTo(const ExpressionCase& c, std::ostream* out) { *out << c.name; }
};

class EngineExpressions : public ::testing::TestWithParam<ExpressionCase> { };

TEST_P(EngineExpressions, ColourExactlyWhatTheEngineRecognises)
{
    const auto& c = GetParam();
    const icu::UnicodeString text = u16(c.text);

    EXPECT_EQ(c.pattern->pattern().size(), c.expressionLength);
    EXPECT_EQ(matchedTexts(*c.pattern, text), c.expectedMatches);
    EXPECT_EQ(c.pattern->format()->color, c.color);
    EXPECT_FALSE(c.pattern->format()->isBold || c.pattern->format()->isItalic);
}

const auto declarations = std::make_shared<PatternVariableHighlightingPattern>();
const auto optionalParts = std::make_shared<OptionalExpressionHighlightingPattern>();
const auto placeholders = std::make_shared<OutputVariableHighlightingPattern>();

INSTANTIATE_TEST_SUITE_P(EditorHighlighting, EngineExpressions,
    ::testing::Values(ExpressionCase { "WholeDeclarations", declarations, 61, blue,
                          u"for ${name:word} in ${count:number=3} ${x}", { u"${name:word}", u"${count:number=3}" } },
        ExpressionCase { "OptionalPartWithItsBars", optionalParts, 37, grey, u"a |b| c", { u"|b|" } },
        ExpressionCase { "EscapedBarsMakeNoOptionalPart", optionalParts, 37, grey, u"a \\|b\\| c", {} },
        ExpressionCase { "OptionalPartAcrossLines", optionalParts, 37, grey, u"x |one\ntwo| y", { u"|one\ntwo|" } },
        ExpressionCase { "PlaceholdersButNotDeclarations", placeholders, 23, blue,
            u"${name.uppercase.snakecase} = ${name:word}; ${x}", { u"${name.uppercase.snakecase}", u"${x}" } }),
    [](const auto& info) { return std::string(info.param.name); });

TEST(EditorHighlighting, InThePatternEditorAnOptionalPartIsGreyAndPlainOverADeclaration)
{
    const orv::HighlightingPatternList patterns { std::make_shared<PatternVariableHighlightingPattern>(),
        std::make_shared<OptionalExpressionHighlightingPattern>() };
    const icu::UnicodeString pattern(u"${name:word} |${type:word}|");

    const auto looks = highlight(patterns, pattern);

    EXPECT_EQ(lookOf(looks, pattern, u"${name:word}"), (test::Look { .color = blue }));
    EXPECT_EQ(lookOf(looks, pattern, u"|${type:word}|"), (test::Look { .color = grey }));
}

TEST(EditorHighlighting, InTheTemplateEditorAKeywordInsideAPlaceholderIsBoldAndStaysBlue)
{
    orv::HighlightingPatternList patterns { std::make_shared<OutputVariableHighlightingPattern>() };
    for (const auto& pattern : CProgrammingLanguage().highlightingPatterns())
        patterns.push_back(pattern);
    patterns.push_back(std::make_shared<OptionalExpressionHighlightingPattern>());
    const icu::UnicodeString output(u"int ${int} = 0; ");

    const auto looks = highlight(patterns, output);

    EXPECT_EQ(lookOf(looks, output, u"int"), (test::Look { .isBold = true, .color = {} }));
    EXPECT_EQ(lookOf(looks, output, u"${"), (test::Look { .color = blue }));
    EXPECT_EQ(looks[std::size_t(output.indexOf(u"int", 4))], (test::Look { .isBold = true, .color = blue }));
}

} // namespace
} // namespace quillet
