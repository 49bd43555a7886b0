#pragma once

// What the widget benchmarks share: the large library they run over and a main that gives
// them an application (offscreen unless a display is asked for).

#include "library/BundleStore.h"
#include "support/SyntheticLibrary.h"

#include <QApplication>
#include <QStandardPaths>

#include <benchmark/benchmark.h>

namespace quillet::bench {

constexpr int bundleCount = 100;
constexpr int expandersPerBundle = 100; // 10,000 expanders in all

/// The library of bundleCount × expandersPerBundle expanders, built once per program.
inline BundleStore& largeLibrary()
{
    static BundleStore store(test::syntheticLibrary(bundleCount, expandersPerBundle));
    return store;
}

/// Runs the benchmarks asked for on the command line inside a QApplication.
inline int runWidgetBenchmarks(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QStandardPaths::setTestModeEnabled(true);
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

} // namespace quillet::bench
