#include "LibraryFakes.h"
#include "expansion/ExpanderController.h"
#include "library/App.h"
#include "library/CustomExpander.h"
#include "support/TestSupport.h"
#include "text/Settings.h"

#include <gtest/gtest.h>

namespace quillet {
namespace {

CustomExpanderPtr makeExpander(
    const char16_t* pattern, const char16_t* outputTemplate = u"", const char16_t* name = u"E")
{
    auto expander = std::make_shared<CustomExpander>();
    expander->setName(name);
    expander->setPattern(pattern);
    expander->setOutputTemplate(outputTemplate);
    return expander;
}

// Opens a library of the given bundle objects as the shared one for the test's duration.
class SharedLibrary {
public:
    explicit SharedLibrary(const std::string& bundles)
    {
        test::writeFile(m_dir.path() / "bundles.qlbundles", R"({"bundles": [)" + bundles + "]}");
        test::RecordingEnvironment recording(m_dir.path() / "bundles.qlbundles", m_dir.path() / "resources");
        App::setShared(std::make_unique<App>(recording.environment));
    }
    ~SharedLibrary() { App::setShared(nullptr); }

private:
    test::TempDir m_dir;
};

TEST(CustomExpanderMatching, PatternIsTrimmedOfSpacesAndTabsButNotOfLineBreaks)
{
    ExpanderController controller;
    auto padded = makeExpander(u" \tfor\t ");
    EXPECT_EQ(padded->matchPattern(controller), makeExpander(u"for")->matchPattern(controller));
    EXPECT_THROW(makeExpander(u"for\n")->matchPattern(controller), UserErrorDescriptionType);
}

TEST(CustomExpanderMatching, RepeatedCallsFollowPatternChanges)
{
    ExpanderController controller;
    auto expander = makeExpander(u"for ${n:word}");
    const auto first = expander->matchPattern(controller);
    EXPECT_EQ(expander->matchPattern(controller), first);
    expander->setPattern(u"while ${n:word}");
    EXPECT_NE(expander->matchPattern(controller), first);
    EXPECT_EQ(expander->matchPattern(controller), makeExpander(u"while ${n:word}")->matchPattern(controller));
}

TEST(CustomExpanderMatching, PatternsEmbeddingOtherExpandersFollowTheirChanges)
{
    auto inner = std::make_shared<CustomExpander>();
    inner->setIdentifier(u"inner");
    inner->setPattern(u"alpha");
    auto outer = makeExpander(u"x ${v:exp(inner)}");
    ExpanderController controller({ inner, outer });

    const auto before = outer->matchPattern(controller);
    inner->setPattern(u"beta");
    const auto after = outer->matchPattern(controller);
    EXPECT_NE(before, after);
    EXPECT_NE(after.indexOf(u"beta"), -1);
}

TEST(CustomExpanderExpansion, ReplacesTheMatchWithTheGeneratedOutput)
{
    auto settings = std::make_shared<InMemorySettings>();
    settings->registerDefaults({ { "IndentWithSpaces", true }, { "IndentSize", 2LL } });
    Settings::setShared(settings);
    ExpanderController controller;
    auto expander = makeExpander(u"  fn ${name:word}  ", u"func ${name}() {\n\t#\n}");

    EXPECT_EQ(expander->expand(u"fn run", controller), u16(u"func run() {\n  #\n}"));
}

TEST(CustomExpanderExpansion, TextsThatDoNotMatchAtTheEndComeBackUnchanged)
{
    ExpanderController controller;
    auto expander = makeExpander(u"fn ${name:word}", u"func ${name}()");
    EXPECT_EQ(expander->expand(u"nothing here", controller), u16(u"nothing here"));
    EXPECT_EQ(expander->expand(u"fn run;", controller), u16(u"fn run;"));
}

TEST(CustomExpanderExpansion, ParserErrorsReachTheCaller)
{
    ExpanderController controller;
    EXPECT_THROW(makeExpander(u"${a:word} ${a:word}", u"${a}")->expand(u"x y", controller), UserErrorDescriptionType);
}

TEST(CustomExpanderErrors, PatternAndOutputErrorsAreComputedAndCombined)
{
    struct Case {
        const char* name;
        const char16_t* pattern;
        const char16_t* outputTemplate;
        std::optional<icu::UnicodeString> patternErrors;
        std::optional<icu::UnicodeString> outputErrors;
        std::optional<icu::UnicodeString> errors;
    };
    const icu::UnicodeString singleLine(u"Pattern must be a one\u2013line expression.");
    const icu::UnicodeString twice(u"\"a\" variable name is declared 2 times.");
    const icu::UnicodeString undeclared(u"Variable \"b\" does not exist");
    const icu::UnicodeString twiceCafe(u"\"caf\u00E9\" variable name is declared 2 times.");
    const Case cases[] = {
        { "clean", u"f ${a:word}", u"${a}", std::nullopt, std::nullopt, std::nullopt },
        { "line break wins over a wrong template", u"f\n${a:word}", u"${b}", singleLine, std::nullopt, singleLine },
        { "name declared twice", u"${a:word} ${a:word}", u"${a}", twice, std::nullopt, twice },
        { "undeclared placeholder", u"f ${a:word}", u"${b}", std::nullopt, undeclared, undeclared },
        { "name declared twice in canonically equal forms, apart", u"${caf\u00E9:word} ${b:word} ${cafe\u0301:word}",
            u"${b}", twiceCafe, std::nullopt, twiceCafe },
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        auto expander = makeExpander(testCase.pattern, testCase.outputTemplate);
        EXPECT_EQ(expander->patternErrors(), testCase.patternErrors);
        EXPECT_EQ(expander->outputErrors(), testCase.outputErrors);
        EXPECT_EQ(expander->errors(), testCase.errors);
    }
}

TEST(CustomExpanderErrors, RejectedPatternKeepsTheEarlierOutputError)
{
    auto expander = makeExpander(u"f ${a:word}", u"${b}");
    ASSERT_TRUE(expander->outputErrors().has_value());
    expander->setPattern(u"${a:word} ${a:word}");
    EXPECT_EQ(expander->outputErrors(), u16(u"Variable \"b\" does not exist"));
    EXPECT_EQ(expander->errors(), expander->patternErrors());
}

TEST(CustomExpanderErrors, ParserFailureAfterPassingChecksIsShownAsThePatternError)
{
    SharedLibrary library(R"({"name": "B", "expanders": [{"name": "Self", "identifier": "self",
        "pattern": "s ${x:exp(self)}", "output_template": "", "supported_languages": ["any"]}]})");
    auto expander = App::shared().bundleStore().bundles()[0]->expanders()[0];
    expander->updateErrors();
    ASSERT_TRUE(expander->patternErrors().has_value());
    EXPECT_NE(expander->patternErrors()->indexOf(u"recursive"), -1) << toUtf8(*expander->patternErrors());
    EXPECT_EQ(expander->errors(), expander->patternErrors());

    // Without the self-reference the error goes away.
    expander->setPattern(u"s ${x:word}");
    EXPECT_FALSE(expander->patternErrors().has_value());
    EXPECT_FALSE(expander->errors().has_value());
}

TEST(CustomExpanderErrors, UnknownEmbeddedExpanderIsAPatternError)
{
    auto expander = makeExpander(u"s ${x:exp(nowhere)}");
    ASSERT_TRUE(expander->errors().has_value());
    EXPECT_NE(expander->errors()->indexOf(u"nowhere"), -1);
}

TEST(CustomExpanderPatternHTML, PageHoldsTheEscapedNameAndThePatternsHTML)
{
    auto expander = makeExpander(u"for ${i:word}", u"", u"<b>&\"Loop\"");
    const icu::UnicodeString page = expander->patternHTML();
    EXPECT_TRUE(page.startsWith(u"<html>\n    <head>\n        <style type=\"text/css\">\n            body {"));
    EXPECT_NE(page.indexOf(u"<div class=\"title\">&lt;b&gt;&amp;&quot;Loop&quot;</div>"), -1) << toUtf8(page);
    EXPECT_NE(page.indexOf(u"class=\"variable\""), -1);
    EXPECT_TRUE(page.endsWith(u"</div>\n    </body>\n</html>"));
}

TEST(CustomExpanderPatternHTML, PatternThatDoesNotParseShowsTheErrorBox)
{
    auto expander = makeExpander(u"${a:word} ${a:word}");
    const icu::UnicodeString page = expander->patternHTML();
    EXPECT_NE(
        page.indexOf(u"<div class=\"syntax\"><div class=\"error\"><div class=\"title\">Pattern is not correct</div>"
                     u"<div class=\"description\">\"a\" variable name is declared 2 times.</div></div></div>"),
        -1)
        << toUtf8(page);
}

} // namespace
} // namespace quillet
