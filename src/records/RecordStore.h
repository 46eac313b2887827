#pragma once

#include "base/Result.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

namespace brevant {

enum class RecordTableId
{
    Log,
    UpsEvent,
    CloseApp
};

// The limits of the three tables, read once for the end of a poll tick.
struct TickLimits
{
    double log = 0;      // [OSEvent] Logcount, for record
    double upsEvent = 0; // [OSEvent] Eventcount, for UpsEvent
    double closeApp = 0; // [OSEvent] Closecount, for CloseApp
};

// One entry of CloseApp.ini, as the import takes it over.
struct CloseAppRow
{
    QString date;
    QString time;
    QString appName;
    QString saveAppFileName;
};

// The three record tables in their two SQLite files: `record` and `UpsEvent` (Date, Time, Message)
// in EventRecord.mdb, `CloseApp` (Date, Time, AppName, SaveAppFileName) in CloseAppRecord.mdb.
// Files and tables are created on first use; PRAGMA user_version holds the schema version. A
// committed record survives a crash or power cut that follows at once (write-ahead log, full
// sync). A damaged file is kept aside as "<file>.damaged-<time>" and replaced at open, and the
// program log says so. Dates are stored as ISO 8601 text, times as 24-hour hh:mm:ss, so both sort as text.
//
// The "first record" of a table is the oldest appended one; for CloseApp, once the sorted view is
// in use, the first in Date order.
class RecordStore : public QObject
{
    Q_OBJECT

public:
    using Clock = std::function<QDateTime()>;
    using LimitReader = std::function<double()>;

    static const QString CloseAppViewQuery; // "select * from closeapp order by Date  "

    // Between two attempts to open a database file that could not be opened.
    static constexpr int RetrySeconds = 60;

    RecordStore(QString eventDatabaseFile, QString closeAppDatabaseFile, QObject* parent = nullptr);
    ~RecordStore() override;

    // The clock of the record dates and of the attempts to open again.
    void setClock(Clock clock);

    // Opens (and on a fresh install creates) both databases, replacing a damaged one; a file is
    // created with mode 0600, and a symbolic link in place of a file (or of its -wal, -shm or
    // -journal) is refused. A file that cannot be opened (disk full, no access) is tried again by
    // the next use after RetrySeconds, and so on until it opens; meanwhile the tables of the other
    // file stay usable. The failure is logged once, and its end once; the records lost in between
    // are counted and told in the program log when both files are open again.
    Status open();
    void close();

    // Appends (date now, time now, text) to `record` or `UpsEvent`. A record that cannot be
    // written is logged, or counted while its file is unavailable (see open()).
    void appendRecord(RecordTableId table, const QString& text);
    // Adds one closed-application row with the four texts as given.
    Status addCloseApp(const QString& date, const QString& time, const QString& appName,
                       const QString& saveAppFileName);

    // Adds the entries of one CloseApp.ini in one transaction, with the list's fingerprint (any
    // text that identifies its contents). A list whose fingerprint is that of the last import is
    // skipped: a crash after the import but before [Schema] CloseAppFlag was reset must not
    // import it twice. Returns the number of rows added.
    Result<int> importCloseApps(const QByteArray& fingerprint, const QList<CloseAppRow>& rows);

    Result<int> recordCount(RecordTableId table) const;
    // Page opening: while the count is greater than the limit (read again before every comparison),
    // delete the first record.
    void trimToLimit(RecordTableId table, const LimitReader& limit);
    // End of a poll tick: delete the first record once if the count is at least the limit.
    void trimOnTick(RecordTableId table, double limit);
    // The same for all three tables at once, in one transaction per database file: a tick that
    // trims every table costs two syncs (record and UpsEvent share a file), not three.
    void trimOnTick(const TickLimits& limits);
    void clearTable(RecordTableId table);

    // From now on CloseApp is viewed (and trimmed) in Date order, for good.
    void useSortedCloseAppView();
    bool closeAppViewSorted() const;

    // The query that shows a table in view order, for a model on connectionName(table).
    QString viewQuery(RecordTableId table) const;
    // The rows of a table in view order, columns by position.
    QList<QStringList> rows(RecordTableId table) const;

    QString connectionName(RecordTableId table) const;
    static QString tableName(RecordTableId table);

signals:
    // One per record, imported ones included.
    void recordAppended(brevant::RecordTableId table, const QString& text);
    void tableCleared(brevant::RecordTableId table);
    // Once per change of any size (an append, an import, a trim, a clear): what views follow.
    void tableChanged(brevant::RecordTableId table);

private:
    struct File;
    bool deleteFirst(RecordTableId table);
    // True when the table's file is open, after an attempt to open it again when one is due.
    bool reopenIfDue(RecordTableId table);
    Status openFile(File& file);

    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace brevant
