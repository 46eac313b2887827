#pragma once

#include "Backend.h"
#include "Config.h"

#include <halvic/Halvic.h>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>

namespace halvic {

// The state behind the four exported functions: the open backend and the last status reading,
// which CmdOutput(1) takes and CmdInput hands out.
class Device
{
public:
    // Reads the configuration in configDir and the environment afresh on every open.
    void open(const std::string& configDir);
    void close();
    void output(int command, char* reply);
    void input(char* statusBlock);

private:
    std::unique_ptr<Backend> makeBackend(const Config& config);
    // The device is reopened on every poll while the UPS is silent: say each thing once.
    void warnOnce(const std::string& message);

    std::mutex m_mutex;
    std::unique_ptr<Backend> m_backend;
    std::optional<UpsReading> m_lastReading;
    std::set<std::string> m_warnings;
};

} // namespace halvic
