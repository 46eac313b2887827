#include "SimBackend.h"

namespace halvic {

SimBackend::SimBackend(std::string stateFile)
    : m_file(std::move(stateFile))
{}

std::optional<UpsReading> SimBackend::readStatus()
{
    const auto now = std::chrono::system_clock::now();
    const SimUps ups = m_file.read(now);
    UpsReading reading{.values = ups.valuesAt(now)};
    switch (ups.state) {
    case SimState::Online:
        return reading;
    case SimState::OnBattery:
        reading.onMains = false;
        return reading;
    case SimState::LowBattery:
        reading.onMains = false;
        reading.batteryLow = true;
        return reading;
    case SimState::LowOnline:
        reading.batteryLow = true;
        return reading;
    case SimState::ForcedShutdown:
        reading.forcedShutdown = true;
        return reading;
    case SimState::Silent:
        break;
    }
    return std::nullopt;
}

bool SimBackend::switchOff()
{
    if (m_file.read().state == SimState::Silent)
        return false;
    return m_file.logSwitchOff(std::chrono::system_clock::now());
}

} // namespace halvic
