#pragma once

#include "platform/SystemPowerOff.h"

#include <memory>

namespace brevant {

// The power-off the program uses: a CommandPowerOff whenever BREVANT_SHUTDOWN_COMMAND is set (even
// to something unusable, so that a mistyped value never shuts a machine down), otherwise the
// platform's own.
std::unique_ptr<SystemPowerOff> createSystemPowerOff();

// The platform's own power-off; defined by the platform source file the build picks.
std::unique_ptr<SystemPowerOff> createPlatformPowerOff();

} // namespace brevant
