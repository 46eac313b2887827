#include "Device.h"

#include "NutBackend.h"
#include "SimBackend.h"

#include <cstring>
#include <iostream>

namespace halvic {

void Device::open(const std::string& configDir)
{
    const Config config = loadConfig(configDir);
    if (config.passwordExposed) {
        warnOnce(configDir + '/' + ConfigFileName +
                 " holds a password and other users can read it; restrict it with chmod 600");
    }
    auto backend = makeBackend(config);
    const std::lock_guard lock(m_mutex);
    m_backend = std::move(backend);
    m_lastReading.reset();
}

void Device::close()
{
    std::unique_ptr<Backend> closing;
    const std::lock_guard lock(m_mutex);
    closing = std::move(m_backend);
    m_lastReading.reset();
}

void Device::output(int command, char* reply)
{
    const std::lock_guard lock(m_mutex);
    m_lastReading.reset();
    if (!m_backend || reply == nullptr)
        return;
    if (command == HALVIC_COMMAND_STATUS) {
        m_lastReading = m_backend->readStatus();
        if (m_lastReading)
            std::memcpy(reply, HALVIC_REPLY_STATUS, HALVIC_REPLY_CODE_SIZE);
    } else if (command == HALVIC_COMMAND_UPS_OFF && m_backend->switchOff()) {
        std::memcpy(reply, HALVIC_REPLY_ACCEPTED, HALVIC_REPLY_CODE_SIZE);
    }
}

void Device::input(char* statusBlock)
{
    const std::lock_guard lock(m_mutex);
    if (!m_lastReading || statusBlock == nullptr)
        return;
    statusBlock[0] = HALVIC_VALID_MARKER;
    statusBlock[HALVIC_MAINS_BYTE - 1] = m_lastReading->onMains ? 1 : 0;
    statusBlock[HALVIC_LOW_BATTERY_BYTE - 1] = m_lastReading->batteryLow ? 1 : 0;
}

std::unique_ptr<Backend> Device::makeBackend(const Config& config)
{
    if (config.backend == "sim")
        return std::make_unique<SimBackend>(config.simFile);
    if (config.backend == "nut") {
        const auto target = parseNutTarget(config.nutUps);
        const auto offDelay = parseOffDelay(config.nutOffDelay);
        if (!offDelay) {
            warnOnce("nut_off_delay '" + config.nutOffDelay + "' is not a number of seconds from " +
                     std::to_string(MinimumOffDelaySeconds) + " to " +
                     std::to_string(MaximumOffDelaySeconds) + "; using " +
                     std::to_string(DefaultOffDelaySeconds));
        }
        if (target) {
            return std::make_unique<NutBackend>(
                NutSettings{.target = *target,
                            .user = config.nutUser,
                            .password = config.nutPassword,
                            .offCommand = config.nutOffCmd,
                            .offDelaySeconds = offDelay.value_or(DefaultOffDelaySeconds)});
        }
        warnOnce("cannot read the NUT UPS '" + config.nutUps + "' (expected upsname@host[:port])");
        return nullptr;
    }
    warnOnce("unknown backend '" + config.backend + "' (expected sim or nut)");
    return nullptr;
}

void Device::warnOnce(const std::string& message)
{
    if (m_warnings.insert(message).second)
        std::cerr << "Halvic: " << message << '\n';
}

} // namespace halvic
