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

std::optional<NutRole> nutRole(const std::string& text)
{
    if (text.empty())
        return NutRole::Chosen;
    if (text == "primary")
        return NutRole::Primary;
    if (text == "secondary")
        return NutRole::Secondary;
    return std::nullopt;
}

const char* replyCode(OffReply reply)
{
    switch (reply) {
    case OffReply::Accepted:
        return HALVIC_REPLY_ACCEPTED;
    case OffReply::UnderWay:
        return HALVIC_REPLY_UNDER_WAY;
    case OffReply::NotMine:
        return HALVIC_REPLY_NOT_MINE;
    case OffReply::NoAnswer:
        break;
    }
    return nullptr;
}

// A byte of the status block that says neither yes nor no.
constexpr char NoNews = 2;

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
    const auto role = nutRole(config.nutRole);
    if (!role) {
        logOnce("config", "nut_role '" + config.nutRole + "' is neither primary nor secondary; no UPS");
        return nullptr;
    }
    const auto hostsync = parseHostsync(config.nutHostsync);
    if (!hostsync) {
        logOnce("config", "nut_hostsync '" + config.nutHostsync + "' is not a number of seconds from 0 to " +
                              std::to_string(MaximumHostsyncSeconds) + "; using " +
                              std::to_string(DefaultHostsyncSeconds));
    }
    const NutSettings settings{.target = *target,
                               .user = config.nutUser,
                               .password = config.nutPassword,
                               .offCommand = config.nutOffCmd,
                               .offDelaySeconds = offDelaySeconds("nut_off_delay", config.nutOffDelay),
                               .role = *role,
                               .hostsync = std::chrono::seconds(hostsync.value_or(DefaultHostsyncSeconds))};
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
    } else if (command == HALVIC_COMMAND_UPS_OFF) {
        if (const char* code = replyCode(m_backend->requestSwitchOff()))
            std::memcpy(reply, code, HALVIC_REPLY_CODE_SIZE);
    }
}

void Device::input(char* statusBlock)
{
    const std::lock_guard lock(m_mutex);
    if (!m_lastReading || statusBlock == nullptr)
        return;
    const UpsReading& reading = *m_lastReading;
    statusBlock[0] = HALVIC_VALID_MARKER;
    statusBlock[HALVIC_MAINS_BYTE - 1] = !reading.powerKnown ? NoNews : reading.onMains ? 1 : 0;
    statusBlock[HALVIC_LOW_BATTERY_BYTE - 1] = reading.batteryLow ? 1 : reading.powerKnown ? 0 : NoNews;
    statusBlock[HALVIC_FORCED_SHUTDOWN_BYTE - 1] = reading.forcedShutdown ? 1 : 0;
}

int Device::values(char* buffer, int size)
{
    const std::lock_guard lock(m_mutex);
    return writeValueLines(m_lastReading ? m_lastReading->values : UpsValues(), buffer, size);
}

std::unique_ptr<Backend> Device::makeBackend(const Config& config)
{
    // A refused file may have named another UPS or server: no guess takes its place.
    for (const std::string& refusal : config.refusals)
        logOnce("config", "no UPS: " + refusal);
    if (!config.refusals.empty())
        return nullptr;
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
