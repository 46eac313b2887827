// The time from the end of the splash to the first poll when close.exe has left a save list of 4000
// entries, or the largest one (32767, Count is 16-bit), to import: the real engine on the real clock, with
// the real main window and save-list window (offscreen), the simulated UPS behind the USB link. The import
// and the windows' refreshes run on the window thread; polling must not wait for them.
//
//   build/bin/bench_first_poll --benchmark_repetitions=5   (offscreen by itself)
#include "SaveListFile.h"
#include "app/MainWindow.h"
#include "config/AppPaths.h"
#include "config/IniFile.h"
#include "engine/MonitorEngine.h"
#include "platform/HelpOpener.h"
#include "platform/qt/QtScheduler.h"
#include "platform/sim/SimulatedPlatform.h"
#include "records/RecordStore.h"
#include "shutdown/ui/SaveListWindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <benchmark/benchmark.h>

using namespace brevant;

namespace {

class NoHelp final : public HelpOpener
{
public:
    void openHelp(const QString&) override {}
};

// The simulated UPS, telling each status query.
class WatchedHalvic final : public SimulatedHalvic
{
public:
    std::function<void()> onQuery;
    Status cmdInput(char* statusBlock, char* secondBuffer) override
    {
        if (onQuery)
            onQuery();
        return SimulatedHalvic::cmdInput(statusBlock, secondBuffer);
    }
};

void BM_FirstPollAfterImport(benchmark::State& state)
{
    const int entries = int(state.range(0));
    const QByteArray list = saveListText(entries);
    for (auto _ : state) {
        const QTemporaryDir dir;
        const AppPaths paths(dir.path());
        writeFlaggedSaveList(paths, list);
        if (!WriteIni(paths.settingsFile(), key::SaveList, QStringLiteral("1")).ok())
            qFatal("cannot write %s", qPrintable(paths.settingsFile()));

        SimulatedPlatform platform;
        WatchedHalvic halvic;
        QtScheduler scheduler;
        NoHelp help;
        MonitorEngine engine(paths, {scheduler, halvic, platform.serialPort, platform.messages, platform.tray,
                                     platform.powerOff, platform.processStarter});
        MainWindow mainWindow(engine, help, false);
        SaveListWindow saveListWindow(engine.saveList(), engine.records());

        QElapsedTimer clock;
        qint64 firstPollMs = -1;
        qint64 startMs = -1; // the window thread busy with the start: import, windows' refreshes
        bool started = false;
        halvic.onQuery = [&] {
            if (started && firstPollMs < 0) {
                firstPollMs = clock.elapsed();
                QCoreApplication::exit(0);
            }
        };
        QTimer::singleShot(0, [&] {
            clock.start();
            engine.finishSplash();
            startMs = clock.elapsed();
            started = true; // the queries of the start itself are no poll
        });
        QTimer::singleShot(120000, [] { QCoreApplication::exit(1); });
        if (QCoreApplication::exec() != 0 || firstPollMs < 0) {
            state.SkipWithError("no poll within 120 s");
            break;
        }
        // The first poll's trim may already have taken the oldest entry; the reset flag says the
        // import is done.
        if (engine.records().recordCount(RecordTableId::CloseApp).valueOr(-1) < entries - 1 ||
            ReadIni(paths.settingsFile(), key::CloseAppFlag) != u"0")
            state.SkipWithError("not every entry was imported");
        state.SetIterationTime(double(firstPollMs) / 1000);
        state.counters["start_ms"] = double(startMs);
        engine.requestExit();
    }
}
BENCHMARK(BM_FirstPollAfterImport)
    ->Arg(4000)
    ->Arg(32767)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(1);

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
