#include "text/PatternPattern.h"
#include "text/RegexCache.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <string>

namespace quillet {
namespace {

using icu::UnicodeString;

// Segments as "R:text" or "O:text" so a whole segmentation compares in one line.
std::vector<std::string> segments(const UnicodeString& text)
{
    std::vector<std::string> result;
    for (const auto& segment : PatternPattern::matches(text)) {
        EXPECT_NE(segment.optional.has_value(), segment.required.has_value());
        EXPECT_EQ(segment.optionalMatch.has_value(), segment.optional.has_value());
        result.push_back((segment.isOptional() ? "O:" : "R:") + toUtf8(segment.content()));
    }
    return result;
}

struct SegmentCase {
    const char* name;
    std::u16string pattern;
    std::vector<std::string> segments;
};
class PatternSegmentation : public ::testing::TestWithParam<SegmentCase> { };

TEST_P(PatternSegmentation, CutsOptionalPartsAndRequiredRuns)
{
    const auto& c = GetParam();
    EXPECT_EQ(segments(u16(c.pattern)), c.segments);
}

INSTANTIATE_TEST_SUITE_P(Text, PatternSegmentation,
    ::testing::Values(SegmentCase { "RequiredOptionalRequired", u"a|b|c", { "R:a", "O:b", "R:c", "R:" } },
        SegmentCase { "OnlyOptional", u"|a|", { "O:a", "R:" } }, SegmentCase { "Empty", u"", { "R:" } },
        SegmentCase { "EmptyOptional", u"||", { "O:", "R:" } },
        SegmentCase { "AlternatingOptionals", u"|a|b|c|", { "O:a", "R:b", "O:c", "R:" } },
        SegmentCase { "EscapedBarBelongsToNoSegment", u"a\\|b", { "R:a\\", "R:", "R:b", "R:" } },
        SegmentCase { "UnpairedBarBelongsToNoSegment", u"a|b", { "R:a", "R:", "R:b", "R:" } },
        SegmentCase { "EscapedBarInsideOptional", u"|a\\|b|", { "O:a\\|b", "R:" } },
        SegmentCase { "BarAfterTwoBackslashesIsStillEscaped", u"|a\\\\|b|", { "O:a\\\\|b", "R:" } },
        SegmentCase { "CaseOfLettersDoesNotMatter", u"X|Y|", { "R:X", "O:Y", "R:" } }),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PatternPattern, ExpressionsAreTheDocumentedConstants)
{
    EXPECT_EQ(PatternPattern::optionalPartPattern().length(), 37);
    EXPECT_EQ(PatternPattern::pattern().length(), 51);
    EXPECT_EQ(PatternPattern::pattern(),
        PatternPattern::optionalPartPattern() + u"|" + PatternPattern::requiredPartPattern());
}

TEST(PatternPattern, OptionalMatchIncludesBothBars)
{
    auto found = PatternPattern::matches(u"x|ab|");
    ASSERT_GE(found.size(), 2u);
    EXPECT_EQ(found[1].match, u"|ab|");
    EXPECT_EQ(*found[1].optionalMatch, u"|ab|");
    EXPECT_EQ(*found[1].optional, u"ab");
}

TEST(PatternReplacing, KeepsCharactersOfNoSegmentRightAfterTheEmptyRunReplacement)
{
    auto result = PatternPattern::replacingMatches(
        u"a\\|b", [](const PatternPatternMatch& m) { return "[" + m.content() + "]"; });
    EXPECT_EQ(result, u"[a\\][]|[b][]");
}

TEST(PatternReplacing, EmptyTextNeverCallsTheTransform)
{
    int calls = 0;
    auto result = PatternPattern::replacingMatches(u"", [&](const PatternPatternMatch&) {
        ++calls;
        return UnicodeString(u"x");
    });
    EXPECT_EQ(result, u"");
    EXPECT_EQ(calls, 0);
    // matches() on an empty text still yields the one empty match.
    EXPECT_EQ(PatternPattern::matches(u"").size(), 1u);
}

TEST(PatternReplacing, AstralCharactersAreReplacedWhereTheyWereMatched)
{
    auto result = PatternPattern::replacingMatches(u"\U0001F600|\U0001F601|x",
        [](const PatternPatternMatch& m) { return m.isOptional() ? "(" + m.content() + ")" : m.content(); });
    EXPECT_EQ(result, u"\U0001F600(\U0001F601)x");
}

TEST(PatternReplacing, TransformErrorsPropagate)
{
    EXPECT_THROW(PatternPattern::replacingMatches(
                     u"a|b|", [](const PatternPatternMatch&) -> UnicodeString { throw std::runtime_error("stop"); }),
        std::runtime_error);
}

struct Unparseable {
    explicit Unparseable(const OptionalCaptureGroups&) { }
};
struct BrokenPattern : Pattern<BrokenPattern, Unparseable> {
    static const UnicodeString& pattern()
    {
        static const UnicodeString expression(u"(");
        return expression;
    }
};

TEST(PatternReplacing, AnInvalidExpressionGivesNoMatchesButThrowsOnReplacement)
{
    EXPECT_TRUE(BrokenPattern::matches(u"abc").empty());
    EXPECT_THROW(
        BrokenPattern::replacingMatches(u"abc", [](const Unparseable&) { return UnicodeString(); }), RegexError);
    EXPECT_EQ(BrokenPattern::replacingMatches(u"", [](const Unparseable&) { return UnicodeString(); }), u"");
}

} // namespace
} // namespace quillet
