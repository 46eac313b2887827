#pragma once

#include "Backend.h"
#include "Config.h"

#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace halvic {

// The state behind the four exported functions: the open backend and the last status reading,
// which CmdOutput(1) takes and CmdInput hands out.
class Device
{
public:
    static constexpr int StatusQuery = 1;
    static constexpr int SwitchOff = 2;
    static constexpr int StatusBlockSize = 50;

    // Reads the configuration in configDir and the environment afresh on every open.
    void open(const std::string& configDir);
    void close();
    void output(int command, char* reply);
    void input(char* statusBlock);

private:
    static std::unique_ptr<Backend> makeBackend(const Config& config);
    void warnOnceAboutExposedPassword(const std::string& configDir);

    std::mutex m_mutex;
    std::unique_ptr<Backend> m_backend;
    std::optional<UpsReading> m_lastReading;
    bool m_warnedAboutPassword = false;
};

} // namespace halvic
