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
    const SimUps ups = m_file.read();
    if (ups.state == SimState::Silent || offAbilityIn(ups.values) == OffAbility::No)
        return false;
    return m_file.logSwitchOff(std::chrono::system_clock::now());
}

OffReply SimBackend::requestSwitchOff()
{
    if (offAbilityIn(m_file.read().values) == OffAbility::Secondary)
        return OffReply::NotMine;
    return Backend::requestSwitchOff();
}

} // namespace halvic
