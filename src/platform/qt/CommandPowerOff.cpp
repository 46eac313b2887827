#include "platform/qt/CommandPowerOff.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>

namespace brevant {

CommandPowerOff::CommandPowerOff(QString program)
    : m_program(std::move(program))
{}

Status CommandPowerOff::usable() const
{
    if (m_program.isEmpty() || QDir::isRelativePath(m_program))
        return Status::failure(
            QStringLiteral("the shutdown command \"%1\" is not an absolute path").arg(m_program));
    if (!QFileInfo(m_program).isExecutable())
        return Status::failure(
            QStringLiteral("the shutdown command \"%1\" is not an executable file").arg(m_program));
    return Status::success();
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
