#include "shutdown/ReadinessChecks.h"

#include "config/Settings.h"
#include "link/ActiveLink.h"
#include "link/SerialLink.h"
#include "platform/SystemPowerOff.h"
#include "platform/linux/UserGroups.h"
#include "records/RecordStore.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace brevant::readiness {
namespace {

using Finding = Readiness::Finding;

bool permitted(const QString& path, int mode)
{
    return ::access(QFile::encodeName(path).constData(), mode) == 0;
}

} // namespace

Readiness::Check linkAnswers(ActiveLink& links, const SerialLink& serial)
{
    return [&links, &serial](std::function<void(Finding)> answer) {
        const UpsLink& link = links.current();
        if (link.kind() == UpsLink::Kind::Serial) {
            if (serial.isOpen())
                return answer(Finding::yes());
            return answer(Finding::no(
                QStringLiteral("the UPS's serial port COM%1 is not open (%2)")
                    .arg(serial.commPort())
                    .arg(serial.lastOpen().ok() ? QStringLiteral("closed") : serial.lastOpen().error()),
                QStringLiteral("Choose the UPS's port on the OS Event Log page, or name its device in "
                               "BREVANT_COM%1")
                    .arg(serial.commPort())));
        }
        if (link.answering())
            return answer(Finding::yes());
        answer(Finding::no(QStringLiteral("the UPS does not answer over USB"),
                           QStringLiteral("Check that the UPS is on and its cable plugged in, or choose "
                                          "the UPS's link on the OS Event Log page")));
    };
}

Readiness::Check upsSwitchesOff(ActiveLink& links)
{
    return [&links](std::function<void(Finding)> answer) {
        const UpsLink& link = links.current();
        const UpsDetails details = link.details();
        if (link.kind() == UpsLink::Kind::Serial || details.upsOff != UpsDetails::UpsOff::No)
            return answer(Finding::yes());
        const QString why =
            details.upsOffReason.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(details.upsOffReason);
        answer(Finding::no(QStringLiteral("the UPS cannot be switched off over USB%1").arg(why),
                           QStringLiteral("Set up Halvic.conf as Why? explains, or choose the UPS's serial "
                                          "link on the OS Event Log page")));
    };
}

Readiness::Check systemPowersOff(SystemPowerOff& powerOff)
{
    return [&powerOff](std::function<void(Finding)> answer) { powerOff.checkReadiness(std::move(answer)); };
}

Readiness::Check closeProgramRuns(const Settings& settings, QString closeProgram)
{
    return [&settings, closeProgram = std::move(closeProgram)](std::function<void(Finding)> answer) {
        if (!settings.saveApplications())
            return answer(Finding::yes());
        struct stat info = {};
        const bool isFile =
            ::stat(QFile::encodeName(closeProgram).constData(), &info) == 0 && S_ISREG(info.st_mode);
        if (isFile && permitted(closeProgram, X_OK))
            return answer(Finding::yes());
        answer(Finding::no(
            QStringLiteral("\"Save all applications\" is on, but %1 is %2")
                .arg(closeProgram, isFile ? QStringLiteral("not executable") : QStringLiteral("missing")),
            QStringLiteral("Reinstall Brevant, or turn \"Save all applications\" off")));
    };
}

Readiness::Check settingsWritable(QString settingsFile)
{
    return [settingsFile = std::move(settingsFile)](std::function<void(Finding)> answer) {
        // A write replaces the file through a new one beside it: the folder must take new files,
        // and what is in the file's place must be a file.
        const QFileInfo file(settingsFile);
        const QString folder = file.absolutePath();
        if (permitted(folder, W_OK | X_OK) && (!file.exists() || file.isFile()))
            return answer(Finding::yes());
        answer(Finding::no(
            QStringLiteral("the settings file %1 cannot be written, so applications cannot be "
                           "saved before the shutdown")
                .arg(settingsFile),
            QStringLiteral("Let this user write the folder %1, with a file in the settings' place")
                .arg(folder)));
    };
}

Readiness::Check recordsOpen(const RecordStore& records)
{
    return [&records](std::function<void(Finding)> answer) {
        for (RecordTableId table : {RecordTableId::Log, RecordTableId::UpsEvent, RecordTableId::CloseApp}) {
            // A database that could not be opened is tried again by its next use, at most once a minute.
            if (const Result<int> count = records.recordCount(table); !count.ok())
                return answer(Finding::no(
                    QStringLiteral("the record table %1 cannot be read (%2)")
                        .arg(RecordStore::tableName(table), count.error()),
                    QStringLiteral("Check the free space and the permissions of the record folder")));
        }
        answer(Finding::yes());
    };
}

Readiness::Check systemFileReadable(QString file)
{
    return [file = std::move(file)](std::function<void(Finding)> answer) {
        struct stat info = {};
        const bool absent = ::stat(QFile::encodeName(file).constData(), &info) != 0 && errno == ENOENT;
        if (absent || permitted(file, R_OK))
            return answer(Finding::yes());
        const QString group = QString::fromLatin1(build::Group);
        answer(Finding::no(QStringLiteral("this user cannot read the system's UPS settings in %1").arg(file),
                           QStringLiteral("Add this user to the group %1, as root: adduser %2 %1")
                               .arg(group, currentUserName())));
    };
}

} // namespace brevant::readiness
