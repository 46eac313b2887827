#pragma once

#include "platform/SystemPowerOff.h"

#include <QString>

namespace brevant {

// Runs a program chosen by the user instead of shutting the system down (a hibernate script, a
// demo recorder). Started detached, without a shell and without arguments. Only an absolute path
// to an executable file is run: a relative name would be looked up on PATH or in whatever
// directory the program happens to run in; it must be a regular file this user may run.
class CommandPowerOff : public SystemPowerOff
{
public:
    explicit CommandPowerOff(QString program);

    void checkAllowed(Answer answer) override;
    void shutDownSystem(Answer answer) override;
    void checkReadiness(ReadinessAnswer answer) override;

    const QString& program() const { return m_program; }

private:
    Status usable() const;

    QString m_program;
};

} // namespace brevant
