#include "text/StringHelpers.h"
#include "text/RegexCache.h"
#include "text/StringMatching.h"

#include "support/TestSupport.h"
#include "text/UnicodeConversion.h"

#include <gtest/gtest.h>

namespace quillet {
namespace {

using icu::UnicodeString;

TEST(CaptureGroups, CompilesCaseInsensitiveAndReportsEveryGroup)
{
    auto matches = captureGroups(u"xABCx", u"abc");
    ASSERT_EQ(matches.size(), 1u);
    EXPECT_EQ(*matches[0][0], u"ABC");

    auto alternatives = captureGroups(u"b", u"(a)|(b)");
    ASSERT_EQ(alternatives.size(), 1u);
    ASSERT_EQ(alternatives[0].size(), 3u);
    EXPECT_FALSE(alternatives[0][1].has_value());
    EXPECT_EQ(*alternatives[0][2], u"b");
}

TEST(CaptureGroups, AnEmptyParticipatingGroupIsPresentAndEmpty)
{
    auto matches = captureGroups(u"x", u"x(y?)");
    ASSERT_EQ(matches.size(), 1u);
    ASSERT_TRUE(matches[0][1].has_value());
    EXPECT_TRUE(matches[0][1]->isEmpty());
}

TEST(CaptureGroups, InvalidOrEmptyExpressionsGiveNoMatch)
{
    EXPECT_TRUE(captureGroups(u"(((", u"(").empty());
    EXPECT_TRUE(captureGroups(u"abc", u"").empty());
    EXPECT_TRUE(optionalCaptureGroups(u"abc", u"[").empty());
}

TEST(CaptureGroups, RangesCountUtf16UnitsAfterAnAstralCharacter)
{
    auto matches = optionalCaptureGroups(u"\U0001F600ab", u"(b)");
    ASSERT_EQ(matches.size(), 1u);
    EXPECT_EQ(matches[0][1]->range.location, 3); // the emoji is one Character but two units
    EXPECT_EQ(matches[0][1]->text, u"b");
}

TEST(CaptureGroups, AGroupNumberBeyondTheMatchReadsAsTakingNoPart)
{
    auto matches = captureGroups(u"ab", u"(a)b");
    ASSERT_EQ(matches.size(), 1u);
    EXPECT_EQ(*captureGroup(matches[0], 1), u"a");
    EXPECT_FALSE(captureGroup(matches[0], 2).has_value());
    EXPECT_FALSE(captureGroup(matches[0], -1).has_value());
}

struct SplitCase {
    const char* name;
    std::u16string text;
    std::vector<std::u16string> pieces;
};
class SplitBySeparator : public ::testing::TestWithParam<SplitCase> { };

TEST_P(SplitBySeparator, CutsAtUnescapedCommas)
{
    const auto& c = GetParam();
    auto pieces = splitBySeparator(u16(c.text), u"(?<!\\\\),");
    std::vector<UnicodeString> expected;
    for (const auto& piece : c.pieces)
        expected.push_back(u16(piece));
    EXPECT_EQ(pieces, expected);
}

INSTANTIATE_TEST_SUITE_P(Text, SplitBySeparator,
    ::testing::Values(SplitCase { "TwoPieces", u"a,b", { u"a", u"b" } },
        SplitCase { "EscapedCommaStays", u"a\\,b", { u"a\\,b" } },
        SplitCase { "TrailingSeparatorDropped", u"a,b,", { u"a", u"b" } },
        SplitCase { "DoubleSeparatorStartsNextPiece", u"a,,b", { u"a", u",b" } },
        SplitCase { "LeadingSeparatorJoinsFirstPiece", u",a", { u",a" } },
        SplitCase { "EmptyTextHasNoPiece", u"", {} }),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Unescape, RemovesOneBackslashPerListedCharacter)
{
    EXPECT_EQ(unescapeCharacters(u"a\\|b\\#c", { u"|", u"#" }), u"a|b#c");
    EXPECT_EQ(unescapeCharacters(u"a\\\\|b", { u"|" }), u"a\\|b");
    EXPECT_EQ(unescapeCharacters(u"a\\xb", {}), u"a\\xb");
}

TEST(MatchesRegex, IsCaseSensitiveAndTrueForTheEmptyExpression)
{
    EXPECT_FALSE(matchesRegex(u"", u"^\\w+$"));
    EXPECT_FALSE(matchesRegex(u"ab c", u"^\\w+$"));
    EXPECT_TRUE(matchesRegex(u"a_1", u"^\\w+$"));
    EXPECT_TRUE(matchesRegex(u"anything", u""));
    EXPECT_FALSE(matchesRegex(u"ABC", u"abc"));
    EXPECT_FALSE(matchesRegex(u"abc", u"("));
}

TEST(MatchesWholeText, RejectsATrailingLineFeedThatDollarWouldAccept)
{
    EXPECT_TRUE(matchesRegex(u"abc\n", u"^\\w+$")); // ICU's "$" also matches before a final line end
    EXPECT_FALSE(matchesWholeText(u"abc\n", u"^\\w+$"));
    EXPECT_TRUE(matchesWholeText(u"abc", u"^\\w+$"));
}

TEST(EscapeHTML, LeavesQuotedExampleLinesAndAmpersandsAlone)
{
    EXPECT_EQ(escapeHTML(u"a<b>\n> <c>"), u"a&lt;b&gt;\n> <c>");
    EXPECT_EQ(escapeHTML(u"a & b"), u"a & b");
    EXPECT_EQ(escapeHTMLText(u"<a href=\"x\">&</a>"), u"&lt;a href=&quot;x&quot;&gt;&amp;&lt;/a&gt;");
}

TEST(Characters, BlankAndCaseMappingsWorkOnGraphemeClusters)
{
    EXPECT_FALSE(isBlank(u"\r\n"));
    EXPECT_FALSE(isBlank(u"\u2003"));
    EXPECT_TRUE(isBlank(u"\u00A0"));
    EXPECT_EQ(uppercasedCharacter(u"\u00DF"), u"S");
    EXPECT_EQ(lowercasedCharacter(u"A"), u"a");
    EXPECT_EQ(characterCount(u"e\u0301\r\n\U0001F44D\U0001F3FD"), 3);
}

TEST(TextEquals, TreatsCanonicallyEquivalentTextsAsEqualButKeepsCase)
{
    EXPECT_TRUE(textEquals(u"\u00E9", u"e\u0301"));
    EXPECT_FALSE(textEquals(u"a", u"A"));
}

TEST(ToIdentifier, DropsPunctuationAndJoinsWordsWithUnderscores)
{
    EXPECT_EQ(toIdentifier(u"  My Var-Name  "), u"my_varname");
    EXPECT_EQ(toIdentifier(u"a b c"), u"a_b c");
}

TEST(HasSubstring, ChecksTheCharactersEndingAtTheOffset)
{
    EXPECT_TRUE(hasSubstring(u"hello", u"ll", 4));
    EXPECT_FALSE(hasSubstring(u"hello", u"ll", 5));
    EXPECT_TRUE(hasSubstring(u"hello", u"", 2));
    EXPECT_FALSE(hasSubstring(u"hello", u"x", 6));
    EXPECT_FALSE(hasSubstring(u"hello", u"x", -1));
    // With an empty needle only the bounds can fail: out of them it is false, not a read.
    EXPECT_FALSE(hasSubstring(u"hello", u"", -1));
    EXPECT_FALSE(hasSubstring(u"hello", u"", 6));
    // An offset smaller than the needle used to reach before the text's start.
    EXPECT_FALSE(hasSubstring(u"hello", u"hel", 2));
}

TEST(LineHelpers, SplitIndentAndPrefixLines)
{
    EXPECT_EQ(indentedByTabs(u"a\n\nb", 1), u"\ta\n\t\n\tb");
    EXPECT_EQ(indentedByTabs(u"a", 0), u"a");
    EXPECT_EQ(prefixingLines(u"a\nb\nc", u"> ", false), u"a\n> b\n> c");
    EXPECT_EQ(prefixingLines(u"a\nb", u"> ", true), u"> a\n> b");
    EXPECT_EQ(replacingTabs(u"\ta\t", 2), u"  a  ");
    EXPECT_EQ(replacingTabs(u"\ta", 0), u"a");
    EXPECT_EQ(lengthReplacingTabs(u"\ta", 4), 5);
    EXPECT_EQ(trimmingWhitespace(u" \t a b\u00A0 \n"), u"a b\u00A0 \n");
    EXPECT_EQ(trimmingWhitespace(u"\u00A0x\u00A0"), u"x");
    EXPECT_EQ(words(u"a  b"), (std::vector<UnicodeString> { u"a", u"", u"b" }));
    EXPECT_EQ(leadingWhitespace(u"\t  x "), u"\t  ");
    EXPECT_EQ(firstLineLeadingBlanks(u"  a\n\tb"), u"  ");
    UnicodeString text(u"ab");
    repeat(text, 3);
    EXPECT_EQ(text, u"ababab");
    repeat(text, 0);
    EXPECT_TRUE(text.isEmpty());
}

TEST(LineHelpers, FirstUnescapedHashSkipsEscapedOnes)
{
    EXPECT_EQ(firstUnescapedHashOffset(u"#x"), 0);
    EXPECT_EQ(firstUnescapedHashOffset(u"a\\#b#"), 4);
    EXPECT_FALSE(firstUnescapedHashOffset(u"a\\#").has_value());
}

TEST(LineHelpers, EnclosingParenthesesNeedNotBelongTogether)
{
    EXPECT_EQ(removingEnclosingParentheses(u"(a)"), u"a");
    EXPECT_EQ(removingEnclosingParentheses(u"()"), u"");
    EXPECT_EQ(removingEnclosingParentheses(u"(a)(b)"), u"a)(b");
    EXPECT_EQ(removingEnclosingParentheses(u"(a"), u"(a");
}

TEST(ReplacingMatches, ReplacesEachMatchAtItsPlaceWhenEarlierOnesGrow)
{
    auto result = replacingMatches(u"**a** and **b**", u"\\*\\*(\\w+)\\*\\*",
        [](const CaptureGroups& groups) { return "<strong>" + *groups[1] + "</strong>"; });
    EXPECT_EQ(result, u"<strong>a</strong> and <strong>b</strong>");
}

TEST(ReplacingMatches, EmptyInputsNeverCallTheReplacement)
{
    int calls = 0;
    auto count = [&](const CaptureGroups&) {
        ++calls;
        return UnicodeString(u"x");
    };
    EXPECT_EQ(replacingMatches(u"", u"^", count), u"");
    EXPECT_EQ(replacingMatches(u"abc", u"", count), u"abc");
    EXPECT_EQ(calls, 0);
}

TEST(ReplacingMatches, UsesCommentsMultilineAndCaseInsensitiveFlags)
{
    auto quote = [](const CaptureGroups& groups) { return "[" + *groups[1] + "]"; };
    EXPECT_EQ(replacingMatches(u"x\n> one\n> two", u"^>\\ ([^\\n]+)", quote), u"x\n[one]\n[two]");
    EXPECT_EQ(replacingMatches(u"TWITTER", u"(twitter)", quote), u"[TWITTER]");
    // An unescaped space is ignored under the comments flag.
    EXPECT_EQ(replacingMatches(u"ab", u"(a b)", quote), u"[ab]");
}

TEST(ReplacingMatches, AbsentAndEmptyGroupsReachTheReplacementDistinctly)
{
    std::vector<CaptureGroups> seen;
    replacingMatches(u"x", u"x(y)?(z?)", [&](const CaptureGroups& groups) {
        seen.push_back(groups);
        return UnicodeString();
    });
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_FALSE(seen[0][1].has_value());
    ASSERT_TRUE(seen[0][2].has_value());
    EXPECT_TRUE(seen[0][2]->isEmpty());
}

TEST(ReplacingMatches, InvalidExpressionAndReplacementErrorsPropagate)
{
    EXPECT_THROW(replacingMatches(u"abc", u"(", [](const CaptureGroups&) { return UnicodeString(); }), RegexError);
    EXPECT_THROW(
        replacingMatches(u"abc", u"b", [](const CaptureGroups&) -> UnicodeString { throw std::logic_error("x"); }),
        std::logic_error);
}

TEST(FirstMatch, WithAnEndAnchorFindsTheLongestMatchingSuffix)
{
    EXPECT_EQ(*firstMatch(u"say hello world", u"\\w+ \\w+$"), u"hello world");
    EXPECT_FALSE(firstMatch(u"abc", u"x$").has_value());
    EXPECT_FALSE(firstMatch(u"abc", u"").has_value());
    EXPECT_FALSE(firstMatch(u"ABC", u"abc").has_value());
}

TEST(MatchedStrings, FindsAMatchAtTheEndAfterEmojiAndCombiningMarks)
{
    auto found = matchedStrings(u"\U0001F600e\u0301 end", u"end$");
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0], u"end");
    EXPECT_TRUE(matchedStrings(u"abc", u"(").empty());
}

TEST(Contains, IgnoresCaseAndDiacriticsAndAcceptsTheEmptyNeedle)
{
    EXPECT_TRUE(containsIgnoringCase(u"", u""));
    EXPECT_TRUE(containsIgnoringCase(u"Caf\u00E9 Menu", u"CAFE"));
    EXPECT_FALSE(containsIgnoringCase(u"abc", u"abd"));
}

TEST(Escaping, RegexMetacharactersGetOneBackslashEach)
{
    EXPECT_EQ(escapingRegexMetacharacters(u"a.b\\c-d#"), u"a\\.b\\\\c-d#");
    EXPECT_EQ(escapingRegexMetacharacters(u"(x)|y?"), u"\\(x\\)\\|y\\?");
    EXPECT_EQ(escapingPatternSyntax(u"a:b,{c}$"), u"a\\:b\\,\\{c\\}\\$");
    EXPECT_EQ(unescapingTemplateSyntax(u"a\\,b\\:c"), u"a,b\\:c");
}

TEST(PrefixAndSuffix, RemoveOnlyExactCaseSensitiveMatches)
{
    EXPECT_EQ(removingSuffix(u"hello World", u"world"), u"hello World");
    EXPECT_EQ(removingSuffix(u"hello", u""), u"hello");
    EXPECT_EQ(removingSuffix(u"lo", u"hello"), u"lo");
    EXPECT_EQ(removingSuffix(u"caf\u00E9", u"e\u0301"), u"caf");
    EXPECT_EQ(removingPrefix(u"hello", u""), u"hello");
    EXPECT_EQ(removingPrefix(u"hello", u"x"), u"hello");
    EXPECT_EQ(removingPrefix(u"hello", u"he"), u"llo");
}

TEST(LeadingBlanksAndRepeated, Basics)
{
    EXPECT_EQ(leadingBlanks(u"\t  x"), u"\t  ");
    EXPECT_EQ(leadingBlanks(u"x  "), u"");
    EXPECT_EQ(repeated(u"ab", 0), u"");
    EXPECT_EQ(repeated(u"ab", -2), u"");
    EXPECT_EQ(repeated(u"ab", 2), u"abab");
}

TEST(LineOffsets, CurrentLinePrefixFollowsTheCaret)
{
    const UnicodeString text(u"ab\ncd");
    EXPECT_EQ(*currentLinePrefix(text, 5), u"cd");
    EXPECT_EQ(*currentLinePrefix(text, 3), u"");
    EXPECT_FALSE(currentLinePrefix(text, 0).has_value());
    EXPECT_FALSE(currentLinePrefix(text, 6).has_value());
}

TEST(LineOffsets, StartAndEndOfEmptyAndOrdinaryLines)
{
    EXPECT_EQ(*lineStartOffset(u"\nab", 0), 0);
    EXPECT_EQ(*lineEndOffset(u"\nab", 0), -1);
    EXPECT_EQ(*lineStartOffset(u"ab\ncd", 2), 0);
    EXPECT_EQ(*lineEndOffset(u"ab\ncd", 2), 1);
    EXPECT_EQ(*lineEndOffset(u"ab\ncd", 3), 4);
    EXPECT_FALSE(lineStartOffset(u"ab", 2).has_value());
    // CR LF is one Character, and not a line feed.
    EXPECT_EQ(*lineEndOffset(u"a\r\nb", 0), 2);
    EXPECT_EQ(*characterAtOffset(u"a\r\nb", 1), u"\r\n");
}

TEST(FirstCharacter, UppercasingASharpSKeepsTheCharacterCount)
{
    EXPECT_EQ(uppercasingFirstCharacter(u"\u00DFx"), u"Sx");
    EXPECT_EQ(uppercasingFirstCharacter(u""), u"");
    EXPECT_EQ(lowercasingFirstCharacter(u"ABC"), u"aBC");
}

// The walk counts what the break iterator counts, and stops after the Characters asked for.
TEST(WalkCharacters, AgreesWithTheBreakIterator)
{
    const UnicodeString texts[] = {
        u"",
        u"plain ascii text",
        u"a\r\nb\rc\n",
        u"cafe\u0301 e\u0301\u0302x",
        u"\U0001F1E9\U0001F1EA\U0001F1EB\U0001F1F7x\U0001F1E9",
        u"\U0001F468\u200D\U0001F469\u200D\U0001F467 family",
        u"\u0600a \u0600\u0300b",
        u"\u1100\u1161\u11A8 \uAC00\u11A8",
        u"soft\u00ADhyphen \u0915\u094D\u0937 a\u0308\u0301",
        u"x\U0001F600#\u00E9t\u00E9 \r\n",
    };
    for (const auto& text : texts) {
        const auto expected = characters(text);
        EXPECT_EQ(characterCount(text), int32_t(expected.size())) << toUtf8(text);
        int32_t offset = 0;
        for (std::size_t k = 0; k <= expected.size(); ++k) {
            const auto walk = walkCharacters(text, int64_t(k));
            EXPECT_EQ(walk.characters, int64_t(k)) << toUtf8(text);
            EXPECT_EQ(walk.codeUnits, offset) << toUtf8(text) << " after " << k;
            if (k < expected.size())
                offset += expected[k].length();
        }
        EXPECT_EQ(walkCharacters(text, int64_t(expected.size()) + 5).codeUnits, text.length());
    }
}

} // namespace
} // namespace quillet

namespace quillet {
namespace {

// ASCII takes a shorter way than other text; both must give what ICU's converter gives.
TEST(UnicodeConversion, FromUtf8GivesWhatIcusConverterGives)
{
    const std::string texts[] = { "", "a", std::string("nul\0inside", 10), "short ascii", std::string(27, 'x'),
        std::string(28, 'y'), std::string(300, 'z') + "\x7f", "caf\xc3\xa9", std::string(40, 'a') + "\xf0\x9f\x98\x80",
        "bad \xff byte", "cut \xe2\x82" };
    for (const auto& text : texts) {
        SCOPED_TRACE(text);
        const icu::UnicodeString expected
            = icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
        const icu::UnicodeString converted = fromUtf8(text);
        EXPECT_EQ(converted, expected);
        EXPECT_EQ(converted.length(), expected.length());
        EXPECT_EQ(toUtf8(converted), toUtf8(expected));
    }
}

} // namespace
} // namespace quillet
