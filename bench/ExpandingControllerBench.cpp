// One expansion as the D-Bus Expand method and the command line run it, without the bus: the
// enabled expanders split by the file's language, the search over the first group and, when it
// gives nothing, over the rest. The 10,000 generated expanders include ones that embed others.

#include "front/ExpandingController.h"
#include "library/BundleStore.h"
#include "support/SyntheticLibrary.h"

#include <benchmark/benchmark.h>

#include <memory>

namespace {

using quillet::BundleStore;
using quillet::ExpandingController;

void runExpand(benchmark::State& state, const BundleStore& store, const icu::UnicodeString& text)
{
    ExpandingController controller([&store]() -> const BundleStore& { return store; });
    const icu::UnicodeString extension(u"swift");
    if (!controller.expand(text, extension)) {
        state.SkipWithError("the text expands to nothing");
        return;
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(controller.expand(text, extension));
}

const BundleStore& defaultStore()
{
    static const BundleStore store(quillet::test::defaultLibrary());
    return store;
}

const BundleStore& largeStore()
{
    static const BundleStore store(
        quillet::test::joinedLibraries(quillet::test::defaultLibrary(), quillet::test::syntheticLibrary(100, 100)));
    return store;
}

void BM_Expand_DefaultLibrary(benchmark::State& state)
{
    runExpand(state, defaultStore(), u"for item in items");
}
BENCHMARK(BM_Expand_DefaultLibrary)->Unit(benchmark::kMicrosecond);

void BM_Expand_DefaultLibraryAnd10000(benchmark::State& state)
{
    runExpand(state, largeStore(), u"for item in items");
}
BENCHMARK(BM_Expand_DefaultLibraryAnd10000)->Unit(benchmark::kMicrosecond);

// An expander that embeds another, found among the 10,241.
void BM_Expand_DefaultLibraryAnd10000ThroughAReference(benchmark::State& state)
{
    runExpand(state, largeStore(), u"each42_19 for42_18 things as thing");
}
BENCHMARK(BM_Expand_DefaultLibraryAnd10000ThroughAReference)->Unit(benchmark::kMicrosecond);

} // namespace
