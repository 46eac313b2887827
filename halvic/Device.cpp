#include "Device.h"

#include "NutBackend.h"
#include "SimBackend.h"

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
    if (command == StatusQuery) {
        m_lastReading = m_backend->readStatus();
        if (m_lastReading) {
            reply[0] = 'T';
            reply[1] = '1';
        }
    } else if (command == SwitchOff && m_backend->switchOff()) {
        reply[0] = 'S';
        reply[1] = '1';
    }
}

// Byte 1 'T' marks a valid block; byte 3 is 1 on mains, byte 4 is 1 when the battery is low.
void Device::input(char* statusBlock)
{
    const std::lock_guard lock(m_mutex);
    if (!m_lastReading || statusBlock == nullptr)
        return;
    statusBlock[0] = 'T';
    statusBlock[2] = m_lastReading->onMains ? 1 : 0;
    statusBlock[3] = m_lastReading->batteryLow ? 1 : 0;
}

std::unique_ptr<Backend> Device::makeBackend(const Config& config)
{
    if (config.backend == "sim")
        return std::make_unique<SimBackend>(config.simFile);
    if (config.backend == "nut") {
        const auto target = parseNutTarget(config.nutUps);
        if (target) {
            return std::make_unique<NutBackend>(NutSettings{.target = *target,
                                                            .user = config.nutUser,
                                                            .password = config.nutPassword,
                                                            .offCommand = config.nutOffCmd});
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
