#pragma once

#include "platform/SystemPowerOff.h"

#include <QString>

namespace brevant {

// Runs a program chosen by the user instead of shutting the system down (a hibernate script, a
// demo recorder). Started detached, without a shell and without arguments.
class CommandPowerOff : public SystemPowerOff
{
public:
    explicit CommandPowerOff(QString program);

    void shutDownSystem() override;

    const QString& program() const { return m_program; }

private:
    QString m_program;
};

} // namespace brevant
