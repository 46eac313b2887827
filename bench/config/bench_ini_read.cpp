// Cost of one settings read as the poll tick and the shutdown watcher make it: open, read and
// scan the whole file every time, since nothing may be cached between reads.
#include "config/IniFile.h"
#include "config/Settings.h"

#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

using namespace brevant;

namespace {

// As installed and then edited through the settings pages: five sections, seventeen keys.
constexpr char Installed[] = "[Mscomm]\r\n"
                             "ComboPort=0\r\n"
                             "\r\n"
                             "[OSEvent]\r\n"
                             "Logcount=1000\r\n"
                             "Eventcount=1000\r\n"
                             "Disableevent=0\r\n"
                             "Saveapllication=0\r\n"
                             "Closecount=1000\r\n"
                             "\r\n"
                             "[UpsOnBattery]\r\n"
                             "Disableevent=0\r\n"
                             "Recordlog=1\r\n"
                             "Shutdown=0\r\n"
                             "Delaytime=2\r\n"
                             "\r\n"
                             "[UpsLowBattery]\r\n"
                             "Disableevent=0\r\n"
                             "Recordlog=1\r\n"
                             "Shutdown=1\r\n"
                             "Delaytime=0.5\r\n"
                             "\r\n"
                             "[Schema]\r\n"
                             "ShutDown=0\r\n"
                             "CloseAppFlag=0\r\n"
                             "SaveList=0\r\n";

class SettingsFile
{
public:
    SettingsFile()
        : path(dir.filePath(QStringLiteral("UpsConfigure.ini")))
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(Installed) != qint64(sizeof Installed - 1))
            qFatal("cannot write %s", qPrintable(path));
    }

    QTemporaryDir dir;
    QString path;
};

void readKey(benchmark::State& state, const QString& section, const QString& key, const QString& expected)
{
    const SettingsFile file;
    for (auto _ : state) {
        const QString value = ReadIni(file.path, section, key);
        if (value != expected) {
            state.SkipWithError("unexpected value");
            break;
        }
        benchmark::DoNotOptimize(value);
    }
}

void BM_ReadIni_LowBatteryDelaytime(benchmark::State& state)
{
    readKey(state, QStringLiteral("UpsLowBattery"), QStringLiteral("Delaytime"), QStringLiteral("0.5"));
}
BENCHMARK(BM_ReadIni_LowBatteryDelaytime);

void BM_ReadIni_OSEventClosecount(benchmark::State& state)
{
    readKey(state, QStringLiteral("OSEvent"), QStringLiteral("Closecount"), QStringLiteral("1000"));
}
BENCHMARK(BM_ReadIni_OSEventClosecount);

void BM_ReadIni_AbsentKey(benchmark::State& state)
{
    readKey(state, QStringLiteral("Schema"), QStringLiteral("Missing"), QString());
}
BENCHMARK(BM_ReadIni_AbsentKey);

// The shutdown watcher's read every 100 ms, conversion included.
void BM_Settings_ShutdownRequested(benchmark::State& state)
{
    const SettingsFile file;
    const Settings settings(file.path);
    for (auto _ : state)
        benchmark::DoNotOptimize(settings.shutdownRequested());
}
BENCHMARK(BM_Settings_ShutdownRequested);

} // namespace

BENCHMARK_MAIN();
