#include "docs/DocumentationPages.h"
#include "docs/DocsTestSupport.h"
#include "docs/DocumentationErrors.h"
#include "docs/ExpanderDocsTemplate.h"
#include "expansion/TextSettings.h"
#include "library/App.h"
#include "library/Bundle.h"
#include "library/BundleStore.h"
#include "library/ResourceLocator.h"
#include "support/RecordedExpansions.h"
#include "support/TestSupport.h"
#include "text/Settings.h"
#include "text/StringHelpers.h"

#include <unicode/regex.h>

#include <gtest/gtest.h>

#include <set>
#include <thread>

namespace quillet {
namespace {

using test::makeExpander;

// Compact templates, so that a whole page can be written out in a test.
class PageTemplatesTest : public testing::Test {
protected:
    void SetUp() override
    {
        std::filesystem::create_directories(m_dir.path() / "docs");
        test::writeFile(m_dir.path() / "docs" / "expander-docs.html",
            "<h1>#{name}</h1>#{identifier}\n#{description}\n#{syntax}\n#{variables}\n#{languages}\n");
        test::writeFile(m_dir.path() / "docs" / "bundle-docs.html", "<h1>#{name}</h1>\n#{description}\n");
        test::writeFile(m_dir.path() / "docs" / "docs.css", "body {}\n");
    }

    BundleStore library(const std::string& bundles) const
    {
        return BundleStore(JSONDictionary::parse(R"({"bundles": [)" + bundles + "]}"));
    }

    test::TempDir m_dir;
    DirectoryResourceLocator m_resources { m_dir.path() };
};

// "Broken" is disabled: a pattern that does not parse ends the search of every example of
// the library it is enabled in (the selection stops at the first error).
constexpr const char* sampleBundle = R"({"name": "Loops <C> & co", "description": "Loops & *more*.\n> for i in 3",
    "expanders": [
        {"name": "For <i> & j", "identifier": "c.for<i>", "pattern": "for ${index:identifier} in ${count:number}",
         "output_template": "for (int ${index} = 0; ${index} < ${count}; ${index}++) {\n\t#\n}",
         "description": "Counts **up**.\n> for k in 2", "supported_languages": ["c", "cpp"]},
        {"name": "Broken", "is_enabled": false, "pattern": "bad ${x:nosuchtype}", "output_template": "${x}", "supported_languages": []}]})";

TEST_F(PageTemplatesTest, ExpanderPageIsTheTemplateFilledWithEscapedFieldsAndTheLiveExample)
{
    const auto store = library(sampleBundle);
    const auto page = expanderPage(expanderPageSource(*store.bundles()[0]->expanders()[0], store), m_resources);

    EXPECT_EQ(page.baseDirectory, m_dir.path() / "docs");
    EXPECT_EQ(page.html,
        u16(u"<h1>For &lt;i&gt; &amp; j</h1><div class=\"expander-identifier\">Identifier: <code>c.for&lt;i&gt;</code>."
            u"<div class=\"expander-identifier-info\">Expander may be used within other expanders using "
            u"<code>exp(c.for&lt;i&gt;)</code> variable.</div></div>\n"
            u"<p>Counts <strong>up</strong>.</p>\n"
            u"<div class=\"example\"><code class=\"expanding\">for k in 2</code>"
            u"<code class=\"expanded\">for (int k = 0; k &lt; 2; k++) {\n\t"
            u"<span class=\"cursor\">_</span>\n}</code></div>\n"
            u"for <span class=\"variable\">index</span> in <span class=\"variable\">count</span>\n"
            u"<table class=\"variables\" cell-padding=\"0\" cell-spacing=\"0\"><tbody>"
            u"<tr class=\"variable\"><td><div class=\"name\">index</div></td>"
            u"<td><div class=\"details\">identifier</div></td></tr>"
            u"<tr class=\"variable\"><td><div class=\"name\">count</div></td>"
            u"<td><div class=\"details\">number</div></td></tr></tbody></table>\n"
            u"<div class=\"language\">C</div><div class=\"language\">C++</div>\n"));
}

TEST_F(PageTemplatesTest, BundlePageEscapesTheNameAndExpandsExamplesWithTheBestExpander)
{
    const auto store = library(sampleBundle);
    const auto page = bundlePage(bundlePageSource(*store.bundles()[0], store), m_resources);
    EXPECT_EQ(page.html,
        u16(u"<h1>Loops &lt;C&gt; &amp; co</h1>\n<p>Loops & <em>more</em>.</p>\n"
            u"<div class=\"example\"><code class=\"expanding\">for i in 3</code>"
            u"<code class=\"expanded\">for (int i = 0; i &lt; 3; i++) {\n\t"
            u"<span class=\"cursor\">_</span>\n}</code></div>\n"));
}

TEST_F(PageTemplatesTest, APatternThatDoesNotParseShowsErrorBoxesAndTheRestOfThePage)
{
    const auto store = library(sampleBundle);
    const auto page = expanderPage(expanderPageSource(*store.bundles()[0]->expanders()[1], store), m_resources);
    const icu::UnicodeString html = page.html;
    EXPECT_TRUE(html.startsWith(u"<h1>Broken</h1>\n\n<div class=\"error\"><div class=\"title\">")) << toUtf8(html);
    const int32_t first = html.indexOf(u"<div class=\"error\">");
    const int32_t second = html.indexOf(u"<div class=\"error\">", first + 1);
    ASSERT_GT(second, first);
    const int32_t lineEnd = html.indexOf(u'\n', first);
    EXPECT_EQ(icu::UnicodeString(html, first, lineEnd - first),
        icu::UnicodeString(html, second, html.indexOf(u'\n', second) - second));
    EXPECT_TRUE(html.endsWith(u"</div>\n\n")) << "no languages give an empty value";
}

TEST_F(PageTemplatesTest, APageIsBuiltFromTheCopiesTakenWhenTheSourceWasMade)
{
    auto store = library(sampleBundle);
    const auto& expander = store.bundles()[0]->expanders()[0];
    const auto source = expanderPageSource(*expander, store);
    const auto before = expanderPage(source, m_resources).html;

    expander->setName(u"Renamed");
    expander->setOutputTemplate(u"changed");
    icu::UnicodeString onWorker;
    std::thread worker([&] { onWorker = expanderPage(source, m_resources).html; });
    worker.join();

    EXPECT_EQ(onWorker, before);
    EXPECT_NE(expanderPage(expanderPageSource(*expander, store), m_resources).html, before);
}

TEST_F(PageTemplatesTest, AMissingTemplateOrStyleSheetIsReportedAndNoPageIsBuilt)
{
    const auto store = library(sampleBundle);
    std::filesystem::remove(m_dir.path() / "docs" / "bundle-docs.html");
    EXPECT_THROW(bundlePage(bundlePageSource(*store.bundles()[0], store), m_resources), DocumentationTemplateError);
    std::filesystem::remove(m_dir.path() / "docs" / "docs.css");
    EXPECT_THROW(documentationBaseDirectory(m_resources), DocumentationTemplateError);
    EXPECT_THROW(expanderPage(expanderPageSource(*store.bundles()[0]->expanders()[0], store), m_resources),
        DocumentationTemplateError);
}

TEST(ExpanderDocsTemplate, IdentifierBlockIsEmptyWithoutIdentifierAndKeepsAmpersands)
{
    EXPECT_EQ(ExpanderDocsTemplate::identifierHTML(*makeExpander("x", "y")), u"");
    EXPECT_EQ(ExpanderDocsTemplate::identifierHTML(*makeExpander("x", "y", " ")),
        u16(u"<div class=\"expander-identifier\">Identifier: <code> </code>.<div class=\"expander-identifier-info\">"
            u"Expander may be used within other expanders using <code>exp( )</code> variable.</div></div>"));
    EXPECT_NE(
        ExpanderDocsTemplate::identifierHTML(*makeExpander("x", "y", "a&b")).indexOf(u"<code>exp(a&b)</code>"), -1);
}

// The shipped pages of the default library: every placeholder filled, no text of the library
// left unescaped, and every documented example showing its live expansion.
class DefaultLibraryPagesTest : public test::RecordedIndentationTest {
protected:
    void SetUp() override
    {
        RecordedIndentationTest::SetUp();

        std::string bundles;
        for (const auto& name : App::defaultBundleNames()) {
            const auto path = DocumentationTemplate::defaultResources().pathForResource(name, "qlbundle");
            ASSERT_TRUE(path) << name;
            bundles += (bundles.empty() ? "" : ",") + test::readFile(*path);
        }
        m_store = std::make_unique<BundleStore>(JSONDictionary::parse(R"({"bundles": [)" + bundles + "]}"));
    }

    std::unique_ptr<BundleStore> m_store;
};

// Every "<" of a page opens or closes an element of the generated vocabulary.
void expectOnlyGeneratedMarkup(const icu::UnicodeString& html, const std::string& page)
{
    static const std::set<std::string> elements { "html", "head", "meta", "link", "body", "div", "span", "p", "ul",
        "li", "em", "strong", "code", "a", "h1", "table", "tbody", "tr", "td", "br" };
    UErrorCode status = U_ZERO_ERROR;
    icu::RegexMatcher tag(u"<(/?)([a-z0-9]*)", html, 0, status);
    ASSERT_TRUE(U_SUCCESS(status));
    while (tag.find(status)) {
        const std::string name = toUtf8(tag.group(2, status));
        EXPECT_TRUE(elements.count(name) > 0)
            << page << ": unexpected markup <" << tag.group(1, status).length() << name << " at " << tag.start(status);
    }
    for (const char16_t* key : { u"name", u"identifier", u"description", u"syntax", u"variables", u"languages" })
        EXPECT_EQ(html.indexOf(u"#{" + icu::UnicodeString(key) + u"}"), -1)
            << page << " keeps #{" << toUtf8(key) << "}";
}

int32_t occurrences(const icu::UnicodeString& text, const icu::UnicodeString& part)
{
    int32_t count = 0;
    for (int32_t at = text.indexOf(part); at >= 0; at = text.indexOf(part, at + 1))
        ++count;
    return count;
}

int32_t exampleCount(icu::UnicodeString description)
{
    description.findAndReplace(u"\\n", u"\n");
    int32_t count = 0;
    for (const auto& line : lines(description))
        count += line.length() > 2 && line.startsWith(u"> ") ? 1 : 0;
    return count;
}

const icu::UnicodeString emptyOutput(u"<code class=\"expanded\"><span class=\"cursor\">_</span></code>");

TEST_F(DefaultLibraryPagesTest, EveryBundleAndExpanderPageIsFilledEscapedAndShowsItsLiveExamples)
{
    ASSERT_EQ(m_store->bundles().size(), App::defaultBundleNames().size());
    for (const auto& bundle : m_store->bundles()) {
        const std::string bundleName = toUtf8(bundle->name());
        const auto page = bundlePage(bundlePageSource(*bundle, *m_store)).html;
        expectOnlyGeneratedMarkup(page, bundleName);
        EXPECT_NE(page.indexOf(escapeHTMLCharacters(bundle->name())), -1) << bundleName;
        EXPECT_EQ(occurrences(page, u"<div class=\"example\">"), exampleCount(bundle->bundleDescription()))
            << bundleName;
        EXPECT_EQ(page.indexOf(emptyOutput), -1) << bundleName << " has an example without expansion";

        for (const auto& expander : bundle->expanders()) {
            const std::string name = bundleName + " / " + toUtf8(expander->name());
            const auto html = expanderPage(expanderPageSource(*expander, *m_store)).html;
            expectOnlyGeneratedMarkup(html, name);
            EXPECT_NE(
                html.indexOf(u"<h1 class=\"page-title\">" + escapeHTMLCharacters(expander->name()) + u"</h1>"), -1)
                << name;
            EXPECT_EQ(html.indexOf(u"<div class=\"error\">"), -1) << name;
            EXPECT_EQ(occurrences(html, u"<div class=\"example\">"), exampleCount(expander->expanderDescription()))
                << name;
            EXPECT_EQ(html.indexOf(emptyOutput), -1) << name << " has an example without expansion";
        }
    }
}

TEST(DocumentationResources, TheShippedTemplatesHoldEveryPlaceholderAndLinkTheStyleSheet)
{
    const auto& resources = DocumentationTemplate::defaultResources();
    const auto directory = documentationBaseDirectory(resources);
    EXPECT_TRUE(std::filesystem::is_regular_file(directory / "docs.css"));
    const std::pair<const char*, std::vector<const char*>> templates[]
        = { { "expander-docs", { "name", "identifier", "description", "syntax", "variables", "languages" } },
              { "bundle-docs", { "name", "description" } } };
    for (const auto& [name, keys] : templates) {
        const auto path = resources.pathForResource(name, "html");
        ASSERT_TRUE(path) << name;
        EXPECT_EQ(path->parent_path(), directory);
        const std::string text = test::readFile(*path);
        for (const char* key : keys)
            EXPECT_NE(text.find(std::string("#{") + key + "}"), std::string::npos) << name << " lacks " << key;
        EXPECT_NE(text.find(R"(<link rel="stylesheet" type="text/css" href="docs.css">)"), std::string::npos) << name;
        EXPECT_EQ(text.find("<script"), std::string::npos) << name;
    }
}

} // namespace
} // namespace quillet
