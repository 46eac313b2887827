#pragma once

#include <QSqlDatabase>
#include <QString>
#include <QStringList>

namespace brevant {

// One SQLite file opened for records that must survive a crash or power cut right after their
// commit, and brought up to the current schema version.
class DurableSqlite
{
public:
    // The statements that take a file from schema version `version - 1` to `version`.
    struct SchemaStep
    {
        int version;
        QStringList statements;
    };

    // Opens `file` (creating it when missing) under `connectionName`, switches it to a write-ahead
    // log with full sync and runs the steps above the file's PRAGMA user_version.
    static bool open(const QString& connectionName, const QString& file, const QList<SchemaStep>& schema);
    static void close(const QString& connectionName);

    static QSqlDatabase database(const QString& connectionName);
};

} // namespace brevant
