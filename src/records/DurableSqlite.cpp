#include "records/DurableSqlite.h"

#include "base/Logging.h"

#include <QFile>
#include <QSqlError>
#include <QSqlQuery>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace brevant {

namespace {

constexpr int SqliteCorrupt = 11;
constexpr int SqliteNotADatabase = 26;

// What a look at an open file found: sound, damaged, or not to be judged (the reason says why).
struct Diagnosis
{
    enum Kind
    {
        Sound,
        Damaged,
        Unusable
    };
    Kind kind = Sound;
    QString reason;

    bool sound() const { return kind == Sound; }
};

Diagnosis fromError(const QSqlError& error)
{
    const int primaryCode = error.nativeErrorCode().toInt() & 0xff;
    const bool damaged = primaryCode == SqliteCorrupt || primaryCode == SqliteNotADatabase;
    return {damaged ? Diagnosis::Damaged : Diagnosis::Unusable, error.databaseText()};
}

// The first column of the rows of one statement; when it fails, `diagnosis` says what that means.
std::optional<QStringList> firstColumn(QSqlDatabase& db, const QString& sql, Diagnosis& diagnosis)
{
    QSqlQuery query(db);
    if (!query.exec(sql)) {
        diagnosis = fromError(query.lastError());
        return std::nullopt;
    }
    QStringList values;
    while (query.next())
        values.append(query.value(0).toString());
    return values;
}

// WAL with synchronous=FULL syncs the log at every commit: a committed row is on disk before the
// insert returns, even if the machine goes down the next moment.
Diagnosis makeDurable(QSqlDatabase& db)
{
    Diagnosis diagnosis;
    const auto mode = firstColumn(db, QStringLiteral("PRAGMA journal_mode=WAL"), diagnosis);
    if (mode && mode->value(0).compare(u"wal", Qt::CaseInsensitive) != 0)
        return {Diagnosis::Unusable, QStringLiteral("no write-ahead log")};
    if (mode)
        firstColumn(db, QStringLiteral("PRAGMA synchronous=FULL"), diagnosis);
    return diagnosis;
}

Diagnosis upgrade(QSqlDatabase& db, const QList<DurableSqlite::SchemaStep>& steps)
{
    Diagnosis diagnosis;
    const auto version = firstColumn(db, QStringLiteral("PRAGMA user_version"), diagnosis);
    if (!version)
        return diagnosis;
    for (const DurableSqlite::SchemaStep& step : steps) {
        if (step.version <= version->value(0).toInt())
            continue;
        if (!db.transaction())
            return fromError(db.lastError());
        for (const QString& statement :
             step.statements + QStringList{QStringLiteral("PRAGMA user_version=%1").arg(step.version)}) {
            if (!firstColumn(db, statement, diagnosis)) {
                db.rollback();
                return diagnosis;
            }
        }
        if (!db.commit())
            return fromError(db.lastError());
    }
    return diagnosis;
}

Diagnosis checkTables(QSqlDatabase& db, const QList<DurableSqlite::Table>& tables)
{
    Diagnosis diagnosis;
    for (const DurableSqlite::Table& table : tables) {
        const auto columns = firstColumn(
            db, QStringLiteral("SELECT name FROM pragma_table_info('%1')").arg(table.name), diagnosis);
        if (!columns)
            return diagnosis;
        if (columns->isEmpty())
            return {Diagnosis::Damaged, QStringLiteral("table %1 is missing").arg(table.name)};
        if (columns->join(u',').compare(table.columns.join(u','), Qt::CaseInsensitive) != 0)
            return {Diagnosis::Damaged,
                    QStringLiteral("table %1 has the columns %2 instead of %3")
                        .arg(table.name, columns->join(u", "), table.columns.join(u", "))};
    }
    return diagnosis;
}

// The whole check of an open file, bringing a sound one up to date on the way.
Diagnosis diagnose(QSqlDatabase& db, const DurableSqlite::Schema& schema)
{
    Diagnosis diagnosis;
    const auto problems = firstColumn(db, QStringLiteral("PRAGMA quick_check"), diagnosis);
    if (!problems)
        return diagnosis;
    if (*problems != QStringList{QStringLiteral("ok")})
        return {Diagnosis::Damaged, problems->mid(0, 3).join(u"; ").simplified()};
    if (diagnosis = makeDurable(db); !diagnosis.sound())
        return diagnosis;
    if (diagnosis = upgrade(db, schema.steps); !diagnosis.sound())
        return diagnosis;
    return checkTables(db, schema.tables);
}

// Renames the file and the write-ahead log and index that belong to it, so that the kept copy
// opens as it was and the fresh file does not inherit its log.
Result<QString> moveAside(const QString& file, const QDateTime& now)
{
    const QString stem = file + u".damaged-" + now.toString(u"yyyyMMdd-HHmmss");
    QString aside = stem;
    for (int n = 2; QFile::exists(aside); ++n)
        aside = stem + u'-' + QString::number(n);
    if (!QFile::rename(file, aside))
        return Result<QString>::failure(QStringLiteral("cannot rename %1 to %2").arg(file, aside));
    for (const QLatin1StringView suffix : {QLatin1StringView("-wal"), QLatin1StringView("-shm")}) {
        if (QFile::exists(file + suffix) && !QFile::rename(file + suffix, aside + suffix))
            return Result<QString>::failure(
                QStringLiteral("cannot rename %1 to %2").arg(file + suffix, aside + suffix));
    }
    return Result<QString>::success(aside);
}

// SQLite follows links and creates files with 0644 less the umask; the records (what ran, which
// applications were closed with which files) are the user's own. So no file of the database may
// be a symbolic link, and a missing database file is created here, 0600, never through a link.
Status prepareFile(const QString& file)
{
    for (const QLatin1StringView suffix : {QLatin1StringView(""), QLatin1StringView("-wal"),
                                           QLatin1StringView("-shm"), QLatin1StringView("-journal")}) {
        struct stat info = {};
        if (::lstat(QFile::encodeName(file + suffix).constData(), &info) == 0 && S_ISLNK(info.st_mode))
            return Status::failure(
                QStringLiteral("%1 is a symbolic link; record files are never followed (remove the link)")
                    .arg(file + suffix));
    }
    const int fd = ::open(QFile::encodeName(file).constData(),
                          O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, DurableSqlite::FileMode);
    if (fd < 0) {
        if (errno == EEXIST)
            return Status::success();
        return Status::failure(
            QStringLiteral("cannot create %1: %2").arg(file, QString::fromLocal8Bit(std::strerror(errno))));
    }
    // The mode given to open() loses what the umask takes; the file's mode is set whatever it is.
    const bool modeSet = ::fchmod(fd, DurableSqlite::FileMode) == 0;
    ::close(fd);
    if (!modeSet)
        return Status::failure(QStringLiteral("cannot set the mode of %1").arg(file));
    return Status::success();
}

} // namespace

Result<DurableSqlite::Repair> DurableSqlite::open(const QString& connectionName, const QString& file,
                                                  const Schema& schema, const QDateTime& now)
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connectionName);
    db.setDatabaseName(file);
    // Another view or process (the save-list import) may hold the write lock for a moment.
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
    // Logged by the caller, which knows whether it is news.
    const auto fail = [&file](const QString& reason) {
        return Result<Repair>::failure(QStringLiteral("cannot open %1: %2").arg(file, reason));
    };
    if (const Status prepared = prepareFile(file); !prepared.ok())
        return fail(prepared.error());
    if (!db.open())
        return fail(db.lastError().text());

    Repair repair;
    Diagnosis diagnosis = diagnose(db, schema);
    if (diagnosis.kind == Diagnosis::Damaged) {
        db.close();
        const Result<QString> aside = moveAside(file, now);
        if (!aside.ok())
            return fail(QStringLiteral("it is damaged (%1) and %2").arg(diagnosis.reason, aside.error()));
        repair = {diagnosis.reason, aside.value()};
        qCWarning(lcRecords).noquote() << file << "is damaged (" + diagnosis.reason + "); kept as"
                                       << aside.value() << "and replaced by a fresh database";
        if (const Status prepared = prepareFile(file); !prepared.ok())
            return fail(prepared.error());
        if (!db.open())
            return fail(db.lastError().text());
        diagnosis = diagnose(db, schema);
    }
    if (!diagnosis.sound())
        return fail(diagnosis.reason);
    return Result<Repair>::success(repair);
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
