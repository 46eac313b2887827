// One steady-state poll tick on the USB link: simulated device, real settings file, real databases
// holding 1000 records per table, no power event.

#include "config/AppPaths.h"
#include "config/FirstInstall.h"
#include "engine/MonitorEngine.h"
#include "monitor/PowerMonitor.h"
#include "platform/sim/SimulatedPlatform.h"
#include "records/RecordStore.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

using namespace brevant;

static void BM_SteadyPollTick(benchmark::State& state)
{
    QTemporaryDir dir;
    const AppPaths paths(dir.path());
    if (!writeFirstInstallSettings(paths).ok()) {
        state.SkipWithError("cannot write the settings");
        return;
    }
    SimulatedPlatform platform;
    MonitorEngine engine(paths, platform.adapters());
    engine.loadMainWindow();

    RecordStore& records = engine.records();
    for (int i = records.recordCount(RecordTableId::Log); i < 1000; ++i)
        records.appendRecord(RecordTableId::Log, QStringLiteral("Program start"));
    for (int i = 0; i < 1000; ++i) {
        records.appendRecord(RecordTableId::UpsEvent, QStringLiteral("System AC Power Recovered"));
        records.addCloseApp(QStringLiteral("2026-12-01"), QStringLiteral("10:00:00"),
                            QStringLiteral("Writer"), QStringLiteral("/home/user/report.odt"));
    }
    // The first tick cuts each full list to one below its limit; from then on nothing changes.
    engine.monitor().Timer1_Timer();

    for (auto _ : state)
        engine.monitor().Timer1_Timer();
    state.counters["records_per_table"] = records.recordCount(RecordTableId::Log);
}
BENCHMARK(BM_SteadyPollTick)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
