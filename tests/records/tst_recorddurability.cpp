// Every change to a record table is on disk when the call that made it returns. A killed process
// cannot show this (its writes stay in the page cache), so the sync shim watches the files: the
// call must sync the database and leave no byte of it unsynced. A database switched to fewer
// syncs (synchronous=NORMAL or OFF) fails here.
#include "records/RecordStore.h"

#include <QTemporaryDir>
#include <QTest>
#include <dlfcn.h>

using namespace brevant;

namespace {

// The shim's counters, found in this process when the shim is preloaded.
struct SyncShim
{
    using Counter = long (*)(const char*);
    void (*reset)() = reinterpret_cast<void (*)()>(dlsym(RTLD_DEFAULT, "brevant_syncshim_reset"));
    Counter syncs = reinterpret_cast<Counter>(dlsym(RTLD_DEFAULT, "brevant_syncshim_syncs"));
    Counter unsynced = reinterpret_cast<Counter>(dlsym(RTLD_DEFAULT, "brevant_syncshim_unsynced"));

    bool active() const { return reset && syncs && unsynced; }
    // Over the database file and the journal or log that commits go through first.
    long total(Counter counter, const QString& databaseFile) const
    {
        long sum = 0;
        for (const char* suffix : {"", "-wal", "-journal"})
            sum += counter(QFile::encodeName(databaseFile + QLatin1String(suffix)).constData());
        return sum;
    }
};

enum class Change
{
    Append,
    AddCloseApp,
    TrimOnTick,
    TrimToLimit,
    Clear
};

} // namespace

class TestRecordDurability : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void changeIsOnDiskWhenTheCallReturns_data();
    void changeIsOnDiskWhenTheCallReturns();
    void tickTrimSyncsEachFileOnce_data();
    void tickTrimSyncsEachFileOnce();

private:
    QString file(const QString& name) const { return m_dir->filePath(name); }
    QString eventFile() const { return file(QStringLiteral("EventRecord.mdb")); }
    QString closeAppFile() const { return file(QStringLiteral("CloseAppRecord.mdb")); }

    SyncShim m_shim;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<RecordStore> m_store;
};

void TestRecordDurability::initTestCase()
{
    QVERIFY2(m_shim.active(), "run with LD_PRELOAD=libsyncshim.so");
}

void TestRecordDurability::init()
{
    m_store.reset();
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_store = std::make_unique<RecordStore>(eventFile(), closeAppFile());
    QVERIFY(m_store->open());
    for (int i = 0; i < 12; ++i) {
        QVERIFY(m_store->appendRecord(RecordTableId::Log, QStringLiteral("Program start")));
        QVERIFY(
            m_store->appendRecord(RecordTableId::UpsEvent, QStringLiteral("Attention!! UPS Battery Low")));
        QVERIFY(m_store->addCloseApp(QStringLiteral("2024-05-01"), QStringLiteral("10:00:00"),
                                     QStringLiteral("Editor"), QStringLiteral("notes.txt")));
    }
}

void TestRecordDurability::changeIsOnDiskWhenTheCallReturns_data()
{
    QTest::addColumn<Change>("change");
    QTest::addColumn<RecordTableId>("table");
    QTest::newRow("append to record") << Change::Append << RecordTableId::Log;
    QTest::newRow("add a closed application") << Change::AddCloseApp << RecordTableId::CloseApp;
    QTest::newRow("tick trim of UpsEvent") << Change::TrimOnTick << RecordTableId::UpsEvent;
    QTest::newRow("page trim of record") << Change::TrimToLimit << RecordTableId::Log;
    QTest::newRow("clear CloseApp") << Change::Clear << RecordTableId::CloseApp;
}

void TestRecordDurability::changeIsOnDiskWhenTheCallReturns()
{
    QFETCH(Change, change);
    QFETCH(RecordTableId, table);
    const int before = m_store->recordCount(table);
    m_shim.reset();
    switch (change) {
    case Change::Append:
        QVERIFY(m_store->appendRecord(table, QStringLiteral("System AC Power Recovered")));
        break;
    case Change::AddCloseApp:
        QVERIFY(m_store->addCloseApp({}, {}, QStringLiteral("Mail"), QStringLiteral("draft.eml")));
        break;
    case Change::TrimOnTick:
        m_store->trimOnTick(table, 10);
        break;
    case Change::TrimToLimit:
        m_store->trimToLimit(table, [] { return 10.0; });
        break;
    case Change::Clear:
        m_store->clearTable(table);
        break;
    }
    QVERIFY(m_store->recordCount(table) != before);

    const QString database = table == RecordTableId::CloseApp ? closeAppFile() : eventFile();
    QVERIFY2(m_shim.total(m_shim.syncs, database) >= 1, "the change was not synced");
    QCOMPARE(m_shim.total(m_shim.unsynced, database), 0);
}

// The end-of-tick trim is one durable transaction per database file: record and UpsEvent share
// EventRecord.mdb, so a tick that trims all three tables syncs each file once.
void TestRecordDurability::tickTrimSyncsEachFileOnce_data()
{
    QTest::addColumn<double>("limit");
    QTest::addColumn<int>("syncsPerFile");
    QTest::newRow("every table at its limit") << 12.0 << 1;
    QTest::newRow("no table at its limit") << 13.0 << 0;
}

void TestRecordDurability::tickTrimSyncsEachFileOnce()
{
    QFETCH(double, limit);
    QFETCH(int, syncsPerFile);
    m_shim.reset();
    m_store->trimOnTick(TickLimits{limit, limit, limit});
    for (const QString& database : {eventFile(), closeAppFile()}) {
        QCOMPARE(m_shim.total(m_shim.syncs, database), syncsPerFile);
        QCOMPARE(m_shim.total(m_shim.unsynced, database), 0);
    }
    QCOMPARE(m_store->recordCount(RecordTableId::UpsEvent), 12 - syncsPerFile);
}

QTEST_GUILESS_MAIN(TestRecordDurability)
#include "tst_recorddurability.moc"
