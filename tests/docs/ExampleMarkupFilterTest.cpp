#include "docs/ExampleMarkupFilter.h"
#include "docs/DocsTestSupport.h"
#include "docs/DocumentationPages.h"
#include "docs/MarkupHTMLGenerator.h"
#include "library/Bundle.h"
#include "library/BundleStore.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <string>

namespace quillet {
namespace {

using test::controllerOf;
using test::makeExpander;

icu::UnicodeString exampleBox(const icu::UnicodeString& input, const icu::UnicodeString& output)
{
    return u"<div class=\"example\"><code class=\"expanding\">" + input + u"</code><code class=\"expanded\">" + output
        + u"</code></div>";
}

const icu::UnicodeString caret(u"<span class=\"cursor\">_</span>");

class ExampleMarkupFilterTest : public testing::Test {
protected:
    // The shorter match loses against the longer one in the library.
    CustomExpanderPtr m_general = makeExpander("${name:word} now", "${name}(#)", "t.call");
    CustomExpanderPtr m_specific = makeExpander("call ${name:word} now", "${name}.now()#", "t.now");
    std::shared_ptr<const ExpanderController> m_library = controllerOf({ m_general, m_specific });

    icu::UnicodeString render(const icu::UnicodeString& line, const ExpanderPtr& expander = nullptr) const
    {
        return ExampleMarkupFilter().filter(line, MarkupFilterOptions { .expander = expander, .library = m_library });
    }
};

TEST_F(ExampleMarkupFilterTest, WithoutAnExpanderTheBestMatchOfTheLibraryExpandsAndTheCaretIsMarked)
{
    EXPECT_EQ(render(u"> call run now"), exampleBox(u"call run now", u"run.now()" + caret));
}

TEST_F(ExampleMarkupFilterTest, InAnExpandersOwnDescriptionOnlyThatExpanderExpands)
{
    EXPECT_EQ(render(u"> call run now", m_general), exampleBox(u"call run now", u"call run(" + caret + u")"));
}

TEST_F(ExampleMarkupFilterTest, AnExampleItsExpanderDoesNotMatchShowsAnEmptyOutput)
{
    EXPECT_EQ(render(u"> something else", m_specific), exampleBox(u"something else", caret));
}

TEST_F(ExampleMarkupFilterTest, TheLineFeedAfterTheExampleStays)
{
    EXPECT_EQ(render(u"> call x now\nafter"), exampleBox(u"call x now", u"x.now()" + caret) + u"\nafter");
}

TEST_F(ExampleMarkupFilterTest, CaretAtTheStartStandsBeforeTheWholeOutput)
{
    const auto expander = makeExpander("first ${x:text}", "#${x} < 1 && ok");
    EXPECT_EQ(ExampleMarkupFilter().filter(
                  u"> first a<b", MarkupFilterOptions { .expander = expander, .library = m_library }),
        exampleBox(u"first a&lt;b", caret + u"a&lt;b &lt; 1 &amp;&amp; ok"));
}

TEST_F(ExampleMarkupFilterTest, AnExpansionErrorIsSwallowedAndShowsAnEmptyOutput)
{
    const auto broken = makeExpander("broken ${x:word}", "${x.nosuchfilter}");
    EXPECT_EQ(
        ExampleMarkupFilter().filter(u"> broken a", MarkupFilterOptions { .expander = broken, .library = m_library }),
        exampleBox(u"broken a", caret));
}

TEST_F(ExampleMarkupFilterTest, AnOutputHoldingTheMarkerCharacterStillHasOneCaret)
{
    const auto domino = makeExpander("tile", "\xF0\x9F\x81\xA2#\xF0\x9F\x81\xA2");
    const auto html
        = ExampleMarkupFilter().filter(u"> tile", MarkupFilterOptions { .expander = domino, .library = m_library });
    EXPECT_EQ(html, exampleBox(u"tile", u"\U0001F062" + caret + u"\U0001F062"));
}

TEST_F(ExampleMarkupFilterTest, ACaretBeyondTheOutputIsPutAtItsEnd)
{
    EXPECT_EQ(
        ExampleMarkupFilter::renderExample(u"x", ExpandedExpression { .text = u"ab", .cursorPosition = 9 }).html(),
        exampleBox(u"x", u"ab" + caret));
}

TEST_F(ExampleMarkupFilterTest, AsterisksOfAnExampleReachTheExpanderAsTyped)
{
    const auto declare = makeExpander("let ${declaration:text}", "${declaration};#");
    const auto html = MarkupHTMLGenerator().generate(
        u"Declares.\n> let int *a, *b", MarkupFilterOptions { .expander = declare, .library = m_library });
    EXPECT_EQ(html, u"<p>Declares.</p>\n" + exampleBox(u"let int *a, *b", u"int *a, *b;" + caret));
}

TEST_F(ExampleMarkupFilterTest, ExamplesOfADescriptionWithCarriageReturnLineEndsStillExpand)
{
    EXPECT_EQ(MarkupHTMLGenerator().generate(
                  u"Runs.\r\n> call x now\r\n", MarkupFilterOptions { .expander = nullptr, .library = m_library }),
        u"<p>Runs.</p>\n" + exampleBox(u"call x now", u"x.now()" + caret) + u"\n");
}

TEST(ExampleMarkupFilterLibrary, DisabledExpandersAndDisabledBundlesTakeNoPartInABundlesExamples)
{
    const std::string store = R"({"bundles": [
        {"name": "Off", "is_enabled": false, "expanders": [
            {"name": "a", "pattern": "go ${x:word}", "output_template": "off bundle", "supported_languages": ["any"]}]},
        {"name": "On", "expanders": [
            {"name": "b", "pattern": "go ${x:word}", "output_template": "off expander", "is_enabled": false,
             "supported_languages": ["any"]},
            {"name": "c", "pattern": "go ${x:word}", "output_template": "enabled #", "supported_languages": ["any"]}]}]})";
    const BundleStore library(JSONDictionary::parse(store));
    const auto source = bundlePageSource(*library.bundles()[1], library);
    EXPECT_EQ(ExampleMarkupFilter().filter(
                  u"> go on", MarkupFilterOptions { .expander = nullptr, .library = source.library }),
        exampleBox(u"go on", u"enabled " + caret));
}

} // namespace
} // namespace quillet
