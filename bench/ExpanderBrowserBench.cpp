// The expander browser's search over a library of 10,000 expanders: what one filtering costs
// once the debounce has passed, from the search alone to the list drawn again.
#include "WidgetBench.h"
#include "docs/views/ExpanderBrowserWindowController.h"
#include "library/ExpanderSearch.h"

#include <QTest>

#include <array>
#include <string>

namespace {

using quillet::bench::largeLibrary;

// What a user types: a few letters that match much, one that matches a little, one nothing.
const std::array<icu::UnicodeString, 6> queries { u"for", u"EXPANDER 12", u"swift", u"élément", u"zzz", u"" };

// One filtering with the folded texts already kept: the enabled expanders, matching, scoring
// and the stable sort.
void BM_SearchTypedText(benchmark::State& state)
{
    auto& store = largeLibrary();
    quillet::ExpanderSearch search;
    search.search(store.enabledExpanders(), u"warm");
    std::size_t index = 0;
    std::size_t found = 0;
    for (auto _ : state) {
        found = search.search(store.enabledExpanders(), queries[index++ % queries.size()]).size();
        benchmark::DoNotOptimize(found);
    }
    state.SetLabel(std::to_string(store.enabledExpanders().size()) + " enabled expanders");
}
BENCHMARK(BM_SearchTypedText)->Unit(benchmark::kMillisecond);

// The first filtering, when every expander's texts are folded.
void BM_SearchFirstTime(benchmark::State& state)
{
    auto& store = largeLibrary();
    for (auto _ : state) {
        quillet::ExpanderSearch search;
        benchmark::DoNotOptimize(search.search(store.enabledExpanders(), u"for").size());
    }
}
BENCHMARK(BM_SearchFirstTime)->Unit(benchmark::kMillisecond);

// The browser on screen: filtering as the debounce runs it, then the list laid out and drawn
// with the rows' pattern pages.
void BM_BrowserFilterAndRedraw(benchmark::State& state)
{
    auto& store = largeLibrary();
    quillet::ExpanderBrowserWindowController browser([&store] { return store.enabledExpanders(); });
    browser.showWindow();
    if (!QTest::qWaitForWindowExposed(browser.window())) {
        state.SkipWithError("the browser did not show");
        return;
    }
    auto* content = browser.contentViewController();
    std::size_t index = 0;
    for (auto _ : state) {
        content->setSearchText(queries[index++ % queries.size()]);
        content->filterExpanders();
        content->tableView()->doItemsLayout();
        browser.window()->repaint();
    }
}
BENCHMARK(BM_BrowserFilterAndRedraw)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    return quillet::bench::runWidgetBenchmarks(argc, argv);
}
