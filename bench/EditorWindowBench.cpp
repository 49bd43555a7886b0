#include "docs/views/DocsViewController.h"
#include "editor/BundleListViewController.h"
#include "editor/EditorTabViewController.h"
#include "editor/EditorWindowController.h"
#include "library/BundleStore.h"
#include "support/SyntheticLibrary.h"

#include <QApplication>
#include <QSignalSpy>
#include <QStandardPaths>

#include <benchmark/benchmark.h>

#include <string>

namespace {

using quillet::BundleListElement;
using quillet::BundleStore;
using quillet::EditorMode;
using quillet::EditorWindowController;

constexpr int bundleCount = 100;
constexpr int expandersPerBundle = 100; // 10,000 expanders in all

BundleStore& largeLibrary()
{
    static BundleStore store(quillet::test::syntheticLibrary(bundleCount, expandersPerBundle));
    return store;
}

// From the request to show the editor to the window on screen with its first pane, for a
// library of 10,000 expanders: the list model, the widgets, showing and one round of events.
void BM_OpenEditorWindowWith10000Expanders(benchmark::State& state)
{
    auto& store = largeLibrary();
    for (auto _ : state) {
        EditorWindowController controller(store);
        controller.showWindow();
        QApplication::processEvents();
        benchmark::DoNotOptimize(controller.window()->isVisible());
        state.PauseTiming();
        controller.window()->hide();
        state.ResumeTiming();
    }
    state.SetLabel(std::to_string(bundleCount * expandersPerBundle) + " expanders");
}
BENCHMARK(BM_OpenEditorWindowWith10000Expanders)->Unit(benchmark::kMillisecond)->Iterations(10);

// The GUI thread's share of moving through the list in documentation mode: selecting a row
// takes the copies for its page; the page itself is built on a worker thread.
void BM_SelectExpanderInDocsModeGuiThread(benchmark::State& state)
{
    auto& store = largeLibrary();
    EditorWindowController controller(store);
    controller.setMode(EditorMode::docs);
    controller.showWindow();
    QApplication::processEvents();
    int index = 0;
    for (auto _ : state) {
        const auto& bundle = store.bundles()[static_cast<std::size_t>(index % bundleCount)];
        controller.select(BundleListElement(bundle->expanders()[static_cast<std::size_t>(index % expandersPerBundle)]));
        ++index;
        state.PauseTiming();
        QSignalSpy shown(controller.editorTabViewController()->docsViewController(), &quillet::DocsViewController::pageShown);
        shown.wait(5000);
        state.ResumeTiming();
    }
}
BENCHMARK(BM_SelectExpanderInDocsModeGuiThread)->Unit(benchmark::kMillisecond)->Iterations(20);

// The same after every change of the library, when the copies of the enabled expanders
// that pages expand their examples with are taken again.
void BM_SelectExpanderAfterALibraryChange(benchmark::State& state)
{
    auto& store = largeLibrary();
    EditorWindowController controller(store);
    controller.setMode(EditorMode::docs);
    controller.showWindow();
    QApplication::processEvents();
    int index = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const auto& bundle = store.bundles()[static_cast<std::size_t>(index % bundleCount)];
        bundle->setEnabled(true); // a change: the copies are stale
        state.ResumeTiming();
        controller.select(BundleListElement(bundle->expanders()[static_cast<std::size_t>(index % expandersPerBundle)]));
        ++index;
        state.PauseTiming();
        QSignalSpy shown(controller.editorTabViewController()->docsViewController(), &quillet::DocsViewController::pageShown);
        shown.wait(5000);
        state.ResumeTiming();
    }
}
BENCHMARK(BM_SelectExpanderAfterALibraryChange)->Unit(benchmark::kMillisecond)->Iterations(10);

} // namespace

int main(int argc, char** argv)
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
