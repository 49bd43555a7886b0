#include "library/App.h"
#include "library/BundleStore.h"
#include "library/JSONSerializableStore.h"
#include "library/SaveScheduler.h"
#include "support/SyntheticLibrary.h"
#include "support/TestSupport.h"

#include <benchmark/benchmark.h>

#include <functional>
#include <memory>
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

/// Holds the save as the application's timer does, so the keystroke's own cost is measured.
struct HeldSave final : quillet::SaveScheduler {
    void schedule(std::function<void()> save) override { held = std::move(save); }
    void cancel() override { held = nullptr; }
    std::function<void()> held;
};

// One keystroke in the editor changes an expander's pattern: the time until the GUI thread
// is free again. Argument 0: written at once (what every keystroke cost before); 1: written
// in bursts, the save running when the typing pauses or half a second has passed.
void BM_KeystrokeInALibraryOf10000Expanders(benchmark::State& state)
{
    quillet::test::TempDir dir;
    const auto path = dir.path() / "bundles.qlbundles";
    quillet::test::writeFile(path, largeLibrary().dump(4));
    auto environment = quillet::App::Environment::headless();
    environment.bundlesFilePath = path;
    const bool inBursts = state.range(0) == 1;
    if (inBursts)
        environment.saveScheduler = std::make_shared<HeldSave>();
    quillet::App app(environment);
    auto& expander = *app.bundleStore().bundles()[50]->expanders()[50];
    icu::UnicodeString pattern = expander.pattern();
    for (auto _ : state) {
        pattern.append(u'x');
        expander.setPattern(pattern);
    }
    state.SetLabel(inBursts ? "saved in bursts" : "saved at every keystroke");
}
BENCHMARK(BM_KeystrokeInALibraryOf10000Expanders)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The expansion asks for the enabled expanders on every shortcut press.
void BM_EnabledExpandersOf10000(benchmark::State& state)
{
    BundleStore store(largeLibrary());
    for (auto _ : state)
        benchmark::DoNotOptimize(store.enabledExpanders());
}
BENCHMARK(BM_EnabledExpandersOf10000)->Unit(benchmark::kMicrosecond);

} // namespace
