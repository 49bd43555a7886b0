#include "variables/PatternValidator.h"

#include "expansion/ExpanderController.h"
#include "expansion/NoFilterError.h"
#include "expansion/OutputTemplateValidator.h"
#include "text/PatternErrors.h"
#include "text/RecursionObserver.h"
#include "variables/PatternElementParser.h"
#include "variables/PatternParser.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

namespace quillet {
namespace {

using icu::UnicodeString;

class PatternValidatorTest : public ::testing::Test {
protected:
    ExpanderController m_controller;

    UnicodeString errorOf(const UnicodeString& pattern)
    {
        try {
            PatternValidator(pattern, nullptr, m_controller).validate();
        } catch (const UserErrorDescriptionType& error) {
            return error.userErrorDescription();
        }
        return {};
    }
};

TEST_F(PatternValidatorTest, TheSingleLineRuleComesFirst)
{
    EXPECT_EQ(errorOf(u"${a:word} ${a:word}\n${b:nope}"), u"Pattern must be a one\u2013line expression.");
    EXPECT_EQ(errorOf(u"a\rb"), u"");
}

TEST_F(PatternValidatorTest, ReportsTheFirstDuplicateWithItsTotalCount)
{
    EXPECT_EQ(errorOf(u"${x:word}${y:word}${x:word}${y:word}${y:word}"), u"\"x\" variable name is declared 2 times.");
    EXPECT_EQ(errorOf(u"${y:word}${y:word}${y:word}${x:word}${x:word}"), u"\"y\" variable name is declared 3 times.");
    EXPECT_EQ(errorOf(u"|${x:word}| ${x:text}"), u"\"x\" variable name is declared 2 times.");
    EXPECT_EQ(errorOf(u"${a:word} ${A:word}"), u"");
    EXPECT_EQ(errorOf(u"plain (text) | with bars"), u"");
}

TEST_F(PatternValidatorTest, EveryDeclarationIsMadeBeforeNamesAreCounted)
{
    EXPECT_EQ(errorOf(u"${x:word} ${x:word} ${z:bogus}"), u"Variable type \"bogus\" does not exist.");
    try {
        PatternValidator(u"${x:word}${x:word}", nullptr, m_controller).validateVariableNames();
        FAIL();
    } catch (const PatternValidationError& error) {
        EXPECT_EQ(error.userErrorTitle(), u"Pattern is not correct");
    }
}

class PatternElementParserTest : public ::testing::Test {
protected:
    ExpanderController m_controller;

    std::vector<std::string> elements(const UnicodeString& pattern)
    {
        std::vector<std::string> names;
        for (const auto& element : PatternElementParser(pattern).parse(nullptr, m_controller))
            names.push_back(element ? toUtf8(element->name()) : "-");
        return names;
    }
};

TEST_F(PatternElementParserTest, OptionalPartsComeBeforeTheirVariables)
{
    EXPECT_EQ(elements(u"${x:word}"), (std::vector<std::string> { "x" }));
    EXPECT_EQ(elements(u"a |b ${x:word}| ${y:word}"), (std::vector<std::string> { "-", "x", "y" }));
    EXPECT_EQ(elements(u"|b|"), (std::vector<std::string> { "-" }));
    EXPECT_EQ(elements(u"|a||b|"), (std::vector<std::string> { "-", "-" }));
    EXPECT_TRUE(elements(u"").empty());
    EXPECT_EQ(RecursionObserver::shared().nRepeats(), 0);
}

TEST_F(PatternElementParserTest, TheTwentyFirstNestedParseFailsAndNamesItsPattern)
{
    auto& observer = RecursionObserver::shared();
    observer.setNRepeats(20);
    try {
        PatternElementParser(u"deep").parse(nullptr, m_controller);
        FAIL();
    } catch (const PatternParsingError& error) {
        EXPECT_EQ(error.userErrorDescription(),
            u"Oops. Looks like 'deep' pattern is recursive. The bad thing is it cannot be stopped. Please fix it.");
    }
    EXPECT_EQ(observer.nRepeats(), 0);
    EXPECT_NO_THROW(PatternElementParser(u"${a:word}").parse(nullptr, m_controller));
}

TEST_F(PatternElementParserTest, AFailedParseResetsTheCounter)
{
    RecursionObserver::shared().setNRepeats(5);
    EXPECT_THROW(PatternElementParser(u"${a:bogus}").parse(nullptr, m_controller), ParsingError);
    EXPECT_EQ(RecursionObserver::shared().nRepeats(), 0);
}

TEST(RecursionObserver, TwentyChecksPassAndTheTwentyFirstThrowsAndResets)
{
    RecursionObserver observer;
    for (int i = 0; i < 20; ++i)
        observer.check();
    EXPECT_EQ(observer.nRepeats(), 20);
    EXPECT_THROW(observer.check(), RecursionError);
    EXPECT_EQ(observer.nRepeats(), 0);
}

class OutputTemplateValidatorTest : public ::testing::Test {
protected:
    ExpanderController m_controller;

    UnicodeString errorOf(const UnicodeString& pattern, const UnicodeString& outputTemplate)
    {
        PatternParser parser(pattern, nullptr, m_controller);
        try {
            OutputTemplateValidator(outputTemplate, parser.variables()).validate();
        } catch (const OutputTemplateValidatorError& error) {
            EXPECT_EQ(error.userErrorTitle(), u"Output template validation error");
            return u"variable: " + error.userErrorDescription();
        } catch (const NoFilterError& error) {
            return u"filter: " + error.userErrorDescription();
        }
        return {};
    }
};

TEST_F(OutputTemplateValidatorTest, JudgesPlaceholdersInTextOrderNameBeforeFilters)
{
    EXPECT_EQ(errorOf(u"", u"plain text"), u"");
    EXPECT_EQ(errorOf(u"", u"${x}"), u"variable: Variable \"x\" does not exist");
    EXPECT_EQ(errorOf(u"${name:word}", u"${Name}"), u"variable: Variable \"Name\" does not exist");
    EXPECT_EQ(errorOf(u"${a:word}", u"|${b}| ${c}"), u"variable: Variable \"b\" does not exist");
    EXPECT_EQ(errorOf(u"${a:word}", u"${a.nosuchfilter}"), u"filter: \"nosuchfilter\" filter had not been found.");
    EXPECT_EQ(errorOf(u"${a:word}", u"${b.nosuchfilter}"), u"variable: Variable \"b\" does not exist");
    EXPECT_EQ(errorOf(u"${a:word}", u"${a} ${a.lowercase} |${a.snakecase.lowercase}|"), u"");
    EXPECT_EQ(errorOf(u"${a:word}", u"${no space} ${a-b}"), u"");
}

TEST(DescribedError, CarriesDomainCodeAndDescription)
{
    auto error = makeNSError(u"");
    EXPECT_EQ(error.domain, applicationErrorDomain);
    EXPECT_EQ(error.code, 1);
    EXPECT_EQ(error.userInfo.size(), 1u);
    EXPECT_TRUE(error.localizedDescription().isEmpty());
    EXPECT_EQ(makeNSError(u"Name is empty").localizedDescription(), u"Name is empty");
}

} // namespace
} // namespace quillet
