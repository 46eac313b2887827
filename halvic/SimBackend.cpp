#include "SimBackend.h"

namespace halvic {

SimBackend::SimBackend(std::string stateFile)
    : m_file(std::move(stateFile))
{}

std::optional<UpsReading> SimBackend::readStatus()
{
    switch (m_file.read()) {
    case SimState::Online:
        return UpsReading{.onMains = true, .batteryLow = false};
    case SimState::OnBattery:
        return UpsReading{.onMains = false, .batteryLow = false};
    case SimState::LowBattery:
        return UpsReading{.onMains = false, .batteryLow = true};
    case SimState::LowOnline:
        return UpsReading{.onMains = true, .batteryLow = true};
    case SimState::ForcedShutdown:
        return UpsReading{.onMains = true, .batteryLow = false, .forcedShutdown = true};
    case SimState::Silent:
        break;
    }
    return std::nullopt;
}

bool SimBackend::switchOff()
{
    if (m_file.read() == SimState::Silent)
        return false;
    return m_file.logSwitchOff(std::chrono::system_clock::now());
}

} // namespace halvic
