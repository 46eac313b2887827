#include "TestFiles.h"
#include "records/RecordStore.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

using namespace brevant;

namespace {

QStringList column(const QList<QStringList>& rows, int position)
{
    QStringList values;
    for (const QStringList& row : rows)
        values.append(row.value(position));
    return values;
}

QStringList numbered(int from, int to)
{
    QStringList texts;
    for (int i = from; i <= to; ++i)
        texts.append(QStringLiteral("m%1").arg(i));
    return texts;
}

QStringList pragmaColumn(const QString& connection, const QString& sql, int position)
{
    QSqlQuery query(QSqlDatabase::database(connection));
    QStringList values;
    if (query.exec(sql)) {
        while (query.next())
            values.append(query.value(position).toString());
    }
    return values;
}

} // namespace

class TestRecordStore : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void freshInstallCreatesFilesAndTables();
    void reopenKeepsRecordsInOrder();
    void missingDirectoryFailsToOpen();
    void damagedFileIsKeptAsideAndReplaced_data();
    void damagedFileIsKeptAsideAndReplaced();
    void appendStoresSortableDateAndTime();
    void trimToLimit_data();
    void trimToLimit();
    void trimToLimitRereadsTheLimit();
    void tickTrimOfAllTables_data();
    void tickTrimOfAllTables();
    void closeAppFollowsDateOrderOnceSorted();
    void clearLeavesTheOtherTablesAlone_data();
    void clearLeavesTheOtherTablesAlone();

private:
    void fill(RecordTableId table, int count);
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<RecordStore> m_store;
};

void TestRecordStore::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_store = std::make_unique<RecordStore>(m_dir->filePath(QStringLiteral("EventRecord.mdb")),
                                            m_dir->filePath(QStringLiteral("CloseAppRecord.mdb")));
    QVERIFY(m_store->open());
}

void TestRecordStore::cleanup()
{
    m_store.reset();
    m_dir.reset();
}

void TestRecordStore::fill(RecordTableId table, int count)
{
    for (const QString& text : numbered(1, count)) {
        if (table == RecordTableId::CloseApp)
            QVERIFY(m_store->addCloseApp(QStringLiteral("2024-01-01"), QStringLiteral("10:00:00"), text, {}));
        else
            QVERIFY(m_store->appendRecord(table, text));
    }
    QCOMPARE(m_store->recordCount(table), count);
}

void TestRecordStore::freshInstallCreatesFilesAndTables()
{
    QVERIFY(QFile::exists(m_dir->filePath(QStringLiteral("EventRecord.mdb"))));
    QVERIFY(QFile::exists(m_dir->filePath(QStringLiteral("CloseAppRecord.mdb"))));

    const QString events = m_store->connectionName(RecordTableId::Log);
    const QString closeApps = m_store->connectionName(RecordTableId::CloseApp);
    QCOMPARE(m_store->connectionName(RecordTableId::UpsEvent), events);
    QVERIFY(events != closeApps);
    QCOMPARE(pragmaColumn(events, QStringLiteral("PRAGMA table_info(record)"), 1),
             (QStringList{"Date", "Time", "Message"}));
    QCOMPARE(pragmaColumn(closeApps, QStringLiteral("PRAGMA table_info(CloseApp)"), 1),
             (QStringList{"Date", "Time", "AppName", "SaveAppFileName"}));

    QSignalSpy appended(m_store.get(), &RecordStore::recordAppended);
    QVERIFY(m_store->appendRecord(RecordTableId::Log, QStringLiteral("Program start")));
    QCOMPARE(column(m_store->rows(RecordTableId::Log), 2), QStringList{"Program start"});
    QCOMPARE(appended.size(), 1);
    QVERIFY(!m_store->appendRecord(RecordTableId::CloseApp, QStringLiteral("not an application")));
    QCOMPARE(m_store->recordCount(RecordTableId::CloseApp), 0);
}

void TestRecordStore::reopenKeepsRecordsInOrder()
{
    fill(RecordTableId::UpsEvent, 3);
    m_store->trimOnTick(RecordTableId::UpsEvent, 3);
    QVERIFY(m_store->appendRecord(RecordTableId::UpsEvent, QStringLiteral("m4")));

    const QString before = m_store->connectionName(RecordTableId::UpsEvent);
    m_store = std::make_unique<RecordStore>(m_dir->filePath(QStringLiteral("EventRecord.mdb")),
                                            m_dir->filePath(QStringLiteral("CloseAppRecord.mdb")));
    QVERIFY(m_store->connectionName(RecordTableId::UpsEvent) != before);
    QVERIFY(m_store->open());
    QCOMPARE(column(m_store->rows(RecordTableId::UpsEvent), 2), numbered(2, 4));
}

void TestRecordStore::missingDirectoryFailsToOpen()
{
    RecordStore store(m_dir->filePath(QStringLiteral("gone/EventRecord.mdb")),
                      m_dir->filePath(QStringLiteral("CloseAppRecord.mdb")));
    QVERIFY(!store.open());
    QVERIFY(!store.appendRecord(RecordTableId::Log, QStringLiteral("Program start")));
    QCOMPARE(store.recordCount(RecordTableId::Log), -1);
    store.trimToLimit(RecordTableId::Log, [] { return 10.0; }); // must not loop
    QVERIFY(store.addCloseApp(QStringLiteral("2024-01-01"), {}, {}, {}));
}

enum class Damage
{
    Truncated,
    NotSqlite,
    WrongColumns,
    CorruptPage
};

void TestRecordStore::damagedFileIsKeptAsideAndReplaced_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<Damage>("damage");
    QTest::addColumn<QString>("keptAs"); // a copy of this name is already there
    const QString events = QStringLiteral("EventRecord.mdb");
    const QString closeApps = QStringLiteral("CloseAppRecord.mdb");
    const QString aside = QStringLiteral(".damaged-20240501-071500");
    QTest::newRow("truncated") << events << Damage::Truncated << events + aside;
    QTest::newRow("an Access file") << events << Damage::NotSqlite << events + aside;
    QTest::newRow("wrong columns") << events << Damage::WrongColumns << events + aside;
    QTest::newRow("corrupt page") << events << Damage::CorruptPage << events + aside;
    QTest::newRow("CloseApp file, earlier copy kept")
        << closeApps << Damage::NotSqlite << closeApps + aside + u"-2";
}

void TestRecordStore::damagedFileIsKeptAsideAndReplaced()
{
    QFETCH(QString, file);
    QFETCH(Damage, damage);
    QFETCH(QString, keptAs);
    const QString path = m_dir->filePath(file);
    const auto table = file.startsWith(u"Event") ? RecordTableId::Log : RecordTableId::CloseApp;
    const QString connection = m_store->connectionName(table);
    QSqlQuery query(QSqlDatabase::database(connection));
    // Several pages, in one commit.
    QVERIFY(query.exec(
        u"WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 400) INSERT INTO " +
        RecordStore::tableName(table) + u" (Date, Time) SELECT '2024-01-01', printf('%08d', i) FROM n"));
    if (damage == Damage::WrongColumns) {
        QVERIFY(query.exec(u"DROP TABLE " + RecordStore::tableName(table)));
        QVERIFY(query.exec(u"CREATE TABLE " + RecordStore::tableName(table) + u" (Date TEXT, Message TEXT)"));
    }
    query.finish();
    m_store->close(); // the last connection moves the log into the file
    QByteArray bytes = testsupport::readFile(path);
    QVERIFY(bytes.size() > 4 * 4096);
    if (damage == Damage::Truncated)
        bytes.truncate(bytes.size() / 2);
    else if (damage == Damage::NotSqlite)
        bytes = QByteArray("\x00\x01\x00\x00Standard Jet DB", 19) + QByteArray(4096, '\x5a');
    else if (damage == Damage::CorruptPage)
        bytes.replace(3 * 4096, 100, QByteArray(100, '\xff')); // the header of the fourth page
    testsupport::writeFile(path, bytes);
    if (keptAs.endsWith(u"-2"))
        testsupport::writeFile(m_dir->filePath(keptAs.chopped(2)), "earlier");

    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("is damaged .* kept as")));
    m_store->setClock([] { return QDateTime(QDate(2024, 5, 1), QTime(7, 15)); });
    QVERIFY(m_store->open());

    QCOMPARE(testsupport::readFile(m_dir->filePath(keptAs)), bytes);
    QCOMPARE(m_store->recordCount(table), table == RecordTableId::Log ? 1 : 0);
    const QStringList log = column(m_store->rows(RecordTableId::Log), 2);
    QCOMPARE(log.size(), 1);
    QVERIFY2(log[0].contains(file + u" was damaged") && log[0].endsWith(u"kept as " + keptAs),
             qPrintable(log[0]));
    fill(RecordTableId::UpsEvent, 2);
    QVERIFY(m_store->addCloseApp({}, {}, QStringLiteral("Editor"), {}));
    for (const QString& name : {connection, m_store->connectionName(RecordTableId::CloseApp)})
        QCOMPARE(pragmaColumn(name, QStringLiteral("PRAGMA integrity_check"), 0), QStringList{"ok"});
}

void TestRecordStore::appendStoresSortableDateAndTime()
{
    m_store->setClock([] { return QDateTime(QDate(2024, 3, 5), QTime(17, 8, 9)); });
    QVERIFY(m_store->appendRecord(RecordTableId::UpsEvent, QStringLiteral("Attention!! UPS Battery Low")));
    QCOMPARE(m_store->rows(RecordTableId::UpsEvent),
             (QList<QStringList>{{"2024-03-05", "17:08:09", "Attention!! UPS Battery Low"}}));
    QCOMPARE(m_store->recordCount(RecordTableId::Log), 0);
}

void TestRecordStore::trimToLimit_data()
{
    QTest::addColumn<int>("table");
    QTest::addColumn<int>("count");
    QTest::addColumn<double>("limit");
    QTest::addColumn<QStringList>("left");

    const int log = int(RecordTableId::Log);
    QTest::newRow("25 down to 10") << log << 25 << 10.0 << numbered(16, 25);
    QTest::newRow("at the limit") << log << 10 << 10.0 << numbered(1, 10);
    QTest::newRow("fractional limit") << log << 12 << 10.5 << numbered(3, 12);
    QTest::newRow("CloseApp in appending order")
        << int(RecordTableId::CloseApp) << 12 << 10.0 << numbered(3, 12);
}

void TestRecordStore::trimToLimit()
{
    QFETCH(int, table);
    QFETCH(int, count);
    QFETCH(double, limit);
    QFETCH(QStringList, left);

    const auto id = RecordTableId(table);
    fill(id, count);
    m_store->trimToLimit(id, [limit] { return limit; });
    QCOMPARE(column(m_store->rows(id), 2), left);
}

void TestRecordStore::trimToLimitRereadsTheLimit()
{
    fill(RecordTableId::Log, 25);
    int reads = 0;
    // A limit lowered while the cut runs is honoured at the next comparison.
    m_store->trimToLimit(RecordTableId::Log, [&reads] { return ++reads == 1 ? 20.0 : 10.0; });
    QCOMPARE(m_store->recordCount(RecordTableId::Log), 10);
    QCOMPARE(reads, 16);
}

void TestRecordStore::tickTrimOfAllTables_data()
{
    QTest::addColumn<QList<int>>("counts"); // record, UpsEvent, CloseApp
    QTest::addColumn<QList<double>>("limits");
    QTest::addColumn<QList<int>>("left");

    QTest::newRow("all at their limits")
        << QList<int>{10, 10, 10} << QList<double>{10, 10, 10} << QList<int>{9, 9, 9};
    QTest::newRow("one record per table at most")
        << QList<int>{12, 15, 11} << QList<double>{10, 10, 10} << QList<int>{11, 14, 10};
    QTest::newRow("limits of their own")
        << QList<int>{10, 20, 30} << QList<double>{10, 25, 29.5} << QList<int>{9, 20, 29};
}

void TestRecordStore::tickTrimOfAllTables()
{
    QFETCH(QList<int>, counts);
    QFETCH(QList<double>, limits);
    QFETCH(QList<int>, left);
    const QList<RecordTableId> tables{RecordTableId::Log, RecordTableId::UpsEvent, RecordTableId::CloseApp};
    for (int i = 0; i < 3; ++i)
        fill(tables[i], counts[i]);
    QSignalSpy changed(m_store.get(), &RecordStore::tableChanged);

    m_store->trimOnTick(TickLimits{limits[0], limits[1], limits[2]});
    int trimmed = 0;
    for (int i = 0; i < 3; ++i) {
        // The first (oldest) records go.
        QCOMPARE(column(m_store->rows(tables[i]), 2), numbered(counts[i] - left[i] + 1, counts[i]));
        trimmed += left[i] < counts[i] ? 1 : 0;
    }
    QCOMPARE(changed.size(), trimmed);
}

void TestRecordStore::closeAppFollowsDateOrderOnceSorted()
{
    const QList<QStringList> added{{"2024-05-02", "08:00:00", "Editor", "notes.txt"},
                                   {"2023-11-30", "09:00:00", "Mail", ""},
                                   {"2024-05-02", "07:00:00", "Sheets", "budget.ods"},
                                   {"2024-01-15", "10:00:00", "Browser", ""}};
    for (const QStringList& row : added)
        QVERIFY(m_store->addCloseApp(row[0], row[1], row[2], row[3]));
    QCOMPARE(m_store->rows(RecordTableId::CloseApp), added);

    QSignalSpy changed(m_store.get(), &RecordStore::tableChanged);
    m_store->useSortedCloseAppView();
    QVERIFY(m_store->closeAppViewSorted());
    QCOMPARE(changed.size(), 1);
    QCOMPARE(column(m_store->rows(RecordTableId::CloseApp), 2),
             (QStringList{"Mail", "Browser", "Editor", "Sheets"}));

    m_store->trimToLimit(RecordTableId::CloseApp, [] { return 2.0; });
    QCOMPARE(column(m_store->rows(RecordTableId::CloseApp), 2), (QStringList{"Editor", "Sheets"}));
    m_store->trimOnTick(RecordTableId::CloseApp, 2);
    QCOMPARE(column(m_store->rows(RecordTableId::CloseApp), 2), QStringList{"Sheets"});
}

void TestRecordStore::clearLeavesTheOtherTablesAlone_data()
{
    QTest::addColumn<int>("cleared");
    QTest::newRow("record") << int(RecordTableId::Log);
    QTest::newRow("UpsEvent") << int(RecordTableId::UpsEvent);
    QTest::newRow("CloseApp") << int(RecordTableId::CloseApp);
}

void TestRecordStore::clearLeavesTheOtherTablesAlone()
{
    QFETCH(int, cleared);

    const QList<RecordTableId> tables{RecordTableId::Log, RecordTableId::UpsEvent, RecordTableId::CloseApp};
    for (RecordTableId table : tables)
        fill(table, 3);
    QSignalSpy clearedSpy(m_store.get(), &RecordStore::tableCleared);
    m_store->clearTable(RecordTableId(cleared));
    QCOMPARE(clearedSpy.size(), 1);
    for (RecordTableId table : tables)
        QCOMPARE(m_store->recordCount(table), int(table) == cleared ? 0 : 3);

    QVERIFY(m_store->appendRecord(RecordTableId::Log, QStringLiteral("after")));
    QCOMPARE(column(m_store->rows(RecordTableId::Log), 2).constLast(), QStringLiteral("after"));
}

QTEST_GUILESS_MAIN(TestRecordStore)
#include "tst_recordstore.moc"
