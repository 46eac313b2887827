#include "platform/SystemPowerOffFactory.h"
#include "platform/linux/LogindPowerOff.h"

namespace brevant {

std::unique_ptr<SystemPowerOff> createPlatformPowerOff()
{
    return std::make_unique<LogindPowerOff>(QDBusConnection::systemBus());
}

} // namespace brevant
