// The record store's costs on a real disk: one append; the end-of-tick trim of a steady state
// in which every table is at its limit of 1000 records, trimmed table by table (one transaction
// each) and all at once (one transaction per file); the import of a save list of 32767 entries. Run under the
// sync shim (LD_PRELOAD=libsyncshim.so from the build's bin/) the cases also count the syncs each makes; the
// shim slows every write, so take times from a run without it.
#include "SaveListFile.h"
#include "config/AppPaths.h"
#include "config/Settings.h"
#include "records/RecordStore.h"
#include "shutdown/SaveListController.h"

#include <QCoreApplication>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <dlfcn.h>

using namespace brevant;

namespace {

constexpr int Limit = 1000;
const QList<RecordTableId> Tables{RecordTableId::Log, RecordTableId::UpsEvent, RecordTableId::CloseApp};

// Syncs of both databases as the sync shim counts them, or nothing without the shim.
class SyncCounter
{
public:
    bool active() const { return m_syncs != nullptr; }
    long now() const
    {
        long total = 0;
        for (const char* suffix : {".mdb", ".mdb-wal"})
            total += m_syncs(suffix);
        return total;
    }

private:
    using Counter = long (*)(const char*);
    Counter m_syncs = reinterpret_cast<Counter>(dlsym(RTLD_DEFAULT, "brevant_syncshim_syncs"));
};

// Both databases in a temporary directory on disk, each table holding `rows` records.
class FilledStore
{
public:
    explicit FilledStore(int rows)
        : m_store(m_dir.filePath(QStringLiteral("EventRecord.mdb")),
                  m_dir.filePath(QStringLiteral("CloseAppRecord.mdb")))
    {
        if (!m_store.open().ok())
            qFatal("cannot open the record databases in %s", qPrintable(m_dir.path()));
        for (RecordTableId table : Tables) {
            const QString sql =
                QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n "
                               "WHERE i < %1) INSERT INTO %2 (Date, Time) "
                               "SELECT '2026-12-01', printf('%08d', i) FROM n")
                    .arg(rows)
                    .arg(RecordStore::tableName(table));
            if (QSqlQuery query(QSqlDatabase::database(m_store.connectionName(table))); !query.exec(sql))
                qFatal("cannot fill %s", qPrintable(RecordStore::tableName(table)));
        }
    }

    RecordStore& store() { return m_store; }

    // Brings every table back to the limit after a trim.
    void refill()
    {
        m_store.appendRecord(RecordTableId::Log, QStringLiteral("Program start"));
        m_store.appendRecord(RecordTableId::UpsEvent, QStringLiteral("System AC Power Recovered"));
        if (!m_store
                 .addCloseApp(QStringLiteral("2026-12-01"), QStringLiteral("10:00:00"),
                              QStringLiteral("Writer"), QStringLiteral("/home/user/report.odt"))
                 .ok())
            qFatal("cannot add a closed application");
    }

private:
    QTemporaryDir m_dir;
    RecordStore m_store;
};

void reportSyncs(benchmark::State& state, const SyncCounter& counter, long syncs)
{
    if (counter.active())
        state.counters["syncs"] = benchmark::Counter(double(syncs), benchmark::Counter::kAvgIterations);
}

// A tick that trims one record of each table: today's call per table, or the one for all three.
void tickTrim(benchmark::State& state, bool allAtOnce)
{
    FilledStore records(Limit);
    const SyncCounter counter;
    long syncs = 0;
    for (auto _ : state) {
        state.PauseTiming();
        records.refill();
        const long before = counter.active() ? counter.now() : 0;
        state.ResumeTiming();
        if (allAtOnce) {
            records.store().trimOnTick(TickLimits{Limit, Limit, Limit});
        } else {
            for (RecordTableId table : Tables)
                records.store().trimOnTick(table, Limit);
        }
        state.PauseTiming();
        syncs += counter.active() ? counter.now() - before : 0;
        state.ResumeTiming();
    }
    reportSyncs(state, counter, syncs);
}

void BM_TickTrim_TableByTable(benchmark::State& state)
{
    tickTrim(state, false);
}
BENCHMARK(BM_TickTrim_TableByTable)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_TickTrim_OneTransactionPerFile(benchmark::State& state)
{
    tickTrim(state, true);
}
BENCHMARK(BM_TickTrim_OneTransactionPerFile)->Unit(benchmark::kMicrosecond)->UseRealTime();

// A tick at steady state below the limits trims nothing and must not sync.
void BM_TickTrim_NothingToTrim(benchmark::State& state)
{
    FilledStore records(Limit - 1);
    const SyncCounter counter;
    const long before = counter.active() ? counter.now() : 0;
    for (auto _ : state)
        records.store().trimOnTick(TickLimits{Limit, Limit, Limit});
    reportSyncs(state, counter, counter.active() ? counter.now() - before : 0);
}
BENCHMARK(BM_TickTrim_NothingToTrim)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_AppendRecord(benchmark::State& state)
{
    FilledStore records(Limit);
    const SyncCounter counter;
    const long before = counter.active() ? counter.now() : 0;
    for (auto _ : state)
        records.store().appendRecord(RecordTableId::Log, QStringLiteral("Attention!! System Power Failed"));
    reportSyncs(state, counter, counter.active() ? counter.now() - before : 0);
}
BENCHMARK(BM_AppendRecord)->Unit(benchmark::kMicrosecond)->UseRealTime();

// The save-list import of the largest list close.exe can leave (Count is 16-bit): read the file
// once, add every row in one transaction, reset the flag. Each import starts from empty databases.
void BM_ImportClosedApps_32767(benchmark::State& state)
{
    constexpr int Entries = 32767;
    const QByteArray list = saveListText(Entries);
    for (auto _ : state) {
        state.PauseTiming();
        const QTemporaryDir dir;
        const AppPaths paths(dir.path());
        writeFlaggedSaveList(paths, list);
        Settings settings(paths.settingsFile());
        RecordStore store(paths.eventDatabase(), paths.closeAppDatabase());
        if (!store.open().ok())
            qFatal("cannot open the record databases");
        SaveListController controller(settings, store, paths.closeAppList());
        state.ResumeTiming();
        if (controller.ImportClosedApps() != Entries)
            state.SkipWithError("not every entry was imported");
    }
}
BENCHMARK(BM_ImportClosedApps_32767)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
