#include "library/App.h"
#include "library/BundleStore.h"
#include "library/ResourceLocator.h"
#include "library/SaveScheduler.h"
#include "support/SyntheticLibrary.h"
#include "support/TestSupport.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>

namespace {

using quillet::App;
using quillet::JSONDictionary;
using Clock = std::chrono::steady_clock;

/// The event loop as the application has it: saves are held until run, and what the writer
/// posts comes back to this thread.
class PostingScheduler final : public quillet::SaveScheduler {
public:
    void schedule(std::function<void()> save) override { m_held = std::move(save); }
    void cancel() override { m_held = nullptr; }
    bool canPost() const override { return true; }
    void post(std::function<void()> action) override
    {
        {
            std::lock_guard lock(m_mutex);
            m_posted.push_back(std::move(action));
        }
        m_arrived.notify_all();
    }
    /// Runs the next posted action, waiting for it.
    void runNextPosted()
    {
        std::unique_lock lock(m_mutex);
        m_arrived.wait(lock, [this] { return !m_posted.empty(); });
        auto action = std::move(m_posted.front());
        m_posted.pop_front();
        lock.unlock();
        action();
    }

private:
    std::function<void()> m_held;
    std::mutex m_mutex;
    std::condition_variable m_arrived;
    std::deque<std::function<void()>> m_posted;
};

double milliseconds(Clock::duration duration)
{
    return std::chrono::duration<double, std::milli>(duration).count();
}

/// One save after an edit, as on the desktop: the time the calling (main) thread is busy beside
/// the whole save's, to the written file.
void saveOnTheWriterThread(benchmark::State& state, const std::function<void(const std::filesystem::path&)>& prepare)
{
    quillet::test::TempDir dir;
    const auto path = dir.path() / "bundles.qlbundles";
    prepare(path);
    auto scheduler = std::make_shared<PostingScheduler>();
    auto environment = App::Environment::headless();
    environment.bundlesFilePath = path;
    environment.saveScheduler = scheduler;
    environment.lockWait = App::lockWaitOnEventLoop;
    environment.resources
        = std::make_shared<quillet::DirectoryResourceLocator>(quillet::DirectoryResourceLocator::defaultRoot());
    App app(environment);
    if (app.bundleStore().bundles().empty()) {
        state.SkipWithError("no library");
        return;
    }
    double mainThread = 0;
    double whole = 0;
    int round = 0;
    for (auto _ : state) {
        app.bundleStore().bundles()[0]->setName(icu::UnicodeString::fromUTF8("Renamed " + std::to_string(++round)));
        const auto start = Clock::now();
        app.save();
        const auto handedOver = Clock::now();
        scheduler->runNextPosted();
        const auto end = Clock::now();
        mainThread += milliseconds(handedOver - start);
        whole += milliseconds(end - start);
        if (app.hasPendingSave())
            state.SkipWithError("the save failed");
    }
    state.counters["main_thread_ms"] = benchmark::Counter(mainThread, benchmark::Counter::kAvgIterations);
    state.counters["whole_save_ms"] = benchmark::Counter(whole, benchmark::Counter::kAvgIterations);
}

void BM_SaveOfTheDefaultLibrary(benchmark::State& state)
{
    // A first run installs the default bundles from the resources.
    saveOnTheWriterThread(state, [](const std::filesystem::path&) {});
}
BENCHMARK(BM_SaveOfTheDefaultLibrary)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SaveOfALibraryOf10000Expanders(benchmark::State& state)
{
    saveOnTheWriterThread(state, [](const std::filesystem::path& path) {
        quillet::test::writeFile(path, quillet::test::syntheticLibrary(100, 100).dump(4));
    });
}
BENCHMARK(BM_SaveOfALibraryOf10000Expanders)->Unit(benchmark::kMillisecond)->UseRealTime();

/// A start beside the changes that many earlier runs kept (each an import): until it has taken
/// them in, no caller is answered.
void BM_StartBesideKeptChanges(benchmark::State& state)
{
    const int files = static_cast<int>(state.range(0));
    const JSONDictionary base = JSONDictionary::parse(R"({"bundles": [{"name": "A", "expanders": []}]})");
    for (auto _ : state) {
        state.PauseTiming();
        quillet::test::TempDir dir;
        const auto path = dir.path() / "bundles.qlbundles";
        quillet::test::writeFile(path, base.dump(4));
        for (int i = 0; i < files; ++i) {
            JSONDictionary library = base;
            library["bundles"].push_back(
                { { "name", "Kept " + std::to_string(i) }, { "expanders", JSONDictionary::array() } });
            const JSONDictionary kept { { "base", base }, { "library", library } };
            quillet::test::writeFile(
                dir.path() / ("bundles.qlbundles.1700000000." + std::to_string(10000 + i) + ".unsaved"), kept.dump());
        }
        auto environment = App::Environment::headless();
        environment.bundlesFilePath = path;
        environment.notifications = nullptr;
        state.ResumeTiming();
        App app(environment);
        benchmark::DoNotOptimize(app.bundleStore().bundles().size());
        state.PauseTiming();
        if (app.bundleStore().bundles().size() != static_cast<std::size_t>(files) + 1)
            state.SkipWithError("not every kept change was taken in");
        state.ResumeTiming();
    }
}
BENCHMARK(BM_StartBesideKeptChanges)->Arg(1000)->Arg(3000)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace
