#pragma once

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

// The simulated UPS: its state in a one-word file, and beside it "<file>.off-log" with one line
// per UPS-off command received. The state is replaced by renaming a complete temporary file and
// log lines are appended with one write each, so a reader never sees a torn state or line.
class SimStateFile
{
public:
    explicit SimStateFile(std::string path);

    const std::string& path() const { return m_path; }
    std::string offLogPath() const { return m_path + ".off-log"; }

    // A missing file is a UPS on mains, so the simulator works before anyone set it; a file that
    // holds no known state is a UPS that does not answer.
    SimState read() const;
    bool write(SimState state) const;

    bool logSwitchOff(std::chrono::system_clock::time_point when) const;
    std::vector<std::string> offLog() const;

private:
    std::string m_path;
};

// "2024-05-17 08:15:42.042", local time.
std::string millisecondTimestamp(std::chrono::system_clock::time_point when);

} // namespace halvic
