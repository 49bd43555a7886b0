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

TEST(PatternVariableHighlightingPattern, ColoursWholeDeclarations)
{
    const PatternVariableHighlightingPattern variables;

    EXPECT_EQ(variables.pattern().size(), 61u);
    EXPECT_EQ(matchedTexts(variables, u"for ${name:word} in ${count:number=3} ${x}"),
        (Texts { u"${name:word}", u"${count:number=3}" }));
    EXPECT_EQ(variables.format()->color, blue);
}

TEST(OptionalExpressionHighlightingPattern, GreysRunsBetweenUnescapedBarsAcrossLines)
{
    const OptionalExpressionHighlightingPattern optional;

    EXPECT_EQ(optional.pattern().size(), 37u);
    EXPECT_EQ(matchedTexts(optional, u"a |b| c"), (Texts { u"|b|" }));
    EXPECT_TRUE(matchedTexts(optional, u"a \\|b\\| c").empty());
    EXPECT_EQ(matchedTexts(optional, u"x |one\ntwo| y"), (Texts { u"|one\ntwo|" }));
    EXPECT_EQ(optional.format()->color, grey);
}

TEST(OutputVariableHighlightingPattern, ColoursPlaceholdersWithFiltersButNotDeclarations)
{
    const OutputVariableHighlightingPattern placeholders;

    EXPECT_EQ(placeholders.pattern().size(), 23u);
    EXPECT_EQ(matchedTexts(placeholders, u"${name.uppercase.snakecase} = ${name:word}; ${x}"),
        (Texts { u"${name.uppercase.snakecase}", u"${x}" }));
    EXPECT_EQ(placeholders.format()->color, blue);
}

TEST(EditorHighlighting, InThePatternEditorAnOptionalPartIsGreyAndPlainOverADeclaration)
{
    const orv::HighlightingPatternList patterns { std::make_shared<PatternVariableHighlightingPattern>(),
        std::make_shared<OptionalExpressionHighlightingPattern>() };
    const icu::UnicodeString pattern(u"${name:word} |${type:word}|");

    const auto looks = highlight(patterns, pattern);

    const auto declaration = lookOf(looks, pattern, u"${name:word}");
    ASSERT_TRUE(declaration);
    EXPECT_EQ(declaration->color, blue);
    const auto optional = lookOf(looks, pattern, u"|${type:word}|");
    ASSERT_TRUE(optional);
    EXPECT_EQ(optional->color, grey);
}

TEST(EditorHighlighting, InTheTemplateEditorAKeywordInsideAPlaceholderIsBoldAndStaysBlue)
{
    orv::HighlightingPatternList patterns { std::make_shared<OutputVariableHighlightingPattern>() };
    for (const auto& pattern : CProgrammingLanguage().highlightingPatterns())
        patterns.push_back(pattern);
    patterns.push_back(std::make_shared<OptionalExpressionHighlightingPattern>());
    const icu::UnicodeString output(u"int ${int} = 0; ");

    const auto looks = highlight(patterns, output);

    const auto plainKeyword = lookOf(looks, output, u"int");
    ASSERT_TRUE(plainKeyword);
    EXPECT_TRUE(plainKeyword->isBold);
    EXPECT_FALSE(plainKeyword->color);
    const auto braces = lookOf(looks, output, u"${");
    ASSERT_TRUE(braces);
    EXPECT_FALSE(braces->isBold);
    EXPECT_EQ(braces->color, blue);
    const auto keywordInPlaceholder = lookOf(looks, output, u"int}");
    EXPECT_FALSE(keywordInPlaceholder) << "the keyword and the brace should differ in weight";
    const auto& inner = looks[std::size_t(output.indexOf(u"int", 4))];
    EXPECT_TRUE(inner.isBold);
    EXPECT_EQ(inner.color, blue);
}

} // namespace
} // namespace quillet
