#include "docs/MarkupHTMLGenerator.h"
#include "docs/MarkupFilters.h"
#include "expansion/ExpanderController.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <ostream>
#include <string>

namespace quillet {
namespace {

// Pages in these tables have no expander to expand with: examples show an empty output.
MarkupFilterOptions noExpanders()
{
    return MarkupFilterOptions { .expander = nullptr, .library = std::make_shared<const ExpanderController>() };
}

struct MarkupCase {
    const char* name;
    std::u16string markup;
    std::u16string html;
};

void PrintTo(const MarkupCase& c, std::ostream* out)
{
    *out << c.name;
}

class MarkupGeneration : public testing::TestWithParam<MarkupCase> { };

TEST_P(MarkupGeneration, RendersTheDescriptionAsHTML)
{
    const auto& c = GetParam();
    const icu::UnicodeString markup = u16(c.markup);
    EXPECT_EQ(MarkupHTMLGenerator().generate(markup, noExpanders()), u16(c.html));
}

constexpr const char16_t* emptyExample = u"<div class=\"example\"><code class=\"expanding\">";
constexpr const char16_t* emptyOutput = u"</code><code class=\"expanded\"><span class=\"cursor\">_</span></code></div>";

INSTANTIATE_TEST_SUITE_P(Markup, MarkupGeneration,
    testing::Values(MarkupCase { "EmptyDescriptionGivesEmptyFragment", u"", u"" },
        MarkupCase { "StoredBackslashNIsALineBreak", u"abc\\ndef", u"<p>abc</p>\n<p>def</p>" },
        MarkupCase { "ShortLineIsNoParagraph", u"Hi", u"Hi" },
        MarkupCase { "AngleBracketsOfTextAreEscaped", u"x < y", u"<p>x &lt; y</p>" },
        MarkupCase { "AmpersandStaysForEntities", u"Tom &amp; Jerry", u"<p>Tom &amp; Jerry</p>" },
        MarkupCase { "LineStartingWithBracketButNoExampleIsEscaped", u">x <b>", u"&gt;x &lt;b&gt;" },
        MarkupCase { "BracketAndBlankAloneIsNoExample", u"> ", u"&gt; " },
        MarkupCase {
            "MarkupInjectionIsShownAsText", u"<script>alert(1)</script>", u"&lt;script&gt;alert(1)&lt;/script&gt;" },
        MarkupCase {
            "BulletRunBecomesOneList", u"* a\n* b\nnext line", u"<ul><li>a</li><li>b</li></ul>\n<p>next line</p>" },
        MarkupCase { "CodeBlockRightAfterAListKeepsItsFirstLine", u"* a\n    one\n    two",
            u"<ul><li>a</li></ul>\n<div class=\"code-block\"><code class=\"block\">one<br/>two</code></div>" },
        MarkupCase { "IndentedLinesBecomeOneCodeBlock", u"    let x = 1\n    x += 1\n",
            u"<div class=\"code-block\"><code class=\"block\">let x = 1<br/>x += 1</code></div>" },
        MarkupCase { "CodeBlockKeepsDeeperIndentation", u"\tif x {\n\t\ty()\n\t}",
            u"<div class=\"code-block\"><code class=\"block\">if x {<br/>\ty()<br/>}</code></div>" },
        MarkupCase { "CodeBlockNeverSwallowsTheParagraphsAfterIt", u"    a = 1\nThen more text\nand more",
            u"<div class=\"code-block\"><code class=\"block\">a = 1</code></div><p>Then more text</p>\n<p>and "
            u"more</p>" },
        MarkupCase { "BlanksInsideALineAreNoCode", u"Some    spaced\ttext", u"<p>Some    spaced\ttext</p>" },
        MarkupCase { "BoldEmphasisAndInlineCode", u"Use **bold** and *em* and `code` here",
            u"<p>Use <strong>bold</strong> and <em>em</em> and <code>code</code> here</p>" },
        MarkupCase { "LineStartingBoldIsNoParagraph", u"**Note** text", u"<strong>Note</strong> text" },
        MarkupCase { "AsterisksInInlineCodeStay", u"Pointers `int *a, *b` here",
            u"<p>Pointers <code>int *a, *b</code> here</p>" },
        MarkupCase { "AsterisksInCodeBlockStay", u"    int *a, *b;\n",
            u"<div class=\"code-block\"><code class=\"block\">int *a, *b;</code></div>" },
        MarkupCase { "BoldAroundInlineCodeStillApplies", u"See **the `x` value** now",
            u"<p>See <strong>the <code>x</code> value</strong> now</p>" },
        MarkupCase { "TwitterHandleInAnyCaseBecomesALink", u"[Twitter] @name",
            u"<a href=\"https://twitter.com/name\">@name</a>" },
        MarkupCase { "TwitterWithoutBlankStays", u"[twitter]@name", u"[twitter]@name" },
        MarkupCase {
            "NoncharactersOfTheInputCannotForgeCode", u"a \uFDD00\uFDD1 `x` b", u"<p>a 0 <code>x</code> b</p>" },
        MarkupCase { "ExampleLineIsProtectedFromTheOtherFilters", u"> int *a, *b",
            std::u16string(emptyExample) + u"int *a, *b" + emptyOutput },
        MarkupCase { "ExampleIsEscapedLiterally", u"> a < b && `c`",
            std::u16string(emptyExample) + u"a &lt; b &amp;&amp; `c`" + emptyOutput },
        MarkupCase { "EmphasisDoesNotSpanAcrossAnExample", u"one *two\n> x\nthree* four",
            u"<p>one *two</p>\n" + std::u16string(emptyExample) + u"x" + emptyOutput + u"\n<p>three* four</p>" },
        // Emphasis, bold and inline code stay within a line and never hold half an element.
        MarkupCase { "LoneAsterisksOnTwoLinesStay", u"a * b\nc * d", u"<p>a * b</p>\n<p>c * d</p>" },
        MarkupCase { "PointersOnTwoLinesStay", u"int *p;\n*p = 1;", u"<p>int *p;</p>\n*p = 1;" },
        MarkupCase { "BoldAndCodeStayWithinALine", u"a **b\nc** `d\nef`", u"<p>a **b</p>\n<p>c** `d</p>\n<p>ef`</p>" },
        MarkupCase { "EmphasisNeverTakesTheEndOfACodeBlock", u"    int *p;\n*p = 1;",
            u"<div class=\"code-block\"><code class=\"block\">int *p;</code></div>*p = 1;" },
        MarkupCase { "EmphasisNeverJoinsTwoListItems", u"* a *b\n* c* d", u"<ul><li>a *b</li><li>c* d</li></ul>" },
        MarkupCase { "EmphasisMayHoldWholeElements", u"An *important **bold** word*",
            u"<p>An <em>important <strong>bold</strong> word</em></p>" },
        MarkupCase { "ExampleBetweenParagraphsKeepsItsLines", u"First line\n> ex\nLast line",
            u"<p>First line</p>\n" + std::u16string(emptyExample) + u"ex" + emptyOutput + u"\n<p>Last line</p>" }),
    [](const auto& info) { return std::string(info.param.name); });

// Each filter on its own, as the generator chains them.
struct FilterCase {
    const char* name;
    std::function<std::unique_ptr<MarkupFilter>()> make;
    std::u16string input;
    std::u16string output;
};

void PrintTo(const FilterCase& c, std::ostream* out)
{
    *out << c.name;
}

class SingleFilter : public testing::TestWithParam<FilterCase> { };

TEST_P(SingleFilter, RewritesItsMarkupOnly)
{
    const auto& c = GetParam();
    const icu::UnicodeString input = u16(c.input);
    EXPECT_EQ(c.make()->filter(input, noExpanders()), u16(c.output));
}

template <typename Filter> std::function<std::unique_ptr<MarkupFilter>()> make()
{
    return [] { return std::make_unique<Filter>(); };
}

INSTANTIATE_TEST_SUITE_P(Markup, SingleFilter,
    testing::Values(FilterCase { "EncodeLeavesOnlyExampleLinesForTheExampleFilter", make<EncodeHTMLFilter>(),
                        u"<a>\n> <b>\n>c<\n> ", u"&lt;a&gt;\n> <b>\n&gt;c&lt;\n&gt; " },
        FilterCase { "ListKeepsOnlyTheLastLineFeedOfItsRun", make<DotListMarkupFilter>(), u"x\n* a\n* b\ny",
            u"x\n<ul><li>a</li><li>b</li></ul>\ny" },
        FilterCase { "ListNeedsTextAfterTheBullet", make<DotListMarkupFilter>(), u"* \n*a", u"* \n*a" },
        FilterCase { "ParagraphNeedsAWordCharacterFirst", make<NewLinesMarkupFilter>(), u"abc\n abc\n_ab\nab",
            u"<p>abc</p>\n abc\n<p>_ab</p>\nab" },
        FilterCase { "CodeBlocksSeparatedByTextAreTwoBlocks", make<CodeMarkupFilter>(), u"    a\nb\n    c",
            u"<div class=\"code-block\"><code class=\"block\">a</code></div>b\n<div class=\"code-block\"><code "
            u"class=\"block\">c</code></div>" },
        FilterCase { "CodeOnlyAtLineStart", make<CodeMarkupFilter>(), u"x    y\n", u"x    y\n" },
        FilterCase {
            "BoldNeedsNonEmptyText", make<BoldMarkupFilter>(), u"**** and **b**", u"**** and <strong>b</strong>" },
        FilterCase { "EmphasisStaysWithinALine", make<EmphasizeMarkupFilter>(), u"*a\nb*", u"*a\nb*" },
        FilterCase { "InlineCodeInsertsItsTextUnchanged", make<InlineCodeMarkupFilter>(), u"`&lt;T&gt;`",
            u"<code>&lt;T&gt;</code>" }),
    [](const auto& info) { return std::string(info.param.name); });

TEST(MarkupHTMLGenerator, RunsTheNineFiltersInTheirOrder)
{
    const MarkupHTMLGenerator generator;
    ASSERT_EQ(generator.filters().size(), 9u);
    EXPECT_NE(dynamic_cast<const EncodeHTMLFilter*>(generator.filters()[0].get()), nullptr);
    EXPECT_NE(dynamic_cast<const CodeMarkupFilter*>(generator.filters()[4].get()), nullptr);
    EXPECT_NE(dynamic_cast<const BoldMarkupFilter*>(generator.filters()[5].get()), nullptr);
    EXPECT_NE(dynamic_cast<const InlineCodeMarkupFilter*>(generator.filters()[7].get()), nullptr);
    EXPECT_NE(dynamic_cast<const ExampleMarkupFilter*>(generator.filters()[8].get()), nullptr);
}

} // namespace
} // namespace quillet
