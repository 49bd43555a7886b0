// Speed of the documentation pages: the pane builds one whenever the selection changes, and
// every documented example is expanded through the engine while it does.

#include "docs/DocumentationPages.h"
#include "library/App.h"
#include "library/Bundle.h"
#include "library/BundleStore.h"
#include "library/DictionaryReader.h"
#include "library/ResourceLocator.h"

#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>

#include <fstream>
#include <memory>
#include <sstream>
#include <string>

namespace {

using namespace quillet;

std::string readFile(const std::filesystem::path& path)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

// The default library with one more bundle holding the documented expander.
std::unique_ptr<BundleStore> libraryWithDocumentedExpander()
{
    const DirectoryResourceLocator resources(DirectoryResourceLocator::defaultRoot());
    std::string bundles;
    for (const auto& name : App::defaultBundleNames())
        bundles += readFile(*resources.pathForResource(name, "qlbundle")) + ",";
    const nlohmann::json documented { { "name", "Documented" },
        { "expanders",
            { { { "name", "Function" }, { "identifier", "bench.function" },
                { "pattern", "fn ${name:identifier}|(${params:text})|| -> ${result:identifier=Void}|" },
                { "output_template", "func ${name}(|${params}|) -> ${result} {\n\t#\n}" },
                { "description",
                    "A function with **optional** parameters and a result type.\n"
                    "> fn greet\n"
                    "> fn greet(name: String)\n"
                    "Add the result type after an arrow:\n"
                    "> fn count -> Int\n"
                    "> fn add(a: Int, b: Int) -> Int\n"
                    "* parameters are written as in Swift\n"
                    "* the result defaults to `Void`\n"
                    "> fn load(url: URL) -> Data" },
                { "supported_languages", { "swift" } } } } } };
    bundles += documented.dump();
    return std::make_unique<BundleStore>(JSONDictionary::parse(R"({"bundles": [)" + bundles + "]}"));
}

void BM_ExpanderPageWithFiveExamples(benchmark::State& state)
{
    const auto store = libraryWithDocumentedExpander();
    const auto source = expanderPageSource(*store->bundles().back()->expanders().front(), *store);
    const icu::UnicodeString page = expanderPage(source).html;
    int examples = 0;
    for (int32_t at = page.indexOf(u"<div class=\"example\">"); at >= 0;
         at = page.indexOf(u"<div class=\"example\">", at + 1))
        ++examples;
    if (examples != 5 || page.indexOf(u"<code class=\"expanded\"><span class=\"cursor\">") >= 0) {
        state.SkipWithError("the page does not show five live examples");
        return;
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(expanderPage(source));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ExpanderPageWithFiveExamples)->Unit(benchmark::kMillisecond);

// What the main thread pays before handing the page to a worker: copies of the library.
void BM_ExpanderPageSource(benchmark::State& state)
{
    const auto store = libraryWithDocumentedExpander();
    const auto& expander = *store->bundles().back()->expanders().front();
    for (auto _ : state)
        benchmark::DoNotOptimize(expanderPageSource(expander, *store));
}
BENCHMARK(BM_ExpanderPageSource)->Unit(benchmark::kMillisecond);

// A bundle's examples go to the best match among all enabled expanders.
void BM_BundlePageOfTheDefaultLibrary(benchmark::State& state)
{
    const auto store = libraryWithDocumentedExpander();
    const auto source = bundlePageSource(*store->bundles().front(), *store);
    for (auto _ : state)
        benchmark::DoNotOptimize(bundlePage(source));
}
BENCHMARK(BM_BundlePageOfTheDefaultLibrary)->Unit(benchmark::kMillisecond);

} // namespace
