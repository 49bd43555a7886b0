#include "expansion/ExpanderController.h"

#include "library/UserErrorDescriptionType.h"
#include "support/ScriptedExpander.h"
#include "support/TemplateExpander.h"
#include "support/TestSupport.h"
#include "text/Settings.h"

#include <gtest/gtest.h>

namespace quillet {
namespace {

using test::templateExpander;

// The whole engine on real patterns and templates: parsing, matching, generation and the routine.
class TemplateExpansion : public testing::Test {
protected:
    void SetUp() override
    {
        auto settings = std::make_shared<InMemorySettings>();
        settings->registerDefaults({{"IndentWithSpaces", true}, {"IndentSize", 4LL}, {"MaximumCharactersInLine", 80LL}});
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
    const ExpanderController controller({templateExpander(u"  foo\t", u"bar")});
    const auto result = controller.findExpander(u"x foo");
    ASSERT_TRUE(result);
    EXPECT_EQ(result->text, u"x bar");
}

TEST_F(TemplateExpansion, KeepsAHashTypedBeforeTheAbbreviation)
{
    const ExpanderController controller({templateExpander(u"inc", u"include <#>")});
    const auto result = controller.findExpander(u"#inc");
    ASSERT_TRUE(result);
    EXPECT_EQ(result->text, u"#include <>");
    EXPECT_EQ(result->cursorPosition, 10);
}

TEST_F(TemplateExpansion, OptionalPartsFollowWhatWasTyped)
{
    const ExpanderController controller({templateExpander(u"fn ${name:word}|(${args:text})|", u"${name}(|${args}|)#")});
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
    const ExpanderController controller({broken, working});
    EXPECT_EQ(test::expanderNamedBySearchError(controller, u"abc"), broken);
}

TEST_F(TemplateExpansion, AnUnknownPlaceholderIsReportedWithItsExpander)
{
    const auto expander = templateExpander(u"p ${x:word}", u"${x} ${nosuch}", u"p");
    const ExpanderController controller({expander});
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
    const ExpanderController controller({expander});
    ASSERT_TRUE(controller.findExpander(u"old"));
    expander->setPattern(u"new");
    EXPECT_FALSE(controller.findExpander(u"old"));
    EXPECT_TRUE(controller.findExpander(u"new"));
}

} // namespace
} // namespace quillet
