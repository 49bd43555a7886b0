#include "languages/KeywordsHighlightingPattern.h"
#include "languages/ProgrammingLanguageRecord.h"
#include "languages/TextViewHighlighting.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace quillet {
namespace {

using test::highlight;
using test::lookOf;
using test::matchedTexts;

// A conformer with a list chosen by the test; the real conformers differ only in their lists.
class ListedKeywords final : public KeywordsHighlightingPattern {
public:
    explicit ListedKeywords(std::vector<icu::UnicodeString> keywords)
        : KeywordsHighlightingPattern(std::move(keywords))
    {
    }
};

TEST(KeywordsHighlightingPattern, WrapsEachKeywordInWordBoundariesAndJoinsThemWithBars)
{
    EXPECT_EQ(ListedKeywords({ u"auto", u"break" }).pattern(), u"\\b(auto)\\b|\\b(break)\\b");
    EXPECT_EQ(ListedKeywords({ u"int" }).pattern(), u"\\b(int)\\b");
    EXPECT_EQ(ListedKeywords({}).pattern(), u"");
}

TEST(KeywordsHighlightingPattern, EscapesOnlyTheHashAndLeavesOtherMetacharactersAsRegexText)
{
    EXPECT_EQ(ListedKeywords({ u"defined?" }).pattern(), u"\\b(defined?)\\b");
    EXPECT_EQ(ListedKeywords({ u"array()" }).pattern(), u"\\b(array())\\b");
    EXPECT_EQ(ListedKeywords({ u"a#b" }).pattern(), u"\\b(a\\#b)\\b");
}

TEST(KeywordsHighlightingPattern, KeywordsStartingWithANonWordCharacterDropTheLeadingBoundary)
{
    EXPECT_EQ(
        ListedKeywords({ u"#if", u"@IBOutlet", u"_Packed" }).pattern(), u"(\\#if)\\b|(@IBOutlet)\\b|\\b(_Packed)\\b");
}

TEST(KeywordsHighlightingPattern, DirectivesAndAttributesAreFoundWhereTheyAreWritten)
{
    const SwiftKeywordsHighlightingPattern swift;

    EXPECT_EQ(matchedTexts(swift, u"#if DEBUG\n#endif"), (std::vector<std::u16string> { u"#if", u"#endif" }));
    EXPECT_EQ(matchedTexts(swift, u"  @IBOutlet weak var label"),
        (std::vector<std::u16string> { u"@IBOutlet", u"weak", u"var" }));
    // The trailing boundary still keeps a shorter directive from matching inside a longer one.
    EXPECT_EQ(matchedTexts(swift, u"#elseif"), (std::vector<std::u16string> { u"#elseif" }));
}

TEST(KeywordsHighlightingPattern, FindsKeywordsOnlyAsWholeWordsInAnyCase)
{
    const CKeywordsHighlightingPattern c;

    EXPECT_EQ(matchedTexts(c, u"int x"), (std::vector<std::u16string> { u"int" }));
    EXPECT_TRUE(matchedTexts(c, u"interval print").empty());
    EXPECT_EQ(matchedTexts(c, u"Int X"), (std::vector<std::u16string> { u"Int" }));
    EXPECT_EQ(
        matchedTexts(PythonKeywordsHighlightingPattern(), u"x = none"), (std::vector<std::u16string> { u"none" }));
}

TEST(KeywordsHighlightingPattern, RegexTextInEntriesBehavesAsRegexText)
{
    EXPECT_EQ(matchedTexts(RubyKeywordsHighlightingPattern(), u"define defined"),
        (std::vector<std::u16string> { u"define", u"defined" }));
    // "()" is an empty group: only the word turns bold.
    EXPECT_EQ(
        matchedTexts(PHPKeywordsHighlightingPattern(), u"$a = array();"), (std::vector<std::u16string> { u"array" }));
}

TEST(KeywordsHighlightingPattern, DuplicateEntriesMatchNoMoreThanSingleOnes)
{
    const CSharpKeywordsHighlightingPattern cSharp;
    const icu::UnicodeString code(u"using static System.Math; void f(in int a, out int b) {}");
    std::vector<icu::UnicodeString> unique;
    for (const auto& keyword : cSharp.keywords()) {
        if (std::ranges::find(unique, keyword) == unique.end())
            unique.push_back(keyword);
    }

    EXPECT_EQ(cSharp.keywords().size(), unique.size() + 4);
    EXPECT_EQ(matchedTexts(cSharp, code), matchedTexts(ListedKeywords(unique), code));
}

TEST(KeywordsHighlightingPattern, FormatIsANewBoldFormatWithNothingElse)
{
    const CKeywordsHighlightingPattern c;
    const auto format = c.format();

    EXPECT_TRUE(format->isBold);
    EXPECT_FALSE(format->isItalic);
    EXPECT_FALSE(format->color);
    EXPECT_FALSE(format->backgroundColor);
    EXPECT_NE(c.format(), format);
}

TEST(KeywordsHighlightingPattern, PatternFollowsAChangedKeywordList)
{
    GoKeywordsHighlightingPattern go;
    go.setKeywords({ u"chan" });

    EXPECT_EQ(go.pattern(), u"\\b(chan)\\b");
}

TEST(KeywordsHighlightingPattern, AKeywordInsideAStringIsBoldAndNoLongerItalic)
{
    const icu::UnicodeString code(u"s = \"for\"");
    const auto looks = highlight(PythonProgrammingLangauge().highlightingPatterns(), code);

    EXPECT_EQ(lookOf(looks, code, u"for"), (test::Look { .isBold = true, .color = {} }));
    EXPECT_EQ(lookOf(looks, code, u"\""), (test::Look { .isItalic = true, .color = {} }));
}

struct KeywordCountCase {
    const char* name;
    std::shared_ptr<const KeywordsHighlightingPattern> pattern;
    std::size_t count;
    const char16_t* last;

    // Names the case in failure messages instead of dumping its bytes.
    friend void PrintTo(const KeywordCountCase& c, std::ostream* out) { *out << c.name; }
};

class KeywordLists : public ::testing::TestWithParam<KeywordCountCase> { };

TEST_P(KeywordLists, HoldTheLanguagesListWithEveryEntry)
{
    const auto& c = GetParam();
    const auto& keywords = c.pattern->keywords();
    ASSERT_EQ(keywords.size(), c.count);
    EXPECT_EQ(keywords.back(), icu::UnicodeString(c.last));
    ASSERT_TRUE(test::compiles(c.pattern->pattern()));
    // Every entry, directives and attributes included, is found where it stands alone.
    for (const auto& keyword : keywords)
        EXPECT_FALSE(matchedTexts(*c.pattern, keyword).empty()) << toUtf8(keyword);
}

INSTANTIATE_TEST_SUITE_P(KeywordsHighlightingPattern, KeywordLists,
    ::testing::Values(KeywordCountCase { "C", std::make_shared<CKeywordsHighlightingPattern>(), 32, u"while" },
        KeywordCountCase { "CSharp", std::make_shared<CSharpKeywordsHighlightingPattern>(), 81, u"while" },
        KeywordCountCase { "Cpp", std::make_shared<CppKeywordsHighlightingPattern>(), 92, u"xor_eq" },
        KeywordCountCase { "Swift", std::make_shared<SwiftKeywordsHighlightingPattern>(), 97, u"@IBInspectable" },
        KeywordCountCase {
            "ObjectiveC", std::make_shared<ObjectiveCKeywordsHighlightingPattern>(), 52, u"@IBInspectable" },
        KeywordCountCase { "Java", std::make_shared<JavaKeywordsHighlightingPattern>(), 50, u"while" },
        KeywordCountCase { "Php", std::make_shared<PHPKeywordsHighlightingPattern>(), 67, u"yield" },
        KeywordCountCase { "Ruby", std::make_shared<RubyKeywordsHighlightingPattern>(), 41, u"yield" },
        KeywordCountCase { "Python", std::make_shared<PythonKeywordsHighlightingPattern>(), 33, u"raise" },
        KeywordCountCase { "JavaScript", std::make_shared<JavaScriptKeywordsHighlightingPattern>(), 64, u"yield" },
        KeywordCountCase { "Go", std::make_shared<GoKeywordsHighlightingPattern>(), 25, u"var" },
        KeywordCountCase { "Elixir", std::make_shared<ElixirKeywordsHighlightingPattern>(), 15, u"else" }),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace quillet
