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

void runExpand(benchmark::State& state, const fs::path& dataHome, const std::vector<std::string>& arguments)
{
    const std::map<std::string, std::string> environment { { "XDG_DATA_HOME", dataHome.string() } };
    // The first run installs the default library when there is none; it is not measured.
    if (runProcess(QUILLET_PROGRAM, arguments, {}, environment).exitStatus > 1)
        throw std::runtime_error("quillet expand failed");
    for (auto _ : state)
        benchmark::DoNotOptimize(runProcess(QUILLET_PROGRAM, arguments, {}, environment).exitStatus);
}

void BM_QuilletExpandWithTheDefaultLibrary(benchmark::State& state)
{
    quillet::test::TempDir dataHome;
    runExpand(state, dataHome.path(), { "expand", "--extension", "swift", "for item in items" });
}
BENCHMARK(BM_QuilletExpandWithTheDefaultLibrary)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_QuilletExpandWithALibraryOf10000Expanders(benchmark::State& state)
{
    quillet::test::TempDir dataHome;
    const fs::path folder = dataHome.path() / "com.orvanta.Quillet";
    fs::create_directories(folder);
    quillet::test::writeFile(folder / "bundles.qlbundles", quillet::test::syntheticLibrary(100, 100).dump(4));
    runExpand(state, dataHome.path(), { "expand", "--extension", "swift", "for99_97 items as item" });
}
BENCHMARK(BM_QuilletExpandWithALibraryOf10000Expanders)->Unit(benchmark::kMillisecond)->UseRealTime();

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
