#include "expansion/OutputGenerator.h"

#include "expansion/ExpanderController.h"
#include "expansion/ExpressionParser.h"
#include "expansion/NoFilterError.h"
#include "expansion/TextSettings.h"
#include "support/TestSupport.h"
#include "text/Settings.h"
#include "text/UserErrorDescriptionType.h"
#include "variables/PatternParser.h"

#include <gtest/gtest.h>

namespace quillet {
namespace {

class OutputGeneratorTest : public testing::Test {
protected:
    void SetUp() override
    {
        m_settings = std::make_shared<InMemorySettings>();
        m_settings->registerDefaults(
            { { "IndentWithSpaces", true }, { "IndentSize", 4LL }, { "MaximumCharactersInLine", 80LL } });
        Settings::setShared(m_settings);
    }
    void TearDown() override { Settings::setShared(nullptr); }

    icu::UnicodeString generate(
        const icu::UnicodeString& pattern, const icu::UnicodeString& outputTemplate, const icu::UnicodeString& typed)
    {
        const PatternParser parser(pattern, nullptr, m_controller);
        return OutputGenerator(outputTemplate, m_controller, parser).generate(typed);
    }

    /// The error's description, or a note that nothing was thrown.
    template <typename Error>
    icu::UnicodeString errorOf(
        const icu::UnicodeString& pattern, const icu::UnicodeString& outputTemplate, const icu::UnicodeString& typed)
    {
        try {
            generate(pattern, outputTemplate, typed);
        } catch (const Error& error) {
            return error.userErrorDescription();
        }
        return u"<no error>";
    }

    InMemorySettings& settings() { return *m_settings; }

private:
    std::shared_ptr<InMemorySettings> m_settings;
    ExpanderController m_controller;
};

TEST_F(OutputGeneratorTest, FillsPlaceholdersThroughTheirFilters)
{
    EXPECT_EQ(generate(u"${name:word}", u"Hello ${name.uppercase}!", u"bob"), u"Hello BOB!");
    EXPECT_EQ(generate(u"get ${name:word}", u"get${name.ucfirst}() { return ${name}; }", u"get count"),
        u"getCount() { return count; }");
}

TEST_F(OutputGeneratorTest, TabsBecomeTheIndentationUnit)
{
    EXPECT_EQ(generate(u"x", u"\tfoo", u"x"), u"    foo");
    settings().set(TextSettings::indentSizeKey, 2LL);
    EXPECT_EQ(generate(u"x", u"\tfoo\n\t\tbar", u"x"), u"  foo\n    bar");
    settings().set(TextSettings::indentSizeKey, 0LL);
    EXPECT_EQ(generate(u"x", u"\tfoo", u"x"), u"foo");
    settings().set(TextSettings::indentWithSpacesKey, false);
    EXPECT_EQ(generate(u"x", u"\tfoo", u"x"), u"\tfoo");
}

TEST_F(OutputGeneratorTest, OptionalPartsAreDroppedWhenAValueIsMissing)
{
    EXPECT_EQ(generate(u"f| ${x:word}|", u"a|, ${x}|b", u"f"), u"ab");
    EXPECT_EQ(generate(u"f| ${x:word}|", u"a|, ${x}|b", u"f 1"), u"a, 1b");
    // The literal text and the other placeholders of the part vanish with it.
    EXPECT_EQ(generate(u"f ${a:word}| ${x:word}|", u"|${a} and ${x}|.", u"f one"), u".");
}

TEST_F(OutputGeneratorTest, AnOptionalPartMaySpanLines)
{
    EXPECT_EQ(generate(u"f| ${x:word}|", u"a|\n${x}\n|b", u"f 1"), u"a\n1\nb");
    EXPECT_EQ(generate(u"f| ${x:word}|", u"a|\n${x}\n|b", u"f"), u"ab");
}

TEST_F(OutputGeneratorTest, TheSamePlaceholderTwiceGetsTheSameValue)
{
    EXPECT_EQ(generate(u"p ${v:word}", u"|${v} = ${v}|;", u"p n"), u"n = n;");
}

TEST_F(OutputGeneratorTest, LiteralsAndLoneBarsStayAsWritten)
{
    EXPECT_EQ(generate(u"x", u"|literal|", u"x"), u"literal");
    EXPECT_EQ(generate(u"x", u"a | b", u"x"), u"a | b");
    EXPECT_EQ(generate(u"x", u"a \\| b", u"x"), u"a \\| b");
    EXPECT_EQ(generate(u"x", u"no placeholders # here", u"x"), u"no placeholders # here");
}

TEST_F(OutputGeneratorTest, ADefaultValueStandsInForAnUntypedOptionalPart)
{
    EXPECT_EQ(generate(u"f| ${x:word=dflt}|", u"${x.uppercase}", u"f"), u"DFLT");
    EXPECT_EQ(generate(u"f| ${x:word=dflt}|", u"${x.uppercase}", u"f abc"), u"ABC");
}

TEST_F(OutputGeneratorTest, ADefaultValueGoesThroughTheVariablesOwnMapping)
{
    EXPECT_EQ(generate(u"v| ${k:switch(a:public,b:private)=b}|", u"${k.ucfirst}", u"v"), u"Private");
    EXPECT_EQ(generate(u"v| ${k:switch(a:public,b:private)=b}|", u"${k}", u"v a"), u"public");
}

TEST_F(OutputGeneratorTest, AMissingRequiredValueIsAnError)
{
    try {
        generate(u"f| ${x:word}|", u"[${x}]", u"f");
        FAIL() << "no error";
    } catch (const ExpandingError& error) {
        EXPECT_EQ(error.userErrorTitle(), u"Expression could not be expanded.");
        EXPECT_EQ(error.userErrorDescription(), u"Variable \"x\" is required");
        EXPECT_EQ(error.expander(), nullptr);
    }
}

TEST_F(OutputGeneratorTest, APlaceholderWithoutVariableIsAnErrorEvenInsideAnOptionalPart)
{
    const icu::UnicodeString notFound(u"Variable \"nosuch\" has not been found in the pattern.");
    EXPECT_EQ(errorOf<ExpandingError>(u"f ${x:word}", u"${x} ${nosuch}", u"f 1"), notFound);
    EXPECT_EQ(errorOf<ExpandingError>(u"f ${x:word}", u"${x}|${nosuch}|", u"f 1"), notFound);
}

TEST_F(OutputGeneratorTest, UnknownFiltersAreResolvedBeforeAnyValueIsRead)
{
    EXPECT_EQ(
        errorOf<NoFilterError>(u"f ${x:word}", u"${x.Uppercase}", u"f 1"), u"\"Uppercase\" filter had not been found.");
    // x is missing in the optional part, but the bad filter of its neighbour is found first.
    EXPECT_EQ(errorOf<NoFilterError>(u"f| ${x:word}|", u"|${x} ${x.nofilter}|", u"f"),
        u"\"nofilter\" filter had not been found.");
}

// A typed value that looks like another placeholder is text, never filled again.
TEST_F(OutputGeneratorTest, PlaceholdersAreFilledInOnePassByPosition)
{
    EXPECT_EQ(generate(u"set ${a:text} to ${b:word}", u"|${a}=${b}|", u"set ${b} to z"), u"${b}=z");
    EXPECT_EQ(generate(u"set ${a:text} to ${b:word}", u"${a}=${b}", u"set ${b} to z"), u"${b}=z");
}

TEST_F(OutputGeneratorTest, ExpressionParserReadsCaseInsensitivelyAndGivesNothingWithoutMatch)
{
    ExpanderController controller;
    const PatternParser parser(u"log ${msg:word}", nullptr, controller);
    const auto variable = parser.variable(u"msg");
    ASSERT_TRUE(variable);
    EXPECT_EQ(ExpressionParser(u"LOG hello", parser).evaluate(*variable), u"hello");
    EXPECT_FALSE(ExpressionParser(u"print hello", parser).evaluate(*variable));
}

TEST_F(OutputGeneratorTest, ATemplateWithoutPartsComesBackUnchanged)
{
    EXPECT_EQ(generate(u"x", u"", u"x"), u"");
    EXPECT_EQ(generate(u"x", u"plain ${ not } text", u"x"), u"plain ${ not } text");
}

} // namespace
} // namespace quillet
