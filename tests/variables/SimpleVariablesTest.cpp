#include "variables/SimpleVariables.h"

#include "expansion/ExpanderController.h"
#include "variables/VariableErrors.h"
#include "variables/VariableFactory.h"

#include "support/TestSupport.h"
#include "variables/VariableDeclarationTest.h"

#include <gtest/gtest.h>

namespace quillet {
namespace {

using icu::UnicodeString;

class SimpleVariablesTest : public test::VariableDeclarationTest<> {
protected:
    /// The description of the validation error, or "" when the variable is valid; every
    /// error of a simple variable is an incorrect declaration of no expander.
    UnicodeString validationMessage(const UnicodeString& declaration)
    {
        try {
            make(declaration)->validate();
        } catch (const VariableValidationError& error) {
            EXPECT_EQ(error.userErrorTitle(), u"Incorrect variable declaration");
            EXPECT_EQ(error.expander(), nullptr);
            return error.userErrorDescription();
        }
        return {};
    }
};

TEST_F(SimpleVariablesTest, ParametersAreDroppedAndTheDeclarationIsRegenerated)
{
    for (const char16_t* type : { u"text", u"text?", u"number", u"word", u"identifier" }) {
        auto variable = make(u"${n:" + UnicodeString(type) + u"(abc)}");
        EXPECT_EQ(variable->string(), UnicodeString(type));
        EXPECT_EQ(variable->declaration(), u"${n:" + UnicodeString(type) + u"}");
        EXPECT_EQ(variable->additionalNumberOfMatchesInRegex(), 1);
        EXPECT_EQ(variable->patternElements().size(), 1u);
        EXPECT_EQ(variable->patternElements().front().get(), variable.get());
        EXPECT_TRUE(variable->subvariables().empty());
    }
}

TEST_F(SimpleVariablesTest, AnEmptyDefaultIsPresentAndMakesTheGroupOptional)
{
    auto withEmpty = make(u"${a:text=}");
    EXPECT_EQ(withEmpty->regex(m_controller), u"((.+))?");
    EXPECT_EQ(withEmpty->declaration(), u"${a:text=}");
    EXPECT_EQ(make(u"${a:text}")->regex(m_controller), u"((.+))");
    EXPECT_EQ(make(u"${a:text?}")->regex(m_controller), u"((.+?))");
    EXPECT_EQ(make(u"${a:identifier}")->regex(m_controller), u"(((?-i:[\\w$!?\\[\\]\\-_<>@:])+))");
}

struct DefaultCase {
    const char* name;
    std::u16string declaration;
    std::u16string message; // empty when valid
};
class DefaultValueChecks : public SimpleVariablesTest, public ::testing::WithParamInterface<DefaultCase> { };

TEST_P(DefaultValueChecks, AcceptOnlyValuesWhollyOfTheKindsClass)
{
    const auto& c = GetParam();
    EXPECT_EQ(validationMessage(u16(c.declaration)), u16(c.message));
}

INSTANTIATE_TEST_SUITE_P(Variables, DefaultValueChecks,
    ::testing::Values(DefaultCase { "NumberWithSeparators", u"${n:number=1,000.50}", u"" },
        DefaultCase { "NumberOfPeriods", u"${n:number=...}", u"" },
        DefaultCase { "NegativeNumber", u"${n:number=-1}", u"Default value must be a number." },
        DefaultCase { "EmptyNumber", u"${n:number=}", u"Default value must be a number." },
        DefaultCase { "SnakeCaseWord", u"${n:word=snake_case}", u"" },
        DefaultCase { "WordWithHyphen", u"${n:word=a-b}", u"Default value must be a word (\\w+)." },
        DefaultCase { "WordWithSpace", u"${n:word=a b}", u"Default value must be a word (\\w+)." },
        DefaultCase { "GenericIdentifier", u"${n:identifier=Array<String>}", u"" },
        DefaultCase { "DollarIdentifier", u"${n:identifier=$0}", u"" },
        DefaultCase { "DottedIdentifier", u"${n:identifier=a.b}", u"Default value must be an identifier." },
        DefaultCase { "EmptyText", u"${n:text=}", u"" }, DefaultCase { "AnyLazyText", u"${n:text?=a b-c}", u"" }),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SimpleVariablesTest, ATrailingLineFeedFailsTheFromStartToEndChecks)
{
    auto word = std::make_shared<WordVariable>(u"w");
    word->setDefaultValue(UnicodeString(u"abc\n"));
    EXPECT_THROW(word->validate(), VariableValidationError);
    auto number = std::make_shared<NumberVariable>(u"n");
    number->setDefaultValue(UnicodeString(u"12\n"));
    EXPECT_THROW(number->validate(), VariableValidationError);
    EXPECT_THROW(std::make_shared<TextVariable>(u"name\n")->validate(), VariableValidationError);
}

TEST_F(SimpleVariablesTest, TheNameRuleRunsFirst)
{
    auto number = std::make_shared<NumberVariable>(u"");
    number->setDefaultValue(UnicodeString(u"x"));
    try {
        number->validate();
        FAIL();
    } catch (const VariableValidationError& error) {
        EXPECT_EQ(error.userErrorDescription(), u"Name cannot be empty");
    }
    for (const char16_t* name : { u"a b", u"a-b", u"a.b" }) {
        try {
            std::make_shared<TextVariable>(name)->validate();
            FAIL() << toUtf8(name);
        } catch (const VariableValidationError& error) {
            EXPECT_EQ(error.userErrorDescription(), u"Name may consists of letters, numbers and _ character.");
        }
    }
    EXPECT_NO_THROW(std::make_shared<TextVariable>(u"\u00FCber_\u540D1")->validate());
}

TEST_F(SimpleVariablesTest, ValidatorsHoldACopyTakenWhenTheyWereMade)
{
    auto word = std::make_shared<WordVariable>(u"w");
    word->setDefaultValue(UnicodeString(u"bad value"));
    auto rules = word->validators();
    word->setDefaultValue(UnicodeString(u"good"));
    ASSERT_EQ(rules.size(), 1u);
    EXPECT_THROW(rules.front()->validate(), VariableValidationError);
}

TEST_F(SimpleVariablesTest, EditorRoundTripKeepsNameAndDefault)
{
    auto original = make(u"${count:number=1}");
    InputVariableEditorData data;
    std::vector<InputVariableEditorData::Property> changes;
    data.onChange = [&](InputVariableEditorData::Property property) { changes.push_back(property); };
    original->configure(data, nullptr);
    EXPECT_EQ(changes,
        (std::vector {
            InputVariableEditorData::Property::variableName, InputVariableEditorData::Property::defaultValue }));
    auto copy = original->kind().makeFromEditorData(data, nullptr, m_controller);
    EXPECT_EQ(copy->declaration(), u"${count:number=1}");

    data.setDefaultValue(UnicodeString());
    EXPECT_EQ(original->kind().makeFromEditorData(data, nullptr, m_controller)->declaration(), u"${count:number=}");
    EXPECT_EQ(original->editorMode(), SimpleVariable::simpleEditorMode());
    EXPECT_FALSE(original->editorMode().keyValueBox.has_value());
    EXPECT_EQ(original->editorMode().defaultValueBox->title, u"Default:");
}

TEST_F(SimpleVariablesTest, DocumentationShowsKeywordAndEscapedDefault)
{
    EXPECT_EQ(make(u"${a:text?}")->documentationHTML(), u"text?");
    auto withDefault = std::dynamic_pointer_cast<VariableWithDefaultValue>(make(u"${a:text=<b>&}"));
    EXPECT_EQ(withDefault->defaultValueHTML(),
        u"<div class=\"defaultValue\">Default<div class=\"value\">&lt;b&gt;&amp;</div></div>");
    auto empty = std::dynamic_pointer_cast<VariableWithDefaultValue>(make(u"${a:text=}"));
    EXPECT_EQ(empty->defaultValueHTML(), u"<div class=\"defaultValue\">Default<div class=\"value\"></div></div>");
    auto none = std::dynamic_pointer_cast<VariableWithDefaultValue>(make(u"${a:text}"));
    EXPECT_EQ(none->defaultValueHTML(), u"");
}

} // namespace
} // namespace quillet
