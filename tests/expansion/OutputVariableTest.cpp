#include "expansion/OutputVariable.h"

#include "expansion/FilterStore.h"
#include "expansion/NoFilterError.h"
#include "expansion/OutputVariablePattern.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

namespace quillet {
namespace {

std::vector<OutputVariable> placeholdersIn(const icu::UnicodeString& text)
{
    std::vector<OutputVariable> result;
    for (const auto& match : OutputVariablePattern::matches(text))
        result.emplace_back(match);
    return result;
}

std::vector<icu::UnicodeString> keywords(const OutputVariable& variable)
{
    std::vector<icu::UnicodeString> result;
    for (const Filter* filter : variable.filters())
        result.push_back(filter->id());
    return result;
}

TEST(OutputVariable, APlaceholderWithoutFiltersKeepsItsText)
{
    const auto found = placeholdersIn(u"a ${a} b");
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].name(), u"a");
    EXPECT_TRUE(found[0].filters().empty());
    EXPECT_EQ(found[0].originalExpression(), u"${a}");
    EXPECT_EQ(found[0].expression(), u"${a}");
}

TEST(OutputVariable, ResolvesTheChainInWrittenOrderAndWritesItBack)
{
    const auto found = placeholdersIn(u"${a.uppercase.snakecase}");
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(keywords(found[0]), (std::vector<icu::UnicodeString> { u"uppercase", u"snakecase" }));
    EXPECT_EQ(&*found[0].filters()[0], &FilterStore::shared().filter(u"uppercase")) << "shared instances";
    EXPECT_EQ(OutputVariable::makeExpression(found[0].name(), found[0].filters()), u"${a.uppercase.snakecase}");
}

TEST(OutputVariable, NamesWithDigitsAndUnderscores)
{
    const auto found = placeholdersIn(u"${my_var2.md5}");
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].name(), u"my_var2");
    EXPECT_EQ(keywords(found[0]), std::vector<icu::UnicodeString> { u"md5" });
}

class NotAPlaceholder : public testing::TestWithParam<const char16_t*> { };

TEST_P(NotAPlaceholder, IsLeftAsWritten)
{
    EXPECT_TRUE(placeholdersIn(GetParam()).empty());
}

INSTANTIATE_TEST_SUITE_P(Texts, NotAPlaceholder, testing::Values(u"${a.}", u"${ a }", u"${a-b}", u"${}", u"$a"));

TEST(OutputVariable, AnUnknownOrMiscasedKeywordThrowsNoFilterError)
{
    const auto matches = OutputVariablePattern::matches(u"${a.Uppercase}");
    ASSERT_EQ(matches.size(), 1u);
    try {
        OutputVariable variable(matches[0]);
        FAIL() << "no error";
    } catch (const NoFilterError& error) {
        EXPECT_EQ(error.filterName(), u"Uppercase");
    }
}

TEST(OutputVariable, EqualPlaceholdersGiveEqualRecords)
{
    const auto found = placeholdersIn(u"${x.lcfirst} and ${x.lcfirst}");
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].originalExpression(), found[1].originalExpression());
    EXPECT_EQ(keywords(found[0]), keywords(found[1]));
}

TEST(OutputVariable, BuiltFromNameAndFiltersWritesItsExpression)
{
    const auto& store = FilterStore::shared();
    const OutputVariable variable(u"v", { &store.filter(u"camelcase"), &store.filter(u"ucfirst") });
    EXPECT_EQ(variable.originalExpression(), u"${v.camelcase.ucfirst}");
    EXPECT_EQ(variable.expression(), variable.originalExpression());
    EXPECT_EQ(OutputVariable(u"v", {}).originalExpression(), u"${v}");
}

TEST(OutputVariable, AppliesTheFiltersStrictlyLeftToRight)
{
    const auto& store = FilterStore::shared();
    // Upper-casing first leaves snakecase nothing to split; the other order splits, then upper-cases.
    EXPECT_EQ(
        OutputVariable(u"v", { &store.filter(u"uppercase"), &store.filter(u"snakecase") }).applyFilters(u"someValue"),
        u"somevalue");
    EXPECT_EQ(
        OutputVariable(u"v", { &store.filter(u"snakecase"), &store.filter(u"uppercase") }).applyFilters(u"someValue"),
        u"SOME_VALUE");
    EXPECT_EQ(OutputVariable(u"v", {}).applyFilters(u""), u"");
    EXPECT_EQ(OutputVariable(u"v", {}).applyFilters(u"As Is"), u"As Is");
}

} // namespace
} // namespace quillet

namespace quillet {
namespace {

TEST(OutputVariable, ValidatesItsNameLikeEveryVariable)
{
    EXPECT_NO_THROW(OutputVariable(u"good_name1", {}).validate());
    EXPECT_THROW(OutputVariable(u"bad name", {}).validate(), std::exception);
    EXPECT_THROW(OutputVariable(u"", {}).validate(), std::exception);
    EXPECT_TRUE(OutputVariable(u"v", {}).validators().empty());
}

} // namespace
} // namespace quillet
