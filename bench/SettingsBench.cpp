#include "text/Settings.h"

#include <benchmark/benchmark.h>

// Settings are read on every expansion (indent unit, line length); keep that cheap.
static void BM_ReadRegisteredDefault(benchmark::State& state)
{
    quillet::InMemorySettings settings;
    settings.registerDefaults({ { "IndentSize", 4LL } });
    for (auto _ : state)
        benchmark::DoNotOptimize(settings.integerForKey("IndentSize"));
}
BENCHMARK(BM_ReadRegisteredDefault);
