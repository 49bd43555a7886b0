#include "WidgetBench.h"
#include "docs/views/DocsViewController.h"
#include "editor/BundleListViewController.h"
#include "editor/EditorTabViewController.h"
#include "editor/EditorWindowController.h"
#include "editor/ExpanderAndPatternViewController.h"
#include "editor/VariableTextView.h"
#include "library/App.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <fstream>
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

// One typed character in the pattern view of the expander pane, from the key press until
// the GUI thread is free again: the edit, its highlighting and tokens, the write into the
// expander with its validation, the library's change notice to its observers, and the
// events the keystroke posted (layout and painting).
void typeInPatternView(benchmark::State& state, quillet::BundleStore& store)
{
    quillet::ExpanderAndPatternViewController pane(store, quillet::EditorServices {});
    pane.resize(700, 600);
    pane.show();
    QApplication::processEvents();
    pane.setExpander(store.bundles()[0]->expanders()[0]);
    auto* view = pane.patternTextView();
    view->setFocus();
    view->moveCursor(QTextCursor::End);
    QApplication::processEvents();
    for (auto _ : state) {
        QTest::keyClick(view, Qt::Key_A);
        QApplication::processEvents();
    }
    state.SetLabel(std::to_string(bundleCount * expandersPerBundle) + " expanders");
}

// The text views' own share: a library that is not saved.
void BM_KeystrokeInPatternViewWithoutSaving(benchmark::State& state)
{
    quillet::BundleStore store(quillet::test::syntheticLibrary(bundleCount, expandersPerBundle));
    typeInPatternView(state, store);
}
BENCHMARK(BM_KeystrokeInPatternViewWithoutSaving)->Unit(benchmark::kMillisecond)->Iterations(200);

// The same with the library held by the application over its file, as the user has it:
// each change is saved as the library's saving decides.
void BM_KeystrokeInPatternViewWithTheLibraryFile(benchmark::State& state)
{
    QTemporaryDir folder;
    const std::filesystem::path file = folder.filePath(QStringLiteral("bundles.qlbundles")).toStdString();
    std::ofstream(file) << quillet::test::syntheticLibrary(bundleCount, expandersPerBundle).dump();
    auto environment = quillet::App::Environment::headless();
    environment.bundlesFilePath = file;
    quillet::App app(environment);
    typeInPatternView(state, app.bundleStore());
}
BENCHMARK(BM_KeystrokeInPatternViewWithTheLibraryFile)->Unit(benchmark::kMillisecond)->Iterations(100);

} // namespace

int main(int argc, char** argv)
{
    return quillet::bench::runWidgetBenchmarks(argc, argv);
}
