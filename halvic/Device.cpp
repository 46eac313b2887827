#include "Device.h"

#include "HidBackend.h"
#include "Log.h"
#include "NutBackend.h"
#include "SimBackend.h"
#include "ThreadedBackend.h"

#include <algorithm>
#include <cstring>
#include <halvic/Halvic.h>

namespace halvic {

namespace {

bool hasControlCharacter(const std::string& text)
{
    return std::ranges::any_of(text, [](unsigned char c) { return c < 0x20 || c == 0x7f; });
}

int offDelaySeconds(const char* key, const std::string& text)
{
    const auto seconds = parseOffDelay(text);
    if (!seconds) {
        logOnce("config", std::string(key) + " '" + text + "' is not a number of seconds from " +
                              std::to_string(MinimumOffDelaySeconds) + " to " +
                              std::to_string(MaximumOffDelaySeconds) + "; using " +
                              std::to_string(DefaultOffDelaySeconds));
    }
    return seconds.value_or(DefaultOffDelaySeconds);
}

WorkerTiming workerTiming()
{
    return workerTimingFromText(processEnvironment("HALVIC_WORKER_TIMING").value_or(""));
}

std::unique_ptr<Backend> makeHidBackend(const Config& config)
{
    const HidSettings settings{.device = config.hidDevice,
                               .offDelaySeconds = offDelaySeconds("hid_off_delay", config.hidOffDelay)};
    return std::make_unique<ThreadedBackend>(
        [settings](const Interrupt&) { return std::make_unique<HidBackend>(settings); }, workerTiming());
}

// Without a configured backend: a HID UPS when one is plugged in (or named), else NUT.
std::string chosenBackend(const Config& config)
{
    if (!config.backend.empty())
        return config.backend;
    return !config.hidDevice.empty() || !findPowerDevices().empty() ? "hid" : "nut";
}

std::unique_ptr<Backend> makeNutBackend(const Config& config)
{
    const auto target = parseNutTarget(config.nutUps);
    if (!target) {
        logOnce("config", "cannot read the NUT UPS '" + config.nutUps + "' (expected upsname@host[:port])");
        return nullptr;
    }
    if (!target->ups.empty() && !isValidNutName(target->ups)) {
        logOnce("config",
                "the NUT UPS name '" + target->ups + "' may hold only letters, digits, '_', '-' and '.'");
        return nullptr;
    }
    if (!config.nutOffCmd.empty() && !isValidNutName(config.nutOffCmd)) {
        logOnce("config",
                "nut_offcmd '" + config.nutOffCmd + "' is not a command name; UPS off is not possible");
        return nullptr;
    }
    if (hasControlCharacter(config.nutUser) || hasControlCharacter(config.nutPassword)) {
        logOnce("config", "nut_user or nut_password holds a control character; they are not sent");
        return nullptr;
    }
    const NutSettings settings{.target = *target,
                               .user = config.nutUser,
                               .password = config.nutPassword,
                               .offCommand = config.nutOffCmd,
                               .offDelaySeconds = offDelaySeconds("nut_off_delay", config.nutOffDelay)};
    return std::make_unique<ThreadedBackend>(
        [settings](const Interrupt& interrupt) { return std::make_unique<NutBackend>(settings, interrupt); },
        workerTiming());
}

} // namespace

void Device::open(const std::string& libraryDir)
{
    Config config = loadConfig(libraryDir);
    config.backend = chosenBackend(config);
    std::unique_ptr<Backend> retired;
    {
        const std::lock_guard lock(m_mutex);
        m_open = true;
        m_lastReading.reset();
        if (m_backend && m_backendConfig == config) {
            m_backend->resume();
            return;
        }
        retired = std::move(m_backend);
    }
    retired.reset();
    auto backend = makeBackend(config);
    const std::lock_guard lock(m_mutex);
    m_backend = std::move(backend);
    m_backendConfig = config;
}

void Device::close()
{
    const std::lock_guard lock(m_mutex);
    m_open = false;
    m_lastReading.reset();
    if (m_backend)
        m_backend->suspend();
}

void Device::output(int command, char* reply)
{
    const std::lock_guard lock(m_mutex);
    m_lastReading.reset();
    if (!m_open || !m_backend || reply == nullptr)
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
    for (const std::string& file : config.refusedFiles) {
        logOnce("config",
                "not reading " + file +
                    ": it holds a password and other users can read it; restrict it with chmod 600");
    }
    if (config.backend == "sim")
        return std::make_unique<SimBackend>(config.simFile);
    if (config.backend == "nut")
        return makeNutBackend(config);
    if (config.backend == "hid")
        return makeHidBackend(config);
    logOnce("config", "unknown backend '" + config.backend + "' (expected sim, nut or hid)");
    return nullptr;
}

} // namespace halvic
