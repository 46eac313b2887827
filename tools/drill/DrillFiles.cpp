#include "DrillFiles.h"

#include "config/IniFile.h"
#include "platform/FileLock.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <cerrno>
#include <unistd.h>

namespace brevant::drill {
namespace {

Status copyFile(const QString& from, const QString& to)
{
    QFile::remove(to);
    QFile source(from);
    if (!source.copy(to))
        return Status::failure(
            QStringLiteral("cannot copy %1 to %2: %3").arg(from, to, source.errorString()));
    return Status::success();
}

Status copyDatabase(const QString& from, const QString& to)
{
    const QString connection = QStringLiteral("drill-copy");
    QString failure;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        db.setDatabaseName(from);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        if (db.open()) {
            QSqlQuery vacuum(db);
            if (!vacuum.prepare(QStringLiteral("VACUUM INTO ?")))
                failure = vacuum.lastError().text();
            vacuum.addBindValue(to);
            if (failure.isEmpty() && !vacuum.exec())
                failure = vacuum.lastError().text();
        } else {
            failure = db.lastError().text();
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(connection);
    if (!failure.isEmpty())
        return Status::failure(QStringLiteral("cannot copy %1: %2").arg(from, failure));
    return Status::success();
}

} // namespace

Status copyUserFiles(const AppPaths& from, const AppPaths& to)
{
    for (const QString& dir : {from.configDir(), from.dataDir()}) {
        if (::access(QFile::encodeName(dir).constData(), R_OK | X_OK) != 0 && errno != ENOENT)
            return Status::failure(
                QStringLiteral("cannot read the directory %1: %2").arg(dir, qt_error_string(errno)));
    }
    for (const auto& [source, target] : {std::pair{from.settingsFile(), to.settingsFile()},
                                         std::pair{from.closeAppList(), to.closeAppList()}}) {
        const Result<std::optional<QByteArray>> contents = readRegularFile(source, IniFileMaxBytes);
        if (!contents.ok())
            return Status::failure(contents.error());
        if (!contents.value())
            continue;
        QFile copy(target);
        if (!copy.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            copy.write(*contents.value()) != contents.value()->size() || !copy.flush())
            return Status::failure(
                QStringLiteral("cannot copy %1 to %2: %3").arg(source, target, copy.errorString()));
    }
    for (const auto& [source, target] : {std::pair{from.eventDatabase(), to.eventDatabase()},
                                         std::pair{from.closeAppDatabase(), to.closeAppDatabase()}}) {
        if (QFileInfo::exists(source)) {
            if (Status copied = copyDatabase(source, target); !copied.ok())
                return copied;
        }
    }
    return Status::success();
}

Status keepResults(const AppPaths& copy, const QString& dir)
{
    if (!QDir().mkpath(dir))
        return Status::failure(QStringLiteral("cannot create the directory ") + dir);
    const AppPaths results = copy.withFilesIn(dir);
    for (const auto& [source, target] : {std::pair{copy.settingsFile(), results.settingsFile()},
                                         std::pair{copy.eventDatabase(), results.eventDatabase()},
                                         std::pair{copy.closeAppDatabase(), results.closeAppDatabase()}}) {
        if (!QFileInfo::exists(source))
            continue; // a drill without settings runs on the program's defaults
        if (Status copied = copyFile(source, target); !copied.ok())
            return copied;
    }
    return Status::success();
}

} // namespace brevant::drill
