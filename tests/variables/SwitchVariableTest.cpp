#include "variables/SwitchVariable.h"

#include "expansion/ExpanderController.h"
#include "variables/VariableErrors.h"
#include "variables/VariableFactory.h"

#include "support/TestSupport.h"
#include "variables/VariableDeclarationTest.h"

#include <gtest/gtest.h>

namespace quillet {
namespace {

using icu::UnicodeString;

std::vector<SwitchCase> casesOf(const UnicodeString& parameters)
{
    return SwitchVariablePattern().cases(parameters);
}

struct CasesCase {
    const char* name;
    std::u16string parameters;
    std::vector<std::pair<std::u16string, std::u16string>> cases;
};
class SwitchCaseList : public ::testing::TestWithParam<CasesCase> { };

TEST_P(SwitchCaseList, ParsesCasesAsWritten)
{
    const auto& c = GetParam();
    std::vector<SwitchCase> expected;
    for (const auto& [key, value] : c.cases)
        expected.push_back(SwitchCase { u16(key), u16(value) });
    EXPECT_EQ(casesOf(u16(c.parameters)), expected);
}

INSTANTIATE_TEST_SUITE_P(Variables, SwitchCaseList,
    ::testing::Values(CasesCase { "TwoCases", u"a:1,b:2", { { u"a", u"1" }, { u"b", u"2" } } },
        CasesCase { "TrailingComma", u"a:1,b:2,", { { u"a", u"1" }, { u"b", u"2" } } },
        CasesCase { "EscapedColonAndComma", u"a\\:b:c\\,d", { { u"a:b", u"c,d" } } },
        CasesCase { "ValueKeepsLaterColons", u"a:b:c", { { u"a", u"b:c" } } },
        CasesCase { "EscapedCommaStaysInValue", u"a:1\\,b:2", { { u"a", u"1,b:2" } } },
        CasesCase { "LeadingTextJoinsKey", u"x,a:1", { { u"x,a", u"1" } } },
        CasesCase { "TextWithoutColonDropped", u"a:1,b", { { u"a", u"1" } } },
        CasesCase { "DoubleCommaJoinsNextKey", u"a:1,,b:2", { { u"a", u"1" }, { u",b", u"2" } } },
        CasesCase { "EmptyValue", u"a:", { { u"a", u"" } } }, CasesCase { "EmptyKey", u":x", { { u"", u"x" } } },
        CasesCase { "OnlyEscapedColon", u"a\\:b", {} },
        CasesCase { "SpacesStay", u"a: 1, b: 2", { { u"a", u" 1" }, { u" b", u" 2" } } },
        CasesCase { "TrailingBackslashLosesCase", u"a:1\\", {} }),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SwitchVariablePattern, WritesCasesBackEscapedAndBuildsLiteralAlternatives)
{
    SwitchVariablePattern syntax;
    EXPECT_EQ(syntax.string({ { u"a:b", u"c,d" } }), u"a\\:b:c\\,d");
    EXPECT_EQ(syntax.string({ { u"x", u"{y}" } }), u"x:\\{y\\}");
    EXPECT_EQ(syntax.string({}), u"");
    EXPECT_EQ(syntax.regex({ { u"a.b", u"1" }, { u"*", u"2" } }), u"a\\.b|.*");
    EXPECT_EQ(syntax.regex({ { u"", u"1" }, { u"b", u"2" } }), u"|b");
    EXPECT_EQ(syntax.cases(syntax.string({ { u"k:{", u"$v," } })), (std::vector<SwitchCase> { { u"k:{", u"$v," } }));
}

using SwitchVariableTest = test::VariableDeclarationTest<SwitchVariable>;

TEST_F(SwitchVariableTest, MatchesKeysAndMapsThemToValues)
{
    auto variable = make(u"${x:switch(a:1,b:2)}");
    EXPECT_EQ(variable->regex(m_controller), u"((a|b))");
    EXPECT_EQ(variable->value(u"b"), u"2");
    EXPECT_EQ(variable->value(u"c"), u"c");
    EXPECT_EQ(variable->value(u"A"), u"A");
}

TEST_F(SwitchVariableTest, TheStarCaseTakesAnyOtherText)
{
    auto variable = make(u"${x:switch(a:1,*:other)}");
    EXPECT_EQ(variable->regex(m_controller), u"((a|.*))");
    EXPECT_EQ(variable->value(u"a"), u"1");
    EXPECT_EQ(variable->value(u"zzz"), u"other");
    EXPECT_EQ(make(u"${x:switch(a:1,*:2)=a}")->value(u""), u"2");
}

TEST_F(SwitchVariableTest, DeclarationIsWrittenBackWithEscapes)
{
    auto variable
        = std::make_shared<SwitchVariable>(u"x", std::vector<SwitchCase> { { u"a", u"1" }, { u"b:c", u"2" } });
    variable->setDefaultValue(UnicodeString(u"a"));
    EXPECT_EQ(variable->declaration(), u"${x:switch(a:1,b\\:c:2)=a}");
    EXPECT_EQ(variable->regex(m_controller), u"((a|b:c))?");
}

struct RuleCase {
    const char* name;
    std::u16string declaration;
    std::u16string message;
};
class SwitchRules : public SwitchVariableTest, public ::testing::WithParamInterface<RuleCase> { };

TEST_P(SwitchRules, ReportOnlyTheFirstFailure)
{
    const auto& c = GetParam();
    EXPECT_EQ(validationMessage(u16(c.declaration)), u16(c.message));
}

INSTANTIATE_TEST_SUITE_P(Variables, SwitchRules,
    ::testing::Values(RuleCase { "DuplicateKeys", u"${x:switch(a:1,a:2)}", u"Keys must be unique." },
        RuleCase { "TwoStars", u"${x:switch(*:1,*:2)}", u"Keys must be unique." },
        RuleCase { "EmptyKeysBeforeUniqueness", u"${x:switch(:1,:2)}", u"Keys cannot be empty." },
        RuleCase { "EmptyValueIsFine", u"${x:switch(a:)}", u"" },
        RuleCase { "NoCases", u"${x:switch(abc)}", u"At least one case must be defined." },
        RuleCase { "DefaultBeforeNoCases", u"${x:switch(abc)=q}",
            u"Default value must be an existing key or variable must have a default value (*)." },
        RuleCase { "UnknownDefault", u"${x:switch(a:1)=b}",
            u"Default value must be an existing key or variable must have a default value (*)." },
        RuleCase { "StarAcceptsAnyDefault", u"${x:switch(a:1,*:2)=b}", u"" },
        RuleCase { "CaseMatters", u"${x:switch(a:1,A:2)}", u"" }),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SwitchVariableTest, DocumentationListsCasesEscaped)
{
    auto variable
        = std::make_shared<SwitchVariable>(u"x", std::vector<SwitchCase> { { u"a", u"1" }, { u"*", u"x<y" } });
    EXPECT_EQ(variable->documentationHTML(),
        u"switch <ul class=\"switch\"><li><span class=\"key\">a</span><span class=\"value\">1</span></li>"
        u"<li><span class=\"key default\">default</span><span class=\"value\">x&lt;y</span></li></ul>");
    EXPECT_EQ(variable->documentationSyntax(),
        icu::UnicodeString(u"`switch(key1:value1,key2:value2)` where `key1:value1` is a pair of key and value. "
                           u"Paris are separated with `,`."));
}

TEST_F(SwitchVariableTest, EditorRoundTrip)
{
    InputVariableEditorData data;
    std::make_shared<SwitchVariable>(u"x", std::vector<SwitchCase> {})->configure(data, nullptr);
    ASSERT_TRUE(data.keyValues().has_value());
    EXPECT_TRUE(data.keyValues()->empty());

    make(u"${x:switch(a:1,b:2)=a}")->configure(data, nullptr);
    ASSERT_EQ(data.keyValues()->size(), 2u);
    EXPECT_EQ(data.keyValues()->at(1)->key(), u"b");
    EXPECT_EQ(data.keyValues()->at(1)->delegate(), nullptr);
    data.keyValues()->at(1)->setKey(u"b{");
    auto rebuilt = SwitchVariable::variableKind().makeFromEditorData(data, nullptr, m_controller);
    EXPECT_EQ(rebuilt->declaration(), u"${x:switch(a:1,b\\{:2)=a}");
    EXPECT_EQ(rebuilt->editorMode().keyValueBox->title, u"Cases:");

    data.setKeyValues(std::nullopt);
    auto empty = std::dynamic_pointer_cast<SwitchVariable>(
        SwitchVariable::variableKind().makeFromEditorData(data, nullptr, m_controller));
    EXPECT_TRUE(empty->cases().empty());
}

TEST(KeyValueObject, TellsItsDelegateOfEveryChange)
{
    struct Recorder : KeyValueObjectDelegate {
        int changes = 0;
        void keyValueObjectDidChange(KeyValueObject&) override { ++changes; }
    } recorder;
    KeyValueObject row;
    EXPECT_TRUE(row.key().isEmpty());
    row.setDelegate(&recorder);
    row.setKey(u"k");
    row.setValue(u"v");
    EXPECT_EQ(recorder.changes, 2);
}

} // namespace
} // namespace quillet
