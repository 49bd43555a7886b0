#include "OrvTextView/TextFormat.h"
#include "OrvTextView/Color.h"
#include "OrvTextView/CustomHighlightingPattern.h"
#include "OrvTextView/FontSize.h"

#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>

namespace orv {
namespace {

struct RgbCase {
    const char* name;
    std::u16string text;
    std::optional<Color> expected;

    // Names the case in failure messages instead of dumping its bytes.
    friend void PrintTo(const RgbCase& c, std::ostream* out) { *out << c.name; }
};

class ColorFromRgb : public ::testing::TestWithParam<RgbCase> { };

TEST_P(ColorFromRgb, ReadsHashAndSixHexDigitsOnly)
{
    const auto& c = GetParam();
    EXPECT_EQ(Color::fromRgb(c.text), c.expected);
}

INSTANTIATE_TEST_SUITE_P(TextFormat, ColorFromRgb,
    ::testing::Values(RgbCase { "TrimsBlankAndLineFeed", u" #ff8000\n", Color { 1.0, 128 / 255.0, 0.0, 1.0 } },
        RgbCase { "UpperCaseDigits", u"#3B9AFB", Color { 59 / 255.0, 154 / 255.0, 251 / 255.0, 1.0 } },
        RgbCase { "LowerCaseDigits", u"#aaaaaa", Color { 170 / 255.0, 170 / 255.0, 170 / 255.0, 1.0 } },
        RgbCase { "WithoutHashGivesNone", u"ff8000", std::nullopt },
        RgbCase { "ShortFormGivesNone", u"#fff", std::nullopt },
        RgbCase { "SevenDigitsGiveNone", u"#ff80001", std::nullopt }, RgbCase { "EmptyGivesNone", u"", std::nullopt },
        RgbCase { "BlanksOnlyGiveNone", u" \t\r\n", std::nullopt },
        RgbCase { "NonHexPairsReadAsZero", u"#GGGGGG", Color { 0, 0, 0, 1.0 } },
        RgbCase { "PairWithOneLeadingDigitReadsThatDigit", u"#1G0000", Color { 1 / 255.0, 0, 0, 1.0 } },
        RgbCase { "HashInsideIsNotAColour", u"1#ff800", std::nullopt },
        RgbCase { "CharacterBeyondTheBasicPlaneCountsOnce", u"#ff800\U0001F600", Color { 1.0, 128 / 255.0, 0, 1.0 } }),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FontSize, ConvertsEachUnitToPoints)
{
    EXPECT_DOUBLE_EQ(FontSize::relative(1.5f).size(12, 7), 18);
    EXPECT_DOUBLE_EQ(FontSize::points(4).size(12, 7), 4);
    EXPECT_DOUBLE_EQ(FontSize::points(4).size(30, 15), 4);
    EXPECT_DOUBLE_EQ(FontSize::characters(2).size(12, 6.5), 13);
    // A single-precision relative size multiplies in its widened value, not the decimal one.
    EXPECT_DOUBLE_EQ(FontSize::relative(0.1f).size(10, 5), double(0.1f) * 10);
}

TEST(TextFormat, ANewFormatHasEveryAttributeOffAndNoParagraphStyle)
{
    const TextFormat format;
    EXPECT_FALSE(format.isBold);
    EXPECT_FALSE(format.isItalic);
    EXPECT_FALSE(format.color || format.backgroundColor || format.topPadding || format.bottomPadding
        || format.leftPadding || format.rightPadding || format.firstLineLeftPadding);
    EXPECT_FALSE(format.attachment.has_value());
    EXPECT_EQ(format.paragraphSpacing({ 12, 7 }), std::nullopt);
}

TEST(TextFormat, PaddingsOtherThanTopAndLeftMakeNoParagraphStyleOnTheirOwn)
{
    const FontMetrics font { 12, 7 };
    TextFormat bottom;
    bottom.bottomPadding = FontSize::points(3);
    TextFormat right;
    right.rightPadding = FontSize::points(3);
    TextFormat firstLine;
    firstLine.firstLineLeftPadding = FontSize::points(3);

    EXPECT_EQ(bottom.paragraphSpacing(font), std::nullopt);
    EXPECT_EQ(right.paragraphSpacing(font), std::nullopt);
    EXPECT_EQ(firstLine.paragraphSpacing(font), std::nullopt);
}

TEST(TextFormat, TopPaddingAloneSetsOnlyTheSpacingBefore)
{
    TextFormat format;
    format.topPadding = FontSize::relative(0.5f);

    ParagraphSpacing expected;
    expected.spacingBefore = 6.0;

    EXPECT_EQ(format.paragraphSpacing({ 12, 7 }), expected);
}

TEST(TextFormat, FirstLinePaddingOverridesTheLeftPaddingForTheFirstLineOnly)
{
    TextFormat format;
    format.leftPadding = FontSize::characters(2);
    format.firstLineLeftPadding = FontSize::points(0);
    format.bottomPadding = FontSize::points(2);
    format.rightPadding = FontSize::points(5);

    const auto spacing = format.paragraphSpacing({ 12, 6.5 });

    ASSERT_TRUE(spacing);
    EXPECT_EQ(spacing->firstLineHeadIndent, 0.0);
    EXPECT_EQ(spacing->headIndent, 13.0);
    EXPECT_EQ(spacing->lineSpacing, 2.0);
    EXPECT_EQ(spacing->tailIndent, 5.0);
    EXPECT_EQ(spacing->spacingBefore, std::nullopt);
}

TEST(TextFormat, LeftPaddingWithoutFirstLinePaddingIndentsEveryLineAlike)
{
    TextFormat format;
    format.leftPadding = FontSize::points(8);

    const auto spacing = format.paragraphSpacing({ 12, 6.5 });

    ASSERT_TRUE(spacing);
    EXPECT_EQ(spacing->firstLineHeadIndent, 8.0);
    EXPECT_EQ(spacing->headIndent, 8.0);
}

TEST(CustomHighlightingPattern, HandsOutTheSameFormatSoLaterChangesShow)
{
    auto format = std::make_shared<TextFormat>();
    const CustomHighlightingPattern pattern(u"x+", format);

    format->isBold = true;

    EXPECT_EQ(pattern.format(), pattern.format());
    EXPECT_TRUE(pattern.format()->isBold);
    EXPECT_EQ(pattern.pattern(), u"x+");
}

} // namespace
} // namespace orv
