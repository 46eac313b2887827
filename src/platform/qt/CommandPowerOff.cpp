#include "platform/qt/CommandPowerOff.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <sys/stat.h>
#include <unistd.h>

namespace brevant {

CommandPowerOff::CommandPowerOff(QString program)
    : m_program(std::move(program))
{}

Status CommandPowerOff::usable() const
{
    if (m_program.isEmpty() || QDir::isRelativePath(m_program))
        return Status::failure(
            QStringLiteral("the shutdown command \"%1\" is not an absolute path").arg(m_program));
    const QByteArray path = QFile::encodeName(m_program);
    struct stat info = {};
    if (::stat(path.constData(), &info) != 0)
        return Status::failure(QStringLiteral("the shutdown command \"%1\" does not exist").arg(m_program));
    if (!S_ISREG(info.st_mode))
        return Status::failure(QStringLiteral("the shutdown command \"%1\" is not a file").arg(m_program));
    if (::access(path.constData(), X_OK) != 0)
        return Status::failure(
            QStringLiteral("the shutdown command \"%1\" may not be run by this user").arg(m_program));
    return Status::success();
}

void CommandPowerOff::checkReadiness(ReadinessAnswer answer)
{
    const Status status = usable();
    answer(status.ok() ? PowerOffReadiness::yes()
                       : PowerOffReadiness::no(status.error(),
                                               QStringLiteral("Point BREVANT_SHUTDOWN_COMMAND at an "
                                                              "executable program, by its absolute path")));
}

void CommandPowerOff::checkAllowed(Answer answer)
{
    answer(usable());
}

void CommandPowerOff::shutDownSystem(Answer answer)
{
    Status status = usable();
    if (status.ok() && !QProcess::startDetached(m_program, {}))
        status = Status::failure(
            QStringLiteral("the shutdown command \"%1\" could not be started").arg(m_program));
    answer(status);
}

} // namespace brevant
