#include "WidgetBench.h"
#include "docs/views/DocsViewController.h"
#include "editor/BundleListViewController.h"
#include "editor/EditorTabViewController.h"
#include "editor/EditorWindowController.h"

#include <QSignalSpy>

#include <string>

namespace {

using quillet::BundleListElement;
using quillet::EditorMode;
using quillet::EditorWindowController;
using quillet::bench::bundleCount;
using quillet::bench::expandersPerBundle;
using quillet::bench::largeLibrary;

// The window on screen in documentation mode, its first events handled.
void showInDocsMode(EditorWindowController& controller)
{
    controller.setMode(EditorMode::docs);
    controller.showWindow();
    QApplication::processEvents();
}

// Waits, untimed, for the documentation page of the selection to be shown.
void waitForPage(benchmark::State& state, EditorWindowController& controller)
{
    state.PauseTiming();
    QSignalSpy shown(
        controller.editorTabViewController()->docsViewController(), &quillet::DocsViewController::pageShown);
    shown.wait(5000);
    state.ResumeTiming();
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
    showInDocsMode(controller);
    int index = 0;
    for (auto _ : state) {
        const auto& bundle = store.bundles()[static_cast<std::size_t>(index % bundleCount)];
        controller.select(BundleListElement(bundle->expanders()[static_cast<std::size_t>(index % expandersPerBundle)]));
        ++index;
        waitForPage(state, controller);
    }
}
BENCHMARK(BM_SelectExpanderInDocsModeGuiThread)->Unit(benchmark::kMillisecond)->Iterations(20);

// The same after every change of the library, when the copies of the enabled expanders
// that pages expand their examples with are taken again.
void BM_SelectExpanderAfterALibraryChange(benchmark::State& state)
{
    auto& store = largeLibrary();
    EditorWindowController controller(store);
    showInDocsMode(controller);
    int index = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const auto& bundle = store.bundles()[static_cast<std::size_t>(index % bundleCount)];
        bundle->setEnabled(true); // a change: the copies are stale
        state.ResumeTiming();
        controller.select(BundleListElement(bundle->expanders()[static_cast<std::size_t>(index % expandersPerBundle)]));
        ++index;
        waitForPage(state, controller);
    }
}
BENCHMARK(BM_SelectExpanderAfterALibraryChange)->Unit(benchmark::kMillisecond)->Iterations(10);

} // namespace

int main(int argc, char** argv)
{
    return quillet::bench::runWidgetBenchmarks(argc, argv);
}
