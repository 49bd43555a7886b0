#include "support/ProcessRunner.h"
#include "support/SyntheticLibrary.h"
#include "support/TestSupport.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <stdexcept>
#include <string>

// The whole `quillet expand` process as an editor plug-in or a script runs it: start,
// load the library, find the expander, print the JSON.

namespace {

namespace fs = std::filesystem;
using quillet::test::runProcess;

/// With `keepCache` false every run starts with an empty cache folder, as the first run after
/// an edit of the library does.
void runExpand(
    benchmark::State& state, const fs::path& dataHome, const std::vector<std::string>& arguments, bool keepCache = true)
{
    // The cache beside the data: the first run below fills it, as a user's first run does.
    const std::map<std::string, std::string> environment { { "XDG_DATA_HOME", dataHome.string() },
        { "XDG_CACHE_HOME", (dataHome / "cache").string() } };
    // The first run installs the default library when there is none; it is not measured.
    if (runProcess(QUILLET_PROGRAM, arguments, {}, environment).exitStatus > 1)
        throw std::runtime_error("quillet expand failed");
    for (auto _ : state) {
        if (!keepCache) {
            state.PauseTiming();
            fs::remove_all(dataHome / "cache");
            state.ResumeTiming();
        }
        benchmark::DoNotOptimize(runProcess(QUILLET_PROGRAM, arguments, {}, environment).exitStatus);
    }
}

void BM_QuilletExpandWithTheDefaultLibrary(benchmark::State& state)
{
    quillet::test::TempDir dataHome;
    runExpand(state, dataHome.path(), { "expand", "--extension", "swift", "for item in items" });
}
BENCHMARK(BM_QuilletExpandWithTheDefaultLibrary)->Unit(benchmark::kMillisecond)->UseRealTime();

void expandWithALibraryOf10000Expanders(benchmark::State& state, bool keepCache)
{
    quillet::test::TempDir dataHome;
    const fs::path folder = dataHome.path() / "com.orvanta.Quillet";
    fs::create_directories(folder);
    quillet::test::writeFile(folder / "bundles.qlbundles", quillet::test::syntheticLibrary(100, 100).dump(4));
    runExpand(state, dataHome.path(), { "expand", "--extension", "swift", "for99_97 items as item" }, keepCache);
}

void BM_QuilletExpandWithALibraryOf10000Expanders(benchmark::State& state)
{
    expandWithALibraryOf10000Expanders(state, true);
}
BENCHMARK(BM_QuilletExpandWithALibraryOf10000Expanders)->Unit(benchmark::kMillisecond)->UseRealTime();

// The first run after the library changed: every pattern is parsed, and what it gives kept.
void BM_QuilletExpandWithALibraryOf10000ExpandersAfterAnEdit(benchmark::State& state)
{
    expandWithALibraryOf10000Expanders(state, false);
}
BENCHMARK(BM_QuilletExpandWithALibraryOf10000ExpandersAfterAnEdit)->Unit(benchmark::kMillisecond)->UseRealTime();

// The floor: starting the program and printing its usage, with no library work at all.
void BM_QuilletStartOnly(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(runProcess(QUILLET_PROGRAM, { "--help" }).exitStatus);
}
BENCHMARK(BM_QuilletStartOnly)->Unit(benchmark::kMillisecond)->UseRealTime();

// The machine's own floor, in the same run: starting a program that does nothing.
void BM_TrueStartOnly(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(runProcess("/bin/true", {}).exitStatus);
}
BENCHMARK(BM_TrueStartOnly)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
