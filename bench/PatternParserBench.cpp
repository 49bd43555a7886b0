// Parsing cost of expander patterns: short, long, and a deep chain of embedded expanders.
#include "expansion/ExpanderController.h"
#include "variables/PatternParser.h"

#include "support/FakeExpander.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

using quillet::ExpanderController;
using quillet::ExpanderPtr;
using quillet::PatternParser;
using quillet::test::FakeExpander;

void BM_ShortPattern(benchmark::State& state)
{
    const ExpanderController controller;
    const icu::UnicodeString pattern(u"for ${i:word}|, ${n:number=1}|");
    for (auto _ : state)
        benchmark::DoNotOptimize(PatternParser(pattern, nullptr, controller).regexPattern());
}
BENCHMARK(BM_ShortPattern)->Unit(benchmark::kMicrosecond);

void BM_LongPattern(benchmark::State& state)
{
    const ExpanderController controller;
    icu::UnicodeString pattern;
    for (int i = 0; i < state.range(0); ++i) {
        const auto n = icu::UnicodeString::fromUTF8(std::to_string(i));
        pattern += u"f" + n + u"(${a" + n + u":identifier}|, ${b" + n + u":switch(x:1,y:2,*:3)=x}|) ";
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(PatternParser(pattern, nullptr, controller).regexPattern());
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_LongPattern)->Arg(4)->Arg(16)->Arg(64)->Unit(benchmark::kMicrosecond)->Complexity();

void BM_EmbeddedChain(benchmark::State& state)
{
    std::vector<ExpanderPtr> expanders;
    const auto depth = static_cast<int>(state.range(0));
    for (int i = 0; i < depth; ++i) {
        const auto id = u"e" + icu::UnicodeString::fromUTF8(std::to_string(i));
        const auto next = u"e" + icu::UnicodeString::fromUTF8(std::to_string(i + 1));
        expanders.push_back(
            FakeExpander::make(id, i + 1 < depth ? u"a ${v:exp(" + next + u")}|!|" : icu::UnicodeString(u"${w:word}")));
    }
    const ExpanderController controller(expanders);
    for (auto _ : state) {
        PatternParser parser(u"${top:exp(e0)}", nullptr, controller);
        benchmark::DoNotOptimize(parser.captureGroupIndex(*parser.variables().front()));
    }
    state.SetComplexityN(depth);
}
BENCHMARK(BM_EmbeddedChain)->Arg(5)->Arg(10)->Arg(20)->Unit(benchmark::kMillisecond)->Complexity();

} // namespace
