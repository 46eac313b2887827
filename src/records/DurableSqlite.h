#pragma once

#include "base/Result.h"

#include <QDateTime>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>

namespace brevant {

// One SQLite file opened for records that must survive a crash or power cut right after their
// commit, brought up to the current schema version, and checked: a damaged file is kept aside and
// replaced by a fresh one.
class DurableSqlite
{
public:
    // The statements that take a file from schema version `version - 1` to `version`.
    struct SchemaStep
    {
        int version;
        QStringList statements;
    };

    // A table the file must hold after the steps, with its columns in order.
    struct Table
    {
        QString name;
        QStringList columns;
    };

    struct Schema
    {
        QList<SchemaStep> steps;
        QList<Table> tables;
    };

    // What open() had to do about damage; empty for a sound file.
    struct Repair
    {
        QString damage; // what was wrong, in words
        QString keptAs; // where the damaged file now is
        bool happened() const { return !keptAs.isEmpty(); }
    };

    // The mode of a database file this class creates, whatever the umask.
    static constexpr unsigned FileMode = 0600;

    // Opens `file` (creating it when missing, FileMode) under `connectionName`, switches it to a write-ahead
    // log with full sync and runs the steps above the file's PRAGMA user_version. A file that is
    // no SQLite database, fails the quick check or lacks a table or column of `schema` is damaged:
    // it is renamed to "<file>.damaged-<yyyyMMdd-HHmmss>" (at `now`), together with its log, and a
    // fresh file takes its place. A file that cannot be read for another reason (locked, no
    // access) is left alone and the open fails, as does one that is a symbolic link (or whose
    // -wal, -shm or -journal is). The failure is returned, not logged.
    static Result<Repair> open(const QString& connectionName, const QString& file, const Schema& schema,
                               const QDateTime& now);
    static void close(const QString& connectionName);

    static QSqlDatabase database(const QString& connectionName);
};

} // namespace brevant
