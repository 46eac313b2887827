#pragma once

#include "Backend.h"
#include "Config.h"

#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace halvic {

// The state behind the exported functions: the open backend and the last status reading, which
// CmdOutput(1) takes and CmdInput and HalvicValues hand out.
class Device
{
public:
    // Reads the configuration afresh on every open. The monitor closes and reopens the device on
    // every poll while the UPS is silent; with an unchanged configuration the backend, and with it
    // the worker's connection and latest reading, is kept.
    void open(const std::string& libraryDir);
    void close();
    void output(int command, char* reply);
    void input(char* statusBlock);
    // The values of the same reading as the status block: none before a status query, after a
    // stale or missing reading, or once the device is closed.
    int values(char* buffer, int size);

private:
    static std::unique_ptr<Backend> makeBackend(const Config& config);

    std::mutex m_mutex;
    std::unique_ptr<Backend> m_backend;
    std::optional<Config> m_backendConfig;
    bool m_open = false;
    std::optional<UpsReading> m_lastReading;
};

} // namespace halvic
