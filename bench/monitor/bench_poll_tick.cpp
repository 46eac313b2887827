// One poll tick on the USB link with the real settings file and real databases holding 1000
// records per table (the largest limit):
// - steady: no power event, nothing to trim, UPS simulated in memory;
// - trimming: every list at its limit, so the tick deletes one record per table (the durable
//   transactions are what it costs);
// - steady through the real library: libHalvic loaded by LibraryHalvic with its simulated UPS
//   (HALVIC_BACKEND=sim), as the program runs on it.

#include "config/AppPaths.h"
#include "config/FirstInstall.h"
#include "engine/MonitorEngine.h"
#include "link/UsbLink.h"
#include "monitor/PowerMonitor.h"
#include "platform/qt/LibraryHalvic.h"
#include "platform/sim/SimulatedPlatform.h"
#include "records/RecordStore.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <benchmark/benchmark.h>
#include <optional>

using namespace brevant;

namespace {

constexpr int limit = 1000; // the first-install limit of every list

// Adds one record to each of the three lists.
void addOnePerTable(RecordStore& records)
{
    records.appendRecord(RecordTableId::Log, QStringLiteral("Program start"));
    records.appendRecord(RecordTableId::UpsEvent, QStringLiteral("System AC Power Recovered"));
    if (!records
             .addCloseApp(QStringLiteral("2026-12-01"), QStringLiteral("10:00:00"), QStringLiteral("Writer"),
                          QStringLiteral("/home/user/report.odt"))
             .ok())
        qFatal("cannot add a closed application");
}

// A loaded engine on first-install settings with every list one below its limit. Filling the
// lists costs thousands of durable writes, so each case builds its engine once, for all its
// repetitions.
class TickBench
{
public:
    explicit TickBench(HalvicApi* halvic = nullptr)
    {
        const AppPaths paths(m_dir.path());
        if (!writeFirstInstallSettings(paths).ok()) {
            m_error = "cannot write the settings";
            return;
        }
        const Adapters simulated = m_platform.adapters();
        const Adapters adapters{simulated.scheduler,     halvic != nullptr ? *halvic : simulated.halvic,
                                simulated.serialPort,    simulated.messages,
                                simulated.tray,          simulated.powerOff,
                                simulated.processStarter};
        m_engine.emplace(paths, adapters);
        m_engine->loadMainWindow();
        for (int i = 0; i < limit; ++i)
            addOnePerTable(records());
        tick(); // cuts each full list to one below its limit
    }

    // Empty when the engine is ready; else skips the benchmark with the reason and returns it.
    const char* skipped(benchmark::State& state) const
    {
        if (m_error != nullptr)
            state.SkipWithError(m_error);
        return m_error;
    }
    void fail(const char* error) { m_error = error; }
    void tick() { m_engine->monitor().Timer1_Timer(); }
    RecordStore& records() { return m_engine->records(); }
    MonitorEngine& engine() { return *m_engine; }

private:
    QTemporaryDir m_dir;
    SimulatedPlatform m_platform;
    std::optional<MonitorEngine> m_engine;
    const char* m_error = nullptr;
};

void BM_SteadyPollTick(benchmark::State& state)
{
    static TickBench bench;
    if (bench.skipped(state))
        return;
    for (auto _ : state)
        bench.tick();
    state.counters["records_per_table"] = bench.records().recordCount(RecordTableId::Log).valueOr(-1);
}

void BM_TrimmingPollTick(benchmark::State& state)
{
    static TickBench bench;
    if (bench.skipped(state))
        return;
    for (auto _ : state) {
        state.PauseTiming();
        addOnePerTable(bench.records()); // back at the limit
        state.ResumeTiming();
        bench.tick();
    }
    if (bench.records().recordCount(RecordTableId::CloseApp).valueOr(-1) != limit - 1)
        state.SkipWithError("the tick did not trim");
}

// Puts the simulated UPS on line in a state file under `dir` and points the library at it.
bool useSimulatedUps(const QTemporaryDir& dir)
{
    const QString simFile = dir.filePath(QStringLiteral("halvic-sim.state"));
    QFile file(simFile);
    if (!file.open(QIODevice::WriteOnly) || file.write("online\n") < 0 || !file.flush())
        return false;
    qputenv("HALVIC_BACKEND", "sim");
    qputenv("HALVIC_SIM_FILE", simFile.toLocal8Bit());
    return true;
}

// libHalvic with its simulated UPS on line, loaded as the program loads it.
struct LibHalvicBench
{
    LibHalvicBench()
    {
        if (!simulated) {
            bench.fail("cannot write the simulated UPS's state");
            return;
        }
        // The library answers once it has read the state file.
        for (int i = 0; i < 50 && !bench.engine().usb().usbConnected(); ++i) {
            QThread::msleep(100);
            bench.tick();
        }
        if (!bench.engine().usb().usbConnected())
            bench.fail("libHalvic's simulated UPS does not answer (is libHalvic.so beside the benchmark?)");
    }

    QTemporaryDir simDir;
    bool simulated = useSimulatedUps(simDir);
    LibraryHalvic library;
    TickBench bench{&library};
};

void BM_SteadyPollTickLibHalvic(benchmark::State& state)
{
    static LibHalvicBench lib;
    if (lib.bench.skipped(state))
        return;
    for (auto _ : state)
        lib.bench.tick();
}

} // namespace

BENCHMARK(BM_SteadyPollTick)->Unit(benchmark::kMicrosecond);
// Real time: the durable commits wait for the disk, which costs no CPU time.
BENCHMARK(BM_TrimmingPollTick)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_SteadyPollTickLibHalvic)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
