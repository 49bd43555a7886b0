// The D-Bus Expand round trip of a running quillet-app with the default library: one call
// from this process to the application and back. Needs quillet-app on the session bus;
// bench/desktop-speed starts one in a private desktop and runs this.
#include <QCoreApplication>
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

void runExpand(benchmark::State& state, const QString& text)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    const QDBusMessage call = expandCall(text);
    const QDBusMessage first = bus.call(call, QDBus::Block, 5000);
    if (first.type() != QDBusMessage::ReplyMessage) {
        state.SkipWithError("quillet-app does not answer on the session bus");
        return;
    }
    for (auto _ : state) {
        const QDBusMessage reply = bus.call(call, QDBus::Block, 5000);
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

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
