#pragma once

#include "UpsValues.h"

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace halvic {

enum class SimState
{
    Online,
    OnBattery,
    LowBattery,
    LowOnline,
    // On mains, and the UPS's server asks every computer to shut down now.
    ForcedShutdown,
    Silent
};

std::optional<SimState> simStateFromName(std::string_view name);
std::string_view simStateName(SimState state);

// What the simulated UPS knows: its state, its values as last set, and how fast its charge falls
// on battery.
struct SimUps
{
    SimState state = SimState::Online;
    // battery.charge and battery.runtime as they were at `since`; the rest as set.
    UpsValues values{};
    double drainPercentPerSecond = 0.1;
    std::chrono::system_clock::time_point since{};

    // The values at `now`: on battery (onbattery, lowbattery) the charge has fallen by the drain
    // since `since`, down to 0, and the runtime in proportion to the charge.
    UpsValues valuesAt(std::chrono::system_clock::time_point now) const;
    // Fixes the values at `now` as the new starting point, so that a change of state or rate
    // applies from now on.
    void settle(std::chrono::system_clock::time_point now);
    // Sets a value, replacing one of the same name; an empty value removes it.
    void set(const std::string& name, const std::string& value);
};

// A UPS before anyone set it: on mains, full, with a model, a load and a runtime.
SimUps defaultSimUps(std::chrono::system_clock::time_point now);

// The simulated UPS: its state in a small file, and beside it "<file>.off-log" with one line
// per UPS-off command received. The state is replaced by renaming a complete temporary file and
// log lines are appended with one write each, so a reader never sees a torn state or line.
class SimStateFile
{
public:
    explicit SimStateFile(std::string path);

    const std::string& path() const { return m_path; }
    std::string offLogPath() const { return m_path + ".off-log"; }

    // A missing file is defaultSimUps(), so the simulator works before anyone set it; a file that
    // holds no known state is a UPS that does not answer. After the state word, lines "name value"
    // hold the values, "drain <percent per second>" and "since <milliseconds since 1970>"; a file
    // with the state word alone is a UPS that knows nothing more.
    SimUps read(std::chrono::system_clock::time_point now = std::chrono::system_clock::now()) const;
    bool write(const SimUps& ups) const;

    bool logSwitchOff(std::chrono::system_clock::time_point when) const;
    std::vector<std::string> offLog() const;

private:
    std::string m_path;
};

// "2024-05-17 08:15:42.042", local time.
std::string millisecondTimestamp(std::chrono::system_clock::time_point when);

} // namespace halvic
