// The record tables in real SQLite files: order, trims, the sorted closed-applications view, clears,
// damaged files kept aside and replaced, the save-list import (all entries or none, never twice,
// even when the importing process is killed at an exact write), and every change on disk when the
// call that made it returns. A killed process cannot show the last (its writes stay in the page
// cache), so the sync shim watches the files: the call must sync the database and leave no byte
// of it unsynced; a database switched to fewer syncs (synchronous=NORMAL or OFF) fails here. The
// shim (preloaded by the test's environment, and so into its children) also does the exact kills.
#include "TestFiles.h"
#include "config/Settings.h"
#include "records/RecordStore.h"
#include "shutdown/SaveListController.h"

#include <QCoreApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <dlfcn.h>
#include <functional>
#include <sys/stat.h>

using namespace brevant;
using namespace Qt::StringLiterals;

namespace {

const QList<RecordTableId> Tables{RecordTableId::Log, RecordTableId::UpsEvent, RecordTableId::CloseApp};

QStringList numbered(int from, int to)
{
    QStringList texts;
    for (int i = from; i <= to; ++i)
        texts.append(QStringLiteral("m%1").arg(i));
    return texts;
}

// The sync shim's counters, found in this process when the shim is preloaded.
using Counter = long (*)(const char*);
const auto resetShim = reinterpret_cast<void (*)()>(dlsym(RTLD_DEFAULT, "brevant_syncshim_reset"));
const auto syncs = reinterpret_cast<Counter>(dlsym(RTLD_DEFAULT, "brevant_syncshim_syncs"));
const auto unsynced = reinterpret_cast<Counter>(dlsym(RTLD_DEFAULT, "brevant_syncshim_unsynced"));

// Over the database file and the journal or log that commits go through first.
long total(Counter counter, const QString& databaseFile)
{
    long sum = 0;
    for (const char* suffix : {"", "-wal", "-journal"})
        sum += counter(QFile::encodeName(databaseFile + QLatin1String(suffix)).constData());
    return sum;
}

using Change = std::function<void(RecordStore&)>;

// Counts the warnings and infos of one logging category while it lives, and passes every message on.
class MessageCounter
{
public:
    explicit MessageCounter(QString category)
        : m_category(std::move(category))
    {
        s_current = this;
        m_previous = qInstallMessageHandler(
            [](QtMsgType type, const QMessageLogContext& context, const QString& text) {
                if (QLatin1StringView(context.category) == s_current->m_category) {
                    s_current->m_infos += type == QtInfoMsg;
                    s_current->m_warnings += type == QtWarningMsg;
                }
                s_current->m_previous(type, context, text);
            });
    }
    ~MessageCounter()
    {
        qInstallMessageHandler(m_previous);
        s_current = nullptr;
    }
    int warnings() const { return m_warnings; }
    int infos() const { return m_infos; }

private:
    static inline MessageCounter* s_current = nullptr;
    QString m_category;
    QtMessageHandler m_previous = nullptr;
    int m_warnings = 0;
    int m_infos = 0;
};

constexpr int Entries = 8000;

// A list as close.exe writes it, entries named "<tag><i>".
QByteArray closeAppList(int entries, const QByteArray& tag)
{
    QByteArray sections[4] = {"[CloseApp]\nCount=" + QByteArray::number(entries) + '\n', "[Date]\n",
                              "[Time]\n", "[SaveAppFileName]\n"};
    for (int i = 1; i <= entries; ++i) {
        const QByteArray key = QByteArray::number(i) + '=';
        sections[0] += key + tag + QByteArray::number(i) + '\n';
        sections[1] += key + "2026-12-01\n";
        sections[2] += key + "10:00:00\n";
        sections[3] += key + "/home/user/" + tag + QByteArray::number(i) + ".odt\n";
    }
    return sections[0] + sections[1] + sections[2] + sections[3];
}

// The import child: one start's import in the given directory.
int runImportChild(const QString& dir)
{
    Settings settings(dir + u"/UpsConfigure.ini");
    RecordStore records(dir + u"/EventRecord.mdb", dir + u"/CloseAppRecord.mdb");
    if (!records.open().ok())
        return 3;
    SaveListController(settings, records, dir + u"/CloseApp.ini").ImportClosedApps();
    return 0;
}

} // namespace

Q_DECLARE_METATYPE(Change)

class TestRecordStore : public QObject
{
    Q_OBJECT

    QString file(const char* name) const { return m_dir->filePath(QLatin1String(name)); }
    // Appends m1 .. m<count>.
    void fill(RecordTableId table, int count)
    {
        for (const QString& text : numbered(1, count)) {
            if (table == RecordTableId::CloseApp)
                QVERIFY(
                    m_store->addCloseApp(QStringLiteral("2024-01-01"), QStringLiteral("10:00:00"), text, {})
                        .ok());
            else
                m_store->appendRecord(table, text);
        }
    }
    static QStringList texts(const RecordStore& store, RecordTableId table)
    {
        QStringList values;
        for (const QStringList& row : store.rows(table))
            values.append(row.value(2));
        return values;
    }
    QStringList texts(RecordTableId table) const { return texts(*m_store, table); }

    // A save list flagged for import, as close.exe leaves it.
    void prepareList(const QByteArray& list)
    {
        testsupport::writeFile(file("CloseApp.ini"), list);
        QVERIFY(m_settings->write(key::CloseAppFlag, QStringLiteral("1")).ok());
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<RecordStore> m_store;
    std::unique_ptr<Settings> m_settings;

private slots:
    void init()
    {
        m_store.reset();
        m_dir = std::make_unique<QTemporaryDir>();
        m_settings = std::make_unique<Settings>(file("UpsConfigure.ini"));
        m_store = std::make_unique<RecordStore>(file("EventRecord.mdb"), file("CloseAppRecord.mdb"));
        QVERIFY(m_store->open().ok());
    }

    // First: the sync shim follows the first 256 files the process writes.
    void changeIsOnDiskWhenTheCallReturns_data()
    {
        QTest::addColumn<Change>("change");
        QTest::addColumn<QString>("changed"); // the file synced at least once; empty: each exactly `syncs`
        QTest::addColumn<int>("syncs");
        const auto row = [](const char* name, const char* changed, int syncs, const Change& change) {
            QTest::newRow(name) << change << changed << syncs;
        };
        using T = RecordTableId;
        row("append to record", "EventRecord.mdb", 0, [](RecordStore& s) { s.appendRecord(T::Log, u"m"_s); });
        row("clear CloseApp", "CloseAppRecord.mdb", 0, [](RecordStore& s) { s.clearTable(T::CloseApp); });
        // The end-of-tick trim is one durable transaction per database file: record and UpsEvent
        // share EventRecord.mdb, so a tick that trims all three tables syncs each file once.
        row("tick trim, each table at its limit", "", 1, [](RecordStore& s) { s.trimOnTick({12, 12, 12}); });
        row("tick trim, none at its limit", "", 0, [](RecordStore& s) { s.trimOnTick({13, 13, 13}); });
    }

    void changeIsOnDiskWhenTheCallReturns()
    {
        QFETCH(Change, change);
        QFETCH(QString, changed);
        QVERIFY2(resetShim && syncs && unsynced, "run with LD_PRELOAD=libsyncshim.so");
        for (RecordTableId table : Tables)
            fill(table, 12);
        resetShim();
        change(*m_store);
        for (const QString& database :
             {QStringLiteral("EventRecord.mdb"), QStringLiteral("CloseAppRecord.mdb")}) {
            const long synced = total(syncs, m_dir->filePath(database));
            if (changed.isEmpty())
                QTEST(int(synced), "syncs");
            else if (database == changed)
                QVERIFY2(synced >= 1, "the change was not synced");
            QCOMPARE(total(unsynced, m_dir->filePath(database)), 0);
        }
    }

    // A database that cannot be opened at start (disk full, a folder not there yet) is tried again
    // at most once a minute, by the next use; the failure and its end are logged once each, and
    // the program log tells how many records were lost meanwhile.
    void unavailableDatabaseIsOpenedAgainLater_data()
    {
        QTest::addColumn<bool>("eventsGone"); // else the closed applications' file
        QTest::newRow("EventRecord.mdb") << true;
        QTest::newRow("CloseAppRecord.mdb") << false;
    }

    void unavailableDatabaseIsOpenedAgainLater()
    {
        QFETCH(bool, eventsGone);
        const QString events = file(eventsGone ? "gone/EventRecord.mdb" : "EventRecord2.mdb");
        const QString closeApps = file(eventsGone ? "CloseAppRecord2.mdb" : "gone/CloseAppRecord.mdb");
        QDateTime now(QDate(2026, 12, 7), QTime(1, 0));
        RecordStore store(events, closeApps);
        store.setClock([&now] { return now; });
        const MessageCounter messages(QStringLiteral("brevant.records"));

        QVERIFY(!store.open().ok());
        QVERIFY(!store.open().ok()); // the start asks again for the main window
        QCOMPARE(messages.warnings(), 1);
        const auto tick = [&store] {
            store.trimOnTick(TickLimits{1000, 1000, 1000});
            store.appendRecord(RecordTableId::UpsEvent, QStringLiteral("System AC Power Recovered"));
            static_cast<void>(
                store.addCloseApp(QStringLiteral("2026-12-07"), {}, QStringLiteral("Editor"), {}));
        };
        for (int ticks = 0; ticks < 20; ++ticks, now = now.addMSecs(2200))
            tick();
        QCOMPARE(messages.warnings(), 1); // not once per tick
        QVERIFY(QDir().mkpath(file("gone")));
        tick(); // 44 s after the failure: not yet tried again
        const RecordTableId unavailable = eventsGone ? RecordTableId::UpsEvent : RecordTableId::CloseApp;
        QVERIFY(!store.recordCount(unavailable).ok());

        now = now.addSecs(RecordStore::RetrySeconds);
        QSignalSpy changed(&store, &RecordStore::tableChanged);
        tick(); // opened again; this tick's records are written
        // The views show the file again.
        QVERIFY(std::any_of(changed.begin(), changed.end(), [unavailable](const QList<QVariant>& signal) {
            return signal.at(0).value<RecordTableId>() == unavailable;
        }));
        QCOMPARE(messages.infos(), 1);
        QCOMPARE(messages.warnings(), 2); // the count of the lost records
        const QStringList log = texts(store, RecordTableId::Log);
        QCOMPARE(log.value(0), QStringLiteral("21 records could not be written while the record "
                                              "databases were unavailable"));
        QCOMPARE(store.recordCount(RecordTableId::UpsEvent).valueOr(-1), eventsGone ? 1 : 22);
        QCOMPARE(store.recordCount(RecordTableId::CloseApp).valueOr(-1), eventsGone ? 22 : 1);
        tick();
        QCOMPARE(messages.warnings(), 2);
        QCOMPARE(messages.infos(), 1);
    }

    // Links planted in the data folder are not followed, even dangling ones (which SQLite would
    // create at the target); a new file is 0600 whatever the umask.
    void filesAreNeverFollowedOrOpenToOthers_data()
    {
        QTest::addColumn<QString>("link"); // in place of this file; empty: none
        QTest::newRow("no link") << "";
        QTest::newRow("EventRecord.mdb") << "EventRecord.mdb";
        QTest::newRow("CloseAppRecord.mdb") << "CloseAppRecord.mdb";
        QTest::newRow("EventRecord.mdb-wal") << "EventRecord.mdb-wal";
        QTest::newRow("CloseAppRecord.mdb-journal") << "CloseAppRecord.mdb-journal";
    }

    void filesAreNeverFollowedOrOpenToOthers()
    {
        QFETCH(QString, link);
        const QTemporaryDir dir;
        const QString target = dir.filePath(QStringLiteral("elsewhere"));
        if (!link.isEmpty())
            QVERIFY(QFile::link(target, dir.filePath(link)));
        const mode_t umaskBefore = ::umask(0);
        RecordStore store(dir.filePath(QStringLiteral("EventRecord.mdb")),
                          dir.filePath(QStringLiteral("CloseAppRecord.mdb")));
        if (!link.isEmpty())
            QTest::ignoreMessage(
                QtWarningMsg,
                QRegularExpression(link + u" is a symbolic link; record files are never followed"));
        const Status opened = store.open();
        ::umask(umaskBefore);
        QCOMPARE(opened.ok(), link.isEmpty());
        QVERIFY(!QFileInfo::exists(target));
        for (const char* name : {"EventRecord.mdb", "CloseAppRecord.mdb"}) {
            const QFileInfo info(dir.filePath(QLatin1String(name)));
            if (!link.isEmpty() && link.startsWith(QLatin1String(name)))
                continue; // refused, not created
            QVERIFY(info.exists());
            QCOMPARE(info.permissions() &
                         (QFile::ReadGroup | QFile::ReadOther | QFile::WriteGroup | QFile::WriteOther),
                     QFile::Permissions());
        }
    }

    void damagedFileIsKeptAsideAndReplaced_data()
    {
        QTest::addColumn<int>("table");
        QTest::addColumn<QString>("damage");
        QTest::addColumn<QString>("keptAs"); // a copy of this name is already there
        const QString aside = QStringLiteral(".damaged-20240501-071500");
        QTest::newRow("wrong columns") << int(RecordTableId::Log) << "columns"
                                       << "EventRecord.mdb" + aside;
        QTest::newRow("corrupt page") << int(RecordTableId::Log) << "page"
                                      << "EventRecord.mdb" + aside;
        QTest::newRow("an Access file, earlier copy kept") << int(RecordTableId::CloseApp) << "access"
                                                           << "CloseAppRecord.mdb" + aside + "-2";
    }

    void damagedFileIsKeptAsideAndReplaced()
    {
        QFETCH(int, table);
        QFETCH(QString, damage);
        QFETCH(QString, keptAs);
        const auto id = RecordTableId(table);
        const QString path = m_dir->filePath(keptAs.section(u'.', 0, 1));
        const QString name = RecordStore::tableName(id);
        QSqlQuery query(QSqlDatabase::database(m_store->connectionName(id)));
        // Several pages, in one commit.
        QVERIFY(query.exec(u"WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 400) "
                           u"INSERT INTO " +
                           name + u" (Date, Time) SELECT '2024-01-01', printf('%08d', i) FROM n"));
        if (damage == u"columns")
            QVERIFY(query.exec(u"DROP TABLE " + name) &&
                    query.exec(u"CREATE TABLE " + name + u" (Date TEXT, Message TEXT)"));
        query.finish();
        m_store->close(); // the last connection moves the log into the file
        QByteArray bytes = testsupport::readFile(path);
        QVERIFY(bytes.size() > 4 * 4096);
        if (damage == u"access")
            bytes = QByteArray("\x00\x01\x00\x00Standard Jet DB", 19) + QByteArray(4096, '\x5a');
        else if (damage == u"page")
            bytes.replace(3 * 4096, 100, QByteArray(100, '\xff')); // the header of the fourth page
        testsupport::writeFile(path, bytes);
        if (keptAs.endsWith(u"-2"))
            testsupport::writeFile(m_dir->filePath(keptAs.chopped(2)), "earlier");

        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("is damaged .* kept as")));
        m_store->setClock([] { return QDateTime(QDate(2024, 5, 1), QTime(7, 15)); });
        QVERIFY(m_store->open().ok());
        QCOMPARE(testsupport::readFile(m_dir->filePath(keptAs)), bytes);
        const QStringList log = texts(RecordTableId::Log);
        QCOMPARE(log.size(), 1);
        QVERIFY2(log[0].contains(QFileInfo(path).fileName() + u" was damaged") &&
                     log[0].endsWith(u"kept as " + keptAs),
                 qPrintable(log[0]));
        fill(RecordTableId::UpsEvent, 2);
        fill(RecordTableId::CloseApp, 2);
        for (RecordTableId t : {RecordTableId::Log, RecordTableId::CloseApp}) {
            QSqlQuery check(QStringLiteral("PRAGMA integrity_check"),
                            QSqlDatabase::database(m_store->connectionName(t)));
            QVERIFY(check.next() && check.value(0).toString() == u"ok");
        }
    }

    // A tick trims the oldest record of each table at or above its own limit, one at most.
    void tickTrimOfAllTables()
    {
        fill(RecordTableId::Log, 10);
        fill(RecordTableId::UpsEvent, 20);
        fill(RecordTableId::CloseApp, 33);
        QSignalSpy changed(m_store.get(), &RecordStore::tableChanged);
        m_store->trimOnTick(TickLimits{10, 25, 29.5});
        QCOMPARE(QList<QStringList>({texts(Tables[0]), texts(Tables[1]), texts(Tables[2])}),
                 QList<QStringList>({numbered(2, 10), numbered(1, 20), numbered(2, 33)}));
        QCOMPARE(changed.size(), 2);
    }

    // Once sorted, the closed applications are shown and trimmed in date order.
    void closeAppFollowsDateOrderOnceSorted()
    {
        for (const QStringList& row : QList<QStringList>{{"2024-05-02", "08:00:00", "Editor"},
                                                         {"2023-11-30", "09:00:00", "Mail"},
                                                         {"2024-05-02", "07:00:00", "Sheets"},
                                                         {"2024-01-15", "10:00:00", "Browser"}})
            QVERIFY(m_store->addCloseApp(row[0], row[1], row[2], {}).ok());
        QCOMPARE(texts(RecordTableId::CloseApp), QStringList({"Editor", "Mail", "Sheets", "Browser"}));
        m_store->useSortedCloseAppView();
        QCOMPARE(texts(RecordTableId::CloseApp), QStringList({"Mail", "Browser", "Editor", "Sheets"}));
        m_store->trimToLimit(RecordTableId::CloseApp, [] { return 2.0; });
        QCOMPARE(texts(RecordTableId::CloseApp), QStringList({"Editor", "Sheets"}));
        m_store->trimOnTick(RecordTableId::CloseApp, 2);
        QCOMPARE(texts(RecordTableId::CloseApp), QStringList{"Sheets"});
    }

    void clearLeavesTheOtherTablesAlone()
    {
        for (RecordTableId cleared : Tables) {
            init();
            for (RecordTableId table : Tables)
                fill(table, 2);
            m_store->clearTable(cleared);
            for (RecordTableId table : Tables)
                QCOMPARE(m_store->recordCount(table).valueOr(-1), table == cleared ? 0 : 2);
        }
    }

    // The same list flagged again adds nothing; a new list adds its entries.
    void importsOnceEach()
    {
        for (const QByteArray& list : {closeAppList(2, "a"), closeAppList(2, "a"), closeAppList(1, "b")}) {
            prepareList(list);
            SaveListController(*m_settings, *m_store, file("CloseApp.ini")).ImportClosedApps();
            QCOMPARE(m_settings->read(key::CloseAppFlag), QStringLiteral("0"));
        }
        QCOMPARE(texts(RecordTableId::CloseApp), QStringList({"a1", "a2", "b1"}));
    }

    // A start killed in the import leaves no rows and the flag set, or all rows and the flag set;
    // the next start then imports what is missing, never an entry twice.
    void killedImportNeverImportsTwice_data()
    {
        QTest::addColumn<QString>("killAt");
        QTest::addColumn<int>("rowsAfterKill");
        QTest::newRow("in the middle of the commit") << "CloseAppRecord.mdb-wal:write:100" << 0;
        // The new settings file is written beside the old one before it replaces it.
        QTest::newRow("after the commit, writing the flag") << "UpsConfigure.ini.:write:1" << Entries;
    }

    void killedImportNeverImportsTwice()
    {
        QFETCH(QString, killAt);
        QFETCH(int, rowsAfterKill);
        prepareList(closeAppList(Entries, "app"));
        m_store->close();

        for (const QString& kill : {killAt, QString()}) {
            QProcess child;
            child.setEnvironment(QProcess::systemEnvironment() << "BREVANT_SYNCSHIM_KILL_AT=" + kill);
            child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
            child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--import"), m_dir->path()});
            QVERIFY(child.waitForFinished(60000));
            QCOMPARE(child.exitStatus(), kill.isEmpty() ? QProcess::NormalExit : QProcess::CrashExit);
            QCOMPARE(m_settings->read(key::CloseAppFlag), QLatin1String(kill.isEmpty() ? "0" : "1"));
            QVERIFY(m_store->open().ok());
            QCOMPARE(m_store->recordCount(RecordTableId::CloseApp).valueOr(-1),
                     kill.isEmpty() ? Entries : rowsAfterKill);
            m_store->close();
        }
        QVERIFY(m_store->open().ok());
        const QStringList names = texts(RecordTableId::CloseApp);
        QCOMPARE(QSet<QString>(names.begin(), names.end()).size(), Entries);
    }
};

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc == 3 && qstrcmp(argv[1], "--import") == 0)
        return runImportChild(QString::fromLocal8Bit(argv[2]));
    TestRecordStore test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_recordstore.moc"
