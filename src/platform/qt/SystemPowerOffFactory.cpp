#include "platform/SystemPowerOffFactory.h"

#include "platform/qt/CommandPowerOff.h"

namespace brevant {

std::unique_ptr<SystemPowerOff> createSystemPowerOff()
{
    if (qEnvironmentVariableIsSet("BREVANT_SHUTDOWN_COMMAND"))
        return std::make_unique<CommandPowerOff>(qEnvironmentVariable("BREVANT_SHUTDOWN_COMMAND"));
    return createPlatformPowerOff();
}

} // namespace brevant
