#include "records/RecordStore.h"

#include "base/Logging.h"
#include "records/DurableSqlite.h"

#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <atomic>

namespace brevant {

namespace {

const QStringList EventColumns{QStringLiteral("Date"), QStringLiteral("Time"), QStringLiteral("Message")};

const DurableSqlite::Schema EventSchema{
    {{1,
      {QStringLiteral("CREATE TABLE IF NOT EXISTS record (Date TEXT, Time TEXT, Message TEXT)"),
       QStringLiteral("CREATE TABLE IF NOT EXISTS UpsEvent (Date TEXT, Time TEXT, Message TEXT)")}}},
    {{QStringLiteral("record"), EventColumns}, {QStringLiteral("UpsEvent"), EventColumns}},
};

const DurableSqlite::Schema CloseAppSchema{
    {{1,
      {QStringLiteral(
          "CREATE TABLE IF NOT EXISTS CloseApp (Date TEXT, Time TEXT, AppName TEXT, SaveAppFileName TEXT)")}},
     {2, {QStringLiteral("CREATE TABLE IF NOT EXISTS CloseAppImport (Fingerprint TEXT NOT NULL)")}}},
    {{QStringLiteral("CloseApp"),
      {QStringLiteral("Date"), QStringLiteral("Time"), QStringLiteral("AppName"),
       QStringLiteral("SaveAppFileName")}},
     {QStringLiteral("CloseAppImport"), {QStringLiteral("Fingerprint")}}},
};

QString uniqueConnectionPrefix()
{
    static std::atomic<int> next{0};
    return QStringLiteral("brevant.records.%1").arg(next++);
}

bool run(QSqlQuery& query)
{
    if (query.exec())
        return true;
    qCWarning(lcRecords) << query.lastQuery() << "failed:" << query.lastError().text();
    return false;
}

} // namespace

const QString RecordStore::CloseAppViewQuery = QStringLiteral("select * from closeapp order by Date  ");

struct RecordStore::File
{
    QString path;
    QString connection;
    const DurableSqlite::Schema& schema;
    bool open = false;
    QDateTime lastTry;
};

struct RecordStore::Private
{
    Private(const QString& prefix, QString eventFile, QString closeAppFile)
        : events{std::move(eventFile), prefix + u".events", EventSchema, false, {}}
        , closeApps{std::move(closeAppFile), prefix + u".closeapp", CloseAppSchema, false, {}}
    {}

    File events;
    File closeApps;
    Clock clock = [] { return QDateTime::currentDateTime(); };
    bool sorted = false;
    bool wanted = false; // between open() and close()
    int lost = 0;        // records not written while a file was unavailable
    QString failure;     // the last failure logged, until both files are open

    File& file(RecordTableId table) { return table == RecordTableId::CloseApp ? closeApps : events; }
    const File& file(RecordTableId table) const
    {
        return table == RecordTableId::CloseApp ? closeApps : events;
    }
    const QString& connection(RecordTableId table) const { return file(table).connection; }

    QSqlQuery query(RecordTableId table, const QString& sql, const QVariantList& values = {}) const
    {
        QSqlQuery query(DurableSqlite::database(connection(table)));
        query.prepare(sql);
        for (const QVariant& value : values)
            query.addBindValue(value);
        return query;
    }
};

RecordStore::RecordStore(QString eventDatabaseFile, QString closeAppDatabaseFile, QObject* parent)
    : QObject(parent)
    , d(std::make_unique<Private>(uniqueConnectionPrefix(), std::move(eventDatabaseFile),
                                  std::move(closeAppDatabaseFile)))
{}

RecordStore::~RecordStore()
{
    close();
}

void RecordStore::setClock(Clock clock)
{
    d->clock = std::move(clock);
}

Status RecordStore::openFile(File& file)
{
    file.lastTry = d->clock();
    const Result<DurableSqlite::Repair> opened =
        DurableSqlite::open(file.connection, file.path, file.schema, file.lastTry);
    if (!opened.ok()) {
        DurableSqlite::close(file.connection); // no half-open connection for the views to use
        return Status::failure(opened.error());
    }
    file.open = true;
    // Told in the program log, which is itself fresh when its own file was the damaged one.
    if (opened.value().happened())
        appendRecord(
            RecordTableId::Log,
            QStringLiteral("Record file %1 was damaged (%2) and replaced by an empty one; kept as %3")
                .arg(QFileInfo(file.path).fileName(), opened.value().damage,
                     QFileInfo(opened.value().keptAs).fileName()));
    return Status::success();
}

Status RecordStore::open()
{
    close();
    d->wanted = true;
    QStringList failures;
    for (File* file : {&d->events, &d->closeApps}) {
        if (const Status opened = openFile(*file); !opened.ok())
            failures.append(opened.error());
    }
    if (failures.isEmpty())
        return Status::success();
    // The start may ask twice (the save-list window, then the main window): one warning.
    if (const QString failure = failures.join(u"; "); std::exchange(d->failure, failure) != failure)
        qCWarning(lcRecords).noquote()
            << failure << QStringLiteral("- trying again every %1 s").arg(RetrySeconds);
    return Status::failure(d->failure);
}

void RecordStore::close()
{
    d->wanted = false;
    for (File* file : {&d->events, &d->closeApps}) {
        file->open = false;
        if (QSqlDatabase::contains(file->connection))
            DurableSqlite::close(file->connection);
    }
}

bool RecordStore::reopenIfDue(RecordTableId table)
{
    File& file = d->file(table);
    if (file.open)
        return true;
    if (!d->wanted)
        return false;
    // A clock set back counts as due, or the next attempt could be hours away.
    const qint64 since = file.lastTry.secsTo(d->clock());
    if (since >= 0 && since < RetrySeconds)
        return false;
    if (!openFile(file).ok())
        return false;
    // The views of this file's tables show what was there all along.
    for (RecordTableId shown : {RecordTableId::Log, RecordTableId::UpsEvent, RecordTableId::CloseApp}) {
        if (&d->file(shown) == &file)
            emit tableChanged(shown);
    }
    if (!d->events.open || !d->closeApps.open)
        return true;
    d->failure.clear();
    qCInfo(lcRecords) << "the record databases are open again";
    if (const int lost = std::exchange(d->lost, 0); lost > 0) {
        const QString text =
            QStringLiteral("%1 records could not be written while the record databases were unavailable")
                .arg(lost);
        qCWarning(lcRecords).noquote() << text;
        appendRecord(RecordTableId::Log, text);
    }
    return true;
}

void RecordStore::appendRecord(RecordTableId table, const QString& text)
{
    if (table == RecordTableId::CloseApp)
        return; // closed applications arrive through addCloseApp() with their own texts
    if (!reopenIfDue(table)) {
        if (d->wanted)
            ++d->lost; // told when the file is open again
        else
            qCWarning(lcRecords).noquote() << "record not written, the databases are closed:" << text;
        return;
    }
    const QDateTime now = d->clock();
    QSqlQuery insert = d->query(table, u"insert into " + tableName(table) + u" values (?, ?, ?)",
                                {now.date().toString(Qt::ISODate), now.time().toString(u"HH:mm:ss"), text});
    if (!run(insert))
        return;
    emit recordAppended(table, text);
    emit tableChanged(table);
}

Status RecordStore::addCloseApp(const QString& date, const QString& time, const QString& appName,
                                const QString& saveAppFileName)
{
    if (!reopenIfDue(RecordTableId::CloseApp)) {
        d->lost += d->wanted ? 1 : 0;
        return Status::failure(QStringLiteral("%1 is not open").arg(d->closeApps.path));
    }
    QSqlQuery insert =
        d->query(RecordTableId::CloseApp, QStringLiteral("insert into CloseApp values (?, ?, ?, ?)"),
                 {date, time, appName, saveAppFileName});
    if (!run(insert))
        return Status::failure(insert.lastError().text());
    emit recordAppended(RecordTableId::CloseApp, appName);
    emit tableChanged(RecordTableId::CloseApp);
    return Status::success();
}

Result<int> RecordStore::importCloseApps(const QByteArray& fingerprint, const QList<CloseAppRow>& rows)
{
    // The list stays in CloseApp.ini, flagged, for the next start.
    if (!reopenIfDue(RecordTableId::CloseApp))
        return Result<int>::failure(
            QStringLiteral("closed applications not imported: %1 is not open").arg(d->closeApps.path));
    QSqlDatabase db = DurableSqlite::database(d->closeApps.connection);
    const auto fail = [&db](const QString& reason) {
        db.rollback();
        qCWarning(lcRecords).noquote() << "closed applications not imported:" << reason;
        return Result<int>::failure(QStringLiteral("closed applications not imported: %1").arg(reason));
    };
    if (!db.transaction())
        return fail(db.lastError().text());
    QSqlQuery last =
        d->query(RecordTableId::CloseApp, QStringLiteral("select Fingerprint from CloseAppImport"));
    if (!run(last))
        return fail(last.lastError().text());
    if (last.next() && last.value(0).toByteArray() == fingerprint) {
        db.rollback();
        qCInfo(lcRecords) << "this list of closed applications was imported before; not again";
        return Result<int>::success(0);
    }
    QSqlQuery insert =
        d->query(RecordTableId::CloseApp, QStringLiteral("insert into CloseApp values (?, ?, ?, ?)"));
    for (const CloseAppRow& row : rows) {
        for (const QString* value : {&row.date, &row.time, &row.appName, &row.saveAppFileName})
            insert.addBindValue(*value);
        if (!run(insert))
            return fail(insert.lastError().text());
    }
    QSqlQuery remember = d->query(RecordTableId::CloseApp, QStringLiteral("delete from CloseAppImport"));
    if (!run(remember))
        return fail(remember.lastError().text());
    remember = d->query(RecordTableId::CloseApp, QStringLiteral("insert into CloseAppImport values (?)"),
                        {QString::fromLatin1(fingerprint)});
    if (!run(remember) || !db.commit())
        return fail(remember.lastError().text() + db.lastError().text());
    for (const CloseAppRow& row : rows)
        emit recordAppended(RecordTableId::CloseApp, row.appName);
    emit tableChanged(RecordTableId::CloseApp);
    return Result<int>::success(int(rows.size()));
}

Result<int> RecordStore::recordCount(RecordTableId table) const
{
    if (!d->file(table).open)
        return Result<int>::failure(QStringLiteral("%1 is not open").arg(d->file(table).path));
    QSqlQuery count = d->query(table, u"select count(*) from " + tableName(table));
    if (!run(count) || !count.next())
        return Result<int>::failure(count.lastError().text());
    return Result<int>::success(count.value(0).toInt());
}

bool RecordStore::deleteFirst(RecordTableId table)
{
    const QString name = tableName(table);
    // Ties in Date keep the order of appending, as in the sorted view.
    const QString first = table == RecordTableId::CloseApp && d->sorted
                              ? QString(u"(select rowid from " + name + u" order by Date, rowid limit 1)")
                              : QString(u"(select min(rowid) from " + name + u")");
    QSqlQuery remove = d->query(table, u"delete from " + name + u" where rowid = " + first);
    return run(remove) && remove.numRowsAffected() == 1;
}

void RecordStore::trimToLimit(RecordTableId table, const LimitReader& limit)
{
    if (!reopenIfDue(table))
        return;
    // One transaction, so that cutting a long table costs one sync rather than one per record.
    QSqlDatabase db = DurableSqlite::database(connectionName(table));
    const bool inTransaction = db.transaction();
    bool deleted = false;
    for (int count = recordCount(table).valueOr(-1); count >= 0 && count > limit(); --count) {
        if (!deleteFirst(table))
            break;
        deleted = true;
    }
    if (inTransaction && !db.commit())
        qCWarning(lcRecords) << "trim of" << tableName(table) << "not committed:" << db.lastError().text();
    if (deleted)
        emit tableChanged(table);
}

void RecordStore::trimOnTick(RecordTableId table, double limit)
{
    if (!reopenIfDue(table))
        return;
    const int count = recordCount(table).valueOr(-1);
    if (count >= 0 && count >= limit && deleteFirst(table))
        emit tableChanged(table);
}

void RecordStore::trimOnTick(const TickLimits& limits)
{
    const QList<QList<std::pair<RecordTableId, double>>> byFile{
        {{RecordTableId::Log, limits.log}, {RecordTableId::UpsEvent, limits.upsEvent}},
        {{RecordTableId::CloseApp, limits.closeApp}}};
    QList<RecordTableId> trimmed;
    for (const auto& tables : byFile) {
        if (!reopenIfDue(tables.front().first))
            continue;
        QSqlDatabase db = DurableSqlite::database(connectionName(tables.front().first));
        if (!db.transaction()) {
            qCWarning(lcRecords) << "tick trim not started:" << db.lastError().text();
            continue;
        }
        QList<RecordTableId> inThisFile;
        for (const auto& [table, limit] : tables) {
            const int count = recordCount(table).valueOr(-1);
            if (count >= 0 && count >= limit && deleteFirst(table))
                inThisFile.append(table);
        }
        // A transaction that only read commits without a sync.
        if (!db.commit()) {
            qCWarning(lcRecords) << "tick trim not committed:" << db.lastError().text();
            db.rollback();
            continue;
        }
        trimmed += inThisFile;
    }
    for (RecordTableId table : trimmed)
        emit tableChanged(table);
}

void RecordStore::clearTable(RecordTableId table)
{
    if (!reopenIfDue(table)) {
        qCWarning(lcRecords) << tableName(table) << "not cleared: its database is not open";
        return;
    }
    QSqlQuery clear = d->query(table, u"delete from " + tableName(table));
    if (!run(clear))
        return;
    emit tableCleared(table);
    emit tableChanged(table);
}

void RecordStore::useSortedCloseAppView()
{
    if (d->sorted)
        return;
    d->sorted = true;
    emit tableChanged(RecordTableId::CloseApp);
}

bool RecordStore::closeAppViewSorted() const
{
    return d->sorted;
}

QString RecordStore::viewQuery(RecordTableId table) const
{
    if (table == RecordTableId::CloseApp && d->sorted)
        return CloseAppViewQuery;
    return u"select * from " + tableName(table) + u" order by rowid";
}

QList<QStringList> RecordStore::rows(RecordTableId table) const
{
    QList<QStringList> result;
    if (!d->file(table).open)
        return result;
    QSqlQuery view = d->query(table, viewQuery(table));
    if (!run(view))
        return result;
    while (view.next()) {
        QStringList row;
        for (int column = 0; column < view.record().count(); ++column)
            row.append(view.value(column).toString());
        result.append(row);
    }
    return result;
}

QString RecordStore::connectionName(RecordTableId table) const
{
    return d->connection(table);
}

QString RecordStore::tableName(RecordTableId table)
{
    switch (table) {
    case RecordTableId::Log:
        return QStringLiteral("record");
    case RecordTableId::UpsEvent:
        return QStringLiteral("UpsEvent");
    case RecordTableId::CloseApp:
        return QStringLiteral("CloseApp");
    }
    return {};
}

} // namespace brevant
