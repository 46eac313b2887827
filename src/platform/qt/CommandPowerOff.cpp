#include "platform/qt/CommandPowerOff.h"

#include <QDir>
#include <QProcess>

namespace brevant {

CommandPowerOff::CommandPowerOff(QString program)
    : m_program(std::move(program))
{}

void CommandPowerOff::shutDownSystem()
{
    // A relative name would be looked up on PATH or in whatever directory we happen to run in.
    if (m_program.isEmpty() || QDir::isRelativePath(m_program)) {
        qWarning("Shutdown command \"%s\" is not an absolute path; nothing was run",
                 qUtf8Printable(m_program));
        return;
    }
    if (!QProcess::startDetached(m_program, {}))
        qWarning("Shutdown command \"%s\" could not be started", qUtf8Printable(m_program));
}

} // namespace brevant
