// The D-Bus Expand round trip of a running quillet-app: one call from this process to the
// application and back. Needs quillet-app on the session bus; bench/desktop-speed starts one
// with the default library in a private desktop and runs this, bench/warm-path-speed one with
// the default library and one with 10,000 more expanders (through a reference needs those).
#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QVariantMap>

#include <benchmark/benchmark.h>

namespace {

QDBusMessage expandCall(const QString& text)
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        "com.orvanta.Quillet", "/com/orvanta/Quillet", "com.orvanta.Quillet", "Expand");
    call << text << QVariantMap { { "extension", "swift" } };
    return call;
}

void runExpand(benchmark::State& state, const QString& text, bool mustExpand = false)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    const QDBusMessage call = expandCall(text);
    const QDBusMessage first = bus.call(call, QDBus::Block, 60000);
    if (first.type() != QDBusMessage::ReplyMessage) {
        state.SkipWithError("quillet-app does not answer on the session bus");
        return;
    }
    const QVariantMap answer = qdbus_cast<QVariantMap>(first.arguments().value(0));
    if (mustExpand && answer.isEmpty()) {
        state.SkipWithError("the text expands to nothing with this library");
        return;
    }
    state.SetLabel(answer.isEmpty() ? "nothing expands" : "expands");
    for (auto _ : state) {
        const QDBusMessage reply = bus.call(call, QDBus::Block, 60000);
        benchmark::DoNotOptimize(reply.arguments());
    }
}

void BM_DBusExpandShort(benchmark::State& state)
{
    runExpand(state, "for item in items");
}
BENCHMARK(BM_DBusExpandShort)->Unit(benchmark::kMicrosecond);

void BM_DBusExpandNothing(benchmark::State& state)
{
    runExpand(state, "zzqq nothing matches this");
}
BENCHMARK(BM_DBusExpandNothing)->Unit(benchmark::kMicrosecond);

// An expander of the generated 10,000 that embeds another one.
void BM_DBusExpandThroughAReference(benchmark::State& state)
{
    runExpand(state, "each42_19 for42_18 things as thing", true);
}
BENCHMARK(BM_DBusExpandThroughAReference)->Unit(benchmark::kMicrosecond);

// Ten megabytes of values in which optional parts try every split, after a for-in loop: the
// application must answer within its fixed budget, whatever the line.
void BM_DBusExpandTenMegabyteLine(benchmark::State& state)
{
    QString line = "for x in ";
    while (line.size() < 10 * 1024 * 1024)
        line += "items where a and b, ";
    runExpand(state, line);
}
BENCHMARK(BM_DBusExpandTenMegabyteLine)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
