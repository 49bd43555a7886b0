#include "variables/EnumVariable.h"

#include "expansion/ExpanderController.h"
#include "variables/VariableErrors.h"
#include "variables/VariableFactory.h"

#include "support/TestSupport.h"
#include "variables/VariableDeclarationTest.h"

#include <gtest/gtest.h>

namespace quillet {
namespace {

using icu::UnicodeString;

using EnumVariableTest = test::VariableDeclarationTest<EnumVariable>;

TEST_F(EnumVariableTest, CasesAreCutAtUnescapedCommasAndKeptAsWritten)
{
    EXPECT_EQ(make(u"${e:enum(a,b,c)}")->cases(), (std::vector<UnicodeString> { u"a", u"b", u"c" }));
    EXPECT_EQ(make(u"${e:enum(a\\,b,c)}")->cases(), (std::vector<UnicodeString> { u"a,b", u"c" }));
    EXPECT_EQ(make(u"${e:enum(a, b)}")->cases(), (std::vector<UnicodeString> { u"a", u" b" }));
    EXPECT_EQ(make(u"${e:enum(a,,b)}")->cases(), (std::vector<UnicodeString> { u"a", u",b" }));
    EXPECT_EQ(make(u"${e:enum(a,)}")->cases(), (std::vector<UnicodeString> { u"a" }));
}

TEST_F(EnumVariableTest, ExpressionEscapesEachCase)
{
    EXPECT_EQ(make(u"${e:enum(a,b,c)}")->regex(m_controller), u"((a|b|c))");
    EXPECT_EQ(make(u"${e:enum(a,b,c)=b}")->regex(m_controller), u"((a|b|c))?");
    EXPECT_EQ(make(u"${e:enum(x.y,a*)}")->regex(m_controller), u"((x\\.y|a\\*))");
    EXPECT_EQ(make(u"${e:enum(b)}")->value(u"b"), u"b");
}

TEST_F(EnumVariableTest, DeclarationReadsBackTheSame)
{
    for (const char16_t* declaration : { u"${e:enum(a,b)=a}", u"${e:enum(a\\,b,\\{c\\})}" }) {
        auto variable = make(declaration);
        EXPECT_EQ(variable->declaration(), UnicodeString(declaration));
        EXPECT_EQ(make(variable->declaration())->cases(), variable->cases());
    }
}

TEST_F(EnumVariableTest, RulesRunInOrder)
{
    EXPECT_EQ(validationMessage(*make(u"${e:enum(a,b,c)=b}")), u"");
    EXPECT_EQ(validationMessage(*make(u"${e:enum(a,a)}")), u"Elements must be unique.");
    EXPECT_EQ(validationMessage(*make(u"${e:enum(a,b)=c}")), u"Default value must be a one of existing elements.");

    InputVariableEditorData data;
    data.setVariableName(u"e");
    data.setValues(InputVariableEditorData::ValueList {
        std::make_shared<StringValue>(u"a"), std::make_shared<StringValue>(u""), std::make_shared<StringValue>(u"a") });
    auto fromEditor = EnumVariable::variableKind().makeFromEditorData(data, nullptr, m_controller);
    EXPECT_EQ(validationMessage(dynamic_cast<EnumVariable&>(*fromEditor)), u"Values cannot be empty.");

    data.setValues(std::nullopt);
    auto noRows = EnumVariable::variableKind().makeFromEditorData(data, nullptr, m_controller);
    EXPECT_EQ(validationMessage(dynamic_cast<EnumVariable&>(*noRows)), u"At least one element must be defined.");
    data.setDefaultValue(UnicodeString(u"x"));
    auto noRowsWithDefault = EnumVariable::variableKind().makeFromEditorData(data, nullptr, m_controller);
    EXPECT_EQ(validationMessage(dynamic_cast<EnumVariable&>(*noRowsWithDefault)),
        u"Default value must be a one of existing elements.");
}

TEST_F(EnumVariableTest, DocumentationEscapesCases)
{
    EXPECT_EQ(make(u"${e:enum(a,b)}")->documentationHTML(),
        u"enum <ul class=\"enum\"><li><span class=\"case\">a</span></li><li><span class=\"case\">b</span></li></ul>");
    EXPECT_EQ(make(u"${e:enum(<T>)}")->documentationHTML(),
        u"enum <ul class=\"enum\"><li><span class=\"case\">&lt;T&gt;</span></li></ul>");
    EXPECT_EQ(EnumVariable(u"e", {}).documentationHTML(), u"enum <ul class=\"enum\"></ul>");
}

TEST_F(EnumVariableTest, EditorRoundTripUsesValuesVerbatim)
{
    InputVariableEditorData data;
    make(u"${e:enum(a\\,b,c)=c}")->configure(data, nullptr);
    ASSERT_EQ(data.values()->size(), 2u);
    EXPECT_EQ(data.values()->front()->value(), u"a,b");
    EXPECT_EQ(*data.defaultValue(), u"c");
    auto rebuilt = EnumVariable::variableKind().makeFromEditorData(data, nullptr, m_controller);
    EXPECT_EQ(dynamic_cast<EnumVariable&>(*rebuilt).cases(), (std::vector<UnicodeString> { u"a,b", u"c" }));
    EXPECT_EQ(rebuilt->editorMode().valueBox->title, u"Elements:");
}

} // namespace
} // namespace quillet
