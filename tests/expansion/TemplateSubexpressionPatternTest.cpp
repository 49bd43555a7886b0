#include "expansion/TemplateSubexpressionPattern.h"
#include "expansion/FilterPattern.h"
#include "expansion/OutputVariablePattern.h"

#include "support/TestSupport.h"
#include "text/UnicodeConversion.h"

#include <gtest/gtest.h>

namespace quillet {
namespace {

using icu::UnicodeString;

TEST(TemplateSubexpressionPattern, ExpressionJoinsOptionalPartAndPlaceholder)
{
    EXPECT_EQ(OutputVariablePattern::pattern(), u"\\$\\{(\\w+)((\\.(\\w+))*)\\}");
    EXPECT_EQ(TemplateSubexpressionPattern::pattern().length(), 63);
}

TEST(TemplateSubexpressionPattern, EmptyTemplateHasNoRecords)
{
    EXPECT_TRUE(TemplateSubexpressionPattern::matches(u"").empty());
}

TEST(TemplateSubexpressionPattern, RecordsComeInTextOrderAndPlainTextIsNoRecord)
{
    auto found = TemplateSubexpressionPattern::matches(u"${a}|b ${c}|${d}");
    ASSERT_EQ(found.size(), 3u);
    EXPECT_EQ(*found[0].variablePattern, u"${a}");
    EXPECT_TRUE(found[0].isRequired());
    EXPECT_EQ(*found[1].optionalExpression, u"b ${c}");
    EXPECT_EQ(found[1].match, u"|b ${c}|");
    EXPECT_EQ(found[2].expression(), u"${d}");
}

TEST(TemplateSubexpressionPattern, OptionalExpressionsMaySpanLinesAndBeEmpty)
{
    auto multiline = TemplateSubexpressionPattern::matches(u"|first\nsecond|");
    ASSERT_EQ(multiline.size(), 1u);
    EXPECT_EQ(*multiline[0].optionalExpression, u"first\nsecond");
    auto empty = TemplateSubexpressionPattern::matches(u"||");
    ASSERT_EQ(empty.size(), 1u);
    EXPECT_EQ(*empty[0].optionalExpression, u"");
}

TEST(TemplateSubexpressionPattern, PlaceholderKeepsItsFiltersAndUnfinishedOnesStayText)
{
    auto found = TemplateSubexpressionPattern::matches(u"${x.upper.trim}");
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(*found[0].variablePattern, u"${x.upper.trim}");

    auto kept = TemplateSubexpressionPattern::replacingMatches(
        u"a | ${x ${} \\|b\\| ${y}", [](const auto&) { return UnicodeString(u"V"); });
    EXPECT_EQ(kept, u"a | ${x ${} \\|b\\| V");
}

TEST(OutputVariablePattern, ReadsNameAndFilterChain)
{
    auto found = OutputVariablePattern::matches(u"a ${name.upper.trim} ${plain} ${no space}");
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].name, u"name");
    EXPECT_EQ(*found[0].filters, u".upper.trim");
    EXPECT_EQ(*found[1].filters, u"");

    auto filters = FilterPattern::matches(*found[0].filters);
    ASSERT_EQ(filters.size(), 2u);
    EXPECT_EQ(filters[0].match, u".upper");
    EXPECT_EQ(filters[1].name, u"trim");
}

// The plain scans give exactly the groups and ranges that the expressions give, Unicode word
// characters and escaped bars included, and find what the expressions give up on.
TEST(TemplateSubexpressionPattern, TheScansAgreeWithTheExpressions)
{
    const UnicodeString texts[] = {
        u"${a}|b ${c}|${d}",
        u"x \\|${n.uppercase.snakecase}\\| |a\\|b| ${} ${a.} ${a-b} ${ a }",
        u"${cafe\u0301.lowercase} ${\u540d\u524d} ${x\u0663_1.md5}}| |\n|${y}| |",
        u"$${a}${b}|${c}",
        u"|unclosed ${a}",
        u"||${a.b.c.d}||",
    };
    auto same
        = [](const std::vector<OptionalCaptureGroups>& scanned, const std::vector<OptionalCaptureGroups>& matched) {
              if (scanned.size() != matched.size())
                  return false;
              for (std::size_t i = 0; i < scanned.size(); ++i) {
                  for (std::size_t group = 0; group < matched[i].size(); ++group) {
                      const auto& a = group < scanned[i].size() ? scanned[i][group] : std::nullopt;
                      const auto& b = matched[i][group];
                      if (a.has_value() != b.has_value() || (a && (a->range != b->range || a->text != b->text)))
                          return false;
                  }
              }
              return true;
          };
    for (const auto& text : texts) {
        EXPECT_TRUE(same(*TemplateSubexpressionPattern::scannedCaptureGroups(text),
            optionalCaptureGroups(text, TemplateSubexpressionPattern::pattern())))
            << toUtf8(text);
        EXPECT_TRUE(same(*OutputVariablePattern::scannedCaptureGroups(text),
            optionalCaptureGroups(text, OutputVariablePattern::pattern())))
            << toUtf8(text);
    }

    // Ten thousand filters: more than the expression's time limit allows.
    UnicodeString chain(u"${v");
    for (int i = 0; i < 10000; ++i)
        chain.append(u".uppercase");
    chain.append(u"}");
    const auto found = OutputVariablePattern::matches(u"<" + chain + u">");
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found.front().match, chain);
}

} // namespace
} // namespace quillet
