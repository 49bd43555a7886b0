#include "library/BundleStore.h"
#include "library/JSONSerializableStore.h"
#include "support/SyntheticLibrary.h"
#include "support/TestSupport.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

using quillet::BundleStore;
using quillet::JSONDictionary;
using quillet::JSONSerializableStore;

constexpr int bundleCount = 100;
constexpr int expandersPerBundle = 100; // 10,000 expanders in all

JSONDictionary largeLibrary()
{
    return quillet::test::syntheticLibrary(bundleCount, expandersPerBundle);
}

// Start-up reads the whole library file before anything can be expanded.
void BM_LoadLibraryOf10000Expanders(benchmark::State& state)
{
    quillet::test::TempDir dir;
    const auto path = dir.path() / "bundles.qlbundles";
    quillet::test::writeFile(path, largeLibrary().dump(4));
    for (auto _ : state) {
        JSONSerializableStore<BundleStore> store(path);
        benchmark::DoNotOptimize(store.serializable().bundles().data());
    }
    state.SetLabel(std::to_string(bundleCount * expandersPerBundle) + " expanders");
}
BENCHMARK(BM_LoadLibraryOf10000Expanders)->Unit(benchmark::kMillisecond);

// Every edit saves the whole library, atomically and flushed to disk.
void BM_SaveLibraryOf10000Expanders(benchmark::State& state)
{
    quillet::test::TempDir dir;
    const auto path = dir.path() / "bundles.qlbundles";
    quillet::test::writeFile(path, largeLibrary().dump(4));
    JSONSerializableStore<BundleStore> store(path);
    for (auto _ : state)
        store.save();
}
BENCHMARK(BM_SaveLibraryOf10000Expanders)->Unit(benchmark::kMillisecond);

// The expansion asks for the enabled expanders on every shortcut press.
void BM_EnabledExpandersOf10000(benchmark::State& state)
{
    BundleStore store(largeLibrary());
    for (auto _ : state)
        benchmark::DoNotOptimize(store.enabledExpanders());
}
BENCHMARK(BM_EnabledExpandersOf10000)->Unit(benchmark::kMicrosecond);

} // namespace
