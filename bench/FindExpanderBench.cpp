// Speed of the expander search that runs on every press of the expand shortcut.

#include "expansion/ExpanderController.h"
#include "library/BundleStore.h"
#include "support/AdversarialLines.h"
#include "support/SyntheticLibrary.h"
#include "support/TemplateExpander.h"
#include "text/UnicodeConversion.h"

#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <exception>
#include <string>
#include <vector>

namespace {

using quillet::ExpanderController;
using quillet::ExpanderPtr;
using quillet::test::templateExpander;

struct Shape {
    const char16_t* pattern; // "@" stands for the keyword
    const char16_t* outputTemplate; // likewise
};

// The shapes of everyday expanders: a keyword followed by words, optional parts, free text,
// numbers and choices.
const Shape shapes[] = {
    { u"@ ${name:word}", u"@ ${name} {\n\t#\n}" },
    { u"@ ${name:word}|(${args:text})|", u"@ ${name}(|${args}|) {\n\t#\n}" },
    { u"@ ${item:word} in ${list:word}", u"@ (${item} in ${list}) {\n\t#\n}" },
    { u"@ ${message:text}", u"@(\"${message}\");#" },
    { u"@${count:number}| ${kind:switch(a:public,b:private,*:internal)=a}|", u"${kind} @[${count}]#" },
};

const char16_t* const keywords[] = {
    u"for",
    u"foreach",
    u"while",
    u"if",
    u"else",
    u"switch",
    u"case",
    u"fn",
    u"func",
    u"def",
    u"class",
    u"struct",
    u"enum",
    u"iface",
    u"log",
    u"print",
    u"printf",
    u"debug",
    u"assert",
    u"test",
    u"import",
    u"include",
    u"require",
    u"return",
    u"let",
    u"var",
    u"const",
    u"try",
    u"catch",
    u"throw",
    u"map",
    u"filter",
    u"reduce",
    u"get",
    u"set",
    u"prop",
    u"init",
    u"main",
    u"todo",
    u"fixme",
};

icu::UnicodeString withKeyword(const char16_t* text, const icu::UnicodeString& keyword)
{
    icu::UnicodeString result(text);
    result.findAndReplace(u"@", keyword);
    return result;
}

std::vector<ExpanderPtr> realisticExpanders()
{
    std::vector<ExpanderPtr> expanders;
    for (const auto* keyword : keywords) {
        for (const auto& shape : shapes) {
            expanders.push_back(templateExpander(
                withKeyword(shape.pattern, keyword), withKeyword(shape.outputTemplate, keyword), keyword));
        }
    }
    return expanders; // 200
}

std::vector<ExpanderPtr> generatedExpanders(int count)
{
    std::vector<ExpanderPtr> expanders;
    for (int i = 0; i < count; ++i) {
        const auto& shape = shapes[i % std::size(shapes)];
        const icu::UnicodeString keyword = icu::UnicodeString(u"k") + icu::UnicodeString::fromUTF8(std::to_string(i));
        expanders.push_back(
            templateExpander(withKeyword(shape.pattern, keyword), withKeyword(shape.outputTemplate, keyword), keyword));
    }
    return expanders;
}

void runSearch(benchmark::State& state, const std::vector<ExpanderPtr>& expanders, const icu::UnicodeString& line)
{
    const ExpanderController controller(expanders);
    if (!controller.findExpander(line)) { // also warms the per-expander caches
        state.SkipWithError("the line matches no expander");
        return;
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(controller.findExpander(line));
    state.counters["expanders"] = static_cast<double>(expanders.size());
}

// (a) about 200 everyday expanders on a 40-character line.
void BM_FindExpander_Realistic200(benchmark::State& state)
{
    static const auto expanders = realisticExpanders();
    runSearch(state, expanders, u"    result = compute(items); for x in ys");
}
BENCHMARK(BM_FindExpander_Realistic200)->Unit(benchmark::kMicrosecond);

// (b) 10,000 generated expanders on a 40-character line.
void BM_FindExpander_Generated10000(benchmark::State& state)
{
    static const auto expanders = generatedExpanders(10000);
    runSearch(state, expanders, u"   total = sum(values); k4243 alpha beta");
}
BENCHMARK(BM_FindExpander_Generated10000)->Unit(benchmark::kMillisecond);

/// The process's peak resident memory so far, in MiB.
double peakMemoryMiB()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

/// The process's minor page faults so far.
long minorPageFaults()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_minflt;
}

/// About `units` code units of ordinary code on one line.
icu::UnicodeString longLine(int32_t units)
{
    icu::UnicodeString line;
    while (line.length() < units)
        line.append(u"result = compute(items, \u00e9t\u00e9); ");
    return line;
}

// (c) A one-megabyte line: the 200 everyday expanders, the abbreviation at its end. The cost
// must follow the matched abbreviation, not the line.
void BM_FindExpander_OneMegabyteLine(benchmark::State& state)
{
    static const auto expanders = realisticExpanders();
    static const icu::UnicodeString line = longLine(1 << 20) + u"for x in ys";
    runSearch(state, expanders, line);
    state.counters["lineUnits"] = line.length();
    state.counters["peakMiB"] = peakMemoryMiB();
}
BENCHMARK(BM_FindExpander_OneMegabyteLine)->Unit(benchmark::kMillisecond);

// (d) A one-megabyte value: a text variable takes in the whole line.
void BM_FindExpander_OneMegabyteValue(benchmark::State& state)
{
    static const std::vector<ExpanderPtr> expanders { templateExpander(u"p ${value:text}", u"print(${value})#", u"p") };
    static const icu::UnicodeString line = u"p " + longLine(1 << 20);
    runSearch(state, expanders, line);
    state.counters["lineUnits"] = line.length();
    state.counters["peakMiB"] = peakMemoryMiB();
}
BENCHMARK(BM_FindExpander_OneMegabyteValue)->Unit(benchmark::kMillisecond);

// (e) 200 expanders that all match a 100 KB line.
void BM_FindExpander_200MatchesOf100KB(benchmark::State& state)
{
    static const auto expanders = [] {
        std::vector<ExpanderPtr> made;
        for (int i = 0; i < 200; ++i) {
            const icu::UnicodeString tag = icu::UnicodeString::fromUTF8(std::to_string(i));
            made.push_back(templateExpander(u"${body:text}|k" + tag + u"|;", u"{${body}}#", u"e" + tag));
        }
        return made;
    }();
    static const icu::UnicodeString line = longLine(100 * 1024) + u";";
    runSearch(state, expanders, line);
    state.counters["peakMiB"] = peakMemoryMiB();
}
BENCHMARK(BM_FindExpander_200MatchesOf100KB)->Unit(benchmark::kMillisecond);

// (f) 10,000 generated expanders, one in ten embedding another, read as a library is.
void BM_FindExpander_Library10000WithReferences(benchmark::State& state)
{
    static const quillet::BundleStore store(quillet::test::syntheticLibrary(100, 100));
    static const auto expanders = [] {
        const auto enabled = store.enabledExpanders();
        return std::vector<ExpanderPtr>(enabled.begin(), enabled.end());
    }();
    runSearch(state, expanders, u"   total = sum(values); each42_19 for42_18 things as thing");
}
BENCHMARK(BM_FindExpander_Library10000WithReferences)->Unit(benchmark::kMillisecond);

// (h) The whole default library on one-megabyte lines that make optional parts with text values
// after a text value try every split: one ends in text no closing part takes, one in a condition.
// Searches the line at each turn; the label says how the search ended.
void searchLabelled(benchmark::State& state, const ExpanderController& controller, const icu::UnicodeString& line)
{
    std::string outcome;
    for (auto _ : state) {
        try {
            const auto expanded = controller.findExpander(line);
            outcome = expanded ? "expands to " + std::to_string(expanded->text.length()) + " units" : "nothing expands";
        } catch (const std::exception& error) {
            outcome = error.what();
        }
    }
    state.SetLabel(outcome);
}

// The whole line is matched, so each search ends within the fixed budget, with the error that
// names the expander that ran out of it; the label says which.
void searchDefaultLibrary(benchmark::State& state, const icu::UnicodeString& line)
{
    static const quillet::BundleStore store(quillet::test::defaultLibrary());
    std::vector<ExpanderPtr> expanders;
    for (const auto& bundle : store.bundles())
        expanders.insert(expanders.end(), bundle->expanders().begin(), bundle->expanders().end());
    const ExpanderController controller(expanders);
    searchLabelled(state, controller, line);
}

icu::UnicodeString repeatedTo(const char16_t* text, int32_t units)
{
    icu::UnicodeString line;
    while (line.length() < units)
        line.append(text);
    return line;
}

void BM_FindExpander_DefaultLibraryOnValuesNoClosingPartTakes(benchmark::State& state)
{
    searchDefaultLibrary(state, u"for x in " + repeatedTo(u"items where a and b, ", 1 << 20));
}
BENCHMARK(BM_FindExpander_DefaultLibraryOnValuesNoClosingPartTakes)->Unit(benchmark::kMillisecond);

void BM_FindExpander_DefaultLibraryOnConditionsBeforeACondition(benchmark::State& state)
{
    searchDefaultLibrary(state, repeatedTo(u"if count > 0 ", 1 << 20) + u"if count > 0");
}
BENCHMARK(BM_FindExpander_DefaultLibraryOnConditionsBeforeACondition)->Unit(benchmark::kMillisecond);

// (i) Imported patterns with many values on a one-megabyte line of words: 18 text values, and
// 20,000. Whatever the pattern, a search ends within a fixed budget, with an expansion or with an
// error that names the expander; the label says which.
void runManyValues(benchmark::State& state, const icu::UnicodeString& pattern, const icu::UnicodeString& line)
{
    const std::vector<ExpanderPtr> expanders { templateExpander(pattern, u"(${v1})#", u"many") };
    const ExpanderController controller(expanders);
    searchLabelled(state, controller, line);
}

icu::UnicodeString manyTextValues(int count)
{
    icu::UnicodeString pattern;
    for (int i = 1; i <= count; ++i) {
        if (i > 1)
            pattern.append(u' ');
        pattern.append(u"${v").append(icu::UnicodeString::fromUTF8(std::to_string(i))).append(u":text}");
    }
    return pattern;
}

void BM_FindExpander_18TextValuesOnOneMegabyte(benchmark::State& state)
{
    runManyValues(state, manyTextValues(18), repeatedTo(u"ab cd ef gh ", 1 << 20) + u"ij");
}
BENCHMARK(BM_FindExpander_18TextValuesOnOneMegabyte)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_FindExpander_ManyTextValuesOnOneMegabyte(benchmark::State& state)
{
    runManyValues(
        state, manyTextValues(static_cast<int>(state.range(0))), repeatedTo(u"ab cd ef gh ", 1 << 20) + u"ij");
}
BENCHMARK(BM_FindExpander_ManyTextValuesOnOneMegabyte)
    ->Arg(24)
    ->Arg(25)
    ->Arg(2000)
    ->Arg(20000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

// (g) Every default expander alone on a line made of its own literal words, ending in its first
// example: the line repeats what looks like the start of a match and ends a value at every word.
// At a quarter of a megabyte and at one megabyte: the cost must stay linear in the line, or, for
// a pattern that backtracks more than linearly over the whole line, end within the fixed budget
// with the error naming it (reported as the benchmark's error). Each line is made when its
// benchmark runs, so that the others' lines do not crowd the heap.
void runAdversarialLine(benchmark::State& state, const ExpanderController& library, const ExpanderPtr& expander,
    const icu::UnicodeString& line)
{
    state.counters["lineUnits"] = line.length();
    try {
        const auto expanded = library.findExpander(line, expander);
        if (!expanded) {
            state.SkipWithError("the line expands to nothing");
            return;
        }
        state.counters["outputUnits"] = expanded->text.length();
        // Memory touched for the first time costs more than the copy into it: counted apart.
        const long faultsBefore = minorPageFaults();
        for (auto _ : state)
            benchmark::DoNotOptimize(library.findExpander(line, expander));
        state.counters["pageFaults"] = benchmark::Counter(
            static_cast<double>(minorPageFaults() - faultsBefore), benchmark::Counter::kAvgIterations);
    } catch (const std::exception& error) {
        state.SkipWithError(error.what());
    }
}

const bool adversarialLinesRegistered = [] {
    static const quillet::BundleStore store(quillet::test::defaultLibrary());
    static const ExpanderController library([] {
        std::vector<ExpanderPtr> expanders;
        for (const auto& bundle : store.bundles())
            expanders.insert(expanders.end(), bundle->expanders().begin(), bundle->expanders().end());
        return expanders;
    }());
    for (const auto& bundle : store.bundles()) {
        for (const auto& expander : bundle->expanders()) {
            const std::string name = "BM_FindExpander_AdversarialLine/" + quillet::toUtf8(bundle->name()) + "/"
                + quillet::toUtf8(expander->name());
            benchmark::RegisterBenchmark(name.c_str(),
                [expander](benchmark::State& state) {
                    const icu::UnicodeString line
                        = quillet::test::adversarialLine(expander->pattern(), static_cast<int32_t>(state.range(0)),
                            quillet::test::exampleOrLiteralWords(expander->expanderDescription(), expander->pattern()));
                    runAdversarialLine(state, library, expander, line);
                })
                ->Arg(1 << 18)
                ->Arg(1 << 20)
                ->Unit(benchmark::kMillisecond)
                ->Iterations(3);
        }
    }
    return true;
}();

// (j) Ordinary Swift code on one line, a loop's head at its end, from 5 KB to 1 MB: the whole
// default library, and each default expander alone at 61 KB and 1 MB. The search must grow
// linearly with the line (the reported complexity), and every size expands.
icu::UnicodeString ordinarySwiftLine(int32_t units)
{
    return repeatedTo(u"let x = items.map { $0 * 2 }; for i in 0..<n { total += i }; ", units) + u"for item in items";
}

const std::vector<ExpanderPtr>& defaultExpanders()
{
    static const quillet::BundleStore store(quillet::test::defaultLibrary());
    static const std::vector<ExpanderPtr> expanders = [] {
        std::vector<ExpanderPtr> all;
        for (const auto& bundle : store.bundles())
            all.insert(all.end(), bundle->expanders().begin(), bundle->expanders().end());
        return all;
    }();
    return expanders;
}

void BM_FindExpander_DefaultLibraryOnOrdinaryLine(benchmark::State& state)
{
    const ExpanderController controller(defaultExpanders());
    const icu::UnicodeString line = ordinarySwiftLine(static_cast<int32_t>(state.range(0)));
    try {
        if (!controller.findExpander(line)) {
            state.SkipWithError("the line expands to nothing");
            return;
        }
        for (auto _ : state)
            benchmark::DoNotOptimize(controller.findExpander(line));
    } catch (const std::exception& error) {
        state.SkipWithError(error.what());
        return;
    }
    state.SetComplexityN(line.length());
}
BENCHMARK(BM_FindExpander_DefaultLibraryOnOrdinaryLine)
    ->Arg(5 << 10)
    ->Arg(10 << 10)
    ->Arg(20 << 10)
    ->Arg(30 << 10)
    ->Arg(45 << 10)
    ->Arg(61 << 10)
    ->Arg(1 << 20)
    ->Unit(benchmark::kMillisecond)
    ->Complexity();

const bool ordinaryLinesRegistered = [] {
    for (const auto& expander : defaultExpanders()) {
        const std::string name = "BM_FindExpander_OrdinaryLine/" + quillet::toUtf8(expander->name());
        benchmark::RegisterBenchmark(name.c_str(),
            [expander](benchmark::State& state) {
                const ExpanderController alone(std::vector<ExpanderPtr> { expander });
                const icu::UnicodeString line = ordinarySwiftLine(static_cast<int32_t>(state.range(0)));
                std::string outcome;
                for (auto _ : state) {
                    try {
                        const auto expanded = alone.findExpander(line);
                        outcome = expanded ? "expands" : "nothing expands";
                    } catch (const std::exception& error) {
                        outcome = error.what();
                    }
                }
                state.SetLabel(outcome);
            })
            ->Arg(61 << 10)
            ->Arg(1 << 20)
            ->Unit(benchmark::kMillisecond)
            ->Iterations(3);
    }
    return true;
}();

} // namespace
