#include "support/ProcessRunner.h"
#include "support/SyntheticLibrary.h"
#include "support/TestSupport.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <stdexcept>
#include <string>

// The whole `quillet expand` process as an editor plug-in or a script runs it: start,
// load the library, find the expander, print the JSON. Each measure runs the default build
// (`shared`: the system's shared libraries) and, when the build made it, the release build that
// carries ICU, libcrypto and libstdc++ in itself (`static`).

namespace {

namespace fs = std::filesystem;
using quillet::test::runProcess;

/// With `keepCache` false every run starts with an empty cache folder, as the first run after
/// an edit of the library does.
void runExpand(benchmark::State& state, const char* program, const fs::path& dataHome,
    const std::vector<std::string>& arguments, bool keepCache = true)
{
    // The cache beside the data: the first run below fills it, as a user's first run does.
    const std::map<std::string, std::string> environment { { "XDG_DATA_HOME", dataHome.string() },
        { "XDG_CACHE_HOME", (dataHome / "cache").string() } };
    // The first run installs the default library when there is none; it is not measured.
    if (runProcess(program, arguments, {}, environment).exitStatus > 1)
        throw std::runtime_error("quillet expand failed");
    for (auto _ : state) {
        if (!keepCache) {
            state.PauseTiming();
            fs::remove_all(dataHome / "cache");
            state.ResumeTiming();
        }
        benchmark::DoNotOptimize(runProcess(program, arguments, {}, environment).exitStatus);
    }
}

void BM_QuilletExpandWithTheDefaultLibrary(benchmark::State& state, const char* program)
{
    quillet::test::TempDir dataHome;
    runExpand(state, program, dataHome.path(), { "expand", "--extension", "swift", "for item in items" });
}

void expandWithALibraryOf10000Expanders(benchmark::State& state, const char* program, bool keepCache)
{
    quillet::test::TempDir dataHome;
    const fs::path folder = dataHome.path() / "com.orvanta.Quillet";
    fs::create_directories(folder);
    quillet::test::writeFile(folder / "bundles.qlbundles", quillet::test::syntheticLibrary(100, 100).dump(4));
    runExpand(
        state, program, dataHome.path(), { "expand", "--extension", "swift", "for99_97 items as item" }, keepCache);
}

void BM_QuilletExpandWithALibraryOf10000Expanders(benchmark::State& state, const char* program)
{
    expandWithALibraryOf10000Expanders(state, program, true);
}

// The first run after the library changed: every pattern is parsed, and what it gives kept.
void BM_QuilletExpandWithALibraryOf10000ExpandersAfterAnEdit(benchmark::State& state, const char* program)
{
    expandWithALibraryOf10000Expanders(state, program, false);
}

// The floor: starting the program and printing its usage, with no library work at all.
void BM_QuilletStartOnly(benchmark::State& state, const char* program)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(runProcess(program, { "--help" }).exitStatus);
}

#define QUILLET_PROCESS_BENCHMARKS(build, program)                                                                     \
    BENCHMARK_CAPTURE(BM_QuilletExpandWithTheDefaultLibrary, build, program)                                           \
        ->Unit(benchmark::kMillisecond)                                                                                \
        ->UseRealTime();                                                                                               \
    BENCHMARK_CAPTURE(BM_QuilletExpandWithALibraryOf10000Expanders, build, program)                                    \
        ->Unit(benchmark::kMillisecond)                                                                                \
        ->UseRealTime();                                                                                               \
    BENCHMARK_CAPTURE(BM_QuilletExpandWithALibraryOf10000ExpandersAfterAnEdit, build, program)                         \
        ->Unit(benchmark::kMillisecond)                                                                                \
        ->UseRealTime();                                                                                               \
    BENCHMARK_CAPTURE(BM_QuilletStartOnly, build, program)->Unit(benchmark::kMillisecond)->UseRealTime()

QUILLET_PROCESS_BENCHMARKS(shared, QUILLET_PROGRAM);
#if defined(QUILLET_STATIC_PROGRAM)
QUILLET_PROCESS_BENCHMARKS(static, QUILLET_STATIC_PROGRAM);
#endif

// The machine's own floor, in the same run: starting a program that does nothing.
void BM_TrueStartOnly(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(runProcess("/bin/true", {}).exitStatus);
}
BENCHMARK(BM_TrueStartOnly)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
