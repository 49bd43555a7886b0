#include "docs/views/DocsViewController.h"

#include "expansion/ExpanderController.h"
#include "support/TestSupport.h"
#include "text/UnicodeConversion.h"

#include <QSignalSpy>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <future>

namespace quillet {
namespace {

struct RecordingUrlOpener final : UrlOpener {
    void openUrl(const QUrl& url) override { opened.push_back(url); }
    std::vector<QUrl> opened;
};

TEST(DocsLinkPolicy, OnlyFileLinksStayInThePane)
{
    const std::pair<const char*, bool> cases[] = {
        { "file:///usr/share/quillet/docs/reference.html", true }, { "file:///tmp/a%20b.html#part", true },
        { "https://example.com/support/quillet/language", false }, { "http://example.com", false },
        { "mailto:someone@example.com", false }, { "quillet:open", false },
        { "reference.html", false }, // unresolved: the pane resolves it first
    };
    for (const auto& [link, inPane] : cases)
        EXPECT_EQ(opensInDocsPane(QUrl(QString::fromUtf8(link))), inPane) << link;
}

TEST(DocsBrowserTest, FileLinksLoadInTheViewAndOthersGoToTheBrowser)
{
    test::TempDir dir;
    test::writeFile(dir.path() / "other.html", "<html><body><p>The other page</p></body></html>");
    auto opener = std::make_shared<RecordingUrlOpener>();
    DocsBrowser browser;
    browser.setUrlOpener(opener);
    const QUrl base = QUrl::fromLocalFile(QString::fromStdString(dir.path().string()) + QLatin1Char('/'));
    browser.showPage(QStringLiteral("<p>Start <a href=\"other.html\">other</a></p>"), base);

    browser.followLink(QUrl(QStringLiteral("https://example.com/page")));
    browser.followLink(QUrl(QStringLiteral("#section")));
    ASSERT_EQ(opener->opened.size(), 1u);
    EXPECT_EQ(opener->opened.front(), QUrl(QStringLiteral("https://example.com/page")));
    EXPECT_EQ(browser.toPlainText(), QStringLiteral("Start other"));

    browser.followLink(QUrl(QStringLiteral("other.html")));
    EXPECT_EQ(browser.source(), QUrl::fromLocalFile(QString::fromStdString((dir.path() / "other.html").string())));
    EXPECT_EQ(browser.toPlainText(), QStringLiteral("The other page"));
    EXPECT_EQ(opener->opened.size(), 1u);
}

class DocsViewControllerTest : public ::testing::Test {
protected:
    DocsViewControllerTest()
        : store(JSONDictionary { { "bundles",
            { { { "name", "First" }, { "expanders", JSONDictionary::array() } },
                { { "name", "Second" }, { "expanders", JSONDictionary::array() } } } } })
    {
    }

    BundleListElement element(int index)
    {
        return BundleListElement(store.bundles().at(static_cast<std::size_t>(index)));
    }

    BundleStore store;
};

TEST_F(DocsViewControllerTest, OnlyThePageOfTheLatestRequestIsShown)
{
    std::promise<void> releaseFirst;
    std::shared_future<void> firstReleased = releaseFirst.get_future().share();
    std::atomic<int> finished { 0 };
    std::atomic<bool> firstStarted { false };
    std::atomic<bool> builtOffTheGuiThread { true };
    QThread* guiThread = QThread::currentThread();

    DocsViewController pane(store);
    pane.setPageBuilder([&](const BundleListElement& element, const std::shared_ptr<const ExpanderController>&) {
        const std::string name = toUtf8(element.name());
        const bool slow = name == "First";
        return DocsViewController::PageBuild([=, &finished, &firstStarted, &builtOffTheGuiThread] {
            if (QThread::currentThread() == guiThread)
                builtOffTheGuiThread = false;
            if (slow) {
                firstStarted = true;
                firstReleased.wait();
            }
            ++finished;
            return DocumentationPage { .html = fromUtf8("<p>" + name + " page</p>"), .baseDirectory = {} };
        });
    });
    pane.show();
    QSignalSpy shown(&pane, &DocsViewController::pageShown);

    pane.setBundleListElement(element(0));
    EXPECT_TRUE(pane.isLoading());
    // The first page is being built when the second is asked for, and finishes last.
    ASSERT_TRUE(QTest::qWaitFor([&] { return firstStarted.load(); }, 5000));
    pane.setBundleListElement(element(1));
    ASSERT_TRUE(shown.wait(5000));
    EXPECT_EQ(pane.browser()->toPlainText(), QStringLiteral("Second page"));
    EXPECT_FALSE(pane.isLoading());

    releaseFirst.set_value();
    ASSERT_TRUE(QTest::qWaitFor([&] { return finished.load() == 2; }, 5000));
    QTest::qWait(50); // the stale page's delivery runs, and must change nothing
    EXPECT_EQ(shown.count(), 1);
    EXPECT_EQ(pane.browser()->toPlainText(), QStringLiteral("Second page"));
    EXPECT_TRUE(builtOffTheGuiThread);

    // No element: an empty page at once.
    pane.setBundleListElement(std::nullopt);
    EXPECT_EQ(shown.count(), 2);
    EXPECT_TRUE(pane.browser()->toPlainText().isEmpty());
}

TEST_F(DocsViewControllerTest, AHiddenPaneBuildsWhenShownAndEveryRequestBuildsAgain)
{
    int builds = 0;
    DocsViewController pane(store);
    pane.setPageBuilder([&](const BundleListElement&, const std::shared_ptr<const ExpanderController>&) {
        ++builds;
        return DocsViewController::PageBuild(
            [] { return DocumentationPage { .html = u"<p>page</p>", .baseDirectory = {} }; });
    });
    QSignalSpy shown(&pane, &DocsViewController::pageShown);
    pane.setBundleListElement(element(0));
    pane.setBundleListElement(element(1));
    EXPECT_EQ(builds, 0);
    pane.show();
    EXPECT_EQ(builds, 1);
    ASSERT_TRUE(shown.wait(5000));
    pane.setBundleListElement(element(1));
    EXPECT_EQ(builds, 2);
    ASSERT_TRUE(shown.wait(5000));
}

TEST_F(DocsViewControllerTest, PagesAreBuiltFromCopiesTakenWhenAsked)
{
    auto bundle = store.bundles().front();
    bundle->setBundleDescription(u"Before");
    auto expander = std::make_shared<CustomExpander>();
    expander->setName(u"Original name");
    auto bundleBuild = DocsViewController::documentationPageBuild(
        BundleListElement(bundle), std::make_shared<const ExpanderController>());
    auto expanderBuild = DocsViewController::documentationPageBuild(
        BundleListElement(expander), std::make_shared<const ExpanderController>());
    bundle->setName(u"Renamed");
    bundle->setBundleDescription(u"After");
    expander->setName(u"Changed");

    auto bundlePage = std::async(std::launch::async, bundleBuild).get();
    auto expanderPage = std::async(std::launch::async, expanderBuild).get();
    const std::string bundleHTML = toUtf8(bundlePage.html);
    const std::string expanderHTML = toUtf8(expanderPage.html);
    EXPECT_NE(bundleHTML.find("First"), std::string::npos);
    EXPECT_NE(bundleHTML.find("Before"), std::string::npos);
    EXPECT_EQ(bundleHTML.find("Renamed"), std::string::npos);
    EXPECT_NE(expanderHTML.find("Original name"), std::string::npos);
    EXPECT_EQ(expanderHTML.find("Changed"), std::string::npos);
    EXPECT_TRUE(std::filesystem::exists(bundlePage.baseDirectory / "docs.css"));
}

} // namespace
} // namespace quillet
