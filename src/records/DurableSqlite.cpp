#include "records/DurableSqlite.h"

#include "base/Logging.h"

#include <QFile>
#include <QSqlError>
#include <QSqlQuery>

namespace brevant {

namespace {

bool exec(QSqlQuery& query, const QString& sql)
{
    if (query.exec(sql))
        return true;
    qCWarning(lcRecords) << sql << "failed:" << query.lastError().text();
    return false;
}

QVariant pragma(QSqlDatabase& db, const QString& statement)
{
    QSqlQuery query(db);
    if (!exec(query, statement) || !query.next())
        return {};
    return query.value(0);
}

// WAL with synchronous=FULL syncs the log at every commit: a committed row is on disk before the
// insert returns, even if the machine goes down the next moment.
bool makeDurable(QSqlDatabase& db)
{
    if (pragma(db, QStringLiteral("PRAGMA journal_mode=WAL"))
            .toString()
            .compare(u"wal", Qt::CaseInsensitive) != 0)
        return false;
    QSqlQuery query(db);
    return exec(query, QStringLiteral("PRAGMA synchronous=FULL"));
}

bool upgrade(QSqlDatabase& db, const QList<DurableSqlite::SchemaStep>& schema)
{
    const int current = pragma(db, QStringLiteral("PRAGMA user_version")).toInt();
    for (const DurableSqlite::SchemaStep& step : schema) {
        if (step.version <= current)
            continue;
        if (!db.transaction())
            return false;
        QSqlQuery query(db);
        bool ok = true;
        for (const QString& statement : step.statements)
            ok = ok && exec(query, statement);
        ok = ok && exec(query, QStringLiteral("PRAGMA user_version=%1").arg(step.version));
        if (!ok) {
            db.rollback();
            return false;
        }
        if (!db.commit())
            return false;
    }
    return true;
}

// A file that is there but is no SQLite database, such as the Access file of an older
// installation under the same name.
bool isForeignFile(QSqlDatabase& db)
{
    QSqlQuery query(db);
    constexpr int SqliteNotADatabase = 26;
    return !query.exec(QStringLiteral("PRAGMA schema_version")) &&
           query.lastError().nativeErrorCode().toInt() == SqliteNotADatabase;
}

// Keeps the foreign file beside the new database under a name of its own.
bool moveAside(const QString& file)
{
    QString aside = file + u".old";
    for (int n = 2; QFile::exists(aside); ++n)
        aside = file + u".old" + QString::number(n);
    qCWarning(lcRecords) << file << "is no SQLite database; kept as" << aside;
    return QFile::rename(file, aside);
}

} // namespace

bool DurableSqlite::open(const QString& connectionName, const QString& file, const QList<SchemaStep>& schema)
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connectionName);
    db.setDatabaseName(file);
    // Another view or process (the save-list import) may hold the write lock for a moment.
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
    if (!db.open()) {
        qCWarning(lcRecords) << "cannot open" << file << db.lastError().text();
        return false;
    }
    if (isForeignFile(db)) {
        db.close();
        if (!moveAside(file) || !db.open())
            return false;
    }
    return makeDurable(db) && upgrade(db, schema);
}

void DurableSqlite::close(const QString& connectionName)
{
    {
        QSqlDatabase db = QSqlDatabase::database(connectionName, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(connectionName);
}

QSqlDatabase DurableSqlite::database(const QString& connectionName)
{
    return QSqlDatabase::database(connectionName, false);
}

} // namespace brevant
