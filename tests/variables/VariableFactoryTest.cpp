#include "variables/VariableFactory.h"

#include "expansion/ExpanderController.h"
#include "variables/EnumVariable.h"
#include "variables/ExpanderVariable.h"
#include "variables/SimpleVariables.h"
#include "variables/VariableErrors.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

namespace quillet {
namespace {

using icu::UnicodeString;

class VariableFactoryTest : public ::testing::Test {
protected:
    ExpanderController m_controller;
    VariableFactory m_factory;

    std::vector<std::shared_ptr<InputVariable>> makeAll(const UnicodeString& text)
    {
        return m_factory.makeVariables(text, nullptr, m_controller);
    }
};

TEST_F(VariableFactoryTest, KindsAreListedInTheEditorsOrder)
{
    std::vector<UnicodeString> keywords;
    for (const auto* kind : VariableFactory::variableTypes())
        keywords.push_back(kind->type);
    EXPECT_EQ(keywords,
        (std::vector<UnicodeString> {
            u"text", u"text?", u"number", u"word", u"identifier", u"switch", u"exp", u"enum" }));
    EXPECT_EQ(VariableFactory::variableTypes()[1]->typeName, u"Text (lazy)");
    EXPECT_EQ(VariableFactory::variableTypes()[6]->typeTemplate, u"exp()");
}

TEST_F(VariableFactoryTest, TheDeclarationExpressionIsTheDocumentedConstant)
{
    EXPECT_EQ(VariablePattern::pattern().length(), 61);
    auto found = VariablePattern::matches(u"${a:enum(x\\)y,z)=q}");
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(*found[0].params, u"x\\)y,z");
    EXPECT_EQ(*found[0].defaultValue, u"q");
}

TEST_F(VariableFactoryTest, LazyTypeKeepsItsQuestionMarkAndDefaultsAreKeptAsWritten)
{
    auto variables = makeAll(u"${a:text?} ${b:text=} ${c:text}");
    ASSERT_EQ(variables.size(), 3u);
    EXPECT_NE(dynamic_cast<LazyTextVariable*>(variables[0].get()), nullptr);
    EXPECT_EQ(dynamic_cast<VariableWithDefaultValue&>(*variables[1]).defaultValue(), UnicodeString());
    EXPECT_FALSE(dynamic_cast<VariableWithDefaultValue&>(*variables[2]).defaultValue().has_value());
}

TEST_F(VariableFactoryTest, AnExpanderVariableDropsItsDefault)
{
    auto variables = makeAll(u"${a:exp(x)=y}");
    ASSERT_EQ(variables.size(), 1u);
    EXPECT_EQ(variables[0]->declaration(), u"${a:exp(x)}");
}

TEST_F(VariableFactoryTest, KeywordsAreComparedExactly)
{
    try {
        makeAll(u"${a:TEXT}");
        FAIL();
    } catch (const ParsingError& error) {
        EXPECT_EQ(error.userErrorTitle(), u"Parsing error");
        EXPECT_EQ(error.userErrorDescription(), u"Variable type \"TEXT\" does not exist.");
    }
}

TEST_F(VariableFactoryTest, TextsThatAreNoDeclarations)
{
    for (const char16_t* text :
        { u"${a:switch()}", u"${a:enum()}", u"${a:exp()}", u"${a:text=x\\}y}", u"${a b:text}", u"${:text}" })
        EXPECT_TRUE(makeAll(text).empty()) << toUtf8(text);
}

TEST_F(VariableFactoryTest, DuplicateNamesStillMakeTwoVariables)
{
    EXPECT_EQ(makeAll(u"${a:word} ${a:word}").size(), 2u);
}

TEST_F(VariableFactoryTest, ParseVariableTakesTheFirstDeclarationOrFails)
{
    auto variable = m_factory.parseVariable(u"abc ${a:word} ${b:text}", nullptr, m_controller);
    EXPECT_EQ(variable->name(), u"a");
    EXPECT_EQ(variable->type(), u"word");
    try {
        m_factory.parseVariable(u"no declaration", nullptr, m_controller);
        FAIL();
    } catch (const VariableParsingError& error) {
        EXPECT_EQ(error.userErrorTitle(), u"Variable parsing error");
        EXPECT_TRUE(error.userErrorDescription().isEmpty());
    }
}

TEST_F(VariableFactoryTest, KindsThatNeedParametersRejectDeclarationsWithout)
{
    for (const char16_t* type : { u"switch", u"enum", u"exp" }) {
        try {
            makeAll(u"${x:" + UnicodeString(type) + u"}");
            FAIL() << toUtf8(type);
        } catch (const ParsingError& error) {
            EXPECT_EQ(error.userErrorDescription(), u"Variable \"x\" has no parameters.");
        }
    }
}

} // namespace
} // namespace quillet
