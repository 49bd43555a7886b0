#include "expansion/ExpanderController.h"

#include "library/CustomExpander.h"
#include "support/ScriptedExpander.h"
#include "support/TemplateExpander.h"
#include "support/TestSupport.h"
#include "text/Settings.h"
#include "text/StringMatching.h"
#include "text/UnicodeConversion.h"
#include "text/UserErrorDescriptionType.h"

#include <gtest/gtest.h>

#include <string>

namespace quillet {
namespace {

using test::templateExpander;

// The whole engine on real patterns and templates: parsing, matching, generation and the routine.
class TemplateExpansion : public testing::Test {
protected:
    void SetUp() override
    {
        auto settings = std::make_shared<InMemorySettings>();
        settings->registerDefaults(
            { { "IndentWithSpaces", true }, { "IndentSize", 4LL }, { "MaximumCharactersInLine", 80LL } });
        Settings::setShared(settings);
    }
    void TearDown() override { Settings::setShared(nullptr); }
};

TEST_F(TemplateExpansion, ExpandsTheBestMatchWithItsVariables)
{
    const ExpanderController controller({
        templateExpander(u"for ${i:word}", u"for ${i} {\n\t#\n}", u"for"),
        templateExpander(u"for ${i:word} in ${list:word}", u"for (${i} in ${list}) {\n\t#\n}", u"forin"),
    });
    const auto result = controller.findExpander(u"  for x in items");
    ASSERT_TRUE(result);
    EXPECT_EQ(result->text, u"  for (x in items) {\n      \n  }");
    EXPECT_EQ(result->cursorPosition, 27);
}

TEST_F(TemplateExpansion, ThePatternIsTrimmedBeforeMatching)
{
    const ExpanderController controller({ templateExpander(u"  foo\t", u"bar") });
    const auto result = controller.findExpander(u"x foo");
    ASSERT_TRUE(result);
    EXPECT_EQ(result->text, u"x bar");
}

TEST_F(TemplateExpansion, KeepsAHashTypedBeforeTheAbbreviation)
{
    const ExpanderController controller({ templateExpander(u"inc", u"include <#>") });
    const auto result = controller.findExpander(u"#inc");
    ASSERT_TRUE(result);
    EXPECT_EQ(result->text, u"#include <>");
    EXPECT_EQ(result->cursorPosition, 10);
}

TEST_F(TemplateExpansion, OptionalPartsFollowWhatWasTyped)
{
    const ExpanderController controller(
        { templateExpander(u"fn ${name:word}|(${args:text})|", u"${name}(|${args}|)#") });
    auto result = controller.findExpander(u"fn run(a, b)");
    ASSERT_TRUE(result);
    EXPECT_EQ(result->text, u"run(a, b)");
    result = controller.findExpander(u"fn run");
    ASSERT_TRUE(result);
    EXPECT_EQ(result->text, u"run()");
}

TEST_F(TemplateExpansion, AnUnparsablePatternEndsTheSearchNamingItsExpander)
{
    const auto broken = templateExpander(u"x ${v:nosuchtype}", u"x", u"broken");
    const auto working = templateExpander(u"${v:word}", u"fine", u"working");
    const ExpanderController controller({ broken, working });
    EXPECT_EQ(test::expanderNamedBySearchError(controller, u"abc"), broken);
}

TEST_F(TemplateExpansion, AnUnknownPlaceholderIsReportedWithItsExpander)
{
    const auto expander = templateExpander(u"p ${x:word}", u"${x} ${nosuch}", u"p");
    const ExpanderController controller({ expander });
    try {
        controller.findExpander(u"p 1");
        FAIL() << "no error";
    } catch (const ExpandingError& error) {
        EXPECT_EQ(error.userErrorDescription(), u"Variable \"nosuch\" has not been found in the pattern.");
        EXPECT_EQ(error.expander(), expander);
    }
}

TEST_F(TemplateExpansion, AnEditedPatternIsParsedAnew)
{
    const auto expander = templateExpander(u"old", u"out");
    const ExpanderController controller({ expander });
    ASSERT_TRUE(controller.findExpander(u"old"));
    expander->setPattern(u"new");
    EXPECT_FALSE(controller.findExpander(u"old"));
    EXPECT_TRUE(controller.findExpander(u"new"));
}

std::shared_ptr<CustomExpander> customExpander(
    const icu::UnicodeString& pattern, const icu::UnicodeString& output, const icu::UnicodeString& identifier = u"")
{
    auto expander = std::make_shared<CustomExpander>();
    expander->setName(u"custom");
    expander->setIdentifier(identifier);
    expander->setPattern(pattern);
    expander->setOutputTemplate(output);
    return expander;
}

struct TypedCase {
    const char* name;
    std::u16string pattern;
    std::u16string output;
    std::u16string typed;
    std::optional<std::u16string> expectedText; ///< none: no expander applies
    int64_t expectedCaret = 0;

    friend void PrintTo(const TypedCase& c, std::ostream* out) { *out << c.name; }
};

class WhatTheUserTyped : public TemplateExpansion, public testing::WithParamInterface<TypedCase> { };

// The library's expander end to end: what the user typed goes in as typed, and only whole
// words (or what starts with punctuation) are abbreviations.
TEST_P(WhatTheUserTyped, ExpandsAsTyped)
{
    const auto& c = GetParam();
    auto text = [](const std::u16string& s) { return icu::UnicodeString(s.data(), int32_t(s.size())); };
    const ExpanderController controller({ customExpander(text(c.pattern), text(c.output)) });
    const auto result = controller.findExpander(text(c.typed));
    ASSERT_EQ(result.has_value(), c.expectedText.has_value()) << (result ? toUtf8(result->text) : "");
    if (!result)
        return;
    EXPECT_EQ(result->text, text(*c.expectedText));
    EXPECT_EQ(result->cursorPosition, c.expectedCaret);
}

INSTANTIATE_TEST_SUITE_P(Cases, WhatTheUserTyped,
    testing::Values(TypedCase { "AHashInAValueIsNoMarker", u"if ${c:text}", u"if ${c} {\n\t#\n}",
                        u"if #available(iOS 17, *)", u"if #available(iOS 17, *) {\n    \n}", 31 },
        TypedCase { "EscapesInAValueStay", u"v ${c:text}", u"<${c}>#", u"v a\\|b \\#", u"<a\\|b \\#>", 9 },
        TypedCase { "ABackslashEndingAValueEscapesNothing", u"v ${c:text}", u"${c}#;", u"v a\\", u"a\\;", 2 },
        TypedCase { "EscapedBarsOfADefault", u"o| ${op:text=\\|\\|}|", u"[${op}]#", u"o", u"[||]", 4 },
        TypedCase { "NoMatchInsideAWord", u"init", u"- init", u"deinit", std::nullopt },
        TypedCase { "ALaterWordStartIsStillFound", u"|ex |point ${x:number} ${y:number}", u"P(${x}, ${y})",
            u"let index point 3 4", u"let index P(3, 4)", 17 },
        TypedCase { "PunctuationStartsMatchAfterAnything", u"#inc", u"\\#include <#>", u"x#inc", u"x#include <>", 11 },
        TypedCase { "AnEmptyMatchIsNoMatch", u"|x|", u"X", u"hello", std::nullopt },
        TypedCase { "EnumCasesWithDollars", u"m ${v:enum($_GET,$_POST)}", u"${v}[#]", u"m $_POST", u"$_POST[]", 7 },
        TypedCase { "ACanonicallyEqualName", u"c ${caf\u00E9:word}", u"<${cafe\u0301}>", u"c x", u"<x>", 3 }),
    [](const testing::TestParamInfo<TypedCase>& info) { return info.param.name; });

// Long texts and heavy patterns are matched whole, or reported: never a silent wrong result.
TEST_F(TemplateExpansion, LongInputsExpandWhole)
{
    const icu::UnicodeString longValue = repeated(u"a", 100000);
    const icu::UnicodeString beforeReturn = repeated(u"x", 3000);
    icu::UnicodeString filters;
    for (int i = 0; i < 10000; ++i)
        filters.append(u".uppercase");
    icu::UnicodeString many(u"m");
    icu::UnicodeString manyOutput;
    icu::UnicodeString manyTyped(u"m");
    for (int i = 0; i < 18; ++i) {
        const icu::UnicodeString name = u"v" + icu::UnicodeString(char16_t(u'a' + i));
        many.append(u" ${" + name + u":text}");
        manyOutput.append(u"${" + name + u"}");
        manyTyped.append(u" " + icu::UnicodeString(char16_t(u'a' + i)));
    }

    struct Case {
        std::shared_ptr<CustomExpander> expander;
        icu::UnicodeString typed;
        icu::UnicodeString expectedText;
        int64_t expectedCaret;
    };
    const Case cases[] = {
        { customExpander(u"v ${c:text}", u"<${c}>#"), u"v " + longValue, u"<" + longValue + u">", 100002 },
        { customExpander(u"${l:text} = ${r:text}", u"${l} := ${r}"), beforeReturn + u"\ra = b",
            beforeReturn + u"\ra := b", 3007 },
        { customExpander(u"${l:text} = ${r:text}", u"${l} := ${r}"), beforeReturn + u"\u2028a = b",
            beforeReturn + u"\u2028a := b", 3007 },
        { customExpander(u"f ${c:word}", u"${c" + filters + u"}"), u"f abc", u"ABC", 3 },
        { customExpander(many, manyOutput), manyTyped, u"abcdefghijklmnopqr", 18 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(toUtf8(c.expander->pattern()));
        const ExpanderController controller({ c.expander });
        std::optional<ExpandedExpression> result;
        EXPECT_NO_THROW(result = controller.findExpander(c.typed));
        ASSERT_TRUE(result);
        EXPECT_TRUE(result->text == c.expectedText);
        EXPECT_EQ(result->cursorPosition, c.expectedCaret);
    }
}

TEST_F(TemplateExpansion, APatternThatRunsOutOfTimeIsReportedWithItsExpander)
{
    // Twelve lazy runs before a letter the line lacks backtrack beyond any limit.
    icu::UnicodeString hostile;
    for (int i = 0; i < 12; ++i)
        hostile.append(u"${v" + icu::UnicodeString(char16_t(u'a' + i)) + u":text?}");
    hostile.append(u"Q");
    const auto slow = customExpander(hostile, u"never");
    const auto word = customExpander(u"zz", u"found");
    const ExpanderController controller({ slow, word });
    try {
        controller.findExpander(u"a line of ordinary words typed in an editor and then zz");
        FAIL() << "no error";
    } catch (const ExpandingError& error) {
        EXPECT_EQ(error.userErrorDescription(), u"The pattern of \"custom\" took too long to match the text.");
        EXPECT_EQ(error.expander(), slow);
    }
}

// An embedded expander is found by a canonically equal identifier, and its output keeps its
// template's own marker.
TEST_F(TemplateExpansion, AnEmbeddedExpanderKeepsItsTemplateText)
{
    const auto point = customExpander(u"pt ${x:word}", u"P(#${x})", u"caf\u00E9");
    const auto user = customExpander(u"at ${p:exp(cafe\u0301)}", u"at ${p}");
    const ExpanderController controller({ point, user });
    const auto result = controller.findExpander(u"at pt 3");
    ASSERT_TRUE(result);
    EXPECT_EQ(result->text, u"at P(3)");
    EXPECT_EQ(result->cursorPosition, 5);
}

} // namespace
} // namespace quillet
